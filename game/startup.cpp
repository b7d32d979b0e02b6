// Opening the window and leaving the program.
#include "form1.h"

namespace zonbeli {

void Form1::Form_Load() {
  サウンド_初期化(窓.WindowHandle());
  音_回転 = サウンド_読込("回転.wav", 3);
  音_禁止 = サウンド_読込("禁止.wav", 3);
  音_移動 = サウンド_読込("移動.wav", 3);
  音_その他 = サウンド_読込("その他.wav", 3);
  音_爆出現 = サウンド_読込("爆出現.wav", 3);
  音_星出現 = サウンド_読込("星出現.wav", 3);
  音_石消去 = サウンド_読込("石消去.wav", 3);
  音_石着地 = サウンド_読込("石着地.wav", 3);
  音_面終了 = サウンド_読込("面終了.wav", 3);
  音_BGM = サウンド_読込("BGM.wav", 1);
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

// Buffers are freed in this order, handles of 0 included; nothing is
// stopped first.
void Form1::終了処理() {
  音.dsFree(音_禁止);
  音.dsFree(音_移動);
  音.dsFree(音_回転);
  音.dsFree(音_その他);
  音.dsFree(音_爆出現);
  音.dsFree(音_星出現);
  音.dsFree(音_石消去);
  音.dsFree(音_石着地);
  音.dsFree(音_面終了);
  音.dsFree(音_BGM);
  サウンド_終了();
}

}  // namespace zonbeli
