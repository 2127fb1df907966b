// The strsafe.h functions: bounded copies, concatenation, lengths and
// formatting, with the HRESULTs the header documents.
#include <cstring>
#include <string>

#include <strsafe.h>

#include "core/internal.h"
#include "kernel32/format.h"

using winsim::formatString;

namespace {

template <typename Ch>
HRESULT printfInto(Ch *dst, size_t cch, const Ch *fmt, va_list args) {
  if (cch == 0 || cch > STRSAFE_MAX_CCH || !dst) return STRSAFE_E_INVALID_PARAMETER;
  if (!fmt) {
    dst[0] = 0;
    return STRSAFE_E_INVALID_PARAMETER;
  }
  std::basic_string<Ch> s = formatString(fmt, args);
  if (s.size() >= cch) {
    std::copy(s.begin(), s.begin() + (cch - 1), dst);
    dst[cch - 1] = 0;
    return STRSAFE_E_INSUFFICIENT_BUFFER;
  }
  std::copy(s.begin(), s.end(), dst);
  dst[s.size()] = 0;
  return S_OK;
}

template <typename Ch>
size_t length(const Ch *s, size_t max) {
  size_t n = 0;
  while (n < max && s[n]) ++n;
  return n;
}

template <typename Ch>
HRESULT copyInto(Ch *dst, size_t cch, const Ch *src, size_t maxSrc) {
  if (cch == 0 || cch > STRSAFE_MAX_CCH || !dst) return STRSAFE_E_INVALID_PARAMETER;
  if (!src) {
    dst[0] = 0;
    return S_OK;
  }
  size_t n = length(src, maxSrc);
  if (n >= cch) {
    std::copy(src, src + (cch - 1), dst);
    dst[cch - 1] = 0;
    return STRSAFE_E_INSUFFICIENT_BUFFER;
  }
  std::copy(src, src + n, dst);
  dst[n] = 0;
  return S_OK;
}

template <typename Ch>
HRESULT catInto(Ch *dst, size_t cch, const Ch *src, size_t maxSrc) {
  if (cch == 0 || cch > STRSAFE_MAX_CCH || !dst) return STRSAFE_E_INVALID_PARAMETER;
  size_t have = length(dst, cch);
  if (have == cch) return STRSAFE_E_INVALID_PARAMETER;  // destination not terminated
  return copyInto(dst + have, cch - have, src, maxSrc);
}

template <typename Ch>
HRESULT lengthOf(const Ch *s, size_t max, size_t *len) {
  if (!s || max == 0 || max > STRSAFE_MAX_CCH) {
    if (len) *len = 0;
    return STRSAFE_E_INVALID_PARAMETER;
  }
  size_t n = length(s, max);
  if (n == max) {
    if (len) *len = 0;
    return STRSAFE_E_INVALID_PARAMETER;
  }
  if (len) *len = n;
  return S_OK;
}

}  // namespace

extern "C" {

HRESULT StringCchVPrintfW(LPWSTR dst, size_t cch, LPCWSTR fmt, va_list args) { return printfInto(dst, cch, fmt, args); }
HRESULT StringCchVPrintfA(LPSTR dst, size_t cch, LPCSTR fmt, va_list args) { return printfInto(dst, cch, fmt, args); }
HRESULT StringCbVPrintfW(LPWSTR dst, size_t cb, LPCWSTR fmt, va_list args) {
  return printfInto(dst, cb / sizeof(WCHAR), fmt, args);
}
HRESULT StringCbVPrintfA(LPSTR dst, size_t cb, LPCSTR fmt, va_list args) { return printfInto(dst, cb, fmt, args); }

HRESULT StringCchPrintfW(LPWSTR dst, size_t cch, LPCWSTR fmt, ...) {
  va_list a;
  va_start(a, fmt);
  HRESULT hr = printfInto(dst, cch, fmt, a);
  va_end(a);
  return hr;
}
HRESULT StringCchPrintfA(LPSTR dst, size_t cch, LPCSTR fmt, ...) {
  va_list a;
  va_start(a, fmt);
  HRESULT hr = printfInto(dst, cch, fmt, a);
  va_end(a);
  return hr;
}
HRESULT StringCbPrintfW(LPWSTR dst, size_t cb, LPCWSTR fmt, ...) {
  va_list a;
  va_start(a, fmt);
  HRESULT hr = printfInto(dst, cb / sizeof(WCHAR), fmt, a);
  va_end(a);
  return hr;
}
HRESULT StringCbPrintfA(LPSTR dst, size_t cb, LPCSTR fmt, ...) {
  va_list a;
  va_start(a, fmt);
  HRESULT hr = printfInto(dst, cb, fmt, a);
  va_end(a);
  return hr;
}

HRESULT StringCchCopyW(LPWSTR dst, size_t cch, LPCWSTR src) { return copyInto(dst, cch, src, STRSAFE_MAX_CCH); }
HRESULT StringCchCopyA(LPSTR dst, size_t cch, LPCSTR src) { return copyInto(dst, cch, src, STRSAFE_MAX_CCH); }
HRESULT StringCchCopyNW(LPWSTR dst, size_t cch, LPCWSTR src, size_t maxSrc) { return copyInto(dst, cch, src, maxSrc); }
HRESULT StringCchCopyNA(LPSTR dst, size_t cch, LPCSTR src, size_t maxSrc) { return copyInto(dst, cch, src, maxSrc); }
HRESULT StringCbCopyW(LPWSTR dst, size_t cb, LPCWSTR src) {
  return copyInto(dst, cb / sizeof(WCHAR), src, STRSAFE_MAX_CCH);
}
HRESULT StringCbCopyA(LPSTR dst, size_t cb, LPCSTR src) { return copyInto(dst, cb, src, STRSAFE_MAX_CCH); }
HRESULT StringCchCatW(LPWSTR dst, size_t cch, LPCWSTR src) { return catInto(dst, cch, src, STRSAFE_MAX_CCH); }
HRESULT StringCchCatA(LPSTR dst, size_t cch, LPCSTR src) { return catInto(dst, cch, src, STRSAFE_MAX_CCH); }
HRESULT StringCchCatNW(LPWSTR dst, size_t cch, LPCWSTR src, size_t maxSrc) { return catInto(dst, cch, src, maxSrc); }
HRESULT StringCbCatW(LPWSTR dst, size_t cb, LPCWSTR src) {
  return catInto(dst, cb / sizeof(WCHAR), src, STRSAFE_MAX_CCH);
}
HRESULT StringCbCatA(LPSTR dst, size_t cb, LPCSTR src) { return catInto(dst, cb, src, STRSAFE_MAX_CCH); }
HRESULT StringCchLengthW(LPCWSTR s, size_t max, size_t *len) { return lengthOf(s, max, len); }
HRESULT StringCchLengthA(LPCSTR s, size_t max, size_t *len) { return lengthOf(s, max, len); }
HRESULT StringCbLengthW(LPCWSTR s, size_t maxBytes, size_t *bytes) {
  size_t n = 0;
  HRESULT hr = lengthOf(s, maxBytes / sizeof(WCHAR), &n);
  if (bytes) *bytes = n * sizeof(WCHAR);
  return hr;
}
HRESULT StringCbLengthA(LPCSTR s, size_t maxBytes, size_t *bytes) { return lengthOf(s, maxBytes, bytes); }

}  // extern "C"
