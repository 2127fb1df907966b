// The port administration rules of the network monitor that need no
// Windows: record signatures and sizes, the port name limit, the transceive
// command table with its access and buffer-size rules, and "PortIsValid"'s
// name rule.  Error results are Windows error codes, which the glue passes
// on unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace card::net {

// Windows error codes the rules hand back.
inline constexpr uint32_t kErrorSuccess = 0;
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorInvalidParameter = 87;
inline constexpr uint32_t kErrorInsufficientBuffer = 122;
inline constexpr uint32_t kErrorInvalidName = 123;
inline constexpr uint32_t kErrorInvalidLevel = 124;
inline constexpr uint32_t kErrorAlreadyExists = 183;

inline constexpr uint32_t kMonitorSignature = 0x004D4C49;  // "ILM"
inline constexpr uint32_t kPortSignature = 0x5450;
inline constexpr uint32_t kXcvSignature = 0x5843;

inline constexpr size_t kMaxPortNameChars = 247;
constexpr uint32_t portEntrySize(size_t nameChars) { return static_cast<uint32_t>(2 * nameChars + 2090); }
constexpr uint32_t xcvHandleSize(size_t nameChars) { return static_cast<uint32_t>(38 + 2 * nameChars); }

// The size field of the monitor's function table.
constexpr uint32_t monitorTableSize(bool windows2000OrLater) { return windows2000OrLater ? 76 : 88; }

// A port name the monitor can keep: 0, ERROR_INVALID_PARAMETER for no name,
// ERROR_INVALID_NAME above kMaxPortNameChars.
uint32_t checkPortName(std::u16string_view name);

// AddPortEx takes level 1 and 0xFFFFFFFF only.
constexpr uint32_t checkAddPortLevel(uint32_t level) {
  return level == 1 || level == 0xFFFFFFFFu ? kErrorSuccess : kErrorInvalidLevel;
}

enum class XcvCommand : uint8_t {
  Unknown,
  MonitorUi,
  ConfigureLptPortCommandOk,
  AddPort,
  DeletePort,
  PortExists,
  PortIsValid,
  GetTransmissionRetryTimeout,
  SetDefaultCommConfig,
  GetDefaultCommConfig,
};

// Exact match on the command name.
XcvCommand xcvCommandFor(std::u16string_view name);

// Bit 0 of the granted access, server administration.
inline constexpr uint32_t kServerAdministerAccess = 0x1;
bool xcvNeedsAdministrator(XcvCommand c);
// 0 or ERROR_ACCESS_DENIED; an unknown command is ERROR_INVALID_PARAMETER.
uint32_t checkXcvAccess(XcvCommand c, uint32_t grantedAccess);

inline constexpr std::u16string_view kMonitorUiModule = u"cardcfgnet.dll";
inline constexpr uint32_t kCommConfigBytes = 52;
inline constexpr uint32_t kSerialProviderSubtype = 1;

// The output a command needs, in bytes (0: none).
uint32_t xcvOutputNeeded(XcvCommand c);
struct SizeCheck {
  uint32_t error = kErrorSuccess;
  uint32_t needed = 0;  // reported with ERROR_INSUFFICIENT_BUFFER
};
SizeCheck checkXcvOutput(XcvCommand c, uint32_t outputSize);

// The UTF-16 name in a transceive input: the characters up to the first
// terminator; nothing when the input holds no terminated name or has an odd
// size.
std::optional<std::u16string> nameFromInput(const uint8_t *input, size_t size);

// "AddPort": the input must be exactly the name and its terminator, and the
// name one the monitor can keep.  0 or ERROR_INVALID_PARAMETER.
uint32_t checkAddPortInput(const uint8_t *input, size_t size);

enum class PortValidity : uint8_t {
  Valid,      // by its name alone
  FileCheck,  // valid when a file of that name can be opened for writing
};
PortValidity portIsValidByName(std::u16string_view name);

// "TransmissionRetryTimeout": decimal seconds; missing or unreadable is 45.
inline constexpr uint32_t kDefaultRetryTimeoutS = 45;
uint32_t parseRetryTimeout(std::u16string_view text);

}  // namespace card::net
