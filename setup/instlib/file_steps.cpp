// Files, the driver store and the next log-on.
#include <windows.h>

#include <vector>

#include "setup/instlib/default_settings.h"
#include "setup/instlib/instlib.h"
#include "setup/shared/driver_packages.h"
#include "setup/shared/file_removal.h"

using card::WString;

extern "C" {

DWORD WINAPI ELTNCopyFile(LPWSTR directory) {
  // The source path is put together here rather than appended to the
  // caller's text, whose room this library cannot know.
  const WString windows = card::setup::windowsFolder();
  if (!directory || windows.empty()) return 1;
  const WString source = WString(directory) + TEXT("\\purgelib.dll");
  const WString target = windows + TEXT("\\SYSTEM32\\purgelib.dll");
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
  // The store's answer is left to the installer's later steps: a package
  // already there, or one the store refuses, still lets the driver install.
  return card::setup::preinstallDriverPackage(infPath ? infPath : TEXT("")) ? 0 : 1;
}

DWORD WINAPI ELTNUnInstallPackage(LPCWSTR infPath) {
  return card::setup::uninstallDriverPackage(infPath ? infPath : TEXT("")) ? 0 : 1;
}

}  // extern "C"
