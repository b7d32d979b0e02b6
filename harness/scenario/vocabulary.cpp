// SPDX-License-Identifier: MIT
#include "vocabulary.h"

#include <ostream>
#include <string>

#include "board_text.h"

namespace zonbeli::scenario {

namespace {

// The game only ever compares a flag with on and off; an unset flag is 0
// and so reads, and prints, as on.
std::string FlagText(int value) {
  if (value == Form1::定数_オン) return "オン";
  if (value == Form1::定数_オフ) return "オフ";
  return std::to_string(value);
}

std::string OrientationText(int value) {
  if (value == Form1::向き_横) return "横";
  if (value == Form1::向き_縦) return "縦";
  if (value == 0) return "?";
  return std::to_string(value);
}

std::string CellText(符号 code) {
  return Utf8(CharOfCell(code));
}

std::string TwoDigits(int n) {
  return (n < 10 ? "0" : "") + std::to_string(n);
}

char Mark(int value) {
  return value == Form1::定数_オン ? 'x' : '.';
}

void Variable(std::ostream& out, const Word& word, Dumped& from) {
  const long long value = word.Get(from.form);
  out << word.name << ' ' << (word.flag ? FlagText(static_cast<int>(value)) : std::to_string(value))
      << '\n';
}

void Board(std::ostream& out, const Word& word, Dumped& from) {
  out << word.name << '\n';
  const std::vector<std::string> rows = BoardRows(from.form);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    out << TwoDigits(static_cast<int>(i) + 1) << ' ' << rows[i] << '\n';
  }
}

void Next(std::ostream& out, const Word& word, Dumped& from) {
  out << word.name;
  if (!from.form.次石.empty()) {
    out << ' ';
    for (符号 code : from.form.次石) out << CellText(code);
  }
  out << '\n';
}

void Falling(std::ostream& out, const Word& word, Dumped& from) {
  const Form1& form = from.form;
  out << word.name;
  for (std::size_t i = 1; i <= 3; ++i) {
    out << ' ' << form.落下石_列[i] << ',' << form.落下石_行[i] << ','
        << CellText(form.落下石_駒[i]);
  }
  out << ' ' << OrientationText(form.落下石_向き) << '\n';
}

void Sounds(std::ostream& out, const Word& word, Dumped& from) {
  out << word.name;
  for (; from.sounds_shown < from.played.size(); ++from.sounds_shown) {
    const std::int32_t handle = from.played[from.sounds_shown];
    const std::string name = SoundSlotName(from.form, handle);
    out << ' ' << (name.empty() ? "?" + std::to_string(handle) : name);
  }
  out << '\n';
}

void HitMarks(std::ostream& out, const Word& word, Dumped& from) {
  out << word.name << '\n';
  for (std::size_t row = 1; row <= 16; ++row) {
    out << TwoDigits(static_cast<int>(row)) << ' ';
    for (std::size_t column = 1; column <= 11; ++column)
      out << Mark(from.form.盤_当たり[column][row]);
    out << '\n';
  }
}

template <std::array<int, 12> Form1::*flags>
void ColumnMarks(std::ostream& out, const Word& word, Dumped& from) {
  out << word.name << ' ';
  for (std::size_t column = 1; column <= 11; ++column) out << Mark((from.form.*flags)[column]);
  out << '\n';
}

template <bool labels>
void Groups(std::ostream& out, const Word& word, Dumped& from) {
  out << word.name << '\n';
  for (std::size_t row = 2; row <= 16; ++row) {
    out << TwoDigits(static_cast<int>(row));
    for (std::size_t column = 1; column <= 11; ++column) {
      out << ' '
          << (labels ? Form1::ラベル文字(from.form.効筋_組[column][row])
                     : std::to_string(from.form.効筋_数[column][row]));
    }
    out << '\n';
  }
}

void Music(std::ostream& out, const Word& word, Dumped& from) {
  out << word.name << ' ' << (from.window->bgm_checked ? "オン" : "オフ") << '\n';
}

// Message boxes as "TITLE|TEXT", the text's line breaks shown as " | ".
void Messages(std::ostream& out, const Word& word, Dumped& from) {
  const std::vector<std::string>& messages = from.window->messages;
  std::size_t& shown = *from.messages_shown;
  if (shown == messages.size()) out << word.name << '\n';
  for (; shown < messages.size(); ++shown) {
    std::string text = messages[shown];
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at)) {
      text.replace(at, 1, " | ");
    }
    out << word.name << ' ' << text << '\n';
  }
}

Word Number(std::string_view name, long Form1::*wide) {
  return {.name = name, .wide = wide, .print = Variable, .whole = true};
}
Word Number(std::string_view name, int Form1::*narrow) {
  return {.name = name, .narrow = narrow, .print = Variable, .whole = true};
}
Word Flag(std::string_view name, int Form1::*narrow) {
  return {.name = name, .narrow = narrow, .flag = true, .print = Variable, .whole = true};
}
Word Shown(std::string_view name, void (*print)(std::ostream&, const Word&, Dumped&), bool whole) {
  return {.name = name, .print = print, .whole = whole};
}
Word Routine(std::string_view name, void (*run)(Form1&)) {
  return {.name = name, .run = run};
}

}  // namespace

const std::vector<Word>& Vocabulary() {
  static const std::vector<Word> words = {
      // A whole dump, in its order.
      Shown("盤", Board, true),
      Number("得点", &Form1::得点),
      Number("最高得点", &Form1::最高得点),
      Number("レベル", &Form1::レベル),
      Number("出現_回数", &Form1::出現_回数),
      Number("落下_間隔", &Form1::落下_間隔),
      Number("落下_基本間隔", &Form1::落下_基本間隔),
      Number("落下_カウンタ", &Form1::落下_カウンタ),
      Flag("爆_予約", &Form1::爆_予約),
      Flag("星_予約", &Form1::星_予約),
      Flag("待機フラグ", &Form1::待機フラグ),
      Flag("終了フラグ", &Form1::終了フラグ),
      Shown("次石", Next, true),
      Shown("落下石", Falling, true),
      Shown("音", Sounds, true),
      // Shown only when asked for.
      Shown("盤_当たり", HitMarks, false),
      Shown("列_当たり", ColumnMarks<&Form1::列_当たり>, false),
      Shown("列_段落ち", ColumnMarks<&Form1::列_段落ち>, false),
      Shown("効筋_組", Groups<true>, false),
      Shown("効筋_数", Groups<false>, false),
      Shown("BGM", Music, false),
      Shown("通知", Messages, false),
      // The routines.
      Routine("効筋設定", [](Form1& f) { f.効筋設定(); }),
      Routine("調査_当駒", [](Form1& f) { f.調査_当駒(); }),
      Routine("連続消去当たり石", [](Form1& f) { f.連続消去当たり石(); }),
      Routine("段落ち", [](Form1& f) { f.段落ち(); }),
      Routine("終了_段落ち", [](Form1& f) { f.終了_段落ち(); }),
      Routine("盤フラグ初期化", [](Form1& f) { f.盤フラグ初期化(); }),
      Routine("隣接石消去設定_爆弾", [](Form1& f) { f.隣接石消去設定_爆弾(); }),
      Routine("隣接石消去設定_星", [](Form1& f) { f.隣接石消去設定_星(); }),
      Routine("出現_次石", [](Form1& f) { f.出現_次石(); }),
      Routine("出現_落下石", [](Form1& f) { f.出現_落下石(); }),
      Routine("ゲーム終了か", [](Form1& f) { f.ゲーム終了か(); }),
      Routine("初期設定", [](Form1& f) { f.初期設定(); }),
      Routine("描画_全画面", [](Form1& f) { f.描画_全画面(); }),
      Routine("開始催促", [](Form1& f) { f.開始催促(); }),
  };
  return words;
}

const Word* FindWord(std::string_view name) {
  for (const Word& word : Vocabulary()) {
    if (word.name == name) return &word;
  }
  return nullptr;
}

void DumpWhole(std::ostream& out, Dumped& from) {
  for (const Word& word : Vocabulary()) {
    if (word.whole) word.print(out, word, from);
  }
}

}  // namespace zonbeli::scenario
