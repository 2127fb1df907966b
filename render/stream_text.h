// What the files of the job stream share: command texts and the reading of
// the command slots the page captured.  Pure text, no Windows calls.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

#include "shared/status_commands.h"

namespace card::stream_text {

using status::kCmdEject;
using status::kCmdFlip;
inline constexpr char kNoPanel[] =
    "\x1b"
    "F\r\x1b!FF 1\r";
inline constexpr char kIS012[] = "\x1bIS 0\r\x1bIS 1\r\x1bIS 2\r";

inline std::string fmt(const char *f, long v) {
  char b[64];
  std::snprintf(b, sizeof b, f, v);
  return b;
}

// A captured command slot may hold anything the page drew; it is read up to
// its terminator or its bound, whichever comes first.
template <size_t N>
std::string slot(const char (&s)[N]) {
  return std::string(s, strnlen(s, N));
}

template <size_t N>
void clearSlot(char (&s)[N]) {
  std::memset(s, 0, N);
}

}  // namespace card::stream_text
