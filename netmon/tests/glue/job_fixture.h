// The job path's cases: the monitor installed with its printer, and a second
// printer whose queue holds the jobs the cases hand the monitor, as the
// spooler would hand it a job of its own (an id it can be asked about and
// that can be deleted).
#pragma once

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "emulator/tests/streams.h"
#include "netmon/monitor.h"
#include "netmon/tests/glue/net_fixture.h"

namespace card::net::test {

inline const char16_t kHolderName[] = u"Job Holder";
inline const char16_t kHolderPort[] = u"HOLD:";

class NetJobTest : public NetMonitorTest {
 protected:
  void SetUp() override {
    NetMonitorTest::SetUp();
    if (HasFatalFailure()) return;
    install();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(winsim::addTestPort(kHolderPort));
    winsim::PrinterSetup holder;
    holder.printerName = kHolderName;
    holder.driverName = u"Generic Holder Driver";  // not the package's: its monitor stays
    holder.portName = kHolderPort;
    ASSERT_TRUE(winsim::installPrinter(holder));
    std::u16string name = kHolderName;
    ASSERT_TRUE(OpenPrinterW(name.data(), &holder_, nullptr));
  }

  void TearDown() override {
    if (holder_) ClosePrinter(holder_);
    holder_ = nullptr;
    NetMonitorTest::TearDown();
  }

  // A job in the holder's queue, still being spooled.
  DWORD newJob() {
    std::u16string doc = u"Card", type = u"RAW";
    DOC_INFO_1W di{doc.data(), nullptr, type.data()};
    return StartDocPrinterW(holder_, 1, reinterpret_cast<LPBYTE>(&di));
  }
  bool deleteJob(DWORD id) { return SetJobW(holder_, id, 0, nullptr, JOB_CONTROL_DELETE) != FALSE; }

  BOOL startDoc(HANDLE port, DWORD jobId, const char16_t *document = u"Card") {
    std::u16string printer = kHolderName, doc = document, type = u"RAW";
    DOC_INFO_1W di{doc.data(), nullptr, type.data()};
    return table_->pfnStartDocPort(port, printer.data(), jobId, 1, reinterpret_cast<LPBYTE>(&di));
  }

  // The job as the spooler offers it: buffers of `chunk` bytes, each offered
  // again from where the monitor stopped.  False when a write failed or
  // the monitor stopped taking bytes.
  bool writeJob(HANDLE port, const std::string &job, size_t chunk = 0x10000) {
    int idle = 0;
    for (size_t block = 0; block < job.size(); block += chunk) {
      const size_t end = std::min(job.size(), block + chunk);
      for (size_t off = block; off < end;) {
        DWORD n = 0;
        if (!table_->pfnWritePort(port, reinterpret_cast<LPBYTE>(const_cast<char *>(job.data() + off)),
                                  DWORD(end - off), &n))
          return false;
        off += n;
        if (n == 0 && ++idle > 50) return false;
      }
    }
    return true;
  }

  // The emulator counts what it took on its own thread: wait (bounded) for
  // at least `bytes`, and give the count.
  uint64_t dataBytesReaching(uint64_t bytes) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    uint64_t now = net->stats().dataBytes;
    while (now < bytes && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      now = net->stats().dataBytes;
    }
    return now;
  }

  // The count once the emulator has taken everything sent so far (it no
  // longer changes for a while; bounded).
  uint64_t settledDataBytes() {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    uint64_t last = net->stats().dataBytes;
    auto stableSince = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() < until &&
           std::chrono::steady_clock::now() - stableSince < std::chrono::milliseconds(50)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      const uint64_t now = net->stats().dataBytes;
      if (now != last) {
        last = now;
        stableSince = std::chrono::steady_clock::now();
      }
    }
    return last;
  }

  static PortEntry &entryOf(HANDLE h) { return *static_cast<PortEntry *>(h); }

  static DWORD portStatusOf(DWORD *severity = nullptr) {
    DWORD status = 0, sev = 0;
    std::u16string text;
    if (!winsim::portStatus(kPortName, status, sev, text)) return 0;
    if (severity) *severity = sev;
    return status;
  }

  HANDLE holder_ = nullptr;
};

// A two-sided card: colour front with a resin box, flipped, resin back.
inline std::string twoSidedJob() {
  auto box = [](int line, int dot) { return line > 100 && line < 300 && dot > 50 && dot < 400; };
  return streams::ymckoHeader() + streams::ymc(streams::flat(5), streams::flat(10), streams::flat(15)) +
         streams::resin(box) + streams::esc("I 30") + streams::esc("MF") + streams::resin(box) + streams::esc("I 30") +
         streams::esc("MO");
}

// The cards the same job gives when it is fed to a printer directly.
inline std::vector<cardemu::Card> cardsOf(const std::string &job) {
  cardemu::Printer reference;
  reference.write(job);
  reference.finish();
  return reference.takeCards();
}

inline void expectSameCards(const std::vector<cardemu::Card> &got, const std::vector<cardemu::Card> &want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t c = 0; c < got.size(); ++c) {
    EXPECT_EQ(got[c].summary(), want[c].summary());
    for (int side = 0; side < 2; ++side) {
      const auto &g = got[c].sides[side].panels, &w = want[c].sides[side].panels;
      ASSERT_EQ(g.size(), w.size());
      for (size_t k = 0; k < g.size(); ++k) {
        EXPECT_EQ(g[k].kind, w[k].kind);
        EXPECT_EQ(g[k].command, w[k].command);
        ASSERT_TRUE(g[k].image && w[k].image);
        EXPECT_TRUE(*g[k].image == *w[k].image) << "card " << c << " side " << side << " panel " << k;
      }
    }
  }
}

}  // namespace card::net::test
