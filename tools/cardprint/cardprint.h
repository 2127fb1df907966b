// cardprint: prints ID cards through GDI on a card printer, the way any
// Windows application does: CreateDC with the job's DEVMODE, StartDoc, one
// page per card side, EndDoc.  The program's main hands its arguments and a
// console to cardPrintMain; a test or the demo can call it the same way.
#pragma once

#include <windows.h>

#include "tools/console/console.h"

namespace cardprint {

// Where the program's messages go: the user's console, or a test's buffer.
using Console = cardtools::Console;

// Exit status: 0 printed, 1 nothing printed (a picture, the printer or the
// driver failed), 2 wrong usage.
enum ExitCode { kExitPrinted = 0, kExitFailed = 1, kExitUsage = 2 };

int cardPrintMain(int argc, LPCWSTR const *argv, Console &console);

}  // namespace cardprint
