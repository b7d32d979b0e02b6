// SPDX-License-Identifier: MIT
/* Tells whether the PulseAudio server the output would reach is PipeWire's stand-in for it.
 *
 * SDL reaches PipeWire through its PulseAudio client unless told otherwise, and that way a
 * sound is heard about 15 ms after it starts, whatever the block size; SDL's own PipeWire
 * client hears it sooner (the figures are in device.c). Whether PipeWire plays the sound is known
 * only from the server's name: a machine may run PipeWire for the screen alone and PulseAudio for
 * the sound. The client library is the one SDL loads anyway, looked up by hand so that the game
 * needs no PulseAudio headers to build. */
#include <SDL.h>
#include <dlfcn.h>
#include <string.h>

#include "sound_internal.h"

enum {
  /* A server that has not said its name by then is left to SDL's usual choice. */
  ASK_MS = 250,
  CONTEXT_NOAUTOSPAWN = 1,
  CONTEXT_READY = 4,
  CONTEXT_FAILED = 5,
  CONTEXT_TERMINATED = 6,
};

/* The leading fields of the server's description, which have kept their places since the
 * library's first stable release. */
typedef struct {
  const char* user_name;
  const char* host_name;
  const char* server_version;
  const char* server_name;
} ServerInfo;

typedef struct Context Context;
typedef struct Loop Loop;
typedef struct Operation Operation;
typedef void (*InfoCallback)(Context* context, const ServerInfo* info, void* answer);

typedef struct {
  Loop* (*loop_new)(void);
  void* (*loop_api)(Loop* loop);
  int (*iterate)(Loop* loop, int block, int* result);
  void (*loop_free)(Loop* loop);
  Context* (*context_new)(void* api, const char* name);
  int (*connect)(Context* context, const char* server, int flags, const void* spawn);
  int (*state)(const Context* context);
  Operation* (*server_info)(Context* context, InfoCallback callback, void* answer);
  void (*operation_unref)(Operation* operation);
  void (*disconnect)(Context* context);
  void (*context_unref)(Context* context);
} Pulse;

static int find(void* library, const char* name, void* function) {
  void* symbol = dlsym(library, name);
  if (symbol == NULL) return 0;
  memcpy(function, &symbol, sizeof symbol);
  return 1;
}

static int find_all(void* library, Pulse* pulse) {
  return find(library, "pa_mainloop_new", &pulse->loop_new) &&
         find(library, "pa_mainloop_get_api", &pulse->loop_api) &&
         find(library, "pa_mainloop_iterate", &pulse->iterate) &&
         find(library, "pa_mainloop_free", &pulse->loop_free) &&
         find(library, "pa_context_new", &pulse->context_new) &&
         find(library, "pa_context_connect", &pulse->connect) &&
         find(library, "pa_context_get_state", &pulse->state) &&
         find(library, "pa_context_get_server_info", &pulse->server_info) &&
         find(library, "pa_operation_unref", &pulse->operation_unref) &&
         find(library, "pa_context_disconnect", &pulse->disconnect) &&
         find(library, "pa_context_unref", &pulse->context_unref);
}

/* PipeWire's server calls itself "PulseAudio (on PipeWire 0.3.65)". */
static void take_name(Context* context, const ServerInfo* info, void* answer) {
  (void)context;
  *(int*)answer =
      info != NULL && info->server_name != NULL && strstr(info->server_name, "PipeWire") != NULL;
}

static int ask(const Pulse* pulse) {
  Loop* loop = pulse->loop_new();
  if (loop == NULL) return 0;
  Context* context = pulse->context_new(pulse->loop_api(loop), "zonbeli");
  int answer = -1;
  if (context != NULL && pulse->connect(context, NULL, CONTEXT_NOAUTOSPAWN, NULL) >= 0) {
    Operation* asking = NULL;
    Uint64 give_up = SDL_GetTicks64() + ASK_MS;
    while (answer < 0 && SDL_GetTicks64() < give_up) {
      int state = pulse->state(context);
      if (state == CONTEXT_FAILED || state == CONTEXT_TERMINATED) break;
      if (state == CONTEXT_READY && asking == NULL) {
        asking = pulse->server_info(context, take_name, &answer);
        if (asking == NULL) break;
      }
      if (pulse->iterate(loop, 0, NULL) < 0) break;
      if (answer < 0) SDL_Delay(1);
    }
    if (asking != NULL) pulse->operation_unref(asking);
    pulse->disconnect(context);
  }
  if (context != NULL) pulse->context_unref(context);
  pulse->loop_free(loop);
  return answer == 1;
}

int pulse_server_is_pipewire(void) {
  /* Kept loaded once found: the library leaves per-thread state behind. */
  static int found = -1;
  static Pulse pulse;
  if (found < 0) {
    void* library = dlopen("libpulse.so.0", RTLD_LAZY | RTLD_LOCAL);
    found = library != NULL && find_all(library, &pulse);
  }
  return found && ask(&pulse);
}
