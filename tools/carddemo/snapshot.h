// What the machine holds, taken before the package is installed and again
// after it is uninstalled: the machine's and the user's registry and the
// files of its drive.  The differences that Windows itself leaves behind
// after an uninstall are told apart from the package's.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace carddemo {

struct MachineSnapshot {
  std::set<std::string> keys;                 // "HKEY_LOCAL_MACHINE\\SOFTWARE\\..."
  std::map<std::string, std::string> values;  // "<key>\\\"<name>\"" or "<key>\\@" -> data as exported
  std::set<std::string> files;                // the drive's files and folders, "C:\\Windows\\..."
};

// The machine as it is now.
MachineSnapshot takeSnapshot();

struct Difference {
  std::string what;  // "key added: HKEY_...", "file removed: C:\\..."
  std::string why;   // why Windows leaves it; empty for a difference of the package's
};

// Everything in `after` that was not in `before` and the other way round,
// each difference that Windows itself leaves with the reason why.
std::vector<Difference> compareSnapshots(const MachineSnapshot &before, const MachineSnapshot &after);

// The comparison as a text for people: the differences allowed and why,
// then the others.
std::string comparisonText(const std::vector<Difference> &differences);

}  // namespace carddemo
