// The notification area: adding, changing and deleting icons with the
// structure sizes the shell takes, the user's clicks arriving as the icon's
// callback message in the form of its version, and icons that go with their
// window and their process.
#include <gtest/gtest.h>
#include <shellapi.h>
#include <winsim/testing.h>

#include <vector>

#include "winsim/tests/fixtures.h"

namespace winsim_test {
namespace {

using winsim::TrayClick;

class NotifyIcon : public Winsim {};

constexpr UINT kCallback = WM_APP + 7;
constexpr UINT kIconId = 3;

HWND hiddenWindow() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = u"TrayHost";
  RegisterClassExW(&wc);
  return CreateWindowExW(0, u"TrayHost", u"tray host", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

NOTIFYICONDATAW iconData(HWND h, const char16_t *tip) {
  NOTIFYICONDATAW d{};
  d.cbSize = sizeof d;
  d.hWnd = h;
  d.uID = kIconId;
  d.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  d.uCallbackMessage = kCallback;
  d.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  std::u16string t(tip);
  std::copy(t.begin(), t.end(), d.szTip);
  return d;
}

// The callback messages waiting in the caller's queue: (wParam, lParam).
std::vector<std::pair<WPARAM, LPARAM>> callbacks(HWND h) {
  std::vector<std::pair<WPARAM, LPARAM>> out;
  MSG m;
  while (PeekMessageW(&m, h, kCallback, kCallback, PM_REMOVE)) out.emplace_back(m.wParam, m.lParam);
  return out;
}

TEST_F(NotifyIcon, IconsAreAddedChangedAndDeletedByWindowAndId) {
  HWND h = hiddenWindow();
  ASSERT_NE(h, nullptr);
  NOTIFYICONDATAW d = iconData(h, u"Card printers");
  ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &d));
  EXPECT_FALSE(Shell_NotifyIconW(NIM_ADD, &d));  // the same window and id again
  auto icons = winsim::trayIcons();
  ASSERT_EQ(icons.size(), 1u);
  EXPECT_EQ(icons[0].hwnd, h);
  EXPECT_EQ(icons[0].id, kIconId);
  EXPECT_EQ(icons[0].callbackMessage, kCallback);
  EXPECT_EQ(icons[0].icon, d.hIcon);
  EXPECT_EQ(icons[0].tip, u"Card printers");
  EXPECT_EQ(icons[0].processId, GetCurrentProcessId());

  NOTIFYICONDATAW change{};
  change.cbSize = NOTIFYICONDATAW_V3_SIZE;  // an older layout is taken
  change.hWnd = h;
  change.uID = kIconId;
  change.uFlags = NIF_TIP | NIF_INFO;
  std::u16string tip = u"Printing";
  std::copy(tip.begin(), tip.end(), change.szTip);
  std::u16string info = u"Ribbon low";
  std::copy(info.begin(), info.end(), change.szInfo);
  EXPECT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &change));
  icons = winsim::trayIcons();
  EXPECT_EQ(icons[0].tip, u"Printing");
  EXPECT_EQ(icons[0].info, u"Ribbon low");
  EXPECT_EQ(icons[0].callbackMessage, kCallback);  // kept: not in the flags

  change.cbSize = 100;  // no layout of the shell's
  EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &change));
  change.cbSize = sizeof change;
  change.uID = kIconId + 1;
  EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &change));  // no such icon
  EXPECT_FALSE(Shell_NotifyIconW(NIM_DELETE, &change));
  change.uID = kIconId;
  EXPECT_TRUE(Shell_NotifyIconW(NIM_DELETE, &change));
  EXPECT_TRUE(winsim::trayIcons().empty());
  EXPECT_FALSE(Shell_NotifyIconW(NIM_DELETE, &change));

  // The first layout carries 64 characters of tip.
  NOTIFYICONDATAW v1 = iconData(h, u"Old layout");
  v1.cbSize = NOTIFYICONDATAW_V1_SIZE;
  EXPECT_TRUE(Shell_NotifyIconW(NIM_ADD, &v1));
  EXPECT_EQ(winsim::trayIcons()[0].tip, u"Old layout");
  // An icon needs a window.
  NOTIFYICONDATAW none = iconData(reinterpret_cast<HWND>(0x5555), u"x");
  EXPECT_FALSE(Shell_NotifyIconW(NIM_ADD, &none));
  DestroyWindow(h);
  EXPECT_TRUE(winsim::trayIcons().empty());  // gone with its window
}

TEST_F(NotifyIcon, ClicksArriveAsTheCallbackMessageOfTheIconsVersion) {
  HWND h = hiddenWindow();
  NOTIFYICONDATAW d = iconData(h, u"Card printers");
  ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &d));

  // Before a version is set: wParam the id, lParam the mouse message.
  ASSERT_TRUE(winsim::clickTrayIcon(u"Card printers", TrayClick::LeftDoubleClick));
  std::vector<std::pair<WPARAM, LPARAM>> v0 = {
      {kIconId, WM_LBUTTONDOWN}, {kIconId, WM_LBUTTONUP}, {kIconId, WM_LBUTTONDBLCLK}, {kIconId, WM_LBUTTONUP}};
  EXPECT_EQ(callbacks(h), v0);
  ASSERT_TRUE(winsim::clickTrayIcon(h, kIconId, TrayClick::RightClick));
  std::vector<std::pair<WPARAM, LPARAM>> right = {{kIconId, WM_RBUTTONDOWN}, {kIconId, WM_RBUTTONUP}};
  EXPECT_EQ(callbacks(h), right);

  // Version 3 adds what the click means.
  d.uVersion = NOTIFYICON_VERSION;
  ASSERT_TRUE(Shell_NotifyIconW(NIM_SETVERSION, &d));
  ASSERT_TRUE(winsim::clickTrayIcon(u"Card printers", TrayClick::RightClick));
  right.emplace_back(kIconId, WM_CONTEXTMENU);
  EXPECT_EQ(callbacks(h), right);

  // Version 4: the event and the id in lParam, the position in wParam.
  d.uVersion = NOTIFYICON_VERSION_4;
  ASSERT_TRUE(Shell_NotifyIconW(NIM_SETVERSION, &d));
  EXPECT_EQ(winsim::trayIcons()[0].version, UINT(NOTIFYICON_VERSION_4));
  ASSERT_TRUE(winsim::clickTrayIcon(u"Card printers", TrayClick::LeftClick));
  POINT p;
  GetCursorPos(&p);
  auto got = callbacks(h);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].second, MAKELPARAM(WM_LBUTTONDOWN, kIconId));
  EXPECT_EQ(got[1].second, MAKELPARAM(WM_LBUTTONUP, kIconId));
  EXPECT_EQ(got[2].second, MAKELPARAM(NIN_SELECT, kIconId));
  EXPECT_EQ(got[2].first, MAKEWPARAM(p.x, p.y));
  d.uVersion = 5;
  EXPECT_FALSE(Shell_NotifyIconW(NIM_SETVERSION, &d));

  EXPECT_FALSE(winsim::clickTrayIcon(u"No such tip", TrayClick::LeftClick));
  EXPECT_TRUE(Shell_NotifyIconW(NIM_DELETE, &d));
  EXPECT_FALSE(winsim::clickTrayIcon(h, kIconId, TrayClick::LeftClick));
  DestroyWindow(h);
}

DWORD WINAPI trayProgram(LPVOID) {
  HWND h = hiddenWindow();
  NOTIFYICONDATAW d = iconData(h, u"Other process");
  return Shell_NotifyIconW(NIM_ADD, &d) && winsim::trayIcons().size() == 1 ? 0 : 1;
}

TEST_F(NotifyIcon, IconsAndWindowsGoWithTheirProcess) {
  EXPECT_EQ(winsim::runInNewProcess(u"notifytray.exe", trayProgram, nullptr), 0u);
  EXPECT_TRUE(winsim::trayIcons().empty());
  EXPECT_TRUE(winsim::windows().empty());
  EXPECT_EQ(FindWindowW(u"TrayHost", nullptr), nullptr);
}

}  // namespace
}  // namespace winsim_test
