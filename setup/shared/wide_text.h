// The glue's text: the system's wide strings, and the core's UTF-16 views of
// them.  In the Windows build WCHAR is a type apart from the core's UTF-16
// unit, though of the same size, so the text is copied across, not cast.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "shared/wide_string.h"

namespace card::setup {

using card::WString;  // for the programs that use this namespace

inline std::u16string u16(const WCHAR *text) {
  std::u16string out;
  if (text)
    for (; *text; ++text) out += char16_t(*text);
  return out;
}

inline WString wide(std::u16string_view text) {
  WString out;
  out.reserve(text.size());
  for (char16_t c : text) out += WCHAR(c);
  return out;
}

// "<folder>\<name>"; `name` may be empty (the folder itself) or begin with
// its own backslash.
inline WString joinPath(const WString &folder, std::u16string_view name) {
  WString path = folder;
  if (!name.empty() && name.front() != u'\\' && !path.empty() && path.back() != WCHAR('\\')) path += WCHAR('\\');
  return path + wide(name);
}

// The same for a name of the system's own text.
inline WString joinPath(const WString &folder, LPCWSTR name) { return joinPath(folder, u16(name)); }

}  // namespace card::setup
