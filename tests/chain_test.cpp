// What happens to marked stones: the blink, the bomb and star rules, the
// erase-score-drop-regroup chain with its awards, the drop and the
// game-over slide as they show on the surface, and a property check of the
// whole chain on random boards against a model written here.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "board_text.h"
#include "fake_window.h"
#include "form1.h"
#include "pixels.h"

namespace zonbeli {
namespace {

using Cell = std::pair<int, int>;  // column, row
using Cells = std::set<Cell>;
using Grid = decltype(Form1::盤);

constexpr int kOn = Form1::定数_オン;
constexpr int kOff = Form1::定数_オフ;
constexpr std::int32_t kEraseSound = 7;

// Keeps a copy of the surface at every refresh and the clock reading then,
// and notes every wait in the drawing log.
class TimelineWindow : public FakeWindow {
 public:
  void Sleep(double seconds) override {
    if (record_drawing) drawing.push_back("wait");
    FakeWindow::Sleep(seconds);
  }
  void Refresh() override {
    FakeWindow::Refresh();
    refresh_times.push_back(Monotonic());
    if (keep_frames) frames.push_back(image().copy());
  }
  bool keep_frames = false;
  std::vector<QImage> frames;
  std::vector<double> refresh_times;
};

// Notes every sound played in the window's drawing log, so that it shows
// where it falls among the frames.
class TimelineSound : public RecordingSound {
 public:
  explicit TimelineSound(FakeWindow& window) : window_(window) {}
  void dsPlay(std::int32_t buffer) override {
    RecordingSound::dsPlay(buffer);
    window_.drawing.push_back("sound " + std::to_string(buffer));
  }

 private:
  FakeWindow& window_;
};

// The drawing log in short: R a refresh, W a wait, P the erase sound, S a
// score digit, C a cell picture anywhere in the well.
std::string Timeline(const std::vector<std::string>& log) {
  std::string out;
  for (const std::string& line : log) {
    if (line == "refresh") {
      out += 'R';
    } else if (line == "wait") {
      out += 'W';
    } else if (line == "sound " + std::to_string(kEraseSound)) {
      out += 'P';
    } else if (line.rfind("picture SUUJI", 0) == 0) {
      out += 'S';
    } else if (line.rfind("picture ", 0) == 0) {
      out += 'C';
    }
  }
  return out;
}

std::string Repeat(const std::string& part, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += part;
  return out;
}

// The digits of every score drawn on the score row, in drawing order.
std::string ScoreDigits(const std::vector<std::string>& log) {
  std::string digits;
  for (const std::string& line : log) {
    if (line.rfind("picture SUUJI", 0) == 0 && line.size() > 14 &&
        line.substr(line.size() - 5) == " 6300") {
      digits += line[13];
    }
  }
  return digits;
}

std::string PictureLine(Picture picture, double column, double row) {
  std::ostringstream out;
  out << "picture " << PictureName(picture) << " " << 100 + 525 * column << " " << -200 + 525 * row;
  return out.str();
}

int CellX(double column) {
  return TwipsToPixels(100 + 525 * column);
}
int CellY(double row) {
  return TwipsToPixels(-200 + 525 * row);
}

// The lines of a drawn board, blank lines left out.
std::vector<std::string> Rows(const std::string& text) {
  std::vector<std::string> rows;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) rows.push_back(line);
  }
  return rows;
}

class Chain : public testing::Test {
 protected:
  TimelineWindow window;
  TimelineSound sound{window};
  Form1 form{window, sound};

  Chain() {
    SetPlayfield(form, {});
    form.盤フラグ初期化();
    form.列_段落ち.fill(kOff);
    form.爆_予約 = kOff;
    form.星_予約 = kOff;
    form.落下石_駒 = {0, U'歩', U'金', U'銀'};
    form.音_石消去 = kEraseSound;
    // Column 0 is never a playfield column; it starts off so that any
    // stray mark there shows.
    form.盤_当たり[0].fill(kOff);
    form.列_当たり[0] = kOff;
  }

  // The landing's own search for hits, then the chain.
  void RunChain() {
    form.効筋設定();
    form.調査_当駒();
    form.連続消去当たり石();
  }
  // The whole well on the surface, and a clean log from here on.
  void ShowWell() {
    form.描画_全画面();
    window.drawing.clear();
  }
  bool Shows(const QImage& surface, double column, double row, Picture picture) {
    return StampedAt(surface, window.canvas().picture(picture), CellX(column), CellY(row));
  }
  void Mark(Cells cells) {
    for (const auto& [column, row] : cells) {
      form.盤_当たり[column][row] = kOn;
      form.列_当たり[column] = kOn;
    }
  }
  Cells Marked() {
    Cells cells;
    for (int column = 0; column <= 11; ++column) {
      for (int row = 1; row <= 16; ++row) {
        if (form.盤_当たり[column][row] == kOn) cells.insert({column, row});
      }
    }
    return cells;
  }
  std::set<int> FlaggedColumns() {
    std::set<int> columns;
    for (int column = 0; column <= 11; ++column) {
      if (form.列_当たり[column] == kOn) columns.insert(column);
    }
    return columns;
  }
};

// ------------------------------------------------------------------ blink

TEST_F(Chain, AnyColumnFlagMeansThereIsSomethingToErase) {
  EXPECT_EQ(form.存在チェック_当たり石(), kOff);
  form.列_当たり[11] = kOn;
  EXPECT_EQ(form.存在チェック_当たり石(), kOn);
  form.列_当たり[11] = kOff;
  form.列_当たり[1] = kOn;
  EXPECT_EQ(form.存在チェック_当たり石(), kOn);
  form.列_当たり[1] = kOff;
  // A fresh game object has never set its flags, and unset reads as on.
  Form1 fresh(window, sound);
  EXPECT_EQ(fresh.存在チェック_当たり石(), kOn);
}

TEST_F(Chain, MarkedStonesBlinkSparkleAndShowEmpty) {
  SetPlayfield(form, Rows(R"(
......王....
...........
...........
...........
...........
..歩発爆金.....
)"));
  const Grid board = form.盤;
  const std::vector<std::pair<Cell, Picture>> marked = {{{3, 16}, Picture::HU},
                                                        {{4, 16}, Picture::BAKUHATU},
                                                        {{5, 16}, Picture::BAKUDAN},
                                                        {{7, 11}, Picture::OH}};
  for (const auto& entry : marked) Mark({entry.first});
  ShowWell();
  window.keep_frames = true;
  const double start = window.Monotonic();

  form.当たり石点滅(3);

  // Each frame draws the marked cells in scan order, shows them, then waits.
  std::vector<std::string> expected_log;
  const auto frame = [&](auto picture_of) {
    for (const auto& [cell, own] : marked) {
      expected_log.push_back(PictureLine(picture_of(own), cell.first, cell.second));
    }
    expected_log.push_back("refresh");
    expected_log.push_back("wait");
  };
  const auto own = [](Picture p) { return p; };
  const auto fixed = [](Picture p) { return [p](Picture) { return p; }; };
  for (int i = 0; i < 3; ++i) {
    frame(own);
    frame(fixed(Picture::HAIKEI));
  }
  frame(fixed(Picture::PA2));
  frame(fixed(Picture::PA));
  frame(fixed(Picture::PA2));
  frame(fixed(Picture::HAIKEI));
  EXPECT_EQ(window.drawing, expected_log);

  ASSERT_EQ(window.frames.size(), 10U);
  const Picture fixed_frames[] = {Picture::PA2, Picture::PA, Picture::PA2, Picture::HAIKEI};
  for (std::size_t i = 0; i < 10; ++i) {
    EXPECT_NEAR(window.refresh_times[i], start + 0.1 * static_cast<double>(i), 1e-9) << i;
    for (const auto& [cell, own_picture] : marked) {
      const Picture want =
          i < 6 ? (i % 2 == 0 ? own_picture : Picture::HAIKEI) : fixed_frames[i - 6];
      EXPECT_TRUE(Shows(window.frames[i], cell.first, cell.second, want))
          << "frame " << i << " at " << cell.first << "," << cell.second << " should show "
          << PictureName(want);
    }
    EXPECT_TRUE(Shows(window.frames[i], 6, 16, Picture::KIN)) << "unmarked stone, frame " << i;
  }
  EXPECT_NEAR(window.Monotonic(), start + 1.0, 1e-9);
  // The blink only shows: the stones and their marks are still there.
  EXPECT_EQ(form.盤, board);
  EXPECT_EQ(Marked().size(), 4U);
}

TEST_F(Chain, BlinkWithNothingMarkedStillTakesItsTime) {
  const double start = window.Monotonic();
  form.当たり石点滅(3);
  EXPECT_EQ(Timeline(window.drawing), Repeat("RW", 10));
  EXPECT_NEAR(window.Monotonic(), start + 1.0, 1e-9);

  window.drawing.clear();
  Mark({{2, 9}});
  form.当たり石点滅(0);
  EXPECT_EQ(window.drawing,
            (std::vector<std::string>{PictureLine(Picture::PA2, 2, 9), "refresh", "wait",
                                      PictureLine(Picture::PA, 2, 9), "refresh", "wait",
                                      PictureLine(Picture::PA2, 2, 9), "refresh", "wait",
                                      PictureLine(Picture::HAIKEI, 2, 9), "refresh", "wait"}));
}

// ---------------------------------------------------------------- erasure

TEST_F(Chain, ErasingEmptiesMarkedCellsAndHandsTheColumnsToTheDrop) {
  SetPlayfield(form, Rows(R"(
..金........
..金歩......飛
)"));
  form.盤[6][1] = U'香';
  Mark({{3, 15}, {3, 16}, {11, 16}, {6, 1}});
  form.列_当たり[9] = kOn;
  int count = -1;
  form.当たり石消去(count);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(BoardRows(form)[14], "...........");
  EXPECT_EQ(BoardRows(form)[15], "...歩.......");
  // The preview row is neither erased nor unmarked.
  EXPECT_EQ(form.盤[6][1], U'香');
  EXPECT_EQ(Marked(), (Cells{{6, 1}}));
  EXPECT_TRUE(FlaggedColumns().empty());
  for (int column = 1; column <= 11; ++column) {
    const bool flagged = column == 3 || column == 6 || column == 9 || column == 11;
    EXPECT_EQ(form.列_段落ち[column], flagged ? kOn : kOff) << column;
  }
}

TEST_F(Chain, BombMarksItsFourNeighboursOnly) {
  SetPlayfield(form, Rows(R"(
....王飛角....
....星爆発....
....金爆銀....
)"));
  form.隣接石消去設定_爆弾();
  // Each bomb marks the other; diagonals stay.
  EXPECT_EQ(Marked(), (Cells{{5, 15}, {7, 15}, {6, 14}, {6, 16}, {6, 15}, {5, 16}, {7, 16}}));
  EXPECT_EQ(FlaggedColumns(), (std::set<int>{5, 6, 7}));

  SetPlayfield(form, Rows(R"(
...........
..歩........
...爆.......
)"));
  form.盤フラグ初期化();
  form.隣接石消去設定_爆弾();
  EXPECT_TRUE(Marked().empty());
  EXPECT_TRUE(FlaggedColumns().empty());
}

TEST_F(Chain, BombAtTheWallsMarksNothingBeyondThem) {
  SetPlayfield(form, Rows(R"(
爆歩.........
香........歩爆
...........
歩........桂爆
爆歩........金
)"));
  form.隣接石消去設定_爆弾();
  EXPECT_EQ(Marked(), (Cells{{2, 12}, {1, 13}, {10, 13}, {10, 15}, {11, 16}, {1, 15}, {2, 16}}));
  EXPECT_EQ(FlaggedColumns(), (std::set<int>{1, 2, 10, 11}));
}

TEST_F(Chain, BombInTheTopRowMarksTheEntryCellButCannotEraseIt) {
  form.盤[6][1] = U'歩';
  form.盤[6][2] = U'爆';
  form.落下石_駒 = {0, U'爆', U'爆', U'爆'};
  form.隣接石消去設定_爆弾();
  EXPECT_EQ(Marked(), (Cells{{6, 1}}));
  EXPECT_EQ(FlaggedColumns(), (std::set<int>{6}));
  form.連続消去当たり石();
  EXPECT_EQ(form.盤[6][1], U'歩');
  EXPECT_EQ(form.盤[6][16], U'爆');
  EXPECT_EQ(form.得点, 0);
  EXPECT_EQ(Marked(), (Cells{{6, 1}}));
}

TEST_F(Chain, StarTakesEveryStoneOfTheKindsItTouches) {
  SetPlayfield(form, Rows(R"(
歩.........歩
...........
....香......
..歩星金......
歩...王.....香
)"));
  form.盤[5][1] = U'歩';
  form.隣接石消去設定_星();
  EXPECT_EQ(Marked(), (Cells{{1, 12}, {11, 12}, {3, 15}, {1, 16}, {5, 15}}));
  EXPECT_EQ(FlaggedColumns(), (std::set<int>{1, 3, 5, 11}));
}

TEST_F(Chain, StarUnderTheEntryTakesThatKindFromTheWellOnly) {
  form.盤[6][1] = U'香';
  form.盤[6][2] = U'星';
  form.盤[2][10] = U'香';
  form.盤[9][16] = U'香';
  form.隣接石消去設定_星();
  EXPECT_EQ(Marked(), (Cells{{2, 10}, {9, 16}}));
}

TEST_F(Chain, LoneBombTrioErasesItselfWithoutAnAward) {
  SetPlayfield(form, Rows(R"(
金銀.......飛角
歩香..爆爆爆..桂王
)"));
  form.落下石_駒 = {0, U'爆', U'爆', U'爆'};
  form.隣接石消去設定_爆弾();
  for (int column = 5; column <= 7; ++column) form.盤[column][16] = U'発';
  form.連続消去当たり石();
  EXPECT_EQ(BoardRows(form)[14], "金銀.......飛角");
  EXPECT_EQ(BoardRows(form)[15], "歩香.......桂王");
  EXPECT_EQ(form.得点, 30);
  EXPECT_EQ(form.爆_予約, kOff);
  EXPECT_EQ(form.星_予約, kOff);
}

TEST_F(Chain, LoneStarTrioErasesEveryStarWithoutAnAward) {
  SetPlayfield(form, Rows(R"(
星..........
...........
歩........飛.
歩...星星星..飛.
)"));
  form.落下石_駒 = {0, U'星', U'星', U'星'};
  form.隣接石消去設定_星();
  form.連続消去当たり石();
  EXPECT_EQ(BoardRows(form)[13], "...........");
  EXPECT_EQ(BoardRows(form)[14], "歩........飛.");
  EXPECT_EQ(BoardRows(form)[15], "歩........飛.");
  EXPECT_EQ(form.得点, 40);
  EXPECT_EQ(form.爆_予約, kOff);
  EXPECT_EQ(form.星_予約, kOff);
}

// ------------------------------------------------------------------ chain

TEST_F(Chain, NothingMarkedMeansNothingHappens) {
  SetPlayfield(form, {"金金........."});
  form.得点 = 12;
  RunChain();
  EXPECT_TRUE(window.drawing.empty());
  EXPECT_TRUE(sound.calls.empty());
  EXPECT_TRUE(window.waits.empty());
  EXPECT_EQ(form.得点, 12);
  EXPECT_EQ(BoardRows(form)[15], "金金.........");
}

// Golds in column 2 go first; the king above them falls between two others
// and a fourth, and those four go next; the lance on top ends at the bottom.
TEST_F(Chain, LandingChainErasesDropsRegroupsAndErasesAgain) {
  SetPlayfield(form, Rows(R"(
.香.........
.王.........
.金.....角...
.金.........
王金王王......飛
)"));
  form.盤[5][1] = U'歩';
  form.盤[6][1] = U'香';
  form.盤[7][1] = U'桂';
  ShowWell();
  const double start = window.Monotonic();

  RunChain();

  // Pass one: blink, sound, score, five drop steps for a fall of three.
  // Pass two: the same with three steps for a fall of one.
  std::string shape;
  for (char ch : Timeline(window.drawing)) {
    if (ch != 'C') shape += ch;
  }
  EXPECT_EQ(shape, Repeat("RW", 10) + "P" + "SSSS" + Repeat("R", 5) + Repeat("RW", 10) + "P" +
                       "SSSS" + Repeat("R", 3));
  EXPECT_EQ(ScoreDigits(window.drawing), "00300070");
  EXPECT_EQ(form.得点, 70);
  EXPECT_EQ(window.refreshes, 28);
  EXPECT_NEAR(window.Monotonic(), start + 2.0, 1e-9);
  EXPECT_EQ(sound.played, (std::vector<std::int32_t>{kEraseSound, kEraseSound}));
  EXPECT_EQ(form.爆_予約, kOn);
  EXPECT_EQ(form.星_予約, kOn);

  std::vector<std::string> rows(16, "...........");
  rows[0] = "....歩香桂....";
  rows[13] = ".......角...";
  rows[15] = ".香........飛";
  EXPECT_EQ(BoardRows(form), rows);
  EXPECT_TRUE(Marked().empty());
  EXPECT_TRUE(FlaggedColumns().empty());
  for (int column = 1; column <= 11; ++column) EXPECT_EQ(form.列_段落ち[column], kOff) << column;

  // The surface shows the board as it ended.
  EXPECT_TRUE(Shows(window.image(), 2, 16, Picture::KYOU));
  for (int column = 1; column <= 4; ++column) {
    for (int row = 12; row <= 15; ++row) {
      EXPECT_TRUE(Shows(window.image(), column, row, Picture::HAIKEI)) << column << "," << row;
    }
  }
  EXPECT_TRUE(Shows(window.image(), 8, 14, Picture::KAKU));
}

TEST_F(Chain, EachPassEarnsByItsOwnCount) {
  struct Case {
    const char* what;
    符号 landed;
    std::vector<std::string> rows;
    Cells marked_by_hand;
    int bomb, star;
    long score;
  };
  const Case cases[] = {
      {"three", U'歩', {"..金金金......"}, {}, kOn, kOff, 30},
      {"five", U'歩', {"..金金金金金...."}, {}, kOff, kOn, 50},
      {"three after a bomb trio", U'爆', {"..金金金......"}, {}, kOff, kOff, 30},
      {"four after a star trio", U'星', {"..金金金金....."}, {}, kOff, kOff, 40},
      {"two", U'歩', {"..金金.......", "..飛歩......."}, {{3, 16}, {4, 16}}, kOff, kOff, 20},
      // Two marked by hand, then three kings meet: the award is the second
      // pass's, not that of the five together.
      {"two then three",
       U'歩',
       {".王.........", ".歩.........", "王香王........"},
       {{2, 15}, {2, 16}},
       kOn,
       kOff,
       50},
      {"three then three",
       U'歩',
       {".王.........", ".金.........", ".金.........", "王金王........"},
       {},
       kOn,
       kOff,
       60},
  };
  for (const Case& c : cases) {
    SetPlayfield(form, c.rows);
    form.盤フラグ初期化();
    form.爆_予約 = kOff;
    form.星_予約 = kOff;
    form.得点 = 0;
    form.落下石_駒[1] = c.landed;
    form.効筋設定();
    form.調査_当駒();
    Mark(c.marked_by_hand);
    form.連続消去当たり石();
    EXPECT_EQ(form.爆_予約, c.bomb) << c.what;
    EXPECT_EQ(form.星_予約, c.star) << c.what;
    EXPECT_EQ(form.得点, c.score) << c.what;
  }
}

TEST_F(Chain, AnAwardAlreadyDueStaysDue) {
  SetPlayfield(form, {"..金金金金....."});
  form.爆_予約 = kOn;
  RunChain();
  EXPECT_EQ(form.爆_予約, kOn);
  EXPECT_EQ(form.星_予約, kOn);

  SetPlayfield(form, {"..金金金......"});
  form.爆_予約 = kOff;
  RunChain();
  EXPECT_EQ(form.爆_予約, kOn);
  EXPECT_EQ(form.星_予約, kOn);
}

// ------------------------------------------------------------------- drop

TEST_F(Chain, OneStepMovesEveryStoneAboveAGapByOne) {
  form.盤[5][10] = U'金';
  form.盤[5][12] = U'銀';
  std::vector<int> answers = {form.石一段落ち(5)};
  EXPECT_EQ(form.盤[5][11], U'金');
  EXPECT_EQ(form.盤[5][13], U'銀');
  EXPECT_EQ(form.盤[5][10], U' ');
  EXPECT_EQ(form.盤[5][12], U' ');
  for (int i = 0; i < 10 && answers.back() == kOn; ++i) answers.push_back(form.石一段落ち(5));
  EXPECT_EQ(answers, (std::vector<int>{kOn, kOn, kOn, kOn, kOn, kOff}));
  EXPECT_EQ(form.盤[5][15], U'金');
  EXPECT_EQ(form.盤[5][16], U'銀');

  // Stones resting on a full column stay.
  SetPlayfield(form, {"..香........", "..桂........", "..歩........"});
  EXPECT_EQ(form.石一段落ち(3), kOff);
}

TEST_F(Chain, DropTakesTwoPassesMoreThanTheLongestFall) {
  form.盤[5][10] = U'金';
  form.盤[5][12] = U'銀';
  form.盤[3][9] = U'飛';
  form.列_段落ち[5] = kOn;
  ShowWell();
  form.段落ち();
  // Every pass redraws all eleven columns from the bottom up, then shows.
  std::string pass;
  for (int column = 1; column <= 11; ++column) pass += std::string(15, 'C');
  EXPECT_EQ(Timeline(window.drawing), Repeat(pass + "R", 7));
  EXPECT_TRUE(window.waits.empty());
  EXPECT_EQ(window.drawing[0], PictureLine(Picture::HAIKEI, 1, 16));
  EXPECT_EQ(window.drawing[14], PictureLine(Picture::HAIKEI, 1, 2));
  EXPECT_EQ(form.盤[5][15], U'金');
  EXPECT_EQ(form.盤[5][16], U'銀');
  EXPECT_EQ(form.盤[3][9], U'飛') << "a column not flagged keeps its gaps";
  for (int column = 1; column <= 11; ++column) EXPECT_EQ(form.列_段落ち[column], kOff) << column;
  EXPECT_TRUE(Shows(window.image(), 5, 15, Picture::KIN));
  EXPECT_TRUE(Shows(window.image(), 5, 16, Picture::GIN));
  EXPECT_TRUE(Shows(window.image(), 5, 10, Picture::HAIKEI));
  EXPECT_TRUE(Shows(window.image(), 5, 12, Picture::HAIKEI));
  EXPECT_TRUE(Shows(window.image(), 3, 9, Picture::HISYA));
}

TEST_F(Chain, DropPassCounts) {
  std::string pass;
  for (int column = 1; column <= 11; ++column) pass += std::string(15, 'C');

  form.段落ち();
  EXPECT_EQ(Timeline(window.drawing), pass + "R") << "nothing flagged";

  window.drawing.clear();
  SetPlayfield(form, {"....金......", "....金......"});
  form.列_段落ち[5] = kOn;
  form.段落ち();
  EXPECT_EQ(Timeline(window.drawing), Repeat(pass + "R", 2)) << "a flagged column with no gap";
}

TEST_F(Chain, TopRowFallsAndThePreviewStays) {
  form.盤[6][1] = U'香';
  form.盤[6][2] = U'歩';
  form.盤[6][16] = U'金';
  form.列_段落ち[6] = kOn;
  form.段落ち();
  EXPECT_EQ(form.盤[6][1], U'香');
  EXPECT_EQ(form.盤[6][2], U' ');
  EXPECT_EQ(form.盤[6][15], U'歩');
  EXPECT_EQ(form.盤[6][16], U'金');
  // A fall of thirteen.
  EXPECT_EQ(window.refreshes, 15);
}

// ------------------------------------------------------------- game over

TEST_F(Chain, GameOverSlidesTheWellOutRowByRow) {
  SetPlayfield(form, Rows(R"(
..........香
金金金金金金金金金金飛
)"));
  form.盤[5][1] = U'歩';
  form.盤[6][1] = U'香';
  form.盤[7][1] = U'桂';
  Mark({{3, 16}});
  const auto marks = form.盤_当たり;
  ShowWell();
  window.keep_frames = true;
  const double start = window.Monotonic();

  form.終了_段落ち();

  ASSERT_EQ(window.frames.size(), 16U);
  std::string expected;
  for (int k = 1; k <= 16; ++k) {
    expected += std::string(static_cast<std::size_t>(11 * (17 - k) + (k == 1 ? 10 : 0)), 'C');
    expected += "WR";
  }
  EXPECT_EQ(Timeline(window.drawing), expected);
  // The first step painted row 1 over the top frame, and mends it.
  const std::vector<std::string> mend(window.drawing.begin() + 176, window.drawing.begin() + 186);
  EXPECT_EQ(mend, (std::vector<std::string>{
                      PictureLine(Picture::WAKU_UE, 1, 1), PictureLine(Picture::WAKU_UE, 8, 1),
                      PictureLine(Picture::WAKU_UE, 2, 1), PictureLine(Picture::WAKU_UE, 9, 1),
                      PictureLine(Picture::WAKU_UE, 3, 1), PictureLine(Picture::WAKU_UE, 10, 1),
                      PictureLine(Picture::WAKU_UE, 4, 1), PictureLine(Picture::WAKU_UE, 11, 1),
                      PictureLine(Picture::WAKU_HIDARI, 4, 0.25),
                      PictureLine(Picture::WAKU_MIGI, 8, 0.25)}));

  for (int k = 1; k <= 16; ++k) {
    const QImage& frame = window.frames[static_cast<std::size_t>(k - 1)];
    EXPECT_NEAR(window.refresh_times[static_cast<std::size_t>(k - 1)], start + 0.2 * k, 1e-9);
    // The preview's lance rides down one row a step, with emptiness above it.
    if (k <= 15) {
      EXPECT_TRUE(Shows(frame, 6, k + 1, Picture::KYOU)) << "step " << k;
    }
    EXPECT_TRUE(Shows(frame, 6, k, Picture::HAIKEI)) << "step " << k;
    for (int c : {1, 2, 3, 9, 10, 11}) EXPECT_TRUE(Shows(frame, c, 1, Picture::WAKU_UE)) << k;
    EXPECT_TRUE(Shows(frame, 4, 0.25, Picture::WAKU_HIDARI)) << k;
    EXPECT_TRUE(Shows(frame, 8, 0.25, Picture::WAKU_MIGI)) << k;
  }
  EXPECT_TRUE(Shows(window.frames[0], 11, 16, Picture::KYOU));
  EXPECT_TRUE(Shows(window.frames[0], 6, 1, Picture::HAIKEI));

  for (int column = 1; column <= 11; ++column) {
    for (int row = 1; row <= 16; ++row) {
      EXPECT_EQ(form.盤[column][row], 0U) << column << "," << row;
    }
  }
  EXPECT_EQ(form.盤_当たり, marks);

  // What is left looks exactly like an empty well drawn afresh.
  FakeWindow fresh;
  RecordingSound quiet;
  Form1 empty(fresh, quiet);
  empty.描画_全画面();
  const QRect trace = Difference(window.image(), fresh.image());
  EXPECT_TRUE(trace.isEmpty()) << trace.x() << "," << trace.y() << " " << trace.width() << "x"
                               << trace.height();
}

// --------------------------------------------------------------- property

// An attack rule of its own: each kind's directions, walked from the
// attacker; the long pieces go on over empty cells.
std::vector<Cell> AttackedFrom(const Grid& board, int column, int row) {
  struct Way {
    int dc, dr;
  };
  static const std::map<符号, std::vector<Way>> kWays = {
      {U'歩', {{0, -1}}},
      {U'香', {{0, -1}}},
      {U'桂', {{-1, -2}, {1, -2}}},
      {U'銀', {{-1, -1}, {0, -1}, {1, -1}, {-1, 1}, {1, 1}}},
      {U'金', {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {0, 1}}},
      {U'角', {{-1, -1}, {1, -1}, {-1, 1}, {1, 1}}},
      {U'飛', {{0, -1}, {0, 1}, {-1, 0}, {1, 0}}},
      {U'王', {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}}},
  };
  const 符号 kind = board[column][row];
  const auto ways = kWays.find(kind);
  if (ways == kWays.end()) return {};
  const bool long_range = kind == U'香' || kind == U'角' || kind == U'飛';
  std::vector<Cell> cells;
  for (const Way& way : ways->second) {
    for (int c = column + way.dc, r = row + way.dr; c >= 1 && c <= 11 && r >= 2 && r <= 16;
         c += way.dc, r += way.dr) {
      cells.push_back({c, r});
      if (!long_range || board[c][r] != U' ') break;
    }
  }
  return cells;
}

// Same-kind stones joined by attacks either way, found by union-find; each
// stone's component as its lowest cell index, cells numbered column-major.
std::map<Cell, int> Components(const Grid& board) {
  std::vector<int> parent(12 * 17);
  std::iota(parent.begin(), parent.end(), 0);
  const auto index = [](Cell cell) { return cell.first * 17 + cell.second; };
  const auto find = [&parent](int i) {
    while (parent[static_cast<std::size_t>(i)] != i) i = parent[static_cast<std::size_t>(i)];
    return i;
  };
  for (int column = 1; column <= 11; ++column) {
    for (int row = 2; row <= 16; ++row) {
      for (const Cell& target : AttackedFrom(board, column, row)) {
        if (board[target.first][target.second] != board[column][row]) continue;
        const int a = find(index({column, row}));
        const int b = find(index(target));
        parent[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
      }
    }
  }
  std::map<Cell, int> components;
  for (int column = 1; column <= 11; ++column) {
    for (int row = 2; row <= 16; ++row) {
      if (board[column][row] != U' ') components[{column, row}] = find(index({column, row}));
    }
  }
  return components;
}

std::map<int, int> ComponentSizes(const std::map<Cell, int>& components) {
  std::map<int, int> sizes;
  for (const auto& entry : components) ++sizes[entry.second];
  return sizes;
}

Cells StonesInGroupsOfThree(const Grid& board) {
  const auto components = Components(board);
  const auto sizes = ComponentSizes(components);
  Cells cells;
  for (const auto& [cell, component] : components) {
    if (sizes.at(component) >= 3) cells.insert(cell);
  }
  return cells;
}

// The stones of rows 2 to 16 of a column, from the bottom up.
std::u32string ColumnStones(const Grid& board, int column) {
  std::u32string stones;
  for (int row = 16; row >= 2; --row) {
    if (board[column][row] != U' ') stones += board[column][row];
  }
  return stones;
}

// The chain as the rules tell it: erase every group of three or more, let
// every column that lost a stone settle completely, and again.
struct Outcome {
  Grid board;
  std::vector<int> passes;
};
Outcome ModelChain(Grid board) {
  Outcome outcome;
  for (Cells erase = StonesInGroupsOfThree(board); !erase.empty();
       erase = StonesInGroupsOfThree(board)) {
    outcome.passes.push_back(static_cast<int>(erase.size()));
    std::set<int> columns;
    for (const auto& [column, row] : erase) {
      board[column][row] = U' ';
      columns.insert(column);
    }
    for (int column : columns) {
      const std::u32string stones = ColumnStones(board, column);
      for (int row = 16, i = 0; row >= 2; --row, ++i) {
        board[column][row] =
            i < static_cast<int>(stones.size()) ? stones[static_cast<std::size_t>(i)] : U' ';
      }
    }
  }
  outcome.board = board;
  return outcome;
}

// Stamps nothing: the property run is about the rules, and is kept quick.
class QuietWindow : public FakeWindow {
 public:
  void PaintPicture(Picture, float, float) override {}
};

Grid RandomBoard(std::mt19937& random) {
  const std::u32string all = U"歩香桂銀金角飛王";
  std::u32string kinds = all;
  std::shuffle(kinds.begin(), kinds.end(), random);
  kinds.resize(2 + random() % 7);
  const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  Grid board{};
  for (int column = 1; column <= 11; ++column) {
    for (int row = 1; row <= 16; ++row) board[column][row] = U' ';
    const int height = static_cast<int>(pick(16));
    const bool holes = pick(4) == 0;
    for (int row = 17 - height; row <= 16; ++row) {
      if (holes && pick(3) == 0) continue;
      board[column][row] = pick(12) == 0 ? U"爆星発"[pick(3)] : kinds[pick(kinds.size())];
    }
  }
  for (int column = 5; column <= 7; ++column) board[column][1] = all[pick(all.size())];
  return board;
}

TEST(ChainProperty, RandomBoardsSettleAsTheRulesSay) {
  QuietWindow window;
  window.record_drawing = false;
  RecordingSound sound;
  Form1 form(window, sound);
  form.音_石消去 = kEraseSound;
  form.落下石_駒 = {0, U'王', U'王', U'王'};
  int chains_of_two_or_more = 0;
  int boards_with_awards = 0;
  for (unsigned seed = 1; seed <= 300; ++seed) {
    std::mt19937 random(seed);
    const Grid start = RandomBoard(random);
    SCOPED_TRACE("seed " + std::to_string(seed));
    form.盤 = start;
    form.盤フラグ初期化();
    form.得点 = 0;
    form.爆_予約 = kOff;
    form.星_予約 = kOff;
    sound.played.clear();

    // The game's groups are the components of the attack relation, and
    // each is labelled by a member whose size entry counts the whole group.
    form.効筋設定();
    const auto components = Components(start);
    const auto sizes = ComponentSizes(components);
    std::map<int, 組ラベル> label_of_component;
    std::map<組ラベル, int> component_of_label;
    for (const auto& [cell, component] : components) {
      const 組ラベル label = form.効筋_組[cell.first][cell.second];
      const auto [known, fresh] = label_of_component.emplace(component, label);
      ASSERT_EQ(known->second, label) << "stones of one component carry two labels";
      const auto [owner, first] = component_of_label.emplace(label, component);
      ASSERT_EQ(owner->second, component) << "one label on two components";
      const Cell root{Form1::ラベル_列(label), Form1::ラベル_行(label)};
      ASSERT_EQ(components.count(root), 1U);
      ASSERT_EQ(components.at(root), component) << "the root lies outside its group";
      ASSERT_EQ(form.効筋_数[root.first][root.second], sizes.at(component));
      ASSERT_LE(form.効筋_数[cell.first][cell.second], sizes.at(component));
    }
    for (int column = 1; column <= 11; ++column) {
      for (int row = 2; row <= 16; ++row) {
        if (start[column][row] == U' ') {
          ASSERT_EQ(form.効筋_組[column][row], 0) << column << "," << row;
        }
      }
    }

    form.調査_当駒();
    const Cells first_marks = StonesInGroupsOfThree(start);
    for (int column = 1; column <= 11; ++column) {
      bool any = false;
      for (int row = 2; row <= 16; ++row) {
        const bool marked = first_marks.count({column, row}) != 0;
        any = any || marked;
        ASSERT_EQ(form.盤_当たり[column][row], marked ? kOn : kOff) << column << "," << row;
      }
      ASSERT_EQ(form.列_当たり[column], any ? kOn : kOff) << column;
    }

    form.連続消去当たり石();
    const Grid& end = form.盤;

    int lost = 0;
    for (int column = 1; column <= 11; ++column) {
      ASSERT_EQ(end[column][1], start[column][1]) << "preview row, column " << column;
      const std::u32string before = ColumnStones(start, column);
      const std::u32string after = ColumnStones(end, column);
      lost += static_cast<int>(before.size()) - static_cast<int>(after.size());
      if (before.size() == after.size()) {
        for (int row = 2; row <= 16; ++row) {
          ASSERT_EQ(end[column][row], start[column][row]) << "untouched column " << column;
        }
        continue;
      }
      // A column that lost stones is settled: no stone above an empty cell,
      // and the survivors keep their order.
      for (int row = 3; row <= 16; ++row) {
        ASSERT_FALSE(end[column][row] == U' ' && end[column][row - 1] != U' ')
            << "gap under " << column << "," << row - 1;
      }
      std::size_t i = 0;
      for (char32_t stone : before) {
        if (i < after.size() && after[i] == stone) ++i;
      }
      ASSERT_EQ(i, after.size()) << "column " << column << " changed order";
    }
    ASSERT_EQ(form.得点, 10L * lost);
    ASSERT_TRUE(StonesInGroupsOfThree(end).empty());
    ASSERT_EQ(form.存在チェック_当たり石(), kOff);

    const Outcome model = ModelChain(start);
    ASSERT_EQ(end, model.board);
    ASSERT_EQ(sound.played.size(), model.passes.size());
    const bool three = std::count(model.passes.begin(), model.passes.end(), 3) > 0;
    const bool four =
        std::any_of(model.passes.begin(), model.passes.end(), [](int n) { return n >= 4; });
    ASSERT_EQ(form.爆_予約, three ? kOn : kOff);
    ASSERT_EQ(form.星_予約, four ? kOn : kOff);
    if (model.passes.size() >= 2) ++chains_of_two_or_more;
    if (three || four) ++boards_with_awards;
  }
  // The boards are varied enough to exercise real chains.
  EXPECT_GE(chains_of_two_or_more, 100);
  EXPECT_GE(boards_with_awards, 150);
}

}  // namespace
}  // namespace zonbeli
