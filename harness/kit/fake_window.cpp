// SPDX-License-Identifier: MIT
#include "fake_window.h"

#include <algorithm>
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

std::string Colour(Rgb colour) {
  return std::to_string(colour.r) + "," + std::to_string(colour.g) + "," + std::to_string(colour.b);
}

std::string PictureLine(Picture picture, double x, double y) {
  return std::string("picture ") + PictureName(picture) + " " + Number(x) + " " + Number(y);
}

}  // namespace

std::string CellPictureLine(Picture picture, double column, double row) {
  return PictureLine(picture, Form1::原点_X + Form1::マス_幅 * column,
                     Form1::原点_Y + Form1::マス_高さ * row);
}

void FakeWindow::PaintPicture(Picture picture, float x, float y) {
  shown[{TwipsToPixels(x), TwipsToPixels(y)}] = picture;
  if (record_drawing) drawing.push_back(PictureLine(picture, x, y));
}

void FakeWindow::FillBox(float x1, float y1, float x2, float y2, Rgb colour) {
  if (record_drawing) {
    drawing.push_back("box " + Number(x1) + " " + Number(y1) + " " + Number(x2) + " " + Number(y2) +
                      " " + Colour(colour));
  }
}

void FakeWindow::PrintText(float x, float y, const std::string& text, Rgb colour, double points) {
  if (record_drawing) {
    drawing.push_back("text " + Number(x) + " " + Number(y) + " " + text + " " + Colour(colour) +
                      " " + Number(points));
  }
}

bool FakeWindow::Shows(double column, double row, Picture picture) const {
  const auto at = shown.find({TwipsToPixels(Form1::原点_X + Form1::マス_幅 * column),
                              TwipsToPixels(Form1::原点_Y + Form1::マス_高さ * row)});
  return at != shown.end() && at->second == picture;
}

void FakeWindow::Refresh() {
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

bool FakeWindow::ReadWholeFile(const std::string& path, FileBytes& bytes, std::string& error) {
  if (auto bad = unreadable.find(path); bad != unreadable.end()) {
    error = bad->second;
    return false;
  }
  auto file = files.find(path);
  if (file == files.end()) {
    error = "No such file or directory";
    return false;
  }
  bytes.allocate(file->second.size(), FileBytes::kPlainMemory);
  std::copy(file->second.begin(), file->second.end(), bytes.data());
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
  for (const 音定義& sound : 音_一覧) {
    if (form.*sound.slot == handle && handle != 0) return std::string(sound.name);
  }
  return "";
}

}  // namespace zonbeli
