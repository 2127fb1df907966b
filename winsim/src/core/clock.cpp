// The simulated clock: real time scaled by a factor that tests raise so that
// long waits of the package pass in a moment.
#include <sys/prctl.h>

#include <chrono>

#include "core/internal.h"

namespace winsim {

namespace {

std::mutex g_clockLock;
double g_scale = 1.0;
std::chrono::steady_clock::time_point g_realBase = std::chrono::steady_clock::now();
double g_virtualBaseMs = 0;

}  // namespace

uint64_t virtualNowMs() {
  std::lock_guard<std::mutex> g(g_clockLock);
  auto real = std::chrono::steady_clock::now() - g_realBase;
  double ms = std::chrono::duration<double, std::milli>(real).count() * g_scale;
  return uint64_t(g_virtualBaseMs + ms);
}

std::chrono::nanoseconds realDuration(uint64_t virtualMs) {
  // A sped-up clock turns pauses of milliseconds into microseconds, and the
  // kernel's default timer slack (50 us) would stretch every such wait many
  // times over.  A thread that waits on the simulated clock asks for 1 us.
  thread_local bool fineSlack = false;
  if (!fineSlack) {
    prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
    fineSlack = true;
  }
  double scale;
  {
    std::lock_guard<std::mutex> g(g_clockLock);
    scale = g_scale;
  }
  return std::chrono::nanoseconds(int64_t(double(virtualMs) * 1e6 / scale));
}

void setClockScaleInternal(double scale) {
  if (!(scale > 0)) return;
  std::lock_guard<std::mutex> g(g_clockLock);
  auto now = std::chrono::steady_clock::now();
  g_virtualBaseMs += std::chrono::duration<double, std::milli>(now - g_realBase).count() * g_scale;
  g_realBase = now;
  g_scale = scale;
}

double clockScaleInternal() {
  std::lock_guard<std::mutex> g(g_clockLock);
  return g_scale;
}

void resetClock() {
  std::lock_guard<std::mutex> g(g_clockLock);
  g_realBase = std::chrono::steady_clock::now();
  // Machines have been up for a while: tick counts that start near zero hide
  // arithmetic faults around the start.
  g_virtualBaseMs = 4 * 3600 * 1000.0;
  g_scale = 1.0;
}

namespace {
const ResetStep kClock(kResetKernel + 10, resetClock);
}  // namespace

}  // namespace winsim
