// ProcessIdToSessionId over the process record: the session a test sets for
// the process is what the process and its threads report.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsim/testing.h>

#include "winsim/tests/fixtures.h"

namespace winsim_test {
namespace {

DWORD WINAPI sessionOnThread(LPVOID) {
  DWORD session = 0;
  return ProcessIdToSessionId(GetCurrentProcessId(), &session) ? session : 0xFFFFFFFF;
}

TEST_F(Winsim, ProcessIdToSessionIdReportsTheProcessRecord) {
  DWORD session = 99;
  ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
  EXPECT_EQ(session, 1u);          // the interactive user's session
  winsim::setProcessSessionId(0);  // a service's, as the spooler's
  HANDLE t = CreateThread(nullptr, 0, sessionOnThread, nullptr, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(t, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 7;
  GetExitCodeThread(t, &code);
  EXPECT_EQ(code, 0u);
  CloseHandle(t);

  SetLastError(0);
  EXPECT_FALSE(ProcessIdToSessionId(GetCurrentProcessId() + 4, &session));  // no such process
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(ProcessIdToSessionId(GetCurrentProcessId(), nullptr));
}

}  // namespace
}  // namespace winsim_test
