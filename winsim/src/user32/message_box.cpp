// Message boxes, answered by the scripted user.  An open box is a window of
// the dialog class that WM_CLOSE ends as its close button would.
#include <map>

#include <windows.h>

#include "core/internal.h"
#include "user32/scripted_user.h"
#include "user32/windows.h"

using namespace winsim;

namespace {

std::u16string fromAnsi(LPCSTR s) {
  if (!s) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
  if (n <= 0) return {};
  std::u16string out(size_t(n), u'\0');
  MultiByteToWideChar(CP_ACP, 0, s, -1, reinterpret_cast<LPWSTR>(out.data()), n);
  out.resize(size_t(n - 1));
  return out;
}

// The open boxes by window, for the boxes' window procedure.  Guarded by the
// wait lock.
struct OpenBox {
  const DWORD *messageId = nullptr;  // set by the scripted user as it shows the box
  UINT type = 0;
};
std::map<HWND, OpenBox> &openBoxes() {
  static auto *boxes = new std::map<HWND, OpenBox>;
  return *boxes;
}

// What the close button (and WM_CLOSE) gives: a box with only OK returns
// IDOK, one with a Cancel button IDCANCEL; the others cannot be closed.
int closeAnswer(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OK: return IDOK;
    case MB_OKCANCEL:
    case MB_YESNOCANCEL:
    case MB_RETRYCANCEL:
    case MB_CANCELTRYCONTINUE: return IDCANCEL;
    default: return 0;
  }
}

LRESULT CALLBACK boxProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_CLOSE || (msg == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE)) {
    DWORD id;
    UINT type;
    {
      std::lock_guard<std::mutex> g(waitLock());
      auto it = openBoxes().find(h);
      if (it == openBoxes().end()) return 0;
      id = *it->second.messageId;
      type = it->second.type;
    }
    if (int answer = closeAnswer(type)) closeMessage(id, answer);
    return 0;
  }
  return DefWindowProcW(h, msg, wParam, lParam);
}

int showBox(HWND owner, std::u16string text, const char16_t *caption, bool hasCaption, UINT type) {
  if ((type & MB_TYPEMASK) > MB_CANCELTRYCONTINUE) {
    SetLastError(ERROR_INVALID_MSGBOX_STYLE);
    return 0;
  }
  ShownMessage m;
  m.channel = UserChannel::Box;
  m.text = std::move(text);
  // A box without a caption is titled "Error", as MessageBox documents.
  m.caption = hasCaption ? std::u16string(caption) : std::u16string(u"Error");
  m.flags = type;
  m.owner = owner;
  // The box is a window of the showing thread while it is up, so that
  // other threads find it by its title and can close it.
  HWND box =
      user::createSystemWindow(u"#32770", m.caption, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE,
                               IsWindow(owner) ? owner : nullptr, boxProc);
  DWORD id = 0;
  {
    std::lock_guard<std::mutex> g(waitLock());
    openBoxes()[box] = OpenBox{&id, type};
  }
  if (type & MB_SETFOREGROUND) SetForegroundWindow(box);
  struct Closer {
    HWND box;
    ~Closer() {
      {
        std::lock_guard<std::mutex> g(waitLock());
        openBoxes().erase(box);
      }
      user::destroyQuietly(box);
    }
  } closer{box};
  return presentToUser(std::move(m), true, &id, true);
}
}  // namespace

extern "C" {

int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
  std::u16string caption = fromW(lpCaption);
  return showBox(hWnd, fromW(lpText), caption.c_str(), lpCaption != nullptr, uType);
}

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  std::u16string caption = fromAnsi(lpCaption);
  return showBox(hWnd, fromAnsi(lpText), caption.c_str(), lpCaption != nullptr, uType);
}

}  // extern "C"
