// Window classes: the system's own, made on first use, and those that a
// process registers per module instance (local) or for itself (global),
// and which class a name means to a process.
#include "user32/windows_internal.h"

namespace winsim::user {

namespace {

const char16_t *const kSystemClasses[] = {
    u"#32770", u"Button", u"Static", u"Edit", u"ComboBox", u"ListBox", u"msctls_trackbar32", u"msctls_updown32"};

}  // namespace

std::shared_ptr<WindowClass> systemClass(const std::u16string &name) {
  static auto *made = new std::vector<std::shared_ptr<WindowClass>>;
  for (auto &c : *made)
    if (equalsNoCase(c->name, name)) return c;
  for (const char16_t *n : kSystemClasses) {
    if (!equalsNoCase(n, name)) continue;
    auto c = std::make_shared<WindowClass>();
    c->name = n;
    c->system = true;
    c->atom = name == u"#32770" ? 32770 : ATOM(0xC000 - 1 - made->size());
    c->proc = systemClassProc(n);
    c->wndExtra = systemClassExtra(n);
    c->style = CS_GLOBALCLASS;
    made->push_back(c);
    return c;
  }
  return nullptr;
}

bool nameMatches(const WindowClass &c, LPCWSTR name) {
  if (IS_INTRESOURCE(name)) return c.atom == LOWORD(reinterpret_cast<ULONG_PTR>(name));
  return equalsNoCase(c.name, fromW(name));
}

std::shared_ptr<WindowClass> findClass(LPCWSTR name, HINSTANCE instance, DWORD pid) {
  if (!name) return nullptr;
  for (auto &c : state().classes)
    if (c->processId == pid && c->instance == instance && !(c->style & CS_GLOBALCLASS) && nameMatches(*c, name))
      return c;
  for (auto &c : state().classes)
    if (c->processId == pid && (c->style & CS_GLOBALCLASS) && nameMatches(*c, name)) return c;
  if (IS_INTRESOURCE(name))
    return LOWORD(reinterpret_cast<ULONG_PTR>(name)) == 32770 ? systemClass(u"#32770") : nullptr;
  return systemClass(fromW(name));
}

}  // namespace winsim::user

using namespace winsim;
using namespace winsim::user;

extern "C" {

ATOM WINAPI RegisterClassExW(const WNDCLASSEXW *wc) {
  if (!wc || wc->cbSize != sizeof(WNDCLASSEXW) || !wc->lpszClassName || wc->cbClsExtra < 0 || wc->cbWndExtra < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (!IS_INTRESOURCE(wc->lpszClassName) && (!*wc->lpszClassName || fromW(wc->lpszClassName).size() > 255)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  HINSTANCE instance = wc->hInstance ? wc->hInstance : exeInstance();
  DWORD pid = currentPid();
  std::lock_guard<std::mutex> g(waitLock());
  WindowState &st = state();
  currentQueue();
  bool global = (wc->style & CS_GLOBALCLASS) != 0;
  for (auto &c : st.classes) {
    if (c->processId != pid || !nameMatches(*c, wc->lpszClassName)) continue;
    // A local class is one per module instance; a global one per process.
    if (global || (c->style & CS_GLOBALCLASS) || c->instance == instance) {
      SetLastError(ERROR_CLASS_ALREADY_EXISTS);
      return 0;
    }
  }
  auto c = std::make_shared<WindowClass>();
  if (IS_INTRESOURCE(wc->lpszClassName)) {
    c->atom = LOWORD(reinterpret_cast<ULONG_PTR>(wc->lpszClassName));
  } else {
    c->name = fromW(wc->lpszClassName);
    // One atom per name, as the atom table gives it.
    for (auto &o : st.classes)
      if (!c->atom && equalsNoCase(o->name, c->name)) c->atom = o->atom;
    if (!c->atom) c->atom = st.nextAtom++;
  }
  c->instance = instance;
  c->processId = pid;
  c->style = wc->style;
  c->proc = wc->lpfnWndProc;
  c->clsExtra = wc->cbClsExtra;
  c->wndExtra = wc->cbWndExtra;
  c->icon = wc->hIcon;
  c->iconSm = wc->hIconSm;
  c->cursor = wc->hCursor;
  c->background = wc->hbrBackground;
  if (wc->lpszMenuName && !IS_INTRESOURCE(wc->lpszMenuName)) c->menuName = fromW(wc->lpszMenuName);
  st.classes.push_back(c);
  return c->atom;
}

ATOM WINAPI RegisterClassW(const WNDCLASSW *wc) {
  if (!wc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  WNDCLASSEXW ex{};
  ex.cbSize = sizeof ex;
  ex.style = wc->style;
  ex.lpfnWndProc = wc->lpfnWndProc;
  ex.cbClsExtra = wc->cbClsExtra;
  ex.cbWndExtra = wc->cbWndExtra;
  ex.hInstance = wc->hInstance;
  ex.hIcon = wc->hIcon;
  ex.hCursor = wc->hCursor;
  ex.hbrBackground = wc->hbrBackground;
  ex.lpszMenuName = wc->lpszMenuName;
  ex.lpszClassName = wc->lpszClassName;
  return RegisterClassExW(&ex);
}

BOOL WINAPI UnregisterClassW(LPCWSTR name, HINSTANCE instance) {
  if (!instance) instance = exeInstance();
  DWORD pid = currentPid();
  std::lock_guard<std::mutex> g(waitLock());
  auto &cls = state().classes;
  for (auto it = cls.begin(); it != cls.end(); ++it) {
    auto &c = *it;
    if (c->processId != pid || !nameMatches(*c, name)) continue;
    if (!(c->style & CS_GLOBALCLASS) && c->instance != instance) continue;
    if (c->windows > 0) {
      SetLastError(ERROR_CLASS_HAS_WINDOWS);
      return FALSE;
    }
    cls.erase(it);
    return TRUE;
  }
  SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
  return FALSE;
}

BOOL WINAPI GetClassInfoExW(HINSTANCE instance, LPCWSTR name, LPWNDCLASSEXW wc) {
  if (!wc) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  DWORD pid = currentPid();
  if (!instance) instance = exeInstance();
  std::lock_guard<std::mutex> g(waitLock());
  auto c = findClass(name, instance, pid);
  if (!c) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  wc->style = c->style;
  wc->lpfnWndProc = c->proc;
  wc->cbClsExtra = c->clsExtra;
  wc->cbWndExtra = c->wndExtra;
  wc->hInstance = c->system ? nullptr : c->instance;
  wc->hIcon = c->icon;
  wc->hCursor = c->cursor;
  wc->hbrBackground = c->background;
  wc->lpszMenuName = nullptr;
  wc->lpszClassName = name;
  wc->hIconSm = c->iconSm;
  return c->atom;
}

int WINAPI GetClassNameW(HWND h, LPWSTR out, int max) {
  std::u16string name;
  {
    std::lock_guard<std::mutex> g(waitLock());
    Window *w = findWindow(h);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    name = w->cls->name;
  }
  return copyText(name, out, max);
}

}  // extern "C"
