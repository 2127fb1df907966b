// Opening the card setup sheet: DrvDocumentPropertySheets' INIT (the
// printer's encoder, ribbon and version questions, the ribbon name table,
// the sixteen items with the first layout list) and DESTROY, as the common
// property sheet UI calls them.  The printer answers at once, so the figure
// is the module's own work and the spooler's routing of the questions.
#include <benchmark/benchmark.h>
#include <windows.h>
#include <winspool.h>
#include <winsim/testing.h>
#include <compstui.h>
#include <winddiui.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "shared/job_settings.h"
#include "shared/query_command.h"

namespace {

using namespace card;

const char16_t kPrinter[] = u"Pellor CA3 Card Printer USB";
const char16_t kPort[] = u"CARD001";

using SheetsFn = LONG(WINAPI *)(PROPSHEETUI_INFO *, LPARAM);

LONG_PTR CALLBACK hostFunction(HANDLE, UINT function, LPARAM, LPARAM) {
  return function == CPSFUNC_ADD_PCOMPROPSHEETUIW ? 0x100 : 0;
}

struct Machine {
  HMODULE module = nullptr;
  HANDLE printer = nullptr;
  SheetsFn sheets = nullptr;
  std::filesystem::path files;

  bool setUp() {
    winsim::resetMachine();
    if (!winsim::addTestPort(kPort)) return false;
    CardDevmode dm{};
    fillDefaultStandardPart(dm.standard);
    dm.record.signature = kRecordSignature;
    dm.record.duplex = 1;
    winsim::PrinterSetup setup;
    setup.printerName = kPrinter;
    setup.driverName = u"Pellor Standard Printer";
    setup.configDll = CARDCFG_DLL;
    setup.portName = kPort;
    setup.defaultDevMode.resize(sizeof dm);
    std::memcpy(setup.defaultDevMode.data(), &dm, sizeof dm);
    files = std::filesystem::temp_directory_path() / ("cardcfg_sheet_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(files);
    std::ofstream(files / "cardrend.dll").put('\0');
    setup.graphicsDll = (files / "cardrend.dll").string();
    if (!winsim::installPrinter(setup)) return false;
    std::ofstream(winsim::hostPath(u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\cardribbon.INI"))
        << "[Ribbon Type]\r\n2=YMCKO\r\n";
    winsim::setPortResponder(kPort, [](const std::u16string &name, std::vector<uint8_t> &out) {
      char cmd[64];
      size_t n = decodeQueryCommand(reinterpret_cast<LPCWSTR>(name.c_str()), name.size() + 1, cmd, sizeof cmd);
      std::string c(cmd, n), r;
      if (c == "\x1bV\r") r = "CA3 V1.2\x06";
      if (c == "\x1b!V 20\r") r = "1 1\x06";
      if (c == "\x1b!RIBBON\r") r = "2\x06";
      out.assign(r.begin(), r.end());
      return !r.empty();
    });
    module = LoadLibraryW(u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\cardcfg.dll");
    if (!module) return false;
    sheets =
        reinterpret_cast<SheetsFn>(reinterpret_cast<void (*)()>(GetProcAddress(module, "DrvDocumentPropertySheets")));
    return sheets && OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer, nullptr);
  }
  ~Machine() {
    if (printer) ClosePrinter(printer);
    if (module) FreeLibrary(module);
    if (!files.empty()) std::filesystem::remove_all(files);
  }
};

void BM_OpenDocumentSheet(benchmark::State &bench) {
  Machine m;
  if (!m.setUp()) {
    bench.SkipWithError("the machine could not be set up");
    return;
  }
  CardDevmode out{};
  DOCUMENTPROPERTYHEADER header{sizeof header, 0,
                                m.printer,     const_cast<LPWSTR>(kPrinter),
                                nullptr,       reinterpret_cast<DEVMODEW *>(&out),
                                sizeof out,    DM_IN_PROMPT | DM_OUT_BUFFER};
  for (auto _ : bench) {
    PROPSHEETUI_INFO info{};
    info.cbSize = sizeof info;
    info.Version = PROPSHEETUI_INFO_VERSION;
    info.Flags = PSUIINFO_UNICODE;
    info.Reason = PROPSHEETUI_REASON_INIT;
    info.pfnComPropSheet = hostFunction;
    info.lParamInit = reinterpret_cast<LPARAM>(&header);
    if (m.sheets(&info, 0) != 1) {
      bench.SkipWithError("INIT failed");
      break;
    }
    info.Reason = PROPSHEETUI_REASON_DESTROY;
    m.sheets(&info, 0);
  }
}
BENCHMARK(BM_OpenDocumentSheet)->Unit(benchmark::kMillisecond);

// The same through the property sheet host, as an application opens the
// printing preferences: DocumentPropertiesW with a prompt, the page built and
// shown, then cancelled by the scripted user.
void BM_OpenDocumentSheetThroughHost(benchmark::State &bench) {
  Machine m;
  if (!m.setUp()) {
    bench.SkipWithError("the machine could not be set up");
    return;
  }
  winsim::SheetScript script;
  script.end = winsim::SheetEndButton::Cancel;
  winsim::scriptSheet(script);
  CardDevmode out{};
  for (auto _ : bench) {
    if (DocumentPropertiesW(nullptr, m.printer, const_cast<LPWSTR>(kPrinter), reinterpret_cast<DEVMODEW *>(&out),
                            nullptr, DM_IN_PROMPT | DM_OUT_BUFFER) != IDCANCEL) {
      bench.SkipWithError("the sheet did not open");
      break;
    }
    winsim::clearShownSheets();
  }
}
BENCHMARK(BM_OpenDocumentSheetThroughHost)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
