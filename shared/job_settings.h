// The job settings record: the driver-private part of every job's DEVMODE,
// written by the configuration module and read by the rendering driver.  It is
// a stored format (the spooler keeps it as the printer's default and with each
// job), so every offset and width below is fixed.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace card {

constexpr uint16_t kRecordSignature = 0x5A45;
constexpr size_t kStandardPartSize = 212;  // DEVMODEW up to dmReserved2, no panning fields
constexpr size_t kRecordSize = 3916;
constexpr size_t kCardDevmodeSize = kStandardPartSize + kRecordSize;  // 4128
constexpr size_t kOverlayRecordSize = 1044;
constexpr size_t kOverlayPathChars = 512;

// ---------------------------------------------------------------------------
// The values of the record's fields.  The record stores plain integers, and a
// record from outside may hold any of them; the rules compare fields with
// these names, and a value without a name goes wherever a rule's comparison
// takes it.

// Yes/no fields (duplex, blackBitmap, hasEncoder, macroProcessing, an overlay
// record's rotated, hologramEnabled): 1 is yes.  Some rules test for
// kSettingOn, others for anything but kSettingOff, so a 2 counts as yes for
// some and as no for others.
enum SettingSwitch : int16_t { kSettingOff = 0, kSettingOn = 1 };

// rotate180: the sides printed turned by 180 degrees.  A one-sided job's only
// side is its front.
enum Rotate180 : int16_t { kRotateNone = 0, kRotateFront = 1, kRotateBack = 2, kRotateBoth = 3 };

// ribbonType: the one numbering of ribbon kinds.
enum RibbonType : uint8_t {
  kRibbonYMCKO = 0,
  kRibbonKResin = 1,
  kRibbonKdO = 2,
  kRibbonKrO = 3,
  kRibbonHologram = 4,
  kRibbonYMC = 5,
  kRibbonYMCK = 6,
  kRibbonYMCKK = 7,
  kRibbonYMCKOK = 8,
  kRibbonClearVarnish = 9,
  kRibbonScratchOff = 10,
  kRibbonYMCKUv = 11,
  kRibbonYMCUvK = 12,
  kRibbonKd = 13,
  kRibbonMonochrome = 14,  // the kind is in monoRibbonKind
  kRibbonUnknown = 15,
};

// monoRibbonKind: the kind of a monochrome ribbon (ribbon type 14).
enum MonoRibbonKind : uint8_t { kMonoResin = 0, kMonoScratchOff = 1, kMonoClearVarnish = 2, kMonoHologram = 3 };

// dualSideLayout: an index into the ribbon's list of two-sided layouts, so
// one number names different panels on different ribbons.  YMCKO, YMCKUv,
// YMCK, YMCKK and YMCUvK:
enum DualSideLayout : uint16_t {
  kLayoutBackBlack = 0,         // the back prints resin black only ("Front YMCO, Back K", "Front YMCK, Back K" ...)
  kLayoutBothSidesAlike = 1,    // both sides print the same panels ("Front YMCKO, Back YMCKO" ...)
  kLayoutBackBlackOverlay = 2,  // YMCKO and YMCKUv: "Front YMC, Back KO", "Front YMC, Back KUv"
};
// YMCKOK has an order of its own:
enum YmckokLayout : uint16_t {
  kYmckokBackBlack = 0,            // "Front YMCKO, Back K"
  kYmckokBackBlackOverlay = 1,     // "Front YMC, Back KO"
  kYmckokBothSidesAlike = 2,       // "Front YMCKO, Back YMCKO"
  kYmckokFrontWithoutOverlay = 3,  // "Front YMCK, Back K"
};

// monoConversion: how a side that prints resin black only is made from the
// page.  Barcode is a threshold whose black is thinned afterwards; the
// thinning looks at the two low bits of the field only.
enum MonoConversion : int16_t {
  kConvertDiffusion = 0,
  kConvertHalftone = 1,
  kConvertBarcode = 2,
  kConvertThreshold = 3
};

// blackPanelMode: what goes to the resin-black (K) panel.
enum BlackPanelMode : uint8_t {
  kBlackPanelNever = 0,
  kBlackPanelAlways = 1,
  kBlackPanelTextOnly = 2,
  kBlackPanelExceptColourPictures = 3,
};

// jobMode.
enum JobMode : uint16_t {
  kJobPrint = 0,
  kJobEncodeOnly = 1,
  kJobPrintAndEncode = 2,     // on the same side: the card is turned over after encoding
  kJobPassThroughCopies = 3,  // further copies pass the card through without printing
};

// ribbonId: the ribbon chosen in the settings, in their own numbering, or 0
// for the ribbon the printer reports.
enum ManualRibbon : uint16_t {
  kRibbonFromPrinter = 0,
  kManualYMCKOK = 1,
  kManualYMCKK = 2,
  kManualYMCKO = 3,
  kManualYMCUvK = 4,
  kManualResinOrScratchOff = 5,
  kManualYMCK = 6,
  kManualYMC = 7,
  kManualKdO = 8,
  kManualKrO = 9,
  kManualHologramOrVarnish = 10,
};
constexpr unsigned kManualRibbonCount = 10;

// laminateSideLX3: the sides a laminating model of class 7 laminates in a
// print-and-encode job.
enum Lx3LaminateSide : int16_t { kLx3LaminateBoth = 0, kLx3LaminateFront = 1, kLx3LaminateBack = 2 };

// laminateSideLX2: the side that gets the laminator's selection "\e+DLAMI 1 0"
// from a laminating model of class 6 in a print-and-encode job; the other
// side gets "\e+DLAMI 0 1".
enum Lx2LaminateSide : uint16_t { kLx2LaminateBack = 0, kLx2LaminateFront = 1, kLx2LaminateNeither = 2 };

// modelClass, named by the first model code that gives each class (the
// rendering driver's and the configuration module's tables differ).
enum ModelClass : uint8_t {
  kModelClassNone = 0,
  kModelClassQA1 = 1,
  kModelClassQA2 = 2,
  kModelClassCX1 = 3,
  kModelClassQA3 = 4,
  kModelClassQA5 = 5,
  kModelClassLX2 = 6,  // laminator
  kModelClassLX3 = 7,  // laminator
};

// The encoder settings.
enum Coercivity : int16_t { kCoercivityHigh = 0, kCoercivityLow = 1, kCoercivityUnchanged = 2 };
enum EncoderPosition : int16_t { kEncoderReversed = 0, kEncoderNormal = 1 };
enum EncoderType : uint8_t { kEncoderIsoJis = 0, kEncoderJis2 = 1, kEncoderAamva = 2 };
// A track's data format: the three ISO formats, then bit formats of 3 to 7 bits.
enum TrackMode : uint8_t {
  kTrackIso1 = 0,
  kTrackIso2 = 1,
  kTrackIso3 = 2,
  kTrack3Bit = 3,
  kTrack4Bit = 4,
  kTrack5Bit = 5,
  kTrack6Bit = 6,
  kTrack7Bit = 7,
};
enum TrackDensity : uint8_t { kDensity75Bpi = 0, kDensity210Bpi = 1 };
enum Parity : uint8_t { kParityNone = 0, kParityEven = 1, kParityOdd = 2 };

// Overlay types of an overlay record.
enum OverlayType : int16_t {
  kOverlayFull = 0,
  kOverlayNone = 1,
  kOverlaySelectedVarnished = 2,
  kOverlaySelectedBlank = 3,
  kOverlayBitmap = 4,
  kOverlaySmartCardIso = 5,
  kOverlaySmartCardAfnor = 6,
  kOverlayMagStripe = 7,
};

#pragma pack(push, 1)

// Varnish (and hologram) area of one side, in dots of the landscape card frame.
struct OverlayRecord {
  int16_t type;
  int16_t rotated;  // kSettingOn: the side prints turned by 180 degrees
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
  WCHAR bitmapPath[kOverlayPathChars];  // 1-bit BMP for kOverlayBitmap
};

// Magnetic data format of one track.
struct TrackFormat {
  uint8_t mode;     // TrackMode
  uint8_t density;  // TrackDensity
  uint8_t startChar;
  uint8_t stopChar;
  uint8_t startPosition;  // millimetres
  uint8_t charParity;     // Parity
  uint8_t lrcParity;      // Parity
};

// Each field's values are named above, by the type in its comment.
struct JobSettingsRecord {
  uint16_t signature;  // kRecordSignature
  uint8_t reserved2[4];
  int16_t rotate180;       // Rotate180
  uint16_t duplex;         // SettingSwitch: print both sides
  uint8_t ribbonType;      // RibbonType
  uint8_t monoRibbonKind;  // MonoRibbonKind, for kRibbonMonochrome
  uint8_t reserved12[2];
  uint16_t dualSideLayout;  // DualSideLayout or YmckokLayout; 0 when one-sided
  uint8_t reserved16[2];
  int16_t blackBitmap;     // SettingSwitch: black bitmaps and fills on K, with kBlackPanelExceptColourPictures
  int16_t monoConversion;  // MonoConversion
  uint8_t blackPanelMode;  // BlackPanelMode
  uint8_t reserved23;
  uint16_t jobMode;          // JobMode
  uint16_t ribbonId;         // ManualRibbon
  int16_t laminateSideLX3;   // Lx3LaminateSide
  uint16_t laminateSideLX2;  // Lx2LaminateSide
  int16_t pageFlag;          // working: set during every page
  uint8_t reserved34;
  uint8_t modelClass;  // ModelClass
  uint8_t reserved36[2];
  // Encoder settings block (52 bytes from here).
  int16_t hasEncoder;       // SettingSwitch
  int16_t macroProcessing;  // SettingSwitch: text is searched for magnetic-stripe macros
  char startOfData[10];
  char endOfData[10];
  int16_t coercivity;       // Coercivity
  int16_t encoderPosition;  // EncoderPosition
  uint8_t encoderType;      // EncoderType
  uint8_t currentTrack;     // 0..2: the track the advanced encoder settings show
  TrackFormat trackFormat[3];
  uint8_t encoderSpare;
  uint8_t reserved90[2];
  OverlayRecord frontOverlay;
  OverlayRecord backOverlay;
  int16_t hologramEnabled;  // SettingSwitch
  int16_t hologramCopies;
  OverlayRecord hologramArea;
  uint8_t varnishContrast;
  uint8_t blackContrast;
  uint8_t hologramContrast;
  uint8_t colourIntensity[3];  // Y, M, C
  uint8_t blackDyeIntensity;
  uint8_t colourContrast[3];  // Y, M, C
  uint8_t blackDyeContrast;
  uint8_t reserved3239;
  int16_t monoBrightness;
  int16_t cyanBrightness;
  int16_t magentaBrightness;
  int16_t yellowBrightness;
  int16_t monoContrast;
  int16_t cyanContrast;
  int16_t magentaContrast;
  int16_t yellowContrast;
  uint8_t reserved3256[304];
  // Working fields of the renderer: the current card's magnetic data.
  char track1Text[80];
  char track2Text[42];
  char track3Text[110];
  int16_t trackPresent[3];
  WCHAR modelFamily[32];  // "CA1" or "CA3"
  uint8_t reservedConfig[54];
};

// The whole DEVMODE of a job: the standard part followed by the record.
struct CardDevmode {
  BYTE standard[kStandardPartSize];
  JobSettingsRecord record;
};

#pragma pack(pop)

#define CARD_CHECK_OFFSET(type, field, off) static_assert(offsetof(type, field) == (off), #type "." #field)
CARD_CHECK_OFFSET(OverlayRecord, type, 0);
CARD_CHECK_OFFSET(OverlayRecord, rotated, 2);
CARD_CHECK_OFFSET(OverlayRecord, left, 4);
CARD_CHECK_OFFSET(OverlayRecord, top, 8);
CARD_CHECK_OFFSET(OverlayRecord, right, 12);
CARD_CHECK_OFFSET(OverlayRecord, bottom, 16);
CARD_CHECK_OFFSET(OverlayRecord, bitmapPath, 20);
static_assert(sizeof(OverlayRecord) == kOverlayRecordSize);
static_assert(sizeof(TrackFormat) == 7);

CARD_CHECK_OFFSET(JobSettingsRecord, signature, 0);
CARD_CHECK_OFFSET(JobSettingsRecord, rotate180, 6);
CARD_CHECK_OFFSET(JobSettingsRecord, duplex, 8);
CARD_CHECK_OFFSET(JobSettingsRecord, ribbonType, 10);
CARD_CHECK_OFFSET(JobSettingsRecord, monoRibbonKind, 11);
CARD_CHECK_OFFSET(JobSettingsRecord, dualSideLayout, 14);
CARD_CHECK_OFFSET(JobSettingsRecord, blackBitmap, 18);
CARD_CHECK_OFFSET(JobSettingsRecord, monoConversion, 20);
CARD_CHECK_OFFSET(JobSettingsRecord, blackPanelMode, 22);
CARD_CHECK_OFFSET(JobSettingsRecord, jobMode, 24);
CARD_CHECK_OFFSET(JobSettingsRecord, ribbonId, 26);
CARD_CHECK_OFFSET(JobSettingsRecord, laminateSideLX3, 28);
CARD_CHECK_OFFSET(JobSettingsRecord, laminateSideLX2, 30);
CARD_CHECK_OFFSET(JobSettingsRecord, pageFlag, 32);
CARD_CHECK_OFFSET(JobSettingsRecord, modelClass, 35);
CARD_CHECK_OFFSET(JobSettingsRecord, hasEncoder, 38);
CARD_CHECK_OFFSET(JobSettingsRecord, macroProcessing, 40);
CARD_CHECK_OFFSET(JobSettingsRecord, startOfData, 42);
CARD_CHECK_OFFSET(JobSettingsRecord, endOfData, 52);
CARD_CHECK_OFFSET(JobSettingsRecord, coercivity, 62);
CARD_CHECK_OFFSET(JobSettingsRecord, encoderPosition, 64);
CARD_CHECK_OFFSET(JobSettingsRecord, encoderType, 66);
CARD_CHECK_OFFSET(JobSettingsRecord, currentTrack, 67);
CARD_CHECK_OFFSET(JobSettingsRecord, trackFormat, 68);
CARD_CHECK_OFFSET(JobSettingsRecord, encoderSpare, 89);
CARD_CHECK_OFFSET(JobSettingsRecord, frontOverlay, 92);
CARD_CHECK_OFFSET(JobSettingsRecord, backOverlay, 1136);
CARD_CHECK_OFFSET(JobSettingsRecord, hologramEnabled, 2180);
CARD_CHECK_OFFSET(JobSettingsRecord, hologramCopies, 2182);
CARD_CHECK_OFFSET(JobSettingsRecord, hologramArea, 2184);
CARD_CHECK_OFFSET(JobSettingsRecord, varnishContrast, 3228);
CARD_CHECK_OFFSET(JobSettingsRecord, blackContrast, 3229);
CARD_CHECK_OFFSET(JobSettingsRecord, hologramContrast, 3230);
CARD_CHECK_OFFSET(JobSettingsRecord, colourIntensity, 3231);
CARD_CHECK_OFFSET(JobSettingsRecord, blackDyeIntensity, 3234);
CARD_CHECK_OFFSET(JobSettingsRecord, colourContrast, 3235);
CARD_CHECK_OFFSET(JobSettingsRecord, blackDyeContrast, 3238);
CARD_CHECK_OFFSET(JobSettingsRecord, monoBrightness, 3240);
CARD_CHECK_OFFSET(JobSettingsRecord, cyanBrightness, 3242);
CARD_CHECK_OFFSET(JobSettingsRecord, magentaBrightness, 3244);
CARD_CHECK_OFFSET(JobSettingsRecord, yellowBrightness, 3246);
CARD_CHECK_OFFSET(JobSettingsRecord, monoContrast, 3248);
CARD_CHECK_OFFSET(JobSettingsRecord, cyanContrast, 3250);
CARD_CHECK_OFFSET(JobSettingsRecord, magentaContrast, 3252);
CARD_CHECK_OFFSET(JobSettingsRecord, yellowContrast, 3254);
CARD_CHECK_OFFSET(JobSettingsRecord, reserved3256, 3256);
CARD_CHECK_OFFSET(JobSettingsRecord, track1Text, 3560);
CARD_CHECK_OFFSET(JobSettingsRecord, track2Text, 3640);
CARD_CHECK_OFFSET(JobSettingsRecord, track3Text, 3682);
CARD_CHECK_OFFSET(JobSettingsRecord, trackPresent, 3792);
CARD_CHECK_OFFSET(JobSettingsRecord, modelFamily, 3798);
CARD_CHECK_OFFSET(JobSettingsRecord, reservedConfig, 3862);
static_assert(sizeof(JobSettingsRecord) == kRecordSize);
CARD_CHECK_OFFSET(CardDevmode, record, kStandardPartSize);
static_assert(sizeof(CardDevmode) == kCardDevmodeSize);
#undef CARD_CHECK_OFFSET

// Fills the standard part (212 bytes) of a DEVMODE with the driver's defaults:
// landscape 86 x 54 mm card, 300 dpi, colour, one copy.  Only the first
// kStandardPartSize bytes of `out` are written.
void fillDefaultStandardPart(BYTE (&out)[kStandardPartSize]);

// The record as the installer writes it into the driver's default settings
// file when it is given no choices: both sides, the ribbon from the printer,
// no encoder, macros on, every area the whole card, head settings 5, and
// the package's version.  Every other byte is zero.
void fillInstallerDefaultRecord(JobSettingsRecord &r);

// True when the 16-bit value at offset dmSize of the DEVMODE is the record
// signature.  `available` is the number of bytes the caller was given; nothing
// beyond it is read.
bool carriesRecord(const void *devmode, size_t available);

// Where the rendering driver finds the private part of a DEVMODE: right after
// a 212-byte standard part; at dmSize when the signature is there; otherwise at
// 212 (a record without its signature is read as it lies).
size_t rendererRecordOffset(const void *devmode, size_t available);

// What the rendering driver copies from an application's DEVMODE into its
// device instance: the first 212 bytes, then the private part, at most 3916
// bytes of it and never more than the DEVMODE holds; the copy's dmSize becomes
// 212 and its dmDriverExtra the number of private bytes copied.  Bytes the
// source does not have stay zero.  `available` is the DEVMODE's own claim of
// its size (dmSize + dmDriverExtra) or less when the caller knows less.
// Returns the number of private bytes copied.
size_t copyDevmodeForRenderer(const void *devmode, size_t available, CardDevmode &out);

// The size a DEVMODE claims for itself: dmSize + dmDriverExtra (0 when even
// the header fields are missing).
size_t claimedDevmodeSize(const DEVMODEW *devmode);

}  // namespace card
