#include "tools/cardprint/barcode.h"

#include <cstring>

namespace cardprint {

namespace {

// Each character is nine elements, bar and gap in turn starting with a bar;
// a set bit (most significant first) marks a wide element.  Three of the nine
// are always wide, which is what gives the symbology its name.
struct Symbol {
  char c;
  unsigned short wide;
};

const Symbol kSymbols[] = {
    {'0', 0x034}, {'1', 0x121}, {'2', 0x061}, {'3', 0x160}, {'4', 0x031}, {'5', 0x130}, {'6', 0x070}, {'7', 0x025},
    {'8', 0x124}, {'9', 0x064}, {'A', 0x109}, {'B', 0x049}, {'C', 0x148}, {'D', 0x019}, {'E', 0x118}, {'F', 0x058},
    {'G', 0x00D}, {'H', 0x10C}, {'I', 0x04C}, {'J', 0x01C}, {'K', 0x103}, {'L', 0x043}, {'M', 0x142}, {'N', 0x013},
    {'O', 0x112}, {'P', 0x052}, {'Q', 0x007}, {'R', 0x106}, {'S', 0x046}, {'T', 0x016}, {'U', 0x181}, {'V', 0x0C1},
    {'W', 0x1C0}, {'X', 0x091}, {'Y', 0x190}, {'Z', 0x0D0}, {'-', 0x085}, {'.', 0x184}, {' ', 0x0C4}, {'$', 0x0A8},
    {'/', 0x0A2}, {'+', 0x08A}, {'%', 0x02A}, {'*', 0x094},
};

bool patternOf(char c, unsigned &wide) {
  for (const Symbol &s : kSymbols)
    if (s.c == c) {
      wide = s.wide;
      return true;
    }
  return false;
}

}  // namespace

size_t code39Bars(const char *text, LONG narrow, LONG wide, Bar *bars, size_t capacity, LONG &width) {
  width = 0;
  if (!text) return 0;
  const size_t length = std::strlen(text);
  for (size_t i = 0; i < length; ++i) {
    unsigned w;
    // '*' only frames the symbol; inside the data it would end it early.
    if (text[i] == '*' || !patternOf(text[i], w)) return 0;
  }
  if ((length + 2) * 5 > capacity) return 0;
  size_t count = 0;
  LONG x = 0;
  for (size_t i = 0; i < length + 2; ++i) {
    const char c = (i == 0 || i == length + 1) ? '*' : text[i - 1];
    unsigned pattern = 0;
    patternOf(c, pattern);
    if (i) x += narrow;  // gap between characters
    for (int e = 0; e < 9; ++e) {
      const LONG w = (pattern >> (8 - e)) & 1 ? wide : narrow;
      if (e % 2 == 0) bars[count++] = Bar{x, w};
      x += w;
    }
  }
  width = x;
  return count;
}

}  // namespace cardprint
