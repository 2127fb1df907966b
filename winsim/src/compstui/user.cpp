// The scripted user working an open sheet's tree view page: each action of the
// sheet's script as a real user's input would do it, then the button that
// ends the sheet.
#include <compstui.h>

#include "compstui/sheet.h"
#include "core/internal.h"

namespace winsim::cpsui {

namespace {

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

// The About button: the first page whose caller asked for it hears it.
bool pressAbout(Sheet &sheet, std::u16string &error) {
  for (auto &n : sheet.nodes)
    if (n->page && (n->page->Flags & CPSUIF_ABOUT_CALLBACK) && n->page->pfnCallBack) {
      callItemCallback(sheet, *n, CPSUICB_REASON_ABOUT, n->page->pOptItem, 0);
      return true;
    }
  error = u"the sheet has no About button of the caller's";
  return false;
}

// Revert: every page's items go back to their values at the last apply.
void revertAll(Sheet &sheet) {
  for (auto &n : sheet.nodes) {
    if (!n->page) continue;
    for (WORD i = 0; i < n->page->cOptItem; ++i) restoreValue(*n, i);
    n->changed = false;
    callItemCallback(sheet, *n, CPSUICB_REASON_ITEMS_REVERTED, n->page->pOptItem, 0);
  }
}

// Can the user reach the item?  It must be shown, and enabled unless it is a
// push button its type keeps enabled always.
bool canReach(const ItemTarget &t, bool hidden, const SheetAction &a, std::u16string &error) {
  if (hidden) {
    error = u"item \"" + t.name + u"\" is hidden";
    return false;
  }
  bool alwaysPush = a.kind == SheetActionKind::Push && !a.extended && t.kind == TVOT_PUSHBUTTON &&
                    (t.item.pOptType->Style & OTS_PUSH_ENABLE_ALWAYS);
  if (itemDisabled(t.item) && !alwaysPush) {
    error = u"item \"" + t.name + u"\" is disabled";
    return false;
  }
  return true;
}

bool doAction(Sheet &sheet, const SheetAction &a, std::u16string &error) {
  if (a.kind == SheetActionKind::About) return pressAbout(sheet, error);
  if (a.kind == SheetActionKind::Revert) {
    revertAll(sheet);
    return true;
  }
  Found f;
  if (!findItem(sheet, a, f, error)) return false;
  Node &n = *f.node;
  OPTITEM &item = n.page->pOptItem[f.index];
  ItemTarget t{sheet, n, f.index, item, itemText(item.pName, n.page->hInstCaller), itemKind(item)};
  if (!canReach(t, f.hidden, a, error)) return false;
  noteFocus(sheet, n, f.index);
  switch (a.kind) {
    case SheetActionKind::Choose: return chooseItem(t, a, error);
    case SheetActionKind::SetNumber: return setItemNumber(t, a, error);
    case SheetActionKind::Type: return typeItemText(t, a, error);
    case SheetActionKind::Undo: undoItem(t); return true;
    case SheetActionKind::Push: return a.extended ? pushExtended(t, error) : pushItem(t, error);
    default: return false;
  }
}

// OK, or Apply then OK, as the script ends the sheet; true when it closed.
bool pressOk(Sheet &sheet, SheetEndButton end) {
  bool applied = false;
  if (end == SheetEndButton::ApplyThenOk) {
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

}  // namespace

bool runUser(Sheet &sheet) {
  SheetScript script;
  if (!takeScript(sheet.record.title, script)) {
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
  return pressOk(sheet, script.end);
}

}  // namespace winsim::cpsui
