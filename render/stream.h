// The card job command stream: what the document and page hooks write for a
// job, a card, a side and a panel.  This is the core of the driver's output;
// it touches no surface and calls nothing of the platform: the surfaces are
// reached through PanelSource and the bytes leave through StreamSink, so that
// the whole sequence logic is tested on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "render/encode.h"
#include "shared/job_settings.h"

namespace card {

// Job state of a device instance.
struct JobState {
  int32_t jobStarted;
  int32_t pageOpen;
  int32_t pageCounter;  // odd while a front side is drawn, even for a back side
};

// What the page contributed to the current card besides its picture: commands
// and magnetic data captured from special text, and whether each side had
// resin-black content.
struct CardCapture {
  char preJobCommand[512];
  char afterBlackCommand[256];
  char afterVarnishCommand[256];
  char encoderCommandR[10];
  char encoderCommandD[10];
  char encoderCommandCDER[256];
  char encoderCommandCDEW[256];
  char encoderCommand11[256];
  char encoderCommand12[256];
  char encoderCommand13[256];
  int16_t frontBlackEmpty;
  int16_t backBlackEmpty;
};

// The surfaces of the side being written.  Each fill call locks what it needs,
// writes into `out` and unlocks before the caller hands the bytes on.
class PanelSource {
 public:
  virtual ~PanelSource() = default;
  // A new side starts white on both surfaces.
  virtual void whiteSurfaces() = 0;
  // Side preparation: the 64 KiB work area; false when it cannot be had.
  virtual bool beginSide() = 0;
  virtual void endSide() = 0;
  // Text macros split over several drawing calls, joined at the end of the page.
  virtual void assembleSplitMacros() = 0;
  virtual void clearTextFragments() = 0;
  // Pure black of the colour surface moved into the black surface.
  virtual void extractBlack() = 0;
  // Colour surface ready for planes: consumed text erased, colour adjusted.
  virtual void prepareColour() = 0;
  virtual size_t fillPlane(PlaneChannel channel, bool rotated, uint8_t *out, size_t capacity) = 0;
  // Black surface ready: consumed text erased; with `convert` the colour
  // surface is turned into resin black by the monochrome method first.
  virtual void prepareBlack(bool convert) = 0;
  virtual bool blackPresent() = 0;
  virtual size_t fillBlack(bool rotated, uint8_t *out, size_t capacity) = 0;
  // Bitmap-based varnish of an overlay record; 0 when the file cannot be used.
  virtual size_t fillVarnishBitmap(const OverlayRecord &overlay, uint8_t *out, size_t capacity) = 0;
};

class StreamSink {
 public:
  virtual ~StreamSink() = default;
  virtual void write(const void *data, size_t size) = 0;
};

// The ribbon and model a printer reported.  When nothing could be learned the
// code is 0, the printer's own "no ribbon or unknown ribbon": it maps to the
// unknown ribbon type, so that a print job on it is refused.  (Code 15 would
// be taken for a YMCK ribbon.)
constexpr long kNoRibbonCode = 0;
struct PrinterAnswer {
  long ribbonCode = kNoRibbonCode;
  char model[32] = {};
};

// Whether black drawing of the side being drawn goes to the resin-black
// surface: a ribbon with a K panel on this side.
bool kDrawingApplies(const JobSettingsRecord &r, const JobState &job);

class CardJob {
 public:
  CardJob(CardDevmode &devmode, JobState &job, CardCapture &capture, uint8_t *buffer, size_t capacity,
          PanelSource &panels, StreamSink &sink)
      : dm_(devmode),
        r_(devmode.record),
        job_(job),
        cap_(capture),
        buf_(buffer),
        capacity_(capacity),
        panels_(panels),
        sink_(sink) {}

  // The page hooks.  `resolve` is asked for the printer's ribbon and model at
  // the first page of a job whose ribbon is not chosen in the settings.
  template <typename Resolve>
  bool startPage(Resolve &&resolve) {
    if (!startPageClear()) {
      PrinterAnswer a;
      resolve(a);
      if (!applyAnswer(a)) return false;
    }
    return startPageOpen();
  }
  bool sendPage();
  bool endDoc();

  // Derived conditions of the current side.
  bool twoSided() const { return r_.duplex == kSettingOn; }
  bool frontPage() const { return !twoSided() || (job_.pageCounter & 1) != 0; }
  bool rotatedSide() const;
  bool kDrawingApplies() const { return card::kDrawingApplies(r_, job_); }
  bool kConversionApplies() const;
  bool frontOverlayApplies() const;
  bool backOverlayApplies() const;
  int copies() const;

 private:
  // startPage in two halves around the ribbon resolution: the first returns
  // true when no resolution is needed.
  bool startPageClear();
  bool applyAnswer(const PrinterAnswer &a);
  bool startPageOpen();

  void put(std::string_view s) { sink_.write(s.data(), s.size()); }
  void writeJobHeader();
  void writeSide();
  void writeEncoderPart();
  void writeFurtherCopies(bool oneSidedRows);
  bool reprintSequence(bool oneSidedRows, std::string &s) const;
  struct Reprint;
  Reprint reprintParts(bool one) const;
  void reprintYmcko(Reprint &p) const;
  void reprintYmckok(Reprint &p) const;
  void reprintOverlayMono(Reprint &p) const;
  void reprintWithoutOverlay(Reprint &p) const;
  void reprintSinglePanel(Reprint &p) const;
  void finishUnpairedFront();

  // Panel writers.
  void writeYMC();
  void writeKd();
  bool writeKr();
  void writeVarnish(bool front);
  void writeVarnishQuick(bool front);
  void writeLamination(int x);
  std::string lamination(int x) const;
  void writeK10();
  void writeK2();
  void sideRowsColour(bool front);
  void varnishOrQuick(Lx3LaminateSide step, bool frontSide);
  bool sideRowsYmcko(bool front);
  bool sideRowsOverlayMono(bool front);
  void sideRowsYmck(bool front);
  void sideRowsYmckk(bool front);
  bool sideRowsYmckok(bool front);
  void sideRowsMono(bool front);
  bool lx3Mode() const { return r_.jobMode == kJobPrintAndEncode && r_.modelClass == kModelClassLX3; }
  // The class-7 lamination step of a side (kLx3LaminateFront or kLx3LaminateBack).
  bool class7Step(Lx3LaminateSide side) const {
    return lx3Mode() && (r_.laminateSideLX3 == kLx3LaminateBoth || r_.laminateSideLX3 == side);
  }
  int16_t &blackEmptyFlag() { return frontPage() ? cap_.frontBlackEmpty : cap_.backBlackEmpty; }
  void clearCapture();
  int16_t dmCopies() const;

  CardDevmode &dm_;
  JobSettingsRecord &r_;
  JobState &job_;
  CardCapture &cap_;
  uint8_t *buf_;
  size_t capacity_;
  PanelSource &panels_;
  StreamSink &sink_;
};

}  // namespace card
