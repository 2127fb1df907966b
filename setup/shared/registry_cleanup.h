// The package's keys in the local-machine hive, taken away with everything
// below them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "setup/shared/wide_text.h"

namespace card::setup {

// Deletes the key and its tree.  An empty path (a name that could not be
// one key's) deletes nothing.
void deleteMachineTree(std::u16string_view path);
// Under the spooler's Printers key, every subkey whose name holds one of the
// package's marks, walked from the last to the first for each mark in turn.
void deleteMarkedPrinterKeys();
// The "Driver" files of the monitors that are not the package's: a file of
// the package's name that one of them names is the system's or another
// vendor's, and stays.
std::vector<std::u16string> foreignMonitorFiles();
// The driver key of the environment bearing a printer's name, unless a
// driver of that name that is not the package's is installed (the key is
// then that driver's).
void deleteDriverKeyNamedLikePrinter(const WString &printerName);

}  // namespace card::setup
