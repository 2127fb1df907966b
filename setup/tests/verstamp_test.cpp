// verstamp.dll on the simulated machine: after an update, UpdateVersionInfo
// stamps the package printers' default settings and nothing else.
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>
#include <winsim/testing.h>

#include <cstring>
#include <string>
#include <vector>

#include "setup/tests/support/machine_files.h"
#include "shared/job_settings.h"
#include "shared/proc_address.h"

namespace card::setup {
namespace {

using testing::exists;
using testing::readFile;

using EntryProc = int(CALLBACK *)(HWND, HINSTANCE, LPSTR, int);

const std::u16string kLibrary = u"C:\\Windows\\system32\\verstamp.dll";

// Settings as an older version of the package left them: a whole card
// DEVMODE with an older version text where the stamp goes.
std::vector<uint8_t> olderSettings(uint8_t fill) {
  std::vector<uint8_t> d(kCardDevmodeSize, fill);
  auto *dm = reinterpret_cast<DEVMODEW *>(d.data());
  std::memset(dm->dmDeviceName, 0, sizeof dm->dmDeviceName);
  dm->dmSpecVersion = 0x0401;
  dm->dmSize = WORD(kStandardPartSize);
  dm->dmDriverExtra = WORD(kRecordSize);
  dm->dmFields = 0;
  std::memcpy(&d[kStandardPartSize + 3862], "7.10.00.05\0\0\0\0\0\0", 16);
  return d;
}

std::vector<uint8_t> defaultSettingsOf(const std::u16string &printer) {
  HANDLE h = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(printer.c_str()), &h, nullptr)) return {};
  DWORD needed = 0;
  GetPrinterW(h, 2, nullptr, 0, &needed);
  std::vector<BYTE> info(needed);
  std::vector<uint8_t> out;
  if (needed && GetPrinterW(h, 2, info.data(), needed, &needed)) {
    const DEVMODEW *dm = reinterpret_cast<PRINTER_INFO_2W *>(info.data())->pDevMode;
    if (dm)
      out.assign(reinterpret_cast<const uint8_t *>(dm),
                 reinterpret_cast<const uint8_t *>(dm) + dm->dmSize + dm->dmDriverExtra);
  }
  ClosePrinter(h);
  return out;
}

class Verstamp : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    winsim::setClockScale(1000);
    ASSERT_TRUE(winsim::copyToDrive(VERSTAMP_DLL, kLibrary));
  }
  void TearDown() override { winsim::resetMachine(); }

  static void addPrinter(const std::u16string &name, const std::u16string &driver, std::vector<uint8_t> settings) {
    winsim::PrinterSetup setup;
    setup.printerName = name;
    setup.driverName = driver;
    setup.defaultDevMode = std::move(settings);
    ASSERT_TRUE(winsim::installPrinter(setup));
  }
};

TEST_F(Verstamp, PackagePrintersGetTheVersionAndOthersKeepTheirSettings) {
  addPrinter(u"Card USB", u"Pellor CA3 Card Printer USB", olderSettings(0x11));
  addPrinter(u"Card LAN", u"pellor standard network", olderSettings(0x22));
  addPrinter(u"Other", u"Other Vendor Printer", olderSettings(0x33));
  const auto otherBefore = defaultSettingsOf(u"Other");

  HMODULE module = LoadLibraryW(kLibrary.c_str());
  ASSERT_NE(module, nullptr);
  auto entry = card::procAddress<EntryProc>(module, "UpdateVersionInfo");
  ASSERT_NE(entry, nullptr);
  char arguments[] = "";
  EXPECT_EQ(entry(nullptr, nullptr, arguments, SW_SHOWNORMAL), 0);
  EXPECT_EQ(card::procAddress<int(WINAPI *)()>(module, "fnVSUpdateVersionInfo")(), 42);

  const uint8_t stamp[16] = {'8', '.', '0', '0', '.', '0', '2', '.', '0', '1', 0, 0, 0, 0, 0, 0};
  for (const auto *printer : {u"Card USB", u"Card LAN"}) {
    const auto after = defaultSettingsOf(printer);
    ASSERT_EQ(after.size(), kCardDevmodeSize) << winsim::toUtf8(printer);
    EXPECT_EQ(std::memcmp(&after[kStandardPartSize + 3862], stamp, 16), 0) << winsim::toUtf8(printer);
    // Everything else as it was.
    const auto before = olderSettings(printer == std::u16string(u"Card USB") ? 0x11 : 0x22);
    EXPECT_EQ(std::memcmp(&after[kStandardPartSize], &before[kStandardPartSize], 3862), 0);
  }
  EXPECT_EQ(defaultSettingsOf(u"Other"), otherBefore);

  // The library's file goes once it is let go.
  WCHAR temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  EXPECT_TRUE(exists(std::u16string(temp) + u"SelfDel.bat"));
  FreeLibrary(module);
}

}  // namespace
}  // namespace card::setup
