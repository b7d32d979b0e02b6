// SPDX-License-Identifier: MIT
// The Zonbeli window over Qt: menu bar, drawing surface, tick timer, keys
// and mouse, and the window services the game draws and waits through.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QMainWindow>
#include <QSocketNotifier>
#include <QWidget>
#include <functional>
#include <random>

#include "canvas.h"
#include "services.h"

class QAction;

namespace zonbeli {

class Form1;

// Shows the canvas. What is drawn on it is marked here and painted at the
// next Refresh, or when the current event ends: only the marked parts,
// never the whole surface for a changed cell.
class SurfaceWidget : public QWidget {
 public:
  SurfaceWidget(Canvas& canvas, QWidget* parent);

  void changed(const QRect& area);
  // Paints at once what changed since the last paint; nothing when nothing did.
  void push();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 public:
  std::function<void(int button, int shift, float x, float y)> onMouseDown;

 private:
  Canvas& canvas_;
  QRegion pending_;
};

class GameWindow : public QMainWindow, public WindowServices, public QAbstractNativeEventFilter {
 public:
  static constexpr qint64 kTickNanoseconds = 1'000'000'000 / 64;

  // What reaches the game from outside, one event at a time.
  enum class Input { Tick, KeyDown, KeyUp, Click, Start, Quit, Music, About, Close };

  // `between`, when given, is what the game talks to instead of this
  // window: a layer that passes every call on to it (a recording).
  explicit GameWindow(SoundLibrary& sound, WindowServices* between = nullptr);
  ~GameWindow() override;

  // Told of every input just before the game handles it; `key` is the
  // virtual-key code of a key going down or up.
  std::function<void(Input input, int key)> onInput;

  // Runs the load routine, shows the window and starts the tick.
  void start();
  // Brings the resting tick back after the game left its waiting state.
  void wakeTick();

  Form1& game() { return *game_; }
  // Signals once per tick when the tick's deadline has come.
  const QSocketNotifier& tickTimer() const { return *tick_notifier_; }
  QAction* menuAction(const QString& caption) const;

  // WindowServices
  void PaintPicture(Picture picture, float x, float y) override;
  void FillBox(float x1, float y1, float x2, float y2, Rgb colour) override;
  void PrintText(float x, float y, const std::string& text, Rgb colour, double points) override;
  void Refresh() override;
  void MessageBox(const std::string& text, const std::string& title, MessageIcon icon) override;
  double TimeOfDay() override;
  double Monotonic() override;
  void Sleep(double seconds) override;
  double Random() override;
  bool FileExists(const std::string& path) override;
  std::uint64_t FileSize(const std::string& path) override;
  bool ReadWholeFile(const std::string& path, FileBytes& bytes, std::string& error) override;
  std::string SoundFolder() override;
  std::intptr_t WindowHandle() override;
  bool BgmChecked() override;
  void SetBgmChecked(bool checked) override;
  [[noreturn]] void EndProgram(int status) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;

 private:
  void buildMenus();
  void tick();
  void armTick();
  void takeKeysBack();
  void closeOnTermination();
  Form1& deliver(Input input, int key = 0);

  Canvas canvas_{ScreenPixelRatio()};
  SurfaceWidget* surface_ = nullptr;
  QAction* bgm_ = nullptr;
  int tick_fd_ = -1;
  QSocketNotifier* tick_notifier_ = nullptr;
  bool tick_armed_ = false;
  qint64 started_ns_ = 0;
  qint64 ticks_ = 0;
  int modal_depth_ = 0;
  std::mt19937 random_;
  std::unique_ptr<Form1> game_;
};

// The virtual-key number of a Qt key: 27 Escape, 37 to 40 the arrows.
int VirtualKey(int qt_key);

}  // namespace zonbeli
