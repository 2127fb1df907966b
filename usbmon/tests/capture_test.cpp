// Capture jobs: the job's bytes in a temp file, handed to a request at the end.
#include <gtest/gtest.h>
#include <winsim/testing.h>

#include <string>

#include "usbmon/interception.h"
#include "usbmon/tests/requests_fake_port.h"

namespace card::usb {
namespace {

using testing::FakePort;

bool exists(LPCWSTR path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

std::string readDriveFile(LPCWSTR path) {
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return "<unreadable>";
  char buf[256];
  DWORD got = 0;
  ReadFile(f, buf, sizeof buf, &got, nullptr);
  CloseHandle(f);
  return std::string(buf, got);
}

class Capture : public ::testing::Test {
 protected:
  void SetUp() override { winsim::resetMachine(); }
  void write(const std::string &bytes) {
    DWORD written = 12345;
    ASSERT_TRUE(captureWrite(state, reinterpret_cast<const BYTE *>(bytes.data()), DWORD(bytes.size()), &written));
    EXPECT_EQ(written, bytes.size());
  }
  CaptureState state;
  FakePort port;
};

TEST_F(Capture, TheJobsBytesGoToTheRequestOfTheMode) {
  ASSERT_TRUE(startCapture(state, CaptureMode::Download));
  EXPECT_TRUE(state.active);
  EXPECT_FALSE(state.documentComplete);
  EXPECT_EQ(state.mode, CaptureMode::Download);
  std::u16string path = state.tempPath;
  // A unique temp file name with the "CRX" prefix in the temp folder.
  EXPECT_EQ(path.rfind(u"C:\\Windows\\Temp\\CRX", 0), 0u);
  EXPECT_TRUE(exists(path.c_str()));
  write("\033DC ");
  write("firmware");
  std::string seen;
  port.onRequest = [&](LPCWSTR) {
    seen = readDriveFile(path.c_str());
    return true;
  };
  endCapture(state, port);
  ASSERT_EQ(port.requests.size(), 1u);
  EXPECT_EQ(port.requests[0], u"download:" + path);
  EXPECT_EQ(seen, "\033DC firmware");  // complete and closed when the request runs
  EXPECT_FALSE(exists(path.c_str()));
  EXPECT_TRUE(state.documentComplete);
  EXPECT_FALSE(state.active);
  EXPECT_EQ(state.tempPath[0], 0);
  EXPECT_EQ(state.file, INVALID_HANDLE_VALUE);
}

TEST_F(Capture, EachModeNamesItsRequestAndAFailedRequestStillEndsTheJob) {
  const std::pair<CaptureMode, std::u16string> modes[] = {{CaptureMode::PrintFile, u"PrintFile:"},
                                                          {CaptureMode::SendCommands, u"sendcmds:"}};
  for (const auto &[mode, prefix] : modes) {
    ASSERT_TRUE(startCapture(state, mode));
    std::u16string path = state.tempPath;
    port.requests.clear();
    port.onRequest = [](LPCWSTR) { return false; };
    endCapture(state, port);
    ASSERT_EQ(port.requests.size(), 1u);
    EXPECT_EQ(port.requests[0], prefix + path);
    EXPECT_FALSE(exists(path.c_str()));
    EXPECT_TRUE(state.documentComplete);
  }
}

TEST_F(Capture, ACancelledCaptureLeavesNothingBehind) {
  ASSERT_TRUE(startCapture(state, CaptureMode::PrintFile));
  std::u16string path = state.tempPath;
  HANDLE file = state.file;
  write("half a job");
  cancelCapture(state);
  EXPECT_TRUE(port.requests.empty());
  EXPECT_FALSE(exists(path.c_str()));
  EXPECT_FALSE(CloseHandle(file));  // already closed
  EXPECT_FALSE(state.active);
  EXPECT_TRUE(state.documentComplete);
  // A new capture on a port whose last one never ended: the old file goes.
  ASSERT_TRUE(startCapture(state, CaptureMode::PrintFile));
  std::u16string first = state.tempPath;
  HANDLE firstFile = state.file;
  ASSERT_TRUE(startCapture(state, CaptureMode::Download));
  EXPECT_FALSE(exists(first.c_str()));
  EXPECT_FALSE(CloseHandle(firstFile));
  EXPECT_NE(std::u16string(state.tempPath), first);
  cancelCapture(state);
}

TEST_F(Capture, NoTempFileNoJob) {
  ASSERT_TRUE(RemoveDirectoryW(u"C:\\Windows\\Temp"));
  SetLastError(0);
  EXPECT_FALSE(startCapture(state, CaptureMode::PrintFile));
  EXPECT_NE(GetLastError(), 0u);
  EXPECT_FALSE(state.active);
  EXPECT_EQ(state.tempPath[0], 0);
  EXPECT_EQ(state.file, INVALID_HANDLE_VALUE);
  // Writes outside a capture are refused.
  DWORD written = 7;
  const BYTE b = 0;
  EXPECT_FALSE(captureWrite(state, &b, 1, &written));
  EXPECT_EQ(written, 0u);
}

}  // namespace
}  // namespace card::usb
