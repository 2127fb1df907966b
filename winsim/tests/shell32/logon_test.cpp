// The log-on's RunOnce commands, and batch files run by cmd.exe.
#include <windows.h>

#include <shellapi.h>
#include <winsim/testing.h>

#include <fstream>
#include <string>

#include "../fixtures.h"

namespace {

constexpr DWORD kRealWaitMs = 20000;
const char16_t kRunOnce[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

class LogOn : public winsim_test::Winsim {
 protected:
  void SetUp() override {
    Winsim::SetUp();
    winsim::setClockScale(1000);
    ASSERT_TRUE(winsim::copyToDrive(WINSIM_TESTPROG, u"C:\\Program Files\\Card\\testprog.exe"));
  }

  static void setRunOnce(HKEY root, const std::u16string &name, const std::u16string &command) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, kRunOnce, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE *>(command.c_str()), DWORD((command.size() + 1) * 2)),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }

  static bool hasValue(HKEY root, const std::u16string &name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, kRunOnce, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    bool there = RegQueryValueExW(key, name.empty() ? nullptr : name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
                 ERROR_SUCCESS;
    RegCloseKey(key);
    return there;
  }

  static void writeBatch(const std::u16string &path, const std::string &text) {
    std::ofstream(winsim::hostPath(path), std::ios::binary) << text;
  }

  static DWORD runCommand(const std::u16string &commandLine) {
    std::u16string line = commandLine;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return DWORD(-1);
    EXPECT_TRUE(winsim::waitForProcessEnd(pi.dwProcessId, kRealWaitMs));
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return code;
  }
};

TEST_F(LogOn, RunsTheRunOnceCommandsAndDeletesTheirValues) {
  const std::u16string prog = u"\"C:\\Program Files\\Card\\testprog.exe\"";
  setRunOnce(HKEY_LOCAL_MACHINE, u"", prog + u" exit 3");  // the default value
  setRunOnce(HKEY_LOCAL_MACHINE, u"First", prog + u" exit 0");
  setRunOnce(HKEY_LOCAL_MACHINE, u"!Kept", prog + u" exit 7");
  setRunOnce(HKEY_LOCAL_MACHINE, u"!Done", prog + u" exit 0");
  setRunOnce(HKEY_LOCAL_MACHINE, u"Broken", u"nosuchprogram.exe");
  setRunOnce(HKEY_CURRENT_USER, u"Mine", prog + u" exit 5");

  auto ran = winsim::logOn(kRealWaitMs);
  ASSERT_EQ(ran.size(), 6u);
  // The machine's first, in the key's order; then the user's.
  EXPECT_EQ(ran[0].valueName, u"");
  EXPECT_EQ(ran[0].exitCode, 3u);
  EXPECT_EQ(ran[1].valueName, u"First");
  EXPECT_EQ(ran[1].exitCode, 0u);
  EXPECT_EQ(ran[2].exitCode, 7u);
  EXPECT_EQ(ran[3].exitCode, 0u);
  EXPECT_FALSE(ran[4].started);
  EXPECT_EQ(ran[4].error, DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(ran[5].key, u"HKEY_CURRENT_USER\\" + std::u16string(kRunOnce));
  EXPECT_EQ(ran[5].exitCode, 5u);
  for (const auto &c : ran) {
    if (c.started) {
      EXPECT_NE(c.processId, 0u);
    }
  }

  // Every value goes, even when its command failed; a "!" value only after
  // its command has run well.
  for (const char16_t *gone : {u"", u"First", u"!Done", u"Broken"}) EXPECT_FALSE(hasValue(HKEY_LOCAL_MACHINE, gone));
  EXPECT_TRUE(hasValue(HKEY_LOCAL_MACHINE, u"!Kept"));
  EXPECT_FALSE(hasValue(HKEY_CURRENT_USER, u"Mine"));

  // A second log-on runs only what is left.
  auto again = winsim::logOn(kRealWaitMs);
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0].valueName, u"!Kept");
}

TEST_F(LogOn, RundllSchedulesASelfDeletingBatch) {
  const std::u16string dll = u"C:\\Program Files\\Card Caf\u00E9\\purgelib.dll";
  ASSERT_TRUE(winsim::copyToDrive(WINSIM_TESTRUNDLL, dll));
  setRunOnce(HKEY_LOCAL_MACHINE, u"CardPurge", u"rundll32 \"" + dll + u"\" SelfDelete");
  auto ran = winsim::logOn(kRealWaitMs);
  ASSERT_EQ(ran.size(), 1u);
  EXPECT_EQ(ran[0].exitCode, 0u);
  EXPECT_FALSE(hasValue(HKEY_LOCAL_MACHINE, u"CardPurge"));
  ASSERT_TRUE(winsim::waitForProcessEnd(u"cmd.exe", kRealWaitMs));
  EXPECT_EQ(GetFileAttributesW(dll.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW(u"C:\\Windows\\Temp\\SelfDel.bat"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(LogOn, BatchCommandsDoWhatCmdDoes) {
  for (const char16_t *f : {u"C:\\Windows\\Temp\\a.txt", u"C:\\Windows\\Temp\\b.log", u"C:\\Windows\\Temp\\c.log"})
    std::ofstream(winsim::hostPath(f)) << "x";
  writeBatch(u"C:\\Windows\\Temp\\steps.bat",
             "@echo off\r\n"
             "rem the first file goes\r\n"
             "\r\n"
             "del /q \"%1\"\r\n"
             "if exist \"%1\" exit /b 10\r\n"
             "if not exist C:\\Windows\\Temp\\*.log goto :fail\r\n"
             "del C:\\Windows\\Temp\\*.log\r\n"
             "del \"C:\\Windows\\Temp\\never there.txt\"\r\n"
             "if exist C:\\Windows\\Temp\\b.log goto fail\r\n"
             "goto end\r\n"
             ":fail\r\n"
             "exit /b 11\r\n"
             ":end\r\n"
             "exit /b 4\r\n");
  EXPECT_EQ(runCommand(u"cmd.exe /c C:\\Windows\\Temp\\steps.bat C:\\Windows\\Temp\\a.txt"), 4u);
  EXPECT_EQ(GetFileAttributesW(u"C:\\Windows\\Temp\\a.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW(u"C:\\Windows\\Temp\\c.log"), INVALID_FILE_ATTRIBUTES);

  // A label nobody wrote ends the batch with errorlevel 1.
  writeBatch(u"C:\\Windows\\Temp\\nolabel.bat", "goto nowhere\r\nexit /b 0\r\n");
  EXPECT_EQ(runCommand(u"cmd /c \"C:\\Windows\\Temp\\nolabel.bat\""), 1u);
}

TEST_F(LogOn, ABatchThatLoopsForeverIsStopped) {
  winsim::setClockScale(1e6);
  winsim::clearDebugOutput();
  writeBatch(u"C:\\Windows\\Temp\\spin.bat", ":again\r\ngoto again\r\n");
  ASSERT_EQ(reinterpret_cast<INT_PTR>(
                ShellExecuteW(nullptr, u"open", u"C:\\Windows\\Temp\\spin.bat", nullptr, nullptr, SW_HIDE)),
            42);
  DWORD id = winsim::waitForProcess(u"cmd.exe", kRealWaitMs);
  ASSERT_NE(id, 0u);
  HANDLE p = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, id);
  ASSERT_NE(p, nullptr);
  ASSERT_TRUE(winsim::waitForProcessEnd(id, 60000));
  DWORD code = 0;
  GetExitCodeProcess(p, &code);
  CloseHandle(p);
  EXPECT_EQ(code, 0xC000013Au);
  bool noted = false;
  for (const auto &line : winsim::debugOutput())
    noted |= line.find("spin.bat: stopped after 100000 goto") != std::string::npos;
  EXPECT_TRUE(noted);
}

}  // namespace
