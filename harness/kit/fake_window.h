// SPDX-License-Identifier: MIT
// Window services for tests and the scenario runner: a virtual clock that
// waits cost nothing on, files held in memory, and a record of what the game
// asked for. It draws no pixels and needs no toolkit: drawing is kept as
// calls, and each cell position remembers the last picture stamped there.
// PixelWindow (pixel_window.h) adds the real surface where pixels matter.
#pragma once

#include <deque>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "services.h"

namespace zonbeli {

class Form1;

// Thrown by EndProgram so a test can watch the program end.
struct ProgramEnded {
  int status;
};

class FakeWindow : public WindowServices {
 public:
  void PaintPicture(Picture picture, float x, float y) override;
  void FillBox(float x1, float y1, float x2, float y2, Rgb colour) override;
  void PrintText(float x, float y, const std::string& text, Rgb colour, double points) override;
  void Refresh() override;
  void MessageBox(const std::string& text, const std::string& title, MessageIcon icon) override;
  double TimeOfDay() override;
  double Monotonic() override;
  void Sleep(double seconds) override;
  double Random() override;
  bool FileExists(const std::string& path) override;
  std::uint64_t FileSize(const std::string& path) override;
  bool ReadWholeFile(const std::string& path, FileBytes& bytes, std::string& error) override;
  std::string SoundFolder() override;
  std::intptr_t WindowHandle() override { return 0x2a; }
  bool BgmChecked() override { return bgm_checked; }
  void SetBgmChecked(bool checked) override { bgm_checked = checked; }
  [[noreturn]] void EndProgram(int status) override;

  // Moves the virtual clock on, as the passing of real time would.
  void Advance(double seconds) { now_ += seconds; }
  // Sets the time of day the clock shows now.
  void SetTimeOfDay(double seconds);

  // Whether the picture last stamped with its corner at this cell of the
  // well's grid (column, row as the game counts them) is `picture`.
  bool Shows(double column, double row, Picture picture) const;
  // Writes the surface as a PNG; this window has none to write.
  virtual bool SavePng(const std::string& /*path*/) { return false; }

  // The last picture stamped at each pixel position (x, y).
  std::map<std::pair<int, int>, Picture> shown;
  // What was drawn, one line a call ("picture HU 100 325", "text ..."),
  // kept only while `record_drawing` is set.
  std::vector<std::string> drawing;
  bool record_drawing = true;
  std::vector<double> waits;
  std::vector<std::string> messages;  // "title|text"
  bool bgm_checked = false;
  std::map<std::string, std::vector<std::uint8_t>> files;
  std::map<std::string, std::string> unreadable;  // path -> error text
  std::string sound_folder;
  std::deque<double> randoms;  // used first; then an unseeded generator
  std::deque<double> times;    // readings of the time of day, used before the clock

 private:
  double now_ = 1000.0;
  double time_of_day_at_zero_ = 0.0;
  std::mt19937 random_;
};

// Records every call to the sound library; each created buffer gets the
// next handle from 1 on.
class RecordingSound : public SoundLibrary {
 public:
  std::int32_t dsInitialize(std::intptr_t window) override;
  std::int32_t dsCreateDSB(std::int32_t device, const std::uint8_t* image, std::size_t length,
                           std::int32_t flags) override;
  void dsPlay(std::int32_t buffer) override;
  void dsPlayLooping(std::int32_t buffer) override;
  void dsStop(std::int32_t buffer) override;
  void dsFree(std::int32_t buffer) override;
  void dsTerminate(std::int32_t device) override;

  std::int32_t device = 7;           // what dsInitialize answers; 0 for no device
  std::vector<std::string> calls;    // "dsPlay 3", "dsCreateDSB 7 44 3", ...
  std::vector<std::int32_t> played;  // buffers started, once or looping, in order
  std::int32_t next_buffer = 1;
};

// The drawing log's line for `picture` stamped at cell (column, row) of the
// well's grid.
std::string CellPictureLine(Picture picture, double column, double row);

// The name of the sound slot a handle sits in ("石着地"), or "" if none.
std::string SoundSlotName(const Form1& form, std::int32_t handle);

}  // namespace zonbeli
