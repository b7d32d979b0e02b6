// SPDX-License-Identifier: MIT
// What the game needs from the desktop: a window to draw on, a clock, a
// random source, files, message boxes and a way out. The game and the
// drawing routines see only these two interfaces; the Qt front end and the
// test fakes implement them.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "file_bytes.h"

namespace zonbeli {

// The stored pictures, named as the window's picture controls.
enum class Picture : int {
  HU,
  KYOU,
  KEI,
  GIN,
  KIN,
  KAKU,
  HISYA,
  OH,
  HAIKEI,
  BAKUDAN,
  HOSI,
  BAKUHATU,
  PA,
  PA2,
  WAKU_UE,
  WAKU_SITA,
  WAKU_HIDARI,
  WAKU_MIGI,
  SUUJI0,
  SUUJI1,
  SUUJI2,
  SUUJI3,
  SUUJI4,
  SUUJI5,
  SUUJI6,
  SUUJI7,
  SUUJI8,
  SUUJI9,
  BOMB,
  STAR,
  HB_DEL,
  RABELU,
  Count
};

const char* PictureName(Picture p);

enum class MessageIcon { Exclamation, Information };

// Positions reach the window in twips, 15 to a pixel at 96 dots per inch.
// Every implementation rounds them the same way, halves away from the top-left.
constexpr double kTwipsPerPixel = 15.0;
inline int TwipsToPixels(double twips) {
  return static_cast<int>(std::floor(twips / kTwipsPerPixel + 0.5));
}

struct Rgb {
  std::uint8_t r, g, b;
  friend bool operator==(Rgb, Rgb) = default;
};

class WindowServices {
 public:
  virtual ~WindowServices() = default;

  // Drawing onto the persistent surface; nothing shows until Refresh or the
  // end of the current event.
  virtual void PaintPicture(Picture picture, float x, float y) = 0;
  virtual void FillBox(float x1, float y1, float x2, float y2, Rgb colour) = 0;
  virtual void PrintText(float x, float y, const std::string& text, Rgb colour, double points) = 0;
  virtual void Refresh() = 0;

  // Modal: returns when the player has closed the box.
  virtual void MessageBox(const std::string& text, const std::string& title, MessageIcon icon) = 0;

  // Seconds since local midnight, with its fraction.
  virtual double TimeOfDay() = 0;
  // Seconds on a clock that never jumps; only differences mean anything.
  virtual double Monotonic() = 0;
  // Suspends the game for that long; no event of the window runs meanwhile.
  virtual void Sleep(double seconds) = 0;
  // The next number in [0, 1) of a generator the game never seeds.
  virtual double Random() = 0;

  virtual bool FileExists(const std::string& path) = 0;
  // Bytes in the file, without reading any; 0 when it cannot be told.
  virtual std::uint64_t FileSize(const std::string& path) = 0;
  // False with a message in `error` when the file cannot be read whole.
  virtual bool ReadWholeFile(const std::string& path, FileBytes& bytes, std::string& error) = 0;
  // Where the game's own sounds live when they are not in the current directory.
  virtual std::string SoundFolder() = 0;

  virtual std::intptr_t WindowHandle() = 0;
  virtual bool BgmChecked() = 0;
  virtual void SetBgmChecked(bool checked) = 0;

  // Ends the program at once; never returns to the caller.
  [[noreturn]] virtual void EndProgram(int status) = 0;
};

// The sound library as the game calls it: small integer handles, 0 for none.
class SoundLibrary {
 public:
  virtual ~SoundLibrary() = default;
  virtual std::int32_t dsInitialize(std::intptr_t window) = 0;
  virtual std::int32_t dsCreateDSB(std::int32_t device, const std::uint8_t* image,
                                   std::size_t length, std::int32_t flags) = 0;
  virtual void dsPlay(std::int32_t buffer) = 0;
  virtual void dsPlayLooping(std::int32_t buffer) = 0;
  virtual void dsStop(std::int32_t buffer) = 0;
  virtual void dsFree(std::int32_t buffer) = 0;
  virtual void dsTerminate(std::int32_t device) = 0;
  // Why the last dsCreateDSB answered 0, for whoever installs the sounds; empty when unknown.
  virtual std::string LoadError() { return {}; }
  // Where the window reads a sound file for dsCreateDSB: memory the library
  // can keep the file in as it stands, where it has such memory.
  virtual FileBytes::Memory FileMemory() { return FileBytes::kPlainMemory; }
};

}  // namespace zonbeli
