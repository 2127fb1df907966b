// The scripted user inside user32: what the functions that show something to
// the user call to have it answered.
#pragma once

#include <windows.h>
#include <winsim/testing.h>

namespace winsim {

// Shows `message` (its channel, caption, text and the fields of its kind are
// filled in; id, thread, times and the end are the user's to set), blocks
// until it ends and returns the answer; 0 with the thread's last error set
// when it ended without one.  A message whose thread is terminated while it
// is open ends that thread here.  `idOut` receives the message's id before
// it waits; with `modal`, messages sent to the thread (and posted to its
// windows) run while it waits, as in a box's message loop.
int presentToUser(ShownMessage message, bool hasPayload = true, DWORD *idOut = nullptr, bool modal = false);
// Ends an open message as its window's close button does: its call returns
// `answer`, recorded as MessageEnd::Closed.  False when it is not open.
bool closeMessage(DWORD id, int answer);
// Shows a shortcut menu to the menu rules and records it; returns the
// command chosen, 0 for none.
UINT presentMenu(ShownMenu menu);
// The dialogs' part of clearUserScript and clearShownMessages; with the
// wait lock held.
void clearDialogScripts();
void clearShownDialogs();
// The parts of the scripted user in folders above (the file dialogs): their
// scripts go with clearUserScript, their records with clearShownMessages.
// Called with the wait lock held.
void registerUserClearHooks(void (*clearScript)(), void (*clearRecords)());
struct UserClearHooks {
  UserClearHooks(void (*clearScript)(), void (*clearRecords)()) { registerUserClearHooks(clearScript, clearRecords); }
};

}  // namespace winsim
