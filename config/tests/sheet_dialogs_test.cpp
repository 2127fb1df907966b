// The colour correction (109) and head settings (107) dialogs, worked by the
// scripted user over the record of the DEVMODE the sheet edits.  The
// dialogs' code is this test's copy of the module's glue; their templates
// come from the installed module.
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>
#include <winsim/testing.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/colour_adjust.h"
#include "config/dialogs.h"
#include "config/dialogs/sheet_ids.h"
#include "config/module_state.h"
#include "config/sheet_dialogs.h"
#include "config/tests/emulated_printer_fixture.h"
#include "shared/job_settings.h"

namespace {

using namespace card;
using namespace card::cfg;

const char16_t kPrinter[] = u"Pellor CA3 Card Printer USB";

class SheetDialogs : public ::testing::Test {
 protected:
  void install(const JobSettingsRecord *dataFile) {
    winsim::resetMachine();
    winsim::PrinterSetup setup;
    setup.printerName = kPrinter;
    setup.driverName = u"Pellor Standard Printer";
    setup.configDll = CARDCFG_DLL;
    files = std::filesystem::temp_directory_path() / ("cardcfg_dialogs_" + std::to_string(::getpid()));
    std::filesystem::create_directories(files);
    std::ofstream(files / "cardrend.dll").put('\0');
    setup.graphicsDll = (files / "cardrend.dll").string();
    if (dataFile) {
      std::ofstream(files / "carddefaults.dat", std::ios::binary)
          .write(reinterpret_cast<const char *>(dataFile), sizeof *dataFile);
      setup.dataFile = (files / "carddefaults.dat").string();
    }
    ASSERT_TRUE(winsim::installPrinter(setup));
    openWithModule(kPrinter, module, printer);
    ModuleState &st = state();
    std::memset(&dm, 0, sizeof dm);
    dm.record.signature = kRecordSignature;
    st.current = reinterpret_cast<DEVMODEW *>(&dm);
    st.currentRecord = &dm.record;
  }
  void TearDown() override {
    failOnUnscriptedUi();
    ModuleState &st = state();
    st.current = nullptr;
    st.currentRecord = nullptr;
    st.printer = nullptr;
    if (printer) ClosePrinter(printer);
    if (module) FreeLibrary(module);
    if (!files.empty()) std::filesystem::remove_all(files);
  }
  // Runs the dialog with the user's actions, then Close; the dialog as seen.
  winsim::ShownDialog run(int templateId, std::vector<winsim::DialogAction> actions) {
    winsim::DialogScript script;
    script.templateId = templateId;
    script.actions = std::move(actions);
    script.endButton = IDC_SHEET_CLOSE;
    script.times = 1;
    winsim::scriptDialog(script);
    const INT_PTR r = templateId == IDD_SHEET_COLOUR ? showColourDialog(nullptr) : showHeadSettingsDialog(nullptr);
    EXPECT_EQ(r, IDOK);
    auto shown = winsim::shownDialogs();
    EXPECT_EQ(shown.size(), 1u);
    return shown.empty() ? winsim::ShownDialog{} : shown.back();
  }

  HMODULE module = nullptr;
  HANDLE printer = nullptr;
  std::filesystem::path files;
  CardDevmode dm{};
};

TEST_F(SheetDialogs, HeadSettingsByRibbon) {
  install(nullptr);
  dm.record.ribbonType = kRibbonKdO;
  dm.record.varnishContrast = 3;
  dm.record.blackDyeContrast = 10;
  auto d = run(IDD_SHEET_HEAD, {winsim::userMove(1800, 7)});
  EXPECT_EQ(d.title, u"Head Settings");
  for (int id = 1800; id <= 1810; ++id) {
    const auto *c = d.control(id);
    ASSERT_NE(c, nullptr) << id;
    EXPECT_EQ(c->enabled, id == 1800 || id == 1806 || id == 1810) << id;
    EXPECT_EQ(c->rangeMin, 0);
    EXPECT_EQ(c->rangeMax, 10);
  }
  EXPECT_EQ(d.control(1800)->position, 3);
  EXPECT_EQ(d.control(1821)->text, u"10");
  EXPECT_EQ(dm.record.varnishContrast, 7);
  EXPECT_EQ(atEnd(d, 1811)->text, u"7");

  // Scratch off: nothing to set.
  winsim::clearShownMessages();
  dm.record.ribbonType = kRibbonMonochrome;
  dm.record.monoRibbonKind = kMonoScratchOff;
  d = run(IDD_SHEET_HEAD, {});
  for (int id = 1800; id <= 1810; ++id) EXPECT_FALSE(d.control(id)->enabled) << id;
}

TEST_F(SheetDialogs, HeadRestoreDefaults) {
  JobSettingsRecord defaults{};
  defaults.signature = kRecordSignature;
  defaults.blackContrast = 9;
  defaults.colourIntensity[1] = 2;
  install(&defaults);
  dm.record.ribbonType = kRibbonYMCKO;
  dm.record.blackContrast = 1;
  auto d = run(IDD_SHEET_HEAD, {winsim::userClick(IDC_SHEET_RESTORE)});
  EXPECT_EQ(dm.record.blackContrast, 9);
  EXPECT_EQ(dm.record.colourIntensity[1], 2);
  EXPECT_EQ(dm.record.varnishContrast, 0);
  EXPECT_EQ(atEnd(d, 1812)->text, u"9");
  EXPECT_EQ(atEnd(d, 1801)->position, 9);
}

TEST_F(SheetDialogs, HeadRestoreWithoutDataFile) {
  install(nullptr);
  dm.record.ribbonType = kRibbonYMCKO;
  auto d = run(IDD_SHEET_HEAD, {winsim::userClick(IDC_SHEET_RESTORE)});
  for (int id = 1811; id <= 1821; ++id) EXPECT_EQ(atEnd(d, id)->text, u"5") << id;
  EXPECT_EQ(dm.record.hologramContrast, 5);
  EXPECT_EQ(dm.record.blackDyeContrast, 5);
}

TEST_F(SheetDialogs, ColourSlidersStoreAtOnce) {
  install(nullptr);
  dm.record.ribbonType = kRibbonYMCKO;  // one side: colour sliders only
  dm.record.monoBrightness = 12;
  auto d = run(IDD_SHEET_COLOUR, {winsim::userMove(1902, 30), winsim::userMove(1908, -100)});
  EXPECT_EQ(d.title, u"Color correction");
  EXPECT_FALSE(d.control(1901)->enabled);
  EXPECT_FALSE(d.control(1905)->enabled);
  EXPECT_TRUE(d.control(1902)->enabled);
  EXPECT_EQ(d.control(1901)->rangeMin, -100);
  EXPECT_EQ(d.control(1901)->rangeMax, 100);
  EXPECT_EQ(d.control(1910)->text, u"12");
  EXPECT_EQ(dm.record.cyanBrightness, 30);    // red
  EXPECT_EQ(dm.record.yellowContrast, -100);  // blue
  EXPECT_EQ(atEnd(d, 1911)->text, u"30");
  EXPECT_EQ(atEnd(d, 1917)->text, u"-100");
}

TEST_F(SheetDialogs, ColourBlackSlidersOfAMonochromeRibbon) {
  install(nullptr);
  dm.record.ribbonType = kRibbonKrO;
  dm.record.monoConversion = kConvertHalftone;
  dm.record.monoBrightness = 40;
  auto d = run(IDD_SHEET_COLOUR, {});
  for (int id = 1901; id <= 1908; ++id) EXPECT_FALSE(d.control(id)->enabled) << id;
  EXPECT_EQ(d.control(1910)->text, u"0");
  EXPECT_EQ(d.control(1901)->position, 0);

  winsim::clearShownMessages();
  dm.record.monoConversion = kConvertDiffusion;
  d = run(IDD_SHEET_COLOUR, {winsim::userMove(1905, 55)});
  EXPECT_TRUE(d.control(1901)->enabled);
  EXPECT_FALSE(d.control(1902)->enabled);
  EXPECT_EQ(d.control(1910)->text, u"40");
  EXPECT_EQ(dm.record.monoContrast, 55);
}

TEST_F(SheetDialogs, ColourRestoreDefaults) {
  JobSettingsRecord defaults{};
  defaults.signature = kRecordSignature;
  defaults.magentaBrightness = -20;
  defaults.monoContrast = 5;
  defaults.reserved12[0] = 7;
  install(&defaults);
  dm.record.ribbonType = kRibbonHologram;  // every slider
  dm.record.cyanContrast = 80;
  auto d = run(IDD_SHEET_COLOUR, {winsim::userClick(IDC_SHEET_RESTORE)});
  EXPECT_EQ(dm.record.magentaBrightness, -20);
  EXPECT_EQ(dm.record.monoContrast, 5);
  EXPECT_EQ(dm.record.cyanContrast, 0);
  EXPECT_EQ(dm.record.reserved12[0], 7);
  EXPECT_EQ(atEnd(d, 1912)->text, u"-20");
  EXPECT_EQ(atEnd(d, 1906)->position, 0);

  // Without the data file every value becomes 0.
  TearDown();
  install(nullptr);
  dm.record.ribbonType = kRibbonHologram;
  dm.record.yellowBrightness = 44;
  dm.record.reserved12[0] = 7;
  run(IDD_SHEET_COLOUR, {winsim::userClick(IDC_SHEET_RESTORE)});
  EXPECT_EQ(dm.record.yellowBrightness, 0);
  EXPECT_EQ(dm.record.reserved12[0], 0);
}

LRESULT CALLBACK plainWindow(HWND h, UINT msg, WPARAM w, LPARAM l) { return DefWindowProcW(h, msg, w, l); }

// The preview: the picture read from the driver's folder, turned grey for a
// resin ribbon with the black intensity, drawn upright at (8, 8).
TEST_F(SheetDialogs, PreviewPicture) {
  install(nullptr);
  // Bottom-up rows: the lower half white, the upper half (B, G, R) = (10, 20, 30).
  std::vector<uint8_t> bmp(54 + 30000, 0);
  const uint8_t header[] = {'B', 'M', 0x66, 0x75, 0, 0, 0, 0,   0, 0, 54, 0, 0, 0,  40,
                            0,   0,   0,    100,  0, 0, 0, 100, 0, 0, 0,  1, 0, 24, 0};
  std::memcpy(bmp.data(), header, sizeof header);
  for (int row = 0; row < 100; ++row)
    for (int x = 0; x < 100; ++x) {
      uint8_t *p = bmp.data() + 54 + (row * 100 + x) * 3;
      if (row < 50) {
        p[0] = p[1] = p[2] = 255;
      } else {
        p[0] = 10;
        p[1] = 20;
        p[2] = 30;
      }
    }
  const std::string path = winsim::hostPath(u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\cardcc.BMP");
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char *>(bmp.data()), std::streamsize(bmp.size() - 1));
  std::vector<uint8_t> pixels;
  EXPECT_FALSE(loadColourPreview(printer, pixels));  // one byte short
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bmp.data()), std::streamsize(bmp.size()));
  ASSERT_TRUE(loadColourPreview(printer, pixels));
  ColourAdjustment a;
  a.black = 10;  // + 25
  adjustPreview(pixels.data(), pixels.size(), kRibbonKResin, a);

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = plainWindow;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = u"CardPreviewTest";
  RegisterClassExW(&wc);
  HWND w = CreateWindowExW(0, u"CardPreviewTest", u"", WS_POPUP, 0, 0, 140, 140, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(w, nullptr);
  HDC dc = GetDC(w);
  drawColourPreview(dc, pixels.data());
  ReleaseDC(w, dc);
  const winsim::WindowSurface s = winsim::windowSurface(w);
  ASSERT_GE(s.width, 120);
  ASSERT_GE(s.height, 120);
  const uint32_t grey = 0x2E2E2E;  // (5 * 30 + 9 * 20 + 2 * 10) / 16 = 21, + 25
  EXPECT_EQ(s.at(8, 8), grey);
  EXPECT_EQ(s.at(107, 57), grey);
  EXPECT_EQ(s.at(8, 58), 0xFFFFFFu);
  EXPECT_EQ(s.at(107, 107), 0xFFFFFFu);
  EXPECT_EQ(s.at(7, 8), 0u);
  EXPECT_EQ(s.at(108, 107), 0u);
  EXPECT_EQ(s.at(8, 108), 0u);
  DestroyWindow(w);
}

}  // namespace
