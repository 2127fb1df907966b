// GDI's objects and device contexts: the stock objects, the state a DC
// selects, the printer's graphics driver loaded and enabled as the Windows
// engine does (DrvEnableDriver, DrvEnablePDEV, DrvCompletePDEV,
// DrvEnableSurface), and the reset of it all.
#include <algorithm>
#include <cmath>
#include <cstring>

#include <winspool.h>

#include "core/internal.h"
#include "gdi32/gdi.h"

namespace winsim::gdi {

std::recursive_mutex g_gdiLock;
std::map<HMODULE, std::unique_ptr<Driver>> g_drivers;
GdiObj *g_stock[DC_PEN + 1] = {};
BitmapObj *g_stockBitmap = nullptr;

namespace {

// The stock objects are the same handles in every process, as on Windows.
template <typename T>
T *addStockObj(T *o, DWORD type) {
  o->type = type;
  o->stock = true;
  o->handle = registerMachineWideObject(o);
  return o;
}

}  // namespace

void initStock() {
  std::lock_guard<std::recursive_mutex> g(g_gdiLock);
  if (g_stock[WHITE_BRUSH]) return;
  auto brush = [](int i, UINT style, COLORREF c) {
    auto *b = addStockObj(new BrushObj, OBJ_BRUSH);
    b->lb = LOGBRUSH{style, c, 0};
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
    auto *p = addStockObj(new PenObj, OBJ_PEN);
    p->lp = LOGPEN{style, POINT{0, 0}, c};
    g_stock[i] = p;
  };
  pen(WHITE_PEN, PS_SOLID, RGB(255, 255, 255));
  pen(BLACK_PEN, PS_SOLID, RGB(0, 0, 0));
  pen(NULL_PEN, PS_NULL, 0);
  pen(DC_PEN, PS_SOLID, 0);
  auto font = [](int i, const char16_t *face, LONG height, BYTE pitch) {
    auto *f = addStockObj(new FontObj, OBJ_FONT);
    f->lf.lfHeight = height;
    f->lf.lfWeight = FW_NORMAL;
    f->lf.lfPitchAndFamily = pitch;
    lstrcpynW(f->lf.lfFaceName, face, LF_FACESIZE);
    g_stock[i] = f;
  };
  font(OEM_FIXED_FONT, u"Courier New", 0, FIXED_PITCH);
  font(ANSI_FIXED_FONT, u"Courier New", 0, FIXED_PITCH);
  font(ANSI_VAR_FONT, u"Arial", 0, VARIABLE_PITCH);
  font(SYSTEM_FONT, u"Arial", 0, VARIABLE_PITCH);
  font(DEVICE_DEFAULT_FONT, u"Arial", 0, VARIABLE_PITCH);
  font(SYSTEM_FIXED_FONT, u"Courier New", 0, FIXED_PITCH);
  font(DEFAULT_GUI_FONT, u"Arial", 0, VARIABLE_PITCH);
  g_stockBitmap = addStockObj(new BitmapObj, OBJ_BITMAP);
  Surface *s = createSurface(1, 1, BMF_1BPP, false);
  g_stockBitmap->setSurface(s);
  destroySurface(s);  // the bitmap's own reference keeps it: no handle of a process holds it
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
  st.pen = static_cast<PenObj *>(g_stock[BLACK_PEN]);
  st.brush = static_cast<BrushObj *>(g_stock[WHITE_BRUSH]);
  st.font = static_cast<FontObj *>(g_stock[SYSTEM_FONT]);
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

void resetGdi() {
  std::lock_guard<std::recursive_mutex> g(g_gdiLock);
  // DCs a test left open go without calling their drivers: first they let
  // their objects go, then every GDI handle of every process is closed.
  std::vector<DcObj *> dcs;
  forEachObject([&dcs](KObject *o) {
    if (o->kind != Kind::GdiDc) return;
    o->refs.fetch_add(1);
    dcs.push_back(static_cast<DcObj *>(o));
  });
  for (DcObj *dc : dcs) {
    if (dc->pdev) unregisterDevice(&dc->pdev->dev);
    dc->pdev.reset();
    for (auto &s : dc->saved) releaseState(s);
    dc->saved.clear();
    releaseState(dc->st);
    release(dc);
  }
  for (Kind k : {Kind::GdiDc, Kind::GdiPen, Kind::GdiBrush, Kind::GdiFont, Kind::GdiBitmap, Kind::GdiRegion})
    closeHandlesOfKind(k);
  // The engine's surfaces and palettes drivers left: a bitmap's surface is
  // gone with the bitmap already, others with their handle.
  closeHandlesOfKind(Kind::EngSurface);
  closeHandlesOfKind(Kind::EngPalette);
  for (auto &s : g_stock) s = nullptr;
  g_stockBitmap = nullptr;
  g_drivers.clear();
  releaseFaces();
}

namespace {
const ResetStep kGdi(kResetGraphics, resetGdi);
}  // namespace

}  // namespace winsim::gdi

namespace winsim {

void setFontFolder(const std::string &hostDir) { gdi::setFontFolder(hostDir); }

}  // namespace winsim
