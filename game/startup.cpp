// SPDX-License-Identifier: MIT
// Opening the window and leaving the program.
#include "form1.h"

namespace zonbeli {

void Form1::Form_Load() {
  サウンド_初期化(窓.WindowHandle());
  for (const 音定義& sound : 音_一覧) {
    this->*sound.slot = サウンド_読込(std::string(sound.name) + ".wav", sound.flags);
  }
  窓.SetBgmChecked(false);

  落下_カウンタ = 0;
  終了フラグ = 定数_オフ;
  最高得点 = 0;

  描画_全画面();
  窓.PaintPicture(Picture::RABELU, ラベル_X, ラベル_Y);
  レベル = 6;
  描画_レベル(レベル);
  描画_スコア(12, 0);
  描画_スコア(7, 最高得点);
  描画_文字(20, 8.9, "HI-SCORE", 色_白, 16);
  描画_文字(20.1, 15.7, "  SCORE", 色_白, 16);
  描画_四角形(2, 3, 4700, 4400, 色_背景);
  描画_文字(3.5, 9, "ゲームを開始してください", 色_白, 20);
}

void Form1::OWARI_Click() {
  終了処理();
  窓.EndProgram(0);
}

void Form1::Form_Unload() {
  終了処理();
  窓.EndProgram(0);
}

// Buffers are freed in their own order, not the loading order, handles of
// 0 included; nothing is stopped first.
void Form1::終了処理() {
  for (int turn = 1; turn <= static_cast<int>(音_一覧.size()); ++turn) {
    for (const 音定義& sound : 音_一覧) {
      if (sound.freed == turn) 音.dsFree(this->*sound.slot);
    }
  }
  サウンド_終了();
}

}  // namespace zonbeli
