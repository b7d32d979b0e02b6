// SPDX-License-Identifier: MIT
#include "qt_window.h"

#include <fcntl.h>
#include <sys/timerfd.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QTime>
#include <QWindow>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "form1.h"

namespace zonbeli {

namespace {

constexpr float kTwips = static_cast<float>(kTwipsPerPixel);

int ShiftState(Qt::KeyboardModifiers modifiers) {
  int shift = 0;
  if (modifiers & Qt::ShiftModifier) shift |= 1;
  if (modifiers & Qt::ControlModifier) shift |= 2;
  if (modifiers & Qt::AltModifier) shift |= 4;
  return shift;
}

qint64 MonotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<qint64>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

int g_close_request[2] = {-1, -1};

void RequestClose(int /*signal*/) {
  const char byte = 0;
  [[maybe_unused]] const ssize_t written = write(g_close_request[1], &byte, 1);
}

int MouseButton(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton:
      return 1;
    case Qt::RightButton:
      return 2;
    case Qt::MiddleButton:
      return 4;
    default:
      return 0;
  }
}

}  // namespace

int VirtualKey(int qt_key) {
  switch (qt_key) {
    case Qt::Key_Escape:
      return 27;
    case Qt::Key_Left:
      return 37;
    case Qt::Key_Up:
      return 38;
    case Qt::Key_Right:
      return 39;
    case Qt::Key_Down:
      return 40;
    case Qt::Key_Space:
      return 32;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return 13;
    default:
      break;
  }
  if ((qt_key >= Qt::Key_0 && qt_key <= Qt::Key_9) ||
      (qt_key >= Qt::Key_A && qt_key <= Qt::Key_Z)) {
    return qt_key;
  }
  return 0;
}

SurfaceWidget::SurfaceWidget(Canvas& canvas, QWidget* parent) : QWidget(parent), canvas_(canvas) {
  setFixedSize(Canvas::kWidth, Canvas::kHeight);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::NoFocus);
}

void SurfaceWidget::changed(const QRect& area) {
  if (area.isEmpty()) return;
  pending_ += area;
  update(area);
}

void SurfaceWidget::push() {
  if (!pending_.isEmpty()) repaint(pending_);
}

// The canvas is held at the screen's density, so it goes out pixel for
// pixel; only if the window has since moved to a screen of another density
// is it resized, smoothly.
void SurfaceWidget::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QImage& image = canvas_.image();
  painter.setRenderHint(QPainter::SmoothPixmapTransform,
                        image.devicePixelRatio() != devicePixelRatioF());
  // A rectangle at a time: under a clip of many rectangles the copy goes
  // through the toolkit's span filler, which wakes helper threads for a
  // tall area.
  for (const QRect& area : event->region()) {
    painter.setClipRect(area);
    painter.drawImage(QPointF(0, 0), image);
  }
  pending_ -= event->region();
}

void SurfaceWidget::mousePressEvent(QMouseEvent* event) {
  if (onMouseDown) {
    const QPointF at = event->position();
    onMouseDown(MouseButton(event->button()), ShiftState(event->modifiers()),
                static_cast<float>(at.x()) * kTwips, static_cast<float>(at.y()) * kTwips);
  }
}

GameWindow::GameWindow(SoundLibrary& sound, WindowServices* between) : random_() {
  setWindowTitle(QStringLiteral("Zonbeli"));
  setWindowIcon(QIcon(QStringLiteral(":/pictures/icon.png")));
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, QColor(0, 128, 0));
  setPalette(palette);
  setAutoFillBackground(true);
  setFocusPolicy(Qt::StrongFocus);

  surface_ = new SurfaceWidget(canvas_, this);
  setCentralWidget(surface_);
  surface_->onMouseDown = [this](int button, int shift, float x, float y) {
    deliver(Input::Click).Form_MouseDown(button, shift, x, y);
  };
  buildMenus();

  started_ns_ = MonotonicNanoseconds();
  tick_fd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (tick_fd_ < 0) {
    std::fprintf(stderr, "zonbeli: no tick timer: %s\n", std::strerror(errno));
    std::_Exit(1);
  }
  tick_notifier_ = new QSocketNotifier(tick_fd_, QSocketNotifier::Read, this);
  connect(tick_notifier_, &QSocketNotifier::activated, this, [this] { tick(); });
  QCoreApplication::instance()->installNativeEventFilter(this);

  game_ = std::make_unique<Form1>(between != nullptr ? *between : *this, sound);
}

GameWindow::~GameWindow() {
  delete tick_notifier_;
  ::close(tick_fd_);
}

void GameWindow::buildMenus() {
  QMenuBar* bar = menuBar();
  // The green belongs to the window's face, not to its menus. A palette with
  // no role marked as set would still take the window's green.
  QPalette desktop = QApplication::palette();
  desktop.setResolveMask(~QPalette::ResolveMask{0});
  bar->setPalette(desktop);
  QMenu* game = bar->addMenu(QStringLiteral("ゲーム"));
  QAction* start = game->addAction(QStringLiteral("開始"));
  QAction* quit = game->addAction(QStringLiteral("終了"));
  QMenu* option = bar->addMenu(QStringLiteral("ｵﾌﾟｼｮﾝ"));
  bgm_ = option->addAction(QStringLiteral("BGM"));
  bgm_->setCheckable(true);
  QAction* other = bar->addAction(QStringLiteral("その他"));

  connect(start, &QAction::triggered, this, [this] {
    deliver(Input::Start).KAISI_Click();
    wakeTick();
  });
  connect(quit, &QAction::triggered, this, [this] { deliver(Input::Quit).OWARI_Click(); });
  // Qt toggles the mark on a click; the music switch owns it, so undo that.
  connect(bgm_, &QAction::triggered, this, [this](bool now_checked) {
    bgm_->setChecked(!now_checked);
    deliver(Input::Music).BGM_Click();
  });
  connect(other, &QAction::triggered, this, [this] { deliver(Input::About).SONOTA_Click(); });

  for (QMenu* menu : {game, option}) {
    menu->installEventFilter(this);
    connect(menu, &QMenu::aboutToHide, this, &GameWindow::takeKeysBack, Qt::QueuedConnection);
  }
}

// A menu closed with Escape leaves the menu bar holding the keyboard, to walk
// its captions with the arrows, and the next Escape only lets go of the bar.
// The player is back in the game: every key goes to it again.
void GameWindow::takeKeysBack() {
  if (QApplication::activePopupWidget() == nullptr) setFocus(Qt::OtherFocusReason);
}

// An open menu holds the keyboard, so a key let go meanwhile comes up there;
// it still ends what its press started in the game.
bool GameWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyRelease) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (!key->isAutoRepeat()) {
      const int code = VirtualKey(key->key());
      deliver(Input::KeyUp, code).Form_KeyUp(code, ShiftState(key->modifiers()));
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

// Another program may destroy the window under the game (a window manager's
// kill, xdotool windowclose); the game then ends as a closed window does.
bool GameWindow::nativeEventFilter(const QByteArray& type, void* message, qintptr* /*result*/) {
  if (type != "xcb_generic_event_t") return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  if ((event->response_type & 0x7f) == XCB_DESTROY_NOTIFY && internalWinId() != 0 &&
      static_cast<const xcb_destroy_notify_event_t*>(message)->window == internalWinId()) {
    deliver(Input::Close).Form_Unload();
  }
  return false;
}

// The desktop ends programs at logout with SIGTERM, a terminal with SIGINT or
// SIGHUP: each asks the window to close, and the game ends as closing it does.
void GameWindow::closeOnTermination() {
  if (g_close_request[0] < 0 && pipe2(g_close_request, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(g_close_request[0], QSocketNotifier::Read, this);
  connect(notifier, &QSocketNotifier::activated, this,
          [this] { deliver(Input::Close).Form_Unload(); });
  struct sigaction action {};
  action.sa_handler = RequestClose;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

QAction* GameWindow::menuAction(const QString& caption) const {
  for (QAction* top : menuBar()->actions()) {
    if (top->text() == caption) return top;
    if (top->menu()) {
      for (QAction* item : top->menu()->actions()) {
        if (item->text() == caption) return item;
      }
    }
  }
  return nullptr;
}

void GameWindow::start() {
  game_->Form_Load();
  adjustSize();
  setFixedSize(sizeHint());
  show();
  // The load has already made the native window, and sizing or showing it
  // since counts its position from the inside: place the frame, title bar
  // included, at the corner of the screen.
  windowHandle()->setFramePosition(QPoint(0, 0));
  activateWindow();
  setFocus();
  closeOnTermination();
  armTick();
}

// Ticks are due at whole multiples of 1/64 s from the start, and the timer
// wakes the thread once, at the due moment itself. A tick that falls due
// while a handler still runs is skipped, never delivered late in a burst.
// Before the first game a tick does nothing at all, so the timer rests until
// 開始 rather than waking the processor 64 times a second.
void GameWindow::armTick() {
  const Form1& game = *game_;
  if (game.待機フラグ == Form1::定数_オン && game.終了フラグ != Form1::定数_オン) return;
  const qint64 now = MonotonicNanoseconds() - started_ns_;
  ticks_ = std::max(ticks_ + 1, now / kTickNanoseconds + 1);
  const qint64 due = started_ns_ + ticks_ * kTickNanoseconds;
  itimerspec at{};
  at.it_value.tv_sec = static_cast<time_t>(due / 1'000'000'000);
  at.it_value.tv_nsec = static_cast<long>(due % 1'000'000'000);
  timerfd_settime(tick_fd_, TFD_TIMER_ABSTIME, &at, nullptr);
  tick_armed_ = true;
}

void GameWindow::wakeTick() {
  if (!tick_armed_) armTick();
}

void GameWindow::tick() {
  std::uint64_t expirations = 0;
  if (read(tick_fd_, &expirations, sizeof expirations) != sizeof expirations) return;
  tick_armed_ = false;
  if (modal_depth_ == 0) deliver(Input::Tick).Timer1_Timer();
  armTick();
}

Form1& GameWindow::deliver(Input input, int key) {
  if (onInput) onInput(input, key);
  return *game_;
}

void GameWindow::keyPressEvent(QKeyEvent* event) {
  const int key = VirtualKey(event->key());
  const int shift = ShiftState(event->modifiers());
  deliver(Input::KeyDown, key).Form_KeyDown(key, shift);
}

// An auto-repeat arrives as a release and a press; only a real release is
// the key coming up.
void GameWindow::keyReleaseEvent(QKeyEvent* event) {
  if (event->isAutoRepeat()) return;
  const int key = VirtualKey(event->key());
  const int shift = ShiftState(event->modifiers());
  deliver(Input::KeyUp, key).Form_KeyUp(key, shift);
}

// A release outside the window never arrives, so losing the keyboard to
// another window counts as letting go of the keys.
void GameWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && !isActiveWindow() && game_) {
    deliver(Input::KeyUp, 0).Form_KeyUp(0, 0);
  }
}

void GameWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  deliver(Input::Close).Form_Unload();
}

void GameWindow::PaintPicture(Picture picture, float x, float y) {
  surface_->changed(canvas_.PaintPicture(picture, x, y));
}

void GameWindow::FillBox(float x1, float y1, float x2, float y2, Rgb colour) {
  surface_->changed(canvas_.FillBox(x1, y1, x2, y2, colour));
}

void GameWindow::PrintText(float x, float y, const std::string& text, Rgb colour, double points) {
  surface_->changed(canvas_.PrintText(x, y, text, colour, points));
}

void GameWindow::Refresh() {
  if (isVisible()) surface_->push();
}

void GameWindow::MessageBox(const std::string& text, const std::string& title, MessageIcon icon) {
  ++modal_depth_;
  QMessageBox box(
      icon == MessageIcon::Exclamation ? QMessageBox::Warning : QMessageBox::Information,
      QString::fromStdString(title), QString::fromStdString(text), QMessageBox::Ok,
      isVisible() ? this : nullptr);
  box.exec();
  --modal_depth_;
}

double GameWindow::TimeOfDay() {
  return static_cast<double>(QTime::currentTime().msecsSinceStartOfDay()) / 1000.0;
}

double GameWindow::Monotonic() {
  return static_cast<double>(MonotonicNanoseconds() - started_ns_) / 1e9;
}

void GameWindow::Sleep(double seconds) {
  if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

double GameWindow::Random() {
  return std::generate_canonical<double, 32>(random_);
}

bool GameWindow::FileExists(const std::string& path) {
  return QFileInfo(QString::fromStdString(path)).isFile();
}

std::uint64_t GameWindow::FileSize(const std::string& path) {
  return static_cast<std::uint64_t>(
      std::max<qint64>(QFileInfo(QString::fromStdString(path)).size(), 0));
}

bool GameWindow::ReadWholeFile(const std::string& path, FileBytes& bytes, std::string& error) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) {
    error = file.errorString().toStdString();
    return false;
  }
  bytes.resize(static_cast<std::size_t>(std::max<qint64>(file.size(), 0)));
  const qint64 read = file.read(reinterpret_cast<char*>(bytes.data()), file.size());
  if (read != file.size()) {
    error = file.errorString().toStdString();
    return false;
  }
  return true;
}

// Beside the program in a build tree; once installed, at the place the build
// worked out relative to the program's folder, so a moved tree still finds it.
std::string GameWindow::SoundFolder() {
  const QString bin = QCoreApplication::applicationDirPath();
  const QString installed = bin + QStringLiteral("/" ZONBELI_SOUNDS_FROM_BIN);
  const QString candidates[] = {bin + QStringLiteral("/sounds"), installed};
  for (const QString& folder : candidates) {
    if (QFileInfo(folder).isDir()) return QDir::cleanPath(folder).toStdString();
  }
  static bool told = false;
  if (!told) {
    told = true;
    std::fprintf(stderr, "zonbeli: no sounds in %s; playing silently\n",
                 qPrintable(QDir::cleanPath(installed)));
  }
  return {};
}

std::intptr_t GameWindow::WindowHandle() {
  return static_cast<std::intptr_t>(winId());
}

bool GameWindow::BgmChecked() {
  return bgm_->isChecked();
}

void GameWindow::SetBgmChecked(bool checked) {
  bgm_->setChecked(checked);
}

void GameWindow::EndProgram(int status) {
  std::fflush(nullptr);
  std::_Exit(status);
}

}  // namespace zonbeli
