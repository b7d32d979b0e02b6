// SPDX-License-Identifier: MIT
// The ten sounds as they are shipped, heard side by side: the answers to the player's own keys
// equally loud, the rewards clearly above them, the refusal and the about bell no louder, the
// music well under them; none clipped, none starting or stopping with a click.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "form1.h"
#include "loudness.h"

namespace {

using zonbeli::Form1;
using zonbeli::loudness::dbfs;

struct Sound {
  std::vector<double> samples;
  int rate = 0;
};

// The files are the generator's: 16-bit mono PCM.
Sound load(const std::string& path) {
  SDL_AudioSpec audio;
  Uint8* data = nullptr;
  Uint32 bytes = 0;
  Sound sound;
  if (SDL_LoadWAV(path.c_str(), &audio, &data, &bytes) == nullptr) {
    ADD_FAILURE() << path << ": " << SDL_GetError();
    return sound;
  }
  if (audio.format == AUDIO_S16LSB && audio.channels == 1) {
    const auto* pcm = reinterpret_cast<const int16_t*>(data);
    sound.samples.assign(pcm, pcm + bytes / 2);
    for (double& x : sound.samples) x /= 32768.0;
    sound.rate = audio.freq;
  } else {
    ADD_FAILURE() << path << " is not 16-bit mono";
  }
  SDL_FreeWAV(data);
  return sound;
}

// A sound's figures: loudness (the loudest 100 ms for an effect, integrated for the music),
// peak, and the step it starts and ends on, all in dB. The music's end is heard only going
// round into its start again, so its step there is the one from its last sample to its first.
struct Figures {
  double loudness, peak, start, end;
  bool loops;
};

class SoundBalance : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::printf("%8s %10s %10s %10s  %s\n", "LUFS", "peak dBFS", "start dBFS", "end dBFS", "sound");
    for (const zonbeli::音定義& d : zonbeli::音_一覧) {
      const std::string name(d.name);
      Sound s = load(ZONBELI_SOURCE_DIR "/assets/sounds/" + name + ".wav");
      if (s.samples.size() < 2) continue;
      const bool music = d.slot == &Form1::音_BGM;
      double peak = 0;
      for (double x : s.samples) peak = std::max(peak, std::abs(x));
      Figures f{music ? zonbeli::loudness::integrated(s.samples, s.rate)
                      : zonbeli::loudness::loudest_100ms(s.samples, s.rate),
                dbfs(peak), dbfs(s.samples.front()),
                dbfs(s.samples.back() - (music ? s.samples.front() : 0.0)), music};
      std::printf("%8.1f %10.1f %10.1f %10.1f  %s\n", f.loudness, f.peak, f.start, f.end,
                  name.c_str());
      figures_[name] = f;
      if (music) music_ = s;
    }
  }
  static void TearDownTestSuite() { music_ = {}; }

  static const Figures& Of(std::int32_t Form1::*slot) { return figures_.at(Name(slot)); }
  static std::string Name(std::int32_t Form1::*slot) {
    for (const auto& d : zonbeli::音_一覧)
      if (d.slot == slot) return std::string(d.name);
    return "?";
  }

  static inline std::map<std::string, Figures> figures_;
  static inline Sound music_;
};

using Slots = std::vector<std::int32_t Form1::*>;
const Slots kActions = {&Form1::音_移動, &Form1::音_回転, &Form1::音_石着地};
const Slots kRewards = {&Form1::音_石消去, &Form1::音_爆出現, &Form1::音_星出現, &Form1::音_面終了};
const Slots kNoLouder = {&Form1::音_禁止, &Form1::音_その他};

TEST_F(SoundBalance, EachLevelSitsWhereItsPartInThePlayPutsIt) {
  ASSERT_EQ(figures_.size(), zonbeli::音_一覧.size());
  double softest = HUGE_VAL, loudest = -HUGE_VAL;
  for (auto slot : kActions) {
    softest = std::min(softest, Of(slot).loudness);
    loudest = std::max(loudest, Of(slot).loudness);
  }
  EXPECT_LE(loudest - softest, 1.0) << "the answers to the keys should sound alike in level";
  for (auto slot : kRewards) {
    EXPECT_GE(Of(slot).loudness, loudest + 2.0) << Name(slot) << " should stand out";
    EXPECT_LE(Of(slot).loudness, softest + 4.0) << Name(slot) << " should not startle";
  }
  for (auto slot : kNoLouder) EXPECT_LE(Of(slot).loudness, softest) << Name(slot);
  const double music = Of(&Form1::音_BGM).loudness;
  EXPECT_LE(music, softest - 6.0) << "the music should stay under the play";
  EXPECT_GE(music, loudest - 8.0) << "the music should still be heard";
}

TEST_F(SoundBalance, NoneClipsOrClicks) {
  for (const auto& [name, f] : figures_) {
    EXPECT_LT(f.peak, -0.1) << name << " reaches full scale";
    EXPECT_LE(f.start, -60.0) << name << " starts with a step";
    if (!f.loops) {
      EXPECT_LE(f.end, -60.0) << name << " ends with a step";
    }
  }
}

// Going round, the music bends from its last samples into its first no more sharply than it
// does anyway near there: a loop cut short or filtered from cold bends there tens of times
// more sharply than usual.
TEST_F(SoundBalance, MusicGoesRoundWithoutASeam) {
  const std::vector<double>& s = music_.samples;
  ASSERT_GT(s.size(), static_cast<size_t>(music_.rate));
  const size_t near = static_cast<size_t>(music_.rate) / 100;
  std::vector<double> round(s.end() - static_cast<std::ptrdiff_t>(near), s.end());
  round.insert(round.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(near));
  std::vector<double> bends;
  for (size_t i = 1; i + 1 < round.size(); i++)
    bends.push_back(std::abs(round[i + 1] - 2 * round[i] + round[i - 1]));
  // Bent around the last sample and around the first.
  const double seam = std::max(bends[near - 2], bends[near - 1]);
  std::nth_element(bends.begin(), bends.begin() + static_cast<std::ptrdiff_t>(near), bends.end());
  EXPECT_LE(seam, 4 * bends[near]) << "usually " << bends[near];
}

}  // namespace
