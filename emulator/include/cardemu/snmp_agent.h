// The printer's SNMP version 1 agent as byte logic: a GetRequest datagram in,
// the GetResponse datagram out.  The network interface answers one object,
// the system description (1.3.6.1.2.1.1.1.0), with the printer's model text;
// monitors send it as a reachability probe and only look for an answer.
//
// Anything that is not a well-formed version 1 GetRequest with the agent's
// community gets no answer at all, as on the printer: a wrong community is
// not told apart from a lost datagram.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cardemu::snmp {

// BER tags of the messages the agent reads and writes.
constexpr uint8_t kInteger = 0x02;
constexpr uint8_t kOctetString = 0x04;
constexpr uint8_t kNull = 0x05;
constexpr uint8_t kObjectId = 0x06;
constexpr uint8_t kSequence = 0x30;
constexpr uint8_t kGetRequest = 0xA0;
constexpr uint8_t kGetResponse = 0xA2;

// Error status of a version 1 response.
constexpr int kNoError = 0;
constexpr int kTooBig = 1;
constexpr int kNoSuchName = 2;

// The encoded body of the object identifier 1.3.6.1.2.1.1.1.0.
const std::vector<uint8_t> &systemDescriptionOid();

// A GetRequest as it came: the request id's and the object identifiers'
// contents are kept as they were encoded, so the response repeats them
// byte for byte.
struct GetRequest {
  long version = 0;
  std::string community;
  std::vector<uint8_t> requestId;          // INTEGER contents, 1 to 4 bytes
  std::vector<std::vector<uint8_t>> oids;  // OBJECT IDENTIFIER contents, one per variable binding
};

// Nothing when the datagram is not a complete, well-formed GetRequest
// (trailing bytes, lengths past the end, unsupported length forms included).
std::optional<GetRequest> parseGetRequest(const uint8_t *bytes, size_t size);

// The agent's answer to one datagram; empty when it sends none.  A request
// for another object gets noSuchName with that binding's index, its bindings
// returned as they came, as version 1 agents do.
std::vector<uint8_t> answer(const uint8_t *bytes, size_t size, const std::string &community,
                            const std::string &description);

// A whole TLV: tag, definite length (short or long form) and contents.
std::vector<uint8_t> encodeTlv(uint8_t tag, const std::vector<uint8_t> &contents);

}  // namespace cardemu::snmp
