// SPDX-License-Identifier: MIT
// The Qt window as the player meets it: menus, keys, the tick.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "fake_window.h"
#include "form1.h"
#include "qt_window.h"
#include "sound_files.h"

namespace zonbeli {
namespace {

TEST(Window, MenuBarHasItsCaptionsInOrder) {
  RecordingSound sound;
  GameWindow window(sound);
  const QList<QAction*> top = window.menuBar()->actions();
  ASSERT_EQ(top.size(), 3);
  EXPECT_EQ(top[0]->text(), QStringLiteral("ゲーム"));
  EXPECT_EQ(top[1]->text(), QStringLiteral("ｵﾌﾟｼｮﾝ"));
  EXPECT_EQ(top[2]->text(), QStringLiteral("その他"));
  ASSERT_NE(top[0]->menu(), nullptr);
  const QList<QAction*> game = top[0]->menu()->actions();
  ASSERT_EQ(game.size(), 2);
  EXPECT_EQ(game[0]->text(), QStringLiteral("開始"));
  EXPECT_EQ(game[1]->text(), QStringLiteral("終了"));
  ASSERT_NE(top[1]->menu(), nullptr);
  const QList<QAction*> option = top[1]->menu()->actions();
  ASSERT_EQ(option.size(), 1);
  EXPECT_EQ(option[0]->text(), QStringLiteral("BGM"));
  EXPECT_TRUE(option[0]->isCheckable());
  // その他 runs at one click: it opens no submenu.
  EXPECT_EQ(top[2]->menu(), nullptr);
}

TEST(Window, MusicItemCheckMarkBelongsToTheGame) {
  RecordingSound sound;
  GameWindow window(sound);
  QAction* bgm = window.menuAction(QStringLiteral("BGM"));
  ASSERT_NE(bgm, nullptr);
  bgm->trigger();
  EXPECT_TRUE(bgm->isChecked());
  EXPECT_EQ(sound.calls.back(), "dsPlayLooping 0");
  bgm->trigger();
  EXPECT_FALSE(bgm->isChecked());
  EXPECT_EQ(sound.calls.back(), "dsStop 0");
}

TEST(Window, AutoRepeatReleaseIsNotAKeyUp) {
  RecordingSound sound;
  GameWindow window(sound);
  Form1& game = window.game();
  game.落下_基本間隔 = 60;
  game.落下_間隔 = 1;
  QKeyEvent repeat_release(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier, QString(), true);
  QCoreApplication::sendEvent(&window, &repeat_release);
  EXPECT_EQ(game.落下_間隔, 1);
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier);
  QCoreApplication::sendEvent(&window, &release);
  EXPECT_EQ(game.落下_間隔, 60);
}

TEST(Window, ClickOnTheSurfaceBeforeAGameIsRefused) {
  RecordingSound sound;
  GameWindow window(sound);
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(100, 100), QPointF(100, 100), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(window.centralWidget(), &press);
  // No sound files here, so the refusal sound plays from an empty slot.
  EXPECT_EQ(sound.calls, std::vector<std::string>{"dsPlay 0"});
}

// A landing that blinks and drops can hold the thread for many tick periods;
// the ticks that fell due meanwhile are dropped, not run back to back.
TEST(Window, TicksDueDuringALongHandlerAreSkipped) {
  RecordingSound sound;
  GameWindow window(sound);
  Form1& game = window.game();
  game.Form_Load();
  window.menuAction(QStringLiteral("開始"))->trigger();
  game.落下_間隔 = 1 << 30;  // every tick only counts
  std::this_thread::sleep_for(std::chrono::nanoseconds(20 * GameWindow::kTickNanoseconds));
  const int before = game.落下_カウンタ;
  for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
  EXPECT_GE(game.落下_カウンタ - before, 1);
  EXPECT_LE(game.落下_カウンタ - before, 2);
}

// Another program may rewrite a sound while the game reads it. Grown or cut
// between being measured and being read, the file comes back either whole as
// it now is or refused with a reason the warning box can show; never more
// bytes than the buffer holds, never bytes no file held.
TEST(Window, SoundFileResizedWhileReadIsReadWholeOrRefused) {
  const std::string path = ::testing::TempDir() + "zonbeli_resized.wav";
  const auto pattern = [](std::size_t from, std::size_t count) {
    std::string text(count, '\0');
    for (std::size_t i = 0; i < count; ++i) text[i] = static_cast<char>('a' + (from + i) % 23);
    return text;
  };
  constexpr std::size_t kFirst = 230'780;
  for (const std::size_t changed : {kFirst, std::size_t{296'316}, std::size_t{61'000}}) {
    SCOPED_TRACE(changed);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << pattern(0, kFirst);
    RecordingSound sound;
    GameWindow window(sound);
    window.onFileMeasured = [&](const std::string& measured) {
      ASSERT_EQ(measured, path);
      std::thread writer([&] {
        if (changed == kFirst) return;
        if (changed > kFirst) {
          std::ofstream(path, std::ios::binary | std::ios::app)
              << pattern(kFirst, changed - kFirst);
        } else {
          std::filesystem::resize_file(path, changed);
        }
      });
      writer.join();
    };
    FileBytes bytes;
    std::string error;
    const bool read = window.ReadWholeFile(path, bytes, error);
    EXPECT_TRUE(read || changed != kFirst) << error;
    if (read) {
      ASSERT_EQ(bytes.size(), changed);
      EXPECT_TRUE(std::string(bytes.begin(), bytes.end()) == pattern(0, changed));
    } else {
      EXPECT_FALSE(error.empty());
    }
  }
  std::filesystem::remove(path);
}

// Blocks of bytes given out and given back, for what is read ahead.
std::atomic<int> g_blocks_out{0};
std::atomic<int> g_blocks_given{0};
constexpr FileBytes::Memory kCountedMemory{[](std::size_t bytes) {
                                             ++g_blocks_out;
                                             ++g_blocks_given;
                                             return std::malloc(bytes);
                                           },
                                           [](void* block, std::size_t /*bytes*/) {
                                             --g_blocks_out;
                                             std::free(block);
                                           }};

// The sounds read while the toolkit starts are handed to the game as the
// files it asks for, without reading them again, but only while each is
// still the file that was read; whatever is not asked for is let go.
TEST(Window, SoundsReadAheadAreHandedOverOnlyUnchanged) {
  const std::filesystem::path folder = ::testing::TempDir() + "zonbeli_ahead";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const auto write = [&](const char* name, const std::string& text) {
    std::ofstream(folder / name, std::ios::binary | std::ios::trunc) << text;
    return (folder / name).string();
  };
  const std::string turn = write("回転.wav", "turn sound");
  const std::string music = write("BGM.wav", "music, read ahead!");
  const std::string landing = write("石着地.wav", "landing sound");
  const std::string unknown = write("ほか.wav", "not one of the ten");
  // Sparse: larger than the game takes, but nothing on disk.
  std::filesystem::resize_file(write("面終了.wav", ""), kLargestSoundFile + 1);

  ReadSoundFilesAheadFrom(folder.string(), kCountedMemory);
  EXPECT_EQ(g_blocks_given, 3);

  FileBytes bytes;
  std::string error;
  const auto read = [&](const std::string& path) {
    EXPECT_TRUE(ReadWholeFile(path, kCountedMemory, bytes, error, nullptr)) << error;
    return std::string(bytes.begin(), bytes.end());
  };
  EXPECT_EQ(read(turn), "turn sound");
  EXPECT_EQ(read(unknown), "not one of the ten");
  EXPECT_EQ(g_blocks_given, 4) << "the turn sound was read again";

  // Rewritten to the same length and given back its old time, the music is
  // still not the file that was read.
  struct stat before {};
  ASSERT_EQ(stat(music.c_str(), &before), 0);
  write("BGM.wav", "music, now changed");
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, music.c_str(), times, 0), 0);
  EXPECT_EQ(read(music), "music, now changed");
  EXPECT_EQ(read(turn), "turn sound");
  EXPECT_EQ(g_blocks_given, 6);

  bytes.clear();
  EXPECT_EQ(g_blocks_out, 1) << "the landing sound is still held";
  DropSoundFilesReadAhead();
  EXPECT_EQ(g_blocks_out, 0);
  EXPECT_EQ(read(landing), "landing sound");
  bytes.clear();
  std::filesystem::remove_all(folder);

  // Out of memory, reading ahead gives up and leaves the game to read.
  constexpr FileBytes::Memory kNoMemory{[](std::size_t) -> void* { return nullptr; },
                                        [](void*, std::size_t) {}};
  EXPECT_NO_THROW(ReadSoundFilesAhead(kNoMemory));
  DropSoundFilesReadAhead();
}

}  // namespace
}  // namespace zonbeli
