// Icons and cursors (the system's own and those of a module's resources),
// the system metrics that size them, and the system colours and their
// brushes.  There is no screen: an icon is a handle that knows where it
// came from and how large it is.
#include <algorithm>
#include <cstring>

#include "gdi32/gdi.h"
#include "user32/windows.h"

namespace winsim::user {

namespace {

struct Icon : UserObject {
  Icon() : UserObject(UserType::Icon) {}
  bool cursor = false;
  bool shared = false;  // the system's, or loaded with LR_SHARED: never destroyed
  HMODULE module = nullptr;
  std::u16string name;  // "#n" for a number
  int cx = 0, cy = 0;
};

// Guarded by the wait lock.
struct IconState {
  std::vector<Icon *> shared;
};
IconState &state() {
  static auto *s = new IconState;
  return *s;
}

std::u16string nameKey(LPCWSTR name) {
  if (IS_INTRESOURCE(name)) {
    std::u16string s = u"#";
    for (char c : std::to_string(LOWORD(reinterpret_cast<ULONG_PTR>(name)))) s += char16_t(c);
    return s;
  }
  return upper(fromW(name));
}

HICON sharedIcon(HMODULE module, const std::u16string &name, bool cursor, int cx, int cy) {
  std::lock_guard<std::mutex> g(waitLock());
  for (Icon *i : state().shared)
    if (i->module == module && i->name == name && i->cursor == cursor && (!cx || i->cx == cx) && (!cy || i->cy == cy))
      return static_cast<HICON>(i->handle);
  auto *i = new Icon;
  i->cursor = cursor;
  i->shared = true;
  i->module = module;
  i->name = name;
  i->cx = cx;
  i->cy = cy;
  addObject(i);
  state().shared.push_back(i);
  return static_cast<HICON>(i->handle);
}

bool systemIconId(LPCWSTR name, bool cursor) {
  if (!IS_INTRESOURCE(name)) return false;
  WORD id = LOWORD(reinterpret_cast<ULONG_PTR>(name));
  if (cursor) return (id >= 32512 && id <= 32516) || (id >= 32640 && id <= 32651);
  return id >= 32512 && id <= 32518;
}

#pragma pack(push, 2)
struct GroupHeader {
  WORD reserved, type, count;
};
struct GroupEntry {
  BYTE width, height, colors, reserved;
  WORD planes, bitCount;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)
static_assert(sizeof(GroupEntry) == 14, "group entry layout");

const LPCWSTR kGroupCursor = MAKEINTRESOURCEW(12);
const LPCWSTR kCursorType = MAKEINTRESOURCEW(1);

// Loads an icon (or cursor) of a module: its group must be there, with at
// least one image whose resource is there too.  The image nearest the size
// asked for is taken, as Windows takes it and stretches it.
HANDLE loadFromModule(HMODULE module, LPCWSTR name, bool cursor, int cx, int cy, UINT flags) {
  HRSRC group = FindResourceW(module, name, cursor ? kGroupCursor : RT_GROUP_ICON);
  if (!group) return nullptr;  // FindResourceW set the error
  const auto *data = static_cast<const BYTE *>(LockResource(LoadResource(module, group)));
  DWORD size = SizeofResource(module, group);
  GroupHeader head{};
  if (!data || size < sizeof head) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  std::memcpy(&head, data, sizeof head);
  if (head.count == 0 || size < sizeof head + size_t(head.count) * sizeof(GroupEntry)) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  if (cx == 0 && (flags & LR_DEFAULTSIZE)) cx = GetSystemMetrics(cursor ? SM_CXCURSOR : SM_CXICON);
  if (cy == 0 && (flags & LR_DEFAULTSIZE)) cy = GetSystemMetrics(cursor ? SM_CYCURSOR : SM_CYICON);
  int bestCx = 0, bestCy = 0;
  long bestScore = -1;
  for (WORD i = 0; i < head.count; ++i) {
    GroupEntry e;
    std::memcpy(&e, data + sizeof head + size_t(i) * sizeof e, sizeof e);
    if (!FindResourceW(module, MAKEINTRESOURCEW(e.id), cursor ? kCursorType : RT_ICON)) continue;
    int w = e.width ? e.width : 256;
    int h = cursor ? w : (e.height ? e.height : 256);
    long score = long(std::abs((cx ? cx : w) - w)) + long(std::abs((cy ? cy : h) - h));
    if (bestScore < 0 || score < bestScore) {
      bestScore = score;
      bestCx = w;
      bestCy = h;
    }
  }
  if (bestScore < 0) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  int outCx = cx ? cx : bestCx, outCy = cy ? cy : bestCy;
  if (flags & LR_SHARED) return sharedIcon(module, nameKey(name), cursor, outCx, outCy);
  auto *icon = new Icon;
  icon->cursor = cursor;
  icon->module = module;
  icon->name = nameKey(name);
  icon->cx = outCx;
  icon->cy = outCy;
  std::lock_guard<std::mutex> g(waitLock());
  return addObject(icon);
}

HANDLE loadImage(HINSTANCE instance, LPCWSTR name, bool cursor, int cx, int cy, UINT flags) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (flags & LR_LOADFROMFILE) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  if (!instance) {
    // The system's icons and cursors (OIC_/OCR_ numbers are the IDI_/IDC_ ones).
    if (!systemIconId(name, cursor)) {
      SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
      return nullptr;
    }
    int size = GetSystemMetrics(cursor ? SM_CXCURSOR : SM_CXICON);
    return sharedIcon(nullptr, nameKey(name), cursor, cx ? cx : size, cy ? cy : size);
  }
  return loadFromModule(reinterpret_cast<HMODULE>(instance), name, cursor, cx, cy, flags);
}

BOOL destroy(HICON h, bool cursor) {
  std::lock_guard<std::mutex> g(waitLock());
  auto *i = static_cast<Icon *>(findObject(h, UserType::Icon));
  if (!i || i->cursor != cursor) {
    SetLastError(cursor ? ERROR_INVALID_CURSOR_HANDLE : ERROR_INVALID_ICON_HANDLE);
    return FALSE;
  }
  if (!i->shared) removeObject(i);  // a shared one stays for everyone who loaded it
  return TRUE;
}

// Windows 10's default colours.
constexpr COLORREF kSysColors[] = {
    RGB(200, 200, 200), RGB(0, 0, 0),       RGB(153, 180, 209), RGB(191, 205, 219), RGB(240, 240, 240),
    RGB(255, 255, 255), RGB(100, 100, 100), RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(0, 0, 0),
    RGB(180, 180, 180), RGB(244, 247, 252), RGB(171, 171, 171), RGB(0, 120, 215),   RGB(255, 255, 255),
    RGB(240, 240, 240), RGB(160, 160, 160), RGB(109, 109, 109), RGB(0, 0, 0),       RGB(0, 0, 0),
    RGB(255, 255, 255), RGB(105, 105, 105), RGB(227, 227, 227), RGB(0, 0, 0),       RGB(255, 255, 225),
    RGB(0, 0, 0),       RGB(0, 102, 204),   RGB(185, 209, 234), RGB(215, 228, 242), RGB(51, 153, 255),
    RGB(240, 240, 240),
};
constexpr int kSysColorCount = int(sizeof kSysColors / sizeof kSysColors[0]);

}  // namespace

}  // namespace winsim::user

using namespace winsim;
using namespace winsim::user;

extern "C" {

HANDLE WINAPI LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int cx, int cy, UINT flags) {
  switch (type) {
    case IMAGE_ICON: return loadImage(instance, name, false, cx, cy, flags);
    case IMAGE_CURSOR: return loadImage(instance, name, true, cx, cy, flags);
    default: SetLastError(ERROR_NOT_SUPPORTED); return nullptr;
  }
}

HICON WINAPI LoadIconW(HINSTANCE instance, LPCWSTR name) {
  return static_cast<HICON>(loadImage(instance, name, false, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
}

HCURSOR WINAPI LoadCursorW(HINSTANCE instance, LPCWSTR name) {
  return static_cast<HCURSOR>(loadImage(instance, name, true, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
}

BOOL WINAPI DestroyIcon(HICON h) { return destroy(h, false); }
BOOL WINAPI DestroyCursor(HCURSOR h) { return destroy(h, true); }

int WINAPI GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN: return 1920;
    case SM_CYSCREEN: return 1080;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    default: return 0;
  }
}

DWORD WINAPI GetSysColor(int index) { return index >= 0 && index < kSysColorCount ? kSysColors[index] : 0; }

HBRUSH WINAPI GetSysColorBrush(int index) {
  if (index < 0 || index >= kSysColorCount) return nullptr;
  // One brush per colour for the whole machine, like the stock objects:
  // made on first use, again after a machine reset took the GDI objects.
  static HBRUSH brushes[kSysColorCount] = {};
  static std::mutex lock;
  std::lock_guard<std::mutex> g(lock);
  HBRUSH &b = brushes[index];
  if (!b || GetObjectType(b) != OBJ_BRUSH) {
    auto *o = new gdi::BrushObj;
    o->type = OBJ_BRUSH;
    o->stock = true;
    o->lb = LOGBRUSH{BS_SOLID, kSysColors[index], 0};
    o->handle = registerMachineWideObject(o);
    b = static_cast<HBRUSH>(o->handle);
  }
  return b;
}

}  // extern "C"
