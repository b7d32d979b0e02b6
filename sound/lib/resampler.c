// SPDX-License-Identifier: MIT
/* Bringing a WAV image's samples to the mixer's format: decoding any sample type, mixing the
 * channels down to mono and resampling to the mixer's rate. */
#include <SDL_endian.h>
#include <SDL_stdinc.h>
#include <string.h>

#include "sound_internal.h"

/* Resampling is band-limited interpolation: every output sample is a weighted sum of the input
 * samples around its moment, the weights following a sinc cut off just below the lower of the
 * two Nyquist frequencies and tapered by a Kaiser window over SINC_ZERO_CROSSINGS of its lobes
 * on either side. Images and aliases stay some 90 dB down, but for a band from about 0.85 to 1.1
 * times that Nyquist frequency where the filter rolls off. */
enum {
  SINC_ZERO_CROSSINGS = 16,
  SINC_STEPS = 512, /* table entries per lobe; weights between them are interpolated */
  SINC_TABLE_SIZE = SINC_ZERO_CROSSINGS * SINC_STEPS + 2,
  /* Output moments fall on as many distinct fractions of an input frame as the output rate
   * divided by the greatest common divisor of the two rates: 2 from 22050 Hz, 147 from 48 kHz,
   * but all 44100 from an odd rate such as 191999 Hz. The weights of each fraction are worked
   * out once, before converting, into a table of at most this many; when the fractions need
   * more, the table holds evenly spaced fractions instead and each moment takes the nearest.
   * The table is kept small enough to stay in a core's cache (half a megabyte), where a larger
   * one made the conversion two and a half times slower. Taking the nearest fraction moves a
   * moment by at most half a step, 1/1768 of an input frame from 192 kHz, which shifts a tone
   * at the top of the passband by a phase some 68 dB below its level, and a tone an octave
   * lower 6 dB further down. */
  MAX_PHASE_WEIGHTS = 1 << 17,
};
#define SINC_ROLLOFF 0.96
#define KAISER_BETA 8.0

/* Images are converted this many input frames at a time, decoded into a small window, so that
 * the only large buffer a load needs is the finished sound. The fuzzer builds with a tiny value
 * so that its short images still cross from one window to the next. */
#ifndef ZONBELI_SOUND_PIECE_FRAMES
#define ZONBELI_SOUND_PIECE_FRAMES 8192
#endif

static float sinc_table[SINC_TABLE_SIZE];
static int sinc_table_ready;

static double bessel_i0(double x) {
  double sum = 1.0;
  double term = 1.0;
  for (int k = 1; k < 100 && term > sum * 1e-15; k++) {
    double half = x / (2.0 * k);
    term *= half * half;
    sum += term;
  }
  return sum;
}

/* sinc(u) tapered by the window, for u from 0 to SINC_ZERO_CROSSINGS in steps of 1/SINC_STEPS. */
static void fill_sinc_table(void) {
  if (sinc_table_ready) return;
  const double pi = 3.14159265358979323846;
  double window_peak = bessel_i0(KAISER_BETA);
  for (int i = 0; i < SINC_TABLE_SIZE; i++) {
    double u = (double)i / SINC_STEPS;
    double r = u / SINC_ZERO_CROSSINGS;
    if (r >= 1.0) {
      sinc_table[i] = 0.0f;
      continue;
    }
    double sinc = i == 0 ? 1.0 : SDL_sin(pi * u) / (pi * u);
    sinc_table[i] = (float)(sinc * bessel_i0(KAISER_BETA * SDL_sqrt(1.0 - r * r)) / window_peak);
  }
  sinc_table_ready = 1;
}

typedef struct {
  int taps;    /* input frames weighed for one output frame, a multiple of 4 */
  float scale; /* table steps per input frame */
} Filter;

/* The weights of the `taps` input frames around a moment `fraction` of a frame past the middle
 * one, scaled to add up to exactly 1 so that a steady level stays exactly steady. */
static void fill_weights(const Filter* filter, double fraction, float* weights) {
  float table_end = (float)(SINC_ZERO_CROSSINGS * SINC_STEPS);
  float sum = 0.0f;
  for (int j = 0; j < filter->taps; j++) {
    double distance = (double)(filter->taps / 2 - 1 - j) + fraction;
    float u = (float)(distance < 0.0 ? -distance : distance) * filter->scale;
    float w = 0.0f;
    if (u < table_end) {
      int at = (int)u;
      w = sinc_table[at] + (u - (float)at) * (sinc_table[at + 1] - sinc_table[at]);
    }
    weights[j] = w;
    sum += w;
  }
  for (int j = 0; j < filter->taps; j++) weights[j] /= sum;
}

/* Four running sums, since one would wait on each addition before the next. */
static float weigh(const float* x, const float* weights, int taps) {
  float a = 0.0f, b = 0.0f, c = 0.0f, d = 0.0f;
  for (int j = 0; j < taps; j += 4) {
    a += x[j] * weights[j];
    b += x[j + 1] * weights[j + 1];
    c += x[j + 2] * weights[j + 2];
    d += x[j + 3] * weights[j + 3];
  }
  return (a + b) + (c + d);
}

/* Float samples run from -1 to 1; beyond that they would only clip, and a NaN or an infinity
 * would spread through every weighted sum it enters. */
static float from_float(double x) {
  if (x != x) return 0.0f;
  if (x > 1.0) x = 1.0;
  if (x < -1.0) x = -1.0;
  return (float)(x * 32768.0);
}

/* One sample on the 16-bit scale. Inlined with a constant type, it leaves no test behind. */
static inline float sample_at(SampleType type, const Uint8* p) {
  switch (type) {
    case SAMPLE_U8:
      return (float)((p[0] - 128) * 256);
    case SAMPLE_S16:
      return (float)(Sint16)read_le16(p);
    case SAMPLE_S32:
      return (float)(Sint32)read_le32(p) / 65536.0f;
    case SAMPLE_F32: {
      Uint32 bits = read_le32(p);
      float x;
      memcpy(&x, &bits, sizeof x);
      return from_float(x);
    }
  }
  return 0.0f;
}

/* Every channel weighs the same in the mix-down. */
static inline void decode_as(SampleType type, const WaveImage* wave, Sint64 first, int count,
                             float* out) {
  const unsigned bytes = wave->frame_bytes / wave->channels;
  const float share = 1.0f / (float)wave->channels;
  for (int i = 0; i < count; i++) {
    Sint64 frame = first + i;
    if (frame < 0 || (Uint64)frame >= wave->frames) {
      out[i] = 0.0f;
      continue;
    }
    const Uint8* p = wave->data + (Uint64)frame * wave->frame_bytes;
    float sum = 0.0f;
    for (unsigned c = 0; c < wave->channels; c++, p += bytes) sum += sample_at(type, p);
    out[i] = wave->channels == 1 ? sum : sum * share;
  }
}

/* Frames [first, first + count) of the image as mono samples on the 16-bit scale; frames
 * before its start or past its end are silence. */
static void decode(const WaveImage* wave, Sint64 first, int count, float* out) {
  switch (wave->type) {
    case SAMPLE_U8:
      decode_as(SAMPLE_U8, wave, first, count, out);
      break;
    case SAMPLE_S16:
      decode_as(SAMPLE_S16, wave, first, count, out);
      break;
    case SAMPLE_S32:
      decode_as(SAMPLE_S32, wave, first, count, out);
      break;
    case SAMPLE_F32:
      decode_as(SAMPLE_F32, wave, first, count, out);
      break;
  }
}

static Sint16 to_sample(float value) {
  if (value >= 32767.0f) return 32767;
  if (value <= -32768.0f) return -32768;
  return (Sint16)(value >= 0.0f ? (int)(value + 0.5f) : -(int)(0.5f - value));
}

/* Converts the whole image into `out`, which has room for exactly `out_frames` frames. Output
 * frame k stands for the moment k / out rate, which falls on input frame k * in rate / out rate;
 * both are kept as exact fractions, so a long sound never drifts. */
static int convert(const WaveImage* wave, Sint16* out, Uint64 out_frames) {
  const Uint64 in_rate = (Uint64)wave->rate;
  const Uint64 out_rate = OUTPUT_RATE;
  const int piece = ZONBELI_SOUND_PIECE_FRAMES;
  if (in_rate == out_rate) {
    float* window = SDL_malloc(sizeof(float) * (size_t)piece);
    if (window == NULL) return 0;
    for (Uint64 k = 0; k < out_frames; k += (Uint64)piece) {
      int count = (int)SDL_min((Uint64)piece, out_frames - k);
      decode(wave, (Sint64)k, count, window);
      for (int i = 0; i < count; i++) out[k + (Uint64)i] = to_sample(window[i]);
    }
    SDL_free(window);
    return 1;
  }

  fill_sinc_table();
  /* The sinc's lobes, in input frames; narrowing the passband when going down in rate widens
   * them in the same proportion. */
  double cutoff = SINC_ROLLOFF * (out_rate < in_rate ? (double)out_rate / (double)in_rate : 1.0);
  Filter filter;
  filter.taps = 4 * (int)SDL_ceil(SINC_ZERO_CROSSINGS / cutoff / 2.0);
  filter.scale = (float)(cutoff * SINC_STEPS);
  const int reach = filter.taps / 2;
  Uint64 divisor = in_rate;
  for (Uint64 other = out_rate; other != 0;) {
    Uint64 rest = divisor % other;
    divisor = other;
    other = rest;
  }
  /* Row r of the table holds the weights for a moment r / steps of a frame past the middle one;
   * the extra last row, a whole frame past it, catches moments that round up. */
  Uint64 steps = out_rate / divisor;
  if ((steps + 1) * (Uint64)filter.taps > MAX_PHASE_WEIGHTS) {
    steps = MAX_PHASE_WEIGHTS / (Uint64)filter.taps - 1;
  }
  Uint64 block = SDL_max(1u, (Uint64)piece * out_rate / in_rate);
  float* window = SDL_malloc(sizeof(float) * (size_t)(piece + filter.taps + 2));
  float* weights = SDL_malloc(sizeof(float) * (size_t)((steps + 1) * (Uint64)filter.taps));
  if (window == NULL || weights == NULL) {
    SDL_free(window);
    SDL_free(weights);
    return 0;
  }
  for (Uint64 r = 0; r <= steps; r++) {
    fill_weights(&filter, (double)r / (double)steps, weights + r * (Uint64)filter.taps);
  }

  for (Uint64 k0 = 0; k0 < out_frames; k0 += block) {
    Uint64 k1 = SDL_min(out_frames, k0 + block);
    Sint64 first = (Sint64)(k0 * in_rate / out_rate) - reach + 1;
    Sint64 last = (Sint64)((k1 - 1) * in_rate / out_rate) + reach;
    decode(wave, first, (int)(last - first + 1), window);
    for (Uint64 k = k0; k < k1; k++) {
      Uint64 position = k * in_rate;
      Sint64 centre = (Sint64)(position / out_rate);
      /* Exact when the table has a row for every fraction, the nearest row otherwise. */
      Uint64 row = (position % out_rate * steps + out_rate / 2) / out_rate;
      out[k] = to_sample(weigh(window + (centre - reach + 1 - first),
                               weights + row * (Uint64)filter.taps, filter.taps));
    }
  }
  SDL_free(window);
  SDL_free(weights);
  return 1;
}

/* The image's samples in the mixer's format, in a buffer of exactly their size. */
Uint8* wave_samples(WaveImage* wave, Uint32* out_bytes) {
  if (wave->type == SAMPLE_S16 && wave->channels == OUTPUT_CHANNELS && wave->rate == OUTPUT_RATE &&
      SDL_BYTEORDER == SDL_LIL_ENDIAN) {
    Uint32 bytes = (Uint32)(wave->frames * sizeof(Sint16));
    Uint8* samples = wave_adopt(wave);
    if (samples == NULL) {
      sound_refuse("out of memory");
      return NULL;
    }
    *out_bytes = bytes;
    return samples;
  }
  Uint64 out_frames =
      (wave->frames * (Uint64)OUTPUT_RATE + (Uint64)wave->rate - 1u) / (Uint64)wave->rate;
  size_t bytes = (size_t)(out_frames * sizeof(Sint16));
  Uint8* samples = SDL_malloc(bytes);
  if (samples != NULL && !convert(wave, (Sint16*)(void*)samples, out_frames)) {
    SDL_free(samples);
    samples = NULL;
  }
  wave_release(wave);
  if (samples == NULL) {
    sound_refuse("out of memory");
    return NULL;
  }
  *out_bytes = (Uint32)bytes;
  return samples;
}
