// SPDX-License-Identifier: MIT
#include "canvas.h"

#include <fontconfig/fontconfig.h>

#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <future>
#include <stdexcept>

static void InitPictureResources() {
  Q_INIT_RESOURCE(pictures);
}

namespace zonbeli {

namespace {

// The window was designed with "ＭＳ Ｐ明朝", which no free desktop has; the
// free IPA proportional Mincho is its counterpart and is asked for by name,
// so the font lookup finds it at once instead of failing over for each text.
const QString kFace = QStringLiteral("IPAPMincho");
constexpr const char* kFacePackage = "fonts-ipafont-mincho";

std::future<void> g_font_configuration;

// Without the face another one stands in: its glyphs may be wider, and
// without any Japanese face the texts show as empty boxes. Said once.
void SayIfFaceMissing(const QFont& font) {
  static bool said = false;
  if (said) return;
  said = true;
  const QString drawn = QFontInfo(font).family();
  if (drawn == kFace) return;
  std::fprintf(stderr,
               "zonbeli: the font %s is missing, texts are drawn in %s instead; install %s\n",
               qPrintable(kFace), qPrintable(drawn), kFacePackage);
}

// The cells' pitch: a 34-pixel picture and the line after it.
constexpr int kCell = 35;

QColor ToQColor(Rgb c) {
  return QColor(c.r, c.g, c.b);
}

}  // namespace

void InitialisePlatformResources() {
  static bool done = false;
  if (done) return;
  done = true;
  InitPictureResources();
}

void ReadFontConfigurationAhead() {
  g_font_configuration = std::async(std::launch::async, [] { FcInit(); });
}

void AwaitFontConfiguration() {
  if (g_font_configuration.valid()) g_font_configuration.wait();
}

// Pictures and boxes are copied pixel by pixel: they are opaque, so a copy
// is what a painter would make of them, without its cost.
namespace {

void Blit(QImage& target, const QImage& source, QPoint at) {
  const QRect area = QRect(at, source.size()).intersected(target.rect());
  const auto bytes = static_cast<std::size_t>(area.width()) * sizeof(QRgb);
  for (int y = area.top(); y <= area.bottom(); ++y) {
    const auto* from = reinterpret_cast<const QRgb*>(source.constScanLine(y - at.y()));
    std::memcpy(reinterpret_cast<QRgb*>(target.scanLine(y)) + area.left(),
                from + (area.left() - at.x()), bytes);
  }
}

void Fill(QImage& target, const QRect& box, QRgb colour) {
  const QRect area = box.intersected(target.rect());
  for (int y = area.top(); y <= area.bottom(); ++y) {
    QRgb* line = reinterpret_cast<QRgb*>(target.scanLine(y)) + area.left();
    std::fill(line, line + area.width(), colour);
  }
}

QImage LoadPicture(Picture p, const char* suffix) {
  const QString name = QString::fromLatin1(PictureName(p)) + QString::fromLatin1(suffix);
  // Naming the format spares the toolkit loading every image plugin it has
  // to ask which of them reads the file.
  QImage loaded(QStringLiteral(":/pictures/%1.png").arg(name), "PNG");
  if (loaded.isNull()) {
    throw std::runtime_error("picture missing from the build: " + name.toStdString());
  }
  loaded = loaded.convertToFormat(QImage::Format_RGB32);
  loaded.setDevicePixelRatio(1.0);
  return loaded;
}

}  // namespace

double ScreenPixelRatio() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->devicePixelRatio() : 1.0;
}

Canvas::Canvas(double ratio)
    : ratio_(ratio),
      image_(static_cast<int>(std::ceil(kWidth * ratio)),
             static_cast<int>(std::ceil(kHeight * ratio)), QImage::Format_RGB32) {
  InitialisePlatformResources();
  // 96 dots per inch, so that a point is 4/3 of a pixel as the layout assumes.
  image_.setDotsPerMeterX(3780);
  image_.setDotsPerMeterY(3780);
  image_.setDevicePixelRatio(ratio_);
  image_.fill(QColor(0, 128, 0));
  font_ = QFont(kFace);
  font_.setWeight(QFont::Normal);
  font_.setStyleHint(QFont::Serif);
}

// Most pictures are stones the first screen never shows.
const QImage& Canvas::picture(Picture p) const {
  QImage& own = pictures_[static_cast<std::size_t>(p)];
  if (own.isNull()) own = LoadPicture(p, "");
  return own;
}

const QImage& Canvas::picture2x(Picture p) const {
  QImage& twice = pictures2x_[static_cast<std::size_t>(p)];
  if (twice.isNull()) twice = LoadPicture(p, "@2x");
  return twice;
}

QString Canvas::fontFamily() const {
  return QFontInfo(font_).family();
}

// The device pixels of a surface rectangle: every device pixel that the
// rectangle covers at least half of. At 1.5 the one-pixel line between two
// cells is then always one device pixel wide, where rounding each edge the
// same way would make it one or two, and frame pieces still meet.
QRect Canvas::DeviceRect(const QRect& area) const {
  if (ratio_ == 1.0) return area;
  const auto low = [this](int edge) { return static_cast<int>(std::ceil(edge * ratio_ - 0.5)); };
  const auto high = [this](int edge) { return static_cast<int>(std::floor(edge * ratio_ + 0.5)); };
  const int left = low(area.left());
  const int top = low(area.top());
  return {left, top, high(area.left() + area.width()) - left,
          high(area.top() + area.height()) - top};
}

// The surface pixels that hold some of the device pixels drawn on; at a
// fractional ratio one more all round, as the window may round the other
// way when it maps them back to the screen.
QRect Canvas::Touched(const QRect& device) const {
  const QRect surface(0, 0, kWidth, kHeight);
  if (ratio_ == 1.0) return device.intersected(surface);
  const QRectF exact(device.x() / ratio_, device.y() / ratio_, device.width() / ratio_,
                     device.height() / ratio_);
  const int margin = ratio_ == std::floor(ratio_) ? 0 : 1;
  return exact.toAlignedRect().adjusted(-margin, -margin, margin, margin).intersected(surface);
}

// The picture at the size it takes on the device: its own drawing when one
// fits, else the nearest drawing resized smoothly.
const QImage& Canvas::Drawing(Picture p, QSize device_size) {
  const QImage& own = picture(p);
  if (device_size == own.size()) return own;
  const QImage& twice = picture2x(p);
  if (device_size == twice.size()) return twice;
  const auto key = std::tuple(static_cast<int>(p), device_size.width(), device_size.height());
  auto found = resized_.find(key);
  if (found == resized_.end()) {
    const QImage& source = ratio_ > 1 ? twice : own;
    found = resized_
                .emplace(key,
                         source.scaled(device_size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                             .convertToFormat(QImage::Format_RGB32))
                .first;
  }
  return found->second;
}

QRect Canvas::PaintPicture(Picture picture, float x, float y) {
  text_box_ = QRect();
  const QPoint at(TwipsToPixels(x), TwipsToPixels(y));
  const QSize size = this->picture(picture).size();
  QRect device = DeviceRect(QRect(at, size));
  // Shown smaller than its own size, a cell's one-pixel line would come and
  // go from cell to cell; each cell leaves exactly one device pixel for it.
  if (ratio_ < 1.0 && size == QSize(kCell - 1, kCell - 1)) {
    device = DeviceRect(QRect(at, QSize(kCell, kCell))).adjusted(0, 0, -1, -1);
  }
  Blit(image_, Drawing(picture, device.size()), device.topLeft());
  return Touched(device);
}

// Both corners are inside the box, as with an outlined and filled box.
QRect Canvas::FillBox(float x1, float y1, float x2, float y2, Rgb colour) {
  const int left = TwipsToPixels(std::min(x1, x2));
  const int right = TwipsToPixels(std::max(x1, x2));
  const int top = TwipsToPixels(std::min(y1, y2));
  const int bottom = TwipsToPixels(std::max(y1, y2));
  text_box_ = QRect(QPoint(left, top), QPoint(right, bottom));
  const QRect device = DeviceRect(text_box_);
  Fill(image_, device, qRgb(colour.r, colour.g, colour.b));
  return Touched(device);
}

// Glyphs only: whatever lies between the strokes shows through. The
// baseline sits where the window's design font puts it (0.86 em below the
// top), so the boxes that blank a text cover it whatever font stands in.
//
// A text written on a box just filled (the prompt on its panel, the level on
// its strip) belongs to that box: a wider face standing in for the missing
// one is narrowed to the room left in the box and clipped to it, so that the
// next fill of the box takes all of it away.
QRect Canvas::PrintText(float x, float y, const std::string& text, Rgb colour, double points) {
  QPainter painter(&image_);
  // A painter takes a density below 1 for 1; a surface shown smaller than
  // its own size is scaled here.
  if (ratio_ < 1.0) painter.scale(ratio_, ratio_);
  QFont font = font_;
  font.setPointSizeF(points);
  painter.setFont(font);
  SayIfFaceMissing(font);
  painter.setPen(ToQColor(colour));
  const double em = points * 96.0 / 72.0;
  const int ascent = static_cast<int>(std::floor(em * 0.86));
  const QPoint origin(TwipsToPixels(x), TwipsToPixels(y) + ascent);
  const QString shown = QString::fromStdString(text);
  // Ink may stray a pixel or two past the font's own measure of the text.
  QRect ink = painter.fontMetrics().boundingRect(shown).translated(origin).adjusted(-2, -2, 2, 2);
  const QRect box = text_box_;
  if (box.contains(TwipsToPixels(x), TwipsToPixels(y))) {
    painter.setClipRect(box);
    const int room = box.right() - origin.x();
    const int width = painter.fontMetrics().boundingRect(shown).right();
    if (width > room && width > 0) {
      painter.translate(origin);
      painter.scale(static_cast<double>(room) / width, 1.0);
      painter.translate(-origin);
    }
    ink = ink.intersected(box);
  }
  painter.drawText(origin, shown);
  return ink.intersected(QRect(0, 0, kWidth, kHeight));
}

}  // namespace zonbeli
