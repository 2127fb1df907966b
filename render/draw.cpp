// Drawing hooks.  The engine's own routines draw the page; the hooks decide on
// which surface: black content that the ribbon prints with its resin-black
// panel goes to the black surface, everything else to the colour surface.
// Text is looked at first for the macros that carry magnetic-stripe data and
// printer commands.  A hook called outside a job's open page draws nothing.
#include <windows.h>
#include <winddi.h>
#include <winspool.h>

#include <cstring>
#include <new>

#include "render/device.h"
#include "render/text_capture.h"

namespace card {
namespace {

constexpr ULONG kBlack = 0x000000;
constexpr ULONG kWhite = 0xFFFFFF;
constexpr MIX kCopyPen = 0x0D0D;  // R2_COPYPEN for both fore- and background

DeviceInstance *drawing(SURFOBJ *pso) {
  DeviceInstance *p = instanceOf(pso);
  return (p && p->job.jobStarted && p->job.pageOpen) ? p : nullptr;
}

bool kDrawing(const DeviceInstance &p) { return kDrawingApplies(p.devmode.record, p.job); }
// Black drawing may go to the resin-black panel at all.
bool usesKPanel(const DeviceInstance &p) { return p.devmode.record.blackPanelMode != kBlackPanelNever; }
// Monochrome bitmaps and black fills go to the resin-black panel.
bool blackBitmapsToK(const DeviceInstance &p) {
  const JobSettingsRecord &r = p.devmode.record;
  return r.blackPanelMode == kBlackPanelExceptColourPictures && r.blackBitmap == kSettingOn;
}

ULONG colourOf(BRUSHOBJ *pbo) { return pbo ? pbo->iSolidColor : 0xFFFFFFFF; }
bool isBlack(BRUSHOBJ *pbo) { return pbo && colourOf(pbo) == kBlack; }
bool isWhite(BRUSHOBJ *pbo) { return pbo && colourOf(pbo) == kWhite; }

// Runs `draw` on the instance's black surface: lock, draw, unlock.
template <typename Draw>
BOOL onBlack(DeviceInstance &p, Draw draw) {
  SURFOBJ *black = EngLockSurface(p.blackSurface);
  if (!black) return FALSE;
  BOOL ok = draw(black);
  EngUnlockSurface(black);
  return ok;
}

// A solid brush of the given colour for a second drawing on the black surface.
BRUSHOBJ solidBrush(ULONG colour) {
  BRUSHOBJ b{};
  b.iSolidColor = colour;
  return b;
}

// Paints the black surface white within a clip region (or the call's
// rectangle when there is no clip): nothing black stays under what the colour
// surface received.
BOOL whitenBlack(DeviceInstance &p, CLIPOBJ *pco, RECTL *area) {
  BRUSHOBJ white = solidBrush(kWhite);
  return onBlack(p, [&](SURFOBJ *black) {
    if (pco) return EngPaint(black, pco, &white, nullptr, kCopyPen);
    return area ? EngEraseSurface(black, area, 1) : TRUE;
  });
}

// The page's text: glyph indices turned back into characters through the
// font's glyph set, at most 255 of them; plain characters as they come.
size_t textOf(STROBJ *pstro, FONTOBJ *pfo, uint16_t *out, size_t capacity) {
  if (!pstro || !pstro->pwszOrg) return 0;
  size_t n = pstro->cGlyphs;
  if (!(pstro->flAccel & SO_GLYPHINDEX_TEXTOUT)) {
    if (n > capacity) n = capacity;
    for (size_t i = 0; i < n; ++i) out[i] = uint16_t(pstro->pwszOrg[i]);
    return n;
  }
  if (n > 255) n = 255;
  if (n > capacity) n = capacity;
  FD_GLYPHSET *set = pfo ? FONTOBJ_pfdg(pfo) : nullptr;
  for (size_t i = 0; i < n; ++i) {
    HGLYPH g = HGLYPH(uint16_t(pstro->pwszOrg[i]));
    uint16_t c = 0;
    // The first run holds the characters a macro is written in; later runs
    // are searched too, so that other text keeps its characters.
    for (ULONG run = 0; set && run < set->cRuns && !c; ++run) {
      const WCRUN &wr = set->awcrun[run];
      for (USHORT k = 0; wr.phg && k < wr.cGlyphs; ++k)
        if (wr.phg[k] == g) {
          c = uint16_t(wr.wcLow + k);
          break;
        }
    }
    out[i] = c;
  }
  return n;
}

}  // namespace

void eraseConsumedFragments(DeviceInstance &p, SURFOBJ *surface) {
  if (!surface || !p.fragments) return;
  const bool mono = surface->iBitmapFormat == BMF_1BPP;
  for (const TextFragment &f : p.fragments->fragments()) {
    // A fragment taken as a macro when it came was never drawn: erasing its
    // place would only whiten what the page has there.
    if (!f.consumed || !f.drawn) continue;
    RECTL r = f.bounds;
    // Only what lies on the surface is erased.
    if (r.left < 0) r.left = 0;
    if (r.top < 0) r.top = 0;
    if (r.right > surface->sizlBitmap.cx) r.right = surface->sizlBitmap.cx;
    if (r.bottom > surface->sizlBitmap.cy) r.bottom = surface->sizlBitmap.cy;
    if (r.left >= r.right || r.top >= r.bottom) continue;
    EngEraseSurface(surface, &r, mono ? 1 : kWhite);
  }
}

}  // namespace card

using namespace card;

extern "C" BOOL APIENTRY DrvStrokePath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *pxo, BRUSHOBJ *pbo,
                                       POINTL *pptlBrushOrg, LINEATTRS *plineattrs, MIX mix) {
  DeviceInstance *p = drawing(pso);
  if (!p) return FALSE;
  if (kDrawing(*p) && usesKPanel(*p) && isBlack(pbo))
    return onBlack(*p, [&](SURFOBJ *k) { return EngStrokePath(k, ppo, pco, pxo, pbo, pptlBrushOrg, plineattrs, mix); });
  return EngStrokePath(pso, ppo, pco, pxo, pbo, pptlBrushOrg, plineattrs, mix);
}

extern "C" BOOL APIENTRY DrvFillPath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, BRUSHOBJ *pbo, POINTL *pptlBrushOrg,
                                     MIX mix, FLONG flOptions) {
  DeviceInstance *p = drawing(pso);
  if (!p) return FALSE;
  if (kDrawing(*p) && usesKPanel(*p) && isBlack(pbo))
    return onBlack(*p, [&](SURFOBJ *k) { return EngFillPath(k, ppo, pco, pbo, pptlBrushOrg, mix, flOptions); });
  return EngFillPath(pso, ppo, pco, pbo, pptlBrushOrg, mix, flOptions);
}

extern "C" BOOL APIENTRY DrvStrokeAndFillPath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *pxo,
                                              BRUSHOBJ *pboStroke, LINEATTRS *plineattrs, BRUSHOBJ *pboFill,
                                              POINTL *pptlBrushOrg, MIX mixFill, FLONG flOptions) {
  DeviceInstance *p = drawing(pso);
  if (!p) return FALSE;
  if (kDrawing(*p) && usesKPanel(*p) && isBlack(pboStroke))
    return onBlack(*p, [&](SURFOBJ *k) {
      return EngStrokeAndFillPath(k, ppo, pco, pxo, pboStroke, plineattrs, pboFill, pptlBrushOrg, mixFill, flOptions);
    });
  return EngStrokeAndFillPath(pso, ppo, pco, pxo, pboStroke, plineattrs, pboFill, pptlBrushOrg, mixFill, flOptions);
}

extern "C" BOOL APIENTRY DrvLineTo(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, LONG x1, LONG y1, LONG x2, LONG y2,
                                   RECTL *prclBounds, MIX mix) {
  DeviceInstance *p = drawing(pso);
  if (!p) return FALSE;
  if (kDrawing(*p) && usesKPanel(*p) && isBlack(pbo))
    return onBlack(*p, [&](SURFOBJ *k) { return EngLineTo(k, pco, pbo, x1, y1, x2, y2, prclBounds, mix); });
  return EngLineTo(pso, pco, pbo, x1, y1, x2, y2, prclBounds, mix);
}

extern "C" BOOL APIENTRY DrvPaint(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, POINTL *pptlBrushOrg, MIX mix) {
  DeviceInstance *p = drawing(pso);
  if (!p) return FALSE;
  if (kDrawing(*p) && isWhite(pbo)) {
    // White paint erases black on both surfaces.
    onBlack(*p, [&](SURFOBJ *k) { return EngPaint(k, pco, pbo, pptlBrushOrg, mix); });
    return EngPaint(pso, pco, pbo, pptlBrushOrg, mix);
  }
  if (kDrawing(*p) && usesKPanel(*p) && isBlack(pbo))
    return onBlack(*p, [&](SURFOBJ *k) { return EngPaint(k, pco, pbo, pptlBrushOrg, mix); });
  return EngPaint(pso, pco, pbo, pptlBrushOrg, mix);
}

extern "C" BOOL APIENTRY DrvBitBlt(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco, XLATEOBJ *pxlo,
                                   RECTL *prclTrg, POINTL *pptlSrc, POINTL *pptlMask, BRUSHOBJ *pbo, POINTL *pptlBrush,
                                   ROP4 rop4) {
  DeviceInstance *p = drawing(psoTrg);
  if (!p) return FALSE;
  if (kDrawing(*p) && blackBitmapsToK(*p)) {
    if (isBlack(pbo))
      return onBlack(*p, [&](SURFOBJ *k) {
        return EngBitBlt(k, psoSrc, psoMask, pco, pxlo, prclTrg, pptlSrc, pptlMask, pbo, pptlBrush, rop4);
      });
    EngBitBlt(psoTrg, psoSrc, psoMask, pco, pxlo, prclTrg, pptlSrc, pptlMask, pbo, pptlBrush, rop4);
    BRUSHOBJ white = solidBrush(kWhite);
    return onBlack(*p, [&](SURFOBJ *k) {
      return EngBitBlt(k, psoSrc, psoMask, pco, pxlo, prclTrg, pptlSrc, pptlMask, &white, pptlBrush, rop4);
    });
  }
  return EngBitBlt(psoTrg, psoSrc, psoMask, pco, pxlo, prclTrg, pptlSrc, pptlMask, pbo, pptlBrush, rop4);
}

extern "C" BOOL APIENTRY DrvCopyBits(SURFOBJ *psoDest, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo, RECTL *prclDest,
                                     POINTL *pptlSrc) {
  // A copy onto a surface that is not an instance's goes to the engine as it is.
  if (!instanceOf(psoDest)) return EngCopyBits(psoDest, psoSrc, pco, pxlo, prclDest, pptlSrc);
  DeviceInstance *p = drawing(psoDest);
  if (!p) return FALSE;
  if (kDrawing(*p) && psoSrc && psoSrc->iBitmapFormat == BMF_1BPP && blackBitmapsToK(*p) && prclDest) {
    // A monochrome picture goes to the resin panel as it stands.
    RECTL src{pptlSrc ? pptlSrc->x : 0, pptlSrc ? pptlSrc->y : 0, psoSrc->sizlBitmap.cx, psoSrc->sizlBitmap.cy};
    return onBlack(*p, [&](SURFOBJ *k) {
      return EngStretchBlt(k, psoSrc, nullptr, pco, pxlo, nullptr, nullptr, prclDest, &src, nullptr, BLACKONWHITE);
    });
  }
  whitenBlack(*p, pco, prclDest);
  return EngCopyBits(psoDest, psoSrc, pco, pxlo, prclDest, pptlSrc);
}

extern "C" BOOL APIENTRY DrvStretchBlt(SURFOBJ *psoDest, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco,
                                       XLATEOBJ *pxlo, COLORADJUSTMENT *pca, POINTL *pptlHTOrg, RECTL *prclDest,
                                       RECTL *prclSrc, POINTL *pptlMask, ULONG iMode) {
  DeviceInstance *p = drawing(psoDest);
  if (!p) return FALSE;
  if (kDrawing(*p) && psoSrc && psoSrc->iBitmapFormat == BMF_1BPP && blackBitmapsToK(*p))
    return onBlack(*p, [&](SURFOBJ *k) {
      return EngStretchBlt(k, psoSrc, psoMask, pco, pxlo, pca, pptlHTOrg, prclDest, prclSrc, pptlMask, BLACKONWHITE);
    });
  BOOL ok = EngStretchBlt(psoDest, psoSrc, psoMask, pco, pxlo, pca, pptlHTOrg, prclDest, prclSrc, pptlMask, iMode);
  if (kDrawing(*p) && usesKPanel(*p)) return whitenBlack(*p, pco, prclDest);
  return ok;
}

extern "C" BOOL APIENTRY DrvTextOut(SURFOBJ *pso, STROBJ *pstro, FONTOBJ *pfo, CLIPOBJ *pco, RECTL *prclExtra,
                                    RECTL *prclOpaque, BRUSHOBJ *pboFore, BRUSHOBJ *pboOpaque, POINTL *pptlOrg,
                                    MIX mix) {
  DeviceInstance *p = drawing(pso);
  if (!p) return FALSE;
  try {
    uint16_t text[kFragmentChars + 1];
    size_t n = textOf(pstro, pfo, text, kFragmentChars);
    RECTL bounds = pco ? pco->rclBounds : (pstro ? pstro->rclBkGround : RECTL{0, 0, 0, 0});
    if (captureText(text, n, bounds, p->devmode.record, p->capture, *p->fragments) == TextUse::Macro) return TRUE;
  } catch (const std::bad_alloc &) {
    // Without room for the fragment the text is simply drawn.
  }
  if (kDrawing(*p) && usesKPanel(*p) && isBlack(pboFore))
    return onBlack(*p, [&](SURFOBJ *k) {
      return EngTextOut(k, pstro, pfo, pco, prclExtra, prclOpaque, pboFore, pboOpaque, pptlOrg, mix);
    });
  BOOL ok = EngTextOut(pso, pstro, pfo, pco, prclExtra, prclOpaque, pboFore, pboOpaque, pptlOrg, mix);
  if (kDrawing(*p) && usesKPanel(*p)) {
    // Coloured text takes the black out from under itself.
    BRUSHOBJ white = solidBrush(kWhite);
    if (pstro) STROBJ_vEnumStart(pstro);
    return onBlack(*p, [&](SURFOBJ *k) {
      return EngTextOut(k, pstro, pfo, pco, prclExtra, nullptr, &white, nullptr, pptlOrg, mix);
    });
  }
  return ok;
}

extern "C" ULONG APIENTRY DrvEscape(SURFOBJ *pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG, PVOID) {
  switch (iEsc) {
    case QUERYESCSUPPORT:
      if (!pvIn || cjIn < sizeof(WORD)) return 0;
      return *static_cast<const WORD *>(pvIn) == PASSTHROUGH ? 1 : 0;
    case PASSTHROUGH: {
      // Raw printer data behind its 16-bit byte count.  Only the counted bytes
      // are the application's data; whatever the buffer holds after them is
      // not sent.  A count beyond the buffer is a broken request: sending what
      // is there would put half a command into the job, so nothing is sent
      // and the application is told the escape failed (a negative answer).
      DeviceInstance *p = instanceOf(pso);
      if (!p || !pvIn || cjIn < sizeof(WORD)) return 0;
      WORD count = 0;
      std::memcpy(&count, pvIn, sizeof count);
      if (count > cjIn - sizeof(WORD)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return static_cast<ULONG>(-1);
      }
      DWORD written = 0;
      return WritePrinter(p->printer, static_cast<BYTE *>(pvIn) + sizeof(WORD), count, &written);
    }
    default: return 0;
  }
}
