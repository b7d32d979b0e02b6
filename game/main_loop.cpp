// SPDX-License-Identifier: MIT
// The tick: idle, the "GAME OVER" blink, or the fall of the trio and
// everything a landing sets off.
#include <cmath>

#include "form1.h"
#include "input.h"

namespace zonbeli {

// Before the first game a tick does nothing at all.
bool WantsTicks(const Form1& game) {
  return !(game.待機フラグ == Form1::定数_オン && game.終了フラグ != Form1::定数_オン);
}

void Form1::Timer1_Timer() {
  if (!WantsTicks(*this)) return;
  // Waiting again after a game: it has ended.
  if (待機フラグ == 定数_オン) {
    const int i = static_cast<int>(std::floor(窓.Random() * 6));
    描画_文字(5.3, 10.8, "GAME OVER", 色表.at(static_cast<std::size_t>(i)), 24);
    窓.Refresh();
    待ち時間(0.05);
    窓.Refresh();
    return;
  }

  落下_カウンタ += 1;
  if (!(落下_間隔 < 落下_カウンタ)) return;

  待ち時間(0.01);
  落下_カウンタ = 0;
  if (落下石_移動可能(0, 1) == 定数_オン) {
    落下石_移動(0, 1);
    return;
  }

  音.dsPlay(音_石着地);
  for (int k = 1; k <= 3; ++k) 盤[落下石_列[k]][落下石_行[k]] = 落下石_駒[k];
  const 符号 t = 落下石_駒[1];
  if (t == U'爆') {
    隣接石消去設定_爆弾();
    for (int k = 1; k <= 3; ++k) 盤[落下石_列[k]][落下石_行[k]] = U'発';
    連続消去当たり石();
  } else if (t == U'星') {
    隣接石消去設定_星();
    for (int k = 1; k <= 3; ++k) 盤[落下石_列[k]][落下石_行[k]] = U'星';
    連続消去当たり石();
  }
  効筋設定();
  調査_当駒();
  連続消去当たり石();

  得点 += 1;
  描画_スコア(12, 得点);

  if (ゲーム終了か() == 定数_オフ) {
    出現_落下石();
    出現_次石();
    return;
  }

  終了_段落ち();
  音.dsPlay(音_面終了);
  窓.PaintPicture(Picture::RABELU, ラベル_X, ラベル_Y);
  描画_文字(5.3, 10.8, "GAME OVER", 色_白, 24);
  待機フラグ = 定数_オン;
  終了フラグ = 定数_オン;
  if (得点 > 最高得点) {
    最高得点 = 得点;
    描画_スコア(7, 最高得点);
  }
}

// A blocked entry ends the game only for a trio of pieces: a bomb trio
// blasts its way in, and a blocked star trio is bombed the same way.
int Form1::ゲーム終了か() {
  int result = 定数_オフ;
  const bool blocked = 盤[5][2] != U' ' || 盤[6][2] != U' ' || 盤[7][2] != U' ';
  if (次石 == U"星星星") {
    if (blocked) {
      隣接石消去設定_爆弾();
      連続消去当たり石();
    }
  } else if (次石 == U"爆爆爆") {
    if (blocked) {
      隣接石消去設定_爆弾();
      盤[5][1] = U'発';
      盤[6][1] = U'発';
      盤[7][1] = U'発';
      連続消去当たり石();
    }
  } else if (blocked) {
    result = 定数_オン;
  }
  return result;
}

}  // namespace zonbeli
