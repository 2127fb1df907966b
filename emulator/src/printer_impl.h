// The emulated printer's insides, shared by the files that implement it:
// printer.cpp (answers, errors, held commands, card movement, dispatch and
// the public methods that read the printer), printer_controls.cpp (the
// operator's and the tests' controls) and printer_commands.cpp (the command
// handlers and their table).
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "emulator/include/cardemu/printer.h"

namespace cardemu {
namespace detail {

inline bool number(const std::string &s, long *v) {
  if (s.empty() || s.size() > 9) return false;
  long n = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  *v = n;
  return true;
}

// A command's word and its blank-separated fields.
struct Words {
  std::string word;
  std::vector<std::string> fields;
  std::string rest;  // everything after the word and its blank
  bool wellFormed = true;
};

inline Words splitCommand(const std::string &text) {
  Words w;
  const size_t blank = text.find(' ');
  w.word = text.substr(0, blank);
  if (blank == std::string::npos) return w;
  w.rest = text.substr(blank + 1);
  size_t start = 0;
  while (true) {
    const size_t next = w.rest.find(' ', start);
    std::string f = w.rest.substr(start, next == std::string::npos ? std::string::npos : next - start);
    if (f.empty()) w.wellFormed = false;
    w.fields.push_back(f);
    if (next == std::string::npos) break;
    start = next + 1;
  }
  return w;
}

inline bool ribbonHas(RibbonKind ribbon, PanelKind panel) {
  using R = RibbonKind;
  switch (panel) {
    case PanelKind::kYellow:
    case PanelKind::kMagenta:
    case PanelKind::kCyan:
      return ribbon == R::kYMCKO || ribbon == R::kYMC || ribbon == R::kYMCK || ribbon == R::kYMCKK ||
             ribbon == R::kYMCKOK || ribbon == R::kYMCKUv || ribbon == R::kYMCUvK;
    case PanelKind::kDyeBlack: return ribbon == R::kKdO || ribbon == R::kKd;
    case PanelKind::kResinBlack:
      return ribbon == R::kYMCKO || ribbon == R::kResinK || ribbon == R::kKrO || ribbon == R::kYMCK ||
             ribbon == R::kYMCKK || ribbon == R::kYMCKOK || ribbon == R::kYMCKUv || ribbon == R::kYMCUvK ||
             ribbon == R::kMono;
    case PanelKind::kScratchOff: return ribbon == R::kScratchOff || ribbon == R::kMono;
    case PanelKind::kVarnish:
      return ribbon == R::kYMCKO || ribbon == R::kKdO || ribbon == R::kKrO || ribbon == R::kYMCKOK;
    case PanelKind::kUltraviolet: return ribbon == R::kYMCKUv || ribbon == R::kYMCUvK;
    case PanelKind::kClearVarnish: return ribbon == R::kClearVarnish || ribbon == R::kMono;
    case PanelKind::kHologram: return ribbon == R::kHologram || ribbon == R::kMono;
  }
  return false;
}

}  // namespace detail

struct Printer::Impl {
  PrinterConfig cfg;
  std::string modelText;
  bool twoSided = false;
  bool laminator = false;
  StreamParser parser;

  // port
  bool connected = true, silent = false, stalled = false;
  std::deque<uint8_t> answers;
  uint64_t answersDropped = 0;
  std::function<void()> answerListener;

  // error and the commands it holds back
  int error = 0;
  std::optional<Command> failed;  // command to run again when the error is cleared
  std::deque<Command> held;
  size_t heldBytes = 0;
  struct Fault {
    int code;
    std::string prefix;  // by command text
    int occurrence;
    uint64_t countdown;      // by count, when prefix is empty
    std::string cause = {};  // a named fault whose cause comes with it; empty: the code alone
  };
  std::vector<Fault> faults;

  // value of the last query, sent with the next status request
  std::optional<std::string> value;

  // media and mechanics
  int ribbonCode = 0, ribbonRemaining = 0, feederCards = 0;
  std::array<std::string, 3> feederTracks;
  bool coverOpen = false, headOpen = false;
  std::optional<Card> card;
  int sideUp = 0;
  bool ribbonCharged = false;
  uint32_t nextCard = 1;
  uint64_t cardsOut = 0;
  std::deque<Card> out;
  uint64_t panelsPrinted = 0;
  uint64_t commands = 0;

  // Image memory, one bank per side of the card, so that a further copy
  // printed from memory puts each side's own images on it.  The first bank
  // is the side the card's printing starts on and a flip changes bank; a
  // flip before anything of the card is loaded or printed (the laminating
  // models turn the card first) does not.  Images loaded while no card is
  // in the printer go to the first bank: they are for the next card's
  // first side.
  struct ImageBank {
    std::array<std::shared_ptr<const DotImage>, 4> planes;
    std::shared_ptr<const DotImage> resin, varnish;
  };
  std::array<ImageBank, 2> banks;
  int bankBase = -1;  // side up when the card first used the image memory; -1 before

  // set-up
  std::map<std::string, int> settings;
  std::array<int, 3> trackMode{}, readMode{};
  std::array<std::string, 3> pendingTracks;
  std::array<bool, 3> pendingSet{};
  bool inJob = false;
  std::string lamination;
  int cleanings = 0, firmwareDownloads = 0, firmwareRefused = 0;
  std::string firmwareKind;     // what the frame being run holds ("printer", "laminator"), empty: neither
  std::string firmwareRefusal;  // why its content was refused
  std::string note;             // for the listing line of the command being run

  // A hang armed by stopAnsweringAfter / stopAnsweringInFirmware.
  std::optional<uint64_t> hangAfter;  // bytes still taken before it strikes
  bool hangInFirmware = false;        // counting starts inside the next firmware frame
  bool hung = false;
  std::optional<FirmwareFrame> firmwareFrame;
  uint64_t firmwareFrames = 0;
  std::string lastFirmware;
  uint32_t lastFirmwareSize = 0;

  std::function<void(const Card &)> cardListener;
  std::function<void(const CommandRecord &)> commandListener;

  explicit Impl(const PrinterConfig &c);

  // ---- a hang on the way ----
  // Feeds no further than the byte after which the printer hangs.  Before a
  // firmware frame has begun, bytes go one at a time so that the count starts
  // exactly behind its "\eDC ".
  size_t feedTowardsHang(const uint8_t *bytes, size_t count, const StreamParser::Sink &sink,
                         const std::function<bool()> &full);

  // ---- answers ----
  void answer(const std::string &bytes);

  // ---- errors ----
  void latch(int code) {
    if (error == 0) error = code;
  }

  uint8_t line() const;
  void record(const Command &c, int e, bool isHeld, bool replay, const std::string &answer);

  // What a held command costs: its bytes and what its data decoded to (a short
  // run-length block decodes to a whole plane).
  static size_t heldSize(const Command &c) { return static_cast<size_t>(c.length) + (c.data ? c.data->size() : 0); }

  static bool isStatusRequest(const Command &c) {
    return c.block == BlockKind::kNone && !c.stray && c.text.rfind("E", 0) == 0 &&
           (c.text.size() == 1 || c.text[1] == ' ');
  }

  // Commands answered or obeyed even while an error stops the printer.
  static bool isImmediate(const Command &c);

  void accept(Command &&c);

  // Every firmware frame is kept for inspection as it came, before its
  // content is judged.
  void recordFrame(const Command &c);

  // What a named fault does to the printer when it strikes.
  void applyCause(const std::string &cause);

  void statusRequest(const Command &c);
  bool faultFires(const Command &c);
  void execute(Command &&c, bool replay);

  // Runs the failed command again (when it deserves it) and then what was held.
  void resume(bool retry);

  void resetPrinter(const std::string &why);

  // ---- card movement ----
  int ensureCard();

  // The bank of the side facing the head.
  size_t bankIndex() const {
    if (!card) return 0;
    return static_cast<size_t>(sideUp ^ (bankBase < 0 ? sideUp : bankBase));
  }
  ImageBank &bank() {
    if (card && bankBase < 0) bankBase = sideUp;
    return banks[bankIndex()];
  }

  void eject();

  RibbonKind ribbon() const { return ribbonKindOfCode(ribbonCode); }

  int print(PanelKind kind, std::shared_ptr<const DotImage> image, const std::string &command);

  // ---- commands ----
  // Image blocks go to image memory; every other command to the handler of
  // its word (the table below).
  int dispatch(Command &c);

  // A command's fields as the handlers read them.
  struct Args {
    const Command &command;
    const detail::Words &words;
    const std::string &word() const { return words.word; }
    const std::vector<std::string> &fields() const { return words.fields; }
    size_t count() const { return words.fields.size(); }
    // No field at all.
    int none() const { return count() == 0 ? 0 : err::kMalformedCommand; }
    // One numeric field within [lo, hi].
    int one(long lo, long hi, long *out) const {
      if (count() != 1 || !detail::number(fields()[0], out)) return err::kMalformedCommand;
      return (*out < lo || *out > hi) ? err::kParameter : 0;
    }
    // Two numeric fields within theirs.
    int two(long lo1, long hi1, long lo2, long hi2, long *a, long *b) const {
      if (count() != 2 || !detail::number(fields()[0], a) || !detail::number(fields()[1], b))
        return err::kMalformedCommand;
      return (*a < lo1 || *a > hi1 || *b < lo2 || *b > hi2) ? err::kParameter : 0;
    }
  };

  using Handler = int (Impl::*)(const Args &);
  struct CommandEntry {
    Handler run;
    bool encoder = false;  // needs the magnetic encoder
  };
  static const std::map<std::string, CommandEntry, std::less<>> &commandTable();

  // ---- job and head set-up ----
  int master(const Args &x);
  int job(const Args &x);
  int setting(const Args &x, long lo, long hi);
  int Switch(const Args &x) { return setting(x, 0, 1); }      // "SXY", "FS"
  int contrast(const Args &x) { return setting(x, 0, 255); }  // "+C", "+CH", "+CV"
  int offset(const Args &x) { return setting(x, 0, 48); }     // "+O", "+OY", "+OB", "+OYB"
  int panelLevel(const Args &x);
  int laminate(const Args &x);
  int headTable(const Args &x);
  int atm(const Args &x);
  int moveSpeed(const Args &x) {
    long a = 0;
    return x.one(0, 9, &a);
  }

  // ---- queries ----
  int queryAnswer(const Args &x, std::string answer);
  int version(const Args &x) { return queryAnswer(x, modelText); }
  int ribbonQuery(const Args &x) { return queryAnswer(x, std::to_string(ribbonCode)); }
  int ribbonLength(const Args &x) { return queryAnswer(x, std::to_string(ribbonCode ? ribbonRemaining : 0)); }
  int panelCount(const Args &x) { return queryAnswer(x, "!" + std::to_string(panelsPrinted) + " PANELS"); }
  int serial(const Args &x) { return queryAnswer(x, cfg.serial); }
  int valueQuery(const Args &x);
  // "CHECK_STATUS", "SLAVE", ".": taken, nothing to do.
  int noFields(const Args &x) { return x.none(); }
  int panelMessage(const Args &x) { return x.count() >= 1 ? 0 : err::kMalformedCommand; }

  // ---- resets and maintenance ----
  int reset(const Args &x);
  int clean(const Args &x);
  int testCardCommand(const Args &x);

  // ---- image memory ----
  int clearPlanes(const Args &x);
  int clearResin(const Args &x);
  int clearVarnish(const Args &x);
  int imageHeader(const Args &) { return 0; }  // "G", "vG": checked by the input stage
  int areaCommand(const Args &x) { return area(x.word() == "L" ? bank().resin : bank().varnish, x.words); }

  // ---- printing ----
  int printPlane(const Args &x);
  int printResin(const Args &x);
  int printVarnish(const Args &x);
  int printHologram(const Args &x);
  int skipPanel(const Args &x);

  // ---- card movement ----
  int feedCard(const Args &x);
  int flipCard(const Args &x);
  int ejectCard(const Args &x);

  int area(std::shared_ptr<const DotImage> &image, const detail::Words &w);

  // ---- magnetic encoder ----
  int encoderReset(const Args &x);
  int encoderData(const Args &x);
  int encoderWrite(const Args &x);
  int encoderRead(const Args &x);
  int encoderFormat(const Args &x);
  int encoderDensity(const Args &x);
  int encoderSetting(const Args &x);

  // ---- test card ----
  int testCard(int kind, const std::string &command);

  // ---- firmware ----
  void firmwareOutcome(const Command &c, int e);
  int firmware(const Command &c);
};

}  // namespace cardemu
