// A new printer's default DEVMODE, asked of its driver.  A printer added
// without one gets the settings its driver's UI module gives for
// DrvConvertDevMode(CDM_DRIVER_DEFAULT); the spooler keeps them as the
// printer's default.  The module runs in a process of its own, as Windows
// hosts driver code apart from the spooler, so that it can open the printer
// and read its data the way it would there.
#include <vector>

#include <winddiui.h>

#include "core/internal.h"
#include "winspool/client.h"
#include "winsim/testing.h"

namespace winsim::spool {

namespace {

using ConvertDevMode = BOOL(WINAPI *)(LPWSTR, DEVMODEW *, DEVMODEW *, LONG *, DWORD);

// DEVMODE sizes are two 16-bit counts: nothing a driver asks for goes past
// their sum.
constexpr LONG kLargestDevMode = 2 * 0xFFFF;

// The driver's answer, checked as any DEVMODE a caller hands in; empty when
// the driver has none to give.
std::vector<BYTE> driverDefault(std::u16string printer, ConvertDevMode convert) {
  LONG size = 0;
  convert(printer.data(), nullptr, nullptr, &size, CDM_DRIVER_DEFAULT);
  if (size < LONG(offsetof(DEVMODEW, dmFields)) || size > kLargestDevMode) return {};
  std::vector<BYTE> out(size_t(size), 0);
  auto *dm = reinterpret_cast<DEVMODEW *>(out.data());
  if (!convert(printer.data(), nullptr, dm, &size, CDM_DRIVER_DEFAULT)) return {};
  if (!devModeValid(dm) || size_t(dm->dmSize) + dm->dmDriverExtra > out.size()) return {};
  out.resize(size_t(dm->dmSize) + dm->dmDriverExtra);
  return out;
}

DWORD WINAPI askDriver(LPVOID param) {
  const std::u16string &printer = *static_cast<const std::u16string *>(param);
  std::u16string name = printer;
  HANDLE handle = nullptr;
  if (!OpenPrinterW(name.data(), &handle, nullptr)) return 1;
  const std::u16string config = configFileOf(handle);
  ClosePrinter(handle);
  HMODULE module = config.empty() ? nullptr : LoadLibraryW(config.c_str());
  if (!module) return 1;
  auto convert =
      reinterpret_cast<ConvertDevMode>(reinterpret_cast<void (*)()>(GetProcAddress(module, "DrvConvertDevMode")));
  std::vector<BYTE> settings = convert ? driverDefault(printer, convert) : std::vector<BYTE>();
  FreeLibrary(module);
  if (settings.empty()) return 1;
  HKEY k = openPrinterKey(printer);
  if (!k) return 1;
  storeDevMode(k, reinterpret_cast<const DEVMODEW *>(settings.data()));
  RegCloseKey(k);
  return 0;
}

}  // namespace

bool giveDriverDefault(const std::u16string &printer) {
  std::u16string name = printer;
  return runInNewProcess(u"PrintIsolationHost.exe", askDriver, &name) == 0;
}

}  // namespace winsim::spool
