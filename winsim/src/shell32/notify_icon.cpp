// The taskbar's notification area: Shell_NotifyIconW keeps each program's
// icons (window, id, callback message, icon, tip, state, balloon), and the
// scripted user clicks them, which posts the callback message to the icon's
// window as the shell does.  An icon goes with its window and its process.
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "core/internal.h"
#include "user32/windows.h"

using namespace winsim;

namespace {

struct TrayIcon {
  TrayIconInfo info;
  GUID guid{};
  bool hasGuid = false;
};

// Guarded by the wait lock.
std::vector<TrayIcon> &icons() {
  static auto *v = new std::vector<TrayIcon>;
  return *v;
}

bool sameGuid(const GUID &a, const GUID &b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The icon a call means: by its GUID when NIF_GUID is given, else by window
// and id.  With the lock.
std::vector<TrayIcon>::iterator findIcon(const NOTIFYICONDATAW &d, bool byGuid) {
  return std::find_if(icons().begin(), icons().end(), [&](const TrayIcon &i) {
    if (byGuid) return i.hasGuid && sameGuid(i.guid, d.guidItem);
    return i.info.hwnd == d.hWnd && i.info.id == d.uID;
  });
}

std::u16string boundedText(const WCHAR *text, size_t max) {
  size_t n = 0;
  while (n < max && text[n]) ++n;
  return std::u16string(text, n);
}

// Takes the fields the flags name, reading no further than the caller's
// structure reaches.
void apply(TrayIcon &icon, const NOTIFYICONDATAW &d, DWORD size) {
  UINT f = d.uFlags;
  if (f & NIF_MESSAGE) icon.info.callbackMessage = d.uCallbackMessage;
  if (f & NIF_ICON) icon.info.icon = d.hIcon;
  if (f & NIF_TIP) icon.info.tip = boundedText(d.szTip, size == NOTIFYICONDATAW_V1_SIZE ? 64 : 128);
  if (size > NOTIFYICONDATAW_V1_SIZE) {
    if (f & NIF_STATE) icon.info.state = (icon.info.state & ~d.dwStateMask) | (d.dwState & d.dwStateMask);
    if (f & NIF_INFO) {
      icon.info.info = boundedText(d.szInfo, 256);
      icon.info.infoTitle = boundedText(d.szInfoTitle, 64);
    }
    if ((f & NIF_GUID) && size >= NOTIFYICONDATAW_V3_SIZE) {
      icon.guid = d.guidItem;
      icon.hasGuid = true;
    }
  }
  icon.info.flags |= f;
}

BOOL notifyIcon(DWORD message, const NOTIFYICONDATAW &d, DWORD size) {
  bool byGuid = (d.uFlags & NIF_GUID) && size >= NOTIFYICONDATAW_V3_SIZE;
  DWORD pid = GetCurrentProcessId();
  std::lock_guard<std::mutex> g(waitLock());
  if (!byGuid && !user::findWindow(d.hWnd)) return FALSE;  // the icon's window must be there
  auto it = findIcon(d, byGuid);
  switch (message) {
    case NIM_ADD: {
      if (it != icons().end()) return FALSE;
      TrayIcon icon;
      icon.info.hwnd = d.hWnd;
      icon.info.id = d.uID;
      icon.info.processId = pid;
      apply(icon, d, size);
      icons().push_back(std::move(icon));
      return TRUE;
    }
    case NIM_MODIFY:
      if (it == icons().end()) return FALSE;
      apply(*it, d, size);
      return TRUE;
    case NIM_DELETE:
      if (it == icons().end()) return FALSE;
      icons().erase(it);
      return TRUE;
    case NIM_SETVERSION:
      if (it == icons().end() || size <= NOTIFYICONDATAW_V1_SIZE || d.uVersion > NOTIFYICON_VERSION_4) return FALSE;
      it->info.version = d.uVersion;
      return TRUE;
    case NIM_SETFOCUS: return it != icons().end();
    default: return FALSE;
  }
}

void dropWhere(const std::function<bool(const TrayIcon &)> &pred) {
  std::lock_guard<std::mutex> g(waitLock());
  auto &v = icons();
  v.erase(std::remove_if(v.begin(), v.end(), pred), v.end());
}

void windowGone(HWND h) {
  dropWhere([h](const TrayIcon &i) { return i.info.hwnd == h; });
}

void processGone(const ProcessRecord &p) {
  DWORD pid = p.id;
  dropWhere([pid](const TrayIcon &i) { return i.info.processId == pid; });
}

void clearIcons() {
  dropWhere([](const TrayIcon &) { return true; });
}

const user::WindowGoneHook kWindowGone(windowGone);
const ProcessEndStep kProcessGone(processGone);
const ResetStep kClearIcons(kResetKernel + 46, clearIcons);

bool click(const std::function<bool(const TrayIconInfo &)> &pick, TrayClick how) {
  TrayIconInfo icon;
  {
    std::lock_guard<std::mutex> g(waitLock());
    auto it = std::find_if(icons().begin(), icons().end(), [&](const TrayIcon &i) { return pick(i.info); });
    if (it == icons().end() || !it->info.callbackMessage) return false;
    icon = it->info;
  }
  std::vector<UINT> events;
  switch (how) {
    case TrayClick::LeftClick: events = {WM_LBUTTONDOWN, WM_LBUTTONUP}; break;
    case TrayClick::LeftDoubleClick: events = {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}; break;
    case TrayClick::RightClick: events = {WM_RBUTTONDOWN, WM_RBUTTONUP}; break;
  }
  if (icon.version >= NOTIFYICON_VERSION) {
    // The newer versions add what the click means.
    if (how == TrayClick::RightClick)
      events.push_back(WM_CONTEXTMENU);
    else if (how == TrayClick::LeftClick)
      events.push_back(NIN_SELECT);
    else
      events.insert(events.begin() + 2, NIN_SELECT);
  }
  POINT pt;
  GetCursorPos(&pt);
  for (UINT e : events) {
    WPARAM w;
    LPARAM l;
    if (icon.version >= NOTIFYICON_VERSION_4) {
      w = MAKEWPARAM(pt.x, pt.y);
      l = MAKELPARAM(e, icon.id);
    } else {
      w = icon.id;
      l = LPARAM(e);
    }
    if (!PostMessageW(icon.hwnd, icon.callbackMessage, w, l)) return false;
  }
  return true;
}

}  // namespace

namespace winsim {

std::vector<TrayIconInfo> trayIcons() {
  std::lock_guard<std::mutex> g(waitLock());
  std::vector<TrayIconInfo> out;
  for (auto &i : icons()) out.push_back(i.info);
  return out;
}

bool clickTrayIcon(const std::u16string &tip, TrayClick how) {
  return click([&](const TrayIconInfo &i) { return i.tip == tip; }, how);
}

bool clickTrayIcon(HWND hwnd, UINT id, TrayClick how) {
  return click([&](const TrayIconInfo &i) { return i.hwnd == hwnd && i.id == id; }, how);
}

bool waitForTrayIcons(size_t count, DWORD timeoutMs) {
  std::unique_lock<std::mutex> lk(waitLock());
  return waitCondition().wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] { return icons().size() >= count; });
}

}  // namespace winsim

extern "C" {

BOOL WINAPI Shell_NotifyIconW(DWORD message, PNOTIFYICONDATAW data) {
  if (!data) return FALSE;
  DWORD size = data->cbSize;
  // The current layout and the older ones the shell still takes.
  if (size != sizeof(NOTIFYICONDATAW) && size != DWORD(NOTIFYICONDATAW_V1_SIZE) &&
      size != DWORD(NOTIFYICONDATAW_V2_SIZE) && size != DWORD(NOTIFYICONDATAW_V3_SIZE)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Only the part of the structure the caller's size covers is read.
  NOTIFYICONDATAW d{};
  std::memcpy(&d, data, size);
  BOOL ok = notifyIcon(message, d, size);
  if (ok) waitCondition().notify_all();  // a test waiting for an icon sees it
  return ok;
}

}  // extern "C"
