// The demo's command line: the usage text, the demo's own options and
// cardprint's, checked with cardprint's own parser, and the pictures the
// card is printed from.
#include "tools/carddemo/command_line.h"

#include <windows.h>
#include <winsim/testing.h>

#include <cstdio>
#include <cstring>

#include "tools/cardprint/cardprint.h"
#include "tools/cardprint/job_devmode.h"

namespace carddemo {

namespace {

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

// The demo's own options after the output folder; cardprint's go into
// `extra`.  0: go on; otherwise the exit status.
int parseDemoOptions(int argc, char **argv, DemoSetup &d, std::vector<std::string> &extra) {
  std::error_code ec;
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
  return 0;
}

// cardprint's options, checked by cardprint's own parser, with the demo's
// printer and layout put before them.  0: go on; otherwise the exit status,
// -1 when cardprint's help was shown.
int parseCardprintOptions(DemoSetup &d, const std::vector<std::string> &extra) {
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
  return 0;
}

}  // namespace

int parseCommandLine(int argc, char **argv, DemoSetup &d) {
  d.machine = CARDDEMO_MACHINE_DIR;
  if (argc < 2) return usage("no output folder given");
  if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) return usage(nullptr) - 1;
  if (argv[1][0] == '-' || !argv[1][0]) return usage("the output folder comes first");
  std::error_code ec;
  d.out = fs::absolute(argv[1], ec);
  std::vector<std::string> extra;
  if (const int status = parseDemoOptions(argc, argv, d, extra)) return status;
  if (const int status = parseCardprintOptions(d, extra)) return status;
  if (fs::exists(fs::symlink_status(d.out, ec)) && !fs::is_directory(d.out, ec))
    return usage((d.out.string() + " is not a folder").c_str());
  return 0;
}

}  // namespace carddemo
