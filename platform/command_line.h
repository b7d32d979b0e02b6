// SPDX-License-Identifier: MIT
// The command line: the game takes no options of its own, only --help, -h
// and --version; the toolkit takes its standard options, and anything else
// is refused.
#pragma once

namespace zonbeli {

// Answers --help, -h and --version before the toolkit starts. Returns -1
// when the game should go on, otherwise the exit status to end with.
int HandleCommandLine(int argc, char** argv);

// Refuses, with the usage, what the toolkit left of the command line once it
// took its own options away. Returns -1 when nothing is left, otherwise 2.
int RefuseLeftOver(int argc, char** argv);

// Whether Qt is told on the command line which platform or display to use.
bool NamesDisplay(int argc, char** argv);

}  // namespace zonbeli
