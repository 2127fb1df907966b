// The ANSI forms of the registry calls.  Key and value names in the system
// code page go to the wide calls as UTF-16; string data (REG_SZ,
// REG_EXPAND_SZ, REG_MULTI_SZ) is stored as UTF-16 and read back in the code
// page, its sizes counted in the code page's bytes.
#include "core/internal.h"
#include "kernel32/ansi_text.h"

namespace winsim {

namespace {

bool isStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

std::u16string wideOf(const BYTE *data, DWORD size) {
  if (!data || size == 0) return std::u16string();
  auto *s = reinterpret_cast<LPCSTR>(data);
  int n = MultiByteToWideChar(CP_ACP, 0, s, int(size), nullptr, 0);
  std::u16string out(size_t(n > 0 ? n : 0), u'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, s, int(size), reinterpret_cast<LPWSTR>(out.data()), n);
  return out;
}

// A name handed out with RegEnumKeyExA's protocol: the size in characters
// without the terminator, ERROR_MORE_DATA when it does not fit.
LSTATUS nameOut(const std::string &name, LPSTR buffer, LPDWORD size) {
  if (*size <= name.size()) return ERROR_MORE_DATA;
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  *size = DWORD(name.size());
  return ERROR_SUCCESS;
}

}  // namespace

}  // namespace winsim

using namespace winsim;

extern "C" {

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
  WideArg sub(lpSubKey);
  return RegOpenKeyExW(hKey, sub.get(), ulOptions, samDesired, phkResult);
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR, DWORD dwOptions, REGSAM samDesired,
                               LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult, LPDWORD lpdwDisposition) {
  WideArg sub(lpSubKey);
  return RegCreateKeyExW(hKey, sub.get(), Reserved, nullptr, dwOptions, samDesired, lpSecurityAttributes, phkResult,
                         lpdwDisposition);
}

LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  if (!lpName || !lpcchName) return ERROR_INVALID_PARAMETER;
  WCHAR name[256];
  DWORD nameLen = 256;
  WCHAR cls[256];
  DWORD clsLen = 256;
  LSTATUS r = RegEnumKeyExW(hKey, dwIndex, name, &nameLen, lpReserved, cls, &clsLen, lpftLastWriteTime);
  if (r != ERROR_SUCCESS) return r;
  if (lpClass && lpcchClass) {
    r = nameOut(ansiOf(cls, clsLen), lpClass, lpcchClass);
    if (r != ERROR_SUCCESS) return r;
  } else if (lpcchClass) {
    *lpcchClass = DWORD(ansiOf(cls, clsLen).size());
  }
  return nameOut(ansiOf(name, nameLen), lpName, lpcchName);
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  WideArg sub(lpSubKey);
  return RegDeleteKeyW(hKey, sub.get());
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  WideArg name(lpValueName);
  return RegDeleteValueW(hKey, name.get());
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE *lpData,
                              DWORD cbData) {
  WideArg name(lpValueName);
  if (!isStringType(dwType)) return RegSetValueExW(hKey, name.get(), Reserved, dwType, lpData, cbData);
  std::u16string wide = wideOf(lpData, cbData);
  return RegSetValueExW(hKey, name.get(), Reserved, dwType, reinterpret_cast<const BYTE *>(wide.data()),
                        DWORD(wide.size() * sizeof(char16_t)));
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData) {
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  WideArg name(lpValueName);
  DWORD type = 0, size = 0;
  LSTATUS r = RegQueryValueExW(hKey, name.get(), lpReserved, &type, nullptr, &size);
  if (r != ERROR_SUCCESS) return r;
  if (lpType) *lpType = type;
  if (!isStringType(type)) return RegQueryValueExW(hKey, name.get(), lpReserved, nullptr, lpData, lpcbData);
  std::u16string wide(size / sizeof(char16_t), u'\0');
  DWORD got = size;
  r = RegQueryValueExW(hKey, name.get(), lpReserved, nullptr, reinterpret_cast<LPBYTE>(wide.data()), &got);
  if (r != ERROR_SUCCESS) return r;
  wide.resize(got / sizeof(char16_t));
  std::string ansi = ansiOf(wide.data(), wide.size());
  if (!lpcbData) return ERROR_SUCCESS;
  DWORD need = DWORD(ansi.size());
  if (lpData && *lpcbData < need) {
    *lpcbData = need;
    return ERROR_MORE_DATA;
  }
  if (lpData) std::memcpy(lpData, ansi.data(), need);
  *lpcbData = need;
  return ERROR_SUCCESS;
}

}  // extern "C"

namespace winsim {

namespace {

const char *const kAdvapi32Ansi[] = {
    "RegCreateKeyExA", "RegDeleteKeyA",    "RegDeleteValueA", "RegEnumKeyExA",
    "RegOpenKeyExA",   "RegQueryValueExA", "RegSetValueExA",
};
const ExportList kAdvapi32AnsiList(u"advapi32.dll", kAdvapi32Ansi);

}  // namespace

}  // namespace winsim
