// A module that must not stay behind after it ran once from rundll32: it
// writes a batch file that waits until the module's file can be deleted,
// deletes it, and then deletes itself; and starts it hidden.
#pragma once

#include <windows.h>

namespace card::setup {

// "SelfDel.bat" in the user's temporary folder for the file of `module`.
// False when the batch file cannot be written or started; the module's file
// then stays.
bool deleteModuleFileAfterExit(HMODULE module);

}  // namespace card::setup
