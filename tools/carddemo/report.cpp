// The demo's report of what happened, on the console: the messages the user
// saw, how the monitor paced or framed the job, how the job ended, the
// printer tools and the files written.
#include "tools/carddemo/report.h"

#include <cstdio>
#include <fstream>

#include "tools/carddemo/machine.h"

namespace carddemo {

namespace {

std::string utf8(const std::u16string &s) { return winsim::toUtf8(s); }

std::string sizeText(uintmax_t bytes) {
  char b[32];
  if (bytes >= 1024 * 1024)
    std::snprintf(b, sizeof b, "%.1f MB", double(bytes) / (1024.0 * 1024.0));
  else if (bytes >= 1024)
    std::snprintf(b, sizeof b, "%.0f KB", double(bytes) / 1024.0);
  else
    std::snprintf(b, sizeof b, "%ju bytes", bytes);
  return b;
}

const char *howItEnded(winsim::MessageEnd end) {
  switch (end) {
    case winsim::MessageEnd::Open: return "still open";
    case winsim::MessageEnd::Answered: return "the user pressed OK";
    case winsim::MessageEnd::ThreadTerminated: return "taken away with the thread that showed it";
    case winsim::MessageEnd::Closed:
      return "closed by the close request the monitor sent once the printer was ready again";
    case winsim::MessageEnd::MachineReset: return "open when the machine stopped";
    default: return "nobody could answer it";
  }
}

// A message's text on one line of the console, its line breaks marked.
std::string oneLine(const std::u16string &text) {
  std::string s = utf8(text);
  s.erase(0, std::min(s.find_first_not_of("\r\n"), s.size()));
  s.erase(s.find_last_not_of("\r\n") + 1);
  for (size_t at; (at = s.find_first_of("\r\n")) != std::string::npos;)
    s.replace(at, s[at] == '\r' && at + 1 < s.size() && s[at + 1] == '\n' ? 2 : 1, " / ");
  return s;
}

// What cardtool said and the printer's listing lines of the same time.
std::string toolsText(const ToolsRun &tools, const std::vector<std::string> &lines) {
  std::string text;
  for (const std::string &said : tools.said) text += "  " + said;
  text += "\n  The printer's listing meanwhile:\n";
  for (const std::string &line : lines) text += "    " + line + "\n";
  return text;
}

}  // namespace

void reportMessages(const WhatTheUserSaw &s, uint64_t jobStartMs) {
  if (s.messages.empty()) return;
  std::printf("\nWhat the user saw:\n");
  for (const winsim::ProcessInfo &p : s.tray)
    std::printf("  %s (session %lu), %s\n", utf8(p.imageName).c_str(), static_cast<unsigned long>(p.sessionId),
                s.trayRanBefore ? "running before the job" : "started by the notification server");
  for (const winsim::ShownMessage &m : s.messages) {
    std::printf("  [%s] \"%s\": \"%s\"\n", m.channel == winsim::UserChannel::Box ? "message box" : "notification",
                utf8(m.caption).c_str(), oneLine(m.text).c_str());
    std::printf("     %.1f s into the job, %s %.1f s later\n", double(m.shownAtMs - jobStartMs) / 1000.0,
                howItEnded(m.end), double(m.endedAtMs - m.shownAtMs) / 1000.0);
  }
  if (s.trayIcon) {
    std::printf("  the tray icon \"%s\" was in the notification area; a right click showed", utf8(kTrayTip).c_str());
    for (const MenuLine &item : s.menu)
      std::printf(" \"%s\"%s", utf8(item.text).c_str(), item.isDefault ? " (default)" : "");
    std::printf("\n");
  }
}

void reportPacing(const PacingSummary &p, bool faulted, double clockScale) {
  std::printf("\nPacing by the USB language monitor (simulated time, clock %gx):\n", clockScale);
  std::printf("  %zu write calls reached the printer: %zu job commands and %zu image slices (at most %zu bytes),\n",
              p.writes, p.commands, p.dataSlices, p.largestSlice);
  if (p.mixedWrites)
    std::printf("  %zu calls held more or less than one piece;", p.mixedWrites);
  else
    std::printf("  one piece per call;");
  std::printf(" %zu status requests; %zu of the monitor's own commands\n", p.requests, p.monitorOwn);
  std::printf("  pauses after the job's commands:\n");
  for (const CategoryPauses &c : p.categories)
    std::printf("    %-26s %4zu x  %8.1f s\n", c.name.c_str(), c.commands, double(c.pauseMs) / 1000.0);
  const double over = p.mandatedMs ? 100.0 * (double(p.onWireMs) - double(p.mandatedMs)) / double(p.mandatedMs) : 0;
  std::printf("  the job on the wire: %.1f s; its mandated pauses: %.1f s (%+.1f %%%s)\n", double(p.onWireMs) / 1000.0,
              double(p.mandatedMs) / 1000.0, over, faulted ? ", the error included" : "");
}

void reportFraming(const FrameSummary &f, const cardemu::NetStats &net, double clockScale) {
  std::printf("\nThe network language monitor's data channel (simulated time, clock %gx):\n", clockScale);
  std::printf("  %zu length-framed messages reached the printer: %zu job commands and %zu image slices\n", f.frames,
              f.commands, f.dataSlices);
  std::printf("  (at most %zu bytes each), %zu reply checks, %zu of the monitor's own commands;\n", f.largestSlice,
              f.replyChecks, f.monitorOwn);
  std::printf("  %llu data connections, %llu status polls, %llu SNMP probes answered, %llu interface resets\n",
              static_cast<unsigned long long>(net.dataConnections), static_cast<unsigned long long>(net.statusPolls),
              static_cast<unsigned long long>(net.snmpAnswers), static_cast<unsigned long long>(net.interfaceResets));
  std::printf("  the job on the wire: %.1f s\n", double(f.onWireMs) / 1000.0);
}

void reportOutcome(size_t commands, size_t errors, const std::vector<cardemu::Card> &cards, bool cancelled,
                   bool resetSent) {
  if (cancelled)
    std::printf("\nThe job was cancelled%s; the printer ran %zu commands (%zu printer errors).\n",
                resetSent ? " and the printer reset with \"\\eR\\r\"" : "", commands, errors);
  else
    std::printf("\nThe job completed: the printer ran %zu commands (%zu printer errors) and put out %zu card(s).\n",
                commands, errors, cards.size());
  for (const cardemu::Card &card : cards) std::printf("\n%s", card.summary().c_str());
}

bool writeToolsFile(const fs::path &file, const ToolsRun &tools, const std::vector<std::string> &lines) {
  std::ofstream f(file);
  f << "The printer tools after the card, through the driver, the spooler and the port's monitor:\n\n"
    << toolsText(tools, lines);
  return bool(f);
}

void reportTools(const ToolsRun &tools, const std::vector<std::string> &lines) {
  std::printf("\nPrinter tools (cardtool, through the same driver and monitor)%s:\n%s",
              tools.ok ? "" : " -- a tool failed", toolsText(tools, lines).c_str());
}

void reportFiles(const fs::path &out, bool network, bool cacheWritten, const std::vector<std::string> &written) {
  std::error_code ec;
  std::printf("\nWritten to %s:\n", out.c_str());
  auto show = [&](const std::string &name, const char *what) {
    std::printf("  %-34s %9s  %s\n", name.c_str(), sizeText(fs::file_size(out / name, ec)).c_str(), what);
  };
  show("job.prn", "the card job stream the driver wrote");
  show("listing.txt", "the printer's command listing");
  if (fs::exists(out / "tools.txt", ec))
    show("tools.txt", "the printer tools: what cardtool said, what the printer ran");
  show("pacing.txt", network ? "the data channel's framed messages" : "the monitor's write calls, paced");
  if (cacheWritten) show("cardribbon.INI", "the ribbon cache file the monitor wrote at the job's start");
  for (const std::string &name : written) {
    const char *what = name == "uninstall.txt"                        ? "the machine after the uninstall against before"
                       : name.find("_front.png") != std::string::npos ? "front of the card"
                       : name.find("_back.png") != std::string::npos  ? "back of the card"
                       : name.find(".txt") != std::string::npos       ? "card summary"
                       : name.rfind("message_", 0) == 0               ? "a message box the user saw"
                       : name == "tray.png"                           ? "the tray icon and its menu"
                                                                      : "one panel as printed";
    show(name, what);
  }
}

}  // namespace carddemo
