// The scripted user behind MessageBoxW: scripted answers, the records a test
// reads back, boxes left open and how they end (answered by the test, thread
// terminated, machine reset), and the faults that must never hang a test.
#include <gtest/gtest.h>
#include <winsim/testing.h>
#include <winsim/testing_gtest.h>

#include "winsim/tests/fixtures.h"

namespace winsim_test {
namespace {

using winsim::AnswerTiming;
using winsim::MessageEnd;
using winsim::ShownMessage;
using winsim::UserChannel;
using winsim::UserScript;

class ScriptedUser : public Winsim {};

UserScript answer(int id, std::u16string caption = {}, std::u16string text = {}) {
  UserScript r;
  r.caption = std::move(caption);
  r.text = std::move(text);
  r.answer = id;
  return r;
}

UserScript holdOpen(std::u16string caption) {
  UserScript r;
  r.caption = std::move(caption);
  r.timing = AnswerTiming::LeaveOpen;
  return r;
}

// A box shown on a thread of its own, as a monitor's message task shows it.
struct BoxCall {
  std::u16string caption, text;
  UINT flags = MB_OK | MB_ICONWARNING | MB_SYSTEMMODAL | MB_SETFOREGROUND | MB_TOPMOST;
};
DWORD WINAPI showBoxThread(LPVOID p) {
  auto *c = static_cast<BoxCall *>(p);
  return DWORD(MessageBoxW(GetActiveWindow(), c->text.c_str(), c->caption.c_str(), c->flags));
}

TEST_F(ScriptedUser, AnswersByTheFirstMatchingRuleAndRecordsEachBox) {
  winsim::scriptUser(answer(IDNO, u"Printer", u"ribbon"));
  UserScript once = answer(IDYES, u"Printer");
  once.times = 1;
  winsim::scriptUser(once);
  winsim::scriptUser(answer(IDCANCEL));

  const UINT yesNo = MB_YESNOCANCEL | MB_ICONQUESTION;
  EXPECT_EQ(MessageBoxW(nullptr, u"Out of ribbon", u"Card Printer 1", yesNo), IDNO);      // substring, exact case
  EXPECT_EQ(MessageBoxW(nullptr, u"Out of Ribbon", u"Card Printer 1", yesNo), IDYES);     // the one-time rule
  EXPECT_EQ(MessageBoxW(nullptr, u"Out of Ribbon", u"Card Printer 1", yesNo), IDCANCEL);  // used up: next rule
  HWND owner = reinterpret_cast<HWND>(0x1234);
  EXPECT_EQ(MessageBoxA(owner, "Caf\xe9", "ANSI box", MB_OKCANCEL), IDCANCEL);  // Windows-1252
  EXPECT_EQ(MessageBoxW(nullptr, u"no caption", nullptr, MB_OKCANCEL), IDCANCEL);

  auto shown = winsim::shownMessages();
  ASSERT_EQ(shown.size(), 5u);
  for (DWORD i = 0; i < shown.size(); ++i) {
    EXPECT_EQ(shown[i].id, i + 1);
    EXPECT_EQ(shown[i].channel, UserChannel::Box);
    EXPECT_EQ(shown[i].end, MessageEnd::Answered);
    EXPECT_EQ(shown[i].threadId, GetCurrentThreadId());
  }
  EXPECT_EQ(shown[0].caption, u"Card Printer 1");
  EXPECT_EQ(shown[0].text, u"Out of ribbon");
  EXPECT_EQ(shown[0].flags, yesNo);
  EXPECT_EQ(shown[0].answer, IDNO);
  EXPECT_EQ(shown[3].text, u"Caf\u00e9");
  EXPECT_EQ(shown[3].owner, owner);
  EXPECT_EQ(shown[4].caption, u"Error");  // a box without a caption is titled "Error"
  EXPECT_EQ(GetActiveWindow(), nullptr);
  EXPECT_EQ(GetForegroundWindow(), nullptr);
}

TEST_F(ScriptedUser, UnscriptedAndImpossibleAnswersReturnAtOnceAndAreFaults) {
  SetLastError(0);
  EXPECT_EQ(MessageBoxW(nullptr, u"Nobody expects this", u"Surprise", MB_OK), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));

  winsim::scriptUser(answer(IDYES, u"OK only"));
  EXPECT_EQ(MessageBoxW(nullptr, u"text", u"OK only", MB_OK), 0);  // an OK box has no Yes button
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  // Escape on a box with only OK answers IDOK, as MessageBox documents.
  winsim::scriptUser(answer(IDCANCEL, u"Escape"));
  EXPECT_EQ(MessageBoxW(nullptr, u"text", u"Escape", MB_OK), IDOK);
  // A style with no such button set fails before anything is shown.
  EXPECT_EQ(MessageBoxW(nullptr, u"text", u"Escape", 7), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MSGBOX_STYLE));

  auto shown = winsim::shownMessages();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].end, MessageEnd::Unscripted);
  EXPECT_EQ(shown[0].caption, u"Surprise");
  EXPECT_EQ(shown[1].end, MessageEnd::ImpossibleAnswer);
  EXPECT_EQ(shown[2].answer, IDOK);
  // What the gtest listener reports at the end of the test; taken here, so
  // this test itself passes.
  auto faults = winsim::describeMessageFaults();
  ASSERT_EQ(faults.size(), 2u);
  EXPECT_NE(faults[0].find("\"Surprise\": \"Nobody expects this\" shown without a script"), std::string::npos);
  EXPECT_NE(faults[1].find("OK only"), std::string::npos);
  EXPECT_TRUE(winsim::takeMessageFaults().empty());
}

TEST_F(ScriptedUser, AnswerAfterSimulatedDelay) {
  winsim::setClockScale(1000.0);
  UserScript r = answer(IDRETRY);
  r.timing = AnswerTiming::AfterDelay;
  r.delayMs = 5000;
  winsim::scriptUser(r);
  EXPECT_EQ(MessageBoxW(nullptr, u"Head is hot", u"Printer", MB_RETRYCANCEL), IDRETRY);
  auto shown = winsim::shownMessages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_GE(shown[0].endedAtMs - shown[0].shownAtMs, 5000u);
  EXPECT_LT(shown[0].endedAtMs - shown[0].shownAtMs, 60000u);
}

TEST_F(ScriptedUser, OpenBoxEndsByTestAnswerThreadTerminationOrReset) {
  winsim::scriptUser(holdOpen(u"Printer A"));
  winsim::scriptUser(holdOpen(u"Printer B"));
  winsim::scriptUser(holdOpen(u"Printer C"));
  BoxCall a{u"Printer A", u"Cover open"}, b{u"Printer B", u"Card jam"}, c{u"Printer C", u"No card"};

  HANDLE ta = CreateThread(nullptr, 0, showBoxThread, &a, 0, nullptr);
  ASSERT_TRUE(winsim::waitForShownMessages(1));
  EXPECT_EQ(WaitForSingleObject(ta, 50), static_cast<DWORD>(WAIT_TIMEOUT));  // the user has not answered
  EXPECT_EQ(winsim::shownMessages()[0].end, MessageEnd::Open);
  EXPECT_FALSE(winsim::answerMessage(1, IDNO));  // an OK box has no No button
  EXPECT_TRUE(winsim::answerMessage(1, IDOK));
  EXPECT_FALSE(winsim::answerMessage(1, IDOK));  // answered already
  ASSERT_EQ(WaitForSingleObject(ta, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 0;
  GetExitCodeThread(ta, &code);
  EXPECT_EQ(code, static_cast<DWORD>(IDOK));
  CloseHandle(ta);

  // The job thread takes the box away by terminating its thread.
  HANDLE tb = CreateThread(nullptr, 0, showBoxThread, &b, 0, nullptr);
  ASSERT_TRUE(winsim::waitForShownMessages(2));
  ASSERT_TRUE(TerminateThread(tb, 7));
  ASSERT_EQ(WaitForSingleObject(tb, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  GetExitCodeThread(tb, &code);
  EXPECT_EQ(code, 7u);
  ASSERT_TRUE(winsim::waitForMessageEnd(2));
  auto shown = winsim::shownMessages();
  EXPECT_EQ(shown[1].end, MessageEnd::ThreadTerminated);
  EXPECT_EQ(shown[1].threadId, GetThreadId(tb));
  CloseHandle(tb);

  // A machine reset ends a box still open, and the records go with it.
  HANDLE tc = CreateThread(nullptr, 0, showBoxThread, &c, 0, nullptr);
  ASSERT_TRUE(winsim::waitForShownMessages(3));
  winsim::resetMachine();
  EXPECT_TRUE(winsim::shownMessages().empty());
  ASSERT_EQ(WaitForSingleObject(tc, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  GetExitCodeThread(tc, &code);
  EXPECT_EQ(code, 0u);  // not answered
  CloseHandle(tc);
  EXPECT_EQ(MessageBoxW(nullptr, u"after reset", u"Printer C", MB_OK), 0);  // its script went too
  EXPECT_EQ(winsim::takeMessageFaults().size(), 1u);
}

// Every blocking point of winsim ends when the thread is terminated.
enum class BlockAt { sleep, waitOne, waitMany, messageBox };
struct Blocker {
  BlockAt at;
  HANDLE never;  // an event nobody sets
};
DWORD WINAPI blockThread(LPVOID p) {
  auto *b = static_cast<Blocker *>(p);
  HANDLE two[2] = {b->never, b->never};
  switch (b->at) {
    case BlockAt::sleep: Sleep(INFINITE); break;
    case BlockAt::waitOne: WaitForSingleObject(b->never, INFINITE); break;
    case BlockAt::waitMany: WaitForMultipleObjects(2, two, TRUE, INFINITE); break;
    case BlockAt::messageBox: MessageBoxW(nullptr, u"held", u"Blocker", MB_OK); break;
  }
  return 1;  // reached only when the blocking call returned
}

TEST_F(ScriptedUser, TerminateThreadEndsEveryBlockingPoint) {
  winsim::scriptUser(holdOpen(u"Blocker"));
  HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  for (BlockAt at : {BlockAt::sleep, BlockAt::waitOne, BlockAt::waitMany, BlockAt::messageBox}) {
    SCOPED_TRACE(int(at));
    Blocker b{at, never};
    HANDLE t = CreateThread(nullptr, 0, blockThread, &b, 0, nullptr);
    ASSERT_NE(t, nullptr);
    if (at == BlockAt::messageBox) {
      ASSERT_TRUE(winsim::waitForShownMessages(1));
    }
    EXPECT_EQ(WaitForSingleObject(t, 20), static_cast<DWORD>(WAIT_TIMEOUT));
    ASSERT_TRUE(TerminateThread(t, 0xDEAD));
    ASSERT_EQ(WaitForSingleObject(t, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD code = 0;
    GetExitCodeThread(t, &code);
    EXPECT_EQ(code, 0xDEADu);
    CloseHandle(t);
  }
  EXPECT_EQ(winsim::shownMessages().at(0).end, MessageEnd::ThreadTerminated);
  CloseHandle(never);
}

}  // namespace
}  // namespace winsim_test
