#include "netmon/status_channel.h"

#include "shared/status_protocol.h"
#include "shared/wire_format.h"

namespace card::net {

StatusPoll readStatusPoll(const uint8_t *reply, size_t length) {
  auto r = status::readStatusChannelReply(reply, length);
  StatusPoll p;
  p.status = r.status;
  p.ready = r.ready;
  p.isStatus = reply && length == status::kStatusChannelEotOffset + 1 && reply[0] == kAck &&
               reply[status::kStatusChannelEotOffset] == kEot;
  return p;
}

std::string_view resetRequest() {
  static constexpr std::string_view kRequest =
      "POST /server/resetok.htm+generr.htm HTTP/1.1\r\n"
      "Authorization: Basic QkNERUZHSElKSw==\r\n"
      "Content-Length: 32\r\n"
      "\r\n"
      "%7B%2C.%3AOID_H+ESI.2.2.0+2%7D=2";
  static_assert(kRequest.size() < kResetRequestBufferBytes);
  return kRequest;
}

}  // namespace card::net
