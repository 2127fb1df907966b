// Dialogs: templates (DLGTEMPLATE and DLGTEMPLATEEX) from a module's
// RT_DIALOG resources or from memory, the dialog window and its controls,
// the modal loop, DefDlgProcW and the dialog item helpers.
#include <algorithm>
#include <climits>
#include <cstring>

#include "kernel32/threads.h"
#include "user32/dialogs.h"

using namespace winsim;
using namespace winsim::user;

namespace {

// The average character size of "MS Shell Dlg" 8 pt at 96 dpi, as Windows
// measures it for dialog base units: 6 pixels wide (the mean width of
// "A".."Z" and "a".."z", rounded) and 13 high (tmHeight).  Other sizes scale
// from it; a template without a font uses the system font's 8 by 16, which
// GetDialogBaseUnits returns.
constexpr int kShellDlgWidth = 6, kShellDlgHeight = 13, kShellDlgPoints = 8;
constexpr int kSystemBaseX = 8, kSystemBaseY = 16;

// MulDiv's rounding: half away from zero.
int mulDiv(int v, int num, int den) {
  long long p = static_cast<long long>(v) * num;
  long long r = p >= 0 ? (p + den / 2) / den : -((-p + den / 2) / den);
  return int(r);
}

// A name or ordinal field of a template: 0x0000 none, 0xFFFF and an
// ordinal, or a zero-terminated string.
struct NameOrOrdinal {
  bool present = false;
  bool isOrdinal = false;
  WORD ordinal = 0;
  std::u16string name;
};

struct ItemTemplate {
  DWORD style = 0, exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  DWORD id = 0;
  NameOrOrdinal cls, title;
  std::vector<BYTE> creationData;
};

struct DialogTemplate {
  DWORD style = 0, exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  NameOrOrdinal menu, cls;
  std::u16string title;
  bool hasFont = false;
  WORD pointSize = 0;
  std::u16string face;
  std::vector<ItemTemplate> items;
};

// Reads a template, every field checked against its end (a template in
// memory has no known end).
class TemplateReader {
 public:
  TemplateReader(const BYTE *begin, const BYTE *end) : begin_(begin), p_(begin), end_(end) {}
  bool ok() const { return ok_; }
  bool has(size_t n) {
    if (end_ && size_t(end_ - p_) < n) ok_ = false;
    return ok_;
  }
  WORD word() {
    if (!has(2)) return 0;
    WORD v;
    std::memcpy(&v, p_, 2);
    p_ += 2;
    return v;
  }
  DWORD dword() {
    DWORD lo = word();
    return lo | (DWORD(word()) << 16);
  }
  BYTE byte() {
    if (!has(1)) return 0;
    return *p_++;
  }
  std::u16string string() {
    std::u16string s;
    for (WORD c = word(); ok_ && c; c = word()) s += char16_t(c);
    return s;
  }
  NameOrOrdinal nameOrOrdinal() {
    NameOrOrdinal n;
    if (!has(2)) return n;
    WORD first;
    std::memcpy(&first, p_, 2);
    if (first == 0) {
      p_ += 2;
    } else if (first == 0xFFFF) {
      p_ += 2;
      n.present = n.isOrdinal = true;
      n.ordinal = word();
    } else {
      n.present = true;
      n.name = string();
    }
    return n;
  }
  void alignDword() {
    size_t off = size_t(p_ - begin_);
    size_t pad = (4 - off % 4) % 4;
    if (pad && has(pad)) p_ += pad;
  }
  void skip(size_t n) {
    if (has(n)) p_ += n;
  }
  const BYTE *here() const { return p_; }

 private:
  const BYTE *begin_, *p_, *end_;
  bool ok_ = true;
};

bool parseTemplate(const BYTE *data, const BYTE *end, DialogTemplate &t) {
  TemplateReader r(data, end);
  WORD version = r.word(), signature = r.word();
  bool ex = version == 1 && signature == 0xFFFF;
  WORD count;
  if (ex) {
    r.dword();  // help id
    t.exStyle = r.dword();
    t.style = r.dword();
  } else {
    r = TemplateReader(data, end);
    t.style = r.dword();
    t.exStyle = r.dword();
  }
  count = r.word();
  t.x = short(r.word());
  t.y = short(r.word());
  t.cx = short(r.word());
  t.cy = short(r.word());
  t.menu = r.nameOrOrdinal();
  t.cls = r.nameOrOrdinal();
  t.title = r.string();
  if (t.style & DS_SETFONT) {
    t.hasFont = true;
    t.pointSize = r.word();
    if (ex) {
      r.word();  // weight
      r.byte();  // italic
      r.byte();  // character set
    }
    t.face = r.string();
  }
  for (WORD i = 0; i < count && r.ok(); ++i) {
    r.alignDword();
    ItemTemplate it;
    if (ex) {
      r.dword();  // help id
      it.exStyle = r.dword();
      it.style = r.dword();
    } else {
      it.style = r.dword();
      it.exStyle = r.dword();
    }
    it.x = short(r.word());
    it.y = short(r.word());
    it.cx = short(r.word());
    it.cy = short(r.word());
    it.id = ex ? r.dword() : r.word();
    it.cls = r.nameOrOrdinal();
    it.title = r.nameOrOrdinal();
    WORD extra = r.word();
    if (extra && r.has(extra)) {
      // The creation data, the control gets it in CREATESTRUCT.
      it.creationData.assign(r.here(), r.here() + extra);
      r.skip(extra);
    }
    t.items.push_back(std::move(it));
  }
  return r.ok() && t.items.size() == count;
}

// The class of a control: the template's predefined ordinals name the
// system's classes.
std::u16string controlClass(const NameOrOrdinal &c) {
  if (!c.isOrdinal) return c.name;
  switch (c.ordinal) {
    case 0x80: return u"Button";
    case 0x81: return u"Edit";
    case 0x82: return u"Static";
    case 0x83: return u"ListBox";
    case 0x84: return u"ScrollBar";
    case 0x85: return u"ComboBox";
    default: return {};
  }
}

HWND topLevelOf(HWND h) {
  while (h && (GetWindowLongPtrW(h, GWL_STYLE) & WS_CHILD)) h = GetParent(h);
  return h;
}

struct TemplateSource {
  WORD id = 0;
  std::u16string name;
};

HWND createDialog(HINSTANCE instance, const DialogTemplate &t, HWND owner, DLGPROC proc, LPARAM param, bool modal,
                  const TemplateSource &source) {
  auto data = std::make_shared<DialogData>();
  data->modal = modal;
  data->templateId = source.id;
  data->templateName = source.name;
  if (t.hasFont) {
    int pt = t.pointSize == 0x7FFF ? kShellDlgPoints : t.pointSize;
    data->baseX = std::max(1, mulDiv(kShellDlgWidth, pt, kShellDlgPoints));
    data->baseY = std::max(1, mulDiv(kShellDlgHeight, pt, kShellDlgPoints));
  }
  auto px = [&](int v) { return mulDiv(v, data->baseX, 4); };
  auto py = [&](int v) { return mulDiv(v, data->baseY, 8); };

  std::u16string cls = t.cls.present ? (t.cls.isOrdinal ? u"#32770" : t.cls.name) : u"#32770";
  // Shown once WM_INITDIALOG has run: a modal dialog by its loop, a
  // modeless one when its template asks for it.
  HWND h =
      CreateWindowExW(t.exStyle, reinterpret_cast<LPCWSTR>(cls.c_str()), reinterpret_cast<LPCWSTR>(t.title.c_str()),
                      t.style & ~WS_VISIBLE, px(t.x), py(t.y), px(t.cx), py(t.cy), owner, nullptr, instance, nullptr);
  if (!h) return nullptr;
  setData(h, data);
  SetWindowLongPtrW(h, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(proc));

  HWND firstTab = nullptr;
  for (const ItemTemplate &it : t.items) {
    std::u16string itemClass = controlClass(it.cls);
    std::u16string text = it.title.isOrdinal ? std::u16string() : it.title.name;
    HWND c = CreateWindowExW(it.exStyle | WS_EX_NOPARENTNOTIFY, reinterpret_cast<LPCWSTR>(itemClass.c_str()),
                             reinterpret_cast<LPCWSTR>(text.c_str()), it.style | WS_CHILD, px(it.x), py(it.y),
                             px(it.cx), py(it.cy), h, reinterpret_cast<HMENU>(UINT_PTR(it.id)), instance,
                             it.creationData.empty() ? nullptr : const_cast<BYTE *>(it.creationData.data()));
    if (!c) {
      if (t.style & DS_NOFAILCREATE) continue;
      DWORD err = GetLastError();
      DestroyWindow(h);
      SetLastError(err);
      return nullptr;
    }
    if (!firstTab && (it.style & WS_TABSTOP) && !(it.style & WS_DISABLED)) firstTab = c;
  }
  if (!firstTab) {
    auto kids = childWindows(h);
    if (!kids.empty()) firstTab = kids.front();
  }
  // WM_INITDIALOG: a TRUE answer gives the focus to the control in wParam.
  if (SendMessageW(h, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTab), param) && firstTab && IsWindow(firstTab))
    SetFocus(firstTab);
  if (!IsWindow(h)) return nullptr;
  if (!modal && (t.style & WS_VISIBLE) && !data->ended) ShowWindow(h, SW_SHOWNORMAL);
  return h;
}

bool loadTemplate(HINSTANCE instance, LPCWSTR name, DialogTemplate &t, TemplateSource &source) {
  HRSRC res = FindResourceW(instance, name, RT_DIALOG);
  if (!res) return false;  // FindResourceW set the error
  auto *data = static_cast<const BYTE *>(LockResource(LoadResource(instance, res)));
  DWORD size = SizeofResource(instance, res);
  if (!data || !parseTemplate(data, data + size, t)) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return false;
  }
  if (IS_INTRESOURCE(name))
    source.id = WORD(reinterpret_cast<ULONG_PTR>(name));
  else
    source.name = fromW(name);
  return true;
}

INT_PTR runModal(HINSTANCE instance, const DialogTemplate &t, HWND owner, DLGPROC proc, LPARAM param,
                 const TemplateSource &source) {
  if (owner && !IsWindow(owner)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return -1;
  }
  // The owner takes no input while its modal dialog is up.
  HWND top = topLevelOf(owner);
  HWND disabled = nullptr;
  if (top && IsWindowEnabled(top)) {
    EnableWindow(top, FALSE);
    disabled = top;
  }
  HWND h = createDialog(instance, t, top, proc, param, true, source);
  auto data = h ? dataOf<DialogData>(h) : nullptr;
  if (!h || !data) {
    if (disabled) EnableWindow(disabled, TRUE);
    return -1;
  }
  data->disabledOwner = disabled;
  if (!data->ended) {
    // The dialog is painted as it appears, before the user does anything.
    ShowWindow(h, SW_SHOWNORMAL);
    UpdateWindow(h);
    runDialogUser(h);
  } else {
    recordModelessDialog(h);
  }
  INT_PTR result = data->result;
  if (data->disabledOwner) EnableWindow(data->disabledOwner, TRUE);
  data->disabledOwner = nullptr;
  DestroyWindow(h);
  return result;
}

}  // namespace

namespace winsim::user {

void notifyParent(HWND control, WORD code) {
  HWND parent = GetParent(control);
  if (!parent) return;
  SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code), reinterpret_cast<LPARAM>(control));
}

int systemClassExtra(const std::u16string &name) { return name == u"#32770" ? DLGWINDOWEXTRA : 0; }

}  // namespace winsim::user

extern "C" {

INT_PTR WINAPI DialogBoxParamW(HINSTANCE instance, LPCWSTR name, HWND owner, DLGPROC proc, LPARAM param) {
  DialogTemplate t;
  TemplateSource source;
  if (!loadTemplate(instance, name, t, source)) return -1;
  return runModal(instance, t, owner, proc, param, source);
}

INT_PTR WINAPI DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW tmpl, HWND owner, DLGPROC proc,
                                       LPARAM param) {
  DialogTemplate t;
  if (!tmpl || !parseTemplate(reinterpret_cast<const BYTE *>(tmpl), nullptr, t)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  return runModal(instance, t, owner, proc, param, {});
}

HWND WINAPI CreateDialogParamW(HINSTANCE instance, LPCWSTR name, HWND owner, DLGPROC proc, LPARAM param) {
  DialogTemplate t;
  TemplateSource source;
  if (!loadTemplate(instance, name, t, source)) return nullptr;
  HWND h = createDialog(instance, t, owner, proc, param, false, source);
  if (h) recordModelessDialog(h);
  return h;
}

HWND WINAPI CreateDialogIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW tmpl, HWND owner, DLGPROC proc,
                                       LPARAM param) {
  DialogTemplate t;
  if (!tmpl || !parseTemplate(reinterpret_cast<const BYTE *>(tmpl), nullptr, t)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HWND h = createDialog(instance, t, owner, proc, param, false, {});
  if (h) recordModelessDialog(h);
  return h;
}

BOOL WINAPI EndDialog(HWND h, INT_PTR result) {
  auto data = dataOf<DialogData>(h);
  if (!data) {
    SetLastError(IsWindow(h) ? ERROR_WINDOW_NOT_DIALOG : ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  data->ended = true;
  data->result = result;
  // The owner is enabled again before the dialog goes, so that it becomes
  // the active window.
  if (data->disabledOwner) {
    EnableWindow(data->disabledOwner, TRUE);
    data->disabledOwner = nullptr;
  }
  ShowWindow(h, SW_HIDE);
  return TRUE;
}

LRESULT WINAPI DefDlgProcW(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  SetWindowLongPtrW(h, DWLP_MSGRESULT, 0);
  auto proc = reinterpret_cast<DLGPROC>(GetWindowLongPtrW(h, DWLP_DLGPROC));
  INT_PTR result = proc ? proc(h, msg, wParam, lParam) : 0;
  if (!result && IsWindow(h)) {
    switch (msg) {
      case WM_CLOSE: {
        // The close button is the Cancel button: WM_COMMAND IDCANCEL, unless
        // a Cancel button is there and disabled.
        HWND cancel = GetDlgItem(h, IDCANCEL);
        if (!cancel || IsWindowEnabled(cancel))
          PostMessageW(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
        return 0;
      }
      case DM_GETDEFID: {
        // The default push button of the template, or IDOK.
        for (HWND c : childWindows(h)) {
          WCHAR cls[16] = {};
          GetClassNameW(c, cls, 16);
          if (equalsNoCase(fromW(cls), u"Button") &&
              (GetWindowLongPtrW(c, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            return MAKELRESULT(GetDlgCtrlID(c), DC_HASDEFID);
        }
        return MAKELRESULT(IDOK, DC_HASDEFID);
      }
      case WM_ERASEBKGND: {
        // The dialog's background: the brush its procedure gives for
        // WM_CTLCOLORDLG, else the face colour of buttons.
        auto dc = reinterpret_cast<HDC>(wParam);
        auto brush = reinterpret_cast<HBRUSH>(SendMessageW(h, WM_CTLCOLORDLG, wParam, reinterpret_cast<LPARAM>(h)));
        if (!brush) brush = GetSysColorBrush(COLOR_BTNFACE);
        RECT client;
        if (!dc || !GetClientRect(h, &client)) return 0;
        FillRect(dc, &client, brush);
        return 1;
      }
      case WM_INITDIALOG:
      case WM_CTLCOLOREDIT:
      case WM_CTLCOLORLISTBOX:
      case WM_CTLCOLORBTN:
      case WM_CTLCOLORDLG:
      case WM_CTLCOLORSCROLLBAR:
      case WM_CTLCOLORSTATIC: break;
      default: return DefWindowProcW(h, msg, wParam, lParam);
    }
  }
  switch (msg) {
    case WM_INITDIALOG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: return result;
    default: return IsWindow(h) ? GetWindowLongPtrW(h, DWLP_MSGRESULT) : result;
  }
}

LONG WINAPI GetDialogBaseUnits(void) { return MAKELONG(kSystemBaseX, kSystemBaseY); }

BOOL WINAPI MapDialogRect(HWND h, LPRECT rc) {
  auto data = dataOf<DialogData>(h);
  if (!data || !rc) {
    SetLastError(data ? ERROR_NOACCESS : IsWindow(h) ? ERROR_WINDOW_NOT_DIALOG : ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  rc->left = mulDiv(rc->left, data->baseX, 4);
  rc->right = mulDiv(rc->right, data->baseX, 4);
  rc->top = mulDiv(rc->top, data->baseY, 8);
  rc->bottom = mulDiv(rc->bottom, data->baseY, 8);
  return TRUE;
}

HWND WINAPI GetDlgItem(HWND h, int id) {
  if (!IsWindow(h)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  for (HWND c : childWindows(h))
    if (LOWORD(GetWindowLongPtrW(c, GWLP_ID)) == LOWORD(id)) return c;
  SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
  return nullptr;
}

int WINAPI GetDlgCtrlID(HWND h) {
  if (!IsWindow(h)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return int(GetWindowLongPtrW(h, GWLP_ID));
}

BOOL WINAPI SetDlgItemTextW(HWND h, int id, LPCWSTR text) {
  HWND c = GetDlgItem(h, id);
  return c ? BOOL(SendMessageW(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : u""))) : FALSE;
}

BOOL WINAPI SetDlgItemTextA(HWND h, int id, LPCSTR text) {
  std::u16string w;
  if (text) {
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (n > 0) {
      w.resize(size_t(n));
      MultiByteToWideChar(CP_ACP, 0, text, -1, reinterpret_cast<LPWSTR>(w.data()), n);
      w.resize(size_t(n - 1));
    }
  }
  return SetDlgItemTextW(h, id, reinterpret_cast<LPCWSTR>(w.c_str()));
}

UINT WINAPI GetDlgItemTextW(HWND h, int id, LPWSTR out, int max) {
  if (out && max > 0) out[0] = 0;
  HWND c = GetDlgItem(h, id);
  if (!c || !out || max <= 0) return 0;
  return UINT(SendMessageW(c, WM_GETTEXT, WPARAM(max), reinterpret_cast<LPARAM>(out)));
}

UINT WINAPI GetDlgItemTextA(HWND h, int id, LPSTR out, int max) {
  if (out && max > 0) out[0] = 0;
  HWND c = GetDlgItem(h, id);
  if (!c || !out || max <= 0) return 0;
  int len = int(SendMessageW(c, WM_GETTEXTLENGTH, 0, 0));
  std::u16string w(size_t(len) + 1, u'\0');
  int n = int(SendMessageW(c, WM_GETTEXT, WPARAM(len + 1), reinterpret_cast<LPARAM>(w.data())));
  w.resize(size_t(n));
  // Converted in full first, then cut at a whole character.
  int bytes = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(w.c_str()), n, nullptr, 0, nullptr, nullptr);
  std::string a(size_t(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(w.c_str()), n, a.data(), bytes, nullptr, nullptr);
  size_t keep = std::min(a.size(), size_t(max - 1));
  std::memcpy(out, a.data(), keep);
  out[keep] = 0;
  return UINT(keep);
}

BOOL WINAPI SetDlgItemInt(HWND h, int id, UINT value, BOOL isSigned) {
  std::string s = isSigned ? std::to_string(int(value)) : std::to_string(value);
  return SetDlgItemTextW(h, id, reinterpret_cast<LPCWSTR>(std::u16string(s.begin(), s.end()).c_str()));
}

UINT WINAPI GetDlgItemInt(HWND h, int id, BOOL *translated, BOOL isSigned) {
  if (translated) *translated = FALSE;
  HWND c = GetDlgItem(h, id);
  if (!c) return 0;
  WCHAR buf[64] = {};
  SendMessageW(c, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(buf));
  // Leading spaces are skipped; a minus sign counts only for a signed
  // value; the number ends at the first character that is no digit.
  const WCHAR *p = buf;
  while (*p == u' ' || *p == u'\t') ++p;
  bool negative = false;
  if (isSigned && (*p == u'-' || *p == u'+')) negative = *p++ == u'-';
  if (*p < u'0' || *p > u'9') return 0;
  unsigned long long v = 0;
  for (; *p >= u'0' && *p <= u'9'; ++p) {
    v = v * 10 + unsigned(*p - u'0');
    if (v > 0xFFFFFFFFull) return 0;  // too large: not translated
  }
  if (isSigned) {
    if (negative ? v > 0x80000000ull : v > 0x7FFFFFFFull) return 0;
    long long s = negative ? -static_cast<long long>(v) : static_cast<long long>(v);
    if (translated) *translated = TRUE;
    return UINT(int(s));
  }
  if (translated) *translated = TRUE;
  return UINT(v);
}

BOOL WINAPI CheckDlgButton(HWND h, int id, UINT check) {
  HWND c = GetDlgItem(h, id);
  if (!c) return FALSE;
  SendMessageW(c, BM_SETCHECK, check, 0);
  return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND h, int id) {
  HWND c = GetDlgItem(h, id);
  return c ? UINT(SendMessageW(c, BM_GETCHECK, 0, 0)) : 0;
}

BOOL WINAPI CheckRadioButton(HWND h, int first, int last, int check) {
  if (!IsWindow(h)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  for (HWND c : childWindows(h)) {
    int id = int(LOWORD(GetWindowLongPtrW(c, GWLP_ID)));
    if (id < first || id > last) continue;
    SendMessageW(c, BM_SETCHECK, id == check ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  return TRUE;
}

LRESULT WINAPI SendDlgItemMessageW(HWND h, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND c = GetDlgItem(h, id);
  return c ? SendMessageW(c, msg, wParam, lParam) : 0;
}

BOOL WINAPI EnableWindow(HWND h, BOOL enable) {
  bool wasDisabled;
  HWND focus = nullptr;
  {
    std::lock_guard<std::mutex> g(waitLock());
    Window *w = findWindow(h);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    wasDisabled = (w->style & WS_DISABLED) != 0;
    if (enable)
      w->style &= ~WS_DISABLED;
    else
      w->style |= WS_DISABLED;
    if (!enable && w->threadId == currentTid()) focus = currentQueue().focus;
  }
  if (wasDisabled == !enable) return wasDisabled ? TRUE : FALSE;
  // A window that loses its input loses the focus with it.
  if (!enable && focus && (focus == h || IsChild(h, focus))) SetFocus(nullptr);
  SendMessageW(h, WM_ENABLE, enable ? TRUE : FALSE, 0);
  return wasDisabled ? TRUE : FALSE;
}

BOOL WINAPI IsWindowEnabled(HWND h) {
  std::lock_guard<std::mutex> g(waitLock());
  Window *w = findWindow(h);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return (w->style & WS_DISABLED) ? FALSE : TRUE;
}

}  // extern "C"
