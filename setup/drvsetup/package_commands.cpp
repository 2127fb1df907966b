#include "setup/drvsetup/package_commands.h"

#include <difxapi.h>
#include <setupapi.h>

#include "setup/shared/file_removal.h"
#include "setup/shared/oem_infs.h"
#include "shared/proc_address.h"

namespace card::setup {

namespace {

// difxapi's calls, as its header declares them.
using PreinstallProc = decltype(&DriverPackagePreinstallW);
using UninstallProc = decltype(&DriverPackageUninstallW);

// A library loaded for one command, freed when it ends.
struct Library {
  HMODULE module = nullptr;
  explicit Library(const WideString &path) : module(LoadLibraryW(path.c_str())) {}
  ~Library() {
    if (module) FreeLibrary(module);
  }
  template <typename F>
  F function(const char *name) const {
    return module ? procAddress<F>(module, name) : nullptr;
  }
};

// difxapi.dll of the system directory, never one found elsewhere on the path.
WideString difxapiPath() {
  WideString folder = systemFolder();
  return folder.empty() ? folder : joinPath(folder, u"difxapi.dll");
}

void preinstallWithDifx(const WideString &infPath) {
  WideString path = difxapiPath();
  if (path.empty()) return;
  Library difx(path);
  if (auto preinstall = difx.function<PreinstallProc>("DriverPackagePreinstallW")) preinstall(infPath.c_str(), 0);
}

void uninstallWithDifx(const WideString &infPath) {
  WideString path = difxapiPath();
  if (path.empty()) return;
  Library difx(path);
  BOOL needReboot = FALSE;
  if (auto uninstall = difx.function<UninstallProc>("DriverPackageUninstallW"))
    uninstall(infPath.c_str(), 0, nullptr, &needReboot);
}

}  // namespace

void installPackage(const WideString &infPath) {
  Library setupapi(WideString(TEXT("setupapi.dll")));
  auto copyOemInf = setupapi.function<decltype(&SetupCopyOEMInfW)>("SetupCopyOEMInfW");
  if (copyOemInf) {
    // The files the INF names lie beside it.
    size_t slash = infPath.find_last_of(WCHAR('\\'));
    WideString location = slash == WideString::npos ? WideString() : infPath.substr(0, slash + 1);
    if (copyOemInf(infPath.c_str(), location.empty() ? nullptr : location.c_str(), SPOST_PATH, 0, nullptr, 0, nullptr,
                   nullptr))
      return;
  }
  preinstallWithDifx(infPath);
}

void uninstallPackage(const WideString &infPath) {
  Library setupapi(WideString(TEXT("setupapi.dll")));
  auto uninstallOemInf = setupapi.function<UninstallOemInfProc>("SetupUninstallOEMInfW");
  if (uninstallOemInf && uninstallPackageOemInfs(uninstallOemInf)) return;
  uninstallWithDifx(infPath);
}

}  // namespace card::setup
