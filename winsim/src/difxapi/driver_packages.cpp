// difxapi.dll: a driver package staged in the driver store and taken out
// again.  Staging puts the INF into the INF folder as SetupCopyOEMInf does,
// and the INF with its catalog and every file its [SourceDisksFiles] name
// into the package's folder of the file repository, laid out as beside the
// INF.  Uninstalling takes all of it out again; devices installed from the
// package lose their driver.
#include <difxapi.h>
#include <setupapi.h>

#include "core/internal.h"
#include "setupapi/devices.h"
#include "setupapi/driver_store.h"
#include "setupapi/driver_store_files.h"
#include "setupapi/inf_files.h"

namespace winsim::difx {

namespace {

using namespace winsim::setup;

// The lines of a section and of its architecture's decorated form.
std::vector<const InfLine *> linesOf(const InfText &inf, const std::u16string &section) {
  std::vector<const InfLine *> lines;
  for (const std::u16string &name : {section, section + u"." + machineArchitecture()})
    if (const InfSection *s = inf.section(name))
      for (const InfLine &l : s->lines) lines.push_back(&l);
  return lines;
}

std::u16string joined(const std::u16string &folder, const std::u16string &part) {
  std::u16string p = part;
  while (!p.empty() && (p[0] == u'\\' || p[0] == u'/')) p.erase(0, 1);
  if (p.empty() || p == u".") return folder;
  return folder.empty() ? p : folder + u"\\" + p;
}

// The catalog [Version] names for this architecture; empty when none.
std::u16string catalogOf(const InfText &inf) {
  std::u16string catalog = inf::versionValue(inf, u"CatalogFile.NT" + machineArchitecture());
  if (catalog.empty()) catalog = inf::versionValue(inf, u"CatalogFile.NT");
  if (catalog.empty()) catalog = inf::versionValue(inf, u"CatalogFile");
  return catalog;
}

bool hasCatalog(const InfText &inf) { return !catalogOf(inf).empty(); }

// The package's files by their path relative to the INF's folder: the
// catalog first, then the files of [SourceDisksFiles], each in its disk's
// folder ([SourceDisksNames] field 4) and its own subfolder.
std::vector<std::u16string> packageFiles(const InfText &inf) {
  std::vector<std::u16string> files;
  if (hasCatalog(inf)) files.push_back(catalogOf(inf));
  std::vector<const InfLine *> disks = linesOf(inf, u"SourceDisksNames");
  for (const InfLine *l : linesOf(inf, u"SourceDisksFiles")) {
    if (!l->hasKey || l->key.empty()) continue;
    std::u16string folder;
    std::u16string disk = l->fields.empty() ? std::u16string() : l->fields[0];
    for (const InfLine *d : disks)
      if (d->hasKey && equalsNoCase(d->key, disk) && d->fields.size() >= 4) folder = d->fields[3];
    if (l->fields.size() >= 2) folder = joined(folder, l->fields[1]);
    files.push_back(joined(folder, l->key));
  }
  return files;
}

DWORD stageFiles(const std::u16string &infPath, const std::vector<uint8_t> &bytes,
                 const std::vector<std::u16string> &files) {
  std::u16string repository = repositoryFolderFor(fileNameOf(infPath), bytes);
  if (!makeFolders(repository)) return GetLastError();
  std::u16string source = folderOf(infPath);
  std::vector<std::u16string> all = files;
  all.push_back(fileNameOf(infPath));
  for (const std::u16string &file : all) {
    std::u16string to = repository + u"\\" + file;
    if (!makeFolders(folderOf(to))) return GetLastError();
    if (!CopyFileW((source + u"\\" + file).c_str(), to.c_str(), FALSE)) return GetLastError();
  }
  return NO_ERROR;
}

DWORD preinstall(const std::u16string &path, DWORD flags) {
  std::u16string infPath = fullPath(path);
  InfText inf;
  std::vector<uint8_t> bytes;
  DWORD error = 0;
  if (!loadInf(infPath, inf, error, &bytes)) return error;
  if (!inf::isWin4Style(inf)) return ERROR_WRONG_INF_STYLE;
  std::vector<std::u16string> files = packageFiles(inf);
  for (size_t i = 0; i < files.size(); ++i) {
    std::u16string file = folderOf(infPath) + u"\\" + files[i];
    // The catalog comes first: one that is missing or empty signs nothing.
    std::vector<uint8_t> catalog;
    if (i == 0 && hasCatalog(inf) && (!readDriveFile(file, catalog) || catalog.empty()))
      return ERROR_INVALID_CATALOG_DATA;
    if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) return ERROR_FILE_NOT_FOUND;
  }
  if ((flags & DRIVER_PACKAGE_ONLY_IF_DEVICE_PRESENT) &&
      !presentDeviceMatches(inf::modelIds(inf, machineArchitecture())))
    return ERROR_NO_SUCH_DEVINST;
  if (!storedInfWithContents(bytes).empty() && !(flags & DRIVER_PACKAGE_REPAIR)) return ERROR_ALREADY_EXISTS;
  std::u16string name;
  error = copyOemInf(infPath, u"", SPOST_PATH, 0, name);
  if (error != NO_ERROR) return error;
  error = stageFiles(infPath, bytes, files);
  if (error != NO_ERROR) uninstallOemInf(name, SUOI_FORCEDELETE);
  return error;
}

// The stored oemN.inf of a package: the INF folder's own path, or the one
// with the same bytes as the package's INF.
DWORD storedNameOf(const std::u16string &path, std::u16string &name) {
  std::u16string infPath = fullPath(path);
  std::vector<uint8_t> bytes;
  if (equalsNoCase(folderOf(infPath), kInfFolder) && readDriveFile(infPath, bytes)) {
    name = fileNameOf(infPath);
    return NO_ERROR;
  }
  if (!readDriveFile(infPath, bytes)) return GetLastError();
  name = storedInfWithContents(bytes);
  return name.empty() ? ERROR_DRIVER_PACKAGE_NOT_IN_STORE : NO_ERROR;
}

}  // namespace

}  // namespace winsim::difx

using namespace winsim;
using namespace winsim::difx;

extern "C" {

DWORD WINAPI DriverPackagePreinstallW(PCWSTR DriverPackageInfPath, DWORD Flags) {
  if (!DriverPackageInfPath || !*DriverPackageInfPath) return ERROR_INVALID_PARAMETER;
  return preinstall(DriverPackageInfPath, Flags);
}

DWORD WINAPI DriverPackageUninstallW(PCWSTR DriverPackageInfPath, DWORD Flags, PCINSTALLERINFO_W pInstallerInfo,
                                     BOOL *pNeedReboot) {
  (void)Flags;
  (void)pInstallerInfo;
  if (pNeedReboot) *pNeedReboot = FALSE;
  if (!DriverPackageInfPath || !*DriverPackageInfPath) return ERROR_INVALID_PARAMETER;
  std::u16string name;
  DWORD error = storedNameOf(DriverPackageInfPath, name);
  if (error != NO_ERROR) return error;
  return setup::uninstallOemInf(name, SUOI_FORCEDELETE);
}

DWORD WINAPI DriverPackageGetPathW(PCWSTR DriverPackageInfPath, PWSTR pDestInfPath, DWORD *pNumOfChars) {
  if (!DriverPackageInfPath || !*DriverPackageInfPath || !pNumOfChars) return ERROR_INVALID_PARAMETER;
  std::u16string name;
  DWORD error = storedNameOf(DriverPackageInfPath, name);
  if (error != NO_ERROR) return error;
  std::u16string dest = std::u16string(setup::kInfFolder) + u"\\" + name;
  DWORD size = *pNumOfChars;
  *pNumOfChars = DWORD(dest.size() + 1);
  if (!pDestInfPath || size < dest.size() + 1) return ERROR_INSUFFICIENT_BUFFER;
  std::copy(dest.begin(), dest.end(), pDestInfPath);
  pDestInfPath[dest.size()] = 0;
  return NO_ERROR;
}

}  // extern "C"
