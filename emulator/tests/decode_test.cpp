// A stream run with nobody at the printer, as "cardemu decode" and the demo
// run a job: every command runs once, in stream order, whatever the pieces the
// stream comes in, and a stream that cannot be run to its end says so.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "emulator/include/cardemu/printer.h"
#include "emulator/include/cardemu/unattended.h"
#include "emulator/tests/streams.h"

namespace cardemu {
namespace {

using streams::esc;

// "\eIS 0\r" with no plane loaded fails (an image printed before its data is
// a sequence error); "\eMO\r" with no card in the printer is harmless.
std::string repeated(int times) {
  std::string s;
  for (int i = 0; i < times; ++i) s += esc("IS 0") + esc("MO");
  return s;
}

struct Listed {
  uint64_t offset;
  std::string text;
  int error;
};

struct Outcome {
  std::vector<Listed> listed;
  bool fed = false, finished = false;
  uint64_t cleared = 0;
  std::string problem;
};

Outcome unattended(const std::string &stream, size_t piece, PrinterConfig cfg = {}) {
  Printer printer(cfg);
  Outcome r;
  printer.setCommandListener([&r](const CommandRecord &c) {
    if (!c.held) r.listed.push_back({c.command->offset, c.command->text, c.error});
  });
  UnattendedRun run(printer);
  const auto *bytes = reinterpret_cast<const uint8_t *>(stream.data());
  r.fed = true;
  for (size_t at = 0; r.fed && at < stream.size(); at += piece)
    r.fed = run.feed(bytes + at, std::min(piece, stream.size() - at));
  r.finished = r.fed && run.finish();
  r.cleared = run.errorsCleared();
  r.problem = run.problem();
  EXPECT_EQ(printer.state().heldCommands, 0u);
  return r;
}

PrinterConfig unheld() {
  PrinterConfig cfg;
  cfg.receiveLimit = 0;
  return cfg;
}

TEST(Unattended, EveryCommandRunsOnceInStreamOrderWhateverThePieces) {
  const std::string stream = repeated(300);
  for (size_t piece : {size_t(4096), size_t(1), size_t(7), stream.size()}) {
    const Outcome r = unattended(stream, piece, unheld());
    ASSERT_TRUE(r.finished) << "piece " << piece << ": " << r.problem;
    ASSERT_EQ(r.listed.size(), 600u) << "piece " << piece;
    for (size_t k = 0; k < r.listed.size(); ++k) {
      EXPECT_EQ(r.listed[k].offset, 10 * (k / 2) + (k % 2 ? 6 : 0)) << k;
      EXPECT_EQ(r.listed[k].text, k % 2 ? "MO" : "IS 0");
      EXPECT_EQ(r.listed[k].error, k % 2 ? 0 : err::kSequence) << k;
    }
    EXPECT_EQ(r.cleared, 300u);
  }
}

TEST(Unattended, CommandsThatWouldOvertakeHeldOnesRunInTheirPlace) {
  // Behind an error a printer answers queries and obeys a reset at once, and
  // the reset drops what it holds.  Run unattended, each command after an
  // error runs in its place, also when the one before it ended with the ESC
  // that begins it (a command cut short, stray bytes).
  const std::string stream = esc("BOGUS") + esc("SXY 1") + esc("V") + esc("RESET") + "\x1bX" + "\x1bSXY 1" +
                             esc("RESET") + "junk" + esc("V") +
                             "\x1b"
                             "E 1" +
                             esc("IS 9") + esc("MO") + "\x1bMF";  // cut by the end of the stream
  for (size_t piece : {size_t(1), size_t(4096)}) {
    const Outcome r = unattended(stream, piece, unheld());
    ASSERT_TRUE(r.finished) << r.problem;
    std::vector<std::string> texts;
    std::vector<int> errors;
    for (const Listed &l : r.listed) {
      texts.push_back(l.text);
      errors.push_back(l.error);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"BOGUS", "SXY 1", "V", "RESET", "X", "SXY 1", "RESET", "junk", "V",
                                               "E 1", "IS 9", "MO", "MF"}));
    EXPECT_EQ(errors, (std::vector<int>{err::kUnknownCommand, 0, 0, 0, err::kMalformedCommand, err::kMalformedCommand,
                                        0, err::kStrayBytes, 0, 0, err::kParameter, 0, err::kMalformedCommand}))
        << "piece " << piece;
    EXPECT_EQ(r.cleared, 7u) << "piece " << piece;  // the status request cut by ESC raised one as well
  }
}

TEST(Unattended, AStreamThatCannotRunToItsEndSaysWhere) {
  const std::string stream = repeated(3);
  // A printer that holds commands behind an error could lose them to a reset.
  Outcome r = unattended(stream, 4096);
  EXPECT_FALSE(r.fed);
  EXPECT_NE(r.problem.find("holds commands"), std::string::npos) << r.problem;

  Printer stalled(unheld());
  stalled.setStalled(true);
  UnattendedRun a(stalled);
  EXPECT_FALSE(a.feed(reinterpret_cast<const uint8_t *>(stream.data()), stream.size()));
  EXPECT_NE(a.problem().find("took no more bytes at stream offset 0"), std::string::npos) << a.problem();
  EXPECT_FALSE(a.finish());  // and it stays stopped

  Printer gone(unheld());
  UnattendedRun b(gone);
  ASSERT_TRUE(b.feed(reinterpret_cast<const uint8_t *>(stream.data()), 10));
  gone.setConnected(false);
  EXPECT_FALSE(b.feed(reinterpret_cast<const uint8_t *>(stream.data()) + 10, stream.size() - 10));
  EXPECT_NE(b.problem().find("disconnected at stream offset 10"), std::string::npos) << b.problem();
}

// The command line: the same stream counts the same in any piece size.
TEST(Unattended, DecoderRunsTheWholeStream) {
  const auto dir = std::filesystem::temp_directory_path() / ("cardemu_unattended_" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  {
    std::ofstream f(dir / "job.prn", std::ios::binary);
    f << repeated(300);
  }
  for (const char *piece : {"4096", "1", "7"}) {
    const std::string cmd = std::string(CARDEMU_CLI) + " decode " + (dir / "job.prn").string() + " --out " +
                            (dir / "out").string() + " --piece " + piece + " > " + (dir / "stdout.txt").string();
    ASSERT_EQ(std::system(cmd.c_str()), 0) << piece;
    std::ifstream f(dir / "stdout.txt");
    std::stringstream said;
    said << f.rdbuf();
    EXPECT_EQ(said.str().rfind("600 commands, 300 printer errors, 0 cards", 0), 0u) << piece << ": " << said.str();
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace cardemu
