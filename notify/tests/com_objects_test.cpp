// The COM objects the notification modules hand to the spooler: the data
// object of each module, and the server's callback that ends its wait.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "notify/com_objects.h"
#include "notify/server/reply_callback.h"
#include "shared/notification_payload.h"

namespace {

using namespace card;
using namespace card::notify;

const BYTE kTypeBytes[16] = {0x6A, 0x80, 0x20, 0x0B, 0x8A, 0x32, 0x1C, 0x4E,
                             0x93, 0x1C, 0x02, 0x50, 0x30, 0x85, 0x74, 0xC7};
const IID kOtherInterface = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

// The count an object has after one more AddRef and Release.
ULONG countOf(IUnknown *object) {
  object->AddRef();
  return object->Release();
}

TEST(NotifyDataObject, ServerObjectCarriesACopyOfThePayload) {
  std::vector<BYTE> payload(kPayloadSize);
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = BYTE(i * 7);
  auto *object = CPrintOEMAsyncNotifyDataObject::create(payload.data(), DataObjectRules::Server);
  ASSERT_NE(object, nullptr);
  payload[100] ^= 0xFF;  // the object holds its own copy

  BYTE *bytes = nullptr;
  ULONG size = 0;
  PrintAsyncNotificationType *schema = nullptr;
  EXPECT_EQ(object->AcquireData(&bytes, &size, &schema), S_OK);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(size, 6160u);
  EXPECT_EQ(bytes[100], BYTE(100 * 7));
  EXPECT_EQ(bytes[6159], BYTE(6159 * 7));
  ASSERT_NE(schema, nullptr);
  EXPECT_EQ(std::memcmp(schema, kTypeBytes, 16), 0);
  // Acquiring holds the object; releasing the data lets go of it again.
  EXPECT_EQ(countOf(object), 2u);
  EXPECT_EQ(object->ReleaseData(), S_OK);
  EXPECT_EQ(countOf(object), 1u);

  // Every out pointer is needed.
  EXPECT_EQ(object->AcquireData(nullptr, &size, &schema), E_INVALIDARG);
  EXPECT_EQ(object->AcquireData(&bytes, nullptr, &schema), E_INVALIDARG);
  EXPECT_EQ(object->AcquireData(&bytes, &size, nullptr), E_INVALIDARG);
  EXPECT_EQ(countOf(object), 1u);
  EXPECT_EQ(object->Release(), 0u);
}

TEST(NotifyDataObject, NullPayloadIsSentWithFullSize) {
  auto *object = CPrintOEMAsyncNotifyDataObject::create(nullptr, DataObjectRules::Server);
  ASSERT_NE(object, nullptr);
  BYTE *bytes = reinterpret_cast<BYTE *>(1);
  ULONG size = 0;
  PrintAsyncNotificationType *schema = nullptr;
  EXPECT_EQ(object->AcquireData(&bytes, &size, &schema), S_OK);
  EXPECT_EQ(bytes, nullptr);
  EXPECT_EQ(size, 6160u);
  EXPECT_NE(schema, nullptr);
  object->ReleaseData();
  object->Release();
}

TEST(NotifyDataObject, TrayObjectFillsWhatItIsGiven) {
  NotificationPayload ack;
  makeAcknowledgement(ack);
  auto *object = CPrintOEMAsyncNotifyDataObject::create(&ack, DataObjectRules::Tray);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(object->status(), S_OK);
  EXPECT_EQ(object->AcquireData(nullptr, nullptr, nullptr), E_INVALIDARG);
  ULONG size = 0;
  EXPECT_EQ(object->AcquireData(nullptr, &size, nullptr), S_OK);
  EXPECT_EQ(size, 6160u);
  EXPECT_EQ(object->ReleaseData(), S_OK);
  BYTE *bytes = nullptr;
  EXPECT_EQ(object->AcquireData(&bytes, nullptr, nullptr), S_OK);
  ASSERT_NE(bytes, nullptr);
  const BYTE code[4] = {0x0F, 0, 0, 0};
  EXPECT_EQ(std::memcmp(bytes, code, 4), 0);
  object->ReleaseData();
  EXPECT_EQ(object->Release(), 0u);
}

TEST(NotifyComObjects, QueryInterface) {
  auto *object = CPrintOEMAsyncNotifyDataObject::create(nullptr, DataObjectRules::Server);
  auto *callback = CPrintOEMAsyncNotifyCallback::create();
  ASSERT_NE(object, nullptr);
  ASSERT_NE(callback, nullptr);
  void *out = nullptr;
  EXPECT_EQ(object->QueryInterface(IID_IUnknown, &out), S_OK);
  EXPECT_EQ(out, static_cast<IPrintAsyncNotifyDataObject *>(object));
  EXPECT_EQ(object->QueryInterface(IID_IPrintAsyncNotifyDataObject, &out), S_OK);
  EXPECT_EQ(countOf(object), 3u);  // each answer holds a reference
  out = &out;
  EXPECT_EQ(object->QueryInterface(IID_IPrintAsyncNotifyCallback, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

  EXPECT_EQ(callback->QueryInterface(IID_IPrintAsyncNotifyCallback, &out), S_OK);
  EXPECT_EQ(out, static_cast<IPrintAsyncNotifyCallback *>(callback));
  out = &out;
  EXPECT_EQ(callback->QueryInterface(kOtherInterface, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(callback->Release(), 1u);
  EXPECT_EQ(callback->Release(), 0u);
  object->Release();
  object->Release();
  EXPECT_EQ(object->Release(), 0u);
}

// A reply as the spooler hands it to the server's callback; it counts its
// references so that a release the callback does not own shows.
class Reply final : public IPrintAsyncNotifyDataObject {
 public:
  Reply(const void *bytes, ULONG size, HRESULT acquire = S_OK) : acquire_(acquire), size_(size) {
    if (bytes) data_.assign(static_cast<const BYTE *>(bytes), static_cast<const BYTE *>(bytes) + size);
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++refs); }
  ULONG STDMETHODCALLTYPE Release() override { return ULONG(--refs); }
  HRESULT STDMETHODCALLTYPE AcquireData(BYTE **bytes, ULONG *size, PrintAsyncNotificationType **schema) override {
    if (FAILED(acquire_)) return acquire_;
    *bytes = data_.empty() ? nullptr : data_.data();
    *size = size_;
    *schema = &type_;
    ++acquired;
    AddRef();
    return acquire_;
  }
  HRESULT STDMETHODCALLTYPE ReleaseData() override {
    --acquired;
    Release();
    return S_OK;
  }
  int refs = 1;
  int acquired = 0;

 private:
  HRESULT acquire_;
  ULONG size_;
  std::vector<BYTE> data_;
  PrintAsyncNotificationType type_ = kNotificationType;
};

class ServerCallback : public ::testing::Test {
 protected:
  void SetUp() override {
    callback = CPrintOEMAsyncNotifyCallback::create();
    ASSERT_NE(callback, nullptr);
    event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    callback->setReplyEvent(event);
    makeAcknowledgement(ack);
    makeLiteralMessage(other, TEXT("P"), TEXT("text"), nullptr);
    other.acknowledgement = 14;
  }
  void TearDown() override { EXPECT_EQ(callback->Release(), 0u); }  // closes the event
  bool signalled() { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }
  // The reply was handed back as it came: acquired and released once each,
  // no reference of the spooler's taken away.
  static void expectUntouched(const Reply &r) {
    EXPECT_EQ(r.refs, 1);
    EXPECT_EQ(r.acquired, 0);
  }

  CPrintOEMAsyncNotifyCallback *callback = nullptr;
  HANDLE event = nullptr;
  NotificationPayload ack, other;
  using Outcome = CPrintOEMAsyncNotifyCallback::Outcome;
};

TEST_F(ServerCallback, AcknowledgementEndsTheWaitThroughEitherHandler) {
  Reply closing(&ack, kPayloadSize);
  EXPECT_EQ(callback->ChannelClosed(nullptr, &closing), S_OK);
  EXPECT_TRUE(signalled());
  EXPECT_EQ(callback->outcome(), Outcome::Acknowledged);
  expectUntouched(closing);

  auto *second = CPrintOEMAsyncNotifyCallback::create();
  HANDLE secondEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  second->setReplyEvent(secondEvent);
  Reply notified(&ack, kPayloadSize);
  EXPECT_EQ(second->OnEventNotify(nullptr, &notified), S_OK);
  EXPECT_EQ(WaitForSingleObject(secondEvent, 0), DWORD(WAIT_OBJECT_0));
  EXPECT_EQ(second->outcome(), Outcome::Acknowledged);
  // The spooler's data object is neither released nor held.
  expectUntouched(notified);
  second->Release();
}

TEST_F(ServerCallback, OtherRepliesLeaveTheWaitOpen) {
  Reply notAck(&other, kPayloadSize);
  EXPECT_EQ(callback->OnEventNotify(nullptr, &notAck), S_OK);
  Reply shortAck(&ack, 2);  // too short to hold the code
  EXPECT_EQ(callback->OnEventNotify(nullptr, &shortAck), S_OK);
  Reply empty(nullptr, kPayloadSize);
  EXPECT_EQ(callback->OnEventNotify(nullptr, &empty), S_OK);
  EXPECT_EQ(callback->OnEventNotify(nullptr, nullptr), E_FAIL);
  Reply failing(&ack, kPayloadSize, E_OUTOFMEMORY);
  EXPECT_EQ(callback->OnEventNotify(nullptr, &failing), E_OUTOFMEMORY);
  EXPECT_FALSE(signalled());
  EXPECT_EQ(callback->outcome(), Outcome::Pending);
  for (const Reply *r : {&notAck, &shortAck, &empty, &failing}) expectUntouched(*r);
}

TEST_F(ServerCallback, ChannelClosedWithoutAcknowledgementEndsTheWait) {
  EXPECT_EQ(callback->ChannelClosed(nullptr, nullptr), S_OK);
  EXPECT_TRUE(signalled());
  EXPECT_EQ(callback->outcome(), Outcome::EndedWithoutAcknowledgement);
  // The first end counts: a late acknowledgement changes nothing, and the
  // event is not signalled twice.
  Reply late(&ack, kPayloadSize);
  EXPECT_EQ(callback->ChannelClosed(nullptr, &late), S_OK);
  EXPECT_EQ(callback->outcome(), Outcome::EndedWithoutAcknowledgement);
  EXPECT_FALSE(signalled());
  expectUntouched(late);
}

TEST_F(ServerCallback, ChannelClosedWithAnotherPayloadOrAFailingOne) {
  Reply notAck(&other, kPayloadSize);
  EXPECT_EQ(callback->ChannelClosed(nullptr, &notAck), S_OK);
  EXPECT_TRUE(signalled());
  EXPECT_EQ(callback->outcome(), Outcome::EndedWithoutAcknowledgement);
  expectUntouched(notAck);

  auto *second = CPrintOEMAsyncNotifyCallback::create();
  HANDLE secondEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  second->setReplyEvent(secondEvent);
  Reply failing(&ack, kPayloadSize, E_OUTOFMEMORY);
  EXPECT_EQ(second->ChannelClosed(nullptr, &failing), E_OUTOFMEMORY);
  EXPECT_EQ(WaitForSingleObject(secondEvent, 0), DWORD(WAIT_OBJECT_0));
  EXPECT_EQ(second->outcome(), Outcome::EndedWithoutAcknowledgement);
  second->Release();
}

TEST_F(ServerCallback, WithoutAnEventTheOutcomeIsStillKept) {
  auto *bare = CPrintOEMAsyncNotifyCallback::create();
  Reply closing(&ack, kPayloadSize);
  EXPECT_EQ(bare->ChannelClosed(nullptr, &closing), S_OK);
  EXPECT_EQ(bare->outcome(), Outcome::Acknowledged);
  EXPECT_EQ(bare->Release(), 0u);
}

}  // namespace
