#include "config/printer_values.h"

#include <winspool.h>

namespace card::cfg {

bool readValue(HANDLE printer, LPCWSTR name, DWORD &value) {
  DWORD type = 0, needed = 0, v = 0;
  DWORD st =
      GetPrinterDataExW(printer, CARDCFG_VALUE_KEY, name, &type, reinterpret_cast<BYTE *>(&v), sizeof v, &needed);
  if (st != ERROR_SUCCESS || needed != sizeof v) return false;
  value = v;
  return true;
}

bool writeValue(HANDLE printer, LPCWSTR name, DWORD value) {
  return SetPrinterDataExW(printer, CARDCFG_VALUE_KEY, name, REG_DWORD, reinterpret_cast<BYTE *>(&value),
                           sizeof value) == ERROR_SUCCESS;
}

}  // namespace card::cfg
