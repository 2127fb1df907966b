// The hologram dialog's print: the raw jobs of each hologram type, with the
// command bytes taken from the hologram print's documented sequences.
#include "config/hologram_print.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/area_rules.h"

namespace card::cfg {
namespace {

JobSettingsRecord hologramRecord(int16_t type, int16_t copies, bool duplex = false) {
  JobSettingsRecord r{};
  r.signature = kRecordSignature;
  r.duplex = duplex ? 1 : 0;
  r.hologramEnabled = 1;
  r.hologramCopies = copies;
  r.hologramContrast = 5;
  r.hologramArea.type = type;
  r.hologramArea.left = 100;
  r.hologramArea.top = 50;
  r.hologramArea.right = 300;
  r.hologramArea.bottom = 150;
  return r;
}

// A 1-bit BMP of w x h dots, all bits 0.
std::vector<uint8_t> blankBmp(int w, int h, int bitCount = 1) {
  const size_t stride = (size_t(w) * bitCount + 31) / 32 * 4, offBits = 62;
  std::vector<uint8_t> f(offBits + stride * h, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = uint8_t(v >> (8 * i));
  };
  f[0] = 'B';
  f[1] = 'M';
  put32(2, uint32_t(f.size()));
  put32(10, uint32_t(offBits));
  put32(14, 40);
  put32(18, uint32_t(w));
  put32(22, uint32_t(h));
  f[26] = 1;
  f[28] = uint8_t(bitCount);
  return f;
}

TEST(HologramPrint, FullTypeOneJobPerCopy) {
  std::vector<std::string> jobs = hologramAreaJobs(hologramRecord(0, 3));
  ASSERT_EQ(jobs.size(), 3u);
  for (const std::string &j : jobs) EXPECT_EQ(j, "\x1b+CH 5\r\x1bIH 30\r\x1bMO\r");
  jobs = hologramAreaJobs(hologramRecord(0, 1, true));
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0], "\x1b+CH 5\r\x1bIH 30\r\x1bMF\r\x1bIH 30\r\x1bMO\r");
  // No copies (or a negative count from outside) still prints one card.
  EXPECT_EQ(hologramAreaJobs(hologramRecord(0, 0)).size(), 1u);
  EXPECT_EQ(hologramAreaJobs(hologramRecord(0, -4)).size(), 1u);
  EXPECT_EQ(hologramAreaJobs(hologramRecord(0, 1500)).size(), 1500u);
}

TEST(HologramPrint, CopiesAboveTheLimitAreRefused) {
  for (int16_t type : {0, 1, 2, 3}) {
    EXPECT_EQ(hologramPrintPlan(hologramRecord(type, 1501)), HologramPrintPlan::Refused) << type;
    EXPECT_TRUE(hologramAreaJobs(hologramRecord(type, 1501)).empty());
  }
  EXPECT_EQ(hologramPrintPlan(hologramRecord(0, 1500)), HologramPrintPlan::AreaJobs);
  EXPECT_EQ(hologramPrintPlan(hologramRecord(3, 1500)), HologramPrintPlan::BitmapJob);
  EXPECT_EQ(hologramPrintPlan(hologramRecord(4, 1)), HologramPrintPlan::NothingToDo);
  EXPECT_TRUE(hologramAreaJobs(hologramRecord(3, 1)).empty());
}

TEST(HologramPrint, AreaTypesDrawTheAreaOnEachSide) {
  JobSettingsRecord r = hologramRecord(1, 1);
  r.hologramArea.rotated = 1;
  std::vector<std::string> jobs = hologramAreaJobs(r);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0],
            "\x1b+CH 5\r\x1b"
            "F\r\x1bL 0 0 1023 639 0\r\x1bL 723 489 200 100 1\r\x1bIH 31\r\x1bMO\r");

  jobs = hologramAreaJobs(hologramRecord(2, 2, true));
  ASSERT_EQ(jobs.size(), 2u);
  const std::string side =
      "\x1b"
      "F\r\x1bL 0 0 1023 639 1\r\x1bL 100 50 200 100 0\r\x1bIH 31\r";
  EXPECT_EQ(jobs[1], "\x1b+CH 5\r" + side + "\x1bMF\r" + side + "\x1bMO\r");
}

TEST(HologramPrint, BitmapTypeIsOneJob) {
  // An all-white (all 0) picture: 645 runs of 127 zero bytes and one of 5.
  std::string data;
  for (int i = 0; i < 645; ++i) data += std::string("\xFF\x00", 2);
  data += std::string("\x85\x00", 2);
  const std::string image =
      "\x1b"
      "F\r\x1bG 0 0 12 640 1024 0\r\x1bZ" +
      data + "\r";

  std::vector<uint8_t> bmp = blankBmp(16, 10);
  std::string job;
  ASSERT_TRUE(hologramBitmapJob(hologramRecord(3, 2), bmp.data(), bmp.size(), &job));
  EXPECT_EQ(job, "\x1b+CH 5\r\x1bMASTER\r" + image + "\x1bIH 31\r\x1bMO\r\x1bIH 31\r\x1bMO\r");

  job.clear();
  ASSERT_TRUE(hologramBitmapJob(hologramRecord(3, 0, true), bmp.data(), bmp.size(), &job));
  EXPECT_EQ(job, "\x1b+CH 5\r\x1bMASTER\r" + image + "\x1bIH 31\r\x1bMF\r" + image + "\x1bIH 31\r\x1bMO\r");

  // Not a 1-bit picture, not the bitmap type, too many copies: nothing.
  job.clear();
  std::vector<uint8_t> colour = blankBmp(16, 10, 24);
  EXPECT_FALSE(hologramBitmapJob(hologramRecord(3, 1), colour.data(), colour.size(), &job));
  EXPECT_FALSE(hologramBitmapJob(hologramRecord(1, 1), bmp.data(), bmp.size(), &job));
  EXPECT_FALSE(hologramBitmapJob(hologramRecord(3, 1501), bmp.data(), bmp.size(), &job));
  EXPECT_TRUE(job.empty());
}

}  // namespace
}  // namespace card::cfg
