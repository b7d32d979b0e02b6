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
#include "input.h"
#include "services.h"

class QAction;
class QMenu;

namespace zonbeli {

class Form1;

// Shows the canvas, at its own size or smaller on a small screen. What is
// drawn on it is marked here and painted at the next Refresh, or when the
// current event ends: only the marked parts, never the whole surface for a
// changed cell.
class SurfaceWidget : public QWidget {
 public:
  SurfaceWidget(Canvas& canvas, QWidget* parent);

  // Shows the surface at `scale` screen pixels to a surface pixel; the
  // canvas must be drawn at that scale too.
  void showAt(double scale);
  void changed(const QRect& area);
  // Paints at once what changed since the last paint; nothing when nothing did.
  void push();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 public:
  std::function<void(const Input& click)> onMouseDown;

 private:
  Canvas& canvas_;
  double scale_ = 1.0;
  QRegion pending_;
};

class GameWindow : public QMainWindow, public WindowServices, public QAbstractNativeEventFilter {
 public:
  static constexpr qint64 kTickNanoseconds = 1'000'000'000 / 64;

  // `between`, when given, is what the game talks to instead of this
  // window: a layer that passes every call on to it (a recording).
  explicit GameWindow(SoundLibrary& sound, WindowServices* between = nullptr);
  ~GameWindow() override;

  // Told of every input just before the game handles it.
  std::function<void(const Input& input)> onInput;
  // Told when a file about to be read has been measured, before any of its
  // bytes are read: the moment another program changing it does most harm.
  std::function<void(const std::string& path)> onFileMeasured;

  // Runs the load routine, shows the window and starts the tick.
  void start();

  Form1& game() { return *game_; }
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
  void fitScreen();
  void tick();
  void armTick();
  void takeKeysBack();
  bool menuKeys(const QKeyEvent& event);
  void closeOnTermination();
  void deliver(const Input& input);

  Canvas canvas_{ScreenPixelRatio()};
  SurfaceWidget* surface_ = nullptr;
  QAction* bgm_ = nullptr;
  QMenu* first_menu_ = nullptr;
  int tick_fd_ = -1;
  QSocketNotifier* tick_notifier_ = nullptr;
  bool tick_armed_ = false;
  qint64 started_ns_ = 0;
  qint64 ticks_ = 0;
  int modal_depth_ = 0;
  std::mt19937 random_;
  // Where sound files are read: the sound library's choice.
  FileBytes::Memory file_memory_;
  std::unique_ptr<Form1> game_;
};

// The virtual-key number of a Qt key (27 Escape, 37 to 40 the arrows, 112
// on the function keys, ...); 0 for a key that has none.
int VirtualKey(int qt_key);

}  // namespace zonbeli
