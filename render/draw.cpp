// Drawing hooks: the engine's own routines draw the page on the instance's
// colour surface.  A hook called outside a job's open page draws nothing.
#include <windows.h>
#include <winddi.h>
#include <winspool.h>

#include "device.h"

namespace card {
namespace {

bool drawing(SURFOBJ *pso) {
  DeviceInstance *p = instanceOf(pso);
  return p && p->job.jobStarted && p->job.pageOpen;
}

}  // namespace
}  // namespace card

using namespace card;

extern "C" BOOL APIENTRY DrvStrokePath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *pxo, BRUSHOBJ *pbo,
                                       POINTL *pptlBrushOrg, LINEATTRS *plineattrs, MIX mix) {
  if (!drawing(pso)) return FALSE;
  return EngStrokePath(pso, ppo, pco, pxo, pbo, pptlBrushOrg, plineattrs, mix);
}

extern "C" BOOL APIENTRY DrvFillPath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, BRUSHOBJ *pbo, POINTL *pptlBrushOrg,
                                     MIX mix, FLONG flOptions) {
  if (!drawing(pso)) return FALSE;
  return EngFillPath(pso, ppo, pco, pbo, pptlBrushOrg, mix, flOptions);
}

extern "C" BOOL APIENTRY DrvStrokeAndFillPath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *pxo,
                                              BRUSHOBJ *pboStroke, LINEATTRS *plineattrs, BRUSHOBJ *pboFill,
                                              POINTL *pptlBrushOrg, MIX mixFill, FLONG flOptions) {
  if (!drawing(pso)) return FALSE;
  return EngStrokeAndFillPath(pso, ppo, pco, pxo, pboStroke, plineattrs, pboFill, pptlBrushOrg, mixFill, flOptions);
}

extern "C" BOOL APIENTRY DrvLineTo(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, LONG x1, LONG y1, LONG x2, LONG y2,
                                   RECTL *prclBounds, MIX mix) {
  if (!drawing(pso)) return FALSE;
  return EngLineTo(pso, pco, pbo, x1, y1, x2, y2, prclBounds, mix);
}

extern "C" BOOL APIENTRY DrvPaint(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, POINTL *pptlBrushOrg, MIX mix) {
  if (!drawing(pso)) return FALSE;
  return EngPaint(pso, pco, pbo, pptlBrushOrg, mix);
}

extern "C" BOOL APIENTRY DrvBitBlt(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco, XLATEOBJ *pxlo,
                                   RECTL *prclTrg, POINTL *pptlSrc, POINTL *pptlMask, BRUSHOBJ *pbo,
                                   POINTL *pptlBrush, ROP4 rop4) {
  if (!drawing(psoTrg)) return FALSE;
  return EngBitBlt(psoTrg, psoSrc, psoMask, pco, pxlo, prclTrg, pptlSrc, pptlMask, pbo, pptlBrush, rop4);
}

extern "C" BOOL APIENTRY DrvCopyBits(SURFOBJ *psoDest, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo,
                                     RECTL *prclDest, POINTL *pptlSrc) {
  // A copy onto a surface that is not an instance's goes to the engine as it is.
  if (!instanceOf(psoDest)) return EngCopyBits(psoDest, psoSrc, pco, pxlo, prclDest, pptlSrc);
  if (!drawing(psoDest)) return FALSE;
  return EngCopyBits(psoDest, psoSrc, pco, pxlo, prclDest, pptlSrc);
}

extern "C" BOOL APIENTRY DrvStretchBlt(SURFOBJ *psoDest, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco,
                                       XLATEOBJ *pxlo, COLORADJUSTMENT *pca, POINTL *pptlHTOrg, RECTL *prclDest,
                                       RECTL *prclSrc, POINTL *pptlMask, ULONG iMode) {
  if (!drawing(psoDest)) return FALSE;
  return EngStretchBlt(psoDest, psoSrc, psoMask, pco, pxlo, pca, pptlHTOrg, prclDest, prclSrc, pptlMask, iMode);
}

extern "C" BOOL APIENTRY DrvTextOut(SURFOBJ *pso, STROBJ *pstro, FONTOBJ *pfo, CLIPOBJ *pco, RECTL *prclExtra,
                                    RECTL *prclOpaque, BRUSHOBJ *pboFore, BRUSHOBJ *pboOpaque, POINTL *pptlOrg,
                                    MIX mix) {
  if (!drawing(pso)) return FALSE;
  return EngTextOut(pso, pstro, pfo, pco, prclExtra, prclOpaque, pboFore, pboOpaque, pptlOrg, mix);
}

extern "C" ULONG APIENTRY DrvEscape(SURFOBJ *pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG, PVOID) {
  switch (iEsc) {
    case QUERYESCSUPPORT:
      if (!pvIn || cjIn < sizeof(WORD)) return 0;
      return *static_cast<const WORD *>(pvIn) == PASSTHROUGH ? 1 : 0;
    case PASSTHROUGH: {
      // Raw printer data behind a 16-bit count: sent as it stands.
      DeviceInstance *p = instanceOf(pso);
      if (!p || !pvIn || cjIn < sizeof(WORD)) return 0;
      DWORD written = 0;
      return WritePrinter(p->printer, static_cast<BYTE *>(pvIn) + 2, cjIn - 2, &written);
    }
    default:
      return 0;
  }
}
