// The printer's command handlers, one per command word, and the table that
// leads each word to its handler.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "emulator/src/magnetic.h"
#include "emulator/src/printer_impl.h"

namespace cardemu {

namespace {

std::shared_ptr<const DotImage> fullMask() {
  static const auto full = std::make_shared<const DotImage>(kCardDots, 1);
  return full;
}

}  // namespace

using detail::number;
using detail::ribbonHas;
using detail::Words;

// ---- job and head set-up ----
int Printer::Impl::master(const Args &x) {
  if (int e = x.none()) return e;
  inJob = true;
  lamination.clear();
  return 0;
}

int Printer::Impl::job(const Args &x) {
  long a = 0;
  if (int e = x.one(0, 2, &a)) return e;
  if (a != 0 && !twoSided) return err::kParameter;
  settings["JOB"] = static_cast<int>(a);
  return 0;
}

// A setting of one number within [lo, hi], kept under the command word.
int Printer::Impl::setting(const Args &x, long lo, long hi) {
  long a = 0;
  if (int e = x.one(lo, hi, &a)) return e;
  settings[x.word()] = static_cast<int>(a);
  return 0;
}

// "+$C n v", "+$L n v": contrast and intensity of panel n.
int Printer::Impl::panelLevel(const Args &x) {
  long a = 0, b = 0;
  if (int e = x.two(0, 3, 0, 255, &a, &b)) return e;
  settings[x.word() + " " + x.fields()[0]] = static_cast<int>(b);
  return 0;
}

int Printer::Impl::laminate(const Args &x) {
  if (!laminator) return err::kUnknownCommand;
  long a = 0, b = 0;
  if (int e = x.two(0, 1, 0, 1, &a, &b)) return e;
  lamination = x.fields()[0] + " " + x.fields()[1];
  return 0;
}

int Printer::Impl::headTable(const Args &x) {
  long a = 0, b = 0;
  if (int e = x.two(1, 4, 0, 1, &a, &b)) return e;
  settings["HTABLE"] = static_cast<int>(a);
  settings["HTABLE permanent"] = static_cast<int>(b);
  return 0;
}

// "ATM 1 1" asks for the setting, "ATM n" sets it.
int Printer::Impl::atm(const Args &x) {
  if (x.command.text == "ATM 1 1") {
    value = settings.count("ATM") && settings["ATM"] ? "1" : "0";
    return 0;
  }
  return setting(x, 0, 1);
}

// ---- queries ----
// A query without fields whose answer is `answer`.
int Printer::Impl::queryAnswer(const Args &x, std::string answer) {
  if (int e = x.none()) return e;
  value = std::move(answer);
  return 0;
}

// "!V n": one of the printer's values.
int Printer::Impl::valueQuery(const Args &x) {
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

// ---- resets and maintenance ----
int Printer::Impl::reset(const Args &x) {
  if (int e = x.none()) return e;
  resetPrinter("reset");
  return 0;
}

int Printer::Impl::clean(const Args &x) {
  if (int e = x.none()) return e;
  if (ribbonCode != 0) return err::kRemoveRibbon;
  if (coverOpen) return err::kCoverOpen;
  if (headOpen) return err::kHeadOpen;
  ++cleanings;
  note = "cleaning " + std::to_string(cleanings);
  return 0;
}

int Printer::Impl::testCardCommand(const Args &x) {
  long a = 0;
  if (x.count() != 0) {
    if (int e = x.one(1, 3, &a)) return e;
  }
  if (a == 2 && !cfg.encoder) return err::kParameter;
  return testCard(static_cast<int>(a), x.command.text);
}

// ---- image memory ----
int Printer::Impl::clearPlanes(const Args &x) {
  if (int e = x.none()) return e;
  bank().planes = {};
  return 0;
}

int Printer::Impl::clearResin(const Args &x) {
  if (int e = x.none()) return e;
  bank().resin.reset();
  return 0;
}

int Printer::Impl::clearVarnish(const Args &x) {
  if (int e = x.none()) return e;
  bank().varnish.reset();
  return 0;
}

// ---- printing ----
int Printer::Impl::printPlane(const Args &x) {
  long a = 0;
  if (int e = x.one(0, 3, &a)) return e;
  const std::shared_ptr<const DotImage> plane = bank().planes[static_cast<size_t>(a)];
  if (!plane) return err::kSequence;
  static const PanelKind kinds[4] = {PanelKind::kYellow, PanelKind::kMagenta, PanelKind::kCyan, PanelKind::kDyeBlack};
  return print(kinds[a], plane, x.command.text);
}

int Printer::Impl::printResin(const Args &x) {
  long a = 0;
  if (x.count() != 0) {
    if (int e = x.one(10, 30, &a)) return e;
    if (a != 10 && a != 20 && a != 30) return err::kParameter;
  }
  const PanelKind kind = ribbon() == RibbonKind::kScratchOff ? PanelKind::kScratchOff : PanelKind::kResinBlack;
  return print(kind, bank().resin, x.command.text);
}

int Printer::Impl::printVarnish(const Args &x) {
  if (x.count() == 0) return print(PanelKind::kClearVarnish, bank().resin, x.command.text);
  long a = 0;
  if (int e = x.one(30, 31, &a)) return e;
  const PanelKind kind = (ribbon() == RibbonKind::kYMCKUv || ribbon() == RibbonKind::kYMCUvK) ? PanelKind::kUltraviolet
                                                                                              : PanelKind::kVarnish;
  return print(kind, a == 30 ? fullMask() : bank().varnish, x.command.text);
}

int Printer::Impl::printHologram(const Args &x) {
  long a = 0;
  if (int e = x.one(30, 31, &a)) return e;
  return print(PanelKind::kHologram, a == 30 ? fullMask() : bank().resin, x.command.text);
}

int Printer::Impl::skipPanel(const Args &x) {
  long a = 0;
  if (int e = x.one(0, 1, &a)) return e;
  if (a == 1 && card) ++card->sides[static_cast<size_t>(sideUp)].skipped;
  return 0;
}

// ---- card movement ----
int Printer::Impl::feedCard(const Args &x) {
  if (int e = x.none()) return e;
  return ensureCard();
}

int Printer::Impl::flipCard(const Args &x) {
  if (int e = x.none()) return e;
  if (!twoSided) return err::kUnknownCommand;
  if (int e = ensureCard()) return e;
  sideUp ^= 1;
  ++card->flips;
  return 0;
}

int Printer::Impl::ejectCard(const Args &x) {
  if (int e = x.none()) return e;
  if (!card) {
    note = "no card in the printer, nothing to eject";
    return 0;
  }
  note = "card " + std::to_string(card->number) + " out";
  eject();
  return 0;
}

int Printer::Impl::area(std::shared_ptr<const DotImage> &image, const Words &w) {
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
int Printer::Impl::encoderReset(const Args &x) {
  if (x.count() != 0) return err::kMalformedCommand;
  pendingTracks = {};
  pendingSet = {};
  return 0;
}

// "&B t data": the data runs to the CR and may hold blanks; tracks 11 to 13
// take raw data for tracks 1 to 3.
int Printer::Impl::encoderData(const Args &x) {
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

int Printer::Impl::encoderWrite(const Args &x) {
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
int Printer::Impl::encoderRead(const Args &x) {
  if (x.count() != 0) return err::kMalformedCommand;
  if (int e = ensureCard()) return e;
  const std::string &data = card->tracks[static_cast<size_t>(x.word()[2] - '1')];
  if (data.empty()) return err::kBlankTrack;
  value = data;
  return 0;
}

// "&CDEW t code", "&CDER t code": the write or read format of track t.
int Printer::Impl::encoderFormat(const Args &x) {
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

int Printer::Impl::encoderDensity(const Args &x) {
  long a = 0, b = 0;
  if (x.count() != 2 || !number(x.fields()[0], &a) || !number(x.fields()[1], &b)) return err::kMalformedCommand;
  if (a < 1 || a > 3 || (b != 75 && b != 210)) return err::kParameter;
  settings["&D " + x.fields()[0]] = static_cast<int>(b);
  return 0;
}

// "&C", "&W": coercivity and the write mode.
int Printer::Impl::encoderSetting(const Args &x) {
  long a = 0;
  if (x.count() != 1 || !number(x.fields()[0], &a)) return err::kMalformedCommand;
  if (a > 1) return err::kParameter;
  settings[x.word()] = static_cast<int>(a);
  return 0;
}

// ---- test card ----
int Printer::Impl::testCard(int kind, const std::string &command) {
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

// ---- firmware ----
int Printer::Impl::firmware(const Command &c) {
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

}  // namespace cardemu
