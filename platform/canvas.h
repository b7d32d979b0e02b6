// SPDX-License-Identifier: MIT
// The window's persistent drawing surface: pixels that keep every stamp
// until something is stamped over it. The real window shows it; the
// tests draw on the very same surface.
//
// On a high-density screen the surface is held at the screen's density:
// `ratio` device pixels to a surface pixel, texts rendered at that density
// and pictures taken from their double-size drawings.
#pragma once

#include <QFont>
#include <QImage>
#include <QRect>
#include <array>
#include <map>
#include <string>
#include <tuple>

#include "services.h"
#include "surface_size.h"

namespace zonbeli {

class Canvas {
 public:
  static constexpr int kWidth = ZONBELI_SURFACE_WIDTH;
  static constexpr int kHeight = ZONBELI_SURFACE_HEIGHT;

  // Needs a QGuiApplication for its fonts. Each picture is decoded from the
  // binary's resources the first time it is drawn.
  explicit Canvas(double ratio = 1.0);

  // Each answers the part of the surface it drew on, in surface pixels.
  QRect PaintPicture(Picture picture, float x, float y);
  QRect FillBox(float x1, float y1, float x2, float y2, Rgb colour);
  QRect PrintText(float x, float y, const std::string& text, Rgb colour, double points);

  // In device pixels, carrying the ratio as its device pixel ratio.
  const QImage& image() const { return image_; }
  double ratio() const { return ratio_; }
  // The picture at its own size, and its double-size drawing.
  const QImage& picture(Picture p) const;
  const QImage& picture2x(Picture p) const;

  // The family the texts are drawn in on this machine.
  QString fontFamily() const;

 private:
  QRect DeviceRect(const QRect& area) const;
  QRect Touched(const QRect& device) const;
  const QImage& Drawing(Picture p, QSize device_size);

  double ratio_;
  QImage image_;
  mutable std::array<QImage, static_cast<std::size_t>(Picture::Count)> pictures_;
  mutable std::array<QImage, static_cast<std::size_t>(Picture::Count)> pictures2x_;
  std::map<std::tuple<int, int, int>, QImage> resized_;
  QFont font_;
  // The box filled last, in surface pixels, while nothing else was drawn
  // since: the box a text drawn now is written on.
  QRect text_box_;
};

// Device pixels to a pixel on the screen the window opens on.
double ScreenPixelRatio();

// Makes the pictures available; safe to call twice.
void InitialisePlatformResources();

// Starts reading the font configuration on a thread of its own, before the
// toolkit needs it.
void ReadFontConfigurationAhead();
// Returns when that reading is done (at once if it never started). Font
// configuration read twice at the same time scans every font twice.
void AwaitFontConfiguration();

}  // namespace zonbeli
