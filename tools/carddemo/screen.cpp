// What the machine's user saw: the tray program and its icon found on the
// machine, its menu opened as the user opens it, and the pictures drawn.
#include "tools/carddemo/screen.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "tools/carddemo/machine.h"

namespace carddemo {

namespace {

bool isTray(const winsim::ProcessInfo &p) { return p.imageName == kTrayProgram; }

// The user right-clicks the tray icon and leaves the menu with Escape.
std::vector<MenuLine> trayMenu() {
  winsim::MenuScript escape;
  escape.dismiss = true;
  escape.times = 1;
  winsim::scriptMenu(escape);
  std::vector<MenuLine> lines;
  if (!winsim::clickTrayIcon(kTrayTip, winsim::TrayClick::RightClick)) return lines;
  for (int i = 0; i < 500 && winsim::shownMenus().empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const auto menus = winsim::shownMenus();
  if (menus.empty()) return lines;
  for (const winsim::MenuItemRecord &item : menus.back().items)
    lines.push_back({item.text, item.isDefault || (item.id && item.id == menus.back().defaultId)});
  return lines;
}

}  // namespace

bool trayRunning() {
  const auto running = winsim::runningProcesses();
  return std::any_of(running.begin(), running.end(), isTray);
}

WhatTheUserSaw lookAtTheScreen(bool trayRanBefore) {
  WhatTheUserSaw s;
  s.messages = winsim::shownMessages();
  for (const winsim::ProcessInfo &p : winsim::runningProcesses())
    if (isTray(p)) s.tray.push_back(p);
  s.trayRanBefore = trayRanBefore;
  for (const winsim::TrayIconInfo &icon : winsim::trayIcons()) s.trayIcon |= icon.tip == kTrayTip;
  if (s.trayIcon) s.menu = trayMenu();
  return s;
}

// message_N.png for each box the user saw, tray.png for the icon and its
// menu; the names written are added to `written`.
bool drawWhatTheUserSaw(const WhatTheUserSaw &s, const fs::path &out, std::vector<std::string> &written,
                        std::string &problem) {
  size_t n = 0;
  for (const winsim::ShownMessage &m : s.messages) {
    if (m.channel != winsim::UserChannel::Box) continue;
    const std::string name = "message_" + std::to_string(++n) + ".png";
    if (!writeMessagePicture(out / name, m.caption, m.text, problem)) return false;
    written.push_back(name);
  }
  if (s.trayIcon) {
    const std::u16string program = std::u16string(kSystemFolder) + u"\\" + kTrayProgram;
    if (!writeTrayPicture(out / "tray.png", program, kTrayIconGroup, s.menu, problem)) return false;
    written.push_back("tray.png");
  }
  return true;
}

}  // namespace carddemo
