// SPDX-License-Identifier: MIT
// Feeds arbitrary bytes to the sound library as WAV images. Whatever the bytes, loading must
// either succeed or give 0 without touching memory outside the image.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "zonbeli_sound.h"

namespace {

int32_t device = 0;

void close_device() {
  dsTerminate(device);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  device = dsInitialize(0);
  if (device == 0) {
    std::fputs("fuzz_sound_image: the dummy audio driver did not open\n", stderr);
    std::abort();
  }
  std::atexit(close_device);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The last byte picks music or effect, so both kinds get loaded, played and released; the
  // one before it whether the library takes a copy of the image, to keep or give back.
  int32_t flags = size > 0 && (data[size - 1] & 1) != 0 ? DS_LOAD_MUSIC : DS_LOAD_EFFECT;
  int32_t buffer = 0;
  if (size > 1 && (data[size - 2] & 1) != 0) {
    void* image = std::malloc(size);
    if (image == nullptr) return 0;
    std::memcpy(image, data, size);
    buffer = dsCreateDSBTaking(device, image, size, flags);
  } else {
    buffer = dsCreateDSB(device, data, size, flags);
  }
  dsPlay(buffer);
  dsFree(buffer);
  return 0;
}
