// The notification server as the monitors' tests meet it: notifysrv.dll with
// its one export, which hands each payload to winsim's scripted user instead
// of carrying it to the tray program in the user's session.  Like the real
// server it blocks until the user has dismissed the message, and a close
// request ("CloseMsgThread") takes away the message shown for its printer.
#include <windows.h>
#include <winsim/testing.h>

#include "shared/notification_payload.h"

namespace {

// A text field of the payload, up to its terminator or the end of the field:
// a sender that filled a field to the brim must not make us read past it.
std::u16string field(const WCHAR (&text)[card::kPayloadTextChars]) {
  size_t n = 0;
  while (n < card::kPayloadTextChars && text[n]) ++n;
  return std::u16string(text, n);
}

std::u16string fromW(LPCWSTR s) { return s ? std::u16string(s) : std::u16string(); }

}  // namespace

// As the real server: 1 once the message was acknowledged (answered by the
// user, or taken away by a close request), 0 when it reached nobody.  A
// close request itself answers 1.
extern "C" WINSIM_API int WINAPI SendAsyncNotification(LPCWSTR printerName, card::NotificationPayload *payload) {
  winsim::ShownMessage m;
  m.channel = winsim::UserChannel::Notification;
  m.printer = fromW(printerName);
  if (!payload) return winsim::showNotification(m, false) ? 1 : 0;
  m.caption = field(payload->caption);
  if (card::isCloseRequest(*payload)) {
    winsim::closeNotification(m.printer, m.caption);
    return 1;
  }
  m.text = field(payload->text);
  m.title = field(payload->title);
  m.acknowledgement = payload->acknowledgement;
  m.textFromResource = payload->textFromResource;
  m.textResource = payload->textResource;
  m.captionResource = payload->captionResource;
  if (winsim::showNotification(m)) return 1;
  // Not answered: acknowledged all the same when a close request took it away.
  const DWORD self = GetCurrentThreadId();
  const auto shown = winsim::shownMessages();
  for (auto it = shown.rbegin(); it != shown.rend(); ++it)
    if (it->threadId == self) return it->end == winsim::MessageEnd::Closed ? 1 : 0;
  return 0;
}
