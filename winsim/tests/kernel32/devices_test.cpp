// DOS device names and the machine's serial and parallel ports: the calls a
// port monitor makes to reach a port behind the spooler's back.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include <winsim/testing.h>

namespace {

class Devices : public ::testing::Test {
 protected:
  void SetUp() override { winsim::resetMachine(); }
  void TearDown() override { winsim::resetMachine(); }

  // QueryDosDeviceW's multi-string, or "<error N>".
  static std::u16string query(const char16_t *name) {
    WCHAR buf[1024];
    DWORD n = QueryDosDeviceW(name, buf, 1024);
    if (!n) {
      std::string e = std::to_string(GetLastError());
      return u"<error " + std::u16string(e.begin(), e.end()) + u">";
    }
    return std::u16string(buf, n);
  }
  static HANDLE openDevice(const char16_t *path) {
    return CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  }
};

TEST_F(Devices, DefinitionsStackAndComeOffAgain) {
  using namespace std::string_literals;
  EXPECT_EQ(query(u"COM2"), u"\\Device\\Serial1\0\0"s);
  EXPECT_EQ(query(u"lpt1"), u"\\Device\\Parallel0\0\0"s);
  EXPECT_EQ(query(u"NONSPOOLED_COM1"), u"<error 2>");

  ASSERT_TRUE(DefineDosDeviceW(DDD_RAW_TARGET_PATH, u"NONSPOOLED_COM1", u"\\Device\\Serial0"));
  ASSERT_TRUE(DefineDosDeviceW(0, u"NONSPOOLED_COM1", u"C:\\spool"));
  // Most recent first; a Windows path is kept as its object-namespace name.
  EXPECT_EQ(query(u"NONSPOOLED_COM1"), u"\\??\\C:\\spool\0\\Device\\Serial0\0\0"s);

  // Too small a buffer: nothing, and the error.
  WCHAR small[10];
  EXPECT_EQ(QueryDosDeviceW(u"NONSPOOLED_COM1", small, 10), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));

  // An exact match must be exact; without it a prefix is enough.
  EXPECT_FALSE(DefineDosDeviceW(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE,
                                u"NONSPOOLED_COM1", u"\\Device\\Serial"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(DefineDosDeviceW(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION, u"NONSPOOLED_COM1", u"\\Device\\Serial"));
  EXPECT_EQ(query(u"NONSPOOLED_COM1"), u"\\??\\C:\\spool\0\0"s);
  // No target: the most recent definition goes, and with the last the name.
  EXPECT_TRUE(DefineDosDeviceW(DDD_REMOVE_DEFINITION, u"NONSPOOLED_COM1", nullptr));
  EXPECT_EQ(query(u"NONSPOOLED_COM1"), u"<error 2>");
  EXPECT_FALSE(DefineDosDeviceW(DDD_REMOVE_DEFINITION, u"NONSPOOLED_COM1", nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));

  EXPECT_FALSE(DefineDosDeviceW(0, u"X", nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(DefineDosDeviceW(0, nullptr, u"\\Device\\Serial0"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

  // Every name, once each.
  std::u16string all = query(nullptr);
  EXPECT_NE(all.find(u"COM4\0"s), std::u16string::npos);
  EXPECT_NE(all.find(u"LPT3\0"s), std::u16string::npos);

  ASSERT_TRUE(DefineDosDeviceW(DDD_RAW_TARGET_PATH, u"COM1", u"\\Device\\NamedPipe\\Spooler\\COM1"));
  winsim::resetMachine();
  EXPECT_EQ(query(u"COM1"), u"\\Device\\Serial0\0\0"s);
}

TEST_F(Devices, APortOpensByAnyOfItsNamesOnceAtATime) {
  ASSERT_TRUE(DefineDosDeviceW(DDD_RAW_TARGET_PATH, u"NONSPOOLED_COM1", u"\\Device\\Serial0"));
  HANDLE h = openDevice(u"\\\\.\\NONSPOOLED_COM1");
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(openDevice(u"\\\\.\\COM1"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(h, "abc", 3, &written, nullptr));
  EXPECT_EQ(written, 3u);

  COMMTIMEOUTS set{200, 0, 5000, 0, 45000}, got{};
  ASSERT_TRUE(SetCommTimeouts(h, &set));
  ASSERT_TRUE(GetCommTimeouts(h, &got));
  EXPECT_EQ(got.ReadIntervalTimeout, 200u);
  EXPECT_EQ(got.ReadTotalTimeoutConstant, 5000u);
  EXPECT_EQ(got.WriteTotalTimeoutConstant, 45000u);
  EXPECT_TRUE(CloseHandle(h));

  // The time-outs stay with the port, whichever name opens it next.
  h = openDevice(u"\\\\.\\com1");
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  got = {};
  ASSERT_TRUE(GetCommTimeouts(h, &got));
  EXPECT_EQ(got.WriteTotalTimeoutConstant, 45000u);
  CloseHandle(h);

  EXPECT_EQ(openDevice(u"\\\\.\\COM9"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  HANDLE lpt = openDevice(u"\\\\.\\LPT1");
  EXPECT_NE(lpt, INVALID_HANDLE_VALUE);
  CloseHandle(lpt);

  // Time-outs belong to devices only.
  HANDLE file = CreateFileW(u"C:\\plain.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(SetCommTimeouts(file, &set));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_FUNCTION));
  CloseHandle(file);
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  EXPECT_FALSE(GetCommTimeouts(event, &got));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  CloseHandle(event);
}

TEST_F(Devices, DefaultCommConfigRoundTrip) {
  static_assert(sizeof(DCB) == 28, "DCB as the SDK lays it out");
  static_assert(sizeof(COMMCONFIG) == 52, "COMMCONFIG as the SDK lays it out");
  COMMCONFIG cc{};
  DWORD size = 20;
  EXPECT_FALSE(GetDefaultCommConfigW(u"COM2", &cc, &size));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(size, 52u);
  ASSERT_TRUE(GetDefaultCommConfigW(u"COM2", &cc, &size));
  EXPECT_EQ(cc.dwProviderSubType, DWORD(PST_RS232));
  EXPECT_EQ(cc.dcb.BaudRate, 9600u);
  EXPECT_EQ(cc.dcb.ByteSize, 8);

  cc.dcb.BaudRate = 38400;
  cc.dcb.Parity = 2;
  ASSERT_TRUE(SetDefaultCommConfigW(u"COM2", &cc, sizeof(cc)));
  COMMCONFIG back{};
  size = sizeof(back);
  ASSERT_TRUE(GetDefaultCommConfigW(u"com2:", &back, &size));
  EXPECT_EQ(back.dcb.BaudRate, 38400u);
  EXPECT_EQ(back.dcb.Parity, 2);
  // Kept per port.
  ASSERT_TRUE(GetDefaultCommConfigW(u"COM3", &back, &size));
  EXPECT_EQ(back.dcb.BaudRate, 9600u);

  EXPECT_FALSE(SetDefaultCommConfigW(u"COM2", &cc, 20));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(GetDefaultCommConfigW(u"LPT1", &back, &size));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

}  // namespace
