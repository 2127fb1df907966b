// The graphics engine's objects: surfaces, palettes, clip objects, brushes,
// colour translations, paths and the engine's small services.  A driver only
// ever holds pointers to the public part of each object; the engine keeps a
// table of the live ones so that a pointer it did not make is recognised and
// treated by its public fields alone.
#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_set>

#include <winspool.h>

#include "gdi_internal.h"
#include "internal.h"

namespace winsim::gdi {

namespace {

std::unordered_set<const void *> &live() {
  static std::unordered_set<const void *> s;
  return s;
}

template <typename T>
T *lookupLive(const void *p) {
  if (!p) return nullptr;
  std::lock_guard<std::recursive_mutex> g(engineLock());
  if (!live().count(p)) return nullptr;
  auto *t = static_cast<T *>(const_cast<void *>(p));
  return t;
}

void addLive(const void *p) {
  std::lock_guard<std::recursive_mutex> g(engineLock());
  live().insert(p);
}

void removeLive(const void *p) {
  std::lock_guard<std::recursive_mutex> g(engineLock());
  live().erase(p);
}

ULONG g_uniq = 1;

// Upper bound of one bitmap's bits: large enough for any card or page at
// printer resolution, small enough that a bad size fails cleanly.
constexpr uint64_t kMaxBitmapBytes = 512ull << 20;

}  // namespace

std::recursive_mutex &engineLock() {
  static std::recursive_mutex m;
  return m;
}

// ------------------------------------------------------------ surfaces

int bitsPerPixel(ULONG format) {
  switch (format) {
    case BMF_1BPP: return 1;
    case BMF_4BPP: return 4;
    case BMF_8BPP: return 8;
    case BMF_16BPP: return 16;
    case BMF_24BPP: return 24;
    case BMF_32BPP: return 32;
    default: return 0;
  }
}

Surface *createSurface(LONG cx, LONG cy, ULONG format, bool topDown, PVOID bits, LONG stride) {
  int bpp = bitsPerPixel(format);
  if (cx <= 0 || cy <= 0 || bpp == 0) return nullptr;
  uint64_t minStride = ((uint64_t(cx) * bpp + 31) / 32) * 4;
  uint64_t rowBytes = (uint64_t(cx) * bpp + 7) / 8;
  uint64_t useStride = minStride;
  if (bits) {
    uint64_t given = uint64_t(stride < 0 ? -int64_t(stride) : int64_t(stride));
    if (given < rowBytes) return nullptr;
    useStride = given;
  }
  if (useStride * uint64_t(cy) > kMaxBitmapBytes || useStride > uint64_t(std::numeric_limits<LONG>::max())) return nullptr;
  auto *s = new (std::nothrow) Surface;
  if (!s) return nullptr;
  BYTE *mem = static_cast<BYTE *>(bits);
  if (!mem) {
    mem = static_cast<BYTE *>(std::calloc(size_t(useStride * uint64_t(cy)), 1));
    if (!mem) {
      delete s;
      return nullptr;
    }
    s->owned = mem;
  }
  SURFOBJ &so = s->so;
  so.hsurf = reinterpret_cast<HSURF>(s);
  so.sizlBitmap.cx = cx;
  so.sizlBitmap.cy = cy;
  so.cjBits = ULONG(useStride * uint64_t(cy));
  so.pvBits = mem;
  so.iBitmapFormat = format;
  so.iType = STYPE_BITMAP;
  so.fjBitmap = topDown ? BMF_TOPDOWN : 0;
  {
    std::lock_guard<std::recursive_mutex> g(engineLock());
    so.iUniq = g_uniq++;
  }
  if (topDown) {
    so.pvScan0 = mem;
    so.lDelta = LONG(useStride);
  } else {
    so.pvScan0 = mem + useStride * uint64_t(cy - 1);
    so.lDelta = -LONG(useStride);
  }
  addLive(s);
  return s;
}

void destroySurface(Surface *s) {
  if (!s) return;
  removeLive(s);
  s->magic = 0;
  std::free(s->owned);
  delete s;
}

Surface *surfaceFromHandle(HSURF h) {
  Surface *s = lookupLive<Surface>(h);
  return s && s->magic == kSurfaceMagic ? s : nullptr;
}

Surface *surfaceFromObj(SURFOBJ *so) {
  // The SURFOBJ is the first member: its address is the surface's.
  return surfaceFromHandle(reinterpret_cast<HSURF>(so));
}

ULONG getPixel(const SURFOBJ *so, LONG x, LONG y) {
  const BYTE *row = scan(so, y);
  switch (so->iBitmapFormat) {
    case BMF_1BPP: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case BMF_4BPP: return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    case BMF_8BPP: return row[x];
    case BMF_16BPP: return ULONG(row[2 * x] | (row[2 * x + 1] << 8));
    case BMF_24BPP: {
      const BYTE *p = row + 3 * intptr_t(x);
      return ULONG(p[0] | (p[1] << 8) | (p[2] << 16));
    }
    case BMF_32BPP: {
      const BYTE *p = row + 4 * intptr_t(x);
      return ULONG(p[0] | (p[1] << 8) | (p[2] << 16));
    }
    default: return 0;
  }
}

void putPixel(SURFOBJ *so, LONG x, LONG y, ULONG v) {
  BYTE *row = scan(so, y);
  switch (so->iBitmapFormat) {
    case BMF_1BPP: {
      // Any non-zero index sets the bit: a colour that is not the first
      // entry never turns into ink on a monochrome surface.
      BYTE m = BYTE(0x80 >> (x & 7));
      if (v) row[x >> 3] |= m;
      else row[x >> 3] &= BYTE(~m);
      break;
    }
    case BMF_4BPP: {
      BYTE &b = row[x >> 1];
      if (x & 1) b = BYTE((b & 0xF0) | (v & 0x0F));
      else b = BYTE((b & 0x0F) | ((v & 0x0F) << 4));
      break;
    }
    case BMF_8BPP: row[x] = BYTE(v); break;
    case BMF_16BPP:
      row[2 * x] = BYTE(v);
      row[2 * x + 1] = BYTE(v >> 8);
      break;
    case BMF_24BPP: {
      BYTE *p = row + 3 * intptr_t(x);
      p[0] = BYTE(v);
      p[1] = BYTE(v >> 8);
      p[2] = BYTE(v >> 16);
      break;
    }
    case BMF_32BPP: {
      BYTE *p = row + 4 * intptr_t(x);
      p[0] = BYTE(v);
      p[1] = BYTE(v >> 8);
      p[2] = BYTE(v >> 16);
      p[3] = 0;
      break;
    }
    default: break;
  }
}

// ------------------------------------------------------------ palettes

Palette *paletteFromHandle(HPALETTE h) {
  Palette *p = lookupLive<Palette>(h);
  return p && p->magic == kPaletteMagic ? p : nullptr;
}

namespace {

ULONG nearest(ULONG rgb, const std::vector<ULONG> &table) {
  if (table.empty()) return 0;
  int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  ULONG best = 0;
  long bestDist = std::numeric_limits<long>::max();
  for (size_t i = 0; i < table.size(); ++i) {
    int dr = int((table[i] >> 16) & 0xFF) - r, dg = int((table[i] >> 8) & 0xFF) - g, db = int(table[i] & 0xFF) - b;
    long d = long(dr) * dr + long(dg) * dg + long(db) * db;
    if (d < bestDist) {
      bestDist = d;
      best = ULONG(i);
    }
  }
  return best;
}

ULONG fieldTo(ULONG value8, FLONG mask) {
  if (!mask) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  int bits = 0;
  while ((mask >> (shift + bits)) & 1) ++bits;
  ULONG v = bits >= 8 ? (value8 << (bits - 8)) : (value8 >> (8 - bits));
  return (v << shift) & mask;
}

}  // namespace

ULONG colorToIndex(COLORREF c, ULONG format, const Palette *pal, const std::vector<ULONG> *table) {
  ULONG rgb = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);  // 0x00RRGGBB
  if (table && !table->empty()) return nearest(rgb, *table);
  if (pal) {
    switch (pal->mode) {
      case PAL_RGB: return c & 0xFFFFFF;
      case PAL_BGR: return rgb;
      case PAL_BITFIELDS:
        return fieldTo((rgb >> 16) & 0xFF, pal->red) | fieldTo((rgb >> 8) & 0xFF, pal->green) |
               fieldTo(rgb & 0xFF, pal->blue);
      case PAL_INDEXED: return nearest(rgb, pal->entries);
      default: break;
    }
  }
  switch (format) {
    case BMF_1BPP: {
      // A monochrome surface without colours: the nearer of black and white.
      static const std::vector<ULONG> bw = {0x000000, 0xFFFFFF};
      return nearest(rgb, bw);
    }
    case BMF_16BPP:
      return (((rgb >> 19) & 0x1F) << 10) | (((rgb >> 11) & 0x1F) << 5) | ((rgb >> 3) & 0x1F);
    default: return rgb;
  }
}

ULONG indexToRgb(const Surface *s, ULONG index) {
  if (!s) return index & 0xFFFFFF;
  if (!s->colors.empty()) return index < s->colors.size() ? s->colors[index] : 0;
  switch (s->so.iBitmapFormat) {
    case BMF_1BPP: return index ? 0xFFFFFF : 0;
    case BMF_4BPP:
    case BMF_8BPP: return index ? 0xFFFFFF : 0;
    case BMF_16BPP: {
      ULONG r = (index >> 10) & 0x1F, g = (index >> 5) & 0x1F, b = index & 0x1F;
      return ((r * 255 / 31) << 16) | ((g * 255 / 31) << 8) | (b * 255 / 31);
    }
    default: return index & 0xFFFFFF;
  }
}

// ------------------------------------------------------------ clip objects

Clip *clipFromObj(CLIPOBJ *co) {
  Clip *c = lookupLive<Clip>(co);
  return c && c->magic == kClipMagic ? c : nullptr;
}

namespace {

bool intersect(RECTL &out, const RECTL &a, const RECTL &b) {
  out.left = std::max(a.left, b.left);
  out.top = std::max(a.top, b.top);
  out.right = std::min(a.right, b.right);
  out.bottom = std::min(a.bottom, b.bottom);
  return out.left < out.right && out.top < out.bottom;
}

bool inside(const RECTL &a, const RECTL &outer) {
  return a.left >= outer.left && a.top >= outer.top && a.right <= outer.right && a.bottom <= outer.bottom;
}

}  // namespace

void setClip(Clip &c, const std::vector<RECTL> &rects, const RECTL &bounds, bool trivialIfInside) {
  c.rects.clear();
  RECTL box{0, 0, 0, 0};
  bool any = false;
  for (const RECTL &r : rects) {
    RECTL i;
    if (!intersect(i, r, bounds)) continue;
    c.rects.push_back(i);
    if (!any) box = i;
    else {
      box.left = std::min(box.left, i.left);
      box.top = std::min(box.top, i.top);
      box.right = std::max(box.right, i.right);
      box.bottom = std::max(box.bottom, i.bottom);
    }
    any = true;
  }
  c.co.rclBounds = box;
  c.co.iMode = TC_RECTANGLES;
  c.co.fjOptions = 0;
  c.co.iUniq = 0;
  if (c.rects.size() <= 1) {
    c.co.iFComplexity = FC_RECT;
    // Nothing to clip when the one rectangle holds the whole drawing.
    bool whole = rects.size() == 1 && inside(bounds, rects[0]);
    c.co.iDComplexity = (trivialIfInside && whole) ? DC_TRIVIAL : DC_RECT;
    if (!any) c.co.iDComplexity = DC_RECT;
  } else {
    c.co.iDComplexity = DC_COMPLEX;
    c.co.iFComplexity = c.rects.size() <= 4 ? FC_RECT4 : FC_COMPLEX;
  }
  c.enumStarted = false;
  c.next = 0;
}

std::vector<RECTL> clipRects(CLIPOBJ *pco, const SURFOBJ *dst, const RECTL &limit) {
  std::vector<RECTL> out;
  RECTL surf{0, 0, dst->sizlBitmap.cx, dst->sizlBitmap.cy};
  RECTL base;
  if (!intersect(base, limit, surf)) return out;
  if (!pco || pco->iDComplexity == DC_TRIVIAL) {
    out.push_back(base);
    return out;
  }
  Clip *c = clipFromObj(pco);
  if (pco->iDComplexity == DC_COMPLEX && c && !c->rects.empty()) {
    for (const RECTL &r : c->rects) {
      RECTL i;
      if (intersect(i, r, base)) out.push_back(i);
    }
    return out;
  }
  RECTL i;
  if (intersect(i, pco->rclBounds, base)) out.push_back(i);
  return out;
}

// ------------------------------------------------------------ brushes

Brush *brushFromObj(BRUSHOBJ *bo) {
  Brush *b = lookupLive<Brush>(bo);
  return b && b->magic == kBrushMagic ? b : nullptr;
}

void registerBrush(Brush *b) { addLive(b); }
void unregisterBrush(Brush *b) {
  removeLive(b);
  std::free(b->driverRbrush);
  b->driverRbrush = nullptr;
}

ULONG brushAt(BRUSHOBJ *pbo, const POINTL *org, LONG x, LONG y, bool *isBackground) {
  if (isBackground) *isBackground = false;
  if (!pbo) return 0;
  if (pbo->iSolidColor != 0xFFFFFFFF) return pbo->iSolidColor;
  Brush *b = brushFromObj(pbo);
  if (!b || b->cx <= 0 || b->cy <= 0 || b->pattern.empty()) return 0;
  LONG ox = org ? org->x : 0, oy = org ? org->y : 0;
  LONG px = (x - ox) % b->cx, py = (y - oy) % b->cy;
  if (px < 0) px += b->cx;
  if (py < 0) py += b->cy;
  size_t i = size_t(py) * size_t(b->cx) + size_t(px);
  if (isBackground && i < b->background.size()) *isBackground = b->background[i] != 0;
  return b->pattern[i];
}

BYTE rop3FromMix(ULONG r2) {
  if (r2 < 1 || r2 > 16) r2 = R2_COPYPEN;
  ULONG t = r2 - 1;  // truth table: bit (pen << 1 | dest)
  BYTE r = 0;
  for (int p = 0; p < 2; ++p)
    for (int s = 0; s < 2; ++s)
      for (int d = 0; d < 2; ++d)
        if ((t >> (p * 2 + d)) & 1) r |= BYTE(1 << (p * 4 + s * 2 + d));
  return r;
}

// ------------------------------------------------------------ colour translation

void buildXlate(Xlate &x, const Surface *src, const Surface *dst, const Palette *dstPal, COLORREF monoFore,
                COLORREF monoBack) {
  x.xo = XLATEOBJ{};
  x.table.clear();
  x.src = src;
  x.dstFormat = dst ? dst->so.iBitmapFormat : BMF_24BPP;
  x.dstPalette = dstPal;
  x.dstTable = dst && !dst->colors.empty() ? &dst->colors : nullptr;
  x.srcPal.clear();
  ULONG sf = src ? src->so.iBitmapFormat : BMF_24BPP;
  x.xo.iSrcType = USHORT(src && !src->colors.empty() ? PAL_INDEXED : PAL_BGR);
  x.xo.iDstType = USHORT(x.dstTable ? PAL_INDEXED : (dstPal ? dstPal->mode : PAL_BGR));
  bool srcIndexed = src && (!src->colors.empty() || sf == BMF_1BPP || sf == BMF_4BPP || sf == BMF_8BPP);
  bool dstMonoDdb = dst && dst->so.iBitmapFormat == BMF_1BPP && dst->colors.empty();
  if (srcIndexed) {
    // A table from every source index to a destination index.
    size_t n = src->colors.empty() ? (size_t(1) << bitsPerPixel(sf)) : src->colors.size();
    for (size_t i = 0; i < n; ++i) {
      ULONG rgb;
      if (src->colors.empty() && sf == BMF_1BPP) {
        // A monochrome bitmap without colours takes the text colour for 0
        // and the background colour for 1.
        COLORREF c = i ? monoBack : monoFore;
        rgb = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
      } else {
        rgb = indexToRgb(src, ULONG(i));
      }
      x.srcPal.push_back(rgb);
      COLORREF cr = ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
      ULONG d;
      if (dstMonoDdb) {
        COLORREF back = monoBack & 0xFFFFFF;
        d = cr == back ? 1 : 0;
      } else {
        d = colorToIndex(cr, x.dstFormat, dstPal, x.dstTable);
      }
      x.table.push_back(d);
    }
    x.xo.flXlate = XO_TABLE;
    x.xo.cEntries = ULONG(x.table.size());
    x.xo.pulXlate = x.table.data();
    return;
  }
  if (dstMonoDdb) {
    x.xo.flXlate = XO_TO_MONO;
    x.monoBackground = ((monoBack & 0xFF) << 16) | (monoBack & 0xFF00) | ((monoBack >> 16) & 0xFF);
    return;
  }
  bool dstDirectBgr = !x.dstTable && (x.dstFormat == BMF_24BPP || x.dstFormat == BMF_32BPP) &&
                      (!dstPal || dstPal->mode == PAL_BGR);
  bool srcDirect = sf == BMF_24BPP || sf == BMF_32BPP;
  x.xo.flXlate = (srcDirect && dstDirectBgr) ? XO_TRIVIAL : 0;
}

ULONG xlate(XLATEOBJ *pxlo, ULONG index) {
  if (!pxlo || (pxlo->flXlate & XO_TRIVIAL)) return index;
  Xlate *x = lookupLive<Xlate>(pxlo);
  if (x && x->magic != kXlateMagic) x = nullptr;
  if (pxlo->flXlate & XO_TABLE) {
    if (pxlo->pulXlate && index < pxlo->cEntries) return pxlo->pulXlate[index];
    return 0;
  }
  if (!x) return index;
  ULONG rgb = indexToRgb(x->src, index);
  if (pxlo->flXlate & XO_TO_MONO) return rgb == x->monoBackground ? 1 : 0;
  COLORREF cr = ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
  return colorToIndex(cr, x->dstFormat, x->dstPalette, x->dstTable);
}

// ------------------------------------------------------------ paths

Path *pathFromObj(PATHOBJ *po) {
  Path *p = lookupLive<Path>(po);
  return p && p->magic == kPathMagic ? p : nullptr;
}

void Path::update() {
  ULONG n = 0;
  for (auto &s : subpaths) n += ULONG(s.pts.size());
  po.cCurves = n;
  bool ints = true;
  for (auto &s : subpaths)
    for (auto &p : s.pts)
      if ((p.x & 15) || (p.y & 15)) ints = false;
  po.fl = ints ? PO_ALL_INTEGERS : 0;
}

// ------------------------------------------------------------ fonts and strings

Font *fontFromObj(FONTOBJ *fo) {
  Font *f = lookupLive<Font>(fo);
  return f && f->magic == kFontMagic ? f : nullptr;
}

Str *strFromObj(STROBJ *so) {
  Str *s = lookupLive<Str>(so);
  return s && s->magic == kStrMagic ? s : nullptr;
}

// ------------------------------------------------------------ devices

Device *deviceFromHandle(HDEV h) {
  Device *d = lookupLive<Device>(h);
  return d && d->magic == kDeviceMagic ? d : nullptr;
}
void registerDevice(Device *d) { addLive(d); }
void unregisterDevice(Device *d) { removeLive(d); }

// Registration of the transient objects that the application side builds on
// its stack for one drawing call.
void registerTransient(const void *p) { addLive(p); }
void unregisterTransient(const void *p) { removeLive(p); }

}  // namespace winsim::gdi

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
  return reinterpret_cast<HBITMAP>(s);
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
  Surface *s = surfaceFromHandle(hsurf);
  if (!s) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  destroySurface(s);
  return TRUE;
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
  addLive(p);
  return reinterpret_cast<HPALETTE>(p);
}

BOOL APIENTRY EngDeletePalette(HPALETTE hpal) {
  Palette *p = paletteFromHandle(hpal);
  if (!p) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  removeLive(p);
  p->magic = 0;
  delete p;
  return TRUE;
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
  if (pco->iDComplexity == DC_COMPLEX) c->order = c->rects;
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

BOOL APIENTRY STROBJ_bEnum(STROBJ *pstro, ULONG *pc, PGLYPHPOS *ppgpos) {
  return enumGlyphs(pstro, pc, ppgpos, true);
}

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

VOID APIENTRY EngMultiByteToUnicodeN(LPWSTR UnicodeString, ULONG MaxBytesInUnicodeString,
                                     PULONG BytesInUnicodeString, PCHAR MultiByteString,
                                     ULONG BytesInMultiByteString) {
  ULONG n = 0;
  if (UnicodeString && MultiByteString) {
    int got = MultiByteToWideChar(CP_ACP, 0, MultiByteString, int(BytesInMultiByteString), UnicodeString,
                                  int(MaxBytesInUnicodeString / sizeof(WCHAR)));
    n = got > 0 ? ULONG(got) * sizeof(WCHAR) : 0;
  }
  if (BytesInUnicodeString) *BytesInUnicodeString = n;
}

VOID APIENTRY EngUnicodeToMultiByteN(PCHAR MultiByteString, ULONG MaxBytesInMultiByteString,
                                     PULONG BytesInMultiByteString, PWSTR UnicodeString,
                                     ULONG BytesInUnicodeString) {
  ULONG n = 0;
  if (UnicodeString && MultiByteString) {
    int got = WideCharToMultiByte(CP_ACP, 0, UnicodeString, int(BytesInUnicodeString / sizeof(WCHAR)),
                                  MultiByteString, int(MaxBytesInMultiByteString), nullptr, nullptr);
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
