// What the folders above kernel32 need of its threads: the calling thread's
// id and whether TerminateThread has been called for it, so that a wait of
// their own (a message box waiting for its user) ends as winsim's waits do.
#pragma once

#include <windows.h>

namespace winsim {

DWORD currentTid();
// True when TerminateThread has been called for the calling thread (always
// false for threads that winsim did not create, such as a test's own).
bool terminationRequested();
// Ends the calling thread with the code TerminateThread gave, when it was
// called for it; returns otherwise.  Call it with no lock held.
void checkTermination();

}  // namespace winsim
