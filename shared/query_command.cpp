#include "shared/query_command.h"

#include <cstring>

namespace card {

bool encodeQueryCommand(const char *command, size_t length, WCHAR *name, size_t capacity) {
  if (!name || capacity == 0) return false;
  std::memset(name, 0, capacity * sizeof(WCHAR));
  if (!command || queryNameUnits(length) > capacity || std::memchr(command, 0, length)) return false;
  auto *bytes = reinterpret_cast<unsigned char *>(name);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<unsigned char>(command[i]);
  return true;
}

size_t decodeQueryCommand(LPCWSTR name, size_t maxUnits, char *out, size_t capacity) {
  if (!name || !out) return 0;
  size_t n = 0;
  for (size_t u = 0; u < maxUnits; ++u) {
    unsigned v = unsigned(name[u]) & 0xFFFF;
    unsigned char lo = static_cast<unsigned char>(v & 0xFF), hi = static_cast<unsigned char>(v >> 8);
    if (!lo || n >= capacity) break;
    out[n++] = char(lo);
    if (!hi || n >= capacity) break;
    out[n++] = char(hi);
  }
  return n;
}

}  // namespace card
