// SPDX-License-Identifier: MIT
// Grouping and marking on the fullest boards the well can hold.
#include <benchmark/benchmark.h>

#include "fake_window.h"
#include "form1.h"

namespace {

using zonbeli::Form1;

void FillWith(Form1& form, const std::u32string& kinds) {
  std::size_t i = 0;
  for (int column = 1; column <= 11; ++column) {
    for (int row = 1; row <= 16; ++row) form.盤[column][row] = kinds[i++ % kinds.size()];
  }
}

void GroupAndMark(benchmark::State& state, const std::u32string& kinds) {
  zonbeli::FakeWindow window;
  zonbeli::RecordingSound sound;
  Form1 form(window, sound);
  FillWith(form, kinds);
  for (auto _ : state) {
    form.効筋設定();
    form.調査_当駒();
    benchmark::DoNotOptimize(form.盤_当たり);
  }
}

void BM_AllBishops(benchmark::State& state) {
  GroupAndMark(state, U"角");
}
void BM_AllRooks(benchmark::State& state) {
  GroupAndMark(state, U"飛");
}
void BM_AllLances(benchmark::State& state) {
  GroupAndMark(state, U"香");
}
// Kinds cycle so that neighbours differ and long lines stay open.
void BM_Mixed(benchmark::State& state) {
  GroupAndMark(state, U"角歩飛香桂銀金王角飛 ");
}

BENCHMARK(BM_AllBishops);
BENCHMARK(BM_AllRooks);
BENCHMARK(BM_AllLances);
BENCHMARK(BM_Mixed);

}  // namespace

BENCHMARK_MAIN();
