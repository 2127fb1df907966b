// The fuzz target's checks over its hand-made corpus, and over repeatable
// random changes to it, in the normal suite.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "netmon/fuzz/net_input_harness.h"

namespace card::net::fuzz {
namespace {

using Input = std::vector<uint8_t>;

std::vector<std::pair<std::string, Input>> corpus() {
  std::vector<std::pair<std::string, Input>> out;
  for (const auto &e : std::filesystem::directory_iterator(NETMON_FUZZ_CORPUS)) {
    if (!e.is_regular_file()) continue;
    std::ifstream f(e.path(), std::ios::binary);
    out.emplace_back(e.path().filename().string(), Input(std::istreambuf_iterator<char>(f), {}));
  }
  std::sort(out.begin(), out.end());
  return out;
}

TEST(NetInputCorpus, EveryInputKeepsEveryPromise) {
  const auto inputs = corpus();
  int perReader[static_cast<int>(Reader::Count)] = {};
  for (const auto &[name, bytes] : inputs) {
    ASSERT_FALSE(bytes.empty()) << name;
    ++perReader[bytes[0] % static_cast<int>(Reader::Count)];
    const char *bad = checkNetInput(bytes.data(), bytes.size());
    EXPECT_EQ(bad, nullptr) << name << ": " << bad;
  }
  // Each reader has inputs of its own, so that a lost or renamed file shows.
  for (int r = 0; r < static_cast<int>(Reader::Count); ++r) EXPECT_GE(perReader[r], 4) << "reader " << r;
}

TEST(NetInputCorpus, ChangedInputsKeepEveryPromise) {
  const auto inputs = corpus();
  ASSERT_FALSE(inputs.empty());
  std::mt19937 random(20261207);
  for (int i = 0; i < 20000; ++i) {
    Input b = inputs[random() % inputs.size()].second;
    // A few byte changes, a cut or an insertion past the reader's byte.
    for (int k = 1 + random() % 4; k > 0 && b.size() > 1; --k) {
      const size_t at = 1 + random() % (b.size() - 1);
      switch (random() % 4) {
        case 0: b[at] = uint8_t(random()); break;
        case 1: b[at] ^= uint8_t(1u << (random() % 8)); break;
        case 2: b.resize(at); break;
        default: b.insert(b.begin() + at, uint8_t(random())); break;
      }
    }
    const char *bad = checkNetInput(b.data(), b.size());
    ASSERT_EQ(bad, nullptr) << "input " << i << ": " << bad;
  }
}

}  // namespace
}  // namespace card::net::fuzz
