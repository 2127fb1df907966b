// Printer drivers as an installer adds, lists and deletes them: where their
// files go, what the registry keeps, and the documented refusals.
#include <gtest/gtest.h>
#include <winsim/testing.h>
#include <windows.h>
#include <winspool.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::u16string kDriverDir = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64";
const std::u16string kVersionDir = kDriverDir + u"\\3";
const std::u16string kDriversKey =
    u"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Drivers\\Version-3\\";

LPWSTR w(std::u16string &s) { return s.data(); }

class Drivers : public ::testing::Test {
 protected:
  void SetUp() override { winsim::resetMachine(); }

  static void put(const std::u16string &path, const std::string &content) {
    std::string host = winsim::hostPath(path);
    fs::create_directories(fs::path(host).parent_path());
    std::ofstream(host, std::ios::binary) << content;
  }
  static std::string read(const std::u16string &path) {
    std::ifstream f(winsim::hostPath(path), std::ios::binary);
    if (!f) return "<missing>";
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  }
  static bool exists(const std::u16string &path) { return fs::exists(winsim::hostPath(path)); }
  // Moves a file's last write by `seconds` from now.
  static void age(const std::u16string &path, int seconds) {
    fs::last_write_time(winsim::hostPath(path), fs::file_time_type::clock::now() + std::chrono::seconds(seconds));
  }
  // Stages the usual four files of a driver in the driver directory.
  static void stage(const std::string &tag, const std::u16string &prefix = u"card") {
    put(kDriverDir + u"\\" + prefix + u"drv.dll", "driver " + tag);
    put(kDriverDir + u"\\" + prefix + u"drv.dat", "data " + tag);
    put(kDriverDir + u"\\" + prefix + u"ui.dll", "ui " + tag);
  }
  // Adds a level-3 driver naming the staged files by their bare names.
  static BOOL add(const std::u16string &name, DWORD flags, const std::u16string &deps = u"",
                  const std::u16string &prefix = u"card", LPCWSTR env = nullptr) {
    std::u16string n = name, drv = prefix + u"drv.dll", data = prefix + u"drv.dat", ui = prefix + u"ui.dll",
                   d = deps + u'\0', raw = u"RAW";
    std::u16string e = env ? env : u"";
    DRIVER_INFO_3W di{};
    di.cVersion = 3;
    di.pName = w(n);
    di.pEnvironment = env ? w(e) : nullptr;
    di.pDriverPath = w(drv);
    di.pDataFile = w(data);
    di.pConfigFile = w(ui);
    di.pDependentFiles = deps.empty() ? nullptr : w(d);
    di.pDefaultDataType = w(raw);
    return AddPrinterDriverExW(nullptr, 3, reinterpret_cast<LPBYTE>(&di), flags);
  }
  static std::u16string value(const std::u16string &driver, const char16_t *name, DWORD *type = nullptr) {
    HKEY k;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kDriversKey + driver).c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
      return u"<no key>";
    WCHAR buf[512] = {};
    DWORD size = sizeof(buf) - 4, t = 0;
    LSTATUS st = RegQueryValueExW(k, name, nullptr, &t, reinterpret_cast<BYTE *>(buf), &size);
    RegCloseKey(k);
    if (type) *type = t;
    if (st != ERROR_SUCCESS) return u"<no value>";
    return std::u16string(buf, size / 2);
  }
  template <typename T>
  static std::vector<BYTE> enumerate(LPCWSTR env, DWORD level, DWORD &count) {
    std::u16string e = env ? env : u"";
    DWORD need = 0;
    count = 0;
    EXPECT_FALSE(EnumPrinterDriversW(nullptr, env ? w(e) : nullptr, level, nullptr, 0, &need, &count));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    std::vector<BYTE> buf(need);
    DWORD again = 0;
    if (need) {
      EXPECT_FALSE(EnumPrinterDriversW(nullptr, env ? w(e) : nullptr, level, buf.data(), need - 1, &again, &count));
      EXPECT_EQ(again, need);
    }
    EXPECT_TRUE(EnumPrinterDriversW(nullptr, env ? w(e) : nullptr, level, buf.data(), need, &again, &count));
    EXPECT_GE(buf.size(), count * sizeof(T));
    return buf;
  }
};

// ------------------------------------------------------------ adding

TEST_F(Drivers, StagedFilesMoveIntoTheVersionDirectoryAndTheRegistryKeepsTheirBareNames) {
  stage("1");
  put(kDriverDir + u"\\cardres.dll", "resources");
  put(kDriverDir + u"\\cardcol.icm", "colours");
  ASSERT_TRUE(add(u"Card Driver", APD_COPY_ALL_FILES, std::u16string(u"cardres.dll\0cardcol.icm", 23)));
  for (const char16_t *f : {u"carddrv.dll", u"carddrv.dat", u"cardui.dll", u"cardres.dll", u"cardcol.icm"}) {
    EXPECT_TRUE(exists(kVersionDir + u"\\" + f)) << std::string(f, f + std::char_traits<char16_t>::length(f));
    EXPECT_FALSE(exists(kDriverDir + u"\\" + f));
  }
  EXPECT_EQ(read(kVersionDir + u"\\carddrv.dll"), "driver 1");
  EXPECT_EQ(value(u"Card Driver", u"Driver"), std::u16string(u"carddrv.dll\0", 12));
  EXPECT_EQ(value(u"Card Driver", u"Configuration File"), std::u16string(u"cardui.dll\0", 11));
  DWORD type = 0;
  EXPECT_EQ(value(u"Card Driver", u"Dependent Files", &type), std::u16string(u"cardres.dll\0cardcol.icm\0\0", 25));
  EXPECT_EQ(type, DWORD(REG_MULTI_SZ));

  // The driver as listed: its files with their full paths.
  DWORD count = 0;
  auto buf = enumerate<DRIVER_INFO_3W>(nullptr, 3, count);
  ASSERT_EQ(count, 1u);
  auto *di = reinterpret_cast<DRIVER_INFO_3W *>(buf.data());
  EXPECT_EQ(di->cVersion, 3u);
  EXPECT_EQ(std::u16string(di->pEnvironment), u"Windows x64");
  EXPECT_EQ(std::u16string(di->pDriverPath), kVersionDir + u"\\carddrv.dll");
  EXPECT_EQ(std::u16string(di->pDataFile), kVersionDir + u"\\carddrv.dat");
  std::u16string deps(di->pDependentFiles, 2 * kVersionDir.size() + 2 * 13 + 1);
  EXPECT_EQ(deps, kVersionDir + std::u16string(u"\\cardres.dll\0", 13) + kVersionDir +
                      std::u16string(u"\\cardcol.icm\0", 13) + u'\0');
}

TEST_F(Drivers, AFullPathIsCopiedFromWhereItIsAndAMissingFileChangesNothing) {
  put(u"C:\\media\\carddrv.dll", "driver");
  put(u"C:\\media\\carddrv.dat", "data");
  std::u16string name = u"Card Driver", drv = u"C:\\media\\carddrv.dll", data = u"C:\\media\\carddrv.dat",
                 ui = u"C:\\media\\cardui.dll";
  DRIVER_INFO_2W di{3, w(name), nullptr, w(drv), w(data), w(ui)};
  EXPECT_FALSE(AddPrinterDriverExW(nullptr, 2, reinterpret_cast<LPBYTE>(&di), APD_COPY_NEW_FILES));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(exists(kVersionDir + u"\\carddrv.dll"));
  EXPECT_EQ(value(name, u"Driver"), u"<no key>");

  put(ui, "ui");
  ASSERT_TRUE(AddPrinterDriverExW(nullptr, 2, reinterpret_cast<LPBYTE>(&di), APD_COPY_NEW_FILES));
  EXPECT_EQ(read(kVersionDir + u"\\cardui.dll"), "ui");
  EXPECT_TRUE(exists(ui));
  EXPECT_EQ(value(name, u"Data File"), std::u16string(u"carddrv.dat\0", 12));

  // A bare name that is neither staged nor installed.
  std::u16string bare = u"nowhere.dll";
  di.pConfigFile = w(bare);
  EXPECT_FALSE(AddPrinterDriverExW(nullptr, 2, reinterpret_cast<LPBYTE>(&di), APD_COPY_ALL_FILES));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

TEST_F(Drivers, TheDocumentedRefusalsOfAddPrinterDriverEx) {
  stage("1");
  std::u16string name = u"Card Driver", drv = u"carddrv.dll", data = u"carddrv.dat", ui = u"cardui.dll",
                 badEnv = u"Windows 4.0", empty;
  DRIVER_INFO_3W di{};
  di.cVersion = 3;
  di.pName = w(name);
  di.pDriverPath = w(drv);
  di.pDataFile = w(data);
  di.pConfigFile = w(ui);
  auto info = reinterpret_cast<LPBYTE>(&di);
  for (DWORD level : {1u, 5u, 7u}) {
    EXPECT_FALSE(AddPrinterDriverExW(nullptr, level, info, APD_COPY_NEW_FILES));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL)) << level;
  }
  EXPECT_FALSE(AddPrinterDriverExW(nullptr, 3, nullptr, APD_COPY_NEW_FILES));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(AddPrinterDriverExW(nullptr, 3, info, APD_STRICT_UPGRADE | APD_STRICT_DOWNGRADE));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  di.pEnvironment = w(badEnv);
  EXPECT_FALSE(AddPrinterDriverExW(nullptr, 3, info, APD_COPY_NEW_FILES));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_ENVIRONMENT));
  di.pEnvironment = nullptr;
  di.pName = w(empty);
  EXPECT_FALSE(AddPrinterDriverExW(nullptr, 3, info, APD_COPY_NEW_FILES));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  di.pName = w(name);
  di.pDriverPath = nullptr;
  EXPECT_FALSE(AddPrinterDriverExW(nullptr, 3, info, APD_COPY_NEW_FILES));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  // Nothing of it stayed: the staged files wait for a good call.
  EXPECT_TRUE(exists(kDriverDir + u"\\carddrv.dll"));
  EXPECT_EQ(value(name, u"Driver"), u"<no key>");
}

TEST_F(Drivers, CopyFlagsWeighTheFilesAgainstTheInstalledOnesByTheirTimes) {
  stage("old");
  ASSERT_TRUE(add(u"Card Driver", APD_COPY_ALL_FILES));
  // The installed files keep the time of what they were copied from.
  age(kVersionDir + u"\\carddrv.dll", -100);
  age(kVersionDir + u"\\carddrv.dat", -100);
  age(kVersionDir + u"\\cardui.dll", -100);

  // Older files than the installed ones: only copied when all are asked for,
  // or a downgrade is.
  stage("older");
  for (const char16_t *f : {u"carddrv.dll", u"carddrv.dat", u"cardui.dll"}) age(kDriverDir + u"\\" + f, -200);
  ASSERT_TRUE(add(u"Card Driver", APD_COPY_NEW_FILES));
  EXPECT_EQ(read(kVersionDir + u"\\carddrv.dll"), "driver old");
  stage("older");
  for (const char16_t *f : {u"carddrv.dll", u"carddrv.dat", u"cardui.dll"}) age(kDriverDir + u"\\" + f, -200);
  EXPECT_FALSE(add(u"Card Driver", APD_STRICT_UPGRADE));
  EXPECT_EQ(read(kVersionDir + u"\\carddrv.dll"), "driver old");
  ASSERT_TRUE(add(u"Card Driver", APD_STRICT_DOWNGRADE));
  EXPECT_EQ(read(kVersionDir + u"\\carddrv.dll"), "driver older");
  EXPECT_EQ(read(kVersionDir + u"\\cardui.dll"), "ui older");

  // Newer ones: a strict downgrade refuses them, a new-files copy takes them.
  stage("new");
  EXPECT_FALSE(add(u"Card Driver", APD_STRICT_DOWNGRADE));
  EXPECT_EQ(read(kVersionDir + u"\\carddrv.dll"), "driver older");
  ASSERT_TRUE(add(u"Card Driver", APD_COPY_NEW_FILES));
  EXPECT_EQ(read(kVersionDir + u"\\carddrv.dll"), "driver new");

  // Copying all files ignores the times.
  stage("again");
  for (const char16_t *f : {u"carddrv.dll", u"carddrv.dat", u"cardui.dll"}) age(kDriverDir + u"\\" + f, -1000);
  ASSERT_TRUE(add(u"Card Driver", APD_COPY_ALL_FILES));
  EXPECT_EQ(read(kVersionDir + u"\\carddrv.dat"), "data again");
}

TEST_F(Drivers, LevelFourKeepsThePreviousNames) {
  stage("1");
  std::u16string name = u"Card Driver 2", drv = u"carddrv.dll", data = u"carddrv.dat", ui = u"cardui.dll",
                 previous(u"Card Driver\0Card Driver Old\0", 28);
  DRIVER_INFO_4W di{};
  di.cVersion = 3;
  di.pName = w(name);
  di.pDriverPath = w(drv);
  di.pDataFile = w(data);
  di.pConfigFile = w(ui);
  di.pszzPreviousNames = w(previous);
  ASSERT_TRUE(AddPrinterDriverExW(nullptr, 4, reinterpret_cast<LPBYTE>(&di), APD_COPY_NEW_FILES));
  DWORD type = 0;
  EXPECT_EQ(value(name, u"Previous Names", &type), std::u16string(u"Card Driver\0Card Driver Old\0\0", 29));
  EXPECT_EQ(type, DWORD(REG_MULTI_SZ));
  DWORD count = 0;
  auto buf = enumerate<DRIVER_INFO_4W>(nullptr, 4, count);
  ASSERT_EQ(count, 1u);
  auto *got = reinterpret_cast<DRIVER_INFO_4W *>(buf.data());
  EXPECT_EQ(std::u16string(got->pszzPreviousNames, 28), previous);
  EXPECT_EQ(got->pszzPreviousNames[28], u'\0');
}

TEST_F(Drivers, ADriverAddedAgainFromItsOwnDescriptionKeepsItsFiles) {
  stage("1");
  put(kDriverDir + u"\\cardres.dll", "resources");
  ASSERT_TRUE(add(u"Card Driver", APD_COPY_NEW_FILES, u"cardres.dll"));
  std::u16string printer = u"Card", driver = u"Card Driver", port = u"FILE:";
  PRINTER_INFO_2W pi{};
  pi.pPrinterName = w(printer);
  pi.pDriverName = w(driver);
  pi.pPortName = w(port);
  HANDLE h = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&pi));
  ASSERT_NE(h, nullptr);
  DWORD need = 0;
  GetPrinterDriverW(h, nullptr, 3, nullptr, 0, &need);
  std::vector<BYTE> buf(need);
  ASSERT_TRUE(GetPrinterDriverW(h, nullptr, 3, buf.data(), need, &need));
  // The files named by their places in the version directory: nothing to copy.
  put(kVersionDir + u"\\cardui2.dll", "new ui");
  std::u16string ui = kVersionDir + u"\\cardui2.dll";
  reinterpret_cast<DRIVER_INFO_3W *>(buf.data())->pConfigFile = w(ui);
  ASSERT_TRUE(AddPrinterDriverExW(nullptr, 3, buf.data(), APD_COPY_NEW_FILES));
  EXPECT_EQ(value(driver, u"Configuration File"), std::u16string(u"cardui2.dll\0", 12));
  EXPECT_EQ(value(driver, u"Dependent Files"), std::u16string(u"cardres.dll\0\0", 13));
  EXPECT_EQ(read(kVersionDir + u"\\cardres.dll"), "resources");
  EXPECT_EQ(read(kVersionDir + u"\\carddrv.dll"), "driver 1");
  ClosePrinter(h);
}

// ------------------------------------------------------------ listing

TEST_F(Drivers, EnumerationCoversTheEnvironmentAskedFor) {
  stage("1");
  ASSERT_TRUE(add(u"Card Driver", APD_COPY_NEW_FILES));
  put(u"C:\\Windows\\system32\\spool\\DRIVERS\\W32X86\\card32drv.dll", "x86");
  put(u"C:\\Windows\\system32\\spool\\DRIVERS\\W32X86\\card32drv.dat", "x86");
  put(u"C:\\Windows\\system32\\spool\\DRIVERS\\W32X86\\card32ui.dll", "x86");
  ASSERT_TRUE(add(u"Card Driver x86", APD_COPY_NEW_FILES, u"", u"card32", u"Windows NT x86"));
  EXPECT_TRUE(exists(u"C:\\Windows\\system32\\spool\\DRIVERS\\W32X86\\3\\card32drv.dll"));

  auto names = [&](LPCWSTR env) {
    DWORD count = 0;
    auto buf = enumerate<DRIVER_INFO_1W>(env, 1, count);
    std::vector<std::u16string> out;
    for (DWORD i = 0; i < count; ++i) out.emplace_back(reinterpret_cast<DRIVER_INFO_1W *>(buf.data())[i].pName);
    return out;
  };
  EXPECT_EQ(names(nullptr), std::vector<std::u16string>{u"Card Driver"});
  EXPECT_EQ(names(u"Windows NT x86"), std::vector<std::u16string>{u"Card Driver x86"});
  EXPECT_EQ(names(u"all"), (std::vector<std::u16string>{u"Card Driver", u"Card Driver x86"}));

  std::u16string bad = u"Windows 4.0";
  DWORD need = 0, count = 7;
  EXPECT_FALSE(EnumPrinterDriversW(nullptr, w(bad), 1, nullptr, 0, &need, &count));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_ENVIRONMENT));
  EXPECT_FALSE(EnumPrinterDriversW(nullptr, nullptr, 9, nullptr, 0, &need, &count));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));

  // The ANSI form: the same drivers, the text in the system code page.
  char all[] = "all";
  EnumPrinterDriversA(nullptr, all, 2, nullptr, 0, &need, &count);
  std::vector<BYTE> buf(need);
  ASSERT_TRUE(EnumPrinterDriversA(nullptr, all, 2, buf.data(), need, &need, &count));
  ASSERT_EQ(count, 2u);
  auto *a = reinterpret_cast<DRIVER_INFO_2A *>(buf.data());
  EXPECT_STREQ(a[0].pName, "Card Driver");
  EXPECT_STREQ(a[1].pEnvironment, "Windows NT x86");
  EXPECT_STREQ(a[1].pDriverPath, "C:\\Windows\\system32\\spool\\DRIVERS\\W32X86\\3\\card32drv.dll");
}

// ------------------------------------------------------------ deleting

TEST_F(Drivers, DeletingADriverAPrinterUsesIsRefused) {
  stage("1");
  ASSERT_TRUE(add(u"Card Driver", APD_COPY_NEW_FILES));
  std::u16string name = u"Card Driver", unknown = u"No Such Driver", printer = u"Card", port = u"FILE:";
  EXPECT_FALSE(DeletePrinterDriverExW(nullptr, nullptr, w(unknown), DPD_DELETE_ALL_FILES, 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PRINTER_DRIVER));
  PRINTER_INFO_2W pi{};
  pi.pPrinterName = w(printer);
  pi.pDriverName = w(name);
  pi.pPortName = w(port);
  HANDLE h = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&pi));
  ASSERT_NE(h, nullptr);
  EXPECT_FALSE(DeletePrinterDriverExW(nullptr, nullptr, w(name), DPD_DELETE_UNUSED_FILES, 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PRINTER_DRIVER_IN_USE));
  EXPECT_FALSE(DeletePrinterDriverW(nullptr, nullptr, w(name)));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PRINTER_DRIVER_IN_USE));
  ASSERT_TRUE(DeletePrinter(h));
  ClosePrinter(h);

  // Only version-3 drivers are installed.
  EXPECT_FALSE(DeletePrinterDriverExW(nullptr, nullptr, w(name), DPD_DELETE_SPECIFIC_VERSION, 2));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PRINTER_DRIVER));
  // DeletePrinterDriver takes the driver off the list and leaves its files.
  ASSERT_TRUE(DeletePrinterDriverW(nullptr, nullptr, w(name)));
  EXPECT_EQ(value(name, u"Driver"), u"<no key>");
  EXPECT_TRUE(exists(kVersionDir + u"\\carddrv.dll"));
  EXPECT_FALSE(DeletePrinterDriverW(nullptr, nullptr, w(name)));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PRINTER_DRIVER));
}

TEST_F(Drivers, AllFilesGoOnlyWhenNoneIsSharedOrLoaded) {
  put(kDriverDir + u"\\shared.dll", "shared");
  stage("a", u"a");
  ASSERT_TRUE(add(u"Driver A", APD_COPY_NEW_FILES, u"shared.dll", u"a"));
  put(kDriverDir + u"\\shared.dll", "shared");
  stage("b", u"b");
  ASSERT_TRUE(add(u"Driver B", APD_COPY_NEW_FILES, u"shared.dll", u"b"));

  std::u16string a = u"Driver A", b = u"Driver B";
  EXPECT_FALSE(DeletePrinterDriverExW(nullptr, nullptr, w(a), DPD_DELETE_ALL_FILES, 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PRINTER_DRIVER_IN_USE));
  EXPECT_TRUE(exists(kVersionDir + u"\\adrv.dll"));
  EXPECT_EQ(value(a, u"Driver"), std::u16string(u"adrv.dll\0", 9));
  // Its unused files go; the one the other driver names stays.
  ASSERT_TRUE(DeletePrinterDriverExW(nullptr, nullptr, w(a), DPD_DELETE_UNUSED_FILES, 0));
  EXPECT_FALSE(exists(kVersionDir + u"\\adrv.dll"));
  EXPECT_FALSE(exists(kVersionDir + u"\\aui.dll"));
  EXPECT_TRUE(exists(kVersionDir + u"\\shared.dll"));
  EXPECT_EQ(value(a, u"Driver"), u"<no key>");

  // A driver file loaded as a module is in use.
  fs::copy_file(WINSIM_TESTDRV, winsim::hostPath(kVersionDir + u"\\bdrv.dll"), fs::copy_options::overwrite_existing);
  HMODULE m = LoadLibraryW(reinterpret_cast<LPCWSTR>((kVersionDir + u"\\bdrv.dll").c_str()));
  ASSERT_NE(m, nullptr);
  EXPECT_FALSE(DeletePrinterDriverExW(nullptr, nullptr, w(b), DPD_DELETE_ALL_FILES, 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PRINTER_DRIVER_IN_USE));
  EXPECT_TRUE(exists(kVersionDir + u"\\bdrv.dll"));
  FreeLibrary(m);
  char name[] = "Driver B";
  ASSERT_TRUE(DeletePrinterDriverExA(nullptr, nullptr, name, DPD_DELETE_ALL_FILES | DPD_DELETE_SPECIFIC_VERSION, 3));
  for (const char16_t *f : {u"bdrv.dll", u"bdrv.dat", u"bui.dll", u"shared.dll"})
    EXPECT_FALSE(exists(kVersionDir + u"\\" + f));
  // Nothing left to list: an empty answer needs no buffer.
  DWORD need = 9, count = 5;
  EXPECT_TRUE(EnumPrinterDriversW(nullptr, nullptr, 1, nullptr, 0, &need, &count));
  EXPECT_EQ(need, 0u);
  EXPECT_EQ(count, 0u);
}

TEST_F(Drivers, TheDriverDirectoryInTheAnsiCodePage) {
  char env[] = "Windows x64", bad[] = "Windows 4.0";
  DWORD need = 0;
  EXPECT_FALSE(GetPrinterDriverDirectoryA(nullptr, env, 1, nullptr, 0, &need));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  const std::string dir = "C:\\Windows\\system32\\spool\\DRIVERS\\x64";
  EXPECT_EQ(need, dir.size() + 1);
  std::vector<char> buf(need);
  ASSERT_TRUE(GetPrinterDriverDirectoryA(nullptr, env, 1, reinterpret_cast<LPBYTE>(buf.data()), need, &need));
  EXPECT_EQ(std::string(buf.data()), dir);
  EXPECT_FALSE(GetPrinterDriverDirectoryA(nullptr, bad, 1, reinterpret_cast<LPBYTE>(buf.data()), need, &need));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_ENVIRONMENT));
  EXPECT_FALSE(GetPrinterDriverDirectoryA(nullptr, env, 2, reinterpret_cast<LPBYTE>(buf.data()), need, &need));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));
}

}  // namespace
