// How a drawing call reaches the surface: the target of a DC, the clip,
// brush and path objects of one call, the driver's hook when the surface
// hooks the call or else the engine's own routine; text layout and blits.
#include <algorithm>
#include <cmath>
#include <cstring>

#include <winspool.h>

#include "core/internal.h"
#include "gdi32/gdi.h"

namespace winsim::gdi {

// ------------------------------------------------------------ drawing targets
bool targetOf(DcObj *dc, Target &t) {
  t = Target{};
  t.dc = dc;
  if (!dc || dc->infoOnly) return false;
  if (dc->windowDc) {
    if (!dc->view) return false;
    t.surf = dc->view;
  } else if (dc->memory) {
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
  return RECTL{clampL((l >> 4) - grow), clampL((t >> 4) - grow), clampL((r >> 4) + 1 + grow),
               clampL((b >> 4) + 1 + grow)};
}

// ------------------------------------------------------------ hook calls
BOOL doBitBlt(const Target &t, SURFOBJ *src, CLIPOBJ *pco, XLATEOBJ *pxlo, RECTL *rc, POINTL *ptSrc, BRUSHOBJ *pbo,
              POINTL *org, ROP4 rop4) {
  if (auto f = fnCast<FnBitBlt>(hook(t, INDEX_DrvBitBlt, HOOK_BITBLT)))
    return f(t.so, src, nullptr, pco, pxlo, rc, ptSrc, nullptr, pbo, org, rop4);
  return EngBitBlt(t.so, src, nullptr, pco, pxlo, rc, ptSrc, nullptr, pbo, org, rop4);
}

BOOL doCopyBits(const Target &t, SURFOBJ *src, CLIPOBJ *pco, XLATEOBJ *pxlo, RECTL *rc, POINTL *ptSrc) {
  if (auto f = fnCast<FnCopyBits>(hook(t, INDEX_DrvCopyBits, HOOK_COPYBITS))) return f(t.so, src, pco, pxlo, rc, ptSrc);
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
  auto *pen = dc->st.pen;
  auto *brushObj = dc->st.brush;
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
  auto *f = dc->st.font;
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

namespace {

// Where a run of text sits on the surface.
struct TextPlace {
  LONG startX = 0;
  LONG baseline = 0;
  LONG ascent = 0;
  LONG descent = 0;
};

// The rectangles of one call besides the glyphs.
struct TextRects {
  RECTL bk{};
  RECTL opaque{};
  bool hasOpaque = false;
  RECTL extra[3] = {};
  int ne = 0;
};

// Places the run by the DC's text alignment and moves the current position
// when the DC asks for it.
TextPlace placeText(DcObj *dc, int x, int y, FontFace *face, const TextLayout &lay) {
  UINT align = dc->st.align;
  if (align & TA_UPDATECP) {
    x = dc->st.cur.x;
    y = dc->st.cur.y;
  }
  TextPlace p;
  p.startX = x;
  if ((align & TA_CENTER) == TA_CENTER)
    p.startX = x - lay.width / 2;
  else if (align & TA_RIGHT)
    p.startX = x - lay.width;
  p.ascent = faceAscent(face);
  p.descent = faceDescent(face);
  p.baseline = y;
  if ((align & TA_BASELINE) == TA_BASELINE)
    p.baseline = y;
  else if (align & TA_BOTTOM)
    p.baseline = y - p.descent;
  else
    p.baseline = y + p.ascent;
  if (align & TA_UPDATECP)
    dc->st.cur.x = (align & TA_RIGHT) && !((align & TA_CENTER) == TA_CENTER) ? x - lay.width : x + lay.width;
  return p;
}

void setOpaque(TextRects &r, const DcObj *dc, UINT options, const RECT *rc, UINT c) {
  if ((options & ETO_OPAQUE) && rc) {
    r.opaque = RECTL{rc->left, rc->top, rc->right, rc->bottom};
    r.hasOpaque = true;
  } else if (dc->st.bkMode == OPAQUE && c) {
    r.opaque = r.bk;
    r.hasOpaque = true;
  }
  if (r.opaque.left > r.opaque.right) std::swap(r.opaque.left, r.opaque.right);
  if (r.opaque.top > r.opaque.bottom) std::swap(r.opaque.top, r.opaque.bottom);
}

void initFont(Font &font, DcObj *dc, FontFace *face) {
  auto *fobj = dc->st.font;
  font.face = face;
  font.fo.iUniq = faceUniq(face);
  font.fo.iFace = faceUniq(face);
  font.fo.cxMax = ULONG(faceMaxAdvance(face));
  font.fo.flFontType = FO_TYPE_TRUETYPE;
  font.fo.iTTUniq = faceUniq(face);
  font.fo.sizLogResPpi = SIZE{LONG(dc->pdev ? dc->pdev->gi.ulLogPixelsX : 96), dpiY(dc)};
  font.fo.ulStyleSize = ULONG(std::abs(fobj ? fobj->lf.lfHeight : 0));
}

// Fills in the string's glyphs and their bits; returns the box their ink
// covers together with the background box.
RECTL placeGlyphs(Str &str, std::vector<GLYPHDEF> &defs, FontFace *face, const TextLayout &lay, const TextPlace &p,
                  LPCWSTR s, UINT c, const RECTL &bk) {
  RECTL ink = bk;
  str.glyphs.resize(c);
  str.text.assign(s, s + c);
  str.text.push_back(0);
  for (UINT i = 0; i < c; ++i) {
    GLYPHPOS &gp = str.glyphs[i];
    gp.hg = lay.glyphs[i];
    defs[i].pgb = glyphBits(face, gp.hg);
    gp.pgdf = &defs[i];
    gp.ptl = POINTL{p.startX + lay.x[i], p.baseline};
    if (GLYPHBITS *gb = defs[i].pgb) {
      ink.left = std::min(ink.left, gp.ptl.x + gb->ptlOrigin.x);
      ink.top = std::min(ink.top, gp.ptl.y + gb->ptlOrigin.y);
      ink.right = std::max(ink.right, gp.ptl.x + gb->ptlOrigin.x + gb->sizlBitmap.cx);
      ink.bottom = std::max(ink.bottom, gp.ptl.y + gb->ptlOrigin.y + gb->sizlBitmap.cy);
    }
  }
  return ink;
}

void addDecorations(TextRects &r, const FontObj *fobj, const TextPlace &p, LONG width) {
  if (fobj && fobj->lf.lfUnderline) {
    LONG th = std::max<LONG>(1, (p.ascent + p.descent) / 14);
    r.extra[r.ne++] = RECTL{p.startX, p.baseline + th, p.startX + width, p.baseline + 2 * th};
  }
  if (fobj && fobj->lf.lfStrikeOut) {
    LONG th = std::max<LONG>(1, (p.ascent + p.descent) / 14);
    r.extra[r.ne++] = RECTL{p.startX, p.baseline - p.ascent / 3 - th, p.startX + width, p.baseline - p.ascent / 3};
  }
}

void grow(RECTL &bounds, const RECTL &r) {
  bounds.left = std::min(bounds.left, r.left);
  bounds.top = std::min(bounds.top, r.top);
  bounds.right = std::max(bounds.right, r.right);
  bounds.bottom = std::max(bounds.bottom, r.bottom);
}

// What the call may touch: the ink, the opaque box and the bars, cut to the
// caller's rectangle when it clips.
RECTL textBounds(const RECTL &ink, const TextRects &r, UINT options, const RECT *rc) {
  RECTL bounds = ink;
  if (r.hasOpaque) grow(bounds, r.opaque);
  for (int i = 0; i < r.ne; ++i) grow(bounds, r.extra[i]);
  if ((options & ETO_CLIPPED) && rc) {
    bounds.left = std::max<LONG>(bounds.left, std::min(rc->left, rc->right));
    bounds.top = std::max<LONG>(bounds.top, std::min(rc->top, rc->bottom));
    bounds.right = std::min<LONG>(bounds.right, std::max(rc->left, rc->right));
    bounds.bottom = std::min<LONG>(bounds.bottom, std::max(rc->top, rc->bottom));
  }
  return bounds;
}

BOOL drawText(const Target &t, DcObj *dc, Str &str, Font &font, TextRects &r, const RECTL &bounds, UINT c) {
  CallClip clip(t, bounds);
  if (clip.empty) return TRUE;
  CallBrush fore(t, dc->st.text);
  CallBrush back(t, dc->st.bk);
  POINTL org{0, 0};
  if (c == 0) {
    if (!r.hasOpaque) return TRUE;
    return doBitBlt(t, nullptr, clip.co(), nullptr, &r.opaque, nullptr, back.bo(), &org, 0xF0F0);
  }
  MIX mix = R2_COPYPEN | (R2_COPYPEN << 8);
  RECTL *extra = r.ne ? r.extra : nullptr;
  RECTL *opaque = r.hasOpaque ? &r.opaque : nullptr;
  BRUSHOBJ *backBo = r.hasOpaque ? back.bo() : nullptr;
  if (auto f = fnCast<FnTextOut>(hook(t, INDEX_DrvTextOut, HOOK_TEXTOUT)))
    return f(t.so, &str.so, &font.fo, clip.co(), extra, opaque, fore.bo(), backBo, &org, mix);
  return EngTextOut(t.so, &str.so, &font.fo, clip.co(), extra, opaque, fore.bo(), backBo, &org, mix);
}

}  // namespace

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
  bool glyphIdx = (options & ETO_GLYPH_INDEX) != 0;
  TextLayout lay = layoutText(face, s, c, glyphIdx, dx, (options & ETO_PDY) != 0);
  TextPlace place = placeText(dc, x, y, face, lay);
  TextRects rects;
  rects.bk =
      RECTL{place.startX, place.baseline - place.ascent, place.startX + lay.width, place.baseline + place.descent};
  setOpaque(rects, dc, options, rc, c);
  // Glyph positions and bits.
  Str str;
  TransientGuard strGuard(&str);
  Font font;
  TransientGuard fontGuard(&font);
  initFont(font, dc, face);
  std::vector<GLYPHDEF> defs(c);
  RECTL ink = placeGlyphs(str, defs, face, lay, place, s, c, rects.bk);
  str.font = &font;
  str.so.cGlyphs = c;
  str.so.flAccel = SO_HORIZONTAL | (dx ? 0 : SO_FLAG_DEFAULT_PLACEMENT) | (glyphIdx ? SO_GLYPHINDEX_TEXTOUT : 0);
  str.so.rclBkGround = rects.bk;
  str.so.pgp = c ? str.glyphs.data() : nullptr;
  str.so.pwszOrg = str.text.data();
  // Underline and strike-out as extra rectangles.
  addDecorations(rects, dc->st.font, place, lay.width);
  return drawText(t, dc, str, font, rects, textBounds(ink, rects, options, rc), c);
}

// ------------------------------------------------------------ blits

// Copies or stretches a source surface onto a DC with a ROP3.  The
// destination rectangle may be mirrored (negative width or height).
BOOL blit(DcObj *dst, LONG xd, LONG yd, LONG wd, LONG hd, Surface *src, LONG xs, LONG ys, LONG ws, LONG hs, DWORD rop,
          COLORREF monoFore, COLORREF monoBack) {
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
  CallBrush brush(t, dst->st.brush, dst);
  POINTL org{0, 0};
  bool same = wd == ws && hd == hs && wd > 0 && hd > 0;
  if (same) {
    // Source and destination clipped together so that the source stays
    // inside its bitmap.
    LONG dx0 = xd, dy0 = yd;
    if (xs < 0) {
      dx0 -= xs;
      xs = 0;
    }
    if (ys < 0) {
      dy0 -= ys;
      ys = 0;
    }
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
Surface *dibSurface(const BITMAPINFO *bmi, const void *bits, UINT usage, UINT lines) {
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

}  // namespace winsim::gdi
