// CommonPropertySheetUIW: the host of the printer UI modules' sheets.  The
// PFNPROPSHEETUI functions build the sheet through the ComPropSheet function,
// the sheet is shown as a dialog-class window titled from the top function's
// info header, and the scripted user works its tree view page: each item as
// the tree view gives it, with the item callbacks a real user's input causes.
#include <compstui.h>

#include "compstui/sheet.h"
#include "core/internal.h"
#include "winspool/properties.h"

namespace winsim::cpsui {

namespace {

// The sheets open on this thread, innermost last (a push button's dialog may
// open another sheet).
thread_local std::vector<Sheet *> openSheets;

struct OpenSheet {
  explicit OpenSheet(Sheet *s) { openSheets.push_back(s); }
  ~OpenSheet() { openSheets.pop_back(); }
};

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

LONG_PTR CALLBACK comPropSheet(HANDLE hComPropSheet, UINT function, LPARAM lParam1, LPARAM lParam2);

// A node for a PFNPROPSHEETUI function; the node is the handle the function
// gets for the ComPropSheet calls.
std::unique_ptr<Node> newFunctionNode(Node *parent, PFNPROPSHEETUI fn, LPARAM lParam) {
  auto n = std::make_unique<Node>();
  n->parent = parent;
  n->fn = fn;
  n->info.cbSize = sizeof(PROPSHEETUI_INFO);
  n->info.Version = PROPSHEETUI_INFO_VERSION;
  n->info.Flags = PSUIINFO_UNICODE;
  n->info.hComPropSheet = n.get();
  n->info.pfnComPropSheet = comPropSheet;
  n->info.lParamInit = lParam;
  return n;
}

// ------ adding pages

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
  std::unique_ptr<Node> n = newFunctionNode(&parent, fn, lParam);
  Node *raw = n.get();
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

LONG_PTR pageCount(const Sheet &sheet) {
  LONG_PTR pages = 0;
  for (const auto &n : sheet.nodes)
    if (n->page) ++pages;
  return pages;
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
    case CPSFUNC_GET_PAGECOUNT: return pageCount(*sheet);
    default: return ERR_CPSUI_FUNCTION_NOT_IMPLEMENTED;
  }
}

// ------ showing the sheet

// The top function's start; when it fails, what it added before failing
// hears its end, and nothing is shown.
bool startRoot(Sheet &sheet, Node &root, LPARAM lParam) {
  if (callSheetFunction(sheet, root, PROPSHEETUI_REASON_INIT, lParam) >= 1) return true;
  for (size_t i = sheet.nodes.size(); i-- > 1;)
    if (sheet.nodes[i]->fn) callSheetFunction(sheet, *sheet.nodes[i], PROPSHEETUI_REASON_DESTROY, 0);
  return false;
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

// Asks the top function for the info header and titles the sheet from it.
void titleSheet(Sheet &sheet, Node &root) {
  PROPSHEETUI_INFO_HEADER header{};
  header.cbSize = sizeof(header);
  header.hWndParent = sheet.owner;
  callSheetFunction(sheet, root, PROPSHEETUI_REASON_GET_INFO_HEADER, reinterpret_cast<LPARAM>(&header));
  sheet.record.title = sheetTitle(header, sheet);
}

void forgetUserData(HWND hwnd) {
  State &s = state();
  std::lock_guard<std::mutex> g(s.lock);
  s.userData.erase(hwnd);
}

// Shows the sheet's window while the user works it; true when it ended with
// OK.  Modal: the owner takes no input while the sheet is up.
bool showModal(Sheet &sheet) {
  HWND owner = sheet.owner;
  bool ownerWasEnabled = owner && IsWindowEnabled(owner);
  if (ownerWasEnabled) EnableWindow(owner, FALSE);
  sheet.hwnd =
      CreateWindowExW(WS_EX_DLGMODALFRAME, TEXT("#32770"), reinterpret_cast<LPCWSTR>(sheet.record.title.c_str()),
                      WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE, 0, 0, 420, 480, owner, nullptr,
                      nullptr, nullptr);
  sheet.record.hwnd = sheet.hwnd;
  sheet.record.owner = owner;
  sheet.record.pages = recordPages(sheet);
  publishRecord(sheet);
  bool ok = runUser(sheet);
  if (sheet.hwnd) {
    forgetUserData(sheet.hwnd);
    DestroyWindow(sheet.hwnd);
  }
  if (ownerWasEnabled) EnableWindow(owner, TRUE);
  return ok;
}

void destroyAll(Sheet &sheet, bool ok) {
  for (size_t i = sheet.nodes.size(); i-- > 0;) {
    Node &n = *sheet.nodes[i];
    if (n.fn) callSheetFunction(sheet, n, PROPSHEETUI_REASON_DESTROY, ok ? 1 : 0);
  }
}

}  // namespace

LONG callSheetFunction(Sheet &sheet, Node &n, WORD reason, LPARAM lParam) {
  n.info.Reason = reason;
  recordReason(sheet, false, reason);
  return n.fn(&n.info, lParam);
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

namespace {

// The whole sheet, from the top function's start to its end.
LONG runSheet(HWND hWndOwner, PFNPROPSHEETUI pfnPropSheetUI, LPARAM lParam, LPDWORD pResult) {
  Sheet sheet;
  sheet.owner = hWndOwner;
  OpenSheet open(&sheet);
  sheet.nodes.push_back(newFunctionNode(nullptr, pfnPropSheetUI, lParam));
  Node &root = *sheet.nodes.front();
  if (!startRoot(sheet, root, lParam)) return CPSUI_CANCEL;
  titleSheet(sheet, root);
  if (pageCount(sheet) == 0) {
    destroyAll(sheet, false);
    return ERR_CPSUI_NO_PROPSHEETPAGE;
  }
  bool ok = showModal(sheet);
  destroyAll(sheet, ok);
  // The reasons of the end are part of the record too.
  storeEndReasons(sheet);
  if (pResult) *pResult = DWORD(root.info.Result);
  return CPSUI_OK;
}

}  // namespace

}  // namespace winsim::cpsui

extern "C" {

LONG APIENTRY CommonPropertySheetUIW(HWND hWndOwner, PFNPROPSHEETUI pfnPropSheetUI, LPARAM lParam, LPDWORD pResult) {
  if (pResult) *pResult = CPSUI_CANCEL;
  if (!pfnPropSheetUI) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return ERR_CPSUI_GETLASTERROR;
  }
  return winsim::cpsui::runSheet(hWndOwner, pfnPropSheetUI, lParam, pResult);
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
  winsim::cpsui::State &s = winsim::cpsui::state();
  std::lock_guard<std::mutex> g(s.lock);
  auto it = s.userData.find(hDlg);
  return it == s.userData.end() ? 0 : it->second;
}

BOOL APIENTRY SetCPSUIUserData(HWND hDlg, ULONG_PTR CPSUIUserData) {
  if (!IsWindow(hDlg)) return FALSE;
  winsim::cpsui::State &s = winsim::cpsui::state();
  std::lock_guard<std::mutex> g(s.lock);
  s.userData[hDlg] = CPSUIUserData;
  return TRUE;
}

}  // extern "C"
