// The document and page hooks: they run the card job stream over the
// instance's surfaces and write it to the spooler.
#include <windows.h>
#include <winddi.h>
#include <winspool.h>

#include <cstring>

#include "device.h"
#include "encode.h"
#include "imaging.h"

namespace card {

namespace {

SurfaceBits bitsOf(SURFOBJ *s) {
  if (!s) return SurfaceBits{nullptr, 0, 0, 0};
  return SurfaceBits{static_cast<uint8_t *>(s->pvScan0), long(s->lDelta), int(s->sizlBitmap.cx),
                     int(s->sizlBitmap.cy)};
}

// Holds the process-wide lock and one locked surface for as long as it lives.
class LockedSurface {
 public:
  explicit LockedSurface(HSURF h) : so_(h ? EngLockSurface(h) : nullptr) {}
  ~LockedSurface() {
    if (so_) EngUnlockSurface(so_);
  }
  LockedSurface(const LockedSurface &) = delete;
  LockedSurface &operator=(const LockedSurface &) = delete;
  SURFOBJ *get() const { return so_; }
  SurfaceBits bits() const { return bitsOf(so_); }

 private:
  SURFOBJ *so_;
};

class RenderLock {
 public:
  RenderLock() { EnterCriticalSection(&renderLock()); }
  ~RenderLock() { LeaveCriticalSection(&renderLock()); }
  RenderLock(const RenderLock &) = delete;
  RenderLock &operator=(const RenderLock &) = delete;
};

class PrinterSink : public StreamSink {
 public:
  explicit PrinterSink(HANDLE printer) : printer_(printer) {}
  void write(const void *data, size_t size) override {
    // A failed write does not stop the job: the spooler and the monitor
    // report the printer's trouble.
    DWORD written = 0;
    WritePrinter(printer_, const_cast<void *>(data), DWORD(size), &written);
  }

 private:
  HANDLE printer_;
};

// The instance's two surfaces as the job stream sees them.
class SurfacePanels : public PanelSource {
 public:
  explicit SurfacePanels(DeviceInstance &p) : p_(p) {}
  ~SurfacePanels() override { endSide(); }

  void whiteSurfaces() override {
    RenderLock lock;
    for (HSURF h : {p_.colourSurface, p_.blackSurface}) {
      LockedSurface s(h);
      if (s.get() && s.get()->pvBits) std::memset(s.get()->pvBits, 0xFF, s.get()->cjBits);
    }
  }
  bool beginSide() override {
    work_ = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, kWorkAreaSize);
    if (!work_) {
      SetLastError(ERROR_OUTOFMEMORY);
      return false;
    }
    buildImagingTables(p_.devmode.record, tables_);
    return true;
  }
  void endSide() override {
    if (work_) HeapFree(GetProcessHeap(), 0, work_);
    work_ = nullptr;
  }
  // Text macros are not captured by this driver build: there is nothing to join or forget.
  void assembleSplitMacros() override {}
  void clearTextFragments() override {}
  void extractBlack() override {
    RenderLock lock;
    LockedSurface colour(p_.colourSurface), black(p_.blackSurface);
    card::extractBlack(colour.bits(), black.bits());
  }
  void prepareColour() override {
    RenderLock lock;
    LockedSurface colour(p_.colourSurface);
    card::prepareColour(colour.bits(), tables_, threadRandom());
  }
  size_t fillPlane(PlaneChannel channel, bool rotated, uint8_t *out, size_t capacity) override {
    RenderLock lock;
    LockedSurface s(p_.colourSurface);
    return encodePlane(s.bits(), channel, rotated, out, capacity);
  }
  void prepareBlack(bool convert) override {
    if (!convert) return;
    RenderLock lock;
    LockedSurface colour(p_.colourSurface), black(p_.blackSurface);
    convertToMonochrome(colour.bits(), black.bits(), tables_);
    if ((p_.devmode.record.monoConversion & 3) == 2) thinBlack(black.bits());
  }
  bool blackPresent() override {
    RenderLock lock;
    LockedSurface s(p_.blackSurface);
    return hasBlack(s.bits());
  }
  size_t fillBlack(bool rotated, uint8_t *out, size_t capacity) override {
    RenderLock lock;
    LockedSurface s(p_.blackSurface);
    return encodeBlack(s.bits(), rotated, out, capacity);
  }
  size_t fillVarnishBitmap(const OverlayRecord &, uint8_t *, size_t) override { return 0; }

 private:
  DeviceInstance &p_;
  void *work_ = nullptr;
  ImagingTables tables_{};
};

// Runs one step of the job stream on an instance.
template <typename Step>
BOOL withJob(SURFOBJ *pso, Step step) {
  DeviceInstance *p = instanceOf(pso);
  if (!p) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  SurfacePanels panels(*p);
  PrinterSink sink(p->printer);
  CardJob job(p->devmode, p->job, p->capture, p->outputBuffer, p->outputBuffer ? kOutputBufferSize : 0, panels,
              sink);
  return step(*p, job) ? TRUE : FALSE;
}

}  // namespace

}  // namespace card

using namespace card;

extern "C" BOOL APIENTRY DrvStartDoc(SURFOBJ *pso, LPWSTR, DWORD) {
  DeviceInstance *p = instanceOf(pso);
  if (!p) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!p->outputBuffer)
    p->outputBuffer = static_cast<uint8_t *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, kOutputBufferSize));
  if (!p->outputBuffer) {
    // Every panel needs the buffer: a job without one cannot start.
    SetLastError(ERROR_OUTOFMEMORY);
    return FALSE;
  }
  p->job.jobStarted = 1;
  p->outputLength = 0;
  p->capture.frontBlackEmpty = 0;
  p->capture.backBlackEmpty = 0;
  return TRUE;
}

extern "C" BOOL APIENTRY DrvStartPage(SURFOBJ *pso) {
  return withJob(pso, [](DeviceInstance &p, CardJob &job) {
    return job.startPage([&p](PrinterAnswer &a) { resolvePrinter(p, a); });
  });
}

extern "C" BOOL APIENTRY DrvSendPage(SURFOBJ *pso) {
  return withJob(pso, [](DeviceInstance &, CardJob &job) { return job.sendPage(); });
}

extern "C" BOOL APIENTRY DrvEndDoc(SURFOBJ *pso, FLONG) {
  return withJob(pso, [](DeviceInstance &p, CardJob &job) {
    bool ok = job.endDoc();
    if (p.outputBuffer) HeapFree(GetProcessHeap(), 0, p.outputBuffer);
    p.outputBuffer = nullptr;
    return ok;
  });
}
