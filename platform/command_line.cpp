// SPDX-License-Identifier: MIT
#include "command_line.h"

#include <cstdio>
#include <string_view>

namespace zonbeli {

namespace {

constexpr const char* kUsage =
    "Usage: zonbeli [--help | --version]\n"
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
    "  --help        show this text and exit\n"
    "  --version     show the version and exit\n";

// Qt's own options as QGuiApplication and its X11 and widget layers read
// them; Qt also accepts each with two leading dashes.
constexpr std::string_view kQtWithValue[] = {
    "-platform",    "-platformpluginpath", "-platformtheme", "-plugin",  "-qwindowgeometry",
    "-qwindowicon", "-qwindowtitle",       "-session",       "-display", "-geometry",
    "-style",       "-stylesheet",         "-name",          "-title",   "-visual"};
constexpr std::string_view kQtFlags[] = {"-reverse", "-widgetcount", "-nograb",
                                         "-dograb",  "-sync",        "-testability"};
constexpr std::string_view kQtJoined[] = {
    "-style=", "-stylesheet=", "-qmljsdebugger=", "-qwindowgeometry=", "-platform="};

template <std::size_t N>
bool Listed(std::string_view option, const std::string_view (&list)[N]) {
  for (std::string_view entry : list)
    if (option == entry) return true;
  return false;
}

template <std::size_t N>
bool Prefixed(std::string_view option, const std::string_view (&list)[N]) {
  for (std::string_view entry : list)
    if (option.starts_with(entry)) return true;
  return false;
}

}  // namespace

int HandleCommandLine(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--version") {
      std::puts("zonbeli " ZONBELI_VERSION);
      return 0;
    }
    std::string_view option = arg;
    if (option.starts_with("--")) option.remove_prefix(1);
    if (Listed(option, kQtWithValue) && i + 1 < argc) {
      ++i;
      continue;
    }
    if (Listed(option, kQtFlags) || Prefixed(option, kQtJoined)) continue;
    std::fprintf(stderr, "zonbeli: unknown argument '%s'\n\n%s", argv[i], kUsage);
    return 2;
  }
  return -1;
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
