// A card set up through the printer's preferences and printed with what the
// user chose: the configuration module's card setup sheet, opened by
// DocumentPropertiesW and worked by the scripted user, asks the emulated
// printer on USB001 (through the USB language monitor) for its ribbon and
// model; the DEVMODE it hands back goes to CreateDCW, and the rendering
// driver's job reaches the same printer.  The stream is checked against the
// renderer's own tables.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <winsim/testing.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "emulator/include/cardemu/printer.h"
#include "emulator/include/cardemu/usb_device.h"
#include "shared/job_settings.h"

namespace {

namespace fs = std::filesystem;

const char16_t kPrinter[] = u"Pellor CA3 Card Printer USB";
const char16_t kMonitor[] = u"Pellor Standard USB Language Monitor";
constexpr int kYmckoRibbonCode = 2;

LPWSTR w(const char16_t *s) { return const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(s)); }

size_t count(const std::string &text, const std::string &what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

class CardSetupRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    winsim::setClockScale(1000.0);
    ASSERT_TRUE(winsim::installMonitor(kMonitor, USBMON_DLL));
    ASSERT_TRUE(winsim::attachUsbDevice(u"USB001", std::make_shared<cardemu::UsbPrinterDevice>(printer)));
    winsim::PrinterSetup setup;
    setup.printerName = kPrinter;
    setup.driverName = u"Pellor Standard Printer";
    setup.graphicsDll = CARDREND_DLL;
    setup.configDll = CARDCFG_DLL;
    setup.monitorName = kMonitor;
    setup.portName = u"USB001";
    ASSERT_TRUE(winsim::installPrinter(setup));
    // The package's ribbon names beside the driver, where the sheet reads
    // the name of the printer's ribbon.
    WCHAR dir[MAX_PATH] = {};
    DWORD needed = 0;
    ASSERT_TRUE(GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(dir), sizeof dir, &needed));
    const fs::path folder = winsim::hostPath(std::u16string(reinterpret_cast<const char16_t *>(dir)) + u"\\3");
    fs::create_directories(folder);
    fs::copy_file(fs::path(CARD_PACKAGE_DIR) / "cardribbon.INI", folder / "cardribbon.INI",
                  fs::copy_options::overwrite_existing);
    ASSERT_TRUE(OpenPrinterW(w(kPrinter), &handle, nullptr));
  }
  void TearDown() override {
    if (handle) ClosePrinter(handle);
    winsim::resetMachine();
  }

  // The preferences as the user leaves them, in a DEVMODE of the module's size.
  std::vector<BYTE> preferences(std::vector<winsim::SheetAction> actions) {
    winsim::SheetScript script;
    script.title = u"Printing Preferences";
    script.actions = std::move(actions);
    script.end = winsim::SheetEndButton::Ok;
    script.times = 1;
    winsim::scriptSheet(script);
    LONG size = DocumentPropertiesW(nullptr, handle, w(kPrinter), nullptr, nullptr, 0);
    EXPECT_GT(size, LONG(sizeof(DEVMODEW)));
    std::vector<BYTE> devmode(size_t(size > 0 ? size : 0));
    EXPECT_EQ(DocumentPropertiesW(nullptr, handle, w(kPrinter), reinterpret_cast<DEVMODEW *>(devmode.data()), nullptr,
                                  DM_IN_PROMPT | DM_OUT_BUFFER),
              IDOK);
    for (const auto &fault : winsim::takeSheetFaults()) ADD_FAILURE() << winsim::toUtf8(fault.fault);
    return devmode;
  }

  // One card printed as an application prints it with `devmode`: the front
  // page a coloured picture and black text, the back page black text.
  void printCard(const std::vector<BYTE> &devmode) {
    HDC dc = CreateDCW(nullptr, w(kPrinter), nullptr, reinterpret_cast<const DEVMODEW *>(devmode.data()));
    ASSERT_NE(dc, nullptr);
    DOCINFOW doc = {sizeof doc, reinterpret_cast<LPCWSTR>(u"card setup"), nullptr, nullptr, 0};
    ASSERT_GT(StartDocW(dc, &doc), 0);
    ASSERT_GT(StartPage(dc), 0);
    HBRUSH red = CreateSolidBrush(RGB(200, 30, 30));
    RECT photo = {40, 40, 300, 340};
    FillRect(dc, &photo, red);
    DeleteObject(red);
    TextOutW(dc, 360, 80, reinterpret_cast<LPCWSTR>(u"CARD SETUP"), 10);
    ASSERT_GT(EndPage(dc), 0);
    ASSERT_GT(StartPage(dc), 0);
    TextOutW(dc, 40, 80, reinterpret_cast<LPCWSTR>(u"BACK"), 4);
    ASSERT_GT(EndPage(dc), 0);
    ASSERT_GT(EndDoc(dc), 0);
    DeleteDC(dc);
    ASSERT_TRUE(winsim::waitForSpoolerIdle(kPrinter));
  }

  cardemu::Printer printer{[] {
    cardemu::PrinterConfig config;
    config.model = "CA3";
    config.ribbonCode = kYmckoRibbonCode;
    config.ribbonRemaining = 1000;
    return config;
  }()};
  HANDLE handle = nullptr;
};

TEST_F(CardSetupRoad, BothSidesWithTheChosenLayoutAndCopies) {
  using namespace winsim;
  std::vector<BYTE> devmode =
      // The black panel can be chosen with the all-colour layout only, the
      // monochrome conversion with the first: each is chosen where it can be.
      preferences({sheetChoose(u"Print on both sides", u"Yes"),
                   sheetChoose(u"Front and Back", u"Front YMCKO, Back YMCKO"),
                   sheetChoose(u"Black Panel", u"Text Only"), sheetChoose(u"Front and Back", u"Front YMCO, Back K"),
                   sheetChoose(u"Monochrome Conversion", u"Diffusion"), sheetChoose(u"180º Rotation", u"Front & Back"),
                   sheetSetNumber(u"Copies", 3)});
  ASSERT_GE(devmode.size(), sizeof(card::CardDevmode));
  const auto *dm = reinterpret_cast<const card::CardDevmode *>(devmode.data());
  const auto *standard = reinterpret_cast<const DEVMODEW *>(devmode.data());
  EXPECT_EQ(standard->dmCopies, 3);
  EXPECT_EQ(dm->record.ribbonType, card::kRibbonYMCKO);
  EXPECT_EQ(dm->record.duplex, 1);
  EXPECT_EQ(dm->record.dualSideLayout, 0);
  EXPECT_EQ(dm->record.blackPanelMode, card::kBlackPanelTextOnly);
  EXPECT_EQ(dm->record.monoConversion, card::kConvertDiffusion);
  EXPECT_EQ(dm->record.rotate180, card::kRotateBoth);

  // The sheet saw what the printer holds: its ribbon by name.
  const std::vector<ShownSheet> sheets = shownSheets();
  ASSERT_EQ(sheets.size(), 1u);
  const SheetItemRecord *ribbon = sheets[0].pages.at(0).item(u"Ribbon Type");
  ASSERT_NE(ribbon, nullptr);
  EXPECT_EQ(ribbon->selectionText, u"YMCKO");

  printCard(devmode);
  std::vector<JobRecord> jobs = printJobs(kPrinter);
  ASSERT_EQ(jobs.size(), 1u);
  const std::string stream(jobs[0].bytes.begin(), jobs[0].bytes.end());
  // Two-sided YMCKO with the first layout: the job header says so.
  EXPECT_NE(stream.find("\eMASTER\r\eJOB 2\r\eSXY 1\r"), std::string::npos);
  // The two further copies reprint the front's colours, turn the card and
  // print the back's black.
  EXPECT_EQ(count(stream, "\eIS 0\r\eIS 1\r\eIS 2\r\eMF\r"), 2u);
  std::vector<cardemu::Card> cards = printer.takeCards();
  ASSERT_EQ(cards.size(), 3u);
  for (const cardemu::Card &card : cards) {
    EXPECT_FALSE(card.sides[0].panels.empty()) << card.summary();
    EXPECT_FALSE(card.sides[1].panels.empty()) << card.summary();
  }
}

}  // namespace
