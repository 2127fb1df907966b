// What the graphics engine and GDI tests share: engine bitmaps, pages as the
// test driver writes them, and the fixtures.
#pragma once

#include <gtest/gtest.h>
#include <shlobj.h>
#include <winddi.h>
#include <winsim/testing.h>
#include <winspool.h>

#include <cstring>
#include <fstream>
#include <functional>

namespace gdi_test {

// ------------------------------------------------------------ helpers

struct Bitmap {
  HSURF h = nullptr;
  SURFOBJ *so = nullptr;
  Bitmap(LONG cx, LONG cy, ULONG fmt, FLONG fl = BMF_TOPDOWN) {
    h = reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{cx, cy}, 0, fmt, fl, nullptr));
    so = h ? EngLockSurface(h) : nullptr;
  }
  ~Bitmap() {
    if (so) EngUnlockSurface(so);
    if (h) EngDeleteSurface(h);
  }
  ULONG px(LONG x, LONG y) const {
    const BYTE *row = static_cast<const BYTE *>(so->pvScan0) + y * so->lDelta;
    if (so->iBitmapFormat == BMF_1BPP) return (row[x / 8] >> (7 - x % 8)) & 1;
    const BYTE *p = row + 3 * x;
    return ULONG(p[0] | (p[1] << 8) | (p[2] << 16));
  }
  void set(LONG x, LONG y, ULONG v) {
    BYTE *row = static_cast<BYTE *>(so->pvScan0) + y * so->lDelta;
    if (so->iBitmapFormat == BMF_1BPP) {
      if (v)
        row[x / 8] |= BYTE(0x80 >> (x % 8));
      else
        row[x / 8] &= BYTE(~(0x80 >> (x % 8)));
      return;
    }
    row[3 * x] = BYTE(v);
    row[3 * x + 1] = BYTE(v >> 8);
    row[3 * x + 2] = BYTE(v >> 16);
  }
  void fill(ULONG v) { EngEraseSurface(so, nullptr, v); }
};

inline constexpr ULONG kWhite = 0xFFFFFF, kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;  // 0x00RRGGBB

inline BRUSHOBJ solid(ULONG c) { return BRUSHOBJ{c, nullptr, 0}; }

// A page as the test driver writes it.
struct Page {
  LONG w = 0, h = 0;
  std::vector<uint8_t> px;
  ULONG at(LONG x, LONG y) const {
    size_t i = (size_t(y) * size_t(w) + size_t(x)) * 3;
    return ULONG(px[i] | (px[i + 1] << 8) | (px[i + 2] << 16));
  }
  // Non-white pixels inside and outside a box.
  std::pair<int, int> ink(RECT box) const {
    int in = 0, out = 0;
    for (LONG y = 0; y < h; ++y)
      for (LONG x = 0; x < w; ++x)
        if (at(x, y) != kWhite) {
          bool inside = x >= box.left && x < box.right && y >= box.top && y < box.bottom;
          (inside ? in : out)++;
        }
    return {in, out};
  }
};

inline std::vector<Page> pagesOf(const std::vector<uint8_t> &bytes) {
  std::vector<Page> pages;
  size_t i = 0;
  while (i + 12 <= bytes.size() && std::memcmp(&bytes[i], "PAGE", 4) == 0) {
    Page p;
    std::memcpy(&p.w, &bytes[i + 4], 4);
    std::memcpy(&p.h, &bytes[i + 8], 4);
    size_t n = size_t(p.w) * size_t(p.h) * 3;
    if (i + 12 + n > bytes.size()) break;
    p.px.assign(bytes.begin() + long(i + 12), bytes.begin() + long(i + 12 + n));
    pages.push_back(std::move(p));
    i += 12 + n;
  }
  return pages;
}

inline const char16_t *const kDriverPath = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\winsim_testdrv.dll";

class Engine : public ::testing::Test {
 protected:
  void SetUp() override { winsim::resetMachine(); }
};

class Printing : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    winsim::PrinterSetup s;
    s.printerName = u"Card Test";
    s.graphicsDll = WINSIM_TESTDRV;
    s.portName = u"USB001";
    ASSERT_TRUE(winsim::installPrinter(s));
    // Held for the whole test so that the driver's counters survive DeleteDC.
    drv = LoadLibraryW(kDriverPath);
    ASSERT_NE(drv, nullptr);
    hookCount =
        reinterpret_cast<LONG (*)(ULONG)>(reinterpret_cast<void (*)()>(GetProcAddress(drv, "TestDrvHookCount")));
    setHooks = reinterpret_cast<void (*)(FLONG)>(reinterpret_cast<void (*)()>(GetProcAddress(drv, "TestDrvSetHooks")));
    lastText =
        reinterpret_cast<const WCHAR *(*)()>(reinterpret_cast<void (*)()>(GetProcAddress(drv, "TestDrvLastText")));
    lastClip = reinterpret_cast<ULONG (*)(RECTL *, BYTE *)>(
        reinterpret_cast<void (*)()>(GetProcAddress(drv, "TestDrvLastClip")));
    events = reinterpret_cast<const char *(*)()>(reinterpret_cast<void (*)()>(GetProcAddress(drv, "TestDrvEvents")));
    ASSERT_TRUE(hookCount && setHooks && lastText && lastClip && events);
    setHooks(HOOK_BITBLT | HOOK_STRETCHBLT | HOOK_TEXTOUT | HOOK_PAINT | HOOK_STROKEPATH | HOOK_FILLPATH |
             HOOK_STROKEANDFILLPATH | HOOK_LINETO | HOOK_COPYBITS);
  }
  void TearDown() override {
    if (drv) FreeLibrary(drv);
  }
  HDC startPage() {
    HDC dc = CreateDCW(nullptr, u"Card Test", nullptr, nullptr);
    EXPECT_NE(dc, nullptr);
    DOCINFOW di{sizeof(DOCINFOW), u"card", nullptr, nullptr, 0};
    EXPECT_GT(StartDocW(dc, &di), 0);
    EXPECT_GT(StartPage(dc), 0);
    return dc;
  }
  Page finish(HDC dc) {
    EXPECT_GT(EndPage(dc), 0);
    EXPECT_GT(EndDoc(dc), 0);
    EXPECT_TRUE(DeleteDC(dc));
    auto jobs = winsim::printJobs(u"Card Test");
    EXPECT_FALSE(jobs.empty());
    if (jobs.empty()) return {};
    auto pages = pagesOf(jobs.back().bytes);
    EXPECT_EQ(pages.size(), 1u);
    return pages.empty() ? Page{} : pages[0];
  }
  HMODULE drv = nullptr;
  LONG (*hookCount)(ULONG) = nullptr;
  void (*setHooks)(FLONG) = nullptr;
  const WCHAR *(*lastText)() = nullptr;
  ULONG (*lastClip)(RECTL *, BYTE *) = nullptr;
  const char *(*events)() = nullptr;
};

}  // namespace gdi_test
