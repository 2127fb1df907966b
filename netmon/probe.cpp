#include "netmon/probe.h"

#include <algorithm>
#include <cstring>

namespace card::net {
namespace {

constexpr uint8_t kTagInteger = 0x02;
constexpr uint8_t kTagOctetString = 0x04;
constexpr uint8_t kTagNull = 0x05;
constexpr uint8_t kTagOid = 0x06;
constexpr uint8_t kTagSequence = 0x30;
constexpr uint8_t kTagGetRequest = 0xA0;
constexpr uint8_t kTagGetResponse = 0xA2;

// Type, length, value; the probe's pieces are all shorter than 128 bytes, so
// the short length form is enough here.
std::vector<uint8_t> tlv(uint8_t tag, const std::vector<uint8_t> &value) {
  std::vector<uint8_t> out(2 + value.size());
  out[0] = tag;
  out[1] = static_cast<uint8_t>(value.size());
  std::copy(value.begin(), value.end(), out.begin() + 2);
  return out;
}

std::vector<uint8_t> integer(int32_t v) {
  // Shortest two's-complement form: drop leading bytes that only repeat the
  // sign of the next one.
  uint8_t bytes[4];
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (24 - 8 * i));
  int first = 0;
  while (first < 3 &&
         ((bytes[first] == 0 && !(bytes[first + 1] & 0x80)) || (bytes[first] == 0xFF && (bytes[first + 1] & 0x80))))
    ++first;
  return tlv(kTagInteger, std::vector<uint8_t>(bytes + first, bytes + 4));
}

std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto &p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// A cursor over BER bytes that refuses to step past its end.
struct Reader {
  const uint8_t *p;
  size_t left;

  // Reads one element's tag and content; false when truncated or malformed.
  bool next(uint8_t &tag, const uint8_t *&content, size_t &size) {
    if (left < 2) return false;
    tag = p[0];
    size_t len = p[1];
    size_t header = 2;
    if (len & 0x80) {
      size_t count = len & 0x7F;
      if (count == 0 || count > 2 || left < 2 + count) return false;
      len = 0;
      for (size_t i = 0; i < count; ++i) len = (len << 8) | p[2 + i];
      header += count;
    }
    if (len > left - header) return false;
    content = p + header;
    size = len;
    p += header + len;
    left -= header + len;
    return true;
  }
  bool expect(uint8_t want, Reader &inner) {
    uint8_t tag;
    const uint8_t *c;
    size_t n;
    if (!next(tag, c, n) || tag != want) return false;
    inner = {c, n};
    return true;
  }
  bool readInteger(int32_t &v) {
    Reader r{nullptr, 0};
    if (!expect(kTagInteger, r) || r.left == 0 || r.left > 4) return false;
    uint32_t u = (r.p[0] & 0x80) ? 0xFFFFFFFFu : 0;
    for (size_t i = 0; i < r.left; ++i) u = (u << 8) | r.p[i];
    v = static_cast<int32_t>(u);
    return true;
  }
};

}  // namespace

std::vector<uint8_t> probeRequest() {
  // 1.3.6.1.2.1.1.1.0: the first two arcs share one byte (40 * 1 + 3).
  const std::vector<uint8_t> oid{0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01, 0x00};
  const std::vector<uint8_t> community(kProbeCommunity, kProbeCommunity + std::strlen(kProbeCommunity));
  auto varBind = tlv(kTagSequence, concat({tlv(kTagOid, oid), tlv(kTagNull, {})}));
  auto pdu =
      tlv(kTagGetRequest, concat({integer(kProbeRequestId), integer(0), integer(0), tlv(kTagSequence, varBind)}));
  return tlv(kTagSequence, concat({integer(0), tlv(kTagOctetString, community), pdu}));
}

std::optional<SnmpResponse> readGetResponse(const uint8_t *reply, size_t length) {
  if (!reply) return std::nullopt;
  Reader top{reply, length}, msg{nullptr, 0}, s{nullptr, 0}, pdu{nullptr, 0}, list{nullptr, 0}, bind{nullptr, 0};
  SnmpResponse r;
  if (!top.expect(kTagSequence, msg) || !msg.readInteger(r.version)) return std::nullopt;
  if (!msg.expect(kTagOctetString, s)) return std::nullopt;
  r.community.assign(s.p, s.p + s.left);
  if (!msg.expect(kTagGetResponse, pdu)) return std::nullopt;
  if (!pdu.readInteger(r.requestId) || !pdu.readInteger(r.errorStatus) || !pdu.readInteger(r.errorIndex))
    return std::nullopt;
  if (!pdu.expect(kTagSequence, list) || !list.expect(kTagSequence, bind)) return std::nullopt;
  Reader oid{nullptr, 0};
  if (!bind.expect(kTagOid, oid)) return std::nullopt;
  r.oid.assign(oid.p, oid.p + oid.left);
  const uint8_t *c;
  size_t n;
  if (!bind.next(r.valueTag, c, n)) return std::nullopt;
  r.value.assign(c, c + n);
  return r;
}

}  // namespace card::net
