// Text of the ANSI forms: arguments in the system code page turned into the
// UTF-16 the wide calls take, and answers turned back.  Every DLL folder
// with ANSI forms uses these, so that all of them convert alike.
#pragma once

#include <string>

#include "core/internal.h"

namespace winsim {

// UTF-16 of a code-page string; empty for NULL.
inline std::u16string fromAnsi(LPCSTR text) {
  if (!text) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (n <= 0) return {};
  std::u16string out(size_t(n), u'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, reinterpret_cast<LPWSTR>(out.data()), n);
  out.pop_back();  // the terminator
  return out;
}

// `length` UTF-16 units in the code page.
inline std::string ansiOf(const char16_t *text, size_t length) {
  if (length == 0) return std::string();
  int n = WideCharToMultiByte(CP_ACP, 0, text, int(length), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, text, int(length), out.data(), n, nullptr, nullptr);
  return out;
}

// The wide form of an ANSI argument, kept for the length of a call; get()
// is NULL for a NULL argument.
struct WideArg {
  explicit WideArg(LPCSTR s) : text(fromAnsi(s)), present(s != nullptr) {}
  LPWSTR get() { return present ? reinterpret_cast<LPWSTR>(text.data()) : nullptr; }
  std::u16string text;
  bool present;
};

}  // namespace winsim
