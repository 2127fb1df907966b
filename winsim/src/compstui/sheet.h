// The common property sheet UI inside compstui: the sheets the scripted user
// has seen, for the pictures.
#pragma once

#include <string>

#include <windows.h>
#include <winsim/testing.h>

namespace winsim::cpsui {

// A copy of the last sheet whose title contains `title`; false when none.
bool findShownSheet(const std::u16string &title, ShownSheet &out);

}  // namespace winsim::cpsui
