// Menus: building them (items by position or by command), the default item,
// and shortcut menus that the scripted user answers.
#include <algorithm>

#include "kernel32/threads.h"
#include "user32/scripted_user.h"
#include "user32/windows.h"

namespace winsim::user {

namespace {

struct MenuItem {
  UINT flags = 0;   // MF_ flags: type and state
  UINT_PTR id = 0;  // the command, or the submenu of an MF_POPUP item
  std::u16string text;
};

struct Menu : UserObject {
  Menu() : UserObject(UserType::Menu) {}
  bool popup = false;
  std::vector<MenuItem> items;
  int defaultPos = -1;
};

Menu *findMenu(HMENU h) { return static_cast<Menu *>(findObject(h, UserType::Menu)); }

HMENU newMenu(bool popup) {
  auto *m = new Menu;
  m->popup = popup;
  std::lock_guard<std::mutex> g(waitLock());
  return static_cast<HMENU>(addObject(m));
}

// The menu and position of an item, by position or (searching submenus) by
// command.  With the lock.
bool locate(Menu *m, UINT item, UINT flags, Menu *&where, size_t &pos) {
  if (flags & MF_BYPOSITION) {
    if (item >= m->items.size()) return false;
    where = m;
    pos = item;
    return true;
  }
  for (size_t i = 0; i < m->items.size(); ++i) {
    const MenuItem &it = m->items[i];
    if (it.flags & MF_POPUP) {
      if (Menu *sub = findMenu(reinterpret_cast<HMENU>(it.id)))
        if (sub != m && locate(sub, item, flags, where, pos)) return true;
      continue;
    }
    if (!(it.flags & MF_SEPARATOR) && it.id == item) {
      where = m;
      pos = i;
      return true;
    }
  }
  return false;
}

bool failMenu() {
  SetLastError(ERROR_INVALID_MENU_HANDLE);
  return false;
}

void destroyMenuTree(Menu *m) {
  m->alive = false;
  for (const MenuItem &it : m->items)
    if (it.flags & MF_POPUP)
      if (Menu *sub = findMenu(reinterpret_cast<HMENU>(it.id))) destroyMenuTree(sub);
  m->items.clear();
  removeObject(m);
}

constexpr UINT kStateFlags = MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_HILITE | MF_DEFAULT;

}  // namespace

}  // namespace winsim::user

using namespace winsim;
using namespace winsim::user;

extern "C" {

HMENU WINAPI CreateMenu(void) { return newMenu(false); }
HMENU WINAPI CreatePopupMenu(void) { return newMenu(true); }

BOOL WINAPI DestroyMenu(HMENU h) {
  std::lock_guard<std::mutex> g(waitLock());
  Menu *m = findMenu(h);
  if (!m) return failMenu();
  destroyMenuTree(m);
  return TRUE;
}

BOOL WINAPI IsMenu(HMENU h) {
  std::lock_guard<std::mutex> g(waitLock());
  return findMenu(h) != nullptr;
}

BOOL WINAPI InsertMenuW(HMENU h, UINT position, UINT flags, UINT_PTR id, LPCWSTR text) {
  std::lock_guard<std::mutex> g(waitLock());
  Menu *m = findMenu(h);
  if (!m) return failMenu();
  if ((flags & MF_POPUP) && !findMenu(reinterpret_cast<HMENU>(id))) return failMenu();
  MenuItem item;
  item.flags = flags & ~(MF_BYPOSITION | MF_DEFAULT);
  item.id = id;
  // MF_STRING is no bit: an item that is not a separator, bitmap or owner
  // drawn carries text.
  if (!(flags & (MF_SEPARATOR | MF_BITMAP | MF_OWNERDRAW)) && text) item.text = fromW(text);
  Menu *where = m;
  size_t pos = m->items.size();
  if (flags & MF_BYPOSITION) {
    // A position past the end (-1 included) appends.
    if (position < m->items.size()) pos = position;
  } else if (!locate(m, position, flags, where, pos)) {
    SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
    return FALSE;
  }
  where->items.insert(where->items.begin() + long(pos), item);
  if (where->defaultPos >= int(pos)) ++where->defaultPos;
  return TRUE;
}

BOOL WINAPI AppendMenuW(HMENU h, UINT flags, UINT_PTR id, LPCWSTR text) {
  return InsertMenuW(h, UINT(-1), flags | MF_BYPOSITION, id, text);
}

namespace {

BOOL removeItem(HMENU h, UINT position, UINT flags, bool destroySubmenu) {
  std::lock_guard<std::mutex> g(waitLock());
  Menu *m = findMenu(h);
  if (!m) return failMenu();
  Menu *where;
  size_t pos;
  if (!locate(m, position, flags, where, pos)) {
    SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
    return FALSE;
  }
  MenuItem item = where->items[pos];
  where->items.erase(where->items.begin() + long(pos));
  if (where->defaultPos == int(pos))
    where->defaultPos = -1;
  else if (where->defaultPos > int(pos))
    --where->defaultPos;
  if (destroySubmenu && (item.flags & MF_POPUP))
    if (Menu *sub = findMenu(reinterpret_cast<HMENU>(item.id))) destroyMenuTree(sub);
  return TRUE;
}

}  // namespace

BOOL WINAPI DeleteMenu(HMENU h, UINT position, UINT flags) { return removeItem(h, position, flags, true); }
BOOL WINAPI RemoveMenu(HMENU h, UINT position, UINT flags) { return removeItem(h, position, flags, false); }

BOOL WINAPI EnableMenuItem(HMENU h, UINT item, UINT enable) {
  std::lock_guard<std::mutex> g(waitLock());
  Menu *m = findMenu(h);
  if (!m) {
    failMenu();
    return -1;
  }
  Menu *where;
  size_t pos;
  if (!locate(m, item, enable, where, pos)) return -1;
  UINT &f = where->items[pos].flags;
  UINT old = f & (MF_GRAYED | MF_DISABLED);
  f = (f & ~(MF_GRAYED | MF_DISABLED)) | (enable & (MF_GRAYED | MF_DISABLED));
  return old;
}

DWORD WINAPI CheckMenuItem(HMENU h, UINT item, UINT check) {
  std::lock_guard<std::mutex> g(waitLock());
  Menu *m = findMenu(h);
  if (!m) {
    failMenu();
    return DWORD(-1);
  }
  Menu *where;
  size_t pos;
  if (!locate(m, item, check, where, pos)) return DWORD(-1);
  UINT &f = where->items[pos].flags;
  DWORD old = f & MF_CHECKED;
  f = (f & ~MF_CHECKED) | (check & MF_CHECKED);
  return old;
}

BOOL WINAPI SetMenuDefaultItem(HMENU h, UINT item, UINT byPos) {
  std::lock_guard<std::mutex> g(waitLock());
  Menu *m = findMenu(h);
  if (!m) return failMenu();
  if (item == UINT(-1)) {
    m->defaultPos = -1;
    return TRUE;
  }
  if (byPos) {
    if (item >= m->items.size()) {
      SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
      return FALSE;
    }
    m->defaultPos = int(item);
    return TRUE;
  }
  // By command: an item of this menu itself.
  for (size_t i = 0; i < m->items.size(); ++i)
    if (!(m->items[i].flags & (MF_POPUP | MF_SEPARATOR)) && m->items[i].id == item) {
      m->defaultPos = int(i);
      return TRUE;
    }
  SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
  return FALSE;
}

UINT WINAPI GetMenuDefaultItem(HMENU h, UINT byPos, UINT flags) {
  std::lock_guard<std::mutex> g(waitLock());
  Menu *m = findMenu(h);
  if (!m) {
    failMenu();
    return UINT(-1);
  }
  if (m->defaultPos < 0) return UINT(-1);
  const MenuItem &it = m->items[size_t(m->defaultPos)];
  if ((it.flags & (MF_GRAYED | MF_DISABLED)) && !(flags & GMDI_USEDISABLED)) return UINT(-1);
  return byPos ? UINT(m->defaultPos) : UINT(it.id);
}

int WINAPI GetMenuItemCount(HMENU h) {
  std::lock_guard<std::mutex> g(waitLock());
  Menu *m = findMenu(h);
  if (!m) {
    failMenu();
    return -1;
  }
  return int(m->items.size());
}

UINT WINAPI GetMenuItemID(HMENU h, int pos) {
  std::lock_guard<std::mutex> g(waitLock());
  Menu *m = findMenu(h);
  if (!m || pos < 0 || size_t(pos) >= m->items.size()) return UINT(-1);
  const MenuItem &it = m->items[size_t(pos)];
  if (it.flags & MF_POPUP) return UINT(-1);
  return (it.flags & MF_SEPARATOR) ? 0 : UINT(it.id);
}

UINT WINAPI GetMenuState(HMENU h, UINT item, UINT flags) {
  std::lock_guard<std::mutex> g(waitLock());
  Menu *m = findMenu(h);
  if (!m) {
    failMenu();
    return UINT(-1);
  }
  Menu *where;
  size_t pos;
  if (!locate(m, item, flags, where, pos)) return UINT(-1);
  const MenuItem &it = where->items[pos];
  UINT state = it.flags & (kStateFlags | MF_SEPARATOR | MF_POPUP | MF_BITMAP | MF_OWNERDRAW);
  if (where->defaultPos == int(pos)) state |= MF_DEFAULT;
  if (it.flags & MF_POPUP) {
    // A submenu's state carries its item count in the high byte.
    Menu *sub = findMenu(reinterpret_cast<HMENU>(it.id));
    state = (state & 0xFF) | (UINT(sub ? sub->items.size() : 0) << 8);
  }
  return state;
}

int WINAPI GetMenuStringW(HMENU h, UINT item, LPWSTR out, int max, UINT flags) {
  std::u16string text;
  {
    std::lock_guard<std::mutex> g(waitLock());
    Menu *m = findMenu(h);
    if (!m) {
      failMenu();
      return 0;
    }
    Menu *where;
    size_t pos;
    if (!locate(m, item, flags, where, pos)) return 0;
    text = where->items[pos].text;
  }
  if (!out || max <= 0) return int(text.size());
  int n = std::min<int>(int(text.size()), max - 1);
  std::copy(text.begin(), text.begin() + n, out);
  out[n] = 0;
  return n;
}

HMENU WINAPI GetSubMenu(HMENU h, int pos) {
  std::lock_guard<std::mutex> g(waitLock());
  Menu *m = findMenu(h);
  if (!m || pos < 0 || size_t(pos) >= m->items.size()) return nullptr;
  const MenuItem &it = m->items[size_t(pos)];
  return (it.flags & MF_POPUP) ? reinterpret_cast<HMENU>(it.id) : nullptr;
}

BOOL WINAPI TrackPopupMenuEx(HMENU h, UINT flags, int, int, HWND hwnd, LPTPMPARAMS) {
  ShownMenu shown;
  {
    std::lock_guard<std::mutex> g(waitLock());
    Menu *m = findMenu(h);
    if (!m) return failMenu();
    Window *w = findWindow(hwnd);
    // The owner window gets the menu's notifications: it is the caller's.
    if (!w || w->threadId != currentTid()) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    for (size_t i = 0; i < m->items.size(); ++i) {
      const MenuItem &it = m->items[i];
      MenuItemRecord r;
      r.id = (it.flags & (MF_POPUP | MF_SEPARATOR)) ? 0 : UINT(it.id);
      r.text = it.text;
      r.flags = it.flags;
      r.isDefault = m->defaultPos == int(i);
      if (r.isDefault) shown.defaultId = r.id;
      shown.items.push_back(std::move(r));
    }
  }
  shown.owner = hwnd;
  shown.flags = flags;
  bool notify = !(flags & TPM_NONOTIFY);
  if (notify) {
    SendMessageW(hwnd, WM_ENTERMENULOOP, TRUE, 0);
    SendMessageW(hwnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(h), 0);
  }
  UINT chosen = presentMenu(std::move(shown));
  if (notify) SendMessageW(hwnd, WM_EXITMENULOOP, TRUE, 0);
  if (flags & TPM_RETURNCMD) return BOOL(chosen);
  if (chosen && notify) PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(chosen, 0), 0);
  return TRUE;
}

BOOL WINAPI TrackPopupMenu(HMENU h, UINT flags, int x, int y, int, HWND hwnd, const RECT *) {
  return TrackPopupMenuEx(h, flags, x, y, hwnd, nullptr);
}

}  // extern "C"
