// winuser.h for the linux flavour: the rectangle helpers and the user32
// drawing call that printing code uses.  Windows, dialogs and messages arrive
// with the user-interface subsystems.
#pragma once

#include <cstdarg>

#include <windef.h>
#include "winsim/export.h"

#define MAKEINTRESOURCEW(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))
#define MAKEINTRESOURCE MAKEINTRESOURCEW
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)

// Characters and formatting.
WINSIM_EXTERN_C WINSIM_API LPWSTR WINAPI CharUpperW(LPWSTR s);
WINSIM_EXTERN_C WINSIM_API LPWSTR WINAPI CharLowerW(LPWSTR s);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI CharUpperBuffW(LPWSTR s, DWORD len);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI CharLowerBuffW(LPWSTR s, DWORD len);
WINSIM_EXTERN_C WINSIM_API int WINAPIV wsprintfW(LPWSTR out, LPCWSTR fmt, ...);
WINSIM_EXTERN_C WINSIM_API int WINAPIV wsprintfA(LPSTR out, LPCSTR fmt, ...);
WINSIM_EXTERN_C WINSIM_API int WINAPI wvsprintfW(LPWSTR out, LPCWSTR fmt, va_list args);
#define wsprintf wsprintfW

WINSIM_EXTERN_C WINSIM_API int WINAPI FillRect(HDC hDC, const RECT *lprc, HBRUSH hbr);
WINSIM_EXTERN_C WINSIM_API int WINAPI FrameRect(HDC hDC, const RECT *lprc, HBRUSH hbr);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetRect(LPRECT lprc, int xLeft, int yTop, int xRight, int yBottom);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetRectEmpty(LPRECT lprc);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI CopyRect(LPRECT lprcDst, const RECT *lprcSrc);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI IsRectEmpty(const RECT *lprc);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI OffsetRect(LPRECT lprc, int dx, int dy);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI InflateRect(LPRECT lprc, int dx, int dy);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI IntersectRect(LPRECT lprcDst, const RECT *lprcSrc1, const RECT *lprcSrc2);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI UnionRect(LPRECT lprcDst, const RECT *lprcSrc1, const RECT *lprcSrc2);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI PtInRect(const RECT *lprc, POINT pt);

// MessageBox styles.
#define MB_OK 0x00000000L
#define MB_ICONWARNING 0x00000030L
#define MB_ICONINFORMATION 0x00000040L
#define MB_SYSTEMMODAL 0x00001000L
#define MB_SETFOREGROUND 0x00010000L
#define MB_TOPMOST 0x00040000L
