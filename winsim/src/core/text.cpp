// Text helpers of winsim: UTF-8/UTF-16, case mapping as Windows does it for
// names (upper case, locale-independent), and the buffer protocol of the
// functions that return text.
#include <clocale>
#include <cstring>
#include <cwctype>

#include "core/internal.h"

namespace winsim {

namespace {
locale_t utf8Locale() {
  static locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", (locale_t)0);
  return loc;
}
}  // namespace

char16_t upperChar(char16_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? char16_t(c - 32) : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  locale_t loc = utf8Locale();
  if (!loc) return c;
  wint_t u = towupper_l(wint_t(c), loc);
  return u <= 0xFFFF ? char16_t(u) : c;
}

char16_t lowerChar(char16_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? char16_t(c + 32) : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  locale_t loc = utf8Locale();
  if (!loc) return c;
  wint_t u = towlower_l(wint_t(c), loc);
  return u <= 0xFFFF ? char16_t(u) : c;
}

std::u16string upper(const std::u16string &s) {
  std::u16string r(s);
  for (auto &c : r) c = upperChar(c);
  return r;
}

bool equalsNoCase(const std::u16string &a, const std::u16string &b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (upperChar(a[i]) != upperChar(b[i])) return false;
  return true;
}

bool equalsNoCaseUtf8(const std::string &a, const std::string &b) { return equalsNoCase(toUtf16(a), toUtf16(b)); }

std::u16string fromW(LPCWSTR s) { return s ? std::u16string(s) : std::u16string(); }

size_t decodeUtf8(const unsigned char *p, size_t n, uint32_t &cp) {
  if (n == 0) return 0;
  unsigned char c = p[0];
  size_t extra;
  if (c < 0x80) {
    cp = c;
    extra = 0;
  } else if ((c & 0xE0) == 0xC0) {
    cp = c & 0x1F;
    extra = 1;
  } else if ((c & 0xF0) == 0xE0) {
    cp = c & 0x0F;
    extra = 2;
  } else if ((c & 0xF8) == 0xF0) {
    cp = c & 0x07;
    extra = 3;
  } else {
    return 0;
  }
  for (size_t k = 1; k <= extra; ++k) {
    if (k >= n || (p[k] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (p[k] & 0x3F);
  }
  return extra + 1;
}

void appendUtf16(std::u16string &out, uint32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(char16_t(0xD800 + (cp >> 10)));
    out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(char16_t(cp));
  }
}

std::u16string toUtf16(const std::string &utf8) {
  std::u16string out;
  const auto *bytes = reinterpret_cast<const unsigned char *>(utf8.data());
  for (size_t i = 0, n = utf8.size(); i < n;) {
    uint32_t cp = 0;
    const size_t length = decodeUtf8(bytes + i, n - i, cp);
    if (length == 0) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    appendUtf16(out, cp);
    i += length;
  }
  return out;
}

std::string toUtf8(const std::u16string &text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80)
      out.push_back(char(cp));
    else if (cp < 0x800) {
      out.push_back(char(0xC0 | (cp >> 6)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(char(0xE0 | (cp >> 12)));
      out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(char(0xF0 | (cp >> 18)));
      out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

DWORD copyOut(const std::u16string &text, LPWSTR buffer, DWORD size) {
  if (!buffer || size <= text.size()) return DWORD(text.size() + 1);
  std::memcpy(buffer, text.data(), text.size() * sizeof(WCHAR));
  buffer[text.size()] = 0;
  return DWORD(text.size());
}

}  // namespace winsim
