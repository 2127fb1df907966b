#include "emulator/include/cardemu/printer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "emulator/src/magnetic.h"

namespace cardemu {

namespace {

bool contains(const std::string &s, const char *what) { return s.find(what) != std::string::npos; }

bool number(const std::string &s, long *v) {
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

Words splitCommand(const std::string &text) {
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

std::shared_ptr<const DotImage> fullMask() {
  static const auto full = std::make_shared<const DotImage>(kCardDots, 1);
  return full;
}

bool ribbonHas(RibbonKind ribbon, PanelKind panel) {
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

bool anyDot(const std::shared_ptr<const DotImage> &image) {
  return image && std::any_of(image->begin(), image->end(), [](uint8_t v) { return v != 0; });
}

}  // namespace

std::string composeModelText(const PrinterConfig &config) {
  if (!config.modelText.empty()) return config.modelText;
  std::string text = config.model;
  if (!config.smartCard.empty()) text += " " + config.smartCard;
  if (config.encoder) text += " MAG";
  text += " " + config.firmware;
  return text;
}

bool modelIsTwoSided(const std::string &m) {
  return contains(m, "QA5") || contains(m, "QA6") || contains(m, "LX2") || contains(m, "LX3") || contains(m, "CA3");
}

bool modelHasLaminator(const std::string &m) { return contains(m, "LX2") || contains(m, "LX3"); }

const std::vector<NamedFault> &namedFaults() {
  static const std::vector<NamedFault> faults = {
      {"cover-open", err::kCoverOpen, "at once"},
      {"out-of-cards", err::kOutOfCard, "when the next card is fed (the feeder is emptied)"},
      {"out-of-ribbon", err::kOutOfRibbon, "at the next card's first panel (the ribbon is used up)"},
      {"card-jam", err::kMechanical, "at once"},
      {"encoder", err::kEncoderFailure, "at the next \"&E*\" (the card's encoding)"},
  };
  return faults;
}

int faultByName(const std::string &name) {
  for (const NamedFault &f : namedFaults())
    if (name == f.name) return f.code;
  return 0;
}

bool parseFault(const std::string &text, FaultChoice *out, std::string *problem) {
  const size_t at = text.find('@');
  FaultChoice choice;
  choice.name = text.substr(0, at);
  choice.code = faultByName(choice.name);
  if (choice.code == 0) {
    std::string names;
    for (const NamedFault &f : namedFaults()) names += std::string(names.empty() ? "" : ", ") + f.name;
    if (problem) *problem = "unknown fault \"" + choice.name + "\" (known: " + names + ")";
    return false;
  }
  if (at != std::string::npos) {
    choice.command = text.substr(at + 1);
    if (choice.command.empty()) {
      if (problem) *problem = "no command after \"@\" in \"" + text + "\"";
      return false;
    }
  }
  *out = std::move(choice);
  return true;
}

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

  explicit Impl(const PrinterConfig &c) : cfg(c) {
    modelText = composeModelText(c);
    twoSided = c.twoSided.value_or(modelIsTwoSided(modelText));
    laminator = c.laminator.value_or(modelHasLaminator(modelText));
    ribbonCode = c.ribbonCode;
    ribbonRemaining = c.ribbonRemaining;
    feederCards = c.feederCards;
    feederTracks = c.feederTracks;
    for (int t = 1; t <= 3; ++t) {
      trackMode[t - 1] = readMode[t - 1] = defaultTrackMode(t);
      settings["&D " + std::to_string(t)] = defaultTrackDensity(t);
    }
  }

  // ---- a hang on the way ----
  // Feeds no further than the byte after which the printer hangs.  Before a
  // firmware frame has begun, bytes go one at a time so that the count starts
  // exactly behind its "\eDC ".
  size_t feedTowardsHang(const uint8_t *bytes, size_t count, const StreamParser::Sink &sink,
                         const std::function<bool()> &full) {
    size_t used = 0;
    while (used < count && !hung) {
      if (hangInFirmware) {
        const size_t n = parser.feed(bytes + used, 1, sink, full);
        if (n == 0) break;
        used += n;
        if (parser.insideFirmware()) hangInFirmware = false;
      } else {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(*hangAfter, count - used));
        const size_t n = want ? parser.feed(bytes + used, want, sink, full) : 0;
        used += n;
        *hangAfter -= n;
        if (n < want) break;  // pushed back by a full receive buffer
      }
      if (!hangInFirmware && *hangAfter == 0) {
        hung = true;
        hangAfter.reset();
      }
    }
    return used;
  }

  // ---- answers ----
  void answer(const std::string &bytes) {
    if (silent || hung || bytes.empty()) return;
    for (char c : bytes) {
      if (answers.size() >= cfg.replyLimit) {
        ++answersDropped;
        continue;
      }
      answers.push_back(static_cast<uint8_t>(c));
    }
    if (answerListener) answerListener();
  }

  // ---- errors ----
  void latch(int code) {
    if (error == 0) error = code;
  }

  uint8_t line() const {
    uint8_t b = kLineSelected;
    if (error == 0) return b | kLineNoError;
    switch (classOf(error)) {
      case ErrorClass::kMedia: return b | kLineMediaOut | kLineNoError;
      case ErrorClass::kMechanical: return b | kLineMediaOut;
      case ErrorClass::kOther: return b;
    }
    return b;
  }

  void record(const Command &c, int e, bool isHeld, bool replay, const std::string &answer) {
    if (!commandListener) return;
    CommandRecord r;
    r.command = &c;
    r.error = e;
    r.held = isHeld;
    r.replay = replay;
    r.answer = answer;
    r.note = note;
    commandListener(r);
  }

  // What a held command costs: its bytes and what its data decoded to (a short
  // run-length block decodes to a whole plane).
  static size_t heldSize(const Command &c) { return static_cast<size_t>(c.length) + (c.data ? c.data->size() : 0); }

  static bool isStatusRequest(const Command &c) {
    return c.block == BlockKind::kNone && !c.stray && c.text.rfind("E", 0) == 0 &&
           (c.text.size() == 1 || c.text[1] == ' ');
  }

  // Commands answered or obeyed even while an error stops the printer.
  static bool isImmediate(const Command &c) {
    if (c.stray || c.block != BlockKind::kNone) return false;
    const std::string w = c.text.substr(0, c.text.find(' '));
    return w == "V" || w == "!RIBBON" || w == "!RIBLEN" || w == "!V" || w == "!NL" || w == "%SERIE" ||
           c.text == "ATM 1 1" || w == "CHECK_STATUS" || w == "R" || w == "RESET" || w == "SRESET" || w == "HRESET";
  }

  void accept(Command &&c) {
    if (c.block == BlockKind::kFirmware) recordFrame(c);
    // A note belongs to the listing line of the command that made it.
    note.clear();
    if (isStatusRequest(c)) {
      statusRequest(c);
      return;
    }
    if (error != 0 && !isImmediate(c)) {
      heldBytes += heldSize(c);
      record(c, 0, true, false, {});
      held.push_back(std::move(c));
      return;
    }
    execute(std::move(c), false);
  }

  // Every firmware frame is kept for inspection as it came, before its
  // content is judged.
  void recordFrame(const Command &c) {
    FirmwareFrame f;
    f.declaredSize = c.declaredSize;
    f.contentBytes = c.fwContentBytes;
    f.content = c.data;
    f.endMarker = c.fwEndMarker;
    f.error = c.error;
    f.problem = c.problem;
    f.crc32 = c.fwCrc32;
    firmwareFrame = std::move(f);
    ++firmwareFrames;
  }

  // What a named fault does to the printer when it strikes.
  void applyCause(const std::string &cause) {
    if (cause == "cover-open") {
      coverOpen = true;
    } else if (cause == "out-of-cards") {
      feederCards = 0;
    } else if (cause == "out-of-ribbon") {
      ribbonCode = 0;
      ribbonRemaining = 0;
    }
  }

  void statusRequest(const Command &c) {
    const Words w = splitCommand(c.text);
    if (c.error) {
      latch(c.error);
    } else if (!w.wellFormed || w.word != "E" || w.fields.size() != 1) {
      latch(err::kMalformedCommand);
    } else if (w.fields[0] != "1" && w.fields[0] != "2") {
      latch(err::kParameter);
    }
    std::string reply;
    if (error) {
      const int code = error % 100;
      reply = std::string(1, static_cast<char>(kNak)) + static_cast<char>('0' + code / 10) +
              static_cast<char>('0' + code % 10) + static_cast<char>(kEot);
    } else {
      reply = value.value_or("") + static_cast<char>(kAck);
    }
    value.reset();
    answer(reply);
    record(c, 0, false, false, reply);
  }

  bool faultFires(const Command &c) {
    for (size_t k = 0; k < faults.size(); ++k) {
      Fault &f = faults[k];
      bool fire = false;
      if (!f.prefix.empty()) {
        if (c.text.rfind(f.prefix, 0) == 0 && --f.occurrence <= 0) fire = true;
      } else if (--f.countdown == 0) {
        fire = true;
      }
      if (fire) {
        const int code = f.code;
        const std::string cause = f.cause;
        faults.erase(faults.begin() + static_cast<long>(k));
        applyCause(cause);
        latch(code);
        return true;
      }
    }
    return false;
  }

  void execute(Command &&c, bool replay) {
    ++commands;
    value.reset();
    note.clear();
    int e = 0;
    if (faultFires(c)) {
      e = error;
      if (!discardsCommand(e)) failed = std::move(c);
      record(failed ? *failed : c, e, false, replay, {});
      return;
    }
    e = c.error ? c.error : dispatch(c);
    if (c.block == BlockKind::kFirmware) firmwareOutcome(c, e);
    if (e) {
      latch(e);
      record(c, e, false, replay, {});
      if (!discardsCommand(e) && !failed) failed = std::move(c);
      return;
    }
    record(c, 0, false, replay, value.value_or(""));
  }

  // Runs the failed command again (when it deserves it) and then what was held.
  void resume(bool retry) {
    std::optional<Command> again = std::move(failed);
    failed.reset();
    if (again && retry) execute(std::move(*again), true);
    while (error == 0 && !held.empty()) {
      Command c = std::move(held.front());
      held.pop_front();
      heldBytes -= std::min(heldBytes, heldSize(c));
      if (isStatusRequest(c)) continue;
      execute(std::move(c), true);
    }
  }

  void resetPrinter(const std::string &why) {
    held.clear();
    heldBytes = 0;
    failed.reset();
    error = 0;
    if (coverOpen) latch(err::kCoverOpen);
    if (headOpen) latch(err::kHeadOpen);
    if (card) {
      card->notes.push_back("put out by " + why);
      eject();
    }
    banks = {};
    bankBase = -1;
    pendingTracks = {};
    pendingSet = {};
    value.reset();
    inJob = false;
    lamination.clear();
  }

  // ---- card movement ----
  int ensureCard() {
    if (card) return 0;
    if (coverOpen) return err::kCoverOpen;
    if (headOpen) return err::kHeadOpen;
    if (feederCards == 0) return err::kOutOfCard;
    if (feederCards > 0) --feederCards;
    card.emplace();
    card->number = nextCard++;
    card->tracks = feederTracks;
    // The print position offsets are printer settings: the card takes those in
    // force when it is fed, and keeps them whatever comes while it is printed.
    auto stored = [this](const char *key) {
      const auto it = settings.find(key);
      return it == settings.end() ? 0 : it->second;
    };
    card->offsets[0] = {stored("+O"), stored("+OY")};
    card->offsets[1] = {stored("+OB"), stored("+OYB")};
    sideUp = 0;
    bankBase = -1;
    ribbonCharged = false;
    return 0;
  }

  // The bank of the side facing the head.
  size_t bankIndex() const {
    if (!card) return 0;
    return static_cast<size_t>(sideUp ^ (bankBase < 0 ? sideUp : bankBase));
  }
  ImageBank &bank() {
    if (card && bankBase < 0) bankBase = sideUp;
    return banks[bankIndex()];
  }

  void eject() {
    if (!card) return;
    // The card that took the ribbon's last panel set has gone: the ribbon is
    // spent and the printer reports no ribbon.
    if (ribbonRemaining <= 0) ribbonCode = 0;
    card->finalSide = sideUp;
    card->lamination = lamination;
    ++cardsOut;
    if (cardListener) cardListener(*card);
    out.push_back(std::move(*card));
    while (out.size() > cfg.cardsKept) out.pop_front();
    card.reset();
  }

  RibbonKind ribbon() const { return ribbonKindOfCode(ribbonCode); }

  int print(PanelKind kind, std::shared_ptr<const DotImage> image, const std::string &command) {
    if (coverOpen) return err::kCoverOpen;
    if (headOpen) return err::kHeadOpen;
    if (ribbonCode == 0) return err::kOutOfRibbon;
    if (cfg.checkRibbonPanels && !ribbonHas(ribbon(), kind)) return err::kCheckRibbon;
    if ((!card || !ribbonCharged) && ribbonRemaining <= 0) return err::kOutOfRibbon;
    if (int e = ensureCard()) return e;
    if (!ribbonCharged) {
      --ribbonRemaining;  // one ribbon panel set per card
      ribbonCharged = true;
    }
    CardSide &side = card->sides[static_cast<size_t>(sideUp)];
    if (side.panels.size() < CardSide::kMaxKeptPanels)
      side.panels.push_back({kind, command, shiftImage(image, card->offsets[static_cast<size_t>(sideUp)])});
    else
      ++side.panelsNotKept;
    ++panelsPrinted;
    return 0;
  }

  // ---- commands ----
  // Image blocks go to image memory; every other command to the handler of
  // its word (the table below).
  int dispatch(Command &c) {
    switch (c.block) {
      case BlockKind::kPlane:
      case BlockKind::kPlaneRle: bank().planes[static_cast<size_t>(c.plane)] = c.data; return 0;
      case BlockKind::kBits:
      case BlockKind::kBitsRle:
        if (c.target == BitTarget::kResin)
          bank().resin = c.data;
        else
          bank().varnish = c.data;
        return 0;
      case BlockKind::kFirmware: return firmware(c);
      case BlockKind::kNone: break;
    }
    const Words w = splitCommand(c.text);
    if (!w.wellFormed) return err::kMalformedCommand;
    const Args x{c, w};
    const auto &table = commandTable();
    const auto entry = table.find(w.word);
    if (entry != table.end()) {
      if (entry->second.encoder && !cfg.encoder) return err::kMagnetic;
      return (this->*entry->second.run)(x);
    }
    // Any other encoder command is unknown to an encoder, and to a printer
    // without one the encoder is what is missing.
    if (!w.word.empty() && w.word[0] == '&' && !cfg.encoder) return err::kMagnetic;
    return err::kUnknownCommand;
  }

  // A command's fields as the handlers read them.
  struct Args {
    const Command &command;
    const Words &words;
    const std::string &word() const { return words.word; }
    const std::vector<std::string> &fields() const { return words.fields; }
    size_t count() const { return words.fields.size(); }
    // No field at all.
    int none() const { return count() == 0 ? 0 : err::kMalformedCommand; }
    // One numeric field within [lo, hi].
    int one(long lo, long hi, long *out) const {
      if (count() != 1 || !number(fields()[0], out)) return err::kMalformedCommand;
      return (*out < lo || *out > hi) ? err::kParameter : 0;
    }
    // Two numeric fields within theirs.
    int two(long lo1, long hi1, long lo2, long hi2, long *a, long *b) const {
      if (count() != 2 || !number(fields()[0], a) || !number(fields()[1], b)) return err::kMalformedCommand;
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
  int master(const Args &x) {
    if (int e = x.none()) return e;
    inJob = true;
    lamination.clear();
    return 0;
  }
  int job(const Args &x) {
    long a = 0;
    if (int e = x.one(0, 2, &a)) return e;
    if (a != 0 && !twoSided) return err::kParameter;
    settings["JOB"] = static_cast<int>(a);
    return 0;
  }
  // A setting of one number within [lo, hi], kept under the command word.
  int setting(const Args &x, long lo, long hi) {
    long a = 0;
    if (int e = x.one(lo, hi, &a)) return e;
    settings[x.word()] = static_cast<int>(a);
    return 0;
  }
  int Switch(const Args &x) { return setting(x, 0, 1); }      // "SXY", "FS"
  int contrast(const Args &x) { return setting(x, 0, 255); }  // "+C", "+CH", "+CV"
  int offset(const Args &x) { return setting(x, 0, 48); }     // "+O", "+OY", "+OB", "+OYB"
  // "+$C n v", "+$L n v": contrast and intensity of panel n.
  int panelLevel(const Args &x) {
    long a = 0, b = 0;
    if (int e = x.two(0, 3, 0, 255, &a, &b)) return e;
    settings[x.word() + " " + x.fields()[0]] = static_cast<int>(b);
    return 0;
  }
  int laminate(const Args &x) {
    if (!laminator) return err::kUnknownCommand;
    long a = 0, b = 0;
    if (int e = x.two(0, 1, 0, 1, &a, &b)) return e;
    lamination = x.fields()[0] + " " + x.fields()[1];
    return 0;
  }
  int headTable(const Args &x) {
    long a = 0, b = 0;
    if (int e = x.two(1, 4, 0, 1, &a, &b)) return e;
    settings["HTABLE"] = static_cast<int>(a);
    settings["HTABLE permanent"] = static_cast<int>(b);
    return 0;
  }
  // "ATM 1 1" asks for the setting, "ATM n" sets it.
  int atm(const Args &x) {
    if (x.command.text == "ATM 1 1") {
      value = settings.count("ATM") && settings["ATM"] ? "1" : "0";
      return 0;
    }
    return setting(x, 0, 1);
  }
  int moveSpeed(const Args &x) {
    long a = 0;
    return x.one(0, 9, &a);
  }

  // ---- queries ----
  // A query without fields whose answer is `answer`.
  int queryAnswer(const Args &x, std::string answer) {
    if (int e = x.none()) return e;
    value = std::move(answer);
    return 0;
  }
  int version(const Args &x) { return queryAnswer(x, modelText); }
  int ribbonQuery(const Args &x) { return queryAnswer(x, std::to_string(ribbonCode)); }
  int ribbonLength(const Args &x) { return queryAnswer(x, std::to_string(ribbonCode ? ribbonRemaining : 0)); }
  int panelCount(const Args &x) { return queryAnswer(x, "!" + std::to_string(panelsPrinted) + " PANELS"); }
  int serial(const Args &x) { return queryAnswer(x, cfg.serial); }
  // "!V n": one of the printer's values.
  int valueQuery(const Args &x) {
    long a = 0;
    if (x.count() != 1 || !number(x.fields()[0], &a)) return err::kMalformedCommand;
    auto stored = [&](const char *key) { return settings.count(key) ? settings[key] : 0; };
    int v;
    switch (a) {
      case 1: v = stored("+O"); break;
      case 2: v = stored("+OY"); break;
      case 24: v = stored("+OYB"); break;
      case 25: v = stored("+OB"); break;
      case 15: v = cfg.headResistance; break;
      case 20: v = cfg.encoder ? 1 : 0; break;
      default: return err::kParameter;
    }
    value = std::to_string(v) + " ";
    return 0;
  }
  // "CHECK_STATUS", "SLAVE", ".": taken, nothing to do.
  int noFields(const Args &x) { return x.none(); }
  int panelMessage(const Args &x) { return x.count() >= 1 ? 0 : err::kMalformedCommand; }

  // ---- resets and maintenance ----
  int reset(const Args &x) {
    if (int e = x.none()) return e;
    resetPrinter("reset");
    return 0;
  }
  int clean(const Args &x) {
    if (int e = x.none()) return e;
    if (ribbonCode != 0) return err::kRemoveRibbon;
    if (coverOpen) return err::kCoverOpen;
    if (headOpen) return err::kHeadOpen;
    ++cleanings;
    note = "cleaning " + std::to_string(cleanings);
    return 0;
  }
  int testCardCommand(const Args &x) {
    long a = 0;
    if (x.count() != 0) {
      if (int e = x.one(1, 3, &a)) return e;
    }
    if (a == 2 && !cfg.encoder) return err::kParameter;
    return testCard(static_cast<int>(a), x.command.text);
  }

  // ---- image memory ----
  int clearPlanes(const Args &x) {
    if (int e = x.none()) return e;
    bank().planes = {};
    return 0;
  }
  int clearResin(const Args &x) {
    if (int e = x.none()) return e;
    bank().resin.reset();
    return 0;
  }
  int clearVarnish(const Args &x) {
    if (int e = x.none()) return e;
    bank().varnish.reset();
    return 0;
  }
  int imageHeader(const Args &) { return 0; }  // "G", "vG": checked by the input stage
  int areaCommand(const Args &x) { return area(x.word() == "L" ? bank().resin : bank().varnish, x.words); }

  // ---- printing ----
  int printPlane(const Args &x) {
    long a = 0;
    if (int e = x.one(0, 3, &a)) return e;
    const std::shared_ptr<const DotImage> plane = bank().planes[static_cast<size_t>(a)];
    if (!plane) return err::kSequence;
    static const PanelKind kinds[4] = {PanelKind::kYellow, PanelKind::kMagenta, PanelKind::kCyan, PanelKind::kDyeBlack};
    return print(kinds[a], plane, x.command.text);
  }
  int printResin(const Args &x) {
    long a = 0;
    if (x.count() != 0) {
      if (int e = x.one(10, 30, &a)) return e;
      if (a != 10 && a != 20 && a != 30) return err::kParameter;
    }
    const PanelKind kind = ribbon() == RibbonKind::kScratchOff ? PanelKind::kScratchOff : PanelKind::kResinBlack;
    return print(kind, bank().resin, x.command.text);
  }
  int printVarnish(const Args &x) {
    if (x.count() == 0) return print(PanelKind::kClearVarnish, bank().resin, x.command.text);
    long a = 0;
    if (int e = x.one(30, 31, &a)) return e;
    const PanelKind kind = (ribbon() == RibbonKind::kYMCKUv || ribbon() == RibbonKind::kYMCUvK)
                               ? PanelKind::kUltraviolet
                               : PanelKind::kVarnish;
    return print(kind, a == 30 ? fullMask() : bank().varnish, x.command.text);
  }
  int printHologram(const Args &x) {
    long a = 0;
    if (int e = x.one(30, 31, &a)) return e;
    return print(PanelKind::kHologram, a == 30 ? fullMask() : bank().resin, x.command.text);
  }
  int skipPanel(const Args &x) {
    long a = 0;
    if (int e = x.one(0, 1, &a)) return e;
    if (a == 1 && card) ++card->sides[static_cast<size_t>(sideUp)].skipped;
    return 0;
  }

  // ---- card movement ----
  int feedCard(const Args &x) {
    if (int e = x.none()) return e;
    return ensureCard();
  }
  int flipCard(const Args &x) {
    if (int e = x.none()) return e;
    if (!twoSided) return err::kUnknownCommand;
    if (int e = ensureCard()) return e;
    sideUp ^= 1;
    ++card->flips;
    return 0;
  }
  int ejectCard(const Args &x) {
    if (int e = x.none()) return e;
    if (!card) {
      note = "no card in the printer, nothing to eject";
      return 0;
    }
    note = "card " + std::to_string(card->number) + " out";
    eject();
    return 0;
  }

  int area(std::shared_ptr<const DotImage> &image, const Words &w) {
    long v[5];
    if (w.fields.size() != 5) return err::kMalformedCommand;
    for (size_t k = 0; k < 5; ++k)
      if (!number(w.fields[k], &v[k])) return err::kMalformedCommand;
    if (v[0] > kCardWidth - 1 || v[1] > kCardHeight - 1 || v[4] > 1) return err::kParameter;
    // x, y, width, height: the area covers x..x+width and y..y+height, both
    // ends included ("0 0 1023 639" is the whole card); what lies beyond the
    // card edge is cut off.
    auto next = image ? std::make_shared<DotImage>(*image) : std::make_shared<DotImage>(kCardDots, 0);
    const long x1 = std::min<long>(v[0] + v[2], kCardWidth - 1);
    const long y1 = std::min<long>(v[1] + v[3], kCardHeight - 1);
    for (long y = v[1]; y <= y1; ++y)
      std::fill(next->begin() + y * kCardWidth + v[0], next->begin() + y * kCardWidth + x1 + 1,
                static_cast<uint8_t>(v[4]));
    image = std::move(next);
    return 0;
  }

  // ---- magnetic encoder ----
  int encoderReset(const Args &x) {
    if (x.count() != 0) return err::kMalformedCommand;
    pendingTracks = {};
    pendingSet = {};
    return 0;
  }
  // "&B t data": the data runs to the CR and may hold blanks; tracks 11 to 13
  // take raw data for tracks 1 to 3.
  int encoderData(const Args &x) {
    const std::string &rest = x.words.rest;
    const size_t blank = rest.find(' ');
    long a = 0;
    if (blank == std::string::npos || !number(rest.substr(0, blank), &a)) return err::kMalformedCommand;
    const std::string data = rest.substr(blank + 1);
    const bool raw = a >= 11 && a <= 13;
    if (!raw && (a < 1 || a > 3)) return err::kParameter;
    const int track = static_cast<int>(raw ? a - 10 : a);
    const int density = settings["&D " + std::to_string(track)];
    if (raw) {
      if (data.size() > trackCapacity(trackMode[track - 1], density)) return err::kParameter;
    } else if (!checkTrackData(trackMode[track - 1], density, data).empty()) {
      return err::kParameter;
    }
    pendingTracks[track - 1] = data;
    pendingSet[track - 1] = true;
    return 0;
  }
  int encoderWrite(const Args &x) {
    if (x.count() != 0) return err::kMalformedCommand;
    if (int e = ensureCard()) return e;
    for (size_t t = 0; t < 3; ++t)
      if (pendingSet[t]) card->tracks[t] = pendingTracks[t];
    card->encoded = true;
    pendingTracks = {};
    pendingSet = {};
    return 0;
  }
  // "&L1" to "&L3": reads a track of the card.
  int encoderRead(const Args &x) {
    if (x.count() != 0) return err::kMalformedCommand;
    if (int e = ensureCard()) return e;
    const std::string &data = card->tracks[static_cast<size_t>(x.word()[2] - '1')];
    if (data.empty()) return err::kBlankTrack;
    value = data;
    return 0;
  }
  // "&CDEW t code", "&CDER t code": the write or read format of track t.
  int encoderFormat(const Args &x) {
    long a = 0;
    if (x.count() != 2 || !number(x.fields()[0], &a)) return err::kMalformedCommand;
    if (a < 1 || a > 3) return err::kParameter;
    const int t = static_cast<int>(a);
    const bool write = x.word() == "&CDEW";
    const int mode = write ? trackModeOfWriteCode(t, x.fields()[1]) : trackModeOfReadCode(t, x.fields()[1]);
    if (mode < 0) return err::kParameter;
    (write ? trackMode : readMode)[static_cast<size_t>(t - 1)] = mode;
    return 0;
  }
  int encoderDensity(const Args &x) {
    long a = 0, b = 0;
    if (x.count() != 2 || !number(x.fields()[0], &a) || !number(x.fields()[1], &b)) return err::kMalformedCommand;
    if (a < 1 || a > 3 || (b != 75 && b != 210)) return err::kParameter;
    settings["&D " + x.fields()[0]] = static_cast<int>(b);
    return 0;
  }
  // "&C", "&W": coercivity and the write mode.
  int encoderSetting(const Args &x) {
    long a = 0;
    if (x.count() != 1 || !number(x.fields()[0], &a)) return err::kMalformedCommand;
    if (a > 1) return err::kParameter;
    settings[x.word()] = static_cast<int>(a);
    return 0;
  }

  int testCard(int kind, const std::string &command) {
    static const PanelKind order[] = {PanelKind::kResinBlack, PanelKind::kDyeBlack,     PanelKind::kCyan,
                                      PanelKind::kHologram,   PanelKind::kClearVarnish, PanelKind::kScratchOff};
    PanelKind use = PanelKind::kResinBlack;
    for (PanelKind k : order)
      if (ribbonHas(ribbon(), k)) {
        use = k;
        break;
      }
    // A frame round the card and a grid, so that offsets show.
    auto image = std::make_shared<DotImage>(kCardDots, 0);
    const uint8_t ink = isDyePanel(use) ? 31 : 1;
    for (int y = 0; y < kCardHeight; ++y)
      for (int x = 0; x < kCardWidth; ++x)
        if (x < 8 || y < 8 || x >= kCardWidth - 8 || y >= kCardHeight - 8 || x % 64 == 0 || y % 64 == 0)
          (*image)[static_cast<size_t>(x + y * kCardWidth)] = ink;
    if (int e = print(use, image, command)) return e;
    static const char *const names[] = {"standard", "printer parameters", "encoder parameters", "test card 3"};
    card->testCard = names[kind];
    eject();
    return 0;
  }

  void firmwareOutcome(const Command &c, int e);
  int firmware(const Command &c) {
    firmwareKind.clear();
    firmwareRefusal.clear();
    const std::vector<uint8_t> &d = *c.data;
    if (d.size() < 16) {
      firmwareRefusal = "shorter than a firmware header";
      return err::kFlash;
    }
    const uint8_t b14 = d[14], b15 = d[15];
    std::string kind;
    if (b14 != 0xFF && b15 == 0xFF)
      kind = "printer";
    else if (b14 == 0xFF && b15 != 0xFF)
      kind = "laminator";
    else if (d.size() >= 281 && std::memcmp(d.data() + 277, "LLX3", 4) == 0)
      kind = "laminator";
    firmwareKind = kind;
    if (kind.empty()) {
      firmwareRefusal = "no firmware of this printer";
      return err::kFlash;
    }
    if (kind == "laminator" && !laminator) {
      firmwareRefusal = "no laminator fitted";
      return err::kFlash;
    }
    ++firmwareDownloads;
    lastFirmware = kind;
    lastFirmwareSize = static_cast<uint32_t>(d.size());
    if (kind == "printer") resetPrinter("firmware update");  // the new firmware starts afresh
    return 0;
  }
};

// What became of a firmware frame that was run: counted, kept with the frame
// and told in the listing ("firmware update 1: printer, 74565 bytes,
// CRC-32 0x..., accepted").
void Printer::Impl::firmwareOutcome(const Command &c, int e) {
  const bool accepted = e == 0;
  if (!accepted) ++firmwareRefused;  // an accepted one was counted when it was flashed
  const std::string why = c.error ? c.problem : firmwareRefusal;
  if (firmwareFrame) {
    firmwareFrame->accepted = accepted;
    firmwareFrame->kind = c.error ? std::string() : firmwareKind;
    if (!accepted) {
      firmwareFrame->error = e;
      if (firmwareFrame->problem.empty()) firmwareFrame->problem = why;
    }
  }
  char crc[16];
  std::snprintf(crc, sizeof crc, "0x%08X", c.fwCrc32);
  std::string text = "firmware update " + std::to_string(firmwareDownloads + firmwareRefused) + ": ";
  if (!c.error && !firmwareKind.empty()) text += firmwareKind + ", ";
  text += std::to_string(c.fwContentBytes) + " bytes";
  if (c.fwContentBytes != c.declaredSize) text += " (size field " + std::to_string(c.declaredSize) + ")";
  text += ", CRC-32 " + std::string(crc) + ", ";
  // A badly framed one has its problem told with its error already.
  text += accepted ? "accepted" : c.error ? "refused" : "refused: " + why;
  note = std::move(text);
}

// Command word -> handler.  Words the printer knows only with a magnetic
// encoder fitted are marked.
const std::map<std::string, Printer::Impl::CommandEntry, std::less<>> &Printer::Impl::commandTable() {
  using I = Impl;
  static const std::map<std::string, CommandEntry, std::less<>> table = {
      // job and head set-up
      {"MASTER", {&I::master}},
      {"JOB", {&I::job}},
      {"SXY", {&I::Switch}},
      {"FS", {&I::Switch}},
      {"+C", {&I::contrast}},
      {"+CH", {&I::contrast}},
      {"+CV", {&I::contrast}},
      {"+$C", {&I::panelLevel}},
      {"+$L", {&I::panelLevel}},
      {"+O", {&I::offset}},
      {"+OY", {&I::offset}},
      {"+OB", {&I::offset}},
      {"+OYB", {&I::offset}},
      {"+DLAMI", {&I::laminate}},
      {"HTABLE", {&I::headTable}},
      {"ATM", {&I::atm}},
      {"MS", {&I::moveSpeed}},
      // queries
      {"V", {&I::version}},
      {"!RIBBON", {&I::ribbonQuery}},
      {"!RIBLEN", {&I::ribbonLength}},
      {"!V", {&I::valueQuery}},
      {"!NL", {&I::panelCount}},
      {"%SERIE", {&I::serial}},
      {"CHECK_STATUS", {&I::noFields}},
      {"SLAVE", {&I::noFields}},
      {".", {&I::noFields}},
      {"DMSG", {&I::panelMessage}},
      // resets and maintenance
      {"R", {&I::reset}},
      {"RESET", {&I::reset}},
      {"SRESET", {&I::reset}},
      {"HRESET", {&I::reset}},
      {"CLEAN", {&I::clean}},
      {"A", {&I::testCardCommand}},
      // image memory
      {"$F", {&I::clearPlanes}},
      {"F", {&I::clearResin}},
      {"vF", {&I::clearVarnish}},
      {"G", {&I::imageHeader}},
      {"vG", {&I::imageHeader}},
      {"L", {&I::areaCommand}},
      {"vL", {&I::areaCommand}},
      // printing
      {"IS", {&I::printPlane}},
      {"I", {&I::printResin}},
      {"IV", {&I::printVarnish}},
      {"IH", {&I::printHologram}},
      {"!FF", {&I::skipPanel}},
      // card movement
      {"MI", {&I::feedCard}},
      {"MF", {&I::flipCard}},
      {"MO", {&I::ejectCard}},
      // magnetic encoder
      {"&R", {&I::encoderReset, true}},
      {"&B", {&I::encoderData, true}},
      {"&E*", {&I::encoderWrite, true}},
      {"&L1", {&I::encoderRead, true}},
      {"&L2", {&I::encoderRead, true}},
      {"&L3", {&I::encoderRead, true}},
      {"&CDEW", {&I::encoderFormat, true}},
      {"&CDER", {&I::encoderFormat, true}},
      {"&D", {&I::encoderDensity, true}},
      {"&C", {&I::encoderSetting, true}},
      {"&W", {&I::encoderSetting, true}},
  };
  return table;
}

Printer::Printer(PrinterConfig config) : config_(std::move(config)), impl_(std::make_unique<Impl>(config_)) {}
Printer::~Printer() = default;

long Printer::write(const uint8_t *bytes, size_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  Impl &m = *impl_;
  if (!m.connected) return -1;
  if (m.stalled || count == 0) return 0;
  if (m.hung) return 0;
  auto sink = [&m](Command &&c) { m.accept(std::move(c)); };
  auto full = [&m]() { return m.error != 0 && m.heldBytes >= m.cfg.receiveLimit; };
  if (!m.hangAfter) return static_cast<long>(m.parser.feed(bytes, count, sink, full));
  return static_cast<long>(m.feedTowardsHang(bytes, count, sink, full));
}

long Printer::read(uint8_t *out, size_t max) {
  std::lock_guard<std::mutex> lock(mutex_);
  Impl &m = *impl_;
  if (!m.connected) return -1;
  if (m.hung) return 0;
  size_t n = 0;
  while (n < max && !m.answers.empty()) {
    out[n++] = m.answers.front();
    m.answers.pop_front();
  }
  return static_cast<long>(n);
}

std::string Printer::readAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string s(impl_->answers.begin(), impl_->answers.end());
  impl_->answers.clear();
  return s;
}

size_t Printer::answerBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return impl_->answers.size();
}

std::optional<uint8_t> Printer::lineStatus() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!impl_->connected) return std::nullopt;
  return impl_->line();
}

std::optional<uint8_t> Printer::networkStatus() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!impl_->connected) return std::nullopt;
  return static_cast<uint8_t>(impl_->line() | kNetworkUp);
}

std::vector<uint8_t> Printer::statusPollReply() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!impl_->connected || impl_->silent || impl_->hung) return {};
  std::vector<uint8_t> r(12, '0');
  r[0] = kAck;
  r[10] = static_cast<uint8_t>(impl_->line() | kNetworkUp);
  r[11] = kEot;
  return r;
}

void Printer::softReset() {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->parser.reset();
  impl_->resetPrinter("interface reset");
}

void Printer::setAnswerListener(std::function<void()> listener) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->answerListener = std::move(listener);
}

void Printer::injectError(int code) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->latch(code);
}

void Printer::injectErrorAt(int code, const std::string &commandPrefix, int occurrence) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (commandPrefix.empty()) {  // any command: the occurrence-th from now
    impl_->faults.push_back({code, {}, 0, static_cast<uint64_t>(occurrence < 1 ? 1 : occurrence)});
    return;
  }
  impl_->faults.push_back({code, commandPrefix, occurrence, 0});
}

void Printer::injectErrorAfter(int code, uint64_t commands) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (commands == 0) {
    impl_->latch(code);
    return;
  }
  impl_->faults.push_back({code, {}, 0, commands});
}

void Printer::injectFault(const FaultChoice &fault) {
  std::lock_guard<std::mutex> lock(mutex_);
  Impl &m = *impl_;
  if (!fault.command.empty()) {
    m.faults.push_back({fault.code, fault.command, 1, 0, fault.name});
  } else if (fault.name == "encoder") {
    m.faults.push_back({fault.code, "&E*", 1, 0, fault.name});
  } else if (fault.name == "out-of-cards") {
    m.feederCards = 0;  // the printer finds out at the next feed
  } else if (fault.name == "out-of-ribbon") {
    m.ribbonRemaining = 0;  // the card being printed still gets its panels
  } else {
    m.applyCause(fault.name);
    m.latch(fault.code);
  }
}

void Printer::clearFault() {
  std::lock_guard<std::mutex> lock(mutex_);
  Impl &m = *impl_;
  m.coverOpen = false;
  m.headOpen = false;
  if (m.feederCards == 0) m.feederCards = m.cfg.feederCards != 0 ? m.cfg.feederCards : 100;
  if (m.ribbonCode == 0 || m.ribbonRemaining <= 0) {
    m.ribbonCode = m.cfg.ribbonCode != 0 ? m.cfg.ribbonCode : 2;
    m.ribbonRemaining = m.cfg.ribbonRemaining > 0 ? m.cfg.ribbonRemaining : 250;
  }
  pressButtonLocked();
}

void Printer::pressButton() {
  std::lock_guard<std::mutex> lock(mutex_);
  pressButtonLocked();
}

void Printer::pressButtonLocked() {
  Impl &m = *impl_;
  if (m.error == 0) return;
  // A cover or head still open keeps the printer stopped.
  if (m.coverOpen || m.headOpen) return;
  const bool retry = !discardsCommand(m.error);
  m.error = 0;
  m.resume(retry);
}

void Printer::forceClear() {
  std::lock_guard<std::mutex> lock(mutex_);
  Impl &m = *impl_;
  if (m.error == 0) return;
  m.error = 0;
  m.resume(false);
}

void Printer::removeRibbon() {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->ribbonCode = 0;
  impl_->ribbonRemaining = 0;
}

void Printer::loadRibbon(int code, int remaining) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->ribbonCode = code;
  impl_->ribbonRemaining = remaining;
}

void Printer::setFeederCards(int cards) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->feederCards = cards;
}

void Printer::setFeederTracks(const std::array<std::string, 3> &tracks) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->feederTracks = tracks;
}

void Printer::setCoverOpen(bool open) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->coverOpen = open;
  if (open) impl_->latch(err::kCoverOpen);
}

void Printer::setHeadOpen(bool open) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->headOpen = open;
  if (open) impl_->latch(err::kHeadOpen);
}

void Printer::setSilent(bool silent) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->silent = silent;
}

void Printer::setStalled(bool stalled) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->stalled = stalled;
}

void Printer::stopAnsweringAfter(uint64_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  Impl &m = *impl_;
  m.hangInFirmware = false;
  m.hangAfter.reset();
  if (bytes == 0)
    m.hung = true;
  else
    m.hangAfter = bytes;
}

void Printer::stopAnsweringInFirmware(uint64_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  Impl &m = *impl_;
  m.hangAfter = bytes;
  // Already inside a frame: counted from here.
  m.hangInFirmware = !m.parser.insideFirmware();
  if (!m.hangInFirmware && bytes == 0) {
    m.hung = true;
    m.hangAfter.reset();
  }
}

void Printer::resumeAnswering() {
  std::lock_guard<std::mutex> lock(mutex_);
  Impl &m = *impl_;
  m.hung = false;
  m.hangAfter.reset();
  m.hangInFirmware = false;
}

void Printer::setConnected(bool connected) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->connected = connected;
  if (!connected) impl_->answers.clear();
}

PrinterState Printer::state() const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Impl &m = *impl_;
  PrinterState s;
  s.modelText = m.modelText;
  s.connected = m.connected;
  s.error = m.error;
  s.heldCommands = m.held.size();
  s.cardInPrinter = m.card.has_value();
  s.sideUp = m.sideUp;
  s.flips = m.card ? m.card->flips : 0;
  const Impl::ImageBank &bank = m.banks[m.bankIndex()];
  for (size_t k = 0; k < 4; ++k) s.planeLoaded[k] = bank.planes[k] != nullptr;
  s.resinImage = anyDot(bank.resin);
  s.varnishImage = anyDot(bank.varnish);
  s.ribbonCode = m.ribbonCode;
  s.ribbonRemaining = m.ribbonRemaining;
  s.panelsPrinted = m.panelsPrinted;
  s.feederCards = m.feederCards;
  s.cardsOut = m.cardsOut;
  s.commands = m.commands;
  s.inJob = m.inJob;
  s.settings = m.settings;
  for (int t = 1; t <= 3; ++t) {
    s.writeFormat[static_cast<size_t>(t - 1)] = writeCodeOf(t, m.trackMode[static_cast<size_t>(t - 1)]);
    s.readFormat[static_cast<size_t>(t - 1)] = readCodeOf(t, m.readMode[static_cast<size_t>(t - 1)]);
  }
  s.pendingTracks = m.pendingTracks;
  s.cleanings = m.cleanings;
  s.firmwareDownloads = m.firmwareDownloads;
  s.firmwareRefused = m.firmwareRefused;
  s.answering = !m.hung;
  s.lastFirmware = m.lastFirmware;
  s.lastFirmwareSize = m.lastFirmwareSize;
  s.coverOpen = m.coverOpen;
  s.headOpen = m.headOpen;
  return s;
}

int Printer::error() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return impl_->error;
}

std::optional<FirmwareFrame> Printer::lastFirmwareFrame() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return impl_->firmwareFrame;
}

uint64_t Printer::firmwareFrames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return impl_->firmwareFrames;
}

std::vector<Card> Printer::takeCards() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Card> cards(std::make_move_iterator(impl_->out.begin()), std::make_move_iterator(impl_->out.end()));
  impl_->out.clear();
  return cards;
}

void Printer::setCardListener(std::function<void(const Card &)> listener) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->cardListener = std::move(listener);
}

void Printer::setCommandListener(std::function<void(const CommandRecord &)> listener) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->commandListener = std::move(listener);
}

void Printer::finish() {
  std::lock_guard<std::mutex> lock(mutex_);
  Impl &m = *impl_;
  m.parser.finish([&m](Command &&c) { m.accept(std::move(c)); });
}

void Printer::ejectRemaining(const std::string &note) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!impl_->card) return;
  impl_->card->notes.push_back(note);
  impl_->eject();
}

}  // namespace cardemu
