// shlwapi's registry helpers: SHDeleteKey removes a subkey with every key
// and value beneath it, through advapi32's calls, as the library does.
#include <shlwapi.h>

#include <string>

#include "core/internal.h"

namespace winsim {

namespace {

// Deletes the subkeys of `key` depth first, then the key itself from its
// parent.
LSTATUS deleteTree(HKEY parent, const std::u16string &subKey) {
  HKEY key = nullptr;
  LSTATUS r = RegOpenKeyExW(parent, subKey.c_str(), 0, KEY_ALL_ACCESS, &key);
  if (r != ERROR_SUCCESS) return r;
  for (;;) {
    // Always the first subkey: each one is gone before the next is asked for.
    WCHAR name[256];
    DWORD nameLen = 256;
    r = RegEnumKeyExW(key, 0, name, &nameLen, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r == ERROR_SUCCESS) r = deleteTree(key, std::u16string(name, nameLen));
    if (r != ERROR_SUCCESS) {
      RegCloseKey(key);
      return r;
    }
  }
  RegCloseKey(key);
  return RegDeleteKeyW(parent, subKey.c_str());
}

const char *const kShlwapi[] = {"SHDeleteKeyA", "SHDeleteKeyW"};
const ExportList kShlwapiList(u"shlwapi.dll", kShlwapi);

}  // namespace

}  // namespace winsim

using namespace winsim;

extern "C" {

LSTATUS WINAPI SHDeleteKeyW(HKEY hkey, LPCWSTR pszSubKey) {
  // The key itself is never what goes: without a subkey nothing is deleted.
  if (!pszSubKey || !*pszSubKey) return ERROR_INVALID_PARAMETER;
  return deleteTree(hkey, pszSubKey);
}

LSTATUS WINAPI SHDeleteKeyA(HKEY hkey, LPCSTR pszSubKey) {
  if (!pszSubKey || !*pszSubKey) return ERROR_INVALID_PARAMETER;
  int n = MultiByteToWideChar(CP_ACP, 0, pszSubKey, -1, nullptr, 0);
  if (n <= 0) return ERROR_INVALID_PARAMETER;
  std::u16string wide(size_t(n), u'\0');
  MultiByteToWideChar(CP_ACP, 0, pszSubKey, -1, reinterpret_cast<LPWSTR>(wide.data()), n);
  wide.pop_back();
  return SHDeleteKeyW(hkey, wide.c_str());
}

}  // extern "C"
