// What the Wine check programs share besides their report: text from the
// build's UTF-8 paths, a host path as Wine names it, and whether the program
// runs under Wine at all.
#pragma once

#include <windows.h>

#include <string>

namespace winecheck {

using WString = std::basic_string<WCHAR>;

inline WString widen(const char *text) {
  WCHAR out[MAX_PATH * 2];
  int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, out, int(sizeof out / sizeof out[0]));
  return n > 0 ? WString(out) : WString();
}

// A host path of the build ("/work/...") as Wine sees it: its root is drive
// Z:.  A path with a drive letter is taken as it is.
inline WString windowsPath(const char *path) {
  WString w = widen(path);
  for (WCHAR &c : w)
    if (c == '/') c = '\\';
  if (!w.empty() && w[0] == '\\') w = TEXT("Z:") + w;
  return w;
}

// Wine's ntdll names its version; Windows' does not.
inline bool underWine() {
  HMODULE ntdll = GetModuleHandleW(TEXT("ntdll.dll"));
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

}  // namespace winecheck
