// Lines, shapes, blits, text and pixels: every call becomes the DDI objects
// (CLIPOBJ, BRUSHOBJ, PATHOBJ, STROBJ, FONTOBJ, XLATEOBJ) and goes to the
// driver's hook or the engine.
#include <algorithm>
#include <cmath>
#include <cstring>

#include <winspool.h>

#include "core/internal.h"
#include "gdi32/gdi.h"

using namespace winsim;
using namespace winsim::gdi;

extern "C" {

// ------------------------------------------------------------ drawing

BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT lppt) {
  DcObj *dc = dcOf(hdc);
  if (!dc) return FALSE;
  if (lppt) *lppt = dc->st.cur;
  dc->st.cur = POINT{x, y};
  return TRUE;
}

BOOL WINAPI LineTo(HDC hdc, int x, int y) {
  DcObj *dc = dcOf(hdc);
  Target t;
  if (!dc || !targetOf(dc, t)) return FALSE;
  POINT from = dc->st.cur;
  dc->st.cur = POINT{x, y};
  auto *pen = dc->st.pen;
  if (!pen || (pen->lp.lopnStyle & PS_STYLE_MASK) == PS_NULL) return TRUE;
  bool cosmeticSolid = pen->lp.lopnWidth.x <= 1 && (pen->lp.lopnStyle & PS_STYLE_MASK) == PS_SOLID;
  if (cosmeticSolid) {
    // Simple lines go to DrvLineTo when the surface hooks it.
    if (auto f = fnCast<FnLineTo>(hook(t, INDEX_DrvLineTo, HOOK_LINETO))) {
      RECTL b{std::min<LONG>(from.x, x), std::min<LONG>(from.y, y), std::max<LONG>(from.x, x) + 1,
              std::max<LONG>(from.y, y) + 1};
      CallClip clip(t, b);
      if (clip.empty) return TRUE;
      CallBrush brush(t, pen == g_stock[DC_PEN] ? dc->st.dcPen : pen->lp.lopnColor);
      return f(t.so, clip.co(), brush.bo(), from.x, from.y, x, y, &b, mixOf(dc));
    }
  }
  return drawFigures(dc, {{{fx(from.x, from.y), fx(x, y)}, false}}, false);
}

BOOL WINAPI Polyline(HDC hdc, const POINT *apt, int cpt) {
  DcObj *dc = dcOf(hdc);
  if (!dc || !apt || cpt < 2) return FALSE;
  std::vector<POINTFIX> pts;
  for (int i = 0; i < cpt; ++i) pts.push_back(fx(apt[i].x, apt[i].y));
  return drawFigures(dc, {{pts, false}}, false);
}

BOOL WINAPI Polygon(HDC hdc, const POINT *apt, int cpt) {
  DcObj *dc = dcOf(hdc);
  if (!dc || !apt || cpt < 2) return FALSE;
  std::vector<POINTFIX> pts;
  for (int i = 0; i < cpt; ++i) pts.push_back(fx(apt[i].x, apt[i].y));
  return drawFigures(dc, {{pts, true}}, true);
}

BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom) {
  DcObj *dc = dcOf(hdc);
  if (!dc) return FALSE;
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  if (right - left < 2 || bottom - top < 2) return TRUE;
  // The figure runs through the outer pixels; the fill takes the inside
  // and the pen the border, both short of the right and bottom edges.
  std::vector<POINTFIX> pts = {fx(left, top), fx(right - 1, top), fx(right - 1, bottom - 1), fx(left, bottom - 1)};
  return drawFigures(dc, {{pts, true}}, true);
}

BOOL WINAPI Ellipse(HDC hdc, int left, int top, int right, int bottom) {
  DcObj *dc = dcOf(hdc);
  if (!dc) return FALSE;
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  if (right - left < 2 || bottom - top < 2) return TRUE;
  double cx = (left + right - 1) / 2.0, cy = (top + bottom - 1) / 2.0;
  double rx = (right - 1 - left) / 2.0, ry = (bottom - 1 - top) / 2.0;
  int n = std::clamp(int((rx + ry) * 2), 16, 720);
  std::vector<POINTFIX> pts;
  for (int i = 0; i < n; ++i) {
    double a = 2 * M_PI * i / n;
    pts.push_back(
        POINTFIX{FIX(std::lround((cx + rx * std::cos(a)) * 16)), FIX(std::lround((cy + ry * std::sin(a)) * 16))});
  }
  return drawFigures(dc, {{pts, true}}, true);
}

BOOL WINAPI PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop) {
  DcObj *dc = dcOf(hdc);
  Target t;
  if (!dc || !targetOf(dc, t)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  BYTE r3 = BYTE((rop >> 16) & 0xFF);
  if (ropUsesSource(r3)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  RECTL rc{std::min(x, x + w), std::min(y, y + h), std::max(x, x + w), std::max(y, y + h)};
  if (rc.left == rc.right || rc.top == rc.bottom) return TRUE;
  CallClip clip(t, rc);
  if (clip.empty) return TRUE;
  CallBrush brush(t, dc->st.brush, dc);
  if (ropUsesPattern(r3) && !brush.bo()) return TRUE;  // a null brush paints nothing
  POINTL org{0, 0};
  return doBitBlt(t, nullptr, clip.co(), nullptr, &rc, nullptr, brush.bo(), &org, ROP4(r3) | (ROP4(r3) << 8));
}

BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
  BYTE r3 = BYTE((rop >> 16) & 0xFF);
  if (!ropUsesSource(r3)) return PatBlt(hdc, x, y, cx, cy, rop);
  return StretchBlt(hdc, x, y, cx, cy, hdcSrc, x1, y1, cx, cy, rop);
}

BOOL WINAPI StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc, int xSrc, int ySrc,
                       int wSrc, int hSrc, DWORD rop) {
  DcObj *dst = dcOf(hdcDest);
  BYTE r3 = BYTE((rop >> 16) & 0xFF);
  if (!ropUsesSource(r3)) return PatBlt(hdcDest, xDest, yDest, wDest, hDest, rop);
  DcObj *src = dcOf(hdcSrc);
  Target ts;
  if (!dst || !src || !targetOf(src, ts)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (wSrc < 0) {
    xSrc += wSrc;
    wSrc = -wSrc;
    wDest = -wDest;
    xDest -= wDest;
  }
  if (hSrc < 0) {
    ySrc += hSrc;
    hSrc = -hSrc;
    hDest = -hDest;
    yDest -= hDest;
  }
  if (wSrc == 0 || hSrc == 0) return TRUE;
  // Colour to monochrome takes the source's background colour as white;
  // monochrome to colour the destination's text and background colours.
  COLORREF fore = dst->st.text, back = ts.so->iBitmapFormat == BMF_1BPP ? dst->st.bk : src->st.bk;
  return blit(dst, xDest, yDest, wDest, hDest, ts.surf, xSrc, ySrc, wSrc, hSrc, rop, fore, back);
}

int WINAPI StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc, int ySrc, int SrcWidth,
                         int SrcHeight, const VOID *lpBits, const BITMAPINFO *lpbmi, UINT iUsage, DWORD rop) {
  DcObj *dc = dcOf(hdc);
  if (!dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  Surface *s = dibSurface(lpbmi, lpBits, iUsage);
  if (!s) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // Source rows count from the bottom in a bottom-up bitmap.
  LONG h = s->so.sizlBitmap.cy;
  if (SrcWidth < 0) {
    xSrc += SrcWidth;
    SrcWidth = -SrcWidth;
    xDest += DestWidth;
    DestWidth = -DestWidth;
  }
  if (SrcHeight < 0) {
    ySrc += SrcHeight;
    SrcHeight = -SrcHeight;
    yDest += DestHeight;
    DestHeight = -DestHeight;
  }
  LONG top = lpbmi->bmiHeader.biHeight > 0 ? h - ySrc - SrcHeight : ySrc;
  BOOL ok =
      blit(dc, xDest, yDest, DestWidth, DestHeight, s, xSrc, top, SrcWidth, SrcHeight, rop, dc->st.text, dc->st.bk);
  destroySurface(s);
  return ok ? SrcHeight : 0;
}

int WINAPI SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD w, DWORD h, int xSrc, int ySrc, UINT StartScan,
                             UINT cLines, const VOID *lpvBits, const BITMAPINFO *lpbmi, UINT ColorUse) {
  DcObj *dc = dcOf(hdc);
  if (!dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (!lpbmi || !lpvBits || cLines == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) return 0;
  bool topDown = lpbmi->bmiHeader.biHeight < 0;
  LONG fullH = topDown ? -lpbmi->bmiHeader.biHeight : lpbmi->bmiHeader.biHeight;
  if (StartScan >= UINT(std::max<LONG>(fullH, 0))) return 0;
  cLines = std::min<UINT>(cLines, UINT(fullH) - StartScan);
  // The bits hold scan lines StartScan .. StartScan + cLines - 1 (counted
  // from the bottom of a bottom-up bitmap, from the top of a top-down one).
  Surface *band = dibSurface(lpbmi, lpvBits, ColorUse, cLines);
  if (!band) return 0;
  LONG bandRows = band->so.sizlBitmap.cy;
  BOOL ok = TRUE;
  for (LONG r = 0; r < LONG(h) && ok; ++r) {
    // Destination row r shows image row (from the top) ySrc' + r.
    LONG imgRowFromTop = topDown ? ySrc + r : (fullH - 1) - (ySrc + LONG(h) - 1 - r);
    LONG scan = topDown ? imgRowFromTop : fullH - 1 - imgRowFromTop;  // scan-line number
    if (scan < LONG(StartScan) || scan >= LONG(StartScan) + bandRows) continue;
    LONG bandRowFromTop = topDown ? scan - LONG(StartScan) : bandRows - 1 - (scan - LONG(StartScan));
    ok =
        blit(dc, xDest, yDest + r, LONG(w), 1, band, xSrc, bandRowFromTop, LONG(w), 1, SRCCOPY, dc->st.text, dc->st.bk);
  }
  destroySurface(band);
  return ok ? int(cLines) : 0;
}

BOOL WINAPI TextOutW(HDC hdc, int x, int y, LPCWSTR lpString, int c) {
  DcObj *dc = dcOf(hdc);
  if (!dc || c < 0) return FALSE;
  return textOut(dc, x, y, 0, nullptr, lpString, UINT(c), nullptr);
}

BOOL WINAPI ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT *lprect, LPCWSTR lpString, UINT c,
                        const INT *lpDx) {
  DcObj *dc = dcOf(hdc);
  if (!dc || c > 0x10000) return FALSE;
  return textOut(dc, x, y, options, lprect, lpString, c, lpDx);
}

BOOL WINAPI GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, LPSIZE psizl) {
  DcObj *dc = dcOf(hdc);
  if (!dc || !psizl || c < 0 || (c && !lpString)) return FALSE;
  FontFace *f = faceOf(dc);
  if (!f) return FALSE;
  TextLayout l = layoutText(f, lpString, UINT(c), false, nullptr, false);
  psizl->cx = l.width;
  psizl->cy = faceHeight(f);
  return TRUE;
}

BOOL WINAPI GetTextMetricsW(HDC hdc, LPTEXTMETRICW lptm) {
  DcObj *dc = dcOf(hdc);
  if (!dc || !lptm) return FALSE;
  FontFace *f = faceOf(dc);
  if (!f) return FALSE;
  auto *fo = dc->st.font;
  TEXTMETRICW tm{};
  tm.tmAscent = faceAscent(f);
  tm.tmDescent = faceDescent(f);
  tm.tmHeight = tm.tmAscent + tm.tmDescent;
  tm.tmAveCharWidth = faceAverageWidth(f);
  tm.tmMaxCharWidth = faceMaxAdvance(f);
  tm.tmWeight = fo && fo->lf.lfWeight ? fo->lf.lfWeight : FW_NORMAL;
  tm.tmItalic = fo ? fo->lf.lfItalic : 0;
  tm.tmUnderlined = fo ? fo->lf.lfUnderline : 0;
  tm.tmStruckOut = fo ? fo->lf.lfStrikeOut : 0;
  tm.tmFirstChar = 0x20;
  tm.tmLastChar = 0xFFFC;
  tm.tmDefaultChar = 0x1F;
  tm.tmBreakChar = 0x20;
  tm.tmPitchAndFamily = TMPF_VECTOR | TMPF_TRUETYPE;
  tm.tmDigitizedAspectX = tm.tmDigitizedAspectY = dpiY(dc);
  *lptm = tm;
  return TRUE;
}

DWORD WINAPI GetGlyphIndicesW(HDC hdc, LPCWSTR lpstr, int c, LPWORD pgi, DWORD fl) {
  DcObj *dc = dcOf(hdc);
  if (!dc || c < 0 || (c && (!lpstr || !pgi))) return GDI_ERROR;
  FontFace *f = faceOf(dc);
  if (!f) return GDI_ERROR;
  for (int i = 0; i < c; ++i) {
    HGLYPH g = glyphIndex(f, lpstr[i]);
    pgi[i] = (g == 0 && (fl & GGI_MARK_NONEXISTING_GLYPHS)) ? 0xFFFF : WORD(g);
  }
  return DWORD(c);
}

COLORREF WINAPI GetPixel(HDC hdc, int x, int y) {
  DcObj *dc = dcOf(hdc);
  Target t;
  if (!dc || !targetOf(dc, t)) return CLR_INVALID;
  if (x < 0 || y < 0 || x >= t.so->sizlBitmap.cx || y >= t.so->sizlBitmap.cy) return CLR_INVALID;
  ULONG v = getPixel(t.so, x, y);
  ULONG rgb =
      t.pal && t.pal->mode == PAL_RGB ? ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF) : indexToRgb(t.surf, v);
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color) {
  DcObj *dc = dcOf(hdc);
  Target t;
  if (!dc || !targetOf(dc, t)) return CLR_INVALID;
  RECTL rc{x, y, x + 1, y + 1};
  CallClip clip(t, rc);
  if (clip.empty) return CLR_INVALID;
  CallBrush brush(t, color);
  POINTL org{0, 0};
  if (!doBitBlt(t, nullptr, clip.co(), nullptr, &rc, nullptr, brush.bo(), &org, 0xF0F0)) return CLR_INVALID;
  return GetPixel(hdc, x, y);
}

}  // extern "C"
