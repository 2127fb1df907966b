// The glue's text: the system's wide strings, and the core's UTF-16 views of
// them.  On Windows WCHAR is wchar_t, a type apart from char16_t of the same
// size, so the text is copied across rather than cast.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace card::setup {

using WideString = std::basic_string<WCHAR>;

inline std::u16string u16(const WCHAR *text) {
  std::u16string out;
  if (text)
    for (; *text; ++text) out += char16_t(*text);
  return out;
}

inline WideString wide(std::u16string_view text) {
  WideString out;
  out.reserve(text.size());
  for (char16_t c : text) out += WCHAR(c);
  return out;
}

// "<folder>\<name>"; `name` may be empty (the folder itself) or begin with
// its own backslash.
inline WideString joinPath(const WideString &folder, std::u16string_view name) {
  WideString path = folder;
  if (!name.empty() && name.front() != u'\\' && !path.empty() && path.back() != WCHAR('\\')) path += WCHAR('\\');
  return path + wide(name);
}

// The same for a name of the system's own text.
inline WideString joinPath(const WideString &folder, LPCWSTR name) { return joinPath(folder, u16(name)); }

}  // namespace card::setup
