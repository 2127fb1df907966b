#include "setup/shared/driver_packages.h"

#include <difxapi.h>

#include "setup/shared/file_removal.h"
#include "setup/shared/loaded_library.h"

namespace card::setup {

namespace {

WString difxapiPath() {
  WString folder = systemFolder();
  return folder.empty() ? folder : joinPath(folder, TEXT("difxapi.dll"));
}

}  // namespace

bool preinstallDriverPackage(const WString &infPath) {
  LoadedLibrary difx(difxapiPath());
  auto preinstall = difx.function<decltype(&DriverPackagePreinstallW)>("DriverPackagePreinstallW");
  if (!preinstall) return false;
  preinstall(infPath.c_str(), 0);
  return true;
}

bool uninstallDriverPackage(const WString &infPath) {
  LoadedLibrary difx(difxapiPath());
  auto uninstall = difx.function<decltype(&DriverPackageUninstallW)>("DriverPackageUninstallW");
  if (!uninstall) return false;
  BOOL needReboot = FALSE;
  uninstall(infPath.c_str(), 0, nullptr, &needReboot);
  return true;
}

}  // namespace card::setup
