// How the Wine check programs report: one line per check ("ok" or "FAIL"
// with what was found), notes for the differences of the system at hand that
// a check works around, and the counts at the end.
#pragma once

#include <cstdarg>
#include <cstdio>

namespace winecheck {

inline int g_passed = 0;
inline int g_failed = 0;

inline bool check(bool ok, const char *what, const char *detailFormat = nullptr, ...) {
  if (ok) {
    ++g_passed;
    std::printf("ok   %s\n", what);
    return true;
  }
  ++g_failed;
  std::printf("FAIL %s", what);
  if (detailFormat) {
    std::printf(": ");
    va_list args;
    va_start(args, detailFormat);
    std::vprintf(detailFormat, args);
    va_end(args);
  }
  std::printf("\n");
  return false;
}

inline bool checkEq(long long got, long long want, const char *what) {
  return check(got == want, what, "got %lld, want %lld", got, want);
}

// A difference of the system at hand from Windows that the check works
// around; reported, not counted.
inline void note(const char *text) { std::printf("note %s\n", text); }

// "N passed, N failed", and the program's exit status: 0 when something
// passed and nothing failed.
inline int finish() {
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 && g_passed > 0 ? 0 : 1;
}

}  // namespace winecheck
