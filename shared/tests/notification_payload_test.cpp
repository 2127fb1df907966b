// The notification payload as bytes: what each kind of payload carries where.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "shared/notification_payload.h"

namespace {

using namespace card;

int32_t i32(const NotificationPayload &p, size_t off) {
  int32_t v;
  std::memcpy(&v, reinterpret_cast<const BYTE *>(&p) + off, 4);
  return v;
}

std::string field(const NotificationPayload &p, size_t off) {
  const BYTE *b = reinterpret_cast<const BYTE *>(&p) + off;
  std::string s;
  for (size_t i = 0; i < 2048 && (b[i] || b[i + 1]); i += 2) s.push_back(char(b[i]));
  return s;
}

TEST(NotificationPayload, TypeIdentifierBytes) {
  const BYTE expected[16] = {0x6A, 0x80, 0x20, 0x0B, 0x8A, 0x32, 0x1C, 0x4E,
                             0x93, 0x1C, 0x02, 0x50, 0x30, 0x85, 0x74, 0xC7};
  EXPECT_EQ(std::memcmp(&kNotificationType, expected, 16), 0);
}

TEST(NotificationPayload, FourKinds) {
  NotificationPayload p;
  makeLiteralMessage(p, TEXT("Card Printer"), TEXT("Out of cards"), TEXT("usbmon"));
  EXPECT_EQ(i32(p, 0), 0);
  EXPECT_EQ(i32(p, 4), 0);
  EXPECT_EQ(i32(p, 8), -1);
  EXPECT_EQ(i32(p, 12), -1);
  EXPECT_EQ(field(p, 16), "Card Printer");
  EXPECT_EQ(field(p, 2064), "Out of cards");
  EXPECT_EQ(field(p, 4112), "usbmon");
  EXPECT_FALSE(isCloseRequest(p));

  makeResourceMessage(p, TEXT("Card Printer"), 2209, 2541);
  EXPECT_EQ(i32(p, 4), 1);
  EXPECT_EQ(i32(p, 8), 2209);
  EXPECT_EQ(i32(p, 12), 2541);
  EXPECT_EQ(field(p, 2064), "");
  EXPECT_EQ(field(p, 4112), "");

  makeCloseRequest(p, TEXT("Card Printer"));
  EXPECT_EQ(i32(p, 4), 1);
  EXPECT_EQ(i32(p, 8), 0);
  EXPECT_EQ(i32(p, 12), 0);
  EXPECT_EQ(field(p, 2064), "CloseMsgThread");
  EXPECT_TRUE(isCloseRequest(p));

  makeAcknowledgement(p);
  EXPECT_EQ(i32(p, 0), 15);
  EXPECT_EQ(i32(p, 4), 0);
  EXPECT_EQ(i32(p, 8), -1);
  EXPECT_EQ(field(p, 16), "");
  EXPECT_TRUE(isAcknowledgement(p));
}

TEST(NotificationPayload, LongTextsKeepTheirTerminator) {
  std::vector<WCHAR> longText(3000, WCHAR('x'));
  longText.back() = 0;
  NotificationPayload p;
  makeLiteralMessage(p, longText.data(), nullptr, longText.data());
  EXPECT_EQ(field(p, 16).size(), 1023u);
  EXPECT_EQ(p.caption[1023], 0);
  EXPECT_EQ(p.title[1023], 0);
  EXPECT_EQ(field(p, 2064), "");
  // A text that only begins like the close request is not one.
  makeLiteralMessage(p, TEXT("P"), TEXT("CloseMsgThreadX"), nullptr);
  EXPECT_FALSE(isCloseRequest(p));
}

// A payload received from another module may fill a field to its last
// character with no terminator, or come shorter or longer than the record.
TEST(NotificationPayload, ReceivedFieldsAreReadWithinTheirBounds) {
  std::vector<BYTE> bytes(kPayloadSize + 32, 0);
  // Caption at 16: 1024 characters 'A' and no terminator; the text field at
  // 2064 follows at once with "Hi".
  for (size_t i = 0; i < 1024; ++i) bytes[16 + 2 * i] = 'A';
  bytes[2064] = 'H';
  bytes[2066] = 'i';
  // Bytes past the record must not reach it.
  for (size_t i = kPayloadSize; i < bytes.size(); ++i) bytes[i] = 0xEE;

  NotificationPayload p;
  payloadFromBytes(bytes.data(), bytes.size(), p);
  EXPECT_EQ(fieldLength(p.caption), 1024u);
  WCHAR caption[kPayloadTextChars + 1];
  fieldText(p.caption, caption);
  EXPECT_EQ(caption[1023], WCHAR('A'));
  EXPECT_EQ(caption[1024], 0);  // ends at the field, not in the text after it
  WCHAR text[kPayloadTextChars + 1];
  fieldText(p.text, text);
  EXPECT_EQ(fieldLength(p.text), 2u);
  EXPECT_EQ(text[0], WCHAR('H'));
  EXPECT_EQ(text[2], 0);

  // A short block: what it holds, zeros after it.
  payloadFromBytes(bytes.data(), 20, p);
  EXPECT_EQ(i32(p, 0), 0);
  EXPECT_EQ(fieldLength(p.caption), 2u);
  EXPECT_EQ(fieldLength(p.text), 0u);
  const BYTE ack[4] = {15, 0, 0, 0};
  payloadFromBytes(ack, 4, p);
  EXPECT_TRUE(isAcknowledgement(p));
  // No block at all reads as an empty payload.
  payloadFromBytes(nullptr, kPayloadSize, p);
  EXPECT_EQ(i32(p, 0), 0);
  EXPECT_EQ(fieldLength(p.title), 0u);
  // The close request's text filling the field with no terminator is not
  // the close request.
  makeCloseRequest(p, TEXT("P"));
  EXPECT_TRUE(isCloseRequest(p));
  for (size_t i = 14; i < kPayloadTextChars; ++i) p.text[i] = WCHAR('x');
  EXPECT_FALSE(isCloseRequest(p));
}

// The notification server's test of a reply: the first field, read as an
// unsigned 32-bit little-endian number, is 15.
TEST(NotificationPayload, AcknowledgementReplies) {
  NotificationPayload ack;
  makeAcknowledgement(ack);
  EXPECT_TRUE(isAcknowledgementReply(&ack, kPayloadSize));
  const BYTE fifteen[4] = {0x0F, 0x00, 0x00, 0x00};
  EXPECT_TRUE(isAcknowledgementReply(fifteen, 4));
  // Another code, a code in the wrong byte order, and requests (code 0) are
  // no acknowledgement.
  const BYTE fourteen[4] = {0x0E, 0x00, 0x00, 0x00};
  const BYTE bigEndian[4] = {0x00, 0x00, 0x00, 0x0F};
  EXPECT_FALSE(isAcknowledgementReply(fourteen, 4));
  EXPECT_FALSE(isAcknowledgementReply(bigEndian, 4));
  NotificationPayload request;
  makeLiteralMessage(request, TEXT("P"), TEXT("text"), nullptr);
  EXPECT_FALSE(isAcknowledgementReply(&request, kPayloadSize));
  // A block too short to hold the code, or none at all.
  EXPECT_FALSE(isAcknowledgementReply(fifteen, 3));
  EXPECT_FALSE(isAcknowledgementReply(fifteen, 0));
  EXPECT_FALSE(isAcknowledgementReply(nullptr, kPayloadSize));
}

}  // namespace
