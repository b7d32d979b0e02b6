// SPDX-License-Identifier: MIT
// The sound library, heard through SDL's "disk" audio driver: the mixer's output lands in a raw
// file, and the tests read it back to see what was actually played.
#include <SDL.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numbers>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "binding.h"
#include "file_bytes.h"
#include "zonbeli_sound.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Samples = std::vector<int16_t>;

// The library asks for 16-bit mono at 44.1 kHz, and the disk driver writes just that.
constexpr double kRate = 44100.0;
// The mixer hands the driver 256 frames at a time and the file is written through stdio, so a
// block mixed just before a call may reach the file well after it; and the library's own thread
// starts what the call asked for, a moment later on a busy machine.
constexpr size_t kLate = 12 * 512;

size_t ms(double milliseconds) {
  return static_cast<size_t>(kRate * milliseconds / 1000.0);
}

// Appends each value in little-endian order, in as many bytes as it names.
void put(Bytes& b, std::initializer_list<std::pair<uint32_t, int>> fields) {
  for (auto [value, bytes] : fields) {
    for (int i = 0; i < bytes; i++) b.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
}

Bytes with(Bytes b, size_t at, uint32_t value, size_t bytes = 4) {
  for (size_t i = 0; i < bytes; i++) b.at(at + i) = static_cast<uint8_t>(value >> (8 * i));
  return b;
}

struct Format {
  uint16_t tag = 1, channels = 1;
  uint32_t rate = 44100;
  uint16_t bits = 16;
};

Bytes fmt(const Format& f) {
  Bytes b;
  const uint32_t block = f.channels * (f.bits / 8u);
  put(b, {{f.tag, 2}, {f.channels, 2}, {f.rate, 4}, {f.rate * block, 4}, {block, 2}, {f.bits, 2}});
  return b;
}

// A RIFF/WAVE image with exactly these chunks and honest sizes.
Bytes riff(const std::vector<std::pair<std::string, Bytes>>& chunks) {
  Bytes b = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
  for (const auto& [id, body] : chunks) {
    b.insert(b.end(), id.begin(), id.end());
    put(b, {{static_cast<uint32_t>(body.size()), 4}});
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() % 2 != 0) b.push_back(0);
  }
  return with(b, 4, static_cast<uint32_t>(b.size() - 8));
}

Bytes wav(const Format& f, const Bytes& data) {
  return riff({{"fmt ", fmt(f)}, {"data", data}});
}

Bytes pcm(const Samples& samples) {
  Bytes b;
  for (int16_t s : samples) put(b, {{static_cast<uint16_t>(s), 2}});
  return b;
}

Samples samples_of(const Bytes& b) {
  Samples s(b.size() / 2);
  for (size_t i = 0; i < s.size(); i++) s[i] = static_cast<int16_t>(b[2 * i] | (b[2 * i + 1] << 8));
  return s;
}

Samples square(int16_t amplitude, double milliseconds) {
  Samples s(ms(milliseconds), amplitude);
  for (size_t i = 0; i < s.size(); i++)
    s[i] = static_cast<int16_t>((i / 20) % 2 ? -amplitude : amplitude);
  return s;
}

Bytes mono(const Samples& samples) {
  return wav({}, pcm(samples));
}

Bytes noise(size_t n, uint32_t seed) {
  std::mt19937 generator(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(generator());
  return b;
}

bool silent(const Samples& s) {
  return std::all_of(s.begin(), s.end(), [](int16_t x) { return x == 0; });
}

// From the first sample that is not silence to the last.
Samples trimmed(const Samples& heard) {
  const auto first = std::find_if(heard.begin(), heard.end(), [](int16_t s) { return s != 0; });
  const auto last =
      std::find_if(heard.rbegin(), heard.rend(), [](int16_t s) { return s != 0; }).base();
  return first < last ? Samples(first, last) : Samples{};
}

// Whether something was heard and every sample of it lies `level` away from silence, give or
// take the step or two that conversion through float may lose.
::testing::AssertionResult all_near(const Samples& s, int level) {
  const auto off = std::find_if(s.begin(), s.end(),
                                [&](int16_t x) { return std::abs(std::abs(int{x}) - level) > 3; });
  if (s.empty()) return ::testing::AssertionFailure() << "nothing was heard";
  if (off == s.end()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "sample " << off - s.begin() << " of " << s.size() << " is " << *off;
}

// Loads a copy of `image` whose last byte is the last readable one before an inaccessible page,
// so that reading past its end faults even without a sanitizer.
int32_t create_guarded(int32_t device, const Bytes& image) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t pages = image.size() / page + 2;
  void* map =
      mmap(nullptr, pages * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (map == MAP_FAILED) std::abort();
  uint8_t* guard = static_cast<uint8_t*>(map) + (pages - 1) * page;
  mprotect(guard, page, PROT_NONE);
  std::copy(image.begin(), image.end(), guard - image.size());
  const int32_t buffer = dsCreateDSB(device, guard - image.size(), image.size(), DS_LOAD_EFFECT);
  munmap(map, pages * page);
  return buffer;
}

class Sound : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "zonbeli_sound_" + std::to_string(getpid()) + ".raw";
    Open();
  }

  void TearDown() override {
    dsTerminate(device_);
    std::remove(path_.c_str());
  }

  void Open() {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path_.c_str(), 1);
    // The driver rests this many milliseconds between blocks instead of the 11.6 that real time
    // would take, so the tests hear about twice as fast as they would play.
    setenv("SDL_DISKAUDIODELAY", "5", 1);
    device_ = dsInitialize(0);
    ASSERT_NE(device_, 0) << "the disk audio driver should always open";
    // Looping silence keeps the output open as music would: let go between two steps of a slow
    // run, it would come back with its file started anew, and the steps would hear nothing.
    awake_ = Load(mono(Samples(ms(100), 0)));
    dsPlayLooping(awake_);
  }

  int32_t Load(const Bytes& image, int32_t flags = DS_LOAD_EFFECT) {
    const int32_t buffer = dsCreateDSB(device_, image.data(), image.size(), flags);
    EXPECT_NE(buffer, 0);
    return buffer;
  }

  // Frames written so far.
  size_t Written() const {
    struct stat file {};
    return stat(path_.c_str(), &file) == 0 ? static_cast<size_t>(file.st_size) / 2 : 0;
  }

  size_t RunUntil(size_t frames) {
    for (int i = 0; i < 5000 && Written() < frames; i++) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_GE(Written(), frames) << "the disk driver stopped writing";
    return Written();
  }

  size_t Run(double milliseconds) { return RunUntil(Written() + ms(milliseconds)); }

  // Whether the file stops growing within five seconds: a resting output's thread sleeps.
  bool Rests() const {
    for (int i = 0; i < 50; i++) {
      const size_t before = Written();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (Written() == before) return true;
    }
    return false;
  }

  Samples Heard(size_t from, size_t to) const {
    std::ifstream in(path_, std::ios::binary);
    const Samples all = samples_of(Bytes(std::istreambuf_iterator<char>(in), {}));
    to = std::min(to, all.size());
    return from < to ? Samples(all.begin() + from, all.begin() + to) : Samples{};
  }

  // The next `milliseconds` of output that was surely mixed after this call.
  Samples Next(double milliseconds) {
    const size_t from = Written() + kLate;
    return Heard(from, RunUntil(from + ms(milliseconds)));
  }

  // What the output holds from the first sound after `play` to the last, over `milliseconds`.
  Samples Sounding(int32_t buffer, double milliseconds, void (*play)(int32_t) = dsPlay) {
    const size_t from = Written();
    play(buffer);
    return trimmed(Heard(from, Run(milliseconds)));
  }

  std::string path_;
  int32_t device_ = 0;
  int32_t awake_ = 0;
};

TEST_F(Sound, ASoundIsSilentUntilPlayedThenPlaysOnceBitForBit) {
  // The game's own sounds are in the mixer's format, and must reach the output exactly as
  // recorded, down to the extremes of the 16-bit range.
  Samples samples = samples_of(noise(2 * ms(100), 5));
  samples.front() = 32767;
  samples.back() = -32768;
  const int32_t buffer = Load(mono(samples));
  EXPECT_TRUE(silent(Heard(0, Run(60)))) << "nothing may sound before dsPlay";
  EXPECT_EQ(Sounding(buffer, 300), samples);
}

TEST_F(Sound, ALoopRepeatsWithoutAGapUntilStopped) {
  const Samples tone = square(9000, 50);
  const int32_t buffer = Load(mono(tone));
  const Samples heard = Sounding(buffer, 400, dsPlayLooping);
  EXPECT_GT(heard.size(), 4 * tone.size()) << "should have gone round several times";
  EXPECT_TRUE(all_near(heard, 9000)) << "a square wave never passes through silence";
  dsStop(buffer);
  EXPECT_TRUE(silent(Next(100)));
}

TEST_F(Sound, ReplayingAnEffectRestartsItInsteadOfStacking) {
  const int32_t buffer = Load(mono(Samples(ms(500), 6000)));
  dsPlay(buffer);
  Run(100);
  const Samples replayed = Sounding(buffer, 800);
  EXPECT_TRUE(all_near(replayed, 6000)) << "a replay must not add onto itself";
  EXPECT_GE(replayed.size(), ms(500)) << "the replay should start it again";
}

TEST_F(Sound, EffectsMixWithEachOtherAndWithOnePieceOfMusic) {
  const int32_t music = Load(mono(Samples(ms(200), 2000)), DS_LOAD_MUSIC);
  const int32_t next_music = Load(mono(Samples(ms(100), 1500)), DS_LOAD_MUSIC);
  const int32_t low = Load(mono(Samples(ms(3000), 3000)));
  const int32_t high = Load(mono(Samples(ms(3000), 5000)));
  dsPlayLooping(music);
  dsPlay(low);
  dsPlay(high);
  EXPECT_TRUE(all_near(Next(100), 10000)) << "all three should add up";
  dsPlayLooping(next_music);
  EXPECT_TRUE(all_near(Next(150), 9500)) << "only the new music should play";
  dsStop(music);
  EXPECT_TRUE(all_near(Next(150), 9500)) << "stopping silent music stops nothing";
  dsStop(next_music);
  EXPECT_TRUE(all_near(Next(150), 8000)) << "the effects should play on";
}

TEST_F(Sound, OtherFormatsPlayAsTheirMonoMixAt44kHz) {
  // 8-bit samples are unsigned: 192 is half of full scale above the middle. Well inside the
  // sound, past the resampler's ringing at its edges, it must be just that.
  const Samples eight = Sounding(Load(wav({.rate = 22050, .bits = 8}, Bytes(4410, 192))), 350);
  ASSERT_GE(eight.size(), ms(150));
  for (size_t i = ms(50); i < ms(150); i++) ASSERT_NEAR(eight[i], 16384, 200) << "frame " << i;

  // Each frame of a stereo image plays as the mean of its sides; one side alone, or the sides
  // taken as frames of their own, would show another level or length.
  Bytes sides;
  for (int i = 0; i < 8820; i++) put(sides, {{7000, 2}, {static_cast<uint16_t>(-3000), 2}});
  const Samples stereo = Sounding(Load(wav({.channels = 2}, sides)), 350);
  EXPECT_EQ(stereo.size(), 8820u);
  EXPECT_TRUE(all_near(stereo, 2000));

  // Wider samples, float and many channels come down to the same scale and mean; streaming
  // tools' size fields and a file cut short play to the end of what is there.
  const auto frames = [](std::initializer_list<std::pair<uint32_t, int>> frame) {
    Bytes b;
    for (int i = 0; i < 4410; i++) put(b, frame);
    return b;
  };
  const Bytes tone = mono(Samples(4410, 5000));
  const std::tuple<const char*, Bytes, size_t, int> plays[] = {
      {"24-bit", wav({.bits = 24}, frames({{0xE00000, 3}})), 4410, 8192},
      {"32-bit", wav({.bits = 32}, frames({{0xC0000000, 4}})), 4410, 16384},
      {"32-bit float, 0.5", wav({.tag = 3, .bits = 32}, frames({{0x3F000000, 4}})), 4410, 16384},
      {"8 channels",
       wav({.channels = 8}, frames({{1000, 2},
                                    {2000, 2},
                                    {3000, 2},
                                    {4000, 2},
                                    {5000, 2},
                                    {6000, 2},
                                    {7000, 2},
                                    {8000, 2}})),
       4410, 4500},
      {"a byte short", Bytes(tone.begin(), tone.end() - 1), 4409, 5000},
      {"sizes 0", with(with(tone, 4, 0), 40, 0), 4410, 5000},
      {"sizes 0xFFFFFFFF", with(with(tone, 4, 0xFFFFFFFF), 40, 0xFFFFFFFF), 4410, 5000},
  };
  for (const auto& [name, image, length, level] : plays) {
    const Samples heard = Sounding(Load(image), 250);
    EXPECT_EQ(heard.size(), length) << name;
    EXPECT_TRUE(all_near(heard, level)) << name;
  }

  // Half a second converts in several pieces; a frame lost or repeated where two meet, or a
  // moment weighed as another, would put the wave out of step with the ideal one. At odd rates
  // every output frame falls on a fraction of its own.
  for (const uint32_t rate : {48000u, 191999u, 7999u}) {
    auto wave_at = [](double t) {
      return 8000.0 + 4000.0 * std::sin(2 * std::numbers::pi * 1000 * t);
    };
    Bytes data;
    for (uint32_t i = 0; i < rate / 2; i++) {
      const auto s = static_cast<uint16_t>(std::lround(wave_at(i / double(rate))));
      put(data, {{s, 2}, {s, 2}});
    }
    const Samples sound = Sounding(Load(wav({.channels = 2, .rate = rate}, data)), 700);
    EXPECT_NEAR(static_cast<double>(sound.size()), static_cast<double>(ms(500)), 2.0) << rate;
    // The resampler rings a little at the very ends, where the wave jumps from silence.
    for (size_t i = ms(3); i + ms(3) < sound.size(); i++) {
      ASSERT_NEAR(sound[i], wave_at(static_cast<double>(i) / kRate), 8) << rate << " Hz, " << i;
    }
  }
}

TEST_F(Sound, BadStaleAndOldHandlesDoNothing) {
  // Long sounds are held in memory of another kind, which has to go back its own way.
  const Bytes long_image = mono(square(8000, 30000));
  dsFree(Load(long_image));
  Bytes image = mono(square(8000, 100));
  const int32_t freed = Load(image);
  dsFree(freed);
  const int32_t buffer = Load(image);
  EXPECT_NE(buffer, freed) << "a new buffer must not take over an old handle";
  EXPECT_EQ(dsCreateDSB(0, image.data(), image.size(), DS_LOAD_EFFECT), 0);
  EXPECT_EQ(dsCreateDSB(device_ + 1, image.data(), image.size(), DS_LOAD_EFFECT), 0);
  EXPECT_EQ(dsCreateDSB(device_, nullptr, image.size(), DS_LOAD_EFFECT), 0);
  std::fill(image.begin(), image.end(), uint8_t{0x55});

  const int32_t bad[] = {0, -1, freed, 255, 12345, INT32_MAX, INT32_MIN};
  for (int32_t handle : bad) dsPlay(handle), dsPlayLooping(handle);
  for (int32_t device : {0, device_ + 1, -device_}) dsTerminate(device);
  EXPECT_TRUE(silent(Heard(0, Run(150)))) << "a stale handle played the buffer now in its place";
  dsPlayLooping(buffer);
  for (int32_t handle : bad) dsStop(handle), dsFree(handle);
  EXPECT_TRUE(all_near(Next(150), 8000)) << "the buffer should loop on, from its copy";

  const int32_t old_device = device_;
  dsTerminate(old_device);
  Open();
  EXPECT_NE(device_, old_device) << "the old device handle must not open the new device";
  image = mono(square(7000, 100));
  EXPECT_EQ(dsCreateDSB(old_device, image.data(), image.size(), DS_LOAD_EFFECT), 0);
  const int32_t reopened = Load(image);
  dsPlay(buffer);
  dsPlayLooping(buffer);
  EXPECT_TRUE(silent(Heard(0, Run(100)))) << "a buffer of the old device played";
  EXPECT_EQ(Sounding(reopened, 200), square(7000, 100));
}

TEST_F(Sound, TheOutputRestsInSilenceAndWakesWholeForTheNextSound) {
  dsFree(awake_);
  const int32_t music = Load(mono(square(4000, 50)), DS_LOAD_MUSIC);
  const int32_t effect = Load(mono(square(7000, 100)));
  dsPlayLooping(music);
  std::this_thread::sleep_for(std::chrono::seconds(3));
  EXPECT_TRUE(all_near(Next(100), 4000)) << "music that plays on must keep its output";
  dsStop(music);
  ASSERT_TRUE(Rests()) << "a silent output should rest";
  const size_t rest = Written();
  dsPlay(effect);
  EXPECT_EQ(trimmed(Heard(rest, RunUntil(rest + ms(200)))), square(7000, 100));
}

TEST_F(Sound, ShortSoundsAFewTenthsApartKeepTheOutputAwake) {
  // Each sound is far shorter than the gaps between them, so an output that only looked now and
  // then for something sounding would mostly find silence and rest.
  dsFree(awake_);
  const int32_t tick = Load(mono(square(5000, 30)));
  using Clock = std::chrono::steady_clock;
  const auto until = Clock::now() + std::chrono::seconds(10);
  auto next = Clock::now();
  auto grew = Clock::now();
  size_t written = Written();
  while (Clock::now() < until) {
    if (Clock::now() >= next) {
      dsPlay(tick);
      next += std::chrono::milliseconds(300);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    // Opened again, the disk driver would have started its file anew.
    ASSERT_GE(Written(), written) << "the output was let go between two sounds";
    if (Written() > written) grew = Clock::now();
    ASSERT_LT(Clock::now() - grew, std::chrono::milliseconds(500)) << "the output rested";
    written = Written();
  }
}

// Standard error, caught in a pipe: the library says there what becomes of the output, from a
// thread of its own.
class StandardError {
 public:
  StandardError() {
    if (pipe2(pipe_, O_NONBLOCK) != 0) std::abort();
    saved_ = dup(2);
    dup2(pipe_[1], 2);
  }
  ~StandardError() {
    dup2(saved_, 2);
    for (int fd : {saved_, pipe_[0], pipe_[1]}) close(fd);
  }
  // The library's lines said so far that contain `text`.
  int Count(const std::string& text) {
    char block[4096];
    for (ssize_t n; (n = read(pipe_[0], block, sizeof block)) > 0;) said_.append(block, n);
    int count = 0;
    for (size_t at = 0; (at = said_.find(text, at)) != std::string::npos; at += text.size()) {
      count++;
    }
    return count;
  }
  bool Await(const std::string& text, int times = 1) {
    for (int i = 0; i < 1000 && Count(text) < times; i++) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return Count(text) >= times;
  }

 private:
  int pipe_[2] = {-1, -1};
  int saved_ = -1;
  std::string said_;
};

TEST_F(Sound, ALostOutputComesBackByItselfWithTheMusic) {
  // The disk driver gives its output up when a write fails, as a real one does when the sound
  // server goes away; writes fail while files may not grow, and the library's retries open a
  // file that dies at its first write until they may.
  StandardError said;
  const int32_t music = Load(mono(square(4000, 50)), DS_LOAD_MUSIC);
  dsPlayLooping(music);
  Run(100);
  const auto no_signal = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  getrlimit(RLIMIT_FSIZE, &limit);
  const rlim_t soft = limit.rlim_cur;
  limit.rlim_cur = 0;
  setrlimit(RLIMIT_FSIZE, &limit);
  EXPECT_TRUE(said.Await("output was lost")) << "the loss should be said";
  std::this_thread::sleep_for(std::chrono::seconds(1));
  limit.rlim_cur = soft;
  setrlimit(RLIMIT_FSIZE, &limit);
  EXPECT_TRUE(said.Await("output is back")) << "the output should have come back";
  std::signal(SIGXFSZ, no_signal);
  EXPECT_TRUE(all_near(Next(100), 4000)) << "the music should play on from the start";
  EXPECT_EQ(said.Count("zonbeli_sound:"), 2) << "one line for the loss and one for the return";
}

TEST(SoundDevice, AStalledOutputNeverHoldsUpTheGame) {
  // The disk driver rests six seconds between blocks, as a stopped server leaves its client
  // waiting; the library then takes the output as lost and closes it, which waits for the
  // driver's thread. None of the game's calls may wait with it.
  const std::string path = ::testing::TempDir() + "zonbeli_stalled_" + std::to_string(getpid());
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
  setenv("SDL_DISKAUDIODELAY", "6000", 1);
  StandardError said;
  using Clock = std::chrono::steady_clock;
  auto longest = Clock::duration::zero();
  auto timed = [&](auto call) {
    const auto start = Clock::now();
    call();
    longest = std::max(longest, Clock::now() - start);
  };
  const int32_t device = dsInitialize(0);
  ASSERT_NE(device, 0);
  const Bytes tone = mono(square(5000, 50));
  const int32_t buffer = dsCreateDSB(device, tone.data(), tone.size(), DS_LOAD_EFFECT);
  const int32_t music = dsCreateDSB(device, tone.data(), tone.size(), DS_LOAD_MUSIC);
  for (const auto until = Clock::now() + std::chrono::seconds(5); Clock::now() < until;) {
    timed([&] { dsPlay(buffer); });
    timed([&] { dsPlayLooping(music); });
    timed([&] { dsStop(music); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_GE(said.Count("output was lost"), 1) << "the stall should have been noticed";
  timed([&] { dsFree(buffer); });
  timed([&] { dsFree(music); });
  timed([&] { dsTerminate(device); });
  EXPECT_LT(longest, std::chrono::seconds(1));
  setenv("SDL_DISKAUDIODELAY", "5", 1);
  // A new device waits for the old one to be closed.
  const int32_t next = dsInitialize(0);
  EXPECT_NE(next, 0);
  dsTerminate(next);
  std::remove(path.c_str());
}

TEST(SoundDevice, AMissingOutputSaysOneLineAndSignalsAreLeftAlone) {
  // No such driver, and ALSA asked for a sound card that is not there, about which ALSA itself
  // would have a lot to say.
  setenv("AUDIODEV", "hw:99", 1);
  for (const char* driver : {"zonbeli_no_such_driver", "alsa"}) {
    setenv("SDL_AUDIODRIVER", driver, 1);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(dsInitialize(0), 0) << driver;
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_LE(std::count(said.begin(), said.end(), '\n'), 1) << said;
  }
  unsetenv("AUDIODEV");

  // SDL would otherwise take Ctrl+C and termination for itself, and the game would not end.
  auto handler = [](int signal) {
    struct sigaction action {};
    sigaction(signal, nullptr, &action);
    return action.sa_handler;
  };
  const auto interrupt = handler(SIGINT), terminate = handler(SIGTERM);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  const int32_t device = dsInitialize(0);
  EXPECT_NE(device, 0) << "a failed attempt must not spoil the next one";
  EXPECT_EQ(handler(SIGINT), interrupt);
  EXPECT_EQ(handler(SIGTERM), terminate);
  dsTerminate(device);
}

// Everything SDL and the mixer allocate goes through SDL's memory functions; these count what
// the calling thread holds, and the most it held since the count was reset.
namespace counted {

SDL_malloc_func real_malloc;
SDL_calloc_func real_calloc;
SDL_realloc_func real_realloc;
SDL_free_func real_free;
thread_local bool on = false;
thread_local long long held = 0, most = 0;

long long size_of(void* p) {
  return on && p != nullptr ? static_cast<long long>(malloc_usable_size(p)) : 0;
}

void* gained(void* p) {
  held += size_of(p);
  most = std::max(most, held);
  return p;
}

// SDL wants its memory functions replaced before it allocates anything, so this happens while
// the program loads.
const bool installed = [] {
  SDL_GetMemoryFunctions(&real_malloc, &real_calloc, &real_realloc, &real_free);
  return SDL_SetMemoryFunctions([](size_t n) { return gained(real_malloc(n)); },
                                [](size_t n, size_t size) { return gained(real_calloc(n, size)); },
                                [](void* old, size_t n) {
                                  held -= size_of(old);
                                  return gained(real_realloc(old, n));
                                },
                                [](void* p) {
                                  held -= size_of(p);
                                  real_free(p);
                                }) == 0;
}();

}  // namespace counted

// What `load` answers, with SDL's allocations counted from nothing while it runs.
template <typename Load>
int32_t counting(Load load) {
  counted::held = counted::most = 0;
  counted::on = true;
  const int32_t buffer = load();
  counted::on = false;
  return buffer;
}

TEST_F(Sound, ALoadHoldsLittleMoreThanTheFinishedSound) {
  ASSERT_TRUE(counted::installed);
  // Three seconds of each: a sound in the mixer's format is copied once; converting one also
  // holds the image as SDL decoded it while it works, a window of it, the resampler's weights and
  // the mixer's record of the sound, but no other copy of the whole.
  const long long finished = static_cast<long long>(2 * ms(3000));
  const std::tuple<const char*, Bytes, long long> loads[] = {
      {"16-bit mono at 44.1 kHz", mono(square(5000, 3000)), 4096},
      // Claiming more than it holds, it is not given room for what it claims.
      {"data size 3 GB", with(mono(square(5000, 3000)), 40, 0xC0000000u), 4096},
      {"16-bit stereo at 48 kHz", wav({.channels = 2, .rate = 48000}, noise(4 * 144000, 4)),
       4 * 144000 + 128 * 1024},
  };
  for (const auto& [name, image, working] : loads) {
    const int32_t buffer =
        counting([&] { return dsCreateDSB(device_, image.data(), image.size(), DS_LOAD_EFFECT); });
    ASSERT_NE(buffer, 0) << name;
    EXPECT_GE(counted::held, finished) << name;
    EXPECT_LE(counted::held, finished + 4096) << name << ": the samples fill their buffer exactly";
    EXPECT_LE(counted::most, finished + working) << name;
    dsFree(buffer);
  }
}

TEST_F(Sound, AnImageInAKnownFormatLoadsFromItsFirstWholeFrameAndIsNeverReadOutside) {
  const Bytes tone = pcm(square(3000, 20));
  const Bytes good = wav({}, tone);
  const auto length = static_cast<uint32_t>(good.size());
  constexpr size_t kRiffSize = 4, kFmtSize = 16, kDataSize = 40;
  Bytes extensible = fmt({.tag = 0xFFFE});
  // The extension's size, bits, speaker mask and sample type: PCM's GUID.
  put(extensible,
      {{22, 2}, {16, 2}, {4, 4}, {1, 4}, {0x00100000, 4}, {0xAA000080, 4}, {0x719B3800, 4}});
  Bytes short_fmt = fmt({});
  short_fmt.resize(14);
  const Bytes whole = riff(
      {{"LIST", Bytes(9, 'i')}, {"fmt ", fmt({.channels = 2})}, {"data", pcm(square(2000, 2))}});

  std::vector<std::pair<std::string, Bytes>> loadable = {
      {"16-bit mono", good},
      {"8-bit stereo at 11025 Hz", wav({.channels = 2, .rate = 11025, .bits = 8}, Bytes(400, 90))},
      {"data before fmt", riff({{"data", tone}, {"fmt ", fmt({})}})},
      {"odd-sized chunk with its pad byte",
       riff({{"LIST", Bytes(5, 'x')}, {"fmt ", fmt({})}, {"data", tone}})},
      {"extensible PCM", riff({{"fmt ", extensible}, {"data", tone}})},
      {"extensible 32-bit float",
       riff({{"fmt ", with(with(with(extensible, 24, 3), 14, 32, 2), 12, 4, 2)},
             {"data", Bytes(400, 0)}})},
      {"half a frame at the end", wav({}, Bytes(101, 7))},
      {"a chunk after the RIFF chunk's end",
       with(riff({{"fmt ", fmt({})}, {"data", tone}, {"LIST", Bytes(4, 'x')}}), kRiffSize,
            length - 8)},
      {"RIFF size a byte beyond the image", with(good, kRiffSize, length - 7)},
      {"RIFF size too small for WAVE", with(good, kRiffSize, 2)},
      {"data a byte longer than the image", with(good, kDataSize, length - 43)},
      {"data size 0xFFFFFFFF", with(good, kDataSize, 0xFFFFFFFFu)},
      {"three channels", wav({.channels = 3}, Bytes(600, 0))},
  };
  std::vector<std::pair<std::string, Bytes>> refused = {
      {"not RIFF", with(good, 0, 0x58464952)},
      {"not WAVE", with(good, 8, 0x20495641)},
      {"fmt size 0xFFFFFFFF", with(good, kFmtSize, 0xFFFFFFFFu)},
      {"fmt too short", riff({{"fmt ", short_fmt}, {"data", tone}})},
      {"no fmt", riff({{"data", tone}})},
      {"no data", riff({{"fmt ", fmt({})}})},
      {"empty data", wav({}, {})},
      {"ADPCM", wav({.tag = 2, .bits = 4}, Bytes(400, 0))},
      {"12-bit", wav({.bits = 12}, Bytes(400, 0))},
      {"16-bit float", wav({.tag = 3, .bits = 16}, Bytes(400, 0))},
      {"64-bit float", wav({.tag = 3, .bits = 64}, Bytes(800, 0))},
      {"zero channels", wav({.channels = 0}, tone)},
      {"rate 100 Hz", wav({.rate = 100}, tone)},
      {"rate 10 MHz", wav({.rate = 10000000}, tone)},
      {"ten minutes", wav({.rate = 4000, .bits = 8}, Bytes(4000 * 600, 128))},
      {"block align disagrees", riff({{"fmt ", with(fmt({}), 12, 4, 2)}, {"data", tone}})},
      {"noise for chunks", with(riff({{"none", noise(3000, 7)}}), 16, 0)},
  };
  // Cut anywhere, an image plays what it holds from its first whole frame on.
  const size_t first_frame = whole.size() - 2 * ms(2) + 4;
  for (size_t n = 0; n <= whole.size(); n++) {
    auto& list = n < first_frame ? refused : loadable;
    list.emplace_back("cut to " + std::to_string(n),
                      Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n)));
  }
  for (const auto& [name, image] : loadable) {
    const int32_t buffer = create_guarded(device_, image);
    EXPECT_NE(buffer, 0) << name << ": " << dsLoadError();
    dsFree(buffer);
  }
  for (const auto& [name, image] : refused) {
    EXPECT_EQ(create_guarded(device_, image), 0) << name;
    EXPECT_STRNE(dsLoadError(), "") << name << ": the installer must learn why";
  }
}

// A copy of `image` in a block from malloc, for the library to take.
void* block_of(const Bytes& image) {
  void* block = std::malloc(image.size());
  if (block == nullptr) std::abort();
  std::copy(image.begin(), image.end(), static_cast<uint8_t*>(block));
  return block;
}

// Bytes the C library's heap has handed out.
size_t heap_in_use() {
  const struct mallinfo2 heap = mallinfo2();
  return heap.uordblks + heap.hblkhd;
}

TEST_F(Sound, ATakenImageIsKeptWhereItLiesOrConvertedAndEveryOneIsGivenBack) {
  ASSERT_TRUE(counted::installed);
  const Samples samples = samples_of(noise(2 * ms(100), 7));
  const Bytes plain = mono(samples);
  const int32_t kept = counting(
      [&] { return dsCreateDSBTaking(device_, block_of(plain), plain.size(), DS_LOAD_EFFECT); });
  ASSERT_NE(kept, 0) << dsLoadError();
  EXPECT_LT(counted::most, 4096) << "a sound in the mixer's format is played where it lies";
  EXPECT_EQ(Sounding(kept, 300), samples);

  const Bytes eight = wav({.rate = 22050, .bits = 8}, Bytes(4410, 192));
  const int32_t mixed = dsCreateDSBTaking(device_, block_of(eight), eight.size(), DS_LOAD_EFFECT);
  ASSERT_NE(mixed, 0) << dsLoadError();
  const Samples heard = Sounding(mixed, 350);
  ASSERT_GE(heard.size(), ms(150));
  for (size_t i = ms(50); i < ms(150); i++) ASSERT_NEAR(heard[i], 16384, 200) << "frame " << i;

  // Whatever the answer, the image is given back, once: at once where nothing plays it, so the
  // heap is as it was (a sanitizer's allocator, which says nothing here, checks every free).
  const Bytes junk = noise(300, 3);
  // SDL's record of its last error is made the first time it has one.
  EXPECT_EQ(dsCreateDSBTaking(device_, block_of(junk), junk.size(), DS_LOAD_EFFECT), 0);
  const size_t before = heap_in_use();
  dsFree(dsCreateDSBTaking(device_, block_of(plain), plain.size(), DS_LOAD_EFFECT));
  dsFree(dsCreateDSBTaking(device_, block_of(eight), eight.size(), DS_LOAD_MUSIC));
  EXPECT_EQ(dsCreateDSBTaking(device_, block_of(junk), junk.size(), DS_LOAD_EFFECT), 0);
  EXPECT_STRNE(dsLoadError(), "");
  EXPECT_EQ(dsCreateDSBTaking(device_ + 1, block_of(plain), plain.size(), DS_LOAD_EFFECT), 0);
  EXPECT_EQ(heap_in_use(), before);
  // Freed while it may still be sounding, and the rest left to dsTerminate.
  dsPlay(kept);
  dsFree(kept);
  dsPlayLooping(mixed);
}

TEST_F(Sound, AFileTheWindowReadWholeIsHandedOverAndTheGameLetsGoOfItSafely) {
  zonbeli::SharedSoundLibrary binding;
  ASSERT_EQ(binding.dsInitialize(0), device_);
  const Samples samples = samples_of(noise(2 * ms(100), 9));
  const Bytes image = mono(samples);
  zonbeli::FileBytes file;
  file.allocate(image.size(), binding.FileMemory());
  std::copy(image.begin(), image.end(), file.data());
  const int32_t handed = counting(
      [&] { return binding.dsCreateDSB(device_, file.data(), file.size(), DS_LOAD_EFFECT); });
  ASSERT_NE(handed, 0);
  EXPECT_LT(counted::most, 4096) << "the file read whole should be kept, not copied";
  // The game lets go of its bytes once it has the buffer; they must still play.
  file.clear();
  EXPECT_EQ(Sounding(handed, 300), samples);
  binding.dsFree(handed);

  // Only the whole file is handed over: a part of it is copied, and the file stays the game's.
  zonbeli::FileBytes longer;
  longer.allocate(image.size() + 2, binding.FileMemory());
  std::copy(image.begin(), image.end(), longer.data());
  const int32_t copied = counting(
      [&] { return binding.dsCreateDSB(device_, longer.data(), image.size(), DS_LOAD_EFFECT); });
  ASSERT_NE(copied, 0);
  EXPECT_GE(counted::held, static_cast<long long>(2 * samples.size()));
  longer.clear();
  EXPECT_EQ(Sounding(copied, 300), samples);
  binding.dsFree(copied);
}

}  // namespace
