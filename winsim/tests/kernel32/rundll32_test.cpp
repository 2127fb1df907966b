// A loaded module's file cannot be deleted; rundll32 runs a DLL's entry; a
// batch loops until it can delete the DLL rundll32 had loaded, then deletes
// itself.
#include <windows.h>

#include <shellapi.h>
#include <winsim/testing.h>

#include <fstream>
#include <string>

#include "../fixtures.h"

namespace {

constexpr DWORD kRealWaitMs = 20000;
const char16_t kDll[] = u"C:\\Program Files\\Card Caf\u00E9\\purgetest.dll";

class Rundll : public winsim_test::Winsim {
 protected:
  void SetUp() override {
    Winsim::SetUp();
    winsim::setClockScale(1000);
    ASSERT_TRUE(winsim::copyToDrive(WINSIM_TESTRUNDLL, kDll));
  }

  // Starts the command line; its process handle (NULL when it did not start).
  HANDLE start(const std::u16string &commandLine) {
    std::u16string line = commandLine;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
  }

  // Runs it to its end: its exit code.
  DWORD run(const std::u16string &commandLine) {
    HANDLE p = start(commandLine);
    if (!p) return DWORD(-1);
    EXPECT_TRUE(winsim::waitForProcessEnd(GetProcessId(p), kRealWaitMs));
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(p, &code);
    CloseHandle(p);
    return code;
  }

  static std::string recorded() {
    std::ifstream in(winsim::hostPath(u"C:\\Windows\\Temp\\rundll.txt"), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
};

TEST_F(Rundll, ALoadedModuleFileIsNotDeletedUntilItsLastReferenceGoes) {
  HMODULE first = LoadLibraryW(kDll);
  ASSERT_NE(first, nullptr);
  HMODULE second = LoadLibraryW(kDll);
  ASSERT_EQ(second, first);
  EXPECT_FALSE(DeleteFileW(kDll));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  FreeLibrary(second);
  EXPECT_FALSE(DeleteFileW(kDll));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  FreeLibrary(first);
  EXPECT_TRUE(DeleteFileW(kDll));

  // A running program's file likewise, until its process has ended.
  ASSERT_TRUE(winsim::copyToDrive(WINSIM_TESTPROG, u"C:\\Windows\\Temp\\busy.exe"));
  HANDLE p = start(u"C:\\Windows\\Temp\\busy.exe sleep busyMutex");
  ASSERT_NE(p, nullptr);
  ASSERT_NE(winsim::waitForProcess(u"busy.exe", kRealWaitMs), 0u);
  EXPECT_FALSE(DeleteFileW(u"C:\\Windows\\Temp\\busy.exe"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(TerminateProcess(p, 4));
  ASSERT_TRUE(winsim::waitForProcessEnd(GetProcessId(p), kRealWaitMs));
  CloseHandle(p);
  EXPECT_TRUE(DeleteFileW(u"C:\\Windows\\Temp\\busy.exe"));
}

TEST_F(Rundll, CallsTheWideEntryFirstThenTheAnsiOne) {
  // The system folder has rundll32 after the reset.
  EXPECT_NE(GetFileAttributesW(u"C:\\Windows\\system32\\rundll32.exe"), INVALID_FILE_ATTRIBUTES);
  // "dll,entry args": the wide form is found first and gets the arguments.
  EXPECT_EQ(run(u"rundll32 \"" + std::u16string(kDll) + u"\",Record one two  three"), 0u);
  EXPECT_EQ(recorded(), "W:one two  three");
  // A blank instead of the comma; an entry with no wide form gets the
  // arguments in the code page, and rundll32's show state.
  EXPECT_EQ(run(u"rundll32.exe \"" + std::u16string(kDll) + u"\" AnsiOnly Caf\u00E9"), 0u);
  EXPECT_EQ(recorded(), "A:Caf\xE9:10");
  // The DLL is gone from the machine once rundll32 has ended.
  EXPECT_TRUE(DeleteFileW(kDll));
}

TEST_F(Rundll, FindsTheDllAsLoadLibraryDoesAndComplainsOfWhatIsMissing) {
  // A bare name is found in the system folder.
  ASSERT_TRUE(winsim::copyToDrive(WINSIM_TESTRUNDLL, u"C:\\Windows\\system32\\purgetest.dll"));
  EXPECT_EQ(run(u"rundll32 purgetest,Record x"), 0u);
  EXPECT_EQ(recorded(), "W:x");

  for (const char16_t *text : {u"could not be found", u"Missing entry"}) {
    winsim::UserScript rule;
    rule.caption = u"RunDLL";
    rule.text = text;
    winsim::scriptUser(rule);
  }
  EXPECT_NE(run(u"rundll32 nosuch.dll,Record"), 0u);
  EXPECT_NE(run(u"rundll32 purgetest.dll,NoSuchEntry"), 0u);
  auto shown = winsim::shownMessages();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_NE(shown[0].text.find(u"nosuch.dll"), std::u16string::npos);
  EXPECT_NE(shown[1].text.find(u"NoSuchEntry"), std::u16string::npos);
}

TEST_F(Rundll, TheSelfDeletingBatchEndsOnceRundllHasLetTheDllGo) {
  EXPECT_EQ(run(u"rundll32 \"" + std::u16string(kDll) + u"\",SelfDelete"), 0u);
  // The batch started by the entry waits for the DLL, deletes it, then itself.
  ASSERT_TRUE(winsim::waitForProcessEnd(u"cmd.exe", kRealWaitMs));
  EXPECT_EQ(GetFileAttributesW(kDll), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW(u"C:\\Windows\\Temp\\SelfDel.bat"), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
