// SPDX-License-Identifier: MIT
// The game's sound calls, handed to our shared sound library.
#pragma once

#include "services.h"

namespace zonbeli {

// Sets how much sound a PulseAudio server buffers for the game, unless the
// player has; to be called while the program has no other thread.
void AskForAShortSoundBuffer();

// Starts loading the sound library, with SDL and everything it brings, and
// opening the audio output, on a thread of its own, so that the window can
// come up meanwhile. Once the output is open, the same thread runs
// `then_read_sounds` with the memory the library keeps files in. The first
// call of the library waits for all of it; without this it loads there.
void StartLoadingSoundLibrary(void (*then_read_sounds)(FileBytes::Memory));

class SharedSoundLibrary final : public SoundLibrary {
 public:
  std::int32_t dsInitialize(std::intptr_t window) override;
  std::int32_t dsCreateDSB(std::int32_t device, const std::uint8_t* image, std::size_t length,
                           std::int32_t flags) override;
  void dsPlay(std::int32_t buffer) override;
  void dsPlayLooping(std::int32_t buffer) override;
  void dsStop(std::int32_t buffer) override;
  void dsFree(std::int32_t buffer) override;
  void dsTerminate(std::int32_t device) override;
  std::string LoadError() override;
  FileBytes::Memory FileMemory() override;
};

}  // namespace zonbeli
