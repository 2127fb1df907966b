// difxapi.dll: a driver package staged in the driver store and taken out
// again, bound by path as the package's installer binds the DLL it ships.
#include <difxapi.h>

#include "winsim/tests/setupapi/setupapi_support.h"

namespace winsim_test {
namespace {

class DriverPackages : public Winsim {
 protected:
  using PreinstallFn = DWORD(WINAPI *)(PCWSTR, DWORD);
  using UninstallFn = DWORD(WINAPI *)(PCWSTR, DWORD, PCINSTALLERINFO_W, BOOL *);
  using GetPathFn = DWORD(WINAPI *)(PCWSTR, PWSTR, DWORD *);

  template <typename Fn>
  static Fn bind(HMODULE dll, const char *name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(dll, name)));
  }

  void SetUp() override {
    Winsim::SetUp();
    HMODULE dll = LoadLibraryW(u"C:\\Windows\\system32\\difxapi.dll");
    ASSERT_NE(dll, nullptr);
    preinstall = bind<PreinstallFn>(dll, "DriverPackagePreinstallW");
    uninstall = bind<UninstallFn>(dll, "DriverPackageUninstallW");
    getPath = bind<GetPathFn>(dll, "DriverPackageGetPathW");
    ASSERT_TRUE(preinstall && uninstall && getPath);
    inf = packageInf("USBPRINT\\PELLO_CARD_PRINTER_CA3C5A1");
    putPackage(u"C:\\media", inf);
  }

  // The package folders of the file repository.
  static std::vector<std::u16string> repositoryFolders() {
    std::vector<std::u16string> names;
    WIN32_FIND_DATAW found{};
    HANDLE f = FindFirstFileW(u"C:\\Windows\\System32\\DriverStore\\FileRepository\\*", &found);
    if (f == INVALID_HANDLE_VALUE) return names;
    do {
      std::u16string n = found.cFileName;
      if (n != u"." && n != u"..") names.push_back(n);
    } while (FindNextFileW(f, &found));
    FindClose(f);
    return names;
  }

  PreinstallFn preinstall = nullptr;
  UninstallFn uninstall = nullptr;
  GetPathFn getPath = nullptr;
  std::string inf;
};

TEST_F(DriverPackages, PreinstallStagesTheInfAndThePackageFiles) {
  ASSERT_EQ(preinstall(u"C:\\media\\pello.inf", 0), DWORD(ERROR_SUCCESS));
  EXPECT_TRUE(fileExists(u"C:\\Windows\\INF\\oem0.inf"));
  EXPECT_TRUE(fileExists(u"C:\\Windows\\INF\\oem0.PNF"));
  auto folders = repositoryFolders();
  ASSERT_EQ(folders.size(), 1u);
  EXPECT_EQ(folders[0].rfind(u"pello.inf_amd64_", 0), 0u);
  std::u16string repo = u"C:\\Windows\\System32\\DriverStore\\FileRepository\\" + folders[0];
  for (const char16_t *file :
       {u"\\pello.inf", u"\\pello.cat", u"\\cardrend.dll", u"\\help\\cardui.hlp", u"\\x64\\cardres.dll"})
    EXPECT_TRUE(fileExists(repo + file)) << std::string(file, file + std::char_traits<char16_t>::length(file));

  // Staged already: not again, unless repaired.
  EXPECT_EQ(preinstall(u"C:\\media\\pello.inf", 0), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(preinstall(u"C:\\media\\pello.inf", DRIVER_PACKAGE_REPAIR), DWORD(ERROR_SUCCESS));
  EXPECT_FALSE(fileExists(u"C:\\Windows\\INF\\oem1.inf"));

  // Where the store keeps it, by the required size.
  DWORD chars = 0;
  EXPECT_EQ(getPath(u"C:\\media\\pello.inf", nullptr, &chars), DWORD(ERROR_INSUFFICIENT_BUFFER));
  const std::u16string stored = u"C:\\Windows\\INF\\oem0.inf";
  EXPECT_EQ(chars, stored.size() + 1);
  std::vector<WCHAR> path(chars);
  ASSERT_EQ(getPath(u"C:\\media\\pello.inf", path.data(), &chars), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(std::u16string(path.data()), stored);
}

TEST_F(DriverPackages, APackageMissingAFileOrADeviceIsNotStaged) {
  DeleteFileW(u"C:\\media\\help\\cardui.hlp");
  EXPECT_EQ(preinstall(u"C:\\media\\pello.inf", 0), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(preinstall(u"C:\\media\\none.inf", 0), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(fileExists(u"C:\\Windows\\INF\\oem0.inf"));
  EXPECT_TRUE(repositoryFolders().empty());

  putPackage(u"C:\\media", inf);
  // A catalog that is not there, or empty, is no catalog.
  putFile(u"C:\\media\\pello.cat", "");
  EXPECT_EQ(preinstall(u"C:\\media\\pello.inf", 0), DWORD(ERROR_INVALID_CATALOG_DATA));
  DeleteFileW(u"C:\\media\\pello.cat");
  EXPECT_EQ(preinstall(u"C:\\media\\pello.inf", 0), DWORD(ERROR_INVALID_CATALOG_DATA));
  EXPECT_TRUE(repositoryFolders().empty());

  putPackage(u"C:\\media", inf);
  EXPECT_EQ(preinstall(u"C:\\media\\pello.inf", DRIVER_PACKAGE_ONLY_IF_DEVICE_PRESENT), DWORD(ERROR_NO_SUCH_DEVINST));
  winsim::addDeviceNode({u"USBPRINT\\PELLO_CARD_PRINTER_CA3C5A1"}, true);
  EXPECT_EQ(preinstall(u"C:\\media\\pello.inf", DRIVER_PACKAGE_ONLY_IF_DEVICE_PRESENT), DWORD(ERROR_SUCCESS));
}

TEST_F(DriverPackages, UninstallTakesItAllOutOfTheStore) {
  ASSERT_EQ(preinstall(u"C:\\media\\pello.inf", 0), DWORD(ERROR_SUCCESS));
  std::u16string device = winsim::addDeviceNode({u"USBPRINT\\PELLO_CARD_PRINTER_CA3C5A1"}, false, u"oem0.inf");
  BOOL reboot = TRUE;
  EXPECT_EQ(uninstall(u"C:\\media\\pello.inf", 0, nullptr, &reboot), DWORD(ERROR_SUCCESS));
  EXPECT_FALSE(reboot);
  EXPECT_FALSE(fileExists(u"C:\\Windows\\INF\\oem0.inf"));
  EXPECT_FALSE(fileExists(u"C:\\Windows\\INF\\oem0.PNF"));
  EXPECT_TRUE(repositoryFolders().empty());
  // The device stays, without its driver.
  auto nodes = winsim::deviceNodes();
  ASSERT_EQ(nodes.size(), 1u);
  EXPECT_EQ(nodes[0].infName, u"");

  EXPECT_EQ(uninstall(u"C:\\media\\pello.inf", 0, nullptr, &reboot), DWORD(ERROR_DRIVER_PACKAGE_NOT_IN_STORE));
  DWORD chars = 0;
  EXPECT_EQ(getPath(u"C:\\media\\pello.inf", nullptr, &chars), DWORD(ERROR_DRIVER_PACKAGE_NOT_IN_STORE));

  // By its name in the store, too.
  ASSERT_EQ(preinstall(u"C:\\media\\pello.inf", 0), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(uninstall(u"C:\\Windows\\INF\\oem0.inf", 0, nullptr, nullptr), DWORD(ERROR_SUCCESS));
  EXPECT_TRUE(repositoryFolders().empty());
  (void)device;
}

}  // namespace
}  // namespace winsim_test
