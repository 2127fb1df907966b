// Dialogs and their controls as user32 and the common controls document
// them: a template from the program's resources, the modal loop, the dialog
// item helpers and the controls' messages.  The dialogs end by themselves
// (a message posted in WM_INITDIALOG), so the cases run headless.
#include "check.h"
#include "support.h"

// After windows.h, which the SDK's commctrl.h needs before it.
#include <commctrl.h>

namespace {

constexpr int kDialog = 200;
constexpr int kEdit = 300, kCheck = 301, kFront = 302, kBack = 303, kCombo = 304, kTrackbar = 305, kBuddy = 306,
              kUpDown = 307, kLabel = 308;

struct DialogRun {
  bool postOk = false;  // end the dialog through its own message loop
  LPARAM initParam = 0;
  HWND hwnd = nullptr;
  WORD codes[32] = {};  // the notification codes of WM_COMMAND, in order
  WORD ids[32] = {};
  int count = 0;
  int scrolls = 0;
};
DialogRun *g_run = nullptr;

INT_PTR CALLBACK confDialogProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_INITDIALOG:
      g_run->initParam = l;
      g_run->hwnd = h;
      if (g_run->postOk) PostMessageW(h, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      return TRUE;
    case WM_COMMAND:
      if (g_run->count < 32) {
        g_run->ids[g_run->count] = LOWORD(w);
        g_run->codes[g_run->count++] = HIWORD(w);
      }
      if (LOWORD(w) == IDOK && g_run->postOk) EndDialog(h, 42);
      return TRUE;
    case WM_HSCROLL:
    case WM_VSCROLL: ++g_run->scrolls; return TRUE;
    default: return FALSE;
  }
}

struct Closer {
  HWND h;
  ~Closer() { DestroyWindow(h); }
};

bool initControls() {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
  return InitCommonControlsEx(&icc) != FALSE;
}

HWND openModeless(DialogRun &run) {
  g_run = &run;
  return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kDialog), nullptr, confDialogProc, 7);
}

}  // namespace

CONF_CASE(Dialogs, ModalDialogFromTheResourceTemplate) {
  REQUIRE(initControls());
  DialogRun run;
  run.postOk = true;
  g_run = &run;
  INT_PTR r = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kDialog), nullptr, confDialogProc, 1234);
  CHECK_EQ(r, 42);
  CHECK_EQ(run.initParam, 1234);
  CHECK(run.hwnd != nullptr);
  CHECK(!IsWindow(run.hwnd));  // destroyed when DialogBoxParamW returns
  REQUIRE(run.count >= 1);
  CHECK_EQ(run.ids[run.count - 1], IDOK);

  SetLastError(0);
  CHECK_EQ(DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(4321), nullptr, confDialogProc, 0), -1);
  CHECK_ERROR(DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
}

CONF_CASE(Dialogs, ItemsTheirIdsAndTheHelpers) {
  REQUIRE(initControls());
  DialogRun run;
  HWND h = openModeless(run);
  REQUIRE(h != nullptr);
  CHECK_EQ(run.initParam, 7);
  for (int id : {IDOK, IDCANCEL, kEdit, kCheck, kFront, kBack, kCombo, kTrackbar, kBuddy, kUpDown, kLabel}) {
    HWND c = GetDlgItem(h, id);
    CHECK(c != nullptr);
    CHECK_EQ(GetDlgCtrlID(c), id);
    CHECK(GetParent(c) == h);
  }
  CHECK(GetDlgItem(h, 999) == nullptr);
  WCHAR cls[32];
  GetClassNameW(GetDlgItem(h, kCheck), cls, 32);
  CHECK_WSTR(cls, TEXT("Button"));
  GetClassNameW(h, cls, 32);
  CHECK_WSTR(cls, TEXT("#32770"));

  RECT rc{0, 0, 4, 8};
  CHECK(MapDialogRect(h, &rc));
  CHECK(rc.right > 0 && rc.bottom > rc.right);

  WCHAR text[32];
  CHECK_EQ(GetDlgItemTextW(h, kLabel, text, 32), 5u);
  CHECK_WSTR(text, TEXT("Label"));
  CHECK(SetDlgItemTextW(h, kLabel, TEXT("Ribbon")));
  CHECK_EQ(GetDlgItemTextW(h, kLabel, text, 4), 3u);  // cut to the buffer
  CHECK_WSTR(text, TEXT("Rib"));

  BOOL ok = FALSE;
  CHECK(SetDlgItemInt(h, kEdit, UINT(-25), TRUE));
  CHECK_EQ(int(GetDlgItemInt(h, kEdit, &ok, TRUE)), -25);
  CHECK(ok);
  CHECK(SetDlgItemInt(h, kEdit, 3000000000u, FALSE));
  CHECK_EQ(GetDlgItemInt(h, kEdit, &ok, FALSE), 3000000000u);
  CHECK(ok);
  SetDlgItemTextW(h, kEdit, TEXT("cards"));
  CHECK_EQ(GetDlgItemInt(h, kEdit, &ok, TRUE), 0u);
  CHECK(!ok);

  CHECK(CheckDlgButton(h, kCheck, BST_CHECKED));
  CHECK_EQ(IsDlgButtonChecked(h, kCheck), UINT(BST_CHECKED));
  CHECK(CheckRadioButton(h, kFront, kBack, kBack));
  CHECK_EQ(IsDlgButtonChecked(h, kFront), UINT(BST_UNCHECKED));
  CHECK_EQ(IsDlgButtonChecked(h, kBack), UINT(BST_CHECKED));
  CHECK(CheckRadioButton(h, kFront, kBack, kFront));
  CHECK_EQ(IsDlgButtonChecked(h, kBack), UINT(BST_UNCHECKED));
  // A push button has no check state.
  SendDlgItemMessageW(h, IDCANCEL, BM_SETCHECK, BST_CHECKED, 0);
  CHECK_EQ(IsDlgButtonChecked(h, IDCANCEL), UINT(BST_UNCHECKED));

  HWND edit = GetDlgItem(h, kEdit);
  CHECK(IsWindowEnabled(edit));
  CHECK(!EnableWindow(edit, FALSE));  // was enabled
  CHECK(!IsWindowEnabled(edit));
  CHECK(EnableWindow(edit, TRUE));  // was disabled
  CHECK(IsWindowEnabled(edit));

  CHECK(!EndDialog(edit, 1));
  CHECK(DestroyWindow(h));
}

CONF_CASE(Dialogs, AMissingControlIsAnError) {
  DialogRun run;
  HWND h = openModeless(run);
  REQUIRE(h != nullptr);
  Closer closer{h};
  SKIP_UNDER_WINE("Wine's GetDlgItem leaves the last error alone for a missing control");
  SetLastError(0);
  CHECK(GetDlgItem(h, 999) == nullptr);
  CHECK_ERROR(DWORD(ERROR_CONTROL_ID_NOT_FOUND));
}

CONF_CASE(Dialogs, CloseIsTheCancelButton) {
  REQUIRE(initControls());
  DialogRun run;
  HWND h = openModeless(run);
  REQUIRE(h != nullptr);
  Closer closer{h};
  run.count = 0;
  SendMessageW(h, WM_CLOSE, 0, 0);
  CHECK(IsWindow(h));  // not destroyed: DefDlgProc posts IDCANCEL instead
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
  REQUIRE(run.count == 1);
  CHECK_EQ(run.ids[0], IDCANCEL);
  CHECK_EQ(run.codes[0], BN_CLICKED);
  SKIP_UNDER_WINE("Wine posts IDCANCEL for WM_CLOSE even with the Cancel button disabled");
  // With its Cancel button disabled, the dialog cannot be closed.
  EnableWindow(GetDlgItem(h, IDCANCEL), FALSE);
  run.count = 0;
  SendMessageW(h, WM_CLOSE, 0, 0);
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
  CHECK_EQ(run.count, 0);
}

CONF_CASE(Dialogs, EditNotificationsAndTheTypingLimit) {
  REQUIRE(initControls());
  DialogRun run;
  HWND h = openModeless(run);
  REQUIRE(h != nullptr);
  HWND edit = GetDlgItem(h, kEdit);
  CHECK_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 30000);
  run.count = 0;
  SetWindowTextW(edit, TEXT("YMCKO"));
  // A single-line edit tells its parent of WM_SETTEXT: update, then change.
  REQUIRE(run.count == 2);
  CHECK_EQ(run.ids[0], kEdit);
  CHECK_EQ(run.codes[0], EN_UPDATE);
  CHECK_EQ(run.codes[1], EN_CHANGE);
  SendMessageW(edit, EM_LIMITTEXT, 3, 0);
  CHECK_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 3);
  SetWindowTextW(edit, TEXT("longer than the limit"));
  CHECK_EQ(GetWindowTextLengthW(edit), 21);  // the limit is the user's, not WM_SETTEXT's
  CHECK(DestroyWindow(h));
}

CONF_CASE(Dialogs, ComboBoxItems) {
  REQUIRE(initControls());
  DialogRun run;
  HWND h = openModeless(run);
  REQUIRE(h != nullptr);
  HWND cb = GetDlgItem(h, kCombo);
  CHECK_EQ(SendMessageW(cb, CB_GETCURSEL, 0, 0), CB_ERR);
  CHECK_EQ(SendMessageW(cb, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(TEXT("YMCKO"))), 0);
  CHECK_EQ(SendMessageW(cb, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(TEXT("KdO"))), 1);
  CHECK_EQ(SendMessageW(cb, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(TEXT("None"))), 0);
  CHECK_EQ(SendMessageW(cb, CB_INSERTSTRING, WPARAM(-1), reinterpret_cast<LPARAM>(TEXT("KrO"))), 3);
  CHECK_EQ(SendMessageW(cb, CB_GETCOUNT, 0, 0), 4);
  CHECK(SendMessageW(cb, CB_SETITEMDATA, 2, 2) != CB_ERR);
  CHECK_EQ(SendMessageW(cb, CB_GETITEMDATA, 2, 0), 2);
  CHECK_EQ(SendMessageW(cb, CB_GETITEMDATA, 9, 0), CB_ERR);
  CHECK_EQ(SendMessageW(cb, CB_GETLBTEXTLEN, 1, 0), 5);
  WCHAR item[16];
  CHECK_EQ(SendMessageW(cb, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(item)), 5);
  CHECK_WSTR(item, TEXT("YMCKO"));
  CHECK_EQ(SendMessageW(cb, CB_GETLBTEXTLEN, 9, 0), CB_ERR);
  CHECK_EQ(SendMessageW(cb, CB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>(TEXT("kdo"))), 2);
  CHECK_EQ(SendMessageW(cb, CB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>(TEXT("Kd"))), CB_ERR);
  run.count = 0;
  CHECK_EQ(SendMessageW(cb, CB_SETCURSEL, 2, 0), 2);
  CHECK_EQ(run.count, 0);  // CBN_SELCHANGE is the user's choice only
  CHECK_EQ(SendMessageW(cb, CB_GETCURSEL, 0, 0), 2);
  CHECK_EQ(SendMessageW(cb, CB_DELETESTRING, 0, 0), 3);
  CHECK_EQ(SendMessageW(cb, CB_DELETESTRING, 7, 0), CB_ERR);
  CHECK_EQ(SendMessageW(cb, CB_SETCURSEL, 9, 0), CB_ERR);
  SendMessageW(cb, CB_RESETCONTENT, 0, 0);
  CHECK_EQ(SendMessageW(cb, CB_GETCOUNT, 0, 0), 0);
  CHECK_EQ(SendMessageW(cb, CB_GETCURSEL, 0, 0), CB_ERR);
  CHECK(DestroyWindow(h));
}

CONF_CASE(Dialogs, ComboBoxSelectionOutOfRangeAndReset) {
  DialogRun run;
  HWND h = openModeless(run);
  REQUIRE(h != nullptr);
  Closer closer{h};
  HWND cb = GetDlgItem(h, kCombo);
  SendMessageW(cb, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(TEXT("YMCKO")));
  SendMessageW(cb, CB_SETCURSEL, 0, 0);
  SKIP_UNDER_WINE("Wine keeps the selection on an index past the end, and CB_RESETCONTENT returns TRUE");
  // An index past the end clears the selection.
  CHECK_EQ(SendMessageW(cb, CB_SETCURSEL, 5, 0), CB_ERR);
  CHECK_EQ(SendMessageW(cb, CB_GETCURSEL, 0, 0), CB_ERR);
  CHECK_EQ(SendMessageW(cb, CB_RESETCONTENT, 0, 0), CB_OKAY);
}

CONF_CASE(Dialogs, TrackbarAndUpDownPositions) {
  REQUIRE(initControls());
  DialogRun run;
  HWND h = openModeless(run);
  REQUIRE(h != nullptr);
  HWND tb = GetDlgItem(h, kTrackbar);
  CHECK_EQ(SendMessageW(tb, TBM_GETRANGEMIN, 0, 0), 0);
  CHECK_EQ(SendMessageW(tb, TBM_GETRANGEMAX, 0, 0), 100);
  SendMessageW(tb, TBM_SETRANGE, TRUE, MAKELONG(10, 50));
  SendMessageW(tb, TBM_SETPOS, TRUE, 30);
  CHECK_EQ(SendMessageW(tb, TBM_GETPOS, 0, 0), 30);
  SendMessageW(tb, TBM_SETPOS, TRUE, 80);
  CHECK_EQ(SendMessageW(tb, TBM_GETPOS, 0, 0), 50);  // held to the range
  SendMessageW(tb, TBM_SETPOS, TRUE, 0);
  CHECK_EQ(SendMessageW(tb, TBM_GETPOS, 0, 0), 10);
  CHECK_EQ(run.scrolls, 0);  // no WM_HSCROLL for a position set by a message

  HWND ud = GetDlgItem(h, kUpDown);
  HWND buddy = GetDlgItem(h, kBuddy);
  CHECK(reinterpret_cast<HWND>(SendMessageW(ud, UDM_GETBUDDY, 0, 0)) == buddy);  // UDS_AUTOBUDDY
  SendMessageW(ud, UDM_SETRANGE32, 1, 999);
  int lo = 0, hi = 0;
  SendMessageW(ud, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lo), reinterpret_cast<LPARAM>(&hi));
  CHECK_EQ(lo, 1);
  CHECK_EQ(hi, 999);
  SendMessageW(ud, UDM_SETPOS32, 0, 25);
  CHECK_EQ(SendMessageW(ud, UDM_SETPOS32, 0, 5000), 25);  // the old position
  WCHAR text[16];
  GetWindowTextW(buddy, text, 16);
  CHECK_WSTR(text, TEXT("999"));  // held to the range, shown in the buddy
  SetWindowTextW(buddy, TEXT("12"));
  BOOL bad = TRUE;
  CHECK_EQ(SendMessageW(ud, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&bad)), 12);
  CHECK(!bad);
  CHECK(DestroyWindow(h));
}
