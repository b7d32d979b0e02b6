// SPDX-License-Identifier: MIT
// The game object itself and the small text helpers every family shares.
#include <cstdio>

#include "form1.h"

namespace zonbeli {

Form1::Form1(WindowServices& window, SoundLibrary& sound) : 窓(window), 音(sound) {}

std::string Form1::ラベル文字(組ラベル label) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d%02d", ラベル_列(label) % 100, ラベル_行(label));
  return text;
}

std::string Utf8(char32_t code) {
  std::string out;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
  return out;
}

std::string Utf8(std::u32string_view codes) {
  std::string out;
  for (char32_t code : codes) out += Utf8(code);
  return out;
}

const char* PictureName(Picture p) {
  static constexpr const char* kNames[] = {
      "HU",          "KYOU",      "KEI",    "GIN",      "KIN",    "KAKU",   "HISYA",   "OH",
      "HAIKEI",      "BAKUDAN",   "HOSI",   "BAKUHATU", "PA",     "PA2",    "WAKU_UE", "WAKU_SITA",
      "WAKU_HIDARI", "WAKU_MIGI", "SUUJI0", "SUUJI1",   "SUUJI2", "SUUJI3", "SUUJI4",  "SUUJI5",
      "SUUJI6",      "SUUJI7",    "SUUJI8", "SUUJI9",   "BOMB",   "STAR",   "HB_DEL",  "RABELU"};
  static_assert(std::size(kNames) == static_cast<std::size_t>(Picture::Count));
  return kNames[static_cast<int>(p)];
}

}  // namespace zonbeli
