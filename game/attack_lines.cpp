// SPDX-License-Identifier: MIT
// Grouping the stones: same-kind stones joined by their lines of attack.
// Each stone carries its group's label, and the group's size is kept at the
// root the label names. A root that gets absorbed keeps the size its group
// had then; only the surviving root's size is the group's.
#include <cstdlib>

#include "form1.h"

namespace zonbeli {

void Form1::効筋設定() {
  for (int column = 1; column <= 盤_列数; ++column) {
    列_当たり[column] = 定数_オフ;
    for (int row = 2; row <= 盤_最下行; ++row) {
      効筋_数[column][row] = 0;
      効筋_組[column][row] = 0;
    }
  }
  for (int column = 1; column <= 盤_列数; ++column) {
    for (int row = 2; row <= 盤_最下行; ++row) {
      if (盤[column][row] == U' ') continue;
      if (効筋_組[column][row] == 0) {
        効筋_組[column][row] = ラベル(column, row);
        効筋_数[column][row] = 1;
      }
      効筋設定_追加範囲(column, row);
    }
  }
}

void Form1::効筋設定_追加範囲(int p, int q) {
  const 符号 K = 盤[p][q];
  int first_column = 0;
  int last_column = -1;
  int first_row = 0;
  int last_row = -1;
  switch (K) {
    case U'歩':
      first_column = last_column = p;
      first_row = last_row = q - 1;
      break;
    case U'香':
      first_column = last_column = p;
      first_row = 2;
      last_row = q - 1;
      break;
    case U'桂':
      first_column = p - 1;
      last_column = p + 1;
      first_row = last_row = q - 2;
      break;
    case U'銀':
    case U'金':
    case U'王':
      first_column = p - 1;
      last_column = p + 1;
      first_row = q - 1;
      last_row = q + 1;
      break;
    case U'角':
    case U'飛':
      first_column = 1;
      last_column = 盤_列数;
      first_row = 2;
      last_row = 盤_最下行;
      break;
    default:
      return;
  }
  for (int c = first_column; c <= last_column; ++c) {
    for (int r = first_row; r <= last_row; ++r) {
      if (c < 1 || c > 盤_列数 || r < 2 || r > 盤_最下行) continue;
      if (盤[c][r] != K) continue;
      // A bishop or rook searches the whole well but reaches only its own
      // lines; most cells fail this before any walk along a line.
      if (K == U'角' && std::abs(c - p) != std::abs(r - q)) continue;
      if (K == U'飛' && c != p && r != q) continue;
      if (移動チェック(p, q, c, r, K) != 定数_オン) continue;
      const 組ラベル own = 効筋_組[p][q];
      const 組ラベル other = 効筋_組[c][r];
      if (other == 0) {
        効筋_組[c][r] = own;
        効筋_数[ラベル_列(own)][ラベル_行(own)] += 1;
      } else if (other != own) {
        const int absorbed = 効筋_数[ラベル_列(other)][ラベル_行(other)];
        変換_効筋(other, own);
        効筋_数[ラベル_列(own)][ラベル_行(own)] += absorbed;
      }
    }
  }
}

// The old label arrives by value: the caller's own cell is among those
// rewritten, so comparing against it live would stop the scan half way.
void Form1::変換_効筋(組ラベル old_label, 組ラベル new_label) {
  for (int column = 1; column <= 盤_列数; ++column) {
    for (int row = 2; row <= 盤_最下行; ++row) {
      if (効筋_組[column][row] == old_label) 効筋_組[column][row] = new_label;
    }
  }
}

}  // namespace zonbeli
