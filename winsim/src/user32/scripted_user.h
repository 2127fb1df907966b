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
// is open ends that thread here.
int presentToUser(ShownMessage message, bool hasPayload = true);

}  // namespace winsim
