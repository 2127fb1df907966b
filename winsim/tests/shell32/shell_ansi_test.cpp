// The shell's ANSI calls: the all-users folders from SHFolder.dll, bound by
// name as old programs bind them, and ShellExecuteA.
#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <string>

#include "../fixtures.h"

namespace {

class ShellAnsi : public winsim_test::Winsim {};

TEST_F(ShellAnsi, AllUsersFoldersFromShfolderByName) {
  HMODULE shfolder = LoadLibraryA("SHFolder.dll");
  ASSERT_NE(shfolder, nullptr);
  auto get =
      reinterpret_cast<PFNSHGETFOLDERPATHA>(reinterpret_cast<void (*)()>(GetProcAddress(shfolder, "SHGetFolderPathA")));
  ASSERT_NE(get, nullptr);
  char path[MAX_PATH];
  ASSERT_EQ(get(nullptr, CSIDL_COMMON_DOCUMENTS, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
  EXPECT_EQ(std::string(path), "C:\\Users\\Public\\Documents");
  ASSERT_EQ(get(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
  EXPECT_EQ(std::string(path), "C:\\ProgramData");
  // shell32 has both forms too.
  HMODULE shell32 = LoadLibraryA("shell32.dll");
  EXPECT_NE(GetProcAddress(shell32, "SHGetFolderPathA"), nullptr);
  EXPECT_NE(GetProcAddress(shell32, "ShellExecuteA"), nullptr);
  // Windows XP's all-users profile.
  winsim::setOsVersion(5, 1, 2600, false);
  ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_COMMON_DOCUMENTS, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
  EXPECT_EQ(std::string(path), "C:\\Documents and Settings\\All Users\\Documents");
}

TEST_F(ShellAnsi, ShellExecuteStartsProgramsAndBatchFilesByTheirCodePageNames) {
  winsim::setClockScale(1000);
  ASSERT_TRUE(winsim::copyToDrive(WINSIM_TESTPROG, u"C:\\Program Files\\Caf\u00E9\\testprog.exe"));
  // The program leaves its trace: it may have ended before anyone looks for
  // it among the running ones.
  auto started = ShellExecuteA(nullptr, "open", "C:\\Program Files\\Caf\xE9\\testprog.exe", "echo", nullptr, SW_HIDE);
  EXPECT_GT(reinterpret_cast<INT_PTR>(started), 32);
  EXPECT_TRUE(winsim::waitForProcessEnd(u"testprog.exe", 20000));
  EXPECT_NE(GetFileAttributesA("C:\\Windows\\Temp\\echo.txt"), INVALID_FILE_ATTRIBUTES);

  // A batch file runs in cmd.exe; one that is not there is reported.
  HANDLE f = CreateFileA("C:\\Windows\\Temp\\victim.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  CloseHandle(f);
  f = CreateFileA("C:\\Windows\\Temp\\clean up.bat", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  const std::string text = "del \"C:\\Windows\\Temp\\victim.txt\"\r\n";
  DWORD written = 0;
  WriteFile(f, text.data(), DWORD(text.size()), &written, nullptr);
  CloseHandle(f);
  started = ShellExecuteA(nullptr, "open", "C:\\Windows\\Temp\\clean up.bat", nullptr, nullptr, SW_HIDE);
  EXPECT_GT(reinterpret_cast<INT_PTR>(started), 32);
  ASSERT_TRUE(winsim::waitForProcessEnd(u"cmd.exe", 20000));
  EXPECT_EQ(GetFileAttributesA("C:\\Windows\\Temp\\victim.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(reinterpret_cast<INT_PTR>(
                ShellExecuteA(nullptr, nullptr, "C:\\Windows\\Temp\\none.bat", nullptr, nullptr, SW_HIDE)),
            INT_PTR(SE_ERR_FNF));
}

}  // namespace
