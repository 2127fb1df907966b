// winuser.h for the linux flavour: the rectangle helpers and the user32
// drawing call that printing code uses, and message boxes.  Windows, dialogs
// and messages arrive with the user-interface subsystems.
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

// Message boxes.  Answered in winsim by the test's scripted user
// (winsim/testing.h).
WINSIM_EXTERN_C WINSIM_API int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);
WINSIM_EXTERN_C WINSIM_API int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
#define MessageBox MessageBoxW
// No window of the calling thread is active, and none is in the foreground,
// until windows arrive: both answer NULL.
WINSIM_EXTERN_C WINSIM_API HWND WINAPI GetActiveWindow(void);
WINSIM_EXTERN_C WINSIM_API HWND WINAPI GetForegroundWindow(void);

// MessageBox styles: buttons, icon, default button, modality and the rest.
#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_CANCELTRYCONTINUE 0x00000006L
#define MB_ICONHAND 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONASTERISK 0x00000040L
#define MB_USERICON 0x00000080L
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_ICONSTOP MB_ICONHAND
#define MB_DEFBUTTON1 0x00000000L
#define MB_DEFBUTTON2 0x00000100L
#define MB_DEFBUTTON3 0x00000200L
#define MB_DEFBUTTON4 0x00000300L
#define MB_APPLMODAL 0x00000000L
#define MB_SYSTEMMODAL 0x00001000L
#define MB_TASKMODAL 0x00002000L
#define MB_HELP 0x00004000L
#define MB_NOFOCUS 0x00008000L
#define MB_SETFOREGROUND 0x00010000L
#define MB_DEFAULT_DESKTOP_ONLY 0x00020000L
#define MB_TOPMOST 0x00040000L
#define MB_RIGHT 0x00080000L
#define MB_RTLREADING 0x00100000L
#define MB_SERVICE_NOTIFICATION 0x00200000L
#define MB_SERVICE_NOTIFICATION_NT3X 0x00040000L
#define MB_TYPEMASK 0x0000000FL
#define MB_ICONMASK 0x000000F0L
#define MB_DEFMASK 0x00000F00L
#define MB_MODEMASK 0x00003000L
#define MB_MISCMASK 0x0000C000L

// Dialog box command ids, the answers of a message box.
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDCLOSE 8
#define IDHELP 9
#define IDTRYAGAIN 10
#define IDCONTINUE 11
#define IDTIMEOUT 32000
