// Wide string helpers, case mapping and code-page conversion.  The ANSI code
// page is Windows-1252, as on Western European and US installations.
#include <clocale>
#include <cwctype>

#include "core/internal.h"

using namespace winsim;

namespace {

// Windows-1252 bytes 0x80..0x9F.  The five bytes the code page leaves undefined
// map to the C1 control with the same value, as Windows does.
const char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

enum class Cp { Cp1252, Utf8, Ascii, Latin1, Invalid };

Cp codePageOf(UINT cp) {
  switch (cp) {
    case CP_ACP:
    case CP_THREAD_ACP:
    case 1252: return Cp::Cp1252;
    case CP_UTF8: return Cp::Utf8;
    case 20127: return Cp::Ascii;
    case 28591: return Cp::Latin1;
    default: return Cp::Invalid;
  }
}

int cp1252Byte(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
  for (int i = 0; i < 32; ++i)
    if (kCp1252High[i] == c) return 0x80 + i;
  return -1;
}

}  // namespace

extern "C" {

int WINAPI lstrlenW(LPCWSTR s) {
  if (!s) return 0;
  int n = 0;
  while (s[n]) ++n;
  return n;
}
int WINAPI lstrlenA(LPCSTR s) { return s ? int(std::strlen(s)) : 0; }

LPWSTR WINAPI lstrcpyW(LPWSTR d, LPCWSTR s) {
  if (!d || !s) return nullptr;
  LPWSTR r = d;
  while ((*d++ = *s++)) {
  }
  return r;
}
LPSTR WINAPI lstrcpyA(LPSTR d, LPCSTR s) { return (d && s) ? std::strcpy(d, s) : nullptr; }

LPWSTR WINAPI lstrcpynW(LPWSTR d, LPCWSTR s, int max) {
  if (!d || !s || max <= 0) return d;
  int i = 0;
  for (; i < max - 1 && s[i]; ++i) d[i] = s[i];
  d[i] = 0;
  return d;
}
LPSTR WINAPI lstrcpynA(LPSTR d, LPCSTR s, int max) {
  if (!d || !s || max <= 0) return d;
  int i = 0;
  for (; i < max - 1 && s[i]; ++i) d[i] = s[i];
  d[i] = 0;
  return d;
}

LPWSTR WINAPI lstrcatW(LPWSTR d, LPCWSTR s) {
  if (!d || !s) return nullptr;
  lstrcpyW(d + lstrlenW(d), s);
  return d;
}
LPSTR WINAPI lstrcatA(LPSTR d, LPCSTR s) { return (d && s) ? std::strcat(d, s) : nullptr; }

}  // extern "C"

namespace {

// lstrcmp sorts as words are sorted, not by character codes: by the letters
// regardless of case first ("apple" before "Banana"); only texts that differ
// in case alone are ordered by case, small letters first.
int wordCompare(LPCWSTR a, LPCWSTR b) {
  int byCase = 0;
  for (;; ++a, ++b) {
    char16_t x = lowerChar(*a), y = lowerChar(*b);
    if (x != y) return x < y ? -1 : 1;
    if (!x) return byCase;
    if (!byCase && *a != *b) byCase = *a == x ? -1 : 1;
  }
}

// The 8-bit forms compare the texts as the ANSI code page reads them.
std::u16string ansiToWide(LPCSTR s) {
  int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
  std::u16string w(size_t(n > 0 ? n : 1), u'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, s, -1, w.data(), n);
  return w;
}

}  // namespace

extern "C" {

int WINAPI lstrcmpW(LPCWSTR a, LPCWSTR b) {
  if (!a || !b) return a ? 1 : (b ? -1 : 0);
  return wordCompare(a, b);
}
int WINAPI lstrcmpA(LPCSTR a, LPCSTR b) {
  if (!a || !b) return a ? 1 : (b ? -1 : 0);
  return wordCompare(ansiToWide(a).c_str(), ansiToWide(b).c_str());
}

int WINAPI lstrcmpiW(LPCWSTR a, LPCWSTR b) {
  if (!a || !b) return a ? 1 : (b ? -1 : 0);
  for (;; ++a, ++b) {
    char16_t x = lowerChar(*a), y = lowerChar(*b);
    if (x != y) return x < y ? -1 : 1;
    if (!x) return 0;
  }
}
int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b) {
  if (!a || !b) return a ? 1 : (b ? -1 : 0);
  return lstrcmpiW(ansiToWide(a).c_str(), ansiToWide(b).c_str());
}

UINT WINAPI GetACP(void) { return 1252; }
UINT WINAPI GetOEMCP(void) { return 437; }

int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLen, LPWSTR dst, int dstLen) {
  Cp cp = codePageOf(codePage);
  if (cp == Cp::Invalid || !src || srcLen == 0 || srcLen < -1 || dstLen < 0 || (dstLen > 0 && !dst) ||
      (dst && (const void *)dst == (const void *)src)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (cp == Cp::Utf8 && (flags & ~DWORD(MB_ERR_INVALID_CHARS))) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  size_t n = srcLen == -1 ? std::strlen(src) + 1 : size_t(srcLen);
  std::u16string out;
  if (cp == Cp::Utf8) {
    // Validate strictly when asked; otherwise malformed bytes become U+FFFD.
    std::string in(src, n);
    out = toUtf16(in);
    if ((flags & MB_ERR_INVALID_CHARS) && out.find(char16_t(0xFFFD)) != std::u16string::npos &&
        in.find("\xEF\xBF\xBD") == std::string::npos) {
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return 0;
    }
  } else {
    out.resize(n);
    for (size_t i = 0; i < n; ++i) {
      unsigned char b = static_cast<unsigned char>(src[i]);
      if (cp == Cp::Cp1252 && b >= 0x80 && b < 0xA0)
        out[i] = kCp1252High[b - 0x80];
      else if (cp == Cp::Ascii && b >= 0x80)
        out[i] = 0x3F;  // '?' as Windows' 20127 does
      else
        out[i] = b;
    }
  }
  if (dstLen == 0) return int(out.size());
  if (out.size() > size_t(dstLen)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(dst, out.data(), out.size() * sizeof(WCHAR));
  return int(out.size());
}

int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLen, LPSTR dst, int dstLen,
                               LPCSTR defaultChar, LPBOOL usedDefault) {
  Cp cp = codePageOf(codePage);
  if (cp == Cp::Invalid || !src || srcLen == 0 || srcLen < -1 || dstLen < 0 || (dstLen > 0 && !dst)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (cp == Cp::Utf8 && (defaultChar || usedDefault)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t n = srcLen == -1 ? size_t(lstrlenW(src)) + 1 : size_t(srcLen);
  std::string out;
  bool used = false;
  if (cp == Cp::Utf8) {
    // A surrogate without its partner has no UTF-8 form: U+FFFD, or a
    // failure when the caller asks for one.
    if (flags & WC_ERR_INVALID_CHARS) {
      for (size_t i = 0; i < n; ++i) {
        bool high = src[i] >= 0xD800 && src[i] <= 0xDBFF, low = src[i] >= 0xDC00 && src[i] <= 0xDFFF;
        if (high && i + 1 < n && src[i + 1] >= 0xDC00 && src[i + 1] <= 0xDFFF) {
          ++i;
        } else if (high || low) {
          SetLastError(ERROR_NO_UNICODE_TRANSLATION);
          return 0;
        }
      }
    }
    out = toUtf8(std::u16string(src, n));
  } else {
    char def = defaultChar ? *defaultChar : '?';
    out.resize(n);
    for (size_t i = 0; i < n; ++i) {
      char16_t c = src[i];
      int b = -1;
      if (cp == Cp::Cp1252)
        b = cp1252Byte(c);
      else if (cp == Cp::Latin1)
        b = c <= 0xFF ? c : -1;
      else
        b = c < 0x80 ? c : -1;
      if (b < 0) {
        used = true;
        out[i] = def;
      } else {
        out[i] = char(b);
      }
    }
  }
  if (usedDefault) *usedDefault = used ? TRUE : FALSE;
  if (dstLen == 0) return int(out.size());
  if (out.size() > size_t(dstLen)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(dst, out.data(), out.size());
  return int(out.size());
}

}  // extern "C"
