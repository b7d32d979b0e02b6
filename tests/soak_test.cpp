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
#include <numeric>
#include <random>
#include <sstream>
#include <string>

#include "board_text.h"
#include "scenario_runner.h"

namespace zonbeli::scenario {
namespace {

long long FromEnvironment(const char* name, long long fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  return std::atoll(text);
}

bool IsPiece(符号 code) {
  for (符号 piece : U"歩香桂銀金角飛王") {
    if (piece != 0 && code == piece) return true;
  }
  return false;
}

bool IsStoneOrEmpty(符号 code) {
  return code == U' ' || code == U'爆' || code == U'星' || code == U'発' || IsPiece(code);
}

using Board = std::array<std::array<符号, 17>, 12>;

// Codes as numbers, so that a failing check can print them.
std::uint32_t N(符号 code) {
  return static_cast<std::uint32_t>(code);
}

int Sign(int n) {
  return (n > 0) - (n < 0);
}

// The moves of the pieces, facing up the well, written out afresh from the
// rules rather than taken from the game.
bool Attacks(const Board& board, int p, int q, int r, int s) {
  const int dc = r - p;
  const int dr = s - q;
  if (dc == 0 && dr == 0) return false;
  const auto line_is_open = [&] {
    for (int c = p + Sign(dc), w = q + Sign(dr); c != r || w != s; c += Sign(dc), w += Sign(dr)) {
      if (board[c][w] != U' ') return false;
    }
    return true;
  };
  switch (board[p][q]) {
    case U'歩':
      return dc == 0 && dr == -1;
    case U'香':
      return dc == 0 && dr < 0 && line_is_open();
    case U'桂':
      return dr == -2 && std::abs(dc) == 1;
    case U'銀':
      return std::abs(dc) <= 1 && (dr == -1 || (dr == 1 && dc != 0));
    case U'金':
      return (std::abs(dc) <= 1 && (dr == -1 || dr == 0)) || (dc == 0 && dr == 1);
    case U'角':
      return std::abs(dc) == std::abs(dr) && line_is_open();
    case U'飛':
      return (dc == 0 || dr == 0) && line_is_open();
    case U'王':
      return std::abs(dc) <= 1 && std::abs(dr) <= 1;
    default:
      return false;
  }
}

// The size of the largest set of same-kind pieces joined by attacks.
int LargestGroup(const Board& board) {
  const auto index = [](int c, int r) { return c * 17 + r; };
  std::vector<int> parent(12 * 17);
  std::iota(parent.begin(), parent.end(), 0);
  const auto find = [&parent](int x) {
    while (parent[static_cast<std::size_t>(x)] != x) x = parent[static_cast<std::size_t>(x)];
    return x;
  };
  for (int p = 1; p <= 11; ++p) {
    for (int q = 2; q <= 16; ++q) {
      if (!IsPiece(board[p][q])) continue;
      for (int r = 1; r <= 11; ++r) {
        for (int s = 2; s <= 16; ++s) {
          if (board[r][s] != board[p][q] || !Attacks(board, p, q, r, s)) continue;
          parent[static_cast<std::size_t>(find(index(p, q)))] = find(index(r, s));
        }
      }
    }
  }
  std::vector<int> size(parent.size(), 0);
  int largest = 0;
  for (int c = 1; c <= 11; ++c) {
    for (int r = 2; r <= 16; ++r) {
      if (!IsPiece(board[c][r])) continue;
      largest = std::max(largest, ++size[static_cast<std::size_t>(find(index(c, r)))]);
    }
  }
  return largest;
}

int StonesInColumn(const Board& board, int column) {
  int count = 0;
  for (int row = 2; row <= 16; ++row) count += board[column][row] != U' ';
  return count;
}

std::string Picture(const Form1& form) {
  std::string text;
  for (const std::string& row : BoardRows(form)) text += row + "\n";
  return text;
}

class RandomPlayer {
 public:
  explicit RandomPlayer(unsigned seed) : random_(seed) {}

  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

 private:
  std::mt19937 random_;
};

Command Make(Op op, long long number = 0, std::string name = "") {
  Command command;
  command.op = op;
  command.number = number;
  command.name = std::move(name);
  return command;
}

struct Figures {
  long long games = 0;
  long long landings = 0;
  long long game_overs = 0;
  long long highest_score = 0;
  long long bomb_landings = 0;
  long long star_landings = 0;
  long long erasures = 0;
  int most_trios = 0;
};

class Soak : public testing::Test {
 protected:
  std::ostringstream output;
  Session session{output};
  Form1& form = session.form();
  Figures figures;
  long long score_before = 0;

  bool Running() const { return form.待機フラグ != Form1::定数_オン; }

  void StartGame() {
    const bool was_waiting = !Running();
    session.Execute(Make(Op::kMenu, 0, "開始"));
    if (was_waiting) {
      ++figures.games;
      score_before = 0;
      ASSERT_TRUE(Running());
      ASSERT_EQ(form.得点, 0);
    }
  }

  // The trio stays inside the well whatever the keys did.
  void CheckTrio() {
    if (!Running()) return;
    for (std::size_t i = 1; i <= 3; ++i) {
      ASSERT_GE(form.落下石_列[i], 1);
      ASSERT_LE(form.落下石_列[i], 11);
      ASSERT_GE(form.落下石_行[i], 2);
      ASSERT_LE(form.落下石_行[i], 16);
    }
  }

  void CheckLanding(const Board& before, const std::array<int, 12>& added,
                    const std::u32string& next_before) {
    ++figures.landings;
    const Board& board = form.盤;
    SCOPED_TRACE("landing " + std::to_string(figures.landings) + " of game " +
                 std::to_string(figures.games) + "\n" + Picture(form));
    for (int row = 0; row <= 16; ++row) ASSERT_EQ(N(board[0][row]), 0U) << "column 0 was written";
    for (int column = 0; column <= 11; ++column) {
      ASSERT_EQ(N(board[column][0]), 0U) << "row 0 was written";
    }

    const long long gained = form.得点 - score_before;
    ASSERT_GE(gained, 1) << "the score fell or a landing went unscored";
    ASSERT_EQ(gained % 10, 1) << "a landing scores 1 and every erased stone 10";
    score_before = form.得点;
    figures.highest_score = std::max<long long>(figures.highest_score, form.得点);

    if (!Running()) {
      ++figures.game_overs;
      ASSERT_EQ(form.終了フラグ, Form1::定数_オン);
      ASSERT_GE(form.最高得点, form.得点);
      for (int column = 1; column <= 11; ++column) {
        for (int row = 1; row <= 16; ++row) {
          ASSERT_EQ(N(board[column][row]), 0U) << "the slide left something behind";
        }
      }
      return;
    }

    for (int column = 1; column <= 11; ++column) {
      for (int row = 1; row <= 16; ++row) {
        ASSERT_TRUE(IsStoneOrEmpty(board[column][row]))
            << "column " << column << " row " << row << " holds code " << N(board[column][row]);
      }
    }
    for (int column = 1; column <= 11; ++column) {
      if (column >= 5 && column <= 7) {
        ASSERT_EQ(N(board[column][1]), N(form.次石[static_cast<std::size_t>(column - 5)]));
      } else {
        ASSERT_EQ(N(board[column][1]), N(U' ')) << "row 1 beside the entry, column " << column;
      }
    }

    // A column that lost stones was dropped, and a dropped column has no
    // stone left hanging over an empty cell.
    for (int column = 1; column <= 11; ++column) {
      if (StonesInColumn(board, column) >= StonesInColumn(before, column) + added[column]) {
        continue;
      }
      for (int row = 3; row <= 16; ++row) {
        ASSERT_FALSE(board[column][row] == U' ' && board[column][row - 1] != U' ')
            << "column " << column << " was dropped but row " << row - 1 << " hangs";
      }
    }

    ASSERT_LT(LargestGroup(board), 3) << "a group of three or more survived the chain";

    // The trio just spawned is the one that was waiting, at the top.
    ASSERT_EQ(form.落下石_向き, Form1::向き_横);
    std::u32string falling;
    for (std::size_t i = 1; i <= 3; ++i) {
      ASSERT_EQ(form.落下石_列[i], 4 + static_cast<int>(i));
      ASSERT_EQ(form.落下石_行[i], 2);
      falling += form.落下石_駒[i];
    }
    if (next_before == U"爆爆爆" && falling == U"発発発") {
      // A bomb trio that found its entry blocked blew up where it waited.
    } else {
      ASSERT_EQ(Utf8(falling), Utf8(next_before));
    }

    struct Step {
      int above, interval, level;
    };
    constexpr Step kLevels[] = {{50, 1, 1},  {40, 10, 2}, {30, 25, 3},
                                {20, 35, 4}, {10, 50, 5}, {0, 60, 6}};
    for (const Step& step : kLevels) {
      if (form.出現_回数 > step.above) {
        ASSERT_EQ(form.落下_基本間隔, step.interval) << form.出現_回数 << " trios";
        ASSERT_EQ(form.レベル, step.level) << form.出現_回数 << " trios";
        break;
      }
    }
    ASSERT_EQ(form.落下_間隔, form.落下_基本間隔);
  }

  void Tick() {
    const Board before = form.盤;
    const std::u32string next_before = form.次石;
    const 符号 kind = form.落下石_駒[1];
    const std::size_t heard_before = session.sound().heard.size();
    std::array<int, 12> added{};
    for (std::size_t i = 1; i <= 3; ++i) {
      const int column = form.落下石_列[i];
      const int row = form.落下石_行[i];
      if (column >= 1 && column <= 11 && row >= 2 && row <= 16 && before[column][row] == U' ') {
        ++added[static_cast<std::size_t>(column)];
      }
    }
    const bool landed = session.Tick();
    const auto& heard = session.sound().heard;
    figures.erasures += std::count(heard.begin() + static_cast<std::ptrdiff_t>(heard_before),
                                   heard.end(), form.音_石消去);
    if (!landed) return;
    figures.bomb_landings += kind == U'爆';
    figures.star_landings += kind == U'星';
    figures.most_trios = std::max(figures.most_trios, form.出現_回数);
    CheckLanding(before, added, next_before);
  }
};

TEST_F(Soak, RandomPlayKeepsTheRules) {
  const long long ticks = FromEnvironment("ZONBELI_SOAK_TICKS", 20'000);
  const auto seed = static_cast<unsigned>(FromEnvironment("ZONBELI_SOAK_SEED", 20'260'611));
  RandomPlayer player(seed);
  session.Execute([] {
    Command clock = Make(Op::kClock);
    clock.seconds = 45296.73;
    return clock;
  }());

  // The player steers each trio towards a column of its choosing, so that
  // the well fills evenly and games last long enough to reach the fast
  // levels, and mixes in every other kind of input.
  int target = 6;
  long long landings_seen = 0;
  while (session.ticks() < ticks && !HasFatalFailure()) {
    if (!Running()) {
      // A few frames of the blink, then a new game.
      for (int n = player.Below(4); n > 0 && session.ticks() < ticks; --n) Tick();
      StartGame();
      continue;
    }
    if (figures.landings != landings_seen) {
      landings_seen = figures.landings;
      target = 1 + player.Below(11);
    }
    const int choice = player.Below(1000);
    if (choice < 550) {
      for (int n = 1 + player.Below(20); n > 0 && session.ticks() < ticks && Running(); --n) {
        Tick();
        if (HasFatalFailure()) return;
      }
    } else if (choice < 700) {
      const int pivot = form.落下石_列[2];
      session.Execute(Make(Op::kKey, pivot < target ? 39 : pivot > target ? 37 : 40));
    } else if (choice < 760) {
      session.Execute(Make(Op::kKey, 40));
    } else if (choice < 810) {
      session.Execute(Make(Op::kKeyUp, 37 + player.Below(4)));
    } else if (choice < 860) {
      session.Execute(Make(Op::kKey, 37));
    } else if (choice < 910) {
      session.Execute(Make(Op::kKey, 39));
    } else if (choice < 980) {
      session.Execute(Make(Op::kKey, 38));
    } else if (choice < 986) {
      int key = player.Below(256);
      if (key == 27) key = 65;
      session.Execute(Make(Op::kKey, key));
    } else if (choice < 990) {
      session.Execute(Make(Op::kClick));
    } else if (choice < 993) {
      StartGame();
    } else if (choice < 996) {
      session.Execute(Make(Op::kMenu, 0, "BGM"));
    } else {
      session.Execute(Make(Op::kMenu, 0, "その他"));
      session.window().messages.clear();
    }
    CheckTrio();
  }

  std::cout << "soak: seed " << seed << ", " << session.ticks() << " ticks, " << figures.games
            << " games, " << figures.game_overs << " game overs, " << figures.landings
            << " landings (" << figures.bomb_landings << " bomb trios, " << figures.star_landings
            << " star trios), " << figures.erasures << " erasure passes, longest game "
            << figures.most_trios << " trios, highest score " << figures.highest_score << "\n";
  RecordProperty("ticks", std::to_string(session.ticks()));
  RecordProperty("games", std::to_string(figures.games));
  RecordProperty("landings", std::to_string(figures.landings));
  EXPECT_GE(session.ticks(), ticks);
  EXPECT_GT(figures.landings, 0);
}

}  // namespace
}  // namespace zonbeli::scenario
