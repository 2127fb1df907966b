// The fixtures that tests of several DLLs share: a test suite keeps one
// fixture class across the files it is spread over.
#pragma once

#include <gtest/gtest.h>
#include <winsim/testing.h>

namespace winsim_test {

// Every test starts on a fresh machine.
class Winsim : public ::testing::Test {
 protected:
  void SetUp() override { winsim::resetMachine(); }
};

class WinsimMore : public Winsim {};

}  // namespace winsim_test
