#include "shared/notification_payload.h"

#include <cstring>

namespace card {

namespace {

const char kCloseText[] = "CloseMsgThread";

void setField(WCHAR (&field)[kPayloadTextChars], LPCWSTR text) {
  std::memset(field, 0, sizeof field);
  if (!text) return;
  for (size_t i = 0; i + 1 < kPayloadTextChars && text[i]; ++i) field[i] = text[i];
}

void clear(NotificationPayload &p) { std::memset(&p, 0, sizeof p); }

}  // namespace

void makeLiteralMessage(NotificationPayload &p, LPCWSTR printer, LPCWSTR text, LPCWSTR title) {
  clear(p);
  p.textResource = -1;
  p.captionResource = -1;
  setField(p.caption, printer);
  setField(p.text, text);
  setField(p.title, title);
}

void makeResourceMessage(NotificationPayload &p, LPCWSTR printer, int32_t textResource, int32_t captionResource) {
  clear(p);
  p.textFromResource = 1;
  p.textResource = textResource;
  p.captionResource = captionResource;
  setField(p.caption, printer);
}

void makeCloseRequest(NotificationPayload &p, LPCWSTR printer) {
  clear(p);
  p.textFromResource = 1;
  setField(p.caption, printer);
  for (size_t i = 0; kCloseText[i]; ++i) p.text[i] = WCHAR(kCloseText[i]);
}

void makeAcknowledgement(NotificationPayload &p) {
  clear(p);
  p.acknowledgement = kAcknowledgementCode;
  p.textResource = -1;
  p.captionResource = -1;
}

bool isCloseRequest(const NotificationPayload &p) {
  size_t i = 0;
  for (; kCloseText[i]; ++i)
    if (p.text[i] != WCHAR(kCloseText[i])) return false;
  return p.text[i] == 0;
}

bool isAcknowledgement(const NotificationPayload &p) { return p.acknowledgement == kAcknowledgementCode; }

size_t fieldLength(const WCHAR (&field)[kPayloadTextChars]) {
  size_t n = 0;
  while (n < kPayloadTextChars && field[n]) ++n;
  return n;
}

void fieldText(const WCHAR (&field)[kPayloadTextChars], WCHAR (&out)[kPayloadTextChars + 1]) {
  const size_t n = fieldLength(field);
  std::memcpy(out, field, n * sizeof(WCHAR));
  out[n] = 0;
}

void payloadFromBytes(const void *bytes, size_t size, NotificationPayload &p) {
  clear(p);
  if (!bytes) return;
  std::memcpy(&p, bytes, size < sizeof p ? size : sizeof p);
}

bool isAcknowledgementReply(const void *bytes, size_t size) {
  uint32_t code = 0;
  if (!bytes || size < sizeof code) return false;
  std::memcpy(&code, bytes, sizeof code);
  return code == kAcknowledgementCode;
}

}  // namespace card
