// Stamping the package printers' default settings through the spooler.
#include "setup/verstamp/verstamp.h"

#include <winspool.h>

#include <vector>

#include "setup/shared/package_names.h"
#include "setup/shared/self_delete.h"
#include "setup/shared/spooler_lists.h"
#include "setup/shared/wide_text.h"
#include "setup/verstamp/version_stamp.h"

namespace {

HMODULE g_self = nullptr;

// One printer's global default settings, stamped.  A printer without
// default settings, or one that does not open, keeps what it has.
void stampPrinter(const PRINTER_INFO_2W &info) {
  const DEVMODEW *current = info.pDevMode;
  if (!current || !info.pPrinterName) return;
  std::vector<uint8_t> settings = card::setup::stampedSettings(
      reinterpret_cast<const uint8_t *>(current), size_t(current->dmSize) + current->dmDriverExtra, current->dmSize);
  if (settings.empty()) return;
  PRINTER_DEFAULTSW access = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE printer = nullptr;
  if (!OpenPrinterW(info.pPrinterName, &printer, &access)) return;
  PRINTER_INFO_8W defaults = {reinterpret_cast<DEVMODEW *>(settings.data())};
  SetPrinterW(printer, 8, reinterpret_cast<LPBYTE>(&defaults), 0);
  ClosePrinter(printer);
}

}  // namespace

extern "C" {

int nVSUpdateVersionInfo = 0;

int WINAPI fnVSUpdateVersionInfo() { return 42; }

int CALLBACK UpdateVersionInfo(HWND, HINSTANCE, LPSTR, int) {
  const card::setup::SpoolerListing listing = card::setup::enumeratePrinters(PRINTER_ENUM_LOCAL, 2);
  const auto *printers = reinterpret_cast<const PRINTER_INFO_2W *>(listing.data.get());
  for (DWORD i = 0; i < listing.count; ++i)
    if (card::setup::packageDriverOf(card::setup::u16(printers[i].pDriverName)) != card::setup::PackageDriver::None)
      stampPrinter(printers[i]);
  card::setup::deleteModuleFileAfterExit(g_self);
  return 0;
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    g_self = instance;
  }
  return TRUE;
}
