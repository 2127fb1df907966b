// The common property sheet host: a small UI module of the test's own (a top
// function that adds a driver-like function, which adds one tree view page
// with items of every kind) worked by the scripted user.
#include <compstui.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <winsim/testing.h>
#include <winsim/testing_gtest.h>

#include "winsim/tests/fixtures.h"
#include "winsim/tests/user32/dialogs_ids.h"

namespace winsim_test {
namespace {

using namespace winsim;

class Sheets : public Winsim {};

LPWSTR t(const char16_t *s) { return reinterpret_cast<LPWSTR>(const_cast<char16_t *>(s)); }
HINSTANCE self() { return reinterpret_cast<HINSTANCE>(GetModuleHandleW(nullptr)); }

enum Item { kHeading, kColour, kCopies, kOverlay, kVarnish, kDensity, kLabel, kSetup, kTest, kInfo, kCount };

// The module: its items, what its functions and callback saw.
struct Module {
  OPTPARAM colour[3], copies[2], onOff[2], density[3], label[2], setup[1], test[1];
  OPTTYPE colourType{}, copiesType{}, overlayType{}, varnishType{}, densityType{}, labelType{}, setupType{}, testType{};
  EXTPUSH ext{};
  WCHAR labelText[8] = {'C', 'a', 'r', 'd', 0};
  OPTITEM items[kCount]{};
  COMPROPSHEETUI page{};
  std::vector<LPARAM> destroyParams;
  std::vector<int> dialogReasons;
  bool ownerEnabledInside = true, sheetWindowInside = false;
  HWND owner = nullptr;
  LONG applyAnswer = CPSUICB_ACTION_NONE;
  DWORD addResult = 0;
};
Module *mod = nullptr;

void param(OPTPARAM &p, const char16_t *text, ULONG_PTR iconId = 0, LPARAM lParam = 0, BYTE style = 0) {
  p = {};
  p.cbSize = sizeof(OPTPARAM);
  p.pData = t(text);
  p.IconID = iconId;
  p.lParam = lParam;
  p.Style = style;
}
void type(OPTTYPE &o, BYTE kind, OPTPARAM *params, WORD count, WORD style = 0) {
  o = {};
  o.cbSize = sizeof(OPTTYPE);
  o.Type = kind;
  o.Count = count;
  o.pOptParam = params;
  o.Style = style;
}
void item(OPTITEM &i, const char16_t *name, BYTE level, OPTTYPE *o, LONG sel, BYTE userItemId, DWORD flags = 0) {
  i = {};
  i.cbSize = sizeof(OPTITEM);
  i.pName = t(name);
  i.Level = level;
  i.pOptType = o;
  i.Sel = sel;
  i.UserItemID = userItemId;
  i.Flags = flags;
}

INT_PTR CALLBACK setupProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    mod->dialogReasons.push_back(reinterpret_cast<CPSUICBPARAM *>(lParam)->Reason);
    return TRUE;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
    EndDialog(dialog, 7);
    return TRUE;
  }
  return FALSE;
}

// Mono takes the overlay away and makes the varnish fixed.
LONG itemCallback(PCPSUICBPARAM p) {
  mod->ownerEnabledInside = mod->owner ? IsWindowEnabled(mod->owner) != FALSE : true;
  mod->sheetWindowInside = IsWindow(p->hDlg) != FALSE;
  if (p->Reason == CPSUICB_REASON_APPLYNOW) return mod->applyAnswer;
  if (p->Reason == CPSUICB_REASON_SEL_CHANGED && p->pCurItem == &mod->items[kColour]) {
    bool mono = p->pCurItem->Sel == 2;
    OPTITEM &overlay = mod->items[kOverlay], &varnish = mod->items[kVarnish];
    overlay.Flags = (overlay.Flags & ~DWORD(OPTIF_HIDE)) | (mono ? OPTIF_HIDE : 0) | OPTIF_CHANGED;
    varnish.Flags = (varnish.Flags & ~DWORD(OPTIF_DISABLED)) | (mono ? OPTIF_DISABLED : 0) | OPTIF_CHANGED;
    return CPSUICB_ACTION_OPTIF_CHANGED;
  }
  return CPSUICB_ACTION_NONE;
}

void buildModule(Module &m) {
  param(m.colour[0], u"YMCKO");
  param(m.colour[1], u"YMCKOK");
  param(m.colour[2], u"Mono");
  m.colour[1].Flags = OPTPF_DISABLED;
  type(m.colourType, TVOT_LISTBOX, m.colour, 3);
  param(m.copies[0], u"");
  param(m.copies[1], nullptr, 1, 99);
  type(m.copiesType, TVOT_UDARROW, m.copies, 2);
  param(m.onOff[0], u"Off");
  param(m.onOff[1], u"On");
  type(m.overlayType, TVOT_2STATES, m.onOff, 2);
  type(m.varnishType, TVOT_2STATES, m.onOff, 2);
  param(m.density[0], u"%");
  param(m.density[1], nullptr, 0, 20);
  param(m.density[2], nullptr, 1);
  type(m.densityType, TVOT_TRACKBAR, m.density, 3);
  param(m.label[0], u"");
  param(m.label[1], nullptr, 8);
  type(m.labelType, TVOT_EDITBOX, m.label, 2);
  param(m.setup[0], reinterpret_cast<const char16_t *>(setupProc), 0, IDD_PLAIN, PUSHBUTTON_TYPE_DLGPROC);
  type(m.setupType, TVOT_PUSHBUTTON, m.setup, 1);
  param(m.test[0], nullptr, 0, 0, PUSHBUTTON_TYPE_CALLBACK);
  type(m.testType, TVOT_PUSHBUTTON, m.test, 1, OTS_PUSH_ENABLE_ALWAYS);
  m.ext = {};
  m.ext.cbSize = sizeof(EXTPUSH);
  m.ext.pTitle = t(u"Details");
  item(m.items[kHeading], u"Card Options", 0, nullptr, 0, 1);
  item(m.items[kColour], u"Ribbon", 1, &m.colourType, 0, 2, OPTIF_CALLBACK);
  item(m.items[kCopies], u"Copies", 1, &m.copiesType, 1, 3);
  item(m.items[kOverlay], u"Overlay", 1, &m.overlayType, 1, 4, OPTIF_CALLBACK);
  item(m.items[kVarnish], u"Varnish", 1, &m.varnishType, 0, 5, OPTIF_CALLBACK);
  item(m.items[kDensity], u"Density", 1, &m.densityType, 10, 6);
  item(m.items[kLabel], u"Label", 1, &m.labelType, 0, 7);
  m.items[kLabel].pSel = m.labelText;
  item(m.items[kSetup], u"Head Setup", 1, &m.setupType, 0, 8);
  item(m.items[kTest], u"Test Card", 1, &m.testType, 0, 9, OPTIF_DISABLED);
  item(m.items[kInfo], u"Printer", 1, nullptr, 0, 10, OPTIF_EXT_IS_EXTPUSH);
  m.items[kInfo].pExtPush = &m.ext;
  m.page = {};
  m.page.cbSize = sizeof(COMPROPSHEETUI);
  m.page.Flags = CPSUIF_ABOUT_CALLBACK;
  m.page.hInstCaller = self();
  m.page.pCallerName = t(u"Card Driver");
  m.page.pfnCallBack = itemCallback;
  m.page.pOptItem = m.items;
  m.page.cOptItem = kCount;
  m.page.pDlgPage = CPSUI_PDLGPAGE_TREEVIEWONLY;
  m.page.pOptItemName = t(u"Card Settings");
}

// The driver's function: adds the page at its start.
LONG driverSheets(PPROPSHEETUI_INFO info, LPARAM lParam) {
  if (info->Reason == PROPSHEETUI_REASON_INIT) {
    HANDLE h = reinterpret_cast<HANDLE>(info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PCOMPROPSHEETUIW,
                                                              reinterpret_cast<LPARAM>(&mod->page),
                                                              reinterpret_cast<LPARAM>(&mod->addResult)));
    return h ? 1 : -1;
  }
  if (info->Reason == PROPSHEETUI_REASON_SET_RESULT) info->Result = reinterpret_cast<SETRESULT_INFO *>(lParam)->Result;
  if (info->Reason == PROPSHEETUI_REASON_DESTROY) mod->destroyParams.push_back(lParam);
  return 1;
}

// The top function, as the printing system's own: the driver's function under
// it and the title.
LONG topSheets(PPROPSHEETUI_INFO info, LPARAM lParam) {
  switch (info->Reason) {
    case PROPSHEETUI_REASON_INIT:
      return info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PFNPROPSHEETUIW,
                                   reinterpret_cast<LPARAM>(driverSheets), 0)
                 ? 1
                 : -1;
    case PROPSHEETUI_REASON_GET_INFO_HEADER: {
      auto *header = reinterpret_cast<PROPSHEETUI_INFO_HEADER *>(lParam);
      header->pTitle = t(u"Card Printer");
      header->Flags = PSUIHDRF_PROPTITLE;
      return 1;
    }
    case PROPSHEETUI_REASON_SET_RESULT: info->Result = reinterpret_cast<SETRESULT_INFO *>(lParam)->Result; return 1;
    case PROPSHEETUI_REASON_DESTROY: mod->destroyParams.push_back(lParam); return 1;
    default: return 1;
  }
}

struct SheetRun {
  LONG ret = 0;
  DWORD result = 0xdead;
};

SheetRun runSheet(Module &m, HWND owner = nullptr) {
  mod = &m;
  m.owner = owner;
  SheetRun r;
  r.ret = CommonPropertySheetUIW(owner, topSheets, 0, &r.result);
  return r;
}

const char16_t kTitle[] = u"Card Printer Properties";

TEST_F(Sheets, OkRunsTheDocumentedSequenceAndEndsWithTheResultSet) {
  Module m;
  buildModule(m);
  HWND owner =
      CreateWindowExW(0, TEXT("#32770"), TEXT("App"), WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
  scriptSheet({u"Printer Properties",
               {sheetChoose(u"Ribbon", u"Mono"), sheetSetNumber(u"Copies", 150), sheetType(u"Label", u"Front side"),
                byUserItemId(sheetSetNumber({}, 5), 6)},
               SheetEndButton::Ok});
  SheetRun r = runSheet(m, owner);
  EXPECT_EQ(r.ret, CPSUI_OK);
  EXPECT_EQ(r.result, DWORD(CPSUI_OK));
  EXPECT_EQ(m.items[kColour].Sel, 2);
  EXPECT_EQ(m.items[kCopies].Sel, 99);  // the up-down stops at the top of its range
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(m.labelText)), u"Front s");  // 8 characters of room
  EXPECT_EQ(m.items[kDensity].Sel, 5);
  EXPECT_FALSE(m.items[kOverlay].Flags & OPTIF_CHANGED);  // consumed by the host
  EXPECT_FALSE(m.ownerEnabledInside);
  EXPECT_TRUE(m.sheetWindowInside);
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_EQ(m.destroyParams, (std::vector<LPARAM>{1, 1}));

  auto sheets = shownSheets();
  ASSERT_EQ(sheets.size(), 1u);
  const ShownSheet &s = sheets[0];
  EXPECT_EQ(s.title, kTitle);
  EXPECT_EQ(s.end, SheetEnd::Ok);
  EXPECT_EQ(s.owner, owner);
  EXPECT_FALSE(IsWindow(s.hwnd));
  EXPECT_EQ(s.sheetReasons,
            (std::vector<int>{PROPSHEETUI_REASON_INIT, PROPSHEETUI_REASON_INIT, PROPSHEETUI_REASON_GET_INFO_HEADER,
                              PROPSHEETUI_REASON_SET_RESULT, PROPSHEETUI_REASON_SET_RESULT, PROPSHEETUI_REASON_DESTROY,
                              PROPSHEETUI_REASON_DESTROY}));
  EXPECT_EQ(s.callbackReasons, (std::vector<int>{CPSUICB_REASON_SEL_CHANGED, CPSUICB_REASON_APPLYNOW}));
  ASSERT_EQ(s.pages.size(), 1u);
  const SheetPageRecord &p = s.pages[0];
  EXPECT_EQ(p.name, u"Card Settings");
  const SheetItemRecord *ribbon = p.item(u"Ribbon");
  ASSERT_TRUE(ribbon);
  EXPECT_EQ(ribbon->kind, TVOT_LISTBOX);
  EXPECT_EQ(ribbon->level, 1);
  EXPECT_EQ(ribbon->choices, (std::vector<std::u16string>{u"YMCKO", u"YMCKOK", u"Mono"}));
  EXPECT_EQ(ribbon->choiceDisabled, (std::vector<bool>{false, true, false}));
  EXPECT_EQ(ribbon->selectionText, u"YMCKO");
  EXPECT_EQ(p.item(u"Ribbon", true)->selectionText, u"Mono");
  EXPECT_FALSE(p.item(u"Overlay")->hidden);
  EXPECT_TRUE(p.item(u"Overlay", true)->hidden);
  EXPECT_TRUE(p.item(u"Varnish", true)->disabled);
  EXPECT_EQ(p.item(u"Density", true)->selectionText, u"5 %");
  EXPECT_EQ(p.item(u"Printer")->extPushTitle, u"Details...");
  EXPECT_TRUE(p.item(u"Test Card")->disabled);
  DestroyWindow(owner);
}

TEST_F(Sheets, CancelAppliesNothingAndApplyThenOkAppliesOnce) {
  Module m;
  buildModule(m);
  scriptSheet({kTitle, {sheetChoose(u"Overlay", u"Off")}, SheetEndButton::Cancel, 1});
  SheetRun r = runSheet(m);
  EXPECT_EQ(r.ret, CPSUI_OK);
  EXPECT_EQ(r.result, DWORD(CPSUI_CANCEL));
  EXPECT_EQ(m.destroyParams, (std::vector<LPARAM>{0, 0}));
  EXPECT_EQ(shownSheets()[0].end, SheetEnd::Cancelled);
  EXPECT_EQ(shownSheets()[0].callbackReasons, (std::vector<int>{CPSUICB_REASON_SEL_CHANGED}));

  Module m2;
  buildModule(m2);
  scriptSheet({kTitle, {sheetChooseIndex(u"Overlay", 0)}, SheetEndButton::ApplyThenOk, 1});
  r = runSheet(m2);
  EXPECT_EQ(r.result, DWORD(CPSUI_OK));
  EXPECT_EQ(shownSheets()[1].callbackReasons, (std::vector<int>{CPSUICB_REASON_SEL_CHANGED, CPSUICB_REASON_APPLYNOW}));
}

TEST_F(Sheets, ACallbackThatRefusesToApplyKeepsTheSheetOpenAndFailsTheScript) {
  Module m;
  buildModule(m);
  m.applyAnswer = CPSUICB_ACTION_NO_APPLY_EXIT;
  scriptSheet({kTitle, {}, SheetEndButton::Ok, 1});
  SheetRun r = runSheet(m);
  EXPECT_EQ(r.result, DWORD(CPSUI_CANCEL));
  auto faults = takeSheetFaults();
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_EQ(faults[0].title, kTitle);
  EXPECT_EQ(faults[0].end, SheetEnd::ScriptFailed);
}

TEST_F(Sheets, ActionsOnHiddenOrDisabledItemsAndChoicesAreRefused) {
  struct Case {
    std::vector<SheetAction> actions;
    const char16_t *fault;
  };
  const Case cases[] = {
      {{sheetChoose(u"Ribbon", u"Mono"), sheetChoose(u"Overlay", u"Off")}, u"item \"Overlay\" is hidden"},
      {{sheetChoose(u"Ribbon", u"Mono"), sheetChoose(u"Varnish", u"On")}, u"item \"Varnish\" is disabled"},
      {{sheetChoose(u"Ribbon", u"YMCKOK")}, u"choice \"YMCKOK\" of item \"Ribbon\" is disabled"},
      {{sheetChoose(u"Ribbon", u"Gold")}, u"item \"Ribbon\" has no choice \"Gold\""},
      {{sheetPush(u"Nothing")}, u"no item \"Nothing\""},
      {{byUserItemId(sheetPush({}), 77)}, u"no item with UserItemID 77"},
      {{sheetSetNumber(u"Ribbon", 3)}, u"item \"Ribbon\" takes no number"},
  };
  for (const Case &c : cases) {
    Module m;
    buildModule(m);
    clearSheetScripts();
    scriptSheet({kTitle, c.actions, SheetEndButton::Ok, 1});
    SheetRun r = runSheet(m);
    EXPECT_EQ(r.result, DWORD(CPSUI_CANCEL)) << toUtf8(c.fault);
    auto faults = takeSheetFaults();
    ASSERT_EQ(faults.size(), 1u) << toUtf8(c.fault);
    EXPECT_EQ(faults[0].title, kTitle);
    EXPECT_EQ(faults[0].end, SheetEnd::ScriptFailed);
    EXPECT_EQ(faults[0].fault, c.fault);
    EXPECT_EQ(m.destroyParams, (std::vector<LPARAM>{0, 0}));
  }
}

TEST_F(Sheets, PushButtonsAboutUndoAndRevert) {
  Module m;
  buildModule(m);
  scriptDialog({u"Plain", 0, {}, IDOK, 1});
  scriptSheet({kTitle,
               {sheetPush(u"Head Setup"), sheetPush(u"Test Card"),  // disabled, but OTS_PUSH_ENABLE_ALWAYS
                sheetExtPush(u"Printer"), sheetAbout(), sheetChoose(u"Overlay", u"Off"), sheetUndo(u"Overlay"),
                sheetSetNumber(u"Copies", 4), sheetRevert()},
               SheetEndButton::Ok});
  SheetRun r = runSheet(m);
  EXPECT_EQ(r.result, DWORD(CPSUI_OK));
  EXPECT_EQ(m.dialogReasons, (std::vector<int>{CPSUICB_REASON_DLGPROC}));
  EXPECT_EQ(m.items[kSetup].Sel, 7);  // the dialog's answer
  EXPECT_EQ(m.items[kOverlay].Sel, 1);
  EXPECT_EQ(m.items[kCopies].Sel, 1);
  auto sheets = shownSheets();
  ASSERT_EQ(sheets.size(), 1u);
  EXPECT_EQ(sheets[0].callbackReasons,
            (std::vector<int>{CPSUICB_REASON_PUSHBUTTON, CPSUICB_REASON_EXTPUSH, CPSUICB_REASON_ABOUT,
                              CPSUICB_REASON_SEL_CHANGED, CPSUICB_REASON_UNDO_CHANGES, CPSUICB_REASON_ITEMS_REVERTED,
                              CPSUICB_REASON_APPLYNOW}));
  ASSERT_EQ(shownDialogs().size(), 1u);
  EXPECT_EQ(shownDialogs()[0].owner, sheets[0].hwnd);
}

TEST_F(Sheets, AnUnscriptedSheetFailsWithItsTitleAndEndsCancelled) {
  Module m;
  buildModule(m);
  SheetRun r = runSheet(m);
  EXPECT_EQ(r.ret, CPSUI_OK);
  EXPECT_EQ(r.result, DWORD(CPSUI_CANCEL));
  auto faults = takeSheetFaults();
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_EQ(faults[0].title, kTitle);
  EXPECT_EQ(faults[0].end, SheetEnd::Unscripted);
}

TEST_F(Sheets, BrokenPagesAreRefusedWithTheDocumentedErrors) {
  struct Case {
    void (*breakIt)(Module &);
    LONG error;
  };
  const Case cases[] = {
      {[](Module &m) { m.page.cbSize = 4; }, ERR_CPSUI_INVALID_PDATA},
      {[](Module &m) { m.page.hInstCaller = nullptr; }, ERR_CPSUI_NULL_HINST},
      {[](Module &m) { m.page.pCallerName = nullptr; }, ERR_CPSUI_NULL_CALLERNAME},
      {[](Module &m) { m.page.cOptItem = 0; }, ERR_CPSUI_ZERO_OPTITEM},
      {[](Module &m) { m.page.pOptItem = nullptr; }, ERR_CPSUI_NULL_POPTITEM},
      {[](Module &m) { m.items[kCopies].cbSize = 8; }, ERR_CPSUI_INVALID_OPTITEM_CBSIZE},
      {[](Module &m) { m.colourType.cbSize = 8; }, ERR_CPSUI_INVALID_OPTTYPE_CBSIZE},
      {[](Module &m) { m.overlayType.Count = 3; }, ERR_CPSUI_INVALID_OPTTYPE_COUNT},
      {[](Module &m) { m.colourType.pOptParam = nullptr; }, ERR_CPSUI_NULL_POPTPARAM},
      {[](Module &m) { m.colour[2].cbSize = 2; }, ERR_CPSUI_INVALID_OPTPARAM_CBSIZE},
      {[](Module &m) { m.colourType.Type = 42; }, ERR_CPSUI_INVALID_TVOT_TYPE},
      {[](Module &m) { m.items[kLabel].pSel = nullptr; }, ERR_CPSUI_INVALID_EDITBOX_PSEL},
      {[](Module &m) { m.setup[0].Style = 9; }, ERR_CPSUI_INVALID_PUSHBUTTON_TYPE},
      {[](Module &m) { m.ext.cbSize = 3; }, ERR_CPSUI_INVALID_EXTPUSH_CBSIZE},
      {[](Module &m) { m.ext.Flags = EPF_PUSH_TYPE_DLGPROC; }, ERR_CPSUI_NULL_EXTPUSH_DLGPROC},
  };
  for (const Case &c : cases) {
    Module m;
    buildModule(m);
    c.breakIt(m);
    SheetRun r = runSheet(m);
    // The driver's start fails without its page; so does the top's.
    EXPECT_EQ(LONG(m.addResult), c.error);
    EXPECT_EQ(r.ret, CPSUI_CANCEL);
    EXPECT_EQ(r.result, DWORD(CPSUI_CANCEL));
  }
  EXPECT_TRUE(shownSheets().empty());
}

TEST_F(Sheets, ThePictureShowsTheTreeWithDisabledItemsGreyed) {
  // The tree's rows are 18 pixels from y = 67, below the title bar and the
  // tabs; the darkest pixel of a row is its text's ink.
  auto darkestOfRow = [](const SheetPicture &p, int row) {
    int darkest = 255;
    for (int y = 67 + row * 18; y < 67 + (row + 1) * 18; ++y)
      for (int x = 14; x < 400; ++x) darkest = std::min(darkest, int(p.pixels[size_t(y * p.width + x)] & 0xff));
    return darkest;
  };
  Module m;
  buildModule(m);
  scriptSheet({kTitle, {}, SheetEndButton::Ok, 1});
  runSheet(m);
  SheetPicture plain = sheetPicture(u"Card Printer");
  EXPECT_EQ(plain.width, 420);
  EXPECT_EQ(plain.height, 580);
  ASSERT_EQ(plain.pixels.size(), size_t(420 * 580));
  EXPECT_LT(darkestOfRow(plain, 4), 0x40);  // Varnish, fifth row, in black

  Module m2;
  buildModule(m2);
  scriptSheet({kTitle, {sheetChoose(u"Ribbon", u"Mono")}, SheetEndButton::Ok, 1});
  runSheet(m2);
  SheetPicture greyed = sheetPicture(u"Card Printer");
  // Overlay is gone, so Varnish is the fourth row, greyed: no ink darker
  // than the disabled text's (109, 109, 109).
  EXPECT_GE(darkestOfRow(greyed, 3), 0x6d);
  EXPECT_LT(darkestOfRow(greyed, 2), 0x40);  // Copies stays black
  EXPECT_TRUE(sheetPicture(u"No such sheet").pixels.empty());
}

TEST_F(Sheets, ASheetWithoutPagesIsNotShown) {
  auto noPages = [](PPROPSHEETUI_INFO, LPARAM) -> LONG { return 1; };
  DWORD result = 5;
  EXPECT_EQ(CommonPropertySheetUIW(nullptr, noPages, 0, &result), ERR_CPSUI_NO_PROPSHEETPAGE);
  EXPECT_EQ(result, DWORD(CPSUI_CANCEL));
  EXPECT_TRUE(shownSheets().empty());
}

}  // namespace
}  // namespace winsim_test
