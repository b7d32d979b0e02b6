// SPDX-License-Identifier: MIT
// Play as the window sees it, which the golden scenarios' state dumps do
// not show: what a move or turn draws, the order of sounds and drawing at
// the end of a game and on input, and what input leaves alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "board_text.h"
#include "fake_window.h"
#include "form1.h"

namespace zonbeli {
namespace {

using Lines = std::vector<std::string>;
using Shown = std::tuple<int, int, Picture>;  // column, row, picture

constexpr int kOn = Form1::定数_オン;
constexpr int kOff = Form1::定数_オフ;
constexpr int kLeft = 37, kUp = 38, kRight = 39, kDown = 40;

// The piece each clock digit gives.
constexpr std::u32string_view kByDigit = U"歩歩香桂銀金角飛王歩";

// A time of day whose hundredths, tenths and units pick the left, middle
// and right stone of `trio`; the 2 ms keep it clear of a rounding edge.
double TimeFor(std::u32string_view trio) {
  const auto digit = [&](std::size_t i) { return static_cast<double>(kByDigit.find(trio[i])); };
  return 40000 + digit(2) + digit(1) / 10 + digit(0) / 100 + 0.002;
}

// The window and the sound library in one, so that started sounds join the
// drawing log and one list shows what came first.
class Desk : public FakeWindow, public RecordingSound {
 public:
  void dsPlay(std::int32_t buffer) override {
    drawing.push_back("sound " + SoundSlotName(*game, buffer));
    RecordingSound::dsPlay(buffer);
  }
  const Form1* game = nullptr;
};

class Play : public testing::Test {
 protected:
  Desk desk;
  Form1 form{desk, desk};
  Lines prompt;  // the start prompt as start-up drew it

  void SetUp() override {
    desk.game = &form;
    for (const 音定義& sound : 音_一覧) desk.files[std::string(sound.name) + ".wav"].assign(44, 1);
    form.Form_Load();
    ASSERT_EQ(form.音_BGM, 10);
    prompt.assign(desk.drawing.end() - 2, desk.drawing.end());
    ASSERT_NE(prompt[1].find("ゲームを開始してください"), std::string::npos);
    Forget();
  }

  void Forget() {
    desk.drawing.clear();
    desk.waits.clear();
    desk.calls.clear();
  }
  // The logged lines holding `part`, with anything before it cut off.
  Lines Logged(std::string_view part) const {
    Lines found;
    for (const std::string& line : desk.drawing) {
      if (const auto at = line.find(part); at != std::string::npos)
        found.push_back(line.substr(at));
    }
    return found;
  }
  bool Drew(const std::string& line) const {
    return std::find(desk.drawing.begin(), desk.drawing.end(), line) != desk.drawing.end();
  }
  // What input must not change when it is ignored.
  auto State() const {
    return std::tuple(BoardRows(form), form.落下石_列, form.落下石_行, form.落下石_向き,
                      form.落下_カウンタ, form.出現_回数, form.待機フラグ);
  }

  void Tick(int n = 1) {
    for (int i = 0; i < n; ++i) form.Timer1_Timer();
  }
  void Start(std::u32string_view trio = U"桂角桂") {
    desk.SetTimeOfDay(TimeFor(trio));
    form.KAISI_Click();
  }
  // A fall step on this tick, the next trio being 桂角桂. The step waits
  // 10 ms before the clock picks it, so the clock is set that much early.
  void FallStep() {
    desk.SetTimeOfDay(TimeFor(U"桂角桂") - 0.01);
    form.落下_カウンタ = form.落下_間隔;
    form.Timer1_Timer();
  }
  // The digits drawn on a score row, in the order drawn.
  std::string Score(int row) const {
    std::string digits;
    for (const std::string& line : Logged("picture SUUJI")) {
      if (line.ends_with(" " + std::to_string(525 * row))) digits += line[13];
    }
    return digits;
  }
  // Columns full from `top` down, of pawns and lances that never link.
  void FillColumns(int first, int last, int top) {
    for (int column = first; column <= last; ++column) {
      for (int row = top; row <= 16; ++row) form.盤[column][row] = row % 2 == 0 ? U'歩' : U'香';
    }
  }
  // A new game whose first landing ends it, the score standing at
  // `score_before` when the trio lands.
  void PlayToGameOver(long score_before) {
    Start();
    FillColumns(5, 7, 3);
    form.得点 = score_before;
    Tick(61);
    ASSERT_EQ(form.終了フラグ, kOn);
  }
};

// ----------------------------------------------------------- falling trio

// Where a turn or a step takes the trio, and with which codes, the moves
// scenario shows; here, what it draws. The old cells are emptied first and
// the trio drawn after, so a cell it keeps shows its new stone; the board
// itself is left alone.
TEST_F(Play, AMoveOrTurnEmptiesTheOldCellsThenDrawsTheTrio) {
  SetPlayfield(form, {"金金金金金金金金金金金"});
  const auto board = BoardRows(form);
  form.落下石_向き = Form1::向き_横;
  form.落下石_列 = {0, 5, 6, 7};
  form.落下石_行 = {0, 8, 8, 8};
  form.落下石_駒 = {0, U'金', U'銀', U'角'};
  const auto expect_shown = [&](const char* after, std::initializer_list<Shown> cells) {
    for (const auto& [column, row, picture] : cells) {
      EXPECT_TRUE(desk.Shows(column, row, picture)) << after << ", " << column << "," << row;
    }
  };
  // Shown where it lies first, so that every old cell has a stone to erase.
  form.落下石_移動(0, 0);
  // A quarter turn about the middle stone: stone 1 stays on top and takes
  // the old right stone's code.
  form.落下石_回転();
  expect_shown("the turn", {{5, 8, Picture::HAIKEI},
                            {7, 8, Picture::HAIKEI},
                            {6, 7, Picture::KAKU},
                            {6, 8, Picture::GIN},
                            {6, 9, Picture::KIN}});
  form.落下石_移動(0, 1);
  expect_shown("the step", {{6, 7, Picture::HAIKEI},
                            {6, 8, Picture::KAKU},
                            {6, 9, Picture::GIN},
                            {6, 10, Picture::KIN}});
  EXPECT_EQ(BoardRows(form), board);
}

// -------------------------------------------------------------- game over

TEST_F(Play, BlockingTheEntryWithAnOrdinaryNextTrioEndsTheGameWhichThenBlinks) {
  Start();
  FillColumns(5, 7, 3);
  Forget();
  Tick(61);
  EXPECT_EQ(std::pair(form.待機フラグ, form.終了フラグ), std::pair(kOn, kOn));
  EXPECT_EQ(form.得点, 1);
  EXPECT_EQ(Logged("sound "), (Lines{"sound 石着地", "sound 面終了"}));
  // The end sound comes after the board has slid out, right before the
  // title, and the white GAME OVER after both.
  const Lines& log = desk.drawing;
  const auto title = std::find(log.begin(), log.end(), "picture RABELU 7000 700");
  ASSERT_TRUE(title != log.begin() && title != log.end());
  EXPECT_EQ(*(title - 1), "sound 面終了");
  const std::string over = "text 2107.5 3870 GAME OVER ";
  EXPECT_EQ(Logged("GAME OVER"), Lines{"GAME OVER 255,255,255 24"});
  EXPECT_TRUE(std::find(title, log.end(), over + "255,255,255 24") != log.end());

  // From then on each tick redraws it in a colour drawn at random.
  desk.randoms = {0.0, 0.2, 0.4, 0.5, 0.7, 0.9, 0.999};
  const char* const colours[] = {"255,0,0",   "0,0,128",   "0,128,0",  "192,192,192",
                                 "255,0,255", "0,255,255", "0,255,255"};
  const auto state = State();
  for (const char* colour : colours) {
    Forget();
    Tick();
    EXPECT_EQ(desk.drawing, (Lines{over + colour + " 24", "refresh", "refresh"}));
    EXPECT_NEAR(std::accumulate(desk.waits.begin(), desk.waits.end(), 0.0), 0.05, 1e-9);
  }
  EXPECT_EQ(State(), state);
}

TEST_F(Play, ALandedBombTrioTurnsToExplosionsAndAStarTrioStaysStars) {
  struct Case {
    char32_t stone;
    Lines playfield;
    Picture shown;
    const char *never_shown, *floor;
  };
  const Case cases[] = {
      // The bombs and their five neighbours go; nothing else was there.
      {U'爆', {"...歩...歩...", "....銀桂銀...."}, Picture::BAKUHATU, "BAKUDAN", "..........."},
      // Every silver and knight touched a star; the gold did not.
      {U'星', {"銀.金.銀桂銀...桂"}, Picture::HOSI, "BAKUHATU", "..金........"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(PictureName(c.shown));
    form.待機フラグ = kOn;  // so that 開始 starts a new game whatever came before
    Start();
    SetPlayfield(form, c.playfield);
    for (int column = 5; column <= 7; ++column)
      form.盤[column][1] = form.次石[static_cast<std::size_t>(column - 5)];
    form.落下石_駒 = {0, c.stone, c.stone, c.stone};
    form.落下石_行 = {0, 15, 15, 15};
    Forget();
    FallStep();
    for (int column = 5; column <= 7; ++column)
      EXPECT_TRUE(Drew(CellPictureLine(c.shown, column, 15)));
    EXPECT_TRUE(Logged(c.never_shown).empty());
    Lines expected(15, "...........");
    expected[14] = c.floor;
    const Lines rows = BoardRows(form);
    EXPECT_EQ(Lines(rows.begin() + 1, rows.end()), expected);
    EXPECT_EQ(form.得点, 81) << "the landing and eight stones erased";
    EXPECT_EQ(Logged("sound "), (Lines{"sound 石着地", "sound 石消去"}));
    EXPECT_EQ(std::pair(form.爆_予約, form.星_予約), std::pair(kOff, kOff))
        << "a special trio earns nothing";
  }
}

TEST_F(Play, TheHiScoreChangesOnlyWhenStrictlyBeatenAndOutlivesNewGames) {
  const std::tuple<long, long, const char*> cases[] = {
      {41, 42, "0042"}, {41, 42, ""}, {42, 43, "0043"}};
  for (const auto& [before, hi, shown] : cases) {
    Forget();
    PlayToGameOver(before);
    EXPECT_EQ(form.最高得点, hi) << before;
    EXPECT_EQ(Score(7), shown) << before;
  }
  // The game ended in a fall step, so the next one falls on its 61st tick.
  Start();
  Forget();
  Tick(60);
  EXPECT_EQ(form.落下石_行[1], 2);
  EXPECT_TRUE(Logged("GAME OVER").empty());
  Tick();
  EXPECT_EQ(form.落下石_行[1], 3);
}

// ------------------------------------------------------------------ input

TEST_F(Play, WithNoGameRunningKeysPromptSilentlyAndAClickPromptsWithASound) {
  const auto expect_prompts = [&](const char* when) {
    const auto state = State();
    for (int key : {kLeft, kUp, kRight, kDown, 65, 13}) {
      Forget();
      form.Form_KeyDown(key, 0);
      EXPECT_EQ(desk.drawing, prompt) << when << ", key " << key;
    }
    Forget();
    form.Form_MouseDown(1, 0, 3000, 4000);
    EXPECT_EQ(desk.drawing, (Lines{"sound 禁止", prompt[0], prompt[1]})) << when;
    EXPECT_EQ(State(), state) << when;
  };
  expect_prompts("before the first game");
  PlayToGameOver(0);
  expect_prompts("after a game");
}

TEST_F(Play, DuringAGameArrowsSteerWithTheirSoundFirstAndNothingElseReacts) {
  Start(U"金銀角");
  for (const auto& [key, column] : {std::pair(kLeft, 4), std::pair(kRight, 5)}) {
    Forget();
    form.Form_KeyDown(key, 0);
    EXPECT_EQ(form.落下石_列[1], column);
    EXPECT_EQ(desk.drawing.front(), "sound 移動");
  }
  Forget();
  form.Form_KeyDown(kUp, 0);
  EXPECT_TRUE(desk.drawing.empty()) << "no turn, and no sound, in row 2";

  Tick(61);
  Forget();
  form.Form_KeyDown(kUp, 0);
  EXPECT_EQ(form.落下石_向き, Form1::向き_縦);
  EXPECT_EQ(desk.drawing.front(), "sound 回転");
  EXPECT_TRUE(Drew(CellPictureLine(Picture::KAKU, 6, 2)));

  // Down, other keys, a click and 開始 neither sound nor draw nor restart.
  const auto state = State();
  Forget();
  form.Form_KeyDown(kDown, 0);
  form.Form_KeyDown(65, 0);
  form.Form_MouseDown(1, 0, 2000, 2000);
  Start(U"王王王");
  EXPECT_TRUE(desk.drawing.empty());
  EXPECT_TRUE(desk.calls.empty());
  EXPECT_EQ(form.落下_間隔, 1);
  EXPECT_EQ(State(), state);
}

}  // namespace
}  // namespace zonbeli
