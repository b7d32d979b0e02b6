// SPDX-License-Identifier: MIT
// Stones falling into emptied cells, the game-over slide, and clearing the
// marks for a new game.
#include "form1.h"

namespace zonbeli {

// One step moves every stone with a gap anywhere below it down by exactly
// one cell. Row 2 can fall into row 3; the preview in row 1 never falls.
int Form1::石一段落ち(int column) {
  int result = 定数_オフ;
  for (int row = 盤_最下行; row >= 3; --row) {
    if (盤[column][row] == U' ' && 盤[column][row - 1] != U' ') {
      result = 定数_オン;
      盤[column][row] = 盤[column][row - 1];
      盤[column][row - 1] = U' ';
    }
  }
  return result;
}

// A column stays flagged while its last step moved something, so a fall of
// d cells takes d + 2 passes. There is no pause between passes.
void Form1::段落ち() {
  int done = 定数_オフ;
  while (done != 定数_オン) {
    done = 定数_オン;
    for (int column = 1; column <= 盤_列数; ++column) {
      if (列_段落ち[column] == 定数_オン) {
        done = 定数_オフ;
        列_段落ち[column] = 石一段落ち(column);
      }
      描画_一列(column);
    }
    窓.Refresh();
  }
}

// Everything slides down one row a step and out through the floor, while
// the never-assigned row 0 follows it in from the top.
void Form1::終了_段落ち() {
  for (int k = 1; k <= 盤_最下行; ++k) {
    for (int row = 盤_最下行; row >= k; --row) {
      for (int column = 1; column <= 盤_列数; ++column) 盤[column][row] = 盤[column][row - 1];
    }
    for (int row = 盤_最下行; row >= k; --row) {
      for (int column = 1; column <= 盤_列数; ++column) 描画_絵(column, row, 盤[column][row]);
    }
    if (k == 1) {
      for (int c = 1; c <= 4; ++c) {
        描画_絵(c, 1, コード_上枠);
        描画_絵(c + 7, 1, コード_上枠);
      }
      描画_絵(4, 0.25, コード_左枠);
      描画_絵(8, 0.25, コード_右枠);
    }
    待ち時間(0.2);
    窓.Refresh();
  }
}

void Form1::盤フラグ初期化() {
  for (int column = 1; column <= 盤_列数; ++column) {
    列_当たり[column] = 定数_オフ;
    for (int row = 1; row <= 盤_最下行; ++row) 盤_当たり[column][row] = 定数_オフ;
  }
}

}  // namespace zonbeli
