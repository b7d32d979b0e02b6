// The falling trio against walls, floor and stones: which moves and turns
// are allowed, where a turn puts each stone, and what is redrawn.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "board_text.h"
#include "fake_window.h"
#include "form1.h"
#include "pixels.h"

namespace zonbeli {
namespace {

constexpr int kOn = Form1::定数_オン;
constexpr int kOff = Form1::定数_オフ;
constexpr int kLying = Form1::向き_横;
constexpr int kStanding = Form1::向き_縦;

using Stone = std::tuple<int, int, char32_t>;  // column, row, code

class Moves : public testing::Test {
 protected:
  FakeWindow window;
  RecordingSound sound;
  Form1 form{window, sound};

  void SetUp() override { SetPlayfield(form, {}); }

  // Stones A B C left to right, stone 1 the left one.
  void Lay(int left_column, int row, std::u32string_view codes = U"金銀角") {
    form.落下石_向き = kLying;
    for (int i = 1; i <= 3; ++i) {
      form.落下石_列[i] = left_column + i - 1;
      form.落下石_行[i] = row;
      form.落下石_駒[i] = codes[static_cast<std::size_t>(i - 1)];
    }
  }

  // Stones A B C top to bottom, stone 1 the top one.
  void Stand(int column, int top_row, std::u32string_view codes = U"金銀角") {
    form.落下石_向き = kStanding;
    for (int i = 1; i <= 3; ++i) {
      form.落下石_列[i] = column;
      form.落下石_行[i] = top_row + i - 1;
      form.落下石_駒[i] = codes[static_cast<std::size_t>(i - 1)];
    }
  }

  void Put(int column, int row) { form.盤[column][row] = U'歩'; }
  void Clear(int column, int row) { form.盤[column][row] = U' '; }

  bool CanMove(int dx, int dy) { return form.落下石_移動可能(dx, dy) == kOn; }
  bool CanTurn() { return form.落下石_回転可能() == kOn; }

  std::vector<Stone> Stones() const {
    std::vector<Stone> stones;
    for (int i = 1; i <= 3; ++i)
      stones.emplace_back(form.落下石_列[i], form.落下石_行[i], form.落下石_駒[i]);
    return stones;
  }

  bool Shows(int column, int row, Picture p) {
    return StampedAt(window.image(), window.canvas().picture(p), TwipsToPixels(100 + 525 * column),
                     TwipsToPixels(-200 + 525 * row));
  }
};

TEST_F(Moves, LyingTrioStopsAtTheSideWalls) {
  Lay(1, 8);
  EXPECT_FALSE(CanMove(-1, 0));
  EXPECT_TRUE(CanMove(1, 0));
  Lay(9, 8);
  EXPECT_FALSE(CanMove(1, 0));
  EXPECT_TRUE(CanMove(-1, 0));
  Lay(2, 8);
  EXPECT_TRUE(CanMove(-1, 0));
  Lay(8, 8);
  EXPECT_TRUE(CanMove(1, 0));
}

TEST_F(Moves, LyingTrioLooksOnlyAheadOfItsLeadingStone) {
  Lay(4, 8);
  Put(3, 8);
  EXPECT_FALSE(CanMove(-1, 0));
  EXPECT_TRUE(CanMove(1, 0));
  Put(7, 8);
  EXPECT_FALSE(CanMove(1, 0));
  Clear(3, 8);
  Clear(7, 8);
  // Stones diagonally ahead, above or below do not stand in the way.
  for (const auto& [c, r] : {std::pair{3, 7}, {3, 9}, {7, 7}, {7, 9}, {5, 7}, {5, 9}}) Put(c, r);
  EXPECT_TRUE(CanMove(-1, 0));
  EXPECT_TRUE(CanMove(1, 0));
}

TEST_F(Moves, StandingTrioNeedsAllThreeCellsBesideIt) {
  Stand(1, 5);
  EXPECT_FALSE(CanMove(-1, 0));
  EXPECT_TRUE(CanMove(1, 0));
  Stand(11, 5);
  EXPECT_FALSE(CanMove(1, 0));
  EXPECT_TRUE(CanMove(-1, 0));
  for (int row = 5; row <= 7; ++row) {
    Stand(6, 5);
    Put(5, row);
    EXPECT_FALSE(CanMove(-1, 0)) << "stone left of row " << row;
    EXPECT_TRUE(CanMove(1, 0));
    Clear(5, row);
    Put(7, row);
    EXPECT_FALSE(CanMove(1, 0)) << "stone right of row " << row;
    EXPECT_TRUE(CanMove(-1, 0));
    Clear(7, row);
  }
  // A gap exactly one cell wide and three high takes it.
  SetPlayfield(form, {});
  for (int row = 2; row <= 16; ++row) {
    Put(7, row);
    if (row < 5 || row > 7) Put(6, row);
  }
  Stand(5, 5);
  EXPECT_TRUE(CanMove(1, 0));
}

TEST_F(Moves, StandingTrioFallsUntilItsBottomStoneMeetsSomething) {
  Stand(6, 13);
  EXPECT_TRUE(CanMove(0, 1));
  Stand(6, 14);
  EXPECT_FALSE(CanMove(0, 1)) << "bottom stone on the floor row";
  Stand(6, 10);
  Put(5, 13);
  Put(7, 13);
  EXPECT_TRUE(CanMove(0, 1)) << "stones beside the cell below do not count";
  Put(6, 13);
  EXPECT_FALSE(CanMove(0, 1));
}

TEST_F(Moves, LyingTrioFallsUntilAnyStoneBelowIt) {
  Lay(5, 15);
  EXPECT_TRUE(CanMove(0, 1));
  Lay(5, 16);
  EXPECT_FALSE(CanMove(0, 1)) << "on the floor row";
  for (int column = 5; column <= 7; ++column) {
    Lay(5, 10);
    Put(column, 11);
    EXPECT_FALSE(CanMove(0, 1)) << "stone under column " << column;
    Clear(column, 11);
  }
  Put(4, 11);
  Put(8, 11);
  EXPECT_TRUE(CanMove(0, 1));
}

TEST_F(Moves, ADiagonalStepMustPassBothTests) {
  Lay(5, 10);
  EXPECT_TRUE(CanMove(1, 1));
  Put(8, 10);
  EXPECT_FALSE(CanMove(1, 1)) << "blocked sideways";
  Clear(8, 10);
  Put(6, 11);
  EXPECT_FALSE(CanMove(1, 1)) << "blocked below";
  Stand(6, 10);
  Put(6, 13);
  EXPECT_FALSE(CanMove(-1, 1));
  Clear(6, 13);
  Put(5, 11);
  EXPECT_FALSE(CanMove(-1, 1));
}

TEST_F(Moves, LyingTrioTurnsOnlyBelowItsStartingRowAndAboveTheFloor) {
  Lay(5, 2);
  EXPECT_FALSE(CanTurn()) << "row 2, where a standing trio would reach into the preview";
  Lay(5, 3);
  EXPECT_TRUE(CanTurn());
  Lay(5, 15);
  EXPECT_TRUE(CanTurn());
  Lay(5, 16);
  EXPECT_FALSE(CanTurn()) << "floor row";
}

TEST_F(Moves, StandingTrioCannotLieDownInTheOuterColumns) {
  Stand(1, 5);
  EXPECT_FALSE(CanTurn());
  Stand(11, 5);
  EXPECT_FALSE(CanTurn());
  Stand(2, 5);
  EXPECT_TRUE(CanTurn());
  Stand(10, 5);
  EXPECT_TRUE(CanTurn());
}

TEST_F(Moves, ATurnLooksOnlyAtTheTwoCellsItTurnsInto) {
  Lay(5, 8);
  for (const auto& [c, r] : {std::pair{5, 7}, {7, 7}, {5, 9}, {7, 9}}) Put(c, r);
  EXPECT_TRUE(CanTurn()) << "the corners swept on the way do not count";
  Put(6, 7);
  EXPECT_FALSE(CanTurn()) << "above the middle stone";
  Clear(6, 7);
  Put(6, 9);
  EXPECT_FALSE(CanTurn()) << "below the middle stone";

  SetPlayfield(form, {});
  Stand(6, 7);
  for (const auto& [c, r] : {std::pair{5, 7}, {7, 7}, {5, 9}, {7, 9}}) Put(c, r);
  EXPECT_TRUE(CanTurn());
  Put(5, 8);
  EXPECT_FALSE(CanTurn()) << "left of the middle stone";
  Clear(5, 8);
  Put(7, 8);
  EXPECT_FALSE(CanTurn()) << "right of the middle stone";
}

TEST_F(Moves, EachTurnIsAQuarterTurnCounterClockwise) {
  Lay(5, 8, U"金銀角");
  form.落下石_回転();
  EXPECT_EQ(form.落下石_向き, kStanding);
  // Stone 1 stays on top, now with the code of the old right stone.
  EXPECT_EQ(Stones(), (std::vector<Stone>{{6, 7, U'角'}, {6, 8, U'銀'}, {6, 9, U'金'}}));
  EXPECT_TRUE(Shows(6, 7, Picture::KAKU));
  EXPECT_TRUE(Shows(6, 9, Picture::KIN));
  EXPECT_TRUE(Shows(5, 8, Picture::HAIKEI));
  EXPECT_TRUE(Shows(7, 8, Picture::HAIKEI));

  form.落下石_回転();
  EXPECT_EQ(form.落下石_向き, kLying);
  EXPECT_EQ(Stones(), (std::vector<Stone>{{5, 8, U'角'}, {6, 8, U'銀'}, {7, 8, U'金'}}));
  EXPECT_TRUE(Shows(5, 8, Picture::KAKU));
  EXPECT_TRUE(Shows(7, 8, Picture::KIN));
  EXPECT_TRUE(Shows(6, 7, Picture::HAIKEI));
  EXPECT_TRUE(Shows(6, 9, Picture::HAIKEI));
}

TEST_F(Moves, FourTurnsBringEveryStoneBack) {
  for (const bool lying : {true, false}) {
    if (lying) {
      Lay(3, 12, U"飛王香");
    } else {
      Stand(9, 4, U"飛王香");
    }
    const auto before = Stones();
    const int orientation = form.落下石_向き;
    for (int turn = 1; turn <= 4; ++turn) {
      form.落下石_回転();
      EXPECT_EQ(Stones()[1], before[1]) << "the middle stone never moves";
      if (turn < 4) {
        EXPECT_NE(Stones(), before) << turn;
      }
    }
    EXPECT_EQ(Stones(), before);
    EXPECT_EQ(form.落下石_向き, orientation);
  }
}

TEST_F(Moves, AMoveErasesTheOldCellsThenDrawsTheNewAndLeavesTheBoardAlone) {
  SetPlayfield(form, {"金金金金金金金金金金金"});
  const auto board = BoardRows(form);
  Stand(4, 6, U"香桂銀");
  window.drawing.clear();
  form.落下石_移動(1, 0);
  EXPECT_EQ(window.drawing,
            (std::vector<std::string>{"picture HAIKEI 2200 2950", "picture HAIKEI 2200 3475",
                                      "picture HAIKEI 2200 4000", "picture KYOU 2725 2950",
                                      "picture KEI 2725 3475", "picture GIN 2725 4000"}));
  EXPECT_EQ(Stones(), (std::vector<Stone>{{5, 6, U'香'}, {5, 7, U'桂'}, {5, 8, U'銀'}}));
  form.落下石_移動(0, 1);
  EXPECT_EQ(Stones(), (std::vector<Stone>{{5, 7, U'香'}, {5, 8, U'桂'}, {5, 9, U'銀'}}));
  EXPECT_TRUE(Shows(5, 6, Picture::HAIKEI));
  EXPECT_TRUE(Shows(5, 9, Picture::GIN));
  EXPECT_EQ(BoardRows(form), board);
}

TEST_F(Moves, ErasingTheTrioShowsEmptyCellsWhereItsStonesAre) {
  Lay(2, 4, U"王王王");
  form.落下石_移動(0, 0);
  ASSERT_TRUE(Shows(3, 4, Picture::OH));
  form.落下石_消去();
  for (int column = 2; column <= 4; ++column) EXPECT_TRUE(Shows(column, 4, Picture::HAIKEI));
  EXPECT_EQ(Stones()[0], (Stone{2, 4, U'王'})) << "erasing only touches the screen";
}

TEST_F(Moves, AnUnknownOrientationIsNeverRefused) {
  Lay(9, 16);
  for (int c = 1; c <= 11; ++c) {
    for (int r = 2; r <= 16; ++r) Put(c, r);
  }
  form.落下石_向き = 0;
  EXPECT_EQ(form.落下石_移動可能(-1, 0), kOn);
  EXPECT_EQ(form.落下石_移動可能(0, 1), kOn);
  EXPECT_EQ(form.落下石_回転可能(), kOn);
  form.落下石_向き = kLying;
  EXPECT_EQ(form.落下石_移動可能(-1, 0), kOff);
}

}  // namespace
}  // namespace zonbeli
