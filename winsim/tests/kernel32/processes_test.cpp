// Each process its own handles: a value of one process is no handle in
// another, a named object is one object with a handle in each process that
// opens it, and a process's handles close as it ends.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsim/testing.h>

#include "../fixtures.h"

namespace {

using winsim_test::Winsim;

// What the first process hands the second, and what the second saw.
struct Exchange {
  HANDLE event = nullptr;  // unnamed, the first process's
  HBRUSH brush = nullptr;
  HDC dc = nullptr;
  HGDIOBJ stockBrush = nullptr;
  DWORD firstId = 0;
  // Seen by the second process.
  DWORD id = 0, threadProcessId = 0;
  bool eventRefused = false, brushRefused = false, dcRefused = false, stockValid = false;
  DWORD eventError = 0;
  HANDLE sharedHere = nullptr, ownEvent = nullptr;
  HBRUSH ownBrush = nullptr;
};

DWORD WINAPI processIdOfThread(LPVOID arg) {
  *static_cast<DWORD *>(arg) = GetCurrentProcessId();
  return 0;
}

DWORD WINAPI secondProcess(LPVOID arg) {
  auto *x = static_cast<Exchange *>(arg);
  x->id = GetCurrentProcessId();
  SetLastError(0);
  x->eventRefused = !SetEvent(x->event);
  x->eventError = GetLastError();
  x->brushRefused = GetObjectType(x->brush) == 0 && !DeleteObject(x->brush);
  x->dcRefused = !DeleteDC(x->dc) && SetTextColor(x->dc, 0) == CLR_INVALID;
  x->stockValid = GetStockObject(WHITE_BRUSH) == x->stockBrush && GetObjectType(x->stockBrush) == OBJ_BRUSH;
  // The named event of the first process, through a handle of this one.
  x->sharedHere = OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, u"Global\\HandleTestShared");
  if (x->sharedHere) SetEvent(x->sharedHere);
  // Left open: they close as the process ends.
  x->ownEvent = CreateEventW(nullptr, TRUE, FALSE, u"Global\\HandleTestLeftOpen");
  x->ownBrush = CreateSolidBrush(RGB(1, 1, 1));
  // A thread of this process belongs to it; its handle too is left open.
  HANDLE t = CreateThread(nullptr, 0, processIdOfThread, &x->threadProcessId, 0, nullptr);
  WaitForSingleObject(t, INFINITE);
  return 7;
}

TEST_F(Winsim, EachProcessHasItsOwnHandleTable) {
  Exchange x;
  x.event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE shared = CreateEventW(nullptr, TRUE, FALSE, u"Global\\HandleTestShared");
  x.brush = CreateSolidBrush(RGB(2, 2, 2));
  x.dc = CreateCompatibleDC(nullptr);
  x.stockBrush = GetStockObject(WHITE_BRUSH);
  x.firstId = GetCurrentProcessId();
  ASSERT_NE(x.event, nullptr);
  ASSERT_NE(shared, nullptr);

  EXPECT_EQ(winsim::runInNewProcess(u"other.exe", secondProcess, &x), 7u);

  EXPECT_NE(x.id, x.firstId);
  EXPECT_EQ(x.threadProcessId, x.id);
  EXPECT_TRUE(x.eventRefused);
  EXPECT_EQ(x.eventError, DWORD(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(x.brushRefused);
  EXPECT_TRUE(x.dcRefused);
  EXPECT_TRUE(x.stockValid);
  // One object, a handle in each process: the second's set the first's.
  ASSERT_NE(x.sharedHere, nullptr);
  EXPECT_NE(x.sharedHere, shared);
  EXPECT_EQ(WaitForSingleObject(shared, 0), DWORD(WAIT_OBJECT_0));
  // The second process's handles are none of the first's ...
  SetLastError(0);
  EXPECT_FALSE(SetEvent(x.ownEvent));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(CloseHandle(x.sharedHere));
  EXPECT_EQ(GetObjectType(x.ownBrush), 0u);
  // ... and what it left open closed as it ended: its named event is gone.
  EXPECT_EQ(OpenEventW(SYNCHRONIZE, FALSE, u"Global\\HandleTestLeftOpen"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  // The first process's own handles are as they were.
  EXPECT_EQ(GetCurrentProcessId(), x.firstId);
  EXPECT_TRUE(SetEvent(x.event));
  EXPECT_EQ(GetObjectType(x.brush), DWORD(OBJ_BRUSH));
  EXPECT_TRUE(DeleteDC(x.dc));
  EXPECT_TRUE(DeleteObject(x.brush));
  EXPECT_TRUE(CloseHandle(shared));
  EXPECT_TRUE(CloseHandle(x.event));
}

}  // namespace
