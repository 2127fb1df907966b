// The version stamp updater's exports.  UpdateVersionInfo runs once after an
// update of the package, from rundll32; the others are placeholders kept
// for callers of earlier versions and do nothing of use.
#pragma once

#include <windows.h>

#ifdef _WIN32
#define VERSTAMP_EXPORT
#else
#define VERSTAMP_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

// Stamps every package printer's default settings, then arranges for this
// library's file to be deleted once it is unloaded.  Always 0.
VERSTAMP_EXPORT int CALLBACK UpdateVersionInfo(HWND window, HINSTANCE instance, LPSTR commandLine, int show);
VERSTAMP_EXPORT int WINAPI fnVSUpdateVersionInfo();
VERSTAMP_EXPORT extern int nVSUpdateVersionInfo;

}  // extern "C"
