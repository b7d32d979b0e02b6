#include "fake_window.h"

#include <cmath>
#include <sstream>

#include "form1.h"

namespace zonbeli {

namespace {

std::string Number(double value) {
  std::ostringstream out;
  out << value;
  return out.str();
}

}  // namespace

FakeWindow::FakeWindow() : canvas_(std::make_unique<Canvas>()) {}

void FakeWindow::PaintPicture(Picture picture, float x, float y) {
  canvas_->PaintPicture(picture, x, y);
  if (record_drawing) {
    drawing.push_back(std::string("picture ") + PictureName(picture) + " " + Number(x) + " " +
                      Number(y));
  }
}

void FakeWindow::FillBox(float x1, float y1, float x2, float y2, Rgb colour) {
  canvas_->FillBox(x1, y1, x2, y2, colour);
  if (record_drawing) {
    drawing.push_back("box " + Number(x1) + " " + Number(y1) + " " + Number(x2) + " " + Number(y2) +
                      " " + std::to_string(colour.r) + "," + std::to_string(colour.g) + "," +
                      std::to_string(colour.b));
  }
}

void FakeWindow::PrintText(float x, float y, const std::string& text, Rgb colour, double points) {
  canvas_->PrintText(x, y, text, colour, points);
  if (record_drawing) {
    drawing.push_back("text " + Number(x) + " " + Number(y) + " " + text + " " +
                      std::to_string(colour.r) + "," + std::to_string(colour.g) + "," +
                      std::to_string(colour.b) + " " + Number(points));
  }
}

void FakeWindow::Refresh() {
  ++refreshes;
  if (record_drawing) drawing.push_back("refresh");
}

void FakeWindow::MessageBox(const std::string& text, const std::string& title,
                            MessageIcon /*icon*/) {
  messages.push_back(title + "|" + text);
}

double FakeWindow::TimeOfDay() {
  if (!times.empty()) {
    const double t = times.front();
    times.pop_front();
    return t;
  }
  return std::fmod(time_of_day_at_zero_ + now_, 86400.0);
}

double FakeWindow::Monotonic() {
  return now_;
}

void FakeWindow::Sleep(double seconds) {
  waits.push_back(seconds);
  if (seconds > 0) now_ += seconds;
}

void FakeWindow::SetTimeOfDay(double seconds) {
  time_of_day_at_zero_ = seconds - now_;
}

double FakeWindow::Random() {
  if (!randoms.empty()) {
    const double r = randoms.front();
    randoms.pop_front();
    return r;
  }
  return std::generate_canonical<double, 32>(random_);
}

bool FakeWindow::FileExists(const std::string& path) {
  return files.count(path) != 0 || unreadable.count(path) != 0;
}

std::uint64_t FakeWindow::FileSize(const std::string& path) {
  auto file = files.find(path);
  return file == files.end() ? 0 : file->second.size();
}

bool FakeWindow::ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes,
                               std::string& error) {
  if (auto bad = unreadable.find(path); bad != unreadable.end()) {
    error = bad->second;
    return false;
  }
  auto file = files.find(path);
  if (file == files.end()) {
    error = "No such file or directory";
    return false;
  }
  bytes = file->second;
  return true;
}

std::string FakeWindow::SoundFolder() {
  return sound_folder;
}

void FakeWindow::EndProgram(int status) {
  throw ProgramEnded{status};
}

std::int32_t RecordingSound::dsInitialize(std::intptr_t window) {
  calls.push_back("dsInitialize " + std::to_string(window));
  return device;
}

std::int32_t RecordingSound::dsCreateDSB(std::int32_t dev, const std::uint8_t* /*image*/,
                                         std::size_t length, std::int32_t flags) {
  calls.push_back("dsCreateDSB " + std::to_string(dev) + " " + std::to_string(length) + " " +
                  std::to_string(flags));
  return next_buffer++;
}

void RecordingSound::dsPlay(std::int32_t buffer) {
  calls.push_back("dsPlay " + std::to_string(buffer));
  played.push_back(buffer);
}

void RecordingSound::dsPlayLooping(std::int32_t buffer) {
  calls.push_back("dsPlayLooping " + std::to_string(buffer));
  played.push_back(buffer);
}

void RecordingSound::dsStop(std::int32_t buffer) {
  calls.push_back("dsStop " + std::to_string(buffer));
}

void RecordingSound::dsFree(std::int32_t buffer) {
  calls.push_back("dsFree " + std::to_string(buffer));
}

void RecordingSound::dsTerminate(std::int32_t dev) {
  calls.push_back("dsTerminate " + std::to_string(dev));
}

std::string SoundSlotName(const Form1& form, std::int32_t handle) {
  const std::pair<std::int32_t, const char*> named[] = {
      {form.音_回転, "回転"},     {form.音_禁止, "禁止"},     {form.音_移動, "移動"},
      {form.音_その他, "その他"}, {form.音_爆出現, "爆出現"}, {form.音_星出現, "星出現"},
      {form.音_石消去, "石消去"}, {form.音_石着地, "石着地"}, {form.音_面終了, "面終了"},
      {form.音_BGM, "BGM"}};
  for (const auto& [slot, name] : named) {
    if (slot == handle && handle != 0) return name;
  }
  return "";
}

}  // namespace zonbeli
