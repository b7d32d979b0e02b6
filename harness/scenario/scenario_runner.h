// SPDX-License-Identifier: MIT
// Carrying out scenario commands on the real game object, over the test
// window (virtual clock, recorded sounds, and the drawing surface when the
// window given has one).
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fake_window.h"
#include "form1.h"
#include "scenario_parser.h"

namespace zonbeli::scenario {

struct Options {
  // Ticks one `land` may take before it gives up.
  long long land_limit = 100'000;
  // Ticks a whole run may take; negative for no limit.
  long long tick_budget = -1;
  // Whether `png` writes its file.
  bool write_files = true;
  // The window the game runs over; a FakeWindow, without pixels, if unset.
  std::function<std::unique_ptr<FakeWindow>()> make_window;
};

// Something the script asked for could not be done.
struct RunFailure {
  int line;
  std::string message;
};

class Session {
 public:
  // Opens the window with all ten sounds present and runs Form_Load.
  explicit Session(std::ostream& out, Options options = {});
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Carries out one command; false once the program has ended. Throws
  // RunFailure.
  bool Execute(const Command& command);

  // One timer tick: the clock moves on by 1/64 s, then the tick handler
  // runs. True when the falling trio landed in it; the handler processes a
  // landing whole (erasures, chain, score, next trio or game over) before
  // it returns.
  bool Tick();

  Form1& form() { return form_; }
  FakeWindow& window() { return *window_; }
  RecordingSound& sound() { return sound_; }
  long long ticks() const { return ticks_; }
  long long landings() const { return landings_; }

 private:
  void Land();
  void Dump(const std::string& what);

  std::ostream& out_;
  Options options_;
  std::unique_ptr<FakeWindow> window_;
  RecordingSound sound_;
  Form1 form_;
  int line_ = 0;
  long long ticks_ = 0;
  long long landings_ = 0;
  std::size_t sounds_shown_ = 0;
  std::size_t messages_shown_ = 0;
};

// Writes the whole state of `form` as `dump` prints it. `played` holds
// every sound started so far and `shown` how many an earlier dump listed;
// it moves on past the ones listed now.
void WriteState(std::ostream& out, const Form1& form, const std::vector<std::int32_t>& played,
                std::size_t& shown);

// Reads and runs a whole script. Returns the exit status: 0 when it ran to
// its end or the program ended, 1 when a command could not be carried out,
// 2 when the script is malformed (then nothing runs).
int RunScript(std::string_view text, std::ostream& out, std::ostream& errors,
              const Limits& limits = {}, const Options& options = {});

}  // namespace zonbeli::scenario
