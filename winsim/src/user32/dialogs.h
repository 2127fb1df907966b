// The dialog manager inside user32: what the dialogs, the controls and the
// scripted user share.  The dialog's and each control's state live in the
// window's own data (windows.h); everything here runs on the thread that
// owns the window.
#pragma once

#include <string>

#include <windows.h>
#include <winsim/testing.h>

#include "user32/windows.h"

namespace winsim::user {

struct DialogData : WindowData {
  bool modal = false;
  bool ended = false;
  INT_PTR result = 0;
  // Pixels per 4 horizontal and 8 vertical dialog units: the average
  // character width and the height of the template's font.
  int baseX = 8, baseY = 16;
  WORD templateId = 0;  // 0 for a template named by a string, or given in memory
  std::u16string templateName;
  HWND disabledOwner = nullptr;  // the owner the modal loop disabled
};

// Sends WM_COMMAND with a control's identifier and notification code to the
// control's parent, as a control notifies its dialog.
void notifyParent(HWND control, WORD code);

// What the user does to a control of a dialog: the input the control gets
// and the notifications it sends.  False, with the reason, when the user
// cannot do it (no such control, disabled or hidden, no such item).
bool userAction(HWND dialog, const DialogAction &action, std::u16string &error);

// The control as the user sees it now.
DialogControlRecord recordControl(HWND control);

// Shows a modal dialog to the scripted user and runs its script; returns
// once the dialog has ended (EndDialog), however the script went.
void runDialogUser(HWND dialog);
// Records a modeless dialog as shown.
void recordModelessDialog(HWND dialog);

}  // namespace winsim::user
