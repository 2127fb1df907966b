// Everything the network monitor's core reads from outside, fed the same
// bytes: the printer's replies on the status channel, the SNMP agent's reply
// to the reachability probe, and the transceive inputs callers of the port
// administration pass in.  The input's first byte picks the reader; the rest
// is its input.  Returns what went wrong, or null.  Used by the libFuzzer
// target and by the corpus replay of the normal suite.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "netmon/port_config.h"
#include "netmon/probe.h"
#include "netmon/status_channel.h"
#include "shared/wire_format.h"

namespace card::net::fuzz {

enum class Reader : uint8_t { StatusReply, SnmpReply, XcvInput, Count };

inline constexpr size_t kStatusByteOffset = 10;
inline constexpr size_t kStatusReplyBytes = 12;

inline const char *checkStatusReply(const uint8_t *reply, size_t size) {
  const StatusPoll p = readStatusPoll(reply, size);
  const bool usable = size > kStatusByteOffset && reply[0] == kAck;
  if (!usable && (p.status != 0 || p.ready || p.isStatus)) return "status taken from a reply that carries none";
  if (usable && p.status != reply[kStatusByteOffset]) return "status byte not the one at offset 10";
  // Ready: 0x58 or 0xD8 (ready, with or without the busy bit), then EOT.
  const bool ready = usable && size > kStatusByteOffset + 1 && reply[kStatusByteOffset + 1] == kEot &&
                     (reply[kStatusByteOffset] == 0x58 || reply[kStatusByteOffset] == 0xD8);
  if (p.ready != ready) return ready ? "a ready printer reported not ready" : "reported ready when not";
  const bool exact = size == kStatusReplyBytes && reply[0] == kAck && reply[kStatusReplyBytes - 1] == kEot;
  if (p.isStatus != exact) return "the exact reply form misjudged";
  return nullptr;
}

// BER as an agent writes it: definite lengths, the long form from 128 bytes.
inline void putTlv(std::vector<uint8_t> &out, uint8_t tag, const std::vector<uint8_t> &value) {
  out.push_back(tag);
  const size_t n = value.size();
  if (n < 0x80) {
    out.push_back(static_cast<uint8_t>(n));
  } else if (n <= 0xFF) {
    out.push_back(0x81);
    out.push_back(static_cast<uint8_t>(n));
  } else {
    out.push_back(0x82);
    out.push_back(static_cast<uint8_t>(n >> 8));
    out.push_back(static_cast<uint8_t>(n));
  }
  out.insert(out.end(), value.begin(), value.end());
}

inline std::vector<uint8_t> berInteger(int32_t v) {
  std::vector<uint8_t> bytes;
  for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> shift));
  // Shortest two's-complement form.
  while (bytes.size() > 1 && ((bytes[0] == 0x00 && !(bytes[1] & 0x80)) || (bytes[0] == 0xFF && (bytes[1] & 0x80))))
    bytes.erase(bytes.begin());
  std::vector<uint8_t> out;
  putTlv(out, 0x02, bytes);
  return out;
}

// A GetResponse that carries exactly what was read from a reply.
inline std::vector<uint8_t> encodeGetResponse(const SnmpResponse &r) {
  std::vector<uint8_t> bind, list, pdu, msg, out;
  putTlv(bind, 0x06, r.oid);
  putTlv(bind, r.valueTag, r.value);
  putTlv(list, 0x30, bind);
  for (int32_t v : {r.requestId, r.errorStatus, r.errorIndex}) {
    const auto i = berInteger(v);
    pdu.insert(pdu.end(), i.begin(), i.end());
  }
  putTlv(pdu, 0x30, list);
  msg = berInteger(r.version);
  putTlv(msg, 0x04, r.community);
  putTlv(msg, 0xA2, pdu);
  putTlv(out, 0x30, msg);
  return out;
}

inline bool sameResponse(const SnmpResponse &a, const SnmpResponse &b) {
  return a.version == b.version && a.community == b.community && a.requestId == b.requestId &&
         a.errorStatus == b.errorStatus && a.errorIndex == b.errorIndex && a.oid == b.oid && a.valueTag == b.valueTag &&
         a.value == b.value;
}

inline bool contains(const uint8_t *data, size_t size, const std::vector<uint8_t> &part) {
  if (part.empty()) return true;
  return std::search(data, data + size, part.begin(), part.end()) != data + size;
}

// A response whose fields come from the input, written as an agent would:
// the reader must give every field back (integer signs, long lengths).
inline const char *checkSnmpFields(const uint8_t *in, size_t size) {
  size_t at = 0;
  auto byte = [&] { return at < size ? in[at++] : uint8_t(0); };
  // One to four bytes, sign-extended, so that small negative values (the
  // short encodings) are as common as large ones.
  auto integer = [&] {
    const int n = 1 + byte() % 4;
    uint32_t v = byte();
    v = (v & 0x80) ? v | 0xFFFFFF00u : v;
    for (int i = 1; i < n; ++i) v = (v << 8) | byte();
    return static_cast<int32_t>(v);
  };
  auto bytes = [&](size_t n) {
    n = std::min(n, size - std::min(at, size));
    std::vector<uint8_t> b(in + at, in + at + n);
    at += n;
    return b;
  };
  SnmpResponse r;
  r.version = integer();
  r.requestId = integer();
  r.errorStatus = integer();
  r.errorIndex = integer();
  r.valueTag = byte();
  r.community = bytes(byte());
  r.oid = bytes(byte() % 32);
  r.value = bytes(size);
  const auto encoded = encodeGetResponse(r);
  const auto back = readGetResponse(encoded.data(), encoded.size());
  if (!back) return "a well-formed response refused";
  if (!sameResponse(r, *back)) return "a response's fields read wrongly";
  return nullptr;
}

inline const char *checkSnmpReply(const uint8_t *reply, size_t size) {
  if (const char *bad = checkSnmpFields(reply, size)) return bad;
  const auto r = readGetResponse(reply, size);
  if (!r) return nullptr;
  if (size == 0 || reply[0] != 0x30) return "a response read from something that is no message";
  if (r->community.size() + r->oid.size() + r->value.size() > size) return "more read than the reply holds";
  if (!contains(reply, size, r->community) || !contains(reply, size, r->oid) || !contains(reply, size, r->value))
    return "a field not taken from the reply";
  // What was read, written again as an agent would, reads back the same: the
  // reader neither drops nor invents anything (integer signs included).
  if (r->oid.size() + r->value.size() + r->community.size() < 0xFF00) {
    const auto again = encodeGetResponse(*r);
    const auto back = readGetResponse(again.data(), again.size());
    if (!back) return "a well-formed response refused";
    if (!sameResponse(*r, *back)) return "a response read back differently";
  }
  return nullptr;
}

inline const char *checkXcvInput(const uint8_t *input, size_t size) {
  const auto name = nameFromInput(input, size);
  if (name) {
    if (size % 2) return "a name from an input of odd size";
    if ((name->size() + 1) * sizeof(char16_t) > size) return "a name longer than its input";
    if (name->find(u'\0') != std::u16string::npos) return "a terminator inside the name";
    char16_t end;
    std::memcpy(&end, input + name->size() * sizeof(char16_t), sizeof end);
    if (end != 0) return "a name not ended at its terminator";
  }
  const uint32_t addPort = checkAddPortInput(input, size);
  if (addPort != kErrorSuccess && addPort != kErrorInvalidParameter) return "AddPort input: an unexpected error";
  if (addPort == kErrorSuccess) {
    if (!name || (name->size() + 1) * sizeof(char16_t) != size) return "AddPort input with more than the name";
    if (checkPortName(*name) != kErrorSuccess) return "AddPort takes a name the monitor cannot keep";
  }

  // The same input read as a command name.
  const XcvCommand c = name ? xcvCommandFor(*name) : XcvCommand::Unknown;
  if (c == XcvCommand::Unknown && checkXcvAccess(c, 0xFFFFFFFFu) != kErrorInvalidParameter)
    return "an unknown command accepted";
  const uint32_t needed = xcvOutputNeeded(c);
  uint32_t fromInput = 0;
  std::memcpy(&fromInput, input, std::min(size, sizeof fromInput));
  for (uint32_t outputSize : {0u, 1u, 3u, 4u, 51u, 52u, 0xFFFFFFFFu, fromInput}) {
    const SizeCheck s = checkXcvOutput(c, outputSize);
    if (outputSize >= needed ? s.error != kErrorSuccess : s.error != kErrorInsufficientBuffer)
      return "output size judged wrongly";
    if (s.error == kErrorInsufficientBuffer && s.needed != needed) return "a short output told the wrong size";
  }
  return nullptr;
}

inline const char *checkNetInput(const uint8_t *data, size_t size) {
  if (size == 0) return nullptr;
  const auto reader = static_cast<Reader>(data[0] % static_cast<uint8_t>(Reader::Count));
  ++data;
  --size;
  switch (reader) {
    case Reader::StatusReply: return checkStatusReply(data, size);
    case Reader::SnmpReply: return checkSnmpReply(data, size);
    case Reader::XcvInput: return checkXcvInput(data, size);
    case Reader::Count: break;
  }
  return nullptr;
}

}  // namespace card::net::fuzz
