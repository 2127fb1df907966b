// The network pacing writer: a job through WritePort reaches the emulated
// printer command by command, its data blocks in frames of at most 65536
// bytes, and a job cut inside a block leaves the printer reset.
#include <atomic>
#include <string>
#include <vector>

#include "netmon/tests/glue/job_fixture.h"

namespace card::net::test {
namespace {

// A run-length coded plane ("\eGS n 30 ...") whose data and closing CR are
// exactly 100000 bytes: 4442 runs of 127 values, one of 113 and 91113 single
// values make the plane's 1024 x 640 values.
std::string hundredThousandBytePlane() {
  std::string data;
  for (int i = 0; i < 4442; ++i) data += "\xFF\x05";
  data += std::string(1, char(0x80 | 113)) + "\x05";
  data += std::string(91113, '\x05');
  return "\x1bGS 0 30 0 0 1024 640 " + data + "\r";
}

TEST_F(NetJobTest, ATwoSidedCardArrivesWhole) {
  HANDLE h = openPort();
  ASSERT_NE(h, nullptr);
  const std::string job = twoSidedJob();
  ASSERT_TRUE(startDoc(h, newJob())) << GetLastError();
  ASSERT_TRUE(writeJob(h, job));
  ASSERT_TRUE(table_->pfnEndDocPort(h));
  EXPECT_EQ(printer->error(), 0);
  EXPECT_EQ(net->stats().connectionsBroken, 0u);
  expectSameCards(printer->takeCards(), cardsOf(job));
}

TEST_F(NetJobTest, A100000ByteBlockGoesAsFramesOf65536And34464Bytes) {
  HANDLE h = openPort();
  ASSERT_NE(h, nullptr);
  const std::string head = streams::ymckoHeader() + streams::esc("$F");
  const std::string plane = hundredThousandBytePlane();
  const size_t headerBytes = plane.size() - 100000;
  const std::string job = head + plane + streams::esc("IS 0") + streams::esc("MO");
  ASSERT_TRUE(startDoc(h, newJob())) << GetLastError();
  // The whole job is offered at once, each time from where the monitor
  // stopped, as the spooler does with one large buffer.
  const size_t blockStart = head.size() + headerBytes;
  uint64_t before = 0, after = 0;
  for (size_t off = 0, calls = 0; off < job.size() && calls < 1000; ++calls) {
    if (off == blockStart) before = settledDataBytes();
    DWORD n = 0;
    ASSERT_TRUE(table_->pfnWritePort(h, reinterpret_cast<LPBYTE>(const_cast<char *>(job.data() + off)),
                                     DWORD(job.size() - off), &n));
    if (off == blockStart) {
      EXPECT_EQ(n, 100000u);
      // Two frames of the block, then the framed error report request of
      // the reply check at the block's end.
      dataBytesReaching(before + 100000 + 2 * 4 + 5 + 4);
      after = settledDataBytes();
    }
    off += n;
  }
  EXPECT_EQ(after - before, 100000u + 2 * 4 + 5 + 4);
  ASSERT_TRUE(table_->pfnEndDocPort(h));
  EXPECT_EQ(printer->error(), 0);
  expectSameCards(printer->takeCards(), cardsOf(job));
}

TEST_F(NetJobTest, AJobCutInsideABlockEndsWithASoftReset) {
  HANDLE h = openPort();
  ASSERT_NE(h, nullptr);
  // A card is in the printer with its yellow panel when the magenta plane's
  // connection breaks.
  const std::string front = streams::ymckoHeader() + streams::plane(0, streams::flat(5)) + streams::esc("IS 0");
  const std::string job = front + streams::plane(1, streams::flat(10)) + streams::esc("IS 1") + streams::esc("MO");
  const DWORD id = newJob();
  ASSERT_TRUE(startDoc(h, id)) << GetLastError();
  ASSERT_TRUE(writeJob(h, front));
  net->resetDataAfter(100000);
  bool deleted = false;
  const size_t chunk = 0x10000;
  for (size_t off = front.size(), calls = 0; off < job.size() && calls < 1000; ++calls) {
    const uint64_t taken = net->stats().dataBytes;
    DWORD n = 0;
    const size_t size = std::min(chunk, job.size() - off);
    ASSERT_TRUE(
        table_->pfnWritePort(h, reinterpret_cast<LPBYTE>(const_cast<char *>(job.data() + off)), DWORD(size), &n));
    off += n;
    if (deleted) {
      // The spooler's next offer of a deleted job ends at once.
      EXPECT_EQ(n, 0u);
      break;
    }
    // Each slice is let reach the printer (or break its connection) before
    // the next, so that the job is given up inside the block.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (net->stats().dataBytes < taken + n && net->stats().connectionsReset == 0 &&
           std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (net->stats().connectionsReset > 0) {
      // The user gives the job up.
      ASSERT_TRUE(deleteJob(id));
      deleted = true;
    }
  }
  ASSERT_TRUE(deleted);
  EXPECT_TRUE(entryOf(h).cancelled);
  ASSERT_TRUE(table_->pfnEndDocPort(h));
  // "111", a pause, "222" on the status channel: the printer dropped the
  // rest of the block and put the card out.
  bool resetOut = false;
  for (const cardemu::Card &c : printer->takeCards())
    for (const std::string &note : c.notes)
      if (note.find("interface reset") != std::string::npos) resetOut = true;
  EXPECT_TRUE(resetOut);
  EXPECT_EQ(entryOf(h).jobActive, 0);
  EXPECT_FALSE(entryOf(h).cutter.insideBlock());
}

// A job inside its first plane when the interface drops the data connection
// and refuses new ones.
class RefusedSliceTest : public NetJobTest {
 protected:
  void SetUp() override {
    NetJobTest::SetUp();
    if (HasFatalFailure()) return;
    // Whatever the error wait shows, the user dismisses it.
    winsim::scriptUser(winsim::UserScript{});
    h = openPort();
    ASSERT_NE(h, nullptr);
    job = newJob();
    ASSERT_TRUE(startDoc(h, job)) << GetLastError();
    const size_t header = plane.find("GS ") - 1;
    ASSERT_TRUE(writeJob(h, plane.substr(0, header)));  // "\e$F\r"
    DWORD n = 0;
    ASSERT_TRUE(table_->pfnWritePort(h, reinterpret_cast<LPBYTE>(const_cast<char *>(plane.data() + header)),
                                     DWORD(plane.size() - header), &n));
    ASSERT_TRUE(entryOf(h).cutter.insideBlock());
    block = header + n;
    net->setRefusing(true);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (net->stats().dataPortOpen && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  BOOL writeSlice(DWORD &n) {
    return table_->pfnWritePort(h, reinterpret_cast<LPBYTE>(const_cast<char *>(plane.data() + block)), 0x10000, &n);
  }

  const std::string plane = streams::plane(0, streams::flat(5));
  HANDLE h = nullptr;
  DWORD job = 0;
  size_t block = 0;
};

TEST_F(RefusedSliceTest, FourFailedTriesEndTheWriteAfterTheErrorWait) {
  // The printer never takes the connection back: the error wait ends when
  // the user deletes the job, a while after the fourth try.
  std::atomic<bool> done{false};
  std::thread user([&] {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done && net->stats().interfaceResets < 4 && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    for (int i = 0; i < 40 && !done; ++i) Sleep(1000);
    deleteJob(job);
  });
  const ULONGLONG start = GetTickCount64();
  DWORD n = 0;
  EXPECT_FALSE(writeSlice(n));
  done = true;
  user.join();
  EXPECT_EQ(n, 0u);
  // Each try won the connection back as far as the refusal and asked for
  // the interface's reset once, with the pauses between.
  EXPECT_GE(net->stats().interfaceResets, 4u);
  EXPECT_GE(GetTickCount64() - start, 4 * (100 + 2000 + 100u));
  // Nothing of the slice counts as sent: the block starts again where it was.
  EXPECT_TRUE(entryOf(h).cutter.insideBlock());
  EXPECT_EQ(entryOf(h).cutter.state().units, 0u);
}

TEST_F(RefusedSliceTest, AJobDeletedDuringTheTriesEndsTheWriteWithSuccess) {
  std::thread user([&] {
    Sleep(1000);
    deleteJob(job);
  });
  DWORD n = 0;
  EXPECT_TRUE(writeSlice(n));
  user.join();
  EXPECT_EQ(n, 0u);
  EXPECT_LE(net->stats().interfaceResets, 1u);
  EXPECT_TRUE(entryOf(h).cancelled);
  EXPECT_TRUE(entryOf(h).errorPending);
  EXPECT_EQ(entryOf(h).cutter.state().units, 0u);
}

}  // namespace
}  // namespace card::net::test
