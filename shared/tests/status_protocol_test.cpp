// Reply readings, line status tests and the status table, with the expected
// codes, words and message numbers taken from the printer's documented
// protocol tables.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "shared/status_protocol.h"

using namespace card::status;

namespace {

// Replies are built into exactly sized vectors, so that a reader that looks
// past the reply trips the address sanitizer.
std::vector<uint8_t> R(std::string_view s) { return {s.begin(), s.end()}; }
const std::string kNakS(1, '\x15');
const std::string kEotS(1, '\x04');
const std::string kAckS(1, '\x06');

uint32_t two(std::string_view s) {
  auto r = R(s);
  return readErrorCodeTwoDigit(r.data(), r.size());
}
uint32_t full(std::string_view s) {
  auto r = R(s);
  return readErrorCodeFull(r.data(), r.size());
}

}  // namespace

TEST(StatusReplies, ErrorRepliesReadToWordAndMessage) {
  auto enc = R(kNakS + "41" + kEotS);
  EXPECT_EQ(readErrorCodeTwoDigit(enc.data(), enc.size()), 41u);
  EXPECT_EQ(readErrorCodeFull(enc.data(), enc.size()), 41u);
  EXPECT_STREQ(lookupStatus(41, Monitor::Usb).word, "ENCODING ERROR");
  EXPECT_EQ(messageForErrorReply(enc.data(), enc.size(), Monitor::Usb), 56u);

  auto unknown = R(kNakS + "99" + kEotS);
  StatusLookup u = lookupStatus(two(kNakS + "99" + kEotS), Monitor::Usb);
  EXPECT_STREQ(u.word, "Unknown Error Code");
  EXPECT_FALSE(u.known);
  EXPECT_EQ(messageForErrorReply(unknown.data(), unknown.size(), Monitor::Usb), 2u);
  EXPECT_EQ(messageForErrorReply(unknown.data(), unknown.size(), Monitor::Network), 510u);

  // Leading zero: out of card; magnetic error after the encoding command.
  auto outOfCard = R(kNakS + "04" + kEotS);
  EXPECT_EQ(messageForErrorReply(outOfCard.data(), outOfCard.size(), Monitor::Usb), 31u);
  auto magnetic = R(kNakS + "44" + kEotS);
  EXPECT_EQ(messageForErrorReply(magnetic.data(), magnetic.size(), Monitor::Network), 51u);

  // The two readings differ on longer codes: the two-digit one takes two.
  EXPECT_EQ(two(kNakS + "123" + kEotS), 12u);
  EXPECT_EQ(full(kNakS + "123" + kEotS), 123u);
  EXPECT_EQ(full(kNakS + "12x3" + kEotS), 12u);
  // Not an error reply at all.
  EXPECT_EQ(full("41" + kEotS), 0u);
  EXPECT_EQ(two(kAckS), 0u);
}

TEST(StatusReplies, FullReadingStopsAfter31Bytes) {
  // 31 bytes after NAK without EOT: all of them are read.
  EXPECT_EQ(full(kNakS + std::string(29, '0') + "41"), 41u);
  // 32 bytes: the last digit is past the limit.
  EXPECT_EQ(full(kNakS + std::string(30, '0') + "41"), 4u);
  EXPECT_EQ(full(kNakS + std::string(30, '0') + "41" + kEotS), 4u);
  // A number too large for 32 bits cannot land on a real code.
  uint32_t big = full(kNakS + "4294967337" + kEotS);  // 2^32 + 41
  EXPECT_EQ(big, kUnreadableCode);
  EXPECT_FALSE(lookupStatus(big, Monitor::Usb).known);
  EXPECT_EQ(full(kNakS + std::string(31, '9')), kUnreadableCode);
}

TEST(StatusReplies, RepliesOfLengthZeroToThree) {
  EXPECT_EQ(classifyReply(nullptr, 0), ReplyKind::Empty);
  auto ack = R(kAckS);
  EXPECT_EQ(classifyReply(ack.data(), ack.size()), ReplyKind::Ack);
  auto ackMore = R(kAckS + "x");
  EXPECT_EQ(classifyReply(ackMore.data(), ackMore.size()), ReplyKind::Value);

  // NAK alone carries no code.
  auto nak = R(kNakS);
  EXPECT_EQ(classifyReply(nak.data(), nak.size()), ReplyKind::Error);
  EXPECT_EQ(two(kNakS), 0u);
  EXPECT_EQ(messageForErrorReply(nak.data(), nak.size(), Monitor::Usb), 2u);
  // Two bytes: the one digit there is is the code.
  EXPECT_EQ(two(kNakS + "4"), 4u);
  EXPECT_EQ(full(kNakS + "4"), 4u);
  // A one-digit code ended by EOT is not read as 4 and EOT's low nibble.
  EXPECT_EQ(two(kNakS + "4" + kEotS), 4u);
  EXPECT_EQ(two(kNakS + "41"), 41u);

  auto five = R("5" + kAckS);
  ValueNumber v = readValueNumber(five.data(), five.size());
  EXPECT_TRUE(v.acked);
  EXPECT_EQ(v.value, 5);
  auto twelve = R("12" + kAckS);
  EXPECT_EQ(readValueNumber(twelve.data(), twelve.size()).value, 12);
}

TEST(StatusReplies, ValueReplies) {
  auto ribbon = R("12 " + kAckS);
  ValueNumber n = readValueNumber(ribbon.data(), ribbon.size());
  EXPECT_EQ(n.value, 12);
  EXPECT_TRUE(n.acked && n.digits);

  auto negative = R("-1" + kAckS);
  EXPECT_EQ(readValueNumber(negative.data(), negative.size()).value, -1);
  auto none = R(kAckS);
  n = readValueNumber(none.data(), none.size());
  EXPECT_TRUE(n.acked);
  EXPECT_FALSE(n.digits);
  auto noAck = R("7");
  n = readValueNumber(noAck.data(), noAck.size());
  EXPECT_FALSE(n.acked);
  EXPECT_EQ(n.value, 7);
  auto huge = R("99999999999" + kAckS);
  EXPECT_EQ(readValueNumber(huge.data(), huge.size()).value, INT32_MAX);

  auto model = R("CA3 v1.2" + kAckS + "junk");
  ValueText t = readValueText(model.data(), model.size());
  EXPECT_TRUE(t.acked);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(t.text), t.length), "CA3 v1.2");
  auto cut = R("CA3");
  t = readValueText(cut.data(), cut.size());
  EXPECT_FALSE(t.acked);
  EXPECT_EQ(t.length, 3u);

  auto count = R("015 left");
  EXPECT_EQ(readLeadingNumber(count.data(), count.size()), 15);
  auto words = R("none");
  EXPECT_EQ(readLeadingNumber(words.data(), words.size()), 0);
}

TEST(StatusLine, DerivedTests) {
  EXPECT_TRUE(lineIsFitToStart(0x18));
  EXPECT_TRUE(lineIsFitToStart(0x38));  // media out still lets a job start
  EXPECT_FALSE(lineIsFitToStart(0x10));
  EXPECT_FALSE(lineIsFitToStart(0x08));
  EXPECT_TRUE(lineIsIdle(0x18));
  EXPECT_FALSE(lineIsIdle(0x98));

  EXPECT_TRUE(lineIsReady(0x08));
  EXPECT_TRUE(lineIsReady(0x58));
  EXPECT_FALSE(lineIsReady(0x28));
  EXPECT_FALSE(lineIsReady(0x10));
  EXPECT_TRUE(lineIsOnLine(0x18));
  EXPECT_TRUE(lineIsOnLine(0xDF & ~0x20));
  EXPECT_FALSE(lineIsOnLine(0x38));
  EXPECT_FALSE(lineIsOnLine(0x08));

  struct {
    uint8_t line;
    uint32_t usb, net;
  } rows[] = {
      {0x28, 2, 510}, {0x08, 2, 510}, {0x20, 6, 512}, {0x00, 7, 511}, {0x18, 2, 510}, {0xF7, 6, 512}, {0xD7, 7, 511},
  };
  for (auto &r : rows) {
    EXPECT_EQ(messageFromLineStatus(r.line, Monitor::Usb), r.usb) << int(r.line);
    EXPECT_EQ(messageFromLineStatus(r.line, Monitor::Network), r.net) << int(r.line);
  }
}

TEST(StatusTable, EveryCodeToWordAndMessage) {
  struct Group {
    std::vector<uint32_t> codes;
    uint32_t message;
    const char *word;
  };
  const Group groups[] = {
      {{1}, 4, "OUT OF RIBBON"},
      {{2}, 6, "TEMPERATURE"},
      {{3}, 6, "MECHANICAL ERROR"},
      {{4}, 31, "OUT OF CARD"},
      {{5}, 32, "CARD_IN_ENCODER"},
      {{6}, 33, "CARD_NOT_IN_ENCODER"},
      {{7}, 8, "HEAD OPEN"},
      {{8}, 8, "HEAD OPEN"},
      {{9}, 53, "REMOVE RIBBON"},
      {{10, 11, 12, 13, 14}, 34, "COMMAND ERROR"},
      {{16}, 61, "INSERT CARD"},
      {{20, 21, 22}, 34, "COMMAND ERROR"},
      {{30, 31, 32, 33, 34}, 34, "COMMAND ERROR"},
      {{35}, 2208, "CHECK RIBBON"},
      {{40}, 47, "PARAMETERS ERROR"},
      {{41}, 56, "ENCODING ERROR"},
      {{42}, 104, "READING ERROR"},
      {{43}, 6, "MECHANICAL ERROR"},
      {{44}, 51, "MAGNETIC ERROR"},
      {{45}, 15, "BLANK TRACK"},
      {{47}, 2207, "ROTATION ERROR"},
      {{49}, 12, "ENCODING ERROR"},
      {{50}, 14, "MAGNETIC ERROR"},
      {{51}, 9, "COVER OPEN"},
      {{53}, 17, "NO ACCESS"},
      {{54}, 54, "SEQUENCE_ERROR"},
      {{55}, 63, "ERROR PROX"},
      {{56}, 64, "ERROR CONTACT DATA"},
      {{57}, 65, "ERROR PROX DATA"},
      {{60}, 16, "FLASH ERROR"},
  };
  size_t rows = 0;
  for (const Group &g : groups) {
    for (uint32_t code : g.codes) {
      ++rows;
      for (Monitor m : {Monitor::Usb, Monitor::Network}) {
        StatusLookup s = lookupStatus(code, m);
        EXPECT_TRUE(s.known) << code;
        EXPECT_STREQ(s.word, g.word) << code;
        EXPECT_EQ(s.message, g.message) << code;
      }
      // Through the reply, as the monitors read it.
      std::string digits = (code < 10 ? "0" : "") + std::to_string(code);
      auto reply = R(kNakS + digits + kEotS);
      EXPECT_EQ(messageForErrorReply(reply.data(), reply.size(), Monitor::Network), g.message);
    }
  }
  EXPECT_EQ(rows, 40u);
  EXPECT_EQ(kStatusRowCount, 40u);
  for (const StatusRow &row : kStatusTable) EXPECT_LE(std::string_view(row.word).size(), kMaxStatusWord);

  for (uint32_t code : {0u, 15u, 17u, 23u, 46u, 48u, 52u, 58u, 59u, 61u, 99u, 1000u, kUnreadableCode}) {
    StatusLookup usb = lookupStatus(code, Monitor::Usb);
    EXPECT_FALSE(usb.known) << code;
    EXPECT_STREQ(usb.word, "Unknown Error Code");
    EXPECT_EQ(usb.message, 2u);
    EXPECT_EQ(lookupStatus(code, Monitor::Network).message, 510u);
    EXPECT_EQ(lookupStatus(code, 1234u).message, 1234u);
  }
}

TEST(StatusReplies, ErrorReplyReplacedByWordWithinBuffer) {
  uint8_t buf[32] = {0x15, '4', '1', 0x04};
  size_t n = replaceErrorReplyByWord(buf, sizeof buf, 4);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), n), "ENCODING ERROR");
  EXPECT_EQ(buf[n], 0);

  uint8_t unknown[32] = {0x15, '9', '9', 0x04};
  n = replaceErrorReplyByWord(unknown, sizeof unknown, 4);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(unknown), n), "Unknown Error Code");

  // A small caller buffer gets as much of the word as fits, nothing beyond.
  uint8_t small[6] = {0x15, '0', '1', 0x04, 0x7E, 0x7E};
  n = replaceErrorReplyByWord(small, 5, 4);
  EXPECT_EQ(n, 5u);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(small), 5), "OUT O");
  EXPECT_EQ(small[5], 0x7E);

  uint8_t value[8] = {'1', '2', 0x06};
  EXPECT_EQ(replaceErrorReplyByWord(value, sizeof value, 3), 3u);
  EXPECT_EQ(value[0], '1');
}

TEST(StatusReplies, StatusChannelReply) {
  std::string base = kAckS + "123456789";
  auto ready = R(base + "\x58" + kEotS);
  StatusChannelReply s = readStatusChannelReply(ready.data(), ready.size());
  EXPECT_TRUE(s.ready);
  EXPECT_EQ(s.status, 0x58);
  auto busy = R(base + "\xD8" + kEotS);
  EXPECT_TRUE(readStatusChannelReply(busy.data(), busy.size()).ready);
  auto idle = R(base + "\x18" + kEotS);
  s = readStatusChannelReply(idle.data(), idle.size());
  EXPECT_FALSE(s.ready);
  EXPECT_EQ(s.status, 0x18);
  auto noEot = R(base + "\x58");
  s = readStatusChannelReply(noEot.data(), noEot.size());
  EXPECT_FALSE(s.ready);
  EXPECT_EQ(s.status, 0x58);
  auto shortReply = R(kAckS + "1234");
  EXPECT_EQ(readStatusChannelReply(shortReply.data(), shortReply.size()).status, 0);
  auto nak = R(kNakS + "123456789\x58" + kEotS);
  s = readStatusChannelReply(nak.data(), nak.size());
  EXPECT_FALSE(s.ready);
  EXPECT_EQ(s.status, 0);
}
