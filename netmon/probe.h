// The reachability probe: an SNMP version 1 GetRequest for the system
// description, sent by UDP to the printer.  Any reply at all counts as
// reachable; the GetResponse reader is there for callers that want the
// answer itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace card::net {

inline constexpr uint16_t kProbePort = 161;
inline constexpr int32_t kProbeRequestId = 0x1DAA;
inline constexpr char kProbeCommunity[] = "kestra";
inline constexpr size_t kProbeRequestBytes = 41;
inline constexpr size_t kProbeReceiveBytes = 4096;
inline constexpr int kProbeAttempts = 3;
inline constexpr int kProbeFirstPauseMs = 100;
inline constexpr int kProbeSecondPauseMs = 250;

// The 41-byte GetRequest for 1.3.6.1.2.1.1.1.0.
std::vector<uint8_t> probeRequest();

// The rule of the probe: any reply means the printer is reachable.
constexpr bool probeAnswered(size_t replyLength) { return replyLength > 0; }

struct SnmpResponse {
  int32_t version = 0;
  std::vector<uint8_t> community;
  int32_t requestId = 0;
  int32_t errorStatus = 0;
  int32_t errorIndex = 0;
  std::vector<uint8_t> oid;  // the first variable's object identifier, encoded
  uint8_t valueTag = 0;      // the first variable's value: its tag and bytes
  std::vector<uint8_t> value;
};

// Reads a GetResponse; every length is checked against the bytes at hand, and
// anything malformed, truncated or of another PDU type gives nothing.
std::optional<SnmpResponse> readGetResponse(const uint8_t *reply, size_t length);

}  // namespace card::net
