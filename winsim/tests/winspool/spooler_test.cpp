// The spooler as a printing application and an installer use it.
#include <gtest/gtest.h>
#include <winsim/testing.h>
#include <shlobj.h>
#include <winspool.h>

#include <cstring>
#include <vector>

#include "../gdi32/gdi_test_support.h"

namespace {

using namespace gdi_test;

// ------------------------------------------------------------ spooler

class Spooler : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    winsim::PrinterSetup s;
    s.printerName = u"Card Test";
    s.driverName = u"Card Test Driver";
    s.graphicsDll = WINSIM_TESTDRV;
    s.portName = u"USB001";
    ASSERT_TRUE(winsim::installPrinter(s));
  }
  HANDLE open(const char16_t *name = u"Card Test") {
    HANDLE h = nullptr;
    std::u16string n = name;
    EXPECT_TRUE(OpenPrinterW(n.data(), &h, nullptr));
    return h;
  }
};

TEST_F(Spooler, AJobIsReadBackByteForByteAndLandsInAFilePort) {
  HANDLE h = open();
  DWORD written = 99;
  EXPECT_FALSE(WritePrinter(h, const_cast<char *>("x"), 1, &written));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SPL_NO_STARTDOC));
  std::u16string doc = u"raw job", type = u"RAW";
  DOC_INFO_1W di{doc.data(), nullptr, type.data()};
  DWORD id = StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&di));
  ASSERT_NE(id, 0u);
  EXPECT_EQ(StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&di)), 0u);  // one document at a time
  std::vector<uint8_t> bytes(300);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7);
  ASSERT_TRUE(StartPagePrinter(h));
  ASSERT_TRUE(WritePrinter(h, bytes.data(), 200, &written));
  EXPECT_EQ(written, 200u);
  ASSERT_TRUE(WritePrinter(h, bytes.data() + 200, 100, &written));
  ASSERT_TRUE(EndPagePrinter(h));
  ASSERT_TRUE(EndDocPrinter(h));
  EXPECT_EQ(winsim::jobBytes(id), bytes);
  EXPECT_TRUE(winsim::jobBytes(id + 100).empty());

  // The output file of the document takes the job.
  std::u16string out = u"C:\\out.prn";
  DOC_INFO_1W toFile{doc.data(), out.data(), type.data()};
  DWORD id2 = StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&toFile));
  EXPECT_GT(id2, id);
  ASSERT_TRUE(WritePrinter(h, bytes.data(), 5, &written));
  ASSERT_TRUE(EndDocPrinter(h));
  ASSERT_TRUE(winsim::waitForSpoolerIdle());
  std::ifstream f(winsim::hostPath(out), std::ios::binary);
  std::vector<uint8_t> got((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  EXPECT_EQ(got, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 5));
  EXPECT_TRUE(ClosePrinter(h));
  EXPECT_FALSE(ClosePrinter(h));

  // A printer whose port is a file path.
  winsim::PrinterSetup s;
  s.printerName = u"File Printer";
  s.driverName = u"Card Test Driver";
  s.graphicsDll = WINSIM_TESTDRV;
  s.portName = u"C:\\jobs.bin";
  ASSERT_TRUE(winsim::installPrinter(s));
  h = open(u"File Printer");
  ASSERT_NE(StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&di)), 0u);
  ASSERT_TRUE(WritePrinter(h, bytes.data(), 3, &written));
  ASSERT_TRUE(EndDocPrinter(h));
  ClosePrinter(h);
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"File Printer"));
  std::ifstream g(winsim::hostPath(u"c:\\JOBS.bin"), std::ios::binary);
  got.assign(std::istreambuf_iterator<char>(g), std::istreambuf_iterator<char>());
  EXPECT_EQ(got, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 3));
}

TEST_F(Spooler, PrinterAndDriverInformationFollowTheBufferProtocol) {
  HANDLE h = nullptr;
  std::u16string bad = u"Nobody";
  EXPECT_FALSE(OpenPrinter2W(bad.c_str(), &h, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PRINTER_NAME));
  PRINTER_DEFAULTSW defs{nullptr, nullptr, PRINTER_ALL_ACCESS};
  PRINTER_OPTIONSW opts{sizeof(PRINTER_OPTIONSW), PRINTER_OPTION_NO_CACHE};
  ASSERT_TRUE(OpenPrinter2W(u"card test", &h, &defs, &opts));
  DWORD need = 0;
  SetLastError(0);
  EXPECT_FALSE(GetPrinterW(h, 2, nullptr, 0, &need));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  ASSERT_GT(need, sizeof(PRINTER_INFO_2W));
  std::vector<BYTE> buf(need);
  DWORD need2 = 0;
  EXPECT_FALSE(GetPrinterW(h, 2, buf.data(), need - 1, &need2));
  EXPECT_EQ(need2, need);
  ASSERT_TRUE(GetPrinterW(h, 2, buf.data(), need, &need2));
  auto *pi = reinterpret_cast<PRINTER_INFO_2W *>(buf.data());
  EXPECT_EQ(std::u16string(pi->pPrinterName), u"Card Test");
  EXPECT_EQ(std::u16string(pi->pPortName), u"USB001");
  EXPECT_EQ(std::u16string(pi->pDriverName), u"Card Test Driver");
  EXPECT_EQ(pi->pDevMode, nullptr);

  // A DEVMODE stored with level 8 comes back with level 2 and 8.
  std::vector<BYTE> dmBytes(sizeof(DEVMODEW) + 16, 0);
  auto *dm = reinterpret_cast<DEVMODEW *>(dmBytes.data());
  dm->dmSize = sizeof(DEVMODEW);
  dm->dmDriverExtra = 16;
  dm->dmOrientation = DMORIENT_LANDSCAPE;
  dmBytes[sizeof(DEVMODEW) + 15] = 0x5A;
  PRINTER_INFO_8W p8{dm};
  ASSERT_TRUE(SetPrinterW(h, 8, reinterpret_cast<LPBYTE>(&p8), 0));
  GetPrinterW(h, 8, nullptr, 0, &need);
  buf.assign(need, 0);
  ASSERT_TRUE(GetPrinterW(h, 8, buf.data(), need, &need));
  auto *got = reinterpret_cast<PRINTER_INFO_8W *>(buf.data())->pDevMode;
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->dmOrientation, DMORIENT_LANDSCAPE);
  EXPECT_EQ(reinterpret_cast<BYTE *>(got)[sizeof(DEVMODEW) + 15], 0x5A);
  GetPrinterW(h, 1, nullptr, 0, &need);
  buf.assign(need, 0);
  ASSERT_TRUE(GetPrinterW(h, 1, buf.data(), need, &need));
  EXPECT_EQ(std::u16string(reinterpret_cast<PRINTER_INFO_1W *>(buf.data())->pName), u"Card Test");
  EXPECT_FALSE(GetPrinterW(h, 77, buf.data(), need, &need));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));

  GetPrinterDriverW(h, nullptr, 2, nullptr, 0, &need);
  buf.assign(need, 0);
  ASSERT_TRUE(GetPrinterDriverW(h, nullptr, 2, buf.data(), need, &need));
  auto *drv = reinterpret_cast<DRIVER_INFO_2W *>(buf.data());
  EXPECT_EQ(std::u16string(drv->pDriverPath), kDriverPath);
  EXPECT_EQ(std::u16string(drv->pEnvironment), u"Windows x64");
  EXPECT_EQ(drv->cVersion, 3u);
  ClosePrinter(h);
}

TEST_F(Spooler, APrinterCanNameThePrintServerItIsReachedThrough) {
  auto serverOf = [this]() -> std::u16string {
    HANDLE h = open();
    DWORD need = 0;
    GetPrinterW(h, 2, nullptr, 0, &need);
    std::vector<BYTE> buf(need);
    EXPECT_TRUE(GetPrinterW(h, 2, buf.data(), need, &need));
    ClosePrinter(h);
    const auto *pi = reinterpret_cast<const PRINTER_INFO_2W *>(buf.data());
    return pi->pServerName ? std::u16string(pi->pServerName) : u"<none>";
  };
  EXPECT_EQ(serverOf(), u"<none>");
  ASSERT_TRUE(winsim::setPrinterServerName(u"Card Test", u"\\\\PRINTSRV"));
  EXPECT_EQ(serverOf(), u"\\\\PRINTSRV");
  ASSERT_TRUE(winsim::setPrinterServerName(u"Card Test", u""));
  EXPECT_EQ(serverOf(), u"<none>");
  EXPECT_FALSE(winsim::setPrinterServerName(u"Nobody", u"\\\\PRINTSRV"));
}

TEST_F(Spooler, PrinterDataLivesInTheRegistryAndAbsentValuesAskThePort) {
  HANDLE h = open();
  DWORD v = 0x1234, type = 0, need = 0, got = 0;
  EXPECT_EQ(SetPrinterDataExW(h, u"PrinterDriverData", u"Ribbon", REG_DWORD, reinterpret_cast<LPBYTE>(&v), 4),
            DWORD(ERROR_SUCCESS));
  std::u16string name = u"Ribbon";
  EXPECT_EQ(GetPrinterDataW(h, name.data(), &type, reinterpret_cast<LPBYTE>(&got), 4, &need), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(got, 0x1234u);
  EXPECT_EQ(type, DWORD(REG_DWORD));
  EXPECT_EQ(GetPrinterDataW(h, name.data(), &type, reinterpret_cast<LPBYTE>(&got), 3, &need), DWORD(ERROR_MORE_DATA));
  EXPECT_EQ(need, 4u);
  EXPECT_NE(
      winsim::exportRegistry(
          u"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Card Test\\PrinterDriverData")
          .find("\"Ribbon\"=dword:00001234"),
      std::string::npos);
  EXPECT_EQ(GetPrinterDataExW(h, u"PrinterDriverData", u"Ribbon", &type, reinterpret_cast<LPBYTE>(&got), 4, &need),
            DWORD(ERROR_SUCCESS));

  // A command as the value name: the port's responder answers it.
  std::u16string asked;
  winsim::setPortResponder(u"usb001", [&](const std::u16string &value, std::vector<uint8_t> &reply) {
    asked = value;
    if (value == u"Missing") return false;
    reply = {'C', 'A', '3', 0x06};
    return true;
  });
  std::u16string query = u"\x561b\x0d";  // two command bytes per unit
  BYTE answer[128] = {};
  EXPECT_EQ(GetPrinterDataW(h, query.data(), &type, answer, sizeof(answer), &need), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(asked, query);
  EXPECT_EQ(need, 4u);
  EXPECT_EQ(std::memcmp(answer, "CA3\x06", 4), 0);
  EXPECT_EQ(GetPrinterDataW(h, query.data(), &type, answer, 2, &need), DWORD(ERROR_MORE_DATA));
  std::u16string missing = u"Missing";
  EXPECT_EQ(GetPrinterDataW(h, missing.data(), &type, answer, sizeof(answer), &need), DWORD(ERROR_FILE_NOT_FOUND));
  winsim::setPortResponder(u"USB001", nullptr);
  EXPECT_EQ(GetPrinterDataW(h, query.data(), &type, answer, sizeof(answer), &need), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetPrinterDataW(nullptr, query.data(), &type, answer, sizeof(answer), &need), DWORD(ERROR_INVALID_HANDLE));
  ClosePrinter(h);
}

TEST_F(Spooler, SharedFoldersComeThroughTheShellFolderLibrary) {
  HMODULE shf = LoadLibraryW(u"SHFolder.dll");
  ASSERT_NE(shf, nullptr);
  auto get =
      reinterpret_cast<PFNSHGETFOLDERPATHW>(reinterpret_cast<void (*)()>(GetProcAddress(shf, "SHGetFolderPathW")));
  ASSERT_NE(get, nullptr);
  WCHAR path[MAX_PATH];
  ASSERT_EQ(get(nullptr, CSIDL_COMMON_DOCUMENTS, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
  EXPECT_EQ(std::u16string(path), u"C:\\Users\\Public\\Documents");
  ASSERT_EQ(get(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
  EXPECT_EQ(std::u16string(path), u"C:\\ProgramData");
  winsim::setOsVersion(5, 1);
  ASSERT_EQ(get(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
  EXPECT_EQ(std::u16string(path), u"C:\\Documents and Settings\\All Users\\Application Data");
  EXPECT_NE(GetFileAttributesW(path), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(get(nullptr, 0x7F, nullptr, SHGFP_TYPE_CURRENT, path), E_INVALIDARG);
  FreeLibrary(shf);
}

}  // namespace
