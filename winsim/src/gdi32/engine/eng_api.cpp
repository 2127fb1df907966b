// The engine services a driver calls: surfaces, palettes, clip objects,
// brushes, colour translations, paths and strings (Eng..., CLIPOBJ_...,
// BRUSHOBJ_..., XLATEOBJ_..., PATHOBJ_..., STROBJ_...).
#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_set>

#include <winspool.h>

#include "gdi32/engine/engine.h"
#include "core/internal.h"

using namespace winsim;
using namespace winsim::gdi;

extern "C" {

// ------------------------------------------------------------ surfaces

HBITMAP APIENTRY EngCreateBitmap(SIZEL sizl, LONG lWidth, ULONG iFormat, FLONG fl, PVOID pvBits) {
  Surface *s = createSurface(sizl.cx, sizl.cy, iFormat, (fl & BMF_TOPDOWN) != 0, pvBits, lWidth);
  if (!s) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  s->so.fjBitmap = USHORT(fl & (BMF_TOPDOWN | BMF_NOZEROINIT | BMF_DONTCACHE | BMF_USERMEM));
  return reinterpret_cast<HBITMAP>(s->so.hsurf);
}

BOOL APIENTRY EngAssociateSurface(HSURF hsurf, HDEV hdev, FLONG flHooks) {
  Surface *s = surfaceFromHandle(hsurf);
  Device *d = deviceFromHandle(hdev);
  if (!s || !d) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> g(engineLock());
  s->so.hdev = hdev;
  s->so.dhpdev = d->dhpdev;
  s->hooks = flHooks & HOOK_FLAGS;
  s->device = true;
  return TRUE;
}

SURFOBJ *APIENTRY EngLockSurface(HSURF hsurf) {
  Surface *s = surfaceFromHandle(hsurf);
  if (!s) return nullptr;
  std::lock_guard<std::recursive_mutex> g(engineLock());
  ++s->locks;
  return &s->so;
}

VOID APIENTRY EngUnlockSurface(SURFOBJ *pso) {
  Surface *s = surfaceFromObj(pso);
  if (!s) return;
  std::lock_guard<std::recursive_mutex> g(engineLock());
  if (s->locks > 0) --s->locks;
}

BOOL APIENTRY EngDeleteSurface(HSURF hsurf) {
  return closeHandle(hsurf, Kind::EngSurface) ? TRUE : FALSE;  // ERROR_INVALID_HANDLE when it fails
}

BOOL APIENTRY EngEraseSurface(SURFOBJ *pso, RECTL *prcl, ULONG iColor) {
  if (!pso || !pso->pvScan0) return FALSE;
  RECTL r = prcl ? *prcl : RECTL{0, 0, pso->sizlBitmap.cx, pso->sizlBitmap.cy};
  if (r.left > r.right) std::swap(r.left, r.right);
  if (r.top > r.bottom) std::swap(r.top, r.bottom);
  r.left = std::max<LONG>(r.left, 0);
  r.top = std::max<LONG>(r.top, 0);
  r.right = std::min<LONG>(r.right, pso->sizlBitmap.cx);
  r.bottom = std::min<LONG>(r.bottom, pso->sizlBitmap.cy);
  for (LONG y = r.top; y < r.bottom; ++y)
    for (LONG x = r.left; x < r.right; ++x) putPixel(pso, x, y, iColor);
  return TRUE;
}

BOOL APIENTRY EngMarkBandingSurface(HSURF hsurf) { return surfaceFromHandle(hsurf) ? TRUE : FALSE; }

// ------------------------------------------------------------ palettes

HPALETTE APIENTRY EngCreatePalette(ULONG iMode, ULONG cColors, ULONG *pulColors, FLONG flRed, FLONG flGreen,
                                   FLONG flBlue) {
  auto *p = new (std::nothrow) Palette;
  if (!p) return nullptr;
  switch (iMode) {
    case PAL_INDEXED:
      if (!pulColors || cColors == 0 || cColors > 65536) {
        delete p;
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
      }
      for (ULONG i = 0; i < cColors; ++i) {
        // Indexed entries are given as 0x00BBGGRR (an RGB per entry).
        ULONG c = pulColors[i];
        p->entries.push_back(((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF));
      }
      break;
    case PAL_BITFIELDS:
      p->red = flRed;
      p->green = flGreen;
      p->blue = flBlue;
      break;
    case PAL_RGB:
    case PAL_BGR:
    case PAL_CMYK: break;
    default:
      delete p;
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
  }
  p->mode = iMode;
  return static_cast<HPALETTE>(registerObject(p));
}

BOOL APIENTRY EngDeletePalette(HPALETTE hpal) {
  return closeHandle(hpal, Kind::EngPalette) ? TRUE : FALSE;  // ERROR_INVALID_HANDLE when it fails
}

// ------------------------------------------------------------ clip objects

CLIPOBJ *APIENTRY EngCreateClip(VOID) {
  auto *c = new (std::nothrow) Clip;
  if (!c) return nullptr;
  c->co.iDComplexity = DC_TRIVIAL;
  c->co.iFComplexity = FC_RECT;
  c->co.iMode = TC_RECTANGLES;
  addLive(c);
  return &c->co;
}

VOID APIENTRY EngDeleteClip(CLIPOBJ *pco) {
  Clip *c = clipFromObj(pco);
  if (!c) return;
  removeLive(c);
  c->magic = 0;
  delete c;
}

ULONG APIENTRY CLIPOBJ_cEnumStart(CLIPOBJ *pco, BOOL bAll, ULONG iType, ULONG iDirection, ULONG cLimit) {
  (void)bAll;
  (void)iType;
  Clip *c = clipFromObj(pco);
  if (!c) return 0xFFFFFFFF;
  if (pco->iDComplexity == DC_COMPLEX)
    c->order = c->rects;
  else {
    c->order.clear();
    if (pco->rclBounds.left < pco->rclBounds.right && pco->rclBounds.top < pco->rclBounds.bottom)
      c->order.push_back(pco->rclBounds);
  }
  bool leftwards = iDirection == CD_LEFTDOWN || iDirection == CD_LEFTUP;
  bool upwards = iDirection == CD_RIGHTUP || iDirection == CD_LEFTUP;
  std::stable_sort(c->order.begin(), c->order.end(), [&](const RECTL &a, const RECTL &b) {
    if (a.top != b.top) return upwards ? a.top > b.top : a.top < b.top;
    return leftwards ? a.left > b.left : a.left < b.left;
  });
  c->next = 0;
  c->enumStarted = true;
  return c->order.size() <= cLimit ? ULONG(c->order.size()) : 0xFFFFFFFF;
}

BOOL APIENTRY CLIPOBJ_bEnum(CLIPOBJ *pco, ULONG cj, ULONG *pv) {
  Clip *c = clipFromObj(pco);
  if (!pv || cj < sizeof(ULONG)) return FALSE;
  auto *er = reinterpret_cast<ENUMRECTS *>(pv);
  er->c = 0;
  if (!c) return FALSE;
  if (!c->enumStarted) CLIPOBJ_cEnumStart(pco, FALSE, CT_RECTANGLES, CD_ANY, 0);
  size_t room = (cj - offsetof(ENUMRECTS, arcl)) / sizeof(RECTL);
  if (cj < offsetof(ENUMRECTS, arcl)) room = 0;
  size_t n = 0;
  while (n < room && c->next < c->order.size()) er->arcl[n++] = c->order[c->next++];
  er->c = ULONG(n);
  return c->next < c->order.size() ? TRUE : FALSE;
}

// ------------------------------------------------------------ brushes

ULONG APIENTRY BRUSHOBJ_ulGetBrushColor(BRUSHOBJ *pbo) {
  if (!pbo) return 0xFFFFFFFF;
  return pbo->iSolidColor;
}

PVOID APIENTRY BRUSHOBJ_pvAllocRbrush(BRUSHOBJ *pbo, ULONG cj) {
  Brush *b = brushFromObj(pbo);
  if (!b || cj == 0) return nullptr;
  std::free(b->driverRbrush);
  b->driverRbrush = std::calloc(cj, 1);
  return b->driverRbrush;
}

PVOID APIENTRY BRUSHOBJ_pvGetRbrush(BRUSHOBJ *pbo) {
  if (!pbo) return nullptr;
  // The engine realises brushes itself (drivers here hook no
  // DrvRealizeBrush), so there is never a driver realisation to return.
  return pbo->pvRbrush;
}

// ------------------------------------------------------------ colour translation

ULONG APIENTRY XLATEOBJ_iXlate(XLATEOBJ *pxlo, ULONG iColor) { return xlate(pxlo, iColor); }

ULONG *APIENTRY XLATEOBJ_piVector(XLATEOBJ *pxlo) {
  if (!pxlo || !(pxlo->flXlate & XO_TABLE)) return nullptr;
  return pxlo->pulXlate;
}

ULONG APIENTRY XLATEOBJ_cGetPalette(XLATEOBJ *pxlo, ULONG iPal, ULONG cPal, ULONG *pPal) {
  Xlate *x = lookupLive<Xlate>(pxlo);
  if (!x || x->magic != kXlateMagic || iPal != XO_SRCPALETTE) return 0;
  if (!pPal) return ULONG(x->srcPal.size());
  ULONG n = std::min<ULONG>(cPal, ULONG(x->srcPal.size()));
  for (ULONG i = 0; i < n; ++i) pPal[i] = x->srcPal[i];
  return n;
}

// ------------------------------------------------------------ paths

PATHOBJ *APIENTRY EngCreatePath(VOID) {
  auto *p = new (std::nothrow) Path;
  if (!p) return nullptr;
  addLive(p);
  return &p->po;
}

VOID APIENTRY EngDeletePath(PATHOBJ *ppo) {
  Path *p = pathFromObj(ppo);
  if (!p) return;
  removeLive(p);
  p->magic = 0;
  delete p;
}

VOID APIENTRY PATHOBJ_vEnumStart(PATHOBJ *ppo) {
  if (Path *p = pathFromObj(ppo)) p->next = 0;
}

BOOL APIENTRY PATHOBJ_bEnum(PATHOBJ *ppo, PATHDATA *ppd) {
  Path *p = pathFromObj(ppo);
  if (!ppd) return FALSE;
  ppd->flags = 0;
  ppd->count = 0;
  ppd->pptfx = nullptr;
  if (!p) return FALSE;
  // Skip empty subpaths: every record handed out carries points.
  while (p->next < p->subpaths.size() && p->subpaths[p->next].pts.empty()) ++p->next;
  if (p->next >= p->subpaths.size()) return FALSE;
  SubPath &s = p->subpaths[p->next++];
  ppd->flags = PD_BEGINSUBPATH | PD_ENDSUBPATH | PD_RESETSTYLE | (s.closed ? PD_CLOSEFIGURE : 0);
  ppd->count = ULONG(s.pts.size());
  ppd->pptfx = s.pts.data();
  while (p->next < p->subpaths.size() && p->subpaths[p->next].pts.empty()) ++p->next;
  return p->next < p->subpaths.size() ? TRUE : FALSE;
}

VOID APIENTRY PATHOBJ_vGetBounds(PATHOBJ *ppo, PRECTFX prectfx) {
  if (!prectfx) return;
  *prectfx = RECTFX{0, 0, 0, 0};
  Path *p = pathFromObj(ppo);
  if (!p) return;
  bool any = false;
  for (auto &s : p->subpaths)
    for (auto &pt : s.pts) {
      if (!any) *prectfx = RECTFX{pt.x, pt.y, pt.x, pt.y};
      any = true;
      prectfx->xLeft = std::min(prectfx->xLeft, pt.x);
      prectfx->yTop = std::min(prectfx->yTop, pt.y);
      prectfx->xRight = std::max(prectfx->xRight, pt.x);
      prectfx->yBottom = std::max(prectfx->yBottom, pt.y);
    }
}

BOOL APIENTRY PATHOBJ_bMoveTo(PATHOBJ *ppo, POINTFIX ptfx) {
  Path *p = pathFromObj(ppo);
  if (!p) return FALSE;
  p->subpaths.push_back(SubPath{{ptfx}, false});
  p->update();
  return TRUE;
}

BOOL APIENTRY PATHOBJ_bPolyLineTo(PATHOBJ *ppo, POINTFIX *pptfx, ULONG cptfx) {
  Path *p = pathFromObj(ppo);
  if (!p || (!pptfx && cptfx)) return FALSE;
  if (p->subpaths.empty() || p->subpaths.back().closed) p->subpaths.push_back(SubPath{});
  for (ULONG i = 0; i < cptfx; ++i) p->subpaths.back().pts.push_back(pptfx[i]);
  p->update();
  return TRUE;
}

BOOL APIENTRY PATHOBJ_bCloseFigure(PATHOBJ *ppo) {
  Path *p = pathFromObj(ppo);
  if (!p || p->subpaths.empty()) return FALSE;
  p->subpaths.back().closed = true;
  return TRUE;
}

// ------------------------------------------------------------ strings

VOID APIENTRY STROBJ_vEnumStart(STROBJ *pstro) {
  if (Str *s = strFromObj(pstro)) s->next = 0;
}

namespace {
BOOL enumGlyphs(STROBJ *pstro, ULONG *pc, PGLYPHPOS *ppgpos, bool withBits) {
  if (pc) *pc = 0;
  if (ppgpos) *ppgpos = nullptr;
  Str *s = strFromObj(pstro);
  if (!s || !pc || !ppgpos) return FALSE;
  if (s->next >= s->glyphs.size()) return FALSE;
  if (withBits && s->font && s->font->face) {
    for (size_t i = s->next; i < s->glyphs.size(); ++i) {
      GLYPHPOS &gp = s->glyphs[i];
      if (!gp.pgdf) continue;
      if (!gp.pgdf->pgb) gp.pgdf->pgb = glyphBits(s->font->face, gp.hg);
    }
  }
  *pc = ULONG(s->glyphs.size() - s->next);
  *ppgpos = s->glyphs.data() + s->next;
  s->next = s->glyphs.size();
  // All glyphs come in one batch.
  return FALSE;
}
}  // namespace

BOOL APIENTRY STROBJ_bEnum(STROBJ *pstro, ULONG *pc, PGLYPHPOS *ppgpos) { return enumGlyphs(pstro, pc, ppgpos, true); }

BOOL APIENTRY STROBJ_bEnumPositionsOnly(STROBJ *pstro, ULONG *pc, PGLYPHPOS *ppgpos) {
  return enumGlyphs(pstro, pc, ppgpos, false);
}

// ------------------------------------------------------------ services

PVOID APIENTRY EngAllocMem(ULONG Flags, ULONG MemSize, ULONG) {
  return HeapAlloc(GetProcessHeap(), (Flags & FL_ZERO_MEMORY) ? HEAP_ZERO_MEMORY : 0, MemSize);
}

VOID APIENTRY EngFreeMem(PVOID Mem) {
  if (Mem) HeapFree(GetProcessHeap(), 0, Mem);
}

PVOID APIENTRY EngAllocUserMem(SIZE_T cj, ULONG) { return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cj); }

VOID APIENTRY EngFreeUserMem(PVOID pv) {
  if (pv) HeapFree(GetProcessHeap(), 0, pv);
}

ULONG APIENTRY EngGetLastError(VOID) { return GetLastError(); }
VOID APIENTRY EngSetLastError(ULONG iError) { SetLastError(iError); }

VOID APIENTRY EngMultiByteToUnicodeN(LPWSTR UnicodeString, ULONG MaxBytesInUnicodeString, PULONG BytesInUnicodeString,
                                     PCHAR MultiByteString, ULONG BytesInMultiByteString) {
  ULONG n = 0;
  if (UnicodeString && MultiByteString) {
    int got = MultiByteToWideChar(CP_ACP, 0, MultiByteString, int(BytesInMultiByteString), UnicodeString,
                                  int(MaxBytesInUnicodeString / sizeof(WCHAR)));
    n = got > 0 ? ULONG(got) * sizeof(WCHAR) : 0;
  }
  if (BytesInUnicodeString) *BytesInUnicodeString = n;
}

VOID APIENTRY EngUnicodeToMultiByteN(PCHAR MultiByteString, ULONG MaxBytesInMultiByteString,
                                     PULONG BytesInMultiByteString, PWSTR UnicodeString, ULONG BytesInUnicodeString) {
  ULONG n = 0;
  if (UnicodeString && MultiByteString) {
    int got = WideCharToMultiByte(CP_ACP, 0, UnicodeString, int(BytesInUnicodeString / sizeof(WCHAR)), MultiByteString,
                                  int(MaxBytesInMultiByteString), nullptr, nullptr);
    n = got > 0 ? ULONG(got) : 0;
  }
  if (BytesInMultiByteString) *BytesInMultiByteString = n;
}

BOOL APIENTRY EngCheckAbort(SURFOBJ *) { return FALSE; }

BOOL APIENTRY EngWritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  return WritePrinter(hPrinter, pBuf, cbBuf, pcWritten);
}

BOOL APIENTRY EngGetPrinter(HANDLE hPrinter, DWORD dwLevel, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded) {
  return GetPrinterW(hPrinter, dwLevel, pPrinter, cbBuf, pcbNeeded);
}

ULONG APIENTRY EngGetPrinterData(HANDLE hPrinter, LPWSTR pValueName, LPDWORD pType, LPBYTE pData, DWORD nSize,
                                 LPDWORD pcbNeeded) {
  return GetPrinterDataW(hPrinter, pValueName, pType, pData, nSize, pcbNeeded);
}

LPWSTR APIENTRY EngGetPrinterDataFileName(HDEV hdev) {
  Device *d = deviceFromHandle(hdev);
  return d && !d->dataFile.empty() ? d->dataFile.data() : nullptr;
}

LPWSTR APIENTRY EngGetDriverName(HDEV hdev) {
  Device *d = deviceFromHandle(hdev);
  return d && !d->driverPath.empty() ? d->driverPath.data() : nullptr;
}

}  // extern "C"
