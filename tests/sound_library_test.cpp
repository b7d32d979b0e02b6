// The sound library, heard through SDL's "disk" audio driver: the mixer's output lands in a raw
// file in real time, and the tests read it back to see what was actually played.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "zonbeli_sound.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The library asks for 44.1 kHz 16-bit mono; the disk driver takes that as it is.
constexpr double kOutputRate = 44100.0;
constexpr size_t kFrameBytes = 2;
// The mixer hands the driver 1024 frames at a time, and the file is written through stdio, so a
// block mixed just before a call may still reach the file well after it.
constexpr size_t kLateBytes = 3 * 1024 * kFrameBytes;
// Conversion of 16-bit samples passes through float and may lose a step or two.
constexpr int kTolerance = 3;

void put16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(Bytes& b, uint32_t v) {
  put16(b, v & 0xFFFFu);
  put16(b, v >> 16);
}

void set32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++)
    b.at(at + static_cast<size_t>(i)) = static_cast<uint8_t>(v >> (8 * i));
}

void put_id(Bytes& b, std::string_view id) {
  b.insert(b.end(), id.begin(), id.end());
}

struct Chunk {
  std::string id;
  Bytes body;
};

// A RIFF/WAVE file with exactly these chunks and honest sizes.
Bytes riff(const std::vector<Chunk>& chunks) {
  Bytes b;
  put_id(b, "RIFF");
  put32(b, 0);
  put_id(b, "WAVE");
  for (const Chunk& c : chunks) {
    put_id(b, c.id);
    put32(b, static_cast<uint32_t>(c.body.size()));
    b.insert(b.end(), c.body.begin(), c.body.end());
    if (c.body.size() % 2 != 0) b.push_back(0);
  }
  set32(b, 4, static_cast<uint32_t>(b.size() - 8));
  return b;
}

struct Format {
  uint16_t tag = 1;
  uint16_t channels = 1;
  uint32_t rate = 44100;
  uint16_t bits = 16;
};

Bytes fmt_body(const Format& f) {
  Bytes b;
  uint32_t block = f.channels * (f.bits / 8u);
  put16(b, f.tag);
  put16(b, f.channels);
  put32(b, f.rate);
  put32(b, f.rate * block);
  put16(b, block);
  put16(b, f.bits);
  return b;
}

Bytes wav(const Format& f, const Bytes& data) {
  return riff({{"fmt ", fmt_body(f)}, {"data", data}});
}

Bytes pcm16(const std::vector<int16_t>& samples) {
  Bytes b;
  for (int16_t s : samples) put16(b, static_cast<uint16_t>(s));
  return b;
}

size_t frames_for_ms(double ms) {
  return static_cast<size_t>(kOutputRate * ms / 1000.0);
}

std::vector<int16_t> constant(int16_t value, double ms) {
  return std::vector<int16_t>(frames_for_ms(ms), value);
}

std::vector<int16_t> square(int16_t amplitude, double ms) {
  std::vector<int16_t> s(frames_for_ms(ms));
  for (size_t i = 0; i < s.size(); i++) {
    s[i] = (i / 20) % 2 == 0 ? amplitude : static_cast<int16_t>(-amplitude);
  }
  return s;
}

Bytes mono(const std::vector<int16_t>& samples) {
  return wav({}, pcm16(samples));
}

bool near(int sample, int expected) {
  return std::abs(sample - expected) <= kTolerance;
}

int peak(const std::vector<int16_t>& samples) {
  int p = 0;
  for (int16_t s : samples) p = std::max(p, std::abs(static_cast<int>(s)));
  return p;
}

size_t count_near(const std::vector<int16_t>& samples, int expected) {
  return static_cast<size_t>(
      std::count_if(samples.begin(), samples.end(), [&](int16_t s) { return near(s, expected); }));
}

Bytes random_bytes(size_t n, uint32_t seed) {
  std::mt19937 generator(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(generator());
  return b;
}

class SoundOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::filesystem::path(::testing::TempDir()) /
            ("zonbeli_sound_" + std::to_string(getpid()) + "_" + info->name() + ".raw");
    Open();
  }

  void TearDown() override {
    dsTerminate(device_);
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }

  void Open() {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path_.c_str(), 1);
    device_ = dsInitialize(0);
    ASSERT_NE(device_, 0) << "the disk audio driver should always open";
  }

  int32_t Load(const Bytes& image, int32_t flags = DS_LOAD_EFFECT) {
    int32_t buffer = dsCreateDSB(device_, image.data(), image.size(), flags);
    EXPECT_NE(buffer, 0);
    return buffer;
  }

  size_t Written() const {
    std::error_code ec;
    size_t n = static_cast<size_t>(std::filesystem::file_size(path_, ec));
    return ec ? 0 : n - n % kFrameBytes;
  }

  // Waits until the driver has written another `ms` of output; returns the bytes written then.
  size_t Run(double ms) {
    size_t target = Written() + frames_for_ms(ms) * kFrameBytes;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (Written() < target && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    size_t now = Written();
    EXPECT_GE(now, target) << "the disk driver stopped writing";
    return now;
  }

  // The output's samples between two byte offsets.
  std::vector<int16_t> Heard(size_t from, size_t to) const {
    std::vector<int16_t> samples;
    if (to <= from) return samples;
    std::ifstream in(path_, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(from));
    Bytes raw(to - from);
    in.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(raw.size()));
    raw.resize(static_cast<size_t>(in.gcount()));
    for (size_t i = 0; i + 1 < raw.size(); i += 2) {
      samples.push_back(static_cast<int16_t>(raw[i] | (raw[i + 1] << 8)));
    }
    return samples;
  }

  std::filesystem::path path_;
  int32_t device_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Playing

TEST_F(SoundOutput, OneShotIsSilentUntilPlayedThenPlaysExactlyOnce) {
  const auto tone = square(12000, 100);
  int32_t buffer = Load(mono(tone));
  size_t before = Run(60);
  EXPECT_EQ(peak(Heard(0, before)), 0) << "nothing may sound before dsPlay";

  dsPlay(buffer);
  auto after = Heard(before, Run(350));
  EXPECT_TRUE(near(peak(after), 12000));
  size_t loud = static_cast<size_t>(
      std::count_if(after.begin(), after.end(), [](int16_t s) { return s != 0; }));
  EXPECT_EQ(loud, tone.size()) << "each of its frames exactly once";
}

TEST_F(SoundOutput, LoopRepeatsWithoutAGapUntilStopped) {
  const auto tone = square(9000, 50);
  int32_t buffer = Load(mono(tone));
  size_t before = Written();
  dsPlayLooping(buffer);
  size_t looped = Run(400);
  auto heard = Heard(before, looped);
  auto first = std::find_if(heard.begin(), heard.end(), [](int16_t s) { return s != 0; });
  ASSERT_NE(first, heard.end()) << "the loop never started";
  size_t length = static_cast<size_t>(heard.end() - first);
  EXPECT_GT(length, 4 * tone.size()) << "should have gone round several times";
  size_t gaps = static_cast<size_t>(
      std::count_if(first, heard.end(), [](int16_t s) { return !near(std::abs(s), 9000); }));
  EXPECT_EQ(gaps, 0u) << "a square wave never passes through silence";

  dsStop(buffer);
  size_t stopped = Written();
  auto later = Heard(stopped + kLateBytes, Run(200));
  ASSERT_FALSE(later.empty());
  EXPECT_EQ(peak(later), 0) << "dsStop must silence the loop";
}

TEST_F(SoundOutput, ReplayingAnEffectRestartsItInsteadOfStacking) {
  const auto tone = constant(6000, 300);
  int32_t buffer = Load(mono(tone));
  dsPlay(buffer);
  Run(100);
  dsPlay(buffer);
  auto heard = Heard(0, Run(550));
  EXPECT_TRUE(near(peak(heard), 6000)) << "a replay must not add onto itself";
  size_t frames = count_near(heard, 6000);
  EXPECT_GT(frames, tone.size() + frames_for_ms(50)) << "the replay should start it again";
  EXPECT_LT(frames, 2 * tone.size());
}

TEST_F(SoundOutput, DifferentEffectsAndTheMusicSoundTogether) {
  int32_t music = Load(mono(constant(2000, 200)), DS_LOAD_MUSIC);
  int32_t low = Load(mono(constant(3000, 300)));
  int32_t high = Load(mono(constant(5000, 300)));
  dsPlayLooping(music);
  dsPlay(low);
  dsPlay(high);
  auto heard = Heard(0, Run(200));
  EXPECT_NEAR(peak(heard), 10000, 3 * kTolerance) << "all three should add up";
}

TEST_F(SoundOutput, NewMusicReplacesTheOldAndOnlyItsOwnStopEndsIt) {
  int32_t first = Load(mono(constant(4000, 100)), DS_LOAD_MUSIC);
  int32_t second = Load(mono(constant(1500, 100)), DS_LOAD_MUSIC);
  dsPlayLooping(first);
  Run(100);
  dsPlayLooping(second);
  size_t switched = Written();
  auto heard = Heard(switched + kLateBytes, Run(200));
  ASSERT_FALSE(heard.empty());
  EXPECT_EQ(count_near(heard, 1500), heard.size()) << "only the second piece should play";

  dsStop(first);
  size_t stopped_other = Written();
  heard = Heard(stopped_other + kLateBytes, Run(150));
  ASSERT_FALSE(heard.empty());
  EXPECT_EQ(count_near(heard, 1500), heard.size()) << "stopping silent music stops nothing";

  dsStop(second);
  size_t stopped = Written();
  heard = Heard(stopped + kLateBytes, Run(150));
  ASSERT_FALSE(heard.empty());
  EXPECT_EQ(peak(heard), 0);
}

TEST_F(SoundOutput, EightBitAndStereoImagesAreConverted) {
  // 8-bit samples are unsigned: 192 is half of full scale above the middle.
  int32_t eight = Load(wav({.rate = 22050, .bits = 8}, Bytes(4410, 192)));
  Bytes stereo_data;
  for (int i = 0; i < 8820; i++) {
    put16(stereo_data, 7000);
    put16(stereo_data, static_cast<uint16_t>(-3000));
  }
  int32_t stereo = Load(wav({.channels = 2}, stereo_data));

  size_t before = Written();
  dsPlay(eight);
  auto heard = Heard(before, Run(350));
  auto first = std::find_if(heard.begin(), heard.end(), [](int16_t s) { return s != 0; });
  ASSERT_NE(first, heard.end());
  size_t start = static_cast<size_t>(first - heard.begin());
  // Well inside the sound, past any ringing of the resampler at its edges.
  size_t middle = start + frames_for_ms(50);
  for (size_t i = middle; i < middle + frames_for_ms(50); i++) {
    ASSERT_NEAR(heard.at(i), 16384, 200) << "at sample " << i;
  }

  before = Written();
  dsPlay(stereo);
  heard = Heard(before, Run(350));
  first = std::find_if(heard.begin(), heard.end(), [](int16_t s) { return s != 0; });
  ASSERT_NE(first, heard.end());
  start = static_cast<size_t>(first - heard.begin());
  // The output is mono: each frame of a stereo image plays as the mean of its two sides, and
  // a side taken alone, or the sides taken for frames of their own, would show another value
  // or the wrong number of frames.
  ASSERT_LE(start + 8820, heard.size());
  for (size_t i = start; i < start + 8820; i++) {
    ASSERT_TRUE(near(heard[i], 2000)) << "frame " << i - start << " is " << heard[i];
  }
  EXPECT_EQ(count_near(heard, 0) + 8820, heard.size()) << "and nothing more was heard";
}

TEST_F(SoundOutput, ImagesInTheMixersOwnFormatPlayBitForBit) {
  // The game's own sounds are recorded in this format, and must reach the output exactly as
  // recorded, down to the extremes of the 16-bit range.
  std::mt19937 generator(5);
  std::vector<int16_t> samples(frames_for_ms(100));
  for (int16_t& s : samples) {
    int magnitude = 1 + static_cast<int>(generator() % 30000);
    s = static_cast<int16_t>(generator() % 2 == 0 ? magnitude : -magnitude);
  }
  samples.front() = 32767;
  samples.back() = -32768;
  int32_t buffer = Load(mono(samples));
  size_t before = Written();
  dsPlay(buffer);
  auto heard = Heard(before, Run(300));
  auto first = std::find_if(heard.begin(), heard.end(), [](int16_t s) { return s != 0; });
  ASSERT_GE(heard.end() - first, static_cast<std::ptrdiff_t>(samples.size()));
  EXPECT_TRUE(std::equal(samples.begin(), samples.end(), first));
  EXPECT_EQ(
      peak(std::vector<int16_t>(first + static_cast<std::ptrdiff_t>(samples.size()), heard.end())),
      0);
}

TEST_F(SoundOutput, LongImagesConvertWithoutASeam) {
  // A second at 48 kHz in stereo is converted in several pieces; a frame lost or repeated where
  // two pieces meet would shift the wave after it out of step with the ideal one.
  constexpr double kInputRate = 48000.0;
  constexpr double kHz = 220.0;
  auto wave_at = [&](double seconds) {
    return 8000.0 + 4000.0 * std::sin(2.0 * std::numbers::pi * kHz * seconds);
  };
  const size_t frames = static_cast<size_t>(kInputRate);
  Bytes data;
  for (size_t i = 0; i < frames; i++) {
    double t = static_cast<double>(i) / kInputRate;
    auto s = static_cast<uint16_t>(static_cast<int16_t>(std::lround(wave_at(t))));
    put16(data, s);
    put16(data, s);
  }
  int32_t buffer = Load(wav({.channels = 2, .rate = 48000}, data));
  size_t before = Written();
  dsPlay(buffer);
  auto heard = Heard(before, Run(1300));
  auto first = std::find_if(heard.begin(), heard.end(), [](int16_t s) { return s != 0; });
  ASSERT_NE(first, heard.end());
  std::vector<int16_t> sound(first, heard.end());
  while (!sound.empty() && sound.back() == 0) sound.pop_back();
  EXPECT_NEAR(static_cast<double>(sound.size()), kOutputRate, 2.0) << "one second long";
  // The resampler rings a little at the very ends, where the wave jumps from silence.
  const size_t edge = 64;
  int worst = 0;
  size_t worst_at = 0;
  for (size_t i = edge; i + edge < sound.size(); i++) {
    double t = static_cast<double>(i) / kOutputRate;
    int error = static_cast<int>(std::lround(std::abs(sound[i] - wave_at(t))));
    if (error > worst) {
      worst = error;
      worst_at = i;
    }
  }
  EXPECT_LE(worst, 8) << "at frame " << worst_at;
}

// ---------------------------------------------------------------------------------------------
// Handles

TEST_F(SoundOutput, ZeroUnknownAndFreedHandlesDoNothing) {
  const Bytes image = mono(square(8000, 100));
  int32_t freed = Load(image);
  dsFree(freed);
  int32_t reused = Load(image);
  EXPECT_NE(reused, freed) << "a new buffer must not take over an old handle";

  const int32_t bad[] = {0, -1, freed, 255, 12345, INT32_MAX, INT32_MIN};
  for (int32_t handle : bad) {
    dsPlay(handle);
    dsPlayLooping(handle);
    dsStop(handle);
    dsFree(handle);
  }
  dsFree(freed);
  dsPlay(freed);
  dsPlayLooping(freed);
  dsTerminate(0);
  dsTerminate(device_ + 1);
  dsTerminate(-device_);
  EXPECT_EQ(dsCreateDSB(0, image.data(), image.size(), DS_LOAD_EFFECT), 0);
  EXPECT_EQ(dsCreateDSB(device_ + 1, image.data(), image.size(), DS_LOAD_EFFECT), 0);
  EXPECT_EQ(dsCreateDSB(device_, nullptr, image.size(), DS_LOAD_EFFECT), 0);

  size_t before = Run(150);
  EXPECT_EQ(peak(Heard(0, before)), 0) << "a stale handle played the buffer now in its place";

  dsPlay(reused);
  EXPECT_TRUE(near(peak(Heard(before, Run(200))), 8000)) << "the device should still be open";
}

TEST_F(SoundOutput, BuffersOutliveTheCallersImageAndTheTableHasRoom) {
  auto image = std::make_unique<Bytes>(mono(square(10000, 100)));
  int32_t buffer = Load(*image);
  std::fill(image->begin(), image->end(), uint8_t{0x55});
  image.reset();

  std::vector<int32_t> more;
  const Bytes small = mono(square(100, 10));
  for (int i = 0; i < 20; i++) more.push_back(Load(small));
  std::vector<int32_t> sorted = more;
  sorted.push_back(buffer);
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << "handles repeat";
  for (int32_t b : more) dsFree(b);

  size_t before = Written();
  dsPlay(buffer);
  EXPECT_TRUE(near(peak(Heard(before, Run(200))), 10000));
}

TEST_F(SoundOutput, TerminateEndsEverythingAndTheLibraryOpensAgain) {
  const Bytes image = mono(square(7000, 100));
  int32_t old_buffer = Load(image);
  dsPlayLooping(old_buffer);
  Run(50);
  int32_t old_device = device_;
  dsTerminate(old_device);

  dsPlay(old_buffer);
  dsStop(old_buffer);
  dsFree(old_buffer);
  dsTerminate(old_device);
  EXPECT_EQ(dsCreateDSB(old_device, image.data(), image.size(), DS_LOAD_EFFECT), 0);

  Open();
  EXPECT_NE(device_, old_device) << "the old device handle must not open the new device";
  EXPECT_EQ(dsCreateDSB(old_device, image.data(), image.size(), DS_LOAD_EFFECT), 0);
  int32_t buffer = Load(image);
  dsPlay(old_buffer);
  dsPlayLooping(old_buffer);
  size_t before = Run(100);
  EXPECT_EQ(peak(Heard(0, before)), 0) << "a buffer of the old device played";
  dsPlay(buffer);
  EXPECT_TRUE(near(peak(Heard(before, Run(200))), 7000));
}

// ---------------------------------------------------------------------------------------------
// Opening the device

// Opens the library with the output that `driver` names and expects it to fail quietly.
void ExpectNoDevice(const char* driver, const char* device_name) {
  SCOPED_TRACE(driver);
  setenv("SDL_AUDIODRIVER", driver, 1);
  if (device_name != nullptr) setenv("AUDIODEV", device_name, 1);
  ::testing::internal::CaptureStderr();
  int32_t device = dsInitialize(0);
  std::string said = ::testing::internal::GetCapturedStderr();
  unsetenv("AUDIODEV");
  EXPECT_EQ(device, 0);
  EXPECT_LE(std::count(said.begin(), said.end(), '\n'), 1) << said;
  const Bytes image = mono(square(1000, 10));
  EXPECT_EQ(dsCreateDSB(0, image.data(), image.size(), DS_LOAD_EFFECT), 0);
  EXPECT_EQ(dsCreateDSB(1, image.data(), image.size(), DS_LOAD_EFFECT), 0);
  dsTerminate(0);
  dsTerminate(1);
}

TEST(SoundDevice, MissingOutputGivesNoDeviceAndAtMostOneLine) {
  ExpectNoDevice("zonbeli_no_such_driver", nullptr);
  // A sound card that is not there: ALSA itself would have a lot to say about it.
  ExpectNoDevice("alsa", "hw:99");

  setenv("SDL_AUDIODRIVER", "dummy", 1);
  int32_t device = dsInitialize(0);
  EXPECT_NE(device, 0) << "a failed attempt must not spoil the next one";
  dsTerminate(device);
}

TEST(SoundDevice, InterruptAndTerminateSignalsStillEndTheProgram) {
  struct sigaction interrupt_before {};
  struct sigaction terminate_before {};
  sigaction(SIGINT, nullptr, &interrupt_before);
  sigaction(SIGTERM, nullptr, &terminate_before);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  int32_t device = dsInitialize(0);
  ASSERT_NE(device, 0);
  struct sigaction interrupt_now {};
  struct sigaction terminate_now {};
  sigaction(SIGINT, nullptr, &interrupt_now);
  sigaction(SIGTERM, nullptr, &terminate_now);
  dsTerminate(device);
  EXPECT_EQ(interrupt_now.sa_handler, interrupt_before.sa_handler);
  EXPECT_EQ(terminate_now.sa_handler, terminate_before.sa_handler);
}

// ---------------------------------------------------------------------------------------------
// Memory

// Everything SDL and the mixer allocate goes through SDL's memory functions; these count what
// the calling thread holds, and the most it held since the count was reset.
namespace counted {

using Malloc = void* (*)(size_t);
using Calloc = void* (*)(size_t, size_t);
using Realloc = void* (*)(void*, size_t);
using Free = void (*)(void*);

Malloc real_malloc;
Calloc real_calloc;
Realloc real_realloc;
Free real_free;
thread_local bool counting = false;
thread_local long long held = 0;
thread_local long long most = 0;

void gained(void* p) {
  if (!counting || p == nullptr) return;
  held += static_cast<long long>(malloc_usable_size(p));
  most = std::max(most, held);
}

void lost(void* p) {
  if (counting && p != nullptr) held -= static_cast<long long>(malloc_usable_size(p));
}

void* do_malloc(size_t n) {
  void* p = real_malloc(n);
  gained(p);
  return p;
}

void* do_calloc(size_t n, size_t size) {
  void* p = real_calloc(n, size);
  gained(p);
  return p;
}

void* do_realloc(void* old, size_t n) {
  long long before =
      counting && old != nullptr ? static_cast<long long>(malloc_usable_size(old)) : 0;
  void* p = real_realloc(old, n);
  if (p != nullptr) {
    held -= before;
    gained(p);
  }
  return p;
}

void do_free(void* p) {
  lost(p);
  real_free(p);
}

template <typename Function>
Function symbol(const char* name) {
  void* address = dlsym(RTLD_DEFAULT, name);
  Function function = nullptr;
  static_assert(sizeof function == sizeof address);
  std::memcpy(&function, &address, sizeof function);
  return function;
}

// SDL wants its memory functions replaced before it allocates anything, so this happens while
// the program loads; the library brings SDL in, so its functions are found by name.
const bool installed = [] {
  auto get = symbol<void (*)(Malloc*, Calloc*, Realloc*, Free*)>("SDL_GetMemoryFunctions");
  auto set = symbol<int (*)(Malloc, Calloc, Realloc, Free)>("SDL_SetMemoryFunctions");
  if (get == nullptr || set == nullptr) return false;
  get(&real_malloc, &real_calloc, &real_realloc, &real_free);
  return set(do_malloc, do_calloc, do_realloc, do_free) == 0;
}();

struct Load {
  int32_t buffer;
  long long most;  // bytes held at the height of the load
  long long kept;  // bytes still held after it
};

Load load(int32_t device, const Bytes& image) {
  held = 0;
  most = 0;
  counting = true;
  int32_t buffer = dsCreateDSB(device, image.data(), image.size(), DS_LOAD_EFFECT);
  counting = false;
  return {buffer, most, held};
}

}  // namespace counted

class LoadMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(counted::installed) << "SDL's memory functions were not found";
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    device_ = dsInitialize(0);
    ASSERT_NE(device_, 0);
  }
  void TearDown() override { dsTerminate(device_); }

  int32_t device_ = 0;
};

// Besides the samples themselves a load may hold a window of the image, the resampler's weights
// and the mixer's own record of the sound: a hundred kilobytes or so, however long the sound.
constexpr long long kWorkingBytes = 128 * 1024;

TEST_F(LoadMemory, ASoundInTheMixersFormatIsCopiedOnce) {
  const auto samples = square(5000, 10000);
  const long long pcm = static_cast<long long>(2 * samples.size());
  auto [buffer, most, kept] = counted::load(device_, mono(samples));
  ASSERT_NE(buffer, 0);
  EXPECT_GE(kept, pcm);
  EXPECT_LE(most, pcm + 4096) << "nothing beyond the samples and the mixer's small record";
}

TEST_F(LoadMemory, ConvertingNeedsLittleBeyondTheFinishedSound) {
  // Ten seconds of 8-bit stereo at 22.05 kHz and of 16-bit stereo at 48 kHz: every conversion
  // at once, rate, sample size and channels, and upwards and downwards in rate.
  const long long pcm = static_cast<long long>(2 * frames_for_ms(10000));
  const std::pair<const char*, Bytes> images[] = {
      {"8-bit stereo at 22.05 kHz",
       wav({.channels = 2, .rate = 22050, .bits = 8}, random_bytes(2 * 220500, 3))},
      {"16-bit stereo at 48 kHz", wav({.channels = 2, .rate = 48000}, random_bytes(4 * 480000, 4))},
  };
  for (const auto& [name, image] : images) {
    auto [buffer, most, kept] = counted::load(device_, image);
    ASSERT_NE(buffer, 0) << name;
    EXPECT_GE(kept, pcm) << name;
    EXPECT_LE(kept, pcm + 4096) << name << ": the samples fill their buffer exactly";
    EXPECT_LE(most, pcm + kWorkingBytes) << name;
    dsFree(buffer);
  }
}

// ---------------------------------------------------------------------------------------------
// Damaged images

// Holds a copy of an image so that its last byte is the last readable byte before an
// inaccessible page: reading past the end faults even without a sanitizer.
class Guarded {
 public:
  explicit Guarded(const Bytes& image) {
    page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    pages_ = (image.size() + page_ - 1) / page_ + 1;
    void* map =
        mmap(nullptr, pages_ * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) throw std::runtime_error("mmap");
    base_ = static_cast<uint8_t*>(map);
    mprotect(base_ + (pages_ - 1) * page_, page_, PROT_NONE);
    data_ = base_ + (pages_ - 1) * page_ - image.size();
    if (!image.empty()) std::memcpy(data_, image.data(), image.size());
    size_ = image.size();
  }
  Guarded(const Guarded&) = delete;
  Guarded& operator=(const Guarded&) = delete;
  ~Guarded() { munmap(base_, pages_ * page_); }
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  size_t page_ = 0;
  size_t pages_ = 0;
  uint8_t* base_ = nullptr;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

class ImageCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    device_ = dsInitialize(0);
    ASSERT_NE(device_, 0);
  }
  void TearDown() override { dsTerminate(device_); }

  int32_t Create(const Bytes& image, int32_t flags = DS_LOAD_EFFECT) {
    Guarded copy(image);
    return dsCreateDSB(device_, copy.data(), copy.size(), flags);
  }

  int32_t device_ = 0;
};

Bytes with32(Bytes b, size_t at, uint32_t v) {
  set32(b, at, v);
  return b;
}

// Offsets in the canonical 44-byte header built by wav().
constexpr size_t kRiffSize = 4;
constexpr size_t kFmtSize = 16;
constexpr size_t kDataSize = 40;

TEST_F(ImageCheck, WellFormedImagesLoad) {
  const Bytes tone = pcm16(square(3000, 20));
  Bytes extensible = fmt_body({.tag = 0xFFFE});
  put16(extensible, 22);
  put16(extensible, 16);
  put32(extensible, 0x4);
  put32(extensible, 1);
  const Bytes pcm_guid_tail = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                               0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  extensible.insert(extensible.end(), pcm_guid_tail.begin(), pcm_guid_tail.end());
  Bytes with_trailing_junk = mono(square(3000, 20));
  with_trailing_junk.insert(with_trailing_junk.end(), {1, 2, 3});

  const std::vector<std::pair<std::string, Bytes>> good = {
      {"16-bit mono", mono(square(3000, 20))},
      {"8-bit stereo at 11025 Hz", wav({.channels = 2, .rate = 11025, .bits = 8}, Bytes(400, 90))},
      {"16-bit stereo at 48000 Hz", wav({.channels = 2, .rate = 48000}, tone)},
      {"data before fmt", riff({{"data", tone}, {"fmt ", fmt_body({})}})},
      {"odd-sized chunk with its pad byte",
       riff({{"LIST", Bytes(5, 'x')}, {"fmt ", fmt_body({})}, {"data", tone}})},
      {"extensible PCM", riff({{"fmt ", extensible}, {"data", tone}})},
      {"half a frame at the end", wav({}, Bytes(101, 7))},
      {"bytes after the RIFF chunk", with_trailing_junk},
  };
  for (const auto& [name, image] : good) {
    int32_t buffer = Create(image);
    EXPECT_NE(buffer, 0) << name;
    dsFree(buffer);
  }
  EXPECT_NE(Create(mono(square(3000, 20)), DS_LOAD_MUSIC), 0);
}

TEST_F(ImageCheck, DamagedImagesAreRefusedWithoutReadingOutside) {
  const Bytes tone = pcm16(square(3000, 20));
  const Bytes good = wav({}, tone);
  Bytes extensible_float = fmt_body({.tag = 0xFFFE, .bits = 32});
  put16(extensible_float, 22);
  put16(extensible_float, 32);
  put32(extensible_float, 0x4);
  put32(extensible_float, 3);
  extensible_float.resize(40, 0);
  Bytes short_fmt = fmt_body({});
  short_fmt.resize(14);
  Bytes header_only(good.begin(), good.begin() + 12);
  Bytes lying_block = fmt_body({});
  lying_block[12] = 4;
  Bytes riff_with_garbage = Bytes(good.begin(), good.begin() + 12);
  Bytes garbage = random_bytes(3000, 7);
  riff_with_garbage.insert(riff_with_garbage.end(), garbage.begin(), garbage.end());
  set32(riff_with_garbage, kRiffSize, static_cast<uint32_t>(riff_with_garbage.size() - 8));

  const std::vector<std::pair<std::string, Bytes>> bad = {
      {"empty", {}},
      {"a few bytes", {'R', 'I', 'F'}},
      {"RIFF header only", header_only},
      {"not RIFF", with32(good, 0, 0x58464952)},
      {"not WAVE", with32(good, 8, 0x20495641)},
      {"RIFF size beyond the image", with32(good, kRiffSize, static_cast<uint32_t>(good.size()))},
      {"RIFF size 0xFFFFFFFF", with32(good, kRiffSize, 0xFFFFFFFFu)},
      {"RIFF size too small for WAVE", with32(good, kRiffSize, 2)},
      {"data longer than the image",
       with32(good, kDataSize, static_cast<uint32_t>(tone.size() + 100))},
      {"data and RIFF longer than the image",
       with32(with32(good, kDataSize, static_cast<uint32_t>(tone.size() + 100)), kRiffSize,
              static_cast<uint32_t>(good.size() + 92))},
      {"data size 0xFFFFFFFF", with32(good, kDataSize, 0xFFFFFFFFu)},
      {"huge fmt size", with32(good, kFmtSize, 0x7FFFFFF0u)},
      {"fmt size 0xFFFFFFFF", with32(good, kFmtSize, 0xFFFFFFFFu)},
      {"fmt too short", riff({{"fmt ", short_fmt}, {"data", tone}})},
      {"no fmt", riff({{"data", tone}})},
      {"no data", riff({{"fmt ", fmt_body({})}})},
      {"empty data", wav({}, {})},
      {"IEEE float", wav({.tag = 3, .bits = 32}, Bytes(400, 0))},
      {"ADPCM", wav({.tag = 2, .bits = 4}, Bytes(400, 0))},
      {"mu-law", wav({.tag = 7, .bits = 8}, Bytes(400, 0))},
      {"extensible float", riff({{"fmt ", extensible_float}, {"data", Bytes(400, 0)}})},
      {"zero channels", wav({.channels = 0}, tone)},
      {"three channels", wav({.channels = 3}, Bytes(600, 0))},
      {"zero rate", wav({.rate = 0}, tone)},
      {"rate 100 Hz", wav({.rate = 100}, tone)},
      {"rate 10 MHz", wav({.rate = 10000000}, tone)},
      {"24-bit", wav({.bits = 24}, Bytes(600, 0))},
      {"zero bits", wav({.bits = 0}, tone)},
      {"block align disagrees", riff({{"fmt ", lying_block}, {"data", tone}})},
      {"random bytes", random_bytes(1000, 1)},
      {"one random byte", random_bytes(1, 2)},
      {"random chunks after RIFF/WAVE", riff_with_garbage},
  };
  for (const auto& [name, image] : bad) {
    EXPECT_EQ(Create(image), 0) << name;
    EXPECT_EQ(Create(image, DS_LOAD_MUSIC), 0) << name;
  }
  EXPECT_EQ(dsCreateDSB(device_, nullptr, 0, DS_LOAD_EFFECT), 0);
}

TEST_F(ImageCheck, EveryTruncationOfAnImageIsRefused) {
  const Bytes good = riff({{"LIST", Bytes(9, 'i')},
                           {"fmt ", fmt_body({.channels = 2})},
                           {"data", pcm16(square(2000, 2))}});
  int32_t whole = Create(good);
  ASSERT_NE(whole, 0);
  dsFree(whole);
  for (size_t n = 0; n < good.size(); n++) {
    EXPECT_EQ(Create(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n))), 0)
        << "cut to " << n << " of " << good.size() << " bytes";
  }
}

}  // namespace
