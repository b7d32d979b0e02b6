// zonbeli: the game in its window.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "binding.h"
#include "command_line.h"
#include "qt_window.h"

namespace {

constexpr const char* kNoDisplay =
    "zonbeli: cannot open a display; start it from a desktop session, or headless with "
    "`xvfb-run zonbeli`";

bool HaveDisplay() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform != nullptr && *platform != '\0') return true;
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

bool g_window_system_up = false;

// Qt gives up with a fatal message when it cannot reach the display it was
// told about; say so in one line and leave with an error status instead of
// an abort. Its complaints on the way there are left out of that line.
void OnQtMessage(QtMsgType type, const QMessageLogContext& /*context*/, const QString& message) {
  if (type == QtFatalMsg) {
    std::fprintf(stderr, "%s\n", kNoDisplay);
    std::fflush(stderr);
    std::_Exit(1);
  }
  if (type == QtCriticalMsg && g_window_system_up) {
    std::fprintf(stderr, "zonbeli: %s\n", message.toLocal8Bit().constData());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (const int status = zonbeli::HandleCommandLine(argc, argv); status >= 0) return status;
  if (!HaveDisplay() && !zonbeli::NamesDisplay(argc, argv)) {
    std::fprintf(stderr, "%s\n", kNoDisplay);
    return 1;
  }
  qInstallMessageHandler(OnQtMessage);
  QApplication app(argc, argv);
  g_window_system_up = true;
  QApplication::setApplicationName(QStringLiteral("Zonbeli"));
  QApplication::setDesktopFileName(QStringLiteral("org.zonbeli.zonbeli"));

  zonbeli::SharedSoundLibrary sound;
  zonbeli::GameWindow window(sound);
  window.start();
  return QApplication::exec();
}
