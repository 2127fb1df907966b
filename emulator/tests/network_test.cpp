// The network interface's byte logic: framed data channel, status channel.
#include <gtest/gtest.h>

#include "emulator/include/cardemu/network.h"
#include "emulator/tests/streams.h"

using namespace cardemu;
using streams::Esc;

namespace {

std::string Frame(const std::string &payload) {
  const uint32_t n = static_cast<uint32_t>(payload.size());
  return streams::Bytes({static_cast<int>(n >> 24), static_cast<int>((n >> 16) & 0xFF),
                         static_cast<int>((n >> 8) & 0xFF), static_cast<int>(n & 0xFF)}) +
         payload;
}

long Feed(DataChannel &ch, const std::string &s) {
  return ch.Receive(reinterpret_cast<const uint8_t *>(s.data()), s.size());
}

}  // namespace

TEST(Network, DataChannelUnwrapsMessagesInAnyPieces) {
  Printer p;
  DataChannel ch(p);
  // A plane block of 442,368 + header bytes sent as slices of at most 65536,
  // each framed; a command split over two messages; an empty message.
  const std::string block = streams::Plane(0, [](int, int) { return 5; }) + Esc("IS 0") + Esc("MO");
  std::string wire;
  for (size_t at = 0; at < block.size(); at += 65536) wire += Frame(block.substr(at, 65536));
  wire += Frame(
              "\x1b"
              "E") +
          Frame("") + Frame(" 2\r");
  for (size_t at = 0; at < wire.size(); at += 777) {
    const std::string piece = wire.substr(at, 777);
    ASSERT_EQ(Feed(ch, piece), static_cast<long>(piece.size()));
  }
  EXPECT_FALSE(ch.InsideMessage());
  EXPECT_EQ(p.ReadAll(), "\x06");
  EXPECT_EQ(p.TakeCards().size(), 1u);

  // A 100000-byte block goes as a 65536-byte and a 34464-byte message.
  const std::string big(100000, '\x11');
  const std::string two = Frame(big.substr(0, 65536)) + Frame(big.substr(65536));
  EXPECT_EQ(two.substr(65540, 4), streams::Bytes({0, 0, 0x86, 0xA0}));

  // A length beyond the limit breaks the channel.
  DataChannel bad(p);
  EXPECT_EQ(Feed(bad, streams::Bytes({0, 1, 0, 1})), -1);
  EXPECT_TRUE(bad.Broken());
  EXPECT_EQ(Feed(bad, Frame("x")), -1);
}

TEST(Network, StatusChannelPollsAndResets) {
  Printer p;
  StatusChannel st(p);
  auto ask = [&](const std::string &s) {
    auto r = st.Receive(reinterpret_cast<const uint8_t *>(s.data()), s.size());
    return std::string(r.begin(), r.end());
  };
  // Ready: ACK, nine bytes, 0x58 at offset 10, EOT at 11.
  std::string r = ask("000");
  ASSERT_EQ(r.size(), 12u);
  EXPECT_EQ(r[0], '\x06');
  EXPECT_EQ(r[10], '\x58');
  EXPECT_EQ(r[11], '\x04');
  // Out of cards, with the request split over two reads: media out in the byte.
  p.InjectError(err::kOutOfCard);
  EXPECT_EQ(ask("0"), "");
  r = ask("00");
  ASSERT_EQ(r.size(), 12u);
  EXPECT_EQ(r[10], '\x78');
  p.ForceClear();

  // "111" then "222": a job stopped inside an image block is dropped.
  p.Write("\x1bGS 0 32 0 0 1024 640 " + std::string(5000, '\0'));
  EXPECT_EQ(ask("111"), "");
  EXPECT_EQ(ask("222"), "");
  p.Write(Esc("MO") + Esc("E 1"));
  EXPECT_EQ(p.ReadAll(), "\x06");
  EXPECT_EQ(ask("999"), "");
}
