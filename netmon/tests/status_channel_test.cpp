// The status channel's replies and the network interface reset request.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "netmon/status_channel.h"

namespace card::net {
namespace {

std::vector<uint8_t> reply(uint8_t status) {
  // ACK, nine other bytes, the status byte, EOT.
  return {0x06, '0', '0', '0', '0', '0', '0', '0', '0', '0', status, 0x04};
}

TEST(StatusChannel, Requests) {
  EXPECT_EQ(kStatusPollRequest, "000");
  EXPECT_EQ(kSoftResetFirst, "111");
  EXPECT_EQ(kSoftResetSecond, "222");
}

TEST(StatusChannel, ReadyOnlyFor58AndD8) {
  auto r = reply(0x58);
  auto p = readStatusPoll(r.data(), r.size());
  EXPECT_TRUE(p.isStatus);
  EXPECT_TRUE(p.ready);
  EXPECT_EQ(p.status, 0x58);
  r = reply(0xD8);
  p = readStatusPoll(r.data(), r.size());
  EXPECT_TRUE(p.ready);
  EXPECT_TRUE(statusBusy(p.status));
  r = reply(0x18);
  p = readStatusPoll(r.data(), r.size());
  EXPECT_TRUE(p.isStatus);
  EXPECT_FALSE(p.ready);
  EXPECT_EQ(p.status, 0x18);
}

TEST(StatusChannel, ShortLongWithoutEotOrGarbageIsNoStatus) {
  auto r = reply(0x58);
  auto p = readStatusPoll(r.data(), 11);  // cut before EOT
  EXPECT_FALSE(p.isStatus);
  EXPECT_FALSE(p.ready);
  EXPECT_EQ(p.status, 0x58);  // the byte itself still arrived
  p = readStatusPoll(r.data(), 10);
  EXPECT_FALSE(p.isStatus);
  EXPECT_EQ(p.status, 0);
  auto noEot = reply(0x58);
  noEot[11] = 0x06;
  EXPECT_FALSE(readStatusPoll(noEot.data(), noEot.size()).ready);
  auto longer = reply(0x58);
  longer.push_back('x');
  EXPECT_FALSE(readStatusPoll(longer.data(), longer.size()).isStatus);
  auto nak = reply(0x58);
  nak[0] = 0x15;
  p = readStatusPoll(nak.data(), nak.size());
  EXPECT_FALSE(p.isStatus);
  EXPECT_FALSE(p.ready);
  EXPECT_EQ(p.status, 0);
  EXPECT_FALSE(readStatusPoll(nullptr, 12).ready);
}

TEST(StatusChannel, Bit7Recheck) {
  EXPECT_TRUE(recheckBit7(0xD8, false));
  EXPECT_TRUE(recheckBit7(0x58, true));
  EXPECT_FALSE(recheckBit7(0x58, false));
  EXPECT_FALSE(recheckBit7(0xD8, true));
}

TEST(ResetRequest, ExactBytes) {
  const std::string expected = std::string("POST /server/resetok.htm+generr.htm HTTP/1.1\r\n") +
                               "Authorization: Basic QkNERUZHSElKSw==\r\n" + "Content-Length: 32\r\n" + "\r\n" +
                               "%7B%2C.%3AOID_H+ESI.2.2.0+2%7D=2";
  EXPECT_EQ(std::string(resetRequest()), expected);
  auto body = resetRequest().substr(resetRequest().find("\r\n\r\n") + 4);
  EXPECT_EQ(body.size(), 32u);
  EXPECT_EQ(resetRequest().find("Host:"), std::string_view::npos);
}

}  // namespace
}  // namespace card::net
