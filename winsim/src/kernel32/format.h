// printf-style formatting with the Windows C runtime's rules, shared by
// strsafe.h's functions and wsprintf.
#pragma once

#include <cstdarg>
#include <string>

namespace winsim {

// Formats `fmt` with the Windows rules: `long` is 32 bits; in the wide
// version %s is a wide string and %S an 8-bit one (the other way round in the
// 8-bit version); %c likewise; I64 and I32 length prefixes.
template <typename Ch>
std::basic_string<Ch> formatString(const Ch *fmt, va_list args);

extern template std::basic_string<char> formatString(const char *, va_list);
extern template std::basic_string<char16_t> formatString(const char16_t *, va_list);

}  // namespace winsim
