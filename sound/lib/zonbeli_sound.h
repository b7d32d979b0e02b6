// SPDX-License-Identifier: MIT
/* Zonbeli's sound library: a small C interface that plays WAV images through SDL's audio output.
 *
 * Every handle is a small positive integer, never an address. 0 stands for "nothing": a failed
 * initialisation or load returns 0, and every call given 0, an unknown handle or a handle that
 * has already been freed does nothing. Calls must not overlap: they may come from more than one
 * thread, one after another, as when the output is opened on a loading thread and the sounds are
 * played from the window's. */
#ifndef ZONBELI_SOUND_H
#define ZONBELI_SOUND_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define ZONBELI_SOUND_API __attribute__((visibility("default")))
#else
#define ZONBELI_SOUND_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Load flags of dsCreateDSB. Music plays on a channel of its own, one piece at a time: starting
 * one music buffer ends any other. Every other flag value loads an effect; effects mix freely
 * with each other and with the music, and replaying an effect that is still sounding restarts
 * it from its first sample. */
#define DS_LOAD_MUSIC 1
#define DS_LOAD_EFFECT 3

/* Opens the default audio output. The window is not needed on this platform and is ignored.
 * Returns the device handle, or 0 (after one line on stderr) when no output can be opened.
 * Calling it again while a device is open returns the same handle. The output is driven by a
 * thread of the library's own, so that no call ever waits for the sound server. Two seconds
 * after the last sound has ended the output rests, its audio thread asleep, until the next play.
 * An output that dies (its server gone or stopped) is said on stderr in one line, opened again
 * as soon as it can be, with the music that was looping, and said to be back. The device handle
 * and every buffer stay valid throughout. */
ZONBELI_SOUND_API int32_t dsInitialize(intptr_t window);

/* Makes a playable buffer from a complete RIFF/WAVE image of `length` bytes, as SDL's WAV
 * reader reads it: PCM of 8, 16, 24 or 32 bits, float of 32 bits, A-law, mu-law or ADPCM, with
 * up to 255 channels, at 4 to 192 kHz, for less than ten minutes. Everything plays in mono at
 * 44.1 kHz: the channels are mixed down to their mean, and a sound at another rate is resampled.
 * An image already in that format (16-bit mono at 44.1 kHz) is taken as it is and loads fastest.
 * A RIFF or data size of 0 or 0xFFFFFFFF, as streaming tools leave them, or one larger than the
 * image, means that the sound runs to the image's end, so a file cut short plays as far as it
 * goes. The bytes are copied, so the caller may release them as soon as this returns. Returns 0
 * for a device handle that is not the open one, and for an image that is damaged or in any other
 * format; dsLoadError then says why. */
ZONBELI_SOUND_API int32_t dsCreateDSB(int32_t device, const void* image, size_t length,
                                      int32_t flags);

/* As dsCreateDSB, but the image, a block from malloc, is the library's from the call on, whatever
 * the answer, and the library gives it back with free. An image already in the mixer's format
 * plays where it lies, so that the game's music is neither copied nor held twice as it loads. */
ZONBELI_SOUND_API int32_t dsCreateDSBTaking(int32_t device, void* image, size_t length,
                                            int32_t flags);

/* Why the last dsCreateDSB returned 0, in a few English words ("64-bit IEEE floating-point format
 * not supported"); "" after a load that succeeded. */
ZONBELI_SOUND_API const char* dsLoadError(void);

/* Starts the buffer once from its beginning and returns at once. */
ZONBELI_SOUND_API void dsPlay(int32_t buffer);

/* Starts the buffer from its beginning, repeating without a gap until stopped. */
ZONBELI_SOUND_API void dsPlayLooping(int32_t buffer);

/* Silences the buffer if it is sounding. */
ZONBELI_SOUND_API void dsStop(int32_t buffer);

/* Silences and releases the buffer; its handle stays invalid for good. */
ZONBELI_SOUND_API void dsFree(int32_t buffer);

/* Releases every buffer still held and closes the output. A server too slow to let the output
 * go is not waited for: the closing finishes behind the caller. Afterwards dsInitialize may open
 * a new device, once the old one is closed; handles of the old one stay invalid. */
ZONBELI_SOUND_API void dsTerminate(int32_t device);

#ifdef __cplusplus
}
#endif

#endif
