// SPDX-License-Identifier: MIT
// What reaches the game from outside, as values: a key, a click, a menu
// item, the window closing, a timer tick. The window makes them from its
// events, the record tool writes them down and the scenario runner reads
// them back; Deliver alone turns one into the game's routine.
#pragma once

#include <string>
#include <string_view>

namespace zonbeli {

class Form1;

struct Input {
  enum class Kind { Tick, KeyDown, KeyUp, Click, Start, Quit, Music, About, Close };
  Kind kind = Kind::Tick;
  int code = 0;   // a key's virtual-key code; a click's button: 1 left, 2 right, 4 middle
  int shift = 0;  // 1 Shift, 2 Ctrl, 4 Alt
  float x = 0;    // where a click went down, in twips
  float y = 0;
};

// Runs the routine the input calls for, to its end.
void Deliver(Form1& game, const Input& input);

// Whether a tick would do anything now: not before the first game.
bool WantsTicks(const Form1& game);

// How an input is written in recordings and scenario scripts, one line
// each: "key 37", "keyup 37", "click", "menu 開始", "call Form_Unload", and
// "tick N" for a run of `ticks` ticks. The shift state and where a click
// went are left out: the game never looks at them.
std::string InputText(const Input& input, long long ticks = 1);

// The words of each input, as InputText writes them and scripts are read.
// A verb without an item takes a number (TakesNumber: a key's code, or how
// many ticks), but for the click, which stands alone for the left button.
struct InputWords {
  Input input;
  std::string_view verb;
  std::string_view item;
};
inline constexpr InputWords kInputWords[] = {
    {{Input::Kind::Tick}, "tick", ""},
    {{Input::Kind::KeyDown}, "key", ""},
    {{Input::Kind::KeyUp}, "keyup", ""},
    {{Input::Kind::Click, 1}, "click", ""},
    {{Input::Kind::Start}, "menu", "開始"},
    {{Input::Kind::Quit}, "menu", "終了"},
    {{Input::Kind::Music}, "menu", "BGM"},
    {{Input::Kind::About}, "menu", "その他"},
    {{Input::Kind::Close}, "call", "Form_Unload"},
};

// Whether the input's words end in a number.
constexpr bool TakesNumber(Input::Kind kind) {
  return kind == Input::Kind::Tick || kind == Input::Kind::KeyDown || kind == Input::Kind::KeyUp;
}

}  // namespace zonbeli
