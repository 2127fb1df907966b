// The user's log-on as the shell sees it: the RunOnce commands of the
// machine, then of the user, each value deleted before its command starts
// (after it, when the value's name begins with "!"), the commands started
// as processes of the console user.  The machine's run one after another,
// each waited for; the user's are started together.
#include <winsim/testing.h>

#include <algorithm>
#include <chrono>

#include "core/internal.h"
#include "kernel32/process.h"

namespace winsim {

namespace {

const char16_t kRunOnce[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
// The account at the console, as WTSQueryUserToken names it.
const char16_t kConsoleUser[] = u"CardUser";

struct RunOnceValue {
  std::u16string name, command;
};

std::vector<RunOnceValue> readRunOnce(HKEY root) {
  std::vector<RunOnceValue> out;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, kRunOnce, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return out;
  for (DWORD i = 0;; ++i) {
    std::vector<WCHAR> buffer(16384);
    LPWSTR name = buffer.data();
    DWORD nameLen = DWORD(buffer.size()), type = 0, size = 0;
    if (RegEnumValueW(key, i, name, &nameLen, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
    std::u16string data(size / sizeof(char16_t) + 1, u'\0');
    DWORD got = size;
    if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(data.data()), &got) != ERROR_SUCCESS)
      continue;
    data.resize(got / sizeof(char16_t));
    while (!data.empty() && data.back() == 0) data.pop_back();
    if (type == REG_EXPAND_SZ) {
      std::vector<WCHAR> expanded(32768);
      DWORD n = ExpandEnvironmentStringsW(data.c_str(), expanded.data(), DWORD(expanded.size()));
      if (n > 0 && n <= expanded.size()) data = expanded.data();
    }
    out.push_back({std::u16string(name, nameLen), data});
  }
  RegCloseKey(key);
  return out;
}

void deleteValue(HKEY root, const std::u16string &name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, kRunOnce, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  RegDeleteValueW(key, name.c_str());
  RegCloseKey(key);
}

struct Started {
  LogOnCommand record;
  HANDLE process = nullptr;
  bool deleteAfter = false;
};

Started start(HKEY root, const std::u16string &rootName, const RunOnceValue &value) {
  Started s;
  s.record.key = rootName + u"\\" + kRunOnce;
  s.record.valueName = value.name;
  s.record.commandLine = value.command;
  s.deleteAfter = !value.name.empty() && value.name[0] == u'!';
  if (!s.deleteAfter) deleteValue(root, value.name);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::u16string line = value.command;
  ProcessStart ps;
  ps.commandLine = line.c_str();
  ps.startup = &si;
  ps.hasUser = true;
  ps.sessionId = consoleSession();
  ps.user = kConsoleUser;
  if (!createProcess(ps, &pi)) {
    s.record.error = GetLastError();
    return s;
  }
  CloseHandle(pi.hThread);
  s.process = pi.hProcess;
  s.record.started = true;
  s.record.processId = pi.dwProcessId;
  return s;
}

// Waits (real time, up to the deadline) for the command to end and reads
// its exit code; a value named with "!" goes once its command has run well.
void finish(HKEY root, Started &s, std::chrono::steady_clock::time_point deadline) {
  if (s.process) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    waitForProcessEnd(s.record.processId, DWORD(std::max<long long>(0, left.count())));
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(s.process, &code);
    s.record.exitCode = code;
    CloseHandle(s.process);
    s.process = nullptr;
  }
  if (s.deleteAfter && s.record.started && s.record.exitCode == 0) deleteValue(root, s.record.valueName);
}

}  // namespace

std::vector<LogOnCommand> logOn(DWORD timeoutMs) {
  setUserLoggedOn(true);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::vector<LogOnCommand> out;
  for (const RunOnceValue &v : readRunOnce(HKEY_LOCAL_MACHINE)) {
    Started s = start(HKEY_LOCAL_MACHINE, u"HKEY_LOCAL_MACHINE", v);
    finish(HKEY_LOCAL_MACHINE, s, deadline);
    out.push_back(s.record);
  }
  std::vector<Started> user;
  for (const RunOnceValue &v : readRunOnce(HKEY_CURRENT_USER))
    user.push_back(start(HKEY_CURRENT_USER, u"HKEY_CURRENT_USER", v));
  for (Started &s : user) {
    finish(HKEY_CURRENT_USER, s, deadline);
    out.push_back(s.record);
  }
  return out;
}

}  // namespace winsim
