// The job stream's further copies of a card: the reprint sequence each
// ribbon and layout needs (the sides again from the printer's image memory),
// sent once for every copy after the first, with the tracks uncut.
#include "render/stream.h"
#include "render/stream_text.h"

namespace card {

using namespace stream_text;

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
