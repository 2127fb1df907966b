// DOS device names and the communication calls on handles that are no
// communication device.
#include "check.h"
#include "support.h"

using conf::WString;

CONF_CASE(Devices, DefineQueryAndRemoveAName) {
  const WCHAR *name = TEXT("CONFCASE_DEV1");
  const WCHAR *target = TEXT("\\Device\\Serial7");
  WCHAR buf[256];
  SetLastError(0);
  CHECK_EQ(QueryDosDeviceW(name, buf, 256), 0u);
  CHECK_ERROR(DWORD(ERROR_FILE_NOT_FOUND));
  // Wine drops a new name as soon as DefineDosDeviceW has made it.
  SKIP_UNDER_WINE("a name defined with DefineDosDeviceW stays until it is removed");
  REQUIRE(DefineDosDeviceW(DDD_RAW_TARGET_PATH, name, target));
  DWORD n = QueryDosDeviceW(name, buf, 256);
  // The target, its terminator and the list's.
  CHECK(n >= 17u);
  CHECK_WSTR(buf, target);
  // A buffer too small for the answer gets nothing.
  SetLastError(0);
  CHECK_EQ(QueryDosDeviceW(name, buf, 4), 0u);
  CHECK_ERROR(DWORD(ERROR_INSUFFICIENT_BUFFER));
  CHECK(DefineDosDeviceW(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, name, target));
  SetLastError(0);
  CHECK_EQ(QueryDosDeviceW(name, buf, 256), 0u);
  CHECK_ERROR(DWORD(ERROR_FILE_NOT_FOUND));
}

CONF_CASE(Devices, CommTimeoutsNeedACommDevice) {
  WString dir = conf::scratchDir();
  REQUIRE(!dir.empty());
  HANDLE f = CreateFileW((dir + TEXT("plain.bin")).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  REQUIRE(f != INVALID_HANDLE_VALUE);
  COMMTIMEOUTS t{200, 0, 5000, 0, 0};
  CHECK(!SetCommTimeouts(f, &t));
  CHECK(!GetCommTimeouts(f, &t));
  CloseHandle(f);
  SetLastError(0);
  CHECK(!SetCommTimeouts(INVALID_HANDLE_VALUE, &t));
  CHECK_ERROR(DWORD(ERROR_INVALID_HANDLE));
}
