// SPDX-License-Identifier: MIT
#include "pixel_window.h"

#include <QString>

namespace zonbeli {

void PixelWindow::PaintPicture(Picture picture, float x, float y) {
  canvas_.PaintPicture(picture, x, y);
  FakeWindow::PaintPicture(picture, x, y);
}

void PixelWindow::FillBox(float x1, float y1, float x2, float y2, Rgb colour) {
  canvas_.FillBox(x1, y1, x2, y2, colour);
  FakeWindow::FillBox(x1, y1, x2, y2, colour);
}

void PixelWindow::PrintText(float x, float y, const std::string& text, Rgb colour, double points) {
  canvas_.PrintText(x, y, text, colour, points);
  FakeWindow::PrintText(x, y, text, colour, points);
}

bool PixelWindow::SavePng(const std::string& path) {
  return canvas_.image().save(QString::fromStdString(path), "PNG");
}

bool StampedAt(const QImage& surface, const QImage& picture, int x, int y) {
  for (int py = 0; py < picture.height(); ++py) {
    for (int px = 0; px < picture.width(); ++px) {
      const int sx = x + px;
      const int sy = y + py;
      if (sx < 0 || sy < 0 || sx >= surface.width() || sy >= surface.height()) continue;
      if (surface.pixel(sx, sy) != picture.pixel(px, py)) return false;
    }
  }
  return true;
}

QRect Difference(const QImage& a, const QImage& b) {
  QRect box;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      if (a.pixel(x, y) != b.pixel(x, y)) box |= QRect(x, y, 1, 1);
    }
  }
  return box;
}

}  // namespace zonbeli
