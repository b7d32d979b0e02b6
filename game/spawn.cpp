// SPDX-License-Identifier: MIT
// Choosing, previewing and starting trios; the level follows the count.
#include <cmath>
#include <cstdio>

#include "form1.h"

namespace zonbeli {

namespace {

// Pawns come from three digits, every other piece from one.
符号 PieceOfDigit(char digit) {
  switch (digit) {
    case '2':
      return U'香';
    case '3':
      return U'桂';
    case '4':
      return U'銀';
    case '5':
      return U'金';
    case '6':
      return U'角';
    case '7':
      return U'飛';
    case '8':
      return U'王';
    default:
      return U'歩';
  }
}

}  // namespace

// A due bomb or star trio is consumed even when it cannot be issued because
// the preview already holds one of its kind: that award is lost.
std::u32string Form1::取得_駒名() {
  const auto preview_holds = [this](符号 code) {
    return 盤[5][1] == code || 盤[6][1] == code || 盤[7][1] == code;
  };
  if (爆_予約 == 定数_オン) {
    爆_予約 = 定数_オフ;
    if (!preview_holds(U'爆')) return U"爆爆爆";
  }
  if (星_予約 == 定数_オン) {
    星_予約 = 定数_オフ;
    if (!preview_holds(U'星')) return U"星星星";
  }
  // The clock as "00000.00": hundredths, tenths and whole-second units.
  const double seconds = 窓.TimeOfDay();
  const double hundredths = std::floor(seconds * 100 + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%08.2f", hundredths / 100);
  return {PieceOfDigit(text[7]), PieceOfDigit(text[6]), PieceOfDigit(text[4])};
}

void Form1::出現_次石() {
  次石 = 取得_駒名();
  盤[5][1] = 次石[0];
  盤[6][1] = 次石[1];
  盤[7][1] = 次石[2];
  if (盤[5][1] == U'爆') {
    音.dsPlay(音_爆出現);
  } else if (盤[5][1] == U'星') {
    音.dsPlay(音_星出現);
  }
  描画_絵(5, 1, 盤[5][1]);
  描画_絵(6, 1, 盤[6][1]);
  描画_絵(7, 1, 盤[7][1]);
}

void Form1::出現_落下石() {
  出現_回数 += 1;
  struct Step {
    int above;
    int interval;
    int level;
  };
  static constexpr Step kLevels[] = {
      {50, 1, 1}, {40, 10, 2}, {30, 25, 3}, {20, 35, 4}, {10, 50, 5}};
  for (const Step& step : kLevels) {
    if (出現_回数 > step.above) {
      落下_基本間隔 = step.interval;
      レベル = step.level;
      描画_レベル(レベル);
      break;
    }
  }
  落下_間隔 = 落下_基本間隔;
  落下石_向き = 向き_横;
  for (int i = 1; i <= 3; ++i) {
    落下石_列[i] = 4 + i;
    落下石_行[i] = 2;
    落下石_駒[i] = 盤[4 + i][1];
  }
  for (int i = 1; i <= 3; ++i) {
    if (盤[4 + i][1] != U' ') 描画_絵(落下石_列[i], 落下石_行[i], 落下石_駒[i]);
  }
  const Picture banner = 落下石_駒[1] == U'爆'   ? Picture::BOMB
                         : 落下石_駒[1] == U'星' ? Picture::STAR
                                                 : Picture::HB_DEL;
  窓.PaintPicture(banner, 7700, 4500);
}

}  // namespace zonbeli
