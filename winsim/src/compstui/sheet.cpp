// CommonPropertySheetUIW: the host of the printer UI modules' sheets.  The
// PFNPROPSHEETUI functions build the sheet through the ComPropSheet function,
// the sheet is shown as a dialog-class window titled from the top function's
// info header, and the scripted user works its tree view page: each item as
// the tree view gives it, with the item callbacks a real user's input causes.
#include <compstui.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

#include <winsim/testing.h>

#include "compstui/sheet.h"
#include "core/internal.h"
#include "winspool/properties.h"

namespace winsim {

namespace {

// One PFNPROPSHEETUI (the top one or one added with
// CPSFUNC_ADD_PFNPROPSHEETUIW) or one COMPROPSHEETUI page; its address is the
// handle the caller gets.
struct Node {
  Node *parent = nullptr;
  PFNPROPSHEETUI fn = nullptr;
  PROPSHEETUI_INFO info{};
  COMPROPSHEETUI *page = nullptr;
  // The items' values when the page came up or was last applied, for Undo.
  std::vector<LONG> savedSel;
  std::vector<std::u16string> savedText;
  bool changed = false;  // since the last apply
  bool resultSet = false;
};

struct Sheet {
  HWND owner = nullptr, hwnd = nullptr;
  std::vector<std::unique_ptr<Node>> nodes;  // in the order added
  ShownSheet record;
  size_t recordIndex = 0;
};

struct State {
  std::mutex lock;
  std::vector<SheetScript> scripts;
  std::vector<ShownSheet> shown;
  std::vector<ShownSheet> faults;  // kept across resets
  std::map<HWND, ULONG_PTR> userData;
  DWORD nextId = 1;
};

State &state() {
  static State &s = *new State;
  return s;
}

// The sheets open on this thread, innermost last (a push button's dialog may
// open another sheet).
thread_local std::vector<Sheet *> openSheets;

void resetSheets() {
  State &s = state();
  std::lock_guard<std::mutex> g(s.lock);
  s.scripts.clear();
  s.shown.clear();
  s.userData.clear();
  s.nextId = 1;
}

const ResetStep kResetSheets(kResetKernel + 41, resetSheets);

// DocumentPropertiesW's prompt and PrinterProperties show their sheets here.
struct RegisterHost {
  RegisterHost() { registerSheetHost(CommonPropertySheetUIW); }
} const kRegisterHost;

bool findNode(HANDLE h, Sheet *&sheetOut, Node *&nodeOut) {
  for (Sheet *sheet : openSheets)
    for (auto &n : sheet->nodes)
      if (n.get() == h) {
        sheetOut = sheet;
        nodeOut = n.get();
        return true;
      }
  return false;
}

// The common UI's own strings that the items of a printer's sheets name by id.
std::u16string commonString(UINT id) {
  switch (id) {
    case IDS_CPSUI_YES: return u"Yes";
    case IDS_CPSUI_NO: return u"No";
    case IDS_CPSUI_ON: return u"On";
    case IDS_CPSUI_OFF: return u"Off";
    case IDS_CPSUI_TRUE: return u"True";
    case IDS_CPSUI_FALSE: return u"False";
    case IDS_CPSUI_NONE: return u"None";
    case IDS_CPSUI_DEFAULT: return u"Default";
    case IDS_CPSUI_ADVANCED: return u"Advanced";
    case IDS_CPSUI_ORIENTATION: return u"Orientation";
    case IDS_CPSUI_PORTRAIT: return u"Portrait";
    case IDS_CPSUI_LANDSCAPE: return u"Landscape";
    case IDS_CPSUI_NUM_OF_COPIES: return u"Copy Count";
    case IDS_CPSUI_COPIES: return u"Copies";
    case IDS_CPSUI_COLOR: return u"Color";
    case IDS_CPSUI_MONOCHROME: return u"Monochrome";
    case IDS_CPSUI_DUPLEX: return u"Duplex";
    case IDS_CPSUI_PRINTQUALITY: return u"Print Quality";
    case IDS_CPSUI_SETTINGS: return u"Settings";
    case IDS_CPSUI_ABOUT: return u"About";
    default: return {};
  }
}

// A text the caller gives as an address, or as a string id (of the caller's
// module, or the common UI's own) in a pointer whose high word is zero.
std::u16string itemText(LPCWSTR text, HINSTANCE instance) {
  if (!text) return {};
  ULONG_PTR value = reinterpret_cast<ULONG_PTR>(text);
  if (value < 0x10000) {
    UINT id = UINT(value);
    if (id >= IDS_CPSUI_STRID_FIRST && id <= IDS_CPSUI_STRID_LAST) return commonString(id);
    WCHAR buffer[512];
    int n = LoadStringW(instance, id, buffer, 512);
    return n > 0 ? std::u16string(reinterpret_cast<const char16_t *>(buffer), size_t(n)) : std::u16string();
  }
  return fromW(text);
}

bool isChoiceKind(int kind) {
  return kind == TVOT_2STATES || kind == TVOT_3STATES || kind == TVOT_LISTBOX || kind == TVOT_COMBOBOX;
}
bool isNumberKind(int kind) { return kind == TVOT_UDARROW || kind == TVOT_TRACKBAR || kind == TVOT_SCROLLBAR; }

int itemKind(const OPTITEM &item) { return item.pOptType ? item.pOptType->Type : -1; }

// The number range of an up-down, trackbar or scroll bar item.
void numberRange(const OPTITEM &item, LONG &low, LONG &high) {
  const OPTPARAM &range = item.pOptType->pOptParam[1];
  low = LONG(range.IconID);
  high = LONG(range.lParam);
  if (low > high) std::swap(low, high);
}

// Is the item shown?  A heading's hidden flag hides the items under it.
std::vector<bool> hiddenItems(const COMPROPSHEETUI &page) {
  std::vector<bool> hidden(page.cOptItem, false);
  int hiddenBelow = -1;  // the level of the hidden heading we are under
  for (WORD i = 0; i < page.cOptItem; ++i) {
    const OPTITEM &item = page.pOptItem[i];
    if (hiddenBelow >= 0 && item.Level > hiddenBelow) {
      hidden[i] = true;
      continue;
    }
    hiddenBelow = -1;
    if (item.Flags & OPTIF_HIDE) {
      hidden[i] = true;
      hiddenBelow = item.Level;
    }
  }
  return hidden;
}

bool itemDisabled(const OPTITEM &item) {
  return (item.Flags & OPTIF_DISABLED) || (item.pOptType && (item.pOptType->Flags & OPTTF_TYPE_DISABLED));
}

SheetItemRecord recordItem(const COMPROPSHEETUI &page, const OPTITEM &item, bool hidden) {
  SheetItemRecord r;
  HINSTANCE inst = page.hInstCaller;
  r.name = itemText(item.pName, inst);
  r.level = item.Level;
  r.kind = itemKind(item);
  r.userItemId = item.UserItemID;
  r.hidden = hidden;
  r.disabled = itemDisabled(item);
  if ((item.Flags & OPTIF_EXT_IS_EXTPUSH) && item.pExtPush && !(item.Flags & OPTIF_EXT_HIDE)) {
    r.extPushTitle = itemText(item.pExtPush->pTitle, inst);
    if (!(item.pExtPush->Flags & EPF_NO_DOT_DOT_DOT)) r.extPushTitle += u"...";
  }
  const OPTTYPE *type = item.pOptType;
  if (!type) return r;
  if (isChoiceKind(r.kind)) {
    for (WORD c = 0; c < type->Count; ++c) {
      const OPTPARAM &p = type->pOptParam[c];
      r.choices.push_back(itemText(p.pData, inst));
      r.choiceDisabled.push_back((p.Flags & OPTPF_DISABLED) != 0);
      r.choiceHidden.push_back((p.Flags & OPTPF_HIDE) != 0);
    }
    r.selection = item.Sel;
    if (item.Sel >= 0 && item.Sel < LONG(r.choices.size())) r.selectionText = r.choices[size_t(item.Sel)];
  } else if (isNumberKind(r.kind)) {
    r.selection = item.Sel;
    r.selectionText = toUtf16(std::to_string(item.Sel));
    std::u16string postfix = itemText(type->pOptParam[0].pData, inst);
    if (!postfix.empty()) r.selectionText += ((type->Flags & OPTTF_NOSPACE_BEFORE_POSTFIX) ? u"" : u" ") + postfix;
  } else if (r.kind == TVOT_EDITBOX) {
    r.selectionText = item.pSel ? fromW(item.pSel) : std::u16string();
  } else if (r.kind == TVOT_CHKBOX) {
    r.selection = item.Sel;
    r.selectionText = item.Sel ? itemText(type->pOptParam[0].pData, inst) : std::u16string(u"None");
  } else if (r.kind == TVOT_PUSHBUTTON) {
    r.selection = item.Sel;
  }
  return r;
}

std::vector<SheetPageRecord> recordPages(const Sheet &sheet) {
  std::vector<SheetPageRecord> pages;
  for (const auto &n : sheet.nodes) {
    if (!n->page) continue;
    const COMPROPSHEETUI &page = *n->page;
    SheetPageRecord p;
    p.name = itemText(page.pOptItemName, page.hInstCaller);
    if (p.name.empty()) p.name = u"Advanced";
    std::vector<bool> hidden = hiddenItems(page);
    for (WORD i = 0; i < page.cOptItem; ++i) p.items.push_back(recordItem(page, page.pOptItem[i], hidden[i]));
    pages.push_back(std::move(p));
  }
  return pages;
}

void saveValues(Node &n) {
  const COMPROPSHEETUI &page = *n.page;
  n.savedSel.assign(page.cOptItem, 0);
  n.savedText.assign(page.cOptItem, {});
  for (WORD i = 0; i < page.cOptItem; ++i) {
    const OPTITEM &item = page.pOptItem[i];
    if (itemKind(item) == TVOT_EDITBOX)
      n.savedText[i] = item.pSel ? fromW(item.pSel) : std::u16string();
    else
      n.savedSel[i] = item.Sel;
  }
  n.changed = false;
}

void copyEditText(OPTITEM &item, const std::u16string &text) {
  // The buffer's size in characters is the second OPTPARAM's IconID; the
  // edit control takes no more than fits with its terminator.
  size_t room = size_t(item.pOptType->pOptParam[1].IconID);
  size_t n = std::min(text.size(), room - 1);
  std::copy(text.begin(), text.begin() + ptrdiff_t(n), reinterpret_cast<char16_t *>(item.pSel));
  item.pSel[n] = 0;
}

void restoreValue(Node &n, WORD i) {
  OPTITEM &item = n.page->pOptItem[i];
  // A push button's Sel holds its dialog's last answer, no value to revert.
  if (itemKind(item) == TVOT_PUSHBUTTON || itemKind(item) < 0) return;
  if (itemKind(item) == TVOT_EDITBOX) {
    if (item.pSel) copyEditText(item, n.savedText[i]);
  } else {
    item.Sel = n.savedSel[i];
  }
}

void recordReason(Sheet &sheet, bool callback, int reason) {
  (callback ? sheet.record.callbackReasons : sheet.record.sheetReasons).push_back(reason);
}

LONG callSheetFunction(Sheet &sheet, Node &n, WORD reason, LPARAM lParam) {
  n.info.Reason = reason;
  recordReason(sheet, false, reason);
  return n.fn(&n.info, lParam);
}

// Calls the page's item callback; what it asks for (the items re-read) is
// done here, and its answer returned.
LONG callItemCallback(Sheet &sheet, Node &n, WORD reason, OPTITEM *current, LONG oldSel,
                      _CPSUICALLBACK callback = nullptr, LPWSTR oldText = nullptr) {
  COMPROPSHEETUI &page = *n.page;
  if (!callback) callback = page.pfnCallBack;
  if (!callback) return CPSUICB_ACTION_NONE;
  CPSUICBPARAM p{};
  p.cbSize = sizeof(p);
  p.Reason = reason;
  p.hDlg = sheet.hwnd;
  p.pOptItem = page.pOptItem;
  p.cOptItem = page.cOptItem;
  p.pCurItem = current;
  p.OldSel = oldSel;
  if (oldText) p.pOldSel = oldText;
  p.UserData = page.UserData;
  recordReason(sheet, true, reason);
  LONG action = callback(&p);
  if (action == CPSUICB_ACTION_OPTIF_CHANGED || action == CPSUICB_ACTION_REINIT_ITEMS) {
    // The tree view shows the items again as they now are; the flags that
    // asked for it are consumed.
    for (WORD i = 0; i < page.cOptItem; ++i) page.pOptItem[i].Flags &= ~DWORD(OPTIF_CHANGED);
  }
  return action;
}

LONG_PTR CALLBACK comPropSheet(HANDLE hComPropSheet, UINT function, LPARAM lParam1, LPARAM lParam2);

// ------ adding pages

LONG checkOptType(const OPTITEM &item, const COMPROPSHEETUI &page) {
  const OPTTYPE *type = item.pOptType;
  if (type->cbSize != sizeof(OPTTYPE)) return ERR_CPSUI_INVALID_OPTTYPE_CBSIZE;
  if (type->Type > TVOT_LAST) return ERR_CPSUI_INVALID_TVOT_TYPE;
  if (!type->pOptParam) return ERR_CPSUI_NULL_POPTPARAM;
  WORD need = 0;  // the count the kind takes exactly; 0 for lists of any length
  switch (type->Type) {
    case TVOT_2STATES: need = 2; break;
    case TVOT_3STATES: need = 3; break;
    case TVOT_UDARROW: need = 2; break;
    case TVOT_TRACKBAR: need = 3; break;
    case TVOT_SCROLLBAR: need = 3; break;
    case TVOT_EDITBOX: need = 2; break;
    case TVOT_PUSHBUTTON: need = 1; break;
    case TVOT_CHKBOX: need = 1; break;
    default: break;
  }
  if (need ? type->Count != need : type->Count == 0) return ERR_CPSUI_INVALID_OPTTYPE_COUNT;
  for (WORD c = 0; c < type->Count; ++c)
    if (type->pOptParam[c].cbSize != sizeof(OPTPARAM)) return ERR_CPSUI_INVALID_OPTPARAM_CBSIZE;
  if (type->Type == TVOT_EDITBOX) {
    if (!item.pSel) return ERR_CPSUI_INVALID_EDITBOX_PSEL;
    if (type->pOptParam[1].IconID < 2) return ERR_CPSUI_INVALID_EDITBOX_BUF_SIZE;
  }
  if (type->Type == TVOT_PUSHBUTTON) {
    const OPTPARAM &p = type->pOptParam[0];
    if (p.Style > PUSHBUTTON_TYPE_HTSETUP) return ERR_CPSUI_INVALID_PUSHBUTTON_TYPE;
    if (p.Style == PUSHBUTTON_TYPE_CALLBACK && !p.pData && !page.pfnCallBack) return ERR_CPSUI_INVALID_PUSHBUTTON_TYPE;
    if (p.Style == PUSHBUTTON_TYPE_DLGPROC && !p.pData) return ERR_CPSUI_INVALID_PUSHBUTTON_TYPE;
  }
  return 0;
}

LONG checkPage(const COMPROPSHEETUI *page) {
  if (!page || page->cbSize != sizeof(COMPROPSHEETUI)) return ERR_CPSUI_INVALID_PDATA;
  if (!page->hInstCaller) return ERR_CPSUI_NULL_HINST;
  if (!page->pCallerName) return ERR_CPSUI_NULL_CALLERNAME;
  if (page->pDlgPage != CPSUI_PDLGPAGE_TREEVIEWONLY && page->pDlgPage != CPSUI_PDLGPAGE_DOCPROP &&
      page->pDlgPage != CPSUI_PDLGPAGE_ADVDOCPROP && page->pDlgPage != CPSUI_PDLGPAGE_PRINTERPROP)
    // Pages of the caller's own dialogs are not hosted here.
    return ERR_CPSUI_INVALID_PDLGPAGE;
  if (page->cOptItem == 0) return ERR_CPSUI_ZERO_OPTITEM;
  if (!page->pOptItem) return ERR_CPSUI_NULL_POPTITEM;
  for (WORD i = 0; i < page->cOptItem; ++i) {
    const OPTITEM &item = page->pOptItem[i];
    if (item.cbSize != sizeof(OPTITEM)) return ERR_CPSUI_INVALID_OPTITEM_CBSIZE;
    if (!item.pName) return ERR_CPSUI_NULL_OPTITEMNAME;
    if (item.pOptType) {
      LONG e = checkOptType(item, *page);
      if (e) return e;
    }
    if ((item.Flags & OPTIF_EXT_IS_EXTPUSH) && item.pExtPush) {
      const EXTPUSH &push = *item.pExtPush;
      if (push.cbSize != sizeof(EXTPUSH)) return ERR_CPSUI_INVALID_EXTPUSH_CBSIZE;
      if (push.Flags & EPF_PUSH_TYPE_DLGPROC) {
        if (!push.DlgProc) return ERR_CPSUI_NULL_EXTPUSH_DLGPROC;
        if (!(push.Flags & EPF_USE_HDLGTEMPLATE) && !push.DlgTemplateID) return ERR_CPSUI_NO_EXTPUSH_DLGTEMPLATEID;
      } else if (!push.pfnCallBack && !page->pfnCallBack) {
        return ERR_CPSUI_NULL_EXTPUSH_CALLBACK;
      }
    }
  }
  return 0;
}

HANDLE addPage(Sheet &sheet, Node &parent, COMPROPSHEETUI *page, LPARAM lParam2) {
  LONG error = checkPage(page);
  if (lParam2) *reinterpret_cast<DWORD *>(lParam2) = error ? DWORD(error) : 1;
  if (error) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto n = std::make_unique<Node>();
  n->parent = &parent;
  n->page = page;
  saveValues(*n);
  Node *raw = n.get();
  sheet.nodes.push_back(std::move(n));
  return raw;
}

HANDLE addFunction(Sheet &sheet, Node &parent, PFNPROPSHEETUI fn, LPARAM lParam) {
  if (!fn) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto n = std::make_unique<Node>();
  Node *raw = n.get();
  n->parent = &parent;
  n->fn = fn;
  n->info.cbSize = sizeof(PROPSHEETUI_INFO);
  n->info.Version = PROPSHEETUI_INFO_VERSION;
  n->info.Flags = PSUIINFO_UNICODE;
  n->info.hComPropSheet = raw;
  n->info.pfnComPropSheet = comPropSheet;
  n->info.lParamInit = lParam;
  size_t before = sheet.nodes.size();
  sheet.nodes.push_back(std::move(n));
  if (callSheetFunction(sheet, *raw, PROPSHEETUI_REASON_INIT, lParam) > 0) return raw;
  // A function that fails its start takes what it added with it.
  sheet.nodes.resize(before);
  return nullptr;
}

// CPSFUNC_SET_RESULT: the function of the page's group and those of its
// parents, innermost first, until one answers less than 1.
LONG_PTR setResult(Sheet &sheet, Node &from, HANDLE hSetResult, LRESULT result) {
  SETRESULT_INFO info{};
  info.cbSize = sizeof(info);
  info.hSetResult = hSetResult;
  info.Result = result;
  LONG_PTR called = 0;
  for (Node *n = &from; n; n = n->parent) {
    if (!n->fn) continue;
    ++called;
    if (callSheetFunction(sheet, *n, PROPSHEETUI_REASON_SET_RESULT, reinterpret_cast<LPARAM>(&info)) < 1) break;
  }
  return called;
}

LONG_PTR CALLBACK comPropSheet(HANDLE hComPropSheet, UINT function, LPARAM lParam1, LPARAM lParam2) {
  Sheet *sheet = nullptr;
  Node *node = nullptr;
  if (!findNode(hComPropSheet, sheet, node)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return function == CPSFUNC_SET_RESULT ? -1 : 0;
  }
  switch (function) {
    case CPSFUNC_ADD_PCOMPROPSHEETUIW:
      return reinterpret_cast<LONG_PTR>(addPage(*sheet, *node, reinterpret_cast<COMPROPSHEETUI *>(lParam1), lParam2));
    case CPSFUNC_ADD_PFNPROPSHEETUIW:
      return reinterpret_cast<LONG_PTR>(addFunction(*sheet, *node, reinterpret_cast<PFNPROPSHEETUI>(lParam1), lParam2));
    case CPSFUNC_SET_RESULT: {
      Sheet *s2 = sheet;
      Node *target = node;
      if (lParam1 && !findNode(reinterpret_cast<HANDLE>(lParam1), s2, target)) return -1;
      target->resultSet = true;
      return setResult(*sheet, *target, lParam1 ? reinterpret_cast<HANDLE>(lParam1) : hComPropSheet, lParam2);
    }
    case CPSFUNC_GET_PAGECOUNT: {
      LONG_PTR pages = 0;
      for (const auto &n : sheet->nodes)
        if (n->page) ++pages;
      return pages;
    }
    default: return ERR_CPSUI_FUNCTION_NOT_IMPLEMENTED;
  }
}

// ------ the user

struct Found {
  Node *node = nullptr;
  WORD index = 0;
  bool hidden = false;
};

bool findItem(Sheet &sheet, const SheetAction &a, Found &out, std::u16string &error) {
  for (auto &n : sheet.nodes) {
    if (!n->page) continue;
    std::vector<bool> hidden = hiddenItems(*n->page);
    for (WORD i = 0; i < n->page->cOptItem; ++i) {
      const OPTITEM &item = n->page->pOptItem[i];
      bool match =
          a.item.empty() ? item.UserItemID == a.userItemId : itemText(item.pName, n->page->hInstCaller) == a.item;
      if (!match) continue;
      out = {n.get(), i, hidden[i]};
      return true;
    }
  }
  error = a.item.empty() ? u"no item with UserItemID " + toUtf16(std::to_string(a.userItemId))
                         : u"no item \"" + a.item + u"\"";
  return false;
}

void noteFocus(Sheet &sheet, Node &n, WORD index) {
  size_t pageIndex = 0;
  for (auto &other : sheet.nodes) {
    if (other.get() == &n) break;
    if (other->page) ++pageIndex;
  }
  if (pageIndex < sheet.record.pages.size()) sheet.record.pages[pageIndex].focusItem = index;
}

INT_PTR showItemDialog(Sheet &sheet, Node &n, HINSTANCE inst, bool fromHandle, ULONG_PTR templ, DLGPROC proc,
                       WORD reason, OPTITEM &item) {
  // The dialog's WM_INITDIALOG gets the callback block of the item, as a
  // callback would.
  CPSUICBPARAM p{};
  p.cbSize = sizeof(p);
  p.Reason = reason;
  p.hDlg = sheet.hwnd;
  p.pOptItem = n.page->pOptItem;
  p.cOptItem = n.page->cOptItem;
  p.pCurItem = &item;
  p.OldSel = item.Sel;
  p.UserData = n.page->UserData;
  LPARAM param = reinterpret_cast<LPARAM>(&p);
  if (fromHandle)
    return DialogBoxIndirectParamW(inst, reinterpret_cast<LPCDLGTEMPLATEW>(templ), sheet.hwnd, proc, param);
  return DialogBoxParamW(inst, MAKEINTRESOURCEW(WORD(templ)), sheet.hwnd, proc, param);
}

bool doAction(Sheet &sheet, const SheetAction &a, std::u16string &error) {
  if (a.kind == SheetActionKind::About) {
    for (auto &n : sheet.nodes)
      if (n->page && (n->page->Flags & CPSUIF_ABOUT_CALLBACK) && n->page->pfnCallBack) {
        callItemCallback(sheet, *n, CPSUICB_REASON_ABOUT, n->page->pOptItem, 0);
        return true;
      }
    error = u"the sheet has no About button of the caller's";
    return false;
  }
  if (a.kind == SheetActionKind::Revert) {
    for (auto &n : sheet.nodes) {
      if (!n->page) continue;
      for (WORD i = 0; i < n->page->cOptItem; ++i) restoreValue(*n, i);
      n->changed = false;
      callItemCallback(sheet, *n, CPSUICB_REASON_ITEMS_REVERTED, n->page->pOptItem, 0);
    }
    return true;
  }
  Found f;
  if (!findItem(sheet, a, f, error)) return false;
  Node &n = *f.node;
  OPTITEM &item = n.page->pOptItem[f.index];
  std::u16string name = itemText(item.pName, n.page->hInstCaller);
  int kind = itemKind(item);
  if (f.hidden) {
    error = u"item \"" + name + u"\" is hidden";
    return false;
  }
  bool alwaysPush = a.kind == SheetActionKind::Push && !a.extended && kind == TVOT_PUSHBUTTON &&
                    (item.pOptType->Style & OTS_PUSH_ENABLE_ALWAYS);
  if (itemDisabled(item) && !alwaysPush) {
    error = u"item \"" + name + u"\" is disabled";
    return false;
  }
  noteFocus(sheet, n, f.index);
  auto changedBy = [&](LONG oldSel) {
    n.changed = true;
    if (item.Flags & OPTIF_CALLBACK) callItemCallback(sheet, n, CPSUICB_REASON_SEL_CHANGED, &item, oldSel);
  };
  switch (a.kind) {
    case SheetActionKind::Choose: {
      if (!isChoiceKind(kind)) {
        error = u"item \"" + name + u"\" has no choices";
        return false;
      }
      const OPTTYPE &type = *item.pOptType;
      int index = -1;
      if (a.byIndex) {
        index = a.value < type.Count ? a.value : -1;
      } else {
        for (WORD c = 0; c < type.Count; ++c)
          if (itemText(type.pOptParam[c].pData, n.page->hInstCaller) == a.text) index = c;
      }
      if (index < 0) {
        error = u"item \"" + name + u"\" has no choice \"" + (a.byIndex ? toUtf16(std::to_string(a.value)) : a.text) +
                u"\"";
        return false;
      }
      const OPTPARAM &choice = type.pOptParam[index];
      if (choice.Flags & (OPTPF_HIDE | OPTPF_DISABLED)) {
        error = u"choice \"" + itemText(choice.pData, n.page->hInstCaller) + u"\" of item \"" + name + u"\" is " +
                ((choice.Flags & OPTPF_HIDE) ? u"hidden" : u"disabled");
        return false;
      }
      LONG old = item.Sel;
      if (old == index) return true;
      item.Sel = index;
      changedBy(old);
      return true;
    }
    case SheetActionKind::SetNumber: {
      if (!isNumberKind(kind)) {
        error = u"item \"" + name + u"\" takes no number";
        return false;
      }
      LONG low = 0, high = 0;
      numberRange(item, low, high);
      LONG value = std::clamp(LONG(a.value), low, high);  // the control stops at its ends
      LONG old = item.Sel;
      if (old == value) return true;
      item.Sel = value;
      changedBy(old);
      return true;
    }
    case SheetActionKind::Type: {
      if (kind != TVOT_EDITBOX) {
        error = u"item \"" + name + u"\" is no edit box";
        return false;
      }
      std::u16string old = fromW(item.pSel);
      if (old == a.text) return true;
      copyEditText(item, a.text);
      n.changed = true;
      if (item.Flags & OPTIF_CALLBACK) {
        // The callback gets the text as it was in pOldSel.
        std::vector<WCHAR> oldText(old.begin(), old.end());
        oldText.push_back(0);
        callItemCallback(sheet, n, CPSUICB_REASON_SEL_CHANGED, &item, 0, nullptr, oldText.data());
      }
      return true;
    }
    case SheetActionKind::Undo: {
      LONG old = item.Sel;
      restoreValue(n, f.index);
      callItemCallback(sheet, n, CPSUICB_REASON_UNDO_CHANGES, &item, old);
      return true;
    }
    case SheetActionKind::Push: {
      if (a.extended) {
        if (!(item.Flags & OPTIF_EXT_IS_EXTPUSH) || !item.pExtPush || (item.Flags & OPTIF_EXT_HIDE)) {
          error = u"item \"" + name + u"\" has no extended push button";
          return false;
        }
        if (item.Flags & OPTIF_EXT_DISABLED) {
          error = u"the extended push button of item \"" + name + u"\" is disabled";
          return false;
        }
        EXTPUSH &push = *item.pExtPush;
        if (push.Flags & EPF_PUSH_TYPE_DLGPROC) {
          bool fromHandle = (push.Flags & EPF_USE_HDLGTEMPLATE) != 0;
          ULONG_PTR templ = fromHandle ? reinterpret_cast<ULONG_PTR>(push.hDlgTemplate) : push.DlgTemplateID;
          showItemDialog(sheet, n, n.page->hInstCaller, fromHandle, templ, push.DlgProc, CPSUICB_REASON_EXTPUSH, item);
        } else {
          callItemCallback(sheet, n, CPSUICB_REASON_EXTPUSH, &item, item.Sel,
                           n.page->pfnCallBack
                               ? nullptr
                               : reinterpret_cast<_CPSUICALLBACK>(reinterpret_cast<void (*)()>(push.pfnCallBack)));
        }
        return true;
      }
      if (kind != TVOT_PUSHBUTTON) {
        error = u"item \"" + name + u"\" is no push button";
        return false;
      }
      const OPTPARAM &p = item.pOptType->pOptParam[0];
      if (p.Style == PUSHBUTTON_TYPE_DLGPROC) {
        bool fromHandle = (p.Flags & OPTPF_USE_HDLGTEMPLATE) != 0;
        INT_PTR r = showItemDialog(sheet, n, n.page->hInstCaller, fromHandle, ULONG_PTR(p.lParam),
                                   reinterpret_cast<DLGPROC>(p.pData), CPSUICB_REASON_DLGPROC, item);
        item.Sel = LONG(r);  // the dialog's answer is kept in the item
      } else if (p.Style == PUSHBUTTON_TYPE_CALLBACK) {
        callItemCallback(sheet, n, CPSUICB_REASON_PUSHBUTTON, &item, item.Sel,
                         p.pData ? reinterpret_cast<_CPSUICALLBACK>(p.pData) : nullptr);
      } else {
        error = u"item \"" + name + u"\" is a halftone push button, which this host does not show";
        return false;
      }
      return true;
    }
    default: return false;
  }
}

// OK and Apply: every page's callback hears APPLYNOW; a page whose callback
// set no result of its own gets CPSUI_OK passed up its group.  False when a
// callback keeps the sheet open.
bool applyPages(Sheet &sheet) {
  bool close = true;
  for (size_t i = 0; i < sheet.nodes.size(); ++i) {
    Node &n = *sheet.nodes[i];
    if (!n.page) continue;
    n.resultSet = false;
    LONG action = callItemCallback(sheet, n, CPSUICB_REASON_APPLYNOW, n.page->pOptItem, 0);
    if (action == CPSUICB_ACTION_NO_APPLY_EXIT) {
      close = false;
      continue;
    }
    if (!n.resultSet) setResult(sheet, n, &n, CPSUI_OK);
    saveValues(n);
  }
  return close;
}

bool anyChanged(const Sheet &sheet) {
  for (const auto &n : sheet.nodes)
    if (n->page && n->changed) return true;
  return false;
}

void finishRecord(Sheet &sheet, SheetEnd end, const std::u16string &fault) {
  std::vector<SheetPageRecord> now = recordPages(sheet);
  for (size_t p = 0; p < sheet.record.pages.size() && p < now.size(); ++p)
    sheet.record.pages[p].itemsAtEnd = std::move(now[p].items);
  sheet.record.end = end;
  sheet.record.fault = fault;
  State &s = state();
  std::lock_guard<std::mutex> g(s.lock);
  if (sheet.recordIndex < s.shown.size() && s.shown[sheet.recordIndex].id == sheet.record.id)
    s.shown[sheet.recordIndex] = sheet.record;
  if (!fault.empty()) s.faults.push_back(sheet.record);
}

// Works the sheet as scripted; true when it ended with OK.
bool runUser(Sheet &sheet) {
  SheetScript script;
  bool found = false;
  {
    State &s = state();
    std::lock_guard<std::mutex> g(s.lock);
    for (auto it = s.scripts.begin(); it != s.scripts.end(); ++it) {
      if (sheet.record.title.find(it->title) == std::u16string::npos) continue;
      script = *it;
      found = true;
      if (it->times == 1)
        s.scripts.erase(it);
      else if (it->times > 1)
        --it->times;
      break;
    }
  }
  if (!found) {
    finishRecord(sheet, SheetEnd::Unscripted, u"shown without a script");
    return false;
  }
  for (const SheetAction &a : script.actions) {
    std::u16string error;
    if (!doAction(sheet, a, error)) {
      finishRecord(sheet, SheetEnd::ScriptFailed, error);
      return false;
    }
  }
  if (script.end == SheetEndButton::Cancel) {
    finishRecord(sheet, SheetEnd::Cancelled, {});
    return false;
  }
  bool applied = false;
  if (script.end == SheetEndButton::ApplyThenOk) {
    if (!applyPages(sheet)) {
      finishRecord(sheet, SheetEnd::ScriptFailed, u"Apply was refused by the sheet's callback");
      return false;
    }
    applied = true;
  }
  // OK after Apply applies again only what changed since.
  if ((!applied || anyChanged(sheet)) && !applyPages(sheet)) {
    finishRecord(sheet, SheetEnd::ScriptFailed, u"still open after OK: the sheet's callback refused to apply");
    return false;
  }
  finishRecord(sheet, SheetEnd::Ok, {});
  return true;
}

std::u16string sheetTitle(const PROPSHEETUI_INFO_HEADER &header, const Sheet &sheet) {
  std::u16string title = itemText(header.pTitle, header.hInst);
  if (title.empty())
    for (const auto &n : sheet.nodes)
      if (n->page) {
        title = itemText(n->page->pCallerName, n->page->hInstCaller);
        break;
      }
  if (!(header.Flags & PSUIHDRF_EXACT_PTITLE)) {
    if (header.Flags & PSUIHDRF_DEFTITLE) title += u" Default";
    if (header.Flags & PSUIHDRF_PROPTITLE) title += u" Properties";
  }
  return title;
}

void destroyAll(Sheet &sheet, bool ok) {
  for (size_t i = sheet.nodes.size(); i-- > 0;) {
    Node &n = *sheet.nodes[i];
    if (n.fn) callSheetFunction(sheet, n, PROPSHEETUI_REASON_DESTROY, ok ? 1 : 0);
  }
}

struct OpenSheet {
  explicit OpenSheet(Sheet *s) { openSheets.push_back(s); }
  ~OpenSheet() { openSheets.pop_back(); }
};

}  // namespace

namespace cpsui {

bool findShownSheet(const std::u16string &title, ShownSheet &out) {
  State &s = state();
  std::lock_guard<std::mutex> g(s.lock);
  for (auto it = s.shown.rbegin(); it != s.shown.rend(); ++it)
    if (it->title.find(title) != std::u16string::npos) {
      out = *it;
      return true;
    }
  return false;
}

}  // namespace cpsui

void scriptSheet(const SheetScript &script) {
  State &s = state();
  std::lock_guard<std::mutex> g(s.lock);
  s.scripts.push_back(script);
}

void clearSheetScripts() {
  State &s = state();
  std::lock_guard<std::mutex> g(s.lock);
  s.scripts.clear();
}

std::vector<ShownSheet> shownSheets() {
  State &s = state();
  std::lock_guard<std::mutex> g(s.lock);
  return s.shown;
}

void clearShownSheets() {
  State &s = state();
  std::lock_guard<std::mutex> g(s.lock);
  s.shown.clear();
}

std::vector<ShownSheet> takeSheetFaults() {
  State &s = state();
  std::lock_guard<std::mutex> g(s.lock);
  std::vector<ShownSheet> out;
  out.swap(s.faults);
  return out;
}

}  // namespace winsim

using namespace winsim;

extern "C" {

LONG APIENTRY CommonPropertySheetUIW(HWND hWndOwner, PFNPROPSHEETUI pfnPropSheetUI, LPARAM lParam, LPDWORD pResult) {
  if (pResult) *pResult = CPSUI_CANCEL;
  if (!pfnPropSheetUI) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return ERR_CPSUI_GETLASTERROR;
  }
  Sheet sheet;
  sheet.owner = hWndOwner;
  OpenSheet open(&sheet);
  auto top = std::make_unique<Node>();
  Node &root = *top;
  root.fn = pfnPropSheetUI;
  root.info.cbSize = sizeof(PROPSHEETUI_INFO);
  root.info.Version = PROPSHEETUI_INFO_VERSION;
  root.info.Flags = PSUIINFO_UNICODE;
  root.info.hComPropSheet = &root;
  root.info.pfnComPropSheet = comPropSheet;
  root.info.lParamInit = lParam;
  sheet.nodes.push_back(std::move(top));
  if (callSheetFunction(sheet, root, PROPSHEETUI_REASON_INIT, lParam) < 1) {
    // A start that fails ends the sheet before anything is shown; what the
    // function added before it failed hears its end.
    for (size_t i = sheet.nodes.size(); i-- > 1;)
      if (sheet.nodes[i]->fn) callSheetFunction(sheet, *sheet.nodes[i], PROPSHEETUI_REASON_DESTROY, 0);
    return CPSUI_CANCEL;
  }
  PROPSHEETUI_INFO_HEADER header{};
  header.cbSize = sizeof(header);
  header.hWndParent = hWndOwner;
  callSheetFunction(sheet, root, PROPSHEETUI_REASON_GET_INFO_HEADER, reinterpret_cast<LPARAM>(&header));
  bool anyPage = std::any_of(sheet.nodes.begin(), sheet.nodes.end(), [](const auto &n) { return n->page != nullptr; });
  sheet.record.title = sheetTitle(header, sheet);
  if (!anyPage) {
    destroyAll(sheet, false);
    return ERR_CPSUI_NO_PROPSHEETPAGE;
  }
  // Modal: the owner takes no input while the sheet is up.
  bool ownerWasEnabled = hWndOwner && IsWindowEnabled(hWndOwner);
  if (ownerWasEnabled) EnableWindow(hWndOwner, FALSE);
  sheet.hwnd =
      CreateWindowExW(WS_EX_DLGMODALFRAME, TEXT("#32770"), reinterpret_cast<LPCWSTR>(sheet.record.title.c_str()),
                      WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE, 0, 0, 420, 480, hWndOwner,
                      nullptr, nullptr, nullptr);
  sheet.record.hwnd = sheet.hwnd;
  sheet.record.owner = hWndOwner;
  sheet.record.pages = recordPages(sheet);
  {
    State &s = state();
    std::lock_guard<std::mutex> g(s.lock);
    sheet.record.id = s.nextId++;
    sheet.recordIndex = s.shown.size();
    s.shown.push_back(sheet.record);
  }
  bool ok = runUser(sheet);
  if (sheet.hwnd) {
    std::lock_guard<std::mutex> g(state().lock);
    state().userData.erase(sheet.hwnd);
  }
  if (sheet.hwnd) DestroyWindow(sheet.hwnd);
  if (ownerWasEnabled) EnableWindow(hWndOwner, TRUE);
  destroyAll(sheet, ok);
  {
    // The reasons of the end are part of the record too.
    State &s = state();
    std::lock_guard<std::mutex> g(s.lock);
    if (sheet.recordIndex < s.shown.size() && s.shown[sheet.recordIndex].id == sheet.record.id)
      s.shown[sheet.recordIndex].sheetReasons = sheet.record.sheetReasons;
  }
  if (pResult) *pResult = DWORD(root.info.Result);
  return CPSUI_OK;
}

LONG APIENTRY CommonPropertySheetUIA(HWND hWndOwner, PFNPROPSHEETUI pfnPropSheetUI, LPARAM lParam, LPDWORD pResult) {
  // The pages' texts are read as UTF-16 either way: the ANSI callers' sheets
  // are not hosted.
  (void)hWndOwner;
  (void)pfnPropSheetUI;
  (void)lParam;
  if (pResult) *pResult = CPSUI_CANCEL;
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return ERR_CPSUI_GETLASTERROR;
}

ULONG_PTR APIENTRY GetCPSUIUserData(HWND hDlg) {
  State &s = state();
  std::lock_guard<std::mutex> g(s.lock);
  auto it = s.userData.find(hDlg);
  return it == s.userData.end() ? 0 : it->second;
}

BOOL APIENTRY SetCPSUIUserData(HWND hDlg, ULONG_PTR CPSUIUserData) {
  if (!IsWindow(hDlg)) return FALSE;
  State &s = state();
  std::lock_guard<std::mutex> g(s.lock);
  s.userData[hDlg] = CPSUIUserData;
  return TRUE;
}

}  // extern "C"
