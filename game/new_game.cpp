// SPDX-License-Identifier: MIT
// Starting a game from the menu.
#include "form1.h"

namespace zonbeli {

void Form1::KAISI_Click() {
  if (待機フラグ == 定数_オン) {
    初期設定();
    待機フラグ = 定数_オフ;
  }
}

// The tick counter is not reset: every game ends inside a fall step, which
// has just set it to 0.
void Form1::初期設定() {
  待機フラグ = 定数_オン;
  得点 = 0;
  出現_回数 = 0;
  終了フラグ = 定数_オフ;
  落下_基本間隔 = 60;
  落下_間隔 = 落下_基本間隔;
  爆_予約 = 定数_オフ;
  星_予約 = 定数_オフ;
  for (int column = 1; column <= 盤_列数; ++column) {
    for (int row = 1; row <= 盤_最下行; ++row) 盤[column][row] = U' ';
  }
  盤フラグ初期化();
  描画_四角形(2, 3, 4700, 4400, 色_背景);
  描画_全画面();
  レベル = 6;
  描画_レベル(レベル);
  描画_スコア(12, 得点);
  出現_次石();
  窓.Refresh();
  出現_落下石();
  出現_次石();
}

}  // namespace zonbeli
