// The model code rule of the abort clean-up sequence.
#include <gtest/gtest.h>

#include "netmon/model_code.h"

namespace card::net {
namespace {

TEST(ModelCode, TheThreeCharactersAfterTheFirstChooseTheLastCleanUpCommand) {
  EXPECT_EQ(modelCode(" CA1 MAG V3.02"), "CA1");
  EXPECT_EQ(abortEndCommand(" CA1 MAG V3.02"),
            "\x1b"
            "DMSG READY\r");
  EXPECT_EQ(abortEndCommand("XCA2"),
            "\x1b"
            "DMSG READY\r");
  EXPECT_EQ(abortEndCommand("-CA3 0iD"),
            "\x1b"
            "DMSG READY\r");
  // Elsewhere in the text the code does not count, nor do other models.
  EXPECT_EQ(abortEndCommand("CA3 MAG V3.02"), "\x1bSLAVE\r");
  EXPECT_EQ(abortEndCommand(" QA5 MAG"), "\x1bSLAVE\r");
  EXPECT_EQ(abortEndCommand(" CA4"), "\x1bSLAVE\r");
}

TEST(ModelCode, ShortUnknownAndVarnelTextsCarryNoCode) {
  EXPECT_EQ(modelCode(""), "");
  EXPECT_EQ(modelCode("CA1"), "");
  EXPECT_EQ(modelCode("Unknown"), "nkn");
  EXPECT_EQ(modelCode("VarnelPFC CA1"), "");
  EXPECT_EQ(abortEndCommand("VarnelPFC CA1"), "\x1bSLAVE\r");
  EXPECT_EQ(abortEndCommand("Unknown"), "\x1bSLAVE\r");
}

}  // namespace
}  // namespace card::net
