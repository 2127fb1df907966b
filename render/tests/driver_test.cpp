// The driver as the graphics engine and an application meet it: its entry
// points called the way the engine calls them, and whole jobs printed through
// GDI to a spooler whose job bytes are read back.
#include <gtest/gtest.h>
#include <windows.h>
#include <winddi.h>
#include <winspool.h>
#include <winsim/testing.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "render/tests/job_reader.h"
#include "shared/job_settings.h"
#include "render/device.h"
#include "shared/query_command.h"
#include "render/tests/stream_cases.h"
#include "shared/tests/documented_settings.h"

namespace {

using namespace card;

const char16_t kPrinter[] = u"Pellor CA3 Card Printer USB";

using card::cases::C;

// The job stream with the image data replaced by markers.
std::string skeleton(const std::vector<uint8_t> &bytes) { return card::testing::readJob(bytes).commands; }

class Driver : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    winsim::PrinterSetup setup;
    setup.printerName = kPrinter;
    setup.driverName = u"Pellor Standard Printer";
    setup.graphicsDll = CARDREND_DLL;
    setup.portName = u"USB001";
    setup.defaultDevMode = printerDefault;
    ASSERT_TRUE(winsim::installPrinter(setup));
    module = LoadLibraryW(u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\cardrend.dll");
    ASSERT_NE(module, nullptr);
    queryInfo = fn<decltype(&DrvQueryDriverInfo)>("DrvQueryDriverInfo");
    enable = fn<decltype(&DrvEnableDriver)>("DrvEnableDriver");
    disable = fn<decltype(&DrvDisableDriver)>("DrvDisableDriver");
    ASSERT_TRUE(queryInfo && enable && disable);
  }
  void TearDown() override {
    if (module) FreeLibrary(module);
  }
  template <typename F>
  F fn(const char *name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
  }

  // A card DEVMODE as the configuration module hands it over.
  static CardDevmode devmode(uint8_t ribbonType, bool twoSided = false) {
    CardDevmode d{};
    fillDefaultStandardPart(d.standard);
    JobSettingsRecord &r = d.record;
    r.signature = kRecordSignature;
    r.ribbonType = ribbonType;
    r.duplex = twoSided;
    r.blackPanelMode = 2;
    r.frontOverlay.type = kOverlayNone;
    r.backOverlay.type = kOverlayNone;
    r.colourContrast[0] = 1;
    r.colourContrast[1] = 2;
    r.colourContrast[2] = 3;
    r.colourIntensity[0] = 7;
    r.colourIntensity[1] = 8;
    r.colourIntensity[2] = 9;
    r.blackContrast = 5;
    r.varnishContrast = 6;
    r.hasEncoder = 1;
    return d;
  }

  // Prints `pages` pages with the DEVMODE given; `draw` draws on each.
  std::string print(const void *dm, int pages = 1, const std::function<void(HDC)> &draw = {}) {
    HDC dc = CreateDCW(nullptr, kPrinter, nullptr, static_cast<const DEVMODEW *>(dm));
    EXPECT_NE(dc, nullptr);
    if (!dc) return {};
    DOCINFOW di{sizeof(DOCINFOW), u"card", nullptr, nullptr, 0};
    EXPECT_GT(StartDocW(dc, &di), 0);
    for (int p = 0; p < pages; ++p) {
      if (StartPage(dc) <= 0) {
        pageRefused = true;
        break;
      }
      if (draw) draw(dc);
      EndPage(dc);
    }
    if (pageRefused)
      AbortDoc(dc);
    else
      EndDoc(dc);
    DeleteDC(dc);
    auto jobs = winsim::printJobs(kPrinter);
    return jobs.empty() ? std::string() : skeleton(jobs.back().bytes);
  }

  void writeRibbonCache(const std::string &text) {
    std::string host = winsim::hostPath(u"C:\\Users\\Public\\Documents\\cardribbon.INI");
    std::ofstream(host, std::ios::binary) << text;
  }

  // Answers query commands for the printer's port like a language monitor.
  std::vector<std::string> queries;
  void answer(std::function<std::string(const std::string &)> reply) {
    winsim::setPortResponder(u"USB001", [this, reply](const std::u16string &name, std::vector<uint8_t> &out) {
      char cmd[64];
      size_t n = decodeQueryCommand(reinterpret_cast<LPCWSTR>(name.c_str()), name.size() + 1, cmd, sizeof cmd);
      std::string c(cmd, n);
      queries.push_back(c);
      std::string r = reply(c);
      if (r.empty()) return false;
      out.assign(r.begin(), r.end());
      return true;
    });
  }

  // The printer's default DEVMODE that SetUp installs (none when empty).
  std::vector<uint8_t> printerDefault;
  HMODULE module = nullptr;
  decltype(&DrvQueryDriverInfo) queryInfo = nullptr;
  decltype(&DrvEnableDriver) enable = nullptr;
  decltype(&DrvDisableDriver) disable = nullptr;
  bool pageRefused = false;
};

TEST_F(Driver, QueryDriverInfo) {
  DWORD value = 0xDEAD, needed = 0;
  SetLastError(0);
  EXPECT_FALSE(queryInfo(DRVQUERY_USERMODE, &value, 3, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, 4u);
  EXPECT_EQ(value, 0xDEADu);
  EXPECT_FALSE(queryInfo(DRVQUERY_USERMODE, nullptr, 4, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_TRUE(queryInfo(DRVQUERY_USERMODE, &value, 4, &needed));
  EXPECT_EQ(value, DWORD(TRUE));
  SetLastError(0);
  EXPECT_FALSE(queryInfo(2, &value, 4, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(Driver, EnableDriverHandsOverTwentyHooksInOrder) {
  DRVENABLEDATA ded{};
  SetLastError(0);
  EXPECT_FALSE(enable(DDI_DRIVER_VERSION_NT5, 11, &ded));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  ASSERT_TRUE(enable(0x12345, sizeof ded, &ded));
  EXPECT_EQ(ded.iDriverVersion, 0x30000u);
  ASSERT_EQ(ded.c, 20u);
  const ULONG order[] = {0, 1, 7, 2, 3, 4, 14, 15, 16, 31, 17, 18, 19, 20, 23, 24, 35, 34, 33, 32};
  for (ULONG i = 0; i < 20; ++i) {
    EXPECT_EQ(ded.pdrvfn[i].iFunc, order[i]) << i;
    EXPECT_NE(ded.pdrvfn[i].pfn, nullptr);
  }
  disable();
}

TEST_F(Driver, DeviceCapabilitiesFollowTheOrientation) {
  DRVENABLEDATA ded{};
  ASSERT_TRUE(enable(DDI_DRIVER_VERSION_NT5, sizeof ded, &ded));
  auto enablePdev = reinterpret_cast<decltype(&DrvEnablePDEV)>(reinterpret_cast<void (*)()>(ded.pdrvfn[0].pfn));
  auto disablePdev = reinterpret_cast<decltype(&DrvDisablePDEV)>(reinterpret_cast<void (*)()>(ded.pdrvfn[3].pfn));
  auto enableSurface = reinterpret_cast<decltype(&DrvEnableSurface)>(reinterpret_cast<void (*)()>(ded.pdrvfn[4].pfn));
  auto disableSurface = reinterpret_cast<decltype(&DrvDisableSurface)>(reinterpret_cast<void (*)()>(ded.pdrvfn[5].pfn));
  struct Case {
    int orientation;  // 0: no DEVMODE
    ULONG hsize, vsize, hres, vres;
  } cases[] = {{DMORIENT_LANDSCAPE, 86, 54, 1024, 640}, {DMORIENT_PORTRAIT, 54, 86, 640, 1024}, {0, 54, 86, 640, 1024}};
  for (const auto &c : cases) {
    CardDevmode d = devmode(0);
    DEVMODEW *dm = reinterpret_cast<DEVMODEW *>(&d);
    if (c.orientation) dm->dmOrientation = short(c.orientation);
    GDIINFO gi;
    std::memset(&gi, 0xCC, sizeof gi);
    DEVINFO di;
    std::memset(&di, 0xCC, sizeof di);
    HSURF patterns[4] = {reinterpret_cast<HSURF>(1), reinterpret_cast<HSURF>(1), reinterpret_cast<HSURF>(1),
                         reinterpret_cast<HSURF>(1)};
    DHPDEV pdev = enablePdev(c.orientation ? dm : nullptr, nullptr, 4, patterns, sizeof gi,
                             reinterpret_cast<ULONG *>(&gi), sizeof di, &di, nullptr, nullptr, nullptr);
    ASSERT_NE(pdev, nullptr);
    EXPECT_EQ(gi.ulHorzSize, c.hsize);
    EXPECT_EQ(gi.ulVertSize, c.vsize);
    EXPECT_EQ(gi.ulHorzRes, c.hres);
    EXPECT_EQ(gi.ulVertRes, c.vres);
    EXPECT_EQ(gi.szlPhysSize.cx, LONG(c.hres));
    EXPECT_EQ(gi.ulVersion, 0x5001u);
    EXPECT_EQ(gi.ulTechnology, ULONG(DT_RASPRINTER));
    EXPECT_EQ(gi.cBitsPixel, 24u);
    EXPECT_EQ(gi.ulLogPixelsX, 300u);
    EXPECT_EQ(gi.flTextCaps, 10000u);
    EXPECT_EQ(gi.ulAspectXY, 425u);
    EXPECT_EQ(gi.ciDevice.RedGamma, 12500u);
    EXPECT_EQ(gi.ciDevice.MagentaInYellowDye, 5000u);
    EXPECT_EQ(gi.ulHTOutputFormat, ULONG(HT_FORMAT_24BPP));
    EXPECT_EQ(gi.flHTFlags, ULONG(HT_FLAG_HAS_BLACK_DYE));
    EXPECT_EQ(gi.ulVRefresh, 0u);
    EXPECT_EQ(di.flGraphicsCaps, ULONG(GCAPS_HALFTONE));
    EXPECT_EQ(di.cFonts, 0u);
    EXPECT_EQ(di.iDitherFormat, ULONG(BMF_24BPP));
    EXPECT_NE(di.hpalDefault, nullptr);
    for (HSURF p : patterns) EXPECT_EQ(p, nullptr);
    // The engine may ask for fewer bytes than the structures hold.
    GDIINFO small;
    std::memset(&small, 0xCC, sizeof small);
    DHPDEV other = enablePdev(nullptr, nullptr, 0, nullptr, 8, reinterpret_cast<ULONG *>(&small), 0, nullptr, nullptr,
                              nullptr, nullptr);
    EXPECT_EQ(small.ulVersion, 0x5001u);
    EXPECT_EQ(small.ulHorzSize, 0xCCCCCCCCu);
    disablePdev(other);
    HSURF surface = enableSurface(pdev);
    ASSERT_NE(surface, nullptr);
    SURFOBJ *so = EngLockSurface(surface);
    ASSERT_NE(so, nullptr);
    EXPECT_EQ(so->sizlBitmap.cx, LONG(c.hres));
    EXPECT_EQ(so->sizlBitmap.cy, LONG(c.vres));
    EXPECT_EQ(so->iBitmapFormat, ULONG(BMF_24BPP));
    EngUnlockSurface(so);
    disableSurface(pdev);
    disablePdev(pdev);
  }
  disablePdev(nullptr);
  disable();
}

TEST_F(Driver, OneSidedYmckoJobThroughGdi) {
  CardDevmode d = devmode(0);
  d.record.ribbonId = 3;  // YMCKO chosen in the settings: no printer query
  std::string s = print(&d);
  const std::string plane = "<P>\r";
  EXPECT_EQ(s, C("MASTER") + C("JOB 0") + C("SXY 1") + C("+$C 0 1") + C("+$C 1 2") + C("+$C 2 3") + C("+$L 0 7") +
                   C("+$L 1 8") + C("+$L 2 9") + C("+C 5") + C("+CV 6") + "\x1b$F\r\x1bGS 0 32 0 0 1024 640 " + plane +
                   C("IS 0") + "\x1bGS 1 32 0 0 1024 640 " + plane + C("IS 1") + "\x1bGS 2 32 0 0 1024 640 " + plane +
                   C("IS 2") + C("F") + C("!FF 1") + C("MO"));
}

TEST_F(Driver, BlackTextGoesToTheResinPanel) {
  CardDevmode d = devmode(0);
  d.record.ribbonId = 3;
  d.record.frontOverlay.type = kOverlayFull;
  std::string s = print(&d, 1, [](HDC dc) {
    RECT r{100, 100, 300, 200};
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  });
  // Without the routing of black drawing (text escapes) black lands on the
  // colour planes: the resin panel stays empty.  With it, "<B>" appears.
  EXPECT_NE(s.find(C("vF") + C("IV 30") + C("MO")), std::string::npos);
}

TEST_F(Driver, PrivatePartBehindALongerStandardPart) {
  // dmSize 220 with the record right behind it: read from 220.
  std::vector<uint8_t> dm(220 + kRecordSize, 0);
  CardDevmode d = devmode(5);
  d.record.ribbonId = 7;  // YMC
  d.record.colourContrast[0] = 9;
  std::memcpy(dm.data(), d.standard, kStandardPartSize);
  std::memcpy(dm.data() + 220, &d.record, kRecordSize);
  uint16_t size = 220;
  std::memcpy(dm.data() + 68, &size, 2);
  std::string s = print(dm.data());
  EXPECT_NE(s.find(C("+$C 0 9")), std::string::npos);

  // Without the signature the private part is read from 212, where the
  // panning fields make its first bytes: the signature is gone, the rest of
  // the record is eight bytes off.
  winsim::resetMachine();
  SetUp();
  dm[220] = dm[221] = 0;
  std::memset(dm.data() + 212, 0, 8);
  std::string t = print(dm.data());
  EXPECT_EQ(t.find(C("+$C 0 9")), std::string::npos);
}

TEST_F(Driver, RibbonFromTheCacheFile) {
  writeRibbonCache("Ribbon=6\rModel=Pellor CA3 V1.00\r");  // YMC
  CardDevmode d = devmode(0);
  answer([](const std::string &) { return std::string(); });
  std::string s = print(&d);
  EXPECT_NE(s.find(C("SXY 1") + C("+$C 0 1")), std::string::npos);
  EXPECT_EQ(s.find(C("+C 5")), std::string::npos);  // a YMC ribbon has no resin head setting
  EXPECT_TRUE(queries.empty());
}

TEST_F(Driver, CacheFileWithoutRibbonKeyRefusesThePage) {
  writeRibbonCache("Model=CA3\r");
  CardDevmode d = devmode(0);
  std::string s = print(&d);
  EXPECT_TRUE(pageRefused);
  EXPECT_EQ(s.find(C("MASTER")), std::string::npos);
}

TEST_F(Driver, RibbonAndModelAskedOfThePrinter) {
  answer([](const std::string &cmd) -> std::string {
    if (cmd == "\x1bV\r") return "Pellor CA1 V2\x06";
    if (cmd == "\x1b!RIBBON\r") return "17 \x06";  // KrO
    return {};
  });
  CardDevmode d = devmode(0, true);  // two-sided asked for, a one-sided model answers
  std::string s = print(&d);
  ASSERT_EQ(queries.size(), 2u);
  EXPECT_EQ(queries[0], "\x1bV\r");
  EXPECT_EQ(queries[1], "\x1b!RIBBON\r");
  // KrO on a one-sided model: a blank page has no resin black to print.
  EXPECT_EQ(s, C("MASTER") + C("JOB 0") + C("SXY 1") + C("+C 5") + C("+CV 6") + C("I 20") + C("MO"));
}

// On a system without the shell folder function (or its library) the cache
// file cannot be found: the driver asks the printer instead.
TEST_F(Driver, PrinterAskedWhereTheShellFolderFunctionIsMissing) {
  for (const char *missing : {"SHGetFolderPathW", ""}) {
    winsim::resetMachine();
    SetUp();
    queries.clear();
    winsim::hideSystemExport(u"shfolder.dll", missing);
    writeRibbonCache("Ribbon=6\rModel=Pellor CA3 V1.00\r");  // YMC, not read
    answer([](const std::string &cmd) -> std::string {
      if (cmd == "\x1bV\r") return "Pellor CA1 V2\x06";
      if (cmd == "\x1b!RIBBON\r") return "17 \x06";  // KrO
      return {};
    });
    CardDevmode d = devmode(0);
    std::string s = print(&d);
    EXPECT_EQ(queries.size(), 2u) << missing;
    EXPECT_NE(s.find(C("+C 5")), std::string::npos) << missing;  // the printer's KrO ribbon
  }
}

TEST_F(Driver, ClientSidePrinterPathFromTheRegistry) {
  ASSERT_TRUE(winsim::importRegistry(
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\Client Side "
      "Rendering Print Provider\\Servers\\server\\Monitors\\Client Side Port\\{ABCD}]\n"
      "\"PrinterPath\"=\"x\\\\^\\\\^\\\\cardhost^\\\\Cards^\\\\tail\"\n"));
  WCHAR path[260];
  ASSERT_TRUE(clientSidePrinterPath(u"CSR|server\\{ABCD}", path, 260));
  EXPECT_EQ(std::u16string(path), u"\\\\cardhost\\Cards");
  // Pieces missing from the name, the registry or the value make it fail.
  EXPECT_FALSE(clientSidePrinterPath(u"no markers at all", path, 260));
  EXPECT_FALSE(clientSidePrinterPath(u"CSR|other\\{ABCD}", path, 260));
  EXPECT_FALSE(clientSidePrinterPath(u"CSR|server\\{ABCD}", path, 10));
}

TEST_F(Driver, NoAnswerAtAllRefusesPrintingButNotEncoding) {
  CardDevmode d = devmode(0);
  print(&d);
  EXPECT_TRUE(pageRefused);
  pageRefused = false;
  d.record.jobMode = 1;
  d.record.trackPresent[0] = 0;
  std::string s = print(&d);
  EXPECT_FALSE(pageRefused);
  EXPECT_NE(s.find(C("MO") + C("MO")), std::string::npos);
}

TEST_F(Driver, PassThroughEscape) {
  CardDevmode d = devmode(0);
  d.record.ribbonId = 7;
  HDC dc = CreateDCW(nullptr, kPrinter, nullptr, reinterpret_cast<const DEVMODEW *>(&d));
  ASSERT_NE(dc, nullptr);
  DOCINFOW di{sizeof(DOCINFOW), u"card", nullptr, nullptr, 0};
  ASSERT_GT(StartDocW(dc, &di), 0);
  WORD which = PASSTHROUGH;
  EXPECT_EQ(ExtEscape(dc, QUERYESCSUPPORT, sizeof which, reinterpret_cast<LPCSTR>(&which), 0, nullptr), 1);
  which = 12345;
  EXPECT_EQ(ExtEscape(dc, QUERYESCSUPPORT, sizeof which, reinterpret_cast<LPCSTR>(&which), 0, nullptr), 0);
  // The data starts with its byte count (a little-endian WORD); only that
  // many bytes after it are sent, however large the buffer.
  const char raw[10] = {8, 0, '\x1b', 'R', 'A', 'W', ' ', '1', '2', '\r'};
  EXPECT_GT(ExtEscape(dc, PASSTHROUGH, sizeof raw, raw, 0, nullptr), 0);
  const char shorter[8] = {2, 0, 'A', 'B', 'C', 'D', 'E', 'F'};
  EXPECT_GT(ExtEscape(dc, PASSTHROUGH, sizeof shorter, shorter, 0, nullptr), 0);
  const char none[3] = {0, 0, 'X'};
  EXPECT_GT(ExtEscape(dc, PASSTHROUGH, sizeof none, none, 0, nullptr), 0);
  // A count beyond the buffer is refused whole: a negative answer, nothing sent.
  const char over[5] = {4, 0, '\x1b', 'M', 'O'};
  EXPECT_LT(ExtEscape(dc, PASSTHROUGH, sizeof over, over, 0, nullptr), 0);
  const char huge[6] = {'\xFF', '\xFF', '\x1b', 'M', 'F', '\r'};
  EXPECT_LT(ExtEscape(dc, PASSTHROUGH, sizeof huge, huge, 0, nullptr), 0);
  const char exact[6] = {4, 0, '\x1b', 'M', 'O', '\r'};
  EXPECT_GT(ExtEscape(dc, PASSTHROUGH, sizeof exact, exact, 0, nullptr), 0);
  EndDoc(dc);
  DeleteDC(dc);
  auto jobs = winsim::printJobs(kPrinter);
  ASSERT_FALSE(jobs.empty());
  std::string bytes(jobs.back().bytes.begin(), jobs.back().bytes.end());
  EXPECT_EQ(bytes, "\x1bRAW 12\rAB\x1bMO\r");
}

}  // namespace

namespace {

// The side table through the whole path: each ribbon's card printed by an
// application through GDI, the printer answering with that ribbon.
class SideTable : public Driver {
 protected:
  std::string printCase(uint8_t type, bool twoSided, uint16_t layout, uint8_t monoKind, int copies) {
    std::string code = std::to_string(card::cases::printerCodeOf(type));
    answer([code](const std::string &cmd) -> std::string {
      if (cmd == "\x1bV\r") return "Pellor CA3 V1\x06";
      if (cmd == "\x1b!RIBBON\r") return code + " \x06";
      return {};
    });
    CardDevmode d = devmode(type, twoSided);
    d.record.dualSideLayout = layout;
    d.record.monoRibbonKind = monoKind;
    d.record.hologramContrast = 7;
    d.record.blackDyeContrast = 8;
    d.record.blackDyeIntensity = 9;
    DEVMODEW *dm = reinterpret_cast<DEVMODEW *>(&d);
    dm->dmCopies = short(copies);
    return print(&d, twoSided ? 2 : 1, [](HDC dc) {
      // Black content on every side: drawn to the resin panel where the side
      // has one, turned into resin black where the whole side converts.
      HGDIOBJ old = SelectObject(dc, GetStockObject(BLACK_BRUSH));
      Rectangle(dc, 100, 100, 300, 200);
      SelectObject(dc, old);
    });
  }
  // The hand-written sequences use one marker per panel kind.
  static std::string markers(std::string s) {
    for (const char *m : {"<Y>", "<M>", "<C>", "<D>"})
      for (size_t at; (at = s.find(m)) != std::string::npos;) s.replace(at, 3, "<P>");
    for (size_t at; (at = s.find("<K>")) != std::string::npos;) s.replace(at, 3, "<B>");
    return s;
  }
};

TEST_F(SideTable, TwoSidedRows) {
  using namespace card::cases;
  using card::cases::C;
  for (const auto &c : twoSidedRows()) {
    SetUp();
    std::string s = printCase(c.type, true, c.layout, 0, 1);
    EXPECT_EQ(s, markers(kHeader + C(c.job.c_str()) + C("SXY 1") + c.head + c.front + c.back))
        << int(c.type) << " layout " << c.layout;
    TearDown();
  }
}

TEST_F(SideTable, MonochromeRows) {
  using namespace card::cases;
  using card::cases::C;
  for (const auto &c : monoRows()) {
    SetUp();
    std::string s = printCase(c.type, false, 0, c.kind, 1);
    EXPECT_EQ(s, markers(kHeader + C("JOB 0") + C("SXY 1") + c.head + kKr + c.black + C("MO")))
        << int(c.type) << "/" << int(c.kind);
    TearDown();
  }
}

TEST_F(SideTable, ReprintRows) {
  using namespace card::cases;
  using card::cases::C;
  for (const auto &c : reprintRows()) {
    SetUp();
    std::string s = printCase(c.type, true, c.layout, 0, 2);
    ASSERT_GE(s.size(), c.copy.size());
    EXPECT_EQ(s.substr(s.size() - c.copy.size()), c.copy) << int(c.type) << " layout " << c.layout;
    TearDown();
  }
}

TEST_F(SideTable, FurtherCopiesAreCappedAt1000) {
  std::string s = printCase(kRibbonYMC, false, 0, 0, 5000);
  const std::string copy = "\x1bIS 0\r\x1bIS 1\r\x1bIS 2\r\x1bMO\r";
  size_t n = 0;
  for (size_t at = s.find(copy); at != std::string::npos; at = s.find(copy, at + 1)) ++n;
  EXPECT_EQ(n, 999u);
}

}  // namespace

namespace {

// A 1-bit picture whose left half is black.
std::vector<uint8_t> halfBlackBmp(int w, int h) {
  const int stride = ((w + 31) / 32) * 4;
  const uint32_t bits = uint32_t(stride * h), offset = 14 + 40 + 8, size = offset + bits;
  std::vector<uint8_t> b(size, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, size);
  put32(10, offset);
  put32(14, 40);
  put32(18, uint32_t(w));
  put32(22, uint32_t(h));
  b[26] = 1;
  b[28] = 1;
  put32(34, bits);
  put32(46, 2);
  b[58] = b[59] = b[60] = 0xFF;  // palette: 0 black, 1 white
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (x >= w / 2) b[offset + size_t(y * stride + x / 8)] |= uint8_t(0x80 >> (x % 8));
  return b;
}

TEST_F(Driver, VarnishPictureFromABitmapFile) {
  auto bmp = halfBlackBmp(64, 40);
  std::ofstream(winsim::hostPath(u"C:\\Users\\Public\\Documents\\varnish.bmp"), std::ios::binary)
      .write(reinterpret_cast<const char *>(bmp.data()), std::streamsize(bmp.size()));
  CardDevmode d = devmode(kRibbonKdO);
  d.record.ribbonId = 8;  // KdO
  d.record.frontOverlay.type = kOverlayBitmap;
  const char16_t path[] = u"C:\\Users\\Public\\Documents\\varnish.bmp";
  std::memcpy(d.record.frontOverlay.bitmapPath, path, sizeof path);
  HDC dc = CreateDCW(nullptr, kPrinter, nullptr, reinterpret_cast<const DEVMODEW *>(&d));
  ASSERT_NE(dc, nullptr);
  DOCINFOW di{sizeof(DOCINFOW), u"card", nullptr, nullptr, 0};
  StartDocW(dc, &di);
  StartPage(dc);
  EndPage(dc);
  EndDoc(dc);
  DeleteDC(dc);
  auto jobs = winsim::printJobs(kPrinter);
  ASSERT_FALSE(jobs.empty());
  card::testing::SpooledJob spooled = card::testing::readJob(jobs.back().bytes);
  ASSERT_EQ(spooled.varnishBitmaps.size(), 1u);
  const std::vector<uint8_t> &lines = spooled.varnishBitmaps.front();
  ASSERT_EQ(lines.size(), 81920u);
  EXPECT_NE(spooled.commands.find("\x1bvG 0 0 10 640 1024 1\r\x1bZ<B>\r\x1bIV 31\r"), std::string::npos);
  // Lines run from the card's right edge to its left: the black left half of
  // the picture is varnished, the white right half is not.
  auto lineInk = [&](int n) {
    int ink = 0;
    for (int k = 0; k < 80; ++k) ink += __builtin_popcount(lines[size_t(n) * 80 + size_t(k)]);
    return ink;
  };
  EXPECT_EQ(lineInk(0), 0);
  EXPECT_EQ(lineInk(400), 0);
  // The mirrored placement may leave the card's last row to the platform's
  // rounding of a negative extent.
  EXPECT_GE(lineInk(600), 639);
  EXPECT_GE(lineInk(1023), 639);

  // A file that is not there leaves the definition and its print, no picture.
  winsim::resetMachine();
  SetUp();
  std::string t = print(&d);
  EXPECT_NE(t.find(C("vF") + C("IV 31") + C("MO")), std::string::npos);
  EXPECT_EQ(t.find("\x1bvG"), std::string::npos);
}

// ------------------------------------------------------------ settings out of range
// The settings the renderer acts on: the documented ones, card::test::kSettings.

void putField(JobSettingsRecord &r, size_t offset, int width, long v) {
  auto *b = reinterpret_cast<BYTE *>(&r);
  for (int i = 0; i < width; ++i) b[offset + size_t(i)] = BYTE(uint64_t(v) >> (8 * i));
}

std::vector<uint8_t> bytesOf(const CardDevmode &d) {
  std::vector<uint8_t> v(sizeof d);
  std::memcpy(v.data(), &d, sizeof d);
  return v;
}

// Every "+..." head setting of a job: its command word and value.
std::vector<std::pair<std::string, long>> headSettings(const std::string &job) {
  std::vector<std::pair<std::string, long>> out;
  for (size_t i = job.find("\x1b+"); i != std::string::npos; i = job.find("\x1b+", i + 1)) {
    size_t end = job.find('\r', i);
    std::string cmd = job.substr(i + 1, end - i - 1);
    size_t blank = cmd.rfind(' ');
    out.emplace_back(cmd.substr(0, blank), std::stol(cmd.substr(blank + 1)));
  }
  return out;
}

// The private part of 0xC8 bytes behind a foreign signature that used to
// print "\eJOB 0 ... \e+C 200": the settings become the installer's.
TEST_F(Driver, DamagedPrivatePartPrintsWithTheInstallersSettings) {
  writeRibbonCache("Ribbon=2\rModel=Pellor CA3 V1.00\r");  // YMCKO on a two-sided model
  CardDevmode d{};
  fillDefaultStandardPart(d.standard);
  std::memset(&d.record, 0xC8, sizeof d.record);
  d.record.signature = 0x1234;
  std::string s = print(&d, 2);
  ASSERT_FALSE(pageRefused);
  // Two-sided (the default) with the first YMCKO layout; every head value 5.
  const std::string header = C("MASTER") + C("JOB 2") + C("SXY 1") + C("+$C 0 5") + C("+$C 1 5") + C("+$C 2 5") +
                             C("+$L 0 5") + C("+$L 1 5") + C("+$L 2 5") + C("+C 5") + C("+CV 5") +
                             "\x1b$F\r\x1bGS 0 32 0 0 1024 640 <P>\r" + C("IS 0");
  EXPECT_EQ(s.substr(0, header.size()), header);
  EXPECT_EQ(headSettings(s).size(), 8u);
  for (const auto &[word, value] : headSettings(s)) EXPECT_EQ(value, 5) << word;
  // The whole card is varnished, the default overlay.
  EXPECT_NE(s.find(C("vF") + C("IV 30")), std::string::npos);

  // With a printer default that holds its own values, those are taken.
  CardDevmode printer = devmode(0);
  printer.record.blackContrast = 7;
  printer.record.varnishContrast = 200;  // itself out of range: the installer's 5
  printerDefault = bytesOf(printer);
  winsim::resetMachine();
  SetUp();
  writeRibbonCache("Ribbon=2\rModel=Pellor CA3 V1.00\r");
  s = print(&d, 2);
  EXPECT_NE(s.find(C("+$C 0 1") + C("+$C 1 2") + C("+$C 2 3") + C("+$L 0 7") + C("+$L 1 8") + C("+$L 2 9") + C("+C 7") +
                   C("+CV 5")),
            std::string::npos);
  EXPECT_NE(s.find(C("JOB 0")), std::string::npos);  // the printer's one-sided default
}

// Each setting the renderer acts on, one at a time beyond its range: the
// device instance holds the printer default's value instead, or the
// installer's when the printer has none in range.
TEST_F(Driver, EachSettingOutOfRangeTakesThePrintersDefault) {
  CardDevmode printer = devmode(0);
  for (const card::test::Setting &f : card::test::kSettings)
    putField(printer.record, f.offset, f.width, f.installerDefault == f.high ? f.low : f.high);
  printerDefault = bytesOf(printer);
  winsim::resetMachine();
  SetUp();
  HANDLE hPrinter = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &hPrinter, nullptr));
  DRVENABLEDATA ded{};
  ASSERT_TRUE(enable(DDI_DRIVER_VERSION_NT5, sizeof ded, &ded));
  auto enablePdev = reinterpret_cast<decltype(&DrvEnablePDEV)>(reinterpret_cast<void (*)()>(ded.pdrvfn[0].pfn));
  auto disablePdev = reinterpret_cast<decltype(&DrvDisablePDEV)>(reinterpret_cast<void (*)()>(ded.pdrvfn[3].pfn));
  auto instanceRecord = [&](const CardDevmode &dm, HANDLE printerHandle) {
    GDIINFO gi;
    DEVINFO di;
    DHPDEV pdev =
        enablePdev(const_cast<DEVMODEW *>(reinterpret_cast<const DEVMODEW *>(&dm)), nullptr, 0, nullptr, sizeof gi,
                   reinterpret_cast<ULONG *>(&gi), sizeof di, &di, nullptr, nullptr, printerHandle);
    EXPECT_NE(pdev, nullptr);
    JobSettingsRecord r = reinterpret_cast<DeviceInstance *>(pdev)->devmode.record;
    disablePdev(pdev);
    return r;
  };

  const CardDevmode base = devmode(0);
  for (const card::test::Setting &f : card::test::kSettings) {
    SCOPED_TRACE(f.name);
    for (long bad : {f.high + 1, f.low - 1}) {
      CardDevmode d = base;
      putField(d.record, f.offset, f.width, bad);
      JobSettingsRecord r = instanceRecord(d, hPrinter);
      EXPECT_EQ(card::test::settingOf(r, f), card::test::settingOf(printer.record, f)) << bad;
      r = instanceRecord(d, nullptr);  // no printer to ask
      EXPECT_EQ(card::test::settingOf(r, f), f.installerDefault) << bad;
      // The rest of the record is the application's.
      putField(r, f.offset, f.width, card::test::settingOf(base.record, f));
      EXPECT_EQ(std::memcmp(&r, &base.record, sizeof r), 0);
    }
    for (long good : {f.low, f.high}) {
      CardDevmode d = base;
      putField(d.record, f.offset, f.width, good);
      EXPECT_EQ(card::test::settingOf(instanceRecord(d, hPrinter), f), good);
    }
  }

  // An area that does not lie on the card, and a layout the chosen ribbon
  // does not have.
  CardDevmode d = base;
  d.record.frontOverlay.type = kOverlaySelectedVarnished;
  d.record.frontOverlay.left = 700;
  d.record.frontOverlay.right = 600;
  JobSettingsRecord r = instanceRecord(d, nullptr);
  EXPECT_EQ(r.frontOverlay.left, 0);
  EXPECT_EQ(r.frontOverlay.right, 1023);
  EXPECT_EQ(r.frontOverlay.bottom, 639);
  d = base;
  d.record.duplex = 1;
  d.record.ribbonId = 6;  // YMCK: two layouts
  d.record.dualSideLayout = 2;
  EXPECT_EQ(instanceRecord(d, nullptr).dualSideLayout, 0);
  d.record.dualSideLayout = 1;
  EXPECT_EQ(instanceRecord(d, nullptr).dualSideLayout, 1);

  ClosePrinter(hPrinter);
  disable();
}

}  // namespace
