// SPDX-License-Identifier: MIT
// Draws the pictures of the player's guide in the README: for each piece and
// special stone, a patch of the well with the cells it reaches marked, and
// two pairs that show when stones of one kind link. Every mark comes from
// the game's own rules, asked on a board set up for the picture, and every
// stone is the game's own picture, so the guide shows what the game does.
//
//   make_guide <output folder>          writes the pictures
//   make_guide --check <folder>         exits 1 if the pictures there differ

#include <QColor>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QString>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "fake_window.h"
#include "form1.h"

namespace zonbeli {
namespace {

constexpr int kCell = 34;

struct Stone {
  int column;
  int row;
  符号 code;
};

// A patch of the well, columns first..last by rows top..bottom, with its
// stones and the cells to mark; `pairs` tells for two stones side by side
// whether the game links them.
struct Diagram {
  QString name;
  int first_column, last_column, top_row, bottom_row;
  std::vector<Stone> stones;
  std::vector<std::pair<int, int>> marked;
  struct Pair {
    Stone left, right;
    bool linked;
  };
  std::vector<Pair> pairs;
};

QString PictureOf(符号 code) {
  Picture picture = Picture::HAIKEI;
  Form1::PictureOf(code, picture);
  return QString::fromLatin1(PictureName(picture));
}

// A game whose well holds only the given stones.
struct Board {
  FakeWindow window;
  RecordingSound sound;
  Form1 game{window, sound};

  explicit Board(const std::vector<Stone>& stones) {
    for (int c = 1; c <= Form1::盤_列数; ++c)
      for (int r = 1; r <= 16; ++r) game.盤[c][r] = U' ';
    for (const Stone& s : stones) game.盤[s.column][s.row] = s.code;
    game.盤フラグ初期化();
  }
};

// The cells of the patch that the piece at `piece` attacks, by the game's
// move check, with `others` standing in the well as well.
Diagram Attacks(const QString& name, Stone piece, std::vector<Stone> others, int half_width, int up,
                int down) {
  others.push_back(piece);
  Board board(others);
  Diagram d{name,
            piece.column - half_width,
            piece.column + half_width,
            piece.row - up,
            piece.row + down,
            others,
            {},
            {}};
  for (int c = d.first_column; c <= d.last_column; ++c)
    for (int r = d.top_row; r <= d.bottom_row; ++r)
      if (board.game.移動チェック(piece.column, piece.row, c, r, piece.code) == Form1::定数_オン)
        d.marked.emplace_back(c, r);
  return d;
}

// The cells the bomb or star rule marks for erasure.
Diagram Clears(const QString& name, const std::vector<Stone>& stones, int first_column,
               int last_column, int top_row, int bottom_row,
               const std::function<void(Form1&)>& rule) {
  Board board(stones);
  rule(board.game);
  Diagram d{name, first_column, last_column, top_row, bottom_row, stones, {}, {}};
  for (int c = first_column; c <= last_column; ++c)
    for (int r = top_row; r <= bottom_row; ++r)
      if (board.game.盤_当たり[c][r] == Form1::定数_オン) d.marked.emplace_back(c, r);
  return d;
}

// Two stones of one kind side by side in the bottom row: the cells each
// attacks are marked, and whether the grouping links them.
Diagram Pair(const QString& name, 符号 code) {
  const Stone left{5, 16, code}, right{6, 16, code};
  Board board({left, right});
  board.game.効筋設定();
  Diagram d{name, 4, 7, 14, 16, {left, right}, {}, {}};
  for (const Stone& s : {left, right})
    for (int c = d.first_column; c <= d.last_column; ++c)
      for (int r = d.top_row; r <= d.bottom_row; ++r)
        if (board.game.移動チェック(s.column, s.row, c, r, code) == Form1::定数_オン)
          d.marked.emplace_back(c, r);
  d.pairs.push_back({left, right, board.game.効筋_組[5][16] == board.game.効筋_組[6][16]});
  return d;
}

std::vector<Diagram> Diagrams() {
  std::vector<Diagram> all;
  // Step pieces in the middle of a 5 x 5 patch; the knight's cells ahead are
  // taken by other stones, which it jumps.
  all.push_back(Attacks("HU", {6, 9, U'歩'}, {}, 2, 2, 2));
  all.push_back(
      Attacks("KEI", {6, 9, U'桂'}, {{6, 8, U'歩'}, {5, 8, U'金'}, {7, 8, U'歩'}}, 2, 2, 2));
  all.push_back(Attacks("GIN", {6, 9, U'銀'}, {}, 2, 2, 2));
  all.push_back(Attacks("KIN", {6, 9, U'金'}, {}, 2, 2, 2));
  all.push_back(Attacks("OH", {6, 9, U'王'}, {}, 2, 2, 2));
  // Line pieces in a 7 x 7 patch, each with a stone on one line: the line
  // reaches that stone and stops.
  all.push_back(Attacks("KYOU", {6, 12, U'香'}, {{6, 8, U'歩'}}, 1, 6, 0));
  all.push_back(Attacks("KAKU", {6, 9, U'角'}, {{8, 7, U'歩'}}, 3, 3, 3));
  all.push_back(Attacks("HISYA", {6, 9, U'飛'}, {{6, 7, U'歩'}}, 3, 3, 3));
  // A bomb among eight stones clears the four beside it, not the corners.
  std::vector<Stone> around;
  const char32_t kinds[] = {U'歩', U'金', U'桂', U'銀', U'香', U'王', U'角', U'飛'};
  int k = 0;
  for (int c = 5; c <= 7; ++c)
    for (int r = 8; r <= 10; ++r)
      if (c != 6 || r != 9) around.push_back({c, r, kinds[k++]});
  around.push_back({6, 9, U'爆'});
  all.push_back(Clears("BAKUDAN", around, 4, 8, 7, 11, [](Form1& g) { g.隣接石消去設定_爆弾(); }));
  // A star touching a pawn and a gold clears every pawn and gold in the
  // well, near or far; the knight and the silver stay.
  all.push_back(Clears("HOSI",
                       {{6, 9, U'星'},
                        {5, 9, U'歩'},
                        {6, 8, U'金'},
                        {3, 7, U'歩'},
                        {8, 11, U'歩'},
                        {9, 7, U'金'},
                        {4, 11, U'桂'},
                        {8, 8, U'銀'}},
                       3, 9, 7, 11, [](Form1& g) { g.隣接石消去設定_星(); }));
  all.push_back(Pair("pair-KIN", U'金'));
  all.push_back(Pair("pair-KEI", U'桂'));
  return all;
}

QImage Draw(const Diagram& d) {
  const int width = (d.last_column - d.first_column + 1) * kCell;
  const int height = (d.bottom_row - d.top_row + 1) * kCell;
  QImage image(width, height, QImage::Format_RGB32);
  QPainter p(&image);
  const auto at = [&](int c, int r) {
    return QPoint((c - d.first_column) * kCell, (r - d.top_row) * kCell);
  };
  const QImage empty(QStringLiteral(":/pictures/HAIKEI.png"));
  for (int c = d.first_column; c <= d.last_column; ++c)
    for (int r = d.top_row; r <= d.bottom_row; ++r) p.drawImage(at(c, r), empty);
  for (const Stone& s : d.stones)
    if (s.column >= d.first_column && s.column <= d.last_column && s.row >= d.top_row &&
        s.row <= d.bottom_row)
      p.drawImage(at(s.column, s.row),
                  QImage(QStringLiteral(":/pictures/%1.png").arg(PictureOf(s.code))));
  p.setRenderHint(QPainter::Antialiasing, true);
  for (const auto& [c, r] : d.marked) {
    const QRectF cell(at(c, r), QSizeF(kCell, kCell));
    p.fillRect(cell, QColor(255, 40, 40, 90));
    p.setPen(QPen(QColor(220, 0, 0), 2.0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(cell.adjusted(1.5, 1.5, -1.5, -1.5));
  }
  // Two stones side by side: a chain link across their common edge when
  // they are linked, a cross when they are not.
  for (const auto& [a, b, linked] : d.pairs) {
    const QPointF edge = QPointF(at(b.column, b.row)) + QPointF(0, kCell / 2.0);
    if (linked) {
      p.setBrush(Qt::NoBrush);
      p.setPen(QPen(QColor(30, 30, 30), 5.0));
      p.drawRoundedRect(QRectF(edge - QPointF(10, 4.5), QSizeF(12, 9)), 4.5, 4.5);
      p.drawRoundedRect(QRectF(edge - QPointF(2, 4.5), QSizeF(12, 9)), 4.5, 4.5);
      p.setPen(QPen(QColor(255, 215, 0), 2.5));
      p.drawRoundedRect(QRectF(edge - QPointF(10, 4.5), QSizeF(12, 9)), 4.5, 4.5);
      p.drawRoundedRect(QRectF(edge - QPointF(2, 4.5), QSizeF(12, 9)), 4.5, 4.5);
    } else {
      for (const auto& [pen_width, colour] :
           {std::pair{6.0, QColor(30, 30, 30)}, std::pair{3.5, QColor(255, 255, 255)}}) {
        p.setPen(QPen(colour, pen_width, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(edge + QPointF(-6, -6), edge + QPointF(6, 6));
        p.drawLine(edge + QPointF(-6, 6), edge + QPointF(6, -6));
      }
    }
  }
  return image;
}

}  // namespace
}  // namespace zonbeli

int main(int argc, char** argv) {
  // The piece pictures are the game's own, compiled into the window library.
  Q_INIT_RESOURCE(pictures);
  const bool check = argc == 3 && std::string(argv[1]) == "--check";
  if (argc != 2 && !check) {
    std::fprintf(stderr, "usage: make_guide <output folder> | make_guide --check <folder>\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QDir dir(QString::fromLocal8Bit(argv[argc - 1]));
  if (!check && !dir.exists() && !QDir().mkpath(dir.path())) {
    std::fprintf(stderr, "make_guide: cannot create %s\n", qPrintable(dir.path()));
    return 1;
  }
  int failures = 0;
  for (const zonbeli::Diagram& d : zonbeli::Diagrams()) {
    const QString path = dir.filePath(d.name + QStringLiteral(".png"));
    const QImage image = zonbeli::Draw(d);
    if (check) {
      const QImage kept = QImage(path).convertToFormat(QImage::Format_RGB32);
      if (kept != image) {
        std::fprintf(stderr, "make_guide: %s no longer shows what the game does\n",
                     qPrintable(path));
        ++failures;
      }
    } else if (!image.save(path, "PNG")) {
      std::fprintf(stderr, "make_guide: cannot write %s\n", qPrintable(path));
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}
