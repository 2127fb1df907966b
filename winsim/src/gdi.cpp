// The application side of GDI.  A printer DC loads the printer's graphics DLL
// and enables it as the Windows engine does (DrvEnableDriver, DrvEnablePDEV,
// DrvCompletePDEV, DrvEnableSurface); every drawing call is turned into the
// DDI objects (CLIPOBJ, BRUSHOBJ, PATHOBJ, STROBJ, FONTOBJ, XLATEOBJ) and given
// to the driver's hook when the surface hooks that call, else to the engine's
// own routine.  Memory DCs draw on engine bitmaps with the engine routines.
// Coordinates are device units (MM_TEXT).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <unordered_set>

#include <winspool.h>

#include "gdi_internal.h"
#include "internal.h"

namespace winsim::gdi {

namespace {

constexpr uint32_t kObjMagic = 0x47444F42;  // "GDOB"

struct GdiObj {
  uint32_t magic = kObjMagic;
  DWORD type = 0;
  bool stock = false;
  int selections = 0;       // DCs that hold it
  bool deletePending = false;
  virtual ~GdiObj() { magic = 0; }
};

struct PenObj : GdiObj {
  LOGPEN lp{};
};

struct BitmapObj;

struct BrushObj : GdiObj {
  LOGBRUSH lb{};
  // Pattern brushes keep their own copy of the pattern as RGB, with the
  // monochrome flag deciding whether text and background colours apply.
  LONG cx = 0, cy = 0;
  std::vector<ULONG> rgb;
  std::vector<BYTE> mono;  // 1 bpp patterns: the bit of every pixel
  bool monoPattern = false;
};

struct FontObj : GdiObj {
  LOGFONTW lf{};
};

struct BitmapObj : GdiObj {
  Surface *surf = nullptr;
  bool dib = false;
  BITMAPINFOHEADER bih{};
  void *selectedDc = nullptr;
  ~BitmapObj() override { destroySurface(surf); }
};

struct RegionObj : GdiObj {
  std::vector<RECTL> rects;
};

// A loaded graphics driver, enabled once per module and shared by the DCs
// that use it.
struct Driver {
  HMODULE module = nullptr;
  int refs = 0;
  PFN fn[INDEX_LAST + 1] = {};
  PFN disable = nullptr;
};

struct PDev {
  Driver *drv = nullptr;
  Device dev;
  GDIINFO gi{};
  DEVINFO di{};
  HSURF surf = nullptr;
  HSURF patterns[HS_DDI_MAX] = {};
  HANDLE printer = nullptr;
  std::vector<BYTE> devmode;
  std::u16string printerName, port;
};

struct DcState {
  HGDIOBJ pen = nullptr, brush = nullptr, font = nullptr;
  COLORREF text = 0, bk = 0xFFFFFF;
  int bkMode = OPAQUE, rop2 = R2_COPYPEN, stretch = BLACKONWHITE, polyFill = ALTERNATE;
  UINT align = TA_LEFT | TA_TOP | TA_NOUPDATECP;
  POINT cur{0, 0};
  bool hasClip = false;
  std::vector<RECTL> clip;
  COLORREF dcBrush = 0xFFFFFF, dcPen = 0;
  BitmapObj *bitmap = nullptr;
};

struct DcObj : GdiObj {
  bool memory = false;
  bool infoOnly = false;
  std::unique_ptr<PDev> pdev;
  DcState st;
  std::vector<DcState> saved;
  bool docStarted = false, pageStarted = false;
  DWORD jobId = 0;
};

// Function pointers of the driver's table are stored as PFN and called with
// their real types; the detour through void (*)() keeps the cast explicit.
template <typename T, typename P>
T fnCast(P p) {
  return reinterpret_cast<T>(reinterpret_cast<void (*)()>(p));
}

std::recursive_mutex g_gdiLock;
std::unordered_set<GdiObj *> g_objects;
std::map<HMODULE, std::unique_ptr<Driver>> g_drivers;
GdiObj *g_stock[DC_PEN + 1] = {};
BitmapObj *g_stockBitmap = nullptr;

template <typename T>
T *obj(HGDIOBJ h, DWORD type) {
  auto *o = static_cast<GdiObj *>(h);
  std::lock_guard<std::recursive_mutex> g(g_gdiLock);
  if (!o || !g_objects.count(o) || o->magic != kObjMagic) return nullptr;
  if (type && o->type != type && !(type == OBJ_DC && o->type == OBJ_MEMDC)) return nullptr;
  return static_cast<T *>(o);
}

GdiObj *anyObj(HGDIOBJ h) { return obj<GdiObj>(h, 0); }

template <typename T>
T *addObj(T *o, DWORD type) {
  o->type = type;
  std::lock_guard<std::recursive_mutex> g(g_gdiLock);
  g_objects.insert(o);
  return o;
}

void freeObj(GdiObj *o) {
  std::lock_guard<std::recursive_mutex> g(g_gdiLock);
  g_objects.erase(o);
  delete o;
}

DcObj *dcOf(HDC h) { return obj<DcObj>(h, OBJ_DC); }

void initStock() {
  std::lock_guard<std::recursive_mutex> g(g_gdiLock);
  if (g_stock[WHITE_BRUSH]) return;
  auto brush = [](int i, UINT style, COLORREF c) {
    auto *b = addObj(new BrushObj, OBJ_BRUSH);
    b->lb = LOGBRUSH{style, c, 0};
    b->stock = true;
    g_stock[i] = b;
  };
  brush(WHITE_BRUSH, BS_SOLID, RGB(255, 255, 255));
  brush(LTGRAY_BRUSH, BS_SOLID, RGB(192, 192, 192));
  brush(GRAY_BRUSH, BS_SOLID, RGB(128, 128, 128));
  brush(DKGRAY_BRUSH, BS_SOLID, RGB(64, 64, 64));
  brush(BLACK_BRUSH, BS_SOLID, RGB(0, 0, 0));
  brush(NULL_BRUSH, BS_NULL, 0);
  brush(DC_BRUSH, BS_SOLID, RGB(255, 255, 255));
  auto pen = [](int i, UINT style, COLORREF c) {
    auto *p = addObj(new PenObj, OBJ_PEN);
    p->lp = LOGPEN{style, POINT{0, 0}, c};
    p->stock = true;
    g_stock[i] = p;
  };
  pen(WHITE_PEN, PS_SOLID, RGB(255, 255, 255));
  pen(BLACK_PEN, PS_SOLID, RGB(0, 0, 0));
  pen(NULL_PEN, PS_NULL, 0);
  pen(DC_PEN, PS_SOLID, 0);
  auto font = [](int i, const char16_t *face, LONG height, BYTE pitch) {
    auto *f = addObj(new FontObj, OBJ_FONT);
    f->lf.lfHeight = height;
    f->lf.lfWeight = FW_NORMAL;
    f->lf.lfPitchAndFamily = pitch;
    lstrcpynW(f->lf.lfFaceName, face, LF_FACESIZE);
    f->stock = true;
    g_stock[i] = f;
  };
  font(OEM_FIXED_FONT, u"Courier New", 0, FIXED_PITCH);
  font(ANSI_FIXED_FONT, u"Courier New", 0, FIXED_PITCH);
  font(ANSI_VAR_FONT, u"Arial", 0, VARIABLE_PITCH);
  font(SYSTEM_FONT, u"Arial", 0, VARIABLE_PITCH);
  font(DEVICE_DEFAULT_FONT, u"Arial", 0, VARIABLE_PITCH);
  font(SYSTEM_FIXED_FONT, u"Courier New", 0, FIXED_PITCH);
  font(DEFAULT_GUI_FONT, u"Arial", 0, VARIABLE_PITCH);
  g_stockBitmap = addObj(new BitmapObj, OBJ_BITMAP);
  g_stockBitmap->surf = createSurface(1, 1, BMF_1BPP, false);
  g_stockBitmap->stock = true;
}

void select(GdiObj *o) {
  if (o) ++o->selections;
}

void deselect(GdiObj *o) {
  if (!o) return;
  if (o->selections > 0) --o->selections;
  if (o->deletePending && o->selections == 0) freeObj(o);
}

void initState(DcState &st, bool memory) {
  initStock();
  st = DcState{};
  st.pen = g_stock[BLACK_PEN];
  st.brush = g_stock[WHITE_BRUSH];
  st.font = g_stock[SYSTEM_FONT];
  select(static_cast<GdiObj *>(st.pen));
  select(static_cast<GdiObj *>(st.brush));
  select(static_cast<GdiObj *>(st.font));
  if (memory) {
    st.bitmap = g_stockBitmap;
    select(st.bitmap);
  }
}

void releaseState(DcState &st) {
  deselect(static_cast<GdiObj *>(st.pen));
  deselect(static_cast<GdiObj *>(st.brush));
  deselect(static_cast<GdiObj *>(st.font));
  if (st.bitmap) {
    st.bitmap->selectedDc = nullptr;
    deselect(st.bitmap);
  }
  st = DcState{};
}

void holdState(DcState &st) {
  select(static_cast<GdiObj *>(st.pen));
  select(static_cast<GdiObj *>(st.brush));
  select(static_cast<GdiObj *>(st.font));
  select(st.bitmap);
}

// ------------------------------------------------------------ drawing targets

struct Target {
  DcObj *dc = nullptr;
  Surface *surf = nullptr;
  SURFOBJ *so = nullptr;
  bool device = false;
  FLONG hooks = 0;
  PDev *pdev = nullptr;
  const Palette *pal = nullptr;
};

bool targetOf(DcObj *dc, Target &t) {
  t = Target{};
  t.dc = dc;
  if (!dc || dc->infoOnly) return false;
  if (dc->memory) {
    BitmapObj *b = dc->st.bitmap;
    if (!b || !b->surf) return false;
    t.surf = b->surf;
  } else {
    if (!dc->pdev) return false;
    t.surf = surfaceFromHandle(dc->pdev->surf);
    if (!t.surf) return false;
    t.device = true;
    t.hooks = t.surf->hooks;
    t.pdev = dc->pdev.get();
    t.pal = paletteFromHandle(dc->pdev->di.hpalDefault);
  }
  t.so = &t.surf->so;
  return true;
}

PFN hook(const Target &t, ULONG index, FLONG flag) {
  if (!t.device || !t.pdev || !t.pdev->drv) return nullptr;
  if (flag && !(t.hooks & flag)) return nullptr;
  return t.pdev->drv->fn[index];
}

ULONG colorIndex(const Target &t, COLORREF c) {
  return colorToIndex(c & 0xFFFFFF, t.so->iBitmapFormat, t.pal, t.surf->colors.empty() ? nullptr : &t.surf->colors);
}

// The clip object of one call: the DC's clip region and the surface,
// limited to the bounds of what is drawn.
struct CallClip {
  Clip clip;
  TransientGuard guard{&clip};
  bool empty = false;
  CallClip(const Target &t, const RECTL &bounds) {
    RECTL surf{0, 0, t.so->sizlBitmap.cx, t.so->sizlBitmap.cy};
    RECTL b{std::max(bounds.left, surf.left), std::max(bounds.top, surf.top), std::min(bounds.right, surf.right),
            std::min(bounds.bottom, surf.bottom)};
    std::vector<RECTL> rects = t.dc->st.hasClip ? t.dc->st.clip : std::vector<RECTL>{surf};
    if (b.left >= b.right || b.top >= b.bottom) {
      empty = true;
      b = RECTL{0, 0, 0, 0};
    }
    setClip(clip, rects, b, true);
    if (clip.rects.empty()) empty = true;
    if (clip.co.iDComplexity == DC_TRIVIAL) clip.co.rclBounds = b;
  }
  CLIPOBJ *co() { return &clip.co; }
};

// The BRUSHOBJ of a GDI brush (or a solid colour) for one call.
struct CallBrush {
  Brush brush;
  TransientGuard guard{&brush};
  bool none = false;
  CallBrush(const Target &t, COLORREF solid) {
    brush.bo.iSolidColor = colorIndex(t, solid);
  }
  CallBrush(const Target &t, BrushObj *b, DcObj *dc) {
    if (!b || b->lb.lbStyle == BS_NULL) {
      none = true;
      brush.bo.iSolidColor = 0;
      return;
    }
    if (b->lb.lbStyle == BS_SOLID) {
      COLORREF c = (b == g_stock[DC_BRUSH]) ? dc->st.dcBrush : b->lb.lbColor;
      brush.bo.iSolidColor = colorIndex(t, c);
      return;
    }
    brush.bo.iSolidColor = 0xFFFFFFFF;
    if (b->lb.lbStyle == BS_HATCHED) {
      brush.cx = brush.cy = 8;
      ULONG fore = colorIndex(t, b->lb.lbColor), back = colorIndex(t, dc->st.bk);
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
          bool on = false;
          switch (b->lb.lbHatch) {
            case HS_HORIZONTAL: on = y == 4; break;
            case HS_VERTICAL: on = x == 4; break;
            case HS_FDIAGONAL: on = x == y; break;
            case HS_BDIAGONAL: on = x == 7 - y; break;
            case HS_CROSS: on = x == 4 || y == 4; break;
            default: on = x == y || x == 7 - y; break;
          }
          brush.pattern.push_back(on ? fore : back);
          brush.background.push_back(on ? 0 : 1);
        }
      return;
    }
    brush.cx = b->cx;
    brush.cy = b->cy;
    for (size_t i = 0; i < b->rgb.size(); ++i) {
      COLORREF c;
      if (b->monoPattern) c = b->mono[i] ? dc->st.bk : dc->st.text;
      else {
        ULONG rgb = b->rgb[i];
        c = RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
      }
      brush.pattern.push_back(colorIndex(t, c));
    }
  }
  BRUSHOBJ *bo() { return none ? nullptr : &brush.bo; }
};

struct CallPath {
  Path path;
  TransientGuard guard{&path};
  void add(const std::vector<POINTFIX> &pts, bool closed) {
    path.subpaths.push_back(SubPath{pts, closed});
    path.update();
  }
};

POINTFIX fx(LONG x, LONG y) { return POINTFIX{FIX(int64_t(x) * 16), FIX(int64_t(y) * 16)}; }

MIX mixOf(const DcObj *dc) {
  ULONG r2 = ULONG(dc->st.rop2);
  return r2 | (r2 << 8);
}

RECTL boundsOf(const std::vector<std::vector<POINTFIX>> &polys, LONG grow) {
  int64_t l = INT64_MAX, t = INT64_MAX, r = INT64_MIN, b = INT64_MIN;
  for (auto &p : polys)
    for (auto &pt : p) {
      l = std::min<int64_t>(l, pt.x);
      t = std::min<int64_t>(t, pt.y);
      r = std::max<int64_t>(r, pt.x);
      b = std::max<int64_t>(b, pt.y);
    }
  if (l > r) return RECTL{0, 0, 0, 0};
  auto clampL = [](int64_t v) { return LONG(std::clamp<int64_t>(v, INT32_MIN / 2, INT32_MAX / 2)); };
  return RECTL{clampL((l >> 4) - grow), clampL((t >> 4) - grow), clampL((r >> 4) + 1 + grow), clampL((b >> 4) + 1 + grow)};
}

// ------------------------------------------------------------ hook calls

using FnBitBlt = BOOL(APIENTRY *)(SURFOBJ *, SURFOBJ *, SURFOBJ *, CLIPOBJ *, XLATEOBJ *, RECTL *, POINTL *, POINTL *,
                                  BRUSHOBJ *, POINTL *, ROP4);
using FnCopyBits = BOOL(APIENTRY *)(SURFOBJ *, SURFOBJ *, CLIPOBJ *, XLATEOBJ *, RECTL *, POINTL *);
using FnStretchBlt = BOOL(APIENTRY *)(SURFOBJ *, SURFOBJ *, SURFOBJ *, CLIPOBJ *, XLATEOBJ *, COLORADJUSTMENT *,
                                      POINTL *, RECTL *, RECTL *, POINTL *, ULONG);
using FnPaint = BOOL(APIENTRY *)(SURFOBJ *, CLIPOBJ *, BRUSHOBJ *, POINTL *, MIX);
using FnFillPath = BOOL(APIENTRY *)(SURFOBJ *, PATHOBJ *, CLIPOBJ *, BRUSHOBJ *, POINTL *, MIX, FLONG);
using FnStrokePath = BOOL(APIENTRY *)(SURFOBJ *, PATHOBJ *, CLIPOBJ *, XFORMOBJ *, BRUSHOBJ *, POINTL *, LINEATTRS *,
                                      MIX);
using FnStrokeAndFillPath = BOOL(APIENTRY *)(SURFOBJ *, PATHOBJ *, CLIPOBJ *, XFORMOBJ *, BRUSHOBJ *, LINEATTRS *,
                                             BRUSHOBJ *, POINTL *, MIX, FLONG);
using FnLineTo = BOOL(APIENTRY *)(SURFOBJ *, CLIPOBJ *, BRUSHOBJ *, LONG, LONG, LONG, LONG, RECTL *, MIX);
using FnTextOut = BOOL(APIENTRY *)(SURFOBJ *, STROBJ *, FONTOBJ *, CLIPOBJ *, RECTL *, RECTL *, BRUSHOBJ *,
                                   BRUSHOBJ *, POINTL *, MIX);
using FnEscape = ULONG(APIENTRY *)(SURFOBJ *, ULONG, ULONG, PVOID, ULONG, PVOID);

BOOL doBitBlt(const Target &t, SURFOBJ *src, CLIPOBJ *pco, XLATEOBJ *pxlo, RECTL *rc, POINTL *ptSrc, BRUSHOBJ *pbo,
              POINTL *org, ROP4 rop4) {
  if (auto f = fnCast<FnBitBlt>(hook(t, INDEX_DrvBitBlt, HOOK_BITBLT)))
    return f(t.so, src, nullptr, pco, pxlo, rc, ptSrc, nullptr, pbo, org, rop4);
  return EngBitBlt(t.so, src, nullptr, pco, pxlo, rc, ptSrc, nullptr, pbo, org, rop4);
}

BOOL doCopyBits(const Target &t, SURFOBJ *src, CLIPOBJ *pco, XLATEOBJ *pxlo, RECTL *rc, POINTL *ptSrc) {
  if (auto f = fnCast<FnCopyBits>(hook(t, INDEX_DrvCopyBits, HOOK_COPYBITS)))
    return f(t.so, src, pco, pxlo, rc, ptSrc);
  if (auto f = fnCast<FnBitBlt>(hook(t, INDEX_DrvBitBlt, HOOK_BITBLT)))
    return f(t.so, src, nullptr, pco, pxlo, rc, ptSrc, nullptr, nullptr, nullptr, 0xCCCC);
  return EngCopyBits(t.so, src, pco, pxlo, rc, ptSrc);
}

BOOL doFill(const Target &t, PATHOBJ *po, CLIPOBJ *pco, BRUSHOBJ *pbo, MIX mix, FLONG opts) {
  POINTL org{0, 0};
  if (auto f = fnCast<FnFillPath>(hook(t, INDEX_DrvFillPath, HOOK_FILLPATH)))
    return f(t.so, po, pco, pbo, &org, mix, opts);
  return EngFillPath(t.so, po, pco, pbo, &org, mix, opts);
}

BOOL doStroke(const Target &t, PATHOBJ *po, CLIPOBJ *pco, BRUSHOBJ *pbo, LINEATTRS *la, MIX mix) {
  POINTL org{0, 0};
  if (auto f = fnCast<FnStrokePath>(hook(t, INDEX_DrvStrokePath, HOOK_STROKEPATH)))
    return f(t.so, po, pco, nullptr, pbo, &org, la, mix);
  return EngStrokePath(t.so, po, pco, nullptr, pbo, &org, la, mix);
}

// Draws figures with the DC's pen and brush: fills the closed ones with the
// brush, strokes all with the pen.  Wide pens are widened here into areas
// (the driver claims no wide-line support) and filled with the pen's colour.
BOOL drawFigures(DcObj *dc, const std::vector<std::pair<std::vector<POINTFIX>, bool>> &figs, bool fill) {
  Target t;
  if (!targetOf(dc, t)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  auto *pen = obj<PenObj>(dc->st.pen, OBJ_PEN);
  auto *brushObj = obj<BrushObj>(dc->st.brush, OBJ_BRUSH);
  bool stroke = pen && (pen->lp.lopnStyle & PS_STYLE_MASK) != PS_NULL;
  LONG width = pen ? std::max<LONG>(pen->lp.lopnWidth.x, 1) : 1;
  bool wide = stroke && width > 1 && !(t.pdev && (t.pdev->di.flGraphicsCaps & GCAPS_GEOMETRICWIDE));
  std::vector<std::vector<POINTFIX>> all;
  for (auto &f : figs) all.push_back(f.first);
  RECTL bounds = boundsOf(all, width);
  CallClip clip(t, bounds);
  if (clip.empty) return TRUE;
  MIX mix = mixOf(dc);
  COLORREF penColor = pen ? (pen == g_stock[DC_PEN] ? dc->st.dcPen : pen->lp.lopnColor) : 0;
  CallBrush fillBrush(t, fill ? brushObj : nullptr, dc);
  CallBrush penBrush(t, penColor);
  FLONG opts = dc->st.polyFill == WINDING ? FP_WINDINGMODE : FP_ALTERNATEMODE;
  LINEATTRS la{};
  la.iJoin = JOIN_ROUND;
  la.iEndCap = ENDCAP_ROUND;
  la.elWidth.l = 1;
  if (stroke && width > 1 && !wide) {
    la.fl = LA_GEOMETRIC;
    la.elWidth.e = FLOATL(width);
  }
  CallPath path;
  for (auto &f : figs) path.add(f.first, f.second || fill);
  BOOL ok = TRUE;
  bool doFillNow = fill && fillBrush.bo();
  if (doFillNow && stroke && !wide) {
    POINTL org{0, 0};
    if (auto f = fnCast<FnStrokeAndFillPath>(hook(t, INDEX_DrvStrokeAndFillPath, HOOK_STROKEANDFILLPATH)))
      return f(t.so, &path.path.po, clip.co(), nullptr, penBrush.bo(), &la, fillBrush.bo(), &org, mix, opts);
  }
  if (doFillNow) ok = doFill(t, &path.path.po, clip.co(), fillBrush.bo(), mix, opts) && ok;
  if (!stroke) return ok;
  if (wide) {
    CallPath outline;
    for (auto &f : figs)
      for (auto &poly : widen(f.first, f.second || fill, double(width))) outline.add(poly, true);
    return doFill(t, &outline.path.po, clip.co(), penBrush.bo(), mix, FP_WINDINGMODE) && ok;
  }
  // For open figures the pen's end point is left out, as LineTo does.
  CallPath strokePath;
  for (auto &f : figs) strokePath.add(f.first, f.second || fill);
  return doStroke(t, &strokePath.path.po, clip.co(), penBrush.bo(), &la, mix) && ok;
}

// ------------------------------------------------------------ text

LONG MulDivSafe(LONG a, LONG b, LONG c) { return c ? LONG(int64_t(a) * b / c) : 0; }

LONG dpiY(DcObj *dc) {
  if (dc->pdev && dc->pdev->gi.ulLogPixelsY) return LONG(dc->pdev->gi.ulLogPixelsY);
  return 96;
}

FontFace *faceOf(DcObj *dc) {
  auto *f = obj<FontObj>(dc->st.font, OBJ_FONT);
  FontRequest r;
  if (f) {
    r.face = f->lf.lfFaceName;
    r.height = f->lf.lfHeight;
    r.width = f->lf.lfWidth;
    r.weight = f->lf.lfWeight;
    r.italic = f->lf.lfItalic != 0;
  }
  // The default height is 12 points at the device's resolution.
  if (r.height == 0) r.height = -MulDivSafe(12, dpiY(dc), 72);
  return openFace(r);
}

struct TextLayout {
  std::vector<HGLYPH> glyphs;
  std::vector<LONG> x;  // pen positions relative to the start
  LONG width = 0;
};

TextLayout layoutText(FontFace *face, LPCWSTR s, UINT c, bool glyphIndices, const INT *dx, bool pdy) {
  TextLayout l;
  LONG pos = 0;
  for (UINT i = 0; i < c; ++i) {
    HGLYPH g = glyphIndices ? HGLYPH(s[i]) : glyphIndex(face, s[i]);
    l.glyphs.push_back(g);
    l.x.push_back(pos);
    pos += dx ? dx[pdy ? 2 * i : i] : glyphAdvance(face, g);
  }
  l.width = pos;
  return l;
}

BOOL textOut(DcObj *dc, int x, int y, UINT options, const RECT *rc, LPCWSTR s, UINT c, const INT *dx) {
  Target t;
  if (!targetOf(dc, t)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (c && !s) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  FontFace *face = faceOf(dc);
  if (!face && c) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  auto *fobj = obj<FontObj>(dc->st.font, OBJ_FONT);
  bool glyphIdx = (options & ETO_GLYPH_INDEX) != 0;
  TextLayout lay = layoutText(face, s, c, glyphIdx, dx, (options & ETO_PDY) != 0);
  UINT align = dc->st.align;
  if (align & TA_UPDATECP) {
    x = dc->st.cur.x;
    y = dc->st.cur.y;
  }
  LONG startX = x;
  if ((align & TA_CENTER) == TA_CENTER) startX = x - lay.width / 2;
  else if (align & TA_RIGHT) startX = x - lay.width;
  LONG ascent = faceAscent(face), descent = faceDescent(face);
  LONG baseline = y;
  if ((align & TA_BASELINE) == TA_BASELINE) baseline = y;
  else if (align & TA_BOTTOM) baseline = y - descent;
  else baseline = y + ascent;
  if (align & TA_UPDATECP) dc->st.cur.x = (align & TA_RIGHT) && !((align & TA_CENTER) == TA_CENTER) ? x - lay.width : x + lay.width;

  RECTL bk{startX, baseline - ascent, startX + lay.width, baseline + descent};
  RECTL opaque{};
  bool hasOpaque = false;
  if ((options & ETO_OPAQUE) && rc) {
    opaque = RECTL{rc->left, rc->top, rc->right, rc->bottom};
    hasOpaque = true;
  } else if (dc->st.bkMode == OPAQUE && c) {
    opaque = bk;
    hasOpaque = true;
  }
  if (opaque.left > opaque.right) std::swap(opaque.left, opaque.right);
  if (opaque.top > opaque.bottom) std::swap(opaque.top, opaque.bottom);
  // Glyph positions and bits.
  Str str;
  TransientGuard strGuard(&str);
  Font font;
  TransientGuard fontGuard(&font);
  font.face = face;
  font.fo.iUniq = faceUniq(face);
  font.fo.iFace = faceUniq(face);
  font.fo.cxMax = ULONG(faceMaxAdvance(face));
  font.fo.flFontType = FO_TYPE_TRUETYPE;
  font.fo.iTTUniq = faceUniq(face);
  font.fo.sizLogResPpi = SIZE{LONG(dc->pdev ? dc->pdev->gi.ulLogPixelsX : 96), dpiY(dc)};
  font.fo.ulStyleSize = ULONG(std::abs(fobj ? fobj->lf.lfHeight : 0));
  std::vector<GLYPHDEF> defs(c);
  RECTL ink = bk;
  str.glyphs.resize(c);
  str.text.assign(s, s + c);
  str.text.push_back(0);
  str.font = &font;
  for (UINT i = 0; i < c; ++i) {
    GLYPHPOS &gp = str.glyphs[i];
    gp.hg = lay.glyphs[i];
    defs[i].pgb = glyphBits(face, gp.hg);
    gp.pgdf = &defs[i];
    gp.ptl = POINTL{startX + lay.x[i], baseline};
    if (GLYPHBITS *gb = defs[i].pgb) {
      ink.left = std::min(ink.left, gp.ptl.x + gb->ptlOrigin.x);
      ink.top = std::min(ink.top, gp.ptl.y + gb->ptlOrigin.y);
      ink.right = std::max(ink.right, gp.ptl.x + gb->ptlOrigin.x + gb->sizlBitmap.cx);
      ink.bottom = std::max(ink.bottom, gp.ptl.y + gb->ptlOrigin.y + gb->sizlBitmap.cy);
    }
  }
  str.so.cGlyphs = c;
  str.so.flAccel = SO_HORIZONTAL | (dx ? 0 : SO_FLAG_DEFAULT_PLACEMENT) | (glyphIdx ? SO_GLYPHINDEX_TEXTOUT : 0);
  str.so.rclBkGround = bk;
  str.so.pgp = c ? str.glyphs.data() : nullptr;
  str.so.pwszOrg = str.text.data();
  // Underline and strike-out as extra rectangles.
  RECTL extra[3] = {};
  int ne = 0;
  if (fobj && fobj->lf.lfUnderline) {
    LONG th = std::max<LONG>(1, (ascent + descent) / 14);
    extra[ne++] = RECTL{startX, baseline + th, startX + lay.width, baseline + 2 * th};
  }
  if (fobj && fobj->lf.lfStrikeOut) {
    LONG th = std::max<LONG>(1, (ascent + descent) / 14);
    extra[ne++] = RECTL{startX, baseline - ascent / 3 - th, startX + lay.width, baseline - ascent / 3};
  }
  RECTL bounds = ink;
  if (hasOpaque) {
    bounds.left = std::min(bounds.left, opaque.left);
    bounds.top = std::min(bounds.top, opaque.top);
    bounds.right = std::max(bounds.right, opaque.right);
    bounds.bottom = std::max(bounds.bottom, opaque.bottom);
  }
  for (int i = 0; i < ne; ++i) {
    bounds.left = std::min(bounds.left, extra[i].left);
    bounds.top = std::min(bounds.top, extra[i].top);
    bounds.right = std::max(bounds.right, extra[i].right);
    bounds.bottom = std::max(bounds.bottom, extra[i].bottom);
  }
  if ((options & ETO_CLIPPED) && rc) {
    bounds.left = std::max<LONG>(bounds.left, std::min(rc->left, rc->right));
    bounds.top = std::max<LONG>(bounds.top, std::min(rc->top, rc->bottom));
    bounds.right = std::min<LONG>(bounds.right, std::max(rc->left, rc->right));
    bounds.bottom = std::min<LONG>(bounds.bottom, std::max(rc->top, rc->bottom));
  }
  CallClip clip(t, bounds);
  if (clip.empty) return TRUE;
  CallBrush fore(t, dc->st.text);
  CallBrush back(t, dc->st.bk);
  POINTL org{0, 0};
  if (c == 0) {
    if (!hasOpaque) return TRUE;
    return doBitBlt(t, nullptr, clip.co(), nullptr, &opaque, nullptr, back.bo(), &org, 0xF0F0);
  }
  MIX mix = R2_COPYPEN | (R2_COPYPEN << 8);
  if (auto f = fnCast<FnTextOut>(hook(t, INDEX_DrvTextOut, HOOK_TEXTOUT)))
    return f(t.so, &str.so, &font.fo, clip.co(), ne ? extra : nullptr, hasOpaque ? &opaque : nullptr, fore.bo(),
             hasOpaque ? back.bo() : nullptr, &org, mix);
  return EngTextOut(t.so, &str.so, &font.fo, clip.co(), ne ? extra : nullptr, hasOpaque ? &opaque : nullptr,
                    fore.bo(), hasOpaque ? back.bo() : nullptr, &org, mix);
}

// ------------------------------------------------------------ blits

// Copies or stretches a source surface onto a DC with a ROP3.  The
// destination rectangle may be mirrored (negative width or height).
BOOL blit(DcObj *dst, LONG xd, LONG yd, LONG wd, LONG hd, Surface *src, LONG xs, LONG ys, LONG ws, LONG hs,
          DWORD rop, COLORREF monoFore, COLORREF monoBack) {
  Target t;
  if (!targetOf(dst, t)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  BYTE r3 = BYTE((rop >> 16) & 0xFF);
  ROP4 rop4 = ROP4(r3) | (ROP4(r3) << 8);
  RECTL dr{xd, yd, xd + wd, yd + hd};
  RECTL drOrdered{std::min(dr.left, dr.right), std::min(dr.top, dr.bottom), std::max(dr.left, dr.right),
                  std::max(dr.top, dr.bottom)};
  if (drOrdered.left == drOrdered.right || drOrdered.top == drOrdered.bottom) return TRUE;
  Xlate x;
  TransientGuard xg(&x);
  buildXlate(x, src, t.surf, t.pal, monoFore, monoBack);
  CallBrush brush(t, obj<BrushObj>(dst->st.brush, OBJ_BRUSH), dst);
  POINTL org{0, 0};
  bool same = wd == ws && hd == hs && wd > 0 && hd > 0;
  if (same) {
    // Source and destination clipped together so that the source stays
    // inside its bitmap.
    LONG dx0 = xd, dy0 = yd;
    if (xs < 0) { dx0 -= xs; xs = 0; }
    if (ys < 0) { dy0 -= ys; ys = 0; }
    RECTL rc{dx0, dy0, std::min<LONG>(xd + wd, dx0 + (src->so.sizlBitmap.cx - xs)),
             std::min<LONG>(yd + hd, dy0 + (src->so.sizlBitmap.cy - ys))};
    if (rc.left >= rc.right || rc.top >= rc.bottom) return TRUE;
    CallClip clip(t, rc);
    if (clip.empty) return TRUE;
    POINTL ps{xs, ys};
    if (r3 == 0xCC) return doCopyBits(t, &src->so, clip.co(), &x.xo, &rc, &ps);
    return doBitBlt(t, &src->so, clip.co(), &x.xo, &rc, &ps, brush.bo(), &org, rop4);
  }
  RECTL sr{xs, ys, xs + ws, ys + hs};
  CallClip clip(t, drOrdered);
  if (clip.empty) return TRUE;
  ULONG mode = ULONG(dst->st.stretch);
  COLORADJUSTMENT ca{};
  ca.caSize = sizeof(ca);
  POINTL ht{0, 0};
  if (r3 == 0xCC) {
    if (auto f = fnCast<FnStretchBlt>(hook(t, INDEX_DrvStretchBlt, HOOK_STRETCHBLT)))
      return f(t.so, &src->so, nullptr, clip.co(), &x.xo, &ca, &ht, &dr, &sr, nullptr, mode);
    return EngStretchBlt(t.so, &src->so, nullptr, clip.co(), &x.xo, &ca, &ht, &dr, &sr, nullptr, mode);
  }
  // Another ROP: stretch into a bitmap of the destination's format first,
  // then blit that with the ROP.
  LONG tw = drOrdered.right - drOrdered.left, th = drOrdered.bottom - drOrdered.top;
  Surface *tmp = createSurface(tw, th, t.so->iBitmapFormat, true);
  if (!tmp) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  tmp->colors = t.surf->colors;
  RECTL tr{dr.left - drOrdered.left, dr.top - drOrdered.top, dr.right - drOrdered.left, dr.bottom - drOrdered.top};
  EngStretchBlt(&tmp->so, &src->so, nullptr, nullptr, &x.xo, &ca, &ht, &tr, &sr, nullptr, mode);
  POINTL ps{0, 0};
  BOOL ok = doBitBlt(t, &tmp->so, clip.co(), nullptr, &drOrdered, &ps, brush.bo(), &org, rop4);
  destroySurface(tmp);
  return ok;
}

// A surface over a caller's device-independent bitmap (read in place), with
// its colour table.  NULL for formats that are not supported.
Surface *dibSurface(const BITMAPINFO *bmi, const void *bits, UINT usage, UINT lines = 0) {
  if (!bmi || !bits) return nullptr;
  const BITMAPINFOHEADER &h = bmi->bmiHeader;
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0 || h.biPlanes != 1) return nullptr;
  ULONG fmt;
  switch (h.biBitCount) {
    case 1: fmt = BMF_1BPP; break;
    case 4: fmt = BMF_4BPP; break;
    case 8: fmt = BMF_8BPP; break;
    case 16: fmt = BMF_16BPP; break;
    case 24: fmt = BMF_24BPP; break;
    case 32: fmt = BMF_32BPP; break;
    default: return nullptr;
  }
  if (h.biCompression != BI_RGB && !(h.biCompression == BI_BITFIELDS && (h.biBitCount == 16 || h.biBitCount == 32)))
    return nullptr;
  LONG height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  if (h.biHeight == INT32_MIN) return nullptr;
  if (lines) height = LONG(std::min<UINT>(lines, UINT(height)));
  LONG stride = LONG(((int64_t(h.biWidth) * h.biBitCount + 31) / 32) * 4);
  Surface *s = createSurface(h.biWidth, height, fmt, h.biHeight < 0, const_cast<void *>(bits), stride);
  if (!s) return nullptr;
  if (h.biBitCount <= 8) {
    ULONG n = h.biClrUsed ? std::min<ULONG>(h.biClrUsed, 1u << h.biBitCount) : (1u << h.biBitCount);
    const BYTE *tab = reinterpret_cast<const BYTE *>(bmi) + h.biSize;
    for (ULONG i = 0; i < n; ++i) {
      if (usage == DIB_PAL_COLORS) {
        // Palette indices: the default palette's first and last entries are
        // black and white; the rest are taken as grey levels.
        WORD idx = reinterpret_cast<const WORD *>(tab)[i];
        ULONG g = idx >= 255 ? 255 : idx;
        s->colors.push_back((g << 16) | (g << 8) | g);
      } else {
        const RGBQUAD &q = reinterpret_cast<const RGBQUAD *>(tab)[i];
        s->colors.push_back((ULONG(q.rgbRed) << 16) | (ULONG(q.rgbGreen) << 8) | q.rgbBlue);
      }
    }
  }
  return s;
}

// ------------------------------------------------------------ printer DCs

Driver *loadDriver(const std::u16string &path) {
  HMODULE m = LoadLibraryW(path.c_str());
  if (!m) return nullptr;
  std::lock_guard<std::recursive_mutex> g(g_gdiLock);
  auto it = g_drivers.find(m);
  if (it != g_drivers.end()) {
    FreeLibrary(m);  // the driver holds one reference already
    ++it->second->refs;
    return it->second.get();
  }
  using QueryInfo = BOOL(APIENTRY *)(DWORD, PVOID, DWORD, PDWORD);
  if (auto q = fnCast<QueryInfo>(GetProcAddress(m, "DrvQueryDriverInfo"))) {
    // Only user-mode drivers can run in a process.
    DWORD um = 0, need = 0;
    if (!q(DRVQUERY_USERMODE, &um, sizeof(um), &need) || !um) {
      FreeLibrary(m);
      SetLastError(ERROR_BAD_EXE_FORMAT);
      return nullptr;
    }
  }
  using Enable = BOOL(APIENTRY *)(ULONG, ULONG, DRVENABLEDATA *);
  auto enable = fnCast<Enable>(GetProcAddress(m, "DrvEnableDriver"));
  DRVENABLEDATA ded{};
  if (!enable || !enable(DDI_DRIVER_VERSION_NT5_01, sizeof(ded), &ded) || (ded.c && !ded.pdrvfn)) {
    FreeLibrary(m);
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  auto d = std::make_unique<Driver>();
  d->module = m;
  d->refs = 1;
  for (ULONG i = 0; i < ded.c; ++i)
    if (ded.pdrvfn[i].iFunc <= ULONG(INDEX_LAST)) d->fn[ded.pdrvfn[i].iFunc] = ded.pdrvfn[i].pfn;
  d->disable = d->fn[INDEX_DrvDisableDriver] ? d->fn[INDEX_DrvDisableDriver]
                                             : fnCast<PFN>(GetProcAddress(m, "DrvDisableDriver"));
  Driver *raw = d.get();
  g_drivers[m] = std::move(d);
  return raw;
}

void releaseDriver(Driver *d) {
  if (!d) return;
  HMODULE m = nullptr;
  {
    std::lock_guard<std::recursive_mutex> g(g_gdiLock);
    if (--d->refs > 0) return;
    if (d->disable) fnCast<VOID (*)()>(d->disable)();
    m = d->module;
    g_drivers.erase(m);
  }
  FreeLibrary(m);
}

using FnEnablePDEV = DHPDEV(APIENTRY *)(DEVMODEW *, LPWSTR, ULONG, HSURF *, ULONG, ULONG *, ULONG, DEVINFO *, HDEV,
                                        LPWSTR, HANDLE);
using FnCompletePDEV = VOID(APIENTRY *)(DHPDEV, HDEV);
using FnResetPDEV = BOOL(APIENTRY *)(DHPDEV, DHPDEV);
using FnDisablePDEV = VOID(APIENTRY *)(DHPDEV);
using FnEnableSurface = HSURF(APIENTRY *)(DHPDEV);
using FnDisableSurface = VOID(APIENTRY *)(DHPDEV);
using FnStartDoc = BOOL(APIENTRY *)(SURFOBJ *, LPWSTR, DWORD);
using FnEndDoc = BOOL(APIENTRY *)(SURFOBJ *, FLONG);
using FnPage = BOOL(APIENTRY *)(SURFOBJ *);

// A device instance of the driver, enabled and completed (its surface comes
// separately).  The DEVMODE handed to the driver is the engine's own copy.
std::unique_ptr<PDev> enablePDev(Driver *drv, const PDev &proto) {
  auto p = std::make_unique<PDev>();
  p->drv = drv;
  p->printer = proto.printer;
  p->printerName = proto.printerName;
  p->port = proto.port;
  p->devmode = proto.devmode;
  p->dev.printer = proto.printer;
  p->dev.driverPath = proto.dev.driverPath;
  p->dev.dataFile = proto.dev.dataFile;
  auto enable = fnCast<FnEnablePDEV>(drv->fn[INDEX_DrvEnablePDEV]);
  if (!enable) return nullptr;
  registerDevice(&p->dev);
  std::u16string port = p->port, name = p->printerName;
  DEVMODEW *dm = p->devmode.empty() ? nullptr : reinterpret_cast<DEVMODEW *>(p->devmode.data());
  DHPDEV dh = enable(dm, port.data(), HS_DDI_MAX, p->patterns, sizeof(GDIINFO), reinterpret_cast<ULONG *>(&p->gi),
                     sizeof(DEVINFO), &p->di, reinterpret_cast<HDEV>(&p->dev), name.data(), p->printer);
  if (!dh) {
    unregisterDevice(&p->dev);
    return nullptr;
  }
  p->dev.dhpdev = dh;
  p->dev.palette = p->di.hpalDefault;
  if (auto complete = fnCast<FnCompletePDEV>(drv->fn[INDEX_DrvCompletePDEV]))
    complete(dh, reinterpret_cast<HDEV>(&p->dev));
  return p;
}

bool enableSurface(PDev *p) {
  auto es = fnCast<FnEnableSurface>(p->drv->fn[INDEX_DrvEnableSurface]);
  HSURF s = es ? es(p->dev.dhpdev) : nullptr;
  // Only engine-managed bitmaps can be drawn on here.
  if (!s || !surfaceFromHandle(s)) return false;
  p->surf = s;
  Surface *surf = surfaceFromHandle(s);
  if (!surf->device) {
    surf->so.hdev = reinterpret_cast<HDEV>(&p->dev);
    surf->so.dhpdev = p->dev.dhpdev;
  }
  return true;
}

void disablePDev(std::unique_ptr<PDev> &p) {
  if (!p) return;
  if (p->surf)
    if (auto ds = fnCast<FnDisableSurface>(p->drv->fn[INDEX_DrvDisableSurface])) ds(p->dev.dhpdev);
  p->surf = nullptr;
  if (auto dp = fnCast<FnDisablePDEV>(p->drv->fn[INDEX_DrvDisablePDEV])) dp(p->dev.dhpdev);
  unregisterDevice(&p->dev);
  p.reset();
}

SURFOBJ *primary(DcObj *dc) {
  if (!dc || !dc->pdev) return nullptr;
  Surface *s = surfaceFromHandle(dc->pdev->surf);
  return s ? &s->so : nullptr;
}

void destroyDc(DcObj *dc, bool callDriver) {
  if (dc->pdev) {
    Driver *drv = dc->pdev->drv;
    HANDLE printer = dc->pdev->printer;
    if (callDriver) {
      disablePDev(dc->pdev);
      releaseDriver(drv);
      ClosePrinter(printer);
    } else {
      unregisterDevice(&dc->pdev->dev);
    }
  }
  for (auto &s : dc->saved) releaseState(s);
  releaseState(dc->st);
  freeObj(dc);
}

std::vector<BYTE> copyDevMode(const DEVMODEW *dm) {
  if (!dm || dm->dmSize < offsetof(DEVMODEW, dmFields)) return {};
  const BYTE *b = reinterpret_cast<const BYTE *>(dm);
  return std::vector<BYTE>(b, b + dm->dmSize + dm->dmDriverExtra);
}

bool bitmapInfoOf(const BITMAPINFOHEADER &h, ULONG &fmt) {
  switch (h.biBitCount) {
    case 1: fmt = BMF_1BPP; return true;
    case 4: fmt = BMF_4BPP; return true;
    case 8: fmt = BMF_8BPP; return true;
    case 16: fmt = BMF_16BPP; return true;
    case 24: fmt = BMF_24BPP; return true;
    case 32: fmt = BMF_32BPP; return true;
    default: return false;
  }
}

}  // namespace

void resetGdi() {
  std::lock_guard<std::recursive_mutex> g(g_gdiLock);
  // DCs a test left open go without calling their drivers.
  std::vector<GdiObj *> all(g_objects.begin(), g_objects.end());
  for (GdiObj *o : all)
    if ((o->type == OBJ_DC || o->type == OBJ_MEMDC) && g_objects.count(o)) destroyDc(static_cast<DcObj *>(o), false);
  for (GdiObj *o : std::vector<GdiObj *>(g_objects.begin(), g_objects.end())) delete o;
  g_objects.clear();
  for (auto &s : g_stock) s = nullptr;
  g_stockBitmap = nullptr;
  g_drivers.clear();
  releaseFaces();
}

}  // namespace winsim::gdi

using namespace winsim;
using namespace winsim::gdi;

extern "C" {

// ------------------------------------------------------------ device contexts

HDC WINAPI CreateDCW(LPCWSTR pwszDriver, LPCWSTR pwszDevice, LPCWSTR pszPort, const DEVMODEW *pdm) {
  (void)pszPort;
  initStock();
  std::u16string device = fromW(pwszDevice);
  if (device.empty()) {
    // "DISPLAY" and the like: no display in this machine.
    (void)pwszDriver;
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HANDLE hPrinter = nullptr;
  PRINTER_DEFAULTSW defs{nullptr, nullptr, PRINTER_ACCESS_USE};
  if (!OpenPrinterW(device.data(), &hPrinter, &defs)) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return nullptr;
  }
  DWORD need = 0;
  GetPrinterDriverW(hPrinter, nullptr, 2, nullptr, 0, &need);
  std::vector<BYTE> dbuf(need ? need : 1);
  GetPrinterW(hPrinter, 2, nullptr, 0, &need);
  std::vector<BYTE> pbuf(need ? need : 1);
  if (!GetPrinterDriverW(hPrinter, nullptr, 2, dbuf.data(), DWORD(dbuf.size()), &need) ||
      !GetPrinterW(hPrinter, 2, pbuf.data(), DWORD(pbuf.size()), &need)) {
    ClosePrinter(hPrinter);
    SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
    return nullptr;
  }
  auto *di = reinterpret_cast<DRIVER_INFO_2W *>(dbuf.data());
  auto *pi = reinterpret_cast<PRINTER_INFO_2W *>(pbuf.data());
  PDev proto;
  proto.printer = hPrinter;
  proto.printerName = fromW(pi->pPrinterName);
  proto.port = fromW(pi->pPortName);
  proto.devmode = copyDevMode(pdm ? pdm : pi->pDevMode);
  proto.dev.driverPath = fromW(di->pDriverPath);
  proto.dev.dataFile = fromW(di->pDataFile);
  Driver *drv = proto.dev.driverPath.empty() ? nullptr : loadDriver(proto.dev.driverPath);
  if (!drv) {
    ClosePrinter(hPrinter);
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  std::unique_ptr<PDev> p = enablePDev(drv, proto);
  if (!p || !enableSurface(p.get())) {
    DWORD err = GetLastError();
    disablePDev(p);
    releaseDriver(drv);
    ClosePrinter(hPrinter);
    SetLastError(err ? err : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto *dc = addObj(new DcObj, OBJ_DC);
  dc->pdev = std::move(p);
  initState(dc->st, false);
  return reinterpret_cast<HDC>(static_cast<GdiObj *>(dc));
}

HDC WINAPI CreateICW(LPCWSTR pszDriver, LPCWSTR pszDevice, LPCWSTR pszPort, const DEVMODEW *pdm) {
  HDC h = CreateDCW(pszDriver, pszDevice, pszPort, pdm);
  if (DcObj *dc = dcOf(h)) dc->infoOnly = true;
  return h;
}

HDC WINAPI CreateCompatibleDC(HDC hdc) {
  initStock();
  DcObj *src = hdc ? dcOf(hdc) : nullptr;
  if (hdc && !src) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  auto *dc = addObj(new DcObj, OBJ_MEMDC);
  dc->memory = true;
  initState(dc->st, true);
  return reinterpret_cast<HDC>(static_cast<GdiObj *>(dc));
}

BOOL WINAPI DeleteDC(HDC hdc) {
  DcObj *dc = dcOf(hdc);
  if (!dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (dc->docStarted) AbortDoc(hdc);
  destroyDc(dc, true);
  return TRUE;
}

HDC WINAPI ResetDCW(HDC hdc, const DEVMODEW *lpdm) {
  DcObj *dc = dcOf(hdc);
  if (!dc || !dc->pdev) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (dc->pageStarted) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  PDev proto;
  proto.printer = dc->pdev->printer;
  proto.printerName = dc->pdev->printerName;
  proto.port = dc->pdev->port;
  proto.devmode = lpdm ? copyDevMode(lpdm) : dc->pdev->devmode;
  proto.dev.driverPath = dc->pdev->dev.driverPath;
  proto.dev.dataFile = dc->pdev->dev.dataFile;
  Driver *drv = dc->pdev->drv;
  std::unique_ptr<PDev> p = enablePDev(drv, proto);
  if (!p) return nullptr;
  // The driver hands its job state from the old instance to the new one.
  if (auto reset = fnCast<FnResetPDEV>(drv->fn[INDEX_DrvResetPDEV])) {
    if (!reset(dc->pdev->dev.dhpdev, p->dev.dhpdev)) {
      disablePDev(p);
      return nullptr;
    }
  }
  disablePDev(dc->pdev);
  if (!enableSurface(p.get())) {
    disablePDev(p);
    return nullptr;
  }
  dc->pdev = std::move(p);
  return hdc;
}

int WINAPI GetDeviceCaps(HDC hdc, int index) {
  DcObj *dc = dcOf(hdc);
  if (!dc) return 0;
  if (dc->pdev) {
    const GDIINFO &g = dc->pdev->gi;
    switch (index) {
      case DRIVERVERSION: return int(g.ulVersion);
      case TECHNOLOGY: return int(g.ulTechnology);
      case HORZSIZE: return int(g.ulHorzSize);
      case VERTSIZE: return int(g.ulVertSize);
      case HORZRES: return int(g.ulHorzRes);
      case VERTRES: return int(g.ulVertRes);
      case BITSPIXEL: return int(g.cBitsPixel);
      case PLANES: return int(g.cPlanes);
      case NUMCOLORS: return int(g.ulNumColors);
      case LOGPIXELSX: return int(g.ulLogPixelsX);
      case LOGPIXELSY: return int(g.ulLogPixelsY);
      case ASPECTX: return int(g.ulAspectX);
      case ASPECTY: return int(g.ulAspectY);
      case ASPECTXY: return int(g.ulAspectXY);
      case TEXTCAPS: return int(g.flTextCaps);
      case PHYSICALWIDTH: return int(g.szlPhysSize.cx);
      case PHYSICALHEIGHT: return int(g.szlPhysSize.cy);
      case PHYSICALOFFSETX: return int(g.ptlPhysOffset.x);
      case PHYSICALOFFSETY: return int(g.ptlPhysOffset.y);
      case RASTERCAPS: return RC_BITBLT | RC_BANDING | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB;
      case NUMFONTS: return int(dc->pdev->di.cFonts);
      default: return 0;
    }
  }
  Surface *s = dc->st.bitmap ? dc->st.bitmap->surf : nullptr;
  switch (index) {
    case TECHNOLOGY: return DT_RASDISPLAY;
    case BITSPIXEL: return s ? bitsPerPixel(s->so.iBitmapFormat) : 1;
    case PLANES: return 1;
    case HORZRES: return 1920;
    case VERTRES: return 1080;
    case LOGPIXELSX:
    case LOGPIXELSY: return 96;
    case HORZSIZE: return 508;
    case VERTSIZE: return 286;
    case RASTERCAPS: return RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB;
    default: return 0;
  }
}

int WINAPI SaveDC(HDC hdc) {
  DcObj *dc = dcOf(hdc);
  if (!dc) return 0;
  dc->saved.push_back(dc->st);
  holdState(dc->saved.back());
  return int(dc->saved.size());
}

BOOL WINAPI RestoreDC(HDC hdc, int nSavedDC) {
  DcObj *dc = dcOf(hdc);
  if (!dc || dc->saved.empty()) return FALSE;
  int n = int(dc->saved.size());
  int target = nSavedDC < 0 ? n + nSavedDC + 1 : nSavedDC;
  if (target < 1 || target > n) return FALSE;
  while (int(dc->saved.size()) > target) {
    releaseState(dc->saved.back());
    dc->saved.pop_back();
  }
  BitmapObj *bm = dc->st.bitmap;
  releaseState(dc->st);
  if (bm) bm->selectedDc = nullptr;
  dc->st = dc->saved.back();
  dc->saved.pop_back();
  if (dc->st.bitmap) dc->st.bitmap->selectedDc = dc;
  return TRUE;
}

// ------------------------------------------------------------ printing

int WINAPI StartDocW(HDC hdc, const DOCINFOW *lpdi) {
  DcObj *dc = dcOf(hdc);
  if (!dc || !dc->pdev || !lpdi) {
    SetLastError(dc ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return SP_ERROR;
  }
  if (dc->docStarted) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return SP_ERROR;
  }
  std::u16string name = fromW(lpdi->lpszDocName), out = fromW(lpdi->lpszOutput), type = u"RAW";
  DOC_INFO_1W d1{name.data(), out.empty() ? nullptr : out.data(), type.data()};
  DWORD job = StartDocPrinterW(dc->pdev->printer, 1, reinterpret_cast<LPBYTE>(&d1));
  if (!job) return SP_ERROR;
  SURFOBJ *so = primary(dc);
  if (auto f = fnCast<FnStartDoc>(dc->pdev->drv->fn[INDEX_DrvStartDoc])) {
    if (!f(so, name.data(), job)) {
      AbortPrinter(dc->pdev->printer);
      return SP_ERROR;
    }
  }
  dc->docStarted = true;
  dc->jobId = job;
  return int(job);
}

int WINAPI StartPage(HDC hdc) {
  DcObj *dc = dcOf(hdc);
  if (!dc || !dc->pdev || !dc->docStarted || dc->pageStarted) {
    SetLastError(dc ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return SP_ERROR;
  }
  if (!StartPagePrinter(dc->pdev->printer)) return SP_ERROR;
  if (auto f = fnCast<FnPage>(dc->pdev->drv->fn[INDEX_DrvStartPage]))
    if (!f(primary(dc))) return SP_ERROR;
  dc->pageStarted = true;
  return 1;
}

int WINAPI EndPage(HDC hdc) {
  DcObj *dc = dcOf(hdc);
  if (!dc || !dc->pdev || !dc->pageStarted) {
    SetLastError(dc ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return SP_ERROR;
  }
  dc->pageStarted = false;
  BOOL ok = TRUE;
  if (auto f = fnCast<FnPage>(dc->pdev->drv->fn[INDEX_DrvSendPage])) ok = f(primary(dc));
  EndPagePrinter(dc->pdev->printer);
  return ok ? 1 : SP_ERROR;
}

int WINAPI EndDoc(HDC hdc) {
  DcObj *dc = dcOf(hdc);
  if (!dc || !dc->pdev || !dc->docStarted) {
    SetLastError(dc ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return SP_ERROR;
  }
  if (dc->pageStarted) EndPage(hdc);
  BOOL ok = TRUE;
  if (auto f = fnCast<FnEndDoc>(dc->pdev->drv->fn[INDEX_DrvEndDoc])) ok = f(primary(dc), 0);
  dc->docStarted = false;
  if (!EndDocPrinter(dc->pdev->printer)) ok = FALSE;
  return ok ? 1 : SP_ERROR;
}

int WINAPI AbortDoc(HDC hdc) {
  DcObj *dc = dcOf(hdc);
  if (!dc || !dc->pdev || !dc->docStarted) {
    SetLastError(dc ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return SP_ERROR;
  }
  if (auto f = fnCast<FnEndDoc>(dc->pdev->drv->fn[INDEX_DrvEndDoc])) f(primary(dc), ED_ABORTDOC);
  dc->docStarted = false;
  dc->pageStarted = false;
  AbortPrinter(dc->pdev->printer);
  return 1;
}

int WINAPI SetAbortProc(HDC hdc, ABORTPROC) { return dcOf(hdc) ? 1 : SP_ERROR; }

int WINAPI ExtEscape(HDC hdc, int iEscape, int cjInput, LPCSTR lpInData, int cjOutput, LPSTR lpOutData) {
  DcObj *dc = dcOf(hdc);
  if (!dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return -1;
  }
  if (!dc->pdev || cjInput < 0 || cjOutput < 0 || (cjInput && !lpInData)) return 0;
  auto f = fnCast<FnEscape>(dc->pdev->drv->fn[INDEX_DrvEscape]);
  if (!f) return 0;
  return int(f(primary(dc), ULONG(iEscape), ULONG(cjInput), const_cast<LPSTR>(lpInData), ULONG(cjOutput), lpOutData));
}

int WINAPI Escape(HDC hdc, int iEscape, int cjIn, LPCSTR pvIn, LPVOID pvOut) {
  switch (iEscape) {
    case NEWFRAME: return EndPage(hdc) > 0 && StartPage(hdc) > 0 ? 1 : SP_ERROR;
    case ABORTDOC: return AbortDoc(hdc);
    case ENDDOC: return EndDoc(hdc);
    case STARTDOC: {
      std::u16string name = toUtf16(std::string(pvIn ? pvIn : "", pvIn ? size_t(std::max(cjIn, 0)) : 0));
      DOCINFOW di{sizeof(DOCINFOW), name.c_str(), nullptr, nullptr, 0};
      return StartDocW(hdc, &di);
    }
    default: return ExtEscape(hdc, iEscape, cjIn, pvIn, 0, static_cast<LPSTR>(pvOut));
  }
}

// ------------------------------------------------------------ objects

HGDIOBJ WINAPI GetStockObject(int i) {
  initStock();
  if (i < 0 || i > DC_PEN) return nullptr;
  return g_stock[i];
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
  DcObj *dc = dcOf(hdc);
  GdiObj *o = anyObj(h);
  if (!dc || !o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  HGDIOBJ *slot = nullptr;
  switch (o->type) {
    case OBJ_PEN: slot = &dc->st.pen; break;
    case OBJ_BRUSH: slot = &dc->st.brush; break;
    case OBJ_FONT: slot = &dc->st.font; break;
    case OBJ_BITMAP: {
      auto *b = static_cast<BitmapObj *>(o);
      if (!dc->memory || (b->selectedDc && b->selectedDc != dc)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
      }
      BitmapObj *old = dc->st.bitmap;
      if (old == b) return old;
      b->selectedDc = dc;
      select(b);
      if (old) old->selectedDc = nullptr;
      dc->st.bitmap = b;
      deselect(old);
      return old;
    }
    case OBJ_REGION: return reinterpret_cast<HGDIOBJ>(ULONG_PTR(SelectClipRgn(hdc, static_cast<HRGN>(h))));
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
  }
  HGDIOBJ old = *slot;
  if (old == h) return old;
  select(o);
  *slot = h;
  deselect(static_cast<GdiObj *>(old));
  return old;
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
  switch (type) {
    case OBJ_PEN: return dc->st.pen;
    case OBJ_BRUSH: return dc->st.brush;
    case OBJ_FONT: return dc->st.font;
    case OBJ_BITMAP: return dc->st.bitmap;
    default: return nullptr;
  }
}

HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH *plbrush) {
  if (!plbrush) return nullptr;
  switch (plbrush->lbStyle) {
    case BS_SOLID:
    case BS_NULL:
    case BS_HATCHED: break;
    case BS_PATTERN: return CreatePatternBrush(reinterpret_cast<HBITMAP>(plbrush->lbHatch));
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
  }
  auto *b = addObj(new BrushObj, OBJ_BRUSH);
  b->lb = *plbrush;
  b->lb.lbColor &= 0xFFFFFF;
  return reinterpret_cast<HBRUSH>(static_cast<GdiObj *>(b));
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
  return reinterpret_cast<HBRUSH>(static_cast<GdiObj *>(b));
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
  return reinterpret_cast<HPEN>(static_cast<GdiObj *>(p));
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
  return reinterpret_cast<HFONT>(static_cast<GdiObj *>(f));
}

HFONT WINAPI CreateFontW(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight, DWORD bItalic,
                         DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet, DWORD iOutPrecision,
                         DWORD iClipPrecision, DWORD iQuality, DWORD iPitchAndFamily, LPCWSTR pszFaceName) {
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
  return reinterpret_cast<HRGN>(static_cast<GdiObj *>(r));
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
  std::vector<RECTL> cur = dc->st.hasClip ? dc->st.clip : std::vector<RECTL>{RECTL{INT32_MIN / 2, INT32_MIN / 2, INT32_MAX / 2, INT32_MAX / 2}};
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
  std::vector<RECTL> cur = dc->st.hasClip ? dc->st.clip : std::vector<RECTL>{RECTL{INT32_MIN / 2, INT32_MIN / 2, INT32_MAX / 2, INT32_MAX / 2}};
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

#define DC_ATTR(getter, setter, field, type, failValue)  \
  type WINAPI setter(HDC hdc, type v) {                  \
    DcObj *dc = dcOf(hdc);                               \
    if (!dc) return failValue;                           \
    type old = type(dc->st.field);                       \
    dc->st.field = decltype(dc->st.field)(v);            \
    return old;                                          \
  }                                                      \
  type WINAPI getter(HDC hdc) {                          \
    DcObj *dc = dcOf(hdc);                               \
    return dc ? type(dc->st.field) : failValue;          \
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
  auto *pen = obj<PenObj>(dc->st.pen, OBJ_PEN);
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
    pts.push_back(POINTFIX{FIX(std::lround((cx + rx * std::cos(a)) * 16)), FIX(std::lround((cy + ry * std::sin(a)) * 16))});
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
  CallBrush brush(t, obj<BrushObj>(dc->st.brush, OBJ_BRUSH), dc);
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

int WINAPI StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc, int ySrc,
                         int SrcWidth, int SrcHeight, const VOID *lpBits, const BITMAPINFO *lpbmi, UINT iUsage,
                         DWORD rop) {
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
  BOOL ok = blit(dc, xDest, yDest, DestWidth, DestHeight, s, xSrc, top, SrcWidth, SrcHeight, rop, dc->st.text,
                 dc->st.bk);
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
    ok = blit(dc, xDest, yDest + r, LONG(w), 1, band, xSrc, bandRowFromTop, LONG(w), 1, SRCCOPY, dc->st.text, dc->st.bk);
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
  auto *fo = obj<FontObj>(dc->st.font, OBJ_FONT);
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
  ULONG rgb = t.pal && t.pal->mode == PAL_RGB ? ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF)
                                              : indexToRgb(t.surf, v);
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

// ------------------------------------------------------------ bitmaps

HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount, const VOID *lpBits) {
  if (nWidth <= 0 || nHeight <= 0 || nPlanes != 1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  BITMAPINFOHEADER bih{};
  bih.biBitCount = WORD(nBitCount);
  ULONG fmt;
  if (!bitmapInfoOf(bih, fmt)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Surface *s = createSurface(nWidth, nHeight, fmt, true);
  if (!s) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (lpBits) {
    // Device-dependent bits: rows top-down, padded to 16 bits.
    size_t rowIn = ((size_t(nWidth) * nBitCount + 15) / 16) * 2;
    size_t rowOut = size_t(s->so.lDelta);
    for (LONG y = 0; y < nHeight; ++y)
      std::memcpy(scan(&s->so, y), static_cast<const BYTE *>(lpBits) + rowIn * size_t(y), std::min(rowIn, rowOut));
  }
  auto *b = addObj(new BitmapObj, OBJ_BITMAP);
  b->surf = s;
  return reinterpret_cast<HBITMAP>(static_cast<GdiObj *>(b));
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
  DcObj *dc = dcOf(hdc);
  if (!dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  UINT bpp = 24;
  if (dc->memory && dc->st.bitmap && dc->st.bitmap->surf) bpp = UINT(bitsPerPixel(dc->st.bitmap->surf->so.iBitmapFormat));
  if (bpp == 1 && dc->memory) return CreateBitmap(cx, cy, 1, 1, nullptr);
  return CreateBitmap(cx, cy, 1, bpp == 1 ? 1 : 24, nullptr);
}

HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO *pbmi, UINT usage, VOID **ppvBits, HANDLE hSection,
                                DWORD offset) {
  (void)hdc;
  (void)hSection;
  (void)offset;
  if (ppvBits) *ppvBits = nullptr;
  if (!pbmi) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const BITMAPINFOHEADER &h = pbmi->bmiHeader;
  ULONG fmt;
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN ||
      !bitmapInfoOf(h, fmt) || (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  LONG height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  Surface *s = createSurface(h.biWidth, height, fmt, h.biHeight < 0);
  if (!s) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (h.biBitCount <= 8) {
    ULONG n = h.biClrUsed ? std::min<ULONG>(h.biClrUsed, 1u << h.biBitCount) : (1u << h.biBitCount);
    const BYTE *tab = reinterpret_cast<const BYTE *>(pbmi) + h.biSize;
    for (ULONG i = 0; i < n; ++i) {
      if (usage == DIB_PAL_COLORS) {
        ULONG g = reinterpret_cast<const WORD *>(tab)[i] >= 255 ? 255 : reinterpret_cast<const WORD *>(tab)[i];
        s->colors.push_back((g << 16) | (g << 8) | g);
      } else {
        const RGBQUAD &q = reinterpret_cast<const RGBQUAD *>(tab)[i];
        s->colors.push_back((ULONG(q.rgbRed) << 16) | (ULONG(q.rgbGreen) << 8) | q.rgbBlue);
      }
    }
  }
  auto *b = addObj(new BitmapObj, OBJ_BITMAP);
  b->surf = s;
  b->dib = true;
  b->bih = h;
  b->bih.biSize = sizeof(BITMAPINFOHEADER);
  b->bih.biSizeImage = s->so.cjBits;
  if (ppvBits) *ppvBits = s->so.pvBits;
  return reinterpret_cast<HBITMAP>(static_cast<GdiObj *>(b));
}

int WINAPI GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits, LPBITMAPINFO lpbmi, UINT usage) {
  (void)usage;
  auto *b = obj<BitmapObj>(hbm, OBJ_BITMAP);
  if (!dcOf(hdc) || !b || !b->surf || !lpbmi) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const SURFOBJ &so = b->surf->so;
  BITMAPINFOHEADER &h = lpbmi->bmiHeader;
  if (h.biSize < sizeof(BITMAPINFOHEADER)) return 0;
  if (!lpvBits && h.biBitCount == 0) {
    // Describe the bitmap.
    h.biWidth = so.sizlBitmap.cx;
    h.biHeight = (so.fjBitmap & BMF_TOPDOWN) && b->dib ? -so.sizlBitmap.cy : so.sizlBitmap.cy;
    h.biPlanes = 1;
    h.biBitCount = WORD(bitsPerPixel(so.iBitmapFormat));
    h.biCompression = BI_RGB;
    h.biSizeImage = ULONG(((int64_t(h.biWidth) * h.biBitCount + 31) / 32) * 4 * so.sizlBitmap.cy);
    return 1;
  }
  ULONG fmt;
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN || !bitmapInfoOf(h, fmt) ||
      (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS))
    return 0;
  // The colour table of the requested format comes with the bits.
  RGBQUAD *tab = reinterpret_cast<RGBQUAD *>(reinterpret_cast<BYTE *>(lpbmi) + h.biSize);
  std::vector<ULONG> colors;
  if (h.biBitCount <= 8) {
    ULONG n = 1u << h.biBitCount;
    if (!b->surf->colors.empty() && bitsPerPixel(so.iBitmapFormat) == h.biBitCount) colors = b->surf->colors;
    else if (h.biBitCount == 1) colors = {0x000000, 0xFFFFFF};
    else
      for (ULONG i = 0; i < n; ++i) {
        ULONG g = i * 255 / (n - 1);
        colors.push_back((g << 16) | (g << 8) | g);
      }
    colors.resize(n, 0);
    for (ULONG i = 0; i < n; ++i)
      tab[i] = RGBQUAD{BYTE(colors[i] & 0xFF), BYTE((colors[i] >> 8) & 0xFF), BYTE((colors[i] >> 16) & 0xFF), 0};
    h.biClrUsed = 0;
  }
  if (!lpvBits) return int(so.sizlBitmap.cy);
  LONG height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  LONG rows = std::min<LONG>(height, so.sizlBitmap.cy);
  if (start >= UINT(rows)) return 0;
  cLines = std::min<UINT>(cLines, UINT(rows) - start);
  LONG stride = LONG(((int64_t(h.biWidth) * h.biBitCount + 31) / 32) * 4);
  Surface *dst = createSurface(h.biWidth, LONG(cLines), fmt, true, lpvBits, stride);
  if (!dst) return 0;
  dst->colors = colors;
  Xlate x;
  TransientGuard xg(&x);
  buildXlate(x, b->surf, dst, nullptr, 0, 0xFFFFFF);
  bool topDown = h.biHeight < 0;
  LONG w = std::min<LONG>(h.biWidth, so.sizlBitmap.cx);
  for (UINT i = 0; i < cLines; ++i) {
    // Scan line start + i: from the bottom in bottom-up output.
    LONG srcRow = topDown ? LONG(start + i) : so.sizlBitmap.cy - 1 - LONG(start + i);
    LONG dstRow = topDown ? LONG(i) : LONG(i);
    if (srcRow < 0 || srcRow >= so.sizlBitmap.cy) continue;
    for (LONG col = 0; col < w; ++col) putPixel(&dst->so, col, dstRow, xlate(&x.xo, getPixel(&so, col, srcRow)));
  }
  destroySurface(dst);
  return int(cLines);
}

int WINAPI SetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, const VOID *lpBits, const BITMAPINFO *lpbmi,
                     UINT ColorUse) {
  auto *b = obj<BitmapObj>(hbm, OBJ_BITMAP);
  if (!b || !b->surf || !lpBits || !lpbmi) return 0;
  HDC mem = CreateCompatibleDC(hdc);
  HGDIOBJ old = SelectObject(mem, hbm);
  if (!old) {
    DeleteDC(mem);
    return 0;
  }
  LONG w = lpbmi->bmiHeader.biWidth;
  LONG fullH = lpbmi->bmiHeader.biHeight < 0 ? -lpbmi->bmiHeader.biHeight : lpbmi->bmiHeader.biHeight;
  int n = SetDIBitsToDevice(mem, 0, 0, DWORD(std::max<LONG>(w, 0)), DWORD(fullH), 0, 0, start, cLines, lpBits, lpbmi,
                            ColorUse);
  SelectObject(mem, old);
  DeleteDC(mem);
  return n;
}

BOOL WINAPI GdiFlush(void) { return TRUE; }

// ------------------------------------------------------------ user32 rectangles

int WINAPI FillRect(HDC hDC, const RECT *lprc, HBRUSH hbr) {
  DcObj *dc = dcOf(hDC);
  if (!dc || !lprc) return 0;
  // A system colour index (COLOR_... + 1) is not supported as a brush.
  if (reinterpret_cast<ULONG_PTR>(hbr) <= 31) hbr = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  if (!obj<BrushObj>(hbr, OBJ_BRUSH)) return 0;
  HGDIOBJ old = SelectObject(hDC, hbr);
  BOOL ok = PatBlt(hDC, lprc->left, lprc->top, lprc->right - lprc->left, lprc->bottom - lprc->top, PATCOPY);
  SelectObject(hDC, old);
  return ok ? 1 : 0;
}

int WINAPI FrameRect(HDC hDC, const RECT *lprc, HBRUSH hbr) {
  if (!lprc) return 0;
  RECT r = *lprc;
  if (r.right <= r.left || r.bottom <= r.top) return 0;
  RECT sides[4] = {{r.left, r.top, r.right, r.top + 1},
                   {r.left, r.bottom - 1, r.right, r.bottom},
                   {r.left, r.top, r.left + 1, r.bottom},
                   {r.right - 1, r.top, r.right, r.bottom}};
  for (auto &s : sides)
    if (!FillRect(hDC, &s, hbr)) return 0;
  return 1;
}

BOOL WINAPI SetRect(LPRECT lprc, int xLeft, int yTop, int xRight, int yBottom) {
  if (!lprc) return FALSE;
  *lprc = RECT{xLeft, yTop, xRight, yBottom};
  return TRUE;
}

BOOL WINAPI SetRectEmpty(LPRECT lprc) { return SetRect(lprc, 0, 0, 0, 0); }

BOOL WINAPI CopyRect(LPRECT lprcDst, const RECT *lprcSrc) {
  if (!lprcDst || !lprcSrc) return FALSE;
  *lprcDst = *lprcSrc;
  return TRUE;
}

BOOL WINAPI IsRectEmpty(const RECT *lprc) { return !lprc || lprc->right <= lprc->left || lprc->bottom <= lprc->top; }

BOOL WINAPI OffsetRect(LPRECT lprc, int dx, int dy) {
  if (!lprc) return FALSE;
  lprc->left += dx;
  lprc->right += dx;
  lprc->top += dy;
  lprc->bottom += dy;
  return TRUE;
}

BOOL WINAPI InflateRect(LPRECT lprc, int dx, int dy) {
  if (!lprc) return FALSE;
  lprc->left -= dx;
  lprc->right += dx;
  lprc->top -= dy;
  lprc->bottom += dy;
  return TRUE;
}

BOOL WINAPI IntersectRect(LPRECT lprcDst, const RECT *a, const RECT *b) {
  if (!lprcDst || !a || !b) return FALSE;
  RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right), std::min(a->bottom, b->bottom)};
  if (r.left >= r.right || r.top >= r.bottom) {
    *lprcDst = RECT{0, 0, 0, 0};
    return FALSE;
  }
  *lprcDst = r;
  return TRUE;
}

BOOL WINAPI UnionRect(LPRECT lprcDst, const RECT *a, const RECT *b) {
  if (!lprcDst || !a || !b) return FALSE;
  if (IsRectEmpty(a)) return CopyRect(lprcDst, b) && !IsRectEmpty(b);
  if (IsRectEmpty(b)) return CopyRect(lprcDst, a);
  *lprcDst = RECT{std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right), std::max(a->bottom, b->bottom)};
  return TRUE;
}

BOOL WINAPI PtInRect(const RECT *lprc, POINT pt) {
  return lprc && pt.x >= lprc->left && pt.x < lprc->right && pt.y >= lprc->top && pt.y < lprc->bottom;
}

}  // extern "C"

namespace winsim {

void setFontFolder(const std::string &hostDir) { gdi::setFontFolder(hostDir); }

}  // namespace winsim
