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

}  // namespace
