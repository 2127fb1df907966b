// A user's environment block, as a service builds one for a program it
// starts in the user's session: "Name=Value" strings in UTF-16, each ending
// in NUL, the block in a second NUL, sorted by name as Windows keeps them.
#include <userenv.h>

#include <algorithm>
#include <map>
#include <set>

#include "core/internal.h"

namespace winsim {

namespace {

// Names compared without case, as the environment's are.
struct NoCase {
  bool operator()(const std::u16string &a, const std::u16string &b) const { return upper(a) < upper(b); }
};
using Variables = std::map<std::u16string, std::u16string, NoCase>;

// The machine's variables that every block has.
const char16_t *const kMachineNames[] = {
    u"ALLUSERSPROFILE",
    u"COMPUTERNAME",
    u"OS",
    u"PROCESSOR_ARCHITECTURE",
    u"ProgramData",
    u"ProgramFiles",
    u"ProgramFiles(x86)",
    u"PUBLIC",
    u"SystemDrive",
    u"SystemRoot",
    u"windir",
};

void machineVariables(Variables &vars) {
  for (const char16_t *name : kMachineNames) {
    WCHAR value[512];
    DWORD n = GetEnvironmentVariableW(name, value, 512);
    if (n > 0 && n < 512) vars[name] = std::u16string(value, n);
  }
  vars[u"ComSpec"] = u"C:\\Windows\\system32\\cmd.exe";
  vars[u"PATHEXT"] = u".COM;.EXE;.BAT;.CMD";
  vars[u"Path"] = u"C:\\Windows\\system32;C:\\Windows";
  vars[u"TEMP"] = u"C:\\Windows\\TEMP";
  vars[u"TMP"] = u"C:\\Windows\\TEMP";
}

void userVariables(Variables &vars, const std::u16string &user) {
  std::u16string profile = u"C:\\Users\\" + user;
  vars[u"USERNAME"] = user;
  vars[u"USERDOMAIN"] = u"CARDPC";
  vars[u"USERPROFILE"] = profile;
  vars[u"HOMEDRIVE"] = u"C:";
  vars[u"HOMEPATH"] = u"\\Users\\" + user;
  vars[u"APPDATA"] = profile + u"\\AppData\\Roaming";
  vars[u"LOCALAPPDATA"] = profile + u"\\AppData\\Local";
  vars[u"TEMP"] = profile + u"\\AppData\\Local\\Temp";
  vars[u"TMP"] = profile + u"\\AppData\\Local\\Temp";
}

// The calling process's own variables: its block, or the machine's.
void callerVariables(Variables &vars) {
  std::vector<char16_t> block;
  {
    auto p = currentProcess();
    std::lock_guard<std::mutex> g(processLock());
    block = p->environment;
  }
  if (block.empty()) {
    machineVariables(vars);
    return;
  }
  size_t i = 0;
  while (i < block.size() && block[i]) {
    size_t end = i;
    while (end < block.size() && block[end]) ++end;
    std::u16string entry(block.data() + i, end - i);
    size_t eq = entry.find(u'=', 1);
    if (eq != std::u16string::npos) vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    i = end + 1;
  }
}

std::mutex g_blocksLock;
std::set<const void *> g_blocks;

}  // namespace

}  // namespace winsim

using namespace winsim;

extern "C" {

BOOL WINAPI CreateEnvironmentBlock(LPVOID *lpEnvironment, HANDLE hToken, BOOL bInherit) {
  if (!lpEnvironment) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lpEnvironment = nullptr;
  std::u16string user;
  if (hToken) {
    auto *t = static_cast<TokenObject *>(lookup(hToken, Kind::Token));
    if (!t) return FALSE;
    user = t->user;
    release(t);
  }
  Variables vars;
  if (bInherit) callerVariables(vars);
  machineVariables(vars);
  // Without a token the block holds the system's variables only.
  if (!user.empty()) userVariables(vars, user);

  std::u16string text;
  for (const auto &kv : vars) text += kv.first + u"=" + kv.second + u'\0';
  text += u'\0';
  if (vars.empty()) text += u'\0';
  auto *block = new char16_t[text.size()];
  std::copy(text.begin(), text.end(), block);
  {
    std::lock_guard<std::mutex> g(g_blocksLock);
    g_blocks.insert(block);
  }
  *lpEnvironment = block;
  return TRUE;
}

BOOL WINAPI DestroyEnvironmentBlock(LPVOID lpEnvironment) {
  {
    std::lock_guard<std::mutex> g(g_blocksLock);
    if (!lpEnvironment || !g_blocks.erase(lpEnvironment)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
  }
  delete[] static_cast<char16_t *>(lpEnvironment);
  return TRUE;
}

}  // extern "C"
