// SPDX-License-Identifier: MIT
// The well: stones, frame pieces and sparkles stamped cell by cell.
#include "form1.h"

namespace zonbeli {

bool Form1::PictureOf(符号 code, Picture& picture) {
  for (const 絵定義& entry : 絵_一覧) {
    if (entry.code == code) {
      picture = entry.picture;
      return true;
    }
  }
  return false;
}

void Form1::描画_絵(double column, double row, 符号 code) {
  Picture picture{};
  if (!PictureOf(code, picture)) return;
  const double x = 原点_X + column * マス_幅;
  const double y = 原点_Y + row * マス_高さ;
  窓.PaintPicture(picture, static_cast<float>(x), static_cast<float>(y));
}

// Row 1 is left alone so the top frame and the preview stay as they are.
void Form1::描画_一列(int column) {
  for (int row = 盤_最下行; row >= 2; --row) 描画_絵(column, row, 盤[column][row]);
}

void Form1::描画_全画面() {
  for (int column = 5; column <= 7; ++column) 描画_絵(column, 0, コード_空);
  for (int column = 1; column <= 盤_列数; ++column) {
    for (int row = 1; row <= 盤_最下行; ++row) 描画_絵(column, row, 盤[column][row]);
  }
  for (int column = 0; column <= 12; ++column) {
    if (column < 5 || column > 7) 描画_絵(column, 1, コード_上枠);
    描画_絵(column, 盤_最下行 + 1, コード_下枠);
  }
  // The sides go on last so the top corners show side pieces.
  for (int row = 1; row <= 盤_最下行; ++row) {
    描画_絵(0, row, コード_左枠);
    描画_絵(12, row, コード_右枠);
  }
  // Raised posts either side of the entry.
  描画_絵(4, 0.25, コード_左枠);
  描画_絵(8, 0.25, コード_右枠);
}

}  // namespace zonbeli
