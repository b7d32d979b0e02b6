// SPDX-License-Identifier: MIT
/* The sound library's device: the audio output, its channels, the buffers that play on them,
 * and the threads that let the output rest and open it again. */
#include <SDL.h>
#include <SDL_mixer.h>
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#include "sample_memory.h"
#include "sound_internal.h"
#include "zonbeli_sound.h"

enum {
  MAX_BUFFERS = 32,
  /* Music has channel 0 to itself; the buffer in slot i owns channel 1 + i, so effects overlap
   * each other freely and replaying one only cuts itself short. */
  MUSIC_CHANNEL = 0,
  CHANNEL_COUNT = 1 + MAX_BUFFERS,
  /* A buffer handle is (reuse << SLOT_BITS) | (slot + 1). */
  SLOT_BITS = 8,
  SLOT_MASK = (1 << SLOT_BITS) - 1,
  OUTPUT_CHUNK_FRAMES = 1024,
  /* Keeps the reuse count small enough for every handle to stay a positive int32_t. */
  MAX_REUSE = 0x7FFFFF,
  /* With nothing sounding for this long the output is let go, so that no audio thread keeps
   * waking the machine while the game sits in its first screen; the next play opens it again.
   * Two seconds of silence end any fade-out an output may still be playing. */
  QUIET_MS = 2000,
  QUIET_CHECK_MS = 500,
};

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
  sample_memory_free(slot->chunk.abuf, slot->chunk.alen);
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
  if (live_device == 0 || device != live_device) return sound_refuse("no audio output is open");
  if (image == NULL) return sound_refuse("there is no image");
  Slot* slot = NULL;
  for (int i = 0; i < MAX_BUFFERS && slot == NULL; i++) {
    if (slots[i].chunk.abuf == NULL) slot = &slots[i];
  }
  if (slot == NULL) return sound_refuse("all %d buffers are taken", MAX_BUFFERS);
  WaveImage wave = {0};
  if (!wave_parse(image, length, &wave)) return 0;
  Uint32 bytes = 0;
  Uint8* samples = wave_samples(&wave, &bytes);
  if (samples == NULL) return 0;
  slot->chunk.allocated = 0;
  slot->chunk.abuf = samples;
  slot->chunk.alen = bytes;
  slot->chunk.volume = MIX_MAX_VOLUME;
  slot->music = flags == DS_LOAD_MUSIC;
  sound_accept();
  return handle_of(slot);
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
