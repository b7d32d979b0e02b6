// SPDX-License-Identifier: MIT
/* Reading WAV images, through SDL's WAV reader where they are not plain, and why one that does not
 * play was refused. */
#include <SDL_audio.h>
#include <SDL_error.h>
#include <SDL_rwops.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "sound_internal.h"
#include "zonbeli_sound.h"

/* Anything outside these is a damaged header rather than a real recording. */
#define MIN_RATE 4000u
#define MAX_RATE 192000u
#define MAX_SECONDS 600u

static char refusal[200];

int sound_refuse(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(refusal, sizeof refusal, format, arguments);
  va_end(arguments);
  return 0;
}

void sound_accept(void) {
  refusal[0] = '\0';
}

const char* dsLoadError(void) {
  return refusal;
}

/* The image as SDL reads it: its own bytes in up to four pieces, and up to two size fields
 * given anew, found where they lie in the image. */
typedef struct {
  size_t from, length;
} Piece;

typedef struct {
  size_t at;
  Uint32 value;
} Size;

typedef struct {
  const Uint8* image;
  size_t length;
  size_t at;
  Piece pieces[4];
  int count;
  Size sizes[2];
  int resized;
} View;

static Sint64 view_size(SDL_RWops* rw) {
  return (Sint64)((View*)rw->hidden.unknown.data1)->length;
}

static Sint64 view_seek(SDL_RWops* rw, Sint64 offset, int whence) {
  View* view = rw->hidden.unknown.data1;
  Sint64 base = whence == RW_SEEK_SET   ? 0
                : whence == RW_SEEK_CUR ? (Sint64)view->at
                                        : (Sint64)view->length;
  if (offset > (Sint64)view->length - base || base + offset < 0) {
    return SDL_SetError("seek outside the image");
  }
  view->at = (size_t)(base + offset);
  return (Sint64)view->at;
}

static size_t view_read(SDL_RWops* rw, void* out, size_t size, size_t count) {
  View* view = rw->hidden.unknown.data1;
  if (size == 0) return 0;
  size_t items = SDL_min(count, (view->length - view->at) / size);
  Uint8* to = out;
  size_t left = items * size, start = 0;
  for (int p = 0; p < view->count && left > 0; start += view->pieces[p++].length) {
    const Piece* piece = &view->pieces[p];
    if (view->at >= start + piece->length) continue;
    size_t from = piece->from + (view->at - start);
    size_t bytes = SDL_min(left, start + piece->length - view->at);
    memcpy(to, view->image + from, bytes);
    for (int f = 0; f < view->resized; f++) {
      for (size_t i = 0; i < 4; i++) {
        size_t at = view->sizes[f].at + i;
        if (at >= from && at < from + bytes)
          to[at - from] = (Uint8)(view->sizes[f].value >> (8 * i));
      }
    }
    to += bytes;
    view->at += bytes;
    left -= bytes;
  }
  return items;
}

static size_t view_write(SDL_RWops* rw, const void* in, size_t size, size_t count) {
  (void)rw, (void)in, (void)size, (void)count;
  return 0;
}

static int view_close(SDL_RWops* rw) {
  SDL_FreeRW(rw);
  return 0;
}

static void resize(View* view, size_t at, size_t size) {
  view->sizes[view->resized++] = (Size){at, (Uint32)SDL_min(size, 0xFFFFFFFEu)};
}

/* Where SDL and the files in the wild part ways. A RIFF size too small to hold even "WAVE"
 * means the whole image. A data size of 0 or 0xFFFFFFFF, which streaming tools write before they
 * know it and SDL takes for an empty sound, or one larger than the image, which SDL would
 * allocate before finding the image shorter, means all that follows. A fmt chunk after the data,
 * which SDL refuses, is read before it. 0, refused, for a fmt chunk larger than the image. */
static int smooth_over(View* view) {
  const Uint8* image = view->image;
  const size_t length = view->length;
  size_t data = 0, fmt = 0, fmt_end = 0;
  int fmt_first = 0;
  if (read_le32(image + 4) < 4) resize(view, 4, length - 8);
  for (size_t pos = 12; length - pos >= 8;) {
    size_t size = read_le32(image + pos + 4);
    size_t room = length - pos - 8;
    size_t next = pos + 8 + size + (size & 1u);
    if (memcmp(image + pos, "fmt ", 4) == 0) {
      if (size > room) return sound_refuse("its fmt chunk is cut short");
      if (data == 0) {
        fmt_first = 1;
      } else if (!fmt_first) {
        fmt = pos;
        fmt_end = SDL_min(next, length);
        break;
      }
    } else if (memcmp(image + pos, "data", 4) == 0 && data == 0) {
      data = pos;
      if (size == 0 || size == 0xFFFFFFFFu || size > room) {
        resize(view, pos + 4, room);
        break;
      }
      if (fmt_first) break;
    }
    if (size > room) break;
    pos = SDL_min(next, length);
  }
  if (fmt_end == 0) {
    view->pieces[view->count++] = (Piece){0, length};
  } else {
    view->pieces[view->count++] = (Piece){0, data};
    view->pieces[view->count++] = (Piece){fmt, fmt_end - fmt};
    view->pieces[view->count++] = (Piece){data, fmt - data};
    view->pieces[view->count++] = (Piece){fmt_end, length - fmt_end};
  }
  return 1;
}

/* SDL gives every PCM and float image in one of these, and a coded one decoded to 16 bits. */
static int type_of(SDL_AudioFormat format, SampleType* type) {
  switch (format) {
    case AUDIO_U8:
      *type = SAMPLE_U8;
      return 1;
    case AUDIO_S16LSB:
      *type = SAMPLE_S16;
      return 1;
    case AUDIO_S32LSB:
      *type = SAMPLE_S32;
      return 1;
    case AUDIO_F32LSB:
      *type = SAMPLE_F32;
      return 1;
    default:
      return 0;
  }
}

/* The game's own sounds are plain: a fmt chunk of 16-bit mono PCM at the mixer's rate first, then
 * the data, all inside the RIFF chunk. Their samples are used where they lie in the image, without
 * SDL's copy of them, which for the music would hold another 3.4 MB while it loads. Anything else,
 * or anything SDL might read otherwise, is left to SDL. */
static int read_plain(const Uint8* image, size_t length, WaveImage* wave) {
  if (length < 20 || memcmp(image + 12, "fmt ", 4) != 0) return 0;
  const size_t end = (size_t)read_le32(image + 4) + 8u;
  const size_t fmt_size = read_le32(image + 16);
  if (end > length || end < 36 || fmt_size < 16 || fmt_size > end - 20) return 0;
  const Uint8* fmt = image + 20;
  if (read_le16(fmt) != 1 || read_le16(fmt + 2) != OUTPUT_CHANNELS ||
      read_le32(fmt + 4) != OUTPUT_RATE || read_le16(fmt + 12) != 2 || read_le16(fmt + 14) != 16) {
    return 0;
  }
  for (size_t pos = 20 + fmt_size + (fmt_size & 1u); pos <= end && end - pos >= 8;) {
    const size_t size = read_le32(image + pos + 4);
    if (size > end - pos - 8 || memcmp(image + pos, "fmt ", 4) == 0 ||
        memcmp(image + pos, "fact", 4) == 0) {
      return 0;
    }
    if (memcmp(image + pos, "data", 4) == 0) {
      if (size == 0 || size % 2u != 0) return 0;
      wave->type = SAMPLE_S16;
      wave->channels = OUTPUT_CHANNELS;
      wave->frame_bytes = 2;
      wave->rate = OUTPUT_RATE;
      wave->data = (Uint8*)(image + pos + 8);
      wave->borrowed = 1;
      wave->frames = size / 2u;
      return 1;
    }
    pos += 8 + size + (size & 1u);
  }
  return 0;
}

int wave_parse(const Uint8* image, size_t length, WaveImage* wave) {
  if (length < 12 || memcmp(image, "RIFF", 4) != 0 || memcmp(image + 8, "WAVE", 4) != 0) {
    return sound_refuse("it is not a RIFF/WAVE file");
  }
  if (read_plain(image, length, wave)) {
    if (wave->frames / (Uint64)wave->rate < MAX_SECONDS) return 1;
    wave->data = NULL;
    return sound_refuse("it lasts %u minutes or more", MAX_SECONDS / 60u);
  }
  View view = {.image = image, .length = length};
  if (!smooth_over(&view)) return 0;
  SDL_RWops* rw = SDL_AllocRW();
  if (rw == NULL) return sound_refuse("out of memory");
  rw->type = SDL_RWOPS_UNKNOWN;
  rw->size = view_size;
  rw->seek = view_seek;
  rw->read = view_read;
  rw->write = view_write;
  rw->close = view_close;
  rw->hidden.unknown.data1 = &view;
  SDL_AudioSpec audio;
  Uint8* samples = NULL;
  Uint32 bytes = 0;
  if (SDL_LoadWAV_RW(rw, 1, &audio, &samples, &bytes) == NULL) {
    return sound_refuse("%s", SDL_GetError());
  }
  wave->channels = audio.channels;
  wave->frame_bytes = audio.channels * (SDL_AUDIO_BITSIZE(audio.format) / 8u);
  wave->rate = audio.freq;
  wave->data = samples;
  wave->borrowed = 0;
  wave->frames = wave->frame_bytes == 0 ? 0 : bytes / wave->frame_bytes;
  if (!type_of(audio.format, &wave->type) || wave->frame_bytes == 0) {
    sound_refuse("SDL read it as samples of format 0x%04X, which do not play", audio.format);
  } else if (wave->rate < (int)MIN_RATE || wave->rate > (int)MAX_RATE) {
    sound_refuse("its rate of %d Hz is outside %u to %u Hz", wave->rate, MIN_RATE, MAX_RATE);
  } else if (wave->frames == 0) {
    sound_refuse("its data chunk holds no sound");
  } else if (wave->frames / (Uint64)wave->rate >= MAX_SECONDS) {
    sound_refuse("it lasts %u minutes or more", MAX_SECONDS / 60u);
  } else {
    return 1;
  }
  wave_release(wave);
  return 0;
}

Uint8* wave_adopt(WaveImage* wave) {
  Uint8* samples = wave->data;
  if (wave->borrowed) {
    const size_t bytes = (size_t)wave->frames * wave->frame_bytes;
    samples = SDL_malloc(bytes);
    if (samples != NULL) memcpy(samples, wave->data, bytes);
  }
  wave->data = NULL;
  return samples;
}

void wave_release(WaveImage* wave) {
  if (!wave->borrowed) SDL_FreeWAV(wave->data);
  wave->data = NULL;
}
