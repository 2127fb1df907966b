// Laying out the answers of winspool's Get and Enum calls, and the text and
// DEVMODE conversions of their ANSI forms.
#include "winspool/records.h"

#include <cstring>

#include "core/internal.h"

namespace winsim::spool {

namespace {

constexpr size_t kAlign = sizeof(void *);
size_t aligned(size_t n) { return (n + kAlign - 1) & ~(kAlign - 1); }

// Converts a fixed-size name field, cut to fit as Windows cuts it.
void nameToAnsi(const WCHAR *from, BYTE *to, int size) {
  WCHAR copy[CCHDEVICENAME + 1] = {};
  std::memcpy(copy, from, sizeof(WCHAR) * size);
  std::memset(to, 0, size);
  WideCharToMultiByte(CP_ACP, 0, copy, -1, reinterpret_cast<LPSTR>(to), size - 1, nullptr, nullptr);
}

void nameFromAnsi(const BYTE *from, WCHAR *to, int size) {
  char copy[CCHDEVICENAME + 1] = {};
  std::memcpy(copy, from, size);
  std::memset(to, 0, sizeof(WCHAR) * size);
  MultiByteToWideChar(CP_ACP, 0, copy, -1, to, size - 1);
}

}  // namespace

BOOL emitRecords(const std::vector<Record> &records, size_t fixedSize, LPBYTE out, DWORD cb, LPDWORD needed,
                 LPDWORD returned) {
  if (returned) *returned = 0;
  size_t total = aligned(fixedSize * records.size());
  for (const auto &r : records)
    for (const auto &ref : r.refs)
      if (ref.present) total += aligned(ref.bytes.size());
  if (needed) *needed = DWORD(total);
  if (cb < total || (!out && total)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (total) std::memset(out, 0, total);
  size_t tail = aligned(fixedSize * records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    BYTE *fixed = out + i * fixedSize;
    std::memcpy(fixed, records[i].fixed.data(), std::min(fixedSize, records[i].fixed.size()));
    for (const auto &ref : records[i].refs) {
      void *p = nullptr;
      if (ref.present) {
        p = out + tail;
        if (!ref.bytes.empty()) std::memcpy(out + tail, ref.bytes.data(), ref.bytes.size());
        tail += aligned(ref.bytes.size());
      }
      std::memcpy(fixed + ref.field, &p, sizeof(p));
    }
  }
  if (returned) *returned = DWORD(records.size());
  return TRUE;
}

std::vector<BYTE> textBytes(const std::u16string &s, bool ansi) {
  if (!ansi) {
    const BYTE *b = reinterpret_cast<const BYTE *>(s.c_str());
    return std::vector<BYTE>(b, b + (s.size() + 1) * 2);
  }
  int n = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(s.c_str()), int(s.size()) + 1, nullptr, 0, nullptr,
                              nullptr);
  std::vector<BYTE> out(size_t(n > 0 ? n : 1), 0);
  if (n > 0)
    WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(s.c_str()), int(s.size()) + 1,
                        reinterpret_cast<LPSTR>(out.data()), n, nullptr, nullptr);
  return out;
}

std::vector<BYTE> multiTextBytes(const std::vector<std::u16string> &items, bool ansi) {
  std::vector<BYTE> out;
  for (const auto &item : items) {
    if (item.empty()) continue;  // an empty string would end the list
    std::vector<BYTE> b = textBytes(item, ansi);
    out.insert(out.end(), b.begin(), b.end());
  }
  out.resize(out.size() + (ansi ? 1 : 2), 0);
  // An empty list is two zeros, as Windows writes it.
  if (out.size() == (ansi ? 1u : 2u)) out.resize(ansi ? 2 : 4, 0);
  return out;
}

std::vector<std::u16string> splitMultiSz(LPCWSTR list) {
  std::vector<std::u16string> out;
  if (!list) return out;
  for (LPCWSTR p = list; *p; p += lstrlenW(p) + 1) out.emplace_back(p);
  return out;
}

std::vector<BYTE> devModeToAnsi(const DEVMODEW *dm) {
  if (!dm || dm->dmSize < offsetof(DEVMODEW, dmFields)) return {};
  const size_t wSize = std::min<size_t>(dm->dmSize, sizeof(DEVMODEW));
  const bool hasForm = wSize > offsetof(DEVMODEW, dmFormName);
  const size_t aSize = wSize - (hasForm ? 2 * CCHDEVICENAME : CCHDEVICENAME);
  std::vector<BYTE> out(aSize + dm->dmDriverExtra, 0);
  auto *a = reinterpret_cast<DEVMODEA *>(out.data());
  const BYTE *w = reinterpret_cast<const BYTE *>(dm);
  nameToAnsi(dm->dmDeviceName, a->dmDeviceName, CCHDEVICENAME);
  size_t middleEnd = hasForm ? offsetof(DEVMODEW, dmFormName) : wSize;
  std::memcpy(out.data() + offsetof(DEVMODEA, dmSpecVersion), w + offsetof(DEVMODEW, dmSpecVersion),
              middleEnd - offsetof(DEVMODEW, dmSpecVersion));
  if (hasForm) {
    nameToAnsi(dm->dmFormName, a->dmFormName, CCHFORMNAME);
    if (wSize > offsetof(DEVMODEW, dmLogPixels))
      std::memcpy(out.data() + offsetof(DEVMODEA, dmLogPixels), w + offsetof(DEVMODEW, dmLogPixels),
                  wSize - offsetof(DEVMODEW, dmLogPixels));
  }
  a->dmSize = WORD(aSize);
  std::memcpy(out.data() + aSize, w + dm->dmSize, dm->dmDriverExtra);
  return out;
}

std::vector<BYTE> devModeFromAnsi(const DEVMODEA *dm) {
  if (!dm || dm->dmSize < offsetof(DEVMODEA, dmFields)) return {};
  const size_t aSize = std::min<size_t>(dm->dmSize, sizeof(DEVMODEA));
  const bool hasForm = aSize > offsetof(DEVMODEA, dmFormName);
  const size_t wSize = aSize + (hasForm ? 2 * CCHDEVICENAME : CCHDEVICENAME);
  std::vector<BYTE> out(wSize + dm->dmDriverExtra, 0);
  auto *w = reinterpret_cast<DEVMODEW *>(out.data());
  const BYTE *a = reinterpret_cast<const BYTE *>(dm);
  nameFromAnsi(dm->dmDeviceName, w->dmDeviceName, CCHDEVICENAME);
  size_t middleEnd = hasForm ? offsetof(DEVMODEA, dmFormName) : aSize;
  std::memcpy(out.data() + offsetof(DEVMODEW, dmSpecVersion), a + offsetof(DEVMODEA, dmSpecVersion),
              middleEnd - offsetof(DEVMODEA, dmSpecVersion));
  if (hasForm) {
    nameFromAnsi(dm->dmFormName, w->dmFormName, CCHFORMNAME);
    if (aSize > offsetof(DEVMODEA, dmLogPixels))
      std::memcpy(out.data() + offsetof(DEVMODEW, dmLogPixels), a + offsetof(DEVMODEA, dmLogPixels),
                  aSize - offsetof(DEVMODEA, dmLogPixels));
  }
  w->dmSize = WORD(wSize);
  std::memcpy(out.data() + wSize, a + dm->dmSize, dm->dmDriverExtra);
  return out;
}

}  // namespace winsim::spool
