// SPDX-License-Identifier: MIT
// Boxes, texts, digit pictures, the score, the level label, and the pause
// that paces every animation.
#include <algorithm>
#include <string>

#include "form1.h"

namespace zonbeli {

void Form1::描画_四角形(double x, double y, double width, double height, int colour) {
  const double x1 = 原点_X + x * マス_幅;
  const double y1 = 原点_Y + y * マス_高さ;
  窓.FillBox(static_cast<float>(x1), static_cast<float>(y1), static_cast<float>(x1 + width),
             static_cast<float>(y1 + height), QBColor(colour));
}

void Form1::描画_文字(double x, double y, std::string_view text, int colour, double size) {
  const double left = 原点_X + x * 375 + 20;
  const double top = 原点_Y + y * 375 + 20;
  窓.PrintText(static_cast<float>(left), static_cast<float>(top), std::string(text),
               QBColor(colour), size);
}

// Digit pictures sit on the plain cell grid, with no origin added.
void Form1::描画_数値(double x, double y, int digit) {
  const int index = static_cast<int>(Picture::SUUJI0) + (digit % 10 + 10) % 10;
  窓.PaintPicture(static_cast<Picture>(index), static_cast<float>(x * マス_幅),
                  static_cast<float>(y * マス_高さ));
}

// Four digits with leading zeros; a longer score grows to the left at the
// same pitch, up to the six places that fit between the well's frame and
// the window's edge. The places left of a shorter number are blanked, or a
// fifth digit of the last game would stay beside the new 0000.
void Form1::描画_スコア(double row, long value) {
  constexpr int kPlaces = 6;
  constexpr long kWidest = 999'999;
  value = std::clamp(value, 0L, kWidest);
  std::string digits = std::to_string(value);
  if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
  const double units_x = 16.6;
  const double pitch = 0.6;
  const auto count = static_cast<int>(digits.size());
  const double top = row * マス_高さ;
  if (count < kPlaces) {
    const double left = (units_x - pitch * (kPlaces - 1)) * マス_幅;
    const double first = (units_x - pitch * (count - 1)) * マス_幅;
    const double digit_height = 25 * kTwipsPerPixel;
    窓.FillBox(static_cast<float>(left), static_cast<float>(top),
               static_cast<float>(first - kTwipsPerPixel),
               static_cast<float>(top + digit_height - kTwipsPerPixel), QBColor(色_背景));
  }
  for (int i = 0; i < count; ++i) {
    const double x = units_x - pitch * (count - 1 - i);
    描画_数値(x, row, digits[static_cast<std::size_t>(i)] - '0');
  }
}

void Form1::描画_レベル(int level) {
  描画_四角形(14, 3.5, 2000, 300, 色_背景);
  描画_文字(20.6, 5, "LEBEL: " + std::to_string(level), 色_白, 15);
}

// Sleeps rather than spins; like the spinning wait it lets no event of the
// window run, and a monotonic clock keeps midnight from mattering.
void Form1::待ち時間(double seconds) {
  const double end = 窓.Monotonic() + seconds;
  for (double now = 窓.Monotonic(); now < end; now = 窓.Monotonic()) 窓.Sleep(end - now);
}

}  // namespace zonbeli
