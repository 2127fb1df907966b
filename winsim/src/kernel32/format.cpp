// printf-style formatting with the Windows C runtime's rules, behind strsafe.h
// and wsprintf (user32).  Differences from glibc that callers rely on: `long` is 32 bits;
// in the wide functions %s is a wide string and %S an 8-bit one (the other way
// round in the 8-bit functions); %c likewise; I64 and I32 length prefixes.
#include <cstdio>
#include <string>

#include <strsafe.h>

#include "core/internal.h"
#include "kernel32/format.h"

namespace winsim {

namespace {

template <typename Ch>
void pad(std::basic_string<Ch> &out, int n, Ch c) {
  for (int i = 0; i < n; ++i) out.push_back(c);
}
}  // namespace

template <typename Ch>
std::basic_string<Ch> formatString(const Ch *fmt, va_list args) {
  constexpr bool wide = sizeof(Ch) == 2;
  std::basic_string<Ch> out;
  for (const Ch *p = fmt; *p; ++p) {
    if (*p != '%') {
      out.push_back(*p);
      continue;
    }
    ++p;
    if (*p == '%') {
      out.push_back('%');
      continue;
    }
    bool left = false, zero = false, plus = false, space = false, alt = false;
    for (;; ++p) {
      if (*p == '-')
        left = true;
      else if (*p == '0')
        zero = true;
      else if (*p == '+')
        plus = true;
      else if (*p == ' ')
        space = true;
      else if (*p == '#')
        alt = true;
      else
        break;
    }
    int width = 0;
    if (*p == '*') {
      width = va_arg(args, int);
      if (width < 0) {
        left = true;
        width = -width;
      }
      ++p;
    } else {
      while (*p >= '0' && *p <= '9') width = width * 10 + (*p++ - '0');
    }
    int prec = -1;
    if (*p == '.') {
      ++p;
      prec = 0;
      if (*p == '*') {
        prec = va_arg(args, int);
        ++p;
      } else {
        while (*p >= '0' && *p <= '9') prec = prec * 10 + (*p++ - '0');
      }
    }
    // Length: 0 int, 1 short, 2 64-bit, 3 pointer-sized; 'l'/'h' also pick the
    // string/char width.
    int len = 0;
    int strWidth = 0;  // 0 default, 1 narrow (h), 2 wide (l/w)
    if (*p == 'h') {
      len = 1;
      strWidth = 1;
      ++p;
      if (*p == 'h') ++p;
    } else if (*p == 'l') {
      strWidth = 2;
      ++p;
      if (*p == 'l') {
        len = 2;
        ++p;
      }
    } else if (*p == 'w') {
      strWidth = 2;
      ++p;
    } else if (*p == 'I') {
      if (p[1] == '6' && p[2] == '4') {
        len = 2;
        p += 3;
      } else if (p[1] == '3' && p[2] == '2') {
        len = 0;
        p += 3;
      } else {
        len = 3;
        ++p;
      }
    } else if (*p == 'z' || *p == 't') {
      len = 3;
      ++p;
    } else if (*p == 'j') {
      len = 2;
      ++p;
    }
    Ch conv = *p;
    if (!conv) break;
    std::basic_string<Ch> body;
    std::basic_string<Ch> prefix;
    switch (conv) {
      case 'd':
      case 'i':
      case 'u':
      case 'x':
      case 'X':
      case 'o': {
        bool sign = conv == 'd' || conv == 'i';
        uint64_t mag;
        bool neg = false;
        if (len == 2) {
          int64_t v = va_arg(args, int64_t);
          if (sign && v < 0) {
            neg = true;
            mag = uint64_t(0) - uint64_t(v);
          } else
            mag = uint64_t(v);
        } else if (len == 3) {
          intptr_t v = va_arg(args, intptr_t);
          if (sign && v < 0) {
            neg = true;
            mag = uint64_t(0) - uint64_t(v);
          } else
            mag = uint64_t(uintptr_t(v));
        } else {
          int v = va_arg(args, int);
          if (len == 1) v = sign ? int(short(v)) : int(uint16_t(v));
          if (sign && v < 0) {
            neg = true;
            mag = uint64_t(0) - uint64_t(int64_t(v));
          } else
            mag = sign ? uint64_t(v) : uint64_t(uint32_t(v));
        }
        unsigned base = (conv == 'x' || conv == 'X') ? 16 : (conv == 'o' ? 8 : 10);
        const char *digits = conv == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
        std::string d;
        while (mag) {
          d.insert(d.begin(), digits[mag % base]);
          mag /= base;
        }
        if (prec < 0 && d.empty()) d = "0";
        while (prec >= 0 && int(d.size()) < prec) d.insert(d.begin(), '0');
        for (char c : d) body.push_back(Ch(c));
        if (neg)
          prefix.push_back('-');
        else if (sign && plus)
          prefix.push_back('+');
        else if (sign && space)
          prefix.push_back(' ');
        if (alt && base == 16 && !d.empty() && d != "0") {
          prefix.push_back('0');
          prefix.push_back(Ch(conv));
        }
        if (alt && base == 8 && (d.empty() || d[0] != '0')) prefix.push_back('0');
        if (prec >= 0) zero = false;
        break;
      }
      case 'p': {
        uintptr_t v = uintptr_t(va_arg(args, void *));
        char buf[32];
        std::snprintf(buf, sizeof buf, "%016llX", (unsigned long long)v);
        for (char *c = buf; *c; ++c) body.push_back(Ch(*c));
        zero = false;
        break;
      }
      case 'c':
      case 'C': {
        int v = va_arg(args, int);
        bool argWide = strWidth ? strWidth == 2 : ((conv == 'c') == wide);
        if (argWide) {
          char16_t c = char16_t(v);
          if constexpr (wide)
            body.push_back(Ch(c));
          else
            body.push_back(Ch(c < 0x100 ? c : '?'));
        } else {
          unsigned char c = static_cast<unsigned char>(v);
          if constexpr (wide) {
            WCHAR w = 0;
            MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char *>(&c), 1, &w, 1);
            body.push_back(Ch(w));
          } else {
            body.push_back(Ch(c));
          }
        }
        zero = false;
        break;
      }
      case 's':
      case 'S':
      case 'Z': {
        bool argWide = strWidth ? strWidth == 2 : ((conv == 's') == wide);
        const void *ptr = va_arg(args, const void *);
        if (!ptr) {
          const char *nul = "(null)";
          for (const char *c = nul; *c; ++c) body.push_back(Ch(*c));
        } else if (argWide) {
          const char16_t *s = static_cast<const char16_t *>(ptr);
          for (int i = 0; s[i] && (prec < 0 || i < prec); ++i) {
            if constexpr (wide)
              body.push_back(Ch(s[i]));
            else {
              char b = '?';
              WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(&s[i]), 1, &b, 1, nullptr, nullptr);
              body.push_back(Ch(b));
            }
          }
        } else {
          const char *s = static_cast<const char *>(ptr);
          for (int i = 0; s[i] && (prec < 0 || i < prec); ++i) {
            if constexpr (wide) {
              WCHAR w = 0;
              MultiByteToWideChar(CP_ACP, 0, s + i, 1, &w, 1);
              body.push_back(Ch(w));
            } else {
              body.push_back(Ch(s[i]));
            }
          }
        }
        zero = false;
        break;
      }
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G': {
        double v = va_arg(args, double);
        std::string conversion = "%";
        if (plus) conversion += '+';
        if (space) conversion += ' ';
        if (alt) conversion += '#';
        if (prec >= 0) conversion += "." + std::to_string(prec);
        conversion += char(conv);
        char buf[512];
        std::snprintf(buf, sizeof buf, conversion.c_str(), v);
        std::string s = buf;
        size_t start = 0;
        if (!s.empty() && (s[0] == '-' || s[0] == '+' || s[0] == ' ')) {
          prefix.push_back(Ch(s[0]));
          start = 1;
        }
        for (size_t i = start; i < s.size(); ++i) body.push_back(Ch(s[i]));
        break;
      }
      default:
        // Unknown conversion: printed as it stands, as the CRT does.
        body.push_back(conv);
        zero = false;
        break;
    }
    int fill = width - int(prefix.size() + body.size());
    if (fill < 0) fill = 0;
    if (left) {
      out += prefix;
      out += body;
      pad(out, fill, Ch(' '));
    } else if (zero) {
      out += prefix;
      pad(out, fill, Ch('0'));
      out += body;
    } else {
      pad(out, fill, Ch(' '));
      out += prefix;
      out += body;
    }
  }
  return out;
}

template std::basic_string<char> formatString(const char *, va_list);
template std::basic_string<char16_t> formatString(const char16_t *, va_list);

}  // namespace winsim
