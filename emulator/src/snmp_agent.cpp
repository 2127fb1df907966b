#include "emulator/include/cardemu/snmp_agent.h"

namespace cardemu::snmp {

namespace {

// Reads one TLV at `at` inside [0, end): its tag, and where its contents
// start and end.  Only single-byte tags and definite lengths of up to four
// length bytes are accepted; the contents must lie inside the enclosing range.
struct Tlv {
  uint8_t tag = 0;
  size_t begin = 0;
  size_t end = 0;
};

bool readTlv(const uint8_t *b, size_t end, size_t &at, Tlv &out) {
  if (at >= end || end - at < 2) return false;
  out.tag = b[at++];
  if ((out.tag & 0x1F) == 0x1F) return false;  // multi-byte tag numbers: none in these messages
  size_t length = b[at++];
  if (length & 0x80) {
    const size_t count = length & 0x7F;
    if (count == 0 || count > 4 || end - at < count) return false;  // indefinite or too long
    length = 0;
    for (size_t i = 0; i < count; ++i) length = (length << 8) | b[at++];
  }
  if (length > end - at) return false;
  out.begin = at;
  out.end = at + length;
  at = out.end;
  return true;
}

bool readInteger(const uint8_t *b, size_t end, size_t &at, std::vector<uint8_t> &raw) {
  Tlv t;
  if (!readTlv(b, end, at, t) || t.tag != kInteger) return false;
  const size_t n = t.end - t.begin;
  if (n < 1 || n > 4) return false;
  raw.assign(b + t.begin, b + t.end);
  return true;
}

long integerValue(const std::vector<uint8_t> &raw) {
  long v = (raw[0] & 0x80) ? -1 : 0;
  for (uint8_t byte : raw) v = static_cast<long>((static_cast<unsigned long>(v) << 8) | byte);
  return v;
}

std::vector<uint8_t> integer(int value) {  // small non-negative values only
  return encodeTlv(kInteger, {static_cast<uint8_t>(value)});
}

void append(std::vector<uint8_t> &to, const std::vector<uint8_t> &more) {
  to.insert(to.end(), more.begin(), more.end());
}

}  // namespace

const std::vector<uint8_t> &systemDescriptionOid() {
  static const std::vector<uint8_t> oid = {0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01, 0x00};
  return oid;
}

std::vector<uint8_t> encodeTlv(uint8_t tag, const std::vector<uint8_t> &contents) {
  std::vector<uint8_t> out{tag};
  const size_t n = contents.size();
  if (n < 0x80) {
    out.push_back(static_cast<uint8_t>(n));
  } else {
    std::vector<uint8_t> len;
    for (size_t v = n; v; v >>= 8) len.insert(len.begin(), static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>(0x80 | len.size()));
    append(out, len);
  }
  append(out, contents);
  return out;
}

std::optional<GetRequest> parseGetRequest(const uint8_t *b, size_t size) {
  if (!b) return std::nullopt;
  GetRequest r;
  size_t at = 0;
  Tlv message;
  if (!readTlv(b, size, at, message) || message.tag != kSequence || message.end != size) return std::nullopt;
  at = message.begin;
  std::vector<uint8_t> version;
  if (!readInteger(b, message.end, at, version)) return std::nullopt;
  r.version = integerValue(version);
  Tlv community;
  if (!readTlv(b, message.end, at, community) || community.tag != kOctetString) return std::nullopt;
  r.community.assign(reinterpret_cast<const char *>(b + community.begin), community.end - community.begin);
  Tlv pdu;
  if (!readTlv(b, message.end, at, pdu) || pdu.tag != kGetRequest || pdu.end != message.end) return std::nullopt;
  at = pdu.begin;
  std::vector<uint8_t> errorStatus, errorIndex;
  if (!readInteger(b, pdu.end, at, r.requestId) || !readInteger(b, pdu.end, at, errorStatus) ||
      !readInteger(b, pdu.end, at, errorIndex))
    return std::nullopt;
  Tlv list;
  if (!readTlv(b, pdu.end, at, list) || list.tag != kSequence || list.end != pdu.end) return std::nullopt;
  at = list.begin;
  while (at < list.end) {
    Tlv binding, oid, value;
    if (!readTlv(b, list.end, at, binding) || binding.tag != kSequence) return std::nullopt;
    size_t in = binding.begin;
    if (!readTlv(b, binding.end, in, oid) || oid.tag != kObjectId || oid.begin == oid.end) return std::nullopt;
    if (!readTlv(b, binding.end, in, value) || in != binding.end) return std::nullopt;
    r.oids.emplace_back(b + oid.begin, b + oid.end);
  }
  return r;
}

std::vector<uint8_t> answer(const uint8_t *bytes, size_t size, const std::string &community,
                            const std::string &description) {
  const auto request = parseGetRequest(bytes, size);
  if (!request || request->version != 0 || request->community != community) return {};

  int errorStatus = kNoError, errorIndex = 0;
  std::vector<uint8_t> bindings;
  for (size_t i = 0; i < request->oids.size(); ++i) {
    const auto &oid = request->oids[i];
    std::vector<uint8_t> binding = encodeTlv(kObjectId, oid);
    if (oid == systemDescriptionOid()) {
      append(binding, encodeTlv(kOctetString, std::vector<uint8_t>(description.begin(), description.end())));
    } else {
      append(binding, encodeTlv(kNull, {}));
      if (errorStatus == kNoError) {
        errorStatus = kNoSuchName;
        errorIndex = static_cast<int>(i + 1 > 127 ? 127 : i + 1);
      }
    }
    append(bindings, encodeTlv(kSequence, binding));
  }
  if (errorStatus != kNoError) {
    // Version 1: an error response carries the request's bindings unchanged.
    bindings.clear();
    for (const auto &oid : request->oids) {
      std::vector<uint8_t> binding = encodeTlv(kObjectId, oid);
      append(binding, encodeTlv(kNull, {}));
      append(bindings, encodeTlv(kSequence, binding));
    }
  }

  auto build = [&](int status, int index, const std::vector<uint8_t> &list) {
    std::vector<uint8_t> pdu = encodeTlv(kInteger, request->requestId);
    append(pdu, integer(status));
    append(pdu, integer(index));
    append(pdu, encodeTlv(kSequence, list));
    std::vector<uint8_t> message = integer(0);
    append(message, encodeTlv(kOctetString, std::vector<uint8_t>(community.begin(), community.end())));
    append(message, encodeTlv(kGetResponse, pdu));
    return encodeTlv(kSequence, message);
  };
  auto out = build(errorStatus, errorIndex, bindings);
  // The smallest datagram every agent must be able to send: beyond it, tooBig.
  constexpr size_t kLargestAnswer = 484;
  if (out.size() > kLargestAnswer) out = build(kTooBig, 0, {});
  return out;
}

}  // namespace cardemu::snmp
