// Helpers the cases share: scratch places on disk and in the registry, and
// the few conversions that keep the cases free of either platform's types.
#pragma once

#include <windows.h>

#include <string>

namespace conf {

using WString = std::basic_string<WCHAR>;

// Several winspool calls take LPWSTR for text they only read.
inline LPWSTR mut(LPCWSTR s) { return const_cast<LPWSTR>(s); }

// A fresh, empty folder for the running case, below the temp folder
// (ending with a backslash).
WString scratchDir();

// Removes a folder and everything in it; true when it is gone.
bool removeTree(const WString &dir);

// Writes or reads a whole file; false when that failed.
bool writeFile(const WString &path, const void *data, DWORD size);
bool readFile(const WString &path, std::string &out);

// The folder of the running program (ending with a backslash), where the
// build puts the printer driver module the spooler cases install.
WString programDir();

// The suite's registry scratch key below HKEY_CURRENT_USER.
#define CONF_REG_ROOT TEXT("Software\\WinsimConformance")

}  // namespace conf
