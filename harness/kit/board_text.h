// SPDX-License-Identifier: MIT
// Boards as text: one row a line, a character a cell, "." for an empty cell
// and "?" for one never assigned.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "form1.h"

namespace zonbeli {

// Decodes UTF-8; false on a malformed sequence.
bool DecodeUtf8(std::string_view text, std::u32string& out);

// The code a board character stands for; false for a character that is not
// a cell code.
bool CellOfChar(char32_t ch, 符号& code);
char32_t CharOfCell(符号 code);

// Sets columns 1 to 11 of one row of `board` from 11 cell characters.
// Returns an empty string, or what is wrong with the text ("has 10 cells,
// not 11").
std::string ReadRow(std::string_view text, decltype(Form1::盤)& board, int row);
// The same layout read back from the board.
std::vector<std::string> BoardRows(const Form1& form);
// Convenience for tests: rows 1..16 given bottom-aligned; missing top rows
// are empty and row 1 holds nothing.
void SetPlayfield(Form1& form, const std::vector<std::string>& bottom_rows);

}  // namespace zonbeli
