// Printers as an installer adds, sets up and deletes them: AddPrinterW's
// refusals, the default settings of levels 2, 8 and 9, the security level,
// deletion that waits for the jobs, the ANSI forms, and the monitors.
#include <gtest/gtest.h>
#include <winsim/testing.h>
#include <windows.h>
#include <winspool.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

LPWSTR w(std::u16string &s) { return s.data(); }

class PrinterAdmin : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    winsim::PrinterSetup s;
    s.printerName = u"Card";
    s.driverName = u"Card Driver";
    s.graphicsDll = WINSIM_TESTDRV;
    s.portName = u"USB001";
    ASSERT_TRUE(winsim::installPrinter(s));
  }
  static HANDLE open(const char16_t *printer = u"Card") {
    std::u16string n = printer;
    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE h = nullptr;
    return OpenPrinterW(n.data(), &h, &all) ? h : nullptr;
  }
  static std::vector<BYTE> get(HANDLE h, DWORD level) {
    DWORD need = 0;
    GetPrinterW(h, level, nullptr, 0, &need);
    std::vector<BYTE> buf(need);
    EXPECT_TRUE(GetPrinterW(h, level, buf.data(), need, &need)) << level;
    return buf;
  }
  static std::vector<BYTE> devMode(short orientation, WORD extra = 8) {
    std::vector<BYTE> b(sizeof(DEVMODEW) + extra, 0);
    auto *dm = reinterpret_cast<DEVMODEW *>(b.data());
    std::memcpy(dm->dmDeviceName, u"Card", 10);
    std::memcpy(dm->dmFormName, u"CR80", 10);
    dm->dmSpecVersion = DM_SPECVERSION;
    dm->dmSize = sizeof(DEVMODEW);
    dm->dmDriverExtra = extra;
    dm->dmFields = DM_ORIENTATION;
    dm->dmOrientation = orientation;
    if (extra) b.back() = 0xA5;
    return b;
  }
  static const DEVMODEW *asDevMode(const std::vector<BYTE> &b) { return reinterpret_cast<const DEVMODEW *>(b.data()); }
};

// ------------------------------------------------------------ adding

TEST_F(PrinterAdmin, AddPrinterRefusesWhatTheSpoolerDoesNotKnowAndKeepsWhatItIsGiven) {
  std::u16string name = u"Second", driver = u"Card Driver", port = u"USB001", proc = u"WinPrint", type = u"RAW";
  PRINTER_INFO_2W pi{};
  pi.pPrinterName = w(name);
  pi.pDriverName = w(driver);
  pi.pPortName = w(port);
  pi.pPrintProcessor = w(proc);
  pi.pDatatype = w(type);
  pi.Attributes = PRINTER_ATTRIBUTE_DO_COMPLETE_FIRST | PRINTER_ATTRIBUTE_ENABLE_BIDI;
  auto refused = [&](PRINTER_INFO_2W info) {
    SetLastError(0);
    HANDLE h = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    if (h) ClosePrinter(h);
    return h ? DWORD(0) : GetLastError();
  };
  std::u16string existing = u"card", noDriver = u"No Driver", noPort = u"LPT77:", noProc = u"fancyproc",
                 noType = u"POSTCARD";
  PRINTER_INFO_2W bad = pi;
  bad.pPrinterName = w(existing);
  EXPECT_EQ(refused(bad), DWORD(ERROR_PRINTER_ALREADY_EXISTS));
  bad = pi;
  bad.pDriverName = w(noDriver);
  EXPECT_EQ(refused(bad), DWORD(ERROR_UNKNOWN_PRINTER_DRIVER));
  bad = pi;
  bad.pPortName = w(noPort);
  EXPECT_EQ(refused(bad), DWORD(ERROR_UNKNOWN_PORT));
  bad = pi;
  bad.pPrintProcessor = w(noProc);
  EXPECT_EQ(refused(bad), DWORD(ERROR_UNKNOWN_PRINTPROCESSOR));
  bad = pi;
  bad.pDatatype = w(noType);
  EXPECT_EQ(refused(bad), DWORD(ERROR_INVALID_DATATYPE));
  EXPECT_EQ(AddPrinterW(nullptr, 1, reinterpret_cast<LPBYTE>(&pi)), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));
  EXPECT_FALSE(OpenPrinterW(w(name), nullptr, nullptr));

  HANDLE h = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&pi));
  ASSERT_NE(h, nullptr);
  auto buf = get(h, 2);
  auto *got = reinterpret_cast<PRINTER_INFO_2W *>(buf.data());
  EXPECT_EQ(got->Attributes, DWORD(PRINTER_ATTRIBUTE_DO_COMPLETE_FIRST | PRINTER_ATTRIBUTE_ENABLE_BIDI));
  EXPECT_EQ(std::u16string(got->pPrintProcessor), u"WinPrint");
  EXPECT_EQ(std::u16string(got->pDatatype), u"RAW");
  EXPECT_EQ(std::u16string(got->pDriverName), u"Card Driver");
  ClosePrinter(h);
}

// ------------------------------------------------------------ default settings

// A printer added without settings starts from its driver's: the spooler
// asks the UI module (DrvConvertDevMode, CDM_DRIVER_DEFAULT) in a process
// apart from the caller's.  Settings the caller gives are kept as they are,
// and a driver that has no default to give leaves the printer without one.
TEST_F(PrinterAdmin, APrinterAddedWithoutSettingsGetsItsDriversDefault) {
  winsim::PrinterSetup withUi;
  withUi.printerName = u"With UI";
  withUi.driverName = u"Driver With UI";
  withUi.graphicsDll = WINSIM_TESTDRV;
  withUi.configDll = WINSIM_UIMOD;
  withUi.portName = u"USB001";
  ASSERT_TRUE(winsim::installPrinter(withUi));
  std::u16string name = u"Second", driver = u"Driver With UI", port = u"USB001";
  PRINTER_INFO_2W pi{};
  pi.pPrinterName = w(name);
  pi.pDriverName = w(driver);
  pi.pPortName = w(port);
  HANDLE h = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&pi));
  ASSERT_NE(h, nullptr);
  auto buf = get(h, 8);
  const DEVMODEW *dm = reinterpret_cast<PRINTER_INFO_8W *>(buf.data())->pDevMode;
  ASSERT_NE(dm, nullptr);
  EXPECT_EQ(dm->dmOrientation, DMORIENT_LANDSCAPE);
  ASSERT_EQ(dm->dmDriverExtra, 4);
  DWORD askedIn = 0;
  std::memcpy(&askedIn, dm + 1, 4);
  EXPECT_NE(askedIn, 0u);
  EXPECT_NE(askedIn, GetCurrentProcessId());
  ClosePrinter(h);

  std::u16string third = u"Third";
  const std::vector<BYTE> given = devMode(DMORIENT_PORTRAIT);
  pi.pPrinterName = w(third);
  pi.pDevMode = const_cast<DEVMODEW *>(asDevMode(given));
  h = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&pi));
  ASSERT_NE(h, nullptr);
  buf = get(h, 8);
  dm = reinterpret_cast<PRINTER_INFO_8W *>(buf.data())->pDevMode;
  ASSERT_NE(dm, nullptr);
  EXPECT_EQ(std::memcmp(dm, given.data(), given.size()), 0);
  ClosePrinter(h);

  // The set-up's driver has no UI module.
  h = open();
  ASSERT_NE(h, nullptr);
  buf = get(h, 8);
  EXPECT_EQ(reinterpret_cast<PRINTER_INFO_8W *>(buf.data())->pDevMode, nullptr);
  ClosePrinter(h);
}

TEST_F(PrinterAdmin, LevelEightIsTheGlobalDefaultOfLevelTwoAndLevelNineTheUsersOwn) {
  HANDLE h = open();
  ASSERT_NE(h, nullptr);
  auto global = devMode(DMORIENT_LANDSCAPE);
  PRINTER_INFO_8W p8{const_cast<DEVMODEW *>(asDevMode(global))};
  ASSERT_TRUE(SetPrinterW(h, 8, reinterpret_cast<LPBYTE>(&p8), 0));
  auto two = get(h, 2);
  const DEVMODEW *dm2 = reinterpret_cast<PRINTER_INFO_2W *>(two.data())->pDevMode;
  ASSERT_NE(dm2, nullptr);
  EXPECT_EQ(std::memcmp(dm2, global.data(), global.size()), 0);
  // Nothing of the user's own yet.
  auto nine = get(h, 9);
  EXPECT_EQ(reinterpret_cast<PRINTER_INFO_9W *>(nine.data())->pDevMode, nullptr);

  auto mine = devMode(DMORIENT_PORTRAIT, 0);
  PRINTER_INFO_9W p9{const_cast<DEVMODEW *>(asDevMode(mine))};
  ASSERT_TRUE(SetPrinterW(h, 9, reinterpret_cast<LPBYTE>(&p9), 0));
  nine = get(h, 9);
  const DEVMODEW *dm9 = reinterpret_cast<PRINTER_INFO_9W *>(nine.data())->pDevMode;
  ASSERT_NE(dm9, nullptr);
  EXPECT_EQ(dm9->dmOrientation, DMORIENT_PORTRAIT);
  auto eight = get(h, 8);
  EXPECT_EQ(reinterpret_cast<PRINTER_INFO_8W *>(eight.data())->pDevMode->dmOrientation, DMORIENT_LANDSCAPE);

  // Level 2 sets the same global default.
  two = get(h, 2);
  auto portrait = devMode(DMORIENT_PORTRAIT);
  reinterpret_cast<PRINTER_INFO_2W *>(two.data())->pDevMode = const_cast<DEVMODEW *>(asDevMode(portrait));
  ASSERT_TRUE(SetPrinterW(h, 2, two.data(), 0));
  eight = get(h, 8);
  EXPECT_EQ(reinterpret_cast<PRINTER_INFO_8W *>(eight.data())->pDevMode->dmOrientation, DMORIENT_PORTRAIT);

  // A DEVMODE that says it is shorter than its own header is refused.
  auto broken = devMode(DMORIENT_PORTRAIT);
  reinterpret_cast<DEVMODEW *>(broken.data())->dmSize = 12;
  PRINTER_INFO_8W bad{reinterpret_cast<DEVMODEW *>(broken.data())};
  EXPECT_FALSE(SetPrinterW(h, 8, reinterpret_cast<LPBYTE>(&bad), 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  PRINTER_INFO_9W none{nullptr};
  ASSERT_TRUE(SetPrinterW(h, 9, reinterpret_cast<LPBYTE>(&none), 0));
  nine = get(h, 9);
  EXPECT_EQ(reinterpret_cast<PRINTER_INFO_9W *>(nine.data())->pDevMode, nullptr);
  ClosePrinter(h);
}

TEST_F(PrinterAdmin, LevelThreeHoldsASelfRelativeSecurityDescriptor) {
  HANDLE h = open();
  auto three = get(h, 3);
  auto *sd = static_cast<const SECURITY_DESCRIPTOR_RELATIVE *>(
      reinterpret_cast<PRINTER_INFO_3 *>(three.data())->pSecurityDescriptor);
  ASSERT_NE(sd, nullptr);
  EXPECT_EQ(sd->Revision, SECURITY_DESCRIPTOR_REVISION);
  EXPECT_EQ(sd->Control & (SE_SELF_RELATIVE | SE_DACL_PRESENT), SE_SELF_RELATIVE | SE_DACL_PRESENT);
  ASSERT_NE(sd->Owner, 0u);
  EXPECT_TRUE(IsValidSid(reinterpret_cast<BYTE *>(const_cast<SECURITY_DESCRIPTOR_RELATIVE *>(sd)) + sd->Owner));
  ASSERT_NE(sd->Dacl, 0u);
  const auto *acl = reinterpret_cast<const ACL *>(reinterpret_cast<const BYTE *>(sd) + sd->Dacl);
  EXPECT_GT(acl->AceCount, 0);
  auto two = get(h, 2);
  EXPECT_NE(reinterpret_cast<PRINTER_INFO_2W *>(two.data())->pSecurityDescriptor, nullptr);
  ClosePrinter(h);
}

// ------------------------------------------------------------ deleting

TEST_F(PrinterAdmin, APrinterWithJobsIsDeletedWhenTheLastJobHasLeft) {
  HANDLE h = open();
  std::u16string doc = u"card", type = u"RAW";
  DOC_INFO_1W di{w(doc), nullptr, w(type)};
  ASSERT_NE(StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&di)), 0u);
  DWORD written = 0;
  ASSERT_TRUE(WritePrinter(h, const_cast<char *>("abc"), 3, &written));

  // Held with a job waiting: it would never go.
  ASSERT_TRUE(SetPrinterW(h, 0, nullptr, PRINTER_CONTROL_PAUSE));
  EXPECT_FALSE(DeletePrinter(h));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  ASSERT_TRUE(SetPrinterW(h, 0, nullptr, PRINTER_CONTROL_RESUME));

  ASSERT_TRUE(DeletePrinter(h));
  HANDLE other = open();
  ASSERT_NE(other, nullptr);
  auto two = get(other, 2);
  EXPECT_TRUE(reinterpret_cast<PRINTER_INFO_2W *>(two.data())->Status & PRINTER_STATUS_PENDING_DELETION);
  EXPECT_EQ(StartDocPrinterW(other, 1, reinterpret_cast<LPBYTE>(&di)), 0u);
  EXPECT_FALSE(SetPrinterW(other, 0, nullptr, PRINTER_CONTROL_PAUSE));
  ClosePrinter(other);

  ASSERT_TRUE(EndDocPrinter(h));
  ASSERT_TRUE(winsim::waitForSpoolerIdle());
  ClosePrinter(h);
  std::u16string name = u"Card";
  HANDLE gone = nullptr;
  EXPECT_FALSE(OpenPrinterW(w(name), &gone, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PRINTER_NAME));
  std::u16string driver = u"Card Driver";
  EXPECT_TRUE(DeletePrinterDriverW(nullptr, nullptr, w(driver)));
}

TEST_F(PrinterAdmin, AnAbortedJobLetsAPrinterPendingDeletionGo) {
  HANDLE h = open();
  std::u16string doc = u"card", type = u"RAW";
  DOC_INFO_1W di{w(doc), nullptr, w(type)};
  ASSERT_NE(StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&di)), 0u);
  ASSERT_TRUE(DeletePrinter(h));
  ASSERT_TRUE(AbortPrinter(h));
  ClosePrinter(h);
  EXPECT_EQ(open(), nullptr);
}

// ------------------------------------------------------------ ANSI forms

TEST_F(PrinterAdmin, TheAnsiFormsConvertThroughTheSystemCodePage) {
  HANDLE h = open();
  auto global = devMode(DMORIENT_LANDSCAPE);
  PRINTER_INFO_8W p8{const_cast<DEVMODEW *>(asDevMode(global))};
  ASSERT_TRUE(SetPrinterW(h, 8, reinterpret_cast<LPBYTE>(&p8), 0));
  ClosePrinter(h);
  ASSERT_TRUE(winsim::setPrinterServerName(u"Card", u"\\\\PRINTSRV"));
  winsim::PrinterSetup s;
  s.printerName = u"Local Card";
  s.driverName = u"Card Driver";
  s.graphicsDll = WINSIM_TESTDRV;
  s.portName = u"USB002";
  ASSERT_TRUE(winsim::installPrinter(s));

  auto names = [](DWORD flags) {
    DWORD need = 0, count = 0;
    EnumPrintersA(flags, nullptr, 1, nullptr, 0, &need, &count);
    std::vector<BYTE> buf(need);
    EXPECT_TRUE(EnumPrintersA(flags, nullptr, 1, buf.data(), need, &need, &count));
    std::vector<std::string> out;
    for (DWORD i = 0; i < count; ++i) out.emplace_back(reinterpret_cast<PRINTER_INFO_1A *>(buf.data())[i].pName);
    return out;
  };
  EXPECT_EQ(names(PRINTER_ENUM_LOCAL), std::vector<std::string>{"Local Card"});
  EXPECT_EQ(names(PRINTER_ENUM_CONNECTIONS), std::vector<std::string>{"Card"});
  EXPECT_EQ(names(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS).size(), 2u);

  DWORD need = 0, count = 0;
  EXPECT_FALSE(EnumPrintersA(PRINTER_ENUM_CONNECTIONS, nullptr, 2, nullptr, 0, &need, &count));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  std::vector<BYTE> buf(need);
  ASSERT_TRUE(EnumPrintersA(PRINTER_ENUM_CONNECTIONS, nullptr, 2, buf.data(), need, &need, &count));
  ASSERT_EQ(count, 1u);
  auto *pi = reinterpret_cast<PRINTER_INFO_2A *>(buf.data());
  EXPECT_STREQ(pi->pPrinterName, "Card");
  EXPECT_STREQ(pi->pServerName, "\\\\PRINTSRV");
  EXPECT_STREQ(pi->pPortName, "USB001");
  ASSERT_NE(pi->pDevMode, nullptr);
  EXPECT_EQ(pi->pDevMode->dmSize, sizeof(DEVMODEA));
  EXPECT_EQ(pi->pDevMode->dmDriverExtra, 8);
  EXPECT_STREQ(reinterpret_cast<const char *>(pi->pDevMode->dmDeviceName), "Card");
  EXPECT_STREQ(reinterpret_cast<const char *>(pi->pDevMode->dmFormName), "CR80");
  EXPECT_EQ(pi->pDevMode->dmOrientation, DMORIENT_LANDSCAPE);
  EXPECT_EQ(reinterpret_cast<const BYTE *>(pi->pDevMode)[sizeof(DEVMODEA) + 7], 0xA5);
  EXPECT_FALSE(EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 4, buf.data(), need, &need, &count));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));

  char name[] = "local card", unknown[] = "Nobody";
  HANDLE a = nullptr;
  ASSERT_TRUE(OpenPrinterA(name, &a, nullptr));
  auto two = get(a, 2);
  EXPECT_EQ(std::u16string(reinterpret_cast<PRINTER_INFO_2W *>(two.data())->pPrinterName), u"Local Card");
  ClosePrinter(a);
  EXPECT_FALSE(OpenPrinterA(unknown, &a, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PRINTER_NAME));
}

// ------------------------------------------------------------ monitors

TEST_F(PrinterAdmin, AMonitorAPrintersDriverNamesIsInUse) {
  char unknown[] = "No Such Monitor";
  EXPECT_FALSE(DeleteMonitorA(nullptr, nullptr, unknown));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PRINT_MONITOR));

  const std::u16string monitor = u"Test Language Monitor";
  ASSERT_TRUE(winsim::installMonitor(monitor, WINSIM_TESTLM));
  winsim::PrinterSetup s;
  s.printerName = u"Monitored";
  s.driverName = u"Monitored Driver";
  s.graphicsDll = WINSIM_TESTDRV;
  s.monitorName = monitor;
  s.portName = u"USB003";
  ASSERT_TRUE(winsim::installPrinter(s));
  // No port opened yet: the printer alone holds it.
  char name[] = "Test Language Monitor";
  EXPECT_FALSE(DeleteMonitorA(nullptr, nullptr, name));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PRINT_MONITOR_IN_USE));
  HANDLE h = open(u"Monitored");
  ASSERT_TRUE(DeletePrinter(h));
  ClosePrinter(h);
  EXPECT_TRUE(DeleteMonitorA(nullptr, nullptr, name));
  EXPECT_FALSE(DeleteMonitorA(nullptr, nullptr, name));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PRINT_MONITOR));
}

}  // namespace
