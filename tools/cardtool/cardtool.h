// cardtool: the driver's printer tools from a command line, for people who
// script card printers.  It says to the printer exactly what the tools
// dialogs say, through the same functions of the configuration module: the
// spooler hands every command to the port's language monitor, USB or network.
// The program's main hands its arguments and a console to cardToolMain; a
// test or the demo can call it the same way.
#pragma once

#include <windows.h>

#include "tools/cardtool/options.h"
#include "tools/console/console.h"

namespace cardtool {

using Console = cardtools::Console;

// Exit status: see options.h (ExitCode).
int cardToolMain(int argc, LPCWSTR const *argv, Console &console);

}  // namespace cardtool
