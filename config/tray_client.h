// The tray client, started in the console user's session.
#pragma once

#include <windows.h>

namespace card::cfg {

// Starts the tray client in the console user's session.
void startTrayClient(LPCWSTR printerName);

}  // namespace card::cfg
