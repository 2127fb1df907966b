// The check of a print server's driver against this module.
#pragma once

#include <windows.h>
#include <winspool.h>

namespace card::cfg {

// Warns when the print server's driver is of another version than this
// module.  Only for printers on a print server, before Windows 6.
void serverVersionCheck(HANDLE printer, const PRINTER_INFO_2W *info);

}  // namespace card::cfg
