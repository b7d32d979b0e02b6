// SPDX-License-Identifier: MIT
// Draws every picture of the game: the stones, the empty cell, the frame pieces, the blink
// sparkles, the score digits, the bomb and star banners, the title and the application icon.
// Every picture of the surface is drawn twice: at its own size (HU.png) and at twice its size
// for high-density screens (HU@2x.png), the larger one drawn afresh rather than enlarged.
//
//   make_pictures <pictures folder> [<icons folder>]
//
// The icons folder receives the application icon as installed for desktops: one PNG per
// hicolor size and a scalable SVG drawn from the same outlines.
//
// All artwork is procedural, so the output is the same on every run: the wood grain comes from a
// hashed value noise with fixed seeds, and the lettering is filled from font outlines rather
// than from hinted glyph bitmaps.

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <QString>
#include <QStringList>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <string_view>
#include <vector>

namespace {

constexpr double kPi = std::numbers::pi;

// The window background; the banners, digits and title sit on it.
const QColor kWindowGreen(0, 128, 0);
// The green around the frame bars, a shade darker than the window's.
const QColor kFrameGreen(0, 125, 0);

constexpr int kCell = 34;
constexpr int kFrame = 35;

// ---------------------------------------------------------------------------------------------
// Noise

std::uint32_t hash2(int x, int y, std::uint32_t seed) {
  std::uint32_t h = seed * 0x9E3779B1u;
  h ^= static_cast<std::uint32_t>(x) * 0x85EBCA77u;
  h = (h << 13) | (h >> 19);
  h ^= static_cast<std::uint32_t>(y) * 0xC2B2AE3Du;
  h ^= h >> 16;
  h *= 0x7FEB352Du;
  h ^= h >> 15;
  h *= 0x846CA68Bu;
  h ^= h >> 16;
  return h;
}

double lattice(int x, int y, std::uint32_t seed, int period) {
  if (period > 0) x = ((x % period) + period) % period;
  return (hash2(x, y, seed) & 0xFFFFFF) / double(0xFFFFFF);
}

double smooth(double t) {
  return t * t * t * (t * (t * 6 - 15) + 10);
}

// Value noise in [0, 1]. A positive period makes it repeat along x every `period` lattice steps,
// which lets the frame bars tile without a seam.
double valueNoise(double x, double y, std::uint32_t seed, int period = 0) {
  const double fx = std::floor(x), fy = std::floor(y);
  const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
  const double tx = smooth(x - fx), ty = smooth(y - fy);
  const double a = lattice(ix, iy, seed, period), b = lattice(ix + 1, iy, seed, period);
  const double c = lattice(ix, iy + 1, seed, period), d = lattice(ix + 1, iy + 1, seed, period);
  return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

double fbm(double x, double y, std::uint32_t seed, int period = 0, int octaves = 3) {
  double sum = 0, amp = 1, norm = 0;
  for (int o = 0; o < octaves; ++o) {
    sum += amp * valueNoise(x, y, seed + 101u * o, period);
    norm += amp;
    amp *= 0.5;
    x *= 2;
    y *= 2;
    period *= 2;
  }
  return sum / norm;
}

QColor mix(const QColor& a, const QColor& b, double t) {
  t = std::clamp(t, 0.0, 1.0);
  return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t,
                          a.greenF() + (b.greenF() - a.greenF()) * t,
                          a.blueF() + (b.blueF() - a.blueF()) * t);
}

QColor scaled(const QColor& c, double k) {
  return QColor::fromRgbF(std::clamp(c.redF() * k, 0.0, 1.0), std::clamp(c.greenF() * k, 0.0, 1.0),
                          std::clamp(c.blueF() * k, 0.0, 1.0));
}

// ---------------------------------------------------------------------------------------------
// Wood

struct WoodStyle {
  QColor light;
  QColor dark;
  double ringSpacing;  // pixels between growth lines, across the grain
  double warp;         // how far the growth lines wander
  double ringWeight;
  double fibreWeight;
  std::uint32_t seed;
};

// Darkness of the wood in [0, 1] at a point; u runs along the grain and v across it. With a
// positive `periodU` the pattern repeats every `periodU` pixels along the grain.
double grain(double u, double v, const WoodStyle& s, int periodU = 0) {
  // Lattice steps per period: three for the slow wander, twelve for the fine fibres.
  const double slowStep = periodU > 0 ? periodU / 3.0 : 12.0;
  const double fibreStep = periodU > 0 ? periodU / 12.0 : 3.0;
  const int slowPeriod = periodU > 0 ? 3 : 0;
  const int fibrePeriod = periodU > 0 ? 12 : 0;

  const double wander = fbm(u / slowStep, v / 16.0, s.seed, slowPeriod) - 0.5;
  const double t = v / s.ringSpacing + s.warp * wander;
  double ring = 0.5 + 0.5 * std::cos(2 * kPi * t);
  ring = std::pow(ring, 4.0);
  const double fibre = valueNoise(u / fibreStep, v / 0.9, s.seed + 7u, fibrePeriod);
  const double broadStep = periodU > 0 ? periodU : 24.0;
  const double broad = fbm(u / broadStep, v / 20.0, s.seed + 13u, periodU > 0 ? 1 : 0);
  return std::clamp(
      s.ringWeight * ring + s.fibreWeight * (fibre - 0.5) + 0.15 * (broad - 0.5) + 0.2, 0.0, 1.0);
}

// The board wood of the well: a warm, calm grain running across the cell.
const WoodStyle kBoardWood{QColor(222, 176, 108), QColor(170, 112, 56), 6.5, 1.3, 0.42, 0.16, 11u};
// The piece wood: paler and finer, with the grain running up the piece.
const WoodStyle kPieceWood{QColor(250, 226, 170), QColor(214, 172, 104), 5.0, 1.6, 0.35, 0.30, 29u};
// The frame: a dark, polished wood.
const WoodStyle kFrameWood{QColor(150, 80, 36), QColor(78, 36, 14), 4.5, 0.8, 0.6, 0.25, 47u};

// `scale` pixels to a pixel of the picture's own size; the grain is sampled at the centre of
// each of them.
QImage boardCell(int scale) {
  QImage img(kCell * scale, kCell * scale, QImage::Format_RGB32);
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      const double d = grain((x + 0.5) / scale, (y + 0.5) / scale + 3.0, kBoardWood);
      img.setPixelColor(x, y, mix(kBoardWood.light, kBoardWood.dark, d));
    }
  return img;
}

QImage pieceTexture(int size) {
  QImage img(size, size, QImage::Format_RGB32);
  const double k = size / double(kCell);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const double d = grain((y + 0.5) / k, (x + 0.5) / k + 2.0, kPieceWood);
      img.setPixelColor(x, y, mix(kPieceWood.light, kPieceWood.dark, d));
    }
  return img;
}

// ---------------------------------------------------------------------------------------------
// Fonts and lettering

QString gKanjiFamily;
QString gSansFamily;
QString gSerifFamily;

QString loadFont(const QStringList& files, const char* what) {
  for (const QString& file : files) {
    const int id = QFontDatabase::addApplicationFont(file);
    if (id < 0) continue;
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    if (!families.isEmpty()) return families.first();
  }
  std::fprintf(stderr, "make_pictures: no font for %s (tried %s)\n", what,
               qPrintable(files.join(", ")));
  return {};
}

// The outline of a text, taken from the font at a large size so no hinting distorts it.
QPainterPath textPath(const QString& family, const QString& text) {
  QFont font(family);
  font.setPixelSize(400);
  font.setHintingPreference(QFont::PreferNoHinting);
  font.setKerning(true);
  QPainterPath path;
  path.addText(0, 0, font, text);
  return path;
}

// Scales a path uniformly so that its ink fits `box`, centred in it.
QPainterPath fitted(const QPainterPath& path, const QRectF& box) {
  const QRectF r = path.boundingRect();
  const double k = std::min(box.width() / r.width(), box.height() / r.height());
  QTransform t;
  t.translate(box.center().x(), box.center().y());
  t.scale(k, k);
  t.translate(-r.center().x(), -r.center().y());
  return t.map(path);
}

// ---------------------------------------------------------------------------------------------
// Geometry helpers

// Moves every edge of a convex polygon inwards by `d` (polygon given clockwise on screen).
QPolygonF inset(const QPolygonF& poly, double d) {
  const int n = poly.size();
  std::vector<QLineF> edges;
  for (int i = 0; i < n; ++i) {
    const QPointF a = poly[i], b = poly[(i + 1) % n];
    const QLineF e(a, b);
    const QPointF normal(-(b.y() - a.y()) / e.length(), (b.x() - a.x()) / e.length());
    edges.emplace_back(a + normal * d, b + normal * d);
  }
  QPolygonF out;
  for (int i = 0; i < n; ++i) {
    QPointF p;
    edges[(i + n - 1) % n].intersects(edges[i], &p);
    out << p;
  }
  return out;
}

QPolygonF burst(QPointF c, int spikes, double outer, double inner, double turn, double jitter,
                std::uint32_t seed) {
  QPolygonF poly;
  for (int i = 0; i < spikes * 2; ++i) {
    const double a = turn + kPi * i / spikes;
    double r = (i % 2 == 0) ? outer : inner;
    r *= 1.0 + jitter * (lattice(i, 0, seed, 0) - 0.5);
    poly << c + QPointF(std::sin(a) * r, -std::cos(a) * r);
  }
  return poly;
}

QPolygonF starShape(QPointF c, double outer, double inner) {
  QPolygonF poly;
  for (int i = 0; i < 10; ++i) {
    const double a = kPi * i / 5;
    const double r = (i % 2 == 0) ? outer : inner;
    poly << c + QPointF(std::sin(a) * r, -std::cos(a) * r);
  }
  return poly;
}

void begin(QPainter& p, int scale = 1) {
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setRenderHint(QPainter::SmoothPixmapTransform, true);
  if (scale != 1) p.scale(scale, scale);
}

// ---------------------------------------------------------------------------------------------
// Stones

// A shogi piece in the 34-pixel cell: a five-sided shape pointing up the board, its sides
// narrowing towards the shoulders as on a real piece.
QPolygonF pieceOutline() {
  return QPolygonF({QPointF(17.0, 0.9), QPointF(27.9, 6.6), QPointF(31.0, 32.2), QPointF(3.0, 32.2),
                    QPointF(6.1, 6.6)});
}

// Draws a piece with its character in a painter whose units are cell pixels.
void drawPiece(QPainter& p, const QString& character, const QImage& texture,
               double thickening = 0.55) {
  const QPolygonF shape = pieceOutline();

  // A soft shadow on the board, falling to the lower right.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(40, 18, 0, 60));
  p.drawPolygon(shape.translated(1.4, 1.5));
  p.setBrush(QColor(40, 18, 0, 80));
  p.drawPolygon(shape.translated(0.8, 0.9));

  QBrush woodBrush(texture);
  woodBrush.setTransform(
      QTransform::fromScale(kCell / double(texture.width()), kCell / double(texture.height())));
  p.setBrush(woodBrush);
  p.drawPolygon(shape);

  // Light from the upper left across the slightly domed face.
  QLinearGradient light(QPointF(4, 2), QPointF(30, 33));
  light.setColorAt(0.0, QColor(255, 255, 240, 70));
  light.setColorAt(0.45, QColor(255, 255, 240, 0));
  light.setColorAt(1.0, QColor(70, 35, 0, 60));
  p.setBrush(light);
  p.drawPolygon(shape);

  // Bevel: a bright rim on the edges facing the light and a dark one on the others.
  const QPolygonF rim = inset(shape, 0.9);
  for (int i = 0; i < rim.size(); ++i) {
    const QPointF a = rim[i], b = rim[(i + 1) % rim.size()];
    const QPointF outward(b.y() - a.y(), -(b.x() - a.x()));
    const bool lit = outward.x() + outward.y() * 1.3 < 0;
    p.setPen(QPen(lit ? QColor(255, 250, 225, 170) : QColor(120, 70, 20, 110), 1.0, Qt::SolidLine,
                  Qt::RoundCap));
    p.drawLine(a, b);
  }

  p.setPen(QPen(QColor(92, 52, 16), 0.9, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPolygon(shape);

  // The character, as large as the face allows; a thin stroke thickens the Mincho hairlines
  // so they survive at this size.
  const QPainterPath glyph =
      fitted(textPath(gKanjiFamily, character), QRectF(7.0, 7.9, 20.0, 22.8));
  p.setBrush(QColor(12, 8, 4));
  p.setPen(QPen(QColor(12, 8, 4), thickening, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(glyph);
}

// A bundle of three sticks of dynamite with a burning fuse, in 34-unit coordinates.
// The tape around the dynamite's sticks, shared by the stone and the icon.
QPainterPath dynamiteBand() {
  QPainterPath band;
  band.moveTo(4.6, 21.0);
  band.quadTo(16.6, 22.6, 28.4, 21.0);
  band.lineTo(28.4, 25.0);
  band.quadTo(16.6, 26.6, 4.6, 25.0);
  band.closeSubpath();
  return band;
}

void drawDynamite(QPainter& p) {
  p.save();
  p.translate(17, 19);
  p.rotate(-12);
  p.translate(-17, -19);

  auto stick = [&](double x, double top, double bottom) {
    const double w = 8.2;
    QLinearGradient g(QPointF(x, 0), QPointF(x + w, 0));
    g.setColorAt(0.0, QColor(110, 0, 0));
    g.setColorAt(0.28, QColor(222, 30, 22));
    g.setColorAt(0.42, QColor(255, 128, 104));
    g.setColorAt(0.58, QColor(226, 34, 24));
    g.setColorAt(1.0, QColor(96, 0, 0));
    p.setBrush(g);
    p.setPen(QPen(QColor(70, 0, 0), 0.8));
    p.drawRoundedRect(QRectF(x, top, w, bottom - top), 1.6, 1.6);
    // The paper-wrapped end of the stick.
    QRadialGradient end(QPointF(x + w * 0.4, top + 0.6), w * 0.6);
    end.setColorAt(0.0, QColor(255, 226, 190));
    end.setColorAt(1.0, QColor(200, 120, 90));
    p.setBrush(end);
    p.setPen(QPen(QColor(90, 10, 0), 0.6));
    p.drawEllipse(QRectF(x + 0.5, top - 1.2, w - 1.0, 2.6));
  };
  stick(4.8, 12.0, 31.0);
  stick(20.0, 12.0, 31.0);
  stick(12.4, 13.2, 32.2);

  // The binding tape across the bundle.
  QLinearGradient tape(QPointF(0, 20.5), QPointF(0, 25.0));
  tape.setColorAt(0.0, QColor(70, 60, 55));
  tape.setColorAt(0.35, QColor(35, 30, 28));
  tape.setColorAt(1.0, QColor(10, 8, 8));
  p.setBrush(tape);
  p.setPen(QPen(QColor(0, 0, 0), 0.6));
  const QPainterPath band = dynamiteBand();
  p.drawPath(band);

  // The fuse, curling up out of the middle stick.
  QPainterPath fuse;
  fuse.moveTo(16.5, 13.6);
  fuse.cubicTo(16.0, 8.0, 21.0, 9.5, 22.0, 6.0);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(30, 24, 20), 1.6, Qt::SolidLine, Qt::RoundCap));
  p.drawPath(fuse);
  p.setPen(QPen(QColor(140, 120, 100), 0.6, Qt::SolidLine, Qt::RoundCap));
  p.drawPath(fuse);
  p.restore();

  // The spark at the end of the fuse, upright whatever the bundle's tilt.
  const QPointF spark =
      QTransform().translate(17, 19).rotate(-12).translate(-17, -19).map(QPointF(22.0, 6.0));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 120, 0, 230));
  p.drawPolygon(burst(spark, 8, 5.6, 1.8, 0.2, 0.5, 5u));
  p.setBrush(QColor(255, 236, 80));
  p.drawPolygon(burst(spark, 6, 3.4, 1.3, 0.5, 0.3, 6u));
  p.setBrush(QColor(255, 255, 230));
  p.drawEllipse(spark, 1.2, 1.2);
}

// A smiling five-pointed star centred on `c`.
void drawStar(QPainter& p, QPointF c, double radius) {
  const QPolygonF shape = starShape(c, radius, radius * 0.47);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(60, 30, 0, 80));
  p.drawPolygon(shape.translated(radius * 0.06, radius * 0.08));

  QRadialGradient g(c + QPointF(-radius * 0.25, -radius * 0.35), radius * 1.1);
  g.setColorAt(0.0, QColor(255, 252, 190));
  g.setColorAt(0.35, QColor(255, 232, 40));
  g.setColorAt(1.0, QColor(236, 150, 0));
  p.setBrush(g);
  p.setPen(QPen(QColor(150, 70, 0), radius * 0.065, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPolygon(shape);

  const double u = radius / 15.0;
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(40, 20, 0));
  p.drawEllipse(c + QPointF(-3.2 * u, -0.6 * u), 1.25 * u, 2.0 * u);
  p.drawEllipse(c + QPointF(3.2 * u, -0.6 * u), 1.25 * u, 2.0 * u);
  p.setBrush(QColor(255, 255, 255));
  p.drawEllipse(c + QPointF(-2.8 * u, -1.3 * u), 0.45 * u, 0.55 * u);
  p.drawEllipse(c + QPointF(3.6 * u, -1.3 * u), 0.45 * u, 0.55 * u);
  p.setBrush(QColor(255, 120, 80, 120));
  p.drawEllipse(c + QPointF(-5.6 * u, 2.4 * u), 1.5 * u, 1.0 * u);
  p.drawEllipse(c + QPointF(5.6 * u, 2.4 * u), 1.5 * u, 1.0 * u);

  QPainterPath smile;
  smile.moveTo(c + QPointF(-3.4 * u, 2.2 * u));
  smile.quadTo(c + QPointF(0, 6.4 * u), c + QPointF(3.4 * u, 2.2 * u));
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(40, 20, 0), 1.1 * u, Qt::SolidLine, Qt::RoundCap));
  p.drawPath(smile);
}

void drawExplosion(QPainter& p) {
  const QPointF c(17, 17);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(120, 0, 0, 110));
  p.drawPolygon(burst(c + QPointF(0.7, 0.9), 12, 16.5, 8.5, 0.1, 0.35, 21u));
  p.setBrush(QColor(206, 12, 8));
  p.setPen(QPen(QColor(110, 0, 0), 0.8, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin));
  p.drawPolygon(burst(c, 12, 16.5, 8.5, 0.1, 0.35, 21u));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(250, 70, 20));
  p.drawPolygon(burst(c, 10, 11.5, 6.0, 0.35, 0.4, 22u));
  p.setBrush(QColor(255, 170, 30));
  p.drawPolygon(burst(c, 8, 7.5, 3.8, 0.05, 0.4, 23u));
  QRadialGradient core(c, 4.5);
  core.setColorAt(0.0, QColor(255, 255, 220));
  core.setColorAt(1.0, QColor(255, 230, 80, 0));
  p.setBrush(core);
  p.drawEllipse(c, 4.5, 4.5);
}

// A burst of red rays, the sparkle that blinks over a stone about to be erased.
void drawSparkle(QPainter& p, double outer, double inner, int rays, double width) {
  const QPointF c(17, 17);
  p.setPen(Qt::NoPen);
  for (int i = 0; i < rays; ++i) {
    const double a = 2 * kPi * i / rays;
    const double r = (i % 2 == 0) ? outer : outer * 0.72;
    const QPointF dir(std::sin(a), -std::cos(a));
    const QPointF side(dir.y(), -dir.x());
    const double w = (i % 2 == 0) ? width : width * 0.75;
    QPolygonF ray({c + dir * inner + side * w, c + dir * r, c + dir * inner - side * w});
    p.setBrush(QColor(110, 0, 0, 90));
    p.drawPolygon(ray.translated(0.6, 0.7));
    QLinearGradient g(c + dir * inner, c + dir * r);
    g.setColorAt(0.0, QColor(255, 90, 40));
    g.setColorAt(1.0, QColor(215, 0, 0));
    p.setBrush(g);
    p.drawPolygon(ray);
  }
  QRadialGradient core(c, inner * 1.3 + 1.0);
  core.setColorAt(0.0, QColor(255, 240, 200));
  core.setColorAt(0.5, QColor(255, 60, 30));
  core.setColorAt(1.0, QColor(220, 0, 0, 0));
  p.setBrush(core);
  p.drawEllipse(c, inner * 1.3 + 1.0, inner * 1.3 + 1.0);
}

// ---------------------------------------------------------------------------------------------
// Frame

enum class Bar { Top, Bottom, Left, Right };

// A frame piece: a wooden bar with the grain along it, rounded across so it catches the light
// on its upper or left side. Along the bar the pattern repeats every cell, so neighbouring
// pieces join without a seam and the top and bottom bars share one grain with the sides.
QImage framePiece(Bar bar, int scale) {
  QImage img(kFrame * scale, kFrame * scale, QImage::Format_RGB32);
  img.fill(kFrameGreen);
  const bool horizontal = bar == Bar::Top || bar == Bar::Bottom;
  int from = 0, to = 0;  // the bar's extent across, in pixels
  switch (bar) {
    case Bar::Top:
      from = kFrame - 19, to = kFrame;
      break;
    case Bar::Bottom:
      from = 0, to = 19;
      break;
    case Bar::Left:
      from = kFrame - 19, to = kFrame;
      break;
    case Bar::Right:
      from = 0, to = 18;
      break;
  }
  const double depth = to - from;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      // Centre of the pixel, in pixels of the picture's own size.
      const double along = ((horizontal ? x : y) + 0.5) / scale;
      const double across = ((horizontal ? y : x) + 0.5) / scale;
      if (across < from || across >= to) continue;
      const double s = (across - from) / depth;  // 0 on the upper or left edge
      const double d = grain(along, across - from, kFrameWood, kFrame);
      QColor c = mix(kFrameWood.light, kFrameWood.dark, d);
      // A rounded profile: brightest a third of the way across, falling off to both edges.
      double shade = 1.0 + 0.32 * std::exp(-std::pow((s - 0.3) / 0.2, 2)) - 0.35 * std::pow(s, 3.0);
      c = scaled(c, shade);
      // A crisp bevel on the two long edges.
      const int inFromStart = static_cast<int>(across - from);
      const int inFromEnd = static_cast<int>(to - across);
      if (inFromStart == 0) c = mix(c, QColor(236, 180, 120), 0.55);
      if (inFromStart == 1) c = mix(c, QColor(210, 140, 80), 0.25);
      if (inFromEnd == 0) c = mix(c, QColor(28, 10, 0), 0.7);
      if (inFromEnd == 1) c = mix(c, QColor(40, 16, 0), 0.3);
      img.setPixelColor(x, y, c);
    }
  return img;
}

// ---------------------------------------------------------------------------------------------
// Digits

// A seven-segment digit, 10 by 25 pixels. Segments: a top, b upper right, c lower right,
// d bottom, e lower left, f upper left, g middle.
QImage digit(int n, int scale) {
  static const char* const kLit[10] = {"abcdef", "bc",     "abdeg", "abcdg",   "bcfg",
                                       "acdfg",  "acdefg", "abc",   "abcdefg", "abcdfg"};
  QImage img(10 * scale, 25 * scale, QImage::Format_RGB32);
  img.fill(kWindowGreen);
  QPainter p(&img);
  begin(p, scale);

  // Segment centres sit on pixel boundaries so the strokes come out crisp two pixels wide.
  const double left = 2.0, right = 8.0;
  const double top = 3.0, middle = 13.0, bottom = 23.0;
  const double h = 1.0;  // half the stroke
  const double gap = 0.3;
  auto level = [&](double y) {
    return QPolygonF({QPointF(left + gap, y), QPointF(left + gap + h, y - h),
                      QPointF(right - gap - h, y - h), QPointF(right - gap, y),
                      QPointF(right - gap - h, y + h), QPointF(left + gap + h, y + h)});
  };
  auto upright = [&](double x, double y0, double y1) {
    return QPolygonF({QPointF(x, y0 + gap), QPointF(x + h, y0 + gap + h),
                      QPointF(x + h, y1 - gap - h), QPointF(x, y1 - gap),
                      QPointF(x - h, y1 - gap - h), QPointF(x - h, y0 + gap + h)});
  };
  auto segment = [&](char s) {
    switch (s) {
      case 'a':
        return level(top);
      case 'b':
        return upright(right, top, middle);
      case 'c':
        return upright(right, middle, bottom);
      case 'd':
        return level(bottom);
      case 'e':
        return upright(left, middle, bottom);
      case 'f':
        return upright(left, top, middle);
      default:
        return level(middle);
    }
  };
  p.setPen(Qt::NoPen);
  // Unlit segments stay faintly visible, as on a real display.
  for (const char s : std::string_view("abcdefg")) {
    const bool lit = std::string_view(kLit[n]).find(s) != std::string_view::npos;
    p.setBrush(lit ? QColor(255, 232, 0) : QColor(0, 116, 0));
    p.drawPolygon(segment(s));
  }
  return img;
}

// ---------------------------------------------------------------------------------------------
// Banners, title and icon

// Bold lettering with a dark outline and a vertical colour gradient.
void drawLettering(QPainter& p, const QPainterPath& path, const QColor& topColour,
                   const QColor& bottomColour, const QColor& outline, double outlineWidth,
                   QPointF shadowOffset) {
  const QRectF r = path.boundingRect();
  p.setBrush(Qt::NoBrush);
  p.setPen(
      QPen(QColor(0, 40, 0, 150), outlineWidth * 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(path.translated(shadowOffset));
  p.setPen(QPen(outline, outlineWidth * 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(path);
  QLinearGradient g(QPointF(0, r.top()), QPointF(0, r.bottom()));
  g.setColorAt(0.0, topColour);
  g.setColorAt(1.0, bottomColour);
  p.setPen(Qt::NoPen);
  p.setBrush(g);
  p.drawPath(path);
}

QImage banner(bool bomb, int scale) {
  QImage img(82 * scale, 57 * scale, QImage::Format_RGB32);
  img.fill(kWindowGreen);
  QPainter p(&img);
  begin(p, scale);

  // A soft lighter glow behind the picture.
  QRadialGradient glow(QPointF(41, 17), 20);
  glow.setColorAt(0.0, QColor(120, 220, 80, 150));
  glow.setColorAt(1.0, QColor(120, 220, 80, 0));
  p.setPen(Qt::NoPen);
  p.setBrush(glow);
  p.drawEllipse(QPointF(41, 17), 20, 20);

  p.save();
  if (bomb) {
    p.translate(41 - 15.3, 1.0);
    p.scale(0.9, 0.9);
    drawDynamite(p);
  } else {
    drawStar(p, QPointF(41, 16.5), 15.5);
  }
  p.restore();

  const QPainterPath word =
      fitted(textPath(gSansFamily, bomb ? "BOMB!" : "STAR!"), QRectF(4, 35, 74, 18));
  if (bomb)
    drawLettering(p, word, QColor(255, 236, 120), QColor(255, 90, 20), QColor(80, 0, 0), 1.3,
                  QPointF(1.2, 1.2));
  else
    drawLettering(p, word, QColor(255, 255, 200), QColor(255, 196, 0), QColor(110, 50, 0), 1.3,
                  QPointF(1.2, 1.2));
  return img;
}

QImage plainBanner(int scale) {
  QImage img(82 * scale, 57 * scale, QImage::Format_RGB32);
  img.fill(kWindowGreen);
  return img;
}

QImage title(int scale) {
  QImage img(184 * scale, 37 * scale, QImage::Format_RGB32);
  img.fill(kWindowGreen);
  QPainter p(&img);
  begin(p, scale);
  const QPainterPath word = fitted(textPath(gSerifFamily, "Zonbeli"), QRectF(4, 3.5, 175, 28.5));
  const QRectF r = word.boundingRect();

  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(0, 50, 0, 170), 4.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(word.translated(1.8, 1.8));
  p.setPen(QPen(QColor(58, 26, 4), 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(word);

  QLinearGradient gold(QPointF(0, r.top()), QPointF(0, r.bottom()));
  gold.setColorAt(0.0, QColor(255, 248, 200));
  gold.setColorAt(0.38, QColor(250, 206, 72));
  gold.setColorAt(0.52, QColor(206, 140, 22));
  gold.setColorAt(0.7, QColor(236, 178, 44));
  gold.setColorAt(1.0, QColor(150, 88, 8));
  p.setPen(Qt::NoPen);
  p.setBrush(gold);
  p.drawPath(word);

  // A thin highlight along the upper edge of each letter.
  p.save();
  p.setClipPath(word);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(255, 255, 235, 150), 0.8));
  p.drawPath(word.translated(0.5, 0.7));
  p.restore();
  return img;
}

QImage icon(int size) {
  QImage img(size, size, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  begin(p);
  // The icon is drawn on a 256-unit canvas; a piece made in cell units is scaled onto it.
  p.scale(size / 256.0, size / 256.0);

  p.save();
  p.translate(8, 2);
  p.scale(6.9, 7.2);
  p.translate(-0.5, -0.5);
  QPolygonF shape = pieceOutline();
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(30, 10, 0, 70));
  p.drawPolygon(shape.translated(0.6, 0.5));
  drawPiece(p, QStringLiteral("王"), pieceTexture(240), 1.0);
  p.restore();

  p.save();
  p.translate(146, 138);
  p.scale(3.2, 3.2);
  drawDynamite(p);
  p.restore();
  return img;
}

QImage onBoard(const QImage& cell, int scale, auto&& draw) {
  QImage img = cell.copy();
  QPainter p(&img);
  begin(p, scale);
  draw(p);
  return img;
}

bool save(const QImage& img, const QDir& dir, const QString& name) {
  const QString path = dir.filePath(name);
  if (!img.save(path, "PNG")) {
    std::fprintf(stderr, "make_pictures: cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Installed icons

QString svgNumber(double v) {
  return QString::number(v, 'f', 2);
}

QString svgPathData(const QPainterPath& path) {
  QString d;
  for (int i = 0; i < path.elementCount(); ++i) {
    const QPainterPath::Element e = path.elementAt(i);
    if (e.isMoveTo()) {
      d += QStringLiteral("M%1 %2").arg(svgNumber(e.x), svgNumber(e.y));
    } else if (e.isLineTo()) {
      d += QStringLiteral("L%1 %2").arg(svgNumber(e.x), svgNumber(e.y));
    } else if (e.isCurveTo()) {
      const QPainterPath::Element c2 = path.elementAt(i + 1);
      const QPainterPath::Element to = path.elementAt(i + 2);
      d += QStringLiteral("C%1 %2 %3 %4 %5 %6")
               .arg(svgNumber(e.x), svgNumber(e.y), svgNumber(c2.x), svgNumber(c2.y),
                    svgNumber(to.x), svgNumber(to.y));
      i += 2;
    }
  }
  return d;
}

QString svgPoints(const QPolygonF& poly) {
  QStringList points;
  for (const QPointF& pt : poly) points << svgNumber(pt.x()) + ',' + svgNumber(pt.y());
  return points.join(' ');
}

// The icon of icon() in vector form, in the same 256-unit canvas: the king piece with a flat
// wood shading instead of the grain, and the bundle of dynamite.
QString iconSvg() {
  QString svg;
  svg += QStringLiteral(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!-- SPDX-License-Identifier: MIT -->\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
      "viewBox=\"0 0 256 256\">\n<defs>\n"
      "<linearGradient id=\"wood\" x1=\"0\" y1=\"0\" x2=\"1\" y2=\"1\">"
      "<stop offset=\"0\" stop-color=\"#fbe6b4\"/><stop offset=\"0.55\" "
      "stop-color=\"#ecc98a\"/><stop offset=\"1\" stop-color=\"#c99a5a\"/></linearGradient>\n"
      "<linearGradient id=\"stick\" x1=\"0\" y1=\"0\" x2=\"1\" y2=\"0\">"
      "<stop offset=\"0\" stop-color=\"#6e0000\"/><stop offset=\"0.28\" "
      "stop-color=\"#de1e16\"/><stop offset=\"0.42\" stop-color=\"#ff8068\"/>"
      "<stop offset=\"0.58\" stop-color=\"#e22218\"/><stop offset=\"1\" "
      "stop-color=\"#600000\"/></linearGradient>\n"
      "<linearGradient id=\"tape\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\">"
      "<stop offset=\"0\" stop-color=\"#463c37\"/><stop offset=\"0.35\" "
      "stop-color=\"#231e1c\"/><stop offset=\"1\" stop-color=\"#0a0808\"/></linearGradient>\n"
      "</defs>\n");

  const QPolygonF shape = pieceOutline();
  const QPainterPath glyph =
      fitted(textPath(gKanjiFamily, QStringLiteral("王")), QRectF(7.0, 7.9, 20.0, 22.8));
  svg += QStringLiteral("<g transform=\"translate(8 2) scale(6.9 7.2) translate(-0.5 -0.5)\">\n");
  svg += QStringLiteral("<polygon points=\"%1\" fill=\"#1e0a00\" fill-opacity=\"0.27\"/>\n")
             .arg(svgPoints(shape.translated(0.6, 0.5)));
  svg += QStringLiteral(
             "<polygon points=\"%1\" fill=\"url(#wood)\" stroke=\"#5c3410\" "
             "stroke-width=\"0.9\" stroke-linejoin=\"miter\"/>\n")
             .arg(svgPoints(shape));
  svg += QStringLiteral(
             "<path d=\"%1\" fill=\"#0c0804\" stroke=\"#0c0804\" stroke-width=\"1\" "
             "stroke-linejoin=\"round\"/>\n</g>\n")
             .arg(svgPathData(glyph));

  svg += QStringLiteral("<g transform=\"translate(146 138) scale(3.2)\">\n");
  svg += QStringLiteral("<g transform=\"translate(17 19) rotate(-12) translate(-17 -19)\">\n");
  const double sticks[][3] = {{4.8, 12.0, 31.0}, {20.0, 12.0, 31.0}, {12.4, 13.2, 32.2}};
  for (const auto& s : sticks) {
    const double x = s[0], top = s[1], bottom = s[2], w = 8.2;
    svg += QStringLiteral(
               "<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"1.6\" "
               "fill=\"url(#stick)\" stroke=\"#460000\" stroke-width=\"0.8\"/>\n")
               .arg(svgNumber(x), svgNumber(top), svgNumber(w), svgNumber(bottom - top));
    svg += QStringLiteral(
               "<ellipse cx=\"%1\" cy=\"%2\" rx=\"%3\" ry=\"1.3\" fill=\"#f0c8a0\" "
               "stroke=\"#5a0a00\" stroke-width=\"0.6\"/>\n")
               .arg(svgNumber(x + w / 2), svgNumber(top + 0.1), svgNumber((w - 1.0) / 2));
  }
  const QPainterPath band = dynamiteBand();
  svg += QStringLiteral(
             "<path d=\"%1Z\" fill=\"url(#tape)\" stroke=\"#000000\" stroke-width=\"0.6\"/>\n")
             .arg(svgPathData(band));
  svg += QStringLiteral(
      "<path d=\"M16.5 13.6C16 8 21 9.5 22 6\" fill=\"none\" stroke=\"#1e1814\" "
      "stroke-width=\"1.6\" stroke-linecap=\"round\"/>\n</g>\n");
  const QPointF spark =
      QTransform().translate(17, 19).rotate(-12).translate(-17, -19).map(QPointF(22.0, 6.0));
  svg += QStringLiteral("<polygon points=\"%1\" fill=\"#ff7800\" fill-opacity=\"0.9\"/>\n")
             .arg(svgPoints(burst(spark, 8, 5.6, 1.8, 0.2, 0.5, 5u)));
  svg += QStringLiteral("<polygon points=\"%1\" fill=\"#ffec50\"/>\n")
             .arg(svgPoints(burst(spark, 6, 3.4, 1.3, 0.5, 0.3, 6u)));
  svg += QStringLiteral("<circle cx=\"%1\" cy=\"%2\" r=\"1.2\" fill=\"#ffffe6\"/>\n</g>\n</svg>\n")
             .arg(svgNumber(spark.x()), svgNumber(spark.y()));
  return svg;
}

// The application icon in every size the hicolor theme lists, and as SVG.
bool saveIcons(const QDir& dir) {
  bool ok = true;
  for (const int size : {16, 24, 32, 48, 64, 128, 256})
    ok &= save(icon(size), dir, QStringLiteral("zonbeli-%1.png").arg(size));
  QFile file(dir.filePath(QStringLiteral("zonbeli.svg")));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      file.write(iconSvg().toUtf8()) < 0) {
    std::fprintf(stderr, "make_pictures: cannot write %s\n", qPrintable(file.fileName()));
    return false;
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: make_pictures <pictures folder> [<icons folder>]\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);

  const QString ipa = QStringLiteral("/usr/share/fonts/opentype/ipafont-mincho/");
  const QString urw = QStringLiteral("/usr/share/fonts/opentype/urw-base35/");
  gKanjiFamily = loadFont({ipa + "ipam.ttf", ipa + "ipamp.ttf"}, "the piece characters");
  gSansFamily = loadFont({urw + "NimbusSans-Bold.otf", ipa + "ipam.ttf"}, "the banners");
  gSerifFamily = loadFont({urw + "C059-Bold.otf", ipa + "ipam.ttf"}, "the title");
  if (gKanjiFamily.isEmpty() || gSansFamily.isEmpty() || gSerifFamily.isEmpty()) return 1;

  QDir dir(QString::fromLocal8Bit(argv[1]));
  if (!dir.exists() && !QDir().mkpath(dir.path())) {
    std::fprintf(stderr, "make_pictures: cannot create %s\n", argv[1]);
    return 1;
  }

  const QImage texture = pieceTexture(kCell * 4);
  bool ok = true;
  for (const int scale : {1, 2}) {
    const QString suffix = scale == 1 ? QStringLiteral(".png") : QStringLiteral("@2x.png");
    const auto put = [&](const QImage& img, const QString& name) {
      ok &= save(img, dir, name + suffix);
    };
    const QImage cell = boardCell(scale);
    put(cell, "HAIKEI");

    const struct {
      const char* name;
      const char16_t* character;
    } pieces[] = {{"HU", u"歩"},  {"KYOU", u"香"}, {"KEI", u"桂"},   {"GIN", u"銀"},
                  {"KIN", u"金"}, {"KAKU", u"角"}, {"HISYA", u"飛"}, {"OH", u"王"}};
    for (const auto& piece : pieces) {
      const QString character = QString::fromUtf16(piece.character);
      put(onBoard(cell, scale, [&](QPainter& p) { drawPiece(p, character, texture); }), piece.name);
    }

    put(onBoard(cell, scale, [](QPainter& p) { drawDynamite(p); }), "BAKUDAN");
    put(onBoard(cell, scale, [](QPainter& p) { drawStar(p, QPointF(17, 17.6), 16.0); }), "HOSI");
    put(onBoard(cell, scale, [](QPainter& p) { drawExplosion(p); }), "BAKUHATU");
    put(onBoard(cell, scale, [](QPainter& p) { drawSparkle(p, 16.5, 3.0, 12, 2.2); }), "PA");
    put(onBoard(cell, scale, [](QPainter& p) { drawSparkle(p, 9.0, 1.8, 8, 1.6); }), "PA2");

    put(framePiece(Bar::Top, scale), "WAKU_UE");
    put(framePiece(Bar::Bottom, scale), "WAKU_SITA");
    put(framePiece(Bar::Left, scale), "WAKU_HIDARI");
    put(framePiece(Bar::Right, scale), "WAKU_MIGI");

    for (int n = 0; n < 10; ++n) put(digit(n, scale), QStringLiteral("SUUJI%1").arg(n));

    put(banner(true, scale), "BOMB");
    put(banner(false, scale), "STAR");
    put(plainBanner(scale), "HB_DEL");
    put(title(scale), "RABELU");
  }
  ok &= save(icon(64), dir, "icon-64.png");
  if (argc == 3) {
    const QDir icons(QString::fromLocal8Bit(argv[2]));
    if (!icons.exists() && !QDir().mkpath(icons.path())) {
      std::fprintf(stderr, "make_pictures: cannot create %s\n", argv[2]);
      return 1;
    }
    ok &= saveIcons(icons);
  }
  return ok ? 0 : 1;
}
