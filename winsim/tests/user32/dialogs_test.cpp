// Dialogs from compiled templates (dialogs.rc): the dialog manager, the
// standard and common controls, and the scripted user who works them with
// the notifications a real user's input gives.
#include <functional>
#include <string>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <winsim/testing.h>
#include <winsim/testing_gtest.h>

#include "winsim/tests/fixtures.h"
#include "winsim/tests/user32/dialogs_ids.h"

namespace winsim_test {
namespace {

using winsim::DialogEnd;
using winsim::DialogScript;
using winsim::ShownDialog;

class Dialogs : public Winsim {};

// What the dialog procedure saw, in order: "init 77", "cmd 1001 768", ...
struct ProcLog {
  std::vector<std::string> events;
  std::function<void(HWND)> onInit;
  std::function<bool(HWND, int id, int code)> onCommand;  // true: handled
  LONG_PTR deltaReply = 0;                                // the answer to UDN_DELTAPOS
};
ProcLog *g_log = nullptr;

INT_PTR CALLBACK logProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  ProcLog &log = *g_log;
  switch (msg) {
    case WM_INITDIALOG:
      log.events.push_back("init " + std::to_string(lParam));
      if (log.onInit) log.onInit(h);
      return TRUE;
    case WM_COMMAND: {
      int id = LOWORD(wParam), code = HIWORD(wParam);
      log.events.push_back("cmd " + std::to_string(id) + " " + std::to_string(code));
      if (log.onCommand && log.onCommand(h, id, code)) return TRUE;
      if (id == IDOK || id == IDCANCEL) {
        EndDialog(h, id == IDOK ? 100 : 200);
        return TRUE;
      }
      return FALSE;
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
      log.events.push_back(std::string(msg == WM_HSCROLL ? "hscroll " : "vscroll ") + std::to_string(LOWORD(wParam)) +
                           " " + std::to_string(HIWORD(wParam)) + " " +
                           std::to_string(GetDlgCtrlID(reinterpret_cast<HWND>(lParam))));
      return TRUE;
    case WM_NOTIFY: {
      auto *nm = reinterpret_cast<NMUPDOWN *>(lParam);
      if (nm->hdr.code == UDN_DELTAPOS) {
        log.events.push_back("deltapos " + std::to_string(nm->iPos) + " " + std::to_string(nm->iDelta));
        SetWindowLongPtrW(h, DWLP_MSGRESULT, log.deltaReply);
        return TRUE;
      }
      return FALSE;
    }
    default: return FALSE;
  }
}

HINSTANCE self() { return reinterpret_cast<HINSTANCE>(GetModuleHandleW(nullptr)); }

INT_PTR showAll(ProcLog &log, LPARAM param = 77, HWND owner = nullptr) {
  g_log = &log;
  return DialogBoxParamW(self(), MAKEINTRESOURCEW(IDD_ALL), owner, logProc, param);
}

std::vector<std::string> commandsOf(const ProcLog &log, int id) {
  std::vector<std::string> out;
  std::string prefix = "cmd " + std::to_string(id) + " ";
  for (const auto &e : log.events)
    if (e.rfind(prefix, 0) == 0) out.push_back(e.substr(prefix.size()));
  return out;
}

TEST_F(Dialogs, AModalDialogComesUpFromItsTemplateAndEndsWithItsButton) {
  ProcLog log;
  log.onInit = [](HWND h) {
    RECT rc{0, 0, 4, 8};
    EXPECT_TRUE(MapDialogRect(h, &rc));
    EXPECT_EQ(rc.right, 6);  // "MS Shell Dlg" 8 pt: 6 by 13 pixels per 4 by 8 units
    EXPECT_EQ(rc.bottom, 13);
    SetDlgItemTextW(h, IDC_NAME, u"Card 1");
  };
  winsim::scriptDialog(DialogScript{u"All controls", 0, {}, IDOK, 0});
  EXPECT_EQ(showAll(log), 100);
  ASSERT_GE(log.events.size(), 1u);
  EXPECT_EQ(log.events.front(), "init 77");

  auto shown = winsim::shownDialogs();
  ASSERT_EQ(shown.size(), 1u);
  const ShownDialog &d = shown[0];
  EXPECT_EQ(d.title, u"All controls");
  EXPECT_EQ(d.templateId, IDD_ALL);
  EXPECT_EQ(d.end, DialogEnd::Ended);
  EXPECT_EQ(d.result, 100);
  ASSERT_EQ(d.controls.size(), 16u);
  EXPECT_EQ(d.controls[0].className, u"Static");
  EXPECT_EQ(d.controls[0].text, u"Name:");
  ASSERT_NE(d.control(IDC_NAME), nullptr);
  EXPECT_EQ(d.control(IDC_NAME)->text, u"Card 1");  // as WM_INITDIALOG left it
  EXPECT_EQ(d.control(IDC_BLACK)->className, u"msctls_trackbar32");
  EXPECT_EQ(d.control(IDC_COPIES_SPIN)->className, u"msctls_updown32");
  EXPECT_EQ(d.control(IDC_RIBBON)->className, u"ComboBox");
  EXPECT_EQ(d.control(IDOK)->style & BS_TYPEMASK, DWORD(BS_DEFPUSHBUTTON));
  EXPECT_FALSE(IsWindow(d.hwnd));  // gone once DialogBoxParamW returned
}

TEST_F(Dialogs, PlainTemplatesFontsAndMissingTemplates) {
  ProcLog log;
  RECT seen{};
  log.onInit = [&](HWND h) {
    seen = RECT{0, 0, 40, 16};
    MapDialogRect(h, &seen);
  };
  winsim::scriptDialog(DialogScript{{}, IDD_PLAIN, {}, IDCANCEL, 0});
  g_log = &log;
  EXPECT_EQ(DialogBoxParamW(self(), MAKEINTRESOURCEW(IDD_PLAIN), nullptr, logProc, 5), 200);
  EXPECT_EQ(seen.right, 60);
  EXPECT_EQ(seen.bottom, 26);
  auto shown = winsim::shownDialogs();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, u"Plain");
  ASSERT_EQ(shown[0].controls.size(), 3u);
  EXPECT_EQ(shown[0].controls[0].text, u"Plain text");

  // Without a font, the system font's base units.
  winsim::scriptDialog(DialogScript{u"No font", 0, {}, IDCANCEL, 0});
  EXPECT_EQ(GetDialogBaseUnits(), MAKELONG(8, 16));
  EXPECT_EQ(DialogBoxParamW(self(), MAKEINTRESOURCEW(IDD_NOFONT), nullptr, logProc, 0), 200);
  EXPECT_EQ(seen.right, 80);
  EXPECT_EQ(seen.bottom, 32);

  SetLastError(0);
  EXPECT_EQ(DialogBoxParamW(self(), MAKEINTRESOURCEW(999), nullptr, logProc, 0), -1);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST_F(Dialogs, TheOwnerIsDisabledWhileModalAndNestedDialogsRunInTurn) {
  HWND owner =
      CreateWindowExW(0, u"Static", u"owner", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(owner);
  ProcLog log;
  std::vector<std::string> order;
  log.onCommand = [&](HWND h, int id, int code) {
    if (id != IDC_APPLY || code != BN_CLICKED) return false;
    EXPECT_FALSE(IsWindowEnabled(owner));
    EXPECT_TRUE(IsWindowEnabled(h));
    ProcLog inner;
    inner.onInit = [&](HWND) { order.push_back("inner up"); };
    g_log = &inner;
    INT_PTR r = DialogBoxParamW(self(), MAKEINTRESOURCEW(IDD_PLAIN), h, logProc, 1);
    g_log = &log;
    EXPECT_EQ(r, 100);
    EXPECT_TRUE(IsWindowEnabled(h));  // given back when the inner one ended
    order.push_back("inner done");
    return true;
  };
  winsim::scriptDialog(DialogScript{u"Plain", 0, {}, IDOK, 0});
  winsim::scriptDialog(DialogScript{u"All controls", 0, {winsim::userClick(IDC_APPLY)}, IDOK, 0});
  EXPECT_EQ(showAll(log, 0, owner), 100);
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_EQ(order, (std::vector<std::string>{"inner up", "inner done"}));
  auto shown = winsim::shownDialogs();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].title, u"All controls");
  EXPECT_EQ(shown[0].owner, owner);
  EXPECT_EQ(shown[1].title, u"Plain");
  EXPECT_EQ(shown[1].owner, shown[0].hwnd);
  DestroyWindow(owner);
}

TEST_F(Dialogs, TheUsersInputGivesTheNotificationsOfEachControl) {
  ProcLog log;
  log.onInit = [](HWND h) {
    for (const char16_t *s : {u"YMCKO", u"K Resin", u"YMCKK"})
      SendDlgItemMessageW(h, IDC_RIBBON, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
    SendDlgItemMessageW(h, IDC_RIBBON, CB_SETCURSEL, 0, 0);  // no CBN_SELCHANGE
    SendDlgItemMessageW(h, IDC_BLACK, TBM_SETRANGE, TRUE, MAKELONG(-100, 100));
    SendDlgItemMessageW(h, IDC_COPIES_SPIN, UDM_SETRANGE32, 1, 999);
    SendDlgItemMessageW(h, IDC_COPIES_SPIN, UDM_SETPOS32, 0, 1);
    CheckRadioButton(h, IDC_FRONT, IDC_BOTH, IDC_FRONT);
    CheckDlgButton(h, IDC_OTHER, BST_CHECKED);
  };
  winsim::scriptDialog(DialogScript{
      u"All controls",
      0,
      {winsim::userType(IDC_NAME, u"ab"), winsim::userChoose(IDC_RIBBON, u"k resin"), winsim::userClick(IDC_BACK),
       winsim::userCheck(IDC_VARNISH, BST_INDETERMINATE), winsim::userCheck(IDC_DUPLEX, BST_CHECKED),
       winsim::userMove(IDC_BLACK, -40), winsim::userMove(IDC_COPIES_SPIN, 3)},
      IDOK,
      0});
  ASSERT_EQ(showAll(log), 100);
  // Typing: each key an update then a change, after the edit got the focus.
  EXPECT_EQ(commandsOf(log, IDC_NAME), (std::vector<std::string>{"256", "1024", "768", "1024", "768", "512"}));
  EXPECT_EQ(commandsOf(log, IDC_RIBBON), (std::vector<std::string>{"3", "7", "9", "8", "1", "4"}));
  EXPECT_EQ(commandsOf(log, IDC_BACK), (std::vector<std::string>{"0"}));
  EXPECT_EQ(commandsOf(log, IDC_VARNISH), (std::vector<std::string>{"0", "0"}));  // unchecked, checked, indeterminate
  EXPECT_EQ(commandsOf(log, IDC_DUPLEX), (std::vector<std::string>{"0"}));
  auto has = [&](const std::string &e) { return std::count(log.events.begin(), log.events.end(), e); };
  EXPECT_EQ(has("hscroll 5 65496 " + std::to_string(IDC_BLACK)), 1);  // TB_THUMBTRACK, -40
  EXPECT_EQ(has("hscroll 4 65496 " + std::to_string(IDC_BLACK)), 1);  // TB_THUMBPOSITION
  EXPECT_EQ(has("hscroll 8 0 " + std::to_string(IDC_BLACK)), 1);      // TB_ENDTRACK
  EXPECT_EQ(has("deltapos 1 1"), 1);
  EXPECT_EQ(has("deltapos 2 1"), 1);
  EXPECT_EQ(has("vscroll 4 3 " + std::to_string(IDC_COPIES_SPIN)), 1);
  // The buddy's text follows the up-down control, with an update and a change each time.
  EXPECT_EQ(commandsOf(log, IDC_COPIES), (std::vector<std::string>{"1024", "768", "1024", "768", "1024", "768"}));

  const ShownDialog d = winsim::shownDialogs().at(0);
  auto at = [&](int id) {
    for (const auto &c : d.controlsAtEnd)
      if (c.id == id) return c;
    return winsim::DialogControlRecord{};
  };
  EXPECT_EQ(at(IDC_NAME).text, u"ab");
  EXPECT_EQ(at(IDC_RIBBON).selection, 1);
  EXPECT_EQ(at(IDC_RIBBON).text, u"K Resin");
  EXPECT_EQ(at(IDC_FRONT).check, BST_UNCHECKED);
  EXPECT_EQ(at(IDC_BACK).check, BST_CHECKED);
  EXPECT_EQ(at(IDC_OTHER).check, BST_CHECKED);  // another group
  EXPECT_EQ(at(IDC_VARNISH).check, BST_INDETERMINATE);
  EXPECT_EQ(at(IDC_BLACK).position, -40);
  EXPECT_EQ(at(IDC_COPIES_SPIN).position, 3);
  EXPECT_EQ(at(IDC_COPIES).text, u"3");
  EXPECT_EQ(d.control(IDC_RIBBON)->items, (std::vector<std::u16string>{u"YMCKO", u"K Resin", u"YMCKK"}));
}

TEST_F(Dialogs, ADialogNobodyScriptedOrAScriptThatCannotBeDoneFailsAndIsCancelled) {
  ProcLog log;
  EXPECT_EQ(showAll(log), 200);  // closed as Escape closes it
  EXPECT_EQ(commandsOf(log, IDCANCEL), (std::vector<std::string>{"0"}));
  // The listener of winsim_gtest fails the test with the dialog's title.
  auto lines = winsim::describeMessageFaults();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("dialog \"All controls\" (template 300): no script"), std::string::npos) << lines[0];

  log.onInit = [](HWND h) { EnableWindow(GetDlgItem(h, IDC_APPLY), FALSE); };
  winsim::scriptDialog(DialogScript{u"All controls", 0, {winsim::userClick(IDC_APPLY)}, IDOK, 1});
  EXPECT_EQ(showAll(log), 200);

  // A dialog that ignores IDCANCEL still ends, with IDCANCEL.
  log.onInit = nullptr;
  log.onCommand = [](HWND, int, int) { return true; };
  winsim::scriptDialog(DialogScript{u"All controls", 0, {}, IDC_APPLY, 1});
  EXPECT_EQ(showAll(log), IDCANCEL);

  auto faults = winsim::takeDialogFaults();
  ASSERT_EQ(faults.size(), 2u);
  EXPECT_EQ(faults[0].end, DialogEnd::ScriptFailed);
  EXPECT_NE(faults[0].fault.find(u"disabled"), std::u16string::npos);
  EXPECT_EQ(faults[1].end, DialogEnd::LeftOpen);
  auto shown = winsim::shownDialogs();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].end, DialogEnd::Unscripted);
  EXPECT_EQ(shown[0].result, 200);
}

INT_PTR CALLBACK plainProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

TEST_F(Dialogs, ItemHelpersAndControlMessagesOnAModelessDialog) {
  HWND h = CreateDialogParamW(self(), MAKEINTRESOURCEW(IDD_ALL), nullptr, plainProc, 0);
  ASSERT_TRUE(h);
  EXPECT_EQ(winsim::shownDialogs().at(0).end, DialogEnd::Modeless);
  std::u16string why;
  EXPECT_FALSE(winsim::actOnDialog(h, winsim::userType(IDC_NAME, u"x"), &why));  // not shown yet
  EXPECT_NE(why.find(u"hidden"), std::u16string::npos);
  ShowWindow(h, SW_SHOW);
  EXPECT_EQ(GetDlgCtrlID(GetDlgItem(h, IDC_NAME)), IDC_NAME);
  EXPECT_EQ(GetDlgItem(h, 4242), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CONTROL_ID_NOT_FOUND));

  BOOL ok = FALSE;
  SetDlgItemInt(h, IDC_NAME, UINT(-42), TRUE);
  EXPECT_EQ(int(GetDlgItemInt(h, IDC_NAME, &ok, TRUE)), -42);
  EXPECT_TRUE(ok);
  EXPECT_EQ(GetDlgItemInt(h, IDC_NAME, &ok, FALSE), 0u);  // a minus sign is no unsigned number
  EXPECT_FALSE(ok);
  SetDlgItemInt(h, IDC_NAME, 4000000000u, FALSE);
  EXPECT_EQ(GetDlgItemInt(h, IDC_NAME, &ok, FALSE), 4000000000u);
  EXPECT_TRUE(ok);
  GetDlgItemInt(h, IDC_NAME, &ok, TRUE);  // beyond INT_MAX
  EXPECT_FALSE(ok);
  SetDlgItemTextW(h, IDC_NAME, u"  17 cards");
  EXPECT_EQ(GetDlgItemInt(h, IDC_NAME, &ok, TRUE), 17u);
  EXPECT_TRUE(ok);
  SetDlgItemTextA(h, IDC_NAME, "Caf\xe9");
  char a[4];
  EXPECT_EQ(GetDlgItemTextA(h, IDC_NAME, a, sizeof a), 3u);
  EXPECT_STREQ(a, "Caf");

  // The typing limit holds the user, not WM_SETTEXT.
  SendDlgItemMessageW(h, IDC_NAME, EM_LIMITTEXT, 3, 0);
  SetDlgItemTextW(h, IDC_NAME, u"longer than three");
  WCHAR buf[32];
  GetDlgItemTextW(h, IDC_NAME, buf, 32);
  EXPECT_EQ(std::u16string(buf), u"longer than three");
  EXPECT_TRUE(winsim::actOnDialog(h, winsim::userType(IDC_NAME, u"abcdef")));
  GetDlgItemTextW(h, IDC_NAME, buf, 32);
  EXPECT_EQ(std::u16string(buf), u"abc");

  // Combo boxes: items, data, lookups; the selection follows deletions.
  HWND cb = GetDlgItem(h, IDC_RIBBON);
  EXPECT_EQ(SendMessageW(cb, CB_ADDSTRING, 0, LPARAM(u"YMCKO")), 0);
  EXPECT_EQ(SendMessageW(cb, CB_ADDSTRING, 0, LPARAM(u"KdO")), 1);
  EXPECT_EQ(SendMessageW(cb, CB_INSERTSTRING, 0, LPARAM(u"None")), 0);
  EXPECT_EQ(SendMessageW(cb, CB_INSERTSTRING, 5, LPARAM(u"x")), CB_ERR);
  EXPECT_EQ(SendMessageW(cb, CB_SETITEMDATA, 2, 14), TRUE);
  EXPECT_EQ(SendMessageW(cb, CB_GETITEMDATA, 2, 0), 14);
  EXPECT_EQ(SendMessageW(cb, CB_GETITEMDATA, 3, 0), CB_ERR);
  EXPECT_EQ(SendMessageW(cb, CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(u"kdo")), 2);
  EXPECT_EQ(SendMessageW(cb, CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(u"Kd")), CB_ERR);
  EXPECT_EQ(SendMessageW(cb, CB_SETCURSEL, 2, 0), 2);
  EXPECT_EQ(SendMessageW(cb, CB_DELETESTRING, 0, 0), 2);
  EXPECT_EQ(SendMessageW(cb, CB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(SendMessageW(cb, CB_GETLBTEXTLEN, 1, 0), 3);
  EXPECT_EQ(SendMessageW(cb, CB_SETCURSEL, 7, 0), CB_ERR);
  EXPECT_EQ(SendMessageW(cb, CB_GETCURSEL, 0, 0), CB_ERR);
  EXPECT_EQ(SendMessageW(cb, CB_RESETCONTENT, 0, 0), CB_OKAY);
  EXPECT_EQ(SendMessageW(cb, CB_GETCOUNT, 0, 0), 0);
  EXPECT_FALSE(winsim::actOnDialog(h, winsim::userChoose(IDC_RIBBON, u"YMCKO"), &why));
  EXPECT_NE(why.find(u"no item"), std::u16string::npos);

  // Up-down controls: default range 100 to 0; the buddy's text is read back.
  HWND spin = GetDlgItem(h, IDC_COPIES_SPIN);
  int lo = 0, hi = 0;
  SendMessageW(spin, UDM_GETRANGE32, WPARAM(&lo), LPARAM(&hi));
  EXPECT_EQ(lo, 100);
  EXPECT_EQ(hi, 0);
  EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(spin, UDM_GETBUDDY, 0, 0)), GetDlgItem(h, IDC_COPIES));
  SendMessageW(spin, UDM_SETRANGE32, 1, 5000);
  EXPECT_EQ(SendMessageW(spin, UDM_SETPOS32, 0, 1234), 0);
  GetDlgItemTextW(h, IDC_COPIES, buf, 32);
  EXPECT_EQ(std::u16string(buf), u"1,234");
  SetDlgItemTextW(h, IDC_COPIES, u"77");
  BOOL bad = TRUE;
  EXPECT_EQ(SendMessageW(spin, UDM_GETPOS32, 0, LPARAM(&bad)), 77);
  EXPECT_FALSE(bad);
  SetDlgItemTextW(h, IDC_COPIES, u"9999");  // out of range: the position stays
  EXPECT_EQ(SendMessageW(spin, UDM_GETPOS32, 0, LPARAM(&bad)), 77);
  EXPECT_TRUE(bad);

  // Trackbars clamp their position to the range.
  HWND tb = GetDlgItem(h, IDC_BLACK);
  SendMessageW(tb, TBM_SETPOS, TRUE, 150);
  EXPECT_EQ(SendMessageW(tb, TBM_GETPOS, 0, 0), 100);

  EXPECT_FALSE(EndDialog(GetDlgItem(h, IDC_NAME), 1));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_WINDOW_NOT_DIALOG));
  EXPECT_TRUE(DestroyWindow(h));
}

}  // namespace
}  // namespace winsim_test
