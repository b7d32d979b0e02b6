// SPDX-License-Identifier: MIT
#include "scenario_runner.h"

#include <ostream>

namespace zonbeli::scenario {

Session::Session(std::ostream& out, Options options)
    : out_(out),
      options_(options),
      window_(options.make_window ? options.make_window() : std::make_unique<FakeWindow>()),
      form_(*window_, sound_) {
  window_->record_drawing = false;
  std::size_t length = 44;
  for (const 音定義& sound : 音_一覧) {
    window_->files[std::string(sound.name) + ".wav"] = std::vector<std::uint8_t>(length++, 0);
  }
  form_.Form_Load();
}

bool Session::Tick() {
  if (options_.tick_budget >= 0 && ticks_ >= options_.tick_budget) {
    throw RunFailure{line_,
                     "the run may take at most " + std::to_string(options_.tick_budget) + " ticks"};
  }
  ++ticks_;
  const std::size_t before = sound_.played.size();
  window_->Advance(1.0 / 64);
  Deliver(form_, {Input::Kind::Tick});
  // The list of waits is only for tests that look at it; a long run would
  // let it grow without end.
  if (window_->waits.size() > 4096) window_->waits.clear();
  for (std::size_t i = before; i < sound_.played.size(); ++i) {
    if (sound_.played[i] == form_.音_石着地) {
      ++landings_;
      return true;
    }
  }
  return false;
}

void Session::Land() {
  if (form_.待機フラグ == Form1::定数_オン) {
    throw RunFailure{line_, "land needs a running game (待機フラグ is オン)"};
  }
  for (long long n = 0; n < options_.land_limit; ++n) {
    if (Tick()) return;
  }
  throw RunFailure{
      line_, "the trio did not land within " + std::to_string(options_.land_limit) + " ticks"};
}

bool Session::Execute(const Command& command) {
  line_ = command.line;
  try {
    switch (command.op) {
      case Op::kBoard:
        for (std::size_t column = 1; column <= 11; ++column) {
          for (std::size_t row = 1; row <= 16; ++row) {
            form_.盤[column][row] = command.cells[column][row];
          }
        }
        break;
      case Op::kFalling:
        for (std::size_t i = 1; i <= 3; ++i) {
          form_.落下石_列[i] = command.stones[i].column;
          form_.落下石_行[i] = command.stones[i].row;
          form_.落下石_駒[i] = command.stones[i].code;
        }
        form_.落下石_向き = command.orientation;
        break;
      case Op::kNext:
        form_.次石 = command.codes;
        break;
      case Op::kSet:
        FindWord(command.name)->Set(form_, command.number);
        break;
      case Op::kClock:
        window_->SetTimeOfDay(command.seconds);
        break;
      case Op::kTime:
        window_->times.push_back(command.seconds);
        break;
      case Op::kRandom:
        window_->randoms.push_back(command.seconds);
        break;
      case Op::kTick:
        for (long long n = 0; n < command.number; ++n) Tick();
        break;
      case Op::kLand:
        Land();
        break;
      case Op::kInput:
        Deliver(form_, command.input);
        break;
      case Op::kCall:
        command.routine->run(form_);
        break;
      case Op::kDump:
        Dump(command.name);
        break;
      case Op::kPng:
        if (options_.write_files && !window_->SavePng(command.name)) {
          throw RunFailure{line_, "cannot write " + command.name};
        }
        break;
    }
  } catch (const ProgramEnded&) {
    out_ << "終了\n";
    return false;
  }
  return true;
}

void WriteState(std::ostream& out, const Form1& form, const std::vector<std::int32_t>& played,
                std::size_t& shown) {
  Dumped from{form, played, shown};
  DumpWhole(out, from);
}

void Session::Dump(const std::string& what) {
  Dumped from{form_, sound_.played, sounds_shown_, window_.get(), &messages_shown_};
  if (what.empty()) {
    DumpWhole(out_, from);
  } else {
    const Word* item = FindWord(what);
    item->print(out_, *item, from);
  }
}

int RunScript(std::string_view text, std::ostream& out, std::ostream& errors, const Limits& limits,
              const Options& options) {
  const ParseResult parsed = Parse(text, limits);
  if (!parsed.ok()) {
    errors << "zonbeli-scenario: line " << parsed.error_line << ": " << parsed.error << '\n';
    return 2;
  }
  Session session(out, options);
  try {
    for (const Command& command : parsed.commands) {
      if (!session.Execute(command)) break;
    }
  } catch (const RunFailure& failure) {
    out.flush();
    errors << "zonbeli-scenario: line " << failure.line << ": " << failure.message << '\n';
    return 1;
  }
  return 0;
}

}  // namespace zonbeli::scenario
