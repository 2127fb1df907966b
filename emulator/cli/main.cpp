// cardemu: the card printer emulator on the command line.  "decode" runs a
// captured job stream through the emulated printer and writes what came out:
// the pictures of every card and a readable listing of the commands.  "serve"
// puts the printer on a loopback address as a network printer.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "emulator/include/cardemu/listing.h"
#include "emulator/include/cardemu/net_printer.h"
#include "emulator/include/cardemu/printer.h"
#include "emulator/include/cardemu/render.h"
#include "emulator/include/cardemu/unattended.h"

namespace {

const char kUsage[] =
    "usage: cardemu decode JOB.prn --out DIR [options]\n"
    "       cardemu serve [serve options]\n"
    "       cardemu --help\n"
    "\n"
    "decode  runs the job stream in JOB.prn through the emulated printer and writes\n"
    "        into DIR, per card, card_NNNN_front.png and card_NNNN_back.png (the sides\n"
    "        as printed), one picture per applied panel and card_NNNN.txt (summary),\n"
    "        and listing.txt, the commands of the stream with image data summarised.\n"
    "        A printer error is written to the listing with the command that raised it\n"
    "        and cleared, the command is given up, and decoding goes on with the next one:\n"
    "        every command of the stream runs, in order, whatever the --piece size.\n"
    "\n"
    "options:\n"
    "  --out DIR          where to write (created when missing); required\n"
    "  --model TEXT       version reply of the printer (default \"LX3 MAG V3.02\":\n"
    "                     two-sided, laminator, magnetic encoder)\n"
    "  --ribbon CODE      ribbon code the printer reports (default 2, YMCKO)\n"
    "  --check-ribbon     refuse panels the ribbon does not have, as the printer does\n"
    "  --no-encoder       printer without a magnetic encoder\n"
    "  --piece N          feed the stream in pieces of N bytes (default 4096)\n"
    "\n"
    "serve   puts the emulated printer on a loopback address as a network printer:\n"
    "        the data channel (TCP, length-prefixed messages), the status channel (TCP,\n"
    "        \"000\" \"111\" \"222\"), an SNMP version 1 agent (UDP) and the web server that\n"
    "        takes the interface reset request (TCP).  Prints the ports it listens on,\n"
    "        one \"NAME-port N\" line each, then \"ready\"; runs until SIGINT, SIGTERM or\n"
    "        the end of its standard input.\n"
    "\n"
    "serve options:\n"
    "  --address A        loopback address to listen on, 127.x.y.z (default 127.0.0.1)\n"
    "  --data-port N      data channel port (default 0: any free port)\n"
    "  --status-port N    status channel port (default 0)\n"
    "  --snmp-port N      SNMP agent port (UDP, default 0)\n"
    "  --http-port N      web server port (default 0)\n"
    "  --model TEXT       a model code (\"CA3\") or the whole version reply (default CA3)\n"
    "  --community TEXT   SNMP community (default \"kestra\")\n"
    "  --restart-ms N     how long the data port refuses after a reset request (default 5000)\n"
    "  --fault KIND[@CMD] a printer fault: cover-open, out-of-cards, out-of-ribbon,\n"
    "                     card-jam, encoder; at the first command starting with CMD\n"
    "  --refuse           start with the data port closed\n"
    "  --silent           accept connections but never read or answer\n"
    "  --reset-after N    reset the data connection that brings the N-th data byte\n"
    "  --busy-polls N     answer the first N status polls with the busy bit set\n"
    "  --hang-in-firmware N  stop taking bytes and answering N bytes after the \"\\eDC \"\n"
    "                     of the first firmware frame (4: after its size bytes)\n"
    "  --ignore-stdin     run until a signal only\n"
    "\n"
    "exit status: 0 decoded (printer errors included), 1 the file could not be read,\n"
    "the output written or the stream run to its end, 2 wrong usage; serve: 0 stopped,\n"
    "1 a port could not be bound, 2 wrong usage (a non-loopback address included).\n";

int usage(const char *problem) {
  if (problem) std::fprintf(stderr, "cardemu: %s\n\n", problem);
  std::fputs(kUsage, problem ? stderr : stdout);
  return problem ? 2 : 0;
}

struct DecodeOptions {
  std::string job, out;
  cardemu::PrinterConfig config;
  size_t piece = 4096;
};

cardemu::PrinterConfig decodePrinterConfig() {
  cardemu::PrinterConfig config;
  config.modelText = "LX3 MAG V3.02";
  config.checkRibbonPanels = false;
  config.ribbonRemaining = 1000000;
  config.feederCards = -1;
  config.cardsKept = 0;     // cards are written as they come out
  config.receiveLimit = 0;  // stop at an error, so that it is cleared before the next command
  return config;
}

// The exit status when the arguments are wrong, nothing when decoding may go on.
std::optional<int> readDecodeOptions(int argc, char **argv, DecodeOptions *o) {
  o->config = decodePrinterConfig();
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char *what) -> const char * {
      if (i + 1 >= argc) return nullptr;
      (void)what;
      return argv[++i];
    };
    if (a == "--out") {
      const char *v = value("--out");
      if (!v) return usage("--out needs a directory");
      o->out = v;
    } else if (a == "--model") {
      const char *v = value("--model");
      if (!v) return usage("--model needs a text");
      o->config.modelText = v;
    } else if (a == "--ribbon") {
      const char *v = value("--ribbon");
      char *end = nullptr;
      if (!v || !*v || (o->config.ribbonCode = static_cast<int>(std::strtol(v, &end, 10)), *end != 0))
        return usage("--ribbon needs a number");
    } else if (a == "--piece") {
      const char *v = value("--piece");
      char *end = nullptr;
      if (!v) return usage("--piece needs a number");
      const long n = std::strtol(v, &end, 10);
      if (*end != 0 || n < 1 || n > (1 << 24)) return usage("--piece needs a number from 1 to 16777216");
      o->piece = static_cast<size_t>(n);
    } else if (a == "--check-ribbon") {
      o->config.checkRibbonPanels = true;
    } else if (a == "--no-encoder") {
      o->config.encoder = false;
    } else if (!a.empty() && a[0] == '-') {
      return usage(("unknown option " + a).c_str());
    } else if (o->job.empty()) {
      o->job = a;
    } else {
      return usage("only one job file can be decoded at a time");
    }
  }
  if (o->job.empty()) return usage("no job file given");
  if (o->out.empty()) return usage("--out DIR is required");
  return std::nullopt;
}

// Opens the job and the listing, making the output directory; false (said
// on stderr) when one of them fails.
bool openDecodeFiles(const DecodeOptions &o, std::ifstream &in, std::ofstream &listing) {
  in.open(o.job, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cardemu: cannot open %s: %s\n", o.job.c_str(), std::strerror(errno));
    return false;
  }
  std::error_code ec;
  std::filesystem::create_directories(o.out, ec);
  if (ec) {
    std::fprintf(stderr, "cardemu: cannot create %s: %s\n", o.out.c_str(), ec.message().c_str());
    return false;
  }
  listing.open(o.out + "/listing.txt");
  if (!listing) {
    std::fprintf(stderr, "cardemu: cannot write %s/listing.txt\n", o.out.c_str());
    return false;
  }
  return true;
}

struct DecodeTally {
  size_t cards = 0, commands = 0, errors = 0;
  bool writeFailed = false;
  std::string writeError;
  // A card comes out while its command runs; its line follows the command's.
  std::string cardLines;
};

void listenForDecode(cardemu::Printer &printer, const std::string &out, std::ofstream &listing, DecodeTally &t) {
  printer.setCommandListener([&](const cardemu::CommandRecord &r) {
    if (r.held) return;  // listed when it runs
    ++t.commands;
    if (r.error) ++t.errors;
    listing << cardemu::listingLine(r) << "\n" << t.cardLines;
    t.cardLines.clear();
  });
  printer.setCardListener([&](const cardemu::Card &card) {
    ++t.cards;
    t.cardLines += "          -- card " + std::to_string(card.number) + " out --\n";
    if (!t.writeFailed && !cardemu::writeCardFiles(card, out, nullptr, &t.writeError)) t.writeFailed = true;
  });
}

// The end of a decoding: the listing written out and the outcome told;
// stopped is the run when it did not get to the end of the stream.
int reportDecode(const std::string &out, std::ofstream &listing, const DecodeTally &t,
                 const cardemu::UnattendedRun *stopped) {
  listing.flush();
  if (!listing) {
    std::fprintf(stderr, "cardemu: cannot write %s/listing.txt\n", out.c_str());
    return 1;
  }
  if (t.writeFailed) {
    std::fprintf(stderr, "cardemu: %s\n", t.writeError.c_str());
    return 1;
  }
  if (stopped) {
    std::fprintf(stderr, "cardemu: %s; the rest of the stream was not run (%zu commands, %zu printer errors so far)\n",
                 stopped->problem().c_str(), t.commands, t.errors);
    return 1;
  }
  std::printf("%zu commands, %zu printer errors, %zu cards written to %s\n", t.commands, t.errors, t.cards,
              out.c_str());
  return 0;
}

int decode(int argc, char **argv) {
  DecodeOptions o;
  if (const std::optional<int> status = readDecodeOptions(argc, argv, &o)) return *status;
  std::ifstream in;
  std::ofstream listing;
  if (!openDecodeFiles(o, in, listing)) return 1;

  DecodeTally tally;
  cardemu::Printer printer(o.config);
  listenForDecode(printer, o.out, listing, tally);

  // Every command of the stream runs, in order: an error is listed with the
  // command that raised it and cleared, and decoding goes on with the next.
  cardemu::UnattendedRun run(printer);
  std::vector<uint8_t> buffer(o.piece);
  bool ran = true;
  while (ran && in) {
    in.read(reinterpret_cast<char *>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
    ran = run.feed(buffer.data(), static_cast<size_t>(in.gcount()));
  }
  if (in.bad()) {
    std::fprintf(stderr, "cardemu: read error on %s\n", o.job.c_str());
    return 1;
  }
  if (ran) ran = run.finish();
  printer.ejectRemaining("still in the printer when the stream ended");
  listing << tally.cardLines;
  if (!ran) listing << "stopped: " << run.problem() << "; the rest of the stream was not run\n";
  return reportDecode(o.out, listing, tally, ran ? nullptr : &run);
}

bool parsePort(const char *v, uint16_t *port) {
  if (!v || !*v) return false;
  char *end = nullptr;
  const long n = std::strtol(v, &end, 10);
  if (*end != 0 || n < 0 || n > 65535) return false;
  *port = static_cast<uint16_t>(n);
  return true;
}

struct ServeOptions {
  cardemu::NetConfig net;
  cardemu::PrinterConfig config;
  std::vector<cardemu::FaultChoice> faults;
  bool refuse = false, silent = false, watchStdin = true;
  uint64_t resetAfter = 0, busyPolls = 0;
  std::optional<uint64_t> hangInFirmware;
};

// What an option reader made of an argument.
enum class OptionRead { kNotMine, kTaken, kWrong };

// The options of the network front: where it listens and how it answers.
// On kWrong, *status is the exit status of the usage message written.
OptionRead readNetOption(const std::string &a, char **argv, int &i, const char *v, ServeOptions *o, int *status) {
  auto port = [&](uint16_t *out) {
    ++i;
    return parsePort(v, out);
  };
  auto wrong = [&](const std::string &problem) {
    *status = usage(problem.c_str());
    return OptionRead::kWrong;
  };
  if (a == "--address") {
    if (!v) return wrong("--address needs an address");
    o->net.address = argv[++i];
  } else if (a == "--data-port") {
    if (!port(&o->net.dataPort)) return wrong("--data-port needs a port number from 0 to 65535");
  } else if (a == "--status-port") {
    if (!port(&o->net.statusPort)) return wrong("--status-port needs a port number from 0 to 65535");
  } else if (a == "--snmp-port") {
    if (!port(&o->net.snmpPort)) return wrong("--snmp-port needs a port number from 0 to 65535");
  } else if (a == "--http-port") {
    if (!port(&o->net.httpPort)) return wrong("--http-port needs a port number from 0 to 65535");
  } else if (a == "--community") {
    if (!v) return wrong("--community needs a text");
    o->net.community = argv[++i];
  } else if (a == "--restart-ms") {
    char *end = nullptr;
    const long n = v ? std::strtol(v, &end, 10) : -1;
    if (!v || !*v || *end != 0 || n < 0 || n > 3600000) return wrong("--restart-ms needs a number from 0 to 3600000");
    o->net.restartTime = std::chrono::milliseconds(n);
    ++i;
  } else {
    return OptionRead::kNotMine;
  }
  return OptionRead::kTaken;
}

// The options of the printer behind it and of the faults it plays.  As
// readNetOption.
OptionRead readPrinterOption(const std::string &a, char **argv, int &i, const char *v, ServeOptions *o, int *status) {
  auto wrong = [&](const std::string &problem) {
    *status = usage(problem.c_str());
    return OptionRead::kWrong;
  };
  if (a == "--model") {
    if (!v || !*v) return wrong("--model needs a text");
    const std::string text = argv[++i];
    if (text.find(' ') == std::string::npos)
      o->config.model = text;
    else
      o->config.modelText = text;
  } else if (a == "--fault") {
    cardemu::FaultChoice f;
    std::string problem;
    if (!v) return wrong("--fault needs KIND[@COMMAND]");
    if (!cardemu::parseFault(argv[++i], &f, &problem)) return wrong("--fault: " + problem);
    o->faults.push_back(f);
  } else if (a == "--reset-after") {
    char *end = nullptr;
    const long long n = v ? std::strtoll(v, &end, 10) : -1;
    if (!v || !*v || *end != 0 || n < 1) return wrong("--reset-after needs a positive number of bytes");
    o->resetAfter = static_cast<uint64_t>(n);
    ++i;
  } else if (a == "--busy-polls") {
    char *end = nullptr;
    const long long n = v ? std::strtoll(v, &end, 10) : -1;
    if (!v || !*v || *end != 0 || n < 0) return wrong("--busy-polls needs a number");
    o->busyPolls = static_cast<uint64_t>(n);
    ++i;
  } else if (a == "--hang-in-firmware") {
    char *end = nullptr;
    const long long n = v ? std::strtoll(v, &end, 10) : -1;
    if (!v || !*v || *end != 0 || n < 0) return wrong("--hang-in-firmware needs a number of bytes");
    o->hangInFirmware = static_cast<uint64_t>(n);
    ++i;
  } else if (a == "--refuse") {
    o->refuse = true;
  } else if (a == "--silent") {
    o->silent = true;
  } else if (a == "--ignore-stdin") {
    o->watchStdin = false;
  } else {
    return OptionRead::kNotMine;
  }
  return OptionRead::kTaken;
}

// The exit status when the arguments are wrong, nothing when serving may go on.
std::optional<int> readServeOptions(int argc, char **argv, ServeOptions *o) {
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    const char *v = i + 1 < argc ? argv[i + 1] : nullptr;
    int status = 0;
    OptionRead read = readNetOption(a, argv, i, v, o, &status);
    if (read == OptionRead::kNotMine) read = readPrinterOption(a, argv, i, v, o, &status);
    if (read == OptionRead::kNotMine) return usage(("unknown option " + a).c_str());
    if (read == OptionRead::kWrong) return status;
  }
  if (!cardemu::isLoopbackAddress(o->net.address))
    return usage(("--address " + o->net.address + " is not a loopback address (127.x.y.z)").c_str());
  return std::nullopt;
}

// The signals are taken by a descriptor, before any thread starts, so that
// none of the service threads is interrupted by them.  -1 (said on stderr)
// when the descriptor cannot be made.
int takeStopSignals() {
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  sigdelset(&stopSignals, SIGPIPE);
  const int signals = signalfd(-1, &stopSignals, SFD_CLOEXEC);
  if (signals < 0) std::fprintf(stderr, "cardemu: signalfd: %s\n", std::strerror(errno));
  return signals;
}

// Returns on a stop signal or, when watched, at the end of the standard input.
void waitForStop(int signals, bool watchStdin) {
  pollfd fds[2] = {{signals, POLLIN, 0}, {STDIN_FILENO, static_cast<short>(watchStdin ? POLLIN : 0), 0}};
  const nfds_t count = watchStdin ? 2 : 1;
  for (;;) {
    const int n = ::poll(fds, count, 1000);  // woken by a signal or the input
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || (fds[0].revents & POLLIN)) break;
    if (watchStdin && fds[1].revents) {
      char buf[256];
      const ssize_t got = ::read(STDIN_FILENO, buf, sizeof buf);
      if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) break;  // the end of the input
    }
  }
}

void printServeStats(const cardemu::NetStats &s) {
  std::fprintf(stderr,
               "cardemu: stopped: %llu data, %llu status, %llu web connections; %llu status polls, %llu of %llu SNMP "
               "requests answered, %llu interface resets\n",
               static_cast<unsigned long long>(s.dataConnections), static_cast<unsigned long long>(s.statusConnections),
               static_cast<unsigned long long>(s.httpConnections), static_cast<unsigned long long>(s.statusPolls),
               static_cast<unsigned long long>(s.snmpAnswers), static_cast<unsigned long long>(s.snmpRequests),
               static_cast<unsigned long long>(s.interfaceResets));
}

int serve(int argc, char **argv) {
  ServeOptions o;
  if (const std::optional<int> status = readServeOptions(argc, argv, &o)) return *status;
  const int signals = takeStopSignals();
  if (signals < 0) return 1;

  cardemu::Printer printer(o.config);
  for (const auto &f : o.faults) printer.injectFault(f);
  if (o.hangInFirmware) printer.stopAnsweringInFirmware(*o.hangInFirmware);
  cardemu::NetPrinter front(printer, o.net);
  std::string problem;
  if (!front.start(&problem)) {
    std::fprintf(stderr, "cardemu: %s\n", problem.c_str());
    ::close(signals);
    return 1;
  }
  if (o.refuse) front.setRefusing(true);
  if (o.silent) front.setSilent(true);
  if (o.resetAfter) front.resetDataAfter(o.resetAfter);
  if (o.busyPolls) front.setBusyPolls(o.busyPolls);
  const cardemu::NetPorts ports = front.ports();
  std::printf("address %s\nmodel %s\ndata-port %u\nstatus-port %u\nsnmp-port %u\nhttp-port %u\nready\n",
              o.net.address.c_str(), printer.state().modelText.c_str(), ports.data, ports.status, ports.snmp,
              ports.http);
  std::fflush(stdout);

  waitForStop(signals, o.watchStdin);
  front.stop();
  ::close(signals);
  printServeStats(front.stats());
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) return usage("no command given");
  const std::string cmd = argv[1];
  if (cmd == "--help" || cmd == "-h" || cmd == "help") return usage(nullptr);
  if (cmd == "decode") return decode(argc, argv);
  if (cmd == "serve") return serve(argc, argv);
  return usage(("unknown command " + cmd).c_str());
}
