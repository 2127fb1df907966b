// DocumentPropertiesW and PrinterProperties reach the printer's UI module:
// without a prompt through its sheet entry alone, with one through the
// common property sheet UI, titled as Windows titles a printer's sheets.
#include <compstui.h>

#include <gtest/gtest.h>
#include <winsim/testing.h>
#include <winsim/testing_gtest.h>

#include "winsim/tests/fixtures.h"

namespace winsim_test {
namespace {

using namespace winsim;

class PrinterSheets : public Winsim {
 protected:
  void SetUp() override {
    Winsim::SetUp();
    PrinterSetup s;
    s.printerName = u"Card UI";
    s.driverName = u"Card UI Driver";
    s.graphicsDll = WINSIM_TESTDRV;
    s.configDll = WINSIM_UIMOD;
    ASSERT_TRUE(installPrinter(s));
    ASSERT_TRUE(OpenPrinterW(name(), &printer_, nullptr));
  }
  void TearDown() override { ClosePrinter(printer_); }
  static LPWSTR name() { return reinterpret_cast<LPWSTR>(const_cast<char16_t *>(u"Card UI")); }
  HANDLE printer_ = nullptr;
};

TEST_F(PrinterSheets, DocumentPropertiesSizesExchangesAndPrompts) {
  EXPECT_EQ(DocumentPropertiesW(nullptr, printer_, name(), nullptr, nullptr, 0), LONG(sizeof(DEVMODEW)));
  DEVMODEW in{}, out{};
  in.dmSize = sizeof(DEVMODEW);
  in.dmOrientation = DMORIENT_PORTRAIT;
  EXPECT_EQ(DocumentPropertiesW(nullptr, printer_, name(), &out, &in, DM_IN_BUFFER | DM_OUT_BUFFER), IDOK);
  EXPECT_EQ(out.dmOrientation, DMORIENT_PORTRAIT);
  EXPECT_TRUE(shownSheets().empty());

  scriptSheet({u"Card UI Printing Preferences", {sheetChoose(u"Orientation", u"Landscape")}, SheetEndButton::Ok, 1});
  EXPECT_EQ(DocumentPropertiesW(nullptr, printer_, name(), &out, &in, DM_IN_BUFFER | DM_IN_PROMPT | DM_OUT_BUFFER),
            IDOK);
  EXPECT_EQ(out.dmOrientation, DMORIENT_LANDSCAPE);

  scriptSheet(
      {u"Card UI Printing Preferences", {sheetChoose(u"Orientation", u"Landscape")}, SheetEndButton::Cancel, 1});
  out = {};
  EXPECT_EQ(DocumentPropertiesW(nullptr, printer_, name(), &out, &in, DM_IN_BUFFER | DM_IN_PROMPT | DM_OUT_BUFFER),
            IDCANCEL);
  auto sheets = shownSheets();
  ASSERT_EQ(sheets.size(), 2u);
  EXPECT_EQ(sheets[0].title, u"Card UI Printing Preferences");
  ASSERT_EQ(sheets[0].pages.size(), 1u);
  EXPECT_EQ(sheets[0].pages[0].name, u"Document");
}

TEST_F(PrinterSheets, PrinterPropertiesShowsTheDeviceSheet) {
  scriptSheet({u"Card UI Properties", {sheetChooseIndex(u"Orientation", 1)}, SheetEndButton::Ok, 1});
  EXPECT_TRUE(PrinterProperties(nullptr, printer_));
  auto sheets = shownSheets();
  ASSERT_EQ(sheets.size(), 1u);
  EXPECT_EQ(sheets[0].title, u"Card UI Properties");
  EXPECT_EQ(sheets[0].end, SheetEnd::Ok);
  ASSERT_EQ(sheets[0].pages.size(), 1u);
  EXPECT_EQ(sheets[0].pages[0].name, u"Device");
}

}  // namespace
}  // namespace winsim_test
