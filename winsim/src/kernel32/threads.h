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

// Asks every thread of `process` but the caller to end with `code`, as
// TerminateThread does: each ends at its next winsim call or blocking point.
void terminateThreadsOf(const ProcessRecord &process, DWORD code);
// Waits up to `realMs` real milliseconds until no more than `remaining`
// threads are left in the process; false when some are still there.
bool waitForThreadsToLeave(const ProcessRecord &process, int remaining, DWORD realMs);
// Waits up to `realMs` real milliseconds for the process's end to have run.
bool waitForProcessEnded(const ProcessRecord &process, DWORD realMs);
// True on a thread that winsim started (CreateThread, a process's main
// thread ...), false on the test's own threads.
bool isWinsimThread();

}  // namespace winsim
