#include "config/windows_version.h"

#include <windows.h>

#include <cstring>

namespace card::cfg {

namespace {

bool currentVersion(char *out, size_t capacity) {
  out[0] = 0;
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"), 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return false;
  WCHAR text[32] = {};
  DWORD type = 0, size = sizeof text - sizeof(WCHAR);
  LONG st = RegQueryValueExW(key, TEXT("CurrentVersion"), nullptr, &type, reinterpret_cast<BYTE *>(text), &size);
  RegCloseKey(key);
  if (st != ERROR_SUCCESS || type != REG_SZ) return false;
  size_t i = 0;
  for (; text[i] && i + 1 < capacity; ++i) out[i] = char(text[i]);
  out[i] = 0;
  return true;
}

}  // namespace

bool windowsSixOrLater() {
  char v[32];
  if (!currentVersion(v, sizeof v)) return false;
  int major = 0;
  for (const char *p = v; *p >= '0' && *p <= '9'; ++p) major = major * 10 + (*p - '0');
  return major >= 6;
}

bool windowsVersionIs(const char *prefix) {
  char v[32];
  return currentVersion(v, sizeof v) && std::strncmp(v, prefix, std::strlen(prefix)) == 0;
}

}  // namespace card::cfg
