// Random streams from fixed starting values, so that a failure is repeatable: pieces of
// real commands, headers and image data cut and mixed with noise.
#include <gtest/gtest.h>

#include <random>

#include "emulator/fuzz/stream_harness.h"
#include "emulator/tests/streams.h"

namespace {

std::string randomStream(std::mt19937 &rng) {
  using streams::esc;
  static const char *const words[] = {"MASTER",
                                      "JOB 0",
                                      "JOB 1",
                                      "SXY 1",
                                      "+C 5",
                                      "+$C 0 9",
                                      "+O 3",
                                      "IS 0",
                                      "IS 3",
                                      "I 10",
                                      "I",
                                      "IV 31",
                                      "IV 30",
                                      "IV",
                                      "IH 31",
                                      "IH 30",
                                      "MF",
                                      "MO",
                                      "MI",
                                      "F",
                                      "$F",
                                      "vF",
                                      "!FF 1",
                                      "L 0 0 1023 639 1",
                                      "vL 10 20 30 40 0",
                                      "&R",
                                      "&B 1 ABC",
                                      "&B 2 123",
                                      "&E*",
                                      "&L1",
                                      "&CDEW 2 b1",
                                      "&D 1 75",
                                      "E 2",
                                      "E 1",
                                      "V",
                                      "!RIBBON",
                                      "!RIBLEN",
                                      "!V 1",
                                      "!NL",
                                      "%SERIE",
                                      "ATM 1 1",
                                      "R",
                                      "RESET",
                                      "CLEAN",
                                      "A",
                                      "A 2",
                                      "+DLAMI 1 0",
                                      "HTABLE 2 1",
                                      "G 0 0 10 640 1024 1",
                                      "G 0 0 12 640 1024 0",
                                      "vG 0 0 10 640 1024 1",
                                      "G 0 0 99 640 1024 1",
                                      "XYZ",
                                      ""};
  std::string s;
  const int parts = 1 + static_cast<int>(rng() % 60);
  for (int k = 0; k < parts; ++k) {
    switch (rng() % 9) {
      case 0:
      case 1:
      case 2:
      case 3: s += esc(words[rng() % (sizeof words / sizeof words[0])]); break;
      case 4: {  // bit block, plain or run-length, of random length
        s += "\x1bZ";
        const size_t n = rng() % 3 == 0 ? 81920 + rng() % 8 : rng() % 300;
        for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(rng() % 4 == 0 ? 0x5B : rng() % 256));
        break;
      }
      case 5: {  // plane header, sometimes with run-length data
        const bool rle = rng() % 2;
        s += std::string("\x1bGS ") + std::to_string(rng() % 5) + (rle ? " 30" : " 32") + " 0 0 1024 640 ";
        if (rle) {
          for (int i = 0; i < 5200; ++i) s += streams::bytes({0xFF, static_cast<int>(rng() % 40)});
          s += "\r";
        }
        break;
      }
      case 6: {  // firmware image, framed or not
        const size_t n = rng() % 40;
        s += "\x1b"
             "DC " +
             streams::bytes({0, 0, 0, static_cast<int>(n + rng() % 2)});
        for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(rng() % 3 ? 0xFF : rng() % 256));
        s += streams::bytes({0xFF, 0x0D});
        break;
      }
      case 7: {  // noise with the bytes that matter most
        static const char special[] = {0x1B, 0x0D, 0x5B, 0x06, 0x15, ' ', '0', 'G', 'S', 'Z'};
        const size_t n = rng() % 20;
        for (size_t i = 0; i < n; ++i)
          s.push_back(rng() % 2 ? special[rng() % sizeof special] : static_cast<char>(rng()));
        break;
      }
      default: {  // a real command cut short
        std::string c = esc(words[rng() % (sizeof words / sizeof words[0])]);
        s += c.substr(0, rng() % c.size());
      }
    }
  }
  return s;
}

}  // namespace

TEST(RandomStreams, NeverBreakTheirBounds) {
  std::mt19937 rng(0xCA5D);
  for (int i = 0; i < 400; ++i) {
    const std::string s = randomStream(rng);
    std::string what;
    ASSERT_TRUE(cardemu::fuzz::runStream(reinterpret_cast<const uint8_t *>(s.data()), s.size(), &what))
        << what << " (case " << i << ", " << s.size() << " bytes)";
    ASSERT_TRUE(cardemu::fuzz::runUnattended(reinterpret_cast<const uint8_t *>(s.data()), s.size(), &what))
        << what << " (case " << i << ", " << s.size() << " bytes)";
  }
  // Pure noise.
  for (int i = 0; i < 200; ++i) {
    std::string s(rng() % 2000, '\0');
    for (auto &c : s) c = static_cast<char>(rng());
    std::string what;
    ASSERT_TRUE(cardemu::fuzz::runStream(reinterpret_cast<const uint8_t *>(s.data()), s.size(), &what)) << what;
    ASSERT_TRUE(cardemu::fuzz::runUnattended(reinterpret_cast<const uint8_t *>(s.data()), s.size(), &what)) << what;
  }
}
