// SPDX-License-Identifier: MIT
#include "scenario_runner.h"

#include <algorithm>
#include <ostream>

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

}  // namespace

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
  form_.Timer1_Timer();
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
        FindVariable(command.name)->Set(form_, command.number);
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
      case Op::kKey:
        form_.Form_KeyDown(static_cast<int>(command.number), 0);
        break;
      case Op::kKeyUp:
        form_.Form_KeyUp(static_cast<int>(command.number), 0);
        break;
      case Op::kClick:
        form_.Form_MouseDown(1, 0, 0, 0);
        break;
      case Op::kMenu:
        if (command.name == "開始") form_.KAISI_Click();
        if (command.name == "終了") form_.OWARI_Click();
        if (command.name == "BGM") form_.BGM_Click();
        if (command.name == "その他") form_.SONOTA_Click();
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

namespace {

void DumpItem(std::ostream& out, const Form1& form, const std::string& item,
              const std::vector<std::int32_t>& played, std::size_t& shown) {
  if (item == "盤") {
    out << "盤\n";
    const std::vector<std::string> rows = BoardRows(form);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      out << TwoDigits(static_cast<int>(i) + 1) << ' ' << rows[i] << '\n';
    }
    return;
  }
  out << item;
  if (const Variable* variable = FindVariable(item)) {
    const long long value = variable->Get(form);
    out << ' ' << (variable->flag ? FlagText(static_cast<int>(value)) : std::to_string(value));
  }
  if (item == "次石" && !form.次石.empty()) {
    out << ' ';
    for (符号 code : form.次石) out << CellText(code);
  }
  if (item == "落下石") {
    for (std::size_t i = 1; i <= 3; ++i) {
      out << ' ' << form.落下石_列[i] << ',' << form.落下石_行[i] << ','
          << CellText(form.落下石_駒[i]);
    }
    out << ' ' << OrientationText(form.落下石_向き);
  }
  if (item == "音") {
    for (; shown < played.size(); ++shown) {
      const std::int32_t handle = played[shown];
      const std::string name = SoundSlotName(form, handle);
      out << ' ' << (name.empty() ? "?" + std::to_string(handle) : name);
    }
  }
  out << '\n';
}

}  // namespace

void WriteState(std::ostream& out, const Form1& form, const std::vector<std::int32_t>& played,
                std::size_t& shown) {
  for (const std::string& item : DumpItems()) DumpItem(out, form, item, played, shown);
}

void Session::Dump(const std::string& what) {
  const auto mark = [](int value) { return value == Form1::定数_オン ? 'x' : '.'; };
  if (what.empty()) {
    WriteState(out_, form_, sound_.played, sounds_shown_);
  } else if (std::find(DumpItems().begin(), DumpItems().end(), what) != DumpItems().end()) {
    DumpItem(out_, form_, what, sound_.played, sounds_shown_);
  } else if (what == "盤_当たり") {
    out_ << what << '\n';
    for (std::size_t row = 1; row <= 16; ++row) {
      out_ << TwoDigits(static_cast<int>(row)) << ' ';
      for (std::size_t column = 1; column <= 11; ++column)
        out_ << mark(form_.盤_当たり[column][row]);
      out_ << '\n';
    }
  } else if (what == "列_当たり" || what == "列_段落ち") {
    const auto& flags = what == "列_当たり" ? form_.列_当たり : form_.列_段落ち;
    out_ << what << ' ';
    for (std::size_t column = 1; column <= 11; ++column) out_ << mark(flags[column]);
    out_ << '\n';
  } else if (what == "効筋_組" || what == "効筋_数") {
    out_ << what << '\n';
    for (std::size_t row = 2; row <= 16; ++row) {
      out_ << TwoDigits(static_cast<int>(row));
      for (std::size_t column = 1; column <= 11; ++column) {
        out_ << ' '
             << (what == "効筋_組" ? Form1::ラベル文字(form_.効筋_組[column][row])
                                   : std::to_string(form_.効筋_数[column][row]));
      }
      out_ << '\n';
    }
  } else if (what == "BGM") {
    out_ << "BGM " << (window_->bgm_checked ? "オン" : "オフ") << '\n';
  } else if (what == "通知") {
    if (messages_shown_ == window_->messages.size()) out_ << "通知\n";
    for (; messages_shown_ < window_->messages.size(); ++messages_shown_) {
      std::string text = window_->messages[messages_shown_];
      for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at)) {
        text.replace(at, 1, " | ");
      }
      out_ << "通知 " << text << '\n';
    }
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
