// SPDX-License-Identifier: MIT
/* What the parts of the sound library share: the mixer's format, a WAV image as read, the
 * steps from an image to a playable run of samples, and which server the output plays to. */
#ifndef ZONBELI_SOUND_INTERNAL_H
#define ZONBELI_SOUND_INTERNAL_H

#include <SDL_stdinc.h>
#include <stddef.h>

/* Every sound of the game is recorded in mono at 44.1 kHz; the mixer works in that format, so
 * the game's own files load by a plain copy and a stereo mix would only double the memory. */
enum { OUTPUT_RATE = 44100, OUTPUT_CHANNELS = 1 };

/* The sample types SDL's WAV reader gives: 24-bit samples come widened to 32, and coded ones
 * (ADPCM, A-law, mu-law) decoded to 16. */
typedef enum { SAMPLE_U8, SAMPLE_S16, SAMPLE_S32, SAMPLE_F32 } SampleType;

typedef struct {
  SampleType type;
  unsigned channels;
  unsigned frame_bytes;
  int rate;
  Uint8* data;  /* the samples, held until adopted or released */
  int borrowed; /* data lies in the caller's image and is only read, or else it is SDL's copy */
  Uint64 frames;
} WaveImage;

static inline Uint16 read_le16(const Uint8* p) {
  return (Uint16)(p[0] | (p[1] << 8));
}

static inline Uint32 read_le32(const Uint8* p) {
  return (Uint32)p[0] | ((Uint32)p[1] << 8) | ((Uint32)p[2] << 16) | ((Uint32)p[3] << 24);
}

/* Says why dsCreateDSB answered 0, for dsLoadError; always returns 0. */
int sound_refuse(const char* format, ...);

/* Clears the reason after a load that succeeded. */
void sound_accept(void);

/* Decodes a RIFF/WAVE image of `length` bytes; 0, refused with its reason and holding nothing,
 * when it is damaged or in a format that does not play. */
int wave_parse(const Uint8* image, size_t length, WaveImage* wave);

/* The decoded samples in a block from SDL_malloc, which the caller now holds. */
Uint8* wave_adopt(WaveImage* wave);

/* Gives back the decoded samples. */
void wave_release(WaveImage* wave);

/* The image's samples in the mixer's format, in a block from SDL_malloc of exactly their size;
 * NULL, refused, when memory runs out. The decoded samples are adopted or released either way. */
Uint8* wave_samples(WaveImage* wave, Uint32* out_bytes);

/* Whether the PulseAudio server the output would reach is PipeWire's; 0 when there is none or
 * it does not answer within a quarter of a second. Called by the library's worker only. */
int pulse_server_is_pipewire(void);

#endif
