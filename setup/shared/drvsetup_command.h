// drvsetup's command line: "<file>,<command>", and the exit code that the
// installer reads back.  Pure text rules, no Windows calls.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace card::setup {

// Longest file part, in characters: a longer one is no path the system's
// calls take, and a shortened one could name another file.
inline constexpr size_t kDrvsetupFileChars = 260;

enum class DrvsetupAction {
  None,                   // nothing is done
  InstallPackage,         // "InstallPackage": the INF into the driver store
  UninstallPackage,       // "UnInstallPackage": the package's INF files out of it
  DeleteUsbPrintEntries,  // "DeleteUSBPrintEntries": the USB printer devices
};

struct DrvsetupCommand {
  DrvsetupAction action = DrvsetupAction::None;
  std::u16string file;  // the file part, as given
  int exitCode = 0;
};

// Reads the text after the program's name.  The file part runs up to the
// last comma (a folder name may hold one; the command words never do); no
// blank around the comma is removed.  No comma, or a file part that is empty
// or one blank: nothing to do and exit code 0.  Otherwise the exit code is 1
// whatever happens, and the command word (any letter case) picks the action;
// an unknown word, or a file part longer than kDrvsetupFileChars, does
// nothing.
DrvsetupCommand parseDrvsetupCommand(std::u16string_view commandLine);

}  // namespace card::setup
