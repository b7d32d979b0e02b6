// SPDX-License-Identifier: MIT
// zonbeli-record: the game in its window, played as usual, writing down
// everything the game receives as a scenario script. zonbeli-scenario plays
// the script back to the very state the game had when it ended.
//
//   zonbeli-record [FILE]     (zonbeli-record.txt in the current folder
//                              when FILE is absent)
//
// The script grows while the game runs: runs of timer ticks ("tick N"),
// keys going down and up, clicks and menu items, each after the clock
// readings ("time") and random numbers ("random") the game took while it
// handled them. When the program ends (Escape, 終了 or closing the window)
// the script closes with "dump", followed by what the game's state was then
// as "#> " comments: the replay's dump prints the same lines.
#include <QApplication>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "binding.h"
#include "form1.h"
#include "qt_window.h"
#include "recording_file.h"
#include "scenario_runner.h"
#include "session_bus.h"

namespace zonbeli {

namespace {

// The shortest text that reads back as the very same number.
std::string Exact(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  return std::string(text, result.ptr);
}

// The sound library, passing every call on and keeping the buffers started.
class SoundLog : public SoundLibrary {
 public:
  explicit SoundLog(SoundLibrary& library) : library_(library) {}
  std::int32_t dsInitialize(std::intptr_t window) override { return library_.dsInitialize(window); }
  std::int32_t dsCreateDSB(std::int32_t device, const std::uint8_t* image, std::size_t length,
                           std::int32_t flags) override {
    return library_.dsCreateDSB(device, image, length, flags);
  }
  void dsPlay(std::int32_t buffer) override {
    played.push_back(buffer);
    library_.dsPlay(buffer);
  }
  void dsPlayLooping(std::int32_t buffer) override {
    played.push_back(buffer);
    library_.dsPlayLooping(buffer);
  }
  void dsStop(std::int32_t buffer) override { library_.dsStop(buffer); }
  void dsFree(std::int32_t buffer) override { library_.dsFree(buffer); }
  void dsTerminate(std::int32_t device) override { library_.dsTerminate(device); }
  std::string LoadError() override { return library_.LoadError(); }

  std::vector<std::int32_t> played;

 private:
  SoundLibrary& library_;
};

// Sits between the game and its window: passes every call on, and writes
// each input with the clock readings and random numbers it brought.
//
// What the game reads while handling an input must reach the replay before
// the input itself, so an input is written only when the next one comes;
// ticks that read nothing are counted and written as one run.
class Recorder : public WindowServices {
 public:
  Recorder(RecordingFile& file, SoundLog& sound)
      : out_(file.stream()), file_(file), sound_(sound) {}
  void attach(GameWindow& window) { window_ = &window; }

  void input(const Input& input) {
    finish();
    current_ = input;
    write_current_ = true;
  }

  void PaintPicture(Picture picture, float x, float y) override {
    window_->PaintPicture(picture, x, y);
  }
  void FillBox(float x1, float y1, float x2, float y2, Rgb colour) override {
    window_->FillBox(x1, y1, x2, y2, colour);
  }
  void PrintText(float x, float y, const std::string& text, Rgb colour, double points) override {
    window_->PrintText(x, y, text, colour, points);
  }
  void Refresh() override { window_->Refresh(); }
  void MessageBox(const std::string& text, const std::string& title, MessageIcon icon) override {
    window_->MessageBox(text, title, icon);
  }
  double TimeOfDay() override {
    const double seconds = window_->TimeOfDay();
    readings_.push_back("time " + Exact(seconds));
    return seconds;
  }
  // Only paces the waits; nothing the game keeps depends on it.
  double Monotonic() override { return window_->Monotonic(); }
  void Sleep(double seconds) override { window_->Sleep(seconds); }
  double Random() override {
    const double r = window_->Random();
    readings_.push_back("random " + Exact(r));
    return r;
  }
  bool FileExists(const std::string& path) override { return window_->FileExists(path); }
  std::uint64_t FileSize(const std::string& path) override { return window_->FileSize(path); }
  bool ReadWholeFile(const std::string& path, FileBytes& bytes, std::string& error) override {
    return window_->ReadWholeFile(path, bytes, error);
  }
  std::string SoundFolder() override { return window_->SoundFolder(); }
  std::intptr_t WindowHandle() override { return window_->WindowHandle(); }
  bool BgmChecked() override { return window_->BgmChecked(); }
  void SetBgmChecked(bool checked) override { window_->SetBgmChecked(checked); }

  // The input that ends the program changes nothing the dump shows, and a
  // replay stops at it; it stays a comment so the dump still runs.
  [[noreturn]] void EndProgram(int status) override {
    const std::string last = InputText(current_);
    write_current_ = false;
    finish();
    std::stringstream state;
    std::size_t shown = 0;
    scenario::WriteState(state, window_->game(), sound_.played, shown);
    out_ << "# " << last << " ended the program here\ndump\n";
    std::string line;
    while (std::getline(state, line)) out_ << "#> " << line << '\n';
    if (!file_.commit()) giveUp();
    window_->GameWindow::EndProgram(status);
  }

 private:
  void finish() {
    if (write_current_ && current_.kind == Input::Kind::Tick && readings_.empty()) {
      ++quiet_ticks_;
      return;
    }
    if (quiet_ticks_ > 0) out_ << InputText({Input::Kind::Tick}, quiet_ticks_) << '\n';
    quiet_ticks_ = 0;
    for (const std::string& reading : readings_) out_ << reading << '\n';
    readings_.clear();
    if (write_current_) out_ << InputText(current_) << '\n';
    out_.flush();
    if (!file_.good()) giveUp();
  }

  // A game that is not being recorded is not worth going on with.
  [[noreturn]] void giveUp() {
    std::fprintf(stderr, "zonbeli-record: the recording could not be written: %s\n",
                 file_.error().c_str());
    file_.discard();
    window_->GameWindow::EndProgram(1);
  }

  std::ofstream& out_;
  RecordingFile& file_;
  SoundLog& sound_;
  GameWindow* window_ = nullptr;
  Input current_;
  bool write_current_ = false;  // none has come yet, or it ended the program
  std::vector<std::string> readings_;
  long long quiet_ticks_ = 0;
};

}  // namespace

}  // namespace zonbeli

int main(int argc, char** argv) {
  zonbeli::KeepFromStartingASessionBus();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Zonbeli"));
  const QStringList arguments = QApplication::arguments();
  if (arguments.size() > 2 || (arguments.size() == 2 && arguments[1].startsWith('-'))) {
    std::fprintf(stderr,
                 "usage: zonbeli-record [FILE]\n"
                 "Plays the game and writes what it received to FILE (zonbeli-record.txt\n"
                 "in the current folder if absent); zonbeli-scenario FILE replays it.\n");
    return 2;
  }
  const std::string path =
      arguments.size() == 2 ? arguments[1].toStdString() : "zonbeli-record.txt";
  zonbeli::RecordingFile file(path);
  if (!file.good()) {
    std::fprintf(stderr, "zonbeli-record: the recording could not be written: %s\n",
                 file.error().c_str());
    file.discard();
    return 1;
  }
  file.stream() << "# A game played in the window, recorded by zonbeli-record.\n"
                   "# zonbeli-scenario plays it back; its dump must print the #> lines.\n";

  zonbeli::SharedSoundLibrary library;
  zonbeli::SoundLog sound(library);
  zonbeli::Recorder recorder(file, sound);
  zonbeli::GameWindow window(sound, &recorder);
  recorder.attach(window);
  window.onInput = [&recorder](const zonbeli::Input& input) { recorder.input(input); };
  window.start();
  return QApplication::exec();
}
