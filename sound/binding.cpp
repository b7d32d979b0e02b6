// SPDX-License-Identifier: MIT
#include "binding.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "zonbeli_sound.h"

namespace zonbeli {

namespace {

// The library is opened by name: the program's own search path leads to it,
// beside the program in a build and in the game's private folder once
// installed. SDL and the thirty libraries it brings take longer to load than
// the toolkit needs to reach the display.
constexpr const char* kLibrary = "libzonbeli_sound.so.0";

struct Library {
  decltype(&::dsInitialize) initialize;
  decltype(&::dsCreateDSB) create;
  decltype(&::dsCreateDSBTaking) create_taking;
  decltype(&::dsLoadError) load_error;
  decltype(&::dsPlay) play;
  decltype(&::dsPlayLooping) play_looping;
  decltype(&::dsStop) stop;
  decltype(&::dsFree) free;
  decltype(&::dsTerminate) terminate;
  // The device opened as soon as the library was loaded, for the game's
  // first dsInitialize; empty when the library was loaded where the game
  // first asked for it.
  std::optional<std::int32_t> opened_ahead;
};

template <typename Function>
void Find(void* handle, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(handle, name));
  if (function == nullptr) {
    std::fprintf(stderr, "zonbeli: the sound library %s has no %s\n", kLibrary, name);
    std::_Exit(1);
  }
}

// Beside the program in a build tree, in the game's private folder once
// installed, both found from the program's own folder as its sounds are; the
// loader's own search is the last resort. A path is given where one is
// known: a name alone is looked up through the search path of whoever calls
// dlopen, and a sanitizer's interceptor stands in for the program there.
void* Open() {
  char program[4096];
  const ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
  if (length > 0) {
    std::string folder(program, static_cast<std::size_t>(length));
    folder.erase(folder.rfind('/') + 1);
    for (const std::string& path :
         {folder + kLibrary, folder + ZONBELI_LIBRARY_FROM_BIN "/" + kLibrary}) {
      if (void* handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL)) return handle;
    }
  }
  return dlopen(kLibrary, RTLD_LAZY | RTLD_LOCAL);
}

// The game cannot start without its sound library, as if the loader had
// not found it at exec.
Library Load() {
  void* handle = Open();
  if (handle == nullptr) {
    std::fprintf(stderr, "zonbeli: cannot load the sound library: %s\n", dlerror());
    std::_Exit(1);
  }
  Library library{};
  Find(handle, "dsInitialize", library.initialize);
  Find(handle, "dsCreateDSB", library.create);
  Find(handle, "dsCreateDSBTaking", library.create_taking);
  Find(handle, "dsLoadError", library.load_error);
  Find(handle, "dsPlay", library.play);
  Find(handle, "dsPlayLooping", library.play_looping);
  Find(handle, "dsStop", library.stop);
  Find(handle, "dsFree", library.free);
  Find(handle, "dsTerminate", library.terminate);
  return library;
}

std::future<Library> g_loading;
std::once_flag g_started;

const Library& Loaded() {
  static const Library library = [] {
    std::call_once(g_started, [] { g_loading = std::async(std::launch::deferred, Load); });
    return g_loading.get();
  }();
  return library;
}

// Sound files read whole by the window, still held by the game, by address
// and size. dsCreateDSB hands the library a file it finds here, for the
// library to keep as it stands; the game's release of it then does nothing.
// Reading a file, copying it and letting the first copy go cost the music's
// 3.4 MB twice over as the game starts.
std::mutex g_files_lock;
std::unordered_map<void*, std::size_t> g_files;
// An address can be handed over again, once the library has let the first
// file go and the game has not yet: each hand-over is let go on its own.
std::unordered_multiset<void*> g_handed;

void* AllocateFile(std::size_t bytes) {
  void* block = std::malloc(bytes);
  if (block == nullptr) return nullptr;
  const std::lock_guard<std::mutex> hold(g_files_lock);
  g_files.emplace(block, bytes);
  return block;
}

void ReleaseFile(void* block, std::size_t /*bytes*/) {
  {
    const std::lock_guard<std::mutex> hold(g_files_lock);
    if (const auto handed = g_handed.find(block); handed != g_handed.end()) {
      g_handed.erase(handed);
      return;
    }
    g_files.erase(block);
  }
  std::free(block);
}

// Whether the library may take the image: a whole file the window read, which
// the game lets go of once it has a buffer.
bool HandOver(const std::uint8_t* image, std::size_t length) {
  void* block = const_cast<std::uint8_t*>(image);
  const std::lock_guard<std::mutex> hold(g_files_lock);
  const auto file = g_files.find(block);
  if (file == g_files.end() || file->second != length) return false;
  g_files.erase(file);
  g_handed.insert(block);
  return true;
}

}  // namespace

// SDL's PulseAudio client asks the server to buffer exactly one of the
// library's mixing blocks, so the block would set both how long a sound waits
// to be mixed and how long it then waits in the server: a block short enough
// for the first leaves too thin a buffer for the second, and the music breaks
// up whenever the machine is busy. PulseAudio's client library takes the
// buffer from PULSE_LATENCY_MSEC instead when it is set: 10 ms is nearly two
// of the library's 256-frame blocks. The client reads it as the output
// opens, on the library's own thread; setting it there would race with every
// other thread that reads the environment, so it is set before any starts.
void AskForAShortSoundBuffer() {
  setenv("PULSE_LATENCY_MSEC", "10", 0);
}

// The library has no use for the window on this platform, so the output is
// opened on the loading thread too, while the window is being made, and the
// game's first dsInitialize takes the answer, or waits for it. Whatever the
// library says about the output lands on stderr a little earlier; the game's
// warning comes where it always did. The sounds are read only for an open
// output: the game loads none without one.
void StartLoadingSoundLibrary(void (*then_read_sounds)(FileBytes::Memory)) {
  std::call_once(g_started, [then_read_sounds] {
    g_loading = std::async(std::launch::async, [then_read_sounds] {
      Library library = Load();
      library.opened_ahead = library.initialize(0);
      if (*library.opened_ahead != 0) then_read_sounds({AllocateFile, ReleaseFile});
      return library;
    });
  });
}

std::int32_t SharedSoundLibrary::dsInitialize(std::intptr_t window) {
  static bool answered_ahead = false;
  const Library& library = Loaded();
  if (library.opened_ahead && !std::exchange(answered_ahead, true)) return *library.opened_ahead;
  return library.initialize(window);
}
std::int32_t SharedSoundLibrary::dsCreateDSB(std::int32_t device, const std::uint8_t* image,
                                             std::size_t length, std::int32_t flags) {
  const Library& library = Loaded();
  if (HandOver(image, length))
    return library.create_taking(device, const_cast<std::uint8_t*>(image), length, flags);
  return library.create(device, image, length, flags);
}
void SharedSoundLibrary::dsPlay(std::int32_t buffer) {
  Loaded().play(buffer);
}
void SharedSoundLibrary::dsPlayLooping(std::int32_t buffer) {
  Loaded().play_looping(buffer);
}
void SharedSoundLibrary::dsStop(std::int32_t buffer) {
  Loaded().stop(buffer);
}
void SharedSoundLibrary::dsFree(std::int32_t buffer) {
  Loaded().free(buffer);
}
void SharedSoundLibrary::dsTerminate(std::int32_t device) {
  Loaded().terminate(device);
}
std::string SharedSoundLibrary::LoadError() {
  return Loaded().load_error();
}
FileBytes::Memory SharedSoundLibrary::FileMemory() {
  return {AllocateFile, ReleaseFile};
}

}  // namespace zonbeli
