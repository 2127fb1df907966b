// The card job command stream: the page hooks, the job header, the encoder
// part and each side's panels (further copies are in stream_copies.cpp).
#include "render/stream.h"

#include "shared/job_corrections.h"
#include "shared/ribbons.h"
#include "shared/status_commands.h"
#include "render/stream_text.h"

namespace card {

using namespace stream_text;

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

}  // namespace card
