#include "emulator/include/cardemu/printer.h"

#include <algorithm>
#include <cstring>

#include "emulator/src/magnetic.h"

namespace cardemu {

namespace {

bool Contains(const std::string &s, const char *what) { return s.find(what) != std::string::npos; }

bool Number(const std::string &s, long *v) {
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

Words SplitCommand(const std::string &text) {
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

std::shared_ptr<const DotImage> FullMask() {
  static const auto full = std::make_shared<const DotImage>(kCardDots, 1);
  return full;
}

bool RibbonHas(RibbonKind ribbon, PanelKind panel) {
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

bool AnyDot(const std::shared_ptr<const DotImage> &image) {
  return image && std::any_of(image->begin(), image->end(), [](uint8_t v) { return v != 0; });
}

}  // namespace

std::string ComposeModelText(const PrinterConfig &config) {
  if (!config.modelText.empty()) return config.modelText;
  std::string text = config.model;
  if (!config.smartCard.empty()) text += " " + config.smartCard;
  if (config.encoder) text += " MAG";
  text += " " + config.firmware;
  return text;
}

bool ModelIsTwoSided(const std::string &m) {
  return Contains(m, "QA5") || Contains(m, "QA6") || Contains(m, "LX2") || Contains(m, "LX3") || Contains(m, "CA3");
}

bool ModelHasLaminator(const std::string &m) { return Contains(m, "LX2") || Contains(m, "LX3"); }

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
    uint64_t countdown;  // by count, when prefix is empty
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

  // image memory
  std::array<std::shared_ptr<const DotImage>, 4> planes;
  std::shared_ptr<const DotImage> resin, varnish;

  // set-up
  std::map<std::string, int> settings;
  std::array<int, 3> trackMode{}, readMode{};
  std::array<std::string, 3> pendingTracks;
  std::array<bool, 3> pendingSet{};
  bool inJob = false;
  std::string lamination;
  int cleanings = 0, firmwareDownloads = 0;
  std::string lastFirmware;
  uint32_t lastFirmwareSize = 0;

  std::function<void(const Card &)> cardListener;
  std::function<void(const CommandRecord &)> commandListener;

  explicit Impl(const PrinterConfig &c) : cfg(c) {
    modelText = ComposeModelText(c);
    twoSided = c.twoSided.value_or(ModelIsTwoSided(modelText));
    laminator = c.laminator.value_or(ModelHasLaminator(modelText));
    ribbonCode = c.ribbonCode;
    ribbonRemaining = c.ribbonRemaining;
    feederCards = c.feederCards;
    feederTracks = c.feederTracks;
    for (int t = 1; t <= 3; ++t) {
      trackMode[t - 1] = readMode[t - 1] = DefaultTrackMode(t);
      settings["&D " + std::to_string(t)] = DefaultTrackDensity(t);
    }
  }

  // ---- answers ----
  void Answer(const std::string &bytes) {
    if (silent || bytes.empty()) return;
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
  void Latch(int code) {
    if (error == 0) error = code;
  }

  uint8_t Line() const {
    uint8_t b = kLineSelected;
    if (error == 0) return b | kLineNoError;
    switch (ClassOf(error)) {
      case ErrorClass::kMedia: return b | kLineMediaOut | kLineNoError;
      case ErrorClass::kMechanical: return b | kLineMediaOut;
      case ErrorClass::kOther: return b;
    }
    return b;
  }

  void Record(const Command &c, int e, bool isHeld, bool replay, const std::string &answer) {
    if (!commandListener) return;
    CommandRecord r;
    r.command = &c;
    r.error = e;
    r.held = isHeld;
    r.replay = replay;
    r.answer = answer;
    commandListener(r);
  }

  // What a held command costs: its bytes and what its data decoded to (a short
  // run-length block decodes to a whole plane).
  static size_t HeldSize(const Command &c) { return static_cast<size_t>(c.length) + (c.data ? c.data->size() : 0); }

  static bool IsStatusRequest(const Command &c) {
    return c.block == BlockKind::kNone && !c.stray && c.text.rfind("E", 0) == 0 &&
           (c.text.size() == 1 || c.text[1] == ' ');
  }

  // Commands answered or obeyed even while an error stops the printer.
  static bool IsImmediate(const Command &c) {
    if (c.stray || c.block != BlockKind::kNone) return false;
    const std::string w = c.text.substr(0, c.text.find(' '));
    return w == "V" || w == "!RIBBON" || w == "!RIBLEN" || w == "!V" || w == "!NL" || w == "%SERIE" ||
           c.text == "ATM 1 1" || w == "CHECK_STATUS" || w == "R" || w == "RESET" || w == "SRESET" || w == "HRESET";
  }

  void Accept(Command &&c) {
    if (IsStatusRequest(c)) {
      StatusRequest(c);
      return;
    }
    if (error != 0 && !IsImmediate(c)) {
      heldBytes += HeldSize(c);
      Record(c, 0, true, false, {});
      held.push_back(std::move(c));
      return;
    }
    Execute(std::move(c), false);
  }

  void StatusRequest(const Command &c) {
    const Words w = SplitCommand(c.text);
    if (c.error) {
      Latch(c.error);
    } else if (!w.wellFormed || w.word != "E" || w.fields.size() != 1) {
      Latch(err::kMalformedCommand);
    } else if (w.fields[0] != "1" && w.fields[0] != "2") {
      Latch(err::kParameter);
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
    Answer(reply);
    Record(c, 0, false, false, reply);
  }

  bool FaultFires(const Command &c) {
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
        faults.erase(faults.begin() + static_cast<long>(k));
        Latch(code);
        return true;
      }
    }
    return false;
  }

  void Execute(Command &&c, bool replay) {
    ++commands;
    value.reset();
    int e = 0;
    if (FaultFires(c)) {
      e = error;
      if (!DiscardsCommand(e)) failed = std::move(c);
      Record(failed ? *failed : c, e, false, replay, {});
      return;
    }
    e = c.error ? c.error : Dispatch(c);
    if (e) {
      Latch(e);
      Record(c, e, false, replay, {});
      if (!DiscardsCommand(e) && !failed) failed = std::move(c);
      return;
    }
    Record(c, 0, false, replay, value.value_or(""));
  }

  // Runs the failed command again (when it deserves it) and then what was held.
  void Resume(bool retry) {
    std::optional<Command> again = std::move(failed);
    failed.reset();
    if (again && retry) Execute(std::move(*again), true);
    while (error == 0 && !held.empty()) {
      Command c = std::move(held.front());
      held.pop_front();
      heldBytes -= std::min(heldBytes, HeldSize(c));
      if (IsStatusRequest(c)) continue;
      Execute(std::move(c), true);
    }
  }

  void ResetPrinter(const std::string &why) {
    held.clear();
    heldBytes = 0;
    failed.reset();
    error = 0;
    if (coverOpen) Latch(err::kCoverOpen);
    if (headOpen) Latch(err::kHeadOpen);
    if (card) {
      card->notes.push_back("put out by " + why);
      Eject();
    }
    planes = {};
    resin.reset();
    varnish.reset();
    pendingTracks = {};
    pendingSet = {};
    value.reset();
    inJob = false;
    lamination.clear();
  }

  // ---- card movement ----
  int EnsureCard() {
    if (card) return 0;
    if (coverOpen) return err::kCoverOpen;
    if (headOpen) return err::kHeadOpen;
    if (feederCards == 0) return err::kOutOfCard;
    if (feederCards > 0) --feederCards;
    card.emplace();
    card->number = nextCard++;
    card->tracks = feederTracks;
    sideUp = 0;
    ribbonCharged = false;
    return 0;
  }

  void Eject() {
    if (!card) return;
    card->finalSide = sideUp;
    card->lamination = lamination;
    ++cardsOut;
    if (cardListener) cardListener(*card);
    out.push_back(std::move(*card));
    while (out.size() > cfg.cardsKept) out.pop_front();
    card.reset();
  }

  RibbonKind Ribbon() const { return RibbonKindOfCode(ribbonCode); }

  int Print(PanelKind kind, std::shared_ptr<const DotImage> image, const std::string &command) {
    if (coverOpen) return err::kCoverOpen;
    if (headOpen) return err::kHeadOpen;
    if (ribbonCode == 0) return err::kOutOfRibbon;
    if (cfg.checkRibbonPanels && !RibbonHas(Ribbon(), kind)) return err::kCheckRibbon;
    if ((!card || !ribbonCharged) && ribbonRemaining <= 0) return err::kOutOfRibbon;
    if (int e = EnsureCard()) return e;
    if (!ribbonCharged) {
      --ribbonRemaining;  // one ribbon panel set per card
      ribbonCharged = true;
    }
    CardSide &side = card->sides[static_cast<size_t>(sideUp)];
    if (side.panels.size() < CardSide::kMaxKeptPanels)
      side.panels.push_back({kind, command, std::move(image)});
    else
      ++side.panelsNotKept;
    ++panelsPrinted;
    return 0;
  }

  // ---- commands ----
  // Image blocks go to image memory; every other command to the handler of
  // its word (the table below).
  int Dispatch(Command &c) {
    switch (c.block) {
      case BlockKind::kPlane:
      case BlockKind::kPlaneRle: planes[static_cast<size_t>(c.plane)] = c.data; return 0;
      case BlockKind::kBits:
      case BlockKind::kBitsRle:
        if (c.target == BitTarget::kResin)
          resin = c.data;
        else
          varnish = c.data;
        return 0;
      case BlockKind::kFirmware: return Firmware(c);
      case BlockKind::kNone: break;
    }
    const Words w = SplitCommand(c.text);
    if (!w.wellFormed) return err::kMalformedCommand;
    const Args x{c, w};
    const auto &table = Commands();
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
    int None() const { return count() == 0 ? 0 : err::kMalformedCommand; }
    // One numeric field within [lo, hi].
    int One(long lo, long hi, long *out) const {
      if (count() != 1 || !Number(fields()[0], out)) return err::kMalformedCommand;
      return (*out < lo || *out > hi) ? err::kParameter : 0;
    }
    // Two numeric fields within theirs.
    int Two(long lo1, long hi1, long lo2, long hi2, long *a, long *b) const {
      if (count() != 2 || !Number(fields()[0], a) || !Number(fields()[1], b)) return err::kMalformedCommand;
      return (*a < lo1 || *a > hi1 || *b < lo2 || *b > hi2) ? err::kParameter : 0;
    }
  };

  using Handler = int (Impl::*)(const Args &);
  struct CommandEntry {
    Handler run;
    bool encoder = false;  // needs the magnetic encoder
  };
  static const std::map<std::string, CommandEntry, std::less<>> &Commands();

  // ---- job and head set-up ----
  int Master(const Args &x) {
    if (int e = x.None()) return e;
    inJob = true;
    lamination.clear();
    return 0;
  }
  int Job(const Args &x) {
    long a = 0;
    if (int e = x.One(0, 2, &a)) return e;
    if (a != 0 && !twoSided) return err::kParameter;
    settings["JOB"] = static_cast<int>(a);
    return 0;
  }
  // A setting of one number within [lo, hi], kept under the command word.
  int Setting(const Args &x, long lo, long hi) {
    long a = 0;
    if (int e = x.One(lo, hi, &a)) return e;
    settings[x.word()] = static_cast<int>(a);
    return 0;
  }
  int Switch(const Args &x) { return Setting(x, 0, 1); }      // "SXY", "FS"
  int Contrast(const Args &x) { return Setting(x, 0, 255); }  // "+C", "+CH", "+CV"
  int Offset(const Args &x) { return Setting(x, 0, 48); }     // "+O", "+OY", "+OB", "+OYB"
  // "+$C n v", "+$L n v": contrast and intensity of panel n.
  int PanelLevel(const Args &x) {
    long a = 0, b = 0;
    if (int e = x.Two(0, 3, 0, 255, &a, &b)) return e;
    settings[x.word() + " " + x.fields()[0]] = static_cast<int>(b);
    return 0;
  }
  int Laminate(const Args &x) {
    if (!laminator) return err::kUnknownCommand;
    long a = 0, b = 0;
    if (int e = x.Two(0, 1, 0, 1, &a, &b)) return e;
    lamination = x.fields()[0] + " " + x.fields()[1];
    return 0;
  }
  int HeadTable(const Args &x) {
    long a = 0, b = 0;
    if (int e = x.Two(1, 4, 0, 1, &a, &b)) return e;
    settings["HTABLE"] = static_cast<int>(a);
    settings["HTABLE permanent"] = static_cast<int>(b);
    return 0;
  }
  // "ATM 1 1" asks for the setting, "ATM n" sets it.
  int Atm(const Args &x) {
    if (x.command.text == "ATM 1 1") {
      value = settings.count("ATM") && settings["ATM"] ? "1" : "0";
      return 0;
    }
    return Setting(x, 0, 1);
  }
  int MoveSpeed(const Args &x) {
    long a = 0;
    return x.One(0, 9, &a);
  }

  // ---- queries ----
  // A query without fields whose answer is `answer`.
  int QueryAnswer(const Args &x, std::string answer) {
    if (int e = x.None()) return e;
    value = std::move(answer);
    return 0;
  }
  int Version(const Args &x) { return QueryAnswer(x, modelText); }
  int RibbonQuery(const Args &x) { return QueryAnswer(x, std::to_string(ribbonCode)); }
  int RibbonLength(const Args &x) { return QueryAnswer(x, std::to_string(ribbonCode ? ribbonRemaining : 0)); }
  int PanelCount(const Args &x) { return QueryAnswer(x, "!" + std::to_string(panelsPrinted) + " PANELS"); }
  int Serial(const Args &x) { return QueryAnswer(x, cfg.serial); }
  // "!V n": one of the printer's values.
  int ValueQuery(const Args &x) {
    long a = 0;
    if (x.count() != 1 || !Number(x.fields()[0], &a)) return err::kMalformedCommand;
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
  int NoFields(const Args &x) { return x.None(); }
  int PanelMessage(const Args &x) { return x.count() >= 1 ? 0 : err::kMalformedCommand; }

  // ---- resets and maintenance ----
  int Reset(const Args &x) {
    if (int e = x.None()) return e;
    ResetPrinter("reset");
    return 0;
  }
  int Clean(const Args &x) {
    if (int e = x.None()) return e;
    if (ribbonCode != 0) return err::kRemoveRibbon;
    if (coverOpen) return err::kCoverOpen;
    if (headOpen) return err::kHeadOpen;
    ++cleanings;
    return 0;
  }
  int TestCardCommand(const Args &x) {
    long a = 0;
    if (x.count() != 0) {
      if (int e = x.One(1, 3, &a)) return e;
    }
    if (a == 2 && !cfg.encoder) return err::kParameter;
    return TestCard(static_cast<int>(a), x.command.text);
  }

  // ---- image memory ----
  int ClearPlanes(const Args &x) {
    if (int e = x.None()) return e;
    planes = {};
    return 0;
  }
  int ClearResin(const Args &x) {
    if (int e = x.None()) return e;
    resin.reset();
    return 0;
  }
  int ClearVarnish(const Args &x) {
    if (int e = x.None()) return e;
    varnish.reset();
    return 0;
  }
  int ImageHeader(const Args &) { return 0; }  // "G", "vG": checked by the input stage
  int AreaCommand(const Args &x) { return Area(x.word() == "L" ? resin : varnish, x.words); }

  // ---- printing ----
  int PrintPlane(const Args &x) {
    long a = 0;
    if (int e = x.One(0, 3, &a)) return e;
    if (!planes[static_cast<size_t>(a)]) return err::kSequence;
    static const PanelKind kinds[4] = {PanelKind::kYellow, PanelKind::kMagenta, PanelKind::kCyan, PanelKind::kDyeBlack};
    return Print(kinds[a], planes[static_cast<size_t>(a)], x.command.text);
  }
  int PrintResin(const Args &x) {
    long a = 0;
    if (x.count() != 0) {
      if (int e = x.One(10, 30, &a)) return e;
      if (a != 10 && a != 20 && a != 30) return err::kParameter;
    }
    const PanelKind kind = Ribbon() == RibbonKind::kScratchOff ? PanelKind::kScratchOff : PanelKind::kResinBlack;
    return Print(kind, resin, x.command.text);
  }
  int PrintVarnish(const Args &x) {
    if (x.count() == 0) return Print(PanelKind::kClearVarnish, resin, x.command.text);
    long a = 0;
    if (int e = x.One(30, 31, &a)) return e;
    const PanelKind kind = (Ribbon() == RibbonKind::kYMCKUv || Ribbon() == RibbonKind::kYMCUvK)
                               ? PanelKind::kUltraviolet
                               : PanelKind::kVarnish;
    return Print(kind, a == 30 ? FullMask() : varnish, x.command.text);
  }
  int PrintHologram(const Args &x) {
    long a = 0;
    if (int e = x.One(30, 31, &a)) return e;
    return Print(PanelKind::kHologram, a == 30 ? FullMask() : resin, x.command.text);
  }
  int SkipPanel(const Args &x) {
    long a = 0;
    if (int e = x.One(0, 1, &a)) return e;
    if (a == 1 && card) ++card->sides[static_cast<size_t>(sideUp)].skipped;
    return 0;
  }

  // ---- card movement ----
  int FeedCard(const Args &x) {
    if (int e = x.None()) return e;
    return EnsureCard();
  }
  int FlipCard(const Args &x) {
    if (int e = x.None()) return e;
    if (!twoSided) return err::kUnknownCommand;
    if (int e = EnsureCard()) return e;
    sideUp ^= 1;
    ++card->flips;
    return 0;
  }
  int EjectCard(const Args &x) {
    if (int e = x.None()) return e;
    Eject();
    return 0;
  }

  int Area(std::shared_ptr<const DotImage> &image, const Words &w) {
    long v[5];
    if (w.fields.size() != 5) return err::kMalformedCommand;
    for (size_t k = 0; k < 5; ++k)
      if (!Number(w.fields[k], &v[k])) return err::kMalformedCommand;
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
  int EncoderReset(const Args &x) {
    if (x.count() != 0) return err::kMalformedCommand;
    pendingTracks = {};
    pendingSet = {};
    return 0;
  }
  // "&B t data": the data runs to the CR and may hold blanks; tracks 11 to 13
  // take raw data for tracks 1 to 3.
  int EncoderData(const Args &x) {
    const std::string &rest = x.words.rest;
    const size_t blank = rest.find(' ');
    long a = 0;
    if (blank == std::string::npos || !Number(rest.substr(0, blank), &a)) return err::kMalformedCommand;
    const std::string data = rest.substr(blank + 1);
    const bool raw = a >= 11 && a <= 13;
    if (!raw && (a < 1 || a > 3)) return err::kParameter;
    const int track = static_cast<int>(raw ? a - 10 : a);
    const int density = settings["&D " + std::to_string(track)];
    if (raw) {
      if (data.size() > TrackCapacity(trackMode[track - 1], density)) return err::kParameter;
    } else if (!CheckTrackData(trackMode[track - 1], density, data).empty()) {
      return err::kParameter;
    }
    pendingTracks[track - 1] = data;
    pendingSet[track - 1] = true;
    return 0;
  }
  int EncoderWrite(const Args &x) {
    if (x.count() != 0) return err::kMalformedCommand;
    if (int e = EnsureCard()) return e;
    for (size_t t = 0; t < 3; ++t)
      if (pendingSet[t]) card->tracks[t] = pendingTracks[t];
    card->encoded = true;
    pendingTracks = {};
    pendingSet = {};
    return 0;
  }
  // "&L1" to "&L3": reads a track of the card.
  int EncoderRead(const Args &x) {
    if (x.count() != 0) return err::kMalformedCommand;
    if (int e = EnsureCard()) return e;
    const std::string &data = card->tracks[static_cast<size_t>(x.word()[2] - '1')];
    if (data.empty()) return err::kBlankTrack;
    value = data;
    return 0;
  }
  // "&CDEW t code", "&CDER t code": the write or read format of track t.
  int EncoderFormat(const Args &x) {
    long a = 0;
    if (x.count() != 2 || !Number(x.fields()[0], &a)) return err::kMalformedCommand;
    if (a < 1 || a > 3) return err::kParameter;
    const int t = static_cast<int>(a);
    const bool write = x.word() == "&CDEW";
    const int mode = write ? TrackModeOfWriteCode(t, x.fields()[1]) : TrackModeOfReadCode(t, x.fields()[1]);
    if (mode < 0) return err::kParameter;
    (write ? trackMode : readMode)[static_cast<size_t>(t - 1)] = mode;
    return 0;
  }
  int EncoderDensity(const Args &x) {
    long a = 0, b = 0;
    if (x.count() != 2 || !Number(x.fields()[0], &a) || !Number(x.fields()[1], &b)) return err::kMalformedCommand;
    if (a < 1 || a > 3 || (b != 75 && b != 210)) return err::kParameter;
    settings["&D " + x.fields()[0]] = static_cast<int>(b);
    return 0;
  }
  // "&C", "&W": coercivity and the write mode.
  int EncoderSetting(const Args &x) {
    long a = 0;
    if (x.count() != 1 || !Number(x.fields()[0], &a)) return err::kMalformedCommand;
    if (a > 1) return err::kParameter;
    settings[x.word()] = static_cast<int>(a);
    return 0;
  }

  int TestCard(int kind, const std::string &command) {
    static const PanelKind order[] = {PanelKind::kResinBlack, PanelKind::kDyeBlack,     PanelKind::kCyan,
                                      PanelKind::kHologram,   PanelKind::kClearVarnish, PanelKind::kScratchOff};
    PanelKind use = PanelKind::kResinBlack;
    for (PanelKind k : order)
      if (RibbonHas(Ribbon(), k)) {
        use = k;
        break;
      }
    // A frame round the card and a grid, so that offsets show.
    auto image = std::make_shared<DotImage>(kCardDots, 0);
    const uint8_t ink = IsDyePanel(use) ? 31 : 1;
    for (int y = 0; y < kCardHeight; ++y)
      for (int x = 0; x < kCardWidth; ++x)
        if (x < 8 || y < 8 || x >= kCardWidth - 8 || y >= kCardHeight - 8 || x % 64 == 0 || y % 64 == 0)
          (*image)[static_cast<size_t>(x + y * kCardWidth)] = ink;
    if (int e = Print(use, image, command)) return e;
    static const char *const names[] = {"standard", "printer parameters", "encoder parameters", "test card 3"};
    card->testCard = names[kind];
    Eject();
    return 0;
  }

  int Firmware(const Command &c) {
    const std::vector<uint8_t> &d = *c.data;
    if (d.size() < 16) return err::kFlash;
    const uint8_t b14 = d[14], b15 = d[15];
    std::string kind;
    if (b14 != 0xFF && b15 == 0xFF)
      kind = "printer";
    else if (b14 == 0xFF && b15 != 0xFF)
      kind = "laminator";
    else if (d.size() >= 281 && std::memcmp(d.data() + 277, "LLX3", 4) == 0)
      kind = "laminator";
    else
      return err::kFlash;
    if (kind == "laminator" && !laminator) return err::kFlash;
    ++firmwareDownloads;
    lastFirmware = kind;
    lastFirmwareSize = static_cast<uint32_t>(d.size());
    if (kind == "printer") ResetPrinter("firmware update");  // the new firmware starts afresh
    return 0;
  }
};

// Command word -> handler.  Words the printer knows only with a magnetic
// encoder fitted are marked.
const std::map<std::string, Printer::Impl::CommandEntry, std::less<>> &Printer::Impl::Commands() {
  using I = Impl;
  static const std::map<std::string, CommandEntry, std::less<>> table = {
      // job and head set-up
      {"MASTER", {&I::Master}},
      {"JOB", {&I::Job}},
      {"SXY", {&I::Switch}},
      {"FS", {&I::Switch}},
      {"+C", {&I::Contrast}},
      {"+CH", {&I::Contrast}},
      {"+CV", {&I::Contrast}},
      {"+$C", {&I::PanelLevel}},
      {"+$L", {&I::PanelLevel}},
      {"+O", {&I::Offset}},
      {"+OY", {&I::Offset}},
      {"+OB", {&I::Offset}},
      {"+OYB", {&I::Offset}},
      {"+DLAMI", {&I::Laminate}},
      {"HTABLE", {&I::HeadTable}},
      {"ATM", {&I::Atm}},
      {"MS", {&I::MoveSpeed}},
      // queries
      {"V", {&I::Version}},
      {"!RIBBON", {&I::RibbonQuery}},
      {"!RIBLEN", {&I::RibbonLength}},
      {"!V", {&I::ValueQuery}},
      {"!NL", {&I::PanelCount}},
      {"%SERIE", {&I::Serial}},
      {"CHECK_STATUS", {&I::NoFields}},
      {"SLAVE", {&I::NoFields}},
      {".", {&I::NoFields}},
      {"DMSG", {&I::PanelMessage}},
      // resets and maintenance
      {"R", {&I::Reset}},
      {"RESET", {&I::Reset}},
      {"SRESET", {&I::Reset}},
      {"HRESET", {&I::Reset}},
      {"CLEAN", {&I::Clean}},
      {"A", {&I::TestCardCommand}},
      // image memory
      {"$F", {&I::ClearPlanes}},
      {"F", {&I::ClearResin}},
      {"vF", {&I::ClearVarnish}},
      {"G", {&I::ImageHeader}},
      {"vG", {&I::ImageHeader}},
      {"L", {&I::AreaCommand}},
      {"vL", {&I::AreaCommand}},
      // printing
      {"IS", {&I::PrintPlane}},
      {"I", {&I::PrintResin}},
      {"IV", {&I::PrintVarnish}},
      {"IH", {&I::PrintHologram}},
      {"!FF", {&I::SkipPanel}},
      // card movement
      {"MI", {&I::FeedCard}},
      {"MF", {&I::FlipCard}},
      {"MO", {&I::EjectCard}},
      // magnetic encoder
      {"&R", {&I::EncoderReset, true}},
      {"&B", {&I::EncoderData, true}},
      {"&E*", {&I::EncoderWrite, true}},
      {"&L1", {&I::EncoderRead, true}},
      {"&L2", {&I::EncoderRead, true}},
      {"&L3", {&I::EncoderRead, true}},
      {"&CDEW", {&I::EncoderFormat, true}},
      {"&CDER", {&I::EncoderFormat, true}},
      {"&D", {&I::EncoderDensity, true}},
      {"&C", {&I::EncoderSetting, true}},
      {"&W", {&I::EncoderSetting, true}},
  };
  return table;
}

Printer::Printer(PrinterConfig config) : config_(std::move(config)), impl_(std::make_unique<Impl>(config_)) {}
Printer::~Printer() = default;

long Printer::Write(const uint8_t *bytes, size_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  Impl &m = *impl_;
  if (!m.connected) return -1;
  if (m.stalled || count == 0) return 0;
  auto sink = [&m](Command &&c) { m.Accept(std::move(c)); };
  auto full = [&m]() { return m.error != 0 && m.heldBytes >= m.cfg.receiveLimit; };
  return static_cast<long>(m.parser.Feed(bytes, count, sink, full));
}

long Printer::Read(uint8_t *out, size_t max) {
  std::lock_guard<std::mutex> lock(mutex_);
  Impl &m = *impl_;
  if (!m.connected) return -1;
  size_t n = 0;
  while (n < max && !m.answers.empty()) {
    out[n++] = m.answers.front();
    m.answers.pop_front();
  }
  return static_cast<long>(n);
}

std::string Printer::ReadAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string s(impl_->answers.begin(), impl_->answers.end());
  impl_->answers.clear();
  return s;
}

size_t Printer::AnswerBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return impl_->answers.size();
}

std::optional<uint8_t> Printer::LineStatus() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!impl_->connected) return std::nullopt;
  return impl_->Line();
}

std::optional<uint8_t> Printer::NetworkStatus() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!impl_->connected) return std::nullopt;
  return static_cast<uint8_t>(impl_->Line() | kNetworkUp);
}

std::vector<uint8_t> Printer::StatusPollReply() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!impl_->connected || impl_->silent) return {};
  std::vector<uint8_t> r(12, '0');
  r[0] = kAck;
  r[10] = static_cast<uint8_t>(impl_->Line() | kNetworkUp);
  r[11] = kEot;
  return r;
}

void Printer::SoftReset() {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->parser.Reset();
  impl_->ResetPrinter("interface reset");
}

void Printer::SetAnswerListener(std::function<void()> listener) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->answerListener = std::move(listener);
}

void Printer::InjectError(int code) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->Latch(code);
}

void Printer::InjectErrorAt(int code, const std::string &commandPrefix, int occurrence) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (commandPrefix.empty()) {  // any command: the occurrence-th from now
    impl_->faults.push_back({code, {}, 0, static_cast<uint64_t>(occurrence < 1 ? 1 : occurrence)});
    return;
  }
  impl_->faults.push_back({code, commandPrefix, occurrence, 0});
}

void Printer::InjectErrorAfter(int code, uint64_t commands) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (commands == 0) {
    impl_->Latch(code);
    return;
  }
  impl_->faults.push_back({code, {}, 0, commands});
}

void Printer::PressButton() {
  std::lock_guard<std::mutex> lock(mutex_);
  Impl &m = *impl_;
  if (m.error == 0) return;
  // A cover or head still open keeps the printer stopped.
  if (m.coverOpen || m.headOpen) return;
  const bool retry = !DiscardsCommand(m.error);
  m.error = 0;
  m.Resume(retry);
}

void Printer::ForceClear() {
  std::lock_guard<std::mutex> lock(mutex_);
  Impl &m = *impl_;
  if (m.error == 0) return;
  m.error = 0;
  m.Resume(false);
}

void Printer::RemoveRibbon() {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->ribbonCode = 0;
  impl_->ribbonRemaining = 0;
}

void Printer::LoadRibbon(int code, int remaining) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->ribbonCode = code;
  impl_->ribbonRemaining = remaining;
}

void Printer::SetFeederCards(int cards) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->feederCards = cards;
}

void Printer::SetFeederTracks(const std::array<std::string, 3> &tracks) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->feederTracks = tracks;
}

void Printer::SetCoverOpen(bool open) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->coverOpen = open;
  if (open) impl_->Latch(err::kCoverOpen);
}

void Printer::SetHeadOpen(bool open) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->headOpen = open;
  if (open) impl_->Latch(err::kHeadOpen);
}

void Printer::SetSilent(bool silent) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->silent = silent;
}

void Printer::SetStalled(bool stalled) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->stalled = stalled;
}

void Printer::SetConnected(bool connected) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->connected = connected;
  if (!connected) impl_->answers.clear();
}

PrinterState Printer::State() const {
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
  for (size_t k = 0; k < 4; ++k) s.planeLoaded[k] = m.planes[k] != nullptr;
  s.resinImage = AnyDot(m.resin);
  s.varnishImage = AnyDot(m.varnish);
  s.ribbonCode = m.ribbonCode;
  s.ribbonRemaining = m.ribbonRemaining;
  s.panelsPrinted = m.panelsPrinted;
  s.feederCards = m.feederCards;
  s.cardsOut = m.cardsOut;
  s.commands = m.commands;
  s.inJob = m.inJob;
  s.settings = m.settings;
  for (int t = 1; t <= 3; ++t) {
    s.writeFormat[static_cast<size_t>(t - 1)] = WriteCodeOf(t, m.trackMode[static_cast<size_t>(t - 1)]);
    s.readFormat[static_cast<size_t>(t - 1)] = ReadCodeOf(t, m.readMode[static_cast<size_t>(t - 1)]);
  }
  s.pendingTracks = m.pendingTracks;
  s.cleanings = m.cleanings;
  s.firmwareDownloads = m.firmwareDownloads;
  s.lastFirmware = m.lastFirmware;
  s.lastFirmwareSize = m.lastFirmwareSize;
  s.coverOpen = m.coverOpen;
  s.headOpen = m.headOpen;
  return s;
}

int Printer::Error() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return impl_->error;
}

std::vector<Card> Printer::TakeCards() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Card> cards(std::make_move_iterator(impl_->out.begin()), std::make_move_iterator(impl_->out.end()));
  impl_->out.clear();
  return cards;
}

void Printer::SetCardListener(std::function<void(const Card &)> listener) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->cardListener = std::move(listener);
}

void Printer::SetCommandListener(std::function<void(const CommandRecord &)> listener) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->commandListener = std::move(listener);
}

void Printer::Finish() {
  std::lock_guard<std::mutex> lock(mutex_);
  Impl &m = *impl_;
  m.parser.Finish([&m](Command &&c) { m.Accept(std::move(c)); });
}

void Printer::EjectRemaining(const std::string &note) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!impl_->card) return;
  impl_->card->notes.push_back(note);
  impl_->Eject();
}

}  // namespace cardemu
