// cardcfg as the spooler and applications meet it: the module installed with
// a printer, its exports called through GetProcAddress, the printer's answers
// given by a stand-in for the port's language monitor.  Every test installs
// a fresh machine, so each loads its own copy of the module with a clear
// working settings copy.
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>
#include <winsim/testing.h>
#include <winddiui.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "shared/job_settings.h"
#include "shared/query_command.h"
#include <compstui.h>
#include <winddiui.h>

namespace {

using namespace card;

const char16_t kPrinter[] = u"Pellor CA3 Card Printer USB";
// A port with no device behind it, whose questions the test answers.
const char16_t kPort[] = u"CARD001";
constexpr DWORD kSentinel = 0xDEADBEEF;

using ConvertFn = BOOL(WINAPI *)(LPWSTR, DEVMODEW *, DEVMODEW *, LONG *, DWORD);
using CapsFn = DWORD(WINAPI *)(HANDLE, LPWSTR, WORD, void *, DEVMODEW *);
using DocPropsFn = LONG(WINAPI *)(HWND, HANDLE, LPWSTR, DEVMODEW *, DEVMODEW *, DWORD);
using SheetsFn = LONG(WINAPI *)(PROPSHEETUI_INFO *, LPARAM);
using AdvancedFn = LONG(WINAPI *)(HWND, HANDLE, LPWSTR, DEVMODEW *, DEVMODEW *);
using QueryPrintFn = BOOL(WINAPI *)(HANDLE, DEVMODEW *, DWORD *);
using QueryPrintExFn = BOOL(WINAPI *)(void *);
using PrinterPropsFn = BOOL(WINAPI *)(HWND, HANDLE);
using PrinterEventFn = BOOL(WINAPI *)(LPWSTR, INT, DWORD, LPARAM);
using UpgradeFn = BOOL(WINAPI *)(DWORD, LPBYTE);
using DocEventFn = INT(WINAPI *)(HANDLE, HDC, INT, ULONG, void *, ULONG, void *);

template <typename T>
T standardField(const CardDevmode &dm, size_t offset) {
  T v;
  std::memcpy(&v, dm.standard + offset, sizeof v);
  return v;
}

std::u16string family(const JobSettingsRecord &r) {
  std::u16string s;
  for (WCHAR c : r.modelFamily) {
    if (!c) break;
    s.push_back(char16_t(c));
  }
  return s;
}

// The default settings file as the installer writes it: a record with its
// signature and the defaults of a one-sided YMCKO job.
std::vector<BYTE> defaultSettingsFile() {
  JobSettingsRecord r{};
  r.signature = kRecordSignature;
  r.ribbonType = 0;
  r.duplex = 0;
  r.blackPanelMode = 2;
  r.varnishContrast = 7;
  std::vector<BYTE> bytes(sizeof r);
  std::memcpy(bytes.data(), &r, sizeof r);
  return bytes;
}

// A printer default DEVMODE as an earlier conversion left it.
std::vector<uint8_t> printerDefault(uint8_t ribbonType, uint16_t ribbonId = 0) {
  CardDevmode dm{};
  fillDefaultStandardPart(dm.standard);
  dm.record.signature = kRecordSignature;
  dm.record.duplex = 1;
  dm.record.ribbonType = ribbonType;
  dm.record.ribbonId = ribbonId;
  std::vector<uint8_t> bytes(sizeof dm);
  std::memcpy(bytes.data(), &dm, sizeof dm);
  return bytes;
}

class Cfg : public ::testing::Test {
 protected:
  void install(bool withDataFile, std::vector<uint8_t> defaultDevMode) {
    winsim::resetMachine();
    // A port whose printer-data questions the test answers (its responder).
    ASSERT_TRUE(winsim::addTestPort(kPort));
    winsim::PrinterSetup setup;
    setup.printerName = kPrinter;
    setup.driverName = u"Pellor Standard Printer";
    setup.configDll = CARDCFG_DLL;
    setup.portName = kPort;
    setup.defaultDevMode = std::move(defaultDevMode);
    // Without settings of the case's the printer has none: the cases ask
    // DrvConvertDevMode themselves where the spooler would.
    setup.askDriverDefault = false;
    // The spooler records a driver with its graphics module; these tests
    // never load it, so an empty file stands in for it.
    files = std::filesystem::temp_directory_path() / ("cardcfg_entry_" + std::to_string(::getpid()));
    std::filesystem::create_directories(files);
    std::ofstream(files / "cardrend.dll").put('\0');
    setup.graphicsDll = (files / "cardrend.dll").string();
    if (withDataFile) {
      auto bytes = defaultSettingsFile();
      std::ofstream(files / "carddefaults.dat", std::ios::binary)
          .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
      setup.dataFile = (files / "carddefaults.dat").string();
    }
    ASSERT_TRUE(winsim::installPrinter(setup));
    module = LoadLibraryW(u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\cardcfg.dll");
    ASSERT_NE(module, nullptr);
    answerAsPrinter();
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer, nullptr));
  }
  void TearDown() override {
    if (printer) ClosePrinter(printer);
    if (module) FreeLibrary(module);
    if (!files.empty()) std::filesystem::remove_all(files);
  }
  template <typename F>
  F fn(const char *name) {
    auto f = reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    EXPECT_NE(f, nullptr) << name;
    return f;
  }

  // The monitor's side: the version reply, the encoder and ribbon queries.
  std::string model = "CA3 V1.2";
  std::string encoderReply = "1 1\x06";
  std::string ribbonReply = "17\x06";
  std::vector<std::string> queries;
  void answerAsPrinter() {
    winsim::setPortResponder(kPort, [this](const std::u16string &name, std::vector<uint8_t> &out) {
      char cmd[64];
      size_t n = decodeQueryCommand(reinterpret_cast<LPCWSTR>(name.c_str()), name.size() + 1, cmd, sizeof cmd);
      std::string c(cmd, n), r;
      queries.push_back(c);
      if (c == "\x1bV\r")
        r = model.empty() ? "" : model + "\x06";
      else if (c == "\x1b!V 20\r")
        r = encoderReply;
      else if (c == "\x1b!RIBBON\r")
        r = ribbonReply;
      if (r.empty()) return false;
      out.assign(r.begin(), r.end());
      return true;
    });
  }

  bool readValue(const char16_t *name, DWORD &value) {
    DWORD type = 0, needed = 0;
    return GetPrinterDataExW(printer, u"PELLORVALUE_SETTING", name, &type, reinterpret_cast<BYTE *>(&value),
                             sizeof value, &needed) == ERROR_SUCCESS;
  }

  CardDevmode storedPrinterDefault() {
    CardDevmode dm{};
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> buf(needed);
    EXPECT_TRUE(GetPrinterW(printer, 2, buf.data(), needed, &needed));
    auto *pi = reinterpret_cast<PRINTER_INFO_2W *>(buf.data());
    if (pi->pDevMode) std::memcpy(&dm, pi->pDevMode, sizeof dm);
    return dm;
  }

  HMODULE module = nullptr;
  HANDLE printer = nullptr;
  std::filesystem::path files;
};

// ------------------------------------------------------------ DrvConvertDevMode
TEST_F(Cfg, ConvertSizeProtocol) {
  install(true, {});
  auto convert = fn<ConvertFn>("DrvConvertDevMode");
  std::vector<BYTE> out(5000, 0xAB);
  auto *dm = reinterpret_cast<DEVMODEW *>(out.data());

  SetLastError(kSentinel);
  EXPECT_FALSE(convert(const_cast<LPWSTR>(kPrinter), nullptr, dm, nullptr, CDM_DRIVER_DEFAULT));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

  LONG size = 0;
  SetLastError(kSentinel);
  EXPECT_FALSE(convert(const_cast<LPWSTR>(kPrinter), nullptr, nullptr, &size, CDM_DRIVER_DEFAULT));
  EXPECT_EQ(size, 4128);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));

  for (LONG given : {LONG(0), LONG(4000), LONG(4127)}) {
    size = given;
    SetLastError(kSentinel);
    EXPECT_FALSE(convert(const_cast<LPWSTR>(kPrinter), nullptr, dm, &size, CDM_DRIVER_DEFAULT)) << given;
    EXPECT_EQ(size, 4128);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  }
  EXPECT_EQ(out[0], 0xAB);

  // Other conversions are left to the system, the buffer untouched.
  size = 5000;
  EXPECT_EQ(convert(const_cast<LPWSTR>(kPrinter), nullptr, dm, &size, CDM_CONVERT), CDM_RESULT_NOT_HANDLED);
  EXPECT_EQ(std::vector<BYTE>(out.begin(), out.end()), std::vector<BYTE>(5000, 0xAB));
}

TEST_F(Cfg, ConvertDriverDefaultFromTheDataFile) {
  install(true, {});
  auto convert = fn<ConvertFn>("DrvConvertDevMode");
  CardDevmode out;
  std::memset(&out, 0xAB, sizeof out);
  LONG size = sizeof out;
  DWORD init = 0;
  EXPECT_FALSE(readValue(u"Init", init));
  EXPECT_EQ(
      convert(const_cast<LPWSTR>(kPrinter), nullptr, reinterpret_cast<DEVMODEW *>(&out), &size, CDM_DRIVER_DEFAULT),
      CDM_RESULT_NOT_HANDLED);
  CardDevmode want{};
  fillDefaultStandardPart(want.standard);
  EXPECT_EQ(std::memcmp(out.standard, want.standard, sizeof want.standard), 0);
  EXPECT_EQ(out.record.signature, kRecordSignature);
  EXPECT_EQ(out.record.varnishContrast, 7);  // from the file
  EXPECT_EQ(out.record.duplex, 1);           // the file says 0; a default prints both sides
  EXPECT_TRUE(readValue(u"Init", init));
  EXPECT_EQ(init, 1u);
}

TEST_F(Cfg, ConvertWithoutDataFileOrPrinterLeavesTheOutput) {
  install(false, {});
  auto convert = fn<ConvertFn>("DrvConvertDevMode");
  std::vector<BYTE> out(4128, 0xAB);
  LONG size = 4128;
  EXPECT_EQ(convert(const_cast<LPWSTR>(kPrinter), nullptr, reinterpret_cast<DEVMODEW *>(out.data()), &size,
                    CDM_DRIVER_DEFAULT),
            CDM_RESULT_NOT_HANDLED);
  EXPECT_EQ(out, std::vector<BYTE>(4128, 0xAB));
  EXPECT_EQ(convert(const_cast<LPWSTR>(u"No Such Printer"), nullptr, reinterpret_cast<DEVMODEW *>(out.data()), &size,
                    CDM_DRIVER_DEFAULT),
            CDM_RESULT_NOT_HANDLED);
  EXPECT_EQ(out, std::vector<BYTE>(4128, 0xAB));
}

// ------------------------------------------------------------ DrvDeviceCapabilities
TEST_F(Cfg, CapabilitiesThroughTheExport) {
  install(true, {});
  auto caps = fn<CapsFn>("DrvDeviceCapabilities");
  CardDevmode landscape{}, portrait{};
  fillDefaultStandardPart(landscape.standard);
  portrait = landscape;
  const int16_t one = 1;
  std::memcpy(portrait.standard + offsetof(DEVMODEW, dmOrientation), &one, 2);
  auto *ls = reinterpret_cast<DEVMODEW *>(&landscape);
  auto *pt = reinterpret_cast<DEVMODEW *>(&portrait);

  LONG p[3] = {-5, -5, -5};
  EXPECT_EQ(caps(printer, nullptr, DC_PAPERSIZE, p, ls), 1u);
  EXPECT_EQ(p[0], 866);
  EXPECT_EQ(p[1], 541);
  EXPECT_EQ(p[2], -5);
  EXPECT_EQ(caps(printer, nullptr, DC_PAPERSIZE, p, pt), 1u);
  EXPECT_EQ(p[0], 541);
  EXPECT_EQ(p[1], 866);
  EXPECT_EQ(caps(printer, nullptr, DC_PAPERSIZE, p, nullptr), 1u);
  EXPECT_EQ(p[0], 541);
  EXPECT_EQ(caps(printer, nullptr, DC_MAXEXTENT, p, pt), 0u);
  EXPECT_EQ(p[0], 541);
  EXPECT_EQ(p[1], 866);
  EXPECT_EQ(caps(printer, nullptr, DC_MAXEXTENT, p, ls), 0u);
  EXPECT_EQ(p[0], 866);
  p[0] = p[1] = -5;
  EXPECT_EQ(caps(printer, nullptr, DC_MAXEXTENT, p, nullptr), 0u);
  EXPECT_EQ(p[0], -5);

  // A DEVMODE whose standard part ends before dmOrientation is not read
  // there: the paper size is that of no known orientation.
  CardDevmode shortDm = landscape;
  const WORD shortSize = WORD(offsetof(DEVMODEW, dmOrientation));
  std::memcpy(shortDm.standard + offsetof(DEVMODEW, dmSize), &shortSize, 2);
  EXPECT_EQ(caps(printer, nullptr, DC_PAPERSIZE, p, reinterpret_cast<DEVMODEW *>(&shortDm)), 1u);
  EXPECT_EQ(p[0], 541);

  WORD w[2] = {0, 0xFFFF};
  EXPECT_EQ(caps(printer, nullptr, DC_PAPERS, w, nullptr), 1u);
  EXPECT_EQ(w[0], 258);
  EXPECT_EQ(w[1], 0xFFFF);
  EXPECT_EQ(caps(printer, nullptr, DC_BINS, w, nullptr), 1u);
  EXPECT_EQ(w[0], 256);
  LONG res[2] = {};
  EXPECT_EQ(caps(printer, nullptr, DC_ENUMRESOLUTIONS, res, nullptr), 1u);
  EXPECT_EQ(res[0], 300);
  EXPECT_EQ(res[1], 300);
  EXPECT_EQ(caps(printer, nullptr, DC_COPIES, nullptr, nullptr), 999u);
  EXPECT_EQ(caps(printer, nullptr, DC_EXTRA, nullptr, nullptr), 3916u);
  EXPECT_EQ(caps(printer, nullptr, 77, nullptr, nullptr), DWORD(-1));
}

TEST_F(Cfg, CapabilityNamesFitTheCallersEntries) {
  install(true, {});
  auto caps = fn<CapsFn>("DrvDeviceCapabilities");
  // A bin name entry is 24 characters; nothing after it is written.
  WCHAR bins[40];
  for (WCHAR &c : bins) c = 0x2222;
  EXPECT_EQ(caps(printer, nullptr, DC_BINNAMES, bins, nullptr), 1u);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(bins)), u"Card Feeder");
  EXPECT_EQ(bins[23], 0);
  EXPECT_EQ(bins[24], 0x2222);

  WCHAR papers[70];
  for (WCHAR &c : papers) c = 0x2222;
  EXPECT_EQ(caps(printer, nullptr, DC_PAPERNAMES, papers, nullptr), 1u);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(papers)), u"86mmx54mm Card");
  EXPECT_EQ(papers[63], 0);
  EXPECT_EQ(papers[64], 0x2222);
  for (WCHAR &c : papers) c = 0x2222;
  EXPECT_EQ(caps(printer, nullptr, DC_MEDIAREADY, papers, nullptr), 1u);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(papers)), u"86mmx54mm Card");
}

// ------------------------------------------------------------ DrvDocumentProperties
TEST_F(Cfg, DocumentPropertiesSizeAndModesThatDoNothing) {
  install(true, printerDefault(0));
  auto props = fn<DocPropsFn>("DrvDocumentProperties");
  std::vector<BYTE> out(4128, 0xAB);
  auto *dm = reinterpret_cast<DEVMODEW *>(out.data());
  EXPECT_EQ(props(nullptr, printer, const_cast<LPWSTR>(kPrinter), dm, nullptr, 0), 4128);
  EXPECT_EQ(props(nullptr, printer, const_cast<LPWSTR>(kPrinter), dm, nullptr, DM_UPDATE), 1);
  EXPECT_EQ(props(nullptr, printer, const_cast<LPWSTR>(kPrinter), nullptr, nullptr, DM_COPY), 1);
  EXPECT_EQ(out, std::vector<BYTE>(4128, 0xAB));
  EXPECT_TRUE(queries.empty());
}

TEST_F(Cfg, DocumentPropertiesWithoutPrinterDefaultFails) {
  install(true, {});
  auto props = fn<DocPropsFn>("DrvDocumentProperties");
  std::vector<BYTE> out(4128, 0xAB);
  EXPECT_EQ(
      props(nullptr, printer, const_cast<LPWSTR>(kPrinter), reinterpret_cast<DEVMODEW *>(out.data()), nullptr, DM_COPY),
      2);
  EXPECT_EQ(out, std::vector<BYTE>(4128, 0xAB));
}

// One process's life: the first merge starts from the printer's default, the
// following ones from the working settings copy, and "PrinterModel" brings
// the printer's record back when the model changes family.
TEST_F(Cfg, DocumentPropertiesMergeOverTheModulesLife) {
  install(true, printerDefault(8, 0));
  model = "CA1 V2";  // single-sided
  auto props = fn<DocPropsFn>("DrvDocumentProperties");
  CardDevmode app{};
  fillDefaultStandardPart(app.standard);
  const int16_t portrait = 1, copies = 3;
  std::memcpy(app.standard + offsetof(DEVMODEW, dmOrientation), &portrait, 2);
  std::memcpy(app.standard + offsetof(DEVMODEW, dmCopies), &copies, 2);
  app.record.ribbonType = 5;  // no signature: never merged

  CardDevmode out{};
  EXPECT_EQ(props(nullptr, printer, const_cast<LPWSTR>(kPrinter), reinterpret_cast<DEVMODEW *>(&out),
                  reinterpret_cast<DEVMODEW *>(&app), DM_COPY | DM_IN_BUFFER),
            1);
  EXPECT_EQ(standardField<int16_t>(out, offsetof(DEVMODEW, dmOrientation)), 1);
  EXPECT_EQ(standardField<int16_t>(out, offsetof(DEVMODEW, dmCopies)), 3);
  EXPECT_EQ(out.record.ribbonType, 8);
  EXPECT_EQ(out.record.duplex, 0);
  EXPECT_EQ(family(out.record), u"CA1");
  DWORD value = 0;
  EXPECT_FALSE(readValue(u"PrinterModel", value));  // the copy was not initialised yet

  // Initialised now: a whole input DEVMODE gives its standard part and the
  // working copy.
  app.standard[offsetof(DEVMODEW, dmCopies)] = 9;
  EXPECT_EQ(props(nullptr, printer, const_cast<LPWSTR>(kPrinter), reinterpret_cast<DEVMODEW *>(&out),
                  reinterpret_cast<DEVMODEW *>(&app), DM_COPY | DM_IN_BUFFER),
            1);
  EXPECT_EQ(standardField<int16_t>(out, offsetof(DEVMODEW, dmCopies)), 9);
  EXPECT_EQ(out.record.ribbonType, 8);
  EXPECT_EQ(out.record.signature, kRecordSignature);
  // One whose private part is too short to be ours (another driver's, an
  // older one) is merged like on the first call: its orientation and copies
  // onto the printer's default.
  CardDevmode shortApp = app;
  const WORD extra = 3000;
  std::memcpy(shortApp.standard + offsetof(DEVMODEW, dmDriverExtra), &extra, 2);
  shortApp.standard[offsetof(DEVMODEW, dmCopies)] = 4;
  CardDevmode out2;
  std::memset(&out2, 0xAB, sizeof out2);
  EXPECT_EQ(props(nullptr, printer, const_cast<LPWSTR>(kPrinter), reinterpret_cast<DEVMODEW *>(&out2),
                  reinterpret_cast<DEVMODEW *>(&shortApp), DM_COPY | DM_IN_BUFFER),
            1);
  EXPECT_EQ(standardField<int16_t>(out2, offsetof(DEVMODEW, dmCopies)), 4);
  EXPECT_EQ(standardField<int16_t>(out2, offsetof(DEVMODEW, dmOrientation)), 1);
  EXPECT_EQ(standardField<WORD>(out2, offsetof(DEVMODEW, dmDriverExtra)), 3916);
  EXPECT_EQ(out2.record.signature, kRecordSignature);
  EXPECT_EQ(out2.record.ribbonType, 8);

  // Without input the printer's default is read and "PrinterModel" written.
  EXPECT_EQ(props(nullptr, printer, const_cast<LPWSTR>(kPrinter), reinterpret_cast<DEVMODEW *>(&out), nullptr, DM_COPY),
            1);
  EXPECT_TRUE(readValue(u"PrinterModel", value));
  EXPECT_EQ(value, 1u);

  // A two-sided printer now.  The stored value matches the copy's family, so
  // the copy stays (still one-sided) and only its family and the value follow
  // the model.
  model = "CA3 V1";
  EXPECT_EQ(props(nullptr, printer, const_cast<LPWSTR>(kPrinter), reinterpret_cast<DEVMODEW *>(&out), nullptr, DM_COPY),
            1);
  EXPECT_EQ(out.record.duplex, 0);
  EXPECT_EQ(family(out.record), u"CA3");
  EXPECT_TRUE(readValue(u"PrinterModel", value));
  EXPECT_EQ(value, 2u);

  // Another process saw a single-sided model since: the value no longer
  // matches the copy's family, and the printer's record (two-sided) returns.
  DWORD single = 1;
  ASSERT_EQ(SetPrinterDataExW(printer, u"PELLORVALUE_SETTING", u"PrinterModel", REG_DWORD,
                              reinterpret_cast<BYTE *>(&single), sizeof single),
            DWORD(ERROR_SUCCESS));
  EXPECT_EQ(props(nullptr, printer, const_cast<LPWSTR>(kPrinter), reinterpret_cast<DEVMODEW *>(&out), nullptr, DM_COPY),
            1);
  EXPECT_EQ(out.record.duplex, 1);
  EXPECT_EQ(family(out.record), u"CA3");
  EXPECT_TRUE(readValue(u"PrinterModel", value));
  EXPECT_EQ(value, 2u);
}

// What an application holding an old DEVMODE, or another driver's, passes:
// a standard part only.  Every call merges its orientation and copies onto
// the printer's default, not only the first one in a process.
TEST_F(Cfg, DocumentPropertiesMergesAPublicOnlyDevmodeOnEveryCall) {
  install(true, printerDefault(6, 0));
  auto props = fn<DocPropsFn>("DrvDocumentProperties");
  std::vector<BYTE> app(220, 0);
  auto set16 = [&](size_t offset, int16_t v) { std::memcpy(app.data() + offset, &v, 2); };
  set16(offsetof(DEVMODEW, dmSize), 220);
  set16(offsetof(DEVMODEW, dmOrientation), DMORIENT_PORTRAIT);
  const DWORD fields = DM_ORIENTATION | DM_COPIES;
  std::memcpy(app.data() + offsetof(DEVMODEW, dmFields), &fields, 4);
  for (int16_t copies : {2, 3, 4}) {
    set16(offsetof(DEVMODEW, dmCopies), copies);
    CardDevmode out;
    std::memset(&out, 0xAB, sizeof out);
    EXPECT_EQ(props(nullptr, printer, const_cast<LPWSTR>(kPrinter), reinterpret_cast<DEVMODEW *>(&out),
                    reinterpret_cast<DEVMODEW *>(app.data()), DM_COPY | DM_IN_BUFFER),
              1)
        << copies;
    EXPECT_EQ(standardField<int16_t>(out, offsetof(DEVMODEW, dmCopies)), copies);
    EXPECT_EQ(standardField<int16_t>(out, offsetof(DEVMODEW, dmOrientation)), DMORIENT_PORTRAIT);
    EXPECT_EQ(standardField<WORD>(out, offsetof(DEVMODEW, dmSize)), 212);
    EXPECT_EQ(out.record.signature, kRecordSignature);
    EXPECT_EQ(out.record.ribbonType, 6);
  }
  // Copies beyond what the printer takes leave the printer's own.
  set16(offsetof(DEVMODEW, dmCopies), 3605);
  CardDevmode out{};
  EXPECT_EQ(props(nullptr, printer, const_cast<LPWSTR>(kPrinter), reinterpret_cast<DEVMODEW *>(&out),
                  reinterpret_cast<DEVMODEW *>(app.data()), DM_COPY | DM_IN_BUFFER),
            1);
  EXPECT_EQ(standardField<int16_t>(out, offsetof(DEVMODEW, dmCopies)), 1);
}

// A whole DEVMODE whose standard part is damaged: the merge answers IDOK only
// with values the printer takes.
TEST_F(Cfg, DocumentPropertiesNeverHandsBackPublicFieldsOutOfRange) {
  install(true, printerDefault(0));
  auto props = fn<DocPropsFn>("DrvDocumentProperties");
  CardDevmode out{};
  // The first call initialises the working copy; the second takes the
  // application's standard part.
  ASSERT_EQ(props(nullptr, printer, const_cast<LPWSTR>(kPrinter), reinterpret_cast<DEVMODEW *>(&out), nullptr, DM_COPY),
            1);
  CardDevmode app = out;
  auto set16 = [&](size_t offset, int16_t v) { std::memcpy(app.standard + offset, &v, 2); };
  set16(offsetof(DEVMODEW, dmCopies), 3605);
  set16(offsetof(DEVMODEW, dmOrientation), -12143);
  set16(offsetof(DEVMODEW, dmPaperSize), 29145);
  for (size_t i = 0; i < 32; ++i) app.standard[2 * i] = 'Q';
  const DWORD all = 0xFFFFFFFF;
  std::memcpy(app.standard + offsetof(DEVMODEW, dmFields), &all, 4);
  for (DWORD mode : {DWORD(DM_COPY), DWORD(DM_COPY | DM_IN_BUFFER)}) {
    std::memset(&out, 0xAB, sizeof out);
    ASSERT_EQ(props(nullptr, printer, const_cast<LPWSTR>(kPrinter), reinterpret_cast<DEVMODEW *>(&out),
                    reinterpret_cast<DEVMODEW *>(&app), mode),
              1);
    EXPECT_EQ(standardField<int16_t>(out, offsetof(DEVMODEW, dmCopies)), 1);
    EXPECT_EQ(standardField<int16_t>(out, offsetof(DEVMODEW, dmOrientation)), 2);
    EXPECT_EQ(standardField<int16_t>(out, offsetof(DEVMODEW, dmPaperSize)), 258);
    EXPECT_EQ(out.standard[2 * 30], 'Q');
    EXPECT_EQ(standardField<WCHAR>(out, 2 * 31), 0);
  }
}

TEST_F(Cfg, DocumentPropertiesManualRibbonAndSilentPrinter) {
  install(true, printerDefault(0, 9));  // manual choice 9: KrO
  model.clear();                        // the printer does not answer
  auto props = fn<DocPropsFn>("DrvDocumentProperties");
  CardDevmode out{};
  EXPECT_EQ(props(nullptr, printer, const_cast<LPWSTR>(kPrinter), reinterpret_cast<DEVMODEW *>(&out), nullptr, DM_COPY),
            1);
  EXPECT_EQ(out.record.ribbonType, 3);
  EXPECT_EQ(out.record.duplex, 1);  // neither single- nor dual-sided: left as it was
  EXPECT_EQ(family(out.record), u"CA3");
}

// ------------------------------------------------------------ sheet-less DrvDocumentPropertySheets
TEST_F(Cfg, SettingsExchangeWithoutSheet) {
  install(true, printerDefault(0));
  auto sheets = fn<SheetsFn>("DrvDocumentPropertySheets");
  EXPECT_EQ(sheets(nullptr, 0), -1);

  CardDevmode out;
  std::memset(&out, 0xAB, sizeof out);
  DOCUMENTPROPERTYHEADER h{sizeof h, 0, printer, const_cast<LPWSTR>(kPrinter), nullptr, nullptr, 0, DM_COPY};
  EXPECT_EQ(sheets(nullptr, reinterpret_cast<LPARAM>(&h)), 4128);
  EXPECT_EQ(h.cbOut, 4128u);

  h.pdmOut = reinterpret_cast<DEVMODEW *>(&out);
  h.cbOut = 4000;
  SetLastError(kSentinel);
  EXPECT_EQ(sheets(nullptr, reinterpret_cast<LPARAM>(&h)), -1);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(out.record.signature, 0xABAB);

  h.cbOut = 4128;
  h.fMode = DM_PROMPT;
  EXPECT_EQ(sheets(nullptr, reinterpret_cast<LPARAM>(&h)), 1);
  EXPECT_EQ(out.record.signature, 0xABAB);

  // The first exchange asks the printer for encoder and ribbon (code 17,
  // KrO) and writes what changed into the output and the printer's default.
  h.fMode = DM_COPY;
  EXPECT_EQ(sheets(nullptr, reinterpret_cast<LPARAM>(&h)), 1);
  EXPECT_EQ(out.record.signature, kRecordSignature);
  EXPECT_EQ(out.record.ribbonType, 3);
  EXPECT_EQ(out.record.hasEncoder, 1);
  CardDevmode stored = storedPrinterDefault();
  EXPECT_EQ(stored.record.ribbonType, 3);
  EXPECT_EQ(stored.record.hasEncoder, 1);

  // With a property sheet call block the sheet opens, and needs the
  // header in the block's lParamInit.
  PROPSHEETUI_INFO info{};
  SetLastError(kSentinel);
  EXPECT_EQ(sheets(&info, reinterpret_cast<LPARAM>(&h)), -1);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(Cfg, SettingsExchangeWithoutSheetFailsWithoutPrinterDefault) {
  install(true, {});
  auto sheets = fn<SheetsFn>("DrvDocumentPropertySheets");
  CardDevmode out{};
  DOCUMENTPROPERTYHEADER h{
      sizeof h, 0, printer, const_cast<LPWSTR>(kPrinter), nullptr, reinterpret_cast<DEVMODEW *>(&out), 4128, DM_COPY};
  EXPECT_EQ(sheets(nullptr, reinterpret_cast<LPARAM>(&h)), -1);
  EXPECT_EQ(out.record.signature, 0);
}

// ------------------------------------------------------------ the other entry points
// The spooler's side of DOCUMENTEVENT_QUERYFILTER: it allocates the filter
// with room for DOCUMENTEVENT_LAST - 1 events, fills it with its starting
// values, and passes it as pvOut (cbOut its size); pvIn is the
// DOCEVENT_CREATEDCPRE of the CreateDC that follows.
struct SpoolerFilter {
  std::vector<BYTE> block;
  explicit SpoolerFilter(UINT allocated = DOCUMENTEVENT_LAST - 1)
      : block(sizeof(DOCEVENT_FILTER) + sizeof(DWORD) * (DOCUMENTEVENT_LAST - 2) + 16, 0x5C) {
    DOCEVENT_FILTER *f = filter();
    std::memset(f, 0, sizeof(DOCEVENT_FILTER) + sizeof(DWORD) * (DOCUMENTEVENT_LAST - 2));
    f->cbSize = sizeof(DOCEVENT_FILTER);
    f->cElementsAllocated = allocated;
    f->cElementsNeeded = 0xFFFFFFFF;
    f->cElementsReturned = 0xFFFFFFFF;
  }
  DOCEVENT_FILTER *filter() { return reinterpret_cast<DOCEVENT_FILTER *>(block.data()); }
  static ULONG size() { return ULONG(sizeof(DOCEVENT_FILTER) + sizeof(DWORD) * (DOCUMENTEVENT_LAST - 2)); }
};

TEST_F(Cfg, DocumentEventFilterIsTheSpoolersOutputBlock) {
  install(true, printerDefault(0));
  auto docEvent = fn<DocEventFn>("DrvDocumentEvent");
  CardDevmode dm{};
  fillDefaultStandardPart(dm.standard);
  WCHAR driver[] = u"Pellor Standard Printer";
  WCHAR device[] = u"Pellor CA3 Card Printer USB";
  DOCEVENT_CREATEDCPRE createDc{driver, device, reinterpret_cast<DEVMODEW *>(&dm), FALSE};
  const DOCEVENT_CREATEDCPRE before = createDc;

  SpoolerFilter out;
  EXPECT_EQ(docEvent(printer, nullptr, DOCUMENTEVENT_QUERYFILTER, sizeof createDc, &createDc, SpoolerFilter::size(),
                     out.filter()),
            DOCUMENTEVENT_SUCCESS);
  EXPECT_EQ(out.filter()->cElementsReturned, 1u);
  EXPECT_EQ(out.filter()->cElementsNeeded, 0u);
  EXPECT_EQ(out.filter()->aDocEventCall[0], DWORD(DOCUMENTEVENT_CREATEDCPRE));
  EXPECT_EQ(std::memcmp(&createDc, &before, sizeof createDc), 0) << "the CreateDC arguments were written";
  EXPECT_EQ(out.block[SpoolerFilter::size()], 0x5C);

  // No room in the list: the module says how much it needs.
  SpoolerFilter none(0);
  EXPECT_EQ(docEvent(printer, nullptr, DOCUMENTEVENT_QUERYFILTER, sizeof createDc, &createDc, SpoolerFilter::size(),
                     none.filter()),
            DOCUMENTEVENT_SUCCESS);
  EXPECT_EQ(none.filter()->cElementsNeeded, 1u);
  EXPECT_EQ(none.filter()->cElementsReturned, 0u);
  EXPECT_EQ(none.filter()->aDocEventCall[0], 0u);

  // cbOut bounds the block whatever cElementsAllocated claims: with room for
  // the counts only no event is listed; shorter still, nothing is written.
  const ULONG counts = ULONG(offsetof(DOCEVENT_FILTER, aDocEventCall));
  SpoolerFilter countsOnly;
  EXPECT_EQ(docEvent(printer, nullptr, DOCUMENTEVENT_QUERYFILTER, 0, nullptr, counts, countsOnly.filter()),
            DOCUMENTEVENT_SUCCESS);
  EXPECT_EQ(countsOnly.filter()->cElementsNeeded, 1u);
  EXPECT_EQ(countsOnly.filter()->cElementsReturned, 0u);
  EXPECT_EQ(countsOnly.filter()->aDocEventCall[0], 0u);
  SpoolerFilter tooShort;
  const std::vector<BYTE> untouched = tooShort.block;
  EXPECT_EQ(docEvent(printer, nullptr, DOCUMENTEVENT_QUERYFILTER, 0, nullptr, counts - 1, tooShort.filter()),
            DOCUMENTEVENT_SUCCESS);
  EXPECT_EQ(tooShort.block, untouched);
  EXPECT_EQ(docEvent(printer, nullptr, DOCUMENTEVENT_QUERYFILTER, sizeof createDc, &createDc, 0, nullptr),
            DOCUMENTEVENT_SUCCESS);
  EXPECT_EQ(std::memcmp(&createDc, &before, sizeof createDc), 0);
}

TEST_F(Cfg, EventsAndQueries) {
  install(true, printerDefault(0));
  auto docEvent = fn<DocEventFn>("DrvDocumentEvent");
  EXPECT_EQ(docEvent(printer, nullptr, DOCUMENTEVENT_STARTDOC, 0, nullptr, 0, nullptr), 1);
  EXPECT_EQ(docEvent(printer, nullptr, 8, 0, nullptr, 0, nullptr), 1);

  auto printerEvent = fn<PrinterEventFn>("DrvPrinterEvent");
  EXPECT_TRUE(printerEvent(const_cast<LPWSTR>(kPrinter), 4, 0, 0));
  EXPECT_TRUE(printerEvent(const_cast<LPWSTR>(kPrinter), PRINTER_EVENT_INITIALIZE, 0, 0));

  DWORD resId = kSentinel;
  EXPECT_TRUE(fn<QueryPrintFn>("DevQueryPrint")(printer, nullptr, &resId));
  EXPECT_EQ(resId, 0u);
  EXPECT_TRUE(fn<QueryPrintExFn>("DevQueryPrintEx")(nullptr));
  EXPECT_TRUE(fn<PrinterPropsFn>("PrinterProperties")(nullptr, printer));
  EXPECT_TRUE(fn<UpgradeFn>("DrvUpgradePrinter")(1, nullptr));
  EXPECT_EQ(fn<AdvancedFn>("DrvAdvancedDocumentProperties")(nullptr, printer, nullptr, nullptr, nullptr), 3916);
  SetLastError(kSentinel);
  EXPECT_EQ(fn<SheetsFn>("DrvDevicePropertySheets")(nullptr, 0), -1);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_SUPPORTED));
}

TEST_F(Cfg, PrinterInitialisationFailsWithoutDataFile) {
  install(false, {});
  auto printerEvent = fn<PrinterEventFn>("DrvPrinterEvent");
  EXPECT_FALSE(printerEvent(const_cast<LPWSTR>(kPrinter), PRINTER_EVENT_INITIALIZE, 0, 0));
  EXPECT_TRUE(printerEvent(const_cast<LPWSTR>(kPrinter), PRINTER_EVENT_INITIALIZE + 1, 0, 0));
}

}  // namespace
