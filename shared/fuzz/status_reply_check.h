// One pass of every printer reply reader over one input, checking what must
// hold for any reply whatever the printer (or a broken cable) sends.  Used by
// the libFuzzer target and by the deterministic random test of the normal
// suite; the readers must also never read past `length`, which the sanitizers
// watch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "shared/status_commands.h"
#include "shared/status_protocol.h"

namespace card::status {

// Returns false and names the broken property in *what when one does not hold.
inline bool checkReplyReaders(const uint8_t *data, size_t length, const char **what) {
  const char *dummy = nullptr;
  if (!what) what = &dummy;
  auto fail = [&](const char *w) {
    *what = w;
    return false;
  };

  ReplyKind kind = classifyReply(data, length);
  if ((kind == ReplyKind::Empty) != (length == 0)) return fail("empty classification");

  uint32_t full = readErrorCodeFull(data, length);
  uint32_t two = readErrorCodeTwoDigit(data, length);
  if (kind != ReplyKind::Error && (full != 0 || two != 0)) return fail("code from a non-error reply");
  if (kind == ReplyKind::Error && length >= 3 && data[1] >= '0' && data[1] <= '9' && data[2] >= '0' && data[2] <= '9' &&
      (length == 3 || data[3] < '0' || data[3] > '9') && two != full)
    return fail("two-digit and full readings disagree on a two-digit code");
  if (two > 99 && two != full) return fail("two-digit reading above 99 without the full reading");

  for (Monitor m : {Monitor::Usb, Monitor::Network}) {
    StatusLookup s = lookupStatus(full, m);
    if (!s.word || std::strlen(s.word) > kMaxStatusWord) return fail("status word too long");
    uint32_t message = messageForErrorReply(data, length, m);
    if (message != s.message) return fail("message differs from lookup");
    if (!s.known && message != defaultMessage(m)) return fail("unknown code without default");
  }

  ValueText t = readValueText(data, length);
  if (t.length > length || (t.acked && t.length >= length)) return fail("value text longer than reply");
  if (t.acked && data[t.length] != kAck) return fail("value text not ended by ACK");
  ValueNumber v = readValueNumber(data, length);
  if (v.acked != t.acked) return fail("value number and text disagree on ACK");
  (void)readLeadingNumber(data, length);

  StatusChannelReply sc = readStatusChannelReply(data, length);
  if (sc.ready && (length < 12 || data[0] != kAck)) return fail("status channel ready from a short reply");

  // Replacing in a buffer of every capacity up to the reply's length (and one
  // beyond) must stay inside it.
  for (size_t cap = 0; cap <= length + 1 && cap <= 40; ++cap) {
    std::vector<uint8_t> buf(cap);
    size_t copy = length < cap ? length : cap;
    if (copy) std::memcpy(buf.data(), data, copy);
    size_t n = replaceErrorReplyByWord(buf.data(), cap, copy);
    if (n > cap) return fail("replaced reply longer than buffer");
  }

  (void)classifyCommand(data, length);
  (void)classifyQuery(data, length);
  (void)isResetCommand(data, length);
  uint32_t wait = replyWaitSeconds(data, length);
  if (wait != kReplyWaitDefault && wait != kReplyWaitLong && wait != kReplyWaitTestCard) return fail("reply wait");
  return true;
}

}  // namespace card::status
