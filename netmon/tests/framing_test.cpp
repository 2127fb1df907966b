// The data channel's framing.
#include <gtest/gtest.h>

#include <vector>

#include "netmon/framing.h"

namespace card::net {
namespace {

TEST(Framing, LongBufferLeavesAsFullSliceThenRest) {
  std::vector<uint8_t> data(100000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  auto frames = frameBuffer(data.data(), data.size());
  ASSERT_EQ(frames.size(), 2u);
  // 65536 = 00 01 00 00, 34464 = 00 00 86 A0.
  ASSERT_EQ(frames[0].size(), 4u + 65536u);
  EXPECT_EQ(std::vector<uint8_t>(frames[0].begin(), frames[0].begin() + 4), (std::vector<uint8_t>{0, 1, 0, 0}));
  ASSERT_EQ(frames[1].size(), 4u + 34464u);
  EXPECT_EQ(std::vector<uint8_t>(frames[1].begin(), frames[1].begin() + 4), (std::vector<uint8_t>{0, 0, 0x86, 0xA0}));
  std::vector<uint8_t> joined(frames[0].begin() + 4, frames[0].end());
  joined.insert(joined.end(), frames[1].begin() + 4, frames[1].end());
  EXPECT_EQ(joined, data);
}

TEST(Framing, ShortCommandAndBoundaries) {
  const uint8_t cmd[] = {0x1B, 'V', '\r'};
  auto frames = frameBuffer(cmd, sizeof cmd);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], (std::vector<uint8_t>{0, 0, 0, 3, 0x1B, 'V', '\r'}));
  EXPECT_TRUE(frameBuffer(cmd, 0).empty());
  EXPECT_EQ(frameSizes(65536), (std::vector<size_t>{65536}));
  EXPECT_EQ(frameSizes(65537), (std::vector<size_t>{65536, 1}));
  EXPECT_EQ(frameSizes(3 * 65536), (std::vector<size_t>{65536, 65536, 65536}));
}

}  // namespace
}  // namespace card::net
