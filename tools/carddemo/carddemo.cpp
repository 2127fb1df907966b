// carddemo: prints the sample card the way a user's machine would and shows
// what came out.  One process is one simulated Windows machine: the package
// is installed into its virtual drive (the driver, the USB language monitor
// with its message library) with a card printer on USB001, where the
// emulated printer is plugged in.  cardprint prints the card through GDI and
// the driver; the spooler hands the job to the language monitor, which paces
// it command by command to the printer and watches it, and whose messages
// reach the user in session 1 through the notification server and the tray
// program; the printer's cards are written as pictures beside the job
// stream, the printer's command listing and the monitor's pacing, and what
// the user saw as pictures of the screen.
//
// With --network the printer is on the machine's network instead: the
// emulated printer serves its data, status, SNMP and web ports on a loopback
// address of its own, and the network language monitor sends the job to it
// in length-framed messages over real sockets.
//
// Either printer is installed as the package's installer installs it: the
// package laid out in C:\Setup and the installer library's steps called one
// by one; after the card the USB road runs the version stamp of an update,
// and with --uninstall the package is uninstalled again and the machine
// compared with the one before the install.
//
//   carddemo OUT_DIR [--network] [--uninstall] [--machine DIR] [--fault KIND[@COMMAND] [--user-cancels]]
//            [cardprint options...]
#include <windows.h>
#include <shlobj.h>
#include <winsim/testing.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "emulator/include/cardemu/listing.h"
#include "tools/carddemo/tools_step.h"
#include "emulator/include/cardemu/net_printer.h"
#include "emulator/include/cardemu/printer.h"
#include "emulator/include/cardemu/render.h"
#include "emulator/include/cardemu/usb_device.h"
#include "tools/carddemo/install_road.h"
#include "tools/carddemo/machine.h"
#include "tools/carddemo/pacing.h"
#include "tools/carddemo/pictures.h"
#include "tools/carddemo/snapshot.h"
#include "tools/cardprint/cardprint.h"
#include "tools/cardprint/job_devmode.h"
#include "tools/cardprint/options.h"

namespace fs = std::filesystem;

namespace {

using namespace carddemo;

// The clock runs this many times faster than real time: the printer's pauses
// of seconds cost a tenth of their length or less, while the time the machine
// spends working between them stays small against them.
constexpr double kClockScale = 10.0;
// How long the operator takes to clear a printer error, and the user to press
// OK on its message, in simulated time.
constexpr DWORD kOperatorMs = 8000;
constexpr DWORD kUserAnswerMs = 5000;

using Clock = std::chrono::steady_clock;

struct Step {
  std::string what;
  double ms;
};

class Timer {
 public:
  explicit Timer(std::vector<Step> &steps) : steps_(steps), start_(Clock::now()) {}
  void done(const std::string &what) {
    const auto now = Clock::now();
    steps_.push_back({what, std::chrono::duration<double, std::milli>(now - start_).count()});
    start_ = now;
  }

 private:
  std::vector<Step> &steps_;
  Clock::time_point start_;
};

// cardprint's messages, on this process's console.
class HostConsole : public cardprint::Console {
 public:
  void write(bool error, LPCWSTR text) override {
    const std::string s = winsim::toUtf8(reinterpret_cast<const char16_t *>(text));
    std::fputs(("  " + s).c_str(), error ? stderr : stdout);
  }
};

// The printer's ribbon code for a ribbon chosen by name, so that the emulated
// printer holds the ribbon the job was printed for.  Without a choice it
// holds a YMCKO ribbon, which the driver learns from the printer.
int printerRibbonCode(int ribbonId) {
  switch (ribbonId) {
    case card::kManualYMCKOK: return 5;
    case card::kManualYMCKK: return 4;
    case card::kManualYMCUvK: return 23;
    case card::kManualResinOrScratchOff: return 7;  // resin black
    case card::kManualYMCK: return 3;
    case card::kManualYMC: return 6;
    case card::kManualKdO: return 16;
    case card::kManualKrO: return 17;
    case card::kManualHologramOrVarnish: return 19;  // hologram
    default: return 2;                               // YMCKO
  }
}

bool writeFile(const fs::path &path, const void *data, size_t size) {
  std::ofstream f(path, std::ios::binary);
  f.write(static_cast<const char *>(data), std::streamsize(size));
  return bool(f);
}

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

int usage(const char *problem) {
  if (problem) std::fprintf(stderr, "carddemo: %s\n", problem);
  std::fputs(
      "usage: carddemo OUT_DIR [--network] [--uninstall] [--machine DIR] [--fault KIND[@COMMAND] [--user-cancels]]\n"
      "                [cardprint options...]\n"
      "Installs the package from C:\\Setup with its installer library, then prints the\n"
      "sample card with cardprint on a simulated machine whose card printer\n"
      "is on USB001, through the USB language monitor, and writes into OUT_DIR: job.prn,\n"
      "listing.txt (the printer's commands), pacing.txt (the monitor's write calls),\n"
      "cardribbon.INI (the monitor's ribbon cache file) and, per card,\n"
      "card_NNNN_front.png, card_NNNN_back.png, its panels and card_NNNN.txt.\n"
      "The sample card is printed on both sides of the printer's YMCKO ribbon; a card\n"
      "of your own pictures (--front, --back) has as many sides as it has pictures.\n"
      "--fault KIND[@COMMAND] makes the printer fail in the middle of the job (KIND:\n"
      "cover-open, out-of-cards, out-of-ribbon, card-jam, encoder; COMMAND: the start\n"
      "of the command it fails at, e.g. \"I 30\"; cover-open and card-jam default to\n"
      "the first panel print): the operator clears it after 8 s\n"
      "and the job goes on, or with --user-cancels the user presses OK on the message\n"
      "and the job is cancelled.  The message reaches the user through the notification\n"
      "server and the tray program; message_N.png shows each box, tray.png the tray\n"
      "icon with its menu.\n"
      "--network puts the printer on the machine's network at 127.0.5.20 (a loopback\n"
      "address: nothing leaves this computer), reached through the Standard TCP/IP port\n"
      "IP_127.0.5.20 and the network language monitor, the network driver installed\n"
      "from C:\\Setup with the installer library; pacing.txt then lists the\n"
      "length-framed messages of the data channel.\n"
      "--uninstall uninstalls the package after the card as its installer does, lets\n"
      "the clean-up run at the next log-on and compares the machine with the one\n"
      "before the install (uninstall.txt); exit status 1 when more than what Windows\n"
      "itself keeps differs.\n"
      "--machine DIR holds the machine's virtual drive (default: beside the program);\n"
      "DIR must be new, empty or a machine folder of an earlier run, whose contents\n"
      "are replaced.\n"
      "The machine's clock runs 10 times faster than real time; the environment\n"
      "variable CARDDEMO_CLOCK_SCALE sets another factor.\n",
      problem ? stderr : stdout);
  return problem ? 2 : 0;
}

// The data channel's messages as the emulated printer took them, with the
// machine's time; filled on the printer's service thread.
class FrameLog {
 public:
  void add(const cardemu::DataFrame &f) {
    std::lock_guard<std::mutex> g(lock_);
    frames_.push_back({GetTickCount64(), f.length, f.head});
  }
  std::vector<NetFrame> taken() {
    std::lock_guard<std::mutex> g(lock_);
    return std::move(frames_);
  }

 private:
  std::mutex lock_;
  std::vector<NetFrame> frames_;
};

struct Picture {
  size_t argument;  // index among cardprint's arguments of the one that names it
  fs::path host;
  std::u16string option;  // what comes before the name in that argument ("--front=" or nothing)
  std::u16string virt;    // where it is put on the machine's drive
};

// Everything the command line asks for, checked whole before any folder is
// touched.
struct DemoSetup {
  fs::path out;
  fs::path machine = CARDDEMO_MACHINE_DIR;
  std::vector<std::u16string> args;  // cardprint's command line
  cardprint::PrintOptions options;
  std::vector<Picture> pictures;
  bool fault = false;
  cardemu::FaultChoice faultChoice;
  bool userCancels = false;
  bool network = false;
  bool uninstall = false;
  const char16_t *printerName() const { return network ? kNetPrinterName : kPrinterName; }
};

bool parseCardprint(const std::vector<std::u16string> &args, cardprint::PrintOptions &options, std::string &problem) {
  std::vector<LPCWSTR> argw;
  for (const auto &a : args) argw.push_back(reinterpret_cast<LPCWSTR>(a.c_str()));
  WCHAR message[cardprint::kMessageChars];
  if (cardprint::parseOptions(int(argw.size()), argw.data(), options, message)) return true;
  problem = winsim::toUtf8(reinterpret_cast<const char16_t *>(message));
  return false;
}

// Pictures named on the command line are host files: they are put on the
// virtual drive, where the program looks for them, each side's in a folder of
// its own so that two files of one name stay apart.
bool findPictures(DemoSetup &d, size_t firstExtra, std::string &problem) {
  std::error_code ec;
  const cardprint::PrintOptions &o = d.options;
  for (const auto &[file, side] : {std::pair{o.frontImage, u"Front"}, std::pair{o.backImage, u"Back"}}) {
    if (!file) continue;
    // The argument that holds the name, alone or behind "--front=".
    size_t k = firstExtra;
    while (k < d.args.size() && !(file >= reinterpret_cast<LPCWSTR>(d.args[k].c_str()) &&
                                  file < reinterpret_cast<LPCWSTR>(d.args[k].c_str() + d.args[k].size())))
      ++k;
    if (k == d.args.size()) {
      problem = "a picture option cardprint took cannot be found";
      return false;
    }
    const size_t at = size_t(file - reinterpret_cast<LPCWSTR>(d.args[k].c_str()));
    const fs::path host = winsim::toUtf8(d.args[k].substr(at));
    if (!fs::is_regular_file(host, ec)) {
      problem = "cannot find the picture " + host.string();
      return false;
    }
    d.pictures.push_back(
        {k, host, d.args[k].substr(0, at),
         u"C:\\Users\\Public\\Pictures\\" + std::u16string(side) + u"\\" + winsim::toUtf16(host.filename().string())});
  }
  return true;
}

// 0: go on; otherwise the exit status (help shown, or a usage error).
int parseCommandLine(int argc, char **argv, DemoSetup &d) {
  if (argc < 2) return usage("no output folder given");
  if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) return usage(nullptr) - 1;
  if (argv[1][0] == '-' || !argv[1][0]) return usage("the output folder comes first");
  std::error_code ec;
  d.out = fs::absolute(argv[1], ec);
  std::vector<std::string> extra;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char *name) {
      const size_t n = std::strlen(name);
      return a == name ? (i + 1 < argc ? std::string(argv[++i]) : std::string()) : a.substr(n + 1);
    };
    if (a == "--machine" || a.rfind("--machine=", 0) == 0) {
      const std::string dir = value("--machine");
      if (dir.empty()) return usage("--machine needs a folder");
      d.machine = fs::absolute(dir, ec);
    } else if (a == "--fault" || a.rfind("--fault=", 0) == 0) {
      std::string problem;
      if (!cardemu::parseFault(value("--fault"), &d.faultChoice, &problem)) return usage(problem.c_str());
      // A fault that would strike at once strikes at the first panel print
      // instead: in the middle of the job, after the driver asked the printer.
      if (d.faultChoice.command.empty() && (d.faultChoice.name == "cover-open" || d.faultChoice.name == "card-jam"))
        d.faultChoice.command = "I";
      d.fault = true;
    } else if (a == "--user-cancels") {
      d.userCancels = true;
    } else if (a == "--network") {
      d.network = true;
    } else if (a == "--uninstall") {
      d.uninstall = true;
    } else {
      extra.push_back(a);
    }
  }
  if (d.userCancels && !d.fault) return usage("--user-cancels answers the message of a --fault");
  if (within(d.out, d.machine) || within(d.machine, d.out))
    return usage("the output folder and the machine folder must not lie in one another");

  d.args = {u"cardprint"};
  for (const std::string &a : extra) d.args.push_back(winsim::toUtf16(a));
  std::string problem;
  if (!parseCardprint(d.args, d.options, problem)) return usage(problem.c_str());
  if (d.options.help) {
    usage(nullptr);
    std::printf("\ncardprint options:\n%s",
                winsim::toUtf8(reinterpret_cast<const char16_t *>(cardprint::usageText())).c_str());
    return -1;
  }
  // The sample card on both sides, in the layout of full colour on both,
  // unless the command line says otherwise; a card of one's own pictures is
  // two-sided when it has a back picture.  The ribbon is the printer's: the
  // driver learns it through the language monitor.
  std::vector<std::u16string> defaults = {u"--printer", d.printerName()};
  if ((!d.options.frontImage || d.options.backImage) && d.options.layout == cardprint::kUnset)
    defaults.insert(defaults.end(), {u"--layout", u"1"});
  d.args.insert(d.args.begin() + 1, defaults.begin(), defaults.end());
  if (!parseCardprint(d.args, d.options, problem)) return usage(problem.c_str());
  {
    card::CardDevmode devmode;
    cardprint::defaultJobDevmode(devmode);
    WCHAR message[cardprint::kMessageChars];
    if (!cardprint::applyOptions(d.options, devmode, message))
      return usage(winsim::toUtf8(reinterpret_cast<const char16_t *>(message)).c_str());
  }
  if (!findPictures(d, 1 + defaults.size(), problem)) {
    std::fprintf(stderr, "carddemo: %s\n", problem.c_str());
    return 1;
  }
  if (fs::exists(fs::symlink_status(d.out, ec)) && !fs::is_directory(d.out, ec))
    return usage((d.out.string() + " is not a folder").c_str());
  return 0;
}

// The printer's listing: every command as it runs, each card as it comes out.
class PrinterListing {
 public:
  PrinterListing(cardemu::Printer &printer, const fs::path &file) : listing_(file) {
    printer.setCommandListener([this](const cardemu::CommandRecord &r) {
      std::lock_guard<std::mutex> g(lock_);
      if (r.held) return;  // listed when it runs
      ++commands;
      if (r.error) ++errors;
      const std::string line = cardemu::listingLine(r);
      listing_ << line << "\n" << cardLines_;
      lines_.push_back(line);
      cardLines_.clear();
    });
    printer.setCardListener([this](const cardemu::Card &card) {
      std::lock_guard<std::mutex> g(lock_);
      cards.push_back(card);
      cardLines_ += "          -- card " + std::to_string(card.number) + " out --\n";
      const std::string summary = card.summary();
      for (size_t at = 0, nl; at < summary.size(); at = nl + 1) {
        nl = summary.find('\n', at);
        if (nl == std::string::npos) nl = summary.size();
        cardLines_ += "             " + summary.substr(at, nl - at) + "\n";
      }
    });
  }
  bool close() {
    std::lock_guard<std::mutex> g(lock_);
    listing_ << cardLines_;
    listing_.close();
    return bool(listing_);
  }
  // Where the listing is now, and the command lines listed since.
  size_t mark() {
    std::lock_guard<std::mutex> g(lock_);
    return lines_.size();
  }
  std::vector<std::string> linesSince(size_t mark) {
    std::lock_guard<std::mutex> g(lock_);
    return {lines_.begin() + std::ptrdiff_t(std::min(mark, lines_.size())), lines_.end()};
  }
  size_t commands = 0, errors = 0;
  std::vector<cardemu::Card> cards;

 private:
  std::mutex lock_;
  std::ofstream listing_;
  std::string cardLines_;
  std::vector<std::string> lines_;
};

// The machine's user and the printer's operator during a --fault run.  The
// user leaves the printer's message open (or presses OK on it after a few
// seconds with --user-cancels); the operator, once the message is up, takes
// a few seconds and clears the error at the printer.
class PeopleAtThePrinter {
 public:
  PeopleAtThePrinter(cardemu::Printer &printer, bool fault, bool userCancels) {
    winsim::UserScript rule;
    rule.answer = IDOK;
    rule.timing = userCancels ? winsim::AnswerTiming::AfterDelay : winsim::AnswerTiming::LeaveOpen;
    rule.delayMs = kUserAnswerMs;
    winsim::scriptUser(rule);
    if (fault && !userCancels)
      operator_ = std::thread([this, &printer] {
        while (!stop_.load())
          if (winsim::waitForShownMessages(1, 100)) {
            Sleep(kOperatorMs);
            printer.clearFault();
            return;
          }
      });
  }
  ~PeopleAtThePrinter() {
    stop_.store(true);
    if (operator_.joinable()) operator_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread operator_;
};

std::string utf8(const std::u16string &s) { return winsim::toUtf8(s); }

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

bool isTray(const winsim::ProcessInfo &p) { return p.imageName == kTrayProgram; }

bool trayRunning() {
  const auto running = winsim::runningProcesses();
  return std::any_of(running.begin(), running.end(), isTray);
}

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

// A message's text on one line of the console, its line breaks marked.
std::string oneLine(const std::u16string &text) {
  std::string s = utf8(text);
  s.erase(0, std::min(s.find_first_not_of("\r\n"), s.size()));
  s.erase(s.find_last_not_of("\r\n") + 1);
  for (size_t at; (at = s.find_first_of("\r\n")) != std::string::npos;)
    s.replace(at, s[at] == '\r' && at + 1 < s.size() && s[at + 1] == '\n' ? 2 : 1, " / ");
  return s;
}

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

// The pictures named on the command line, copied where cardprint on the
// machine finds them, and its arguments pointed at the copies.
bool putPicturesOnTheMachine(DemoSetup &d, std::string &problem) {
  std::error_code ec;
  for (const Picture &p : d.pictures) {
    const fs::path virt = winsim::hostPath(p.virt);
    fs::create_directories(virt.parent_path(), ec);
    fs::copy_file(p.host, virt, fs::copy_options::overwrite_existing, ec);
    if (ec) {
      problem = "cannot put " + p.host.string() + " on the machine: " + ec.message();
      return false;
    }
    d.args[p.argument] = p.option + p.virt;
  }
  return true;
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

// What cardtool said and the printer's listing lines of the same time.
std::string toolsText(const ToolsRun &tools, const std::vector<std::string> &lines) {
  std::string text;
  for (const std::string &said : tools.said) text += "  " + said;
  text += "\n  The printer's listing meanwhile:\n";
  for (const std::string &line : lines) text += "    " + line + "\n";
  return text;
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

fs::path ribbonCacheFile() {
  WCHAR folder[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_DOCUMENTS, nullptr, 0, folder))) return {};
  return winsim::hostPath(std::u16string(reinterpret_cast<const char16_t *>(folder)) + u"\\cardribbon.INI");
}

// The version stamp of an update (the USB printer's).  False when it could
// not run.
bool stampTheVersion(Timer &timer) {
  std::string problem;
  std::u16string stamp;
  if (!stampVersion(stamp, problem)) {
    std::fprintf(stderr, "carddemo: %s\n", problem.c_str());
    return false;
  }
  timer.done("version stamp (rundll32 verstamp.dll,UpdateVersionInfo)");
  return true;
}

// The installer lets its library go, or with --uninstall removes the package
// and the machine is compared with the one before the install
// (uninstall.txt, added to `written`).  False when a step could not run;
// `clean` false when the machine differs by more than what Windows itself
// keeps.
bool uninstallOrLetGo(const DemoSetup &d, Installer &installer, const MachineSnapshot &empty,
                      std::vector<std::string> &written, Timer &timer, bool &clean) {
  std::string problem;
  if (!d.uninstall) {
    installer.release();
    return true;
  }
  if (!installer.uninstall(problem)) {
    std::fprintf(stderr, "carddemo: %s\n", problem.c_str());
    return false;
  }
  const std::vector<Difference> differences = compareSnapshots(empty, takeSnapshot());
  const std::string text = comparisonText(differences);
  std::printf("\n%s", text.c_str());
  std::ofstream(d.out / "uninstall.txt") << text;
  written.push_back("uninstall.txt");
  timer.done("uninstall, clean-up at log-on and comparison");
  clean = std::all_of(differences.begin(), differences.end(), [](const Difference &x) { return !x.why.empty(); });
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  DemoSetup d;
  if (const int status = parseCommandLine(argc, argv, d)) return status < 0 ? 0 : status;

  std::vector<Step> steps;
  Timer timer(steps);
  const auto started = Clock::now();
  std::error_code ec;
  std::string problem;

  // ---- the machine: a fresh virtual drive with the package installed and
  // the printer plugged in
  if (!prepareMachine(d.machine, problem)) {
    std::fprintf(stderr, "carddemo: %s\n", problem.c_str());
    return 2;
  }
  fs::create_directories(d.out, ec);
  if (ec) {
    std::fprintf(stderr, "carddemo: cannot create %s: %s\n", d.out.c_str(), ec.message().c_str());
    return 1;
  }
  clearOutputs(d.out);
  winsim::resetMachine();
  winsim::setDriveRoot(d.machine.string());
  const char *scaleText = std::getenv("CARDDEMO_CLOCK_SCALE");
  const double clockScale = scaleText ? std::atof(scaleText) : kClockScale;
  winsim::setClockScale(clockScale);
  cardemu::PrinterConfig config;
  config.model = "CA3";
  config.ribbonCode = printerRibbonCode(d.options.ribbonId);
  config.ribbonRemaining = 1000;
  config.cardsKept = 0;  // taken by the listener
  cardemu::Printer printer(config);
  PrinterListing listing(printer, d.out / "listing.txt");
  std::shared_ptr<cardemu::UsbPrinterDevice> device;
  std::unique_ptr<cardemu::NetPrinter> net;
  FrameLog frames;
  if (!putPicturesOnTheMachine(d, problem)) {
    std::fprintf(stderr, "carddemo: %s\n", problem.c_str());
    return 1;
  }
  // The machine before the package comes, to compare with after it went.
  const MachineSnapshot empty = d.uninstall ? takeSnapshot() : MachineSnapshot();
  Installer installer(d.network ? networkRoad() : usbRoad());
  playTheSpooler();
  bool installed = false;
  if (d.network) {
    cardemu::NetConfig netConfig;
    netConfig.address = kNetPrinterAddress;
    net = std::make_unique<cardemu::NetPrinter>(printer, netConfig);
    net->setFrameListener([&frames](const cardemu::DataFrame &f) { frames.add(f); });
    installed = net->start(&problem) && installer.layOut(problem) &&
                installer.install(net->ports(), d.options.ribbonId, problem);
  } else {
    device = std::make_shared<cardemu::UsbPrinterDevice>(printer, true);
    installed = installer.layOut(problem) && installer.install(device, d.options.ribbonId, problem);
  }
  if (!installed) {
    std::fprintf(stderr, "carddemo: %s\n", problem.c_str());
    winsim::resetMachine();
    if (net) net->stop();
    return 1;
  }
  std::printf("\n");
  const std::string portName = utf8(d.network ? kNetPortName : kPortName);
  if (d.fault) printer.injectFault(d.faultChoice);
  PeopleAtThePrinter people(printer, d.fault, d.userCancels);
  timer.done("machine set up (the installer's steps, printer on " + portName + ")");

  // ---- the application prints; the spooler hands the job to the monitor
  std::vector<LPCWSTR> argw;
  for (const auto &a : d.args) argw.push_back(reinterpret_cast<LPCWSTR>(a.c_str()));
  std::printf("Printing %s with cardprint on \"%s\" (%s)\n", d.options.frontImage ? "your card" : "the sample card",
              utf8(d.printerName()).c_str(), portName.c_str());
  HostConsole console;
  const bool trayBefore = trayRunning();
  const int printed = cardprint::cardPrintMain(int(argw.size()), argw.data(), console);
  if (printed != cardprint::kExitPrinted) {
    std::fprintf(stderr, "carddemo: cardprint failed (exit status %d)\n", printed);
    winsim::resetMachine();
    return printed;
  }
  timer.done("printing (cardprint, GDI, cardrend, spooler)");
  const bool idle = winsim::waitForSpoolerIdle(d.printerName(), 600000);
  const auto jobs = winsim::printJobs(d.printerName());
  printer.ejectRemaining("still in the printer when the job ended");
  timer.done(d.network ? "the job through netmon to the printer (framed)"
                       : "the job through usbmon to the printer (paced)");
  if (!idle || jobs.empty() || !jobs.back().completed) {
    std::fprintf(stderr, "carddemo: the spooler did not finish the job\n");
    winsim::resetMachine();
    return 1;
  }
  const winsim::JobRecord &job = jobs.back();
  const bool cancelled = job.aborted;
  if (!writeFile(d.out / "job.prn", job.bytes.data(), job.bytes.size())) {
    std::fprintf(stderr, "carddemo: cannot write %s\n", (d.out / "job.prn").c_str());
    return 1;
  }
  const fs::path cache = ribbonCacheFile();
  const bool cacheWritten = !cache.empty() && fs::is_regular_file(cache, ec);
  if (cacheWritten) fs::copy_file(cache, d.out / "cardribbon.INI", fs::copy_options::overwrite_existing, ec);
  PacingSummary pacing;
  FrameSummary framing;
  {
    std::ofstream pacingFile(d.out / "pacing.txt");
    if (d.network) {
      pacingFile << "Every message of the network language monitor's data channel that reached the printer:\n"
                    "the simulated time since the one before it, its length field and what it carried.\n\n";
      framing = analyseFrames(frames.taken(), &pacingFile);
    } else {
      pacingFile << "Every write call of the USB language monitor that reached the printer: the simulated\n"
                    "time since the call before it, its size and what it carried.\n\n";
      pacing = analysePacing(device->writes(), &pacingFile);
    }
  }
  // What the user saw, drawn while the machine still runs: the tray
  // program's icon comes from its file on the machine's drive.
  const WhatTheUserSaw screen = lookAtTheScreen(trayBefore);
  std::vector<std::string> written;
  if (!drawWhatTheUserSaw(screen, d.out, written, problem)) {
    std::fprintf(stderr, "carddemo: %s\n", problem.c_str());
    winsim::resetMachine();
    return 1;
  }
  const size_t jobCommands = listing.commands, jobErrors = listing.errors;
  // ---- the printer tools on the same road, once the card is out (after
  // the pictures of what the user saw during the job)
  ToolsRun tools;
  std::vector<std::string> toolLines;
  if (!d.fault) {
    const size_t from = listing.mark();
    const uint64_t framesBefore = printer.firmwareFrames();
    Operator person;
    person.takeRibbonOut = [&printer] { printer.removeRibbon(); };
    person.putRibbonBack = [&printer, &config] { printer.loadRibbon(config.ribbonCode, config.ribbonRemaining); };
    if (!runPrinterTools(d.printerName(), person, tools, problem)) {
      std::fprintf(stderr, "carddemo: %s\n", problem.c_str());
      winsim::resetMachine();
      return 1;
    }
    // On the network the download ends when its bytes are on their way; the
    // listing waits (a while at most) for the printer to have read them.
    for (int i = 0; i < 500 && printer.firmwareFrames() == framesBefore; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    toolLines = listing.linesSince(from);
    if (!writeToolsFile(d.out / "tools.txt", tools, toolLines)) {
      std::fprintf(stderr, "carddemo: cannot write %s\n", (d.out / "tools.txt").c_str());
      winsim::resetMachine();
      return 1;
    }
    timer.done("printer tools (cardtool: version, command file, firmware)");
  }
  // ---- the version stamp of an update, and the uninstall
  bool clean = true;
  if ((!d.network && !stampTheVersion(timer)) || !uninstallOrLetGo(d, installer, empty, written, timer, clean)) {
    winsim::resetMachine();
    return 1;
  }
  winsim::resetMachine();  // the spooler and the monitor stop before the printer goes
  if (net) net->stop();
  if (!listing.close()) {
    std::fprintf(stderr, "carddemo: cannot write %s\n", (d.out / "listing.txt").c_str());
    return 1;
  }

  // ---- pictures of the cards
  for (const cardemu::Card &card : listing.cards) {
    std::string error;
    if (!cardemu::writeCardFiles(card, d.out.string(), &written, &error)) {
      std::fprintf(stderr, "carddemo: %s\n", error.c_str());
      return 1;
    }
  }
  timer.done("pictures of the cards and of what the user saw (PNG)");

  // ---- what happened
  if (d.network) {
    reportMessages(screen, framing.firstTick);
    reportFraming(framing, net->stats(), clockScale);
  } else {
    reportMessages(screen, pacing.firstPieceTick);
    reportPacing(pacing, d.fault, clockScale);
  }
  reportOutcome(jobCommands, jobErrors, listing.cards, cancelled, pacing.resetSent || framing.resetSent);
  if (!d.fault) reportTools(tools, toolLines);
  reportFiles(d.out, d.network, cacheWritten, written);
  std::printf("\nSteps (real time):\n");
  for (const Step &s : steps) std::printf("  %-52s %8.0f ms\n", s.what.c_str(), s.ms);
  std::printf("  %-52s %8.0f ms\n", "total", std::chrono::duration<double, std::milli>(Clock::now() - started).count());
  if (!clean) std::fprintf(stderr, "carddemo: the uninstall left more than Windows keeps (see uninstall.txt)\n");
  return clean ? 0 : 1;
}
