// Device instances and their two card-sized surfaces.
#include <windows.h>
#include <winddi.h>

#include <cstring>
#include <new>

#include "render/device.h"
#include "shared/wire_format.h"

namespace card {

namespace {

constexpr FLONG kHooks = HOOK_BITBLT | HOOK_STRETCHBLT | HOOK_TEXTOUT | HOOK_PAINT | HOOK_STROKEPATH | HOOK_FILLPATH |
                         HOOK_STROKEANDFILLPATH | HOOK_LINETO | HOOK_COPYBITS;
static_assert(kHooks == 0x5FB);

// Capabilities answered for every instance of the process; only the size
// fields depend on the orientation and are set just before the copy.
GDIINFO g_gdiInfo;
DEVINFO g_devInfo;

void fillTemplates(bool portrait) {
  GDIINFO &g = g_gdiInfo;
  std::memset(&g, 0, sizeof g);
  g.ulVersion = 0x5001;
  g.ulTechnology = DT_RASPRINTER;
  g.ulHorzSize = portrait ? 54 : 86;
  g.ulVertSize = portrait ? 86 : 54;
  g.ulHorzRes = portrait ? kCardShort : kCardLong;
  g.ulVertRes = portrait ? kCardLong : kCardShort;
  g.szlPhysSize.cx = LONG(g.ulHorzRes);
  g.szlPhysSize.cy = LONG(g.ulVertRes);
  g.cBitsPixel = 24;
  g.cPlanes = 1;
  g.ulNumColors = 3;
  g.ulLogPixelsX = g.ulLogPixelsY = g.ulDevicePelsDPI = 300;
  g.flTextCaps = 10000;
  g.ulAspectX = 300;
  g.ulAspectY = 300;
  g.ulAspectXY = 425;
  g.xStyleStep = 1;
  g.yStyleStep = 1;
  g.denStyleStep = 12;
  g.ciDevice.RedGamma = g.ciDevice.GreenGamma = g.ciDevice.BlueGamma = 12500;
  g.ciDevice.MagentaInCyanDye = g.ciDevice.YellowInCyanDye = 5000;
  g.ciDevice.CyanInMagentaDye = g.ciDevice.YellowInMagentaDye = 5000;
  g.ciDevice.CyanInYellowDye = g.ciDevice.MagentaInYellowDye = 5000;
  g.ulPrimaryOrder = PRIMARY_ORDER_CBA;
  g.ulHTPatternSize = HT_PATSIZE_6x6_M;
  g.ulHTOutputFormat = HT_FORMAT_24BPP;
  g.flHTFlags = HT_FLAG_HAS_BLACK_DYE;

  DEVINFO &d = g_devInfo;
  std::memset(&d, 0, sizeof d);
  d.flGraphicsCaps = GCAPS_HALFTONE;
  d.iDitherFormat = BMF_24BPP;
}

bool portraitOf(const DEVMODEW *dm) {
  // A missing DEVMODE gives portrait; any orientation other than portrait is landscape.
  return !dm || dm->dmOrientation == DMORIENT_PORTRAIT;
}

DeviceInstance *fromHandle(DHPDEV h) {
  auto *p = reinterpret_cast<DeviceInstance *>(h);
  return (p && p->leadingGuard == kGuardValue && p->trailingGuard == kGuardValue) ? p : nullptr;
}

SIZEL cardSize(const DeviceInstance &p) {
  DEVMODEW dm;
  std::memcpy(&dm, p.devmode.standard, kStandardPartSize);
  bool portrait = dm.dmOrientation == DMORIENT_PORTRAIT;
  return SIZEL{portrait ? kCardShort : kCardLong, portrait ? kCardLong : kCardShort};
}

}  // namespace

DeviceInstance *instanceOf(SURFOBJ *surface) { return surface ? fromHandle(surface->dhpdev) : nullptr; }

}  // namespace card

using namespace card;

extern "C" DHPDEV APIENTRY DrvEnablePDEV(DEVMODEW *pdm, LPWSTR, ULONG cPat, HSURF *phsurfPatterns, ULONG cjCaps,
                                         ULONG *pdevcaps, ULONG cjDevInfo, DEVINFO *pdi, HDEV, LPWSTR, HANDLE hDriver) {
  auto *p = static_cast<DeviceInstance *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(DeviceInstance)));
  if (!p) {
    SetLastError(ERROR_OUTOFMEMORY);
    return nullptr;
  }
  if (pdm) {
    copyDevmodeForRenderer(pdm, claimedDevmodeSize(pdm), p->devmode);
    // Whatever the DEVMODE holds, only values within each setting's range go
    // on to the printer.
    keepSettingsInRange(p->devmode.record, hDriver);
  } else {
    // Without a DEVMODE the card is portrait, as the capabilities say.
    DEVMODEW dm;
    std::memset(&dm, 0, sizeof dm);
    dm.dmSize = WORD(kStandardPartSize);
    dm.dmOrientation = DMORIENT_PORTRAIT;
    dm.dmCopies = 1;
    std::memcpy(p->devmode.standard, &dm, kStandardPartSize);
  }
  p->fragments = new (std::nothrow) FragmentList;
  if (!p->fragments) {
    HeapFree(GetProcessHeap(), 0, p);
    SetLastError(ERROR_OUTOFMEMORY);
    return nullptr;
  }
  p->leadingGuard = kGuardValue;
  p->trailingGuard = kGuardValue;
  p->printer = hDriver;
  p->palette = EngCreatePalette(PAL_BGR, 0, nullptr, 0, 0, 0);

  DEVMODEW dm;
  std::memcpy(&dm, p->devmode.standard, kStandardPartSize);
  fillTemplates(portraitOf(pdm ? &dm : nullptr));
  if (pdevcaps) std::memcpy(pdevcaps, &g_gdiInfo, cjCaps < sizeof(GDIINFO) ? cjCaps : sizeof(GDIINFO));
  if (pdi) {
    g_devInfo.hpalDefault = p->palette;
    std::memcpy(pdi, &g_devInfo, cjDevInfo < sizeof(DEVINFO) ? cjDevInfo : sizeof(DEVINFO));
  }
  if (phsurfPatterns && cPat) std::memset(phsurfPatterns, 0, size_t(cPat) * sizeof(HSURF));
  return reinterpret_cast<DHPDEV>(p);
}

extern "C" VOID APIENTRY DrvCompletePDEV(DHPDEV dhpdev, HDEV hdev) {
  if (DeviceInstance *p = fromHandle(dhpdev)) p->hdev = hdev;
}

extern "C" BOOL APIENTRY DrvResetPDEV(DHPDEV dhpdevOld, DHPDEV dhpdevNew) {
  DeviceInstance *o = fromHandle(dhpdevOld), *n = fromHandle(dhpdevNew);
  if (!o || !n) return FALSE;
  // The job goes on in the new instance: same page count, so the same side
  // parity.  It takes over the output buffer too, so that the rest of the job
  // has one; the old instance no longer frees it.
  n->job = o->job;
  if (o->outputBuffer && !n->outputBuffer) {
    n->outputBuffer = o->outputBuffer;
    o->outputBuffer = nullptr;
    n->capture.frontBlackEmpty = o->capture.frontBlackEmpty;
    n->capture.backBlackEmpty = o->capture.backBlackEmpty;
  }
  return TRUE;
}

extern "C" VOID APIENTRY DrvDisablePDEV(DHPDEV dhpdev) {
  DeviceInstance *p = fromHandle(dhpdev);
  if (!p) return;
  if (p->palette) EngDeletePalette(p->palette);
  if (p->outputBuffer) HeapFree(GetProcessHeap(), 0, p->outputBuffer);
  delete p->fragments;
  p->leadingGuard = p->trailingGuard = 0;
  HeapFree(GetProcessHeap(), 0, p);
}

extern "C" HSURF APIENTRY DrvEnableSurface(DHPDEV dhpdev) {
  DeviceInstance *p = fromHandle(dhpdev);
  if (!p) return nullptr;
  SIZEL size = cardSize(*p);
  HBITMAP colour = EngCreateBitmap(size, 0, BMF_24BPP, BMF_TOPDOWN | BMF_NOZEROINIT, nullptr);
  if (!colour) return nullptr;
  p->colourSurface = reinterpret_cast<HSURF>(colour);
  EngAssociateSurface(p->colourSurface, p->hdev, kHooks);
  HBITMAP black = EngCreateBitmap(size, 0, BMF_1BPP, BMF_TOPDOWN | BMF_NOZEROINIT, nullptr);
  if (!black) return nullptr;  // the colour surface stays for DrvDisableSurface
  p->blackSurface = reinterpret_cast<HSURF>(black);
  EngAssociateSurface(p->blackSurface, p->hdev, kHooks);
  return p->colourSurface;
}

extern "C" VOID APIENTRY DrvDisableSurface(DHPDEV dhpdev) {
  DeviceInstance *p = fromHandle(dhpdev);
  if (!p) return;
  if (p->colourSurface) EngDeleteSurface(p->colourSurface);
  if (p->blackSurface) EngDeleteSurface(p->blackSurface);
  p->colourSurface = p->blackSurface = nullptr;
}
