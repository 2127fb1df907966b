// Questions to the printer: query commands through the spooler and the
// port's language monitor.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string_view>

#include "config/exchange.h"

namespace card::cfg {

// Sends a query command; the reply's bytes (at most `capacity`) in `reply`.
// False when the printer gave no reply.
bool queryPrinter(HANDLE printer, std::string_view command, BYTE *reply, size_t capacity, size_t &length);

// The model text from the version reply, also kept in the module state;
// empty when the printer did not answer.
const char *readModelText(HANDLE printer);

// Encoder and ribbon, as the card setup sheet asks for them when it opens.
PrinterEquipment queryEquipment(HANDLE printer);

}  // namespace card::cfg
