// A small printer graphics driver for the engine's tests.  It draws every
// hooked call with the engine's own routines on a 24-bit surface, counts the
// hook calls, remembers the text and the clip rectangles it was given, and at
// the end of each page writes the page's pixels to the printer:
//   "PAGE" width height (32-bit little-endian) then rows top-down, 3 bytes per
//   pixel, blue first.
#include <windows.h>
#include <winddi.h>

#include <cstring>

namespace {

struct PDev {
  HANDLE printer;
  HDEV hdev;
  HPALETTE palette;
  HSURF surface;
  LONG cx, cy;
};

LONG g_counts[INDEX_LAST + 1];
FLONG g_hooks = HOOK_BITBLT | HOOK_STRETCHBLT | HOOK_TEXTOUT | HOOK_PAINT | HOOK_STROKEPATH | HOOK_FILLPATH |
                HOOK_STROKEANDFILLPATH | HOOK_LINETO | HOOK_COPYBITS;
WCHAR g_text[256];
RECTL g_clip[16];
ULONG g_clipCount;
BYTE g_clipComplexity;
char g_events[1024];

void event(const char *e) {
  size_t n = std::strlen(g_events);
  if (n + std::strlen(e) + 2 < sizeof(g_events)) {
    std::strcat(g_events, e);
    std::strcat(g_events, " ");
  }
}

template <typename T>
PFN asPfn(T f) {
  return reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(f));
}

PDev *pdevOf(SURFOBJ *so) { return so ? reinterpret_cast<PDev *>(so->dhpdev) : nullptr; }

void recordClip(CLIPOBJ *pco) {
  g_clipCount = 0;
  g_clipComplexity = pco ? pco->iDComplexity : 0xFF;
  if (!pco) return;
  if (pco->iDComplexity != DC_COMPLEX) {
    g_clip[0] = pco->rclBounds;
    g_clipCount = 1;
    return;
  }
  CLIPOBJ_cEnumStart(pco, FALSE, CT_RECTANGLES, CD_RIGHTDOWN, 0);
  struct {
    ULONG c;
    RECTL r[4];
  } e;
  BOOL more;
  do {
    more = CLIPOBJ_bEnum(pco, sizeof(e), reinterpret_cast<ULONG *>(&e));
    for (ULONG i = 0; i < e.c && g_clipCount < 16; ++i) g_clip[g_clipCount++] = e.r[i];
  } while (more);
}

}  // namespace

extern "C" {

WINSIM_API LONG TestDrvHookCount(ULONG index) { return index <= INDEX_LAST ? g_counts[index] : -1; }
WINSIM_API void TestDrvSetHooks(FLONG hooks) { g_hooks = hooks; }
WINSIM_API const WCHAR *TestDrvLastText() { return g_text; }
WINSIM_API ULONG TestDrvLastClip(RECTL *rects, BYTE *complexity) {
  for (ULONG i = 0; i < g_clipCount; ++i) rects[i] = g_clip[i];
  *complexity = g_clipComplexity;
  return g_clipCount;
}
WINSIM_API const char *TestDrvEvents() { return g_events; }

BOOL APIENTRY DrvQueryDriverInfo(DWORD dwMode, PVOID pBuffer, DWORD cbBuf, PDWORD pcbNeeded) {
  if (dwMode != DRVQUERY_USERMODE) return FALSE;
  if (pcbNeeded) *pcbNeeded = sizeof(DWORD);
  if (!pBuffer || cbBuf < sizeof(DWORD)) return FALSE;
  *static_cast<DWORD *>(pBuffer) = TRUE;
  return TRUE;
}

}  // extern "C"

namespace {

DHPDEV APIENTRY hkEnablePDEV(DEVMODEW *pdm, LPWSTR, ULONG cPat, HSURF *phsurfPatterns, ULONG cjCaps, ULONG *pdevcaps,
                             ULONG cjDevInfo, DEVINFO *pdi, HDEV, LPWSTR, HANDLE hDriver) {
  ++g_counts[INDEX_DrvEnablePDEV];
  auto *p = static_cast<PDev *>(EngAllocMem(FL_ZERO_MEMORY, sizeof(PDev), 0));
  if (!p) return nullptr;
  p->printer = hDriver;
  // The page size comes from the DEVMODE's pixel fields, or 320 x 200.
  p->cx = pdm && (pdm->dmFields & DM_PELSWIDTH) && pdm->dmPelsWidth ? LONG(pdm->dmPelsWidth) : 320;
  p->cy = pdm && (pdm->dmFields & DM_PELSHEIGHT) && pdm->dmPelsHeight ? LONG(pdm->dmPelsHeight) : 200;
  p->palette = EngCreatePalette(PAL_BGR, 0, nullptr, 0, 0, 0);
  GDIINFO gi{};
  gi.ulVersion = 0x5001;
  gi.ulTechnology = DT_RASPRINTER;
  gi.ulHorzRes = ULONG(p->cx);
  gi.ulVertRes = ULONG(p->cy);
  gi.ulHorzSize = ULONG(p->cx) * 254 / 3000;
  gi.ulVertSize = ULONG(p->cy) * 254 / 3000;
  gi.cBitsPixel = 24;
  gi.cPlanes = 1;
  gi.ulNumColors = 3;
  gi.ulLogPixelsX = gi.ulLogPixelsY = 300;
  gi.szlPhysSize = SIZEL{p->cx, p->cy};
  std::memcpy(pdevcaps, &gi, cjCaps < sizeof(gi) ? cjCaps : sizeof(gi));
  DEVINFO di{};
  di.flGraphicsCaps = GCAPS_HALFTONE;
  di.iDitherFormat = BMF_24BPP;
  di.hpalDefault = p->palette;
  std::memcpy(pdi, &di, cjDevInfo < sizeof(di) ? cjDevInfo : sizeof(di));
  if (phsurfPatterns) std::memset(phsurfPatterns, 0, sizeof(HSURF) * cPat);
  return reinterpret_cast<DHPDEV>(p);
}

VOID APIENTRY hkCompletePDEV(DHPDEV dhpdev, HDEV hdev) {
  ++g_counts[INDEX_DrvCompletePDEV];
  reinterpret_cast<PDev *>(dhpdev)->hdev = hdev;
}

BOOL APIENTRY hkResetPDEV(DHPDEV, DHPDEV) {
  ++g_counts[INDEX_DrvResetPDEV];
  event("reset");
  return TRUE;
}

VOID APIENTRY hkDisablePDEV(DHPDEV dhpdev) {
  ++g_counts[INDEX_DrvDisablePDEV];
  auto *p = reinterpret_cast<PDev *>(dhpdev);
  EngDeletePalette(p->palette);
  EngFreeMem(p);
}

HSURF APIENTRY hkEnableSurface(DHPDEV dhpdev) {
  ++g_counts[INDEX_DrvEnableSurface];
  auto *p = reinterpret_cast<PDev *>(dhpdev);
  HBITMAP bm = EngCreateBitmap(SIZEL{p->cx, p->cy}, 0, BMF_24BPP, BMF_TOPDOWN | BMF_NOZEROINIT, nullptr);
  if (!bm) return nullptr;
  p->surface = reinterpret_cast<HSURF>(bm);
  EngAssociateSurface(p->surface, p->hdev, g_hooks);
  return p->surface;
}

VOID APIENTRY hkDisableSurface(DHPDEV dhpdev) {
  ++g_counts[INDEX_DrvDisableSurface];
  auto *p = reinterpret_cast<PDev *>(dhpdev);
  if (p->surface) EngDeleteSurface(p->surface);
  p->surface = nullptr;
}

BOOL APIENTRY hkStartDoc(SURFOBJ *, LPWSTR, DWORD) {
  ++g_counts[INDEX_DrvStartDoc];
  event("startdoc");
  return TRUE;
}

BOOL APIENTRY hkStartPage(SURFOBJ *pso) {
  ++g_counts[INDEX_DrvStartPage];
  event("startpage");
  // Every page starts white.
  RECTL all{0, 0, pso->sizlBitmap.cx, pso->sizlBitmap.cy};
  return EngEraseSurface(pso, &all, 0xFFFFFF);
}

BOOL APIENTRY hkSendPage(SURFOBJ *pso) {
  ++g_counts[INDEX_DrvSendPage];
  event("sendpage");
  PDev *p = pdevOf(pso);
  DWORD w;
  LONG hdr[2] = {pso->sizlBitmap.cx, pso->sizlBitmap.cy};
  if (!WritePrinter(p->printer, const_cast<char *>("PAGE"), 4, &w) || !WritePrinter(p->printer, hdr, 8, &w))
    return FALSE;
  for (LONG y = 0; y < pso->sizlBitmap.cy; ++y) {
    BYTE *row = static_cast<BYTE *>(pso->pvScan0) + y * pso->lDelta;
    if (!WritePrinter(p->printer, row, DWORD(pso->sizlBitmap.cx) * 3, &w)) return FALSE;
  }
  return TRUE;
}

BOOL APIENTRY hkEndDoc(SURFOBJ *, FLONG fl) {
  ++g_counts[INDEX_DrvEndDoc];
  event(fl & ED_ABORTDOC ? "abortdoc" : "enddoc");
  return TRUE;
}

ULONG APIENTRY hkEscape(SURFOBJ *pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG, PVOID) {
  ++g_counts[INDEX_DrvEscape];
  if (iEsc == QUERYESCSUPPORT) return cjIn >= 2 && *static_cast<WORD *>(pvIn) == PASSTHROUGH ? 1 : 0;
  if (iEsc == PASSTHROUGH && cjIn >= 2) {
    DWORD w = 0;
    return WritePrinter(pdevOf(pso)->printer, static_cast<BYTE *>(pvIn) + 2, cjIn - 2, &w) ? w : 0;
  }
  return 0;
}

BOOL APIENTRY hkBitBlt(SURFOBJ *t, SURFOBJ *s, SURFOBJ *m, CLIPOBJ *c, XLATEOBJ *x, RECTL *r, POINTL *ps, POINTL *pm,
                       BRUSHOBJ *b, POINTL *pb, ROP4 rop) {
  ++g_counts[INDEX_DrvBitBlt];
  recordClip(c);
  return EngBitBlt(t, s, m, c, x, r, ps, pm, b, pb, rop);
}

BOOL APIENTRY hkCopyBits(SURFOBJ *d, SURFOBJ *s, CLIPOBJ *c, XLATEOBJ *x, RECTL *r, POINTL *p) {
  ++g_counts[INDEX_DrvCopyBits];
  recordClip(c);
  return EngCopyBits(d, s, c, x, r, p);
}

BOOL APIENTRY hkStretchBlt(SURFOBJ *d, SURFOBJ *s, SURFOBJ *m, CLIPOBJ *c, XLATEOBJ *x, COLORADJUSTMENT *ca, POINTL *ht,
                           RECTL *rd, RECTL *rs, POINTL *pm, ULONG mode) {
  ++g_counts[INDEX_DrvStretchBlt];
  recordClip(c);
  return EngStretchBlt(d, s, m, c, x, ca, ht, rd, rs, pm, mode);
}

BOOL APIENTRY hkPaint(SURFOBJ *s, CLIPOBJ *c, BRUSHOBJ *b, POINTL *o, MIX mix) {
  ++g_counts[INDEX_DrvPaint];
  recordClip(c);
  return EngPaint(s, c, b, o, mix);
}

BOOL APIENTRY hkStrokePath(SURFOBJ *s, PATHOBJ *p, CLIPOBJ *c, XFORMOBJ *x, BRUSHOBJ *b, POINTL *o, LINEATTRS *la,
                           MIX mix) {
  ++g_counts[INDEX_DrvStrokePath];
  recordClip(c);
  return EngStrokePath(s, p, c, x, b, o, la, mix);
}

BOOL APIENTRY hkFillPath(SURFOBJ *s, PATHOBJ *p, CLIPOBJ *c, BRUSHOBJ *b, POINTL *o, MIX mix, FLONG fl) {
  ++g_counts[INDEX_DrvFillPath];
  recordClip(c);
  return EngFillPath(s, p, c, b, o, mix, fl);
}

BOOL APIENTRY hkStrokeAndFillPath(SURFOBJ *s, PATHOBJ *p, CLIPOBJ *c, XFORMOBJ *x, BRUSHOBJ *bs, LINEATTRS *la,
                                  BRUSHOBJ *bf, POINTL *o, MIX mix, FLONG fl) {
  ++g_counts[INDEX_DrvStrokeAndFillPath];
  recordClip(c);
  return EngStrokeAndFillPath(s, p, c, x, bs, la, bf, o, mix, fl);
}

BOOL APIENTRY hkLineTo(SURFOBJ *s, CLIPOBJ *c, BRUSHOBJ *b, LONG x1, LONG y1, LONG x2, LONG y2, RECTL *r, MIX mix) {
  ++g_counts[INDEX_DrvLineTo];
  recordClip(c);
  return EngLineTo(s, c, b, x1, y1, x2, y2, r, mix);
}

BOOL APIENTRY hkTextOut(SURFOBJ *s, STROBJ *str, FONTOBJ *fo, CLIPOBJ *c, RECTL *ex, RECTL *op, BRUSHOBJ *bf,
                        BRUSHOBJ *bo, POINTL *o, MIX mix) {
  ++g_counts[INDEX_DrvTextOut];
  recordClip(c);
  // The text as characters: glyph indices go back through the font's glyph
  // set, searching its runs.
  ULONG n = str->cGlyphs < 255 ? str->cGlyphs : 255;
  if (str->flAccel & SO_GLYPHINDEX_TEXTOUT) {
    FD_GLYPHSET *gs = FONTOBJ_pfdg(fo);
    STROBJ_vEnumStart(str);
    ULONG count = 0, k = 0;
    GLYPHPOS *gp = nullptr;
    BOOL more;
    do {
      more = STROBJ_bEnum(str, &count, &gp);
      for (ULONG i = 0; i < count && k < n; ++i, ++k) {
        WCHAR ch = u'?';
        for (ULONG r = 0; gs && r < gs->cRuns && ch == u'?'; ++r)
          for (USHORT j = 0; j < gs->awcrun[r].cGlyphs; ++j)
            if (gs->awcrun[r].phg[j] == gp[i].hg) {
              ch = WCHAR(gs->awcrun[r].wcLow + j);
              break;
            }
        g_text[k] = ch;
      }
    } while (more);
    g_text[k] = 0;
  } else {
    for (ULONG i = 0; i < n; ++i) g_text[i] = str->pwszOrg ? str->pwszOrg[i] : 0;
    g_text[n] = 0;
  }
  return EngTextOut(s, str, fo, c, ex, op, bf, bo, o, mix);
}

}  // namespace

extern "C" {

BOOL APIENTRY DrvEnableDriver(ULONG, ULONG cj, DRVENABLEDATA *pded) {
  static DRVFN table[] = {
      {INDEX_DrvEnablePDEV, asPfn(hkEnablePDEV)},
      {INDEX_DrvCompletePDEV, asPfn(hkCompletePDEV)},
      {INDEX_DrvResetPDEV, asPfn(hkResetPDEV)},
      {INDEX_DrvDisablePDEV, asPfn(hkDisablePDEV)},
      {INDEX_DrvEnableSurface, asPfn(hkEnableSurface)},
      {INDEX_DrvDisableSurface, asPfn(hkDisableSurface)},
      {INDEX_DrvStartDoc, asPfn(hkStartDoc)},
      {INDEX_DrvStartPage, asPfn(hkStartPage)},
      {INDEX_DrvSendPage, asPfn(hkSendPage)},
      {INDEX_DrvEndDoc, asPfn(hkEndDoc)},
      {INDEX_DrvEscape, asPfn(hkEscape)},
      {INDEX_DrvBitBlt, asPfn(hkBitBlt)},
      {INDEX_DrvCopyBits, asPfn(hkCopyBits)},
      {INDEX_DrvStretchBlt, asPfn(hkStretchBlt)},
      {INDEX_DrvPaint, asPfn(hkPaint)},
      {INDEX_DrvStrokePath, asPfn(hkStrokePath)},
      {INDEX_DrvFillPath, asPfn(hkFillPath)},
      {INDEX_DrvStrokeAndFillPath, asPfn(hkStrokeAndFillPath)},
      {INDEX_DrvLineTo, asPfn(hkLineTo)},
      {INDEX_DrvTextOut, asPfn(hkTextOut)},
  };
  if (cj < sizeof(DRVENABLEDATA) || !pded) return FALSE;
  pded->iDriverVersion = DDI_DRIVER_VERSION_NT5;
  pded->c = sizeof(table) / sizeof(table[0]);
  pded->pdrvfn = table;
  std::memset(g_counts, 0, sizeof(g_counts));
  g_events[0] = 0;
  return TRUE;
}

VOID APIENTRY DrvDisableDriver(VOID) { event("disabledriver"); }

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

}  // extern "C"
