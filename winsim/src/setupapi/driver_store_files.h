// The files of the driver store besides the INF copies: the precompiled
// oemN.PNF beside each, and the package folders of the file repository.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

namespace winsim::setup {

// What a PNF keeps of its INF: where the INF's files came from (a path or
// URL, empty for none) and the INF's own file name before it became
// oemN.inf.
struct PnfRecord {
  std::u16string sourceLocation;
  std::u16string originalName;
};
bool writePnf(const std::u16string &path, const PnfRecord &record);
bool readPnf(const std::u16string &path, PnfRecord &record);

// The repository folder of a package: "<inf name>_<architecture>_<hash of
// the INF>" under the file repository, the INF name in lower case.
std::u16string repositoryFolderFor(const std::u16string &infName, const std::vector<uint8_t> &infBytes);
// Deletes a folder with everything in it; nothing when it is not there.
void removeTree(const std::u16string &folder);
// Makes a folder and the folders on the way to it.
bool makeFolders(const std::u16string &folder);

}  // namespace winsim::setup
