// SPDX-License-Identifier: MIT
// Random play over many games through the scenario runner, checking the
// rules that must hold after every landing whatever the player did.
//
// ZONBELI_SOAK_TICKS sets how many timer ticks to play (20000 unless set),
// ZONBELI_SOAK_SEED the seed of the random player.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "board_text.h"
#include "input.h"
#include "rules_model.h"
#include "scenario_runner.h"

namespace zonbeli::scenario {
namespace {

constexpr std::u32string_view kCodes = U" 爆星発歩香桂銀金角飛王";

long long FromEnvironment(const char* name, long long fallback) {
  const char* text = std::getenv(name);
  return text == nullptr || *text == '\0' ? fallback : std::atoll(text);
}

// Codes as numbers, so that a failing check can print them.
std::uint32_t N(符号 code) {
  return static_cast<std::uint32_t>(code);
}

class Soak : public testing::Test {
 protected:
  std::ostringstream output;
  Session session{output};
  Form1& form = session.form();
  long long games = 0, landings = 0, game_overs = 0, bombs = 0, stars = 0, score_before = 0;
  std::u32string next_before;  // the waiting trio before the tick

  bool Running() const { return form.待機フラグ != Form1::定数_オン; }

  void CheckLanding() {
    const Grid& board = form.盤;
    std::string picture;
    for (const std::string& row : BoardRows(form)) picture += row + "\n";
    SCOPED_TRACE("landing " + std::to_string(landings) + " of game " + std::to_string(games) +
                 "\n" + picture);
    for (int row = 0; row <= 16; ++row) ASSERT_EQ(N(board[0][row]), 0U) << "column 0 was written";
    for (const auto& column : board) ASSERT_EQ(N(column[0]), 0U) << "row 0 was written";

    const long long gained = form.得点 - score_before;
    ASSERT_GE(gained, 1) << "the score fell or a landing went unscored";
    ASSERT_EQ(gained % 10, 1) << "a landing scores 1 and every erased stone 10";
    score_before = form.得点;

    if (!Running()) {
      ++game_overs;
      ASSERT_EQ(form.終了フラグ, Form1::定数_オン);
      ASSERT_GE(form.最高得点, form.得点);
      ASSERT_EQ(BoardRows(form), std::vector<std::string>(16, "???????????")) << "slide";
      return;
    }
    for (int column = 1; column <= Form1::盤_列数; ++column) {
      for (int row = 1; row <= 16; ++row) {
        ASSERT_NE(kCodes.find(board[column][row]), std::u32string_view::npos)
            << "column " << column << " row " << row << " holds code " << N(board[column][row]);
      }
      const 符号 preview =
          column >= 5 && column <= 7 ? form.次石[static_cast<std::size_t>(column - 5)] : U' ';
      ASSERT_EQ(N(board[column][1]), N(preview)) << "row 1, column " << column;
    }
    ASSERT_TRUE(Group(board).in_threes.empty()) << "a group of three or more survived the chain";

    // The trio just started is the one that waited; a bomb trio that found
    // its entry blocked blew up where it waited.
    const std::u32string falling = {form.落下石_駒[1], form.落下石_駒[2], form.落下石_駒[3]};
    ASSERT_TRUE(falling == next_before || (next_before == U"爆爆爆" && falling == U"発発発"))
        << Utf8(falling) << " started where " << Utf8(next_before) << " waited";
  }

  void Tick() {
    next_before = form.次石;
    const 符号 kind = form.落下石_駒[1];
    if (!session.Tick()) return;
    ++landings;
    bombs += kind == U'爆';
    stars += kind == U'星';
    CheckLanding();
  }
};

TEST_F(Soak, RandomPlayKeepsTheRules) {
  const long long ticks = FromEnvironment("ZONBELI_SOAK_TICKS", 20'000);
  const auto seed = static_cast<unsigned>(FromEnvironment("ZONBELI_SOAK_SEED", 20'260'611));
  std::mt19937 random(seed);
  const auto below = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };

  // The player steers each trio towards a column of its choosing, so that
  // the well fills evenly and games reach the fast levels, and mixes in
  // every other kind of input.
  int target = 6;
  long long landings_seen = 0;
  while (session.ticks() < ticks && !HasFatalFailure()) {
    if (!Running()) {
      for (int n = below(4); n > 0 && session.ticks() < ticks; --n) Tick();
      Deliver(form, {Input::Kind::Start});
      ++games;
      score_before = 0;
      ASSERT_TRUE(Running() && form.得点 == 0) << "a new game";
      continue;
    }
    if (landings != landings_seen) {
      landings_seen = landings;
      target = 1 + below(11);
    }
    const int choice = below(1000);
    const int pivot = form.落下石_列[2];
    if (choice < 550) {
      for (int n = 1 + below(20);
           n > 0 && session.ticks() < ticks && Running() && !HasFatalFailure(); --n)
        Tick();
    } else if (choice < 700) {
      Deliver(form, {Input::Kind::KeyDown, pivot < target ? 39 : pivot > target ? 37 : 40});
    } else if (choice < 980) {
      // Down, some key coming up, left, right or up.
      const int key = std::array{40, 0, 37, 39, 38}[static_cast<std::size_t>(choice - 700) / 56];
      Deliver(form, key == 0 ? Input{Input::Kind::KeyUp, 37 + below(4)}
                             : Input{Input::Kind::KeyDown, key});
    } else if (choice < 986) {
      const int key = below(256);
      Deliver(form, {Input::Kind::KeyDown, key == 27 ? 65 : key});
    } else if (choice < 990) {
      Deliver(form, {Input::Kind::Click, 1});
    } else {
      Deliver(form, {choice < 993   ? Input::Kind::Start
                     : choice < 996 ? Input::Kind::Music
                                    : Input::Kind::About});
      session.window().messages.clear();
    }
    for (std::size_t i = 1; Running() && i <= 3; ++i) {
      const int column = form.落下石_列[i], row = form.落下石_行[i];
      ASSERT_TRUE(column >= 1 && column <= 11 && row >= 2 && row <= 16) << "the trio left the well";
    }
  }
  std::cout << "soak: seed " << seed << ", " << session.ticks() << " ticks, " << games << " games, "
            << game_overs << " game overs, " << landings << " landings (" << bombs
            << " bomb trios, " << stars << " star trios)\n";
  // The player reached the ends of games and earned both special trios.
  EXPECT_GT(game_overs, 0);
  EXPECT_GT(bombs, 0);
  EXPECT_GT(stars, 0);
}

}  // namespace
}  // namespace zonbeli::scenario
