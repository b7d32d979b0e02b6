// SPDX-License-Identifier: MIT
// Synthesises the ten sounds of Zonbeli as 16-bit mono WAV files, each at its loudness in the
// game's balance:
//
//   make_sounds <output folder>
//
// Nothing is sampled: every sound is built from oscillators, filtered noise, struck modes and
// plucked strings, driven by fixed seeds, so each run writes the same bytes.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "form1.h"
#include "loudness.h"

namespace {

constexpr double kTau = 2.0 * std::numbers::pi;
constexpr int kEffectRate = 44100;
// The game plays everything at 44.1 kHz; music at that rate loads without being resampled.
constexpr int kMusicRate = 44100;
// The music is voiced as at 22.05 kHz: its strings lose their treble twice as fast on each pass as
// the game-over phrase's, a mellow accompaniment that stays behind the effects, and its noises
// are levelled for the band that rate holds. Rendered at kMusicRate, it keeps that colour.
constexpr int kMusicVoice = 22050;

using Signal = std::vector<double>;

// xorshift64*: tiny, and the same sequence on every machine.
class Noise {
 public:
  explicit Noise(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull | 1u) {}
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  double symmetric() { return 2.0 * uniform() - 1.0; }
  double between(double low, double high) { return low + (high - low) * uniform(); }

 private:
  uint64_t next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545F4914F6CDD1Dull;
  }
  uint64_t state_;
};

// White noise spreads its power evenly up to half the rate, so a band of it is weaker the higher
// the rate; this gain keeps a filtered noise at the level it has at `voice_rate`.
double noise_gain(int rate, int voice_rate) {
  return std::sqrt(static_cast<double>(rate) / voice_rate);
}

size_t samples_for(double seconds, int rate) {
  return static_cast<size_t>(std::lround(std::max(0.0, seconds) * rate));
}

double seconds_at(size_t index, int rate) {
  return static_cast<double>(index) / rate;
}

double fraction_of(size_t part, size_t whole) {
  return static_cast<double>(part) / static_cast<double>(whole);
}

double midi_to_hz(double note) {
  return 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
}

// Second-order filters from the usual audio-EQ cookbook formulas.
class Biquad {
 public:
  static Biquad lowpass(int rate, double freq, double q) {
    auto [w, alpha] = prewarp(rate, freq, q);
    double c = std::cos(w);
    return Biquad((1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alpha, -2 * c, 1 - alpha);
  }
  static Biquad highpass(int rate, double freq, double q) {
    auto [w, alpha] = prewarp(rate, freq, q);
    double c = std::cos(w);
    return Biquad((1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + alpha, -2 * c, 1 - alpha);
  }
  // Unity gain at the centre.
  static Biquad bandpass(int rate, double freq, double q) {
    auto [w, alpha] = prewarp(rate, freq, q);
    return Biquad(alpha, 0, -alpha, 1 + alpha, -2 * std::cos(w), 1 - alpha);
  }

  double operator()(double x) {
    double y = b0_ * x + z1_;
    z1_ = b1_ * x - a1_ * y + z2_;
    z2_ = b2_ * x - a2_ * y;
    return y;
  }

 private:
  struct Warp {
    double w;
    double alpha;
  };
  static Warp prewarp(int rate, double freq, double q) {
    double w = kTau * std::min(freq, 0.45 * rate) / rate;
    return {w, std::sin(w) / (2 * q)};
  }
  Biquad(double b0, double b1, double b2, double a0, double a1, double a2)
      : b0_(b0 / a0), b1_(b1 / a0), b2_(b2 / a0), a1_(a1 / a0), a2_(a2 / a0) {}

  double b0_, b1_, b2_, a1_, a2_;
  double z1_ = 0, z2_ = 0;
};

// Runs a filter round a looping signal twice, keeping the second pass: the filter then starts
// from the state the loop's end leaves it in, and the seam stays continuous.
template <typename Filter>
void filter_loop(Signal& s, Filter f) {
  for (double x : s) f(x);
  for (double& x : s) x = f(x);
}

// Short raised-cosine ramps at both ends, so that no sound starts or stops with a step.
void fade(Signal& s, int rate, double in_seconds, double out_seconds) {
  size_t in = std::min(s.size(), samples_for(in_seconds, rate));
  size_t out = std::min(s.size(), samples_for(out_seconds, rate));
  for (size_t i = 0; i < in; i++) {
    s[i] *= 0.5 - 0.5 * std::cos(std::numbers::pi * fraction_of(i, in));
  }
  for (size_t i = 0; i < out; i++) {
    s[s.size() - 1 - i] *= 0.5 - 0.5 * std::cos(std::numbers::pi * fraction_of(i, out));
  }
}

double peak_of(const Signal& s) {
  double p = 0;
  for (double x : s) p = std::max(p, std::abs(x));
  return p;
}

void remove_dc(Signal& s) {
  double mean = 0;
  for (double x : s) mean += x;
  mean /= static_cast<double>(std::max<size_t>(1, s.size()));
  for (double& x : s) x -= mean;
}

void mix_into(Signal& out, const Signal& in, size_t start, double gain) {
  for (size_t i = 0; i < in.size() && start + i < out.size(); i++) out[start + i] += gain * in[i];
}

// For the music: what runs past the end comes back in at the start, so that a note still
// ringing at the loop point goes on ringing after the jump.
void mix_into_loop(Signal& loop, const Signal& in, size_t start, double gain) {
  for (size_t i = 0; i < in.size(); i++) loop[(start + i) % loop.size()] += gain * in[i];
}

// One mode of a struck body: a sine dying away exponentially. It starts at phase zero, so the
// strike adds no step; a short attack also rounds off the kink, which bells want and wood
// does not.
void add_mode(Signal& out, int rate, double start, double freq, double amp, double decay,
              double attack = 0) {
  size_t first = samples_for(start, rate);
  size_t length = samples_for(decay * 9.5, rate);
  for (size_t i = 0; i < length && first + i < out.size(); i++) {
    double t = seconds_at(i, rate);
    double rise = attack > 0 ? 1.0 - std::exp(-t / attack) : 1.0;
    out[first + i] += amp * rise * std::exp(-t / decay) * std::sin(kTau * freq * t);
  }
}

// A memoryless soft knee: untouched below `knee`, then bending smoothly towards `ceiling`.
// It only catches the sharpest plucks, and being memoryless it keeps a loop seamless.
void soft_limit(Signal& s, double knee, double ceiling) {
  for (double& x : s) {
    double a = std::abs(x);
    if (a > knee)
      x = std::copysign(knee + (ceiling - knee) * std::tanh((a - knee) / (ceiling - knee)), x);
  }
}

double rms_of(const Signal& s) {
  double sum = 0;
  for (double x : s) sum += x * x;
  return std::sqrt(sum / static_cast<double>(std::max<size_t>(1, s.size())));
}

// A plucked string after Karplus and Strong: a delay line one period long, fed back through a
// two-point lowpass that takes a little treble on every pass, so the tone darkens as it dies.
// An allpass in the loop supplies the fractional part of the period, keeping high notes in
// tune; plucking near the bridge is a comb on the initial noise, which gives the koto its
// nasal edge.
//
// The string's colour is set by the rate it is voiced at: both the treble taken per pass and the
// brightness of the initial noise are per-sample quantities. Computed at a higher rate, the
// string keeps that colour: the noise is smoothed with the same time constant, and the loop takes
// a three-point lowpass matched to the two-point one below the voicing's Nyquist frequency and
// steeper above it, so nothing rings on up there.
Signal pluck(int rate, double freq, double ring, double velocity, Noise& noise, int voice_rate) {
  const double period = rate / freq;
  const double smoothing = 0.32 - 0.12 * velocity;
  const double loop_gain = std::pow(10.0, -3.0 / (ring * freq));
  const bool voiced_lower = rate != voice_rate;
  const double over = static_cast<double>(rate) / voice_rate;
  // The outer weights of the three-point lowpass, which delays by one whole sample.
  const double side = smoothing * (1 - smoothing) * over * over / 2;
  if (voiced_lower && (over < 1 || side > 0.5))
    throw std::runtime_error("string voiced out of range");
  const double lag = voiced_lower ? 1.0 : smoothing;
  const size_t line = static_cast<size_t>(std::floor(period - lag - 0.1));
  const double fraction = period - lag - static_cast<double>(line);
  const double allpass = (1 - fraction) / (1 + fraction);

  Signal delay(line);
  double bright = 0.35 + 0.6 * velocity;
  if (voiced_lower) bright = 1 - std::pow(1 - bright, 1 / over);
  double smooth = 0;
  for (double& x : delay) {
    smooth += bright * (noise.symmetric() - smooth);
    x = smooth;
  }
  if (voiced_lower) {
    // The first pass reaches the output unfiltered; it too keeps within the voicing's band.
    Biquad first = Biquad::lowpass(rate, 0.45 * voice_rate, 0.54);
    Biquad second = Biquad::lowpass(rate, 0.45 * voice_rate, 1.31);
    for (double& x : delay) x = second(first(x));
  }
  size_t pick =
      std::max<size_t>(1, static_cast<size_t>(std::lround(0.13 * static_cast<double>(line))));
  Signal excitation = delay;
  for (size_t i = pick; i < line; i++) excitation[i] -= delay[i - pick];
  remove_dc(excitation);
  double p = peak_of(excitation);
  for (double& x : excitation) x /= p;
  delay = excitation;

  Signal out(samples_for(ring * 1.15, rate));
  double previous = 0, before_previous = 0, allpass_in = 0, allpass_out = 0;
  size_t at = 0;
  for (double& y : out) {
    double x = delay[at];
    y = x;
    double lowpassed = voiced_lower
                           ? loop_gain * (side * (x + before_previous) + (1 - 2 * side) * previous)
                           : loop_gain * ((1 - smoothing) * x + smoothing * previous);
    before_previous = previous;
    previous = x;
    allpass_out = allpass * lowpassed + allpass_in - allpass * allpass_out;
    allpass_in = lowpassed;
    delay[at] = allpass_out;
    at = at + 1 == line ? 0 : at + 1;
  }
  fade(out, rate, 0.0, 0.08);
  return out;
}

// A koto string: the plucked string, the click of the ivory pick, and a little of the hollow
// body's low resonance.
Signal koto(int rate, double freq, double velocity, Noise& noise, int voice_rate) {
  double ring = std::clamp(3.0 - 0.9 * std::log2(freq / 220.0), 1.3, 3.4);
  Signal s = pluck(rate, freq, ring, velocity, noise, voice_rate);
  Biquad body = Biquad::bandpass(rate, 330, 1.4);
  Biquad low_cut = Biquad::highpass(rate, 55, 0.7);
  for (double& x : s) x = low_cut(x + 0.35 * body(x));
  Biquad click_filter = Biquad::highpass(rate, 2500, 0.7);
  // Voiced at a lower rate, the click has no treble beyond that rate's band.
  Biquad click_top = Biquad::lowpass(rate, 0.45 * voice_rate, 0.7);
  const double click_gain = 0.12 * velocity * noise_gain(rate, voice_rate);
  size_t click = samples_for(0.004, rate);
  for (size_t i = 0; i < click && i < s.size(); i++) {
    double env = 1.0 - fraction_of(i, click);
    double hit = click_filter(noise.symmetric());
    if (rate != voice_rate) hit = click_top(hit);
    s[i] += click_gain * env * env * hit;
  }
  for (double& x : s) x *= velocity;
  return s;
}

// A breathy end-blown flute in the shakuhachi manner: the note is approached from a little
// below, swells, and takes on vibrato only once it has settled; breath noise rides along.
Signal shakuhachi(int rate, double freq, double seconds, Noise& noise) {
  Signal s(samples_for(seconds, rate));
  Biquad breath = Biquad::bandpass(rate, freq * 2.0, 1.5);
  Biquad breath_low = Biquad::lowpass(rate, 3000, 0.7);
  double phase = 0;
  for (size_t i = 0; i < s.size(); i++) {
    double t = seconds_at(i, rate);
    double scoop = 1.0 - 0.03 * std::exp(-t / 0.09);
    double settled = std::clamp((t - 0.35 * seconds) / (0.3 * seconds), 0.0, 1.0);
    double vibrato = 1.0 + 0.006 * settled * std::sin(kTau * 5.2 * t);
    phase += kTau * freq * scoop * vibrato / rate;
    double tone = std::sin(phase) + 0.22 * std::sin(2 * phase) + 0.07 * std::sin(3 * phase);
    double air = breath_low(breath(noise_gain(rate, kMusicVoice) * noise.symmetric()));
    double swell = std::sin(std::numbers::pi * std::min(1.0, t / seconds));
    double attack_chiff = std::exp(-t / 0.06);
    s[i] = std::pow(swell, 0.7) * (tone + 0.9 * air) + 0.5 * attack_chiff * air;
  }
  fade(s, rate, 0.03, 0.25);
  return s;
}

// A soft low drum: a falling sine for the head and a puff of filtered noise for the hit.
Signal taiko(int rate, double velocity, Noise& noise) {
  Signal s(samples_for(0.6, rate));
  Biquad skin = Biquad::lowpass(rate, 500, 0.8);
  double phase = 0;
  for (size_t i = 0; i < s.size(); i++) {
    double t = seconds_at(i, rate);
    double freq = 58 + 40 * std::exp(-t / 0.05);
    phase += kTau * freq / rate;
    s[i] = std::exp(-t / 0.18) * std::sin(phase) +
           0.35 * std::exp(-t / 0.02) * skin(noise_gain(rate, kMusicVoice) * noise.symmetric());
    s[i] *= velocity;
  }
  fade(s, rate, 0.001, 0.05);
  return s;
}

// --------------------------------------------------------------------------------------------
// The nine effects, at 44.1 kHz.

// 回転: a quick blip sliding up by a little more than an octave.
Signal turn_sound() {
  const int rate = kEffectRate;
  Signal s(samples_for(0.09, rate));
  double phase = 0;
  for (size_t i = 0; i < s.size(); i++) {
    double t = seconds_at(i, rate);
    double freq = 620 * std::pow(2.4, std::min(t / 0.065, 1.0));
    phase += kTau * freq / rate;
    double tone = std::sin(phase) + 0.35 * std::sin(2 * phase) + 0.12 * std::sin(3 * phase);
    s[i] = tone * std::exp(-std::max(0.0, t - 0.03) / 0.03);
  }
  fade(s, rate, 0.002, 0.015);
  return s;
}

// 禁止: "bu-bu", two short low buzzes, the second a little lower, as games say "no".
Signal refuse_sound() {
  const int rate = kEffectRate;
  Signal s(samples_for(0.23, rate));
  const double starts[] = {0.0, 0.12};
  const double pitches[] = {110, 98};
  for (int b = 0; b < 2; b++) {
    Signal buzz(samples_for(0.095, rate));
    double phase = 0;
    for (size_t i = 0; i < buzz.size(); i++) {
      double t = seconds_at(i, rate);
      phase += kTau * pitches[b] * (1.0 - 0.04 * t / 0.095) / rate;
      double saw = 0;
      for (int k = 1; k <= 14; k++) saw += std::sin(k * phase) / k;
      buzz[i] = saw + 0.8 * std::sin(0.5 * phase) * std::exp(-t / 0.04);
    }
    Biquad dull = Biquad::lowpass(rate, 800, 0.7);
    for (double& x : buzz) x = dull(x);
    // The low half-tone leans to one side; centred before the fades, each buzz starts and ends
    // on silence.
    remove_dc(buzz);
    fade(buzz, rate, 0.004, 0.02);
    mix_into(s, buzz, samples_for(starts[b], rate), 1.0);
  }
  return s;
}

// 移動: a light tick of a small wooden block.
Signal move_sound() {
  const int rate = kEffectRate;
  Signal s(samples_for(0.06, rate));
  add_mode(s, rate, 0, 1250, 1.0, 0.008);
  add_mode(s, rate, 0, 2150, 0.55, 0.005);
  add_mode(s, rate, 0, 3400, 0.25, 0.003);
  Noise noise(3);
  Biquad soft = Biquad::lowpass(rate, 4000, 0.7);
  size_t hit = samples_for(0.0015, rate);
  for (size_t i = 0; i < hit; i++) {
    s[i] += 0.4 * (1.0 - fraction_of(i, hit)) * soft(noise.symmetric());
  }
  fade(s, rate, 0.0005, 0.02);
  return s;
}

// その他: a small bell arpeggio on D, G, A and D above, the open fourths of the yo scale.
Signal about_sound() {
  const int rate = kEffectRate;
  Signal s(samples_for(1.4, rate));
  const double notes[] = {74, 79, 81, 86};
  for (int n = 0; n < 4; n++) {
    double start = 0.1 * n;
    double f = midi_to_hz(notes[n]);
    double sustain = n == 3 ? 1.0 : 0.7;
    add_mode(s, rate, start, f, 1.0, 0.28 * sustain, 0.0008);
    add_mode(s, rate, start, 2.0 * f, 0.3, 0.12 * sustain, 0.0008);
    add_mode(s, rate, start, 3.0 * f, 0.12, 0.07 * sustain, 0.0008);
    add_mode(s, rate, start, 4.16 * f, 0.06, 0.035, 0.0008);
  }
  fade(s, rate, 0.001, 0.3);
  return s;
}

// 爆出現: the fizz and crackle of a lit fuse over a low, throbbing rumble that swells and fades.
Signal bomb_sound() {
  const int rate = kEffectRate;
  const double length = 1.1;
  Signal s(samples_for(length, rate));
  Noise noise(5);
  Biquad hiss_low = Biquad::highpass(rate, 3000, 0.7);
  Biquad hiss_high = Biquad::lowpass(rate, 9000, 0.7);
  Biquad flicker = Biquad::lowpass(rate, 25, 0.7);
  Biquad spark_filter = Biquad::highpass(rate, 1800, 0.7);
  Biquad rumble_filter = Biquad::lowpass(rate, 110, 1.2);
  double brown = 0;
  size_t spark_left = 0;
  double spark_level = 0;
  for (size_t i = 0; i < s.size(); i++) {
    double t = seconds_at(i, rate);
    double hiss = hiss_high(hiss_low(noise.symmetric()));
    double wobble = 0.65 + 3.0 * flicker(noise.symmetric());
    if (spark_left == 0 && noise.uniform() < 45.0 / rate) {
      spark_left = samples_for(noise.between(0.001, 0.004), rate);
      spark_level = noise.between(0.8, 1.8);
    }
    double spark = 0;
    if (spark_left > 0) {
      spark = spark_level * spark_filter(noise.symmetric());
      spark_left--;
    }
    double fuse = 0.35 * (std::clamp(wobble, 0.2, 1.2) * hiss + 0.5 * spark);

    brown = 0.995 * brown + 0.05 * noise.symmetric();
    double throb = std::sin(kTau * 49 * t) + std::sin(kTau * 52 * t);
    double rumble = std::tanh(1.6 * (rumble_filter(brown) * 3.0 + 0.45 * throb));
    double swell = std::clamp(t / 0.35, 0.0, 1.0);
    swell *= swell * (3 - 2 * swell);
    double release = std::clamp((length - t) / 0.35, 0.0, 1.0);
    s[i] = fuse + 0.8 * rumble * swell * release;
  }
  fade(s, rate, 0.02, 0.2);
  return s;
}

// 星出現: a bright run up the scale, two octaves in under half a second, each note a small
// bell, with a few glints sparkling above the top.
Signal star_sound() {
  const int rate = kEffectRate;
  Signal s(samples_for(0.85, rate));
  const double notes[] = {79, 81, 84, 86, 88, 91, 93, 96, 98, 100, 103};
  const int count = static_cast<int>(std::size(notes));
  for (int n = 0; n < count; n++) {
    double start = 0.032 * n;
    double f = midi_to_hz(notes[n]);
    bool last = n == count - 1;
    double decay = last ? 0.22 : 0.12;
    double amp = 0.6 + 0.4 * n / (count - 1);
    add_mode(s, rate, start, f, amp, decay, 0.0005);
    add_mode(s, rate, start, 2.0 * f, 0.25 * amp, decay * 0.4, 0.0005);
  }
  Noise noise(7);
  for (int g = 0; g < 12; g++) {
    add_mode(s, rate, noise.between(0.2, 0.65), noise.between(6000, 9000),
             noise.between(0.08, 0.18), 0.02, 0.0005);
  }
  for (size_t i = 0; i < s.size(); i++) {
    double t = seconds_at(i, rate);
    double twinkle = std::clamp((t - 0.3) / 0.1, 0.0, 1.0);
    s[i] *= 1.0 - 0.4 * twinkle * (0.5 + 0.5 * std::sin(kTau * 17 * t));
  }
  fade(s, rate, 0.001, 0.15);
  return s;
}

// 石消去: stones shattering: a bright crack with a soft thump under it, then a shower of small
// glassy fragments that thins out.
Signal erase_sound() {
  const int rate = kEffectRate;
  Signal s(samples_for(0.75, rate));
  Noise noise(11);
  Biquad burst_filter = Biquad::bandpass(rate, 4000, 0.6);
  Biquad crack_filter = Biquad::highpass(rate, 6000, 0.7);
  double phase = 0;
  for (size_t i = 0; i < samples_for(0.3, rate); i++) {
    double t = seconds_at(i, rate);
    double burst = 0.9 * std::exp(-t / 0.025) * burst_filter(noise.symmetric());
    double crack = 0.5 * std::exp(-t / 0.008) * crack_filter(noise.symmetric());
    phase += kTau * (70 + 110 * std::exp(-t / 0.02)) / rate;
    double thump = 0.5 * std::exp(-t / 0.05) * std::sin(phase);
    s[i] += burst + crack + thump;
  }
  for (int f = 0; f < 45; f++) {
    double u = noise.uniform();
    double start = 0.005 + 0.45 * u * u;
    double freq = 2500 * std::pow(2.8, noise.uniform());
    double amp = 0.35 * (1.0 - start / 0.6) * noise.between(0.5, 1.0);
    double decay = noise.between(0.02, 0.07);
    add_mode(s, rate, start, freq, amp, decay, 0.0003);
    // The inharmonic partner makes a fragment sound like glass; above 16 kHz it would only hiss.
    if (2.76 * freq < 16000) add_mode(s, rate, start, 2.76 * freq, 0.3 * amp, 0.5 * decay, 0.0003);
  }
  fade(s, rate, 0.0008, 0.12);
  return s;
}

// 石着地: a shogi piece set down on a thick wooden board: the sharp click of the piece, and the
// board's hollow knock ringing a little under it.
Signal land_sound() {
  const int rate = kEffectRate;
  Signal s(samples_for(0.22, rate));
  Noise noise(13);
  Biquad click_filter = Biquad::highpass(rate, 1500, 0.7);
  size_t click = samples_for(0.0012, rate);
  for (size_t i = 0; i < click; i++) {
    s[i] += 0.8 * (1.0 - fraction_of(i, click)) * click_filter(noise.symmetric());
  }
  const double piece[][3] = {
      {2250, 0.55, 0.012}, {3350, 0.4, 0.008}, {4800, 0.25, 0.005}, {6900, 0.15, 0.003}};
  for (const auto& m : piece) add_mode(s, rate, 0, m[0], m[1], m[2]);
  const double board[][3] = {{190, 0.6, 0.07},
                             {420, 0.5, 0.05},
                             {760, 0.45, 0.035},
                             {1180, 0.35, 0.025},
                             {1600, 0.25, 0.018}};
  for (const auto& m : board) add_mode(s, rate, 0.0004, m[0], m[1], m[2]);
  fade(s, rate, 0.0003, 0.03);
  return s;
}

// 面終了: a koto falling slowly through the in scale, C B A F E, the last note over its low
// octave, ringing out.
Signal game_over_sound() {
  const int rate = kEffectRate;
  Signal s(samples_for(1.5, rate));
  Noise noise(17);
  const double notes[] = {72, 71, 69, 65, 64};
  const double starts[] = {0.0, 0.2, 0.42, 0.68, 0.98};
  for (int n = 0; n < 5; n++) {
    mix_into(s, koto(rate, midi_to_hz(notes[n]), 0.85 - 0.08 * n, noise, rate),
             samples_for(starts[n], rate), 1.0);
  }
  mix_into(s, koto(rate, midi_to_hz(52), 0.5, noise, rate), samples_for(0.98, rate), 0.7);
  // A string starts on its full pluck; a breath of a fade keeps the first one from clicking.
  fade(s, rate, 0.002, 0.3);
  return s;
}

// --------------------------------------------------------------------------------------------
// The music: sixteen bars of 4/4 at 100 beats a minute in the in scale on E (E F A B C), a koto
// melody over a koto accompaniment, a soft drone on E and B, a shakuhachi in the second half
// and a quiet drum at each bar. 38.4 seconds, looping.

constexpr int kBars = 16;
constexpr double kBeatSeconds = 0.6;
// 0.6 s is a whole number of samples, so every beat falls on one.
constexpr size_t kBeatSamples = kMusicRate * 3 / 5;
static_assert(kBeatSamples * 5 == kMusicRate * 3);

struct Note {
  double beat;
  double beats;
  int midi;  // 0 is a rest
};

int parse_pitch(std::string_view name) {
  if (name == "r") return 0;
  static constexpr int kSemitone[] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
  if (name.size() < 2 || name[0] < 'A' || name[0] > 'G') throw std::runtime_error("bad note");
  int pitch = kSemitone[name[0] - 'A'];
  size_t at = 1;
  if (name[at] == '#' || name[at] == 'b') {
    pitch += name[at] == '#' ? 1 : -1;
    at++;
  }
  if (at >= name.size()) throw std::runtime_error("note without octave");
  return pitch + 12 * (std::stoi(std::string(name.substr(at))) + 1);
}

// "E5:1.5 F5:.5 ..." in beats; every bar must add up to four.
std::vector<Note> parse_melody(const std::vector<std::string>& bars) {
  std::vector<Note> notes;
  double beat = 0;
  for (size_t b = 0; b < bars.size(); b++) {
    std::istringstream in(bars[b]);
    std::string token;
    double bar_start = beat;
    while (in >> token) {
      size_t colon = token.find(':');
      double length = std::stod(token.substr(colon + 1));
      int pitch = parse_pitch(std::string_view(token).substr(0, colon));
      if (pitch != 0) notes.push_back({beat, length, pitch});
      beat += length;
    }
    if (std::abs(beat - bar_start - 4.0) > 1e-9) {
      throw std::runtime_error("bar " + std::to_string(b + 1) + " is not four beats long");
    }
  }
  return notes;
}

const std::vector<std::string> kMelody = {
    // A: the theme, settling on E.
    "E5:1.5 F5:.5 E5:1 C5:1",
    "B4:1 C5:.5 B4:.5 A4:2",
    "F4:1 A4:1 B4:1 C5:.5 B4:.5",
    "A4:.5 F4:.5 E4:3",
    // A': the theme again, climbing higher and left open on B.
    "E5:1.5 F5:.5 A5:1 F5:1",
    "E5:1 C5:.5 E5:.5 B4:2",
    "C5:1 B4:.5 A4:.5 F4:1 A4:1",
    "B4:3 r:1",
    // B: the upper register.
    "A5:2 B5:.5 A5:.5 F5:1",
    "E5:1 F5:.5 E5:.5 C5:2",
    "B4:.5 C5:.5 E5:1 F5:1 E5:1",
    "C5:1 B4:1 A4:2",
    // B': the peak, then down to E, with B and C leading back to the top.
    "A5:1.5 B5:.5 C6:1 B5:1",
    "A5:1 F5:1 E5:1 C5:1",
    "B4:1 C5:.5 B4:.5 A4:1 F4:1",
    "E4:2 r:1 B4:.5 C5:.5",
};

// Each bar's bass string and its companion a fifth or so above, as the koto player would
// choose them from the open strings.
struct Harmony {
  int root;
  int other;
};
constexpr Harmony kE{40, 47}, kA{45, 52}, kF{41, 48}, kC{48, 52};
const Harmony kHarmony[kBars] = {kE, kA, kF, kE, kE, kC, kF, kA, kF, kC, kA, kA, kA, kC, kF, kE};

// Frequencies of the sustained voices are rounded to a whole number of cycles per loop, so
// their waves meet themselves at the seam. The change is far below a cent.
double loop_tuned(double freq, double loop_seconds) {
  return std::round(freq * loop_seconds) / loop_seconds;
}

Signal music() {
  const int rate = kMusicRate;
  const size_t length = kBeatSamples * 4 * kBars;
  const double loop_seconds = seconds_at(length, rate);
  Signal loop(length);
  Noise noise(19);
  auto place = [&](double beat) {
    double jitter = noise.between(-0.004, 0.004);
    return static_cast<size_t>(std::lround(beat * kBeatSamples + jitter * rate + length)) % length;
  };

  for (const Note& n : parse_melody(kMelody)) {
    double velocity = noise.between(0.72, 0.86) + (std::fmod(n.beat, 1.0) == 0 ? 0.06 : 0.0);
    mix_into_loop(loop, koto(rate, midi_to_hz(n.midi), velocity, noise, kMusicVoice), place(n.beat),
                  1.0);
  }

  // A quick sweep up the koto's strings leads into the upper register at bar nine.
  const int sweep[] = {64, 65, 69, 71, 72, 76, 77};
  for (int i = 0; i < 7; i++) {
    double beat = 32.0 - (7 - i) * 0.05 / kBeatSeconds;
    mix_into_loop(loop, koto(rate, midi_to_hz(sweep[i]), 0.45 + 0.04 * i, noise, kMusicVoice),
                  place(beat), 0.8);
  }

  const struct {
    double beat;
    int offset_octave;
    bool root;
    double velocity;
  } pattern[] = {{0, 0, true, 0.55},   {0, 1, true, 0.4},   {1, 0, false, 0.38},
                 {1.5, 1, true, 0.32}, {2, 1, false, 0.36}, {3, 0, false, 0.33},
                 {3.5, 1, true, 0.3}};
  for (int bar = 0; bar < kBars; bar++) {
    for (const auto& p : pattern) {
      int midi = (p.root ? kHarmony[bar].root : kHarmony[bar].other) + 12 * p.offset_octave;
      double velocity = p.velocity * noise.between(0.9, 1.05);
      mix_into_loop(loop, koto(rate, midi_to_hz(midi), velocity, noise, kMusicVoice),
                    place(bar * 4 + p.beat), 0.75);
    }
  }

  const struct {
    double beat;
    double beats;
    int midi;
  } flute[] = {{32, 8, 69}, {40, 8, 64}, {48, 8, 69}, {56, 7.5, 64}};
  for (const auto& f : flute) {
    Signal tone = shakuhachi(rate, midi_to_hz(f.midi), f.beats * kBeatSeconds, noise);
    mix_into_loop(loop, tone, place(f.beat), 0.22);
  }

  for (int bar = 0; bar < kBars; bar++) {
    mix_into_loop(loop, taiko(rate, 0.5, noise), place(bar * 4), 0.6);
    if (bar >= 8) mix_into_loop(loop, taiko(rate, 0.3, noise), place(bar * 4 + 2), 0.6);
  }

  // The drone: E2, B2 and E3, each as two slightly apart sines beating slowly, breathing in
  // and out four times a loop, with a little air around them.
  Signal drone(length);
  const double voices[][2] = {{40, 0.5}, {47, 0.33}, {52, 0.18}};
  for (size_t i = 0; i < length; i++) {
    double t = seconds_at(i, rate);
    double breathe = 0.75 + 0.25 * std::sin(kTau * 4 * t / loop_seconds);
    double sum = 0;
    for (const auto& v : voices) {
      double f = loop_tuned(midi_to_hz(v[0]), loop_seconds);
      double beat = 3.0 / loop_seconds;
      sum += v[1] * (std::sin(kTau * f * t) + std::sin(kTau * (f + beat) * t));
    }
    drone[i] = 0.5 * breathe * sum + 0.05 * noise_gain(rate, kMusicVoice) * noise.symmetric();
  }
  filter_loop(drone, Biquad::lowpass(rate, 700, 0.7));
  for (size_t i = 0; i < length; i++) loop[i] += 0.16 * drone[i];

  // Plucked strings are all attack: the rare sharpest one is bent to at most 17 dB above the
  // average, so that no single pluck decides how loud the music may be. Its level is set with
  // the other sounds'.
  double gain = std::pow(10.0, -21.0 / 20.0) / rms_of(loop);
  for (double& x : loop) x *= gain;
  soft_limit(loop, 0.4, std::pow(10.0, -4.0 / 20.0));

  // Switched on, the music plays from its first sample. It begins a little before the first
  // downbeat, on the quietest sample there, so it comes in without a click and cuts no note;
  // turned round as a whole, the loop keeps its seam.
  size_t start = length - samples_for(0.025, rate);
  for (size_t i = start; i < length - samples_for(0.005, rate); i++)
    if (std::abs(loop[i]) < std::abs(loop[start])) start = i;
  std::rotate(loop.begin(), loop.begin() + static_cast<std::ptrdiff_t>(start), loop.end());
  return loop;
}

// --------------------------------------------------------------------------------------------

void write_wav(const std::filesystem::path& path, int rate, const Signal& s) {
  std::vector<uint8_t> bytes;
  auto put16 = [&](uint32_t v) {
    bytes.push_back(static_cast<uint8_t>(v));
    bytes.push_back(static_cast<uint8_t>(v >> 8));
  };
  auto put32 = [&](uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  auto put_id = [&](std::string_view id) {
    for (char c : id) bytes.push_back(static_cast<uint8_t>(c));
  };
  const uint32_t data_bytes = static_cast<uint32_t>(s.size() * 2);
  bytes.reserve(44 + data_bytes);
  put_id("RIFF");
  put32(36 + data_bytes);
  put_id("WAVE");
  put_id("fmt ");
  put32(16);
  put16(1);
  put16(1);
  put32(static_cast<uint32_t>(rate));
  put32(static_cast<uint32_t>(rate) * 2);
  put16(2);
  put16(16);
  put_id("data");
  put32(data_bytes);
  for (double x : s) {
    long v = std::lround(std::clamp(x, -1.0, 1.0) * 32767.0);
    put16(static_cast<uint32_t>(static_cast<uint16_t>(static_cast<int16_t>(v))));
  }
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

// --------------------------------------------------------------------------------------------
// The balance. Every sound is set by its loudness, not its peak: the loudest 100 ms for an
// effect, the whole for the music. The answers to the player's own keys (移動, 回転, 石着地) are
// equally loud; the rewards and the game's end stand out above them; the refusal and the about
// bell are no louder; the music lies well below. Levels are in LU against the answers to the
// keys.
constexpr double kActionLoudness = -16.0;  // LUFS, where the peaks allow it
constexpr double kAction = 0.0;
constexpr double kReward = 3.0;
constexpr double kAside = -1.0;
constexpr double kMusic = -7.0;
// No sound may peak above this; when one would, all are lowered together, keeping the balance.
constexpr double kCeiling = -1.0;  // dBFS

struct Voice {
  std::int32_t zonbeli::Form1::*slot;
  Signal (*make)();
  double place;
};

struct Made {
  const zonbeli::音定義* sound;
  Signal signal;
  int rate;
  double loudness;  // LUFS as made
  double gain_db;   // what brings it to its place
  double peak_db;   // dBFS as made

  double headroom() const { return kCeiling - (peak_db + gain_db); }
};

Made level(const zonbeli::音定義& sound, const Voice& voice) {
  Made m{&sound, voice.make(), sound.flags == 1 ? kMusicRate : kEffectRate, 0, 0, 0};
  m.loudness = sound.flags == 1 ? zonbeli::loudness::integrated(m.signal, m.rate)
                                : zonbeli::loudness::loudest_100ms(m.signal, m.rate);
  m.gain_db = kActionLoudness + voice.place - m.loudness;
  m.peak_db = zonbeli::loudness::dbfs(peak_of(m.signal));
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  try {
    const std::filesystem::path folder(argv[1]);
    std::filesystem::create_directories(folder);
    // The game's table names the files; each slot has its voice and its place in the balance.
    const Voice voices[] = {
        {&zonbeli::Form1::音_回転, turn_sound, kAction},
        {&zonbeli::Form1::音_禁止, refuse_sound, kAside},
        {&zonbeli::Form1::音_移動, move_sound, kAction},
        {&zonbeli::Form1::音_その他, about_sound, kAside},
        {&zonbeli::Form1::音_爆出現, bomb_sound, kReward},
        {&zonbeli::Form1::音_星出現, star_sound, kReward},
        {&zonbeli::Form1::音_石消去, erase_sound, kReward},
        {&zonbeli::Form1::音_石着地, land_sound, kAction},
        {&zonbeli::Form1::音_面終了, game_over_sound, kReward},
        {&zonbeli::Form1::音_BGM, music, kMusic},
    };
    std::vector<Made> made;
    for (const zonbeli::音定義& sound : zonbeli::音_一覧) {
      const auto voice = std::find_if(std::begin(voices), std::end(voices),
                                      [&](const Voice& v) { return v.slot == sound.slot; });
      if (voice == std::end(voices))
        throw std::runtime_error("no voice for " + std::string(sound.name));
      made.push_back(level(sound, *voice));
    }
    // The loudest a sound may peak sets how loud they can all be.
    const auto tightest =
        std::min_element(made.begin(), made.end(),
                         [](const Made& a, const Made& b) { return a.headroom() < b.headroom(); });
    if (tightest->headroom() < 0) {
      const double lower = -tightest->headroom();
      std::printf("all %.1f dB under the aim, for %s to peak under %.0f dBFS\n", lower,
                  std::string(tightest->sound->name).c_str(), kCeiling);
      for (Made& m : made) m.gain_db -= lower;
    }
    for (Made& m : made) {
      const double gain = std::pow(10.0, m.gain_db / 20.0);
      for (double& x : m.signal) x *= gain;
      std::filesystem::path path = folder / (std::string(m.sound->name) + ".wav");
      write_wav(path, m.rate, m.signal);
      std::printf("%s  %.3f s  %.1f LUFS  peak %.1f dBFS\n", path.string().c_str(),
                  seconds_at(m.signal.size(), m.rate), m.loudness + m.gain_db,
                  zonbeli::loudness::dbfs(peak_of(m.signal)));
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_sounds: %s\n", e.what());
    return 1;
  }
  return 0;
}
