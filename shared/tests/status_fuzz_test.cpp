// Random replies through every reader, from a fixed starting value so that a failure is
// repeatable: the bytes the printer protocol gives meaning to (NAK, ACK, EOT,
// CR, ESC, digits, blanks) are drawn far more often than the rest.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "shared/fuzz/status_reply_check.h"

TEST(StatusFuzz, RandomRepliesKeepTheirBounds) {
  std::mt19937 rng(0x5A45);
  const uint8_t special[] = {0x15, 0x06, 0x04, 0x0D, 0x1B, ' ', '-', 'I', 'M', 'E', '&', 0x58, 0xD8};
  for (int i = 0; i < 20000; ++i) {
    size_t len = rng() % 48;
    std::vector<uint8_t> reply(len);  // exactly sized: any read past it is caught
    for (size_t k = 0; k < len; ++k) {
      unsigned pick = rng() % 8;
      if (pick < 3)
        reply[k] = static_cast<uint8_t>('0' + rng() % 10);
      else if (pick < 6)
        reply[k] = special[rng() % sizeof special];
      else
        reply[k] = static_cast<uint8_t>(rng());
    }
    if (len && rng() % 2) reply[0] = 0x15;  // half of them error replies
    const char *what = "";
    ASSERT_TRUE(card::status::checkReplyReaders(reply.data(), reply.size(), &what))
        << what << " (case " << i << ", length " << len << ")";
  }
}
