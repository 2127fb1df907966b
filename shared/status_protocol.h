// The small command language both language monitors speak with the card
// printer outside of the job stream: control bytes, the forms a reply can take
// and how to read them, the line status byte the port reports, the table that
// turns a printer error code into a status word and a message number, and the
// queries the monitors answer without asking the printer.
//
// The USB monitor and the network monitor read these the same way, so the
// definitions live here once.  Everything is plain logic on bytes: no calls
// into the platform, so the emulator and the tests use it as well.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "shared/wire_format.h"

namespace card::status {

// The control bytes (ESC, CR, ACK, NAK, EOT) are those of the wire format.

// A command read from a command file is cut at this many bytes.
inline constexpr size_t kMaxFileCommandBytes = 127;

// ---------------------------------------------------------------------------
// Reply forms

enum class ReplyKind : uint8_t {
  Empty,  // nothing arrived (or the read timed out)
  Ack,    // exactly the single byte ACK
  Error,  // starts with NAK
  Value,  // anything else: text, normally ended by ACK
};

ReplyKind classifyReply(const uint8_t *reply, size_t length);

// An error code as the printer sends it.  Codes are 32-bit; a number too large
// for that reads as kUnreadableCode, which no table row carries.
inline constexpr uint32_t kUnreadableCode = 0xFFFFFFFFu;

// Two-digit reading of an error reply (NAK d d EOT): the two bytes after NAK
// are the tens and the units.  A reply too short to hold both digits, or whose
// two bytes are not both digits, is read with the full reading instead, so a
// short or one-digit reply never takes a terminator or a byte beyond the reply
// for a digit.  A reply that does not start with NAK reads as 0.
uint32_t readErrorCodeTwoDigit(const uint8_t *reply, size_t length);

// Full reading of an error reply: the bytes after NAK up to (not including)
// EOT, at most kFullReadingLimit of them, read as a decimal number from their
// leading digits (anything else ends the number; no digits at all read as 0).
// A reply that does not start with NAK reads as 0.
inline constexpr size_t kFullReadingLimit = 31;
uint32_t readErrorCodeFull(const uint8_t *reply, size_t length);

// A value reply: the text before the first ACK.  `acked` tells whether an ACK
// was there at all; without one the text is the whole reply.
struct ValueText {
  const uint8_t *text;
  size_t length;
  bool acked;
};
ValueText readValueText(const uint8_t *reply, size_t length);

// A numeric value reply ("12 " ACK, "5" ACK): the ACK goes, and one blank just
// before it goes too when the reply up to the ACK is longer than two bytes;
// the rest is read as a signed decimal number (leading blanks and a sign are
// taken, the first other byte ends it; out-of-range values saturate).
struct ValueNumber {
  int32_t value;
  bool acked;   // the reply was ended by ACK
  bool digits;  // at least one digit was read
};
ValueNumber readValueNumber(const uint8_t *reply, size_t length);

// The leading decimal digits of a reply (the remaining ribbon count), 0 when
// it starts with anything else; saturates at INT32_MAX.
int32_t readLeadingNumber(const uint8_t *text, size_t length);

// ---------------------------------------------------------------------------
// Line status byte

inline constexpr uint8_t kLineNoError = 0x08;
inline constexpr uint8_t kLineSelected = 0x10;
inline constexpr uint8_t kLineMediaOut = 0x20;
inline constexpr uint8_t kLineBusy = 0x80;  // network status channel only
inline constexpr uint8_t kLineIdle = 0x18;  // ready for the next command

constexpr bool lineIsReady(uint8_t b) { return (b & 0x28) == 0x08; }
constexpr bool lineIsOnLine(uint8_t b) { return (b & 0x38) == 0x18; }
// A job may start while media is out: the card feeder is checked later.
constexpr bool lineIsFitToStart(uint8_t b) { return (b & kLineMediaOut) != 0 || lineIsOnLine(b); }
constexpr bool lineIsIdle(uint8_t b) { return b == kLineIdle; }

// ---------------------------------------------------------------------------
// Status table and message numbers

enum class Monitor : uint8_t { Usb, Network };

// Message numbers of the resource library that the monitors use by name.
namespace msg {
inline constexpr uint32_t kUsbPrinterError = 2;  // USB default for an unknown error
inline constexpr uint32_t kOutOfRibbon = 4;
inline constexpr uint32_t kMechanicalError = 6;
inline constexpr uint32_t kUsbSyntaxError = 7;
inline constexpr uint32_t kOutOfCard = 31;
inline constexpr uint32_t kMagneticError = 51;
inline constexpr uint32_t kCommunication = 57;  // printer cannot be written or read
inline constexpr uint32_t kOffline = 59;        // job deleted, printer set to work offline
inline constexpr uint32_t kBinOpen = 2087;
inline constexpr uint32_t kBinSize = 2088;
inline constexpr uint32_t kUsbLowRibbon = 2206;
inline constexpr uint32_t kUsbNoRibbon = 2209;
inline constexpr uint32_t kCmdFileOpen = 2210;
inline constexpr uint32_t kCmdFileMemory = 2211;
inline constexpr uint32_t kCmdFileRead = 2212;
inline constexpr uint32_t kCmdReplyRead = 2213;
inline constexpr uint32_t kCmdWrite = 2214;
inline constexpr uint32_t kErrorRequestFailed = 8136;
inline constexpr uint32_t kNetFileOpen = 502;
inline constexpr uint32_t kNetMemory = 503;
inline constexpr uint32_t kNetFileSize = 509;
inline constexpr uint32_t kNetPrinterError = 510;  // network default for an unknown error
inline constexpr uint32_t kNetSyntaxError = 511;
inline constexpr uint32_t kNetMechanicalError = 512;
inline constexpr uint32_t kNetLowRibbon = 513;
inline constexpr uint32_t kNetNoRibbon = 514;
inline constexpr uint32_t kNetFileRead = 515;
inline constexpr uint32_t kNetPrinterRead = 516;
inline constexpr uint32_t kNetPrinterWrite = 517;
inline constexpr uint32_t kNetCaption = 547;
inline constexpr uint32_t kUsbCaption = 2541;
inline constexpr uint32_t kUsbOfflineCaption = 2542;
}  // namespace msg

struct StatusRow {
  uint32_t code;
  uint32_t message;
  const char *word;  // at most kMaxStatusWord characters
};

inline constexpr size_t kStatusRowCount = 40;
inline constexpr size_t kMaxStatusWord = 19;
extern const StatusRow kStatusTable[kStatusRowCount];

inline constexpr std::string_view kUnknownStatusWord = "Unknown Error Code";

// The message shown for an error whose code the table does not know.
constexpr uint32_t defaultMessage(Monitor m) {
  return m == Monitor::Usb ? msg::kUsbPrinterError : msg::kNetPrinterError;
}

struct StatusLookup {
  const char *word;  // the row's status word, or "Unknown Error Code"
  uint32_t message;  // the row's message, or the caller's default
  bool known;
};
StatusLookup lookupStatus(uint32_t code, uint32_t defaultMessage);
inline StatusLookup lookupStatus(uint32_t code, Monitor m) { return lookupStatus(code, defaultMessage(m)); }

// The message for an error reply as the monitors pick it: full reading, then
// the table, the monitor's default when no row matches.
uint32_t messageForErrorReply(const uint8_t *reply, size_t length, Monitor m);

// The message when no error code is to be had, from the line status byte.
uint32_t messageFromLineStatus(uint8_t line, Monitor m);

// Replaces an error reply in the caller's buffer by the status word of its
// code (two-digit reading) and returns the new reply length.  The word is cut
// to the buffer's capacity; a zero byte follows it when there is room (it is
// not counted).  Any other reply is left alone and its length returned.
size_t replaceErrorReplyByWord(uint8_t *buffer, size_t capacity, size_t length);

// ---------------------------------------------------------------------------
// Network status channel reply: ACK, nine bytes, the status byte, EOT.

inline constexpr size_t kStatusChannelByteOffset = 10;
inline constexpr size_t kStatusChannelEotOffset = 11;
inline constexpr uint8_t kNetReady = 0x58;
inline constexpr uint8_t kNetReadyBusy = 0xD8;

struct StatusChannelReply {
  uint8_t status;  // the byte at offset 10; 0 when the reply is not usable
  bool ready;      // 0x58 or 0xD8 with EOT at offset 11
};
StatusChannelReply readStatusChannelReply(const uint8_t *reply, size_t length);

}  // namespace card::status
