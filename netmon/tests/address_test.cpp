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

TEST(AddressCache, StoresFindsAndRefusesAnOverlongAddress) {
  AddressCache cache;
  EXPECT_FALSE(cache.find(u"IP_1"));
  cache.store(u"IP_1", "127.0.5.1");
  cache.store(u"IP_1", "127.0.5.2");
  EXPECT_EQ(cache.size(), 1u);
  EXPECT_EQ(cache.find(u"IP_1"), std::string("127.0.5.2"));
  EXPECT_FALSE(cache.find(u"IP_"));
  // The longest port name; another alike in its first 124 characters is
  // another port.
  const std::u16string longName(247, u'N');
  std::u16string alike = longName;
  alike.back() = u'M';
  EXPECT_TRUE(cache.store(longName, "127.0.5.20"));
  EXPECT_TRUE(cache.store(alike, "127.0.5.21"));
  EXPECT_EQ(cache.find(longName), std::string("127.0.5.20"));
  EXPECT_EQ(cache.find(alike), std::string("127.0.5.21"));
  // No dotted address is longer than 24 characters: a longer one is refused,
  // and what was stored stays.
  EXPECT_FALSE(cache.store(longName, std::string(25, '1')));
  EXPECT_EQ(cache.find(longName), std::string("127.0.5.20"));
  EXPECT_TRUE(cache.store(u"IP_2", std::string(24, '1')));
}

// Many ports whose names share long beginnings stay apart, each with its
// own address, and a port stored again keeps one item.
TEST(AddressCache, ManyPortsWithLongCommonNamesStayApart) {
  AddressCache cache;
  const std::u16string stem(120, u'P');
  for (int i = 0; i < 400; ++i) {
    const std::u16string port = stem + u"_" + std::u16string(1, char16_t(u'A' + i % 26)) +
                                char16_t(u'0' + i / 26 % 10) + char16_t(u'a' + i / 260);
    ASSERT_TRUE(cache.store(port, "127.0." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1)));
  }
  EXPECT_EQ(cache.size(), 400u);
  EXPECT_EQ(cache.find(stem + u"_A0a"), std::optional<std::string>("127.0.0.1"));
  EXPECT_TRUE(cache.store(stem + u"_A0a", "127.0.9.9"));
  EXPECT_EQ(cache.size(), 400u);
  EXPECT_EQ(cache.find(stem + u"_A0a"), std::optional<std::string>("127.0.9.9"));
  EXPECT_FALSE(cache.find(stem).has_value());
}

}  // namespace
}  // namespace card::net
