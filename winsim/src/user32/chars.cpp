// Case mapping of characters and strings, which Windows exports from user32.
#include <windows.h>

#include "core/internal.h"

using namespace winsim;

extern "C" {

LPWSTR WINAPI CharUpperW(LPWSTR s) {
  if (IS_INTRESOURCE(s)) return (LPWSTR)(ULONG_PTR)upperChar(char16_t((ULONG_PTR)s));
  for (LPWSTR p = s; *p; ++p) *p = upperChar(*p);
  return s;
}
LPWSTR WINAPI CharLowerW(LPWSTR s) {
  if (IS_INTRESOURCE(s)) return (LPWSTR)(ULONG_PTR)lowerChar(char16_t((ULONG_PTR)s));
  for (LPWSTR p = s; *p; ++p) *p = lowerChar(*p);
  return s;
}
DWORD WINAPI CharUpperBuffW(LPWSTR s, DWORD len) {
  if (!s) return 0;
  for (DWORD i = 0; i < len; ++i) s[i] = upperChar(s[i]);
  return len;
}
DWORD WINAPI CharLowerBuffW(LPWSTR s, DWORD len) {
  if (!s) return 0;
  for (DWORD i = 0; i < len; ++i) s[i] = lowerChar(s[i]);
  return len;
}

}  // extern "C"
