#include "render/replies.h"

#include <cstring>

#include "shared/status_protocol.h"

namespace card {

namespace {

const char *findKey(const char *text, size_t size, const char *key) {
  size_t k = std::strlen(key);
  for (size_t i = 0; i + k <= size; ++i)
    if (std::memcmp(text + i, key, k) == 0) return text + i + k;
  return nullptr;
}

// A signed decimal number read the way printer replies are read: blanks, a
// sign, digits; anything else ends it; out-of-range values saturate.
long readDecimal(const char *p, size_t max) {
  return card::status::readValueNumber(reinterpret_cast<const uint8_t *>(p), max).value;
}

}  // namespace

void parseRibbonCache(const char *text, size_t size, PrinterAnswer &answer) {
  if (!text) return;
  if (const char *r = findKey(text, size, "Ribbon=")) {
    size_t avail = size_t(text + size - r), n = 0;
    while (n < avail && n < 12 && r[n] != '\r') ++n;
    answer.ribbonCode = readDecimal(r, n);
  }
  if (const char *m = findKey(text, size, "Model=")) {
    size_t avail = size_t(text + size - m), n = 0;
    if (avail && m[0] == '\r') return;  // "Model=" with nothing behind it
    while (n < avail && n < 31 && m[n] != '\r' && m[n] != 0) ++n;
    std::memset(answer.model, 0, sizeof answer.model);
    std::memcpy(answer.model, m, n);
  }
}

bool modelFromReply(const BYTE *reply, DWORD length, char (&model)[32]) {
  std::memset(model, 0, sizeof model);
  if (!reply || length == 0 || reply[length - 1] != kAck) return false;
  DWORD n = length - 1;
  if (n > 31) n = 31;
  for (DWORD i = 0; i < n && reply[i]; ++i) model[i] = char(reply[i]);
  return true;
}

long ribbonCodeFromReply(const BYTE *reply, DWORD length) {
  if (!reply || length == 0 || reply[length - 1] != kAck) return 0;
  DWORD n = length - 1;
  // A blank before the acknowledgement goes too, except in a two-byte reply.
  if (length != 2 && n > 0 && reply[n - 1] == ' ') --n;
  return readDecimal(reinterpret_cast<const char *>(reply), n);
}

}  // namespace card
