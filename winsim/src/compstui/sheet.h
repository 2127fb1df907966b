// The common property sheet UI inside compstui: what the files of the sheet
// host share, and the sheets the scripted user has seen, for the pictures.
//   sheet.cpp    CommonPropertySheetUIW: the PFNPROPSHEETUI functions, the
//                ComPropSheet function, the sheet's window, OK and Apply
//   checks.cpp   the checks of an added page and its items (ERR_CPSUI_*)
//   items.cpp    the items: texts, kinds and values, the item callbacks, and
//                what each kind of item does when the user works it
//   user.cpp     the scripted user working an open sheet
//   records.cpp  the scripts, the records of the shown sheets, the faults
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <windows.h>
#include <compstui.h>
#include <winsim/testing.h>

namespace winsim::cpsui {

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

// What the host keeps between sheets, under its lock.
struct State {
  std::mutex lock;
  std::vector<SheetScript> scripts;
  std::vector<ShownSheet> shown;
  std::vector<ShownSheet> faults;  // kept across resets
  std::map<HWND, ULONG_PTR> userData;
  DWORD nextId = 1;
};

State &state();

// The item of a page that a user's action works on.
struct ItemTarget {
  Sheet &sheet;
  Node &node;
  WORD index;
  OPTITEM &item;
  std::u16string name;  // as the tree view shows it
  int kind;             // its TVOT_*, -1 when it has no type (a heading)
};

// ------ sheet.cpp

LONG callSheetFunction(Sheet &sheet, Node &n, WORD reason, LPARAM lParam);
// OK and Apply; false when a callback keeps the sheet open.
bool applyPages(Sheet &sheet);
bool anyChanged(const Sheet &sheet);

// ------ checks.cpp

// 0 when the page can be hosted, else the ERR_CPSUI_* result for its fault.
LONG checkPage(const COMPROPSHEETUI *page);

// ------ items.cpp

// A text given as an address, or as a string id in a pointer whose high word
// is zero.
std::u16string itemText(LPCWSTR text, HINSTANCE instance);
bool isChoiceKind(int kind);
bool isNumberKind(int kind);
int itemKind(const OPTITEM &item);
bool itemDisabled(const OPTITEM &item);
// Is each item of the page hidden, by its own flag or its heading's?
std::vector<bool> hiddenItems(const COMPROPSHEETUI &page);
void saveValues(Node &n);
void restoreValue(Node &n, WORD i);
// Calls the page's item callback (or `callback`); returns its action.
LONG callItemCallback(Sheet &sheet, Node &n, WORD reason, OPTITEM *current, LONG oldSel,
                      _CPSUICALLBACK callback = nullptr, LPWSTR oldText = nullptr);
// What the user's action does to an item the user can reach; false with
// `error` when the item cannot take it.
bool chooseItem(ItemTarget &t, const SheetAction &a, std::u16string &error);
bool setItemNumber(ItemTarget &t, const SheetAction &a, std::u16string &error);
bool typeItemText(ItemTarget &t, const SheetAction &a, std::u16string &error);
void undoItem(ItemTarget &t);
bool pushItem(ItemTarget &t, std::u16string &error);
bool pushExtended(ItemTarget &t, std::u16string &error);

// ------ user.cpp

// Works the sheet as scripted; true when it ended with OK.
bool runUser(Sheet &sheet);

// ------ records.cpp

void recordReason(Sheet &sheet, bool callback, int reason);
std::vector<SheetPageRecord> recordPages(const Sheet &sheet);
// Gives the sheet its id and its place among the shown sheets.
void publishRecord(Sheet &sheet);
void finishRecord(Sheet &sheet, SheetEnd end, const std::u16string &fault);
// The reasons the sheet's end gave its functions, into its published record.
void storeEndReasons(const Sheet &sheet);
// Takes the first script whose title the sheet's title contains; false when
// none.
bool takeScript(const std::u16string &title, SheetScript &out);
// A copy of the last sheet whose title contains `title`; false when none.
bool findShownSheet(const std::u16string &title, ShownSheet &out);

}  // namespace winsim::cpsui
