// Internals of GDI shared by its parts: the GDI objects behind HGDIOBJ
// handles, device contexts and their state, the loaded graphics drivers, and
// the helpers that turn a drawing call into the engine's objects and the
// driver's hooks.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <windows.h>
#include <winddi.h>

#include "core/internal.h"
#include "gdi32/engine/engine.h"

namespace winsim::gdi {

// A GDI object is a handle of the process's handle table, of its own kind;
// the stock objects are handles of the whole machine.  An object keeps its
// one handle, which the calls that hand it back (SelectObject,
// GetCurrentObject, GetStockObject) return.
struct GdiObj : KObject {
  explicit GdiObj(Kind k) : KObject(k) {}
  HGDIOBJ handle = nullptr;
  DWORD type = 0;
  bool stock = false;
  int selections = 0;  // DCs that hold it
  bool deletePending = false;
};

struct PenObj : GdiObj {
  PenObj() : GdiObj(Kind::GdiPen) {}
  LOGPEN lp{};
};

struct BitmapObj;

struct BrushObj : GdiObj {
  BrushObj() : GdiObj(Kind::GdiBrush) {}
  LOGBRUSH lb{};
  // Pattern brushes keep their own copy of the pattern as RGB, with the
  // monochrome flag deciding whether text and background colours apply.
  LONG cx = 0, cy = 0;
  std::vector<ULONG> rgb;
  std::vector<BYTE> mono;  // 1 bpp patterns: the bit of every pixel
  bool monoPattern = false;
};

struct FontObj : GdiObj {
  FontObj() : GdiObj(Kind::GdiFont) {}
  LOGFONTW lf{};
};

struct BitmapObj : GdiObj {
  BitmapObj() : GdiObj(Kind::GdiBitmap) {}
  // The bitmap's bits: a surface of the engine, whose handle the bitmap
  // closes as it goes; it holds a reference of its own besides, so that the
  // surface outlives a reset that closes the engine's handles first.
  Surface *surf = nullptr;
  bool dib = false;
  BITMAPINFOHEADER bih{};
  void *selectedDc = nullptr;
  void setSurface(Surface *s) {
    if (s) s->refs.fetch_add(1);
    surf = s;
  }
  ~BitmapObj() override {
    destroySurface(surf);
    release(surf);
  }
};

struct RegionObj : GdiObj {
  RegionObj() : GdiObj(Kind::GdiRegion) {}
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

// The objects a DC holds are pointers: a selected object stays until its
// last DC lets it go (DeleteObject only marks it).
struct DcState {
  PenObj *pen = nullptr;
  BrushObj *brush = nullptr;
  FontObj *font = nullptr;
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
  DcObj() : GdiObj(Kind::GdiDc) {}
  // A DC left open when its process ends goes without its driver's calls;
  // the engine forgets its device.
  ~DcObj() override {
    if (pdev) unregisterDevice(&pdev->dev);
    if (view) {
      destroySurface(view);
      release(view);
    }
  }
  bool memory = false;
  // A window's DC draws on a view of its top-level window's pixels, which
  // user32 owns; `pixels` keeps them while the DC is out, even when the
  // window is resized or goes.  No view: the window has no visible part.
  bool windowDc = false;
  HWND window = nullptr;  // NULL: the screen's DC, which has no pixels here
  Surface *view = nullptr;
  std::shared_ptr<void> pixels;
  // The part of the view the window may draw on (the parts of it its parents
  // cover, the update region of BeginPaint), in the view's coordinates; it
  // limits every drawing call besides the DC's own clip region.
  bool hasVisible = false;
  std::vector<RECTL> visible;
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

extern std::recursive_mutex g_gdiLock;
extern std::map<HMODULE, std::unique_ptr<Driver>> g_drivers;
extern GdiObj *g_stock[DC_PEN + 1];
extern BitmapObj *g_stockBitmap;

constexpr KindMask gdiKindsOf(DWORD type) {
  switch (type) {
    case 0: return kGdiKinds;
    case OBJ_DC:
    case OBJ_MEMDC: return kindBit(Kind::GdiDc);
    case OBJ_PEN: return kindBit(Kind::GdiPen);
    case OBJ_BRUSH: return kindBit(Kind::GdiBrush);
    case OBJ_FONT: return kindBit(Kind::GdiFont);
    case OBJ_BITMAP: return kindBit(Kind::GdiBitmap);
    case OBJ_REGION: return kindBit(Kind::GdiRegion);
    default: return 0;
  }
}

// The object of a handle of the calling process (or a stock object) of a
// type, any for 0; OBJ_DC takes memory DCs too.  NULL for anything else.
template <typename T>
T *obj(HGDIOBJ h, DWORD type) {
  auto *o = static_cast<GdiObj *>(peekHandle(h, gdiKindsOf(type)));
  if (!o || (type == OBJ_MEMDC && o->type != OBJ_MEMDC)) return nullptr;
  return static_cast<T *>(o);
}

inline GdiObj *anyObj(HGDIOBJ h) { return obj<GdiObj>(h, 0); }

// Gives a new object its handle in the calling process's table.
template <typename T>
T *addObj(T *o, DWORD type) {
  o->type = type;
  o->handle = registerObject(o);
  return o;
}

// Closes the object's handle, which frees it.
inline void freeObj(GdiObj *o) { closeHandle(o->handle, o->kind); }

inline DcObj *dcOf(HDC h) { return obj<DcObj>(h, OBJ_DC); }

struct Target {
  DcObj *dc = nullptr;
  Surface *surf = nullptr;
  SURFOBJ *so = nullptr;
  bool device = false;
  FLONG hooks = 0;
  PDev *pdev = nullptr;
  const Palette *pal = nullptr;
};

// The surface a DC draws on; false for an information DC or a DC without one.
bool targetOf(DcObj *dc, Target &t);
PFN hook(const Target &t, ULONG index, FLONG flag);
ULONG colorIndex(const Target &t, COLORREF c);

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
    if (t.dc->hasVisible) {
      std::vector<RECTL> limited;
      for (const RECTL &r : rects)
        for (const RECTL &v : t.dc->visible) {
          RECTL i{std::max(r.left, v.left), std::max(r.top, v.top), std::min(r.right, v.right),
                  std::min(r.bottom, v.bottom)};
          if (i.left < i.right && i.top < i.bottom) limited.push_back(i);
        }
      rects.swap(limited);
    }
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
  CallBrush(const Target &t, COLORREF solid) { brush.bo.iSolidColor = colorIndex(t, solid); }
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
      if (b->monoPattern)
        c = b->mono[i] ? dc->st.bk : dc->st.text;
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

inline POINTFIX fx(LONG x, LONG y) { return POINTFIX{FIX(int64_t(x) * 16), FIX(int64_t(y) * 16)}; }

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
using FnTextOut = BOOL(APIENTRY *)(SURFOBJ *, STROBJ *, FONTOBJ *, CLIPOBJ *, RECTL *, RECTL *, BRUSHOBJ *, BRUSHOBJ *,
                                   POINTL *, MIX);
using FnEscape = ULONG(APIENTRY *)(SURFOBJ *, ULONG, ULONG, PVOID, ULONG, PVOID);
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

struct TextLayout {
  std::vector<HGLYPH> glyphs;
  std::vector<LONG> x;  // pen positions relative to the start
  LONG width = 0;
};

void initStock();
void select(GdiObj *o);
void deselect(GdiObj *o);
void initState(DcState &st, bool memory);
void releaseState(DcState &st);
void holdState(DcState &st);
MIX mixOf(const DcObj *dc);
RECTL boundsOf(const std::vector<std::vector<POINTFIX>> &polys, LONG grow);
BOOL doBitBlt(const Target &t, SURFOBJ *src, CLIPOBJ *pco, XLATEOBJ *pxlo, RECTL *rc, POINTL *ptSrc, BRUSHOBJ *pbo,
              POINTL *org, ROP4 rop4);
BOOL doCopyBits(const Target &t, SURFOBJ *src, CLIPOBJ *pco, XLATEOBJ *pxlo, RECTL *rc, POINTL *ptSrc);
BOOL doFill(const Target &t, PATHOBJ *po, CLIPOBJ *pco, BRUSHOBJ *pbo, MIX mix, FLONG opts);
BOOL doStroke(const Target &t, PATHOBJ *po, CLIPOBJ *pco, BRUSHOBJ *pbo, LINEATTRS *la, MIX mix);
// Draws figures with the DC's pen and brush: fills the closed ones with the
// brush, strokes all with the pen.  Wide pens are widened here into areas
// (the driver claims no wide-line support) and filled with the pen's colour.
BOOL drawFigures(DcObj *dc, const std::vector<std::pair<std::vector<POINTFIX>, bool>> &figs, bool fill);
LONG MulDivSafe(LONG a, LONG b, LONG c);
LONG dpiY(DcObj *dc);
FontFace *faceOf(DcObj *dc);
TextLayout layoutText(FontFace *face, LPCWSTR s, UINT c, bool glyphIndices, const INT *dx, bool pdy);
BOOL textOut(DcObj *dc, int x, int y, UINT options, const RECT *rc, LPCWSTR s, UINT c, const INT *dx);
// Copies or stretches a source surface onto a DC with a ROP3.  The
// destination rectangle may be mirrored (negative width or height).
BOOL blit(DcObj *dst, LONG xd, LONG yd, LONG wd, LONG hd, Surface *src, LONG xs, LONG ys, LONG ws, LONG hs, DWORD rop,
          COLORREF monoFore, COLORREF monoBack);
// A surface over a caller's device-independent bitmap (read in place), with
// its colour table.  NULL for formats that are not supported.
Surface *dibSurface(const BITMAPINFO *bmi, const void *bits, UINT usage, UINT lines = 0);
Driver *loadDriver(const std::u16string &path);
void releaseDriver(Driver *d);
// A device instance of the driver, enabled and completed (its surface comes
// separately).  The DEVMODE handed to the driver is the engine's own copy.
std::unique_ptr<PDev> enablePDev(Driver *drv, const PDev &proto);
bool enableSurface(PDev *p);
void disablePDev(std::unique_ptr<PDev> &p);
SURFOBJ *primary(DcObj *dc);
void destroyDc(DcObj *dc, bool callDriver);
std::vector<BYTE> copyDevMode(const DEVMODEW *dm);
bool bitmapInfoOf(const BITMAPINFOHEADER &h, ULONG &fmt);
// For user32: a DC of `window` that draws on cx x cy 32-bit pixels at `bits`,
// top-down rows `stride` bytes apart (0x00RRGGBB each); `pixels` owns them.
// A size of zero makes a DC that draws nothing.  `visible`, when given,
// limits the drawing to those rectangles of the view.
HDC createWindowDc(HWND window, void *bits, LONG cx, LONG cy, LONG stride, std::shared_ptr<void> pixels,
                   const std::vector<RECTL> *visible);
// True for a DC that GetDC, GetWindowDC or BeginPaint gave.
bool isWindowDc(HDC hdc);
// The window of a window DC; NULL for any other DC.
HWND windowOfDc(HDC hdc);

}  // namespace winsim::gdi
