// The window's persistent drawing surface: 678 x 606 pixels that keep every
// stamp until something is stamped over it. The real window shows it; the
// tests draw on the very same surface.
#pragma once

#include <QFont>
#include <QImage>
#include <array>
#include <string>

#include "services.h"

namespace zonbeli {

class Canvas {
 public:
  static constexpr int kWidth = 678;
  static constexpr int kHeight = 606;

  // Needs a QGuiApplication for its fonts; loads the pictures from the
  // binary's resources.
  Canvas();

  void PaintPicture(Picture picture, float x, float y);
  void FillBox(float x1, float y1, float x2, float y2, Rgb colour);
  void PrintText(float x, float y, const std::string& text, Rgb colour, double points);

  const QImage& image() const { return image_; }
  const QImage& picture(Picture p) const { return pictures_[static_cast<std::size_t>(p)]; }

  // The family the window font resolves to on this machine.
  QString fontFamily() const;

 private:
  QImage image_;
  std::array<QImage, static_cast<std::size_t>(Picture::Count)> pictures_;
  QFont font_;
};

// Makes the pictures and the substitute font available; safe to call twice.
void InitialisePlatformResources();

}  // namespace zonbeli
