// SPDX-License-Identifier: MIT
// The grouping rule written out afresh, for checking the game against:
// each kind's moves facing up the well, and same-kind stones joined by
// attacks either way.
#pragma once

#include <map>
#include <set>
#include <utility>
#include <vector>

#include "form1.h"

namespace zonbeli {

using Cell = std::pair<int, int>;  // column, row
using Cells = std::set<Cell>;
using Grid = decltype(Form1::盤);

// The playfield cells the stone at (column, row) attacks.
std::vector<Cell> AttackedFrom(const Grid& board, int column, int row);

// Each stone's component, named by its lowest cell index, and their sizes.
struct Components {
  std::map<Cell, int> of;
  std::map<int, int> size;
  Cells in_threes;  // the stones of components of three or more
};

Components Group(const Grid& board);

}  // namespace zonbeli
