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
  int16_t rotated;  // 1: the side prints turned by 180 degrees
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
  WCHAR bitmapPath[kOverlayPathChars];  // 1-bit BMP for kOverlayBitmap
};

// Magnetic data format of one track.
struct TrackFormat {
  uint8_t mode;           // 0 ISO1, 1 ISO2, 2 ISO3, 3..7 "3 bit".."7 bit"
  uint8_t density;        // 0 75 bpi, 1 210 bpi
  uint8_t startChar;
  uint8_t stopChar;
  uint8_t startPosition;  // millimetres
  uint8_t charParity;     // 0 none, 1 even, 2 odd
  uint8_t lrcParity;
};

struct JobSettingsRecord {
  uint16_t signature;  // kRecordSignature
  uint8_t reserved2[4];
  int16_t rotate180;  // 0 none, 1 front, 2 back, 3 both
  uint16_t duplex;    // 1: print both sides
  uint8_t ribbonType;
  uint8_t monoRibbonKind;  // for ribbon type 14: 0 K, 1 scratch-off, 2 clear varnish, 3 hologram
  uint8_t reserved12[2];
  uint16_t dualSideLayout;
  uint8_t reserved16[2];
  int16_t blackBitmap;
  int16_t monoConversion;  // 0 diffusion, 1 halftone, 2 barcode, 3 threshold
  uint8_t blackPanelMode;  // 0 never, 1 always, 2 text only, 3 except in colour pictures
  uint8_t reserved23;
  uint16_t jobMode;  // 0 print, 1 encode only, 2 print and encode, 3 pass-through copies
  uint16_t ribbonId;  // 0: ask the printer; 1..10: manual choice
  int16_t laminateSideLX3;
  uint16_t laminateSideLX2;
  int16_t pageFlag;  // working: set during every page
  uint8_t reserved34;
  uint8_t modelClass;
  uint8_t reserved36[2];
  // Encoder settings block (52 bytes from here).
  int16_t hasEncoder;
  int16_t macroProcessing;
  char startOfData[10];
  char endOfData[10];
  int16_t coercivity;       // 0 high, 1 low, 2 no change
  int16_t encoderPosition;  // 0 reversed, 1 normal
  uint8_t encoderType;      // 0 ISO/JIS, 1 JIS2, 2 AAMVA
  uint8_t currentTrack;
  TrackFormat trackFormat[3];
  uint8_t encoderSpare;
  uint8_t reserved90[2];
  OverlayRecord frontOverlay;
  OverlayRecord backOverlay;
  int16_t hologramEnabled;
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
