// SPDX-License-Identifier: MIT
// zonbeli: the game in its window.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "binding.h"
#include "command_line.h"
#include "qt_window.h"
#include "session_bus.h"
#include "sound_files.h"

namespace {

constexpr const char* kNoDisplay = "zonbeli: cannot open a display";
constexpr const char* kHint =
    "start it from a desktop session, or headless with `xvfb-run zonbeli`";

bool HaveDisplay() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform != nullptr && *platform != '\0') return true;
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

bool g_window_system_up = false;
std::string g_why_no_display;

// The game ends through its own routines, which never return to main; the
// toolkit calls exit itself only when the display has gone away under it.
void SayDisplayLost() {
  if (!g_window_system_up) return;
  g_window_system_up = false;
  std::fprintf(stderr, "zonbeli: lost the connection to the display\n");
  std::fflush(stderr);
}

// Qt gives up with a fatal message when it cannot reach the display it was
// told about; say so in one line, with the complaints that led there as the
// reason, and leave with an error status instead of an abort.
void OnQtMessage(QtMsgType type, const QMessageLogContext& /*context*/, const QString& message) {
  if (type == QtFatalMsg) {
    if (g_why_no_display.empty()) {
      std::fprintf(stderr, "%s; %s\n", kNoDisplay, kHint);
    } else {
      std::fprintf(stderr, "%s (%s); %s\n", kNoDisplay, g_why_no_display.c_str(), kHint);
    }
    std::fflush(stderr);
    std::_Exit(1);
  }
  if (!g_window_system_up && type != QtDebugMsg) {
    QString said = message.simplified();
    if (said.endsWith(u'.')) said.chop(1);
    if (!g_why_no_display.empty()) g_why_no_display += "; ";
    g_why_no_display += said.toLocal8Bit().constData();
  }
  // Qt says this as the display goes away, then leaves by a way that either
  // prints Xlib's own lines or runs no exit handler.
  if (g_window_system_up && (message.startsWith(QStringLiteral("The X11 connection broke")) ||
                             message.startsWith(QStringLiteral("The Wayland connection")))) {
    SayDisplayLost();
    std::_Exit(1);
  }
  if (type == QtCriticalMsg && g_window_system_up) {
    std::fprintf(stderr, "zonbeli: %s\n", message.toLocal8Bit().constData());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (const int status = zonbeli::HandleCommandLine(argc, argv); status >= 0) return status;
  zonbeli::KeepFromStartingASessionBus();
  zonbeli::AskForAShortSoundBuffer();
  // Only the toolkit knows its own options. Without a display it starts off
  // screen all the same, so that a wrong argument is still told from a
  // missing display.
  const bool display = HaveDisplay() || zonbeli::NamesDisplay(argc, argv);
  if (!display) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Reading the font configuration is a good part of the wait for the first
  // screen and needs nothing from the toolkit: it runs while the toolkit
  // starts, and the toolkit then finds it done and lists the fonts from it
  // once, where the first text asks. This thread is made first: a thread
  // cannot be made while a library is being loaded.
  if (display) {
    zonbeli::ReadFontConfigurationAhead();
    zonbeli::StartLoadingSoundLibrary(zonbeli::ReadSoundFilesAhead);
  }
  // The game repaints a few small rectangles at a time. Shared-memory images
  // would cost a round trip to the X server before every repaint, where
  // sending the few pixels along costs none.
  if (qEnvironmentVariableIsEmpty("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
  qInstallMessageHandler(OnQtMessage);
  QApplication app(argc, argv);
  // Two readers would each scan every font when the cache is empty.
  zonbeli::AwaitFontConfiguration();
  if (const int status = zonbeli::RefuseLeftOver(argc, argv); status >= 0) return status;
  if (!display) {
    std::fprintf(stderr, "%s; %s\n", kNoDisplay, kHint);
    return 1;
  }
  g_window_system_up = true;
  std::atexit(SayDisplayLost);
  QApplication::setApplicationName(QStringLiteral("Zonbeli"));
  QApplication::setDesktopFileName(QStringLiteral("org.zonbeli.zonbeli"));

  zonbeli::SharedSoundLibrary sound;
  zonbeli::GameWindow window(sound);
  window.start();
  const int status = QApplication::exec();
  g_window_system_up = false;
  return status;
}
