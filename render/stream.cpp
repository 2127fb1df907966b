#include "render/stream.h"

#include <cstdio>
#include <cstring>

#include "shared/job_corrections.h"
#include "shared/ribbons.h"
#include "shared/status_commands.h"

namespace card {

namespace {

using status::kCmdEject;
using status::kCmdFlip;
const char kNoPanel[] =
    "\x1b"
    "F\r\x1b!FF 1\r";
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

int16_t CardJob::dmCopies() const {
  int16_t c;
  std::memcpy(&c, dm_.standard + offsetof(DEVMODEW, dmCopies), 2);
  return c;
}

int CardJob::copies() const { return effectiveCopies(dmCopies()); }

bool CardJob::rotatedSide() const {
  if (!twoSided()) return r_.rotate180 == kRotateFront;
  return frontPage() ? (r_.rotate180 == kRotateFront || r_.rotate180 == kRotateBoth)
                     : (r_.rotate180 == kRotateBack || r_.rotate180 == kRotateBoth);
}

bool kDrawingApplies(const JobSettingsRecord &r, const JobState &job) {
  const bool one = r.duplex != kSettingOn;
  const bool front = one || (job.pageCounter & 1) != 0;
  const unsigned layout = r.dualSideLayout;
  switch (r.ribbonType) {
    case kRibbonYMCKO:
    case kRibbonYMCK:
    case kRibbonYMCKUv: return one || layout == kLayoutBothSidesAlike;
    case kRibbonYMCKK:
    case kRibbonYMCUvK: return one || layout == kLayoutBothSidesAlike || (layout == kLayoutBackBlack && front);
    case kRibbonYMCKOK:
      if (one) return true;
      return front ? layout != kYmckokBackBlackOverlay : layout == kYmckokBothSidesAlike;
    default: return false;
  }
}

bool CardJob::kConversionApplies() const {
  const bool back = twoSided() && !frontPage();
  const unsigned layout = r_.dualSideLayout;
  switch (r_.ribbonType) {
    case kRibbonYMCKO:
    case kRibbonYMCKUv: return back && (layout == kLayoutBackBlack || layout == kLayoutBackBlackOverlay);
    case kRibbonYMCK:
    case kRibbonYMCKK:
    case kRibbonYMCUvK: return back && layout == kLayoutBackBlack;
    case kRibbonYMCKOK:
      return back &&
             (layout == kYmckokBackBlack || layout == kYmckokBackBlackOverlay || layout == kYmckokFrontWithoutOverlay);
    case kRibbonKResin:
    case kRibbonKrO:
    case kRibbonHologram:
    case kRibbonClearVarnish:
    case kRibbonScratchOff:
    case kRibbonMonochrome: return true;
    default: return false;
  }
}

bool CardJob::frontOverlayApplies() const {
  if (r_.frontOverlay.type == kOverlayNone) return false;
  const bool one = !twoSided();
  const unsigned layout = r_.dualSideLayout;
  switch (r_.ribbonType) {
    case kRibbonKdO:
    case kRibbonKrO: return true;
    case kRibbonYMCKO: return one || layout != kLayoutBackBlackOverlay;
    case kRibbonYMCKOK: return one || layout == kYmckokBackBlack || layout == kYmckokBothSidesAlike;
    default: return false;
  }
}

bool CardJob::backOverlayApplies() const {
  if (r_.backOverlay.type == kOverlayNone) return false;
  const bool one = !twoSided();
  const unsigned layout = r_.dualSideLayout;
  switch (r_.ribbonType) {
    case kRibbonKdO:
    case kRibbonKrO: return true;
    case kRibbonYMCKO: return one || layout != kLayoutBackBlack;
    case kRibbonYMCKOK: return one || layout == kYmckokBackBlackOverlay || layout == kYmckokBothSidesAlike;
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
  return r_.ribbonId != kRibbonFromPrinter;
}

bool CardJob::applyAnswer(const PrinterAnswer &a) {
  char model[sizeof a.model + 1] = {};
  std::memcpy(model, a.model, sizeof a.model);
  return applyPrinterAnswer(r_, a.ribbonCode, model);
}

bool CardJob::startPageOpen() {
  if (!job_.jobStarted) return false;
  job_.pageOpen = 1;
  if (twoSided() && (job_.pageCounter & 1)) put(kCmdFlip);
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
  const bool ymcoBackK =
      (r_.ribbonType == kRibbonYMCKO || r_.ribbonType == kRibbonYMCKUv) && r_.dualSideLayout == kLayoutBackBlack;
  if (!ymcoBackK) {
    if (r_.jobMode == kJobPrintAndEncode) put(kCmdFlip);
  } else {
    put("\x1b"
        "F\r");
    if (r_.jobMode == kJobPrintAndEncode) {
      if (r_.laminateSideLX3 == kLx3LaminateBack)
        writeVarnish(true);
      else
        writeVarnishQuick(true);
      put(kCmdFlip);
    } else {
      writeVarnish(true);
    }
  }
  put(kCmdEject);
  if (dmCopies() > 1) writeFurtherCopies(true);
}

// ------------------------------------------------------------ job header

void CardJob::writeJobHeader() {
  put(status::kCmdMaster);
  if (!twoSided())
    put("\x1bJOB 0\r");
  else if (r_.ribbonType == kRibbonYMCKO && r_.dualSideLayout == kLayoutBackBlack)
    put("\x1bJOB 2\r");
  else
    put("\x1bJOB 1\r");
  put("\x1bSXY 1\r");
  applyManualRibbon(r_);
  auto colour = [&](bool withResin) {
    for (int i = 0; i < 3; ++i) put(fmt(("\x1b+$C " + std::to_string(i) + " %ld\r").c_str(), r_.colourContrast[i]));
    for (int i = 0; i < 3; ++i) put(fmt(("\x1b+$L " + std::to_string(i) + " %ld\r").c_str(), r_.colourIntensity[i]));
    if (withResin) put(fmt("\x1b+C %ld\r", r_.blackContrast));
  };
  switch (r_.ribbonType) {
    case kRibbonYMCKO:
    case kRibbonYMCK:
    case kRibbonYMCKK:
    case kRibbonYMCKOK:
    case kRibbonYMCKUv:
    case kRibbonYMCUvK: colour(true); break;
    case kRibbonYMC: colour(false); break;
    case kRibbonKResin:
    case kRibbonKrO: put(fmt("\x1b+C %ld\r", r_.blackContrast)); break;
    case kRibbonKdO:
    case kRibbonKd:
      put(fmt("\x1b+$C 3 %ld\r", r_.blackDyeContrast));
      put(fmt("\x1b+$L 3 %ld\r", r_.blackDyeIntensity));
      break;
    case kRibbonHologram:
    case kRibbonClearVarnish: put(fmt("\x1b+CH %ld\r", r_.hologramContrast)); break;
    case kRibbonMonochrome:
      if (r_.monoRibbonKind == kMonoClearVarnish || r_.monoRibbonKind == kMonoHologram)
        put(fmt("\x1b+CH %ld\r", r_.hologramContrast));
      else if (r_.monoRibbonKind <= kMonoScratchOff)
        put(fmt("\x1b+C %ld\r", r_.blackContrast));
      break;
    default: break;
  }
  switch (r_.ribbonType) {
    case kRibbonYMCKO:
    case kRibbonKdO:
    case kRibbonKrO:
    case kRibbonYMCKOK:
    case kRibbonYMCKUv:
    case kRibbonYMCUvK: put(fmt("\x1b+CV %ld\r", r_.varnishContrast)); break;
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
  if (r_.jobMode == kJobEncodeOnly)
    text += kCmdEject;
  else if (r_.jobMode == kJobPrintAndEncode)
    text += kCmdFlip;
  std::string pre = slot(cap_.preJobCommand);
  if (!pre.empty()) {
    if (text.empty()) pre += "\x1b&E*\r";
    put(pre);
  }
  if (!text.empty()) put(text);
}

// ------------------------------------------------------------ sides

std::string CardJob::lamination(int x) const {
  if (r_.modelClass != kModelClassLX2) return {};
  const char *on = "\x1b+DLAMI 1 0\r", *off = "\x1b+DLAMI 0 1\r";
  switch (r_.jobMode) {
    case kJobPrint: return on;
    case kJobPrintAndEncode:
      switch (r_.laminateSideLX2) {
        case kLx2LaminateBack: return x == 1 ? on : off;
        case kLx2LaminateFront: return x == 1 ? off : on;
        case kLx2LaminateNeither: return off;
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
    buf_[len++] = kCr;
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
  put("\x1b"
      "F\r\x1bG 0 0 10 640 1024 1\r\x1bZ");
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
  const bool rot = o.rotated == kSettingOn;
  if (o.type != kOverlayNone) put("\x1bvF\r");
  auto area = [&](int last) {
    long x = o.left, y = o.top, w = long(o.right) - o.left, h = long(o.bottom) - o.top;
    if (rot) {
      x = long(kCardLong - 1) - o.right;
      y = long(kCardShort - 1) - o.bottom;
    }
    char b[96];
    std::snprintf(b, sizeof b, "\x1bvL %ld %ld %ld %ld %d\r", x, y, w, h, last);
    put(b);
  };
  const char *whole = "\x1bvL 0 0 1023 639 1\r";
  switch (o.type) {
    case kOverlaySelectedVarnished: area(1); break;
    case kOverlaySelectedBlank:
      put(whole);
      area(0);
      break;
    case kOverlayBitmap: {
      size_t len = panels_.fillVarnishBitmap(o, buf_, capacity_);
      if (len) {
        put("\x1bvG 0 0 10 640 1024 1\r\x1bZ");
        sink_.write(buf_, len);
      }
      break;
    }
    case kOverlaySmartCardIso:
      put(whole);
      put(rot ? "\x1bvL 743 289 194 159 0\r" : "\x1bvL 85 197 194 159 0\r");
      break;
    case kOverlaySmartCardAfnor:
      put(whole);
      put(rot ? "\x1bvL 768 388 158 160 0\r" : "\x1bvL 85 97 158 160 0\r");
      break;
    case kOverlayMagStripe:
      put(whole);
      put(rot ? "\x1bvL 0 415 1023 230 0\r" : "\x1bvL 0 0 1023 230 0\r");
      break;
    default: break;
  }
  std::string after = slot(cap_.afterVarnishCommand);
  if (!after.empty()) put(after);
  if (o.type == kOverlayFull)
    put("\x1bIV 30\r");
  else if (o.type != kOverlayNone)
    put("\x1bIV 31\r");
}

void CardJob::writeVarnishQuick(bool front) {
  if (front ? frontOverlayApplies() : backOverlayApplies()) put("\x1bvF\r\x1bIV 31\r");
}

void CardJob::writeK10() {
  if (r_.blackPanelMode != kBlackPanelNever && writeKr())
    put("\x1bI 10\r");
  else
    put(kNoPanel);
}

void CardJob::writeK2() {
  if (r_.blackPanelMode == kBlackPanelNever)
    put("\x1b"
        "F\r\x1bI 30\r");
  else if (writeKr())
    put("\x1bI 10\r");
  else
    put(kNoPanel);
}

void CardJob::writeSide() {
  if (dmCopies() < 2 || !twoSided() || frontPage()) {
    panels_.assembleSplitMacros();
    writeEncoderPart();
  }
  if (r_.jobMode == kJobEncodeOnly) {
    put(kCmdEject);
    return;
  }
  // Every panel is built in the job's output buffer; without one (an instance
  // that handed its job on) nothing of the side can go out.
  if (!buf_ || capacity_ < kPlaneBytes + 1) return;
  if (!panels_.beginSide()) return;  // the work area could not be had: nothing of the side goes out
  if (kDrawingApplies() && r_.blackPanelMode == kBlackPanelAlways) panels_.extractBlack();
  switch (r_.ribbonType) {
    case kRibbonYMCKO:
    case kRibbonYMCKUv:
    case kRibbonKdO:
    case kRibbonKrO:
    case kRibbonYMC:
    case kRibbonYMCK:
    case kRibbonYMCKK:
    case kRibbonYMCUvK:
    case kRibbonYMCKOK:
    case kRibbonKd: sideRowsColour(frontPage()); break;
    default: sideRowsMono(frontPage()); break;
  }
  panels_.endSide();
}

// Ribbons with colour or dye panels, and the overlay ribbons.
void CardJob::sideRowsColour(bool front) {
  const uint8_t t = r_.ribbonType;
  bool ejected = false;
  if (t == kRibbonYMCKO || t == kRibbonYMCKUv) {
    ejected = sideRowsYmcko(front);
  } else if (t == kRibbonKdO || t == kRibbonKrO) {
    ejected = sideRowsOverlayMono(front);
  } else if (t == kRibbonYMC) {
    writeLamination(front ? 0 : 1);
    writeYMC();
  } else if (t == kRibbonKd) {
    writeLamination(front ? 0 : 1);
    writeKd();
  } else if (t == kRibbonYMCK) {
    sideRowsYmck(front);
  } else if (t == kRibbonYMCKK || t == kRibbonYMCUvK) {
    sideRowsYmckk(front);
  } else if (t == kRibbonYMCKOK) {
    ejected = sideRowsYmckok(front);
  }
  if (!ejected && (!twoSided() || !front)) put(kCmdEject);
}

// The varnish of a side: in full, or the quick one at a class-7 lamination
// step.
void CardJob::varnishOrQuick(Lx3LaminateSide step, bool frontSide) {
  if (!class7Step(step))
    writeVarnish(frontSide);
  else
    writeVarnishQuick(frontSide);
}

// YMCKO and its ultraviolet twin YMCKUv.  Returns whether the card was ejected.
bool CardJob::sideRowsYmcko(bool front) {
  const unsigned layout = r_.dualSideLayout;
  if (!twoSided()) {
    writeLamination(0);
    writeYMC();
    writeK10();
    varnishOrQuick(kLx3LaminateBack, true);
    put(kCmdEject);
    return true;
  }
  if (layout == kLayoutBackBlack) {
    if (front) {
      writeYMC();
    } else {
      writeLamination(1);
      if (writeKr())
        put("\x1bI 30\r");
      else
        put(kNoPanel);
      if (!lx3Mode()) {
        put(kCmdFlip);
        writeLamination(0);
        writeVarnish(true);
      } else if (r_.laminateSideLX3 == kLx3LaminateBack) {
        put(kCmdFlip);
        writeVarnish(true);
        put(kCmdFlip);
      } else
        writeVarnishQuick(true);
    }
  } else if (layout == kLayoutBothSidesAlike) {
    if (front) {
      writeLamination(0);
      writeYMC();
      writeK10();
      varnishOrQuick(kLx3LaminateFront, true);
    } else {
      writeLamination(1);
      writeYMC();
      writeK10();
      varnishOrQuick(kLx3LaminateBack, false);
    }
  } else if (layout == kLayoutBackBlackOverlay) {
    if (front) {
      writeLamination(0);
      writeYMC();
    } else {
      writeLamination(1);
      if (writeKr())
        put("\x1bI 10\r");
      else
        put(kNoPanel);
      varnishOrQuick(kLx3LaminateBack, false);
    }
  }
  return false;
}

// KdO and KrO: one black panel and the overlay.  Returns whether the card was
// ejected.
bool CardJob::sideRowsOverlayMono(bool front) {
  auto panel = [&] {
    if (r_.ribbonType == kRibbonKdO)
      writeKd();
    else {
      writeKr();
      put("\x1bI 20\r");
    }
  };
  if (!twoSided()) {
    writeLamination(0);
    panel();
    varnishOrQuick(kLx3LaminateBack, true);
    put(kCmdEject);
    return true;
  }
  if (front) {
    panel();
    writeLamination(0);
    varnishOrQuick(kLx3LaminateFront, true);
  } else {
    panel();
    writeLamination(1);
    varnishOrQuick(kLx3LaminateBack, false);
  }
  return false;
}

void CardJob::sideRowsYmck(bool front) {
  const unsigned layout = r_.dualSideLayout;
  if (!twoSided() || layout == kLayoutBothSidesAlike) {
    writeLamination(front ? 0 : 1);
    writeYMC();
    if (r_.blackPanelMode != kBlackPanelNever && writeKr())
      put("\x1bI 30\r");
    else
      put(kNoPanel);
  } else if (layout == kLayoutBackBlack) {
    if (front) {
      writeLamination(0);
      writeYMC();
    } else {
      writeLamination(1);
      if (writeKr())
        put("\x1bI 30\r");
      else
        put(kNoPanel);
    }
  }
}

// YMCKK and YMCUvK: the last panel is never printed.
void CardJob::sideRowsYmckk(bool front) {
  const unsigned layout = r_.dualSideLayout;
  auto colourAndK = [&] {
    writeYMC();
    if (r_.blackPanelMode == kBlackPanelNever)
      put("\x1b"
          "F\r\x1bI 30\r");
    else if (writeKr())
      put("\x1bI 30\r");
  };
  if (!twoSided() || layout == kLayoutBothSidesAlike) {
    writeLamination(front ? 0 : 1);
    colourAndK();
    put("\x1b!FF 1\r");
  } else if (layout == kLayoutBackBlack) {
    if (front) {
      writeLamination(0);
      colourAndK();
    } else {
      writeLamination(1);
      if (writeKr()) put("\x1bI 30\r");
    }
  }
}

// YMCKOK.  Returns whether the card was ejected.
bool CardJob::sideRowsYmckok(bool front) {
  const unsigned layout = r_.dualSideLayout;
  if (!twoSided()) {
    writeLamination(0);
    writeYMC();
    writeK10();
    varnishOrQuick(kLx3LaminateBack, true);
    put("\x1b!FF 1\r");
    put(kCmdEject);
    return true;
  }
  if (layout == kYmckokBackBlack) {
    if (front) {
      writeLamination(0);
      writeYMC();
      writeK10();
      varnishOrQuick(kLx3LaminateFront, true);
    } else {
      writeLamination(1);
      if (writeKr())
        put("\x1bI 30\r");
      else
        put("\x1b!FF 1\r");
    }
  } else if (layout == kYmckokBackBlackOverlay) {
    if (front) {
      writeLamination(0);
      writeYMC();
    } else {
      writeLamination(1);
      if (writeKr())
        put("\x1bI 10\r");
      else
        put(kNoPanel);
      varnishOrQuick(kLx3LaminateBack, false);
    }
  } else if (layout == kYmckokBothSidesAlike) {
    if (front) {
      writeYMC();
      writeK2();
      writeLamination(0);
      varnishOrQuick(kLx3LaminateFront, true);
    } else {
      writeLamination(1);
      writeYMC();
      writeK2();
      varnishOrQuick(kLx3LaminateBack, false);
    }
  } else if (layout == kYmckokFrontWithoutOverlay) {
    if (front) {
      writeLamination(0);
      writeYMC();
      writeK2();
      if (frontOverlayApplies()) put("\x1bvF\r\x1bIV 31\r");
    } else {
      // The back's black only when it has any: "\eI 30\r" alone would print
      // whatever resin image the printer still holds, another side's black.
      writeLamination(1);
      if (writeKr())
        put("\x1bI 30\r");
      else
        put(kNoPanel);
    }
  }
  return false;
}

// Single-panel ribbons: resin black, hologram, varnish, scratch-off and the
// monochrome ribbon of a chosen kind.
void CardJob::sideRowsMono(bool front) {
  const uint8_t t = r_.ribbonType;
  const bool known = t == kRibbonKResin || t == kRibbonScratchOff || t == kRibbonHologram || t == kRibbonClearVarnish ||
                     (t == kRibbonMonochrome && r_.monoRibbonKind <= kMonoHologram);
  if (known) {
    writeLamination(twoSided() && !front ? 1 : 0);
    if (writeKr()) {
      if (t == kRibbonClearVarnish)
        put("\x1bMI\r\x1bIV\r");
      else if (t == kRibbonHologram)
        put(status::kCmdPrintHologram);
      else if (t == kRibbonMonochrome) {
        if (r_.monoRibbonKind == kMonoHologram)
          put(status::kCmdPrintHologram);
        else if (r_.monoRibbonKind == kMonoClearVarnish)
          put("\x1bMI\r\x1bIV\r");
        else
          put("\x1bI 30\r");
      } else {
        put("\x1bI 30\r");
      }
    }
    if (r_.monoRibbonKind == kMonoClearVarnish &&
        (t == kRibbonKResin || t == kRibbonHologram || t == kRibbonScratchOff))
      put("\x1bMI\r\x1bIV\r");
  }
  if (!twoSided() || !front) put(kCmdEject);
}

// ------------------------------------------------------------ further copies

void CardJob::writeFurtherCopies(bool oneSidedRows) {
  const int further = copies() - 1;
  if (further <= 0) return;
  if (r_.jobMode == kJobEncodeOnly) {
    for (int i = 0; i < further; ++i) writeEncoderPart();
    return;
  }
  if (r_.jobMode == kJobPassThroughCopies) {
    for (int i = 0; i < further; ++i) put("\x1bMI\r\x1bMF\r\x1bMO\r");
    return;
  }
  if (r_.jobMode != kJobPrint && r_.jobMode != kJobPrintAndEncode) return;
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
    if (eject) card += kCmdEject;
    put(card);
  }
}

// What the reprint sequences are built from, worked out once per job.  The
// names are those of the reprint table: L0 and L1 the lamination texts, FV
// and BV the overlays, K10c and K30c the resin black, S the front's black,
// F1 and B1 the overlays at a class-7 lamination step, BK the back's resin
// black of the layouts that print it from memory.
struct CardJob::Reprint {
  uint8_t t;
  unsigned layout;
  bool one, lx3, frontOverlay;
  int lam3;
  std::string L0, L1, FV, BV, K10c, K30c, S, F1, B1, BK;
  const std::string IS = kIS012, MF{kCmdFlip};
  std::string s;      // the sequence
  bool eject = true;  // false: the printer ejects the card by itself

  // The one-sided tail shared by the ribbons with an overlay.
  void laminatedFront() {
    if (!lx3)
      s += FV;
    else if (lam3 == kLx3LaminateBack)
      s += FV + MF;
    else
      s += "\x1bIV 31\r" + MF;
  }
  // Both sides print colour, black and the overlay.
  void bothSidesAlike() { s += L0 + IS + K10c + F1 + MF + L1 + IS + K10c + B1; }
  // The front prints colour, the back black and the overlay.
  void blackOverlayBack() { s += L0 + IS + MF + L1 + "\x1bI 10\r" + B1; }
};

CardJob::Reprint CardJob::reprintParts(bool one) const {
  Reprint p;
  p.t = r_.ribbonType;
  p.layout = r_.dualSideLayout;
  p.one = one;
  p.lx3 = lx3Mode();
  p.lam3 = r_.laminateSideLX3;
  p.frontOverlay = frontOverlayApplies();
  p.L0 = lamination(0);
  p.L1 = lamination(1);
  auto overlay = [&](bool applies, const OverlayRecord &o) -> std::string {
    if (!applies) return {};
    return o.type == kOverlayFull ? "\x1bIV 30\r" : "\x1bIV 31\r";
  };
  p.FV = overlay(p.frontOverlay, r_.frontOverlay);
  p.BV = overlay(backOverlayApplies(), r_.backOverlay);
  const bool bpm = r_.blackPanelMode != kBlackPanelNever;
  p.K10c = bpm ? "\x1bI 10\r"
               : "\x1b"
                 "F\r\x1bI 30\r";
  p.K30c = bpm ? "\x1bI 30\r"
               : "\x1b"
                 "F\r\x1bI 30\r";
  p.S = (!bpm || cap_.frontBlackEmpty == 1) ? "\x1b!FF 1\r" : (p.t == kRibbonYMCK ? "\x1bI 30\r" : "\x1bI 10\r");
  // The back's black is printed from memory only when the back had any;
  // otherwise the printer would put whatever resin image it holds on the
  // back.  In its place goes the back row's no-black alternative, without
  // the "\eF\r" that would clear the memory the next copy still needs.
  const bool noKPanelSkip = p.t == kRibbonYMCKK || p.t == kRibbonYMCUvK;  // their back rows write nothing then
  p.BK = cap_.backBlackEmpty != 1 ? "\x1bI 30\r" : (noKPanelSkip ? "" : "\x1b!FF 1\r");
  p.F1 = (p.lx3 && p.lam3 != kLx3LaminateBack) ? "\x1bIV 31\r" : p.FV;
  p.B1 = (p.lx3 && p.lam3 != kLx3LaminateFront) ? "\x1bIV 31\r" : p.BV;
  return p;
}

// YMCKO and YMCKUv.
void CardJob::reprintYmcko(Reprint &p) const {
  if (p.one) {
    p.s += p.L0 + p.IS + p.S;
    p.laminatedFront();
  } else if (p.layout == kLayoutBackBlack) {
    p.s += p.IS + p.MF + p.L1 + p.BK;
    if (!p.lx3)
      p.s += p.MF + p.L0 + p.FV;
    else if (p.lam3 == kLx3LaminateBack)
      p.s += p.MF + p.FV + p.MF;
    else
      p.s += "\x1bIV 31\r";
  } else if (p.layout == kLayoutBothSidesAlike) {
    p.bothSidesAlike();
  } else if (p.layout == kLayoutBackBlackOverlay) {
    p.blackOverlayBack();
  }
}

void CardJob::reprintYmckok(Reprint &p) const {
  if (p.one) {
    p.s += p.L0 + p.IS + p.S;
    p.laminatedFront();
    p.s += "\x1b!FF 1\r";
  } else if (p.layout == kYmckokBackBlack) {
    p.s += p.L0 + p.IS + p.K10c;
    if (!p.lx3)
      p.s += p.FV + p.MF + p.L1 + p.BK;
    else if (p.lam3 == kLx3LaminateBack)
      p.s += p.FV + p.MF + p.BK;
    else
      p.s += "\x1bIV 31\r" + p.MF + p.BK;
  } else if (p.layout == kYmckokBackBlackOverlay) {
    p.blackOverlayBack();
  } else if (p.layout == kYmckokBothSidesAlike) {
    p.bothSidesAlike();
  } else if (p.layout == kYmckokFrontWithoutOverlay) {
    p.s += p.L0 + p.IS + p.K10c + (p.frontOverlay ? "\x1bvF\r\x1bIV 31\r" + p.MF : p.MF) + p.L1 + p.BK;
  }
}

// KdO and KrO.
void CardJob::reprintOverlayMono(Reprint &p) const {
  const std::string P = p.t == kRibbonKdO ? "\x1bIS 3\r" : "\x1bI 20\r";
  p.s += p.L0 + P;
  if (p.one)
    p.laminatedFront();
  else if (!p.lx3)
    p.s += p.FV + p.MF + p.L1 + P + p.BV;
  else if (p.lam3 == kLx3LaminateFront)
    p.s += "\x1bIV 31\r" + p.MF + P + p.BV;
  else if (p.lam3 == kLx3LaminateBack)
    p.s += p.FV + p.MF + P + "\x1bIV 31\r";
  else
    p.s += "\x1bIV 31\r" + p.MF + P + "\x1bIV 31\r";
}

// YMC, YMCK, YMCKK, YMCUvK and Kd: no overlay.
void CardJob::reprintWithoutOverlay(Reprint &p) const {
  const bool backBlack = p.layout == kLayoutBackBlack, alike = p.layout == kLayoutBothSidesAlike;
  switch (p.t) {
    case kRibbonYMC:
      p.s += p.L0 + p.IS;
      if (p.one) {
        if (p.lx3) p.s += p.MF;
      } else
        p.s += p.MF + p.L1 + p.IS;
      break;
    case kRibbonYMCK:
      if (p.one) {
        p.s += p.L0 + p.IS + p.S;
        if (p.lx3) p.s += p.MF;
      } else if (backBlack)
        p.s += p.L0 + p.IS + p.MF + p.L1 + p.BK;
      else if (alike)
        p.s += p.L0 + p.IS + p.K30c + p.MF + p.L1 + p.IS + p.K30c;
      break;
    case kRibbonYMCKK:
    case kRibbonYMCUvK:
      if (p.one) {
        p.s += p.L0 + p.IS + p.K30c + "\x1b!FF 1\r";
        if (p.lx3) p.s += p.MF;
      } else if (backBlack)
        p.s += p.L0 + p.IS + p.K30c + p.MF + p.L1 + p.BK;
      else if (alike)
        p.s += p.L0 + p.IS + p.K30c + "\x1b!FF 1\r" + p.MF + p.L1 + p.IS + p.K30c + "\x1b!FF 1\r";
      break;
    case kRibbonKd:
      if (p.one) {
        p.s += p.L0 + "\x1bIS 3\r";
        if (p.lx3) p.s += p.MF;
      } else
        p.s += p.L0 + "\x1bIS 3\r" + p.MF + p.L1 + "\x1bIS 3\r";
      break;
    default: break;
  }
}

// Single-panel ribbons.
void CardJob::reprintSinglePanel(Reprint &p) const {
  const uint8_t t = p.t, kind = r_.monoRibbonKind;
  const bool varnishOrHologram = t == kRibbonHologram || t == kRibbonClearVarnish ||
                                 (t == kRibbonMonochrome && (kind == kMonoClearVarnish || kind == kMonoHologram));
  const bool resin =
      t == kRibbonKResin || t == kRibbonScratchOff || (t == kRibbonMonochrome && kind <= kMonoScratchOff);
  if (varnishOrHologram) {
    if (p.one) {
      p.s += p.L0;
      if (t == kRibbonClearVarnish || (t == kRibbonMonochrome && kind == kMonoClearVarnish))
        p.s += "\x1bMI\r\x1bIV\r";
      else
        p.s += "\x1bIH 31\r";
      if (p.lx3) p.s += p.MF;
    } else {
      p.s += p.L0 + "\x1bIH 31\r" + p.MF + p.L1 + "\x1bIH 31\r";
    }
  } else if (resin) {
    if (p.one) {
      p.s += p.L0 + "\x1bI\r";
      if (p.lx3) p.s += p.MF;
      p.eject = false;  // the printer ejects these by itself
      return;
    }
    p.s += p.L0 + "\x1bI 30\r" + p.MF + p.L1 + "\x1bI 30\r";
  }
}

// Builds the sequence that prints a further copy from the panels the printer
// still holds.  Returns whether the card is ejected after it.
bool CardJob::reprintSequence(bool one, std::string &s) const {
  Reprint p = reprintParts(one);
  switch (p.t) {
    case kRibbonYMCKO:
    case kRibbonYMCKUv: reprintYmcko(p); break;
    case kRibbonYMCKOK: reprintYmckok(p); break;
    case kRibbonKdO:
    case kRibbonKrO: reprintOverlayMono(p); break;
    case kRibbonYMC:
    case kRibbonYMCK:
    case kRibbonYMCKK:
    case kRibbonYMCUvK:
    case kRibbonKd: reprintWithoutOverlay(p); break;
    default: reprintSinglePanel(p); break;
  }
  s += p.s;
  // An unknown ribbon or layout has no sequence: no further copies at all.
  return p.eject && !s.empty();
}

}  // namespace card
