#include "shared/settings_ranges.h"

#include <cstring>
#include <iterator>

#include "shared/ribbons.h"
#include "shared/wire_format.h"

namespace card {

namespace {

#define CARD_FIELD(name, off, width, sgn, low, high, standard) \
  RecordFieldRange { name, off, width, sgn, low, high, standard }

// Offsets, ranges and the installer's defaults of the record's settings.
// Track t's format lies at 68 + 7 t: mode, density, start and stop
// characters, start position, character and LRC parity.
const RecordFieldRange kRecordFields[] = {
    CARD_FIELD("rotate180", 6, 2, true, kRotateNone, kRotateBoth, kRotateNone),
    CARD_FIELD("duplex", 8, 2, false, kSettingOff, kSettingOn, kSettingOn),
    CARD_FIELD("ribbonType", 10, 1, false, kRibbonYMCKO, kRibbonUnknown, kRibbonKResin),
    CARD_FIELD("monoRibbonKind", 11, 1, false, kMonoResin, kMonoHologram, kMonoResin),
    CARD_FIELD("dualSideLayout", 14, 2, false, 0, 3, 0),
    CARD_FIELD("blackBitmap", 18, 2, true, kSettingOff, kSettingOn, kSettingOn),
    CARD_FIELD("monoConversion", 20, 2, true, kConvertDiffusion, kConvertThreshold, kConvertDiffusion),
    CARD_FIELD("blackPanelMode", 22, 1, false, kBlackPanelNever, kBlackPanelExceptColourPictures, kBlackPanelAlways),
    CARD_FIELD("jobMode", 24, 2, false, kJobPrint, kJobPassThroughCopies, kJobPrint),
    CARD_FIELD("ribbonId", 26, 2, false, kRibbonFromPrinter, kManualHologramOrVarnish, kRibbonFromPrinter),
    CARD_FIELD("laminateSideLX3", 28, 2, true, kLx3LaminateBoth, kLx3LaminateBack, kLx3LaminateBoth),
    CARD_FIELD("laminateSideLX2", 30, 2, false, kLx2LaminateBack, kLx2LaminateNeither, kLx2LaminateBack),
    CARD_FIELD("modelClass", 35, 1, false, kModelClassNone, kModelClassLX3, kModelClassNone),
    CARD_FIELD("hasEncoder", 38, 2, true, kSettingOff, kSettingOn, kSettingOff),
    CARD_FIELD("macroProcessing", 40, 2, true, kSettingOff, kSettingOn, kSettingOn),
    CARD_FIELD("coercivity", 62, 2, true, kCoercivityHigh, kCoercivityUnchanged, kCoercivityUnchanged),
    CARD_FIELD("encoderPosition", 64, 2, true, kEncoderReversed, kEncoderNormal, kEncoderNormal),
    CARD_FIELD("encoderType", 66, 1, false, kEncoderIsoJis, kEncoderAamva, kEncoderIsoJis),
    CARD_FIELD("currentTrack", 67, 1, false, 0, 2, 0),
    CARD_FIELD("track1Mode", 68, 1, false, kTrackIso1, kTrack7Bit, kTrackIso1),
    CARD_FIELD("track1Density", 69, 1, false, kDensity75Bpi, kDensity210Bpi, kDensity210Bpi),
    CARD_FIELD("track1CharParity", 73, 1, false, kParityNone, kParityOdd, kParityNone),
    CARD_FIELD("track1LrcParity", 74, 1, false, kParityNone, kParityOdd, kParityNone),
    CARD_FIELD("track2Mode", 75, 1, false, kTrackIso1, kTrack7Bit, kTrackIso2),
    CARD_FIELD("track2Density", 76, 1, false, kDensity75Bpi, kDensity210Bpi, kDensity75Bpi),
    CARD_FIELD("track2CharParity", 80, 1, false, kParityNone, kParityOdd, kParityNone),
    CARD_FIELD("track2LrcParity", 81, 1, false, kParityNone, kParityOdd, kParityNone),
    CARD_FIELD("track3Mode", 82, 1, false, kTrackIso1, kTrack7Bit, kTrackIso3),
    CARD_FIELD("track3Density", 83, 1, false, kDensity75Bpi, kDensity210Bpi, kDensity210Bpi),
    CARD_FIELD("track3CharParity", 87, 1, false, kParityNone, kParityOdd, kParityNone),
    CARD_FIELD("track3LrcParity", 88, 1, false, kParityNone, kParityOdd, kParityNone),
    CARD_FIELD("frontOverlay.type", 92, 2, true, kOverlayFull, kOverlayMagStripe, kOverlayFull),
    CARD_FIELD("frontOverlay.rotated", 94, 2, true, kSettingOff, kSettingOn, kSettingOff),
    CARD_FIELD("backOverlay.type", 1136, 2, true, kOverlayFull, kOverlayMagStripe, kOverlayFull),
    CARD_FIELD("backOverlay.rotated", 1138, 2, true, kSettingOff, kSettingOn, kSettingOff),
    CARD_FIELD("hologramEnabled", 2180, 2, true, kSettingOff, kSettingOn, kSettingOff),
    CARD_FIELD("hologramArea.type", 2184, 2, true, kOverlayFull, kOverlaySelectedBlank, kOverlayFull),
    CARD_FIELD("hologramArea.rotated", 2186, 2, true, kSettingOff, kSettingOn, kSettingOff),
    CARD_FIELD("varnishContrast", 3228, 1, false, 0, 10, 5),
    CARD_FIELD("blackContrast", 3229, 1, false, 0, 10, 5),
    CARD_FIELD("hologramContrast", 3230, 1, false, 0, 10, 5),
    CARD_FIELD("colourIntensityY", 3231, 1, false, 0, 10, 5),
    CARD_FIELD("colourIntensityM", 3232, 1, false, 0, 10, 5),
    CARD_FIELD("colourIntensityC", 3233, 1, false, 0, 10, 5),
    CARD_FIELD("blackDyeIntensity", 3234, 1, false, 0, 10, 5),
    CARD_FIELD("colourContrastY", 3235, 1, false, 0, 10, 5),
    CARD_FIELD("colourContrastM", 3236, 1, false, 0, 10, 5),
    CARD_FIELD("colourContrastC", 3237, 1, false, 0, 10, 5),
    CARD_FIELD("blackDyeContrast", 3238, 1, false, 0, 10, 5),
    CARD_FIELD("monoBrightness", 3240, 2, true, -100, 100, 0),
    CARD_FIELD("cyanBrightness", 3242, 2, true, -100, 100, 0),
    CARD_FIELD("magentaBrightness", 3244, 2, true, -100, 100, 0),
    CARD_FIELD("yellowBrightness", 3246, 2, true, -100, 100, 0),
    CARD_FIELD("monoContrast", 3248, 2, true, -100, 100, 0),
    CARD_FIELD("cyanContrast", 3250, 2, true, -100, 100, 0),
    CARD_FIELD("magentaContrast", 3252, 2, true, -100, 100, 0),
    CARD_FIELD("yellowContrast", 3254, 2, true, -100, 100, 0),
};
#undef CARD_FIELD

constexpr size_t kLayoutOffset = 14;
constexpr int32_t kCardRight = kCardLong - 1, kCardBottom = kCardShort - 1;

constexpr int64_t kNone = 1, kNoneHigh = 0;  // an empty second interval
constexpr int64_t kUserValues = 256, kMaxShort = 32767, kMaxDword = 0xFFFFFFFFLL;

// The standard fields: the documented values of each, narrowed to what this
// printer has where it has less (one paper, one bin, one resolution, at most
// 999 copies).
const StandardFieldRange kStandardFields[] = {
    {"dmOrientation", offsetof(DEVMODEW, dmOrientation), 2, DM_ORIENTATION, 1, 2, kNone, kNoneHigh, 2},
    {"dmPaperSize", offsetof(DEVMODEW, dmPaperSize), 2, DM_PAPERSIZE, 258, 258, kNone, kNoneHigh, 258},
    {"dmPaperLength", offsetof(DEVMODEW, dmPaperLength), 2, DM_PAPERLENGTH, 1, kMaxShort, kNone, kNoneHigh, 541},
    {"dmPaperWidth", offsetof(DEVMODEW, dmPaperWidth), 2, DM_PAPERWIDTH, 1, kMaxShort, kNone, kNoneHigh, 866},
    {"dmCopies", offsetof(DEVMODEW, dmCopies), 2, DM_COPIES, 1, 999, kNone, kNoneHigh, 1},
    {"dmDefaultSource", offsetof(DEVMODEW, dmDefaultSource), 2, DM_DEFAULTSOURCE, 256, 256, kNone, kNoneHigh, 256},
    // 300 dots per inch, or one of the four qualities (DMRES_HIGH .. DMRES_DRAFT).
    {"dmPrintQuality", offsetof(DEVMODEW, dmPrintQuality), 2, DM_PRINTQUALITY, 300, 300, -4, -1, 300},
    {"dmColor", offsetof(DEVMODEW, dmColor), 2, DM_COLOR, 1, 2, kNone, kNoneHigh, 2},
    {"dmDuplex", offsetof(DEVMODEW, dmDuplex), 2, DM_DUPLEX, 1, 3, kNone, kNoneHigh, 1},
    {"dmTTOption", offsetof(DEVMODEW, dmTTOption), 2, DM_TTOPTION, 1, 4, kNone, kNoneHigh, 1},
    {"dmICMMethod", offsetof(DEVMODEW, dmICMMethod), 4, DM_ICMMETHOD, 1, 4, kUserValues, kMaxDword, 2},
    {"dmICMIntent", offsetof(DEVMODEW, dmICMIntent), 4, DM_ICMINTENT, 1, 4, kUserValues, kMaxDword, 2},
    {"dmMediaType", offsetof(DEVMODEW, dmMediaType), 4, DM_MEDIATYPE, 1, 3, kUserValues, kMaxDword, 3},
    // 0 is the driver's own default (no dithering asked for).
    {"dmDitherType", offsetof(DEVMODEW, dmDitherType), 4, DM_DITHERTYPE, 0, 10, kUserValues, kMaxDword, 0},
};

int64_t readLittle(const BYTE *p, size_t width, bool isSigned) {
  uint32_t u = 0;
  for (size_t i = 0; i < width; ++i) u |= uint32_t(p[i]) << (8 * i);
  if (!isSigned) return int64_t(u);
  if (width == 1) return int8_t(u);
  if (width == 2) return int16_t(u);
  return int32_t(u);
}

void writeLittle(BYTE *p, size_t width, int64_t v) {
  const auto u = uint64_t(v);
  for (size_t i = 0; i < width; ++i) p[i] = BYTE(u >> (8 * i));
}

const BYTE *bytesOf(const JobSettingsRecord &r) { return reinterpret_cast<const BYTE *>(&r); }
BYTE *bytesOf(JobSettingsRecord &r) { return reinterpret_cast<BYTE *>(&r); }

bool fieldInRange(const JobSettingsRecord &r, const RecordFieldRange &f) {
  const int32_t v = readRecordField(r, f);
  return v >= f.low && v <= f.high;
}

// The three overlay records whose selected area the rules cover.
OverlayRecord JobSettingsRecord::*const kAreas[] = {&JobSettingsRecord::frontOverlay, &JobSettingsRecord::backOverlay,
                                                    &JobSettingsRecord::hologramArea};

// Overlay records are packed: their fields are copied, never referenced.
struct Area {
  int32_t left, top, right, bottom;
};

Area areaOf(const OverlayRecord &o) {
  Area a;
  std::memcpy(&a.left, reinterpret_cast<const BYTE *>(&o) + offsetof(OverlayRecord, left), sizeof a.left);
  std::memcpy(&a.top, reinterpret_cast<const BYTE *>(&o) + offsetof(OverlayRecord, top), sizeof a.top);
  std::memcpy(&a.right, reinterpret_cast<const BYTE *>(&o) + offsetof(OverlayRecord, right), sizeof a.right);
  std::memcpy(&a.bottom, reinterpret_cast<const BYTE *>(&o) + offsetof(OverlayRecord, bottom), sizeof a.bottom);
  return a;
}

void setArea(OverlayRecord &o, const Area &a) {
  BYTE *b = reinterpret_cast<BYTE *>(&o);
  std::memcpy(b + offsetof(OverlayRecord, left), &a.left, sizeof a.left);
  std::memcpy(b + offsetof(OverlayRecord, top), &a.top, sizeof a.top);
  std::memcpy(b + offsetof(OverlayRecord, right), &a.right, sizeof a.right);
  std::memcpy(b + offsetof(OverlayRecord, bottom), &a.bottom, sizeof a.bottom);
}

bool areaFits(const Area &a) {
  return a.left >= 0 && a.left <= a.right && a.right <= kCardRight && a.top >= 0 && a.top <= a.bottom &&
         a.bottom <= kCardBottom;
}

uint16_t layoutOf(const JobSettingsRecord &r) {
  uint16_t v;
  std::memcpy(&v, bytesOf(r) + kLayoutOffset, sizeof v);
  return v;
}

void setLayout(JobSettingsRecord &r, uint16_t v) { std::memcpy(bytesOf(r) + kLayoutOffset, &v, sizeof v); }

}  // namespace

std::span<const RecordFieldRange> recordFieldRanges() { return kRecordFields; }

int32_t readRecordField(const JobSettingsRecord &r, const RecordFieldRange &f) {
  return int32_t(readLittle(bytesOf(r) + f.offset, f.width, f.isSigned));
}

void writeRecordField(JobSettingsRecord &r, const RecordFieldRange &f, int32_t value) {
  writeLittle(bytesOf(r) + f.offset, f.width, value);
}

bool layoutFitsRibbon(const JobSettingsRecord &r, uint16_t layout) {
  if (r.ribbonId < kManualYMCKOK || r.ribbonId > kManualRibbonCount || r.duplex != kSettingOn) return true;
  return layout < dualSideLayoutCount(ribbonTypeFromId(r.ribbonId));
}

bool overlayAreaInRange(const OverlayRecord &o) { return areaFits(areaOf(o)); }

bool recordInRange(const JobSettingsRecord &r) {
  for (const RecordFieldRange &f : kRecordFields)
    if (!fieldInRange(r, f)) return false;
  for (auto area : kAreas)
    if (!overlayAreaInRange(r.*area)) return false;
  return layoutFitsRibbon(r, layoutOf(r));
}

size_t repairRecord(JobSettingsRecord &r, const JobSettingsRecord *fallback) {
  size_t replaced = 0;
  for (const RecordFieldRange &f : kRecordFields) {
    if (fieldInRange(r, f)) continue;
    writeRecordField(r, f, fallback && fieldInRange(*fallback, f) ? readRecordField(*fallback, f) : f.standard);
    ++replaced;
  }
  for (auto area : kAreas) {
    if (overlayAreaInRange(r.*area)) continue;
    if (fallback && overlayAreaInRange((*fallback).*area))
      setArea(r.*area, areaOf((*fallback).*area));
    else
      setArea(r.*area, Area{0, 0, kCardRight, kCardBottom});
    ++replaced;
  }
  // Judged with the ribbon and sides the record now holds.
  if (!layoutFitsRibbon(r, layoutOf(r))) {
    const uint16_t other = fallback ? layoutOf(*fallback) : 0;
    setLayout(r, layoutFitsRibbon(r, other) ? other : 0);
    ++replaced;
  }
  return replaced;
}

std::span<const StandardFieldRange> standardFieldRanges() { return kStandardFields; }

bool readStandardField(const BYTE *standard, size_t standardSize, const StandardFieldRange &f, int64_t &value) {
  if (!standard || standardSize < size_t(f.offset) + f.width) return false;
  // Two-byte fields are signed shorts; the four-byte ones unsigned.
  value = readLittle(standard + f.offset, f.width, f.width == 2);
  return true;
}

bool standardValueInRange(const StandardFieldRange &f, int64_t value) {
  return (value >= f.low && value <= f.high) || (value >= f.low2 && value <= f.high2);
}

size_t repairStandardPart(BYTE (&standard)[kStandardPartSize], const BYTE *fallback) {
  size_t replaced = 0;
  for (const StandardFieldRange &f : kStandardFields) {
    int64_t v = 0;
    readStandardField(standard, kStandardPartSize, f, v);
    if (standardValueInRange(f, v)) continue;
    int64_t other = 0;
    if (!fallback || !readStandardField(fallback, kStandardPartSize, f, other) || !standardValueInRange(f, other))
      other = f.standard;
    writeLittle(standard + f.offset, f.width, other);
    ++replaced;
  }
  // Names are 32 characters with their terminator; a name that fills all 32
  // loses its last one.
  static_assert(CCHDEVICENAME == CCHFORMNAME);
  for (size_t offset : {offsetof(DEVMODEW, dmDeviceName), offsetof(DEVMODEW, dmFormName)}) {
    const size_t last = offset + (CCHDEVICENAME - 1) * sizeof(WCHAR);
    bool terminated = false;
    for (size_t i = offset; i <= last && !terminated; i += sizeof(WCHAR))
      terminated = standard[i] == 0 && standard[i + 1] == 0;
    if (!terminated) {
      standard[last] = standard[last + 1] = 0;
      ++replaced;
    }
  }
  return replaced;
}

}  // namespace card
