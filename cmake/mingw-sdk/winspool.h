// mingw-w64's winspool.h, mended to the SDK: it names OpenPrinter2W's options
// PRINTER_OPTIONS only, and numbers the option flags 0, 1, 2 where the SDK's
// are the bit values 1, 2, 4, 8 (a driver asking for PRINTER_OPTION_NO_CACHE
// would pass 0, "no option").  The flags are redefined as the SDK's values.
#pragma once

#include_next <winspool.h>

typedef PRINTER_OPTIONS PRINTER_OPTIONSW, *PPRINTER_OPTIONSW;

#undef PRINTER_OPTION_NO_CACHE
#undef PRINTER_OPTION_CACHE
#undef PRINTER_OPTION_CLIENT_CHANGE
#define PRINTER_OPTION_NO_CACHE 1
#define PRINTER_OPTION_CACHE 2
#define PRINTER_OPTION_CLIENT_CHANGE 4
#define PRINTER_OPTION_NO_CLIENT_DATA 8
