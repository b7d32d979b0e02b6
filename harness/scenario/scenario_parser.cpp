// SPDX-License-Identifier: MIT
#include "scenario_parser.h"

#include <charconv>
#include <cmath>

#include "board_text.h"

namespace zonbeli::scenario {

namespace {

// Values a script may store: wide enough for any game, narrow enough that
// the game's own arithmetic on them cannot overflow.
constexpr long long kLargestValue = 999'999'999;
constexpr long long kLargestKey = 255;

struct Failure {
  std::string message;
};

bool IsBlank(char ch) {
  return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\v' || ch == '\f';
}

// The text of a line without its comment and surrounding blanks.
std::string_view Content(std::string_view line) {
  if (const auto hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
  while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
  while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
  return line;
}

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    const std::size_t start = i;
    while (i < text.size() && !IsBlank(text[i])) ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}

std::string Quoted(std::string_view word) {
  return "\"" + std::string(word) + "\"";
}

long long Integer(std::string_view word, long long lowest, long long highest, const char* what) {
  long long value = 0;
  const char* last = word.data() + word.size();
  const auto [end, error] = std::from_chars(word.data(), last, value);
  if (word.empty() || error != std::errc() || end != last) {
    throw Failure{std::string(what) + " must be a whole number, not " + Quoted(word)};
  }
  if (value < lowest || value > highest) {
    throw Failure{std::string(what) + " must lie between " + std::to_string(lowest) + " and " +
                  std::to_string(highest) + ", not " + std::string(word)};
  }
  return value;
}

// A number written with a point and no exponent, from 0 to below `bound`.
double Fraction(std::string_view word, double bound, const char* what) {
  double value = 0;
  const auto [end, error] =
      std::from_chars(word.data(), word.data() + word.size(), value, std::chars_format::fixed);
  if (error != std::errc() || end != word.data() + word.size() || !std::isfinite(value) ||
      value < 0 || value >= bound) {
    throw Failure{std::string(what) + ", not " + Quoted(word)};
  }
  return value;
}

符号 Cell(std::string_view word, const char* what) {
  std::u32string chars;
  符号 code = 0;
  if (!DecodeUtf8(word, chars) || chars.size() != 1 || !CellOfChar(chars[0], code)) {
    throw Failure{std::string(what) + " must be one cell character, not " + Quoted(word)};
  }
  return code;
}

void ExpectWords(const std::vector<std::string_view>& words, std::size_t count, const char* usage) {
  if (words.size() != count) throw Failure{std::string("usage: ") + usage};
}

// One row of a board: eleven cell characters, optionally after the row's
// number as a dump prints it ("07 ...........").
void BoardRow(std::string_view text, int row, Command& command) {
  const auto words = Words(text);
  std::string_view cells_text;
  if (words.size() == 2) {
    if (Integer(words[0], 1, 16, "a board row's number") != row) {
      throw Failure{"board row " + std::to_string(row) + " is numbered " + std::string(words[0])};
    }
    cells_text = words[1];
  } else if (words.size() == 1) {
    cells_text = words[0];
  } else {
    throw Failure{"board row " + std::to_string(row) + " must be 11 cells"};
  }
  const std::string error = ReadRow(cells_text, command.cells, row);
  if (!error.empty()) throw Failure{"board row " + std::to_string(row) + " " + error};
}

// "C,R,K": a column, a row and a code.
FallingStone Stone(std::string_view word) {
  const auto first_comma = word.find(',');
  const auto second_comma =
      first_comma == std::string_view::npos ? first_comma : word.find(',', first_comma + 1);
  if (second_comma == std::string_view::npos) {
    throw Failure{"a falling stone is written C,R,K, not " + Quoted(word)};
  }
  FallingStone stone;
  stone.column =
      static_cast<int>(Integer(word.substr(0, first_comma), 1, 11, "a falling stone's column"));
  stone.row = static_cast<int>(Integer(word.substr(first_comma + 1, second_comma - first_comma - 1),
                                       2, 16, "a falling stone's row"));
  stone.code = Cell(word.substr(second_comma + 1), "a falling stone's code");
  return stone;
}

// The trio must hang together as the game builds it: lying stones left to
// right in one row, standing stones top to bottom in one column. The game
// trusts that shape, and a broken one could walk a stone off the board.
void CheckShape(const Command& command) {
  const auto& s = command.stones;
  const bool lying = command.orientation == Form1::向き_横;
  for (int i = 2; i <= 3; ++i) {
    const auto& before = s[static_cast<std::size_t>(i - 1)];
    const auto& here = s[static_cast<std::size_t>(i)];
    const bool next_to = lying ? here.row == before.row && here.column == before.column + 1
                               : here.column == before.column && here.row == before.row + 1;
    if (!next_to) {
      throw Failure{lying ? "a lying trio needs three neighbouring cells of one row, left to right"
                          : "a standing trio needs three neighbouring cells of one column, top to "
                            "bottom"};
    }
  }
}

// An input, written as the record tool writes it; false when the words
// name none (a `call` of a routine, or no input's verb).
bool ReadInput(const std::vector<std::string_view>& words, Command& command) {
  const std::string verb(words[0]);
  const InputWords* found = nullptr;
  std::string items;
  for (const InputWords& known : kInputWords) {
    if (known.verb != verb) continue;
    if (known.item.empty() || (words.size() == 2 && words[1] == known.item)) found = &known;
    items += (items.empty() ? "" : "|") + std::string(known.item);
  }
  if (found == nullptr) {
    if (items.empty() || verb == "call") return false;
    ExpectWords(words, 2, (verb + ' ' + items).c_str());
    throw Failure{"no " + verb + " item " + Quoted(words[1])};
  }
  command.op = Op::kInput;
  command.input = found->input;
  if (TakesNumber(found->input.kind)) {
    ExpectWords(words, 2, (verb + " CODE").c_str());
    command.input.code = static_cast<int>(Integer(words[1], 0, kLargestKey, "the key code"));
  } else if (found->item.empty()) {
    ExpectWords(words, 1, verb.c_str());
  }
  return true;
}

void ParseCommand(const std::vector<std::string_view>& words, Command& command,
                  const Limits& limits) {
  const std::string_view verb = words[0];
  if (verb != "tick" && ReadInput(words, command)) return;
  if (verb == "falling") {
    ExpectWords(words, 5, "falling C,R,K C,R,K C,R,K 横|縦");
    command.op = Op::kFalling;
    for (std::size_t i = 1; i <= 3; ++i) command.stones[i] = Stone(words[i]);
    if (words[4] == "横") {
      command.orientation = Form1::向き_横;
    } else if (words[4] == "縦") {
      command.orientation = Form1::向き_縦;
    } else {
      throw Failure{"the orientation is 横 or 縦, not " + Quoted(words[4])};
    }
    CheckShape(command);
  } else if (verb == "next") {
    ExpectWords(words, 2, "next XYZ");
    command.op = Op::kNext;
    std::u32string chars;
    if (!DecodeUtf8(words[1], chars) || chars.size() != 3) {
      throw Failure{"next takes three cell characters, not " + Quoted(words[1])};
    }
    for (char32_t ch : chars) {
      符号 code = 0;
      if (!CellOfChar(ch, code)) {
        throw Failure{"next takes three cell characters, not " + Quoted(words[1])};
      }
      command.codes += code;
    }
  } else if (verb == "set") {
    ExpectWords(words, 3, "set NAME VALUE");
    command.op = Op::kSet;
    command.name = std::string(words[1]);
    const Word* variable = FindWord(words[1]);
    if (variable == nullptr || !variable->settable()) {
      throw Failure{"set knows no variable " + Quoted(words[1])};
    }
    if (!variable->flag) {
      command.number = Integer(words[2], -kLargestValue, kLargestValue, "the value");
    } else if (words[2] == "オン") {
      command.number = Form1::定数_オン;
    } else if (words[2] == "オフ") {
      command.number = Form1::定数_オフ;
    } else {
      throw Failure{"a flag is オン or オフ, not " + Quoted(words[2])};
    }
  } else if (verb == "clock" || verb == "time") {
    ExpectWords(words, 2, verb == "clock" ? "clock SECONDS" : "time SECONDS");
    command.op = verb == "clock" ? Op::kClock : Op::kTime;
    command.seconds =
        Fraction(words[1], 86400, "the clock takes seconds since midnight, 0 to below 86400");
  } else if (verb == "random") {
    ExpectWords(words, 2, "random R");
    command.op = Op::kRandom;
    command.seconds = Fraction(words[1], 1, "a random number lies from 0 to below 1");
  } else if (verb == "tick") {
    ExpectWords(words, 2, "tick N");
    command.op = Op::kTick;
    command.number = Integer(words[1], 0, limits.max_tick_count, "the tick count");
  } else if (verb == "land") {
    ExpectWords(words, 1, "land");
    command.op = Op::kLand;
  } else if (verb == "call") {
    ExpectWords(words, 2, "call NAME");
    command.op = Op::kCall;
    command.routine = FindWord(words[1]);
    if (command.routine == nullptr || command.routine->run == nullptr) {
      throw Failure{"call knows no routine " + Quoted(words[1])};
    }
  } else if (verb == "dump") {
    command.op = Op::kDump;
    if (words.size() > 2) throw Failure{"usage: dump [WHAT]"};
    if (words.size() == 2) {
      const Word* item = FindWord(words[1]);
      if (item == nullptr || item->print == nullptr) {
        throw Failure{"dump cannot show " + Quoted(words[1])};
      }
      command.name = std::string(words[1]);
    }
  } else if (verb == "png") {
    if (words.size() != 2) throw Failure{"usage: png FILE (a name without blanks)"};
    command.op = Op::kPng;
    command.name = std::string(words[1]);
  } else {
    throw Failure{"unknown command " + Quoted(verb)};
  }
}

}  // namespace

ParseResult Parse(std::string_view text, const Limits& limits) {
  ParseResult result;
  // Editors on some desktops start a UTF-8 file with a byte-order mark.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start <= text.size();) {
    auto end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  std::size_t i = 0;
  while (i < lines.size()) {
    const int line_number = static_cast<int>(i) + 1;
    const std::string_view content = Content(lines[i++]);
    if (content.empty()) continue;
    Command command;
    command.line = line_number;
    // A bad board row is reported at its own line, not at "board".
    int failing_line = line_number;
    try {
      const auto words = Words(content);
      if (words[0] == "board") {
        ExpectWords(words, 1, "board, then 16 rows");
        command.op = Op::kBoard;
        int row = 1;
        while (row <= 16 && i < lines.size()) {
          const int row_line = static_cast<int>(i) + 1;
          const std::string_view row_text = Content(lines[i++]);
          if (row_text.empty()) continue;
          failing_line = row_line;
          BoardRow(row_text, row, command);
          ++row;
        }
        failing_line = line_number;
        if (row <= 16) {
          throw Failure{"board needs 16 rows, the script ends after " + std::to_string(row - 1)};
        }
      } else {
        ParseCommand(words, command, limits);
      }
    } catch (const Failure& failure) {
      result.commands.clear();
      result.error_line = failing_line;
      result.error = failure.message;
      return result;
    }
    result.commands.push_back(std::move(command));
  }
  return result;
}

}  // namespace zonbeli::scenario
