// The printer's side of its small command language: control bytes, error
// codes, line status bits and the card geometry every panel image uses.
//
// The driver package defines the same wire format once for its modules
// (shared/wire_format.h); the emulator keeps its own definitions on purpose.
// It stands for the printer, a device of its own, and is the oracle the
// driver's output is checked against: were both to read one header, a wrong
// value there would be written and accepted alike and no test would see it.
#pragma once

#include <cstdint>
#include <string>

namespace cardemu {

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;
constexpr uint8_t kEot = 0x04;
constexpr uint8_t kBitEscape = 0x5B;  // "[": sent twice inside bit data, a single one starts a pair

// Every panel image arrives as 1024 lines of 640 dots; the card itself is kept
// in its landscape frame, 1024 dots wide and 640 high, x to the right, y down.
constexpr int kLines = 1024;
constexpr int kDotsPerLine = 640;
constexpr int kCardWidth = 1024;
constexpr int kCardHeight = 640;
constexpr int kCardDots = kCardWidth * kCardHeight;

// Wire sizes of the image blocks.
constexpr int kPlaneLineBytes = 432;                    // 214 words + 4 zero bytes
constexpr int kPlaneBytes = kPlaneLineBytes * kLines;   // 442368
constexpr int kBitLineBytes = kDotsPerLine / 8;         // 80
constexpr int kBitImageBytes = kBitLineBytes * kLines;  // 81920

// Line status byte.
constexpr uint8_t kLineNoError = 0x08;
constexpr uint8_t kLineSelected = 0x10;
constexpr uint8_t kLineMediaOut = 0x20;
constexpr uint8_t kLineBusy = 0x80;
// The network interface reports the same byte with this bit set while it is up.
constexpr uint8_t kNetworkUp = 0x40;

// Error codes the printer reports after NAK.  The values are the ones of the
// status table that the monitors share; the names say how this printer uses them.
namespace err {
constexpr int kOutOfRibbon = 1;
constexpr int kTemperature = 2;
constexpr int kMechanical = 3;
constexpr int kOutOfCard = 4;
constexpr int kCardInEncoder = 5;
constexpr int kCardNotInEncoder = 6;
constexpr int kHeadOpen = 7;
constexpr int kRemoveRibbon = 9;
constexpr int kUnknownCommand = 10;    // command word not known to this model
constexpr int kMalformedCommand = 11;  // parameters missing, extra or not numbers; ESC inside a command
constexpr int kCommandTooLong = 12;    // no CR within the command length limit
constexpr int kBadImageData = 13;      // image block data that breaks its format
constexpr int kStrayBytes = 14;        // bytes outside any command
constexpr int kInsertCard = 16;
constexpr int kCheckRibbon = 35;  // installed ribbon has no panel of that kind
constexpr int kParameter = 40;    // parameter value out of range
constexpr int kEncoding = 41;
constexpr int kReading = 42;
constexpr int kMagnetic = 44;  // no magnetic encoder fitted
constexpr int kBlankTrack = 45;
constexpr int kRotation = 47;
constexpr int kEncoderFailure = 49;  // the encoder could not write the stripe
constexpr int kCoverOpen = 51;
constexpr int kSequence = 54;  // command out of order (image data without header ...)
constexpr int kFlash = 60;     // firmware image refused
}  // namespace err

// The status word of an error code as the printer's panel would show it;
// "Unknown Error Code" for a code outside the table.
const char *statusWord(int code);
bool isKnownErrorCode(int code);

// How an error shows in the line status byte.
enum class ErrorClass { kMedia, kMechanical, kOther };
ErrorClass classOf(int code);

// Errors that the printer's button clears by giving up the failed command
// (it was wrong); for every other error the button retries it.
bool discardsCommand(int code);

// Printer ribbon codes (as "\e!RIBBON" reports them) to ribbon kinds.
enum class RibbonKind : uint8_t {
  kYMCKO = 0,
  kResinK = 1,
  kKdO = 2,
  kKrO = 3,
  kHologram = 4,
  kYMC = 5,
  kYMCK = 6,
  kYMCKK = 7,
  kYMCKOK = 8,
  kClearVarnish = 9,
  kScratchOff = 10,
  kYMCKUv = 11,
  kYMCUvK = 12,
  kKd = 13,
  kMono = 14,
  kUnknown = 15
};
RibbonKind ribbonKindOfCode(int code);
const char *ribbonName(RibbonKind kind);

}  // namespace cardemu
