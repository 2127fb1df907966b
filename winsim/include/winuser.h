// winuser.h for the linux flavour: the rectangle helpers and the user32
// drawing call that printing code uses.  Windows, dialogs and messages arrive
// with the user-interface subsystems.
#pragma once

#include "winsim/types.h"

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
