// The commands the monitors send on their own, the query names they take from
// the configuration module (and the ones they answer themselves), the pause
// each job command earns before the printer is asked for its state, and the
// time the network monitor gives the printer to answer a command.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "shared/package_version.h"

namespace card::status {

// ---------------------------------------------------------------------------
// Commands the monitors send on their own (\033 is ESC).

inline constexpr std::string_view kCmdErrorReportUsb = "\033E 2\r";    // USB ports
inline constexpr std::string_view kCmdErrorReportOther = "\033E 1\r";  // other ports, network
inline constexpr std::string_view kCmdRibbon = "\033!RIBBON\r";
inline constexpr std::string_view kCmdVersion = "\033V\r";
inline constexpr std::string_view kCmdRibbonLength = "\033!RIBLEN\r";
inline constexpr std::string_view kCmdMaster = "\033MASTER\r";
inline constexpr std::string_view kCmdReset = "\033R\r";
inline constexpr std::string_view kCmdResetLong = "\033RESET\r";
inline constexpr std::string_view kCmdEnd = "\033.\r";
inline constexpr std::string_view kCmdFeedReset = "\033!FF 0\r";
inline constexpr std::string_view kCmdEject = "\033MO\r";
inline constexpr std::string_view kCmdEjectFeedReset = "\033MO\r\033!FF 0\r";
inline constexpr std::string_view kCmdFlush = "\033$F\r\033F\r";
inline constexpr std::string_view kCmdSlave = "\033SLAVE\r";
inline constexpr std::string_view kCmdReadyMessage = "\033DMSG READY\r";

// Job stream commands that more than one module writes: the renderer's card
// jobs and the configuration module's hologram job (with kCmdMaster and
// kCmdEject above).
inline constexpr std::string_view kCmdFlip = "\033MF\r";
inline constexpr std::string_view kCmdPrintHologram = "\033IH 31\r";

constexpr std::string_view errorReportRequest(bool usbPort) {
  return usbPort ? kCmdErrorReportUsb : kCmdErrorReportOther;
}

// A reset is exactly "\eR\r" or "\eRESET\r"; the same text followed by
// anything is an ordinary command.
bool isResetCommand(const uint8_t *cmd, size_t length);

// ---------------------------------------------------------------------------
// Query names (printer-data value names) and the answers given locally.

inline constexpr std::string_view kQueryFileVersion = "\033GetFileVersion\r";
inline constexpr std::string_view kQueryDocComplete = "\033IsDOCComplete\r";
inline constexpr std::string_view kQueryPortStatus = "\033CheckPortStatus\r";
inline constexpr std::string_view kQueryHidReady = "\033ISHIDREADY\r";
inline constexpr std::string_view kQueryHidDone = "\033HIDDONE\r";
inline constexpr std::string_view kQueryIsReady = "\033ISREADY\r";
inline constexpr std::string_view kQueryCheckStatus = "\033CHECK_STATUS\r";
inline constexpr std::string_view kQuerySoftReset = "\033SRESET\r";
inline constexpr std::string_view kQueryHardReset = "\033HRESET\r";
inline constexpr std::string_view kQueryClean = "\033CLEAN\r";
inline constexpr std::string_view kQueryJobStatus = "UISingleJobStatusString";

inline constexpr std::string_view kAnswerFileVersion = kPackageVersion;
inline constexpr std::string_view kAnswerDocComplete = "DOC_COMPLETE";
inline constexpr std::string_view kAnswerDocPending = "DOC_PENDING";
inline constexpr std::string_view kAnswerStatusSuccess = "STATUS_SUCCESS";
inline constexpr std::string_view kAnswerStatusFailed = "STATUS_FAILED";
// The network monitor's answers to "\eCLEAN\r": the first is followed by ACK,
// the second is given with its terminating zero (13 bytes).
inline constexpr std::string_view kAnswerCleanStarted = "Please wait for Clean sequence to finish";
inline constexpr std::string_view kAnswerCleanFailed = "Clean Failed";

enum class QueryKind : uint8_t {
  Other,  // an ordinary command for the printer
  FileVersion,
  DocComplete,
  PortStatus,
  HidReady,  // "\eISHIDREADY\r" and "\eHIDDONE\r"
  IsReady,
  CheckStatus,
  Reset,  // exactly "\eR\r" or "\eRESET\r"
  SoftReset,
  HardReset,
  Clean,      // exactly "\eCLEAN\r"
  JobStatus,  // "UISingleJobStatusString"
};

// Which query a value name (as bytes, without terminator) is; names are
// compared whole and with case.
QueryKind classifyQuery(const uint8_t *name, size_t length);

// The network monitor takes "\eCLEAN\r" anywhere in the name.
bool containsCleanQuery(const uint8_t *name, size_t length);

// ---------------------------------------------------------------------------
// Job command categories and the pause after each.

enum class CommandCategory : uint8_t {
  None = 0,  // no command classified yet
  Other = 1,
  Print = 2,        // ESC "I" ... CR: a panel is printed
  DataBlock = 4,    // "\eGS " header or "\eZ": image data follows
  EncodeEnd = 8,    // contains "\e&E*\r"
  TrackStart = 9,   // contains "\e&R\r"
  Move = 16,        // contains "\eM " or "\em "
  CardMotion = 32,  // contains "\eMF\r", "\eMO\r", "\eMI\r" or "\e# 1 TF "
};

struct CommandClass {
  CommandCategory category;
  // A command containing "G 0 0 10" asks for plain counting of the next block.
  bool rawCount;
};

// Classifies one whole command (ESC up to and including its CR); the first
// matching category wins.
CommandClass classifyCommand(const uint8_t *cmd, size_t length);

// Milliseconds to wait after a command of that category before asking the
// printer for its state.
uint32_t pauseAfter(CommandCategory category);

// ---------------------------------------------------------------------------
// Network reply waits, in seconds: the time the printer is given to answer a
// command on the data channel.

inline constexpr uint32_t kReplyWaitDefault = 4;
inline constexpr uint32_t kReplyWaitLong = 15;
inline constexpr uint32_t kReplyWaitTestCard = 75;  // "\eA": a whole test card is printed

uint32_t replyWaitSeconds(const uint8_t *cmd, size_t length);

// Byte-view helpers for callers that hold text.
inline const uint8_t *bytes(std::string_view s) { return reinterpret_cast<const uint8_t *>(s.data()); }

}  // namespace card::status
