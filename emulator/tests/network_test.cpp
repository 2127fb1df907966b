// The network interface's byte logic: framed data channel, status channel.
#include <gtest/gtest.h>

#include "emulator/include/cardemu/network.h"
#include "emulator/tests/streams.h"

using namespace cardemu;
using streams::esc;

namespace {

std::string frame(const std::string &payload) {
  const uint32_t n = static_cast<uint32_t>(payload.size());
  return streams::bytes({static_cast<int>(n >> 24), static_cast<int>((n >> 16) & 0xFF),
                         static_cast<int>((n >> 8) & 0xFF), static_cast<int>(n & 0xFF)}) +
         payload;
}

long feed(DataChannel &ch, const std::string &s) {
  return ch.receive(reinterpret_cast<const uint8_t *>(s.data()), s.size());
}

}  // namespace

TEST(Network, DataChannelUnwrapsMessagesInAnyPieces) {
  Printer p;
  DataChannel ch(p);
  // A plane block of 442,368 + header bytes sent as slices of at most 65536,
  // each framed; a command split over two messages; an empty message.
  const std::string block = streams::plane(0, [](int, int) { return 5; }) + esc("IS 0") + esc("MO");
  std::string wire;
  for (size_t at = 0; at < block.size(); at += 65536) wire += frame(block.substr(at, 65536));
  wire += frame(
              "\x1b"
              "E") +
          frame("") + frame(" 2\r");
  for (size_t at = 0; at < wire.size(); at += 777) {
    const std::string piece = wire.substr(at, 777);
    ASSERT_EQ(feed(ch, piece), static_cast<long>(piece.size()));
  }
  EXPECT_FALSE(ch.insideMessage());
  EXPECT_EQ(p.readAll(), "\x06");
  EXPECT_EQ(p.takeCards().size(), 1u);

  // A 100000-byte block goes as a 65536-byte and a 34464-byte message.
  const std::string big(100000, '\x11');
  const std::string two = frame(big.substr(0, 65536)) + frame(big.substr(65536));
  EXPECT_EQ(two.substr(65540, 4), streams::bytes({0, 0, 0x86, 0xA0}));

  // A length beyond the limit breaks the channel.
  DataChannel bad(p);
  EXPECT_EQ(feed(bad, streams::bytes({0, 1, 0, 1})), -1);
  EXPECT_TRUE(bad.broken());
  EXPECT_EQ(feed(bad, frame("x")), -1);
}

TEST(Network, StatusChannelPollsAndResets) {
  Printer p;
  StatusChannel st(p);
  auto ask = [&](const std::string &s) {
    auto r = st.receive(reinterpret_cast<const uint8_t *>(s.data()), s.size());
    return std::string(r.begin(), r.end());
  };
  // Ready: ACK, nine bytes, 0x58 at offset 10, EOT at 11.
  std::string r = ask("000");
  ASSERT_EQ(r.size(), 12u);
  EXPECT_EQ(r[0], '\x06');
  EXPECT_EQ(r[10], '\x58');
  EXPECT_EQ(r[11], '\x04');
  // Out of cards, with the request split over two reads: media out in the byte.
  p.injectError(err::kOutOfCard);
  EXPECT_EQ(ask("0"), "");
  r = ask("00");
  ASSERT_EQ(r.size(), 12u);
  EXPECT_EQ(r[10], '\x78');
  p.forceClear();

  // "111" then "222": a job stopped inside an image block is dropped.
  p.write("\x1bGS 0 32 0 0 1024 640 " + std::string(5000, '\0'));
  EXPECT_EQ(ask("111"), "");
  EXPECT_EQ(ask("222"), "");
  p.write(esc("MO") + esc("E 1"));
  EXPECT_EQ(p.readAll(), "\x06");
  EXPECT_EQ(ask("999"), "");
}
