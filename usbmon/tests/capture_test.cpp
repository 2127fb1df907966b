// Capture jobs: the job's bytes in a temp file, handed to a request at the end.
#include <gtest/gtest.h>
#include <winsim/testing.h>

#include <string>

#include "usbmon/interception.h"
#include "usbmon/tests/requests_fake_port.h"

namespace card::usb {
namespace {

bool exists(LPCWSTR path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

class Capture : public ::testing::Test {
 protected:
  void SetUp() override { winsim::resetMachine(); }
  CaptureState state;
  testing::FakePort port;
};

TEST_F(Capture, TheJobsBytesGoToTheRequestOfItsMode) {
  ASSERT_TRUE(startCapture(state, CaptureMode::Download));
  EXPECT_TRUE(state.active);
  std::u16string path = state.tempPath;
  EXPECT_EQ(path.rfind(u"C:\\Windows\\Temp\\CRX", 0), 0u);
  DWORD written = 0;
  ASSERT_TRUE(captureWrite(state, reinterpret_cast<const BYTE *>("\033DC fw"), 6, &written));
  EXPECT_EQ(written, 6u);
  DWORD sizeSeen = 0;
  port.onRequest = [&] {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    sizeSeen = GetFileSize(f, nullptr);
    CloseHandle(f);
    return false;  // a failed request still ends the job
  };
  endCapture(state, port);
  EXPECT_EQ(port.requests, std::vector<std::u16string>{u"download:" + path});
  EXPECT_EQ(sizeSeen, 6u);
  EXPECT_FALSE(exists(path.c_str()));
  EXPECT_TRUE(state.documentComplete);
  EXPECT_FALSE(state.active);
  EXPECT_EQ(state.tempPath[0], 0);
}

TEST_F(Capture, ACancelledCaptureLeavesNothingBehind) {
  ASSERT_TRUE(startCapture(state, CaptureMode::PrintFile));
  std::u16string first = state.tempPath;
  HANDLE firstFile = state.file;
  // A new capture on a port whose last one never ended: the old file goes.
  ASSERT_TRUE(startCapture(state, CaptureMode::SendCommands));
  EXPECT_FALSE(exists(first.c_str()));
  EXPECT_FALSE(CloseHandle(firstFile));  // closed already
  std::u16string second = state.tempPath;
  HANDLE secondFile = state.file;
  DWORD written = 0;
  ASSERT_TRUE(captureWrite(state, reinterpret_cast<const BYTE *>("half"), 4, &written));
  cancelCapture(state);
  EXPECT_TRUE(port.requests.empty());
  EXPECT_FALSE(exists(second.c_str()));
  EXPECT_FALSE(CloseHandle(secondFile));
  EXPECT_TRUE(state.documentComplete);
  EXPECT_FALSE(captureWrite(state, reinterpret_cast<const BYTE *>("late"), 4, &written));
  EXPECT_EQ(written, 0u);
}

TEST_F(Capture, NoTempFileNoJob) {
  ASSERT_TRUE(RemoveDirectoryW(u"C:\\Windows\\Temp"));
  EXPECT_FALSE(startCapture(state, CaptureMode::PrintFile));
  EXPECT_NE(GetLastError(), 0u);
  EXPECT_FALSE(state.active);
  EXPECT_EQ(state.file, INVALID_HANDLE_VALUE);
}

}  // namespace
}  // namespace card::usb
