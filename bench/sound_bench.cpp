// SPDX-License-Identifier: MIT
// The sound library's costs that a player can feel:
//   Load/RATE        loading ten minutes of 16-bit mono at RATE Hz, the longest sound the
//                    library takes; an odd rate must cost about what a round one does
//   Idle             wake-ups a second of the whole process with nothing playing, while the
//                    output is still awake and once the library has let it rest, and how long
//                    the dsPlay that wakes it again takes, on the driver SDL_AUDIODRIVER
//                    names (dummy if none; AUDIODEV=null SDL_AUDIODRIVER=alsa needs no card)
//   FirstSound/cold  how long after dsPlay the first sample reaches SDL's disk driver's file
//                    when the output rests, against cold:0 when it is awake; the file is
//                    written through stdio, so both include a block or two of delay.
//                    dsPlay_ms is the time dsPlay itself took
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "zonbeli_sound.h"

namespace {

using Clock = std::chrono::steady_clock;

void Put(std::vector<std::uint8_t>& b, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; i++) b.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A 440 Hz tone of `seconds` at `rate`, 16-bit mono.
std::vector<std::uint8_t> Tone(std::uint32_t rate, double seconds) {
  const auto frames = static_cast<std::uint32_t>(rate * seconds);
  std::vector<std::uint8_t> b = {'R', 'I', 'F', 'F'};
  b.reserve(44 + 2 * static_cast<std::size_t>(frames));
  Put(b, 36 + 2 * frames, 4);
  for (char c : std::string("WAVEfmt ")) b.push_back(static_cast<std::uint8_t>(c));
  Put(b, 16, 4), Put(b, 1, 2), Put(b, 1, 2), Put(b, rate, 4), Put(b, 2 * rate, 4), Put(b, 2, 2);
  Put(b, 16, 2);
  for (char c : std::string("data")) b.push_back(static_cast<std::uint8_t>(c));
  Put(b, 2 * frames, 4);
  for (std::uint32_t i = 0; i < frames; i++) {
    const double t = static_cast<double>(i) / rate;
    Put(b, static_cast<std::uint16_t>(std::lround(8000 * std::sin(2 * M_PI * 440 * t))), 2);
  }
  return b;
}

std::int32_t Open(const char* driver, bool overriding = true) {
  setenv("SDL_AUDIODRIVER", driver, overriding ? 1 : 0);
  const std::int32_t device = dsInitialize(0);
  if (device == 0) std::abort();
  return device;
}

void Load(benchmark::State& state) {
  const std::vector<std::uint8_t> image = Tone(static_cast<std::uint32_t>(state.range(0)), 599);
  const std::int32_t device = Open("dummy");
  for (auto _ : state) {
    const std::int32_t buffer = dsCreateDSB(device, image.data(), image.size(), DS_LOAD_MUSIC);
    if (buffer == 0) state.SkipWithError("refused");
    dsFree(buffer);
  }
  dsTerminate(device);
}
BENCHMARK(Load)->Arg(44100)->Arg(48000)->Arg(191999)->Arg(192000)->Unit(benchmark::kMillisecond);

double Milliseconds(Clock::time_point since) {
  return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// Context switches of every thread of this process so far.
long Switches() {
  long total = 0;
  DIR* tasks = opendir("/proc/self/task");
  while (dirent* task = readdir(tasks)) {
    std::ifstream status(std::string("/proc/self/task/") + task->d_name + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.find("ctxt_switches:") != std::string::npos) {
        total += std::atol(line.c_str() + line.find(':') + 1);
      }
    }
  }
  closedir(tasks);
  return total;
}

double WakeupsPerSecond(double seconds) {
  const long before = Switches();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  return static_cast<double>(Switches() - before) / seconds;
}

void Idle(benchmark::State& state) {
  const std::int32_t device = Open("dummy", false);
  const std::vector<std::uint8_t> tone = Tone(44100, 0.1);
  const std::int32_t buffer = dsCreateDSB(device, tone.data(), tone.size(), DS_LOAD_EFFECT);
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    dsPlay(buffer);
    state.counters["dsPlay_ms"] = Milliseconds(start);
    state.counters["just_played"] = WakeupsPerSecond(1.0);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    state.counters["long_silent"] = WakeupsPerSecond(5.0);
    const Clock::time_point again = Clock::now();
    dsPlay(buffer);
    state.counters["dsPlay_again_ms"] = Milliseconds(again);
  }
  dsTerminate(device);
}
BENCHMARK(Idle)->Iterations(1)->Unit(benchmark::kSecond);

// Milliseconds from dsPlay until the disk driver's file holds a sample that is not silence;
// `call` gets how long dsPlay itself took.
double MillisecondsToSound(const std::string& path, std::int32_t buffer, double& call) {
  struct stat file {};
  stat(path.c_str(), &file);
  const auto from = static_cast<std::streamoff>(file.st_size);
  const Clock::time_point start = Clock::now();
  dsPlay(buffer);
  call = Milliseconds(start);
  for (;;) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    // Opening the output anew starts the file anew.
    in.seekg(in.tellg() < from ? 0 : from);
    for (char c; in.get(c);) {
      if (c != 0) return Milliseconds(start);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

void FirstSound(benchmark::State& state) {
  const bool cold = state.range(0) != 0;
  const std::string path = "/tmp/zonbeli_sound_bench_" + std::to_string(getpid()) + ".raw";
  setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
  const std::int32_t device = Open("disk");
  const std::vector<std::uint8_t> tone = Tone(44100, 0.05);
  const std::int32_t buffer = dsCreateDSB(device, tone.data(), tone.size(), DS_LOAD_EFFECT);
  double calls = 0;
  for (auto _ : state) {
    std::this_thread::sleep_for(std::chrono::milliseconds(cold ? 3000 : 300));
    double call = 0;
    state.SetIterationTime(MillisecondsToSound(path, buffer, call) / 1000);
    calls += call;
  }
  state.counters["dsPlay_ms"] = calls / static_cast<double>(state.iterations());
  dsTerminate(device);
  std::remove(path.c_str());
}
BENCHMARK(FirstSound)
    ->ArgName("cold")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(8)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
