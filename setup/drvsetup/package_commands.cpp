#include "setup/drvsetup/package_commands.h"

#include <setupapi.h>

#include "setup/shared/driver_packages.h"
#include "setup/shared/loaded_library.h"
#include "setup/shared/oem_infs.h"

namespace card::setup {

void installPackage(const WString &infPath) {
  LoadedLibrary setupapi(WString(TEXT("setupapi.dll")));
  auto copyOemInf = setupapi.function<decltype(&SetupCopyOEMInfW)>("SetupCopyOEMInfW");
  if (copyOemInf) {
    // The files the INF names lie beside it.
    size_t slash = infPath.find_last_of(WCHAR('\\'));
    WString location = slash == WString::npos ? WString() : infPath.substr(0, slash + 1);
    if (copyOemInf(infPath.c_str(), location.empty() ? nullptr : location.c_str(), SPOST_PATH, 0, nullptr, 0, nullptr,
                   nullptr))
      return;
  }
  preinstallDriverPackage(infPath);
}

void uninstallPackage(const WString &infPath) {
  LoadedLibrary setupapi(WString(TEXT("setupapi.dll")));
  auto uninstallOemInf = setupapi.function<UninstallOemInfProc>("SetupUninstallOEMInfW");
  if (uninstallOemInf && uninstallPackageOemInfs(uninstallOemInf)) return;
  uninstallDriverPackage(infPath);
}

}  // namespace card::setup
