// carddemo: prints the sample card the way a user's machine would and shows
// what came out.  One process is one simulated Windows machine: the package's
// driver is installed into its virtual drive with a card printer whose port
// is a file, cardprint prints the card through GDI and the driver, and the
// job the spooler wrote to the port is handed to the emulated printer, whose
// cards are written as pictures beside the job stream and a command listing.
//
//   carddemo OUT_DIR [--machine DIR] [cardprint options...]
#include <windows.h>
#include <winsim/testing.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "emulator/include/cardemu/listing.h"
#include "emulator/include/cardemu/printer.h"
#include "emulator/include/cardemu/render.h"
#include "emulator/include/cardemu/unattended.h"
#include "tools/cardprint/cardprint.h"
#include "tools/cardprint/job_devmode.h"
#include "tools/cardprint/options.h"

namespace fs = std::filesystem;

namespace {

const char16_t kPrinterName[] = u"Pellor CA3 Card Printer USB";
const char16_t kDriverName[] = u"Pellor Standard Printer";
// Until the USB language monitor carries jobs to the printer, the printer's
// port is a file on the virtual drive.
const char16_t kPortFolder[] = u"C:\\PrintJobs";
const char16_t kPortFile[] = u"C:\\PrintJobs\\card.prn";

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
// printer holds the ribbon the job was printed for.
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
      "usage: carddemo OUT_DIR [--machine DIR] [cardprint options...]\n"
      "Prints the sample card with cardprint on a simulated machine, runs the job\n"
      "through the emulated printer and writes into OUT_DIR: job.prn, listing.txt and,\n"
      "per card, card_NNNN_front.png, card_NNNN_back.png, its panels and card_NNNN.txt.\n"
      "The sample card is printed on both sides of a YMCKO ribbon; a card of your own\n"
      "pictures (--front, --back) has as many sides as it has pictures.\n"
      "--machine DIR holds the machine's virtual drive (default: beside the program);\n"
      "DIR must be new, empty or a machine folder of an earlier run, whose contents\n"
      "are replaced.\n",
      problem ? stderr : stdout);
  return problem ? 2 : 0;
}

// A machine folder carries this file from the moment carddemo makes it; only
// a folder that carries it is ever emptied, so that a mistyped --machine
// cannot take a user's files with it.
const char kMachineMarker[] = ".carddemo-machine";

bool isMarkedMachine(const fs::path &dir) {
  std::error_code ec;
  return fs::symlink_status(dir / kMachineMarker, ec).type() == fs::file_type::regular;
}

// A fresh machine folder: made (or an empty one taken) and marked, or a
// marked one emptied.  Anything else is left as it is.
bool prepareMachine(const fs::path &dir, std::string &problem) {
  std::error_code ec;
  const fs::file_status st = fs::symlink_status(dir, ec);
  if (st.type() == fs::file_type::not_found) {
    if (!fs::create_directories(dir, ec) && ec) {
      problem = "cannot create the machine folder " + dir.string() + ": " + ec.message();
      return false;
    }
  } else if (st.type() != fs::file_type::directory) {
    problem = dir.string() + " is not a folder; --machine needs a new, empty or earlier machine folder";
    return false;
  } else if (isMarkedMachine(dir)) {
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
      if (it->path().filename() != kMachineMarker) entries.push_back(it->path());
    for (const fs::path &e : entries)
      if (!ec) fs::remove_all(e, ec);
    if (ec) {
      problem = "cannot empty the machine folder " + dir.string() + ": " + ec.message();
      return false;
    }
    return true;
  } else if (!fs::is_empty(dir, ec) || ec) {
    problem = dir.string() + " holds files that carddemo did not put there (it has no " + kMachineMarker +
              " file); it is left as it is: remove it yourself, or name a new or empty folder with --machine";
    return false;
  }
  std::ofstream marker(dir / kMachineMarker);
  marker << "carddemo's simulated machine: the next carddemo run that uses this folder empties it.\n";
  marker.close();
  if (!marker) {
    problem = "cannot write " + (dir / kMachineMarker).string();
    return false;
  }
  return true;
}

bool within(const fs::path &inner, const fs::path &outer) {
  const fs::path a = inner.lexically_normal(), b = outer.lexically_normal();
  auto i = a.begin(), j = b.begin();
  for (; j != b.end() && !j->empty(); ++i, ++j)
    if (i == a.end() || *i != *j) return false;
  return true;
}

// Old results in the output folder would be taken for this run's.
void clearOutputs(const fs::path &out) {
  std::error_code ec;
  for (const auto &e : fs::directory_iterator(out, ec)) {
    const std::string name = e.path().filename().string();
    const bool ours =
        name == "job.prn" || name == "listing.txt" ||
        (name.rfind("card_", 0) == 0 && (e.path().extension() == ".png" || e.path().extension() == ".txt"));
    if (ours && e.is_regular_file()) fs::remove(e.path(), ec);
  }
}

struct Picture {
  size_t argument;  // index among cardprint's arguments of the one that names it
  fs::path host;
  std::u16string option;  // what comes before the name in that argument ("--front=" or nothing)
  std::u16string virt;    // where it is put on the machine's drive
};

}  // namespace

int main(int argc, char **argv) {
  // ---- the command line, checked whole before any folder is touched
  if (argc < 2) return usage("no output folder given");
  if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) return usage(nullptr);
  if (argv[1][0] == '-' || !argv[1][0]) return usage("the output folder comes first");
  std::error_code ec;
  const fs::path out = fs::absolute(argv[1], ec);
  fs::path machine = CARDDEMO_MACHINE_DIR;
  std::vector<std::string> extra;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--machine" || a.rfind("--machine=", 0) == 0) {
      const std::string dir = a == "--machine" ? (i + 1 < argc ? argv[++i] : "") : a.substr(10);
      if (dir.empty()) return usage("--machine needs a folder");
      machine = fs::absolute(dir, ec);
    } else {
      extra.push_back(a);
    }
  }
  if (within(out, machine) || within(machine, out))
    return usage("the output folder and the machine folder must not lie in one another");

  auto parse = [](const std::vector<std::u16string> &args, cardprint::PrintOptions &options, std::string &problem) {
    std::vector<LPCWSTR> argw;
    for (const auto &a : args) argw.push_back(reinterpret_cast<LPCWSTR>(a.c_str()));
    WCHAR message[cardprint::kMessageChars];
    if (cardprint::parseOptions(int(argw.size()), argw.data(), options, message)) return true;
    problem = winsim::toUtf8(reinterpret_cast<const char16_t *>(message));
    return false;
  };
  std::vector<std::u16string> args = {u"cardprint"};
  for (const std::string &a : extra) args.push_back(winsim::toUtf16(a));
  cardprint::PrintOptions options;
  std::string problem;
  if (!parse(args, options, problem)) return usage(problem.c_str());
  if (options.help) {
    usage(nullptr);
    std::printf("\ncardprint options:\n%s",
                winsim::toUtf8(reinterpret_cast<const char16_t *>(cardprint::usageText())).c_str());
    return 0;
  }
  // The sample card on both sides of a YMCKO ribbon, in its layout of full
  // colour on both, unless the command line says otherwise; a card of one's
  // own pictures is two-sided when it has a back picture.
  std::vector<std::u16string> defaults = {u"--printer", kPrinterName};
  if (options.ribbonId == cardprint::kUnset) defaults.insert(defaults.end(), {u"--ribbon", u"YMCKO"});
  if (!options.frontImage || options.backImage) {
    if (options.ribbonId == cardprint::kUnset)
      defaults.insert(defaults.end(), {u"--layout", u"1"});
    else
      defaults.push_back(u"--two-sided");
  }
  args.insert(args.begin() + 1, defaults.begin(), defaults.end());
  const size_t firstExtra = 1 + defaults.size();
  if (!parse(args, options, problem)) return usage(problem.c_str());
  {
    card::CardDevmode devmode;
    cardprint::defaultJobDevmode(devmode);
    WCHAR message[cardprint::kMessageChars];
    if (!cardprint::applyOptions(options, devmode, message))
      return usage(winsim::toUtf8(reinterpret_cast<const char16_t *>(message)).c_str());
  }
  // Pictures named on the command line are host files: they are put on the
  // virtual drive, where the program looks for them, each side's in a folder
  // of its own so that two files of one name stay apart.
  std::vector<Picture> pictures;
  for (const auto &[file, side] : {std::pair{options.frontImage, u"Front"}, std::pair{options.backImage, u"Back"}}) {
    if (!file) continue;
    // The argument that holds the name, alone or behind "--front=".
    size_t k = firstExtra;
    while (k < args.size() && !(file >= reinterpret_cast<LPCWSTR>(args[k].c_str()) &&
                                file < reinterpret_cast<LPCWSTR>(args[k].c_str() + args[k].size())))
      ++k;
    if (k == args.size()) return usage("a picture option cardprint took cannot be found");
    const size_t at = size_t(file - reinterpret_cast<LPCWSTR>(args[k].c_str()));
    const fs::path host = winsim::toUtf8(args[k].substr(at));
    if (!fs::is_regular_file(host, ec)) {
      std::fprintf(stderr, "carddemo: cannot find the picture %s\n", host.c_str());
      return 1;
    }
    pictures.push_back(
        {k, host, args[k].substr(0, at),
         u"C:\\Users\\Public\\Pictures\\" + std::u16string(side) + u"\\" + winsim::toUtf16(host.filename().string())});
  }
  if (fs::exists(fs::symlink_status(out, ec)) && !fs::is_directory(out, ec))
    return usage((out.string() + " is not a folder").c_str());

  std::vector<Step> steps;
  Timer timer(steps);
  const auto started = Clock::now();

  // ---- the machine: a fresh virtual drive with the package installed
  if (!prepareMachine(machine, problem)) {
    std::fprintf(stderr, "carddemo: %s\n", problem.c_str());
    return 2;
  }
  fs::create_directories(out, ec);
  if (ec) {
    std::fprintf(stderr, "carddemo: cannot create %s: %s\n", out.c_str(), ec.message().c_str());
    return 1;
  }
  clearOutputs(out);
  winsim::resetMachine();
  winsim::setDriveRoot(machine.string());
  fs::create_directories(winsim::hostPath(kPortFolder), ec);
  winsim::PrinterSetup setup;
  setup.printerName = kPrinterName;
  setup.driverName = kDriverName;
  setup.graphicsDll = CARDDEMO_CARDREND_DLL;
  setup.portName = kPortFile;
  if (!winsim::installPrinter(setup)) {
    std::fprintf(stderr, "carddemo: installing the printer failed (driver %s)\n", CARDDEMO_CARDREND_DLL);
    return 1;
  }
  for (const Picture &p : pictures) {
    const fs::path virt = winsim::hostPath(p.virt);
    fs::create_directories(virt.parent_path(), ec);
    fs::copy_file(p.host, virt, fs::copy_options::overwrite_existing, ec);
    if (ec) {
      std::fprintf(stderr, "carddemo: cannot put %s on the machine: %s\n", p.host.c_str(), ec.message().c_str());
      return 1;
    }
    args[p.argument] = p.option + p.virt;
  }
  timer.done("machine set up (virtual drive, driver, printer)");

  // ---- the application prints
  std::vector<LPCWSTR> argw;
  for (const auto &a : args) argw.push_back(reinterpret_cast<LPCWSTR>(a.c_str()));
  std::printf("Printing %s with cardprint on \"%s\"\n", options.frontImage ? "your card" : "the sample card",
              winsim::toUtf8(kPrinterName).c_str());
  HostConsole console;
  const int printed = cardprint::cardPrintMain(int(argw.size()), argw.data(), console);
  if (printed != cardprint::kExitPrinted) {
    std::fprintf(stderr, "carddemo: cardprint failed (exit status %d)\n", printed);
    return printed;
  }
  const auto jobs = winsim::printJobs(kPrinterName);
  if (jobs.empty() || !jobs.back().completed || jobs.back().aborted) {
    std::fprintf(stderr, "carddemo: the spooler did not complete the job\n");
    return 1;
  }
  std::vector<uint8_t> job;
  {
    std::ifstream port(winsim::hostPath(kPortFile), std::ios::binary);
    job.assign(std::istreambuf_iterator<char>(port), std::istreambuf_iterator<char>());
  }
  if (job.empty()) {
    std::fprintf(stderr, "carddemo: nothing arrived at the port %s\n", winsim::toUtf8(kPortFile).c_str());
    return 1;
  }
  if (!writeFile(out / "job.prn", job.data(), job.size())) {
    std::fprintf(stderr, "carddemo: cannot write %s\n", (out / "job.prn").c_str());
    return 1;
  }
  timer.done("printing (cardprint, GDI, cardrend, spooler, port)");

  // ---- the printer takes the job
  cardemu::PrinterConfig config;
  config.model = "CA3";
  config.ribbonCode = printerRibbonCode(options.ribbonId);
  config.ribbonRemaining = 1000000;
  config.cardsKept = 0;     // taken by the listener below
  config.receiveLimit = 0;  // stop at an error, so that it is cleared before the next command
  cardemu::Printer printer(config);
  std::ofstream listing(out / "listing.txt");
  std::vector<cardemu::Card> cards;
  size_t commands = 0, errors = 0;
  std::string cardLines;
  printer.setCommandListener([&](const cardemu::CommandRecord &r) {
    if (r.held) return;  // listed when it runs
    ++commands;
    if (r.error) ++errors;
    listing << cardemu::listingLine(r) << "\n" << cardLines;
    cardLines.clear();
  });
  printer.setCardListener([&](const cardemu::Card &card) {
    cards.push_back(card);
    cardLines += "          -- card " + std::to_string(card.number) + " out --\n";
    std::string summary = card.summary();
    for (size_t at = 0, nl; at < summary.size(); at = nl + 1) {
      nl = summary.find('\n', at);
      if (nl == std::string::npos) nl = summary.size();
      cardLines += "             " + summary.substr(at, nl - at) + "\n";
    }
  });
  // In blocks, as a port hands a job over.  Nobody stands at the printer: an
  // error is noted in the listing with the command that raised it and
  // cleared, and the job goes on with the next command, so that every
  // command of the job runs and every card comes out.
  cardemu::UnattendedRun run(printer);
  const size_t kBlock = 0x10000;
  bool ran = true;
  for (size_t at = 0; ran && at < job.size(); at += kBlock)
    ran = run.feed(job.data() + at, std::min(kBlock, job.size() - at));
  if (ran) ran = run.finish();
  printer.ejectRemaining("still in the printer when the job ended");
  listing << cardLines;
  if (!ran) listing << "stopped: " << run.problem() << "; the rest of the job was not run\n";
  listing.close();
  if (!listing) {
    std::fprintf(stderr, "carddemo: cannot write %s\n", (out / "listing.txt").c_str());
    return 1;
  }
  if (!ran) {
    std::fprintf(stderr, "carddemo: the emulated printer did not run the whole job: %s\n", run.problem().c_str());
    return 1;
  }
  timer.done("printer (emulator: commands, panels, encoder)");

  // ---- pictures of the cards
  std::vector<std::string> written;
  for (const cardemu::Card &card : cards) {
    std::string error;
    if (!cardemu::writeCardFiles(card, out.string(), &written, &error)) {
      std::fprintf(stderr, "carddemo: %s\n", error.c_str());
      return 1;
    }
  }
  timer.done("card pictures (PNG)");

  // ---- what happened
  std::printf("\nThe emulated printer ran %zu commands (%zu printer errors) and put out %zu card(s).\n", commands,
              errors, cards.size());
  for (const cardemu::Card &card : cards) std::printf("\n%s", card.summary().c_str());
  std::printf("\nWritten to %s:\n", out.c_str());
  auto show = [&](const std::string &name, const char *what) {
    std::printf("  %-34s %9s  %s\n", name.c_str(), sizeText(fs::file_size(out / name, ec)).c_str(), what);
  };
  show("job.prn", "the card job stream the driver wrote");
  show("listing.txt", "the printer's command listing");
  for (const std::string &name : written) {
    const char *what = name.find("_front.png") != std::string::npos  ? "front of the card"
                       : name.find("_back.png") != std::string::npos ? "back of the card"
                       : name.find(".txt") != std::string::npos      ? "card summary"
                                                                     : "one panel as printed";
    show(name, what);
  }
  std::printf("\nSteps:\n");
  for (const Step &s : steps) std::printf("  %-52s %8.0f ms\n", s.what.c_str(), s.ms);
  std::printf("  %-52s %8.0f ms\n", "total", std::chrono::duration<double, std::milli>(Clock::now() - started).count());
  return 0;
}
