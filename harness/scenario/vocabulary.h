// SPDX-License-Identifier: MIT
// The names a scenario script uses for the game's state and routines: the
// variables `set` changes, what `dump` prints and how, and the routines
// `call` runs. Reading a script and printing a dump both go by this table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string_view>
#include <vector>

#include "fake_window.h"
#include "form1.h"

namespace zonbeli::scenario {

// What a dump prints from. The sounds and messages listed move their marks
// on, so that the next dump lists only what came since.
struct Dumped {
  const Form1& form;
  const std::vector<std::int32_t>& played;  // every sound started
  std::size_t& sounds_shown;
  const FakeWindow* window = nullptr;  // none for a whole dump outside the runner
  std::size_t* messages_shown = nullptr;
};

// One name of the vocabulary, with the uses it has.
struct Word {
  std::string_view name;
  // `set`: a variable holding a number, or a flag written オン or オフ.
  long Form1::*wide = nullptr;  // for the two scores; otherwise `narrow`
  int Form1::*narrow = nullptr;
  bool flag = false;
  // `dump NAME`, and a whole `dump` when `whole`, in the table's order.
  void (*print)(std::ostream& out, const Word& word, Dumped& from) = nullptr;
  bool whole = false;
  // `call`: a routine without arguments; its answer is dropped.
  void (*run)(Form1& form) = nullptr;

  bool settable() const { return wide != nullptr || narrow != nullptr; }
  long long Get(const Form1& form) const { return wide ? form.*wide : form.*narrow; }
  void Set(Form1& form, long long value) const {
    if (wide) {
      form.*wide = static_cast<long>(value);
    } else {
      form.*narrow = static_cast<int>(value);
    }
  }
};

const std::vector<Word>& Vocabulary();
// The word of that name, or null.
const Word* FindWord(std::string_view name);

// Prints every item of a whole dump.
void DumpWhole(std::ostream& out, Dumped& from);

}  // namespace zonbeli::scenario
