// SPDX-License-Identifier: MIT
/* The sound library's device: the audio output, its channels and the buffers that play on them.
 *
 * The channels are mixed here, over SDL's plain audio output: all they do is add runs of 16-bit
 * mono samples, each clipped as it is added, which SDL2_mixer did with the same SDL call. Through
 * SDL2_mixer the library loaded 68 libraries, among them decoders of formats the game never plays;
 * over SDL alone it loads 50. On this machine kind a bare program's peak memory grows by 4.7 MB
 * with SDL2_mixer loaded beside SDL, and the game's peak, reached as it starts, went from 48.0 MiB
 * to 45.2 MiB (5 rounds of bench/run each, two processors) with this and the plain WAV images'
 * single copy together.
 *
 * Nothing the game calls waits for the sound server. Opening and closing the output can stall
 * for as long as the server does, and every mixing call takes a lock that SDL's audio thread
 * holds while it mixes, so all of them are made by a worker thread of the library's own: the
 * game's calls only leave orders for it under a lock that is never held across a call into SDL,
 * and return. The worker also lets the output rest after the last sound, notices when it dies,
 * and opens it again with the music that was looping. */
#include <SDL.h>
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

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
  /* The mixer mixes this many frames at a time, so a sound waits up to one block to be mixed,
   * and then for whatever the server buffers ahead of it. SDL's PulseAudio client would have the
   * server buffer just one block; the program asks for 10 ms instead (PULSE_LATENCY_MSEC, see
   * the binding), which leaves the mixer 4 ms to spare at each block. Key to the server's
   * monitor on this machine kind, net of the method's floor, median / p95 in ms, with the music
   * on, and its gaps and the server's underruns (PulseAudio 16, runs of 20 to 30 keys):
   *   512 frames, one block buffered:  16.3 / 19.2, music 15.0 / 20.0, 1 gap, 2 underruns
   *   256 frames, 10 ms buffered:       8.1 to 9.9 / 11.7 to 12.3, music 9.4 to 10.3 / 11.5 to
   *                                     14.5, in four runs one gap and one underrun
   *   256 frames,  6 ms:                7.4 / 10.4, 1 underrun
   *   256 frames, 12 ms:                9.3 to 11.0 / 12.1 to 14.6
   *   128 frames, 10 or 12 ms:          8.3 to 10.1 / 10.3 to 12.3, no underrun in three runs
   * 128 frames is hardly quicker than 256 and wakes the mixer twice as often, and where SDL
   * drives a card itself, without a server, it buffers just two blocks. PipeWire's pulse server
   * keeps a sound about 15 ms whatever the block and the buffer (14.6 to 16.9 ms at 512, 256 or
   * 128 frames with 8 to 15 ms buffered), so SDL's PipeWire client is used there instead (see
   * open_device). It asks PipeWire to run its whole graph at one block a cycle, and the stream's
   * real-time thread must answer every cycle in time. At 256 frames (5.8 ms) it missed no cycle
   * in 8 runs but the two that the machine made every client miss. Run faster, at 128 frames
   * (2.9 ms, where another client asks for less than 256 and PipeWire rounds down to a power of
   * two), it missed 10 cycles in 6 runs, a plain client beside it 3 in 3, and the music broke
   * twice in one run. Key to sound, net of the floor, median / p95 in ms (PipeWire 0.3.65, runs
   * of 30 keys):
   *   256 frames, graph at 256:  7.2 to 10.9 / 9.1 to 12.9, music 7.0 to 10.7 /  9.5 to 16.2
   *   256 frames, graph at 128:  3.6 to  4.7 / 6.2 to 11.5, music 3.4 to  5.0 /  6.2 to  7.3
   *   512 frames, graph at 128:  7.8 to  8.8 / 11.9 to 12.7, music 6.0 to 7.9 / 10.9 to 12.8
   * At its own pace 512 frames would double the graph's cycle as well as the mixer's wait. */
  OUTPUT_CHUNK_FRAMES = 256,
  /* Keeps the reuse count small enough for every handle to stay a positive int32_t. */
  MAX_REUSE = 0x7FFFFF,
  /* Once the last sound has ended, the output rests after this long, so that no audio thread
   * keeps waking the machine while the game sits in its first screen. The end of a sound is
   * known from its length when it starts, so a short sound counts in full however briefly it
   * played. Two seconds also end any fade-out an output may still be playing. */
  QUIET_MS = 2000,
  /* How often the worker looks at an open output, and tries again to open a lost one. */
  WATCH_MS = 250,
  /* An output whose mixer has not been asked for samples for this long is taken as lost: a
   * server that stopped answering. Long enough that a busy machine's pause is not one. */
  STALL_MS = 1500,
  /* A new output may wait for its server's next cycle before it plays at all: PulseAudio's
   * null sink, while no stream holds it to a short latency, mixes two seconds ahead and starts
   * a new stream only once they have passed. Until an output has started, it is given this
   * long. */
  START_STALL_MS = 3000,
  /* At start the game waits this long for the output to open, to learn whether there is one;
   * a server that takes longer is taken as there and the output opens when it answers. */
  START_WAIT_MS = 500,
  /* At the end the game waits this long for the output to close; a server that takes longer is
   * left to the worker, which the ending process takes down with it. */
  END_WAIT_MS = 20,
};

typedef struct {
  Uint8* samples; /* NULL while the slot is free */
  Uint32 bytes;
  void* image; /* the caller's image the samples lie in, or NULL for the library's own copy */
  int music;
  int32_t reuse; /* counts frees, so a stale handle never reaches a newer buffer in its slot */
  int handed;    /* given to the worker to play: only the worker may let its samples go */
  int leaving;   /* freed: the worker lets its channel go, then its samples */
} Slot;

typedef enum { NO_ORDER, PLAY, STOP } OrderKind;

/* What the game last asked of a channel; a later order replaces an earlier one. */
typedef struct {
  OrderKind kind;
  int32_t buffer;
  int loops;
} Order;

/* Everything below is shared with the worker and guarded by `lock`, which lives as long as the
 * process, since a worker left running by dsTerminate may still reach for it. */
static SDL_mutex* lock;
static SDL_cond* wake;    /* the worker waits on it for orders */
static SDL_cond* settled; /* the game waits on it for the first opening and for the end */
static Slot slots[MAX_BUFFERS];
static int32_t live_device;
static int32_t last_device;
static Order orders[CHANNEL_COUNT];
/* What loops on each channel: it plays again on a new output. */
static int32_t looping[CHANNEL_COUNT];
static int ordered; /* orders or frees wait for the worker */
static int ending;
static int worker_running;
static int first_open;     /* -1 until the worker has tried: 1 opened, 0 failed */
static int start_given_up; /* dsInitialize stopped waiting for the first opening */
static SDL_Thread* worker;

/* Counted up by the mixer each time it mixes, so that the worker sees an output that stopped. */
static SDL_atomic_t mixes;

/* What a channel plays. SDL's audio thread moves it on as it mixes; the worker changes it only
 * with the output locked. The slot stays named once its sound has ended or been halted, so that
 * a later halt of the same buffer still finds it there. */
typedef struct {
  const Slot* slot;
  const Uint8* samples; /* NULL while the channel is silent */
  Uint32 bytes;
  Uint32 at;
  int loops; /* 0 plays once, anything else repeats until halted */
} Voice;

static Voice voices[CHANNEL_COUNT];

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

/* Gives back a slot's samples: the image they were taken in, which came from malloc, or the
 * library's own copy. */
static void let_go(const Slot* slot) {
  if (slot->image != NULL) {
    free(slot->image);
  } else {
    SDL_free(slot->samples);
  }
}

static int32_t handle_of(const Slot* slot) {
  Uint32 index = (Uint32)(slot - slots);
  return (int32_t)(((Uint32)slot->reuse << SLOT_BITS) | (index + 1u));
}

/* Called with the lock held. */
static Slot* lookup(int32_t buffer) {
  if (live_device == 0 || buffer <= 0) return NULL;
  int index = (int)(buffer & SLOT_MASK) - 1;
  if (index < 0 || index >= MAX_BUFFERS) return NULL;
  Slot* slot = &slots[index];
  if (slot->samples == NULL || slot->leaving || slot->reuse != (buffer >> SLOT_BITS)) {
    return NULL;
  }
  return slot;
}

static int channel_of(const Slot* slot) {
  return slot->music ? MUSIC_CHANNEL : 1 + (int)(slot - slots);
}

/* The worker's own state, touched by no other thread. */
typedef struct {
  int open;
  SDL_AudioDeviceID device;
  /* The output rests by holding SDL's mixing lock, so that its thread sleeps until the next
   * sound instead of mixing silence. Closing it would cost more: a reopened stream may wait for
   * the server's next cycle, up to two seconds on an idle PulseAudio null sink, and PipeWire
   * starts a reopened stream late. */
  int resting;
  int lost; /* the output died or would not open again, and that was said */
  Uint64 retry_at;
  int mixes_at_open;
  Uint64 ends_at[CHANNEL_COUNT]; /* when each channel falls silent; UINT64_MAX while it loops */
  int mixes_seen;
  Uint64 mixed_at;
} Output;

/* What one round of the worker does, taken from the orders under the lock. */
typedef struct {
  Slot* play[CHANNEL_COUNT];
  int loops[CHANNEL_COUNT];
  Slot* stop[CHANNEL_COUNT];
  Slot* looping[CHANNEL_COUNT];
  Slot* leaving[MAX_BUFFERS];
  int leaving_count;
} Round;

/* SDL's audio thread: the channels added up in order, each clipped to 16 bits as it is added. */
static void SDLCALL mix(void* unused, Uint8* stream, int length) {
  (void)unused;
  SDL_memset(stream, 0, (size_t)length);
  for (int channel = 0; channel < CHANNEL_COUNT; channel++) {
    Voice* voice = &voices[channel];
    for (Uint32 done = 0; voice->samples != NULL && done < (Uint32)length;) {
      Uint32 part = SDL_min((Uint32)length - done, voice->bytes - voice->at);
      SDL_MixAudioFormat(stream + done, voice->samples + voice->at, AUDIO_S16SYS, part,
                         SDL_MIX_MAXVOLUME);
      done += part;
      voice->at += part;
      if (voice->at < voice->bytes) continue;
      voice->at = 0;
      if (voice->loops == 0 || part == 0) voice->samples = NULL;
    }
  }
  SDL_AtomicAdd(&mixes, 1);
}

/* Starts SDL's audio with the driver SDL picks by its hint and opens the device on it, already
 * playing silence. Returns 0 when either fails, after saying which on stderr if `say` is set. */
static SDL_AudioDeviceID open_on_driver(int say) {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    if (say) report("no audio output, playing silently");
    return 0;
  }
  SDL_memset(voices, 0, sizeof voices);
  /* No change of format is allowed: an output that wants another rate or stereo gets it from
   * SDL's converter, once for the whole mix, instead of every sound being resampled at load. */
  SDL_AudioSpec wanted;
  SDL_zero(wanted);
  wanted.freq = OUTPUT_RATE;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = OUTPUT_CHANNELS;
  wanted.samples = OUTPUT_CHUNK_FRAMES;
  wanted.callback = mix;
  SDL_AudioDeviceID device = SDL_OpenAudioDevice(NULL, 0, &wanted, NULL, 0);
  if (device == 0) {
    if (say) report("cannot open the audio output, playing silently");
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return 0;
  }
  SDL_PauseAudioDevice(device, 0);
  return device;
}

/* Opens the device, already playing silence. Where PipeWire stands in for PulseAudio, SDL's own
 * PipeWire client is used, which is heard sooner (the figures are at OUTPUT_CHUNK_FRAMES), unless
 * the player chose a driver with SDL_AUDIODRIVER; should that client fail, SDL picks as it would
 * have. */
static SDL_AudioDeviceID open_device(int say) {
  SDL_AudioDeviceID device = 0;
  const char* chosen = SDL_GetHint(SDL_HINT_AUDIODRIVER);
  if ((chosen == NULL || *chosen == '\0') && pulse_server_is_pipewire()) {
    SDL_SetHint(SDL_HINT_AUDIODRIVER, "pipewire");
    device = open_on_driver(0);
    SDL_ResetHint(SDL_HINT_AUDIODRIVER);
  }
  return device != 0 ? device : open_on_driver(say);
}

static int open_output(Output* output, int say) {
  output->device = open_device(say);
  if (output->device == 0) return 0;
  output->open = 1;
  output->resting = 0;
  output->mixes_seen = SDL_AtomicGet(&mixes);
  output->mixes_at_open = output->mixes_seen;
  output->mixed_at = SDL_GetTicks64();
  for (int channel = 0; channel < CHANNEL_COUNT; channel++) output->ends_at[channel] = 0;
  return 1;
}

/* Closing the device alone leaves the audio subsystem's own threads, some of which poll for
 * new devices; quitting it leaves none. */
static void close_output(Output* output) {
  if (!output->open) return;
  if (output->resting) SDL_UnlockAudioDevice(output->device);
  output->resting = 0;
  SDL_CloseAudioDevice(output->device);
  SDL_memset(voices, 0, sizeof voices);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  output->open = 0;
}

/* Whether the output has been asked for a second block: its first is mixed as it opens. */
static int started(const Output* output) {
  return SDL_AtomicGet(&mixes) - output->mixes_at_open >= 2;
}

/* Whether the open output still plays: SDL marks an output whose server went away as stopped,
 * and one whose server stopped answering is no longer mixed for. */
static int output_alive(Output* output, Uint64 now) {
  int playing = SDL_GetAudioDeviceStatus(output->device) == SDL_AUDIO_PLAYING;
  int seen = SDL_AtomicGet(&mixes);
  if (seen != output->mixes_seen) {
    output->mixes_seen = seen;
    output->mixed_at = now;
  }
  return playing && now - output->mixed_at < (started(output) ? STALL_MS : START_STALL_MS);
}

static Uint64 quiet_from(const Output* output) {
  Uint64 last = 0;
  for (int channel = 0; channel < CHANNEL_COUNT; channel++) {
    if (output->ends_at[channel] > last) last = output->ends_at[channel];
  }
  return last;
}

static void start(Output* output, Slot* slot, int channel, int loops, Uint64 now) {
  SDL_LockAudioDevice(output->device);
  voices[channel] = (Voice){slot, slot->samples, slot->bytes, 0, loops};
  SDL_UnlockAudioDevice(output->device);
  Uint64 length_ms =
      (Uint64)slot->bytes * 1000u / (sizeof(Sint16) * OUTPUT_CHANNELS * OUTPUT_RATE) + 1u;
  output->ends_at[channel] = loops != 0 ? UINT64_MAX : now + length_ms;
}

static void halt(Output* output, const Slot* slot, Uint64 now) {
  int channel = channel_of(slot);
  /* The music channel may be busy with another music buffer, which must play on. */
  if (!output->open) return;
  SDL_LockAudioDevice(output->device);
  if (voices[channel].slot == slot) {
    voices[channel].samples = NULL;
    output->ends_at[channel] = now;
  }
  SDL_UnlockAudioDevice(output->device);
}

/* Called with the lock held: takes the game's orders into `round` and clears them. */
static void take_orders(Round* round) {
  SDL_memset(round, 0, sizeof *round);
  for (int channel = 0; channel < CHANNEL_COUNT; channel++) {
    Order* order = &orders[channel];
    Slot* slot = lookup(order->buffer);
    if (order->kind == PLAY && slot != NULL) {
      slot->handed = 1;
      round->play[channel] = slot;
      round->loops[channel] = order->loops;
    } else if (order->kind == STOP) {
      round->stop[channel] = slot;
    }
    order->kind = NO_ORDER;
    round->looping[channel] = lookup(looping[channel]);
  }
  for (int i = 0; i < MAX_BUFFERS; i++) {
    if (slots[i].leaving) round->leaving[round->leaving_count++] = &slots[i];
  }
  ordered = 0;
}

/* Makes sure that an output is open when something is to play, or when one was lost: a lost
 * output is tried again every WATCH_MS, and what was looping on it plays again. */
static void keep_open(Output* output, Round* round, Uint64 now) {
  if (output->open && !output->resting && !output_alive(output, now)) {
    if (!output->lost) {
      fputs("zonbeli_sound: the audio output was lost; playing silently until it is back\n",
            stderr);
    }
    output->lost = 1;
    close_output(output);
    output->retry_at = now;
  }
  int wanted = 0;
  for (int channel = 0; channel < CHANNEL_COUNT; channel++) wanted |= round->play[channel] != NULL;
  if (output->open || (!wanted && !output->lost) || (!wanted && now < output->retry_at)) return;
  if (open_output(output, 0)) {
    for (int channel = 0; channel < CHANNEL_COUNT; channel++) {
      if (round->looping[channel] != NULL && round->play[channel] == NULL) {
        start(output, round->looping[channel], channel, -1, now);
      }
    }
    return;
  }
  if (!output->lost) report("the audio output was lost; playing silently until it is back");
  output->lost = 1;
  output->retry_at = now + WATCH_MS;
}

static void serve(Output* output, Round* round) {
  Uint64 now = SDL_GetTicks64();
  keep_open(output, round, now);
  /* A reopened output is back once it has started to play, which one that dies at once never
   * does. */
  if (output->open && output->lost && started(output) && output_alive(output, now)) {
    output->lost = 0;
    fputs("zonbeli_sound: the audio output is back\n", stderr);
  }
  int started = 0;
  for (int channel = 0; channel < CHANNEL_COUNT; channel++) {
    if (round->stop[channel] != NULL) halt(output, round->stop[channel], now);
    if (round->play[channel] != NULL && output->open) {
      start(output, round->play[channel], channel, round->loops[channel], now);
      started = 1;
    }
  }
  for (int i = 0; i < round->leaving_count; i++) halt(output, round->leaving[i], now);
  if (started && output->resting) {
    SDL_UnlockAudioDevice(output->device);
    output->resting = 0;
    output->mixed_at = now;
  }
  if (output->open && !output->resting && !output->lost && now >= quiet_from(output) &&
      now - quiet_from(output) >= QUIET_MS) {
    SDL_LockAudioDevice(output->device);
    output->resting = 1;
  }
  for (int i = 0; i < round->leaving_count; i++) {
    let_go(round->leaving[i]);
  }
}

/* How long the worker may sleep: for good while the output rests, WATCH_MS otherwise. */
static Uint32 nap(const Output* output) {
  return (output->open && !output->resting) || output->lost ? WATCH_MS : SDL_MUTEX_MAXWAIT;
}

static void give_back(Round* round) {
  for (int i = 0; i < round->leaving_count; i++) {
    round->leaving[i]->samples = NULL;
    round->leaving[i]->image = NULL;
    round->leaving[i]->handed = 0;
    round->leaving[i]->leaving = 0;
  }
}

static void finish(Output* output) {
  close_output(output);
  SDL_LockMutex(lock);
  for (int i = 0; i < MAX_BUFFERS; i++) {
    Slot* slot = &slots[i];
    if (slot->samples == NULL) continue;
    let_go(slot);
    slot->samples = NULL;
    slot->image = NULL;
    if (!slot->leaving) slot->reuse = slot->reuse == MAX_REUSE ? 0 : slot->reuse + 1;
    slot->handed = 0;
    slot->leaving = 0;
  }
  unhush_alsa();
  worker_running = 0;
  SDL_CondBroadcast(settled);
  SDL_UnlockMutex(lock);
}

static int work(void* unused) {
  (void)unused;
  /* A play waits for this thread to start it: on a busy machine it should not wait long. */
  SDL_SetThreadPriority(SDL_THREAD_PRIORITY_HIGH);
  Output output;
  SDL_memset(&output, 0, sizeof output);
  int opened = open_output(&output, 1);
  SDL_LockMutex(lock);
  first_open = opened;
  SDL_CondBroadcast(settled);
  if (!opened && !start_given_up) ending = 1;
  output.lost = !opened;
  Round round;
  while (!ending) {
    take_orders(&round);
    SDL_UnlockMutex(lock);
    serve(&output, &round);
    SDL_LockMutex(lock);
    give_back(&round);
    if (!ordered && !ending) SDL_CondWaitTimeout(wake, lock, nap(&output));
  }
  SDL_UnlockMutex(lock);
  finish(&output);
  return 0;
}

/* Called with the lock held. */
static void order(const Slot* slot, OrderKind kind, int loops) {
  Order* noted = &orders[channel_of(slot)];
  noted->kind = kind;
  noted->buffer = handle_of(slot);
  noted->loops = loops;
  ordered = 1;
  SDL_CondSignal(wake);
}

static void play(int32_t buffer, int loops) {
  SDL_LockMutex(lock);
  Slot* slot = lookup(buffer);
  if (slot != NULL) {
    order(slot, PLAY, loops);
    looping[channel_of(slot)] = loops != 0 ? buffer : 0;
  }
  SDL_UnlockMutex(lock);
}

/* Called with the lock held: forgets what `slot` would still play. */
static void unplay(const Slot* slot) {
  int channel = channel_of(slot);
  if (looping[channel] == handle_of(slot)) looping[channel] = 0;
  /* Music ordered from another buffer will end this one anyway, and must still start. */
  if (orders[channel].kind != PLAY || orders[channel].buffer == handle_of(slot)) {
    order(slot, STOP, 0);
  }
}

int32_t dsInitialize(intptr_t window) {
  (void)window;
  if (live_device != 0) return live_device;
  if (lock == NULL) lock = SDL_CreateMutex();
  if (wake == NULL) wake = SDL_CreateCond();
  if (settled == NULL) settled = SDL_CreateCond();
  if (lock == NULL || wake == NULL || settled == NULL) {
    report("no audio output, playing silently");
    return 0;
  }
  /* SDL would otherwise take over SIGINT and SIGTERM, and Ctrl+C would no longer end the game. */
  SDL_SetHintWithPriority(SDL_HINT_NO_SIGNAL_HANDLERS, "1", SDL_HINT_OVERRIDE);
  SDL_LockMutex(lock);
  /* A worker that dsTerminate left closing a slow output is let finish first. */
  while (worker_running) SDL_CondWait(settled, lock);
  SDL_memset(orders, 0, sizeof orders);
  SDL_memset(looping, 0, sizeof looping);
  ordered = 0;
  ending = 0;
  first_open = -1;
  start_given_up = 0;
  worker_running = 1;
  SDL_UnlockMutex(lock);
  hush_alsa();
  worker = SDL_CreateThread(work, "zonbeli-sound", NULL);
  if (worker == NULL) {
    report("no audio output, playing silently");
    SDL_LockMutex(lock);
    worker_running = 0;
    SDL_UnlockMutex(lock);
    unhush_alsa();
    return 0;
  }
  SDL_LockMutex(lock);
  Uint64 until = SDL_GetTicks64() + START_WAIT_MS;
  for (Uint64 now = SDL_GetTicks64(); first_open < 0 && now < until; now = SDL_GetTicks64()) {
    SDL_CondWaitTimeout(settled, lock, (Uint32)(until - now));
  }
  int answer = first_open;
  start_given_up = answer < 0;
  if (answer != 0) {
    last_device = last_device == INT32_MAX ? 1 : last_device + 1;
    live_device = last_device;
  }
  SDL_UnlockMutex(lock);
  if (answer == 0) {
    SDL_WaitThread(worker, NULL);
    worker = NULL;
  }
  return live_device;
}

/* Makes a buffer from the image; `taken`, when not NULL, is the image itself, the library's from
 * here on whatever the answer. */
static int32_t create(int32_t device, const void* image, size_t length, int32_t flags,
                      void* taken) {
  Slot* slot = NULL;
  if (live_device == 0 || device != live_device) {
    sound_refuse("no audio output is open");
  } else if (image == NULL) {
    sound_refuse("there is no image");
  } else {
    SDL_LockMutex(lock);
    for (int i = 0; i < MAX_BUFFERS && slot == NULL; i++) {
      if (slots[i].samples == NULL) slot = &slots[i];
    }
    SDL_UnlockMutex(lock);
    if (slot == NULL) sound_refuse("all %d buffers are taken", MAX_BUFFERS);
  }
  WaveImage wave = {0};
  if (slot == NULL || !wave_parse(image, length, &wave)) {
    free(taken);
    return 0;
  }
  Uint32 bytes = 0;
  Uint8* samples = NULL;
  void* kept = NULL;
  if (taken != NULL && wave.borrowed && SDL_BYTEORDER == SDL_LIL_ENDIAN) {
    /* The samples are played where they lie in the taken image. */
    samples = wave.data;
    bytes = (Uint32)(wave.frames * sizeof(Sint16));
    kept = taken;
  } else {
    samples = wave_samples(&wave, &bytes);
    free(taken);
    if (samples == NULL) return 0;
  }
  SDL_LockMutex(lock);
  slot->samples = samples;
  slot->bytes = bytes;
  slot->image = kept;
  slot->music = flags == DS_LOAD_MUSIC;
  int32_t buffer = handle_of(slot);
  SDL_UnlockMutex(lock);
  sound_accept();
  return buffer;
}

int32_t dsCreateDSB(int32_t device, const void* image, size_t length, int32_t flags) {
  return create(device, image, length, flags, NULL);
}

int32_t dsCreateDSBTaking(int32_t device, void* image, size_t length, int32_t flags) {
  return create(device, image, length, flags, image);
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
  if (slot != NULL) unplay(slot);
  SDL_UnlockMutex(lock);
}

/* The handle is invalid at once. Samples that the mixer may have been given go back once the
 * worker has silenced them; others at once. */
void dsFree(int32_t buffer) {
  SDL_LockMutex(lock);
  Slot* slot = lookup(buffer);
  Slot gone = {0};
  if (slot != NULL) {
    unplay(slot);
    slot->reuse = slot->reuse == MAX_REUSE ? 0 : slot->reuse + 1;
    if (slot->handed) {
      slot->leaving = 1;
    } else {
      gone = *slot;
      slot->samples = NULL;
      slot->image = NULL;
    }
  }
  SDL_UnlockMutex(lock);
  if (gone.samples != NULL) let_go(&gone);
}

void dsTerminate(int32_t device) {
  if (live_device == 0 || device != live_device) return;
  SDL_LockMutex(lock);
  live_device = 0;
  ending = 1;
  SDL_CondSignal(wake);
  Uint64 until = SDL_GetTicks64() + END_WAIT_MS;
  for (Uint64 now = SDL_GetTicks64(); worker_running && now < until; now = SDL_GetTicks64()) {
    SDL_CondWaitTimeout(settled, lock, (Uint32)(until - now));
  }
  int done = !worker_running;
  SDL_UnlockMutex(lock);
  if (done) {
    SDL_WaitThread(worker, NULL);
  } else {
    SDL_DetachThread(worker);
  }
  worker = NULL;
}
