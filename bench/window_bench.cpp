// The real window's costs, measured in one process under a display:
//   window_bench ticks SECONDS     tick intervals in the first seconds of a
//                                  game, before the first landing
//   window_bench cpu MODE SECONDS  processor time while waiting, playing or
//                                  blinking "GAME OVER"
//   window_bench startup           exec to first screen shown; the caller
//                                  puts its exec time in ZONBELI_BENCH_T0
// Prints one "key value" line per figure.
#include <sys/resource.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "binding.h"
#include "form1.h"
#include "qt_window.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long PeakKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

class TickRecorder : public QObject {
 public:
  explicit TickRecorder(const QObject& timer) : timer_(timer) {}
  std::vector<double> times;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &timer_ && event->type() == QEvent::SockAct) {
      times.push_back(
          std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
              .count());
    }
    return false;
  }

 private:
  const QObject& timer_;
};

class FirstPaint : public QObject {
 protected:
  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    if (event->type() == QEvent::Paint && !seen_) {
      seen_ = true;
      const char* t0 = std::getenv("ZONBELI_BENCH_T0");
      const double start = t0 != nullptr ? std::strtod(t0, nullptr) : 0.0;
      // Print after the paint has gone out.
      QTimer::singleShot(0, [start] {
        std::printf("startup_ms %.1f\n", (WallSeconds() - start) * 1000.0);
        std::printf("peak_rss_kb %ld\n", PeakKilobytes());
        QCoreApplication::exit(0);
      });
    }
    return false;
  }

 private:
  bool seen_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: window_bench ticks|cpu|startup ...\n");
    return 2;
  }
  const std::string mode = argv[1];
  QApplication app(argc, argv);
  zonbeli::SharedSoundLibrary sound;
  zonbeli::GameWindow window(sound);

  if (mode == "startup") {
    FirstPaint watcher;
    window.centralWidget()->installEventFilter(&watcher);
    window.start();
    return QApplication::exec();
  }

  const double seconds = std::atof(argv[argc - 1]);
  window.start();
  zonbeli::Form1& game = window.game();
  if (mode == "ticks") {
    window.menuAction(QStringLiteral("開始"))->trigger();
    TickRecorder recorder(window.tickTimer());
    app.installEventFilter(&recorder);
    QTimer::singleShot(static_cast<int>(seconds * 1000), [] { QCoreApplication::exit(0); });
    QApplication::exec();
    std::vector<double> gaps;
    for (std::size_t i = 1; i < recorder.times.size(); ++i) {
      gaps.push_back((recorder.times[i] - recorder.times[i - 1]) * 1000.0);
    }
    if (gaps.empty()) return 1;
    double sum = 0;
    for (double g : gaps) sum += g;
    std::sort(gaps.begin(), gaps.end());
    const double p99 = gaps[std::min(gaps.size() - 1, gaps.size() * 99 / 100)];
    std::printf("tick_count %zu\ntick_mean_ms %.3f\ntick_p99_ms %.3f\ntick_max_ms %.3f\n",
                gaps.size(), sum / static_cast<double>(gaps.size()), p99, gaps.back());
    return 0;
  }
  if (mode == "cpu") {
    const std::string what = argc > 3 ? argv[2] : "waiting";
    if (what == "playing") {
      window.menuAction(QStringLiteral("開始"))->trigger();
    } else if (what == "blinking") {
      game.待機フラグ = zonbeli::Form1::定数_オン;
      game.終了フラグ = zonbeli::Form1::定数_オン;
      window.wakeTick();
    }
    const double cpu0 = CpuSeconds();
    QTimer::singleShot(static_cast<int>(seconds * 1000), [] { QCoreApplication::exit(0); });
    QApplication::exec();
    std::printf("cpu_%s_percent %.2f\npeak_rss_kb %ld\n", what.c_str(),
                (CpuSeconds() - cpu0) / seconds * 100.0, PeakKilobytes());
    return 0;
  }
  std::fprintf(stderr, "window_bench: unknown mode %s\n", mode.c_str());
  return 2;
}
