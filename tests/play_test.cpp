// SPDX-License-Identifier: MIT
// Play as the window sees it, which the golden scenarios' state dumps do
// not show: trios chosen from the clock's digits, what a move or turn draws,
// the order of sounds and drawing at the end of a game and on input, and
// what input leaves alone.
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

// The window and the sound library in one, so that message boxes and
// started sounds join the drawing log and one list shows what came first.
class Desk : public FakeWindow, public RecordingSound {
 public:
  void MessageBox(const std::string& text, const std::string& title, MessageIcon icon) override {
    drawing.push_back("box " + text.substr(0, text.find('\n')));
    FakeWindow::MessageBox(text, title, icon);
  }
  void dsPlay(std::int32_t buffer) override {
    // Start-up loads them in the table's order, so buffer n holds sound n - 1.
    drawing.push_back("sound " +
                      std::string(buffer >= 1 && buffer <= 10
                                      ? 音_一覧[static_cast<std::size_t>(buffer - 1)].name
                                      : "?"));
    RecordingSound::dsPlay(buffer);
  }
};

std::string Cell(Picture picture, int column, int row) {
  return std::string("picture ") + PictureName(picture) + " " + std::to_string(100 + 525 * column) +
         " " + std::to_string(-200 + 525 * row);
}

class Play : public testing::Test {
 protected:
  Desk desk;
  Form1 form{desk, desk};
  Lines prompt;  // the start prompt as start-up drew it

  void SetUp() override {
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
  double WaitedFor() const { return std::accumulate(desk.waits.begin(), desk.waits.end(), 0.0); }
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
  // A new game whatever state the test left behind.
  void Restart() {
    form.待機フラグ = kOn;
    Start();
  }
  // A fall step on this tick, the next trio being 桂角桂. The step waits
  // 10 ms before the clock picks it, so the clock is set that much early.
  void FallStep() {
    desk.SetTimeOfDay(TimeFor(U"桂角桂") - 0.01);
    form.落下_カウンタ = form.落下_間隔;
    form.Timer1_Timer();
  }
  void SetPreview(std::u32string_view trio) {
    form.次石 = trio;
    for (int i = 0; i < 3; ++i) form.盤[5 + i][1] = trio[static_cast<std::size_t>(i)];
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

// ------------------------------------------------------------------ spawn

TEST_F(Play, TheClockPicksEachStoneFromOneDigit) {
  form.爆_予約 = kOff;
  form.星_予約 = kOff;
  for (std::size_t digit = 0; digit <= 9; ++digit) {
    desk.SetTimeOfDay(30000 + static_cast<double>(digit) * 1.11 + 0.002);
    EXPECT_EQ(form.取得_駒名(), std::u32string(3, kByDigit[digit])) << "digit " << digit;
  }
  // Hundredths pick the left stone, tenths the middle, units the right;
  // tens and higher places pick nothing.
  const std::pair<double, const char*> readings[] = {
      {45296.73, "桂飛角"}, {81.05, "金歩歩"}, {5.23, "桂香金"}, {86399.48, "王銀歩"}};
  for (const auto& [seconds, trio] : readings) {
    desk.SetTimeOfDay(seconds);
    EXPECT_EQ(Utf8(form.取得_駒名()), trio) << seconds;
  }
}

// ----------------------------------------------------------- falling trio

constexpr bool kLying = true;
constexpr bool kStanding = false;

using Stone = std::tuple<int, int, char32_t>;  // column, row, code

class Moves : public Play {
 protected:
  // Stone 1 at (column, row); the others to its right when lying, below it
  // when standing.
  void Place(bool lying, int column, int row, std::u32string_view codes = U"金銀角") {
    form.落下石_向き = lying ? Form1::向き_横 : Form1::向き_縦;
    for (int i = 1; i <= 3; ++i) {
      form.落下石_列[i] = column + (lying ? i - 1 : 0);
      form.落下石_行[i] = row + (lying ? 0 : i - 1);
      form.落下石_駒[i] = codes[static_cast<std::size_t>(i - 1)];
    }
  }

  std::vector<Stone> Stones() const {
    std::vector<Stone> stones;
    for (int i = 1; i <= 3; ++i)
      stones.emplace_back(form.落下石_列[i], form.落下石_行[i], form.落下石_駒[i]);
    return stones;
  }

  bool Shows(int column, int row, Picture p) { return desk.Shows(column, row, p); }
};

TEST_F(Moves, ATurnIsAQuarterTurnCounterClockwiseAndFourBringTheTrioBack) {
  Place(kLying, 5, 8, U"金銀角");
  // Shown where it lies first, so that every old cell has a stone to erase.
  form.落下石_移動(0, 0);
  form.落下石_回転();
  EXPECT_EQ(form.落下石_向き, Form1::向き_縦);
  // Stone 1 stays on top, so it takes the code of the old right stone.
  EXPECT_EQ(Stones(), (std::vector<Stone>{{6, 7, U'角'}, {6, 8, U'銀'}, {6, 9, U'金'}}));
  EXPECT_TRUE(Shows(6, 7, Picture::KAKU));
  EXPECT_TRUE(Shows(6, 9, Picture::KIN));
  EXPECT_TRUE(Shows(5, 8, Picture::HAIKEI));
  EXPECT_TRUE(Shows(7, 8, Picture::HAIKEI));

  form.落下石_回転();
  EXPECT_EQ(form.落下石_向き, Form1::向き_横);
  EXPECT_EQ(Stones(), (std::vector<Stone>{{5, 8, U'角'}, {6, 8, U'銀'}, {7, 8, U'金'}}));
  form.落下石_回転();
  form.落下石_回転();
  EXPECT_EQ(Stones(), (std::vector<Stone>{{5, 8, U'金'}, {6, 8, U'銀'}, {7, 8, U'角'}}));
  EXPECT_EQ(form.落下石_向き, Form1::向き_横);
}

TEST_F(Moves, AMoveErasesTheOldCellsBeforeDrawingAndLeavesTheBoardAlone) {
  SetPlayfield(form, {"金金金金金金金金金金金"});
  const auto board = BoardRows(form);
  Place(kStanding, 5, 6, U"香桂銀");
  // Shown where it stands first, so that the step has something to erase.
  form.落下石_移動(0, 0);
  form.落下石_移動(0, 1);
  EXPECT_EQ(Stones(), (std::vector<Stone>{{5, 7, U'香'}, {5, 8, U'桂'}, {5, 9, U'銀'}}));
  EXPECT_TRUE(Shows(5, 6, Picture::HAIKEI));
  EXPECT_TRUE(Shows(5, 7, Picture::KYOU));
  EXPECT_TRUE(Shows(5, 8, Picture::KEI));
  EXPECT_TRUE(Shows(5, 9, Picture::GIN));
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
  const auto over = std::find_if(title, log.end(), [](const std::string& line) {
    return line.find("GAME OVER") != std::string::npos;
  });
  ASSERT_NE(over, log.end());
  EXPECT_TRUE(over->ends_with("GAME OVER 255,255,255 24")) << *over;
  EXPECT_EQ(Logged("GAME OVER").size(), 1U);
  const std::string place = over->substr(0, over->find("GAME OVER"));

  // From then on each tick redraws it in a colour drawn at random.
  desk.randoms = {0.0, 0.2, 0.4, 0.5, 0.7, 0.9, 0.999};
  const char* const colours[] = {"255,0,0",   "0,0,128",   "0,128,0",  "192,192,192",
                                 "255,0,255", "0,255,255", "0,255,255"};
  const auto state = State();
  for (const char* colour : colours) {
    Forget();
    Tick();
    EXPECT_EQ(desk.drawing, (Lines{place + "GAME OVER " + colour + " 24", "refresh", "refresh"}));
    EXPECT_NEAR(WaitedFor(), 0.05, 1e-9);
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
    Restart();
    SetPlayfield(form, c.playfield);
    SetPreview(U"桂角桂");
    form.落下石_駒 = {0, c.stone, c.stone, c.stone};
    form.落下石_行 = {0, 15, 15, 15};
    Forget();
    FallStep();
    for (int column = 5; column <= 7; ++column) EXPECT_TRUE(Drew(Cell(c.shown, column, 15)));
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
  Forget();
  form.Form_KeyDown(kLeft, 0);
  EXPECT_EQ(form.落下石_列[1], 4);
  EXPECT_EQ(desk.drawing.front(), "sound 移動");
  Forget();
  form.Form_KeyDown(kRight, 0);
  EXPECT_EQ(form.落下石_列[1], 5);
  EXPECT_EQ(desk.drawing.front(), "sound 移動");
  Forget();
  form.Form_KeyDown(kUp, 0);
  EXPECT_TRUE(desk.drawing.empty()) << "no turn, and no sound, in row 2";

  Tick(61);
  Forget();
  form.Form_KeyDown(kUp, 0);
  EXPECT_EQ(form.落下石_向き, Form1::向き_縦);
  EXPECT_EQ(desk.drawing.front(), "sound 回転");
  EXPECT_TRUE(Drew(Cell(Picture::KAKU, 6, 2)));

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
