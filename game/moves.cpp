// SPDX-License-Identifier: MIT
// Moving and turning the falling trio. The trio is not in the board while
// it falls, so every test compares its target cells with the board alone.
#include <utility>

#include "form1.h"

namespace zonbeli {

// Only the cells the trio would newly cover are tested: the cell ahead of
// the leading stone when lying, the three beside or the one below when
// standing.
int Form1::落下石_移動可能(int dx, int dy) {
  const auto occupied = [this](int column, int row) { return 盤[column][row] != U' '; };
  if (落下石_向き == 向き_縦) {
    if (dx != 0) {
      const int column = 落下石_列[1] + dx;
      if (column > 盤_列数 || column < 1) return 定数_オフ;
      for (int i = 1; i <= 3; ++i) {
        if (occupied(落下石_列[i] + dx, 落下石_行[i])) return 定数_オフ;
      }
    }
    if (dy != 0) {
      if (落下石_行[3] + 1 > 盤_最下行) return 定数_オフ;
      if (occupied(落下石_列[3], 落下石_行[3] + 1)) return 定数_オフ;
    }
  } else if (落下石_向き == 向き_横) {
    if (dx > 0) {
      if (落下石_列[3] + dx > 盤_列数) return 定数_オフ;
      if (occupied(落下石_列[3] + dx, 落下石_行[3])) return 定数_オフ;
    }
    if (dx < 0) {
      if (落下石_列[1] + dx < 1) return 定数_オフ;
      if (occupied(落下石_列[1] + dx, 落下石_行[1])) return 定数_オフ;
    }
    if (dy != 0) {
      if (落下石_行[3] + 1 > 盤_最下行) return 定数_オフ;
      for (int i = 1; i <= 3; ++i) {
        if (occupied(落下石_列[i], 落下石_行[i] + 1)) return 定数_オフ;
      }
    }
  }
  return 定数_オン;
}

void Form1::落下石_移動(int dx, int dy) {
  落下石_消去();
  for (int i = 1; i <= 3; ++i) {
    落下石_列[i] += dx;
    落下石_行[i] += dy;
  }
  for (int i = 1; i <= 3; ++i) 描画_絵(落下石_列[i], 落下石_行[i], 落下石_駒[i]);
}

// Only the two cells beside the pivot in the new direction count; the
// corners swept on the way do not. A lying trio cannot stand up in row 2,
// where it would reach into the preview.
int Form1::落下石_回転可能() {
  const int c = 落下石_列[2];
  const int r = 落下石_行[2];
  if (落下石_向き == 向き_縦) {
    if (落下石_列[1] <= 1 || 落下石_列[1] >= 盤_列数) return 定数_オフ;
    if (盤[c - 1][r] != U' ' || 盤[c + 1][r] != U' ') return 定数_オフ;
  } else if (落下石_向き == 向き_横) {
    if (落下石_行[1] <= 2 || 落下石_行[1] >= 盤_最下行) return 定数_オフ;
    if (盤[c][r - 1] != U' ' || 盤[c][r + 1] != U' ') return 定数_オフ;
  }
  return 定数_オン;
}

// A quarter turn counter-clockwise about stone 2. Stone 1 stays the left or
// top stone in both orientations, which the move test relies on.
void Form1::落下石_回転() {
  const int c = 落下石_列[2];
  const int r = 落下石_行[2];
  落下石_消去();
  if (落下石_向き == 向き_縦) {
    落下石_向き = 向き_横;
    落下石_列[1] = c - 1;
    落下石_行[1] = r;
    落下石_列[3] = c + 1;
    落下石_行[3] = r;
  } else if (落下石_向き == 向き_横) {
    落下石_向き = 向き_縦;
    落下石_列[1] = c;
    落下石_行[1] = r - 1;
    落下石_列[3] = c;
    落下石_行[3] = r + 1;
    std::swap(落下石_駒[1], 落下石_駒[3]);
  }
  for (int i = 1; i <= 3; ++i) 描画_絵(落下石_列[i], 落下石_行[i], 落下石_駒[i]);
}

void Form1::落下石_消去() {
  for (int i = 1; i <= 3; ++i) 描画_絵(落下石_列[i], 落下石_行[i], 描画_空);
}

}  // namespace zonbeli
