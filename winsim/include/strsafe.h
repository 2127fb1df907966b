// strsafe: bounded string copies and formatting.  Formatting follows the
// Windows C runtime's rules: in the wide functions %s takes a wide string and %S
// an 8-bit one; in the 8-bit functions the other way round (%hs and %ls are
// always 8-bit and wide).
#pragma once

#include <cstdarg>

#include <windows.h>

#define STRSAFE_MAX_CCH 2147483647
#define STRSAFE_E_INSUFFICIENT_BUFFER ((HRESULT)0x8007007AL)
#define STRSAFE_E_INVALID_PARAMETER ((HRESULT)0x80070057L)
#define STRSAFE_E_END_OF_FILE ((HRESULT)0x80070026L)
#define STRSAFE_IGNORE_NULLS 0x00000100
#define STRSAFE_FILL_BEHIND_NULL 0x00000200
#define STRSAFE_FILL_ON_FAILURE 0x00000400
#define STRSAFE_NULL_ON_FAILURE 0x00000800
#define STRSAFE_NO_TRUNCATION 0x00001000

WINSIM_EXTERN_C WINSIM_API HRESULT StringCchVPrintfW(LPWSTR dst, size_t cch, LPCWSTR fmt, va_list args);
WINSIM_EXTERN_C WINSIM_API HRESULT StringCchVPrintfA(LPSTR dst, size_t cch, LPCSTR fmt, va_list args);
WINSIM_EXTERN_C WINSIM_API HRESULT StringCchPrintfW(LPWSTR dst, size_t cch, LPCWSTR fmt, ...);
WINSIM_EXTERN_C WINSIM_API HRESULT StringCchPrintfA(LPSTR dst, size_t cch, LPCSTR fmt, ...);
WINSIM_EXTERN_C WINSIM_API HRESULT StringCbPrintfW(LPWSTR dst, size_t cb, LPCWSTR fmt, ...);
WINSIM_EXTERN_C WINSIM_API HRESULT StringCbPrintfA(LPSTR dst, size_t cb, LPCSTR fmt, ...);
WINSIM_EXTERN_C WINSIM_API HRESULT StringCbVPrintfW(LPWSTR dst, size_t cb, LPCWSTR fmt, va_list args);
WINSIM_EXTERN_C WINSIM_API HRESULT StringCbVPrintfA(LPSTR dst, size_t cb, LPCSTR fmt, va_list args);
WINSIM_EXTERN_C WINSIM_API HRESULT StringCchCopyW(LPWSTR dst, size_t cch, LPCWSTR src);
WINSIM_EXTERN_C WINSIM_API HRESULT StringCchCopyA(LPSTR dst, size_t cch, LPCSTR src);
WINSIM_EXTERN_C WINSIM_API HRESULT StringCchCopyNW(LPWSTR dst, size_t cch, LPCWSTR src, size_t maxSrc);
WINSIM_EXTERN_C WINSIM_API HRESULT StringCchCopyNA(LPSTR dst, size_t cch, LPCSTR src, size_t maxSrc);
WINSIM_EXTERN_C WINSIM_API HRESULT StringCbCopyW(LPWSTR dst, size_t cb, LPCWSTR src);
WINSIM_EXTERN_C WINSIM_API HRESULT StringCbCopyA(LPSTR dst, size_t cb, LPCSTR src);
WINSIM_EXTERN_C WINSIM_API HRESULT StringCchCatW(LPWSTR dst, size_t cch, LPCWSTR src);
WINSIM_EXTERN_C WINSIM_API HRESULT StringCchCatA(LPSTR dst, size_t cch, LPCSTR src);
WINSIM_EXTERN_C WINSIM_API HRESULT StringCchCatNW(LPWSTR dst, size_t cch, LPCWSTR src, size_t maxSrc);
WINSIM_EXTERN_C WINSIM_API HRESULT StringCbCatW(LPWSTR dst, size_t cb, LPCWSTR src);
WINSIM_EXTERN_C WINSIM_API HRESULT StringCbCatA(LPSTR dst, size_t cb, LPCSTR src);
WINSIM_EXTERN_C WINSIM_API HRESULT StringCchLengthW(LPCWSTR s, size_t max, size_t *len);
WINSIM_EXTERN_C WINSIM_API HRESULT StringCchLengthA(LPCSTR s, size_t max, size_t *len);
WINSIM_EXTERN_C WINSIM_API HRESULT StringCbLengthW(LPCWSTR s, size_t maxBytes, size_t *bytes);
WINSIM_EXTERN_C WINSIM_API HRESULT StringCbLengthA(LPCSTR s, size_t maxBytes, size_t *bytes);
#define StringCchPrintf StringCchPrintfW
#define StringCbPrintf StringCbPrintfW
#define StringCchCopy StringCchCopyW
#define StringCbCopy StringCbCopyW
#define StringCchCat StringCchCatW
#define StringCbCat StringCbCatW
#define StringCchLength StringCchLengthW
#define StringCchCopyN StringCchCopyNW
