// What the driver reads from the ribbon cache file and from the replies to
// its model and ribbon queries.
#include <gtest/gtest.h>

#include <string>

#include "render/replies.h"

namespace {

using namespace card;

PrinterAnswer parse(const std::string &text) {
  PrinterAnswer a;
  parseRibbonCache(text.data(), text.size(), a);
  return a;
}

TEST(RibbonCacheFile, KeysAsTheMonitorsWriteThem) {
  PrinterAnswer a = parse("Ribbon=5\rModel=Pellor CA3 V2.01\r");
  EXPECT_EQ(a.ribbonCode, 5);
  EXPECT_STREQ(a.model, "Pellor CA3 V2.01");
  a = parse("Ribbon=-3\rModel=QA5\r");
  EXPECT_EQ(a.ribbonCode, -3);
}

TEST(RibbonCacheFile, MissingOrEmptyKeys) {
  PrinterAnswer a = parse("Model=CA1\r");
  EXPECT_EQ(a.ribbonCode, kNoRibbonCode);
  EXPECT_STREQ(a.model, "CA1");
  a = parse("Ribbon=2\rModel=\r");
  EXPECT_EQ(a.ribbonCode, 2);
  EXPECT_STREQ(a.model, "");
  a = parse("");
  EXPECT_EQ(a.ribbonCode, kNoRibbonCode);
  a = parse("Ribbon=");  // the file ends right behind the key
  EXPECT_EQ(a.ribbonCode, 0);
}

TEST(RibbonCacheFile, BoundsOfEachKey) {
  // At most 12 characters of the code are read; the model is cut at 31.
  PrinterAnswer a = parse("Ribbon=0000000000017\rModel=" + std::string(40, 'M') + "\r");
  EXPECT_EQ(a.ribbonCode, 1);  // "000000000001": the 7 is the 13th character
  EXPECT_EQ(std::string(a.model), std::string(31, 'M'));
  a = parse("Ribbon=99999999999\r");
  EXPECT_EQ(a.ribbonCode, 0x7FFFFFFF);
  a = parse(std::string("Model=CA3\0junk\r", 15));
  EXPECT_STREQ(a.model, "CA3");
  // A file in another encoding has no key the driver can see.
  std::string utf16;
  for (char c : std::string("Ribbon=5\rModel=CA3\r")) {
    utf16.push_back(c);
    utf16.push_back('\0');
  }
  a = parse(utf16);
  EXPECT_EQ(a.ribbonCode, kNoRibbonCode);
  EXPECT_STREQ(a.model, "");
}

TEST(QueryReplies, ModelText) {
  char model[32];
  const BYTE good[] = {'C', 'A', '3', ' ', 'v', '1', 0x06};
  ASSERT_TRUE(modelFromReply(good, sizeof good, model));
  EXPECT_STREQ(model, "CA3 v1");
  const BYTE noAck[] = {'C', 'A', '3'};
  EXPECT_FALSE(modelFromReply(noAck, sizeof noAck, model));
  EXPECT_FALSE(modelFromReply(good, 0, model));
  BYTE longReply[128];
  std::memset(longReply, 'X', sizeof longReply);
  longReply[127] = 0x06;
  ASSERT_TRUE(modelFromReply(longReply, 128, model));
  EXPECT_EQ(std::string(model), std::string(31, 'X'));
}

TEST(QueryReplies, RibbonCode) {
  const BYTE spaced[] = {'1', '2', ' ', 0x06};
  EXPECT_EQ(ribbonCodeFromReply(spaced, sizeof spaced), 12);
  const BYTE two[] = {'5', 0x06};
  EXPECT_EQ(ribbonCodeFromReply(two, sizeof two), 5);
  const BYTE noAck[] = {'5', ' '};
  EXPECT_EQ(ribbonCodeFromReply(noAck, sizeof noAck), 0);
  const BYTE text[] = {'x', 0x06};
  EXPECT_EQ(ribbonCodeFromReply(text, sizeof text), 0);
}

}  // namespace
