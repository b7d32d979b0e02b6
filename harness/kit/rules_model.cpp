// SPDX-License-Identifier: MIT
#include "rules_model.h"

#include <numeric>

namespace zonbeli {

// Each kind's steps, repeated over empty cells by the long pieces.
std::vector<Cell> AttackedFrom(const Grid& board, int column, int row) {
  static const std::map<符号, std::vector<Cell>> kSteps = {
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
  const auto steps = kSteps.find(kind);
  if (steps == kSteps.end()) return {};
  const bool long_range = kind == U'香' || kind == U'角' || kind == U'飛';
  std::vector<Cell> cells;
  for (const auto& [dc, dr] : steps->second) {
    for (int c = column + dc, r = row + dr; c >= 1 && c <= 11 && r >= 2 && r <= 16;
         c += dc, r += dr) {
      cells.push_back({c, r});
      if (!long_range || board[c][r] != U' ') break;
    }
  }
  return cells;
}

// Union-find over the cells.
Components Group(const Grid& board) {
  std::vector<int> parent(12 * 17);
  std::iota(parent.begin(), parent.end(), 0);
  const auto find = [&parent](int i) {
    while (parent[static_cast<std::size_t>(i)] != i) i = parent[static_cast<std::size_t>(i)];
    return i;
  };
  for (int column = 1; column <= 11; ++column) {
    for (int row = 2; row <= 16; ++row) {
      for (const auto& [c, r] : AttackedFrom(board, column, row)) {
        if (board[c][r] != board[column][row]) continue;
        const int a = find(column * 17 + row), b = find(c * 17 + r);
        parent[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
      }
    }
  }
  Components components;
  for (int column = 1; column <= 11; ++column) {
    for (int row = 2; row <= 16; ++row) {
      if (board[column][row] == U' ') continue;
      const int component = find(column * 17 + row);
      components.of[{column, row}] = component;
      ++components.size[component];
    }
  }
  for (const auto& [cell, component] : components.of) {
    if (components.size[component] >= 3) components.in_threes.insert(cell);
  }
  return components;
}

}  // namespace zonbeli
