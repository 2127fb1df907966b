// The reachability probe's request and the GetResponse reader.
#include <gtest/gtest.h>

#include <vector>

#include "netmon/probe.h"

namespace card::net {
namespace {

TEST(Probe, RequestIsTheSystemDescriptionGet) {
  // Encoded by hand: message, version 0, community, GetRequest PDU (A0),
  // request id 0x1DAA, error status and index 0, one variable binding of
  // 1.3.6.1.2.1.1.1.0 with a NULL value.
  const std::vector<uint8_t> expected{
      0x30, 0x27,                                                  // message, 39 bytes
      0x02, 0x01, 0x00,                                            // version 1 (0)
      0x04, 0x06, 'k',  'e',  's',  't',  'r',  'a',               // community
      0xA0, 0x1A,                                                  // GetRequest, 26 bytes
      0x02, 0x02, 0x1D, 0xAA,                                      // request id
      0x02, 0x01, 0x00,                                            // error status
      0x02, 0x01, 0x00,                                            // error index
      0x30, 0x0E,                                                  // bindings
      0x30, 0x0C,                                                  // one binding
      0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01, 0x00,  // the object
      0x05, 0x00,                                                  // NULL
  };
  ASSERT_EQ(expected.size(), 41u);
  EXPECT_EQ(probeRequest(), expected);
  EXPECT_TRUE(probeAnswered(1));
  EXPECT_FALSE(probeAnswered(0));
}

std::vector<uint8_t> response() {
  return {0x30, 0x22, 0x02, 0x01, 0x00, 0x04, 0x06, 'k',  'e',  's',  't',  'r',  'a',  0xA2, 0x15, 0x02, 0x02, 0x1D,
          0xAA, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x09, 0x30, 0x07, 0x06, 0x01, 0x2B, 0x04, 0x02, 'O',  'K'};
}

TEST(Probe, ReadsAWellFormedResponse) {
  auto bytes = response();
  auto r = readGetResponse(bytes.data(), bytes.size());
  ASSERT_TRUE(r);
  EXPECT_EQ(r->version, 0);
  EXPECT_EQ(r->community, (std::vector<uint8_t>{'k', 'e', 's', 't', 'r', 'a'}));
  EXPECT_EQ(r->requestId, 0x1DAA);
  EXPECT_EQ(r->errorStatus, 0);
  EXPECT_EQ(r->oid, (std::vector<uint8_t>{0x2B}));
  EXPECT_EQ(r->valueTag, 0x04);
  EXPECT_EQ(r->value, (std::vector<uint8_t>{'O', 'K'}));
}

TEST(Probe, RefusesTruncatedMalformedOrOtherReplies) {
  auto bytes = response();
  for (size_t n = 0; n < bytes.size(); ++n) EXPECT_FALSE(readGetResponse(bytes.data(), n)) << n;
  // The request itself is not a response.
  auto req = probeRequest();
  EXPECT_FALSE(readGetResponse(req.data(), req.size()));
  // An inner length running past its parent.
  auto bad = bytes;
  bad[33] = 0x7F;
  EXPECT_FALSE(readGetResponse(bad.data(), bad.size()));
  // A long-form length larger than the datagram.
  const uint8_t huge[] = {0x30, 0x82, 0xFF, 0xFF, 0x02};
  EXPECT_FALSE(readGetResponse(huge, sizeof huge));
  EXPECT_FALSE(readGetResponse(nullptr, 10));
}

}  // namespace
}  // namespace card::net
