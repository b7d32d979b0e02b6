// Looking at the surface: was a picture stamped here, and what changed.
#pragma once

#include <QImage>
#include <QRect>

namespace zonbeli {

// True when every pixel of `picture` that lands on the surface matches,
// with its top-left corner at pixel (x, y).
bool StampedAt(const QImage& surface, const QImage& picture, int x, int y);

// The smallest rectangle holding every pixel that differs; empty if none.
QRect Difference(const QImage& a, const QImage& b);

}  // namespace zonbeli
