// SPDX-License-Identifier: MIT
// Keys and mouse, and every input from outside delivered to its routine.
// Key codes are the virtual-key numbers: 27 Escape, 37 to 40 the arrows.
#include "input.h"

#include "form1.h"

namespace zonbeli {

namespace {
constexpr int kEscape = 27;
constexpr int kLeft = 37;
constexpr int kUp = 38;
constexpr int kRight = 39;
constexpr int kDown = 40;
}  // namespace

void Form1::Form_KeyDown(int key, int /*shift*/) {
  if (key == kEscape) {
    終了処理();
    窓.EndProgram(0);
  }
  if (待機フラグ == 定数_オン) {
    開始催促();
    return;
  }
  switch (key) {
    case kLeft:
      if (落下石_移動可能(-1, 0) == 定数_オン) {
        音.dsPlay(音_移動);
        落下石_移動(-1, 0);
      }
      break;
    case kRight:
      if (落下石_移動可能(1, 0) == 定数_オン) {
        音.dsPlay(音_移動);
        落下石_移動(1, 0);
      }
      break;
    case kUp:
      if (落下石_回転可能() == 定数_オン) {
        音.dsPlay(音_回転);
        落下石_回転();
      }
      break;
    case kDown:
      落下_間隔 = 1;
      break;
    default:
      break;
  }
}

// Any release ends the fast fall, even of a key other than the one held.
void Form1::Form_KeyUp(int /*key*/, int /*shift*/) {
  落下_間隔 = 落下_基本間隔;
}

void Form1::Form_MouseDown(int /*button*/, int /*shift*/, float /*x*/, float /*y*/) {
  if (待機フラグ == 定数_オン) {
    音.dsPlay(音_禁止);
    開始催促();
  }
}

void Form1::開始催促() {
  描画_四角形(2, 3, 4700, 4400, 色_背景);
  描画_文字(3.5, 9, "ゲームを開始してください", 色_白, 20);
}

void Deliver(Form1& game, const Input& input) {
  switch (input.kind) {
    case Input::Kind::Tick:
      game.Timer1_Timer();
      break;
    case Input::Kind::KeyDown:
      game.Form_KeyDown(input.code, input.shift);
      break;
    case Input::Kind::KeyUp:
      game.Form_KeyUp(input.code, input.shift);
      break;
    case Input::Kind::Click:
      game.Form_MouseDown(input.code, input.shift, input.x, input.y);
      break;
    case Input::Kind::Start:
      game.KAISI_Click();
      break;
    case Input::Kind::Quit:
      game.OWARI_Click();
      break;
    case Input::Kind::Music:
      game.BGM_Click();
      break;
    case Input::Kind::About:
      game.SONOTA_Click();
      break;
    case Input::Kind::Close:
      game.Form_Unload();
      break;
  }
}

std::string InputText(const Input& input, long long ticks) {
  for (const InputWords& words : kInputWords) {
    if (words.input.kind != input.kind) continue;
    std::string text(words.verb);
    if (!words.item.empty()) {
      text += ' ';
      text += words.item;
    } else if (TakesNumber(input.kind)) {
      text += ' ' + std::to_string(input.kind == Input::Kind::Tick ? ticks : input.code);
    }
    return text;
  }
  return {};
}

}  // namespace zonbeli
