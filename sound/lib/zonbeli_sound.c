#include "zonbeli_sound.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>

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
};

/* Anything outside these is a damaged header rather than a real recording. */
#define MIN_RATE 4000u
#define MAX_RATE 192000u
#define MAX_SECONDS 600u

typedef struct {
  Mix_Chunk* chunk; /* NULL while the slot is free */
  Uint8* samples;   /* in the mixer's format; the chunk points at them but does not own them */
  int music;
  int32_t reuse; /* counts frees, so a stale handle never reaches a newer buffer in its slot */
} Slot;

static Slot slots[MAX_BUFFERS];
static int32_t live_device;
static int32_t last_device;

typedef struct {
  SDL_AudioFormat format;
  Uint8 channels;
  int rate;
  const Uint8* data;
  Uint32 data_bytes; /* whole frames only */
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

/* WAVE_FORMAT_EXTENSIBLE names its sample type by GUID; this is the tail shared by all of them
 * after the 32-bit format tag, which must be 1 (integer PCM). */
static const Uint8 extensible_guid_tail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                               0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

static int parse_format(const Uint8* fmt, Uint32 size, WaveImage* wave) {
  if (size < 16) return 0;
  Uint16 tag = read_le16(fmt);
  Uint16 channels = read_le16(fmt + 2);
  Uint32 rate = read_le32(fmt + 4);
  Uint16 block_align = read_le16(fmt + 12);
  Uint16 bits = read_le16(fmt + 14);
  if (tag == 0xFFFE) {
    if (size < 40 || read_le16(fmt + 16) < 22 || read_le32(fmt + 24) != 1 ||
        memcmp(fmt + 28, extensible_guid_tail, sizeof extensible_guid_tail) != 0) {
      return 0;
    }
  } else if (tag != 1) {
    return 0;
  }
  if (channels < 1 || channels > 2 || (bits != 8 && bits != 16)) return 0;
  if (rate < MIN_RATE || rate > MAX_RATE) return 0;
  if (block_align != channels * (bits / 8)) return 0;
  wave->format = bits == 8 ? AUDIO_U8 : AUDIO_S16LSB;
  wave->channels = (Uint8)channels;
  wave->rate = (int)rate;
  return 1;
}

/* Every size in the header is checked against the bytes actually given before it is used. */
static int parse_wave(const Uint8* image, size_t length, WaveImage* wave) {
  if (length < 12 || memcmp(image, "RIFF", 4) != 0 || memcmp(image + 8, "WAVE", 4) != 0) {
    return 0;
  }
  Uint32 riff_size = read_le32(image + 4);
  if (riff_size < 4 || riff_size > length - 8) return 0;
  size_t end = 8 + (size_t)riff_size;
  size_t pos = 12;
  const Uint8* fmt = NULL;
  Uint32 fmt_size = 0;
  const Uint8* data = NULL;
  Uint32 data_size = 0;
  while (end - pos >= 8) {
    const Uint8* id = image + pos;
    Uint32 size = read_le32(image + pos + 4);
    pos += 8;
    if (size > end - pos) return 0;
    if (memcmp(id, "fmt ", 4) == 0) {
      if (fmt != NULL) return 0;
      fmt = image + pos;
      fmt_size = size;
    } else if (memcmp(id, "data", 4) == 0) {
      if (data != NULL) return 0;
      data = image + pos;
      data_size = size;
    }
    pos += size;
    /* Odd-sized chunks are followed by a pad byte, which a last chunk may lack. */
    if ((size & 1u) != 0 && pos < end) pos++;
  }
  if (fmt == NULL || data == NULL || !parse_format(fmt, fmt_size, wave)) return 0;
  Uint32 frame_bytes = (Uint32)wave->channels * SDL_AUDIO_BITSIZE(wave->format) / 8u;
  Uint32 frames = data_size / frame_bytes;
  if (frames == 0 || frames / (Uint32)wave->rate >= MAX_SECONDS) return 0;
  wave->data = data;
  wave->data_bytes = frames * frame_bytes;
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
   * divided by the greatest common divisor of the two rates: 2 from 22050 Hz, 147 from 48 kHz.
   * Up to this many weights in all, every fraction's weights are worked out once. */
  MAX_PHASE_WEIGHTS = 32768,
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

/* Frames [first, first + count) of the image as mono samples on the 16-bit scale; frames
 * before its start or past its end are silence. */
static void decode(const WaveImage* wave, Sint64 first, int count, float* out) {
  Sint64 frames =
      wave->data_bytes / ((Uint32)wave->channels * SDL_AUDIO_BITSIZE(wave->format) / 8u);
  for (int i = 0; i < count; i++) {
    Sint64 frame = first + i;
    if (frame < 0 || frame >= frames) {
      out[i] = 0.0f;
      continue;
    }
    float sum = 0.0f;
    for (int c = 0; c < wave->channels; c++) {
      Sint64 index = frame * wave->channels + c;
      if (wave->format == AUDIO_U8) {
        sum += (float)((wave->data[index] - 128) * 256);
      } else {
        const Uint8* p = wave->data + 2 * index;
        sum += (float)(Sint16)read_le16(p);
      }
    }
    out[i] = sum / (float)wave->channels;
  }
}

static Sint16 to_sample(float value) {
  if (value >= 32767.0f) return 32767;
  if (value <= -32768.0f) return -32768;
  return (Sint16)(value >= 0.0f ? (int)(value + 0.5f) : -(int)(0.5f - value));
}

typedef struct {
  int channels;
  int rate;
} OutputFormat;

static void put_frame(Sint16* out, Uint64 frame, int channels, float value) {
  Sint16 sample = to_sample(value);
  for (int c = 0; c < channels; c++) out[frame * (Uint64)channels + (Uint64)c] = sample;
}

/* Converts the whole image into `out`, which has room for exactly `out_frames` frames. Output
 * frame k stands for the moment k / out rate, which falls on input frame k * in rate / out rate;
 * both are kept as exact fractions, so a long sound never drifts. */
static int convert(const WaveImage* wave, const OutputFormat* format, Sint16* out,
                   Uint64 out_frames) {
  const Uint64 in_rate = (Uint64)wave->rate;
  const Uint64 out_rate = (Uint64)format->rate;
  const int piece = ZONBELI_SOUND_PIECE_FRAMES;
  if (in_rate == out_rate) {
    float* window = SDL_malloc(sizeof(float) * (size_t)piece);
    if (window == NULL) return 0;
    for (Uint64 k = 0; k < out_frames; k += (Uint64)piece) {
      int count = (int)SDL_min((Uint64)piece, out_frames - k);
      decode(wave, (Sint64)k, count, window);
      for (int i = 0; i < count; i++) put_frame(out, k + (Uint64)i, format->channels, window[i]);
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
  Uint64 phases = out_rate / divisor;
  int precomputed = phases * (Uint64)filter.taps <= MAX_PHASE_WEIGHTS;
  size_t weight_count = precomputed ? (size_t)phases * (size_t)filter.taps : (size_t)filter.taps;
  Uint64 block = SDL_max(1u, (Uint64)piece * out_rate / in_rate);
  float* window = SDL_malloc(sizeof(float) * (size_t)(piece + filter.taps + 2));
  float* weights = SDL_malloc(sizeof(float) * weight_count);
  if (window == NULL || weights == NULL) {
    SDL_free(window);
    SDL_free(weights);
    return 0;
  }
  if (precomputed) {
    for (Uint64 p = 0; p < phases; p++) {
      fill_weights(&filter, (double)p / (double)phases, weights + p * (Uint64)filter.taps);
    }
  }

  for (Uint64 k0 = 0; k0 < out_frames; k0 += block) {
    Uint64 k1 = SDL_min(out_frames, k0 + block);
    Sint64 first = (Sint64)(k0 * in_rate / out_rate) - reach + 1;
    Sint64 last = (Sint64)((k1 - 1) * in_rate / out_rate) + reach;
    decode(wave, first, (int)(last - first + 1), window);
    for (Uint64 k = k0; k < k1; k++) {
      Uint64 position = k * in_rate;
      Sint64 centre = (Sint64)(position / out_rate);
      Uint64 phase = position % out_rate / divisor;
      const float* w = weights + phase * (Uint64)filter.taps;
      if (!precomputed) {
        w = weights;
        fill_weights(&filter, (double)phase / (double)phases, weights);
      }
      put_frame(out, k, format->channels,
                weigh(window + (centre - reach + 1 - first), w, filter.taps));
    }
  }
  SDL_free(window);
  SDL_free(weights);
  return 1;
}

/* The image's samples in the mixer's format, in a buffer of exactly their size. */
static Uint8* load_samples(const WaveImage* wave, Uint32* out_bytes) {
  OutputFormat format;
  Uint16 sample_format = 0;
  if (Mix_QuerySpec(&format.rate, &sample_format, &format.channels) == 0) return NULL;
  if (sample_format != AUDIO_S16SYS || format.channels < 1 || format.rate < 1) return NULL;
  Uint64 in_frames =
      wave->data_bytes / ((Uint32)wave->channels * SDL_AUDIO_BITSIZE(wave->format) / 8u);
  Uint64 out_frames =
      (in_frames * (Uint64)format.rate + (Uint64)wave->rate - 1u) / (Uint64)wave->rate;
  Uint64 frame_bytes = 2u * (Uint64)format.channels;
  if (out_frames == 0 || out_frames > (Uint64)INT_MAX / frame_bytes) return NULL;
  size_t bytes = (size_t)(out_frames * frame_bytes);
  Uint8* samples = SDL_malloc(bytes);
  if (samples == NULL) return NULL;
  if (wave->format == AUDIO_S16SYS && wave->channels == format.channels &&
      wave->rate == format.rate) {
    memcpy(samples, wave->data, bytes);
  } else if (!convert(wave, &format, (Sint16*)(void*)samples, out_frames)) {
    SDL_free(samples);
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
  if (slot->chunk == NULL || slot->reuse != (buffer >> SLOT_BITS)) return NULL;
  return slot;
}

static int channel_of(const Slot* slot) {
  return slot->music ? MUSIC_CHANNEL : 1 + (int)(slot - slots);
}

static void stop(const Slot* slot) {
  int channel = channel_of(slot);
  /* The music channel may be busy with another music buffer, which must play on. */
  if (Mix_GetChunk(channel) == slot->chunk) Mix_HaltChannel(channel);
}

static void release(Slot* slot) {
  stop(slot);
  Mix_FreeChunk(slot->chunk);
  SDL_free(slot->samples);
  slot->chunk = NULL;
  slot->samples = NULL;
  slot->reuse = slot->reuse == MAX_REUSE ? 0 : slot->reuse + 1;
}

int32_t dsInitialize(intptr_t window) {
  (void)window;
  if (live_device != 0) return live_device;
  /* SDL would otherwise take over SIGINT and SIGTERM, and Ctrl+C would no longer end the game. */
  SDL_SetHintWithPriority(SDL_HINT_NO_SIGNAL_HANDLERS, "1", SDL_HINT_OVERRIDE);
  hush_alsa();
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    report("no audio output, playing silently");
    unhush_alsa();
    return 0;
  }
  /* No change of format is allowed: an output that wants another rate or stereo gets it from
   * SDL's converter, once for the whole mix, instead of every sound being resampled at load. */
  if (Mix_OpenAudioDevice(OUTPUT_RATE, AUDIO_S16SYS, OUTPUT_CHANNELS, OUTPUT_CHUNK_FRAMES, NULL,
                          0) != 0) {
    report("cannot open the audio output, playing silently");
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    unhush_alsa();
    return 0;
  }
  if (Mix_AllocateChannels(CHANNEL_COUNT) < CHANNEL_COUNT) {
    report("cannot allocate mixing channels, playing silently");
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    unhush_alsa();
    return 0;
  }
  Mix_ReserveChannels(CHANNEL_COUNT);
  Mix_Volume(-1, MIX_MAX_VOLUME);
  last_device = last_device == INT32_MAX ? 1 : last_device + 1;
  live_device = last_device;
  return live_device;
}

int32_t dsCreateDSB(int32_t device, const void* image, size_t length, int32_t flags) {
  if (live_device == 0 || device != live_device || image == NULL) return 0;
  Slot* slot = NULL;
  for (int i = 0; i < MAX_BUFFERS && slot == NULL; i++) {
    if (slots[i].chunk == NULL) slot = &slots[i];
  }
  WaveImage wave;
  if (slot == NULL || !parse_wave(image, length, &wave)) return 0;
  Uint32 bytes = 0;
  Uint8* samples = load_samples(&wave, &bytes);
  if (samples == NULL) return 0;
  Mix_Chunk* chunk = Mix_QuickLoad_RAW(samples, bytes);
  if (chunk == NULL) {
    SDL_free(samples);
    return 0;
  }
  slot->chunk = chunk;
  slot->samples = samples;
  slot->music = flags == DS_LOAD_MUSIC;
  return handle_of(slot);
}

void dsPlay(int32_t buffer) {
  Slot* slot = lookup(buffer);
  if (slot != NULL) Mix_PlayChannel(channel_of(slot), slot->chunk, 0);
}

void dsPlayLooping(int32_t buffer) {
  Slot* slot = lookup(buffer);
  if (slot != NULL) Mix_PlayChannel(channel_of(slot), slot->chunk, -1);
}

void dsStop(int32_t buffer) {
  Slot* slot = lookup(buffer);
  if (slot != NULL) stop(slot);
}

void dsFree(int32_t buffer) {
  Slot* slot = lookup(buffer);
  if (slot != NULL) release(slot);
}

void dsTerminate(int32_t device) {
  if (live_device == 0 || device != live_device) return;
  for (int i = 0; i < MAX_BUFFERS; i++) {
    if (slots[i].chunk != NULL) release(&slots[i]);
  }
  Mix_HaltChannel(-1);
  Mix_CloseAudio();
  Mix_Quit();
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  unhush_alsa();
  live_device = 0;
}
