// GoogleTest support for tests on winsim (library winsim_gtest): linking it
// is enough.  Before each test the scripted user's script and records are
// cleared; after it, every message that ended as a fault (shown without a
// script, answered with a button the box lacks, left open too long, a
// notification without its payload) fails the test with its caption and text.
#pragma once

#include <string>
#include <vector>

#include <winsim/testing.h>

namespace winsim {

// One line per fault since the last call, as the test failure reports it;
// takes them (takeMessageFaults).
std::vector<std::string> describeMessageFaults();

}  // namespace winsim
