// The notification server's stand-in, loaded as a monitor loads it: by path
// from the spooler's driver directory and bound by name.  Its messages reach
// the scripted user with the payload's fields, block until answered, and a
// close request takes away the message of its printer.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsim/testing.h>

#include "shared/notification_payload.h"
#include "shared/proc_address.h"
#include "tests/support/notify_standin.h"

namespace {

using card::NotificationPayload;
using winsim::MessageEnd;
using winsim::UserChannel;

class NotifyStandIn : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    ASSERT_TRUE(card::test::installNotificationStandIn());
    module_ = LoadLibraryW(card::test::notificationServerPath().c_str());
    ASSERT_NE(module_, nullptr);
    send_ = card::procAddress<card::test::SendAsyncNotificationProc>(module_, "SendAsyncNotification");
    ASSERT_NE(send_, nullptr);
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }

  // One SendAsyncNotification on a worker thread, as the monitors make it.
  struct Call {
    card::test::SendAsyncNotificationProc send;
    std::u16string printer;
    NotificationPayload payload;
  };
  static DWORD WINAPI sendThread(LPVOID p) {
    auto *c = static_cast<Call *>(p);
    return DWORD(c->send(c->printer.c_str(), &c->payload));
  }
  HANDLE sendOnThread(Call &c) { return CreateThread(nullptr, 0, sendThread, &c, 0, nullptr); }

  HMODULE module_ = nullptr;
  card::test::SendAsyncNotificationProc send_ = nullptr;
};

TEST_F(NotifyStandIn, InstalledInTheVersion3DriverFolder) {
  EXPECT_EQ(card::test::notificationServerPath(), u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\notifysrv.dll");
}

TEST_F(NotifyStandIn, LiteralAndResourceMessagesCarryThePayloadFields) {
  winsim::UserScript any;
  any.channel = UserChannel::Notification;
  winsim::scriptUser(any);

  NotificationPayload literal;
  card::makeLiteralMessage(literal, u"Card Printer", u"Printer is offline", u"Network monitor");
  EXPECT_EQ(send_(u"Card Printer", &literal), IDOK);
  NotificationPayload resource;
  card::makeResourceMessage(resource, u"Card Printer", 2206, 2541);
  EXPECT_EQ(send_(u"Card Printer", &resource), IDOK);

  auto shown = winsim::shownMessages();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].channel, UserChannel::Notification);
  EXPECT_EQ(shown[0].printer, u"Card Printer");
  EXPECT_EQ(shown[0].caption, u"Card Printer");
  EXPECT_EQ(shown[0].text, u"Printer is offline");
  EXPECT_EQ(shown[0].title, u"Network monitor");
  EXPECT_EQ(shown[0].textFromResource, 0);
  EXPECT_EQ(shown[0].textResource, -1);
  EXPECT_EQ(shown[0].captionResource, -1);
  EXPECT_EQ(shown[1].textFromResource, 1);
  EXPECT_EQ(shown[1].textResource, 2206);
  EXPECT_EQ(shown[1].captionResource, 2541);
  EXPECT_EQ(shown[1].text, u"");
  EXPECT_EQ(shown[1].end, MessageEnd::Answered);
}

TEST_F(NotifyStandIn, ScriptMatchesTheTextResourceAndTheChannel) {
  winsim::UserScript offline;
  offline.textResource = 59;
  offline.answer = IDCANCEL;
  winsim::scriptUser(offline);
  winsim::UserScript boxesOnly;
  boxesOnly.channel = UserChannel::Box;
  winsim::scriptUser(boxesOnly);

  NotificationPayload p;
  card::makeResourceMessage(p, u"Card Printer", 59, 2542);
  EXPECT_EQ(send_(u"Card Printer", &p), 1);  // acknowledged, whatever the button
  card::makeResourceMessage(p, u"Card Printer", 2209, 2541);
  EXPECT_EQ(send_(u"Card Printer", &p), 0);  // only message boxes are scripted besides 59
  auto faults = winsim::takeMessageFaults();
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_EQ(faults[0].textResource, 2209);
  EXPECT_EQ(faults[0].end, MessageEnd::Unscripted);
}

// The error wait: the message task blocks in the notification until the error
// clears at the printer, then the job thread sends the close request.
TEST_F(NotifyStandIn, CloseRequestEndsTheOpenMessageOfItsPrinter) {
  winsim::UserScript hold;
  hold.channel = UserChannel::Notification;
  hold.timing = winsim::AnswerTiming::LeaveOpen;
  winsim::scriptUser(hold);

  Call a{send_, u"Printer A", {}}, a2{send_, u"Printer A", {}}, b{send_, u"Printer B", {}};
  card::makeResourceMessage(a.payload, u"Printer A", 4, 2541);
  card::makeResourceMessage(a2.payload, u"Printer A", 5, 2541);
  card::makeResourceMessage(b.payload, u"Printer B", 4, 2541);
  HANDLE ta = sendOnThread(a);
  ASSERT_TRUE(winsim::waitForShownMessages(1));
  HANDLE ta2 = sendOnThread(a2);
  ASSERT_TRUE(winsim::waitForShownMessages(2));
  HANDLE tb = sendOnThread(b);
  ASSERT_TRUE(winsim::waitForShownMessages(3));
  EXPECT_EQ(WaitForSingleObject(ta, 20), static_cast<DWORD>(WAIT_TIMEOUT));  // blocks until answered

  // Each call waits for its own answer: closing one of printer A's leaves
  // the other (and printer B's) open.  A window search by title finds the
  // newest box, so the second goes first.
  NotificationPayload close;
  card::makeCloseRequest(close, u"printer a");  // titles are found regardless of case
  EXPECT_EQ(send_(u"printer a", &close), 1);
  ASSERT_EQ(WaitForSingleObject(ta2, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(WaitForSingleObject(ta, 20), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(send_(u"Printer A", &close), 1);
  ASSERT_EQ(WaitForSingleObject(ta, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(send_(u"Printer A", &close), 1);  // nothing left to close, acknowledged all the same
  // A message taken away by a close request was acknowledged too.
  DWORD closedCode = 0;
  GetExitCodeThread(ta, &closedCode);
  EXPECT_EQ(closedCode, 1u);

  auto shown = winsim::shownMessages();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].end, MessageEnd::Closed);
  EXPECT_EQ(shown[1].end, MessageEnd::Closed);
  EXPECT_EQ(shown[2].end, MessageEnd::Open);
  auto closes = winsim::closeRequests();
  ASSERT_EQ(closes.size(), 3u);
  EXPECT_EQ(closes[0].printer, u"printer a");
  EXPECT_EQ(closes[0].closedId, 2u);
  EXPECT_EQ(closes[0].afterMessageId, 3u);
  EXPECT_EQ(closes[1].closedId, 1u);
  EXPECT_EQ(closes[2].closedId, 0u);

  // Printer B's message is answered by the user: acknowledged.
  EXPECT_TRUE(winsim::answerMessage(3, IDOK));
  ASSERT_EQ(WaitForSingleObject(tb, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 0;
  GetExitCodeThread(tb, &code);
  EXPECT_EQ(code, 1u);
  for (HANDLE h : {ta, ta2, tb}) CloseHandle(h);
}

TEST_F(NotifyStandIn, FullFieldsAreReadWithinTheirBoundsAndNullPayloadIsAFault) {
  winsim::UserScript any;
  winsim::scriptUser(any);
  NotificationPayload p;
  card::makeLiteralMessage(p, u"P", u"x", nullptr);
  for (auto &c : p.text) c = u'T';  // no terminator in the field
  for (auto &c : p.title) c = u'U';
  EXPECT_EQ(send_(u"P", &p), IDOK);
  auto shown = winsim::shownMessages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, std::u16string(card::kPayloadTextChars, u'T'));
  EXPECT_EQ(shown[0].title, std::u16string(card::kPayloadTextChars, u'U'));

  EXPECT_EQ(send_(u"P", nullptr), 0);  // returns at once
  auto faults = winsim::takeMessageFaults();
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_EQ(faults[0].end, MessageEnd::NoPayload);
  EXPECT_EQ(faults[0].printer, u"P");
}

}  // namespace
