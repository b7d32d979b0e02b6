// SPDX-License-Identifier: MIT
#include "sound_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <new>
#include <optional>
#include <vector>

#include "form1.h"

namespace zonbeli {

namespace {

constexpr const char* kChangedWhileRead = "the file changed while it was being read";

// Closed when it goes out of scope, however the reading ends.
struct FileDescriptor {
  explicit FileDescriptor(int opened) : fd(opened) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd >= 0) close(fd);
  }
  const int fd;
};

// The file is measured once, on the open file, and read to its end. Another
// program may be writing it meanwhile: a file that ends before its size, runs
// on past it or has been modified by the time it is read is refused, so the
// game never takes part of one version and part of another.
bool ReadOpenFile(int fd, const struct stat& before, const FileBytes::Memory& memory,
                  FileBytes& bytes, std::string& error) {
  const auto refuse = [&](const char* why) {
    error = why != nullptr ? why : std::strerror(errno);
    bytes.clear();
    return false;
  };
  bytes.allocate(static_cast<std::size_t>(before.st_size), memory);
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t got = read(fd, bytes.data() + filled, bytes.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return refuse(nullptr);
    if (got == 0) return refuse(kChangedWhileRead);
    filled += static_cast<std::size_t>(got);
  }
  char beyond = 0;
  ssize_t more = 0;
  do {
    more = read(fd, &beyond, 1);
  } while (more < 0 && errno == EINTR);
  if (more < 0) return refuse(nullptr);
  struct stat after {};
  if (fstat(fd, &after) != 0) return refuse(nullptr);
  if (more > 0 || after.st_size != before.st_size ||
      after.st_mtim.tv_sec != before.st_mtim.tv_sec ||
      after.st_mtim.tv_nsec != before.st_mtim.tv_nsec)
    return refuse(kChangedWhileRead);
  return true;
}

// The same file, unchanged since it was measured as `then`: any write moves
// its change time, whatever is done to its modification time afterwards.
bool SameFile(const struct stat& then, const struct stat& now) {
  return then.st_dev == now.st_dev && then.st_ino == now.st_ino && then.st_size == now.st_size &&
         then.st_mtim.tv_sec == now.st_mtim.tv_sec && then.st_mtim.tv_nsec == now.st_mtim.tv_nsec &&
         then.st_ctim.tv_sec == now.st_ctim.tv_sec && then.st_ctim.tv_nsec == now.st_ctim.tv_nsec;
}

struct ReadAhead {
  std::string path;
  struct stat measured;
  FileBytes bytes;
};

enum class Stage { kNotStarted, kReading, kEnded };

std::mutex g_ahead_lock;
std::condition_variable g_ahead_ended;
Stage g_stage = Stage::kNotStarted;
std::vector<ReadAhead> g_ahead;

// What was read ahead from `path`, once the reading ahead has ended; it is
// the caller's either way, and nothing is left there.
std::optional<ReadAhead> TakeReadAhead(const std::string& path) {
  std::unique_lock<std::mutex> hold(g_ahead_lock);
  g_ahead_ended.wait(hold, [] { return g_stage != Stage::kReading; });
  for (auto file = g_ahead.begin(); file != g_ahead.end(); ++file) {
    if (file->path != path) continue;
    ReadAhead taken = std::move(*file);
    g_ahead.erase(file);
    return taken;
  }
  return std::nullopt;
}

std::string ProgramFolder() {
  std::error_code failed;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", failed);
  return failed ? std::string() : program.parent_path().string();
}

}  // namespace

std::string InstalledSoundFolder() {
  return std::filesystem::path(ProgramFolder() + "/" ZONBELI_SOUNDS_FROM_BIN)
      .lexically_normal()
      .string();
}

std::string GameSoundFolder() {
  const std::string program = ProgramFolder();
  if (program.empty()) return {};
  for (const std::string& folder : {program + "/sounds", InstalledSoundFolder()}) {
    std::error_code failed;
    if (std::filesystem::is_directory(folder, failed)) return folder;
  }
  return {};
}

bool ReadWholeFile(const std::string& path, const FileBytes::Memory& memory, FileBytes& bytes,
                   std::string& error, const std::function<void(const std::string&)>& measured) {
  bytes.clear();
  const FileDescriptor file{open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  struct stat now {};
  if (file.fd < 0 || fstat(file.fd, &now) != 0) {
    error = std::strerror(errno);
    return false;
  }
  if (measured) measured(path);
  if (std::optional<ReadAhead> ahead = TakeReadAhead(path)) {
    if (SameFile(ahead->measured, now)) {
      bytes = std::move(ahead->bytes);
      return true;
    }
  }
  return ReadOpenFile(file.fd, now, memory, bytes, error);
}

// Only an aid: without memory for it, the game reads its sounds itself.
void ReadSoundFilesAhead(FileBytes::Memory memory) {
  try {
    ReadSoundFilesAheadFrom(GameSoundFolder(), memory);
  } catch (const std::bad_alloc&) {
  }
}

void ReadSoundFilesAheadFrom(const std::string& folder, const FileBytes::Memory& memory) {
  {
    const std::lock_guard<std::mutex> hold(g_ahead_lock);
    if (g_stage != Stage::kNotStarted) return;
    g_stage = Stage::kReading;
  }
  struct Ended {
    ~Ended() {
      {
        const std::lock_guard<std::mutex> hold(g_ahead_lock);
        g_stage = Stage::kEnded;
      }
      g_ahead_ended.notify_all();
    }
  } ended;
  if (folder.empty()) return;
  for (const 音定義& sound : 音_一覧) {
    ReadAhead file{folder + "/" + std::string(sound.name) + ".wav", {}, {}};
    const FileDescriptor opened{open(file.path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (opened.fd < 0 || fstat(opened.fd, &file.measured) != 0) continue;
    // What the game would refuse to read is left to it, to say why.
    if (!S_ISREG(file.measured.st_mode) || file.measured.st_size <= 0 ||
        static_cast<std::uint64_t>(file.measured.st_size) > kLargestSoundFile)
      continue;
    std::string error;
    if (!ReadOpenFile(opened.fd, file.measured, memory, file.bytes, error)) continue;
    const std::lock_guard<std::mutex> hold(g_ahead_lock);
    g_ahead.push_back(std::move(file));
  }
}

void DropSoundFilesReadAhead() {
  std::vector<ReadAhead> dropped;
  std::unique_lock<std::mutex> hold(g_ahead_lock);
  g_ahead_ended.wait(hold, [] { return g_stage != Stage::kReading; });
  dropped.swap(g_ahead);
  g_stage = Stage::kNotStarted;
}

}  // namespace zonbeli
