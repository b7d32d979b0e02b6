// SPDX-License-Identifier: MIT
// The rules of the well: who attacks whom, how stones of one kind group
// along their lines of attack, which groups are marked, the bomb and star
// rules, the blink, the erase-score-drop-regroup chain with its awards, the
// game-over slide, and the whole chain on random boards against a model of
// its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "board_text.h"
#include "fake_window.h"
#include "form1.h"
#include "rules_model.h"

namespace zonbeli {
namespace {

using Stones = std::vector<std::pair<符号, Cell>>;

constexpr int kOn = Form1::定数_オン;
constexpr int kOff = Form1::定数_オフ;
// Everything that can stand in a playfield cell, the eight pieces first.
const std::u32string kStones = U"歩香桂銀金角飛王爆星発";

// Reads "金 5,16-7,16 1,16": a stone's character sets the kind of the cells
// after it; "c,r" is a cell and "c,r-c,r" the straight or diagonal line
// between two cells, both ends included and in that order.
Stones Parse(const std::string& text) {
  Stones stones;
  符号 kind = 0;
  std::istringstream in(text);
  for (std::string word; in >> word;) {
    int c1 = 0, r1 = 0, c2 = 0, r2 = 0;
    const int read = std::sscanf(word.c_str(), "%d,%d-%d,%d", &c1, &r1, &c2, &r2);
    if (read < 2) {
      std::u32string code;
      DecodeUtf8(word, code);
      kind = code.at(0);
      continue;
    }
    if (read < 4) c2 = c1, r2 = r1;
    for (int c = c1, r = r1;; c += (c2 > c) - (c2 < c), r += (r2 > r) - (r2 < r)) {
      stones.push_back({kind, {c, r}});
      if (c == c2 && r == r2) break;
    }
  }
  return stones;
}

Cells CellsOf(const std::string& text) {
  Cells cells;
  for (const auto& stone : Parse(text)) cells.insert(stone.second);
  return cells;
}

// Notes every wait in the drawing log, and the clock and the cells shown
// at every refresh.
class TimelineWindow : public FakeWindow {
 public:
  void Sleep(double seconds) override {
    if (record_drawing) drawing.push_back("wait");
    FakeWindow::Sleep(seconds);
  }
  void Refresh() override {
    FakeWindow::Refresh();
    refresh_times.push_back(Monotonic());
    if (keep_frames) frames.push_back(*this);
  }
  bool keep_frames = false;
  std::vector<FakeWindow> frames;
  std::vector<double> refresh_times;
};

// The drawing log in short: R a refresh, W a wait, C a picture.
std::string Timeline(const std::vector<std::string>& log) {
  std::string out;
  for (const std::string& line : log) {
    if (line == "refresh" || line == "wait") out += line == "refresh" ? 'R' : 'W';
    if (line.starts_with("picture ")) out += 'C';
  }
  return out;
}

// The grid of a well holding just these stones, with row 0 and column 0
// never assigned.
Grid Board(const std::string& stones) {
  Grid grid{};
  for (int column = 1; column <= 11; ++column) {
    for (int row = 1; row <= 16; ++row) grid[column][row] = U' ';
  }
  for (const auto& [code, cell] : Parse(stones)) grid[cell.first][cell.second] = code;
  return grid;
}

class Rules : public testing::Test {
 protected:
  TimelineWindow window;
  RecordingSound sound;
  Form1 form{window, sound};

  Rules() {
    Reset("");
    form.落下石_駒 = {0, U'歩', U'金', U'銀'};
    // Unset marks read as on; column 0 starts off so a stray mark there shows.
    form.盤_当たり[0].fill(kOff);
    form.列_当たり[0] = kOff;
  }

  // A well holding just these stones, no marks and nothing logged.
  void Reset(const std::string& stones) {
    window.drawing.clear();
    window.waits.clear();
    sound.played.clear();
    form.盤 = Board(stones);
    form.盤フラグ初期化();
    form.列_段落ち.fill(kOff);
  }
  符号& At(Cell cell) { return form.盤[cell.first][cell.second]; }

  // Every playfield cell the stone at `at` attacks, its own cell asked too.
  Cells Attacked(Cell at) {
    Cells cells;
    for (int column = 1; column <= 11; ++column) {
      for (int row = 2; row <= 16; ++row) {
        if (form.移動チェック(at.first, at.second, column, row, At(at)) == kOn) {
          cells.insert({column, row});
        }
      }
    }
    return cells;
  }

  void Mark(const std::string& cells) {
    for (const auto& [column, row] : CellsOf(cells)) {
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
  std::set<int> Flagged() {
    std::set<int> columns;
    for (int column = 0; column <= 11; ++column) {
      if (form.列_当たり[column] == kOn) columns.insert(column);
    }
    return columns;
  }
  // The marks must be exactly these, and the flagged columns theirs.
  void ExpectMarks(const Cells& cells, const std::string& what) {
    std::set<int> columns;
    for (const Cell& cell : cells) columns.insert(cell.first);
    EXPECT_EQ(Marked(), cells) << what;
    EXPECT_EQ(Flagged(), columns) << what;
  }
  // The special trios due: B a bomb trio, S a star trio.
  std::string Awards() {
    return std::string(form.爆_予約 == kOn ? "B" : "") + (form.星_予約 == kOn ? "S" : "");
  }

  void ShowWell() {
    form.描画_全画面();
    window.drawing.clear();
  }
};

class Chain : public Rules {};

// ------------------------------------------------------------ attack sets

// From every cell of the playfield each kind attacks the cells the model
// says, on wells from empty to full of stones of every code; the stones cut
// the long pieces' lines short, and cells beyond the playfield never count.
TEST_F(Rules, EachKindAttacksTheCellsTheModelSays) {
  std::mt19937 random(1);
  for (int well = 0; well <= 7; ++well) {
    Reset("");
    for (int column = 1; column <= 11; ++column) {
      for (int row = 2; row <= 16; ++row) {
        if (static_cast<int>(random() % 7) < well)
          At({column, row}) = kStones[random() % kStones.size()];
      }
    }
    for (const char32_t kind : std::u32string_view(U"歩香桂銀金角飛王")) {
      for (int column = 1; column <= 11; ++column) {
        for (int row = 2; row <= 16; ++row) {
          const 符号 under = std::exchange(At({column, row}), kind);
          const std::vector<Cell> model = AttackedFrom(form.盤, column, row);
          ASSERT_EQ(Attacked({column, row}), Cells(model.begin(), model.end()))
              << Utf8(kind) << " at " << column << "," << row << " in well " << well;
          At({column, row}) = under;
        }
      }
    }
  }
}

// ---------------------------------------------------------------- grouping

TEST_F(Rules, SpecialStonesAndDifferentKindsStayAlone) {
  SetPlayfield(form, {"..飛角.......", "..王金銀......", "..香桂歩......", "爆爆爆星星星発発発..",
                      "爆爆爆星星星発発発.."});
  // Row 1 is never looked at: the lance and pawn of row 2 see nothing.
  form.盤[3][1] = form.盤[3][2] = U'香';
  form.盤[4][1] = form.盤[4][2] = U'歩';
  // Whatever an earlier grouping left behind is forgotten.
  for (auto& column : form.効筋_組) column.fill(1207);
  for (auto& column : form.効筋_数) column.fill(9);
  std::fill(form.列_当たり.begin() + 1, form.列_当たり.end(), kOn);
  form.効筋設定();
  for (int column = 1; column <= 11; ++column) {
    for (int row = 2; row <= 16; ++row) {
      const bool stone = form.盤[column][row] != U' ';
      ASSERT_EQ(form.効筋_組[column][row], stone ? Form1::ラベル(column, row) : 0)
          << column << "," << row;
      ASSERT_EQ(form.効筋_数[column][row], stone ? 1 : 0) << column << "," << row;
    }
  }
  form.調査_当駒();
  ExpectMarks({}, "nothing groups");
}

// ------------------------------------------------------------------- marks

// Each rule in turn: L the lines of attack, H the hits, B the bomb rule and
// S the star rule. How lines of attack group stones and which groups the
// hits mark, the grouping scenarios show by example and the random boards
// below check at large.
struct MarkCase {
  const char* rules;
  const char* stones;
  const char* marked;
};

const MarkCase kMarks[] = {
    // Each bomb marks the other; diagonals stay.
    {"B", "王 5,14 飛 6,14 角 7,14 星 5,15 爆 6,15 発 7,15 金 5,16 爆 6,16 銀 7,16",
     "5,15 7,15 6,14 6,16 6,15 5,16 7,16"},
    {"B", "歩 3,15 爆 4,16", ""},
    {"B", "爆 1,12 11,13 11,15 1,16 歩 2,12 10,13 1,15 2,16 香 1,13 桂 10,15 金 11,16",
     "2,12 1,13 10,13 10,15 11,16 1,15 2,16"},
    // Above row 2 lies the entry row.
    {"B", "歩 6,1 爆 6,2", "6,1"},
    {"S", "歩 5,1 1,12 11,12 3,15 1,16 香 5,14 11,16 星 4,15 金 5,15 王 5,16",
     "1,12 11,12 3,15 1,16 5,15"},
    // A kind in the entry row next to a star goes from the well only.
    {"S", "香 6,1 2,10 9,16 星 6,2", "2,10 9,16"},
    // The hits keep the marks of a bomb and a star.
    {"LBSH", "香 1,14 11,14 6,1 10,16 歩 1,16 爆 2,16 金 5,16-7,16 星 9,16",
     "1,16 1,14 11,14 10,16 5,16-7,16"},
};

TEST_F(Rules, MarksOfGroupsOfThreeBombsAndStars) {
  const std::map<char, void (Form1::*)()> rule = {{'L', &Form1::効筋設定},
                                                  {'H', &Form1::調査_当駒},
                                                  {'B', &Form1::隣接石消去設定_爆弾},
                                                  {'S', &Form1::隣接石消去設定_星}};
  for (const MarkCase& c : kMarks) {
    Reset(c.stones);
    for (char r : std::string(c.rules)) (form.*rule.at(r))();
    ExpectMarks(CellsOf(c.marked), c.stones);
  }
}

// ------------------------------------------------------------------ blink

TEST_F(Chain, MarkedStonesBlinkSparkleAndShowEmptyATenthApart) {
  Reset("王 7,11 歩 3,16 発 4,16 爆 5,16 金 6,16");
  Mark("3,16 4,16 5,16 7,11");
  const Grid board = form.盤;
  ShowWell();
  const double start = window.Monotonic();
  form.当たり石点滅(3);

  // A frame draws the marked cells in scan order, shows them, then waits;
  // Count stands for each stone's own picture.
  const std::pair<Cell, Picture> marked[] = {{{3, 16}, Picture::HU},
                                             {{4, 16}, Picture::BAKUHATU},
                                             {{5, 16}, Picture::BAKUDAN},
                                             {{7, 11}, Picture::OH}};
  std::vector<std::string> want;
  for (Picture shown :
       {Picture::Count, Picture::HAIKEI, Picture::Count, Picture::HAIKEI, Picture::Count,
        Picture::HAIKEI, Picture::PA2, Picture::PA, Picture::PA2, Picture::HAIKEI}) {
    for (const auto& [cell, own] : marked) {
      want.push_back(
          CellPictureLine(shown == Picture::Count ? own : shown, cell.first, cell.second));
    }
    want.insert(want.end(), {"refresh", "wait"});
  }
  EXPECT_EQ(window.drawing, want);
  ASSERT_EQ(window.refresh_times.size(), 10U);
  for (std::size_t i = 0; i < 10; ++i) {
    EXPECT_NEAR(window.refresh_times[i], start + 0.1 * static_cast<double>(i), 1e-9) << i;
  }
  EXPECT_NEAR(window.Monotonic(), start + 1.0, 1e-9);
  EXPECT_EQ(form.盤, board);
  EXPECT_EQ(Marked(), CellsOf("3,16 4,16 5,16 7,11"));
}

// ------------------------------------------------------------------ chain

struct ChainCase {
  const char* what;
  符号 landed;  // a bomb trio has already turned into explosion stones
  const char* stones;
  const char* by_hand;  // marks a landing's rules would have set
  const char* after;
  const char* due;  // awards before, as Awards() reads them
  const char* awarded;
  long score;
  int passes;
};

const ChainCase kChains[] = {
    {"nothing marked", U'歩', "金 1,16 2,16", "", "金 1,16 2,16", "", "", 0, 0},
    {"three", U'歩', "金 3,16-5,16", "", "", "", "B", 30, 1},
    {"five", U'歩', "金 3,16-7,16", "", "", "", "S", 50, 1},
    {"two", U'歩', "金 3,15 4,15 飛 3,16 歩 4,16", "3,16 4,16", "金 3,16 4,16", "", "", 20, 1},
    // The award is the second pass's, not that of the five together.
    {"two then three", U'歩', "王 2,14 1,16 3,16 歩 2,15 香 2,16", "2,15 2,16", "", "", "B", 50, 2},
    {"three then three", U'歩', "王 2,13 1,16 3,16 金 2,14-2,16", "", "", "", "B", 60, 2},
    {"a bomb due stays due", U'歩', "金 3,16-6,16", "", "", "B", "BS", 40, 1},
    {"a star due stays due", U'歩', "金 3,16-5,16", "", "", "S", "BS", 30, 1},
    {"three after a bomb trio", U'爆', "金 3,16-5,16", "", "", "", "", 30, 1},
    {"four after a star trio", U'星', "金 3,16-6,16", "", "", "", "", 40, 1},
    // The knights' columns are not dropped.
    {"lone bomb trio", U'爆', "爆 5,16-7,16 桂 4,14 8,14", "", "桂 4,14 8,14", "", "", 30, 1},
    {"lone star trio", U'星', "星 1,13 5,16-7,16 歩 1,15 1,16", "", "歩 1,15 1,16", "", "", 40, 1},
    // The entry cell above it is marked but cannot be erased.
    {"bomb under the entry", U'爆', "爆 6,2", "", "発 6,16", "", "", 0, 1},
};

TEST_F(Chain, EachPassErasesScoresAndEarnsByItsOwnCount) {
  const std::string preview = "歩 5,1 香 6,1 桂 7,1 ";
  for (const ChainCase& c : kChains) {
    Reset(preview + c.stones);
    form.爆_予約 = std::strchr(c.due, 'B') ? kOn : kOff;
    form.星_予約 = std::strchr(c.due, 'S') ? kOn : kOff;
    form.得点 = 0;
    form.落下石_駒[1] = c.landed;
    form.効筋設定();
    form.調査_当駒();
    if (c.landed == U'爆') {
      form.隣接石消去設定_爆弾();
      for (auto& column : form.盤) std::replace(column.begin(), column.end(), U'爆', U'発');
    }
    if (c.landed == U'星') form.隣接石消去設定_星();
    Mark(c.by_hand);
    form.連続消去当たり石();

    EXPECT_EQ(form.盤, Board(preview + c.after)) << c.what;
    EXPECT_EQ(Awards(), c.awarded) << c.what;
    EXPECT_EQ(form.得点, c.score) << c.what;
    EXPECT_EQ(sound.played.size(), static_cast<std::size_t>(c.passes)) << c.what;
    EXPECT_EQ(window.waits.size(), 10U * static_cast<std::size_t>(c.passes)) << c.what;
    EXPECT_TRUE(c.passes > 0 || window.drawing.empty()) << c.what;
    // Only a mark in the entry row outlives the chain.
    for (const Cell& cell : Marked()) EXPECT_EQ(cell.second, 1) << c.what;
    EXPECT_TRUE(Flagged().empty()) << c.what;
  }
}

// ------------------------------------------------------------- game over

// Any one of the three entry cells blocked ends the game for a trio of
// pieces; the cells around the entry do not, nor a blocked special trio.
TEST_F(Chain, EachEntryCellAloneEndsTheGame) {
  const std::tuple<const char*, std::u32string_view, int> cases[] = {
      {"歩 5,2", U"金金金", kOn},      {"歩 6,2", U"金金金", kOn},
      {"歩 7,2", U"金金金", kOn},      {"歩 4,2 8,2 5,3-7,3", U"金金金", kOff},
      {"歩 5,2-7,2", U"爆爆爆", kOff}, {"歩 5,2-7,2", U"星星星", kOff},
  };
  for (const auto& [stones, next, over] : cases) {
    Reset(stones);
    form.次石 = next;
    EXPECT_EQ(form.ゲーム終了か(), over) << stones << " " << Utf8(next);
  }
}

TEST_F(Chain, GameOverSlidesTheWellOutRowByRow) {
  Reset("金 1,16-10,16 飛 11,16 香 11,15 歩 5,1 香 6,1 桂 7,1");
  Mark("3,16");
  const auto marks = form.盤_当たり;
  ShowWell();
  window.keep_frames = true;
  const double start = window.Monotonic();
  form.終了_段落ち();

  // Step k draws rows 16 up to k; the first mends the top frame it painted.
  std::string want;
  for (int k = 1; k <= 16; ++k) want += std::string(11 * (17 - k) + (k == 1 ? 10 : 0), 'C') + "WR";
  EXPECT_EQ(Timeline(window.drawing), want);
  std::vector<std::string> mend;
  for (int c : {1, 8, 2, 9, 3, 10, 4, 11}) mend.push_back(CellPictureLine(Picture::WAKU_UE, c, 1));
  mend.push_back(CellPictureLine(Picture::WAKU_HIDARI, 4, 0.25));
  mend.push_back(CellPictureLine(Picture::WAKU_MIGI, 8, 0.25));
  EXPECT_EQ(std::vector<std::string>(window.drawing.begin() + 176, window.drawing.begin() + 186),
            mend);
  ASSERT_EQ(window.frames.size(), 16U);
  for (int k = 1; k <= 16; ++k) {
    const auto i = static_cast<std::size_t>(k - 1);
    EXPECT_NEAR(window.refresh_times[i], start + 0.2 * k, 1e-9) << k;
    // The preview's lance rides down a row a step, with emptiness above it.
    EXPECT_TRUE(k == 16 || window.frames[i].Shows(6, k + 1, Picture::KYOU)) << k;
    EXPECT_TRUE(window.frames[i].Shows(6, k, Picture::HAIKEI)) << k;
  }

  // The well is left unset, the marks as they were, and the surface like an
  // empty well drawn afresh.
  EXPECT_EQ(BoardRows(form), std::vector<std::string>(16, "???????????"));
  EXPECT_EQ(form.盤_当たり, marks);
  FakeWindow fresh;
  RecordingSound quiet;
  Form1(fresh, quiet).描画_全画面();
  EXPECT_EQ(window.shown, fresh.shown);
}

// --------------------------------------------------------------- property

// The chain as the rules tell it: erase every group of three or more, let
// every column that lost a stone settle completely, and again. Returns the
// count of each pass.
std::vector<int> ModelChain(Grid& board) {
  std::vector<int> passes;
  for (Cells erase; !(erase = Group(board).in_threes).empty();) {
    passes.push_back(static_cast<int>(erase.size()));
    for (const auto& [column, row] : erase) board[column][row] = U' ';
    for (const Cell& cell : erase) {
      auto& cells = board[cell.first];
      std::stable_partition(cells.begin() + 2, cells.end(), [](符号 code) { return code == U' '; });
    }
  }
  return passes;
}

Grid RandomBoard(std::mt19937& random) {
  const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  std::u32string kinds = U"歩香桂銀金角飛王";
  std::shuffle(kinds.begin(), kinds.end(), random);
  kinds.resize(2 + pick(7));
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
  for (int column = 5; column <= 7; ++column) board[column][1] = U"歩香桂銀金角飛王"[pick(8)];
  return board;
}

TEST_F(Chain, RandomBoardsSettleAsTheModelSays) {
  window.record_drawing = false;
  form.落下石_駒[1] = U'王';
  int chains = 0;
  for (unsigned seed = 1; seed <= 200; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const Grid start = RandomBoard(random);
    Reset("");
    form.盤 = start;
    form.得点 = 0;
    form.爆_予約 = form.星_予約 = kOff;

    // Every component carries one label, naming a root inside it whose
    // size entry counts the whole component.
    form.効筋設定();
    Components components = Group(start);
    for (const auto& [cell, component] : components.of) {
      const 組ラベル label = form.効筋_組[cell.first][cell.second];
      const Cell root{Form1::ラベル_列(label), Form1::ラベル_行(label)};
      ASSERT_TRUE(components.of.count(root) && components.of.at(root) == component)
          << cell.first << "," << cell.second;
      ASSERT_EQ(form.効筋_数[root.first][root.second], components.size[component]);
      ASSERT_LE(form.効筋_数[cell.first][cell.second], components.size[component]);
    }
    form.調査_当駒();
    ExpectMarks(components.in_threes, "hits");

    form.連続消去当たり石();
    Grid end = start;
    const std::vector<int> passes = ModelChain(end);
    ASSERT_EQ(form.盤, end);
    ASSERT_EQ(form.存在チェック_当たり石(), kOff);
    ASSERT_EQ(sound.played.size(), passes.size());
    ASSERT_EQ(form.得点, 10L * std::accumulate(passes.begin(), passes.end(), 0));
    const bool three = std::count(passes.begin(), passes.end(), 3) > 0;
    const bool four = std::any_of(passes.begin(), passes.end(), [](int n) { return n >= 4; });
    ASSERT_EQ(Awards(), std::string(three ? "B" : "") + (four ? "S" : ""));
    ASSERT_FALSE(HasFailure());
    chains += passes.size() >= 2;
  }
  // The boards are varied enough to make real chains.
  EXPECT_GE(chains, 100);
}

}  // namespace
}  // namespace zonbeli
