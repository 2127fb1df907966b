#include "setup/shared/registry_cleanup.h"

#include <shlwapi.h>

#include "setup/shared/package_names.h"
#include "setup/shared/printer_removal.h"
#include "setup/shared/purge_lists.h"
#include "setup/shared/spooler_lists.h"
#include "setup/shared/windows_class.h"

namespace card::setup {

namespace {

// An open key, closed when it goes.
struct Key {
  HKEY handle = nullptr;
  ~Key() {
    if (handle) RegCloseKey(handle);
  }
};

bool openMachineKey(std::u16string_view path, REGSAM access, Key &key) {
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide(path).c_str(), 0, access, &key.handle) == ERROR_SUCCESS;
}

// The names of a key's subkeys, in the order the registry lists them.
std::vector<WString> subkeyNames(HKEY key) {
  std::vector<WString> names;
  DWORD count = 0, longest = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr) != ERROR_SUCCESS)
    return names;
  WString name(size_t(longest) + 1, WCHAR(0));
  for (DWORD i = 0; i < count; ++i) {
    DWORD length = DWORD(name.size());
    if (RegEnumKeyExW(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) continue;
    names.emplace_back(name.c_str(), length);
  }
  return names;
}

// A REG_SZ value, or empty.
std::u16string stringValue(HKEY key, LPCWSTR name) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size < sizeof(WCHAR))
    return {};
  WString value(size / sizeof(WCHAR) + 1, WCHAR(0));
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(value.data()), &size) != ERROR_SUCCESS)
    return {};
  return u16(value.c_str());
}

bool isPackageMonitor(std::u16string_view name) {
  if (equalsAsciiNoCase(name, kNetworkMonitor)) return true;
  for (std::u16string_view monitor : kUsbMonitors)
    if (equalsAsciiNoCase(name, monitor)) return true;
  return false;
}

// Whether a driver of that name that is not the package's is installed in
// the environment.
bool foreignDriverInstalled(LPCWSTR environment, const WString &name) {
  if (packageDriverOf(u16(name.c_str())) != PackageDriver::None) return false;
  SpoolerListing listing = enumerateDrivers(environment);
  if (listing.error != ERROR_SUCCESS) return true;  // unknown: the key stays
  auto *drivers = reinterpret_cast<DRIVER_INFO_1W *>(listing.data.get());
  for (DWORD i = 0; i < listing.count; ++i)
    if (drivers[i].pName && lstrcmpiW(drivers[i].pName, name.c_str()) == 0) return true;
  return false;
}

}  // namespace

void deleteMachineTree(std::u16string_view path) {
  if (path.empty()) return;
  SHDeleteKeyW(HKEY_LOCAL_MACHINE, wide(path).c_str());
}

void deleteMarkedPrinterKeys() {
  Key printers;
  if (!openMachineKey(kPrintersKey, KEY_READ | KEY_WRITE, printers)) return;
  for (std::u16string_view mark : kPrinterKeyMarks) {
    std::vector<WString> names = subkeyNames(printers.handle);
    for (auto name = names.rbegin(); name != names.rend(); ++name)
      if (u16(name->c_str()).find(mark) != std::u16string::npos) SHDeleteKeyW(printers.handle, name->c_str());
  }
}

std::vector<std::u16string> foreignMonitorFiles() {
  std::vector<std::u16string> files;
  Key monitors;
  if (!openMachineKey(kMonitorsKey, KEY_READ, monitors)) return files;
  for (const WString &name : subkeyNames(monitors.handle)) {
    if (isPackageMonitor(u16(name.c_str()))) continue;
    Key monitor;
    if (RegOpenKeyExW(monitors.handle, name.c_str(), 0, KEY_READ, &monitor.handle) != ERROR_SUCCESS) continue;
    std::u16string file = stringValue(monitor.handle, TEXT("Driver"));
    if (!file.empty()) files.push_back(file);
  }
  return files;
}

void deleteDriverKeyNamedLikePrinter(const WString &printerName) {
  bool sixtyFour = sixtyFourBitSystem();
  if (foreignDriverInstalled(sixtyFour ? TEXT("Windows x64") : TEXT("Windows NT x86"), printerName)) return;
  deleteMachineTree(subkeyPath(driversKeyPath(sixtyFour), u16(printerName.c_str())));
}

}  // namespace card::setup
