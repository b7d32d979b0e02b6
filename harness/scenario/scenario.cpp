// SPDX-License-Identifier: MIT
// zonbeli-scenario: plays a script against the real game object and prints
// what the game did.
//
//   zonbeli-scenario [SCRIPT]      (standard input when SCRIPT is absent or "-")
//
// The game runs over the test window: a virtual clock that stands still
// between commands, a recording sound library, and the real drawing
// surface (none in a build without the toolkit, where `png` fails). The window holds all ten sound
// files as small blobs, so every sound slot has its own non-zero handle; then Form_Load runs, and
// the script.
//
// One command a line. "#" starts a comment; blank lines are skipped.
//
//   board                 then 16 rows (rows 1 to 16), 11 cells each
//                         (columns 1 to 11): "." empty, "?" never assigned,
//                         else the stone's own character (歩 香 桂 銀 金 角
//                         飛 王 爆 星 発). A row may start with its number
//                         as dump prints it ("07 ..........."). Comment and
//                         blank lines between rows are skipped. Column 0 and
//                         row 0 are left as they are.
//   falling C,R,K C,R,K C,R,K 横|縦
//                         the falling trio, stones 1 to 3. It must have the
//                         shape the game gives it: lying, stones left to
//                         right in one row; standing, top to bottom in one
//                         column; columns 1 to 11, rows 2 to 16.
//   next XYZ              次石 only; the entry cells are left alone.
//   set NAME VALUE        得点 最高得点 レベル 出現_回数 落下_間隔
//                         落下_基本間隔 落下_カウンタ take a whole number
//                         (at most 999999999 either way); 爆_予約 星_予約
//                         待機フラグ 終了フラグ take オン or オフ.
//   clock SECONDS         the time of day, 0 to below 86400 (45296.73).
//                         It moves on only inside the run: by 1/64 s before
//                         every tick, and by the length of every wait.
//                         The digits of new trios come from it.
//   time SECONDS          the time of day the game's next reading of the
//                         clock returns, whatever the clock shows; several
//                         queue up in order, and the clock does not move.
//   random R              the next number the game draws, 0 to below 1;
//                         several queue up in order, and after them an
//                         unseeded generator draws.
//   tick N                N timer ticks.
//   land                  ticks until the falling trio lands, at most 100000.
//                         A landing is the tick in which the landing sound
//                         (音_石着地) was played; the tick handler finishes
//                         the whole landing (erasures, chain, score, the
//                         next trio or the game over) before it returns.
//                         Fails at once when no game runs.
//   key CODE, keyup CODE  a key goes down or up (virtual-key code 0 to 255:
//                         27 Escape, 37 left, 38 up, 39 right, 40 down).
//   click                 the left mouse button goes down in the window.
//   menu 開始|終了|BGM|その他
//   call NAME             one routine without arguments: 効筋設定 調査_当駒
//                         連続消去当たり石 段落ち 終了_段落ち 盤フラグ初期化
//                         隣接石消去設定_爆弾 隣接石消去設定_星 出現_次石
//                         出現_落下石 ゲーム終了か 初期設定 描画_全画面
//                         開始催促 Form_Unload. A routine's answer is not
//                         printed.
//   dump                  the state, one item a line:
//                           盤, then "01 ..........." to "16 ..........."
//                           得点 N, 最高得点 N, レベル N, 出現_回数 N,
//                           落下_間隔 N, 落下_基本間隔 N, 落下_カウンタ N
//                           爆_予約, 星_予約, 待機フラグ, 終了フラグ:
//                             オン or オフ (an unset flag is 0, and so オン)
//                           次石 XYZ (just "次石" while it is empty)
//                           落下石 C,R,K C,R,K C,R,K O: an unset code prints
//                             "?", the orientation 横 (5), 縦 (6), "?"
//                             while unset (0), else its number
//                           音 and the slots started since they were last
//                             listed, in order, without "音_" (音 石着地
//                             石消去); the music switched on is listed as
//                             BGM, switching it off is not listed.
//   dump ITEM             one item of the whole dump alone, as it prints
//                         there (dump 次石, dump 盤, ...); dump 音, like
//                         dump, lists the sounds started since the sounds
//                         were last listed.
//   dump 盤_当たり         the heading, then rows 01 to 16: 11 marks each,
//                         "x" on (to erase; also unset) and "." off.
//   dump 列_当たり         one line: the heading and columns 1 to 11 the
//   dump 列_段落ち         same way.
//   dump 効筋_組           the heading, then rows 02 to 16: the row's number
//                         and 11 labels ("0000" for none), one space apart.
//   dump 効筋_数           the same with the group sizes.
//   dump BGM              "BGM オン" or "BGM オフ": the menu check mark.
//   dump 通知              the message boxes shown since the last such dump,
//                         one a line: "通知 TITLE|TEXT" with the text's
//                         line breaks shown as " | "; just "通知" if none.
//   png FILE              writes the drawing surface as a PNG (a file name
//                         without blanks).
//
// "menu 終了", "key 27" and "call Form_Unload" end the program: the runner
// prints "終了" and stops there.
//
// Exit status: 0 when the script ran to its end or the program ended; 2
// when the script is malformed (a message naming the line goes to standard
// error, and nothing runs); 1 when a command could not be carried out (a
// land that never came, a file that could not be written), after the
// output so far.
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>

#include "scenario_runner.h"

#ifdef ZONBELI_PIXELS
#include <QGuiApplication>

#include "pixel_window.h"

namespace {

// Qt's own chatter (no runtime directory, a font that stands in for
// another) is not part of what the game did, and standard error is kept
// for the script's faults.
void QuietQt(QtMsgType type, const QMessageLogContext& /*context*/, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) std::cerr << message.toStdString() << '\n';
}

}  // namespace
#endif

int main(int argc, char** argv) {
  if (argc > 2) {
    std::cerr << "usage: zonbeli-scenario [SCRIPT]\n";
    return 2;
  }
  std::string text;
  const std::string path = argc == 2 ? argv[1] : "-";
  if (path == "-") {
    text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  } else {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
      std::cerr << "zonbeli-scenario: cannot read " << path << '\n';
      return 2;
    }
    text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }

  zonbeli::scenario::Options options;
#ifdef ZONBELI_PIXELS
  // The surface needs a GUI application for its fonts; no window is shown.
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  qInstallMessageHandler(QuietQt);
  int qt_argc = 1;
  QGuiApplication app(qt_argc, argv);
  options.make_window = [] { return std::make_unique<zonbeli::PixelWindow>(); };
#endif

  const int status = zonbeli::scenario::RunScript(text, std::cout, std::cerr, {}, options);
  std::cout.flush();
  return status;
}
