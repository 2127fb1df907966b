#include "setup/shared/oem_infs.h"

#include "setup/shared/file_removal.h"
#include "setup/shared/inf_marker.h"

namespace card::setup {

namespace {

// The first line of the marker section, whole however long it is.
bool hasPackageMarker(const WString &path) {
  HINF inf = SetupOpenInfFileW(path.c_str(), nullptr, INF_STYLE_WIN4, nullptr);
  if (inf == INVALID_HANDLE_VALUE) return false;
  bool marked = false;
  INFCONTEXT line = {};
  WString section = wide(kMarkerSection);
  DWORD required = 0;
  if (SetupFindFirstLineW(inf, section.c_str(), nullptr, &line) &&
      SetupGetLineTextW(&line, nullptr, nullptr, nullptr, nullptr, 0, &required) && required > 0) {
    WString text(required, WCHAR(0));
    if (SetupGetLineTextW(&line, nullptr, nullptr, nullptr, text.data(), required, nullptr))
      marked = isPackageMarkerLine(u16(text.c_str()));
  }
  SetupCloseInfFile(inf);
  return marked;
}

}  // namespace

WString infFolder() {
  WString folder = windowsFolder();
  return folder.empty() ? folder : joinPath(folder, TEXT("INF"));
}

std::vector<WString> packageOemInfs() {
  std::vector<WString> names;
  WString folder = infFolder();
  if (folder.empty()) return names;
  WIN32_FIND_DATAW found = {};
  HANDLE search = FindFirstFileW(joinPath(folder, kOemInfPattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (hasPackageMarker(joinPath(folder, u16(found.cFileName)))) names.emplace_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

void deleteInfAndPrecompiled(const WString &infName) {
  WString folder = infFolder();
  if (folder.empty() || infName.empty()) return;
  deleteFileMadeWritable(joinPath(folder, u16(infName.c_str())));
  std::u16string precompiled = precompiledInfName(u16(infName.c_str()));
  if (!precompiled.empty()) deleteFileMadeWritable(joinPath(folder, precompiled));
}

bool uninstallPackageOemInfs(UninstallOemInfProc uninstall) {
  bool found = false, lastUninstalled = false;
  for (const WString &name : packageOemInfs()) {
    found = true;
    lastUninstalled = uninstall(name.c_str(), SUOI_FORCEDELETE, nullptr) != FALSE;
    if (!lastUninstalled) deleteInfAndPrecompiled(name);
  }
  return found && lastUninstalled;
}

}  // namespace card::setup
