// What the machine's user saw during the job, read from the machine before
// it stops and drawn as pictures.
#pragma once

#include <winsim/testing.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tools/carddemo/pictures.h"

namespace carddemo {

// What the machine's user met during the job, read before the machine
// stops: the tray program that the notification server started, its
// message boxes, its icon and the shortcut menu a right click opens.
struct WhatTheUserSaw {
  std::vector<winsim::ShownMessage> messages;
  std::vector<winsim::ProcessInfo> tray;
  bool trayRanBefore = false;  // before the job: then the server did not start it
  bool trayIcon = false;
  std::vector<MenuLine> menu;
};

// Whether the tray program runs on the machine now.
bool trayRunning();

// The user's screen now; `trayRanBefore`: the tray program ran before the
// job, so the server did not start it.
WhatTheUserSaw lookAtTheScreen(bool trayRanBefore);

// message_N.png for each box the user saw, tray.png for the icon and its
// menu; the names written are added to `written`.
bool drawWhatTheUserSaw(const WhatTheUserSaw &s, const std::filesystem::path &out, std::vector<std::string> &written,
                        std::string &problem);

}  // namespace carddemo
