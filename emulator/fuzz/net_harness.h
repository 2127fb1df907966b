// Arbitrary bytes through the network interface's parsers: as an SNMP
// datagram, and as web requests cut in pieces of changing sizes.  Neither may
// crash, read out of bounds or answer what it must not.  Shared by the fuzz
// target and the random-input test of the normal suite.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "emulator/include/cardemu/http_endpoint.h"
#include "emulator/include/cardemu/snmp_agent.h"

namespace cardemu::fuzz {

inline bool runSnmp(const uint8_t *data, size_t size, std::string *what) {
  const auto reply = snmp::answer(data, size, "kestra", "CA3 0iD MAG V3.02");
  if (reply.empty()) return true;
  // Whatever is answered must itself be a well-formed message.
  if (reply.size() > 484 || reply[0] != snmp::kSequence) {
    *what = "the agent answered with a malformed or oversized message";
    return false;
  }
  const auto request = snmp::parseGetRequest(data, size);
  if (!request || request->community != "kestra" || request->version != 0) {
    *what = "the agent answered a request it must drop";
    return false;
  }
  return true;
}

inline bool runHttp(const uint8_t *data, size_t size, std::string *what) {
  http::RequestReader reader;
  uint32_t rng = static_cast<uint32_t>(size) * 2246822519u + 7;
  size_t at = 0;
  while (at < size && reader.state() == http::RequestReader::State::kNeedMore) {
    rng = rng * 1664525u + 1013904223u;
    const size_t piece = 1 + (rng >> 8) % 97;
    const size_t n = piece < size - at ? piece : size - at;
    size_t used = 0;
    reader.feed(data + at, n, &used);
    if (used > n) {
      *what = "the reader used more bytes than it was given";
      return false;
    }
    at += used;
    if (used < n && reader.state() == http::RequestReader::State::kNeedMore) {
      *what = "the reader stopped short without an outcome";
      return false;
    }
  }
  const auto &r = reader.request();
  if (r.body.size() > http::kMaxBody) {
    *what = "a body past the bound was kept";
    return false;
  }
  const http::Reply reply =
      reader.state() == http::RequestReader::State::kComplete
          ? http::answer(r)
          : (reader.state() == http::RequestReader::State::kBad ? http::answerBad(reader.badStatus()) : http::Reply{});
  if (reply.resetInterface && (r.method != "POST" || r.target != http::kResetTarget || r.body != http::kResetBody)) {
    *what = "a reset was accepted for another request";
    return false;
  }
  return true;
}

}  // namespace cardemu::fuzz
