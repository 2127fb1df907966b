// The ribbon cache file's bytes and the rules the monitors take from the code.
#include <gtest/gtest.h>

#include <string>

#include "shared/ribbon_cache.h"

namespace {

using namespace card;

TEST(RibbonCache, FileContent) {
  char out[64];
  size_t n = formatRibbonCache(12, "QA", out, sizeof out);
  ASSERT_EQ(n, 19u);  // "Ribbon=12\rModel=QA\r"
  EXPECT_EQ(std::string(out, n), "Ribbon=12\rModel=QA\r");
  n = formatRibbonCache(-1, nullptr, out, sizeof out);
  EXPECT_EQ(std::string(out, n), "Ribbon=-1\rModel=\r");
  n = formatRibbonCache(5, std::string(40, 'M').c_str(), out, sizeof out);
  EXPECT_EQ(std::string(out, n), "Ribbon=5\rModel=" + std::string(31, 'M') + "\r");
  EXPECT_EQ(formatRibbonCache(5, "CA3", out, 10), 0u);
}

TEST(RibbonCache, ClassFlagAndAlert) {
  for (long c : {0L, 1L, 7L, 10L, 13L, 18L, 19L, 21L}) EXPECT_TRUE(ribbonWithoutCount(c)) << c;
  for (long c : {2L, 5L, 6L, 14L, 17L, 22L, 30L, -1L}) EXPECT_FALSE(ribbonWithoutCount(c)) << c;
  EXPECT_TRUE(lowRibbonAlert(10));
  EXPECT_TRUE(lowRibbonAlert(5));
  EXPECT_TRUE(lowRibbonAlert(20));
  EXPECT_FALSE(lowRibbonAlert(15));
  EXPECT_FALSE(lowRibbonAlert(0));
}

}  // namespace
