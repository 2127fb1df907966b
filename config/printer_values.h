// The module's own printer-data values: DWORDs under one key.
#pragma once

#include <windows.h>

namespace card::cfg {

// Printer-data key of every value this module keeps.
#define CARDCFG_VALUE_KEY TEXT("PELLORVALUE_SETTING")

// "PELLORVALUE_SETTING" DWORD values.
bool readValue(HANDLE printer, LPCWSTR name, DWORD &value);
bool writeValue(HANDLE printer, LPCWSTR name, DWORD value);

}  // namespace card::cfg
