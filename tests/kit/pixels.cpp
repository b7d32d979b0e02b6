#include "pixels.h"

namespace zonbeli {

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
