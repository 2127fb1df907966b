// Message boxes, answered by the scripted user, and the window queries that
// code showing them asks first.
#include <windows.h>

#include "core/internal.h"
#include "user32/scripted_user.h"

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
  return presentToUser(std::move(m));
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

HWND WINAPI GetActiveWindow(void) { return nullptr; }
HWND WINAPI GetForegroundWindow(void) { return nullptr; }

}  // extern "C"
