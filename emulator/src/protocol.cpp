#include "emulator/include/cardemu/protocol.h"

namespace cardemu {

namespace {
struct CodeWord {
  int code;
  const char *word;
};
// The printer's own list of error codes: one row per code.
constexpr CodeWord kWords[] = {
    {1, "OUT OF RIBBON"},     {2, "TEMPERATURE"},         {3, "MECHANICAL ERROR"}, {4, "OUT OF CARD"},
    {5, "CARD_IN_ENCODER"},   {6, "CARD_NOT_IN_ENCODER"}, {7, "HEAD OPEN"},        {8, "HEAD OPEN"},
    {9, "REMOVE RIBBON"},     {10, "COMMAND ERROR"},      {11, "COMMAND ERROR"},   {12, "COMMAND ERROR"},
    {13, "COMMAND ERROR"},    {14, "COMMAND ERROR"},      {16, "INSERT CARD"},     {20, "COMMAND ERROR"},
    {21, "COMMAND ERROR"},    {22, "COMMAND ERROR"},      {30, "COMMAND ERROR"},   {31, "COMMAND ERROR"},
    {32, "COMMAND ERROR"},    {33, "COMMAND ERROR"},      {34, "COMMAND ERROR"},   {35, "CHECK RIBBON"},
    {40, "PARAMETERS ERROR"}, {41, "ENCODING ERROR"},     {42, "READING ERROR"},   {43, "MECHANICAL ERROR"},
    {44, "MAGNETIC ERROR"},   {45, "BLANK TRACK"},        {47, "ROTATION ERROR"},  {49, "ENCODING ERROR"},
    {50, "MAGNETIC ERROR"},   {51, "COVER OPEN"},         {53, "NO ACCESS"},       {54, "SEQUENCE_ERROR"},
    {55, "ERROR PROX"},       {56, "ERROR CONTACT DATA"}, {57, "ERROR PROX DATA"}, {60, "FLASH ERROR"},
};
static_assert(sizeof kWords / sizeof kWords[0] == 40);
}  // namespace

const char *statusWord(int code) {
  for (const auto &row : kWords)
    if (row.code == code) return row.word;
  return "Unknown Error Code";
}

bool isKnownErrorCode(int code) {
  for (const auto &row : kWords)
    if (row.code == code) return true;
  return false;
}

ErrorClass classOf(int code) {
  switch (code) {
    case err::kOutOfRibbon:
    case err::kOutOfCard:
    case err::kInsertCard: return ErrorClass::kMedia;
    case err::kTemperature:
    case err::kMechanical:
    case 5:
    case 6:
    case err::kHeadOpen:
    case 8:
    case err::kRemoveRibbon:
    case 43:
    case err::kRotation:
    case err::kCoverOpen: return ErrorClass::kMechanical;
    default: return ErrorClass::kOther;
  }
}

bool discardsCommand(int code) {
  return (code >= 10 && code <= 14) || (code >= 20 && code <= 22) || (code >= 30 && code <= 34) ||
         code == err::kParameter || code == err::kSequence || code == err::kFlash || code == err::kBlankTrack ||
         code == err::kMagnetic || code == err::kRemoveRibbon || code == err::kCheckRibbon;
}

RibbonKind ribbonKindOfCode(int code) {
  switch (code) {
    case 1: return RibbonKind::kMono;
    case 2:
    case 14:
    case 30: return RibbonKind::kYMCKO;
    case 3:
    case 15: return RibbonKind::kYMCK;
    case 4: return RibbonKind::kYMCKK;
    case 5: return RibbonKind::kYMCKOK;
    case 6: return RibbonKind::kYMC;
    case 7:
    case 8:
    case 9:
    case 10:
    case 11:
    case 12:
    case 13: return RibbonKind::kResinK;
    case 16: return RibbonKind::kKdO;
    case 17: return RibbonKind::kKrO;
    case 18: return RibbonKind::kScratchOff;
    case 19:
    case 20: return RibbonKind::kHologram;
    case 21: return RibbonKind::kClearVarnish;
    case 22:
    case 25: return RibbonKind::kYMCKUv;
    case 23:
    case 24:
    case 26:
    case 27: return RibbonKind::kYMCUvK;
    case 28: return RibbonKind::kKd;
    default: return RibbonKind::kUnknown;
  }
}

const char *ribbonName(RibbonKind kind) {
  switch (kind) {
    case RibbonKind::kYMCKO: return "YMCKO";
    case RibbonKind::kResinK: return "Kresin";
    case RibbonKind::kKdO: return "KdO";
    case RibbonKind::kKrO: return "KrO";
    case RibbonKind::kHologram: return "Hologram";
    case RibbonKind::kYMC: return "YMC";
    case RibbonKind::kYMCK: return "YMCK";
    case RibbonKind::kYMCKK: return "YMCKK";
    case RibbonKind::kYMCKOK: return "YMCKOK";
    case RibbonKind::kClearVarnish: return "Clear Varnish";
    case RibbonKind::kScratchOff: return "Scratch Off";
    case RibbonKind::kYMCKUv: return "YMCKUv";
    case RibbonKind::kYMCUvK: return "YMCUvK";
    case RibbonKind::kKd: return "Kd";
    case RibbonKind::kMono: return "monochrome";
    case RibbonKind::kUnknown: break;
  }
  return "unknown";
}

}  // namespace cardemu
