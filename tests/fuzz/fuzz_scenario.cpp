// SPDX-License-Identifier: MIT
// Any bytes as a scenario script. Reading a script must never crash, and a
// failed read must name a line of the script and yield no commands. A
// script that reads well is then played whole on a fresh game, with small
// limits on ticks so that every input stays quick, and without writing
// files.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string_view>

#include "scenario_runner.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zonbeli::scenario;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  Limits limits;
  limits.max_tick_count = 200;
  const ParseResult parsed = Parse(text, limits);
  if (!parsed.ok()) {
    const auto lines = std::count(text.begin(), text.end(), '\n') + 1;
    Require(parsed.commands.empty());
    Require(parsed.error_line >= 1 && parsed.error_line <= lines);
    Require(!parsed.error.empty());
    return 0;
  }
  for (const Command& command : parsed.commands) Require(command.line >= 1);

  Options options;
  options.land_limit = 200;
  options.tick_budget = 400;
  options.write_files = false;
  std::ostringstream out;
  Session session(out, options);
  try {
    for (const Command& command : parsed.commands) {
      if (!session.Execute(command)) break;
    }
  } catch (const RunFailure& failure) {
    Require(failure.line >= 1);
  }
  return 0;
}
