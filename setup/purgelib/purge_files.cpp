// Steps 4 and 5: the package's files and the driver folders of earlier
// versions.
#include <windows.h>
#include <setupapi.h>
#include <shfolder.h>

#include <vector>

#include "setup/purgelib/purge.h"
#include "setup/shared/file_removal.h"
#include "setup/shared/oem_infs.h"
#include "setup/shared/package_names.h"
#include "setup/shared/purge_lists.h"
#include "setup/shared/registry_cleanup.h"
#include "setup/shared/windows_class.h"
#include "setup/shared/loaded_library.h"

namespace card::setup {

namespace {

// The driver directories the package's files may lie in: the x64 one, where
// the package puts them, and the 32-bit one of the same machine.
std::vector<WString> driverFolders() {
  std::vector<WString> folders;
  for (LPCWSTR environment : {TEXT("Windows x64"), TEXT("Windows NT x86")}) {
    WString folder = printerDriverFolder(environment);
    if (!folder.empty()) folders.push_back(folder);
  }
  return folders;
}

bool namedByForeignMonitor(std::u16string_view file, const std::vector<std::u16string> &foreignFiles) {
  for (const std::u16string &foreign : foreignFiles)
    if (equalsAsciiNoCase(file, foreign)) return true;
  return false;
}

// The system directory holds files of the system's own under some of the
// package's names (the USB port monitor's library among them): a file that
// a monitor not of the package names as its library stays.
void deleteSystemFiles() {
  WString system = systemFolder();
  if (system.empty()) return;
  std::vector<std::u16string> foreign = foreignMonitorFiles();
  for (std::u16string_view file : kSystemFolderFiles)
    if (!namedByForeignMonitor(file, foreign)) deleteFileMadeWritable(joinPath(system, file));
}

void deleteInfFolderFiles() {
  WString inf = infFolder();
  if (inf.empty()) return;
  for (std::u16string_view file : kInfFolderFiles) deleteFileMadeWritable(joinPath(inf, file));
}

// The store is asked first, so that it forgets the package as well; the
// files go whatever it answers.
void removePackageOemInfs() {
  LoadedLibrary setupapi(WString(TEXT("setupapi.dll")));
  auto uninstall = setupapi.function<UninstallOemInfProc>("SetupUninstallOEMInfW");
  for (const WString &name : packageOemInfs()) {
    if (uninstall) uninstall(name.c_str(), SUOI_FORCEDELETE, nullptr);
    deleteInfAndPrecompiled(name);
  }
}

void deleteDriverFolderFiles() {
  for (const WString &driverFolder : driverFolders())
    for (std::u16string_view subfolder : kDriverSubfolders) {
      WString folder = joinPath(driverFolder, subfolder);
      for (std::u16string_view file : kDriverFolderFiles) deleteFileMadeWritable(joinPath(folder, file));
    }
}

// Where the language monitors write the file: the all-users documents
// folder from Windows 6 on, the all-users application data folder before.
void deleteRibbonCacheFile() {
  LoadedLibrary shfolder(WString(TEXT("SHFolder.dll")));
  auto getFolderPath = shfolder.function<PFNSHGETFOLDERPATHW>("SHGetFolderPathW");
  WCHAR folder[MAX_PATH] = {};
  int which = windowsClass() >= 14 ? CSIDL_COMMON_DOCUMENTS : CSIDL_COMMON_APPDATA;
  if (getFolderPath && SUCCEEDED(getFolderPath(nullptr, which, nullptr, 0, folder)))
    deleteFileMadeWritable(joinPath(folder, kRibbonCacheFile));
}

}  // namespace

void deletePackageFiles() {
  deleteSystemFiles();
  deleteInfFolderFiles();
  removePackageOemInfs();
  deleteDriverFolderFiles();
  deleteRibbonCacheFile();
}

void removeOldDriverFolders() {
  for (const WString &driverFolder : driverFolders())
    for (std::u16string_view old : kOldDriverFolders) removeFolderTree(joinPath(driverFolder, old));
}

}  // namespace card::setup
