#include "zonbeli_sound.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <dlfcn.h>
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
  OUTPUT_RATE = 44100,
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

/* Resamples and reformats the image into the open mixer's own layout, so that playing it later
 * costs nothing but mixing. */
static Uint8* convert(const WaveImage* wave, Uint32* out_bytes) {
  int rate = 0;
  Uint16 format = 0;
  int channels = 0;
  if (Mix_QuerySpec(&rate, &format, &channels) == 0) return NULL;
  SDL_AudioStream* stream =
      SDL_NewAudioStream(wave->format, wave->channels, wave->rate, format, (Uint8)channels, rate);
  if (stream == NULL) return NULL;
  Uint8* samples = NULL;
  int frame_bytes = channels * (int)(SDL_AUDIO_BITSIZE(format) / 8u);
  if (SDL_AudioStreamPut(stream, wave->data, (int)wave->data_bytes) == 0 &&
      SDL_AudioStreamFlush(stream) == 0) {
    int available = SDL_AudioStreamAvailable(stream);
    available -= available % frame_bytes;
    if (available > 0) samples = SDL_malloc((size_t)available);
    if (samples != NULL) {
      int got = SDL_AudioStreamGet(stream, samples, available);
      if (got > 0) got -= got % frame_bytes;
      if (got > 0) {
        *out_bytes = (Uint32)got;
      } else {
        SDL_free(samples);
        samples = NULL;
      }
    }
  }
  SDL_FreeAudioStream(stream);
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
  if (Mix_OpenAudioDevice(OUTPUT_RATE, AUDIO_S16SYS, 2, OUTPUT_CHUNK_FRAMES, NULL,
                          SDL_AUDIO_ALLOW_FREQUENCY_CHANGE) != 0) {
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
  Uint8* samples = convert(&wave, &bytes);
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
