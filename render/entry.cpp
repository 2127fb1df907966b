// The driver's entry points: what the graphics engine calls when it loads and
// unloads the DLL, and the table of hooks it hands over.
#include <windows.h>
#include <winddi.h>

#include "render/device.h"

namespace card {

namespace {

CRITICAL_SECTION g_lock;
bool g_lockReady = false;

// The table holds every hook as the engine's generic function pointer.
template <typename F>
PFN hook(F f) {
  return reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(f));
}

// Hooks in the order the engine receives them.
DRVFN g_hooks[] = {
    {INDEX_DrvEnablePDEV, hook(DrvEnablePDEV)},
    {INDEX_DrvCompletePDEV, hook(DrvCompletePDEV)},
    {INDEX_DrvResetPDEV, hook(DrvResetPDEV)},
    {INDEX_DrvDisablePDEV, hook(DrvDisablePDEV)},
    {INDEX_DrvEnableSurface, hook(DrvEnableSurface)},
    {INDEX_DrvDisableSurface, hook(DrvDisableSurface)},
    {INDEX_DrvStrokePath, hook(DrvStrokePath)},
    {INDEX_DrvFillPath, hook(DrvFillPath)},
    {INDEX_DrvStrokeAndFillPath, hook(DrvStrokeAndFillPath)},
    {INDEX_DrvLineTo, hook(DrvLineTo)},
    {INDEX_DrvPaint, hook(DrvPaint)},
    {INDEX_DrvBitBlt, hook(DrvBitBlt)},
    {INDEX_DrvCopyBits, hook(DrvCopyBits)},
    {INDEX_DrvStretchBlt, hook(DrvStretchBlt)},
    {INDEX_DrvTextOut, hook(DrvTextOut)},
    {INDEX_DrvEscape, hook(DrvEscape)},
    {INDEX_DrvStartDoc, hook(DrvStartDoc)},
    {INDEX_DrvEndDoc, hook(DrvEndDoc)},
    {INDEX_DrvStartPage, hook(DrvStartPage)},
    {INDEX_DrvSendPage, hook(DrvSendPage)},
};
static_assert(sizeof g_hooks / sizeof g_hooks[0] == 20);

}  // namespace

CRITICAL_SECTION &renderLock() { return g_lock; }

}  // namespace card

using namespace card;

extern "C" BOOL APIENTRY DrvQueryDriverInfo(DWORD dwMode, PVOID pBuffer, DWORD cbBuf, PDWORD pcbNeeded) {
  if (dwMode != DRVQUERY_USERMODE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (pcbNeeded) *pcbNeeded = sizeof(DWORD);
  if (!pBuffer || cbBuf < sizeof(DWORD)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  *static_cast<DWORD *>(pBuffer) = TRUE;  // the driver runs in user mode
  return TRUE;
}

extern "C" BOOL APIENTRY DrvEnableDriver(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA *pded) {
  (void)iEngineVersion;
  // The whole record must fit: 12 bytes on x86, 16 on x64, where a 12-byte
  // buffer would take the table pointer half outside it.
  if (cj < sizeof(DRVENABLEDATA) || !pded) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  pded->iDriverVersion = DDI_DRIVER_VERSION_NT5;
  pded->c = sizeof g_hooks / sizeof g_hooks[0];
  pded->pdrvfn = g_hooks;
  if (!g_lockReady) {
    InitializeCriticalSection(&g_lock);
    g_lockReady = true;
  }
  return TRUE;
}

extern "C" VOID APIENTRY DrvDisableDriver() {
  if (g_lockReady) {
    DeleteCriticalSection(&g_lock);
    g_lockReady = false;
  }
}
