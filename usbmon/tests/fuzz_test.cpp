// The fuzz target's checks over hand-made and repeatable random inputs.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "usbmon/fuzz/monitor_input_harness.h"

namespace {

const char *check(const std::string &s) {
  return card::usb::fuzz::checkMonitorInput(reinterpret_cast<const uint8_t *>(s.data()), s.size());
}

TEST(MonitorInputs, HandMadeInputs) {
  // Query names (mode 0).
  for (const char *q : {"\x1bR\r", "\x1bRESET\r", "\x1bISREADY\r",
                        "\x1b"
                        "CHECK_STATUS\r",
                        "\x1bMS 2\r", "\x1bMO", "", "\x1b"})
    EXPECT_EQ(check(std::string(1, '\0') + q), nullptr) << q + 1;
  // Error replies during the check and the wait (mode 1): NAK 0 4 EOT, then
  // a busy line, a dismissed message and its task's normal end.
  EXPECT_EQ(check(std::string("\x01\x01\x00\x01\x04\x15"
                              "04\x04",
                              9)),
            nullptr);
  // Streams (mode 2).
  EXPECT_EQ(check("\x02\x1bGS 0 30 0 0 1024 640 \x85\x01\r\x1bMO\r"), nullptr);
}

TEST(MonitorInputs, RandomBytesKeepEveryPromise) {
  std::mt19937 random(20261207);
  std::vector<uint8_t> buf;
  for (int i = 0; i < 3000; ++i) {
    buf.resize(random() % 600);
    for (auto &b : buf) b = uint8_t(random());
    // Replies that look like the printer's now and then.
    if (buf.size() > 8 && i % 3 == 0) {
      buf[4] = 0x15;
      buf[5] = uint8_t('0' + random() % 10);
      buf[6] = uint8_t('0' + random() % 10);
      buf[7] = 0x04;
    }
    const char *bad = card::usb::fuzz::checkMonitorInput(buf.data(), buf.size());
    ASSERT_EQ(bad, nullptr) << "input " << i << ": " << bad;
  }
}

}  // namespace
