// SPDX-License-Identifier: MIT
/* Reading WAV images: where a RIFF/WAVE image keeps its format and its samples, and why one that
 * does not play was refused. */
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

/* WAVE_FORMAT_EXTENSIBLE names its sample type by GUID; this is the tail shared by all of them
 * after the 32-bit format tag. */
static const Uint8 extensible_guid_tail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                               0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

enum { TAG_PCM = 1, TAG_FLOAT = 3, TAG_EXTENSIBLE = 0xFFFE };

static int parse_format(const Uint8* fmt, Uint32 size, WaveImage* wave) {
  if (size < 16) return sound_refuse("its fmt chunk is too short");
  Uint32 tag = read_le16(fmt);
  Uint16 channels = read_le16(fmt + 2);
  Uint32 rate = read_le32(fmt + 4);
  Uint16 block_align = read_le16(fmt + 12);
  Uint16 bits = read_le16(fmt + 14);
  if (tag == TAG_EXTENSIBLE) {
    if (size < 40 || read_le16(fmt + 16) < 22 ||
        memcmp(fmt + 28, extensible_guid_tail, sizeof extensible_guid_tail) != 0) {
      return sound_refuse("its extensible fmt chunk is damaged");
    }
    tag = read_le32(fmt + 24);
  }
  if (tag != TAG_PCM && tag != TAG_FLOAT) {
    return sound_refuse("its samples are coded (format 0x%04X); only PCM and float play",
                        (unsigned)tag);
  }
  if (channels == 0) return sound_refuse("it has no channels");
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
    return sound_refuse("%u-bit %s samples do not play", (unsigned)bits,
                        tag == TAG_FLOAT ? "float" : "integer");
  }
  if (rate < MIN_RATE || rate > MAX_RATE) {
    return sound_refuse("its rate of %u Hz is outside %u to %u Hz", (unsigned)rate, MIN_RATE,
                        MAX_RATE);
  }
  if (block_align != (Uint32)channels * (bits / 8u)) {
    return sound_refuse("its block size %u does not fit %u channels of %u bits",
                        (unsigned)block_align, (unsigned)channels, (unsigned)bits);
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

int wave_parse(const Uint8* image, size_t length, WaveImage* wave) {
  if (length < 12 || memcmp(image, "RIFF", 4) != 0 || memcmp(image + 8, "WAVE", 4) != 0) {
    return sound_refuse("it is not a RIFF/WAVE file");
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
      if (data != NULL) return sound_refuse("it has two data chunks");
      if (size_unknown((Uint32)size, end - pos)) size = end - pos;
      data = image + pos;
      data_size = size;
    } else if (size > end - pos) {
      if (memcmp(id, "fmt ", 4) == 0) return sound_refuse("its fmt chunk is cut short");
      break;
    } else if (memcmp(id, "fmt ", 4) == 0) {
      if (fmt != NULL) return sound_refuse("it has two fmt chunks");
      fmt = image + pos;
      fmt_size = (Uint32)size;
    }
    pos += size;
    /* Odd-sized chunks are followed by a pad byte, which a last chunk may lack. */
    if ((size & 1u) != 0 && pos < end) pos++;
  }
  if (fmt == NULL) return sound_refuse("it has no fmt chunk");
  if (data == NULL) return sound_refuse("it has no data chunk");
  if (!parse_format(fmt, fmt_size, wave)) return 0;
  wave->frames = data_size / wave->frame_bytes;
  if (wave->frames == 0) return sound_refuse("its data chunk holds no sound");
  if (wave->frames / (Uint64)wave->rate >= MAX_SECONDS) {
    return sound_refuse("it lasts %u minutes or more", MAX_SECONDS / 60u);
  }
  wave->data = data;
  return 1;
}
