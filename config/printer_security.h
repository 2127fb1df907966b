// The printer's security set-up, done once when the printer is initialised.
#pragma once

#include <windows.h>

namespace card::cfg {

// Lets everyone manage documents and the printer (see printer_security.cpp).
void initSecurity(LPCWSTR printerName);

}  // namespace card::cfg
