// SPDX-License-Identifier: MIT
#include "board_text.h"

#include <stdexcept>

namespace zonbeli {

bool DecodeUtf8(std::string_view text, std::u32string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    int extra = 0;
    char32_t code = 0;
    if (byte < 0x80) {
      code = byte;
    } else if ((byte & 0xE0) == 0xC0) {
      extra = 1;
      code = byte & 0x1F;
    } else if ((byte & 0xF0) == 0xE0) {
      extra = 2;
      code = byte & 0x0F;
    } else if ((byte & 0xF8) == 0xF0) {
      extra = 3;
      code = byte & 0x07;
    } else {
      return false;
    }
    if (i + static_cast<std::size_t>(extra) >= text.size() && extra > 0) return false;
    for (int k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    out += code;
    i += static_cast<std::size_t>(extra) + 1;
  }
  return true;
}

bool CellOfChar(char32_t ch, 符号& code) {
  if (ch == U'.' || ch == U'?') {
    code = ch == U'.' ? U' ' : 0;
    return true;
  }
  code = ch;
  return std::u32string_view(U"歩香桂銀金角飛王爆星発").find(ch) != std::u32string_view::npos;
}

char32_t CharOfCell(符号 code) {
  if (code == U' ') return U'.';
  if (code == 0) return U'?';
  return code;
}

std::string ReadRow(std::string_view text, decltype(Form1::盤)& board, int row) {
  std::u32string cells;
  if (!DecodeUtf8(text, cells)) return "is not valid UTF-8";
  if (cells.size() != Form1::盤_列数) {
    return "has " + std::to_string(cells.size()) + " cells, not " + std::to_string(Form1::盤_列数);
  }
  for (int column = 1; column <= Form1::盤_列数; ++column) {
    if (!CellOfChar(cells[static_cast<std::size_t>(column - 1)], board[column][row])) {
      return "column " + std::to_string(column) + " is not a cell character";
    }
  }
  return "";
}

std::vector<std::string> BoardRows(const Form1& form) {
  std::vector<std::string> rows;
  for (int row = 1; row <= 16; ++row) {
    std::u32string cells;
    for (int column = 1; column <= Form1::盤_列数; ++column) {
      cells += CharOfCell(form.盤[column][row]);
    }
    rows.push_back(Utf8(cells));
  }
  return rows;
}

void SetPlayfield(Form1& form, const std::vector<std::string>& bottom_rows) {
  std::vector<std::string> rows(16 - bottom_rows.size(), "...........");
  rows.insert(rows.end(), bottom_rows.begin(), bottom_rows.end());
  for (int row = 1; row <= 16; ++row) {
    const std::string error = ReadRow(rows[static_cast<std::size_t>(row - 1)], form.盤, row);
    if (!error.empty()) throw std::invalid_argument("row " + std::to_string(row) + " " + error);
  }
}

}  // namespace zonbeli
