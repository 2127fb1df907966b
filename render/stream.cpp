#include "render/stream.h"

#include <cstdio>
#include <cstring>

#include "shared/job_corrections.h"
#include "shared/ribbons.h"

namespace card {

namespace {

const char kEject[] = "\x1bMO\r";
const char kFlip[] = "\x1bMF\r";
const char kNoPanel[] = "\x1b" "F\r\x1b!FF 1\r";
const char kIS012[] = "\x1bIS 0\r\x1bIS 1\r\x1bIS 2\r";

std::string fmt(const char *f, long v) {
  char b[64];
  std::snprintf(b, sizeof b, f, v);
  return b;
}

// A captured command slot may hold anything the page drew; it is read up to
// its terminator or its bound, whichever comes first.
template <size_t N>
std::string slot(const char (&s)[N]) {
  return std::string(s, strnlen(s, N));
}

template <size_t N>
void clearSlot(char (&s)[N]) {
  std::memset(s, 0, N);
}

}  // namespace

void CardJob::put(const char *s) { sink_.write(s, std::strlen(s)); }

int16_t CardJob::dmCopies() const {
  int16_t c;
  std::memcpy(&c, dm_.standard + offsetof(DEVMODEW, dmCopies), 2);
  return c;
}

int CardJob::copies() const { return effectiveCopies(dmCopies()); }

bool CardJob::rotatedSide() const {
  if (!twoSided()) return r_.rotate180 == 1;
  return frontPage() ? (r_.rotate180 == 1 || r_.rotate180 == 3) : (r_.rotate180 == 2 || r_.rotate180 == 3);
}

bool kDrawingApplies(const JobSettingsRecord &r, const JobState &job) {
  const bool one = r.duplex != 1;
  const bool front = one || (job.pageCounter & 1) != 0;
  const unsigned layout = r.dualSideLayout;
  switch (r.ribbonType) {
    case kRibbonYMCKO: case kRibbonYMCK: case kRibbonYMCKUv: return one || layout == 1;
    case kRibbonYMCKK: case kRibbonYMCUvK: return one || layout == 1 || (layout == 0 && front);
    case kRibbonYMCKOK:
      if (one) return true;
      return front ? layout != 1 : layout == 2;
    default: return false;
  }
}

bool CardJob::kConversionApplies() const {
  const bool back = twoSided() && !frontPage();
  const unsigned layout = r_.dualSideLayout;
  switch (r_.ribbonType) {
    case kRibbonYMCKO: case kRibbonYMCKUv: return back && (layout == 0 || layout == 2);
    case kRibbonYMCK: case kRibbonYMCKK: case kRibbonYMCUvK: return back && layout == 0;
    case kRibbonYMCKOK: return back && (layout == 0 || layout == 1 || layout == 3);
    case kRibbonKResin: case kRibbonKrO: case kRibbonHologram: case kRibbonClearVarnish: case kRibbonScratchOff:
    case kRibbonMonochrome:
      return true;
    default: return false;
  }
}

bool CardJob::frontOverlayApplies() const {
  if (r_.frontOverlay.type == kOverlayNone) return false;
  const bool one = !twoSided();
  const unsigned layout = r_.dualSideLayout;
  switch (r_.ribbonType) {
    case kRibbonKdO: case kRibbonKrO: return true;
    case kRibbonYMCKO: return one || layout != 2;
    case kRibbonYMCKOK: return one || layout == 0 || layout == 2;
    default: return false;
  }
}

bool CardJob::backOverlayApplies() const {
  if (r_.backOverlay.type == kOverlayNone) return false;
  const bool one = !twoSided();
  const unsigned layout = r_.dualSideLayout;
  switch (r_.ribbonType) {
    case kRibbonKdO: case kRibbonKrO: return true;
    case kRibbonYMCKO: return one || layout != 0;
    case kRibbonYMCKOK: return one || layout == 1 || layout == 2;
    default: return false;
  }
}

void CardJob::clearCapture() {
  for (auto &p : r_.trackPresent) p = 0;
  clearSlot(cap_.preJobCommand);
  clearSlot(cap_.afterBlackCommand);
  clearSlot(cap_.afterVarnishCommand);
  clearSlot(cap_.encoderCommandR);
  clearSlot(cap_.encoderCommandD);
  clearSlot(cap_.encoderCommandCDER);
  clearSlot(cap_.encoderCommandCDEW);
  clearSlot(cap_.encoderCommand11);
  clearSlot(cap_.encoderCommand12);
  clearSlot(cap_.encoderCommand13);
}

// ------------------------------------------------------------ page hooks

bool CardJob::startPageClear() {
  if (dmCopies() < 2 || !twoSided() || (job_.pageCounter & 1) == 0) clearCapture();
  if (job_.pageCounter != 0) return true;
  applyEncodeOnlySingleSided(r_);
  return r_.ribbonId != 0;
}

bool CardJob::applyAnswer(const PrinterAnswer &a) {
  char model[sizeof a.model + 1] = {};
  std::memcpy(model, a.model, sizeof a.model);
  return applyPrinterAnswer(r_, a.ribbonCode, model);
}

bool CardJob::startPageOpen() {
  if (!job_.jobStarted) return false;
  job_.pageOpen = 1;
  if (twoSided() && (job_.pageCounter & 1)) put(kFlip);
  ++job_.pageCounter;
  r_.pageFlag = 1;
  panels_.whiteSurfaces();
  return true;
}

bool CardJob::sendPage() {
  if (!job_.jobStarted || !job_.pageOpen) {
    panels_.clearTextFragments();
    return false;
  }
  if (job_.pageCounter <= 1) writeJobHeader();
  writeSide();
  if (dmCopies() > 1 && (!twoSided() || !frontPage())) writeFurtherCopies(!twoSided());
  job_.pageOpen = 0;
  panels_.clearTextFragments();
  return true;
}

bool CardJob::endDoc() {
  panels_.clearTextFragments();
  if (!job_.jobStarted) return false;
  if (twoSided() && (job_.pageCounter & 1)) finishUnpairedFront();
  job_.jobStarted = 0;
  return true;
}

void CardJob::finishUnpairedFront() {
  // The card's back page never came: finish the card from what the front left.
  const bool ymcoBackK = (r_.ribbonType == kRibbonYMCKO || r_.ribbonType == kRibbonYMCKUv) && r_.dualSideLayout == 0;
  if (!ymcoBackK) {
    if (r_.jobMode == 2) put(kFlip);
  } else {
    put("\x1b" "F\r");
    if (r_.jobMode == 2) {
      if (r_.laminateSideLX3 == 2) writeVarnish(true);
      else writeVarnishQuick(true);
      put(kFlip);
    } else {
      writeVarnish(true);
    }
  }
  put(kEject);
  if (dmCopies() > 1) writeFurtherCopies(true);
}

// ------------------------------------------------------------ job header

void CardJob::writeJobHeader() {
  put("\x1bMASTER\r");
  if (!twoSided()) put("\x1bJOB 0\r");
  else if (r_.ribbonType == kRibbonYMCKO && r_.dualSideLayout == 0) put("\x1bJOB 2\r");
  else put("\x1bJOB 1\r");
  put("\x1bSXY 1\r");
  applyManualRibbon(r_);
  auto colour = [&](bool withResin) {
    for (int i = 0; i < 3; ++i) put(fmt(("\x1b+$C " + std::to_string(i) + " %ld\r").c_str(), r_.colourContrast[i]));
    for (int i = 0; i < 3; ++i) put(fmt(("\x1b+$L " + std::to_string(i) + " %ld\r").c_str(), r_.colourIntensity[i]));
    if (withResin) put(fmt("\x1b+C %ld\r", r_.blackContrast));
  };
  switch (r_.ribbonType) {
    case kRibbonYMCKO: case kRibbonYMCK: case kRibbonYMCKK: case kRibbonYMCKOK: case kRibbonYMCKUv: case kRibbonYMCUvK:
      colour(true);
      break;
    case kRibbonYMC: colour(false); break;
    case kRibbonKResin: case kRibbonKrO: put(fmt("\x1b+C %ld\r", r_.blackContrast)); break;
    case kRibbonKdO: case kRibbonKd:
      put(fmt("\x1b+$C 3 %ld\r", r_.blackDyeContrast));
      put(fmt("\x1b+$L 3 %ld\r", r_.blackDyeIntensity));
      break;
    case kRibbonHologram: case kRibbonClearVarnish: put(fmt("\x1b+CH %ld\r", r_.hologramContrast)); break;
    case kRibbonMonochrome:
      if (r_.monoRibbonKind == kMonoClearVarnish || r_.monoRibbonKind == kMonoHologram)
        put(fmt("\x1b+CH %ld\r", r_.hologramContrast));
      else if (r_.monoRibbonKind <= kMonoScratchOff)
        put(fmt("\x1b+C %ld\r", r_.blackContrast));
      break;
    default: break;
  }
  switch (r_.ribbonType) {
    case kRibbonYMCKO: case kRibbonKdO: case kRibbonKrO: case kRibbonYMCKOK: case kRibbonYMCKUv: case kRibbonYMCUvK:
      put(fmt("\x1b+CV %ld\r", r_.varnishContrast));
      break;
    default: break;
  }
}

// ------------------------------------------------------------ encoder part

void CardJob::writeEncoderPart() {
  std::string text;
  for (const std::string &c : {slot(cap_.encoderCommandR), slot(cap_.encoderCommandCDER), slot(cap_.encoderCommandCDEW),
                               slot(cap_.encoderCommandD), slot(cap_.encoderCommand11), slot(cap_.encoderCommand12),
                               slot(cap_.encoderCommand13)})
    text += c;
  const bool anyTrack = r_.trackPresent[0] || r_.trackPresent[1] || r_.trackPresent[2];
  if (anyTrack) {
    text += "\x1b&R\r";
    // The first copy sends each track cut to what the stripe holds.
    if (r_.trackPresent[0]) text += "\x1b&B 1 " + std::string(r_.track1Text, strnlen(r_.track1Text, 76)) + "\r";
    if (r_.trackPresent[1]) text += "\x1b&B 2 " + std::string(r_.track2Text, strnlen(r_.track2Text, 37)) + "\r";
    if (r_.trackPresent[2]) text += "\x1b&B 3 " + std::string(r_.track3Text, strnlen(r_.track3Text, 104)) + "\r";
    text += "\x1b&E*\r";
  } else if (!text.empty()) {
    text += "\x1b&E*\r";
  }
  if (r_.jobMode == 1) text += kEject;
  else if (r_.jobMode == 2) text += kFlip;
  std::string pre = slot(cap_.preJobCommand);
  if (!pre.empty()) {
    if (text.empty()) pre += "\x1b&E*\r";
    put(pre);
  }
  if (!text.empty()) put(text);
}

// ------------------------------------------------------------ sides

std::string CardJob::lamination(int x) const {
  if (r_.modelClass != 6) return {};
  const char *on = "\x1b+DLAMI 1 0\r", *off = "\x1b+DLAMI 0 1\r";
  switch (r_.jobMode) {
    case 0: return on;
    case 2:
      switch (r_.laminateSideLX2) {
        case 0: return x == 1 ? on : off;
        case 1: return x == 1 ? off : on;
        case 2: return off;
        default: return {};
      }
    default: return {};
  }
}

void CardJob::writeLamination(int x) {
  std::string l = lamination(x);
  if (!l.empty()) put(l);
}

void CardJob::writeYMC() {
  panels_.prepareColour();
  const char *headers[3] = {"\x1b$F\r\x1bGS 0 32 0 0 1024 640 ", "\x1bGS 1 32 0 0 1024 640 ",
                            "\x1bGS 2 32 0 0 1024 640 "};
  const char *prints[3] = {"\x1bIS 0\r", "\x1bIS 1\r", "\x1bIS 2\r"};
  for (int n = 0; n < 3; ++n) {
    put(headers[n]);
    size_t len = panels_.fillPlane(PlaneChannel(n), rotatedSide(), buf_, capacity_ - 1);
    buf_[len++] = '\r';
    sink_.write(buf_, len);
    put(prints[n]);
  }
}

void CardJob::writeKd() {
  panels_.prepareColour();
  put("\x1b$F\r\x1bGS 3 32 0 0 1024 640 ");
  size_t len = panels_.fillPlane(PlaneChannel::DyeBlack, rotatedSide(), buf_, capacity_);
  sink_.write(buf_, len);
  put("\r\x1bIS 3\r");
}

bool CardJob::writeKr() {
  panels_.prepareBlack(kConversionApplies());
  if (!panels_.blackPresent()) {
    blackEmptyFlag() = 1;
    return false;
  }
  blackEmptyFlag() = 0;
  put("\x1b" "F\r\x1bG 0 0 10 640 1024 1\r\x1bZ");
  size_t len = panels_.fillBlack(rotatedSide(), buf_, capacity_);
  sink_.write(buf_, len);
  std::string after = slot(cap_.afterBlackCommand);
  if (!after.empty()) {
    put(after);
    clearSlot(cap_.afterBlackCommand);
  }
  return true;
}

void CardJob::writeVarnish(bool front) {
  const OverlayRecord &o = front ? r_.frontOverlay : r_.backOverlay;
  if (o.type < kOverlayFull || o.type > kOverlayMagStripe) return;  // not a type this driver knows
  const bool rot = o.rotated == 1;
  if (o.type != kOverlayNone) put("\x1bvF\r");
  auto area = [&](int last) {
    long x = o.left, y = o.top, w = long(o.right) - o.left, h = long(o.bottom) - o.top;
    if (rot) {
      x = 1023L - o.right;
      y = 639L - o.bottom;
    }
    char b[96];
    std::snprintf(b, sizeof b, "\x1bvL %ld %ld %ld %ld %d\r", x, y, w, h, last);
    put(b);
  };
  const char *whole = "\x1bvL 0 0 1023 639 1\r";
  switch (o.type) {
    case kOverlaySelectedVarnished: area(1); break;
    case kOverlaySelectedBlank: put(whole); area(0); break;
    case kOverlayBitmap: {
      size_t len = panels_.fillVarnishBitmap(o, buf_, capacity_);
      if (len) {
        put("\x1bvG 0 0 10 640 1024 1\r\x1bZ");
        sink_.write(buf_, len);
      }
      break;
    }
    case kOverlaySmartCardIso: put(whole); put(rot ? "\x1bvL 743 289 194 159 0\r" : "\x1bvL 85 197 194 159 0\r"); break;
    case kOverlaySmartCardAfnor: put(whole); put(rot ? "\x1bvL 768 388 158 160 0\r" : "\x1bvL 85 97 158 160 0\r"); break;
    case kOverlayMagStripe: put(whole); put(rot ? "\x1bvL 0 415 1023 230 0\r" : "\x1bvL 0 0 1023 230 0\r"); break;
    default: break;
  }
  std::string after = slot(cap_.afterVarnishCommand);
  if (!after.empty()) put(after);
  if (o.type == kOverlayFull) put("\x1bIV 30\r");
  else if (o.type != kOverlayNone) put("\x1bIV 31\r");
}

void CardJob::writeVarnishQuick(bool front) {
  if (front ? frontOverlayApplies() : backOverlayApplies()) put("\x1bvF\r\x1bIV 31\r");
}

void CardJob::writeK10() {
  if (r_.blackPanelMode != 0 && writeKr()) put("\x1bI 10\r");
  else put(kNoPanel);
}

void CardJob::writeK2() {
  if (r_.blackPanelMode == 0) put("\x1b" "F\r\x1bI 30\r");
  else if (writeKr()) put("\x1bI 10\r");
  else put(kNoPanel);
}

void CardJob::writeSide() {
  if (dmCopies() < 2 || !twoSided() || frontPage()) {
    panels_.assembleSplitMacros();
    writeEncoderPart();
  }
  if (r_.jobMode == 1) {
    put(kEject);
    return;
  }
  // Every panel is built in the job's output buffer; without one (an instance
  // that handed its job on) nothing of the side can go out.
  if (!buf_ || capacity_ < kPlaneBytes + 1) return;
  if (!panels_.beginSide()) return;  // the work area could not be had: nothing of the side goes out
  if (kDrawingApplies() && r_.blackPanelMode == 1) panels_.extractBlack();
  switch (r_.ribbonType) {
    case kRibbonYMCKO: case kRibbonYMCKUv: case kRibbonKdO: case kRibbonKrO: case kRibbonYMC: case kRibbonYMCK:
    case kRibbonYMCKK: case kRibbonYMCUvK: case kRibbonYMCKOK: case kRibbonKd:
      sideRowsColour(frontPage());
      break;
    default:
      sideRowsMono(frontPage());
      break;
  }
  panels_.endSide();
}

// Ribbons with colour or dye panels, and the overlay ribbons.
void CardJob::sideRowsColour(bool front) {
  const bool one = !twoSided();
  const unsigned layout = r_.dualSideLayout;
  const uint8_t t = r_.ribbonType;
  bool ejected = false;
  auto v = [&](int step, bool frontSide) {
    if (!class7Step(step)) writeVarnish(frontSide);
    else writeVarnishQuick(frontSide);
  };
  if (t == kRibbonYMCKO || t == kRibbonYMCKUv) {
    if (one) {
      writeLamination(0); writeYMC(); writeK10(); v(2, true); put(kEject); ejected = true;
    } else if (layout == 0) {
      if (front) {
        writeYMC();
      } else {
        writeLamination(1);
        if (writeKr()) put("\x1bI 30\r"); else put(kNoPanel);
        if (!lx3Mode()) { put(kFlip); writeLamination(0); writeVarnish(true); }
        else if (r_.laminateSideLX3 == 2) { put(kFlip); writeVarnish(true); put(kFlip); }
        else writeVarnishQuick(true);
      }
    } else if (layout == 1) {
      if (front) { writeLamination(0); writeYMC(); writeK10(); v(1, true); }
      else { writeLamination(1); writeYMC(); writeK10(); v(2, false); }
    } else if (layout == 2) {
      if (front) { writeLamination(0); writeYMC(); }
      else {
        writeLamination(1);
        if (writeKr()) put("\x1bI 10\r"); else put(kNoPanel);
        v(2, false);
      }
    }
  } else if (t == kRibbonKdO || t == kRibbonKrO) {
    auto panel = [&] {
      if (t == kRibbonKdO) writeKd();
      else { writeKr(); put("\x1bI 20\r"); }
    };
    if (one) { writeLamination(0); panel(); v(2, true); put(kEject); ejected = true; }
    else if (front) { panel(); writeLamination(0); v(1, true); }
    else { panel(); writeLamination(1); v(2, false); }
  } else if (t == kRibbonYMC) {
    writeLamination(front ? 0 : 1); writeYMC();
  } else if (t == kRibbonKd) {
    writeLamination(front ? 0 : 1); writeKd();
  } else if (t == kRibbonYMCK) {
    if (one || layout == 1) {
      writeLamination(front ? 0 : 1); writeYMC();
      if (r_.blackPanelMode != 0 && writeKr()) put("\x1bI 30\r"); else put(kNoPanel);
    } else if (layout == 0) {
      if (front) { writeLamination(0); writeYMC(); }
      else { writeLamination(1); if (writeKr()) put("\x1bI 30\r"); else put(kNoPanel); }
    }
  } else if (t == kRibbonYMCKK || t == kRibbonYMCUvK) {
    auto colourAndK = [&] {
      writeYMC();
      if (r_.blackPanelMode == 0) put("\x1b" "F\r\x1bI 30\r");
      else if (writeKr()) put("\x1bI 30\r");
    };
    if (one || layout == 1) {
      writeLamination(front ? 0 : 1); colourAndK(); put("\x1b!FF 1\r");
    } else if (layout == 0) {
      if (front) { writeLamination(0); colourAndK(); }
      else { writeLamination(1); if (writeKr()) put("\x1bI 30\r"); }
    }
  } else if (t == kRibbonYMCKOK) {
    if (one) {
      writeLamination(0); writeYMC(); writeK10(); v(2, true); put("\x1b!FF 1\r"); put(kEject); ejected = true;
    } else if (layout == 0) {
      if (front) { writeLamination(0); writeYMC(); writeK10(); v(1, true); }
      else { writeLamination(1); if (writeKr()) put("\x1bI 30\r"); else put("\x1b!FF 1\r"); }
    } else if (layout == 1) {
      if (front) { writeLamination(0); writeYMC(); }
      else {
        writeLamination(1);
        if (writeKr()) put("\x1bI 10\r"); else put(kNoPanel);
        v(2, false);
      }
    } else if (layout == 2) {
      if (front) { writeYMC(); writeK2(); writeLamination(0); v(1, true); }
      else { writeLamination(1); writeYMC(); writeK2(); v(2, false); }
    } else if (layout == 3) {
      if (front) {
        writeLamination(0); writeYMC(); writeK2();
        if (frontOverlayApplies()) put("\x1bvF\r\x1bIV 31\r");
      } else {
        writeLamination(1); writeKr(); put("\x1bI 30\r");
      }
    }
  }
  if (!ejected && (one || !front)) put(kEject);
}

// Single-panel ribbons: resin black, hologram, varnish, scratch-off and the
// monochrome ribbon of a chosen kind.
void CardJob::sideRowsMono(bool front) {
  const uint8_t t = r_.ribbonType;
  const bool known = t == kRibbonKResin || t == kRibbonScratchOff || t == kRibbonHologram ||
                     t == kRibbonClearVarnish || (t == kRibbonMonochrome && r_.monoRibbonKind <= kMonoHologram);
  if (known) {
    writeLamination(twoSided() && !front ? 1 : 0);
    if (writeKr()) {
      if (t == kRibbonClearVarnish) put("\x1bMI\r\x1bIV\r");
      else if (t == kRibbonHologram) put("\x1bIH 31\r");
      else if (t == kRibbonMonochrome) {
        if (r_.monoRibbonKind == kMonoHologram) put("\x1bIH 31\r");
        else if (r_.monoRibbonKind == kMonoClearVarnish) put("\x1bMI\r\x1bIV\r");
        else put("\x1bI 30\r");
      } else {
        put("\x1bI 30\r");
      }
    }
    if (r_.monoRibbonKind == kMonoClearVarnish &&
        (t == kRibbonKResin || t == kRibbonHologram || t == kRibbonScratchOff))
      put("\x1bMI\r\x1bIV\r");
  }
  if (!twoSided() || !front) put(kEject);
}

// ------------------------------------------------------------ further copies

void CardJob::writeFurtherCopies(bool oneSidedRows) {
  const int further = copies() - 1;
  if (further <= 0) return;
  if (r_.jobMode == 1) {
    for (int i = 0; i < further; ++i) writeEncoderPart();
    return;
  }
  if (r_.jobMode == 3) {
    for (int i = 0; i < further; ++i) put("\x1bMI\r\x1bMF\r\x1bMO\r");
    return;
  }
  if (r_.jobMode != 0 && r_.jobMode != 2) return;
  // Further copies send the tracks uncut.
  std::string tracks;
  if (r_.trackPresent[0]) tracks += "\x1b&B 1 " + slot(r_.track1Text) + "\r";
  if (r_.trackPresent[1]) tracks += "\x1b&B 2 " + slot(r_.track2Text) + "\r";
  if (r_.trackPresent[2]) tracks += "\x1b&B 3 " + slot(r_.track3Text) + "\r";
  std::string seq;
  bool eject = reprintSequence(oneSidedRows, seq);
  if (seq.empty() && !eject) return;
  for (int i = 0; i < further; ++i) {
    std::string card;
    if (!tracks.empty()) {
      put(tracks);
      card = "\x1b&E*\r";
    }
    card += seq;
    if (eject) card += kEject;
    put(card);
  }
}

// Builds the sequence that prints a further copy from the panels the printer
// still holds.  Returns whether the card is ejected after it.
bool CardJob::reprintSequence(bool one, std::string &s) const {
  const uint8_t t = r_.ribbonType;
  const unsigned layout = r_.dualSideLayout;
  const bool lx3 = lx3Mode();
  const int lam3 = r_.laminateSideLX3;
  const std::string L0 = lamination(0), L1 = lamination(1);
  auto overlay = [&](bool applies, const OverlayRecord &o) -> std::string {
    if (!applies) return {};
    return o.type == kOverlayFull ? "\x1bIV 30\r" : "\x1bIV 31\r";
  };
  const std::string FV = overlay(frontOverlayApplies(), r_.frontOverlay);
  const std::string BV = overlay(backOverlayApplies(), r_.backOverlay);
  const bool bpm = r_.blackPanelMode != 0;
  const std::string K10c = bpm ? "\x1bI 10\r" : "\x1b" "F\r\x1bI 30\r";
  const std::string K30c = bpm ? "\x1bI 30\r" : "\x1b" "F\r\x1bI 30\r";
  const std::string S = (!bpm || cap_.frontBlackEmpty == 1) ? "\x1b!FF 1\r"
                        : (t == kRibbonYMCK ? "\x1bI 30\r" : "\x1bI 10\r");
  const std::string IS = kIS012, MF = kFlip;
  const std::string F1 = (lx3 && lam3 != 2) ? "\x1bIV 31\r" : FV;
  const std::string B1 = (lx3 && lam3 != 1) ? "\x1bIV 31\r" : BV;
  auto laminatedFront = [&] {  // the one-sided tail shared by several ribbons
    if (!lx3) s += FV;
    else if (lam3 == 2) s += FV + MF;
    else s += "\x1bIV 31\r" + MF;
  };
  const bool monoVarnishOrHolo = t == kRibbonHologram || t == kRibbonClearVarnish ||
                                 (t == kRibbonMonochrome && (r_.monoRibbonKind == 2 || r_.monoRibbonKind == 3));
  const bool monoResin = t == kRibbonKResin || t == kRibbonScratchOff ||
                         (t == kRibbonMonochrome && r_.monoRibbonKind <= 1);
  switch (t) {
    case kRibbonYMCKO: case kRibbonYMCKUv: case kRibbonYMCKOK:
      if (t == kRibbonYMCKOK && !one && layout != 2) {
        if (layout == 0) {
          s += L0 + IS + K10c;
          if (!lx3) s += FV + MF + L1 + "\x1bI 30\r";
          else if (lam3 == 2) s += FV + MF + "\x1bI 30\r";
          else s += "\x1bIV 31\r" + MF + "\x1bI 30\r";
        } else if (layout == 1) {
          s += L0 + IS + MF + L1 + "\x1bI 10\r" + B1;
        } else if (layout == 3) {
          s += L0 + IS + K10c + (frontOverlayApplies() ? "\x1bvF\r\x1bIV 31\r" + MF : MF) + L1 + "\x1bI 30\r";
        }
        break;
      }
      if (one) {
        s += L0 + IS + S;
        laminatedFront();
        if (t == kRibbonYMCKOK) s += "\x1b!FF 1\r";
      } else if (layout == 0 && t != kRibbonYMCKOK) {
        s += IS + MF + L1 + "\x1bI 30\r";
        if (!lx3) s += MF + L0 + FV;
        else if (lam3 == 2) s += MF + FV + MF;
        else s += "\x1bIV 31\r";
      } else if ((layout == 1 && t != kRibbonYMCKOK) || (layout == 2 && t == kRibbonYMCKOK)) {
        s += L0 + IS + K10c + F1 + MF + L1 + IS + K10c + B1;
      } else if (layout == 2) {
        s += L0 + IS + MF + L1 + "\x1bI 10\r" + B1;
      }
      break;
    case kRibbonKdO: case kRibbonKrO: {
      const std::string P = t == kRibbonKdO ? "\x1bIS 3\r" : "\x1bI 20\r";
      s += L0 + P;
      if (one) laminatedFront();
      else if (!lx3) s += FV + MF + L1 + P + BV;
      else if (lam3 == 1) s += "\x1bIV 31\r" + MF + P + BV;
      else if (lam3 == 2) s += FV + MF + P + "\x1bIV 31\r";
      else s += "\x1bIV 31\r" + MF + P + "\x1bIV 31\r";
      break;
    }
    case kRibbonYMC:
      s += L0 + IS;
      if (one) { if (lx3) s += MF; }
      else s += MF + L1 + IS;
      break;
    case kRibbonYMCK:
      if (one) { s += L0 + IS + S; if (lx3) s += MF; }
      else if (layout == 0) s += L0 + IS + MF + L1 + "\x1bI 30\r";
      else if (layout == 1) s += L0 + IS + K30c + MF + L1 + IS + K30c;
      break;
    case kRibbonYMCKK: case kRibbonYMCUvK:
      if (one) { s += L0 + IS + K30c + "\x1b!FF 1\r"; if (lx3) s += MF; }
      else if (layout == 0) s += L0 + IS + K30c + MF + L1 + "\x1bI 30\r";
      else if (layout == 1) s += L0 + IS + K30c + "\x1b!FF 1\r" + MF + L1 + IS + K30c + "\x1b!FF 1\r";
      break;
    case kRibbonKd:
      if (one) { s += L0 + "\x1bIS 3\r"; if (lx3) s += MF; }
      else s += L0 + "\x1bIS 3\r" + MF + L1 + "\x1bIS 3\r";
      break;
    default:
      if (monoVarnishOrHolo) {
        if (one) {
          s += L0;
          if (t == kRibbonClearVarnish || (t == kRibbonMonochrome && r_.monoRibbonKind == 2)) s += "\x1bMI\r\x1bIV\r";
          else s += "\x1bIH 31\r";
          if (lx3) s += MF;
        } else {
          s += L0 + "\x1bIH 31\r" + MF + L1 + "\x1bIH 31\r";
        }
      } else if (monoResin) {
        if (one) {
          s += L0 + "\x1bI\r";
          if (lx3) s += MF;
          return false;  // the printer ejects these by itself
        }
        s += L0 + "\x1bI 30\r" + MF + L1 + "\x1bI 30\r";
      }
      break;
  }
  // An unknown ribbon or layout has no sequence: no further copies at all.
  return !s.empty();
}

}  // namespace card
