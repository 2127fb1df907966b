// The items of a hosted page: their texts, kinds and values, the item
// callbacks with what their actions ask for, and what each kind of item does
// when the user works it: a choice, a number, an edit box, Undo, a push
// button and an extended push button.
#include <compstui.h>

#include <algorithm>

#include "compstui/sheet.h"
#include "core/internal.h"

namespace winsim::cpsui {

namespace {

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

// The number range of an up-down, trackbar or scroll bar item.
void numberRange(const OPTITEM &item, LONG &low, LONG &high) {
  const OPTPARAM &range = item.pOptType->pOptParam[1];
  low = LONG(range.IconID);
  high = LONG(range.lParam);
  if (low > high) std::swap(low, high);
}

void copyEditText(OPTITEM &item, const std::u16string &text) {
  // The buffer's size in characters is the second OPTPARAM's IconID; the
  // edit control takes no more than fits with its terminator.
  size_t room = size_t(item.pOptType->pOptParam[1].IconID);
  size_t n = std::min(text.size(), room - 1);
  std::copy(text.begin(), text.begin() + ptrdiff_t(n), reinterpret_cast<char16_t *>(item.pSel));
  item.pSel[n] = 0;
}

// The block an item callback gets, and a push button's dialog with its
// WM_INITDIALOG, as a callback would.
CPSUICBPARAM callbackParam(const Sheet &sheet, const Node &n, WORD reason, OPTITEM *current, LONG oldSel) {
  CPSUICBPARAM p{};
  p.cbSize = sizeof(p);
  p.Reason = reason;
  p.hDlg = sheet.hwnd;
  p.pOptItem = n.page->pOptItem;
  p.cOptItem = n.page->cOptItem;
  p.pCurItem = current;
  p.OldSel = oldSel;
  p.UserData = n.page->UserData;
  return p;
}

INT_PTR showItemDialog(Sheet &sheet, Node &n, HINSTANCE inst, bool fromHandle, ULONG_PTR templ, DLGPROC proc,
                       WORD reason, OPTITEM &item) {
  CPSUICBPARAM p = callbackParam(sheet, n, reason, &item, item.Sel);
  LPARAM param = reinterpret_cast<LPARAM>(&p);
  if (fromHandle)
    return DialogBoxIndirectParamW(inst, reinterpret_cast<LPCDLGTEMPLATEW>(templ), sheet.hwnd, proc, param);
  return DialogBoxParamW(inst, MAKEINTRESOURCEW(WORD(templ)), sheet.hwnd, proc, param);
}

// A value the user changed: the page has something to apply, and the item's
// callback hears it when the item asks for that.
void noteChange(ItemTarget &t, LONG oldSel) {
  t.node.changed = true;
  if (t.item.Flags & OPTIF_CALLBACK) callItemCallback(t.sheet, t.node, CPSUICB_REASON_SEL_CHANGED, &t.item, oldSel);
}

// The choice the action names, by index or by its text; -1 when none.
int findChoice(const ItemTarget &t, const SheetAction &a) {
  const OPTTYPE &type = *t.item.pOptType;
  if (a.byIndex) return a.value < type.Count ? a.value : -1;
  int index = -1;
  for (WORD c = 0; c < type.Count; ++c)
    if (itemText(type.pOptParam[c].pData, t.node.page->hInstCaller) == a.text) index = c;
  return index;
}

}  // namespace

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

bool itemDisabled(const OPTITEM &item) {
  return (item.Flags & OPTIF_DISABLED) || (item.pOptType && (item.pOptType->Flags & OPTTF_TYPE_DISABLED));
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

// Calls the page's item callback; what it asks for (the items re-read) is
// done here, and its answer returned.
LONG callItemCallback(Sheet &sheet, Node &n, WORD reason, OPTITEM *current, LONG oldSel, _CPSUICALLBACK callback,
                      LPWSTR oldText) {
  COMPROPSHEETUI &page = *n.page;
  if (!callback) callback = page.pfnCallBack;
  if (!callback) return CPSUICB_ACTION_NONE;
  CPSUICBPARAM p = callbackParam(sheet, n, reason, current, oldSel);
  if (oldText) p.pOldSel = oldText;
  recordReason(sheet, true, reason);
  LONG action = callback(&p);
  if (action == CPSUICB_ACTION_OPTIF_CHANGED || action == CPSUICB_ACTION_REINIT_ITEMS) {
    // The tree view shows the items again as they now are; the flags that
    // asked for it are consumed.
    for (WORD i = 0; i < page.cOptItem; ++i) page.pOptItem[i].Flags &= ~DWORD(OPTIF_CHANGED);
  }
  return action;
}

// ------ what the user's actions do

bool chooseItem(ItemTarget &t, const SheetAction &a, std::u16string &error) {
  if (!isChoiceKind(t.kind)) {
    error = u"item \"" + t.name + u"\" has no choices";
    return false;
  }
  int index = findChoice(t, a);
  if (index < 0) {
    error =
        u"item \"" + t.name + u"\" has no choice \"" + (a.byIndex ? toUtf16(std::to_string(a.value)) : a.text) + u"\"";
    return false;
  }
  const OPTPARAM &choice = t.item.pOptType->pOptParam[index];
  if (choice.Flags & (OPTPF_HIDE | OPTPF_DISABLED)) {
    error = u"choice \"" + itemText(choice.pData, t.node.page->hInstCaller) + u"\" of item \"" + t.name + u"\" is " +
            ((choice.Flags & OPTPF_HIDE) ? u"hidden" : u"disabled");
    return false;
  }
  LONG old = t.item.Sel;
  if (old == index) return true;
  t.item.Sel = index;
  noteChange(t, old);
  return true;
}

bool setItemNumber(ItemTarget &t, const SheetAction &a, std::u16string &error) {
  if (!isNumberKind(t.kind)) {
    error = u"item \"" + t.name + u"\" takes no number";
    return false;
  }
  LONG low = 0, high = 0;
  numberRange(t.item, low, high);
  LONG value = std::clamp(LONG(a.value), low, high);  // the control stops at its ends
  LONG old = t.item.Sel;
  if (old == value) return true;
  t.item.Sel = value;
  noteChange(t, old);
  return true;
}

bool typeItemText(ItemTarget &t, const SheetAction &a, std::u16string &error) {
  if (t.kind != TVOT_EDITBOX) {
    error = u"item \"" + t.name + u"\" is no edit box";
    return false;
  }
  std::u16string old = fromW(t.item.pSel);
  if (old == a.text) return true;
  copyEditText(t.item, a.text);
  t.node.changed = true;
  if (t.item.Flags & OPTIF_CALLBACK) {
    // The callback gets the text as it was in pOldSel.
    std::vector<WCHAR> oldText(old.begin(), old.end());
    oldText.push_back(0);
    callItemCallback(t.sheet, t.node, CPSUICB_REASON_SEL_CHANGED, &t.item, 0, nullptr, oldText.data());
  }
  return true;
}

void undoItem(ItemTarget &t) {
  LONG old = t.item.Sel;
  restoreValue(t.node, t.index);
  callItemCallback(t.sheet, t.node, CPSUICB_REASON_UNDO_CHANGES, &t.item, old);
}

bool pushItem(ItemTarget &t, std::u16string &error) {
  if (t.kind != TVOT_PUSHBUTTON) {
    error = u"item \"" + t.name + u"\" is no push button";
    return false;
  }
  OPTITEM &item = t.item;
  const OPTPARAM &p = item.pOptType->pOptParam[0];
  if (p.Style == PUSHBUTTON_TYPE_DLGPROC) {
    bool fromHandle = (p.Flags & OPTPF_USE_HDLGTEMPLATE) != 0;
    INT_PTR r = showItemDialog(t.sheet, t.node, t.node.page->hInstCaller, fromHandle, ULONG_PTR(p.lParam),
                               reinterpret_cast<DLGPROC>(p.pData), CPSUICB_REASON_DLGPROC, item);
    item.Sel = LONG(r);  // the dialog's answer is kept in the item
  } else if (p.Style == PUSHBUTTON_TYPE_CALLBACK) {
    callItemCallback(t.sheet, t.node, CPSUICB_REASON_PUSHBUTTON, &item, item.Sel,
                     p.pData ? reinterpret_cast<_CPSUICALLBACK>(p.pData) : nullptr);
  } else {
    error = u"item \"" + t.name + u"\" is a halftone push button, which this host does not show";
    return false;
  }
  return true;
}

bool pushExtended(ItemTarget &t, std::u16string &error) {
  OPTITEM &item = t.item;
  if (!(item.Flags & OPTIF_EXT_IS_EXTPUSH) || !item.pExtPush || (item.Flags & OPTIF_EXT_HIDE)) {
    error = u"item \"" + t.name + u"\" has no extended push button";
    return false;
  }
  if (item.Flags & OPTIF_EXT_DISABLED) {
    error = u"the extended push button of item \"" + t.name + u"\" is disabled";
    return false;
  }
  EXTPUSH &push = *item.pExtPush;
  if (push.Flags & EPF_PUSH_TYPE_DLGPROC) {
    bool fromHandle = (push.Flags & EPF_USE_HDLGTEMPLATE) != 0;
    ULONG_PTR templ = fromHandle ? reinterpret_cast<ULONG_PTR>(push.hDlgTemplate) : push.DlgTemplateID;
    showItemDialog(t.sheet, t.node, t.node.page->hInstCaller, fromHandle, templ, push.DlgProc, CPSUICB_REASON_EXTPUSH,
                   item);
  } else {
    // The page's own callback, when it has one, hears the button instead.
    callItemCallback(t.sheet, t.node, CPSUICB_REASON_EXTPUSH, &item, item.Sel,
                     t.node.page->pfnCallBack
                         ? nullptr
                         : reinterpret_cast<_CPSUICALLBACK>(reinterpret_cast<void (*)()>(push.pfnCallBack)));
  }
  return true;
}

}  // namespace winsim::cpsui
