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

#include "cardemu/listing.h"
#include "cardemu/printer.h"
#include "cardemu/render.h"
#include "cardprint.h"
#include "options.h"

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
    case 1: return 5;    // YMCKOK
    case 2: return 4;    // YMCKK
    case 4: return 23;   // YMCUvK
    case 5: return 7;    // resin black
    case 6: return 3;    // YMCK
    case 7: return 6;    // YMC
    case 8: return 16;   // KdO
    case 9: return 17;   // KrO
    case 10: return 19;  // hologram
    default: return 2;   // YMCKO
  }
}

bool writeFile(const fs::path &path, const void *data, size_t size) {
  std::ofstream f(path, std::ios::binary);
  f.write(static_cast<const char *>(data), std::streamsize(size));
  return bool(f);
}

std::string sizeText(uintmax_t bytes) {
  char b[32];
  if (bytes >= 1024 * 1024) std::snprintf(b, sizeof b, "%.1f MB", double(bytes) / (1024.0 * 1024.0));
  else if (bytes >= 1024) std::snprintf(b, sizeof b, "%.0f KB", double(bytes) / 1024.0);
  else std::snprintf(b, sizeof b, "%ju bytes", bytes);
  return b;
}

int usage(const char *problem) {
  if (problem) std::fprintf(stderr, "carddemo: %s\n", problem);
  std::fputs(
      "usage: carddemo OUT_DIR [--machine DIR] [cardprint options...]\n"
      "Prints the sample card with cardprint on a simulated machine, runs the job\n"
      "through the emulated printer and writes into OUT_DIR: job.prn, listing.txt and,\n"
      "per card, card_NNNN_front.png, card_NNNN_back.png, its panels and card_NNNN.txt.\n",
      problem ? stderr : stdout);
  return problem ? 2 : 0;
}

// Old results in the output folder would be taken for this run's.
void clearOutputs(const fs::path &out) {
  std::error_code ec;
  for (const auto &e : fs::directory_iterator(out, ec)) {
    const std::string name = e.path().filename().string();
    const bool ours = name == "job.prn" || name == "listing.txt" ||
                      (name.rfind("card_", 0) == 0 && (e.path().extension() == ".png" || e.path().extension() == ".txt"));
    if (ours && e.is_regular_file()) fs::remove(e.path(), ec);
  }
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) return usage("no output folder given");
  if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) return usage(nullptr);
  const fs::path out = fs::absolute(argv[1]);
  fs::path machine = CARDDEMO_MACHINE_DIR;
  std::vector<std::string> extra;
  for (int i = 2; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--machine") && i + 1 < argc) machine = fs::absolute(argv[++i]);
    else extra.push_back(argv[i]);
  }

  std::vector<Step> steps;
  Timer timer(steps);
  const auto started = Clock::now();

  // ---- the machine: a fresh virtual drive with the package installed
  std::error_code ec;
  fs::remove_all(machine, ec);
  fs::create_directories(machine, ec);
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
  // Pictures named on the command line are host files: they are put on the
  // virtual drive, where the program looks for them.
  for (size_t i = 0; i + 1 < extra.size(); ++i) {
    if (extra[i] != "--front" && extra[i] != "--back") continue;
    const fs::path host = extra[i + 1];
    if (!fs::is_regular_file(host, ec)) continue;
    const std::u16string virt = u"C:\\Users\\Public\\Pictures\\" + winsim::toUtf16(host.filename().string());
    fs::create_directories(fs::path(winsim::hostPath(virt)).parent_path(), ec);
    fs::copy_file(host, winsim::hostPath(virt), fs::copy_options::overwrite_existing, ec);
    if (!ec) extra[i + 1] = winsim::toUtf8(virt);
  }
  timer.done("machine set up (virtual drive, driver, printer)");

  // ---- the application prints: the sample card on both sides of a YMCKO
  // ribbon, unless the command line says otherwise
  std::vector<std::u16string> args = {u"cardprint", u"--printer", kPrinterName, u"--ribbon", u"YMCKO", u"--layout", u"1"};
  for (const std::string &a : extra) args.push_back(winsim::toUtf16(a));
  std::vector<LPCWSTR> argw;
  for (const auto &a : args) argw.push_back(reinterpret_cast<LPCWSTR>(a.c_str()));
  std::printf("Printing the sample card with cardprint on \"%s\"\n", winsim::toUtf8(kPrinterName).c_str());
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
  cardprint::PrintOptions options;
  WCHAR message[cardprint::kMessageChars];
  cardprint::parseOptions(int(argw.size()), argw.data(), options, message);
  cardemu::PrinterConfig config;
  config.model = "CA3";
  config.ribbonCode = printerRibbonCode(options.ribbonId);
  config.ribbonRemaining = 1000000;
  config.cardsKept = 0;  // taken by the listener below
  cardemu::Printer printer(config);
  std::ofstream listing(out / "listing.txt");
  std::vector<cardemu::Card> cards;
  size_t commands = 0, errors = 0;
  std::string cardLines;
  printer.SetCommandListener([&](const cardemu::CommandRecord &r) {
    if (r.held) return;  // listed when it runs
    ++commands;
    if (r.error) ++errors;
    listing << cardemu::ListingLine(r) << "\n" << cardLines;
    cardLines.clear();
  });
  printer.SetCardListener([&](const cardemu::Card &card) {
    cards.push_back(card);
    cardLines += "          -- card " + std::to_string(card.number) + " out --\n";
    std::string summary = card.Summary();
    for (size_t at = 0, nl; at < summary.size(); at = nl + 1) {
      nl = summary.find('\n', at);
      if (nl == std::string::npos) nl = summary.size();
      cardLines += "             " + summary.substr(at, nl - at) + "\n";
    }
  });
  // In blocks, as a port hands a job over; a printer error is noted in the
  // listing and cleared, so that every card of the job comes out.
  const size_t kBlock = 0x10000;
  for (size_t at = 0; at < job.size();) {
    const size_t n = std::min(kBlock, job.size() - at);
    const long taken = printer.Write(job.data() + at, n);
    if (taken < 0) break;
    at += size_t(taken);
    if (printer.State().error != 0) printer.ForceClear();
    else if (taken == 0) break;
  }
  printer.Finish();
  if (printer.State().error != 0) printer.ForceClear();
  printer.EjectRemaining("still in the printer when the job ended");
  listing << cardLines;
  listing.close();
  if (!listing) {
    std::fprintf(stderr, "carddemo: cannot write %s\n", (out / "listing.txt").c_str());
    return 1;
  }
  timer.done("printer (emulator: commands, panels, encoder)");

  // ---- pictures of the cards
  std::vector<std::string> written;
  for (const cardemu::Card &card : cards) {
    std::string error;
    if (!cardemu::WriteCardFiles(card, out.string(), &written, &error)) {
      std::fprintf(stderr, "carddemo: %s\n", error.c_str());
      return 1;
    }
  }
  timer.done("card pictures (PNG)");

  // ---- what happened
  std::printf("\nThe emulated printer ran %zu commands (%zu printer errors) and put out %zu card(s).\n", commands,
              errors, cards.size());
  for (const cardemu::Card &card : cards) std::printf("\n%s", card.Summary().c_str());
  std::printf("\nWritten to %s:\n", out.c_str());
  auto show = [&](const std::string &name, const char *what) {
    std::printf("  %-34s %9s  %s\n", name.c_str(), sizeText(fs::file_size(out / name, ec)).c_str(), what);
  };
  show("job.prn", "the card job stream the driver wrote");
  show("listing.txt", "the printer's command listing");
  for (const std::string &name : written) {
    const char *what = name.find("_front.png") != std::string::npos ? "front of the card"
                       : name.find("_back.png") != std::string::npos ? "back of the card"
                       : name.find(".txt") != std::string::npos    ? "card summary"
                                                                    : "one panel as printed";
    show(name, what);
  }
  std::printf("\nSteps:\n");
  for (const Step &s : steps) std::printf("  %-52s %8.0f ms\n", s.what.c_str(), s.ms);
  std::printf("  %-52s %8.0f ms\n", "total",
              std::chrono::duration<double, std::milli>(Clock::now() - started).count());
  return 0;
}
