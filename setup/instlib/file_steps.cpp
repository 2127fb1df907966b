// Files, the driver store and the next log-on.
#include <difxapi.h>

#include <string>
#include <vector>

#include "setup/instlib/default_settings.h"
#include "setup/instlib/instlib.h"
#include "shared/proc_address.h"

namespace {

using WideText = std::basic_string<WCHAR>;

// A folder of the system, empty when it cannot be had.
WideText systemFolder(UINT(WINAPI *get)(LPWSTR, UINT)) {
  std::vector<WCHAR> path(MAX_PATH);
  UINT n = get(path.data(), UINT(path.size()));
  if (n >= path.size()) {
    path.resize(n + 1);
    n = get(path.data(), UINT(path.size()));
  }
  if (n == 0 || n >= path.size()) return {};
  return WideText(path.data(), n);
}

// The driver-package library, from the system folder only: a copy of it
// beside the installer must not be loaded instead.
HMODULE loadDriverPackageLibrary() {
  const WideText folder = systemFolder(GetSystemDirectoryW);
  if (folder.empty()) return nullptr;
  return LoadLibraryW((folder + TEXT("\\difxapi.dll")).c_str());
}

}  // namespace

extern "C" {

DWORD WINAPI ELTNCopyFile(LPWSTR directory) {
  // The source path is put together here rather than appended to the
  // caller's text, whose room this library cannot know.
  const WideText windows = systemFolder(GetWindowsDirectoryW);
  if (!directory || windows.empty()) return 1;
  const WideText source = WideText(directory) + TEXT("\\purgelib.dll");
  const WideText target = windows + TEXT("\\SYSTEM32\\purgelib.dll");
  CopyFileW(source.c_str(), target.c_str(), FALSE);
  return 1;
}

DWORD WINAPI ELTNCustomeFile(LPCWSTR fileName, const DWORD *options) {
  static_assert(sizeof(DWORD) == sizeof(uint32_t));
  const std::vector<uint8_t> bytes = card::setup::defaultSettingsFile(reinterpret_cast<const uint32_t *>(options));
  HANDLE file = CreateFileW(fileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  DWORD written = 0;
  DWORD result = ERROR_SUCCESS;
  if (!WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr))
    result = GetLastError();
  else if (written != bytes.size())
    result = ERROR_WRITE_FAULT;
  if (!CloseHandle(file) && result == ERROR_SUCCESS) result = GetLastError();
  return result;
}

DWORD WINAPI ELTNSetUpRunOnceEntry() {
  static const WCHAR kCommand[] = TEXT("rundll32 purgelib.dll EntryDeleteFiles");
  HKEY key = nullptr;
  LONG st = RegCreateKeyExW(HKEY_LOCAL_MACHINE, TEXT("Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"), 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (st != ERROR_SUCCESS) return DWORD(st);
  st = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(kCommand), sizeof kCommand);
  RegCloseKey(key);
  return DWORD(st);
}

DWORD WINAPI ELTNInstallPackage(LPCWSTR infPath) {
  HMODULE library = loadDriverPackageLibrary();
  if (!library) return 1;
  auto preinstall = card::procAddress<decltype(&DriverPackagePreinstallW)>(library, "DriverPackagePreinstallW");
  if (!preinstall) {
    FreeLibrary(library);
    return 1;
  }
  // The store's answer is left to the installer's later steps: a package
  // already there, or one the store refuses, still lets the driver install.
  preinstall(infPath, 0);
  FreeLibrary(library);
  return 0;
}

DWORD WINAPI ELTNUnInstallPackage(LPCWSTR infPath) {
  HMODULE library = loadDriverPackageLibrary();
  if (!library) return 1;
  auto uninstall = card::procAddress<decltype(&DriverPackageUninstallW)>(library, "DriverPackageUninstallW");
  if (!uninstall) {
    FreeLibrary(library);
    return 1;
  }
  BOOL reboot = FALSE;
  uninstall(infPath, 0, nullptr, &reboot);
  FreeLibrary(library);
  return 0;
}

}  // extern "C"
