// SPDX-License-Identifier: MIT
// The recording window drawing on the window's real surface too, for the
// tests and tools that look at pixels; and ways of looking at them.
#pragma once

#include <QImage>
#include <QRect>

#include "canvas.h"
#include "fake_window.h"

namespace zonbeli {

class PixelWindow : public FakeWindow {
 public:
  void PaintPicture(Picture picture, float x, float y) override;
  void FillBox(float x1, float y1, float x2, float y2, Rgb colour) override;
  void PrintText(float x, float y, const std::string& text, Rgb colour, double points) override;
  bool SavePng(const std::string& path) override;

  const QImage& image() const { return canvas_.image(); }
  Canvas& canvas() { return canvas_; }

 private:
  Canvas canvas_;
};

// True when every pixel of `picture` that lands on the surface matches,
// with its top-left corner at pixel (x, y).
bool StampedAt(const QImage& surface, const QImage& picture, int x, int y);

// The smallest rectangle holding every pixel that differs; empty if none.
QRect Difference(const QImage& a, const QImage& b);

}  // namespace zonbeli
