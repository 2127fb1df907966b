// The glue's own text: strings of the Windows API's WCHAR (wchar_t in the
// Windows build, char16_t on winsim), one name for every deliverable.
#pragma once

#include <windows.h>

#include <string>

namespace card {

using WString = std::basic_string<WCHAR>;

}  // namespace card
