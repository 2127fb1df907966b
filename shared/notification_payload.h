// The notification payload: the one fixed-size record that travels from the
// language monitors through the notification server to the tray program and
// back.  It is a stored format shared by three modules, so every offset is
// fixed and checked.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace card {

constexpr size_t kPayloadTextChars = 1024;
constexpr size_t kPayloadSize = 6160;
constexpr uint32_t kAcknowledgementCode = 15;

// Type identifier of the payload on the asynchronous notification channel:
// {0B20806A-328A-4E1C-931C-0250308574C7}.
constexpr GUID kNotificationType = {0x0B20806A, 0x328A, 0x4E1C, {0x93, 0x1C, 0x02, 0x50, 0x30, 0x85, 0x74, 0xC7}};

#pragma pack(push, 1)
struct NotificationPayload {
  uint32_t acknowledgement;          // 15 in the tray program's reply, 0 in requests
  int32_t textFromResource;          // 1: the text is string `textResource` of the resource library
  int32_t textResource;              // -1 when the text is literal
  int32_t captionResource;           // the sender's caption string; -1 when the text is literal
  WCHAR caption[kPayloadTextChars];  // the printer name
  WCHAR text[kPayloadTextChars];     // the message, or "CloseMsgThread"
  WCHAR title[kPayloadTextChars];    // the sender's own title; not shown
};
#pragma pack(pop)

static_assert(offsetof(NotificationPayload, acknowledgement) == 0);
static_assert(offsetof(NotificationPayload, textFromResource) == 4);
static_assert(offsetof(NotificationPayload, textResource) == 8);
static_assert(offsetof(NotificationPayload, captionResource) == 12);
static_assert(offsetof(NotificationPayload, caption) == 16);
static_assert(offsetof(NotificationPayload, text) == 2064);
static_assert(offsetof(NotificationPayload, title) == 4112);
static_assert(sizeof(NotificationPayload) == kPayloadSize);

// The four kinds of payload.  Texts longer than a field are cut so that the
// field keeps its terminator; NULL texts are empty.
void makeLiteralMessage(NotificationPayload &p, LPCWSTR printer, LPCWSTR text, LPCWSTR title);
void makeResourceMessage(NotificationPayload &p, LPCWSTR printer, int32_t textResource, int32_t captionResource);
void makeCloseRequest(NotificationPayload &p, LPCWSTR printer);
void makeAcknowledgement(NotificationPayload &p);

bool isCloseRequest(const NotificationPayload &p);
bool isAcknowledgement(const NotificationPayload &p);

// Reading a payload that came from another module: nothing is trusted to be
// terminated or complete.

// Characters of a text field up to its terminator, at most the field's size.
size_t fieldLength(const WCHAR (&field)[kPayloadTextChars]);

// A text field as a terminated string, whether or not the field holds a
// terminator.
void fieldText(const WCHAR (&field)[kPayloadTextChars], WCHAR (&out)[kPayloadTextChars + 1]);

// `size` bytes received as a payload, copied into a whole record: a shorter
// block leaves the rest zero, a longer one is cut, and null gives all zeros.
void payloadFromBytes(const void *bytes, size_t size, NotificationPayload &p);

// A received reply of `size` bytes is the tray program's acknowledgement:
// it holds the whole code field and the code is 15.
bool isAcknowledgementReply(const void *bytes, size_t size);

}  // namespace card
