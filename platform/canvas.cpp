#include "canvas.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <stdexcept>

static void InitPictureResources() {
  Q_INIT_RESOURCE(pictures);
}

namespace zonbeli {

namespace {

// The window asks for the font it was designed with; where that font is
// missing, the free IPA proportional Mincho stands in for it.
const QString kWindowFont = QString::fromUtf8("ＭＳ Ｐ明朝");
const QString kSubstituteFont = QStringLiteral("IPAPMincho");

QColor ToQColor(Rgb c) {
  return QColor(c.r, c.g, c.b);
}

}  // namespace

void InitialisePlatformResources() {
  static bool done = false;
  if (done) return;
  done = true;
  InitPictureResources();
  QFont::insertSubstitution(kWindowFont, kSubstituteFont);
}

Canvas::Canvas() : image_(kWidth, kHeight, QImage::Format_RGB32) {
  InitialisePlatformResources();
  // 96 dots per inch, so that a point is 4/3 of a pixel as the layout assumes.
  image_.setDotsPerMeterX(3780);
  image_.setDotsPerMeterY(3780);
  image_.fill(QColor(0, 128, 0));
  for (int i = 0; i < static_cast<int>(Picture::Count); ++i) {
    const auto p = static_cast<Picture>(i);
    QImage loaded(QStringLiteral(":/pictures/%1.png").arg(QString::fromLatin1(PictureName(p))));
    if (loaded.isNull()) {
      throw std::runtime_error(std::string("picture missing from the build: ") + PictureName(p));
    }
    pictures_[static_cast<std::size_t>(i)] = loaded.convertToFormat(QImage::Format_RGB32);
  }
  font_ = QFont(kWindowFont);
  font_.setWeight(QFont::Normal);
  font_.setStyleHint(QFont::Serif);
}

QString Canvas::fontFamily() const {
  return QFontInfo(font_).family();
}

void Canvas::PaintPicture(Picture picture, float x, float y) {
  QPainter painter(&image_);
  painter.drawImage(TwipsToPixels(x), TwipsToPixels(y), this->picture(picture));
}

// Both corners are inside the box, as with an outlined and filled box.
void Canvas::FillBox(float x1, float y1, float x2, float y2, Rgb colour) {
  const int left = TwipsToPixels(std::min(x1, x2));
  const int right = TwipsToPixels(std::max(x1, x2));
  const int top = TwipsToPixels(std::min(y1, y2));
  const int bottom = TwipsToPixels(std::max(y1, y2));
  QPainter painter(&image_);
  painter.fillRect(QRect(QPoint(left, top), QPoint(right, bottom)), ToQColor(colour));
}

// Glyphs only: whatever lies between the strokes shows through. The
// baseline sits where the window's design font puts it (0.86 em below the
// top), so the boxes that blank a text cover it whatever font stands in.
void Canvas::PrintText(float x, float y, const std::string& text, Rgb colour, double points) {
  QPainter painter(&image_);
  QFont font = font_;
  font.setPointSizeF(points);
  painter.setFont(font);
  painter.setPen(ToQColor(colour));
  const double em = points * 96.0 / 72.0;
  const int ascent = static_cast<int>(std::floor(em * 0.86));
  painter.drawText(TwipsToPixels(x), TwipsToPixels(y) + ascent, QString::fromStdString(text));
}

}  // namespace zonbeli
