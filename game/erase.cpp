// SPDX-License-Identifier: MIT
// Bombs, stars and the chain: erase what is marked, score it, let the
// stones above fall, look again, until nothing is marked.
#include "form1.h"

namespace zonbeli {

namespace {

// Calls visit(column, row) for the stones left, right, above and below a
// cell, in that order. Above a stone in row 2 lies the preview row.
template <typename Visit>
void ForEachNeighbour(const Form1& form, int column, int row, Visit visit) {
  const auto holds_stone = [&form](int c, int r) { return form.盤[c][r] != U' '; };
  if (column > 1 && holds_stone(column - 1, row)) visit(column - 1, row);
  if (column < Form1::盤_列数 && holds_stone(column + 1, row)) visit(column + 1, row);
  if (row > 1 && holds_stone(column, row - 1)) visit(column, row - 1);
  if (row < Form1::盤_最下行 && holds_stone(column, row + 1)) visit(column, row + 1);
}

}  // namespace

void Form1::隣接石消去設定_爆弾() {
  for (int column = 1; column <= 盤_列数; ++column) {
    for (int row = 2; row <= 盤_最下行; ++row) {
      if (盤[column][row] != U'爆') continue;
      ForEachNeighbour(*this, column, row, [this](int c, int r) {
        盤_当たり[c][r] = 定数_オン;
        列_当たり[c] = 定数_オン;
      });
    }
  }
}

void Form1::隣接石消去設定_星() {
  for (int column = 1; column <= 盤_列数; ++column) {
    for (int row = 2; row <= 盤_最下行; ++row) {
      if (盤[column][row] != U'星') continue;
      ForEachNeighbour(*this, column, row, [this](int c, int r) { 消去フラグ設定_星(盤[c][r]); });
    }
  }
}

void Form1::消去フラグ設定_星(符号 code) {
  for (int column = 1; column <= 盤_列数; ++column) {
    for (int row = 2; row <= 盤_最下行; ++row) {
      if (盤[column][row] == code) {
        盤_当たり[column][row] = 定数_オン;
        列_当たり[column] = 定数_オン;
      }
    }
  }
}

void Form1::当たり石消去(int& count) {
  count = 0;
  for (int column = 1; column <= 盤_列数; ++column) {
    列_段落ち[column] = 列_当たり[column];
    列_当たり[column] = 定数_オフ;
    for (int row = 2; row <= 盤_最下行; ++row) {
      if (盤_当たり[column][row] == 定数_オン) {
        盤[column][row] = U' ';
        盤_当たり[column][row] = 定数_オフ;
        count += 1;
      }
    }
  }
}

// Only a trio of pieces earns a special trio: three stones in one pass earn
// a bomb, four or more a star.
void Form1::連続消去当たり石() {
  if (存在チェック_当たり石() != 定数_オン) return;
  do {
    当たり石点滅(3);
    int n = 0;
    当たり石消去(n);
    音.dsPlay(音_石消去);
    if (落下石_駒[1] != U'爆' && 落下石_駒[1] != U'星') {
      if (n >= 4) {
        星_予約 = 定数_オン;
      } else if (n >= 3) {
        爆_予約 = 定数_オン;
      }
    }
    得点 += 10L * n;
    描画_スコア(12, 得点);
    段落ち();
    効筋設定();
    調査_当駒();
  } while (存在チェック_当たり石() != 定数_オフ);
}

}  // namespace zonbeli
