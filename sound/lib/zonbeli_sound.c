// SPDX-License-Identifier: MIT
#include "zonbeli_sound.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <dlfcn.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>

enum {
  MAX_BUFFERS = 32,
  /* Music has channel 0 to itself; the buffer in slot i owns channel 1 + i, so effects overlap
   * each other freely and replaying one only cuts itself short. */
  MUSIC_CHANNEL = 0,
  CHANNEL_COUNT = 1 + MAX_BUFFERS,
  /* A buffer handle is (reuse << SLOT_BITS) | (slot + 1). */
  SLOT_BITS = 8,
  SLOT_MASK = (1 << SLOT_BITS) - 1,
  /* Every sound of the game is recorded in mono at 44.1 kHz; the mixer works in that format, so
   * the game's own files load by a plain copy and a stereo mix would only double the memory. */
  OUTPUT_RATE = 44100,
  OUTPUT_CHANNELS = 1,
  OUTPUT_CHUNK_FRAMES = 1024,
  /* Keeps the reuse count small enough for every handle to stay a positive int32_t. */
  MAX_REUSE = 0x7FFFFF,
  /* With nothing sounding for this long the output is let go, so that no audio thread keeps
   * waking the machine while the game sits in its first screen; the next play opens it again.
   * Two seconds of silence end any fade-out an output may still be playing. */
  QUIET_MS = 2000,
  QUIET_CHECK_MS = 500,
};

/* Anything outside these is a damaged header rather than a real recording. */
#define MIN_RATE 4000u
#define MAX_RATE 192000u
#define MAX_SECONDS 600u

typedef struct {
  Mix_Chunk chunk; /* chunk.abuf is NULL while the slot is free */
  int music;
  int32_t reuse; /* counts frees, so a stale handle never reaches a newer buffer in its slot */
} Slot;

static Slot slots[MAX_BUFFERS];
static int32_t live_device;
static int32_t last_device;

/* The output may be let go and opened again behind the caller's back, from SDL's timer thread;
 * this lock keeps that apart from the caller's own calls. It lives as long as the process, since
 * a timer callback already under way may still reach for it after dsTerminate. */
static SDL_mutex* lock;
static int output_open;
static SDL_TimerID quiet_timer;
static Uint64 quiet_since; /* 0 while something sounds */
static int output_lost;    /* reopening failed, and was said once */

/* Opening an output takes from a few to tens of milliseconds, which the first move after a rest
 * must not wait for: a play that finds the output let go is noted here, by channel, and a thread
 * of its own opens the output and starts what was noted. */
typedef struct {
  int32_t buffer; /* 0: nothing waits on this channel */
  int loops;
} Waiting;
static Waiting waiting[CHANNEL_COUNT];
static SDL_Thread* opener;
static int opening;

static char refusal[200];

typedef enum { SAMPLE_U8, SAMPLE_S16, SAMPLE_S24, SAMPLE_S32, SAMPLE_F32, SAMPLE_F64 } SampleType;

typedef struct {
  SampleType type;
  unsigned channels;
  unsigned frame_bytes;
  int rate;
  const Uint8* data;
  Uint64 frames;
} WaveImage;

static Uint16 read_le16(const Uint8* p) {
  return (Uint16)(p[0] | (p[1] << 8));
}

static Uint32 read_le32(const Uint8* p) {
  return (Uint32)p[0] | ((Uint32)p[1] << 8) | ((Uint32)p[2] << 16) | ((Uint32)p[3] << 24);
}

/* ALSA's library writes its complaints straight to stderr: eight lines of them on a machine
 * without a sound card, before SDL even reports the failure. While the library is open they go
 * to a handler that drops them; report() gives the player the one line that matters. */
typedef void (*AlsaErrorHandler)(const char* file, int line, const char* function, int err,
                                 const char* format, ...);
typedef int (*AlsaSetErrorHandler)(AlsaErrorHandler handler);

static void* alsa_library;
static AlsaSetErrorHandler alsa_set_error_handler;

static void alsa_says_nothing(const char* file, int line, const char* function, int err,
                              const char* format, ...) {
  (void)file;
  (void)line;
  (void)function;
  (void)err;
  (void)format;
}

static void hush_alsa(void) {
  alsa_library = dlopen("libasound.so.2", RTLD_LAZY | RTLD_LOCAL);
  if (alsa_library == NULL) return;
  void* symbol = dlsym(alsa_library, "snd_lib_error_set_handler");
  if (symbol == NULL) {
    dlclose(alsa_library);
    alsa_library = NULL;
    return;
  }
  memcpy(&alsa_set_error_handler, &symbol, sizeof alsa_set_error_handler);
  alsa_set_error_handler(alsa_says_nothing);
}

static void unhush_alsa(void) {
  if (alsa_library == NULL) return;
  alsa_set_error_handler(NULL);
  dlclose(alsa_library);
  alsa_library = NULL;
  alsa_set_error_handler = NULL;
}

static void report(const char* what) {
  const char* why = SDL_GetError();
  int why_length = (int)strcspn(why, "\r\n");
  fprintf(stderr, "zonbeli_sound: %s: %.*s\n", what, why_length, why);
}

/* Says why dsCreateDSB answered 0, for dsLoadError; always returns 0. */
static int refuse(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(refusal, sizeof refusal, format, arguments);
  va_end(arguments);
  return 0;
}

/* WAVE_FORMAT_EXTENSIBLE names its sample type by GUID; this is the tail shared by all of them
 * after the 32-bit format tag. */
static const Uint8 extensible_guid_tail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                               0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

enum { TAG_PCM = 1, TAG_FLOAT = 3, TAG_EXTENSIBLE = 0xFFFE };

static int parse_format(const Uint8* fmt, Uint32 size, WaveImage* wave) {
  if (size < 16) return refuse("its fmt chunk is too short");
  Uint32 tag = read_le16(fmt);
  Uint16 channels = read_le16(fmt + 2);
  Uint32 rate = read_le32(fmt + 4);
  Uint16 block_align = read_le16(fmt + 12);
  Uint16 bits = read_le16(fmt + 14);
  if (tag == TAG_EXTENSIBLE) {
    if (size < 40 || read_le16(fmt + 16) < 22 ||
        memcmp(fmt + 28, extensible_guid_tail, sizeof extensible_guid_tail) != 0) {
      return refuse("its extensible fmt chunk is damaged");
    }
    tag = read_le32(fmt + 24);
  }
  if (tag != TAG_PCM && tag != TAG_FLOAT) {
    return refuse("its samples are coded (format 0x%04X); only PCM and float play", (unsigned)tag);
  }
  if (channels == 0) return refuse("it has no channels");
  if (tag == TAG_PCM && bits == 8) {
    wave->type = SAMPLE_U8;
  } else if (tag == TAG_PCM && bits == 16) {
    wave->type = SAMPLE_S16;
  } else if (tag == TAG_PCM && bits == 24) {
    wave->type = SAMPLE_S24;
  } else if (tag == TAG_PCM && bits == 32) {
    wave->type = SAMPLE_S32;
  } else if (tag == TAG_FLOAT && bits == 32) {
    wave->type = SAMPLE_F32;
  } else if (tag == TAG_FLOAT && bits == 64) {
    wave->type = SAMPLE_F64;
  } else {
    return refuse("%u-bit %s samples do not play", (unsigned)bits,
                  tag == TAG_FLOAT ? "float" : "integer");
  }
  if (rate < MIN_RATE || rate > MAX_RATE) {
    return refuse("its rate of %u Hz is outside %u to %u Hz", (unsigned)rate, MIN_RATE, MAX_RATE);
  }
  if (block_align != (Uint32)channels * (bits / 8u)) {
    return refuse("its block size %u does not fit %u channels of %u bits", (unsigned)block_align,
                  (unsigned)channels, (unsigned)bits);
  }
  wave->channels = channels;
  wave->frame_bytes = block_align;
  wave->rate = (int)rate;
  return 1;
}

/* Streaming tools write the RIFF and data sizes before they know them, as 0 or 0xFFFFFFFF, and
 * a file cut short claims more than it holds: in each case the sound runs to the image's end.
 * Every other size is checked against the bytes actually given before it is used. */
static int size_unknown(Uint32 size, size_t room) {
  return size == 0 || size == 0xFFFFFFFFu || size > room;
}

static int parse_wave(const Uint8* image, size_t length, WaveImage* wave) {
  if (length < 12 || memcmp(image, "RIFF", 4) != 0 || memcmp(image + 8, "WAVE", 4) != 0) {
    return refuse("it is not a RIFF/WAVE file");
  }
  Uint32 riff_size = read_le32(image + 4);
  size_t end =
      riff_size < 4 || size_unknown(riff_size, length - 8) ? length : 8 + (size_t)riff_size;
  size_t pos = 12;
  const Uint8* fmt = NULL;
  Uint32 fmt_size = 0;
  const Uint8* data = NULL;
  size_t data_size = 0;
  while (end - pos >= 8) {
    const Uint8* id = image + pos;
    size_t size = read_le32(image + pos + 4);
    pos += 8;
    if (memcmp(id, "data", 4) == 0) {
      if (data != NULL) return refuse("it has two data chunks");
      if (size_unknown((Uint32)size, end - pos)) size = end - pos;
      data = image + pos;
      data_size = size;
    } else if (size > end - pos) {
      if (memcmp(id, "fmt ", 4) == 0) return refuse("its fmt chunk is cut short");
      break;
    } else if (memcmp(id, "fmt ", 4) == 0) {
      if (fmt != NULL) return refuse("it has two fmt chunks");
      fmt = image + pos;
      fmt_size = (Uint32)size;
    }
    pos += size;
    /* Odd-sized chunks are followed by a pad byte, which a last chunk may lack. */
    if ((size & 1u) != 0 && pos < end) pos++;
  }
  if (fmt == NULL) return refuse("it has no fmt chunk");
  if (data == NULL) return refuse("it has no data chunk");
  if (!parse_format(fmt, fmt_size, wave)) return 0;
  wave->frames = data_size / wave->frame_bytes;
  if (wave->frames == 0) return refuse("its data chunk holds no sound");
  if (wave->frames / (Uint64)wave->rate >= MAX_SECONDS) {
    return refuse("it lasts %u minutes or more", MAX_SECONDS / 60u);
  }
  wave->data = data;
  return 1;
}

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
    case SAMPLE_S24: {
      Sint32 v = (Sint32)(p[0] | (p[1] << 8) | (p[2] << 16));
      return (float)(v >= 0x800000 ? v - 0x1000000 : v) / 256.0f;
    }
    case SAMPLE_S32:
      return (float)(Sint32)read_le32(p) / 65536.0f;
    case SAMPLE_F32: {
      Uint32 bits = read_le32(p);
      float x;
      memcpy(&x, &bits, sizeof x);
      return from_float(x);
    }
    case SAMPLE_F64: {
      Uint64 bits = read_le32(p) | (Uint64)read_le32(p + 4) << 32;
      double x;
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
    case SAMPLE_S24:
      decode_as(SAMPLE_S24, wave, first, count, out);
      break;
    case SAMPLE_S32:
      decode_as(SAMPLE_S32, wave, first, count, out);
      break;
    case SAMPLE_F32:
      decode_as(SAMPLE_F32, wave, first, count, out);
      break;
    case SAMPLE_F64:
      decode_as(SAMPLE_F64, wave, first, count, out);
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

#define HUGE_PAGE ((size_t)2 << 20)

/* Every fresh page faults when first written, and that is most of the cost of taking in a long
 * sound; a long sound's buffer is therefore asked for in huge pages. */
static Uint8* allocate_samples(size_t bytes) {
  if (bytes < HUGE_PAGE) return SDL_malloc(bytes);
  void* block = NULL;
  if (posix_memalign(&block, HUGE_PAGE, bytes) != 0) return NULL;
  madvise(block, bytes, MADV_HUGEPAGE);
  return block;
}

static void free_samples(Uint8* samples, size_t bytes) {
  if (bytes < HUGE_PAGE) {
    SDL_free(samples);
  } else {
    free(samples);
  }
}

/* The image's samples in the mixer's format, in a buffer of exactly their size. */
static Uint8* load_samples(const WaveImage* wave, Uint32* out_bytes) {
  Uint64 out_frames =
      (wave->frames * (Uint64)OUTPUT_RATE + (Uint64)wave->rate - 1u) / (Uint64)wave->rate;
  size_t bytes = (size_t)(out_frames * sizeof(Sint16));
  Uint8* samples = allocate_samples(bytes);
  if (samples == NULL) {
    refuse("out of memory");
    return NULL;
  }
  if (wave->type == SAMPLE_S16 && wave->channels == OUTPUT_CHANNELS && wave->rate == OUTPUT_RATE &&
      SDL_BYTEORDER == SDL_LIL_ENDIAN) {
    memcpy(samples, wave->data, bytes);
  } else if (!convert(wave, (Sint16*)(void*)samples, out_frames)) {
    free_samples(samples, bytes);
    refuse("out of memory");
    return NULL;
  }
  *out_bytes = (Uint32)bytes;
  return samples;
}

static int32_t handle_of(const Slot* slot) {
  Uint32 index = (Uint32)(slot - slots);
  return (int32_t)(((Uint32)slot->reuse << SLOT_BITS) | (index + 1u));
}

static Slot* lookup(int32_t buffer) {
  if (live_device == 0 || buffer <= 0) return NULL;
  int index = (int)(buffer & SLOT_MASK) - 1;
  if (index < 0 || index >= MAX_BUFFERS) return NULL;
  Slot* slot = &slots[index];
  if (slot->chunk.abuf == NULL || slot->reuse != (buffer >> SLOT_BITS)) return NULL;
  return slot;
}

static int channel_of(const Slot* slot) {
  return slot->music ? MUSIC_CHANNEL : 1 + (int)(slot - slots);
}

static void stop(Slot* slot) {
  int channel = channel_of(slot);
  /* The music channel may be busy with another music buffer, which must play on. */
  if (output_open && Mix_GetChunk(channel) == &slot->chunk) Mix_HaltChannel(channel);
}

static void release(Slot* slot) {
  stop(slot);
  free_samples(slot->chunk.abuf, slot->chunk.alen);
  slot->chunk.abuf = NULL;
  slot->reuse = slot->reuse == MAX_REUSE ? 0 : slot->reuse + 1;
}

/* Opens the device and its channels, touching no state of ours; says why on stderr when `say` is
 * set. */
static int open_device(int say) {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    if (say) report("no audio output, playing silently");
    return 0;
  }
  /* No change of format is allowed: an output that wants another rate or stereo gets it from
   * SDL's converter, once for the whole mix, instead of every sound being resampled at load. */
  if (Mix_OpenAudioDevice(OUTPUT_RATE, AUDIO_S16SYS, OUTPUT_CHANNELS, OUTPUT_CHUNK_FRAMES, NULL,
                          0) != 0) {
    if (say) report("cannot open the audio output, playing silently");
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return 0;
  }
  if (Mix_AllocateChannels(CHANNEL_COUNT) < CHANNEL_COUNT) {
    if (say) report("cannot allocate mixing channels, playing silently");
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return 0;
  }
  Mix_ReserveChannels(CHANNEL_COUNT);
  Mix_Volume(-1, MIX_MAX_VOLUME);
  return 1;
}

static void now_open(void) {
  output_open = 1;
  quiet_since = 0;
}

/* Closing the device alone leaves the audio subsystem's own threads, some of which poll for
 * new devices; quitting it leaves none. */
static void close_output(void) {
  if (!output_open) return;
  Mix_HaltChannel(-1);
  Mix_CloseAudio();
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  output_open = 0;
}

/* Runs on SDL's timer thread every QUIET_CHECK_MS while the output is open. */
static Uint32 check_quiet(Uint32 interval, void* unused) {
  (void)unused;
  Uint32 next = interval;
  SDL_LockMutex(lock);
  if (!output_open) {
    next = 0;
  } else if (Mix_Playing(-1) != 0) {
    quiet_since = 0;
  } else if (quiet_since == 0) {
    quiet_since = SDL_GetTicks64();
  } else if (SDL_GetTicks64() - quiet_since >= QUIET_MS) {
    close_output();
    next = 0;
  }
  if (next == 0) quiet_timer = 0;
  SDL_UnlockMutex(lock);
  return next;
}

static void watch_quiet(void) {
  if (quiet_timer == 0) quiet_timer = SDL_AddTimer(QUIET_CHECK_MS, check_quiet, NULL);
}

/* A reopening that fails is said once; the game goes on silently and each play tries again. */
static int open_in_background(void* unused) {
  (void)unused;
  SDL_LockMutex(lock);
  int say = !output_lost;
  SDL_UnlockMutex(lock);
  int opened = open_device(say);
  SDL_LockMutex(lock);
  if (opened) {
    now_open();
    output_lost = 0;
    watch_quiet();
  } else {
    output_lost = 1;
  }
  for (int channel = 0; channel < CHANNEL_COUNT; channel++) {
    Slot* slot = lookup(waiting[channel].buffer);
    if (opened && slot != NULL) Mix_PlayChannel(channel, &slot->chunk, waiting[channel].loops);
    waiting[channel].buffer = 0;
  }
  opening = 0;
  SDL_UnlockMutex(lock);
  return 0;
}

/* Called with the lock held. */
static void open_for(const Slot* slot, int loops) {
  waiting[channel_of(slot)].buffer = handle_of(slot);
  waiting[channel_of(slot)].loops = loops;
  if (opening) return;
  /* The last opener has said all it had to under the lock, so it is at its end. */
  if (opener != NULL) SDL_WaitThread(opener, NULL);
  opening = 1;
  opener = SDL_CreateThread(open_in_background, "zonbeli-open", NULL);
  if (opener == NULL) {
    SDL_UnlockMutex(lock);
    open_in_background(NULL);
    SDL_LockMutex(lock);
  }
}

/* Forgets a play still waiting for the output. */
static void unwait(const Slot* slot) {
  Waiting* noted = &waiting[channel_of(slot)];
  if (noted->buffer == handle_of(slot)) noted->buffer = 0;
}

static void play(int32_t buffer, int loops) {
  SDL_LockMutex(lock);
  Slot* slot = lookup(buffer);
  if (slot != NULL) {
    if (output_open) {
      Mix_PlayChannel(channel_of(slot), &slot->chunk, loops);
    } else {
      open_for(slot, loops);
    }
  }
  SDL_UnlockMutex(lock);
}

int32_t dsInitialize(intptr_t window) {
  (void)window;
  if (live_device != 0) return live_device;
  if (lock == NULL) lock = SDL_CreateMutex();
  if (lock == NULL) {
    report("no audio output, playing silently");
    return 0;
  }
  /* SDL would otherwise take over SIGINT and SIGTERM, and Ctrl+C would no longer end the game. */
  SDL_SetHintWithPriority(SDL_HINT_NO_SIGNAL_HANDLERS, "1", SDL_HINT_OVERRIDE);
  if (SDL_InitSubSystem(SDL_INIT_TIMER) != 0) {
    report("no timer for the audio output, playing silently");
    return 0;
  }
  hush_alsa();
  SDL_LockMutex(lock);
  if (open_device(1)) {
    now_open();
    output_lost = 0;
    watch_quiet();
    last_device = last_device == INT32_MAX ? 1 : last_device + 1;
    live_device = last_device;
  }
  SDL_UnlockMutex(lock);
  if (live_device == 0) {
    SDL_QuitSubSystem(SDL_INIT_TIMER);
    unhush_alsa();
  }
  return live_device;
}

int32_t dsCreateDSB(int32_t device, const void* image, size_t length, int32_t flags) {
  if (live_device == 0 || device != live_device) return refuse("no audio output is open");
  if (image == NULL) return refuse("there is no image");
  Slot* slot = NULL;
  for (int i = 0; i < MAX_BUFFERS && slot == NULL; i++) {
    if (slots[i].chunk.abuf == NULL) slot = &slots[i];
  }
  if (slot == NULL) return refuse("all %d buffers are taken", MAX_BUFFERS);
  WaveImage wave = {0};
  if (!parse_wave(image, length, &wave)) return 0;
  Uint32 bytes = 0;
  Uint8* samples = load_samples(&wave, &bytes);
  if (samples == NULL) return 0;
  slot->chunk.allocated = 0;
  slot->chunk.abuf = samples;
  slot->chunk.alen = bytes;
  slot->chunk.volume = MIX_MAX_VOLUME;
  slot->music = flags == DS_LOAD_MUSIC;
  refusal[0] = '\0';
  return handle_of(slot);
}

const char* dsLoadError(void) {
  return refusal;
}

void dsPlay(int32_t buffer) {
  play(buffer, 0);
}

void dsPlayLooping(int32_t buffer) {
  play(buffer, -1);
}

void dsStop(int32_t buffer) {
  SDL_LockMutex(lock);
  Slot* slot = lookup(buffer);
  if (slot != NULL) {
    unwait(slot);
    stop(slot);
  }
  SDL_UnlockMutex(lock);
}

void dsFree(int32_t buffer) {
  SDL_LockMutex(lock);
  Slot* slot = lookup(buffer);
  if (slot != NULL) {
    unwait(slot);
    release(slot);
  }
  SDL_UnlockMutex(lock);
}

void dsTerminate(int32_t device) {
  if (live_device == 0 || device != live_device) return;
  /* An output still being opened is let finish, then closed with the rest. */
  if (opener != NULL) SDL_WaitThread(opener, NULL);
  opener = NULL;
  SDL_LockMutex(lock);
  for (int channel = 0; channel < CHANNEL_COUNT; channel++) waiting[channel].buffer = 0;
  for (int i = 0; i < MAX_BUFFERS; i++) {
    if (slots[i].chunk.abuf != NULL) release(&slots[i]);
  }
  close_output();
  live_device = 0;
  SDL_TimerID timer = quiet_timer;
  quiet_timer = 0;
  SDL_UnlockMutex(lock);
  /* A check already under way finds the output closed and ends itself. */
  SDL_RemoveTimer(timer);
  SDL_QuitSubSystem(SDL_INIT_TIMER);
  Mix_Quit();
  unhush_alsa();
}
