// SPDX-License-Identifier: MIT
// Where zonbeli-record writes its script. The recording is written under a
// temporary name beside the one asked for and takes that name only once all
// of it is safely on disk, so a full disk never leaves a cut recording that
// looks whole, nor spoils an earlier one of the same name.
#pragma once

#include <fstream>
#include <string>

namespace zonbeli {

class RecordingFile {
 public:
  // A device or a pipe (/dev/stdout) cannot be renamed onto; it is written
  // directly, every write still checked.
  explicit RecordingFile(const std::string& path);

  std::ofstream& stream() { return stream_; }
  // False once anything written so far is lost; error() then says why.
  bool good();
  // Makes the recording durable and gives it its name.
  bool commit();
  // Removes what was written under the temporary name.
  void discard();
  // "PATH: reason".
  const std::string& error() const { return error_; }

 private:
  bool lost();

  std::string path_;
  std::string temporary_;
  std::ofstream stream_;
  std::string error_;
};

}  // namespace zonbeli
