// Which Windows the installation modules run on: the version class that
// chooses environments and file layouts, and the printer environment names.
#pragma once

#include <windows.h>

namespace card::setup {

// 1-3 for the 9x family, 9 for NT 3.51, 10 for NT 4, 11-13 for 5.0-5.2, 14
// for anything after, 0 otherwise.
int windowsClass();
// Whether the processor the system runs on natively is an x64 one
// (GetNativeSystemInfo, looked up at run time).
bool sixtyFourBitSystem();
// "Windows x64" or "Windows NT x86".
LPCWSTR driverEnvironment();
// As driverEnvironment, but "Windows 4.0" before NT 4: the environment that
// driver and monitor deletions name.
LPCWSTR deletionEnvironment();

}  // namespace card::setup
