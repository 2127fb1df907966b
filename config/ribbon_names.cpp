#include "config/ribbon_names.h"

#include <windows.h>
#include <winspool.h>

#include <cstdio>

namespace card::cfg {

namespace {

constexpr DWORD kRibbonNameBytes = 32;  // 31 characters and the end

}  // namespace

std::string ribbonNameFromTable(const std::string &key, const char *fallback) {
  char dir[MAX_PATH] = {};
  DWORD needed = 0;
  if (!GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(dir), sizeof dir, &needed))
    return fallback;
  char path[MAX_PATH + 32];
  if (std::snprintf(path, sizeof path, "%s\\3\\cardribbon.INI", dir) >= int(sizeof path)) return fallback;
  char name[kRibbonNameBytes] = {};
  GetPrivateProfileStringA("Ribbon Type", key.c_str(), fallback, name, kRibbonNameBytes, path);
  return name;
}

}  // namespace card::cfg
