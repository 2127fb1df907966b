// System information, the environment, the debug output and the names of the
// machine and its user.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <winsim/testing.h>

#include "core/internal.h"

namespace winsim {

namespace {

std::mutex g_debugLock;
std::vector<std::string> g_debug;

}  // namespace

std::vector<std::string> debugOutput() {
  std::lock_guard<std::mutex> g(g_debugLock);
  return g_debug;
}

void clearDebugOutput() {
  std::lock_guard<std::mutex> g(g_debugLock);
  g_debug.clear();
}
namespace {
const ResetStep kDebugOutput(kResetKernel, clearDebugOutput);
}  // namespace

}  // namespace winsim

using namespace winsim;

namespace {

void debugAppend(std::string text) {
  if (::getenv("WINSIM_DEBUG")) {
    std::fprintf(stderr, "[debug] %s%s", text.c_str(), (!text.empty() && text.back() == '\n') ? "" : "\n");
  }
  std::lock_guard<std::mutex> g(g_debugLock);
  g_debug.push_back(std::move(text));
}

// A variable of the process's own environment block, when it was given
// one; else of the machine's.
bool blockValue(const std::vector<char16_t> &block, const std::u16string &name, std::u16string &value) {
  size_t i = 0;
  while (i < block.size() && block[i]) {
    size_t end = i;
    while (end < block.size() && block[end]) ++end;
    std::u16string entry(block.data() + i, end - i);
    // "=C:=C:\" entries of the drives' directories start with '='.
    size_t eq = entry.find(u'=', 1);
    if (eq != std::u16string::npos && equalsNoCase(entry.substr(0, eq), name)) {
      value = entry.substr(eq + 1);
      return true;
    }
    i = end + 1;
  }
  return false;
}

std::u16string envValue(const std::u16string &name) {
  {
    auto p = currentProcess();
    std::lock_guard<std::mutex> g(processLock());
    if (!p->environment.empty()) {
      std::u16string value;
      return blockValue(p->environment, name, value) ? value : std::u16string(1, u'\0');
    }
  }
  struct Var {
    const char16_t *name, *value;
  };
  static const Var vars[] = {
      {u"SystemRoot", u"C:\\Windows"},
      {u"windir", u"C:\\Windows"},
      {u"SystemDrive", u"C:"},
      {u"TEMP", u"C:\\Windows\\Temp"},
      {u"TMP", u"C:\\Windows\\Temp"},
      {u"ProgramFiles", u"C:\\Program Files"},
      {u"ProgramFiles(x86)", u"C:\\Program Files (x86)"},
      {u"ProgramData", u"C:\\ProgramData"},
      {u"ALLUSERSPROFILE", u"C:\\ProgramData"},
      {u"PUBLIC", u"C:\\Users\\Public"},
      {u"USERPROFILE", u"C:\\Users\\Default"},
      {u"COMPUTERNAME", u"CARDPC"},
      {u"OS", u"Windows_NT"},
  };
  for (const auto &v : vars)
    if (equalsNoCase(v.name, name)) return v.value;
  if (equalsNoCase(name, u"PROCESSOR_ARCHITECTURE")) return osVersion().x64 ? u"AMD64" : u"x86";
  return std::u16string(1, u'\0');  // marker: not set
}

bool isUnset(const std::u16string &v) { return v.size() == 1 && v[0] == 0; }

}  // namespace

extern "C" {

BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW info) {
  if (!info ||
      (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW) && info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXW))) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  OsVersion v = osVersion();
  DWORD size = info->dwOSVersionInfoSize;
  std::memset(reinterpret_cast<BYTE *>(info) + sizeof(DWORD), 0, size - sizeof(DWORD));
  info->dwMajorVersion = v.major;
  info->dwMinorVersion = v.minor;
  info->dwBuildNumber = v.build;
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  if (v.major == 5 && v.minor == 1) lstrcpyW(info->szCSDVersion, u"Service Pack 3");
  if (size == sizeof(OSVERSIONINFOEXW)) {
    auto *ex = reinterpret_cast<LPOSVERSIONINFOEXW>(info);
    ex->wProductType = VER_NT_WORKSTATION;
    if (v.major == 5 && v.minor == 1) ex->wServicePackMajor = 3;
  }
  return TRUE;
}

DWORD WINAPI GetVersion(void) {
  OsVersion v = osVersion();
  return (v.major & 0xFF) | ((v.minor & 0xFF) << 8) | ((v.build & 0x7FFF) << 16);
}

void WINAPI GetNativeSystemInfo(LPSYSTEM_INFO info) {
  if (!info) return;
  std::memset(info, 0, sizeof *info);
  info->wProcessorArchitecture = osVersion().x64 ? PROCESSOR_ARCHITECTURE_AMD64 : PROCESSOR_ARCHITECTURE_INTEL;
  info->dwPageSize = 4096;
  info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(0x10000);
  info->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(0x7FFFFFFEFFFFULL);
  info->dwActiveProcessorMask = 3;
  info->dwNumberOfProcessors = 2;
  info->dwProcessorType = 8664;
  info->dwAllocationGranularity = 65536;
  info->wProcessorLevel = 6;
}

void WINAPI GetSystemInfo(LPSYSTEM_INFO info) {
  // The linux flavour's modules are 64-bit code, as the x64 build is.
  GetNativeSystemInfo(info);
  if (info) info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
}

BOOL WINAPI IsWow64Process(HANDLE, PBOOL wow64) {
  if (!wow64) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *wow64 = FALSE;
  return TRUE;
}

BOOL WINAPI GetComputerNameW(LPWSTR buffer, LPDWORD size) {
  if (!size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string name = u"CARDPC";
  if (!buffer || *size <= name.size()) {
    *size = DWORD(name.size() + 1);
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return FALSE;
  }
  lstrcpyW(buffer, name.c_str());
  *size = DWORD(name.size());
  return TRUE;
}

BOOL WINAPI GetUserNameW(LPWSTR buffer, LPDWORD size) {
  if (!size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string name = u"CardUser";
  if (!buffer || *size <= name.size()) {
    *size = DWORD(name.size() + 1);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  lstrcpyW(buffer, name.c_str());
  *size = DWORD(name.size() + 1);
  return TRUE;
}

void WINAPI OutputDebugStringW(LPCWSTR text) { debugAppend(toUtf8(fromW(text))); }
void WINAPI OutputDebugStringA(LPCSTR text) {
  if (!text) {
    debugAppend(std::string());
    return;
  }
  // 8-bit debug text is in the ANSI code page.
  int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::u16string w(size_t(n > 0 ? n : 1), u'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text, -1, w.data(), n);
  w.resize(size_t(lstrlenW(w.c_str())));
  debugAppend(toUtf8(w));
}

LPWSTR WINAPI GetCommandLineW(void) {
  // The process's own line when it has one, else the image's path in
  // quotes, as a program started without arguments has it.
  static thread_local std::u16string line;
  auto p = currentProcess();
  {
    std::lock_guard<std::mutex> g(processLock());
    line = p->commandLine;
  }
  if (line.empty()) line = u"\"C:\\Windows\\system32\\" + imageName() + u"\"";
  return line.data();
}

DWORD WINAPI GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size) {
  std::u16string v = envValue(fromW(name));
  if (isUnset(v)) {
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
  }
  return copyOut(v, buffer, size);
}

DWORD WINAPI ExpandEnvironmentStringsW(LPCWSTR src, LPWSTR dst, DWORD size) {
  if (!src) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string in = src, out;
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] == u'%') {
      size_t j = in.find(u'%', i + 1);
      if (j != std::u16string::npos) {
        std::u16string v = envValue(in.substr(i + 1, j - i - 1));
        if (!isUnset(v)) {
          out += v;
          i = j;
          continue;
        }
      }
    }
    out.push_back(in[i]);
  }
  // The result size counts the terminator, whether or not it fitted.
  DWORD need = DWORD(out.size() + 1);
  if (dst && size >= need) {
    std::memcpy(dst, out.c_str(), need * sizeof(WCHAR));
  }
  return need;
}

// The session of a process of the machine.
BOOL WINAPI ProcessIdToSessionId(DWORD dwProcessId, DWORD *pSessionId) {
  auto p = findProcess(dwProcessId);
  if (!p || !pSessionId) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> g(processLock());
  *pSessionId = p->sessionId;
  return TRUE;
}

}  // extern "C"
