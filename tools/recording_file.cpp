// SPDX-License-Identifier: MIT
#include "recording_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace zonbeli {

RecordingFile::RecordingFile(const std::string& path) : path_(path) {
  struct stat target {};
  if (stat(path.c_str(), &target) == 0) {
    if (!S_ISREG(target.st_mode)) {
      stream_.open(path_, std::ios::binary);
      if (!stream_) lost();
      return;
    }
    // A link keeps pointing at the recording it names.
    std::error_code ignored;
    path_ = std::filesystem::canonical(path, ignored).string();
    if (path_.empty()) path_ = path;
  }
  // Created here, so that nobody else's file is written over; the process
  // number keeps two recorders in one folder apart.
  const std::filesystem::path final_path(path_);
  for (int attempt = 0; attempt < 100 && temporary_.empty(); ++attempt) {
    const std::string name =
        (final_path.parent_path() / ("." + final_path.filename().string() + "." +
                                     std::to_string(getpid()) + "." + std::to_string(attempt)))
            .string();
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      close(fd);
      temporary_ = name;
    } else if (errno != EEXIST) {
      lost();
      return;
    }
  }
  stream_.open(temporary_, std::ios::binary | std::ios::trunc);
  if (!stream_) lost();
}

bool RecordingFile::good() {
  return stream_ ? true : lost();
}

bool RecordingFile::commit() {
  if (!stream_.flush()) return lost();
  stream_.close();
  if (stream_.fail()) return lost();
  if (temporary_.empty()) return true;
  // A disk may take bytes it cannot hold yet and say so only when they are
  // written out.
  const int fd = open(temporary_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return lost();
  const bool synced = fsync(fd) == 0;
  const int sync_error = errno;
  close(fd);
  errno = sync_error;
  if (!synced || std::rename(temporary_.c_str(), path_.c_str()) != 0) return lost();
  temporary_.clear();
  return true;
}

void RecordingFile::discard() {
  if (!temporary_.empty()) unlink(temporary_.c_str());
  temporary_.clear();
}

bool RecordingFile::lost() {
  if (error_.empty()) {
    error_ = path_ + ": " + (errno != 0 ? std::strerror(errno) : "a write failed");
  }
  return false;
}

}  // namespace zonbeli
