// SPDX-License-Identifier: MIT
// The shogi moves of the eight pieces, all facing up the well, and the
// marking of every group of three or more.
#include <cstdlib>

#include "form1.h"

namespace zonbeli {

// A silver attacks the same cells wherever it stands, the last column
// included: a silver on either wall sees its forward cells and the one
// diagonal behind it that lies inside the well. Cells off the board are
// never asked about.
int Form1::移動チェック(int p, int q, int r, int s, 符号 K) {
  if (r == p && s == q) return 定数_オフ;
  const int across = std::abs(r - p);
  bool attacks = false;
  switch (K) {
    case U'歩':
      attacks = r == p && s == q - 1;
      break;
    case U'香':
      attacks = r == p && s < q;
      for (int k = q - 1; attacks && k >= s + 1; --k) attacks = 盤[p][k] == U' ';
      break;
    case U'桂':
      attacks = s == q - 2 && across == 1;
      break;
    case U'銀':
      attacks = across <= 1 && (s == q - 1 || (s == q + 1 && r != p));
      break;
    case U'金':
      attacks = (across <= 1 && (s == q - 1 || s == q)) || (r == p && s == q + 1);
      break;
    case U'角':
      return 移動チェック角(p, q, r, s);
    case U'飛':
      return 移動チェック飛車(p, q, r, s);
    case U'王':
      attacks = across <= 1 && std::abs(s - q) <= 1;
      break;
    default:
      break;
  }
  return attacks ? 定数_オン : 定数_オフ;
}

int Form1::移動チェック角(int p, int q, int r, int s) {
  if (r - p != q - s && r - p != s - q) return 定数_オフ;
  const int step_column = r > p ? 1 : -1;
  const int step_row = s > q ? 1 : -1;
  for (int c = p + step_column, w = q + step_row; c != r; c += step_column, w += step_row) {
    if (盤[c][w] != U' ') return 定数_オフ;
  }
  return 定数_オン;
}

int Form1::移動チェック飛車(int p, int q, int r, int s) {
  if (r != p && s != q) return 定数_オフ;
  if (s != q) {
    const int step = s > q ? 1 : -1;
    for (int k = q + step; k != s; k += step) {
      if (盤[r][k] != U' ') return 定数_オフ;
    }
  }
  if (r != p) {
    const int step = r > p ? 1 : -1;
    for (int k = p + step; k != r; k += step) {
      if (盤[k][s] != U' ') return 定数_オフ;
    }
  }
  return 定数_オン;
}

// Marks already set, by a bomb or a star, are kept.
void Form1::調査_当駒() {
  for (int c = 1; c <= 盤_列数; ++c) {
    for (int r = 2; r <= 盤_最下行; ++r) {
      if (効筋_数[c][r] < 3) continue;
      盤_当たり[c][r] = 定数_オン;
      const 組ラベル label = ラベル(c, r);
      for (int column = 1; column <= 盤_列数; ++column) {
        for (int row = 2; row <= 盤_最下行; ++row) {
          if (効筋_組[column][row] == label) {
            列_当たり[column] = 定数_オン;
            盤_当たり[column][row] = 定数_オン;
          }
        }
      }
    }
  }
}

}  // namespace zonbeli
