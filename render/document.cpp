// The document and page hooks: they run the card job stream over the
// instance's surfaces and write it to the spooler.
#include <windows.h>
#include <winddi.h>
#include <winspool.h>

#include <cstring>

#include "render/device.h"
#include "render/encode.h"
#include "render/imaging.h"

namespace card {

namespace {

SurfaceBits bitsOf(SURFOBJ *s) {
  if (!s) return SurfaceBits{nullptr, 0, 0, 0};
  return SurfaceBits{static_cast<uint8_t *>(s->pvScan0), long(s->lDelta), int(s->sizlBitmap.cx), int(s->sizlBitmap.cy)};
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

size_t encodeVarnishFile(const OverlayRecord &overlay, uint8_t *out, size_t capacity);

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
  void assembleSplitMacros() override {
    if (p_.fragments) card::assembleSplitMacros(*p_.fragments, p_.devmode.record, p_.capture);
  }
  void clearTextFragments() override {
    if (p_.fragments) p_.fragments->clear();
  }
  void extractBlack() override {
    RenderLock lock;
    LockedSurface colour(p_.colourSurface), black(p_.blackSurface);
    card::extractBlack(colour.bits(), black.bits());
  }
  void prepareColour() override {
    RenderLock lock;
    LockedSurface colour(p_.colourSurface);
    eraseConsumedFragments(p_, colour.get());
    card::prepareColour(colour.bits(), tables_, threadRandom());
  }
  size_t fillPlane(PlaneChannel channel, bool rotated, uint8_t *out, size_t capacity) override {
    RenderLock lock;
    LockedSurface s(p_.colourSurface);
    return encodePlane(s.bits(), channel, rotated, out, capacity);
  }
  void prepareBlack(bool convert) override {
    RenderLock lock;
    LockedSurface colour(p_.colourSurface), black(p_.blackSurface);
    eraseConsumedFragments(p_, colour.get());
    eraseConsumedFragments(p_, black.get());
    if (!convert) return;
    convertToMonochrome(colour.bits(), black.bits(), tables_);
    if ((p_.devmode.record.monoConversion & 3) == kConvertBarcode) thinBlack(black.bits());
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
  size_t fillVarnishBitmap(const OverlayRecord &overlay, uint8_t *out, size_t capacity) override {
    return encodeVarnishFile(overlay, out, capacity);
  }

 private:
  DeviceInstance &p_;
  void *work_ = nullptr;
  ImagingTables tables_{};
};

// A heap block that goes when its owner does.
struct HeapBlock {
  explicit HeapBlock(size_t n) : p(static_cast<uint8_t *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, n))) {}
  ~HeapBlock() {
    if (p) HeapFree(GetProcessHeap(), 0, p);
  }
  HeapBlock(const HeapBlock &) = delete;
  HeapBlock &operator=(const HeapBlock &) = delete;
  uint8_t *p;
};

// The varnish picture of an overlay record: the user's 1-bit BMP, stretched by
// the platform to the card's 1024 x 640 (turned round for a rotated side) and
// read back as printer lines.  Any trouble with the file sends nothing.
size_t encodeVarnishFile(const OverlayRecord &overlay, uint8_t *out, size_t capacity) {
  WCHAR path[kOverlayPathChars + 1] = {};
  std::memcpy(path, overlay.bitmapPath, sizeof overlay.bitmapPath);
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return 0;
  LARGE_INTEGER fileSize{};
  uint8_t header[14] = {};
  DWORD got = 0;
  size_t want = 0;
  if (GetFileSizeEx(f, &fileSize) && ReadFile(f, header, sizeof header, &got, nullptr) && got == sizeof header)
    want = varnishReadSize(header, uint64_t(fileSize.QuadPart));
  HeapBlock file(want ? want : 1);
  bool ok = want && file.p;
  if (ok) {
    std::memcpy(file.p, header, sizeof header);
    ok = ReadFile(f, file.p + sizeof header, DWORD(want - sizeof header), &got, nullptr) && got == want - sizeof header;
  }
  CloseHandle(f);
  VarnishPicture pic{};
  if (!ok || !prepareVarnishPicture(file.p, want, pic)) return 0;

  // A 1-bit, 300 dpi picture of the card: index 0 black, 1 white.
  struct {
    BITMAPINFOHEADER h;
    RGBQUAD colours[2];
  } dib{};
  dib.h.biSize = sizeof(BITMAPINFOHEADER);
  dib.h.biWidth = kCardLong;
  dib.h.biHeight = kCardShort;
  dib.h.biPlanes = 1;
  dib.h.biBitCount = 1;
  dib.h.biCompression = BI_RGB;
  dib.h.biXPelsPerMeter = dib.h.biYPelsPerMeter = 11811;
  dib.colours[1] = RGBQUAD{255, 255, 255, 0};
  HDC dc = CreateCompatibleDC(nullptr);
  void *bits = nullptr;
  HBITMAP bmp =
      dc ? CreateDIBSection(dc, reinterpret_cast<BITMAPINFO *>(&dib), DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
  size_t n = 0;
  HeapBlock lines(0x18000);
  if (bmp && bits && lines.p) {
    HGDIOBJ old = SelectObject(dc, bmp);
    std::memset(bits, 0xFF, kVarnishDibBytes);  // white: no varnish where nothing is drawn
    const bool rotated = overlay.rotated == kSettingOn;
    int h = pic.height < 0 ? -pic.height : pic.height;
    int done =
        rotated
            ? StretchDIBits(dc, kCardLong, 0, -kCardLong, kCardShort, 0, 0, pic.width, h, file.p + pic.bitsOffset,
                            reinterpret_cast<BITMAPINFO *>(pic.info), DIB_RGB_COLORS, SRCCOPY)
            : StretchDIBits(dc, 0, kCardShort - 1, kCardLong, -kCardShort, 0, 0, pic.width, h, file.p + pic.bitsOffset,
                            reinterpret_cast<BITMAPINFO *>(pic.info), DIB_RGB_COLORS, SRCCOPY);
    SelectObject(dc, old);
    if (done != 0 &&
        GetDIBits(dc, bmp, 0, kCardShort, lines.p, reinterpret_cast<BITMAPINFO *>(&dib), DIB_RGB_COLORS) == kCardShort)
      n = encodeVarnishLines(lines.p, out, capacity);
  }
  if (bmp) DeleteObject(bmp);
  if (dc) DeleteDC(dc);
  return n;
}

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
  CardJob job(p->devmode, p->job, p->capture, p->outputBuffer, p->outputBuffer ? kOutputBufferSize : 0, panels, sink);
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
