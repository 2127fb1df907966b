// The driver store: SetupCopyOEMInf puts an INF into the INF folder as
// oemN.inf (the first free N) with its precompiled oemN.PNF beside it, which
// keeps where the INF came from; an INF already there (the same bytes) is
// not copied twice.  SetupUninstallOEMInf takes an oem*.inf out again, with
// its PNF and the package's folder in the file repository, unless a device
// was installed from it.
#include "setupapi/driver_store.h"

#include <cstdio>

#include "core/internal.h"
#include "setupapi/devices.h"
#include "setupapi/driver_store_files.h"
#include "setupapi/inf_files.h"

namespace winsim::setup {

namespace {

bool exists(const std::u16string &path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::u16string pnfNameOf(const std::u16string &infName) { return infName.substr(0, infName.size() - 4) + u".PNF"; }

bool isOemInfName(const std::u16string &name) {
  if (name.size() < 8 || name.find_first_of(u"\\/:") != std::u16string::npos) return false;
  std::u16string u = upper(name);
  if (u.rfind(u"OEM", 0) != 0 || u.substr(u.size() - 4) != u".INF") return false;
  for (size_t i = 3; i < u.size() - 4; ++i)
    if (u[i] < u'0' || u[i] > u'9') return false;
  return true;
}

std::u16string firstFreeOemName() {
  for (unsigned n = 0;; ++n) {
    std::string digits = std::to_string(n);
    std::u16string name = u"oem" + std::u16string(digits.begin(), digits.end()) + u".inf";
    std::u16string path = std::u16string(kInfFolder) + u"\\" + name;
    if (!exists(path) && !exists(pnfNameOf(path))) return name;
  }
}

}  // namespace

std::u16string machineArchitecture() { return osVersion().x64 ? u"amd64" : u"x86"; }

std::vector<std::u16string> storedOemInfs() {
  std::vector<std::u16string> names;
  WIN32_FIND_DATAW found{};
  HANDLE f = FindFirstFileW((std::u16string(kInfFolder) + u"\\oem*.inf").c_str(), &found);
  if (f == INVALID_HANDLE_VALUE) return names;
  do {
    std::u16string name = found.cFileName;
    if (isOemInfName(name)) names.push_back(name);
  } while (FindNextFileW(f, &found));
  FindClose(f);
  return names;
}

std::u16string storedInfWithContents(const std::vector<uint8_t> &bytes) {
  for (const std::u16string &name : storedOemInfs()) {
    std::vector<uint8_t> stored;
    if (readDriveFile(std::u16string(kInfFolder) + u"\\" + name, stored) && stored == bytes) return name;
  }
  return {};
}

DWORD copyOemInf(const std::u16string &source, const std::u16string &mediaLocation, DWORD mediaType, DWORD style,
                 std::u16string &name) {
  std::vector<uint8_t> bytes;
  InfText inf;
  DWORD error = 0;
  if (!loadInf(source, inf, error, &bytes)) return error;
  if (!inf::isWin4Style(inf)) return ERROR_WRONG_INF_STYLE;
  // Where the INF's files are to be found later: a path given, or the
  // INF's own folder.
  std::u16string location;
  if (mediaType == SPOST_PATH) location = mediaLocation.empty() ? folderOf(source) : mediaLocation;
  if (mediaType == SPOST_URL) location = mediaLocation;

  name = storedInfWithContents(bytes);
  if (!name.empty()) {
    if (style & SP_COPY_NOOVERWRITE) return ERROR_FILE_EXISTS;
  } else {
    if (style & SP_COPY_REPLACEONLY) return ERROR_FILE_NOT_FOUND;
    CreateDirectoryW(kInfFolder, nullptr);
    name = firstFreeOemName();
    if (!CopyFileW(source.c_str(), (std::u16string(kInfFolder) + u"\\" + name).c_str(), TRUE)) return GetLastError();
  }
  writePnf(std::u16string(kInfFolder) + u"\\" + pnfNameOf(name), {location, fileNameOf(source)});
  if (style & SP_COPY_DELETESOURCE) DeleteFileW(source.c_str());
  return NO_ERROR;
}

DWORD uninstallOemInf(const std::u16string &name, DWORD flags) {
  if (!isOemInfName(name)) return ERROR_INVALID_PARAMETER;
  std::u16string path = std::u16string(kInfFolder) + u"\\" + name;
  std::vector<uint8_t> bytes;
  if (!readDriveFile(path, bytes)) return GetLastError();
  if (!(flags & SUOI_FORCEDELETE) && infInUse(name)) return ERROR_INF_IN_USE_BY_DEVICES;
  dropDriversOf(name);
  std::u16string pnf = std::u16string(kInfFolder) + u"\\" + pnfNameOf(name);
  PnfRecord record;
  if (readPnf(pnf, record) && !record.originalName.empty()) removeTree(repositoryFolderFor(record.originalName, bytes));
  if (!DeleteFileW(path.c_str())) return GetLastError();
  DeleteFileW(pnf.c_str());
  return NO_ERROR;
}

std::u16string storedInfFor(const std::vector<std::u16string> &deviceIds) {
  for (const std::u16string &name : storedOemInfs()) {
    InfText inf;
    DWORD error = 0;
    if (!loadInf(std::u16string(kInfFolder) + u"\\" + name, inf, error)) continue;
    for (const std::u16string &id : inf::modelIds(inf, machineArchitecture()))
      for (const std::u16string &mine : deviceIds)
        if (equalsNoCase(id, mine)) return name;
  }
  return {};
}

}  // namespace winsim::setup

using namespace winsim;
using namespace winsim::setup;

extern "C" {

BOOL WINAPI SetupCopyOEMInfW(PCWSTR SourceInfFileName, PCWSTR OEMSourceMediaLocation, DWORD OEMSourceMediaType,
                             DWORD CopyStyle, PWSTR DestinationInfFileName, DWORD DestinationInfFileNameSize,
                             PDWORD RequiredSize, PWSTR *DestinationInfFileNameComponent) {
  if (!SourceInfFileName || !*SourceInfFileName || OEMSourceMediaType >= SPOST_MAX)
    return failedWith(ERROR_INVALID_PARAMETER);
  if (!DestinationInfFileName && DestinationInfFileNameSize) return failedWith(ERROR_INVALID_PARAMETER);
  std::u16string name;
  DWORD error = copyOemInf(fullPath(SourceInfFileName), OEMSourceMediaLocation ? OEMSourceMediaLocation : u"",
                           OEMSourceMediaType, CopyStyle, name);
  if (error != NO_ERROR && error != ERROR_FILE_EXISTS) return failedWith(error);
  // The destination is handed out also when it was there already.
  std::u16string dest = std::u16string(kInfFolder) + u"\\" + name;
  if (!giveText(dest, DestinationInfFileName, DestinationInfFileNameSize, RequiredSize)) return FALSE;
  if (DestinationInfFileName && DestinationInfFileNameComponent)
    *DestinationInfFileNameComponent = DestinationInfFileName + (dest.size() - name.size());
  if (error != NO_ERROR) return failedWith(error);
  return succeeded();
}

BOOL WINAPI SetupUninstallOEMInfW(PCWSTR InfFileName, DWORD Flags, PVOID Reserved) {
  if (!InfFileName || Reserved) return failedWith(ERROR_INVALID_PARAMETER);
  DWORD error = uninstallOemInf(InfFileName, Flags);
  return error == NO_ERROR ? succeeded() : failedWith(error);
}

BOOL WINAPI SetupUninstallOEMInfA(PCSTR InfFileName, DWORD Flags, PVOID Reserved) {
  if (!InfFileName) return failedWith(ERROR_INVALID_PARAMETER);
  std::u16string name = fromAnsi(InfFileName);
  return SetupUninstallOEMInfW(name.c_str(), Flags, Reserved);
}

}  // extern "C"
