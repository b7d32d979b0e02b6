// SPDX-License-Identifier: MIT
#include "binding.h"

#include "zonbeli_sound.h"

namespace zonbeli {

std::int32_t SharedSoundLibrary::dsInitialize(std::intptr_t window) {
  return ::dsInitialize(window);
}
std::int32_t SharedSoundLibrary::dsCreateDSB(std::int32_t device, const std::uint8_t* image,
                                             std::size_t length, std::int32_t flags) {
  return ::dsCreateDSB(device, image, length, flags);
}
void SharedSoundLibrary::dsPlay(std::int32_t buffer) {
  ::dsPlay(buffer);
}
void SharedSoundLibrary::dsPlayLooping(std::int32_t buffer) {
  ::dsPlayLooping(buffer);
}
void SharedSoundLibrary::dsStop(std::int32_t buffer) {
  ::dsStop(buffer);
}
void SharedSoundLibrary::dsFree(std::int32_t buffer) {
  ::dsFree(buffer);
}
void SharedSoundLibrary::dsTerminate(std::int32_t device) {
  ::dsTerminate(device);
}
std::string SharedSoundLibrary::LoadError() {
  return ::dsLoadError();
}

}  // namespace zonbeli
