// The standard controls of dialogs: buttons, statics, single-line edits,
// combo boxes, and the common controls trackbar and up-down.  Each keeps
// its state in its window's data; its text is the window's text, so that
// GetWindowTextW of another process reads it as on Windows.  The user's
// input to each (userAction) gives the notifications a mouse and keyboard
// would.
#include <algorithm>
#include <climits>
#include <cstdlib>

#include <commctrl.h>

#include "user32/dialogs.h"

using namespace winsim;
using namespace winsim::user;

namespace {

std::u16string textOf(HWND h) {
  int n = GetWindowTextLengthW(h);
  std::u16string s(size_t(n) + 1, u'\0');
  n = GetWindowTextW(h, reinterpret_cast<LPWSTR>(s.data()), n + 1);
  s.resize(size_t(std::max(n, 0)));
  return s;
}

// Sets the window's text without the control's own handling of WM_SETTEXT.
void storeText(HWND h, const std::u16string &s) {
  DefWindowProcW(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(s.c_str()));
}

DWORD styleOf(HWND h) { return DWORD(GetWindowLongPtrW(h, GWL_STYLE)); }

std::u16string classOf(HWND h) {
  WCHAR buf[64] = {};
  GetClassNameW(h, buf, 64);
  return fromW(buf);
}

template <typename T>
std::shared_ptr<T> ensureData(HWND h) {
  auto d = dataOf<T>(h);
  if (!d) {
    d = std::make_shared<T>();
    setData(h, d);
  }
  return d;
}

// ------------------------------------------------------------ buttons

struct ButtonData : WindowData {
  UINT check = BST_UNCHECKED;
  bool pushed = false;
};

bool isRadio(DWORD style) {
  DWORD t = style & BS_TYPEMASK;
  return t == BS_RADIOBUTTON || t == BS_AUTORADIOBUTTON;
}
bool isCheckable(DWORD style) {
  DWORD t = style & BS_TYPEMASK;
  return t == BS_CHECKBOX || t == BS_AUTOCHECKBOX || t == BS_3STATE || t == BS_AUTO3STATE || isRadio(style);
}

// The other automatic radio buttons of a button's group: the siblings from
// the one with WS_GROUP at or before it up to the next WS_GROUP.
std::vector<HWND> radioGroup(HWND button) {
  std::vector<HWND> kids = childWindows(GetParent(button));
  auto at = std::find(kids.begin(), kids.end(), button);
  if (at == kids.end()) return {};
  auto first = at;
  while (first != kids.begin() && !(styleOf(*first) & WS_GROUP)) --first;
  std::vector<HWND> out;
  for (auto it = first; it != kids.end(); ++it) {
    if (it != first && (styleOf(*it) & WS_GROUP)) break;
    if (*it != button && equalsNoCase(classOf(*it), u"Button") && (styleOf(*it) & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
      out.push_back(*it);
  }
  return out;
}

LRESULT CALLBACK buttonProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_NCCREATE: ensureData<ButtonData>(h); break;
    case BM_GETCHECK: {
      auto d = dataOf<ButtonData>(h);
      return d && isCheckable(styleOf(h)) ? d->check : 0;
    }
    case BM_SETCHECK: {
      auto d = dataOf<ButtonData>(h);
      DWORD type = styleOf(h) & BS_TYPEMASK;
      if (!d || !isCheckable(styleOf(h))) return 0;
      UINT most = (type == BS_3STATE || type == BS_AUTO3STATE) ? BST_INDETERMINATE : BST_CHECKED;
      d->check = std::min<UINT>(UINT(wParam), most);
      return 0;
    }
    case BM_GETSTATE: {
      auto d = dataOf<ButtonData>(h);
      if (!d) return 0;
      return (isCheckable(styleOf(h)) ? d->check : 0) | (d->pushed ? BST_PUSHED : 0) |
             (GetFocus() == h ? BST_FOCUS : 0);
    }
    case BM_SETSTATE:
      if (auto d = dataOf<ButtonData>(h)) d->pushed = wParam != 0;
      return 0;
    case BM_SETSTYLE: {
      DWORD style = styleOf(h);
      SetWindowLongPtrW(h, GWL_STYLE, LONG_PTR((style & ~0xFFFFu) | (wParam & 0xFFFF)));
      return 0;
    }
    case BM_CLICK: {
      // A click of the mouse: nothing for a disabled or hidden button.
      if (!IsWindowEnabled(h) || !IsWindowVisible(h)) return 0;
      auto d = dataOf<ButtonData>(h);
      DWORD style = styleOf(h), type = style & BS_TYPEMASK;
      if (type == BS_GROUPBOX) return 0;
      SetFocus(h);
      if (d) {
        if (type == BS_AUTOCHECKBOX) d->check = d->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
        if (type == BS_AUTO3STATE) d->check = (d->check + 1) % 3;
        if (type == BS_AUTORADIOBUTTON) {
          d->check = BST_CHECKED;
          for (HWND o : radioGroup(h)) SendMessageW(o, BM_SETCHECK, BST_UNCHECKED, 0);
        }
      }
      notifyParent(h, BN_CLICKED);
      return 0;
    }
    case WM_GETDLGCODE: return 0;
    default: break;
  }
  return DefWindowProcW(h, msg, wParam, lParam);
}

// ------------------------------------------------------------ edits

// The limit of what the user may type before EM_LIMITTEXT: 30000
// characters, as Windows gives a new edit control.
constexpr UINT kDefaultEditLimit = 30000;

struct EditData : WindowData {
  UINT limit = kDefaultEditLimit;
  size_t selStart = 0, selEnd = 0;
  bool modified = false;
};

std::u16string withCase(const std::u16string &s, DWORD style) {
  std::u16string out = s;
  if (style & (ES_UPPERCASE | ES_LOWERCASE)) {
    for (auto &c : out) {
      WCHAR one[2] = {WCHAR(c), 0};
      if (style & ES_UPPERCASE)
        CharUpperW(one);
      else
        CharLowerW(one);
      c = char16_t(one[0]);
    }
  }
  return out;
}

void notifyChange(HWND h) {
  if (styleOf(h) & ES_MULTILINE) return;
  notifyParent(h, EN_UPDATE);
  notifyParent(h, EN_CHANGE);
}

// Replaces the selection; `typed` applies the user's limit.  False when the
// text would not fit (EN_MAXTEXT).
bool replaceSelection(HWND h, EditData &d, const std::u16string &with, bool typed) {
  std::u16string text = textOf(h);
  size_t a = std::min(d.selStart, text.size()), b = std::min(d.selEnd, text.size());
  if (a > b) std::swap(a, b);
  std::u16string ins = withCase(with, styleOf(h));
  if (typed && text.size() - (b - a) + ins.size() > d.limit) {
    notifyParent(h, EN_MAXTEXT);
    return false;
  }
  text.replace(a, b - a, ins);
  storeText(h, text);
  d.selStart = d.selEnd = a + ins.size();
  d.modified = true;
  notifyChange(h);
  return true;
}

LRESULT CALLBACK editProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_NCCREATE: ensureData<EditData>(h); break;
    case WM_SETTEXT: {
      auto d = dataOf<EditData>(h);
      // Not limited by EM_LIMITTEXT, which limits only what the user types.
      storeText(h, withCase(fromW(reinterpret_cast<LPCWSTR>(lParam)), styleOf(h)));
      if (d) {
        d->selStart = d->selEnd = 0;
        d->modified = false;
      }
      notifyChange(h);
      return TRUE;
    }
    case EM_LIMITTEXT: {
      if (auto d = dataOf<EditData>(h))
        d->limit = wParam ? UINT(wParam) : (styleOf(h) & ES_MULTILINE) ? 0xFFFFFFFFu : 0x7FFFFFFEu;
      return 0;
    }
    case EM_GETLIMITTEXT: {
      auto d = dataOf<EditData>(h);
      return d ? d->limit : 0;
    }
    case EM_SETSEL: {
      auto d = dataOf<EditData>(h);
      if (!d) return 0;
      size_t len = textOf(h).size();
      long start = long(INT_PTR(wParam)), end = long(lParam);
      if (start == -1) {
        d->selStart = d->selEnd = std::min(d->selEnd, len);  // no selection: the caret stays
        return 0;
      }
      size_t s = start < 0 ? len : std::min(size_t(start), len);
      size_t e = end < 0 ? len : std::min(size_t(end), len);
      d->selStart = std::min(s, e);
      d->selEnd = std::max(s, e);
      return 0;
    }
    case EM_GETSEL: {
      auto d = dataOf<EditData>(h);
      DWORD s = d ? DWORD(d->selStart) : 0, e = d ? DWORD(d->selEnd) : 0;
      if (wParam) *reinterpret_cast<DWORD *>(wParam) = s;
      if (lParam) *reinterpret_cast<DWORD *>(lParam) = e;
      return LRESULT(MAKELONG(std::min<DWORD>(s, 0xFFFF), std::min<DWORD>(e, 0xFFFF)));
    }
    case EM_REPLACESEL: {
      if (auto d = dataOf<EditData>(h)) replaceSelection(h, *d, fromW(reinterpret_cast<LPCWSTR>(lParam)), false);
      return 0;
    }
    case EM_GETMODIFY: {
      auto d = dataOf<EditData>(h);
      return d && d->modified ? TRUE : FALSE;
    }
    case EM_SETMODIFY:
      if (auto d = dataOf<EditData>(h)) d->modified = wParam != 0;
      return 0;
    case EM_SETREADONLY: {
      DWORD style = styleOf(h);
      SetWindowLongPtrW(h, GWL_STYLE, LONG_PTR(wParam ? (style | ES_READONLY) : (style & ~DWORD(ES_READONLY))));
      return TRUE;
    }
    case WM_CHAR: {
      auto d = dataOf<EditData>(h);
      DWORD style = styleOf(h);
      if (!d || (style & ES_READONLY)) return 0;
      char16_t c = char16_t(wParam);
      if (c == 0x08) {  // Backspace: the selection, or the character before the caret
        if (d->selStart == d->selEnd && d->selStart > 0) --d->selStart;
        if (d->selStart != d->selEnd) replaceSelection(h, *d, u"", true);
        return 0;
      }
      if (c < 0x20) return 0;
      if ((style & ES_NUMBER) && (c < u'0' || c > u'9')) return 0;  // refused, as Windows does
      replaceSelection(h, *d, std::u16string(1, c), true);
      return 0;
    }
    case WM_SETFOCUS: notifyParent(h, EN_SETFOCUS); return 0;
    case WM_KILLFOCUS: notifyParent(h, EN_KILLFOCUS); return 0;
    default: break;
  }
  return DefWindowProcW(h, msg, wParam, lParam);
}

// ------------------------------------------------------------ combo boxes

struct ComboItem {
  std::u16string text;
  LRESULT data = 0;
};
struct ComboData : WindowData {
  std::vector<ComboItem> items;
  int selection = CB_ERR;
  bool dropped = false;
};

int compareNoCase(const std::u16string &a, const std::u16string &b) {
  std::u16string ua = upper(a), ub = upper(b);
  return ua < ub ? -1 : ua > ub ? 1 : 0;
}

void showSelection(HWND h, const ComboData &d) {
  storeText(h, d.selection >= 0 ? d.items[size_t(d.selection)].text : std::u16string());
}

int findItem(const ComboData &d, WPARAM start, const std::u16string &text, bool exact) {
  int n = int(d.items.size());
  if (n == 0) return CB_ERR;
  int from = int(INT_PTR(start));
  if (from < -1 || from >= n) from = -1;
  for (int k = 1; k <= n; ++k) {
    int i = (from + k) % n;
    const std::u16string &t = d.items[size_t(i)].text;
    if (exact ? equalsNoCase(t, text) : (t.size() >= text.size() && equalsNoCase(t.substr(0, text.size()), text)))
      return i;
  }
  return CB_ERR;
}

LRESULT CALLBACK comboProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    ensureData<ComboData>(h);
    return DefWindowProcW(h, msg, wParam, lParam);
  }
  auto d = dataOf<ComboData>(h);
  if (!d) return DefWindowProcW(h, msg, wParam, lParam);
  int count = int(d->items.size());
  auto valid = [&](WPARAM i) { return INT_PTR(wParam) >= 0 && INT_PTR(i) < count; };
  switch (msg) {
    case CB_ADDSTRING: {
      ComboItem item{fromW(reinterpret_cast<LPCWSTR>(lParam)), 0};
      size_t at = d->items.size();
      if (styleOf(h) & CBS_SORT) {
        at = 0;
        while (at < d->items.size() && compareNoCase(d->items[at].text, item.text) <= 0) ++at;
      }
      d->items.insert(d->items.begin() + long(at), item);
      if (d->selection >= int(at)) ++d->selection;
      return LRESULT(at);
    }
    case CB_INSERTSTRING: {
      INT_PTR at = INT_PTR(wParam);
      if (at == -1) at = count;
      if (at < 0 || at > count) return CB_ERR;
      d->items.insert(d->items.begin() + at, ComboItem{fromW(reinterpret_cast<LPCWSTR>(lParam)), 0});
      if (d->selection >= int(at)) ++d->selection;
      return LRESULT(at);
    }
    case CB_DELETESTRING: {
      if (!valid(wParam)) return CB_ERR;
      int at = int(wParam);
      d->items.erase(d->items.begin() + at);
      if (d->selection == at) {
        d->selection = CB_ERR;
        showSelection(h, *d);
      } else if (d->selection > at) {
        --d->selection;
      }
      return LRESULT(d->items.size());
    }
    case CB_RESETCONTENT:
      d->items.clear();
      d->selection = CB_ERR;
      showSelection(h, *d);
      return CB_OKAY;
    case CB_GETCOUNT: return count;
    case CB_SETCURSEL:
      // No notification: only the user's choice sends CBN_SELCHANGE.
      d->selection = valid(wParam) ? int(wParam) : CB_ERR;
      showSelection(h, *d);
      return d->selection;
    case CB_GETCURSEL: return d->selection;
    case CB_GETLBTEXT: {
      if (!valid(wParam)) return CB_ERR;
      const std::u16string &t = d->items[wParam].text;
      if (lParam) {
        auto *out = reinterpret_cast<char16_t *>(lParam);
        std::copy(t.begin(), t.end(), out);
        out[t.size()] = 0;
      }
      return LRESULT(t.size());
    }
    case CB_GETLBTEXTLEN: return valid(wParam) ? LRESULT(d->items[wParam].text.size()) : CB_ERR;
    case CB_SETITEMDATA:
      if (!valid(wParam)) return CB_ERR;
      d->items[wParam].data = lParam;
      return TRUE;
    case CB_GETITEMDATA: return valid(wParam) ? d->items[wParam].data : CB_ERR;
    case CB_FINDSTRINGEXACT: return findItem(*d, wParam, fromW(reinterpret_cast<LPCWSTR>(lParam)), true);
    case CB_FINDSTRING: return findItem(*d, wParam, fromW(reinterpret_cast<LPCWSTR>(lParam)), false);
    case CB_SELECTSTRING: {
      int i = findItem(*d, wParam, fromW(reinterpret_cast<LPCWSTR>(lParam)), false);
      if (i != CB_ERR) {
        d->selection = i;
        showSelection(h, *d);
      }
      return i;
    }
    case CB_SHOWDROPDOWN:
      if (bool(wParam) != d->dropped) {
        d->dropped = wParam != 0;
        if (d->dropped) notifyParent(h, CBN_DROPDOWN);
        if (!d->dropped) notifyParent(h, CBN_CLOSEUP);
      }
      return TRUE;
    case CB_GETDROPPEDSTATE: return d->dropped ? TRUE : FALSE;
    case CB_LIMITTEXT: return TRUE;
    case WM_SETFOCUS: notifyParent(h, CBN_SETFOCUS); return 0;
    case WM_KILLFOCUS: notifyParent(h, CBN_KILLFOCUS); return 0;
    case WM_SETTEXT:
      // A drop-down list shows only its items.
      if ((styleOf(h) & 0x3) == CBS_DROPDOWNLIST) return CB_ERR;
      break;
    default: break;
  }
  return DefWindowProcW(h, msg, wParam, lParam);
}

// ------------------------------------------------------------ trackbars

struct TrackbarData : WindowData {
  LONG min = 0, max = 100, pos = 0, line = 1, page = 20;
};

LRESULT CALLBACK trackbarProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    ensureData<TrackbarData>(h);
    return DefWindowProcW(h, msg, wParam, lParam);
  }
  auto d = dataOf<TrackbarData>(h);
  if (!d) return DefWindowProcW(h, msg, wParam, lParam);
  auto clamp = [&] { d->pos = std::max(d->min, std::min(d->max, d->pos)); };
  switch (msg) {
    case TBM_GETPOS: return d->pos;
    case TBM_GETRANGEMIN: return d->min;
    case TBM_GETRANGEMAX: return d->max;
    case TBM_SETPOS:
      d->pos = LONG(lParam);
      clamp();
      return 0;
    case TBM_SETRANGE:
      // Two 16-bit values, signed.
      d->min = SHORT(LOWORD(lParam));
      d->max = SHORT(HIWORD(lParam));
      clamp();
      return 0;
    case TBM_SETRANGEMIN:
      d->min = LONG(lParam);
      clamp();
      return 0;
    case TBM_SETRANGEMAX:
      d->max = LONG(lParam);
      clamp();
      return 0;
    case TBM_SETPAGESIZE: {
      LONG old = d->page;
      d->page = LONG(lParam);
      return old;
    }
    case TBM_GETPAGESIZE: return d->page;
    case TBM_SETLINESIZE: {
      LONG old = d->line;
      d->line = LONG(lParam);
      return old;
    }
    case TBM_GETLINESIZE: return d->line;
    case TBM_SETTICFREQ:
    case TBM_CLEARTICS:
    case TBM_SETTIC: return TRUE;
    default: break;
  }
  return DefWindowProcW(h, msg, wParam, lParam);
}

// ------------------------------------------------------------ up-down controls

struct UpDownData : WindowData {
  // The range runs from `min` to `max`, either way round: by default from
  // 100 down to 0.
  int min = 100, max = 0, pos = 0;
  int base = 10;
  HWND buddy = nullptr;
};

bool inRange(const UpDownData &d, int v) { return v >= std::min(d.min, d.max) && v <= std::max(d.min, d.max); }

bool buddyIsEdit(const UpDownData &d) {
  return d.buddy && IsWindow(d.buddy) && equalsNoCase(classOf(d.buddy), u"Edit");
}

std::u16string formatPosition(int v, int base, bool thousands) {
  std::string digits;
  if (base == 16) {
    char buf[16];
    snprintf(buf, sizeof buf, "0x%04X", unsigned(v));
    digits = buf;
  } else {
    std::string n = std::to_string(v < 0 ? -static_cast<long long>(v) : v);
    // Thousands separated with the user's separator, "," here.
    for (size_t i = 0; i < n.size(); ++i) {
      if (thousands && i && (n.size() - i) % 3 == 0) digits += ',';
      digits += n[i];
    }
    if (v < 0) digits = "-" + digits;
  }
  return std::u16string(digits.begin(), digits.end());
}

void setBuddyText(HWND h, const UpDownData &d) {
  if (!(styleOf(h) & UDS_SETBUDDYINT) || !d.buddy || !IsWindow(d.buddy)) return;
  SetWindowTextW(d.buddy,
                 reinterpret_cast<LPCWSTR>(formatPosition(d.pos, d.base, !(styleOf(h) & UDS_NOTHOUSANDS)).c_str()));
}

// Takes the position from an edit buddy's text; false when it holds no
// number of the range.
bool readBuddy(HWND h, UpDownData &d) {
  if (!(styleOf(h) & UDS_SETBUDDYINT) || !buddyIsEdit(d)) return false;
  std::u16string t = textOf(d.buddy);
  std::u16string digits;
  for (char16_t c : t)
    if (c != u',' && c != u' ') digits += c;
  if (digits.empty()) return false;
  std::string a(digits.begin(), digits.end());
  char *end = nullptr;
  long long v = strtoll(a.c_str(), &end, d.base == 16 ? 16 : 10);
  if (!end || *end || v < INT_MIN || v > INT_MAX || !inRange(d, int(v))) return false;
  d.pos = int(v);
  return true;
}

LRESULT CALLBACK upDownProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    ensureData<UpDownData>(h);
    return DefWindowProcW(h, msg, wParam, lParam);
  }
  auto d = dataOf<UpDownData>(h);
  if (!d) return DefWindowProcW(h, msg, wParam, lParam);
  auto clamp = [&](int v) { return std::max(std::min(d->min, d->max), std::min(std::max(d->min, d->max), v)); };
  switch (msg) {
    case WM_CREATE:
      if (styleOf(h) & UDS_AUTOBUDDY) {
        // The buddy is the control made just before it.
        auto kids = childWindows(GetParent(h));
        auto at = std::find(kids.begin(), kids.end(), h);
        if (at != kids.end() && at != kids.begin()) d->buddy = *(at - 1);
      }
      return 0;
    case UDM_SETRANGE:
      d->max = SHORT(LOWORD(lParam));
      d->min = SHORT(HIWORD(lParam));
      return 0;
    case UDM_GETRANGE: return LRESULT(DWORD(MAKELONG(WORD(d->max), WORD(d->min))));
    case UDM_SETRANGE32:
      d->min = int(INT_PTR(wParam));
      d->max = int(lParam);
      return 0;
    case UDM_GETRANGE32:
      if (wParam) *reinterpret_cast<int *>(wParam) = d->min;
      if (lParam) *reinterpret_cast<int *>(lParam) = d->max;
      return 0;
    case UDM_SETPOS:
    case UDM_SETPOS32: {
      int old = d->pos;
      d->pos = clamp(msg == UDM_SETPOS ? SHORT(LOWORD(lParam)) : int(lParam));
      setBuddyText(h, *d);
      return old;
    }
    case UDM_GETPOS32:
    case UDM_GETPOS: {
      bool bad = (styleOf(h) & UDS_SETBUDDYINT) && buddyIsEdit(*d) && !readBuddy(h, *d);
      if (msg == UDM_GETPOS) return LRESULT(DWORD(MAKELONG(WORD(d->pos), bad ? 1 : 0)));
      if (lParam) *reinterpret_cast<BOOL *>(lParam) = bad ? TRUE : FALSE;
      return d->pos;
    }
    case UDM_SETBUDDY: {
      HWND old = d->buddy;
      d->buddy = reinterpret_cast<HWND>(wParam);
      return reinterpret_cast<LRESULT>(old);
    }
    case UDM_GETBUDDY: return reinterpret_cast<LRESULT>(d->buddy);
    case UDM_SETBASE: {
      if (wParam != 10 && wParam != 16) return 0;
      int old = d->base;
      d->base = int(wParam);
      return old;
    }
    case UDM_GETBASE: return d->base;
    default: break;
  }
  return DefWindowProcW(h, msg, wParam, lParam);
}

// One click on an arrow: UDN_DELTAPOS (the parent may refuse or change the
// step), the new position in the buddy, then the scroll message.
void clickArrow(HWND h, bool up) {
  auto d = dataOf<UpDownData>(h);
  if (!d) return;
  readBuddy(h, *d);
  HWND parent = GetParent(h);
  int id = GetDlgCtrlID(h);
  NMUPDOWN nm{};
  nm.hdr.hwndFrom = h;
  nm.hdr.idFrom = UINT_PTR(id);
  nm.hdr.code = UDN_DELTAPOS;
  nm.iPos = d->pos;
  // "Up" goes towards the range's maximum, whichever way round it runs.
  nm.iDelta = (up ? 1 : -1) * (d->max < d->min ? -1 : 1);
  if (!SendMessageW(parent, WM_NOTIFY, WPARAM(id), reinterpret_cast<LPARAM>(&nm))) {
    int lo = std::min(d->min, d->max), hi = std::max(d->min, d->max);
    long long v = static_cast<long long>(d->pos) + nm.iDelta;
    if (v < lo) v = (styleOf(h) & UDS_WRAP) ? hi : lo;
    if (v > hi) v = (styleOf(h) & UDS_WRAP) ? lo : hi;
    d->pos = int(v);
    setBuddyText(h, *d);
  }
  UINT scroll = (styleOf(h) & UDS_HORZ) ? WM_HSCROLL : WM_VSCROLL;
  SendMessageW(parent, scroll, MAKEWPARAM(SB_THUMBPOSITION, WORD(d->pos)), reinterpret_cast<LPARAM>(h));
  SendMessageW(parent, scroll, MAKEWPARAM(SB_ENDSCROLL, WORD(d->pos)), reinterpret_cast<LPARAM>(h));
}

LRESULT CALLBACK staticProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(h, msg, wParam, lParam);
}

// The most arrow clicks a user gives to reach a position.
constexpr long long kMostClicks = 100000;

bool fail(std::u16string &error, const std::u16string &what) {
  error = what;
  return false;
}

std::u16string number(int v) {
  std::string s = std::to_string(v);
  return std::u16string(s.begin(), s.end());
}

}  // namespace

namespace winsim::user {

WNDPROC systemClassProc(const std::u16string &name) {
  if (name == u"#32770") return DefDlgProcW;
  if (name == u"Button") return buttonProc;
  if (name == u"Static") return staticProc;
  if (name == u"Edit") return editProc;
  if (name == u"ComboBox") return comboProc;
  if (name == u"msctls_trackbar32") return trackbarProc;
  if (name == u"msctls_updown32") return upDownProc;
  return DefWindowProcW;
}

DialogControlRecord recordControl(HWND c) {
  DialogControlRecord r;
  r.id = GetDlgCtrlID(c);
  r.className = classOf(c);
  r.text = textOf(c);
  r.style = styleOf(c);
  r.enabled = IsWindowEnabled(c) != FALSE;
  r.visible = IsWindowVisible(c) != FALSE;
  if (auto b = dataOf<ButtonData>(c)) r.check = isCheckable(r.style) ? int(b->check) : 0;
  if (auto cb = dataOf<ComboData>(c)) {
    for (const auto &i : cb->items) r.items.push_back(i.text);
    r.selection = cb->selection;
  }
  if (auto t = dataOf<TrackbarData>(c)) {
    r.position = t->pos;
    r.rangeMin = t->min;
    r.rangeMax = t->max;
  }
  if (auto u = dataOf<UpDownData>(c)) {
    r.position = u->pos;
    r.rangeMin = u->min;
    r.rangeMax = u->max;
  }
  return r;
}

bool userAction(HWND dialog, const DialogAction &a, std::u16string &error) {
  // A dialog disabled by a modal dialog of its own takes no input.
  if (!IsWindowEnabled(dialog)) return fail(error, u"the dialog is disabled");
  HWND c = GetDlgItem(dialog, a.control);
  if (!c) return fail(error, u"no control " + number(a.control));
  if (!IsWindowVisible(c)) return fail(error, u"control " + number(a.control) + u" is hidden");
  if (!IsWindowEnabled(c)) return fail(error, u"control " + number(a.control) + u" is disabled");
  std::u16string cls = classOf(c);
  DWORD style = styleOf(c);
  switch (a.kind) {
    case DialogActionKind::Click:
      if (!equalsNoCase(cls, u"Button")) return fail(error, u"control " + number(a.control) + u" is no button");
      SendMessageW(c, BM_CLICK, 0, 0);
      return true;
    case DialogActionKind::SetCheck: {
      if (!equalsNoCase(cls, u"Button") || !isCheckable(style))
        return fail(error, u"control " + number(a.control) + u" is no check box");
      if (isRadio(style)) {
        if (a.value != BST_CHECKED) return fail(error, u"a radio button is cleared by another one");
        SendMessageW(c, BM_CLICK, 0, 0);
        return true;
      }
      for (int i = 0; i < 3 && int(SendMessageW(c, BM_GETCHECK, 0, 0)) != a.value; ++i) SendMessageW(c, BM_CLICK, 0, 0);
      if (int(SendMessageW(c, BM_GETCHECK, 0, 0)) != a.value)
        return fail(error, u"check box " + number(a.control) + u" does not take state " + number(a.value));
      return true;
    }
    case DialogActionKind::Type: {
      if (!equalsNoCase(cls, u"Edit")) return fail(error, u"control " + number(a.control) + u" is no edit");
      if (style & ES_READONLY) return fail(error, u"edit " + number(a.control) + u" is read-only");
      SetFocus(c);
      SendMessageW(c, EM_SETSEL, 0, -1);
      if (a.text.empty()) SendMessageW(c, WM_CHAR, 0x08, 0);
      for (char16_t ch : a.text) SendMessageW(c, WM_CHAR, WPARAM(ch), 0);
      return true;
    }
    case DialogActionKind::Choose: {
      if (!equalsNoCase(cls, u"ComboBox")) return fail(error, u"control " + number(a.control) + u" is no combo box");
      int index = a.byIndex
                      ? a.value
                      : int(SendMessageW(c, CB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>(a.text.c_str())));
      int count = int(SendMessageW(c, CB_GETCOUNT, 0, 0));
      if (index < 0 || index >= count)
        return fail(error, u"combo box " + number(a.control) + u" has no item " +
                               (a.byIndex ? number(a.value) : u"\"" + a.text + u"\""));
      SetFocus(c);
      bool list = (style & 0x3) != CBS_SIMPLE;
      if (list) SendMessageW(c, CB_SHOWDROPDOWN, TRUE, 0);  // CBN_DROPDOWN
      SendMessageW(c, CB_SETCURSEL, WPARAM(index), 0);
      if (list) {
        // Picked with the mouse: the list closes on the choice.
        notifyParent(c, CBN_SELENDOK);
        SendMessageW(c, CB_SHOWDROPDOWN, FALSE, 0);  // CBN_CLOSEUP
      }
      notifyParent(c, CBN_SELCHANGE);
      return true;
    }
    case DialogActionKind::Move: {
      if (auto t = dataOf<TrackbarData>(c)) {
        if (a.value < t->min || a.value > t->max)
          return fail(error, u"trackbar " + number(a.control) + u" has no position " + number(a.value));
        SetFocus(c);
        UINT scroll = (style & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
        HWND parent = GetParent(c);
        t->pos = a.value;
        LPARAM lp = reinterpret_cast<LPARAM>(c);
        SendMessageW(parent, scroll, MAKEWPARAM(TB_THUMBTRACK, WORD(a.value)), lp);
        SendMessageW(parent, scroll, MAKEWPARAM(TB_THUMBPOSITION, WORD(a.value)), lp);
        SendMessageW(parent, scroll, MAKEWPARAM(TB_ENDTRACK, 0), lp);
        return true;
      }
      if (auto u = dataOf<UpDownData>(c)) {
        if (!inRange(*u, a.value))
          return fail(error, u"up-down control " + number(a.control) + u" has no position " + number(a.value));
        readBuddy(c, *u);
        // One click per step, as many as the range allows.
        long long steps = std::min(std::llabs(static_cast<long long>(u->max) - u->min) + 1, kMostClicks);
        for (long long i = 0; i < steps && u->pos != a.value; ++i) {
          bool towardsMax = (a.value > u->pos) == (u->max > u->min);
          clickArrow(c, towardsMax);
        }
        if (u->pos != a.value)
          return fail(error, u"up-down control " + number(a.control) + u" did not reach " + number(a.value));
        return true;
      }
      return fail(error, u"control " + number(a.control) + u" is no trackbar or up-down control");
    }
  }
  return fail(error, u"unknown action");
}

}  // namespace winsim::user

extern "C" {

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX *icc) {
  if (!icc || icc->dwSize != sizeof(INITCOMMONCONTROLSEX)) return FALSE;
  return TRUE;
}

void WINAPI InitCommonControls(void) {}

}  // extern "C"
