// The driver store's INF folder: SetupCopyOEMInf and SetupUninstallOEMInf,
// bound from setupapi.dll as the package's installers bind them.
#include "winsim/tests/setupapi/setupapi_support.h"

namespace winsim_test {
namespace {

class DriverStore : public Winsim {
 protected:
  using CopyFn = BOOL(WINAPI *)(PCWSTR, PCWSTR, DWORD, DWORD, PWSTR, DWORD, PDWORD, PWSTR *);
  using UninstallFn = BOOL(WINAPI *)(PCWSTR, DWORD, PVOID);

  void SetUp() override {
    Winsim::SetUp();
    HMODULE dll = LoadLibraryW(u"setupapi.dll");
    ASSERT_NE(dll, nullptr);
    copy = reinterpret_cast<CopyFn>(reinterpret_cast<void (*)()>(GetProcAddress(dll, "SetupCopyOEMInfW")));
    uninstall =
        reinterpret_cast<UninstallFn>(reinterpret_cast<void (*)()>(GetProcAddress(dll, "SetupUninstallOEMInfW")));
    ASSERT_NE(copy, nullptr);
    ASSERT_NE(uninstall, nullptr);
    putFile(u"C:\\pkg\\a\\pello.inf", packageInf("USBPRINT\\PELLO_CARD_PRINTER_CA3C5A1"));
    putFile(u"C:\\pkg\\b\\pello.inf", packageInf("USBPRINT\\PELLO_CARD_PRINTER_CA3C5A1", "2.0.0.0"));
  }

  // Copies with a buffer large enough; the name given back.
  std::u16string copyInf(const std::u16string &source, DWORD style = 0) {
    WCHAR dest[MAX_PATH] = {};
    if (!copy(source.c_str(), nullptr, SPOST_PATH, style, dest, MAX_PATH, nullptr, nullptr)) return u"failed";
    return dest;
  }

  CopyFn copy = nullptr;
  UninstallFn uninstall = nullptr;
};

TEST_F(DriverStore, CopiesTakeTheFirstFreeOemNameAndAnIdenticalInfIsNotCopiedTwice) {
  EXPECT_EQ(copyInf(u"C:\\pkg\\a\\pello.inf"), u"C:\\Windows\\INF\\oem0.inf");
  EXPECT_TRUE(fileExists(u"C:\\Windows\\INF\\oem0.PNF"));
  EXPECT_EQ(copyInf(u"C:\\pkg\\b\\pello.inf"), u"C:\\Windows\\INF\\oem1.inf");
  // The same bytes again: the stored one.
  EXPECT_EQ(copyInf(u"C:\\pkg\\a\\pello.inf"), u"C:\\Windows\\INF\\oem0.inf");
  EXPECT_FALSE(fileExists(u"C:\\Windows\\INF\\oem2.inf"));

  // ... which SP_COPY_NOOVERWRITE refuses, still naming it.
  WCHAR dest[MAX_PATH] = {};
  PWSTR component = nullptr;
  EXPECT_FALSE(
      copy(u"C:\\pkg\\a\\pello.inf", nullptr, SPOST_PATH, SP_COPY_NOOVERWRITE, dest, MAX_PATH, nullptr, &component));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));
  EXPECT_EQ(std::u16string(dest), u"C:\\Windows\\INF\\oem0.inf");
  ASSERT_NE(component, nullptr);
  EXPECT_EQ(std::u16string(component), u"oem0.inf");

  // A name freed is taken again.
  ASSERT_TRUE(uninstall(u"oem0.inf", 0, nullptr));
  EXPECT_FALSE(fileExists(u"C:\\Windows\\INF\\oem0.inf"));
  EXPECT_FALSE(fileExists(u"C:\\Windows\\INF\\oem0.PNF"));
  putFile(u"C:\\pkg\\c\\pello.inf", packageInf("USBPRINT\\OTHER", "3.0.0.0"));
  EXPECT_EQ(copyInf(u"C:\\pkg\\c\\pello.inf"), u"C:\\Windows\\INF\\oem0.inf");
}

TEST_F(DriverStore, TheDestinationBufferFollowsTheRequiredSizeProtocol) {
  const std::u16string expected = u"C:\\Windows\\INF\\oem0.inf";
  DWORD needed = 0;
  // No buffer: the size only (the INF is stored all the same).
  ASSERT_TRUE(copy(u"C:\\pkg\\a\\pello.inf", nullptr, SPOST_NONE, 0, nullptr, 0, &needed, nullptr));
  EXPECT_EQ(needed, expected.size() + 1);
  WCHAR small[8];
  EXPECT_FALSE(copy(u"C:\\pkg\\a\\pello.inf", nullptr, SPOST_NONE, 0, small, 8, &needed, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, expected.size() + 1);

  SetLastError(0);
  EXPECT_FALSE(copy(u"C:\\pkg\\none.inf", nullptr, SPOST_PATH, 0, nullptr, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(copy(u"C:\\pkg\\b\\pello.inf", nullptr, SPOST_PATH, SP_COPY_REPLACEONLY, nullptr, 0, nullptr, nullptr));
  EXPECT_FALSE(fileExists(u"C:\\Windows\\INF\\oem1.inf"));
}

TEST_F(DriverStore, UninstallTakesOnlyOemInfsAndNoneThatADeviceUses) {
  ASSERT_EQ(copyInf(u"C:\\pkg\\a\\pello.inf"), u"C:\\Windows\\INF\\oem0.inf");
  putFile(u"C:\\Windows\\INF\\usbprint.inf", packageInf("USBPRINT\\GENERIC"));

  EXPECT_FALSE(uninstall(u"usbprint.inf", 0, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(fileExists(u"C:\\Windows\\INF\\usbprint.inf"));
  EXPECT_FALSE(uninstall(u"C:\\Windows\\INF\\oem0.inf", 0, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(uninstall(u"oem7.inf", 0, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));

  // A device installed from it, even one not plugged in now, keeps it ...
  winsim::addDeviceNode({u"USBPRINT\\PELLO_CARD_PRINTER_CA3C5A1"}, false, u"oem0.inf");
  EXPECT_FALSE(uninstall(u"OEM0.INF", 0, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INF_IN_USE_BY_DEVICES));
  EXPECT_TRUE(fileExists(u"C:\\Windows\\INF\\oem0.inf"));
  // ... unless the removal is forced.
  ASSERT_TRUE(SetupUninstallOEMInfA("oem0.inf", SUOI_FORCEDELETE, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(NO_ERROR));
  EXPECT_FALSE(fileExists(u"C:\\Windows\\INF\\oem0.inf"));
}

TEST_F(DriverStore, TheDllExportsWhatWindowsDoes) {
  HMODULE dll = LoadLibraryW(u"SETUPAPI");
  ASSERT_NE(dll, nullptr);
  EXPECT_NE(GetProcAddress(dll, "SetupDiGetClassDevsW"), nullptr);
  EXPECT_NE(GetProcAddress(dll, "SetupOpenInfFileA"), nullptr);
  EXPECT_EQ(GetProcAddress(dll, "DriverPackagePreinstallW"), nullptr);  // difxapi.dll's
  EXPECT_EQ(GetProcAddress(dll, "OpenPrinterW"), nullptr);
}

}  // namespace
}  // namespace winsim_test
