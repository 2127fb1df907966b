// Code 39 barcodes drawn as black bars: the sample card carries its
// holder's number in a symbol any handheld scanner reads.
#pragma once

#include <windows.h>

#include <cstddef>

namespace cardprint {

struct Bar {
  LONG left;  // from the start of the symbol
  LONG width;
};

// The bars of `text` framed by the start and stop character '*': five bars
// per character, narrow and wide elements of the given widths, characters
// parted by one narrow gap.  Returns the number of bars, or 0 when the text
// holds a character Code 39 does not have (lower case included) or the bars
// do not fit in `capacity`.  `width` receives the symbol's whole width.
size_t code39Bars(const char *text, LONG narrow, LONG wide, Bar *bars, size_t capacity, LONG &width);

}  // namespace cardprint
