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

// One conversion's flags, width, precision and length prefix.
struct Conversion {
  bool left = false, zero = false, plus = false, space = false, alt = false;
  int width = 0;
  int prec = -1;
  // Length: 0 int, 1 short, 2 64-bit, 3 pointer-sized; 'l'/'h' also pick the
  // string/char width.
  int len = 0;
  int strWidth = 0;  // 0 default, 1 narrow (h), 2 wide (l/w)
};

// What one conversion prints, before the padding to its width goes in.
template <typename Ch>
struct Field {
  std::basic_string<Ch> body;
  std::basic_string<Ch> prefix;
};

template <typename Ch>
void parseFlags(const Ch *&p, Conversion &form) {
  for (;; ++p) {
    if (*p == '-')
      form.left = true;
    else if (*p == '0')
      form.zero = true;
    else if (*p == '+')
      form.plus = true;
    else if (*p == ' ')
      form.space = true;
    else if (*p == '#')
      form.alt = true;
    else
      break;
  }
}

template <typename Ch>
void parseWidthAndPrecision(const Ch *&p, va_list &args, Conversion &form) {
  if (*p == '*') {
    form.width = va_arg(args, int);
    if (form.width < 0) {
      form.left = true;
      form.width = -form.width;
    }
    ++p;
  } else {
    while (*p >= '0' && *p <= '9') form.width = form.width * 10 + (*p++ - '0');
  }
  if (*p == '.') {
    ++p;
    form.prec = 0;
    if (*p == '*') {
      form.prec = va_arg(args, int);
      ++p;
    } else {
      while (*p >= '0' && *p <= '9') form.prec = form.prec * 10 + (*p++ - '0');
    }
  }
}

template <typename Ch>
void parseLength(const Ch *&p, Conversion &form) {
  if (*p == 'h') {
    form.len = 1;
    form.strWidth = 1;
    ++p;
    if (*p == 'h') ++p;
  } else if (*p == 'l') {
    form.strWidth = 2;
    ++p;
    if (*p == 'l') {
      form.len = 2;
      ++p;
    }
  } else if (*p == 'w') {
    form.strWidth = 2;
    ++p;
  } else if (*p == 'I') {
    if (p[1] == '6' && p[2] == '4') {
      form.len = 2;
      p += 3;
    } else if (p[1] == '3' && p[2] == '2') {
      form.len = 0;
      p += 3;
    } else {
      form.len = 3;
      ++p;
    }
  } else if (*p == 'z' || *p == 't') {
    form.len = 3;
    ++p;
  } else if (*p == 'j') {
    form.len = 2;
    ++p;
  }
}

// Reads an integer argument of the given length; returns its magnitude.
uint64_t integerArgument(va_list &args, int len, bool sign, bool &neg) {
  uint64_t mag;
  neg = false;
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
  return mag;
}

template <typename Ch>
void formatInteger(Ch conv, va_list &args, Conversion &form, Field<Ch> &field) {
  bool sign = conv == 'd' || conv == 'i';
  bool neg;
  uint64_t mag = integerArgument(args, form.len, sign, neg);
  unsigned base = (conv == 'x' || conv == 'X') ? 16 : (conv == 'o' ? 8 : 10);
  const char *digits = conv == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string d;
  while (mag) {
    d.insert(d.begin(), digits[mag % base]);
    mag /= base;
  }
  if (form.prec < 0 && d.empty()) d = "0";
  while (form.prec >= 0 && int(d.size()) < form.prec) d.insert(d.begin(), '0');
  for (char c : d) field.body.push_back(Ch(c));
  if (neg)
    field.prefix.push_back('-');
  else if (sign && form.plus)
    field.prefix.push_back('+');
  else if (sign && form.space)
    field.prefix.push_back(' ');
  if (form.alt && base == 16 && !d.empty() && d != "0") {
    field.prefix.push_back('0');
    field.prefix.push_back(Ch(conv));
  }
  if (form.alt && base == 8 && (d.empty() || d[0] != '0')) field.prefix.push_back('0');
  if (form.prec >= 0) form.zero = false;
}

template <typename Ch>
void formatPointer(va_list &args, Conversion &form, Field<Ch> &field) {
  uintptr_t v = uintptr_t(va_arg(args, void *));
  char buf[32];
  std::snprintf(buf, sizeof buf, "%016llX", (unsigned long long)v);
  for (char *c = buf; *c; ++c) field.body.push_back(Ch(*c));
  form.zero = false;
}

template <typename Ch>
void formatChar(Ch conv, va_list &args, Conversion &form, Field<Ch> &field) {
  constexpr bool wide = sizeof(Ch) == 2;
  int v = va_arg(args, int);
  bool argWide = form.strWidth ? form.strWidth == 2 : ((conv == 'c') == wide);
  if (argWide) {
    char16_t c = char16_t(v);
    if constexpr (wide)
      field.body.push_back(Ch(c));
    else
      field.body.push_back(Ch(c < 0x100 ? c : '?'));
  } else {
    unsigned char c = static_cast<unsigned char>(v);
    if constexpr (wide) {
      WCHAR w = 0;
      MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char *>(&c), 1, &w, 1);
      field.body.push_back(Ch(w));
    } else {
      field.body.push_back(Ch(c));
    }
  }
  form.zero = false;
}

template <typename Ch>
void appendWideText(const char16_t *s, int prec, std::basic_string<Ch> &body) {
  for (int i = 0; s[i] && (prec < 0 || i < prec); ++i) {
    if constexpr (sizeof(Ch) == 2)
      body.push_back(Ch(s[i]));
    else {
      char b = '?';
      WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(&s[i]), 1, &b, 1, nullptr, nullptr);
      body.push_back(Ch(b));
    }
  }
}

template <typename Ch>
void appendNarrowText(const char *s, int prec, std::basic_string<Ch> &body) {
  for (int i = 0; s[i] && (prec < 0 || i < prec); ++i) {
    if constexpr (sizeof(Ch) == 2) {
      WCHAR w = 0;
      MultiByteToWideChar(CP_ACP, 0, s + i, 1, &w, 1);
      body.push_back(Ch(w));
    } else {
      body.push_back(Ch(s[i]));
    }
  }
}

template <typename Ch>
void formatText(Ch conv, va_list &args, Conversion &form, Field<Ch> &field) {
  constexpr bool wide = sizeof(Ch) == 2;
  bool argWide = form.strWidth ? form.strWidth == 2 : ((conv == 's') == wide);
  const void *ptr = va_arg(args, const void *);
  if (!ptr) {
    const char *nul = "(null)";
    for (const char *c = nul; *c; ++c) field.body.push_back(Ch(*c));
  } else if (argWide) {
    appendWideText(static_cast<const char16_t *>(ptr), form.prec, field.body);
  } else {
    appendNarrowText(static_cast<const char *>(ptr), form.prec, field.body);
  }
  form.zero = false;
}

template <typename Ch>
void formatFloat(Ch conv, va_list &args, const Conversion &form, Field<Ch> &field) {
  double v = va_arg(args, double);
  std::string conversion = "%";
  if (form.plus) conversion += '+';
  if (form.space) conversion += ' ';
  if (form.alt) conversion += '#';
  if (form.prec >= 0) conversion += "." + std::to_string(form.prec);
  conversion += char(conv);
  char buf[512];
  std::snprintf(buf, sizeof buf, conversion.c_str(), v);
  std::string s = buf;
  size_t start = 0;
  if (!s.empty() && (s[0] == '-' || s[0] == '+' || s[0] == ' ')) {
    field.prefix.push_back(Ch(s[0]));
    start = 1;
  }
  for (size_t i = start; i < s.size(); ++i) field.body.push_back(Ch(s[i]));
}

template <typename Ch>
void formatConversion(Ch conv, va_list &args, Conversion &form, Field<Ch> &field) {
  switch (conv) {
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'X':
    case 'o': formatInteger(conv, args, form, field); break;
    case 'p': formatPointer(args, form, field); break;
    case 'c':
    case 'C': formatChar(conv, args, form, field); break;
    case 's':
    case 'S':
    case 'Z': formatText(conv, args, form, field); break;
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G': formatFloat(conv, args, form, field); break;
    default:
      // Unknown conversion: printed as it stands, as the CRT does.
      field.body.push_back(conv);
      form.zero = false;
      break;
  }
}

template <typename Ch>
void appendPadded(std::basic_string<Ch> &out, const Conversion &form, const Field<Ch> &field) {
  int fill = form.width - int(field.prefix.size() + field.body.size());
  if (fill < 0) fill = 0;
  if (form.left) {
    out += field.prefix;
    out += field.body;
    pad(out, fill, Ch(' '));
  } else if (form.zero) {
    out += field.prefix;
    pad(out, fill, Ch('0'));
    out += field.body;
  } else {
    pad(out, fill, Ch(' '));
    out += field.prefix;
    out += field.body;
  }
}

}  // namespace

template <typename Ch>
std::basic_string<Ch> formatString(const Ch *fmt, va_list args) {
  // The helpers take the arguments from a copy of the caller's list: a va_list
  // handed on by value may not be read on after the callee has read from it.
  va_list ap;
  va_copy(ap, args);
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
    Conversion form;
    parseFlags(p, form);
    parseWidthAndPrecision(p, ap, form);
    parseLength(p, form);
    Ch conv = *p;
    if (!conv) break;
    Field<Ch> field;
    formatConversion(conv, ap, form, field);
    appendPadded(out, form, field);
  }
  va_end(ap);
  return out;
}

template std::basic_string<char> formatString(const char *, va_list);
template std::basic_string<char16_t> formatString(const char16_t *, va_list);

}  // namespace winsim
