// The graphics engine's objects: surfaces, palettes, clip objects, brushes,
// colour translations, paths and the engine's small services.  A driver only
// ever holds pointers to the public part of each object; the engine keeps a
// table of the live ones so that a pointer it did not make is recognised and
// treated by its public fields alone.
#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_map>
#include <unordered_set>

#include <winspool.h>

#include "gdi32/engine/engine.h"
#include "core/internal.h"

namespace winsim::gdi {

namespace {

std::unordered_set<const void *> &live() {
  static std::unordered_set<const void *> s;
  return s;
}

ULONG g_uniq = 1;

// The SURFOBJ of every surface alive, by address.
std::unordered_map<const SURFOBJ *, Surface *> &surfaceObjects() {
  static auto *m = new std::unordered_map<const SURFOBJ *, Surface *>;
  return *m;
}

// Upper bound of one bitmap's bits: large enough for any card or page at
// printer resolution, small enough that a bad size fails cleanly.
constexpr uint64_t kMaxBitmapBytes = 512ull << 20;

}  // namespace

std::recursive_mutex &engineLock() {
  static std::recursive_mutex m;
  return m;
}

void addLive(const void *p) {
  std::lock_guard<std::recursive_mutex> g(engineLock());
  live().insert(p);
}

void removeLive(const void *p) {
  std::lock_guard<std::recursive_mutex> g(engineLock());
  live().erase(p);
}

bool isLive(const void *p) {
  if (!p) return false;
  std::lock_guard<std::recursive_mutex> g(engineLock());
  return live().count(p) != 0;
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
  if (useStride * uint64_t(cy) > kMaxBitmapBytes || useStride > uint64_t(std::numeric_limits<LONG>::max()))
    return nullptr;
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
  so.hsurf = static_cast<HSURF>(registerObject(s));
  {
    std::lock_guard<std::recursive_mutex> g(engineLock());
    surfaceObjects()[&s->so] = s;
  }
  return s;
}

Surface::~Surface() {
  {
    std::lock_guard<std::recursive_mutex> g(engineLock());
    surfaceObjects().erase(&so);
  }
  std::free(owned);
}

void destroySurface(Surface *s) {
  if (s) closeHandle(s->so.hsurf, Kind::EngSurface);
}

Surface *surfaceFromHandle(HSURF h) { return static_cast<Surface *>(peekHandle(h, kindBit(Kind::EngSurface))); }

Surface *surfaceFromObj(SURFOBJ *so) {
  // The engine's SURFOBJs are known by address, so that a pointer it did not
  // make (or one of a surface gone) is not taken for one of its surfaces.
  if (!so) return nullptr;
  std::lock_guard<std::recursive_mutex> g(engineLock());
  auto it = surfaceObjects().find(so);
  return it == surfaceObjects().end() ? nullptr : it->second;
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
      if (v)
        row[x >> 3] |= m;
      else
        row[x >> 3] &= BYTE(~m);
      break;
    }
    case BMF_4BPP: {
      BYTE &b = row[x >> 1];
      if (x & 1)
        b = BYTE((b & 0xF0) | (v & 0x0F));
      else
        b = BYTE((b & 0x0F) | ((v & 0x0F) << 4));
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

Palette *paletteFromHandle(HPALETTE h) { return static_cast<Palette *>(peekHandle(h, kindBit(Kind::EngPalette))); }

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
    case BMF_16BPP: return (((rgb >> 19) & 0x1F) << 10) | (((rgb >> 11) & 0x1F) << 5) | ((rgb >> 3) & 0x1F);
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
    if (!any)
      box = i;
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
  bool dstDirectBgr =
      !x.dstTable && (x.dstFormat == BMF_24BPP || x.dstFormat == BMF_32BPP) && (!dstPal || dstPal->mode == PAL_BGR);
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
