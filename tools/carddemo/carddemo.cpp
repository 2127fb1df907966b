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
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "emulator/include/cardemu/net_printer.h"
#include "emulator/include/cardemu/printer.h"
#include "emulator/include/cardemu/render.h"
#include "emulator/include/cardemu/usb_device.h"
#include "shared/job_settings.h"
#include "tools/carddemo/command_line.h"
#include "tools/carddemo/install_road.h"
#include "tools/carddemo/machine.h"
#include "tools/carddemo/pacing.h"
#include "tools/carddemo/printer_listing.h"
#include "tools/carddemo/report.h"
#include "tools/carddemo/screen.h"
#include "tools/carddemo/snapshot.h"
#include "tools/carddemo/tools_step.h"
#include "tools/cardprint/cardprint.h"

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

// One run of the demo, shared by its phases.  The members are made in the
// order the phases need them and go in the reverse order: the people at the
// printer first, the installer before the printer's ways in, the printer
// last.
struct Demo {
  explicit Demo(DemoSetup &setup) : d(setup), timer(steps) {}
  DemoSetup &d;
  std::vector<Step> steps;
  Timer timer;
  const Clock::time_point started = Clock::now();
  double clockScale = kClockScale;
  // The machine: the printer, how it is reached, and the package installed.
  cardemu::PrinterConfig config;
  std::optional<cardemu::Printer> printer;
  std::optional<PrinterListing> listing;
  std::shared_ptr<cardemu::UsbPrinterDevice> device;
  std::unique_ptr<cardemu::NetPrinter> net;
  FrameLog frames;
  MachineSnapshot empty;  // the machine before the package came (with --uninstall)
  std::optional<Installer> installer;
  std::string portName;
  std::optional<PeopleAtThePrinter> people;
  // What the job and the tools left.
  bool trayBefore = false;
  bool cancelled = false;
  bool cacheWritten = false;
  PacingSummary pacing;
  FrameSummary framing;
  WhatTheUserSaw screen;
  std::vector<std::string> written;
  size_t jobCommands = 0, jobErrors = 0;
  ToolsRun tools;
  std::vector<std::string> toolLines;
  bool clean = true;
};

// A fresh virtual drive and output folder, the machine started on the drive
// with its clock, the emulated printer with its listing, and the pictures
// of the command line on the drive.
int setUpTheMachine(Demo &demo) {
  DemoSetup &d = demo.d;
  std::error_code ec;
  std::string problem;
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
  demo.clockScale = scaleText ? std::atof(scaleText) : kClockScale;
  winsim::setClockScale(demo.clockScale);
  demo.config.model = "CA3";
  demo.config.ribbonCode = printerRibbonCode(d.options.ribbonId);
  demo.config.ribbonRemaining = 1000;
  demo.config.cardsKept = 0;  // taken by the listener
  demo.printer.emplace(demo.config);
  demo.listing.emplace(*demo.printer, d.out / "listing.txt");
  if (!putPicturesOnTheMachine(d, problem)) {
    std::fprintf(stderr, "carddemo: %s\n", problem.c_str());
    return 1;
  }
  return 0;
}

// The package installed from C:\Setup as its installer does, with the
// printer plugged in (or on the network); then the printer's fault, if one
// is asked for, and the people who meet it.
int installThePackage(Demo &demo) {
  const DemoSetup &d = demo.d;
  cardemu::Printer &printer = *demo.printer;
  std::string problem;
  // The machine before the package comes, to compare with after it went.
  if (d.uninstall) demo.empty = takeSnapshot();
  Installer &installer = demo.installer.emplace(d.network ? networkRoad() : usbRoad());
  playTheSpooler();
  bool installed = false;
  if (d.network) {
    cardemu::NetConfig netConfig;
    netConfig.address = kNetPrinterAddress;
    demo.net = std::make_unique<cardemu::NetPrinter>(printer, netConfig);
    demo.net->setFrameListener([&frames = demo.frames](const cardemu::DataFrame &f) { frames.add(f); });
    installed = demo.net->start(&problem) && installer.layOut(problem) &&
                installer.install(demo.net->ports(), d.options.ribbonId, problem);
  } else {
    demo.device = std::make_shared<cardemu::UsbPrinterDevice>(printer, true);
    installed = installer.layOut(problem) && installer.install(demo.device, d.options.ribbonId, problem);
  }
  if (!installed) {
    std::fprintf(stderr, "carddemo: %s\n", problem.c_str());
    winsim::resetMachine();
    if (demo.net) demo.net->stop();
    return 1;
  }
  std::printf("\n");
  demo.portName = winsim::toUtf8(d.network ? kNetPortName : kPortName);
  if (d.fault) printer.injectFault(d.faultChoice);
  demo.people.emplace(printer, d.fault, d.userCancels);
  demo.timer.done("machine set up (the installer's steps, printer on " + demo.portName + ")");
  return 0;
}

// The application prints; the spooler hands the job to the monitor, which
// takes it to the printer.  The job's stream goes into job.prn.
int printTheCard(Demo &demo) {
  const DemoSetup &d = demo.d;
  std::vector<LPCWSTR> argw;
  for (const auto &a : d.args) argw.push_back(reinterpret_cast<LPCWSTR>(a.c_str()));
  std::printf("Printing %s with cardprint on \"%s\" (%s)\n", d.options.frontImage ? "your card" : "the sample card",
              winsim::toUtf8(d.printerName()).c_str(), demo.portName.c_str());
  HostConsole console;
  demo.trayBefore = trayRunning();
  const int printed = cardprint::cardPrintMain(int(argw.size()), argw.data(), console);
  if (printed != cardprint::kExitPrinted) {
    std::fprintf(stderr, "carddemo: cardprint failed (exit status %d)\n", printed);
    winsim::resetMachine();
    return printed;
  }
  demo.timer.done("printing (cardprint, GDI, cardrend, spooler)");
  const bool idle = winsim::waitForSpoolerIdle(d.printerName(), 600000);
  const auto jobs = winsim::printJobs(d.printerName());
  demo.printer->ejectRemaining("still in the printer when the job ended");
  demo.timer.done(d.network ? "the job through netmon to the printer (framed)"
                            : "the job through usbmon to the printer (paced)");
  if (!idle || jobs.empty() || !jobs.back().completed) {
    std::fprintf(stderr, "carddemo: the spooler did not finish the job\n");
    winsim::resetMachine();
    return 1;
  }
  const winsim::JobRecord &job = jobs.back();
  demo.cancelled = job.aborted;
  if (!writeFile(d.out / "job.prn", job.bytes.data(), job.bytes.size())) {
    std::fprintf(stderr, "carddemo: cannot write %s\n", (d.out / "job.prn").c_str());
    return 1;
  }
  return 0;
}

// The rest of what the job left: the monitor's ribbon cache file, its
// pacing (or the data channel's messages) in pacing.txt, and what the user
// saw, drawn while the machine still runs: the tray program's icon comes
// from its file on the machine's drive.
int writeTheJobsFiles(Demo &demo) {
  const DemoSetup &d = demo.d;
  std::error_code ec;
  std::string problem;
  const fs::path cache = ribbonCacheFile();
  demo.cacheWritten = !cache.empty() && fs::is_regular_file(cache, ec);
  if (demo.cacheWritten) fs::copy_file(cache, d.out / "cardribbon.INI", fs::copy_options::overwrite_existing, ec);
  {
    std::ofstream pacingFile(d.out / "pacing.txt");
    if (d.network) {
      pacingFile << "Every message of the network language monitor's data channel that reached the printer:\n"
                    "the simulated time since the one before it, its length field and what it carried.\n\n";
      demo.framing = analyseFrames(demo.frames.taken(), &pacingFile);
    } else {
      pacingFile << "Every write call of the USB language monitor that reached the printer: the simulated\n"
                    "time since the call before it, its size and what it carried.\n\n";
      demo.pacing = analysePacing(demo.device->writes(), &pacingFile);
    }
  }
  demo.screen = lookAtTheScreen(demo.trayBefore);
  if (!drawWhatTheUserSaw(demo.screen, d.out, demo.written, problem)) {
    std::fprintf(stderr, "carddemo: %s\n", problem.c_str());
    winsim::resetMachine();
    return 1;
  }
  demo.jobCommands = demo.listing->commands;
  demo.jobErrors = demo.listing->errors;
  return 0;
}

// The printer tools on the same road, once the card is out (after the
// pictures of what the user saw during the job); not after a printer fault.
int runThePrinterTools(Demo &demo) {
  const DemoSetup &d = demo.d;
  if (d.fault) return 0;
  cardemu::Printer &printer = *demo.printer;
  std::string problem;
  const size_t from = demo.listing->mark();
  const uint64_t framesBefore = printer.firmwareFrames();
  Operator person;
  person.takeRibbonOut = [&printer] { printer.removeRibbon(); };
  person.putRibbonBack = [&printer, &config = demo.config] {
    printer.loadRibbon(config.ribbonCode, config.ribbonRemaining);
  };
  if (!runPrinterTools(d.printerName(), person, demo.tools, problem)) {
    std::fprintf(stderr, "carddemo: %s\n", problem.c_str());
    winsim::resetMachine();
    return 1;
  }
  // On the network the download ends when its bytes are on their way; the
  // listing waits (a while at most) for the printer to have read them.
  for (int i = 0; i < 500 && printer.firmwareFrames() == framesBefore; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  demo.toolLines = demo.listing->linesSince(from);
  if (!writeToolsFile(d.out / "tools.txt", demo.tools, demo.toolLines)) {
    std::fprintf(stderr, "carddemo: cannot write %s\n", (d.out / "tools.txt").c_str());
    winsim::resetMachine();
    return 1;
  }
  demo.timer.done("printer tools (cardtool: version, command file, firmware)");
  return 0;
}

// The version stamp of an update (the USB road's) and the uninstall, then
// the machine stopped and the printer's listing closed.
int stampAndUninstall(Demo &demo) {
  const DemoSetup &d = demo.d;
  if ((!d.network && !stampTheVersion(demo.timer)) ||
      !uninstallOrLetGo(d, *demo.installer, demo.empty, demo.written, demo.timer, demo.clean)) {
    winsim::resetMachine();
    return 1;
  }
  winsim::resetMachine();  // the spooler and the monitor stop before the printer goes
  if (demo.net) demo.net->stop();
  if (!demo.listing->close()) {
    std::fprintf(stderr, "carddemo: cannot write %s\n", (d.out / "listing.txt").c_str());
    return 1;
  }
  return 0;
}

// Pictures of the cards, and the report of what happened; the exit status.
int drawAndReport(Demo &demo) {
  const DemoSetup &d = demo.d;
  for (const cardemu::Card &card : demo.listing->cards) {
    std::string error;
    if (!cardemu::writeCardFiles(card, d.out.string(), &demo.written, &error)) {
      std::fprintf(stderr, "carddemo: %s\n", error.c_str());
      return 1;
    }
  }
  demo.timer.done("pictures of the cards and of what the user saw (PNG)");

  if (d.network) {
    reportMessages(demo.screen, demo.framing.firstTick);
    reportFraming(demo.framing, demo.net->stats(), demo.clockScale);
  } else {
    reportMessages(demo.screen, demo.pacing.firstPieceTick);
    reportPacing(demo.pacing, d.fault, demo.clockScale);
  }
  reportOutcome(demo.jobCommands, demo.jobErrors, demo.listing->cards, demo.cancelled,
                demo.pacing.resetSent || demo.framing.resetSent);
  if (!d.fault) reportTools(demo.tools, demo.toolLines);
  reportFiles(d.out, d.network, demo.cacheWritten, demo.written);
  std::printf("\nSteps (real time):\n");
  for (const Step &s : demo.steps) std::printf("  %-52s %8.0f ms\n", s.what.c_str(), s.ms);
  std::printf("  %-52s %8.0f ms\n", "total",
              std::chrono::duration<double, std::milli>(Clock::now() - demo.started).count());
  if (!demo.clean) std::fprintf(stderr, "carddemo: the uninstall left more than Windows keeps (see uninstall.txt)\n");
  return demo.clean ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
  DemoSetup d;
  if (const int status = parseCommandLine(argc, argv, d)) return status < 0 ? 0 : status;
  Demo demo(d);
  if (const int status = setUpTheMachine(demo)) return status;
  if (const int status = installThePackage(demo)) return status;
  if (const int status = printTheCard(demo)) return status;
  if (const int status = writeTheJobsFiles(demo)) return status;
  if (const int status = runThePrinterTools(demo)) return status;
  if (const int status = stampAndUninstall(demo)) return status;
  return drawAndReport(demo);
}
