// The tray program's rules that need no system: how its command line is
// read, which printers are the package's, and how it compares names.
#pragma once

#include <windows.h>

#include <cstddef>

namespace card::notify {

// Longest printer name the command line may carry, in characters.
constexpr size_t kCommandLinePrinterChars = 260;

enum class TrayStart {
  Normal,       // no argument, or nothing usable as a printer name
  KillProcess,  // only close a running instance
  Printer,      // watch the printer named on the command line too
};

struct TrayArguments {
  TrayStart start = TrayStart::Normal;
  WCHAR printer[kCommandLinePrinterChars + 1] = {};  // set for TrayStart::Printer
};

// Reads the text after the program's name.  "KillProcess" in any ASCII case
// asks to close a running instance.  Anything else names a printer: the bare
// name or "\\server\name", either optionally followed by ",further text".
// Printer names hold neither backslashes nor commas, so the name is the text
// after the last backslash (the third one at most) before the first comma.
// An empty name, or one longer than kCommandLinePrinterChars, can name no
// printer and gives a normal start.
TrayArguments parseTrayArguments(LPCWSTR commandLine);

// Equal texts when the ASCII letters A to Z are taken without case; every
// other character, letters beyond ASCII included, must match exactly.  A null
// text is empty.
bool equalsAsciiNoCase(LPCWSTR a, LPCWSTR b);

// One of the four driver names that mark the package's printers.
bool isPackageDriver(LPCWSTR driverName);

}  // namespace card::notify
