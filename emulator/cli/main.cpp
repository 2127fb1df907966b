// cardemu: the card printer emulator on the command line.  "decode" runs a
// captured job stream through the emulated printer and writes what came out:
// the pictures of every card and a readable listing of the commands.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "emulator/include/cardemu/listing.h"
#include "emulator/include/cardemu/printer.h"
#include "emulator/include/cardemu/render.h"
#include "emulator/include/cardemu/unattended.h"

namespace {

const char kUsage[] =
    "usage: cardemu decode JOB.prn --out DIR [options]\n"
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
    "exit status: 0 decoded (printer errors included), 1 the file could not be read,\n"
    "the output written or the stream run to its end, 2 wrong usage.\n";

int usage(const char *problem) {
  if (problem) std::fprintf(stderr, "cardemu: %s\n\n", problem);
  std::fputs(kUsage, problem ? stderr : stdout);
  return problem ? 2 : 0;
}

int decode(int argc, char **argv) {
  std::string job, out;
  cardemu::PrinterConfig config;
  config.modelText = "LX3 MAG V3.02";
  config.checkRibbonPanels = false;
  config.ribbonRemaining = 1000000;
  config.feederCards = -1;
  config.cardsKept = 0;     // cards are written as they come out
  config.receiveLimit = 0;  // stop at an error, so that it is cleared before the next command
  size_t piece = 4096;
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
      out = v;
    } else if (a == "--model") {
      const char *v = value("--model");
      if (!v) return usage("--model needs a text");
      config.modelText = v;
    } else if (a == "--ribbon") {
      const char *v = value("--ribbon");
      char *end = nullptr;
      if (!v || !*v || (config.ribbonCode = static_cast<int>(std::strtol(v, &end, 10)), *end != 0))
        return usage("--ribbon needs a number");
    } else if (a == "--piece") {
      const char *v = value("--piece");
      char *end = nullptr;
      if (!v) return usage("--piece needs a number");
      const long n = std::strtol(v, &end, 10);
      if (*end != 0 || n < 1 || n > (1 << 24)) return usage("--piece needs a number from 1 to 16777216");
      piece = static_cast<size_t>(n);
    } else if (a == "--check-ribbon") {
      config.checkRibbonPanels = true;
    } else if (a == "--no-encoder") {
      config.encoder = false;
    } else if (!a.empty() && a[0] == '-') {
      return usage(("unknown option " + a).c_str());
    } else if (job.empty()) {
      job = a;
    } else {
      return usage("only one job file can be decoded at a time");
    }
  }
  if (job.empty()) return usage("no job file given");
  if (out.empty()) return usage("--out DIR is required");

  std::ifstream in(job, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cardemu: cannot open %s: %s\n", job.c_str(), std::strerror(errno));
    return 1;
  }
  std::error_code ec;
  std::filesystem::create_directories(out, ec);
  if (ec) {
    std::fprintf(stderr, "cardemu: cannot create %s: %s\n", out.c_str(), ec.message().c_str());
    return 1;
  }
  std::ofstream listing(out + "/listing.txt");
  if (!listing) {
    std::fprintf(stderr, "cardemu: cannot write %s/listing.txt\n", out.c_str());
    return 1;
  }

  cardemu::Printer printer(config);
  size_t cards = 0, commands = 0, errors = 0;
  bool writeFailed = false;
  std::string writeError;
  // A card comes out while its command runs; its line follows the command's.
  std::string cardLines;
  printer.setCommandListener([&](const cardemu::CommandRecord &r) {
    if (r.held) return;  // listed when it runs
    ++commands;
    if (r.error) ++errors;
    listing << cardemu::listingLine(r) << "\n" << cardLines;
    cardLines.clear();
  });
  printer.setCardListener([&](const cardemu::Card &card) {
    ++cards;
    cardLines += "          -- card " + std::to_string(card.number) + " out --\n";
    if (!writeFailed && !cardemu::writeCardFiles(card, out, nullptr, &writeError)) writeFailed = true;
  });

  // Every command of the stream runs, in order: an error is listed with the
  // command that raised it and cleared, and decoding goes on with the next.
  cardemu::UnattendedRun run(printer);
  std::vector<uint8_t> buffer(piece);
  bool ran = true;
  while (ran && in) {
    in.read(reinterpret_cast<char *>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
    ran = run.feed(buffer.data(), static_cast<size_t>(in.gcount()));
  }
  if (in.bad()) {
    std::fprintf(stderr, "cardemu: read error on %s\n", job.c_str());
    return 1;
  }
  if (ran) ran = run.finish();
  printer.ejectRemaining("still in the printer when the stream ended");
  listing << cardLines;
  if (!ran) listing << "stopped: " << run.problem() << "; the rest of the stream was not run\n";
  listing.flush();
  if (!listing) {
    std::fprintf(stderr, "cardemu: cannot write %s/listing.txt\n", out.c_str());
    return 1;
  }
  if (writeFailed) {
    std::fprintf(stderr, "cardemu: %s\n", writeError.c_str());
    return 1;
  }
  if (!ran) {
    std::fprintf(stderr, "cardemu: %s; the rest of the stream was not run (%zu commands, %zu printer errors so far)\n",
                 run.problem().c_str(), commands, errors);
    return 1;
  }
  std::printf("%zu commands, %zu printer errors, %zu cards written to %s\n", commands, errors, cards, out.c_str());
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) return usage("no command given");
  const std::string cmd = argv[1];
  if (cmd == "--help" || cmd == "-h" || cmd == "help") return usage(nullptr);
  if (cmd == "decode") return decode(argc, argv);
  return usage(("unknown command " + cmd).c_str());
}
