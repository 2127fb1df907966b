// What the folders above kernel32 need of its threads: the calling thread's
// id and whether TerminateThread has been called for it, so that a wait of
// their own (a message box waiting for its user) ends as winsim's waits do.
#pragma once

#include <memory>

#include <windows.h>

#include "core/internal.h"

namespace winsim {

DWORD currentTid();
// True when TerminateThread has been called for the calling thread (always
// false for threads that winsim did not create, such as a test's own).
bool terminationRequested();
// Ends the calling thread with the code TerminateThread gave, when it was
// called for it; returns otherwise.  Call it with no lock held.
void checkTermination();
// Starts a thread that belongs to `process` (CreateThread starts one in the
// caller's): the spooler's threads that call into a program's objects run
// in that program's process, as the calls an RPC server makes do.
HANDLE startThreadIn(std::shared_ptr<ProcessRecord> process, SIZE_T stack, LPTHREAD_START_ROUTINE start, LPVOID param,
                     DWORD flags, LPDWORD threadId);

}  // namespace winsim
