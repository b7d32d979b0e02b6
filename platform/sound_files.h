// SPDX-License-Identifier: MIT
// Reading the game's sound files: where its own lie, a file read whole, and
// its own ten read ahead while the toolkit starts.
#pragma once

#include <functional>
#include <string>

#include "file_bytes.h"

namespace zonbeli {

// Where the build puts the game's own sounds relative to the program's
// folder, so that an installed tree still finds them when it is moved.
std::string InstalledSoundFolder();

// The folder of the game's own sounds: beside the program in a build tree,
// or the installed one; empty when neither is there.
std::string GameSoundFolder();

// Reads the file at `path` whole into `memory`, or says why it cannot.
// `measured`, when set, is told the path once the open file is measured and
// before any of it is read. A file read ahead is handed over instead, if the
// file there is still the one that was read.
bool ReadWholeFile(const std::string& path, const FileBytes::Memory& memory, FileBytes& bytes,
                   std::string& error, const std::function<void(const std::string&)>& measured);

// Reads the game's own ten sounds from its folder into `memory`, for
// ReadWholeFile to hand over. Meant for a thread of its own while the
// toolkit starts: the music alone takes milliseconds to read.
void ReadSoundFilesAhead(FileBytes::Memory memory);
// The same from `folder`; std::bad_alloc when memory runs out.
void ReadSoundFilesAheadFrom(const std::string& folder, const FileBytes::Memory& memory);

// Lets go of what was read ahead and not asked for, once the reading ahead
// has ended; the next reading ahead starts afresh.
void DropSoundFilesReadAhead();

}  // namespace zonbeli
