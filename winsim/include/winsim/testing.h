// Test control of the simulated machine: what a test sets up before the code
// under test runs, and what it reads back afterwards.  Never used by shipped code.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

namespace winsim {

// Puts the machine back to its initial state: empty registry (with the keys
// every Windows machine has), Windows 10 x64, clock scale 1, no debug output,
// no named objects, the virtual drive at a fresh private directory.
WINSIM_API void resetMachine();

// Host directory that backs the virtual drive C:.  Created when missing.  The
// Windows directory tree (C:\Windows\System32, the spooler's driver folders,
// the temp folder, the all-users folders) is created beneath it.
WINSIM_API void setDriveRoot(const std::string &hostDir);
WINSIM_API std::string driveRoot();

// Host path of a virtual path ("C:\\Windows\\x.ini"), resolved as Windows would
// (case-insensitive).  Empty when the path is not on the virtual drive.
WINSIM_API std::string hostPath(const std::u16string &windowsPath);

// OS version answered by GetVersionExW and the registry's CurrentVersion.
WINSIM_API void setOsVersion(DWORD major, DWORD minor, DWORD build = 0, bool x64 = true);

// Scale of the simulated clock: with a scale of 1000 a Sleep(3850) returns after
// 3.85 ms of real time while GetTickCount advances by 3850.
WINSIM_API void setClockScale(double scale);
WINSIM_API double clockScale();

// Everything given to OutputDebugStringW/A since the last reset or clear, one
// entry per call, as UTF-8.
WINSIM_API std::vector<std::string> debugOutput();
WINSIM_API void clearDebugOutput();

// Registry as REGEDIT4 text.  Import merges into the registry (a "-" before a
// key name deletes that key); export writes the key and everything below it.
WINSIM_API bool importRegistry(const std::string &regedit4Text);
WINSIM_API std::string exportRegistry(const std::u16string &keyPath);

// Name of the running process's image ("spoolsv.exe", "notepad.exe" ...), as
// some modules ask who loaded them.
WINSIM_API void setProcessImageName(const std::u16string &name);

// Conversions for tests.
WINSIM_API std::u16string toUtf16(const std::string &utf8);
WINSIM_API std::string toUtf8(const std::u16string &text);

}  // namespace winsim
