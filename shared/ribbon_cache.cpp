#include "shared/ribbon_cache.h"

#include <cstdio>
#include <cstring>

namespace card {

size_t formatRibbonCache(long ribbonCode, const char *model, char *out, size_t capacity) {
  char text[32] = {};
  if (model) std::strncpy(text, model, sizeof text - 1);
  char buf[64];
  int n = std::snprintf(buf, sizeof buf, "Ribbon=%ld\rModel=%s\r", ribbonCode, text);
  if (n <= 0 || !out || size_t(n) > capacity) return 0;
  std::memcpy(out, buf, size_t(n));
  return size_t(n);
}

bool ribbonWithoutCount(long c) { return c == 0 || c == 1 || (c >= 7 && c <= 13) || (c >= 18 && c <= 21); }

bool lowRibbonAlert(long remaining) { return remaining == 20 || remaining == 10 || remaining == 5; }

}  // namespace card
