// The scripted user's side of the sheet host: the scripts the tests give, the
// record of every sheet shown (its pages and items as they came up and as
// they ended, the reasons its functions and callbacks heard), and the faults:
// sheets shown without a script, or whose script could not be done.
#include <compstui.h>

#include "compstui/sheet.h"
#include "core/internal.h"

namespace winsim {

namespace cpsui {

namespace {

void resetSheets() {
  State &s = state();
  std::lock_guard<std::mutex> g(s.lock);
  s.scripts.clear();
  s.shown.clear();
  s.userData.clear();
  s.nextId = 1;
}

const ResetStep kResetSheets(kResetKernel + 41, resetSheets);

// The value an item shows, as the tree view shows it beside its name.
void recordValue(SheetItemRecord &r, const OPTITEM &item, HINSTANCE inst) {
  const OPTTYPE &type = *item.pOptType;
  if (isChoiceKind(r.kind)) {
    for (WORD c = 0; c < type.Count; ++c) {
      const OPTPARAM &p = type.pOptParam[c];
      r.choices.push_back(itemText(p.pData, inst));
      r.choiceDisabled.push_back((p.Flags & OPTPF_DISABLED) != 0);
      r.choiceHidden.push_back((p.Flags & OPTPF_HIDE) != 0);
    }
    r.selection = item.Sel;
    if (item.Sel >= 0 && item.Sel < LONG(r.choices.size())) r.selectionText = r.choices[size_t(item.Sel)];
  } else if (isNumberKind(r.kind)) {
    r.selection = item.Sel;
    r.selectionText = toUtf16(std::to_string(item.Sel));
    std::u16string postfix = itemText(type.pOptParam[0].pData, inst);
    if (!postfix.empty()) r.selectionText += ((type.Flags & OPTTF_NOSPACE_BEFORE_POSTFIX) ? u"" : u" ") + postfix;
  } else if (r.kind == TVOT_EDITBOX) {
    r.selectionText = item.pSel ? fromW(item.pSel) : std::u16string();
  } else if (r.kind == TVOT_CHKBOX) {
    r.selection = item.Sel;
    r.selectionText = item.Sel ? itemText(type.pOptParam[0].pData, inst) : std::u16string(u"None");
  } else if (r.kind == TVOT_PUSHBUTTON) {
    r.selection = item.Sel;
  }
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
  if (item.pOptType) recordValue(r, item, inst);
  return r;
}

// The sheet's record in the list of shown sheets, when a reset has not
// cleared it since; nullptr otherwise.  Under the lock.
ShownSheet *publishedRecord(State &s, const Sheet &sheet) {
  if (sheet.recordIndex < s.shown.size() && s.shown[sheet.recordIndex].id == sheet.record.id)
    return &s.shown[sheet.recordIndex];
  return nullptr;
}

}  // namespace

State &state() {
  static State &s = *new State;
  return s;
}

void recordReason(Sheet &sheet, bool callback, int reason) {
  (callback ? sheet.record.callbackReasons : sheet.record.sheetReasons).push_back(reason);
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

void publishRecord(Sheet &sheet) {
  State &s = state();
  std::lock_guard<std::mutex> g(s.lock);
  sheet.record.id = s.nextId++;
  sheet.recordIndex = s.shown.size();
  s.shown.push_back(sheet.record);
}

void finishRecord(Sheet &sheet, SheetEnd end, const std::u16string &fault) {
  std::vector<SheetPageRecord> now = recordPages(sheet);
  for (size_t p = 0; p < sheet.record.pages.size() && p < now.size(); ++p)
    sheet.record.pages[p].itemsAtEnd = std::move(now[p].items);
  sheet.record.end = end;
  sheet.record.fault = fault;
  State &s = state();
  std::lock_guard<std::mutex> g(s.lock);
  if (ShownSheet *published = publishedRecord(s, sheet)) *published = sheet.record;
  if (!fault.empty()) s.faults.push_back(sheet.record);
}

void storeEndReasons(const Sheet &sheet) {
  State &s = state();
  std::lock_guard<std::mutex> g(s.lock);
  if (ShownSheet *published = publishedRecord(s, sheet)) published->sheetReasons = sheet.record.sheetReasons;
}

bool takeScript(const std::u16string &title, SheetScript &out) {
  State &s = state();
  std::lock_guard<std::mutex> g(s.lock);
  for (auto it = s.scripts.begin(); it != s.scripts.end(); ++it) {
    if (title.find(it->title) == std::u16string::npos) continue;
    out = *it;
    if (it->times == 1)
      s.scripts.erase(it);
    else if (it->times > 1)
      --it->times;
    return true;
  }
  return false;
}

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
  cpsui::State &s = cpsui::state();
  std::lock_guard<std::mutex> g(s.lock);
  s.scripts.push_back(script);
}

void clearSheetScripts() {
  cpsui::State &s = cpsui::state();
  std::lock_guard<std::mutex> g(s.lock);
  s.scripts.clear();
}

std::vector<ShownSheet> shownSheets() {
  cpsui::State &s = cpsui::state();
  std::lock_guard<std::mutex> g(s.lock);
  return s.shown;
}

void clearShownSheets() {
  cpsui::State &s = cpsui::state();
  std::lock_guard<std::mutex> g(s.lock);
  s.shown.clear();
}

std::vector<ShownSheet> takeSheetFaults() {
  cpsui::State &s = cpsui::state();
  std::lock_guard<std::mutex> g(s.lock);
  std::vector<ShownSheet> out;
  out.swap(s.faults);
  return out;
}

}  // namespace winsim
