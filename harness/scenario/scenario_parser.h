// SPDX-License-Identifier: MIT
// Scenario scripts: the text a scenario is written in, read into commands.
// The runner (scenario_runner.h) carries them out on the game object; the
// language itself is described at the top of scenario.cpp.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "form1.h"
#include "input.h"
#include "vocabulary.h"

namespace zonbeli::scenario {

enum class Op {
  kBoard,
  kFalling,
  kNext,
  kSet,
  kClock,
  kTime,
  kRandom,
  kTick,
  kLand,
  kInput,
  kCall,
  kDump,
  kPng,
};

struct FallingStone {
  int column = 0;
  int row = 0;
  符号 code = 0;
};

struct Command {
  Op op = Op::kLand;
  int line = 0;  // where the command starts, from 1
  // kBoard: rows 1..16 of columns 1..11, indexed [column][row] like the board.
  std::array<std::array<符号, 17>, 12> cells{};
  // kFalling: stones 1..3 (element 0 unused) and the orientation code.
  std::array<FallingStone, 4> stones{};
  int orientation = 0;
  std::u32string codes;  // kNext
  // kSet: the variable; kDump: what to show ("" for the whole state); kPng:
  // the file.
  std::string name;
  long long number = 0;           // kSet: the value; kTick: the count
  double seconds = 0;             // kClock, kTime; kRandom: the number
  Input input;                    // kInput
  const Word* routine = nullptr;  // kCall
};

struct Limits {
  // The largest count one `tick` may ask for.
  long long max_tick_count = 10'000'000;
};

struct ParseResult {
  std::vector<Command> commands;
  int error_line = 0;  // 0 when the whole script was understood
  std::string error;
  bool ok() const { return error_line == 0; }
};

// Never throws on any input; a script it cannot read whole yields no
// commands and the first line it stumbled on.
ParseResult Parse(std::string_view text, const Limits& limits = {});

}  // namespace zonbeli::scenario
