// What the device sheet and its dialogs make of the printer's replies: good
// replies, the device information texts, the smart-card option, the
// single-feed status, and the enabling of the device sheet's buttons.  Pure
// rules; the questions are asked by the glue (device_dialogs.cpp,
// device_sheet.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace card::cfg {

// The queries of the device information dialog and the single-feed dialog.
inline constexpr std::string_view kQueryRibbon = "\x1b!RIBBON\r";
inline constexpr std::string_view kQueryRibbonLength = "\x1b!RIBLEN\r";
inline constexpr std::string_view kQueryVersion = "\x1bV\r";
inline constexpr std::string_view kQuerySerial = "\x1b%SERIE\r";
inline constexpr std::string_view kQueryEncoder = "\x1b!V 20\r";
inline constexpr std::string_view kQueryPanels = "\x1b!NL\r";
inline constexpr std::string_view kQueryHeadResistance = "\x1b!V 15\r";
inline constexpr std::string_view kQuerySingleFeed =
    "\x1b"
    "ATM 1 1\r";
inline constexpr std::string_view kCmdSingleFeedOn =
    "\x1b"
    "ATM 1\r";
inline constexpr std::string_view kCmdSingleFeedOff =
    "\x1b"
    "ATM 0\r";
// The raw job of a printer whose ribbon is chosen by hand: feed mode first.
inline constexpr std::string_view kJobSingleFeedOn =
    "\x1b"
    "FS 1\r\x1b"
    "ATM 1\r";
inline constexpr std::string_view kJobSingleFeedOff =
    "\x1b"
    "ATM 0\r";

// A reply the printer accepted ends with the acknowledgement byte; `text` is
// the reply without it, up to its first NUL.  False (and `text` empty) for
// any other reply.
bool goodReply(const uint8_t *reply, size_t length, std::string &text);

// What one query gave: whether the call succeeded, and its bytes.
struct QueryResult {
  bool succeeded = false;
  std::string bytes;
};
using DeviceQuery = std::function<QueryResult(std::string_view command)>;
// The ribbon name table's entry for a ribbon reply ("Unknown" when none).
using RibbonNameLookup = std::function<std::string(const std::string &ribbonReply)>;

// The texts of the device information dialog, in 8-bit text as the printer
// gave them.
struct DeviceInfoTexts {
  std::string ribbon;          // 1990
  std::string remaining;       // 1991
  std::string model;           // 1003
  std::string serial;          // 1004
  std::string encoder;         // 1005
  std::string smartCard;       // 1218
  std::string panels;          // 1008
  std::string headResistance;  // 1001
};
// Asks the printer in the dialog's order and fills the texts.  A printer
// that gives no ribbon reply at all is not asked anything more: ribbon
// "Unknown", remaining "N/A", everything else empty.
DeviceInfoTexts readDeviceInfo(const DeviceQuery &query, const RibbonNameLookup &ribbonName);

// The remaining count: a good reply unless it begins with "0"; "N/A"
// otherwise.
std::string remainingCountText(bool good, const std::string &text);

// The panels printed, from a good reply: the text up to its first blank,
// without a leading "!", read as a decimal number.  False when no digits
// follow (or the number does not fit).
bool panelsPrinted(const std::string &text, uint64_t &count);

// The smart-card option the model reply names ("Contact Encoder" ...), or
// "No".
const char *smartCardOption(const std::string &modelReply);

// An encoder is present when the good reply to "\e!V 20\r" begins with "1".
bool encoderReported(bool good, const std::string &text);

// The single-feed state from the reply to "\eATM 1 1\r": the string
// numbers of "Enabled" (38), "Disabled" (36) and "Unknown" (37).
constexpr unsigned kIdsDisabled = 36;
constexpr unsigned kIdsUnknown = 37;
constexpr unsigned kIdsEnabled = 38;
unsigned singleFeedStatus(bool good, const std::string &text);

// The device sheet's buttons that depend on the printer.
struct DeviceSheetEnabling {
  bool encoderSettings = true;
  bool firmwareDownload = true;
};
// `modelAnswered`: item 0 shows the printer's model (not the driver's name).
DeviceSheetEnabling deviceSheetEnabling(bool hasEncoder, uint16_t ribbonId, bool modelAnswered);

}  // namespace card::cfg
