// The graphics engine's drawing routines on the standard bitmap formats.
// Every routine works pixel by pixel in the destination's colour-index space:
// a raster operation is evaluated from its truth table on the pattern, source
// and destination indices, so every ROP3 and ROP4 behaves the same on every
// format.  Every write is clipped to the surface and to the clip object, so
// that no input, however wrong, reaches outside the bits.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "gdi32/engine/engine.h"
#include "core/internal.h"

namespace winsim::gdi {

namespace {

ULONG formatMask(ULONG format) {
  switch (format) {
    case BMF_1BPP: return 1;
    case BMF_4BPP: return 0xF;
    case BMF_8BPP: return 0xFF;
    case BMF_16BPP: return 0xFFFF;
    default: return 0xFFFFFF;
  }
}

// A value in the destination's index space: on monochrome surfaces any
// non-zero index is the second colour.
inline ULONG norm(ULONG format, ULONG v) { return format == BMF_1BPP ? (v != 0) : (v & formatMask(format)); }
// A raster operation's result, cut to the format's bits.
inline ULONG result(ULONG format, ULONG v) { return v & formatMask(format); }

bool validSurface(const SURFOBJ *so) {
  return so && so->pvScan0 && so->sizlBitmap.cx > 0 && so->sizlBitmap.cy > 0 && bitsPerPixel(so->iBitmapFormat) > 0;
}

RECTL ordered(const RECTL &r) {
  RECTL o = r;
  if (o.left > o.right) std::swap(o.left, o.right);
  if (o.top > o.bottom) std::swap(o.top, o.bottom);
  return o;
}

bool inRects(const std::vector<RECTL> &rects, LONG x, LONG y) {
  for (const RECTL &r : rects)
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
  return false;
}

struct Mixer {
  BYTE fore, back;
  bool backIsNop;
  explicit Mixer(MIX mix) {
    ULONG f = mix & 0xFF, b = (mix >> 8) & 0xFF;
    fore = rop3FromMix(f ? f : R2_COPYPEN);
    back = b ? rop3FromMix(b) : fore;
    backIsNop = b == R2_NOP;
  }
};

// Writes one brush pixel under a mix.
inline void paintPixel(SURFOBJ *pso, LONG x, LONG y, BRUSHOBJ *pbo, const POINTL *org, const Mixer &m) {
  bool bg = false;
  ULONG p = brushAt(pbo, org, x, y, &bg);
  if (bg && m.backIsNop) return;
  ULONG f = pso->iBitmapFormat;
  ULONG d = getPixel(pso, x, y);
  putPixel(pso, x, y, result(f, rop3(bg ? m.back : m.fore, norm(f, p), 0, d)));
}

void fillRects(SURFOBJ *pso, const std::vector<RECTL> &rects, BRUSHOBJ *pbo, const POINTL *org, const Mixer &m) {
  bool solidCopy = pbo && pbo->iSolidColor != 0xFFFFFFFF && m.fore == 0xF0;
  ULONG f = pso->iBitmapFormat;
  for (const RECTL &r : rects) {
    for (LONG y = r.top; y < r.bottom; ++y) {
      if (solidCopy) {
        ULONG v = norm(f, pbo->iSolidColor);
        for (LONG x = r.left; x < r.right; ++x) putPixel(pso, x, y, v);
      } else {
        for (LONG x = r.left; x < r.right; ++x) paintPixel(pso, x, y, pbo, org, m);
      }
    }
  }
}

// Cosmetic line from (x1, y1) towards (x2, y2), the last pixel left out.
void drawLine(SURFOBJ *pso, const std::vector<RECTL> &rects, BRUSHOBJ *pbo, const POINTL *org, const Mixer &m, LONG x1,
              LONG y1, LONG x2, LONG y2) {
  int64_t dx = std::llabs(int64_t(x2) - x1), dy = -std::llabs(int64_t(y2) - y1);
  int sx = x1 < x2 ? 1 : -1, sy = y1 < y2 ? 1 : -1;
  int64_t err = dx + dy;
  int64_t x = x1, y = y1;
  // Bounded by the line's length; points outside the surface are skipped.
  int64_t steps = std::max(dx, -dy);
  for (int64_t i = 0; i < steps; ++i) {
    if (x >= 0 && y >= 0 && x < pso->sizlBitmap.cx && y < pso->sizlBitmap.cy && inRects(rects, LONG(x), LONG(y)))
      paintPixel(pso, LONG(x), LONG(y), pbo, org, m);
    int64_t e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
}

LONG fixRound(FIX v) { return LONG((int64_t(v) + 8) >> 4); }

std::vector<std::vector<POINTFIX>> polygonsOf(PATHOBJ *ppo) {
  std::vector<std::vector<POINTFIX>> polys;
  if (!ppo) return polys;
  PATHOBJ_vEnumStart(ppo);
  PATHDATA pd;
  BOOL more;
  do {
    more = PATHOBJ_bEnum(ppo, &pd);
    if (pd.count && pd.pptfx) {
      if ((pd.flags & PD_BEGINSUBPATH) || polys.empty()) polys.emplace_back();
      polys.back().insert(polys.back().end(), pd.pptfx, pd.pptfx + pd.count);
    }
  } while (more);
  return polys;
}

struct Figure {
  std::vector<POINTFIX> pts;
  bool closed;
};

std::vector<Figure> figuresOf(PATHOBJ *ppo) {
  std::vector<Figure> figs;
  if (!ppo) return figs;
  PATHOBJ_vEnumStart(ppo);
  PATHDATA pd;
  BOOL more;
  do {
    more = PATHOBJ_bEnum(ppo, &pd);
    if (pd.count && pd.pptfx) {
      if ((pd.flags & PD_BEGINSUBPATH) || figs.empty()) figs.push_back(Figure{{}, false});
      figs.back().pts.insert(figs.back().pts.end(), pd.pptfx, pd.pptfx + pd.count);
      if (pd.flags & PD_CLOSEFIGURE) figs.back().closed = true;
    }
  } while (more);
  return figs;
}

// A round disc as a polygon, for the joins and ends of wide lines.
std::vector<POINTFIX> disc(double cx, double cy, double r) {
  std::vector<POINTFIX> p;
  int n = std::clamp(int(r * 2), 12, 64);
  for (int i = 0; i < n; ++i) {
    double a = 2 * M_PI * i / n;
    p.push_back(POINTFIX{FIX(std::lround((cx + r * std::cos(a)) * 16)), FIX(std::lround((cy + r * std::sin(a)) * 16))});
  }
  return p;
}

}  // namespace

// The outline of a wide line along a figure: one quadrilateral per segment
// and a disc at every point (round joins and ends), filled as a union.
std::vector<std::vector<POINTFIX>> widen(const std::vector<POINTFIX> &pts, bool closed, double width) {
  std::vector<std::vector<POINTFIX>> out;
  double h = width / 2;
  size_t n = pts.size();
  auto at = [&](size_t i) { return std::pair<double, double>(pts[i].x / 16.0, pts[i].y / 16.0); };
  size_t segs = closed ? n : (n ? n - 1 : 0);
  for (size_t i = 0; i < segs; ++i) {
    auto [x0, y0] = at(i);
    auto [x1, y1] = at((i + 1) % n);
    double dx = x1 - x0, dy = y1 - y0, len = std::sqrt(dx * dx + dy * dy);
    if (len == 0) continue;
    double nx = -dy / len * h, ny = dx / len * h;
    auto P = [](double x, double y) { return POINTFIX{FIX(std::lround(x * 16)), FIX(std::lround(y * 16))}; };
    out.push_back({P(x0 + nx, y0 + ny), P(x1 + nx, y1 + ny), P(x1 - nx, y1 - ny), P(x0 - nx, y0 - ny)});
  }
  for (size_t i = 0; i < n; ++i) {
    auto [x, y] = at(i);
    out.push_back(disc(x, y, h));
  }
  return out;
}

bool fillPolygons(SURFOBJ *pso, const std::vector<std::vector<POINTFIX>> &polys, CLIPOBJ *pco, BRUSHOBJ *pbo,
                  POINTL *org, MIX mix, bool winding) {
  if (!validSurface(pso) || !pbo) return false;
  int64_t minY = INT64_MAX, maxY = INT64_MIN, minX = INT64_MAX, maxX = INT64_MIN;
  struct Edge {
    int64_t x0, y0, x1, y1;
    int dir;
  };
  std::vector<Edge> edges;
  for (const auto &poly : polys) {
    size_t n = poly.size();
    if (n < 2) continue;
    for (size_t i = 0; i < n; ++i) {
      const POINTFIX &a = poly[i], &b = poly[(i + 1) % n];
      minY = std::min<int64_t>(minY, a.y);
      maxY = std::max<int64_t>(maxY, a.y);
      minX = std::min<int64_t>(minX, a.x);
      maxX = std::max<int64_t>(maxX, a.x);
      if (a.y == b.y) continue;
      if (a.y < b.y)
        edges.push_back(Edge{a.x, a.y, b.x, b.y, 1});
      else
        edges.push_back(Edge{b.x, b.y, a.x, a.y, -1});
    }
  }
  if (edges.empty()) return true;
  // Pixel (x, y) is sampled at its integer coordinates: rows whose y lies
  // in [top, bottom) of an edge cross it; pixels from the left crossing up to
  // but not including the right one are filled.
  auto ceilDiv16 = [](int64_t v) { return (v >= 0) ? (v + 15) / 16 : -((-v) / 16); };
  RECTL limit{LONG(std::clamp<int64_t>(ceilDiv16(minX), INT32_MIN, INT32_MAX)),
              LONG(std::clamp<int64_t>(ceilDiv16(minY), INT32_MIN, INT32_MAX)),
              LONG(std::clamp<int64_t>(ceilDiv16(maxX) + 1, INT32_MIN, INT32_MAX)),
              LONG(std::clamp<int64_t>(ceilDiv16(maxY), INT32_MIN, INT32_MAX))};
  std::vector<RECTL> rects = clipRects(pco, pso, limit);
  if (rects.empty()) return true;
  LONG top = rects[0].top, bottom = rects[0].bottom;
  for (const RECTL &r : rects) {
    top = std::min(top, r.top);
    bottom = std::max(bottom, r.bottom);
  }
  Mixer m(mix);
  struct Cross {
    double x;
    int dir;
  };
  std::vector<Cross> xs;
  for (LONG y = top; y < bottom; ++y) {
    int64_t Y = int64_t(y) * 16;
    xs.clear();
    for (const Edge &e : edges) {
      if (Y < e.y0 || Y >= e.y1) continue;
      double x = double(e.x0) + double(Y - e.y0) * double(e.x1 - e.x0) / double(e.y1 - e.y0);
      xs.push_back(Cross{x / 16.0, e.dir});
    }
    std::sort(xs.begin(), xs.end(), [](const Cross &a, const Cross &b) { return a.x < b.x; });
    int wind = 0;
    for (size_t i = 0; i + 1 < xs.size(); ++i) {
      wind += xs[i].dir;
      bool inside = winding ? wind != 0 : (i % 2) == 0;
      if (!inside) continue;
      int64_t from = int64_t(std::ceil(xs[i].x)), to = int64_t(std::ceil(xs[i + 1].x));
      for (const RECTL &r : rects) {
        if (y < r.top || y >= r.bottom) continue;
        int64_t a = std::max<int64_t>(from, r.left), b = std::min<int64_t>(to, r.right);
        for (int64_t x = a; x < b; ++x) paintPixel(pso, LONG(x), y, pbo, org, m);
      }
    }
  }
  return true;
}

namespace {

bool strokeFigures(SURFOBJ *pso, const std::vector<Figure> &figs, CLIPOBJ *pco, BRUSHOBJ *pbo, POINTL *org,
                   LINEATTRS *la, MIX mix) {
  double width = 1;
  if (la && (la->fl & LA_GEOMETRIC)) width = la->elWidth.e;
  if (width > 1.5) {
    std::vector<std::vector<POINTFIX>> polys;
    for (const Figure &f : figs) {
      auto w = widen(f.pts, f.closed, width);
      polys.insert(polys.end(), w.begin(), w.end());
    }
    return fillPolygons(pso, polys, pco, pbo, org, mix, true);
  }
  RECTL all{0, 0, pso->sizlBitmap.cx, pso->sizlBitmap.cy};
  std::vector<RECTL> rects = clipRects(pco, pso, all);
  Mixer m(mix);
  for (const Figure &f : figs) {
    size_t n = f.pts.size();
    if (n == 1) continue;
    size_t segs = f.closed ? n : n - 1;
    for (size_t i = 0; i < segs; ++i) {
      const POINTFIX &a = f.pts[i], &b = f.pts[(i + 1) % n];
      drawLine(pso, rects, pbo, org, m, fixRound(a.x), fixRound(a.y), fixRound(b.x), fixRound(b.y));
    }
  }
  return true;
}

// Reads source indices, from a snapshot when source and destination share
// their bits (so that overlapping copies read what was there before).
struct SourceReader {
  const SURFOBJ *so = nullptr;
  std::vector<ULONG> snap;
  RECTL snapRect{0, 0, 0, 0};
  bool useSnap = false;
  void init(const SURFOBJ *src, const SURFOBJ *dst, const RECTL &need) {
    so = src;
    if (src && dst && src->pvScan0 == dst->pvScan0) {
      RECTL r{std::max<LONG>(need.left, 0), std::max<LONG>(need.top, 0), std::min(need.right, src->sizlBitmap.cx),
              std::min(need.bottom, src->sizlBitmap.cy)};
      if (r.left < r.right && r.top < r.bottom) {
        snapRect = r;
        snap.resize(size_t(r.right - r.left) * size_t(r.bottom - r.top));
        size_t i = 0;
        for (LONG y = r.top; y < r.bottom; ++y)
          for (LONG x = r.left; x < r.right; ++x) snap[i++] = getPixel(src, x, y);
      }
      useSnap = true;
    }
  }
  bool read(LONG x, LONG y, ULONG &v) const {
    if (!so || x < 0 || y < 0 || x >= so->sizlBitmap.cx || y >= so->sizlBitmap.cy) return false;
    if (useSnap) {
      if (x < snapRect.left || x >= snapRect.right || y < snapRect.top || y >= snapRect.bottom) return false;
      v = snap[size_t(y - snapRect.top) * size_t(snapRect.right - snapRect.left) + size_t(x - snapRect.left)];
      return true;
    }
    v = getPixel(so, x, y);
    return true;
  }
};

}  // namespace

}  // namespace winsim::gdi

using namespace winsim;
using namespace winsim::gdi;

extern "C" {

BOOL APIENTRY EngBitBlt(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco, XLATEOBJ *pxlo,
                        RECTL *prclTrg, POINTL *pptlSrc, POINTL *pptlMask, BRUSHOBJ *pbo, POINTL *pptlBrush,
                        ROP4 rop4) {
  if (!validSurface(psoTrg) || !prclTrg || rop4 > 0xFFFF) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  BYTE fore = BYTE(rop4 & 0xFF), back = BYTE((rop4 >> 8) & 0xFF);
  bool needSrc = ropUsesSource(fore) || ropUsesSource(back);
  bool needPat = ropUsesPattern(fore) || ropUsesPattern(back);
  bool needMask = fore != back;
  if ((needSrc && (!validSurface(psoSrc) || !pptlSrc)) || (needPat && !pbo)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (needMask && (!validSurface(psoMask) || psoMask->iBitmapFormat != BMF_1BPP)) {
    // Without a usable mask only the foreground operation applies.
    needMask = false;
    back = fore;
  }
  RECTL trg = ordered(*prclTrg);
  std::vector<RECTL> rects = clipRects(pco, psoTrg, trg);
  if (rects.empty()) return TRUE;
  SourceReader src;
  if (needSrc) {
    RECTL need{pptlSrc->x, pptlSrc->y, pptlSrc->x + (trg.right - trg.left), pptlSrc->y + (trg.bottom - trg.top)};
    src.init(psoSrc, psoTrg, need);
  }
  POINTL maskOrg = pptlMask ? *pptlMask : POINTL{0, 0};
  ULONG f = psoTrg->iBitmapFormat;
  for (const RECTL &r : rects) {
    for (LONG y = r.top; y < r.bottom; ++y) {
      for (LONG x = r.left; x < r.right; ++x) {
        BYTE rop = fore;
        if (needMask) {
          LONG mx = maskOrg.x + (x - trg.left), my = maskOrg.y + (y - trg.top);
          bool bit = mx >= 0 && my >= 0 && mx < psoMask->sizlBitmap.cx && my < psoMask->sizlBitmap.cy &&
                     getPixel(psoMask, mx, my);
          rop = bit ? fore : back;
        }
        ULONG s = 0, p = 0;
        if (needSrc) {
          ULONG raw;
          if (!src.read(pptlSrc->x + (x - trg.left), pptlSrc->y + (y - trg.top), raw)) continue;
          s = norm(f, xlate(pxlo, raw));
        }
        if (needPat) p = norm(f, brushAt(pbo, pptlBrush, x, y, nullptr));
        ULONG d = getPixel(psoTrg, x, y);
        putPixel(psoTrg, x, y, result(f, rop3(rop, p, s, d)));
      }
    }
  }
  return TRUE;
}

BOOL APIENTRY EngCopyBits(SURFOBJ *psoDest, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo, RECTL *prclDest,
                          POINTL *pptlSrc) {
  return EngBitBlt(psoDest, psoSrc, nullptr, pco, pxlo, prclDest, pptlSrc, nullptr, nullptr, nullptr, 0xCCCC);
}

BOOL APIENTRY EngStretchBltROP(SURFOBJ *psoDest, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco, XLATEOBJ *pxlo,
                               COLORADJUSTMENT *pca, POINTL *pptlHTOrg, RECTL *prclDest, RECTL *prclSrc,
                               POINTL *pptlMask, ULONG iMode, BRUSHOBJ *pbo, DWORD rop4) {
  (void)psoMask;
  (void)pca;
  (void)pptlHTOrg;
  (void)pptlMask;
  if (!validSurface(psoDest) || !validSurface(psoSrc) || !prclDest || !prclSrc || rop4 > 0xFFFF) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  BYTE rop = BYTE(rop4 & 0xFF);
  if (ropUsesPattern(rop) && !pbo) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // A destination rectangle given right to left or bottom to top mirrors
  // the picture; so does a reversed source rectangle.
  bool flipX = (prclDest->left > prclDest->right) != (prclSrc->left > prclSrc->right);
  bool flipY = (prclDest->top > prclDest->bottom) != (prclSrc->top > prclSrc->bottom);
  RECTL d = ordered(*prclDest), s = ordered(*prclSrc);
  int64_t dw = int64_t(d.right) - d.left, dh = int64_t(d.bottom) - d.top;
  int64_t sw = int64_t(s.right) - s.left, sh = int64_t(s.bottom) - s.top;
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return TRUE;
  std::vector<RECTL> rects = clipRects(pco, psoDest, d);
  if (rects.empty()) return TRUE;
  // Source span of every destination column and row.
  auto span = [](int64_t i, int64_t dn, int64_t sn, int64_t s0, bool flip, int64_t &a, int64_t &b, int64_t &c) {
    int64_t k = flip ? dn - 1 - i : i;
    a = s0 + k * sn / dn;
    b = s0 + ((k + 1) * sn + dn - 1) / dn;
    if (b <= a) b = a + 1;
    c = s0 + (2 * k + 1) * sn / (2 * dn);
  };
  bool combine = (iMode == BLACKONWHITE || iMode == WHITEONBLACK) && (sw > dw || sh > dh);
  SourceReader src;
  src.init(psoSrc, psoDest, s);
  ULONG f = psoDest->iBitmapFormat;
  for (const RECTL &r : rects) {
    for (LONG y = r.top; y < r.bottom; ++y) {
      int64_t ya, yb, yc;
      span(y - d.top, dh, sh, s.top, flipY, ya, yb, yc);
      for (LONG x = r.left; x < r.right; ++x) {
        int64_t xa, xb, xc;
        span(x - d.left, dw, sw, s.left, flipX, xa, xb, xc);
        ULONG raw = 0;
        bool got = false;
        if (combine) {
          // Shrinking with BLACKONWHITE keeps black (AND of the indices),
          // with WHITEONBLACK keeps white (OR).
          int64_t y0 = sh > dh ? ya : yc, y1 = sh > dh ? yb : yc + 1;
          int64_t x0 = sw > dw ? xa : xc, x1 = sw > dw ? xb : xc + 1;
          for (int64_t sy = y0; sy < y1; ++sy)
            for (int64_t sx = x0; sx < x1; ++sx) {
              ULONG v;
              if (!src.read(LONG(sx), LONG(sy), v)) continue;
              raw = got ? (iMode == BLACKONWHITE ? (raw & v) : (raw | v)) : v;
              got = true;
            }
        } else {
          got = src.read(LONG(xc), LONG(yc), raw);
        }
        if (!got) continue;
        ULONG sv = norm(f, xlate(pxlo, raw));
        ULONG p = ropUsesPattern(rop) ? norm(f, brushAt(pbo, nullptr, x, y, nullptr)) : 0;
        ULONG dv = getPixel(psoDest, x, y);
        putPixel(psoDest, x, y, result(f, rop3(rop, p, sv, dv)));
      }
    }
  }
  return TRUE;
}

BOOL APIENTRY EngStretchBlt(SURFOBJ *psoDest, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco, XLATEOBJ *pxlo,
                            COLORADJUSTMENT *pca, POINTL *pptlHTOrg, RECTL *prclDest, RECTL *prclSrc, POINTL *pptlMask,
                            ULONG iMode) {
  return EngStretchBltROP(psoDest, psoSrc, psoMask, pco, pxlo, pca, pptlHTOrg, prclDest, prclSrc, pptlMask, iMode,
                          nullptr, 0xCCCC);
}

BOOL APIENTRY EngPaint(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, POINTL *pptlBrushOrg, MIX mix) {
  if (!validSurface(pso) || !pbo) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  RECTL all{0, 0, pso->sizlBitmap.cx, pso->sizlBitmap.cy};
  fillRects(pso, clipRects(pco, pso, all), pbo, pptlBrushOrg, Mixer(mix));
  return TRUE;
}

BOOL APIENTRY EngLineTo(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, LONG x1, LONG y1, LONG x2, LONG y2,
                        RECTL *prclBounds, MIX mix) {
  (void)prclBounds;
  if (!validSurface(pso) || !pbo) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  RECTL all{0, 0, pso->sizlBitmap.cx, pso->sizlBitmap.cy};
  drawLine(pso, clipRects(pco, pso, all), pbo, nullptr, Mixer(mix), x1, y1, x2, y2);
  return TRUE;
}

BOOL APIENTRY EngFillPath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, BRUSHOBJ *pbo, POINTL *pptlBrushOrg, MIX mix,
                          FLONG flOptions) {
  if (!validSurface(pso) || !ppo || !pbo) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return fillPolygons(pso, polygonsOf(ppo), pco, pbo, pptlBrushOrg, mix, (flOptions & FP_WINDINGMODE) != 0) ? TRUE
                                                                                                            : FALSE;
}

BOOL APIENTRY EngStrokePath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *pxo, BRUSHOBJ *pbo,
                            POINTL *pptlBrushOrg, LINEATTRS *plineattrs, MIX mix) {
  (void)pxo;
  if (!validSurface(pso) || !ppo || !pbo) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return strokeFigures(pso, figuresOf(ppo), pco, pbo, pptlBrushOrg, plineattrs, mix) ? TRUE : FALSE;
}

BOOL APIENTRY EngStrokeAndFillPath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *pxo, BRUSHOBJ *pboStroke,
                                   LINEATTRS *plineattrs, BRUSHOBJ *pboFill, POINTL *pptlBrushOrg, MIX mixFill,
                                   FLONG flOptions) {
  if (!validSurface(pso) || !ppo) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (pboFill && !EngFillPath(pso, ppo, pco, pboFill, pptlBrushOrg, mixFill, flOptions)) return FALSE;
  if (pboStroke && !EngStrokePath(pso, ppo, pco, pxo, pboStroke, pptlBrushOrg, plineattrs, mixFill)) return FALSE;
  return TRUE;
}

BOOL APIENTRY EngTextOut(SURFOBJ *pso, STROBJ *pstro, FONTOBJ *pfo, CLIPOBJ *pco, RECTL *prclExtra, RECTL *prclOpaque,
                         BRUSHOBJ *pboFore, BRUSHOBJ *pboOpaque, POINTL *pptlOrg, MIX mix) {
  if (!validSurface(pso) || !pstro) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  RECTL all{0, 0, pso->sizlBitmap.cx, pso->sizlBitmap.cy};
  if (prclOpaque && pboOpaque)
    fillRects(pso, clipRects(pco, pso, ordered(*prclOpaque)), pboOpaque, pptlOrg, Mixer(R2_COPYPEN));
  if (!pboFore) return TRUE;
  std::vector<RECTL> rects = clipRects(pco, pso, all);
  Mixer m(mix & 0xFF);
  Font *font = fontFromObj(pfo);
  // The glyphs: the string's own array when it has one, else enumerated.
  std::vector<GLYPHPOS> glyphs;
  if (pstro->pgp && pstro->cGlyphs) {
    glyphs.assign(pstro->pgp, pstro->pgp + pstro->cGlyphs);
  } else {
    STROBJ_vEnumStart(pstro);
    ULONG c;
    PGLYPHPOS gp;
    BOOL more;
    do {
      more = STROBJ_bEnum(pstro, &c, &gp);
      if (gp && c) glyphs.insert(glyphs.end(), gp, gp + c);
    } while (more);
  }
  for (const GLYPHPOS &g : glyphs) {
    GLYPHBITS *gb = nullptr;
    if (g.pgdf && g.pgdf->pgb)
      gb = g.pgdf->pgb;
    else if (font && font->face)
      gb = glyphBits(font->face, g.hg);
    if (!gb || gb->sizlBitmap.cx <= 0 || gb->sizlBitmap.cy <= 0) continue;
    LONG stride = (gb->sizlBitmap.cx + 7) / 8;
    LONG ox = g.ptl.x + gb->ptlOrigin.x, oy = g.ptl.y + gb->ptlOrigin.y;
    for (LONG row = 0; row < gb->sizlBitmap.cy; ++row) {
      LONG y = oy + row;
      if (y < 0 || y >= pso->sizlBitmap.cy) continue;
      const BYTE *bits = gb->aj + size_t(row) * size_t(stride);
      for (LONG col = 0; col < gb->sizlBitmap.cx; ++col) {
        if (!((bits[col >> 3] >> (7 - (col & 7))) & 1)) continue;
        LONG x = ox + col;
        if (x < 0 || x >= pso->sizlBitmap.cx || !inRects(rects, x, y)) continue;
        paintPixel(pso, x, y, pboFore, pptlOrg, m);
      }
    }
  }
  if (prclExtra) {
    // Underlines and strike-outs: a list ended by an all-zero rectangle.
    for (int i = 0; i < 16; ++i) {
      const RECTL &e = prclExtra[i];
      if (!e.left && !e.top && !e.right && !e.bottom) break;
      fillRects(pso, clipRects(pco, pso, ordered(e)), pboFore, pptlOrg, m);
    }
  }
  return TRUE;
}

}  // extern "C"
