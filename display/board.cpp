// SPDX-License-Identifier: MIT
// The well: stones, frame pieces and sparkles stamped cell by cell.
#include "form1.h"

namespace zonbeli {

// The codes are tried in this order; it matters only in that 0 (empty, and
// never-assigned cells) comes first.
bool Form1::PictureOf(符号 code, Picture& picture) {
  struct Entry {
    符号 code;
    Picture picture;
  };
  static constexpr Entry kTable[] = {
      {Form1::描画_空, Picture::HAIKEI},
      {U' ', Picture::HAIKEI},
      {U'爆', Picture::BAKUDAN},
      {U'星', Picture::HOSI},
      {U'発', Picture::BAKUHATU},
      {Form1::コード_PA, Picture::PA},
      {Form1::コード_PA2, Picture::PA2},
      {Form1::コード_上枠, Picture::WAKU_UE},
      {Form1::コード_右枠, Picture::WAKU_MIGI},
      {Form1::コード_左枠, Picture::WAKU_HIDARI},
      {Form1::コード_下枠, Picture::WAKU_SITA},
      {U'歩', Picture::HU},
      {U'香', Picture::KYOU},
      {U'桂', Picture::KEI},
      {U'金', Picture::KIN},
      {U'銀', Picture::GIN},
      {U'飛', Picture::HISYA},
      {U'角', Picture::KAKU},
      {U'王', Picture::OH},
  };
  for (const Entry& entry : kTable) {
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
  for (int row = 16; row >= 2; --row) 描画_絵(column, row, 盤[column][row]);
}

void Form1::描画_全画面() {
  for (int column = 5; column <= 7; ++column) 描画_絵(column, 0, コード_空);
  for (int column = 1; column <= 盤_列数; ++column) {
    for (int row = 1; row <= 16; ++row) 描画_絵(column, row, 盤[column][row]);
  }
  for (int column = 0; column <= 12; ++column) {
    if (column < 5 || column > 7) 描画_絵(column, 1, コード_上枠);
    描画_絵(column, 17, コード_下枠);
  }
  // The sides go on last so the top corners show side pieces.
  for (int row = 1; row <= 16; ++row) {
    描画_絵(0, row, コード_左枠);
    描画_絵(12, row, コード_右枠);
  }
  // Raised posts either side of the entry.
  描画_絵(4, 0.25, コード_左枠);
  描画_絵(8, 0.25, コード_右枠);
}

}  // namespace zonbeli
