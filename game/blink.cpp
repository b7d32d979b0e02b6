// SPDX-License-Identifier: MIT
// The marked stones blink, sparkle and vanish before they are erased.
#include "form1.h"

namespace zonbeli {

int Form1::存在チェック_当たり石() {
  for (int column = 1; column <= 盤_列数; ++column) {
    if (列_当たり[column] == 定数_オン) return 定数_オン;
  }
  return 定数_オフ;
}

void Form1::当たり石点滅(int n) {
  const auto frame = [this](auto code_of) {
    for (int column = 1; column <= 盤_列数; ++column) {
      for (int row = 2; row <= 盤_最下行; ++row) {
        if (盤_当たり[column][row] == 定数_オン) 描画_絵(column, row, code_of(column, row));
      }
    }
    窓.Refresh();
    待ち時間(0.1);
  };
  const auto own = [this](int column, int row) { return 盤[column][row]; };
  const auto fixed = [](符号 code) { return [code](int, int) { return code; }; };
  for (int i = 0; i < n; ++i) {
    frame(own);
    frame(fixed(描画_空));
  }
  frame(fixed(コード_PA2));
  frame(fixed(コード_PA));
  frame(fixed(コード_PA2));
  frame(fixed(描画_空));
}

}  // namespace zonbeli
