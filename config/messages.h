// Messages: boxes for the user (system-modal, in front and topmost where the
// spooler shows them) and text for the debugger.
#pragma once

#include <windows.h>

namespace card::cfg {

// Information box built from literal text.
int infoBox(HWND owner, LPCWSTR text);
// Warning box without an owner, system-modal, in front and topmost.
int warningBox(LPCWSTR text, LPCWSTR caption);
// Error box whose caption and text come by number from the message library.
int errorBox(UINT captionId, UINT textId, UINT flags);

void debugPrint(LPCWSTR format, ...);

}  // namespace card::cfg
