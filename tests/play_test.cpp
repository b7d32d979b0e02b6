// Whole games through the game object: trios chosen from the clock, the
// level climbing with the count, the tick that counts, falls and lands,
// the end of a game, the hi-score, and what keys, clicks and menus do in
// each state.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <numeric>
#include <string>
#include <string_view>
#include <vector>

#include "board_text.h"
#include "fake_window.h"
#include "form1.h"
#include "pixels.h"

namespace zonbeli {
namespace {

constexpr int kOn = Form1::定数_オン;
constexpr int kOff = Form1::定数_オフ;
constexpr int kEscape = 27;
constexpr int kLeft = 37;
constexpr int kUp = 38;
constexpr int kRight = 39;
constexpr int kDown = 40;

const char* const kSoundFiles[] = {"回転.wav",   "禁止.wav",   "移動.wav",   "その他.wav",
                                   "爆出現.wav", "星出現.wav", "石消去.wav", "石着地.wav",
                                   "面終了.wav", "BGM.wav"};

// The clock digit that gives each piece; pawns also come from 0 and 9.
int DigitOf(char32_t piece) {
  switch (piece) {
    case U'香':
      return 2;
    case U'桂':
      return 3;
    case U'銀':
      return 4;
    case U'金':
      return 5;
    case U'角':
      return 6;
    case U'飛':
      return 7;
    case U'王':
      return 8;
    default:
      return 1;
  }
}

// A time of day whose hundredths, tenths and units pick the left, middle
// and right stone of `trio`. The 2 ms margin keeps the reading clear of a
// rounding edge.
double TimeFor(std::u32string_view trio) {
  return 40000 + DigitOf(trio[2]) + DigitOf(trio[1]) / 10.0 + DigitOf(trio[0]) / 100.0 + 0.002;
}

// Notes, at every sound started, how much had been drawn and how many boxes
// shown, so a test can tell whether the sound came first.
class OrderedSound : public RecordingSound {
 public:
  explicit OrderedSound(const FakeWindow& window) : window_(window) {}
  void dsPlay(std::int32_t buffer) override {
    drawn_before.push_back(window_.drawing.size());
    boxes_before.push_back(window_.messages.size());
    RecordingSound::dsPlay(buffer);
  }
  std::vector<std::size_t> drawn_before;
  std::vector<std::size_t> boxes_before;

 private:
  const FakeWindow& window_;
};

std::string Cell(int column, int row) {
  return std::to_string(100 + 525 * column) + " " + std::to_string(-200 + 525 * row);
}

std::string PictureLine(Picture picture, int column, int row) {
  return std::string("picture ") + PictureName(picture) + " " + Cell(column, row);
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::size_t CountContaining(const std::vector<std::string>& lines, std::string_view part) {
  return static_cast<std::size_t>(
      std::count_if(lines.begin(), lines.end(),
                    [&](const std::string& line) { return line.find(part) != std::string::npos; }));
}

class Play : public testing::Test {
 protected:
  FakeWindow window;
  OrderedSound sound{window};
  Form1 form{window, sound};
  std::vector<std::string> prompt;  // the start prompt as start-up drew it

  void SetUp() override {
    std::size_t length = 10;
    for (const char* name : kSoundFiles)
      window.files[name] = std::vector<std::uint8_t>(length++, 1);
    form.Form_Load();
    ASSERT_EQ(form.音_回転, 1);
    ASSERT_EQ(form.音_BGM, 10);
    ASSERT_GE(window.drawing.size(), 2U);
    prompt.assign(window.drawing.end() - 2, window.drawing.end());
    ASSERT_NE(prompt[1].find("ゲームを開始してください"), std::string::npos);
    Forget();
  }

  void Forget() {
    window.drawing.clear();
    window.waits.clear();
    sound.calls.clear();
    sound.played.clear();
    sound.drawn_before.clear();
    sound.boxes_before.clear();
  }

  std::vector<std::string> Played() const {
    std::vector<std::string> names;
    for (std::int32_t handle : sound.played) names.push_back(SoundSlotName(form, handle));
    return names;
  }

  double WaitedFor() const {
    return std::accumulate(window.waits.begin(), window.waits.end(), 0.0);
  }

  void Tick(int n = 1) {
    for (int i = 0; i < n; ++i) form.Timer1_Timer();
  }

  void Start(std::u32string_view trio = U"桂角桂") {
    window.SetTimeOfDay(TimeFor(trio));
    form.KAISI_Click();
  }

  // One fall step on this tick. The step pauses 10 ms before the trio lands
  // and the clock picks the next trio, so the clock is set that much early.
  void FallStep(std::u32string_view next = U"桂角桂") {
    window.SetTimeOfDay(TimeFor(next) - 0.01);
    form.落下_カウンタ = form.落下_間隔;
    form.Timer1_Timer();
  }

  // Fall steps until the trio has landed and the next one started, or the
  // game has ended.
  void Land(std::u32string_view next = U"桂角桂") {
    const int count = form.出現_回数;
    for (int i = 0; i < 20 && form.出現_回数 == count && form.終了フラグ != kOn; ++i) {
      FallStep(next);
    }
    ASSERT_TRUE(form.出現_回数 != count || form.終了フラグ == kOn) << "the trio never landed";
  }

  void SetPreview(std::u32string_view trio) {
    form.次石 = std::u32string(trio);
    for (int i = 0; i < 3; ++i) form.盤[5 + i][1] = trio[static_cast<std::size_t>(i)];
  }

  // Columns 5 to 7 full from row 3 down: pawns under lances under pawns,
  // which never link, so a trio entering row 2 lands at once.
  void FillEntryColumns() {
    for (int column = 5; column <= 7; ++column) {
      for (int row = 3; row <= 16; ++row) form.盤[column][row] = row % 2 == 0 ? U'歩' : U'香';
    }
  }

  // The banner painted last, by name.
  std::string LastBanner() const {
    for (auto line = window.drawing.rbegin(); line != window.drawing.rend(); ++line) {
      if (line->size() > 10 && line->compare(line->size() - 10, 10, " 7700 4500") == 0) {
        return line->substr(8, line->size() - 18);
      }
    }
    return "";
  }

  std::u32string Falling() const {
    return {form.落下石_駒[1], form.落下石_駒[2], form.落下石_駒[3]};
  }

  // The digits last drawn on a score row, read left to right.
  std::string ScoreShown(int row) const {
    const std::string y = " " + std::to_string(525 * row);
    std::map<double, char> digits;
    for (const std::string& line : window.drawing) {
      if (line.rfind("picture SUUJI", 0) != 0) continue;
      if (line.size() < y.size() || line.compare(line.size() - y.size(), y.size(), y) != 0) {
        continue;
      }
      const std::size_t x_at = line.find(' ', 8) + 1;
      digits[std::stod(line.substr(x_at))] = line[13];
    }
    std::string shown;
    for (const auto& [x, digit] : digits) shown += digit;
    return shown;
  }

  std::vector<std::string> GameOverLines() const {
    std::vector<std::string> lines;
    for (const std::string& line : window.drawing) {
      if (line.find("GAME OVER") != std::string::npos) lines.push_back(line);
    }
    return lines;
  }

  // From the start of a new game to the end of its first landing, with the
  // score standing at `score_before` when the trio lands.
  void PlayToGameOver(long score_before) {
    Start();
    FillEntryColumns();
    form.得点 = score_before;
    Tick(60);
    ASSERT_EQ(form.終了フラグ, kOff) << "a fall step before the 61st tick of the game";
    Tick();
    ASSERT_EQ(form.終了フラグ, kOn);
  }
};

// ------------------------------------------------------------------ spawn

TEST_F(Play, EachClockDigitPicksItsPieceAndThreeDigitsGivePawns) {
  form.爆_予約 = kOff;
  form.星_予約 = kOff;
  const std::u32string pieces = U"歩歩香桂銀金角飛王歩";
  for (int digit = 0; digit <= 9; ++digit) {
    window.SetTimeOfDay(30000 + digit * 1.11 + 0.002);
    const char32_t piece = pieces[static_cast<std::size_t>(digit)];
    EXPECT_EQ(form.取得_駒名(), std::u32string(3, piece)) << "digit " << digit;
  }
}

TEST_F(Play, HundredthsPickTheLeftStoneTenthsTheMiddleUnitsTheRight) {
  form.爆_予約 = kOff;
  form.星_予約 = kOff;
  window.SetTimeOfDay(45296.73);
  EXPECT_EQ(Utf8(form.取得_駒名()), "桂飛角");
  // Tens and higher places of the seconds pick nothing.
  window.SetTimeOfDay(81.05);
  EXPECT_EQ(Utf8(form.取得_駒名()), "金歩歩");
  window.SetTimeOfDay(5.23);
  EXPECT_EQ(Utf8(form.取得_駒名()), "桂香金");
  window.SetTimeOfDay(86399.48);
  EXPECT_EQ(Utf8(form.取得_駒名()), "王銀歩");
}

TEST_F(Play, BothDueGiveABombTrioFirstAndAStarTrioOneTrioLater) {
  Start();
  form.爆_予約 = kOn;
  form.星_予約 = kOn;
  Forget();
  Land();
  EXPECT_EQ(Utf8(form.次石), "爆爆爆");
  EXPECT_EQ(BoardRows(form)[0], "....爆爆爆....");
  EXPECT_EQ(form.爆_予約, kOff);
  EXPECT_EQ(form.星_予約, kOn);
  EXPECT_TRUE(Contains(window.drawing, PictureLine(Picture::BAKUDAN, 6, 1)));

  Land();
  EXPECT_EQ(Utf8(Falling()), "爆爆爆");
  EXPECT_EQ(Utf8(form.次石), "星星星");
  EXPECT_EQ(form.星_予約, kOff);
  EXPECT_EQ(LastBanner(), "BOMB");
  // Each special trio sounds once, when it is previewed, not when it falls.
  EXPECT_EQ(Played(), (std::vector<std::string>{"石着地", "爆出現", "石着地", "星出現"}));
}

TEST_F(Play, ABombDueWhileTheFallingTrioIsABombTrioIsLost) {
  Start();
  SetPreview(U"爆爆爆");
  form.爆_予約 = kOn;
  Forget();
  Land(U"金銀王");
  EXPECT_EQ(Utf8(Falling()), "爆爆爆");
  EXPECT_EQ(Utf8(form.次石), "金銀王");
  EXPECT_EQ(form.爆_予約, kOff);
  EXPECT_EQ(Played(), (std::vector<std::string>{"石着地"}));
}

TEST_F(Play, AStarDueWithALostBombIsHonouredInTheSameCall) {
  Start();
  SetPreview(U"爆爆爆");
  form.爆_予約 = kOn;
  form.星_予約 = kOn;
  Forget();
  Land();
  EXPECT_EQ(Utf8(Falling()), "爆爆爆");
  EXPECT_EQ(Utf8(form.次石), "星星星");
  EXPECT_EQ(form.爆_予約, kOff);
  EXPECT_EQ(form.星_予約, kOff);
  EXPECT_EQ(Played(), (std::vector<std::string>{"石着地", "星出現"}));
}

TEST_F(Play, AStarDueWhileTheFallingTrioIsAStarTrioIsLost) {
  Start();
  SetPreview(U"星星星");
  form.星_予約 = kOn;
  Forget();
  Land(U"飛飛香");
  EXPECT_EQ(Utf8(Falling()), "星星星");
  EXPECT_EQ(Utf8(form.次石), "飛飛香");
  EXPECT_EQ(form.星_予約, kOff);
  EXPECT_EQ(LastBanner(), "STAR");
}

TEST_F(Play, TheCountSetsLevelAndFallIntervalAndRedrawsTheLevelPastTheTenth) {
  Start();
  ASSERT_EQ(form.出現_回数, 1);
  EXPECT_EQ(form.レベル, 6);
  EXPECT_EQ(form.落下_基本間隔, 60);
  struct Expect {
    int from, to, level, interval;
  };
  const Expect table[] = {{2, 10, 6, 60},  {11, 20, 5, 50}, {21, 30, 4, 35},
                          {31, 40, 3, 25}, {41, 50, 2, 10}, {51, 60, 1, 1}};
  for (const Expect& row : table) {
    for (int count = row.from; count <= row.to; ++count) {
      Forget();
      form.落下_間隔 = 1;
      form.出現_落下石();
      form.出現_次石();
      ASSERT_EQ(form.出現_回数, count);
      EXPECT_EQ(form.レベル, row.level) << "trio " << count;
      EXPECT_EQ(form.落下_基本間隔, row.interval) << "trio " << count;
      EXPECT_EQ(form.落下_間隔, row.interval) << "a new trio ends the fast fall, trio " << count;
      const std::size_t redraws = CountContaining(window.drawing, "LEBEL: ");
      if (count <= 10) {
        EXPECT_EQ(redraws, 0U) << "trio " << count;
      } else {
        EXPECT_EQ(redraws, 1U) << "trio " << count;
        EXPECT_EQ(CountContaining(window.drawing, "LEBEL: " + std::to_string(row.level)), 1U);
      }
    }
  }
}

TEST_F(Play, TheBannerShowsWhileABombOrStarTrioFalls) {
  Start();
  const QImage& surface = window.image();
  const auto banner_shows = [&](Picture p) {
    return StampedAt(surface, window.canvas().picture(p), TwipsToPixels(7700), TwipsToPixels(4500));
  };
  EXPECT_TRUE(banner_shows(Picture::HB_DEL));
  const std::pair<std::u32string, Picture> cases[] = {{U"爆爆爆", Picture::BOMB},
                                                      {U"王金銀", Picture::HB_DEL},
                                                      {U"星星星", Picture::STAR},
                                                      {U"歩歩歩", Picture::HB_DEL}};
  for (const auto& [trio, banner] : cases) {
    SetPreview(trio);
    form.出現_落下石();
    EXPECT_EQ(Falling(), trio);
    EXPECT_TRUE(banner_shows(banner)) << PictureName(banner);
  }
}

TEST_F(Play, ATrioStartsLyingInRowTwoUnderThePreview) {
  Start(U"銀金飛");
  EXPECT_EQ(form.落下石_向き, Form1::向き_横);
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(form.落下石_列[i], 4 + i);
    EXPECT_EQ(form.落下石_行[i], 2);
  }
  EXPECT_EQ(Utf8(Falling()), "銀金飛");
  EXPECT_EQ(Utf8(form.次石), "銀金飛");
  EXPECT_EQ(BoardRows(form)[0], "....銀金飛....");
  EXPECT_EQ(BoardRows(form)[1], "...........") << "the falling trio is not in the board";
  EXPECT_TRUE(Contains(window.drawing, PictureLine(Picture::GIN, 5, 2)));
  EXPECT_TRUE(Contains(window.drawing, PictureLine(Picture::KIN, 6, 2)));
  EXPECT_TRUE(Contains(window.drawing, PictureLine(Picture::HISYA, 7, 2)));
}

// --------------------------------------------------------------- new game

TEST_F(Play, NewGameClearsTheGameButNotTheHiScoreNorTheTickCount) {
  form.得点 = 123;
  form.最高得点 = 77;
  form.出現_回数 = 44;
  form.レベル = 2;
  form.落下_基本間隔 = 10;
  form.落下_間隔 = 1;
  form.落下_カウンタ = 33;
  form.爆_予約 = kOn;
  form.星_予約 = kOn;
  form.終了フラグ = kOn;
  for (int c = 1; c <= 11; ++c) {
    for (int r = 1; r <= 16; ++r) {
      form.盤[c][r] = U'金';
      form.盤_当たり[c][r] = kOn;
    }
    form.列_当たり[c] = kOn;
  }
  Start(U"香角王");
  EXPECT_EQ(form.待機フラグ, kOff);
  EXPECT_EQ(form.終了フラグ, kOff);
  EXPECT_EQ(form.得点, 0);
  EXPECT_EQ(form.最高得点, 77);
  EXPECT_EQ(form.出現_回数, 1);
  EXPECT_EQ(form.レベル, 6);
  EXPECT_EQ(form.落下_基本間隔, 60);
  EXPECT_EQ(form.落下_間隔, 60);
  EXPECT_EQ(form.落下_カウンタ, 33);
  EXPECT_EQ(form.爆_予約, kOff) << "a due bomb does not outlive its game";
  EXPECT_EQ(form.星_予約, kOff);
  std::vector<std::string> empty(16, "...........");
  empty[0] = "....香角王....";
  EXPECT_EQ(BoardRows(form), empty);
  for (int c = 1; c <= 11; ++c) {
    EXPECT_EQ(form.列_当たり[c], kOff);
    for (int r = 1; r <= 16; ++r) EXPECT_EQ(form.盤_当たり[c][r], kOff) << c << "," << r;
  }
  EXPECT_EQ(form.盤[0][5], 0U) << "column 0 is not part of the well";
  EXPECT_EQ(ScoreShown(12), "0000");
  EXPECT_EQ(CountContaining(window.drawing, "LEBEL: 6"), 1U);
  EXPECT_EQ(ScoreShown(7), "") << "the hi-score is not redrawn";
  EXPECT_TRUE(Played().empty());
}

TEST_F(Play, NewGameShowsTheFirstPreviewBeforeItStartsFalling) {
  Start(U"角角金");
  const auto& d = window.drawing;
  const auto at = [&](const std::string& line) {
    return std::find(d.begin(), d.end(), line) - d.begin();
  };
  const auto first_preview = at(PictureLine(Picture::KIN, 7, 1));
  const auto refresh = at("refresh");
  const auto falling = at(PictureLine(Picture::KIN, 7, 2));
  ASSERT_LT(falling, static_cast<long>(d.size()));
  EXPECT_LT(first_preview, refresh);
  EXPECT_LT(refresh, falling);
  EXPECT_EQ(d.back(), PictureLine(Picture::KIN, 7, 1)) << "the second preview comes last";
}

TEST_F(Play, StartingDuringAGameChangesNothing) {
  Start();
  Tick(70);
  form.得点 = 5;
  const auto board = BoardRows(form);
  const auto rows = form.落下石_行;
  const int count = form.出現_回数;
  const int counter = form.落下_カウンタ;
  Forget();
  window.SetTimeOfDay(TimeFor(U"王王王"));
  form.KAISI_Click();
  EXPECT_EQ(BoardRows(form), board);
  EXPECT_EQ(form.落下石_行, rows);
  EXPECT_EQ(form.出現_回数, count);
  EXPECT_EQ(form.落下_カウンタ, counter);
  EXPECT_EQ(form.得点, 5);
  EXPECT_EQ(form.待機フラグ, kOff);
  EXPECT_TRUE(window.drawing.empty());
  EXPECT_TRUE(sound.calls.empty());
}

// -------------------------------------------------------------- main loop

TEST_F(Play, BeforeTheFirstGameTicksDoNothing) {
  const QImage before = window.image().copy();
  const int refreshes = window.refreshes;
  Tick(500);
  EXPECT_TRUE(window.drawing.empty());
  EXPECT_EQ(window.refreshes, refreshes);
  EXPECT_TRUE(window.waits.empty());
  EXPECT_TRUE(sound.calls.empty());
  EXPECT_EQ(form.落下_カウンタ, 0);
  EXPECT_TRUE(Difference(before, window.image()).isEmpty());
}

TEST_F(Play, FallStepsComeOnEverySixtyFirstTick) {
  Start();
  Forget();
  Tick(60);
  EXPECT_EQ(form.落下石_行[1], 2) << "the first step of a game comes on the 61st tick";
  EXPECT_TRUE(window.drawing.empty());
  Tick();
  EXPECT_EQ(form.落下石_行[1], 3);
  EXPECT_NEAR(WaitedFor(), 0.01, 1e-9);
  EXPECT_TRUE(Contains(window.drawing, PictureLine(Picture::KAKU, 6, 3)));
  Tick(60);
  EXPECT_EQ(form.落下石_行[1], 3);
  Tick();
  EXPECT_EQ(form.落下石_行[1], 4);
  EXPECT_TRUE(sound.calls.empty());
}

TEST_F(Play, HeldDownKeyFallsEverySecondTickUntilAKeyComesUp) {
  Start();
  Tick(61);
  ASSERT_EQ(form.落下石_行[1], 3);
  form.Form_KeyDown(kDown, 0);
  EXPECT_EQ(form.落下_間隔, 1);
  for (int step = 1; step <= 4; ++step) {
    Tick();
    EXPECT_EQ(form.落下石_行[1], 2 + step) << "odd tick of step " << step;
    Tick();
    EXPECT_EQ(form.落下石_行[1], 3 + step) << "even tick of step " << step;
  }
  // Letting go of another key ends the fast fall although down is held.
  form.Form_KeyUp(kLeft, 0);
  EXPECT_EQ(form.落下_間隔, 60);
  Tick(60);
  EXPECT_EQ(form.落下石_行[1], 7);
  // The next auto-repeat of the held key starts it again.
  form.Form_KeyDown(kDown, 0);
  Tick();
  EXPECT_EQ(form.落下石_行[1], 8);
  Tick(2);
  EXPECT_EQ(form.落下石_行[1], 9);
}

TEST_F(Play, ANewTrioEndsTheFastFall) {
  Start();
  Tick(61);
  form.Form_KeyDown(kDown, 0);
  const int count = form.出現_回数;
  int ticks = 0;
  while (form.出現_回数 == count && ticks < 100) {
    Tick();
    ++ticks;
  }
  // 13 steps from row 3 to the floor and the landing step, two ticks each.
  EXPECT_EQ(ticks, 28);
  EXPECT_EQ(form.落下_間隔, 60);
  EXPECT_EQ(form.落下石_行[1], 2);
  Tick(60);
  EXPECT_EQ(form.落下石_行[1], 2);
  Tick();
  EXPECT_EQ(form.落下石_行[1], 3);
}

TEST_F(Play, ALandingWritesTheTrioScoresOneAndBringsInTheNext) {
  Start(U"桂角桂");
  Forget();
  Land(U"王香銀");
  auto rows = BoardRows(form);
  EXPECT_EQ(rows[15], "....桂角桂....");
  EXPECT_EQ(rows[0], "....王香銀....");
  EXPECT_EQ(form.得点, 1);
  EXPECT_EQ(ScoreShown(12), "0001");
  EXPECT_EQ(form.出現_回数, 2);
  EXPECT_EQ(Utf8(Falling()), "桂角桂");
  EXPECT_EQ(form.落下石_行[2], 2);
  EXPECT_EQ(Played(), (std::vector<std::string>{"石着地"}));
  EXPECT_EQ(form.爆_予約, kOff);
  EXPECT_EQ(form.星_予約, kOff);

  Land(U"歩歩歩");
  rows = BoardRows(form);
  EXPECT_EQ(rows[14], "....桂角桂....");
  EXPECT_EQ(rows[15], "....桂角桂....");
  EXPECT_EQ(form.得点, 2);
  EXPECT_EQ(Utf8(Falling()), "王香銀");
}

TEST_F(Play, AStandingTrioLandsWithItsLastTurnedStoneOnTop) {
  Start(U"桂角王");
  Tick(61);
  form.Form_KeyDown(kUp, 0);
  ASSERT_EQ(form.落下石_向き, Form1::向き_縦);
  for (int i = 0; i < 6; ++i) form.Form_KeyDown(kRight, 0);
  Land();
  const auto rows = BoardRows(form);
  EXPECT_EQ(rows[13], "..........王");
  EXPECT_EQ(rows[14], "..........角");
  EXPECT_EQ(rows[15], "..........桂");
}

TEST_F(Play, ALandedBombTrioShowsExplosionsThroughTheChain) {
  Start();
  SetPlayfield(form, {"...歩...歩...", "....銀桂銀...."});
  SetPreview(U"桂角桂");
  form.落下石_駒 = {0, U'爆', U'爆', U'爆'};
  for (int i = 1; i <= 3; ++i) form.落下石_行[i] = 14;
  FallStep();
  ASSERT_EQ(form.落下石_行[1], 15);
  Forget();
  FallStep();
  for (int column = 5; column <= 7; ++column) {
    EXPECT_TRUE(Contains(window.drawing, PictureLine(Picture::BAKUHATU, column, 15))) << column;
  }
  EXPECT_EQ(CountContaining(window.drawing, "BAKUDAN"), 0U);
  // The bombs and their five neighbours are gone; nothing else was there.
  const auto rows = BoardRows(form);
  EXPECT_EQ(std::vector<std::string>(rows.begin() + 1, rows.end()),
            std::vector<std::string>(15, "..........."));
  EXPECT_EQ(form.得点, 81);
  EXPECT_EQ(form.爆_予約, kOff) << "a special trio earns nothing";
  EXPECT_EQ(form.星_予約, kOff);
  EXPECT_EQ(Played(), (std::vector<std::string>{"石着地", "石消去"}));
}

TEST_F(Play, ALandedStarTrioStaysStarsThroughTheChain) {
  Start();
  SetPlayfield(form, {"銀.金.銀桂銀...桂"});
  SetPreview(U"桂角桂");
  form.落下石_駒 = {0, U'星', U'星', U'星'};
  for (int i = 1; i <= 3; ++i) form.落下石_行[i] = 15;
  Forget();
  FallStep();
  for (int column = 5; column <= 7; ++column) {
    EXPECT_TRUE(Contains(window.drawing, PictureLine(Picture::HOSI, column, 15))) << column;
  }
  EXPECT_EQ(CountContaining(window.drawing, "BAKUHATU"), 0U);
  // Every silver and knight touched a star; the gold did not.
  EXPECT_EQ(BoardRows(form)[15], "..金........");
  EXPECT_EQ(BoardRows(form)[14], "...........");
  EXPECT_EQ(form.得点, 81);
  EXPECT_EQ(form.星_予約, kOff);
}

TEST_F(Play, BlockingTheEntryWithAnOrdinaryNextTrioEndsTheGame) {
  Start();
  FillEntryColumns();
  Forget();
  Tick(61);
  EXPECT_EQ(form.待機フラグ, kOn);
  EXPECT_EQ(form.終了フラグ, kOn);
  EXPECT_EQ(form.得点, 1);
  EXPECT_EQ(Played(), (std::vector<std::string>{"石着地", "面終了"}));
  const auto& d = window.drawing;
  const auto title = std::find(d.begin(), d.end(), "picture RABELU 7000 700");
  ASSERT_NE(title, d.end());
  // The sound comes after the board has slid out, right before the title.
  ASSERT_EQ(sound.drawn_before.size(), 2U);
  EXPECT_EQ(sound.drawn_before[1], static_cast<std::size_t>(title - d.begin()));
  const auto over = GameOverLines();
  ASSERT_EQ(over.size(), 1U);
  EXPECT_EQ(over[0].substr(over[0].size() - 15), " 255,255,255 24");
  EXPECT_LT(title - d.begin(), std::find(d.begin(), d.end(), over[0]) - d.begin());
  const std::string place = over[0].substr(0, over[0].find("GAME OVER"));

  // From the next tick on it blinks in colours drawn at random.
  window.randoms = {0.0, 0.2, 0.4, 0.5, 0.7, 0.9, 0.999};
  const char* const colours[] = {"255,0,0",   "0,0,128",   "0,128,0",  "192,192,192",
                                 "255,0,255", "0,255,255", "0,255,255"};
  const auto board = BoardRows(form);
  for (const char* colour : colours) {
    Forget();
    const int refreshes = window.refreshes;
    Tick();
    EXPECT_EQ(window.drawing.size(), 3U);
    EXPECT_EQ(GameOverLines(), (std::vector<std::string>{place + "GAME OVER " + colour + " 24"}));
    EXPECT_EQ(window.refreshes, refreshes + 2);
    EXPECT_NEAR(WaitedFor(), 0.05, 1e-9);
    EXPECT_TRUE(sound.calls.empty());
  }
  EXPECT_EQ(BoardRows(form), board);
  EXPECT_EQ(form.得点, 1);
}

TEST_F(Play, ABlockedBombTrioBlastsItsWayInAndTheGameGoesOn) {
  Start();
  FillEntryColumns();
  SetPreview(U"爆爆爆");
  Forget();
  window.SetTimeOfDay(TimeFor(U"金金金") - 0.01);
  Tick(61);
  EXPECT_EQ(form.待機フラグ, kOff);
  EXPECT_EQ(form.終了フラグ, kOff);
  // The entry cells turned to explosions, and the next trio came from them.
  EXPECT_EQ(Utf8(Falling()), "発発発");
  for (int column = 5; column <= 7; ++column) {
    EXPECT_TRUE(Contains(window.drawing, PictureLine(Picture::BAKUHATU, column, 2))) << column;
  }
  EXPECT_EQ(window.drawing.back(), PictureLine(Picture::KIN, 7, 1));
  EXPECT_EQ(Utf8(form.次石), "金金金");
  EXPECT_EQ(Played(), (std::vector<std::string>{"石着地"}));

  // The explosions cannot fall; their landing ends the game, the next trio
  // being ordinary.
  Tick(61);
  EXPECT_EQ(form.終了フラグ, kOn);
  EXPECT_EQ(form.得点, 2);
}

TEST_F(Play, ABlockedStarTrioDoesNotEndTheGame) {
  Start();
  FillEntryColumns();
  SetPreview(U"星星星");
  Forget();
  window.SetTimeOfDay(TimeFor(U"金金金") - 0.01);
  Tick(61);
  EXPECT_EQ(form.待機フラグ, kOff);
  EXPECT_EQ(form.終了フラグ, kOff);
  EXPECT_EQ(Utf8(Falling()), "星星星");
  EXPECT_EQ(window.drawing.back(), PictureLine(Picture::KIN, 7, 1));
  EXPECT_EQ(LastBanner(), "STAR");
  EXPECT_EQ(form.得点, 1);
}

TEST_F(Play, ANewGameAfterGameOverKeepsTheHiScoreAndStartsAfresh) {
  PlayToGameOver(41);
  Forget();
  Start();
  EXPECT_EQ(form.待機フラグ, kOff);
  EXPECT_EQ(form.終了フラグ, kOff);
  EXPECT_EQ(form.最高得点, 42);
  EXPECT_EQ(form.得点, 0);
  EXPECT_EQ(ScoreShown(12), "0000");
  EXPECT_EQ(form.レベル, 6);
  EXPECT_EQ(CountContaining(window.drawing, "LEBEL: 6"), 1U);
  const auto rows = BoardRows(form);
  EXPECT_EQ(std::vector<std::string>(rows.begin() + 1, rows.end()),
            std::vector<std::string>(15, "..........."));
  Tick(60);
  EXPECT_EQ(form.落下石_行[1], 2);
  EXPECT_TRUE(GameOverLines().empty()) << "no blink once a new game runs";
  Tick();
  EXPECT_EQ(form.落下石_行[1], 3);
}

TEST_F(Play, TheHiScoreChangesOnlyWhenStrictlyBeaten) {
  PlayToGameOver(41);
  EXPECT_EQ(form.最高得点, 42);
  EXPECT_EQ(ScoreShown(7), "0042");

  Forget();
  PlayToGameOver(41);
  EXPECT_EQ(form.得点, 42);
  EXPECT_EQ(form.最高得点, 42);
  EXPECT_EQ(ScoreShown(7), "") << "an equal score leaves the hi-score alone";

  Forget();
  PlayToGameOver(42);
  EXPECT_EQ(form.最高得点, 43);
  EXPECT_EQ(ScoreShown(7), "0043");
}

// ------------------------------------------------------------------ input

TEST_F(Play, BeforeAGameKeysAndClicksPromptButOnlyAClickSounds) {
  for (int key : {kLeft, kUp, kRight, kDown, 65, 13, 0}) {
    Forget();
    form.Form_KeyDown(key, 0);
    EXPECT_EQ(window.drawing, prompt) << "key " << key;
    EXPECT_TRUE(sound.calls.empty()) << "key " << key;
  }
  Forget();
  form.Form_MouseDown(1, 0, 3000, 4000);
  EXPECT_EQ(Played(), (std::vector<std::string>{"禁止"}));
  EXPECT_EQ(sound.drawn_before, (std::vector<std::size_t>{0}));
  EXPECT_EQ(window.drawing, prompt);
  EXPECT_EQ(form.待機フラグ, kOn);
}

TEST_F(Play, AfterAGameKeysPromptAndDoNotSteer) {
  PlayToGameOver(0);
  form.盤[3][16] = U'金';
  const auto rows = form.落下石_行;
  const auto columns = form.落下石_列;
  for (int key : {kLeft, kUp, kRight}) {
    Forget();
    form.Form_KeyDown(key, 0);
    EXPECT_EQ(window.drawing, prompt) << "key " << key;
    EXPECT_TRUE(sound.calls.empty());
  }
  EXPECT_EQ(form.落下石_行, rows);
  EXPECT_EQ(form.落下石_列, columns);
  EXPECT_EQ(form.盤[3][16], U'金') << "the prompt hides stones without removing them";
  Forget();
  form.Form_MouseDown(2, 0, 0, 0);
  EXPECT_EQ(Played(), (std::vector<std::string>{"禁止"}));
}

TEST_F(Play, DuringAGameArrowsSteerWithTheirSoundFirst) {
  Start(U"金銀角");
  Forget();
  form.Form_KeyDown(kLeft, 0);
  EXPECT_EQ(form.落下石_列[1], 4);
  EXPECT_EQ(Played(), (std::vector<std::string>{"移動"}));
  EXPECT_EQ(sound.drawn_before, (std::vector<std::size_t>{0}));
  EXPECT_EQ(window.drawing.size(), 6U);

  Forget();
  form.Form_KeyDown(kRight, 0);
  EXPECT_EQ(form.落下石_列[1], 5);
  EXPECT_EQ(Played(), (std::vector<std::string>{"移動"}));
  EXPECT_EQ(sound.drawn_before, (std::vector<std::size_t>{0}));

  // A lying trio in row 2 cannot turn: nothing at all happens.
  Forget();
  form.Form_KeyDown(kUp, 0);
  EXPECT_EQ(form.落下石_向き, Form1::向き_横);
  EXPECT_TRUE(window.drawing.empty());
  EXPECT_TRUE(sound.calls.empty());

  Tick(61);
  Forget();
  form.Form_KeyDown(kUp, 0);
  EXPECT_EQ(form.落下石_向き, Form1::向き_縦);
  EXPECT_EQ(Played(), (std::vector<std::string>{"回転"}));
  EXPECT_EQ(sound.drawn_before, (std::vector<std::size_t>{0}));
  EXPECT_TRUE(Contains(window.drawing, PictureLine(Picture::KAKU, 6, 2)));

  // Down and other keys neither sound nor draw.
  Forget();
  form.Form_KeyDown(kDown, 0);
  form.Form_KeyDown(65, 0);
  form.Form_MouseDown(1, 0, 2000, 2000);
  EXPECT_TRUE(window.drawing.empty());
  EXPECT_TRUE(sound.calls.empty());
  EXPECT_EQ(form.落下_間隔, 1);
}

TEST_F(Play, HeldSidewaysKeyMovesOneColumnPerRepeatUntilStopped) {
  Start();
  Forget();
  for (int i = 0; i < 7; ++i) form.Form_KeyDown(kLeft, 0);
  EXPECT_EQ(form.落下石_列[1], 1);
  EXPECT_EQ(Played(), std::vector<std::string>(4, "移動"));

  form.盤[6][2] = U'王';
  Forget();
  for (int i = 0; i < 5; ++i) form.Form_KeyDown(kRight, 0);
  EXPECT_EQ(form.落下石_列[3], 5) << "stopped by the stone in column 6";
  EXPECT_EQ(Played(), std::vector<std::string>(2, "移動"));
}

TEST_F(Play, EscapeFreesTheTenSoundsInOrderAndEndsFromAnyState) {
  const std::vector<std::string> order = {"禁止",   "移動",   "回転",   "その他", "爆出現",
                                          "星出現", "石消去", "石着地", "面終了", "BGM"};
  const auto expect_clean_end = [&](const char* state) {
    const auto board = BoardRows(form);
    Forget();
    try {
      form.Form_KeyDown(kEscape, 0);
      ADD_FAILURE() << state << ": the program did not end";
    } catch (const ProgramEnded& ended) {
      EXPECT_EQ(ended.status, 0) << state;
    }
    ASSERT_EQ(sound.calls.size(), 11U) << state;
    std::vector<std::string> freed;
    for (std::size_t i = 0; i < 10; ++i) {
      const std::string& call = sound.calls[i];
      ASSERT_EQ(call.rfind("dsFree ", 0), 0U) << state << ": " << call;
      freed.push_back(SoundSlotName(form, std::stoi(call.substr(7))));
    }
    EXPECT_EQ(freed, order) << state;
    EXPECT_EQ(sound.calls[10], "dsTerminate 7") << state;
    EXPECT_TRUE(window.drawing.empty()) << state << ": no prompt on the way out";
    EXPECT_EQ(BoardRows(form), board) << state;
  };
  expect_clean_end("waiting for the first game");
  PlayToGameOver(0);
  expect_clean_end("after a game");
  Start();
  Tick(70);
  form.Form_KeyDown(kDown, 0);
  expect_clean_end("during a game");
}

TEST_F(Play, KeyUpRestoresTheLevelIntervalInEveryState) {
  form.落下_基本間隔 = 60;
  form.落下_間隔 = 1;
  form.Form_KeyUp(kDown, 0);
  EXPECT_EQ(form.落下_間隔, 60) << "waiting for the first game";
  EXPECT_TRUE(window.drawing.empty());

  PlayToGameOver(0);
  form.落下_間隔 = 1;
  form.Form_KeyUp(0, 0);
  EXPECT_EQ(form.落下_間隔, 60) << "after a game";

  Start();
  form.出現_回数 = 30;
  form.出現_落下石();
  form.Form_KeyDown(kDown, 0);
  form.Form_KeyUp(kUp, 0);
  EXPECT_EQ(form.落下_間隔, 25) << "during a game, level 3";
}

// -------------------------------------------------------------- about box

TEST_F(Play, TheAboutBoxSoundsFirstAndNamesTheGameAndItsVersion) {
  Start();
  Forget();
  form.SONOTA_Click();
  EXPECT_EQ(Played(), (std::vector<std::string>{"その他"}));
  EXPECT_EQ(sound.boxes_before, (std::vector<std::size_t>{0}));
  ASSERT_EQ(window.messages.size(), 1U);
  const std::string& message = window.messages[0];
  const std::string title = message.substr(0, message.find('|'));
  const std::string text = message.substr(message.find('|') + 1);
  EXPECT_NE(title.find("Zonbeli"), std::string::npos) << title;
  EXPECT_EQ(text.rfind("Zonbeli Version 0.9\n\nHome page\n", 0), 0U) << text;
  EXPECT_NE(text.find("\n\ne-mail\n"), std::string::npos) << text;
  // The sound is left to play out when the box closes.
  EXPECT_EQ(sound.calls.size(), 1U);
  EXPECT_EQ(form.待機フラグ, kOff);
}

}  // namespace
}  // namespace zonbeli
