// The driver calls' work, shared by their wide and ANSI forms.
#pragma once

#include <string>

#include "spoolss/spooler_state.h"
#include "winspool/records.h"

namespace winsim::spool {

// The fixed size of DRIVER_INFO_<level> (0 for a level not kept).
size_t driverRecordSize(DWORD level);
// A driver as DRIVER_INFO_1 to 4 describe it, its text wide or ANSI.
Record driverRecord(const DriverInfo &d, DWORD level, bool ansi);
// EnumPrinterDrivers: `environment` may be "all"; a NULL one is this
// machine's.
BOOL enumDrivers(const std::u16string &environment, bool nullEnvironment, DWORD level, LPBYTE out, DWORD cb,
                 LPDWORD needed, LPDWORD returned, bool ansi);
// DeletePrinterDriverEx (DeletePrinterDriver with no flags).
BOOL deleteDriver(const std::u16string &environment, bool nullEnvironment, const std::u16string &driver, DWORD flags,
                  DWORD version);

}  // namespace winsim::spool
