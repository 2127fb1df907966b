// The system's folders, and taking files and folders of the package away.
#pragma once

#include <windows.h>

#include "setup/shared/wide_text.h"

namespace card::setup {

// Each whole, however long; empty when the system does not tell it.
WString systemFolder();
WString windowsFolder();  // the system's Windows directory, also under terminal services
WString tempFolder();     // with its final backslash, as the system gives it
WString printerDriverFolder(LPCWSTR environment);
WString moduleFile(HMODULE module);

// Clears the read-only mark and deletes the file; false when it stays (a
// missing file, or a folder of that name, is left alone).
bool deleteFileMadeWritable(const WString &path);
// Removes the folder with everything in it, depth first, and stops at the
// first entry that cannot be removed (the folder then stays).  A link to a
// folder elsewhere is removed as a link: what it points to is not the
// package's.  False when the folder stays.
bool removeFolderTree(const WString &folder);

}  // namespace card::setup
