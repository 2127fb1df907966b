// wsprintf, which Windows exports from user32: the C runtime's formatting
// rules, output cut at 1,024 characters with the terminator.
#include <cstring>
#include <string>

#include <windows.h>

#include "kernel32/format.h"

using winsim::formatString;

extern "C" {

// wsprintf writes at most 1024 characters, as user32 documents.
int WINAPI wvsprintfW(LPWSTR out, LPCWSTR fmt, va_list args) {
  if (!out || !fmt) return 0;
  std::u16string s = formatString(fmt, args);
  if (s.size() > 1023) s.resize(1023);
  std::copy(s.begin(), s.end(), out);
  out[s.size()] = 0;
  return int(s.size());
}
int WINAPIV wsprintfW(LPWSTR out, LPCWSTR fmt, ...) {
  va_list a;
  va_start(a, fmt);
  int n = wvsprintfW(out, fmt, a);
  va_end(a);
  return n;
}
int WINAPIV wsprintfA(LPSTR out, LPCSTR fmt, ...) {
  if (!out || !fmt) return 0;
  va_list a;
  va_start(a, fmt);
  std::string s = formatString(fmt, a);
  va_end(a);
  if (s.size() > 1023) s.resize(1023);
  std::memcpy(out, s.c_str(), s.size() + 1);
  return int(s.size());
}

}  // extern "C"
