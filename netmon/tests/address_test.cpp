// Address lookup matching and the address cache.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "netmon/address.h"

namespace card::net {
namespace {

TEST(AddressLookup, PrefixMatchesInOrder) {
  std::vector<std::u16string> keys{u"IP_10.0.0.9", u"IP_10.0.0.5", u"", u"ip_10.0.0.5", u"IP_10.0.0.55"};
  EXPECT_EQ(matchingSubkeys(keys, u"IP_10.0.0.5"), (std::vector<size_t>{1, 3}));
  EXPECT_EQ(matchingSubkeys(keys, u"IP_10.0.0.55"), (std::vector<size_t>{1, 3, 4}));
  EXPECT_TRUE(matchingSubkeys(keys, u"USB001").empty());
}

TEST(AddressLookup, StopsAfterIndex350OfNonMatchingKeys) {
  std::vector<std::u16string> keys(400, u"Other");
  keys[350] = u"PortA";
  keys[351] = u"PortA";
  keys[353] = u"PortA";  // 352 does not match and ends the walk
  EXPECT_EQ(matchingSubkeys(keys, u"PortA"), (std::vector<size_t>{350, 351}));
  keys[352] = u"PortA";
  EXPECT_EQ(matchingSubkeys(keys, u"PortA"), (std::vector<size_t>{350, 351, 352, 353}));
  std::vector<std::u16string> late(400, u"Other");
  late[351] = u"PortA";
  EXPECT_TRUE(matchingSubkeys(late, u"PortA").empty());
}

TEST(AddressCache, StoresFindsAndCutsLongInput) {
  AddressCache cache;
  EXPECT_FALSE(cache.find(u"IP_1"));
  cache.store(u"IP_1", "10.0.0.1");
  cache.store(u"IP_1", "10.0.0.2");
  EXPECT_EQ(cache.size(), 1u);
  EXPECT_EQ(cache.find(u"IP_1"), std::string("10.0.0.2"));
  EXPECT_FALSE(cache.find(u"IP_"));
  std::string longAddress(40, '1');
  EXPECT_EQ(cache.store(std::u16string(247, u'N'), longAddress).size(), 24u);
  EXPECT_EQ(cache.find(std::u16string(124, u'N')), std::string(24, '1'));
}

}  // namespace
}  // namespace card::net
