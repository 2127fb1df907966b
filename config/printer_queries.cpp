#include "config/printer_queries.h"

#include <winspool.h>

#include <iterator>

#include "config/module_state.h"
#include "shared/query_command.h"
#include "shared/status_commands.h"

namespace card::cfg {

bool queryPrinter(HANDLE printer, std::string_view command, BYTE *reply, size_t capacity, size_t &length) {
  length = 0;
  if (!printer) return false;
  WCHAR name[64];
  if (!encodeQueryCommand(command.data(), command.size(), name, std::size(name))) return false;
  DWORD type = 0, needed = 0;
  DWORD st = GetPrinterDataW(printer, name, &type, reply, DWORD(capacity), &needed);
  if (st != ERROR_SUCCESS || needed > capacity) return false;
  length = needed;
  return true;
}

const char *readModelText(HANDLE printer) {
  BYTE reply[kModelTextBytes];
  size_t n = 0;
  if (!queryPrinter(printer, status::kCmdVersion, reply, sizeof reply, n)) n = 0;
  ModuleState &st = state();
  modelTextFromReply(reply, n, st.modelText, sizeof st.modelText);
  return st.modelText;
}

PrinterEquipment queryEquipment(HANDLE printer) {
  PrinterEquipment eq;
  BYTE reply[32];
  size_t n = 0;
  if (!queryPrinter(printer, "\x1b!V 20\r", reply, sizeof reply, n)) return eq;
  readEncoderReply(reply, n, eq);
  BYTE ribbon[32];
  if (queryPrinter(printer, status::kCmdRibbon, ribbon, sizeof ribbon, n)) readRibbonReply(ribbon, n, eq);
  return eq;
}

}  // namespace card::cfg
