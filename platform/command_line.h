// SPDX-License-Identifier: MIT
// The command line: the game takes no options of its own, only --help and
// --version, and lets the toolkit's standard options through.
#pragma once

namespace zonbeli {

// Answers --help and --version, and refuses anything else that is not one of
// Qt's own options, before any window is opened. Returns -1 when the game
// should start, otherwise the exit status to end with.
int HandleCommandLine(int argc, char** argv);

// Whether Qt is told on the command line which platform or display to use.
bool NamesDisplay(int argc, char** argv);

}  // namespace zonbeli
