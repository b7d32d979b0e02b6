// Who attacks whom, how stones of one kind group along their lines of
// attack, and which groups are marked for erasure.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "board_text.h"
#include "fake_window.h"
#include "form1.h"

namespace zonbeli {
namespace {

using Cell = std::pair<int, int>;  // column, row
using Cells = std::set<Cell>;

constexpr int kOn = Form1::定数_オン;
constexpr int kOff = Form1::定数_オフ;

const 符号 kPieces[] = {U'歩', U'香', U'桂', U'銀', U'金', U'角', U'飛', U'王'};
// Everything that can stand in a playfield cell.
const 符号 kStones[] = {U'歩', U'香', U'桂', U'銀', U'金', U'角',
                        U'飛', U'王', U'爆', U'星', U'発'};

// The lines of a drawn board, blank lines left out.
std::vector<std::string> Rows(const std::string& text) {
  std::vector<std::string> rows;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) rows.push_back(line);
  }
  return rows;
}

// A scene drawn over rows 2 to 16, one line a row: '@' the attacker, 'x'
// an empty cell it attacks, '#' a stone it does not attack, '*' a stone it
// attacks, '.' an empty cell it does not attack.
struct Scene {
  Cell attacker{0, 0};
  Cells stones;
  Cells attacked;
};

Scene ReadScene(const std::string& text) {
  Scene scene;
  std::vector<std::string> rows = Rows(text);
  EXPECT_EQ(rows.size(), 15U);
  rows.resize(15);
  for (int row = 2; row <= 16; ++row) {
    std::string& line = rows[static_cast<std::size_t>(row - 2)];
    EXPECT_EQ(line.size(), 11U) << "row " << row;
    line.resize(11, '.');
    for (int column = 1; column <= 11; ++column) {
      const char ch = line[static_cast<std::size_t>(column - 1)];
      if (ch == '@') scene.attacker = {column, row};
      if (ch == '#' || ch == '*') scene.stones.insert({column, row});
      if (ch == 'x' || ch == '*') scene.attacked.insert({column, row});
    }
  }
  return scene;
}

// The playfield as a scene, for failure messages.
std::string Draw(Cell attacker, const Cells& stones, const Cells& attacked) {
  std::string out;
  for (int row = 2; row <= 16; ++row) {
    out += '\n';
    for (int column = 1; column <= 11; ++column) {
      const Cell cell{column, row};
      const bool hit = attacked.count(cell) != 0;
      if (cell == attacker) {
        out += hit ? '!' : '@';
      } else if (stones.count(cell) != 0) {
        out += hit ? '*' : '#';
      } else {
        out += hit ? 'x' : '.';
      }
    }
  }
  return out;
}

class Rules : public testing::Test {
 protected:
  FakeWindow window;
  RecordingSound sound;
  Form1 form{window, sound};

  Rules() { Clear(); }

  void Clear() {
    SetPlayfield(form, {});
    form.盤フラグ初期化();
  }
  void Put(符号 code, Cells cells) {
    for (const auto& [column, row] : cells) form.盤[column][row] = code;
  }
  void Put(std::initializer_list<std::pair<符号, Cell>> stones) {
    for (const auto& [code, cell] : stones) form.盤[cell.first][cell.second] = code;
  }

  // Every playfield cell the stone at (p, q) attacks, its own cell asked too.
  Cells Attacked(int p, int q) {
    Cells cells;
    for (int column = 1; column <= 11; ++column) {
      for (int row = 2; row <= 16; ++row) {
        if (form.移動チェック(p, q, column, row, form.盤[p][q]) == kOn) cells.insert({column, row});
      }
    }
    return cells;
  }

  // Fills every empty playfield cell with stones of all codes in turn.
  void FillAround() {
    std::size_t i = 0;
    for (int column = 1; column <= 11; ++column) {
      for (int row = 2; row <= 16; ++row) {
        if (form.盤[column][row] == U' ') form.盤[column][row] = kStones[i++ % std::size(kStones)];
      }
    }
  }

  // The scene holds for the piece on an otherwise empty board, and with its
  // stones being any code at all.
  void ExpectScene(符号 kind, const std::string& text) {
    const Scene scene = ReadScene(text);
    for (符号 stone : kStones) {
      Clear();
      Put(stone, scene.stones);
      Put(kind, {scene.attacker});
      const Cells got = Attacked(scene.attacker.first, scene.attacker.second);
      EXPECT_EQ(got, scene.attacked) << Utf8(kind) << " with stones " << Utf8(stone)
                                     << "; attacks:" << Draw(scene.attacker, scene.stones, got);
      if (scene.stones.empty()) break;
    }
  }

  組ラベル Label(int column, int row) { return form.効筋_組[column][row]; }

  Cells Marked() {
    Cells cells;
    for (int column = 1; column <= 11; ++column) {
      for (int row = 1; row <= 16; ++row) {
        if (form.盤_当たり[column][row] == kOn) cells.insert({column, row});
      }
    }
    return cells;
  }
  std::set<int> FlaggedColumns() {
    std::set<int> columns;
    for (int column = 1; column <= 11; ++column) {
      if (form.列_当たり[column] == kOn) columns.insert(column);
    }
    return columns;
  }
};

// ------------------------------------------------------------ attack sets

struct StepCase {
  符号 kind;
  Cell at;
  Cells attacked;
};

// The step pieces from the middle, the corners and the side columns. Cells
// beyond the playfield never count.
const StepCase kStepCases[] = {
    {U'歩', {6, 9}, {{6, 8}}},
    {U'歩', {6, 2}, {}},
    {U'歩', {1, 16}, {{1, 15}}},
    {U'桂', {6, 9}, {{5, 7}, {7, 7}}},
    {U'桂', {1, 4}, {{2, 2}}},
    {U'桂', {11, 16}, {{10, 14}}},
    {U'桂', {6, 3}, {}},
    {U'銀', {6, 9}, {{5, 8}, {6, 8}, {7, 8}, {5, 10}, {7, 10}}},
    {U'銀', {1, 9}, {{1, 8}, {2, 8}, {2, 10}}},
    {U'銀', {11, 9}, {{11, 8}, {10, 8}, {10, 10}}},
    {U'銀', {10, 10}, {{9, 9}, {10, 9}, {11, 9}, {9, 11}, {11, 11}}},
    {U'銀', {11, 16}, {{10, 15}, {11, 15}}},
    {U'銀', {1, 2}, {{2, 3}}},
    {U'金', {6, 9}, {{5, 8}, {6, 8}, {7, 8}, {5, 9}, {7, 9}, {6, 10}}},
    {U'金', {5, 10}, {{4, 9}, {5, 9}, {6, 9}, {4, 10}, {6, 10}, {5, 11}}},
    {U'金', {11, 16}, {{10, 15}, {11, 15}, {10, 16}}},
    {U'金', {1, 2}, {{2, 2}, {1, 3}}},
    {U'王', {6, 9}, {{5, 8}, {6, 8}, {7, 8}, {5, 9}, {7, 9}, {5, 10}, {6, 10}, {7, 10}}},
    {U'王', {11, 16}, {{10, 15}, {11, 15}, {10, 16}}},
    {U'王', {1, 2}, {{2, 2}, {1, 3}, {2, 3}}},
};

TEST_F(Rules, StepPiecesAttackTheirCellsWhateverSurroundsThem) {
  for (const StepCase& c : kStepCases) {
    for (bool crowded : {false, true}) {
      Clear();
      Put(c.kind, {c.at});
      if (crowded) FillAround();
      const Cells got = Attacked(c.at.first, c.at.second);
      EXPECT_EQ(got, c.attacked) << Utf8(c.kind) << " at " << c.at.first << "," << c.at.second
                                 << (crowded ? " among stones" : " alone") << ":"
                                 << Draw(c.at, {}, got);
    }
  }
}

TEST_F(Rules, KnightJumpsOverAnything) {
  for (符号 stone : kStones) {
    Clear();
    Put(stone, {{5, 13}, {6, 13}, {7, 13}, {6, 12}, {5, 14}, {7, 14}});
    Put(U'桂', {{6, 14}});
    EXPECT_EQ(Attacked(6, 14), (Cells{{5, 12}, {7, 12}})) << "over " << Utf8(stone);
  }
}

TEST_F(Rules, NoPieceAttacksItsOwnCell) {
  for (符号 kind : kPieces) {
    for (bool crowded : {false, true}) {
      for (int p = 1; p <= 11; ++p) {
        for (int q = 2; q <= 16; ++q) {
          Clear();
          Put(kind, {{p, q}});
          if (crowded) FillAround();
          ASSERT_EQ(form.移動チェック(p, q, p, q, kind), kOff)
              << Utf8(kind) << " " << p << "," << q;
        }
      }
    }
  }
}

TEST_F(Rules, SilverIsTheSameAtBothSides) {
  for (int q = 2; q <= 16; ++q) {
    Clear();
    Put(U'銀', {{1, q}, {11, q}});
    Cells mirrored;
    for (const auto& [column, row] : Attacked(11, q)) mirrored.insert({12 - column, row});
    EXPECT_EQ(Attacked(1, q), mirrored) << "row " << q;
    EXPECT_FALSE(mirrored.empty()) << "row " << q;
  }
}

TEST_F(Rules, LanceLooksStraightUpUntilAStone) {
  ExpectScene(U'香', R"(
......x....
......x....
......x....
......x....
......x....
......x....
......x....
......@....
...........
...........
...........
...........
...........
...........
...........
)");
  ExpectScene(U'香', R"(
..........#
..........#
..........*
..........x
..........x
..........x
...#......x
..........x
..........x
..........x
..........x
..........x
..........x
..........x
#.........@
)");
  ExpectScene(U'香', R"(
..@........
...........
...........
...........
...........
...........
...........
...........
...........
...........
...........
...........
...........
...........
...........
)");
}

TEST_F(Rules, BishopSeesBothDiagonalsUntilAStone) {
  ExpectScene(U'角', R"(
...........
...........
x.........x
.x.......x.
..x.....x..
...x...x...
....x.x....
.....@.....
....x.x....
...x...x...
..x.....x..
.x.......x.
x.........x
...........
...........
)");
  ExpectScene(U'角', R"(
...........
...........
...........
...........
x..........
.x.........
..x........
...x.......
....x......
.....x.....
......x....
.......x...
........x..
.........x.
..........@
)");
  ExpectScene(U'角', R"(
...........
...........
#.........#
.*.........
..x........
...x...*...
....x.x....
.....@#....
....*.x....
...#...x...
..#.....x..
.........*.
..........#
...........
...........
)");
}

TEST_F(Rules, RookSeesItsRowAndColumnUntilAStone) {
  ExpectScene(U'飛', R"(
x..........
x..........
x..........
x..........
x..........
x..........
x..........
x..........
x..........
x..........
x..........
x..........
x..........
x..........
@xxxxxxxxxx
)");
  ExpectScene(U'飛', R"(
.....#.....
.....*.....
.....x.....
.....x.....
.....x.#...
.....x.....
#.*xx@xxx*#
....#x#....
.....x.....
.....*.....
.....#.....
...........
...........
...........
...........
)");
}

TEST_F(Rules, LongLinesOfTheWorkedPositions) {
  const auto attacks = [this](int p, int q, int r, int s) {
    return form.移動チェック(p, q, r, s, form.盤[p][q]) == kOn;
  };
  Put(U'香', {{2, 16}, {2, 5}});
  EXPECT_TRUE(attacks(2, 16, 2, 5));
  Put(U'角', {{1, 16}, {11, 6}});
  EXPECT_TRUE(attacks(1, 16, 11, 6));
  EXPECT_TRUE(attacks(11, 6, 1, 16));
  Put(U'飛', {{3, 16}, {3, 2}, {11, 16}});
  EXPECT_TRUE(attacks(3, 16, 3, 2));
  EXPECT_TRUE(attacks(3, 16, 11, 16));

  for (符号 stone : kStones) {
    for (int k = 6; k <= 15; ++k) {
      form.盤[2][k] = stone;
      EXPECT_FALSE(attacks(2, 16, 2, 5)) << Utf8(stone) << " at 2," << k;
      form.盤[2][k] = U' ';
    }
    for (int k = 1; k <= 9; ++k) {
      form.盤[1 + k][16 - k] = stone;
      EXPECT_FALSE(attacks(1, 16, 11, 6)) << Utf8(stone) << " at " << 1 + k << "," << 16 - k;
      EXPECT_FALSE(attacks(11, 6, 1, 16)) << Utf8(stone) << " at " << 1 + k << "," << 16 - k;
      form.盤[1 + k][16 - k] = U' ';
    }
    for (int k = 3; k <= 15; ++k) {
      form.盤[3][k] = stone;
      EXPECT_FALSE(attacks(3, 16, 3, 2)) << Utf8(stone) << " at 3," << k;
      form.盤[3][k] = U' ';
    }
    for (int k = 4; k <= 10; ++k) {
      form.盤[k][16] = stone;
      EXPECT_FALSE(attacks(3, 16, 11, 16)) << Utf8(stone) << " at " << k << ",16";
      form.盤[k][16] = U' ';
    }
  }
  EXPECT_TRUE(attacks(2, 16, 2, 5));
  EXPECT_TRUE(attacks(1, 16, 11, 6));
  EXPECT_TRUE(attacks(3, 16, 3, 2));
  EXPECT_TRUE(attacks(3, 16, 11, 16));
}

// ---------------------------------------------------------------- grouping

TEST_F(Rules, EmptyPlayfieldHasNoGroupsAndNoFlags) {
  for (int column = 1; column <= 11; ++column) {
    form.列_当たり[column] = kOn;
    for (int row = 2; row <= 16; ++row) {
      form.効筋_組[column][row] = 1207;
      form.効筋_数[column][row] = 9;
    }
  }
  form.効筋設定();
  for (int column = 1; column <= 11; ++column) {
    EXPECT_EQ(form.列_当たり[column], kOff) << column;
    for (int row = 2; row <= 16; ++row) {
      ASSERT_EQ(form.効筋_組[column][row], 0) << column << "," << row;
      ASSERT_EQ(form.効筋_数[column][row], 0) << column << "," << row;
    }
  }
}

TEST_F(Rules, LoneStoneIsItsOwnGroupOfOne) {
  for (符号 stone : kStones) {
    for (const Cell& at : {Cell{1, 2}, Cell{6, 9}, Cell{11, 16}, Cell{3, 12}}) {
      Clear();
      Put(stone, {at});
      form.効筋設定();
      EXPECT_EQ(Label(at.first, at.second), Form1::ラベル(at.first, at.second)) << Utf8(stone);
      EXPECT_EQ(form.効筋_数[at.first][at.second], 1) << Utf8(stone);
    }
  }
  EXPECT_EQ(Form1::ラベル文字(Form1::ラベル(3, 12)), "0312");
  EXPECT_EQ(Form1::ラベル文字(Form1::ラベル(11, 2)), "1102");
}

TEST_F(Rules, SpecialStonesNeverGroupEvenWithTheirOwnKind) {
  SetPlayfield(form, Rows(R"(
爆爆爆星星星発発発..
爆爆爆星星星発発発..
)"));
  form.効筋設定();
  for (int column = 1; column <= 9; ++column) {
    for (int row = 15; row <= 16; ++row) {
      EXPECT_EQ(Label(column, row), Form1::ラベル(column, row)) << column << "," << row;
      EXPECT_EQ(form.効筋_数[column][row], 1) << column << "," << row;
    }
  }
  form.調査_当駒();
  EXPECT_TRUE(Marked().empty());
  EXPECT_TRUE(FlaggedColumns().empty());
}

TEST_F(Rules, DifferentKindsNeverShareAGroup) {
  // Each stone attacks its neighbours by its own rule, yet all differ.
  SetPlayfield(form, Rows(R"(
..飛角.......
..王金銀......
..香桂歩......
)"));
  form.効筋設定();
  std::set<int> labels;
  for (int column = 3; column <= 5; ++column) {
    for (int row = 14; row <= 16; ++row) {
      if (form.盤[column][row] == U' ') continue;
      labels.insert(Label(column, row));
      EXPECT_EQ(form.効筋_数[column][row], 1) << column << "," << row;
    }
  }
  EXPECT_EQ(labels.size(), 8U);
}

TEST_F(Rules, PawnColumnIsLabelledByItsLowestPawn) {
  Put(U'歩', {{4, 14}, {4, 15}, {4, 16}});
  form.効筋設定();
  for (int row = 14; row <= 16; ++row) {
    EXPECT_EQ(Form1::ラベル文字(Label(4, row)), "0416") << row;
  }
  // Each pawn absorbed the group above it; the former roots keep the sizes
  // their groups had then.
  EXPECT_EQ(form.効筋_数[4][16], 3);
  EXPECT_EQ(form.効筋_数[4][15], 2);
  EXPECT_EQ(form.効筋_数[4][14], 1);
}

TEST_F(Rules, SilversMergeThroughTheStoneBetween) {
  Put(U'銀', {{2, 10}, {2, 11}, {3, 11}});
  form.効筋設定();
  for (const auto& [column, row] : {Cell{2, 10}, Cell{2, 11}, Cell{3, 11}}) {
    EXPECT_EQ(Form1::ラベル文字(Label(column, row)), "0211") << column << "," << row;
  }
  EXPECT_EQ(form.効筋_数[2][11], 3);
  EXPECT_EQ(form.効筋_数[2][10], 2);
  EXPECT_EQ(form.効筋_数[3][11], 0);
}

TEST_F(Rules, GoldsSideBySide) {
  Put(U'金', {{5, 16}, {6, 16}});
  form.効筋設定();
  EXPECT_EQ(Form1::ラベル文字(Label(5, 16)), "0516");
  EXPECT_EQ(Form1::ラベル文字(Label(6, 16)), "0516");
  EXPECT_EQ(form.効筋_数[5][16], 2);
  EXPECT_EQ(form.効筋_数[6][16], 0);
}

TEST_F(Rules, PiecesAtTheTopFindNoCandidates) {
  Put({{U'香', {3, 2}}, {U'歩', {4, 2}}, {U'桂', {5, 3}}});
  form.盤[3][1] = U'香';
  form.盤[4][1] = U'歩';
  form.効筋設定();
  EXPECT_EQ(Label(3, 2), Form1::ラベル(3, 2));
  EXPECT_EQ(Label(4, 2), Form1::ラベル(4, 2));
  EXPECT_EQ(Label(5, 3), Form1::ラベル(5, 3));
  EXPECT_EQ(form.効筋_数[3][2] + form.効筋_数[4][2] + form.効筋_数[5][3], 3);
}

TEST_F(Rules, TwoGroupsJoinWhenALaterStoneLinksThem) {
  // The rooks of column 1 and those of column 6 form two groups of three;
  // the rook at (11, 8), reached from column 1, then sees (11, 12).
  Put(U'飛', {{1, 3}, {1, 8}, {6, 12}, {6, 14}, {11, 8}, {11, 12}});
  form.効筋設定();
  for (const auto& [column, row] :
       {Cell{1, 3}, Cell{1, 8}, Cell{6, 12}, Cell{6, 14}, Cell{11, 8}, Cell{11, 12}}) {
    EXPECT_EQ(Form1::ラベル文字(Label(column, row)), "0103") << column << "," << row;
  }
  EXPECT_EQ(form.効筋_数[1][3], 6);
  EXPECT_EQ(form.効筋_数[6][12], 3);
}

TEST_F(Rules, KingsJoinOnlyThroughTheOneBetween) {
  // Neither king of column 2 touches the other; the one in column 3 touches
  // both and is the last of them in the scan.
  Put(U'王', {{2, 10}, {2, 12}, {3, 11}});
  form.効筋設定();
  EXPECT_EQ(Label(2, 10), Form1::ラベル(2, 12));
  EXPECT_EQ(Label(3, 11), Form1::ラベル(2, 12));
  EXPECT_EQ(form.効筋_数[2][12], 3);
  form.盤[3][11] = U' ';
  form.効筋設定();
  EXPECT_NE(Label(2, 10), Label(2, 12));
}

TEST_F(Rules, EdgeSilversLinkUpTheirColumn) {
  // Each silver sees the one straight above it and nothing else here.
  Put(U'銀', {{1, 8}, {1, 9}, {1, 10}, {11, 8}, {11, 9}, {11, 10}});
  form.効筋設定();
  EXPECT_EQ(Form1::ラベル文字(Label(1, 8)), "0110");
  EXPECT_EQ(Form1::ラベル文字(Label(11, 8)), "1110");
  EXPECT_EQ(form.効筋_数[1][10], 3);
  EXPECT_EQ(form.効筋_数[11][10], 3);
  form.調査_当駒();
  EXPECT_EQ(FlaggedColumns(), (std::set<int>{1, 11}));
  EXPECT_EQ(Marked().size(), 6U);
}

// Two stones are in one group exactly when a chain of attacks joins them;
// this holds for every piece and every pair of positions on a two-stone
// board, which also shows that no piece's search stops short.
TEST_F(Rules, TwoStonesGroupExactlyWhenOneAttacksTheOther) {
  const Cell from[] = {{6, 9}, {1, 2}, {11, 16}, {1, 16}, {11, 2}, {10, 10}};
  for (符号 kind : kPieces) {
    for (const Cell& a : from) {
      Clear();
      Put(kind, {a});
      const Cells attacked_by_a = Attacked(a.first, a.second);
      for (int column = 1; column <= 11; ++column) {
        for (int row = 2; row <= 16; ++row) {
          const Cell b{column, row};
          if (b == a) continue;
          form.盤[column][row] = kind;
          const bool b_attacks_a = Attacked(column, row).count(a) != 0;
          form.効筋設定();
          const bool together = Label(a.first, a.second) == Label(column, row);
          EXPECT_EQ(together, attacked_by_a.count(b) != 0 || b_attacks_a)
              << Utf8(kind) << " at " << a.first << "," << a.second << " and " << column << ","
              << row;
          form.盤[column][row] = U' ';
        }
      }
    }
  }
}

// ------------------------------------------------------------------- marks

TEST_F(Rules, GroupOfThreeIsMarkedWithItsColumns) {
  Put(U'金', {{5, 16}, {6, 16}, {7, 16}});
  Put(U'金', {{1, 16}});
  form.効筋設定();
  form.調査_当駒();
  EXPECT_EQ(Marked(), (Cells{{5, 16}, {6, 16}, {7, 16}}));
  EXPECT_EQ(FlaggedColumns(), (std::set<int>{5, 6, 7}));
}

TEST_F(Rules, PairsAreNotMarked) {
  Put(U'金', {{5, 16}, {6, 16}});
  form.効筋設定();
  form.調査_当駒();
  EXPECT_TRUE(Marked().empty());
  EXPECT_TRUE(FlaggedColumns().empty());

  // Two pairs of the same kind that do not reach each other.
  Put(U'金', {{1, 16}, {2, 16}});
  form.効筋設定();
  form.調査_当駒();
  EXPECT_TRUE(Marked().empty());
  EXPECT_TRUE(FlaggedColumns().empty());

  // Two more golds join them into one group of six.
  Put(U'金', {{3, 16}, {4, 16}});
  form.効筋設定();
  form.調査_当駒();
  EXPECT_EQ(Marked().size(), 6U);
}

TEST_F(Rules, GroupMarkedFromItsRootWhereverThatIs) {
  Put(U'歩', {{4, 14}, {4, 15}, {4, 16}});
  Put(U'飛', {{1, 3}, {1, 8}, {6, 12}, {6, 14}, {11, 8}, {11, 12}});
  form.効筋設定();
  form.調査_当駒();
  EXPECT_EQ(
      Marked(),
      (Cells{{4, 14}, {4, 15}, {4, 16}, {1, 3}, {1, 8}, {6, 12}, {6, 14}, {11, 8}, {11, 12}}));
  EXPECT_EQ(FlaggedColumns(), (std::set<int>{1, 4, 6, 11}));
}

TEST_F(Rules, MarksOfBombsAndStarsStay) {
  SetPlayfield(form, Rows(R"(
香.........香
...........
歩爆..金金金.星香.
)"));
  form.盤[6][1] = U'香';
  form.効筋設定();
  form.隣接石消去設定_爆弾();
  form.隣接石消去設定_星();
  const Cells before = Marked();
  ASSERT_EQ(before, (Cells{{1, 16}, {1, 14}, {11, 14}, {10, 16}}));
  form.調査_当駒();
  EXPECT_EQ(Marked(), (Cells{{1, 16}, {1, 14}, {11, 14}, {10, 16}, {5, 16}, {6, 16}, {7, 16}}));
  EXPECT_EQ(FlaggedColumns(), (std::set<int>{1, 5, 6, 7, 10, 11}));
}

}  // namespace
}  // namespace zonbeli
