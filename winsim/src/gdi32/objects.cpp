// Pens, brushes, fonts, regions and their selection into a DC, and the DC's
// attributes.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

#include <winspool.h>

#include "core/internal.h"
#include "gdi32/gdi.h"

using namespace winsim;
using namespace winsim::gdi;

extern "C" {

// ------------------------------------------------------------ objects

HGDIOBJ WINAPI GetStockObject(int i) {
  initStock();
  if (i < 0 || i > DC_PEN || !g_stock[i]) return nullptr;
  return g_stock[i]->handle;
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
  DcObj *dc = dcOf(hdc);
  GdiObj *o = anyObj(h);
  if (!dc || !o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  // The old object's handle is taken before the DC lets it go: a deletion
  // that waited for it frees it.
  auto replace = [&](auto *&slot) -> HGDIOBJ {
    using T = std::remove_reference_t<decltype(*slot)>;
    GdiObj *old = slot;
    if (old == o) return h;
    HGDIOBJ oldHandle = old ? old->handle : nullptr;
    select(o);
    slot = static_cast<T *>(o);
    deselect(old);
    return oldHandle;
  };
  switch (o->type) {
    case OBJ_PEN: return replace(dc->st.pen);
    case OBJ_BRUSH: return replace(dc->st.brush);
    case OBJ_FONT: return replace(dc->st.font);
    case OBJ_BITMAP: {
      auto *b = static_cast<BitmapObj *>(o);
      if (!dc->memory || (b->selectedDc && b->selectedDc != dc)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
      }
      BitmapObj *old = dc->st.bitmap;
      if (old == b) return h;
      b->selectedDc = dc;
      if (old) old->selectedDc = nullptr;
      return replace(dc->st.bitmap);
    }
    case OBJ_REGION: return reinterpret_cast<HGDIOBJ>(ULONG_PTR(SelectClipRgn(hdc, static_cast<HRGN>(h))));
    default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
  }
}

BOOL WINAPI DeleteObject(HGDIOBJ ho) {
  GdiObj *o = anyObj(ho);
  if (!o || o->type == OBJ_DC || o->type == OBJ_MEMDC) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (o->stock) return TRUE;
  // An object still selected goes when its last DC lets it go.
  if (o->selections > 0) {
    o->deletePending = true;
    return TRUE;
  }
  freeObj(o);
  return TRUE;
}

DWORD WINAPI GetObjectType(HGDIOBJ h) {
  GdiObj *o = anyObj(h);
  return o ? o->type : 0;
}

int WINAPI GetObjectW(HANDLE h, int c, LPVOID pv) {
  GdiObj *o = anyObj(h);
  if (!o || c < 0) return 0;
  auto give = [&](const void *src, int size) {
    if (!pv) return size;
    int n = std::min(c, size);
    std::memcpy(pv, src, size_t(n));
    return n;
  };
  switch (o->type) {
    case OBJ_PEN: return give(&static_cast<PenObj *>(o)->lp, sizeof(LOGPEN));
    case OBJ_BRUSH: return give(&static_cast<BrushObj *>(o)->lb, sizeof(LOGBRUSH));
    case OBJ_FONT: return give(&static_cast<FontObj *>(o)->lf, sizeof(LOGFONTW));
    case OBJ_BITMAP: {
      auto *b = static_cast<BitmapObj *>(o);
      if (!b->surf) return 0;
      DIBSECTION ds{};
      const SURFOBJ &so = b->surf->so;
      ds.dsBm.bmWidth = so.sizlBitmap.cx;
      ds.dsBm.bmHeight = so.sizlBitmap.cy;
      ds.dsBm.bmPlanes = 1;
      ds.dsBm.bmBitsPixel = WORD(bitsPerPixel(so.iBitmapFormat));
      // A DIB's scan lines are whole DWORDs; a device-dependent bitmap's are
      // whole words, as its bits are given and read, whatever its surface uses.
      ds.dsBm.bmWidthBytes = b->dib ? (so.lDelta < 0 ? -so.lDelta : so.lDelta)
                                    : LONG(((int64_t(so.sizlBitmap.cx) * ds.dsBm.bmBitsPixel + 15) / 16) * 2);
      ds.dsBm.bmBits = b->dib ? so.pvBits : nullptr;
      if (b->dib && (c >= int(sizeof(DIBSECTION)) || !pv)) {
        ds.dsBmih = b->bih;
        return give(&ds, sizeof(DIBSECTION));
      }
      return give(&ds.dsBm, sizeof(BITMAP));
    }
    default: return 0;
  }
}

HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type) {
  DcObj *dc = dcOf(hdc);
  if (!dc) return nullptr;
  GdiObj *o = nullptr;
  switch (type) {
    case OBJ_PEN: o = dc->st.pen; break;
    case OBJ_BRUSH: o = dc->st.brush; break;
    case OBJ_FONT: o = dc->st.font; break;
    case OBJ_BITMAP: o = dc->st.bitmap; break;
    default: break;
  }
  return o ? o->handle : nullptr;
}

HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH *plbrush) {
  if (!plbrush) return nullptr;
  switch (plbrush->lbStyle) {
    case BS_SOLID:
    case BS_NULL:
    case BS_HATCHED: break;
    case BS_PATTERN: return CreatePatternBrush(reinterpret_cast<HBITMAP>(plbrush->lbHatch));
    default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
  }
  auto *b = addObj(new BrushObj, OBJ_BRUSH);
  b->lb = *plbrush;
  b->lb.lbColor &= 0xFFFFFF;
  return static_cast<HBRUSH>(b->handle);
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
  LOGBRUSH lb{BS_SOLID, color, 0};
  return CreateBrushIndirect(&lb);
}

HBRUSH WINAPI CreateHatchBrush(int iHatch, COLORREF color) {
  if (iHatch < HS_HORIZONTAL || iHatch > HS_DIAGCROSS) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  LOGBRUSH lb{BS_HATCHED, color, ULONG_PTR(iHatch)};
  return CreateBrushIndirect(&lb);
}

HBRUSH WINAPI CreatePatternBrush(HBITMAP hbm) {
  auto *bm = obj<BitmapObj>(hbm, OBJ_BITMAP);
  if (!bm || !bm->surf) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  auto *b = addObj(new BrushObj, OBJ_BRUSH);
  b->lb = LOGBRUSH{BS_PATTERN, 0, reinterpret_cast<ULONG_PTR>(hbm)};
  const SURFOBJ &so = bm->surf->so;
  // A pattern larger than 64 x 64 pixels is cut to that size.
  b->cx = std::min<LONG>(so.sizlBitmap.cx, 64);
  b->cy = std::min<LONG>(so.sizlBitmap.cy, 64);
  b->monoPattern = so.iBitmapFormat == BMF_1BPP && bm->surf->colors.empty();
  for (LONG y = 0; y < b->cy; ++y)
    for (LONG x = 0; x < b->cx; ++x) {
      ULONG v = getPixel(&so, x, y);
      b->mono.push_back(BYTE(v & 1));
      b->rgb.push_back(indexToRgb(bm->surf, v));
    }
  return static_cast<HBRUSH>(b->handle);
}

HPEN WINAPI CreatePenIndirect(const LOGPEN *plpen) {
  if (!plpen || (plpen->lopnStyle & PS_STYLE_MASK) > PS_INSIDEFRAME) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto *p = addObj(new PenObj, OBJ_PEN);
  p->lp = *plpen;
  p->lp.lopnWidth.x = std::max<LONG>(0, std::min<LONG>(plpen->lopnWidth.x, 10000));
  p->lp.lopnColor &= 0xFFFFFF;
  return static_cast<HPEN>(p->handle);
}

HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color) {
  LOGPEN lp{UINT(iStyle), POINT{cWidth, 0}, color};
  return CreatePenIndirect(&lp);
}

HFONT WINAPI CreateFontIndirectW(const LOGFONTW *lplf) {
  if (!lplf) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto *f = addObj(new FontObj, OBJ_FONT);
  f->lf = *lplf;
  f->lf.lfFaceName[LF_FACESIZE - 1] = 0;
  return static_cast<HFONT>(f->handle);
}

HFONT WINAPI CreateFontW(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight, DWORD bItalic,
                         DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet, DWORD iOutPrecision, DWORD iClipPrecision,
                         DWORD iQuality, DWORD iPitchAndFamily, LPCWSTR pszFaceName) {
  LOGFONTW lf{};
  lf.lfHeight = cHeight;
  lf.lfWidth = cWidth;
  lf.lfEscapement = cEscapement;
  lf.lfOrientation = cOrientation;
  lf.lfWeight = cWeight;
  lf.lfItalic = BYTE(bItalic != 0);
  lf.lfUnderline = BYTE(bUnderline != 0);
  lf.lfStrikeOut = BYTE(bStrikeOut != 0);
  lf.lfCharSet = BYTE(iCharSet);
  lf.lfOutPrecision = BYTE(iOutPrecision);
  lf.lfClipPrecision = BYTE(iClipPrecision);
  lf.lfQuality = BYTE(iQuality);
  lf.lfPitchAndFamily = BYTE(iPitchAndFamily);
  if (pszFaceName) lstrcpynW(lf.lfFaceName, pszFaceName, LF_FACESIZE);
  return CreateFontIndirectW(&lf);
}

HRGN WINAPI CreateRectRgn(int x1, int y1, int x2, int y2) {
  auto *r = addObj(new RegionObj, OBJ_REGION);
  RECTL rc{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
  if (rc.left < rc.right && rc.top < rc.bottom) r->rects.push_back(rc);
  return static_cast<HRGN>(r->handle);
}

int WINAPI SelectClipRgn(HDC hdc, HRGN hrgn) {
  DcObj *dc = dcOf(hdc);
  if (!dc) return ERROR;
  if (!hrgn) {
    dc->st.hasClip = false;
    dc->st.clip.clear();
    return SIMPLEREGION;
  }
  auto *r = obj<RegionObj>(hrgn, OBJ_REGION);
  if (!r) return ERROR;
  dc->st.hasClip = true;
  dc->st.clip = r->rects;
  return r->rects.empty() ? NULLREGION : r->rects.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

int WINAPI IntersectClipRect(HDC hdc, int left, int top, int right, int bottom) {
  DcObj *dc = dcOf(hdc);
  if (!dc) return ERROR;
  RECTL r{std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
  std::vector<RECTL> cur = dc->st.hasClip
                               ? dc->st.clip
                               : std::vector<RECTL>{RECTL{INT32_MIN / 2, INT32_MIN / 2, INT32_MAX / 2, INT32_MAX / 2}};
  std::vector<RECTL> out;
  for (const RECTL &c : cur) {
    RECTL i{std::max(c.left, r.left), std::max(c.top, r.top), std::min(c.right, r.right), std::min(c.bottom, r.bottom)};
    if (i.left < i.right && i.top < i.bottom) out.push_back(i);
  }
  dc->st.hasClip = true;
  dc->st.clip = out;
  return out.empty() ? NULLREGION : out.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

int WINAPI ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom) {
  DcObj *dc = dcOf(hdc);
  if (!dc) return ERROR;
  RECTL x{std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
  std::vector<RECTL> cur = dc->st.hasClip
                               ? dc->st.clip
                               : std::vector<RECTL>{RECTL{INT32_MIN / 2, INT32_MIN / 2, INT32_MAX / 2, INT32_MAX / 2}};
  std::vector<RECTL> out;
  // Each rectangle minus the excluded one: the bands above and below it and
  // the pieces left and right of it, so the rectangles stay disjoint.
  for (const RECTL &c : cur) {
    RECTL i{std::max(c.left, x.left), std::max(c.top, x.top), std::min(c.right, x.right), std::min(c.bottom, x.bottom)};
    if (i.left >= i.right || i.top >= i.bottom) {
      out.push_back(c);
      continue;
    }
    if (c.top < i.top) out.push_back(RECTL{c.left, c.top, c.right, i.top});
    if (c.left < i.left) out.push_back(RECTL{c.left, i.top, i.left, i.bottom});
    if (i.right < c.right) out.push_back(RECTL{i.right, i.top, c.right, i.bottom});
    if (i.bottom < c.bottom) out.push_back(RECTL{c.left, i.bottom, c.right, c.bottom});
  }
  dc->st.hasClip = true;
  dc->st.clip = out;
  return out.empty() ? NULLREGION : out.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

// ------------------------------------------------------------ attributes

#define DC_ATTR(getter, setter, field, type, failValue) \
  type WINAPI setter(HDC hdc, type v) {                 \
    DcObj *dc = dcOf(hdc);                              \
    if (!dc) return failValue;                          \
    type old = type(dc->st.field);                      \
    dc->st.field = decltype(dc->st.field)(v);           \
    return old;                                         \
  }                                                     \
  type WINAPI getter(HDC hdc) {                         \
    DcObj *dc = dcOf(hdc);                              \
    return dc ? type(dc->st.field) : failValue;         \
  }

DC_ATTR(GetTextColor, SetTextColor, text, COLORREF, CLR_INVALID)
DC_ATTR(GetBkColor, SetBkColor, bk, COLORREF, CLR_INVALID)
DC_ATTR(GetTextAlign, SetTextAlign, align, UINT, GDI_ERROR)

int WINAPI SetBkMode(HDC hdc, int mode) {
  DcObj *dc = dcOf(hdc);
  if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  int old = dc->st.bkMode;
  dc->st.bkMode = mode;
  return old;
}
int WINAPI GetBkMode(HDC hdc) {
  DcObj *dc = dcOf(hdc);
  return dc ? dc->st.bkMode : 0;
}
int WINAPI SetROP2(HDC hdc, int rop2) {
  DcObj *dc = dcOf(hdc);
  if (!dc || rop2 < R2_BLACK || rop2 > R2_WHITE) return 0;
  int old = dc->st.rop2;
  dc->st.rop2 = rop2;
  return old;
}
int WINAPI GetROP2(HDC hdc) {
  DcObj *dc = dcOf(hdc);
  return dc ? dc->st.rop2 : 0;
}
int WINAPI SetStretchBltMode(HDC hdc, int mode) {
  DcObj *dc = dcOf(hdc);
  if (!dc || mode < BLACKONWHITE || mode > HALFTONE) return 0;
  int old = dc->st.stretch;
  dc->st.stretch = mode;
  return old;
}
int WINAPI GetStretchBltMode(HDC hdc) {
  DcObj *dc = dcOf(hdc);
  return dc ? dc->st.stretch : 0;
}
int WINAPI SetPolyFillMode(HDC hdc, int mode) {
  DcObj *dc = dcOf(hdc);
  if (!dc || (mode != ALTERNATE && mode != WINDING)) return 0;
  int old = dc->st.polyFill;
  dc->st.polyFill = mode;
  return old;
}
int WINAPI GetPolyFillMode(HDC hdc) {
  DcObj *dc = dcOf(hdc);
  return dc ? dc->st.polyFill : 0;
}
COLORREF WINAPI SetDCBrushColor(HDC hdc, COLORREF color) {
  DcObj *dc = dcOf(hdc);
  if (!dc) return CLR_INVALID;
  COLORREF old = dc->st.dcBrush;
  dc->st.dcBrush = color & 0xFFFFFF;
  return old;
}
COLORREF WINAPI SetDCPenColor(HDC hdc, COLORREF color) {
  DcObj *dc = dcOf(hdc);
  if (!dc) return CLR_INVALID;
  COLORREF old = dc->st.dcPen;
  dc->st.dcPen = color & 0xFFFFFF;
  return old;
}

}  // extern "C"
