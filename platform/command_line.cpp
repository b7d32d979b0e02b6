// SPDX-License-Identifier: MIT
#include "command_line.h"

#include <cstdio>
#include <string_view>

namespace zonbeli {

namespace {

constexpr const char* kUsage =
    "Usage: zonbeli [-h | --help | --version]\n"
    "\n"
    "Zonbeli is a falling-stone puzzle played with shogi pieces. Stones fall\n"
    "three at a time into a well; stones of the same kind that attack one\n"
    "another by their shogi moves link, and every group of three or more is\n"
    "erased. Start a game from the menu: ゲーム -> 開始, or F10 then Return.\n"
    "\n"
    "Keys:\n"
    "  Left, Right   move the trio one column\n"
    "  Up            turn the trio a quarter turn counter-clockwise\n"
    "  Down (hold)   fall fast\n"
    "  Esc           quit at once\n"
    "  F10           open the menu ゲーム; Left, Right walk the menus, Up,\n"
    "                Down the items, Return chooses, Esc closes the menu\n"
    "  Alt           pressed and let go alone: mark the menu bar\n"
    "\n"
    "The game has no options of its own; Qt's standard options, such as\n"
    "-platform and -display, are passed on to Qt.\n"
    "\n"
    "  -h, --help    show this text and exit\n"
    "  --version     show the version and exit\n";

}  // namespace

int HandleCommandLine(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--version") {
      std::puts("zonbeli " ZONBELI_VERSION);
      return 0;
    }
  }
  return -1;
}

int RefuseLeftOver(int argc, char** argv) {
  if (argc <= 1) return -1;
  std::fprintf(stderr, "zonbeli: unknown argument '%s'\n\n%s", argv[1], kUsage);
  return 2;
}

bool NamesDisplay(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string_view option = argv[i];
    if (option.starts_with("--")) option.remove_prefix(1);
    if (option == "-platform" || option == "-display" || option.starts_with("-platform="))
      return true;
  }
  return false;
}

}  // namespace zonbeli
