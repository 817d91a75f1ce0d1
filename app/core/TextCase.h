// Letter case of UTF-8 text: ASCII, Latin-1, Latin Extended-A, Greek and
// Cyrillic letters map one to one between their cases; every other character
// and every byte that is not valid UTF-8 is kept as it is, so a conversion
// never damages a name. The tables are the program's own, so results do not
// depend on which locales a machine has installed.
#pragma once

#include "platform/CodePage.h"

#include <string>
#include <string_view>

namespace vz {

constexpr char32_t LowerChar(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c + 32;
  if (c < 0xC0) return c;
  if (c <= 0xDE) return c == 0xD7 ? c : c + 32;  // not the multiplication sign
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x130) return U'i';
    if (c == 0x178) return 0xFF;
    const bool evenUpper = (c < 0x138) || (c >= 0x14A && c <= 0x177);
    const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (evenUpper && c != 0x131 && c % 2 == 0) return c + 1;
    if (oddUpper && c % 2 == 1) return c + 1;
    return c;
  }
  if (c == 0x386) return 0x3AC;
  if (c >= 0x388 && c <= 0x38A) return c + 37;
  if (c == 0x38C) return 0x3CC;
  if (c == 0x38E || c == 0x38F) return c + 63;
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  return c;
}

constexpr char32_t UpperChar(char32_t c) {
  if (c >= U'a' && c <= U'z') return c - 32;
  if (c < 0xE0) return c;
  if (c <= 0xFE) return c == 0xF7 ? c : c - 32;  // not the division sign
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x131) return U'I';
    if (c == 0x17F) return U'S';
    const bool oddLower = (c <= 0x137 && c != 0x130) || (c >= 0x14B && c <= 0x177);
    const bool evenLower = (c >= 0x13A && c <= 0x148) || (c >= 0x17A && c <= 0x17E);
    if (oddLower && c % 2 == 1) return c - 1;
    if (evenLower && c % 2 == 0) return c - 1;
    return c;
  }
  if (c == 0x3AC) return 0x386;
  if (c >= 0x3AD && c <= 0x3AF) return c - 37;
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return c - 63;
  if (c == 0x3C2) return 0x3A3;  // final sigma
  if (c >= 0x3B1 && c <= 0x3CB) return c - 32;
  if (c >= 0x430 && c <= 0x44F) return c - 32;
  if (c >= 0x450 && c <= 0x45F) return c - 80;
  return c;
}

static_assert(LowerChar(U'Q') == U'q' && UpperChar(U'q') == U'Q');
static_assert(LowerChar(0xC9) == 0xE9 && UpperChar(0xE9) == 0xC9);      // É é
static_assert(LowerChar(0xD7) == 0xD7 && UpperChar(0xF7) == 0xF7);      // × ÷
static_assert(UpperChar(0xDF) == 0xDF);                                 // ß has no single upper
static_assert(UpperChar(0xFF) == 0x178 && LowerChar(0x178) == 0xFF);    // ÿ Ÿ
static_assert(LowerChar(0x141) == 0x142 && UpperChar(0x142) == 0x141);  // Ł ł
static_assert(LowerChar(0x160) == 0x161 && UpperChar(0x161) == 0x160);  // Š š
static_assert(LowerChar(0x17D) == 0x17E && UpperChar(0x17E) == 0x17D);  // Ž ž
static_assert(LowerChar(0x3A3) == 0x3C3 && UpperChar(0x3C2) == 0x3A3);  // Σ σ ς
static_assert(LowerChar(0x416) == 0x436 && UpperChar(0x451) == 0x401);  // Ж ж ё Ё
static_assert(LowerChar(0x138) == 0x138 && UpperChar(0x138) == 0x138);  // ĸ

std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
// Equal when lower-cased.
bool SameText(std::string_view a, std::string_view b);

// The number of characters (a malformed byte counts as one).
std::size_t Utf8Length(std::string_view text);

}  // namespace vz
