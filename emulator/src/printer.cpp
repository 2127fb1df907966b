// The emulated card printer: its answers and errors, the commands it holds
// while in error, card movement and the dispatch of each command, and the
// public methods a port or a test reads it through.
#include "emulator/include/cardemu/printer.h"

#include <algorithm>

#include "emulator/src/magnetic.h"
#include "emulator/src/printer_impl.h"

namespace cardemu {

namespace {

bool contains(const std::string &s, const char *what) { return s.find(what) != std::string::npos; }

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

using detail::ribbonHas;
using detail::splitCommand;
using detail::Words;

Printer::Impl::Impl(const PrinterConfig &c) : cfg(c) {
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
size_t Printer::Impl::feedTowardsHang(const uint8_t *bytes, size_t count, const StreamParser::Sink &sink,
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
void Printer::Impl::answer(const std::string &bytes) {
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
uint8_t Printer::Impl::line() const {
  uint8_t b = kLineSelected;
  if (error == 0) return b | kLineNoError;
  switch (classOf(error)) {
    case ErrorClass::kMedia: return b | kLineMediaOut | kLineNoError;
    case ErrorClass::kMechanical: return b | kLineMediaOut;
    case ErrorClass::kOther: return b;
  }
  return b;
}

void Printer::Impl::record(const Command &c, int e, bool isHeld, bool replay, const std::string &answer) {
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

bool Printer::Impl::isImmediate(const Command &c) {
  if (c.stray || c.block != BlockKind::kNone) return false;
  const std::string w = c.text.substr(0, c.text.find(' '));
  return w == "V" || w == "!RIBBON" || w == "!RIBLEN" || w == "!V" || w == "!NL" || w == "%SERIE" ||
         c.text == "ATM 1 1" || w == "CHECK_STATUS" || w == "R" || w == "RESET" || w == "SRESET" || w == "HRESET";
}

void Printer::Impl::accept(Command &&c) {
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

void Printer::Impl::recordFrame(const Command &c) {
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

void Printer::Impl::applyCause(const std::string &cause) {
  if (cause == "cover-open") {
    coverOpen = true;
  } else if (cause == "out-of-cards") {
    feederCards = 0;
  } else if (cause == "out-of-ribbon") {
    ribbonCode = 0;
    ribbonRemaining = 0;
  }
}

void Printer::Impl::statusRequest(const Command &c) {
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

bool Printer::Impl::faultFires(const Command &c) {
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

void Printer::Impl::execute(Command &&c, bool replay) {
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

void Printer::Impl::resume(bool retry) {
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

void Printer::Impl::resetPrinter(const std::string &why) {
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
int Printer::Impl::ensureCard() {
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

void Printer::Impl::eject() {
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

int Printer::Impl::print(PanelKind kind, std::shared_ptr<const DotImage> image, const std::string &command) {
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
int Printer::Impl::dispatch(Command &c) {
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
