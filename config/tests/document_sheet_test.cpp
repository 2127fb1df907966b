// The card setup sheet through DrvDocumentPropertySheets, as the common
// property sheet UI calls it: INIT adds a page whose items and callback the
// test works as the host would, then SET_RESULT and DESTROY.  The printer's
// answers come from a stand-in for the port's language monitor.
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>
#include <winsim/testing.h>
#include <compstui.h>
#include <winddiui.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "shared/job_settings.h"
#include "shared/query_command.h"

namespace {

using namespace card;

const char16_t kPrinter[] = u"Pellor CA3 Card Printer USB";
const char16_t kPort[] = u"CARD001";
const char16_t kDriverFolder[] = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\";

using SheetsFn = LONG(WINAPI *)(PROPSHEETUI_INFO *, LPARAM);

// The items by number, as the sheet's callback knows them.
enum : unsigned {
  kOrientation = 1,
  kRotation = 2,
  kRibbon = 4,
  kBothSides = 5,
  kLayout = 6,
  kMono = 7,
  kBlackPanel = 8,
  kBlackBitmap = 9,
  kFrontOverlay = 10,
  kBackOverlay = 11,
  kHologram = 12,
  kMode = 14,
  kCopies = 15,
};

std::u16string text(LPCWSTR s) {
  std::u16string r;
  for (; s && *s; ++s) r.push_back(char16_t(*s));
  return r;
}

// The page the sheet added, as the host keeps it.
COMPROPSHEETUI *gPage = nullptr;
int gAdds = 0;

LONG_PTR CALLBACK hostFunction(HANDLE, UINT function, LPARAM lParam1, LPARAM) {
  if (function != CPSFUNC_ADD_PCOMPROPSHEETUIW) return 0;
  gPage = reinterpret_cast<COMPROPSHEETUI *>(lParam1);
  ++gAdds;
  return 0x100;  // the page's handle
}

CardDevmode printerDefault(uint8_t ribbonType, uint16_t ribbonId = 0) {
  CardDevmode dm{};
  fillDefaultStandardPart(dm.standard);
  dm.record.signature = kRecordSignature;
  dm.record.ribbonType = ribbonType;
  dm.record.ribbonId = ribbonId;
  dm.record.hasEncoder = 1;
  dm.record.blackPanelMode = kBlackPanelAlways;
  return dm;
}

class Sheet : public ::testing::Test {
 protected:
  void install(const CardDevmode &defaults) {
    winsim::resetMachine();
    gPage = nullptr;
    gAdds = 0;
    ASSERT_TRUE(winsim::addTestPort(kPort));
    winsim::PrinterSetup setup;
    setup.printerName = kPrinter;
    setup.driverName = u"Pellor Standard Printer";
    setup.configDll = CARDCFG_DLL;
    setup.portName = kPort;
    std::vector<uint8_t> dm(sizeof defaults);
    std::memcpy(dm.data(), &defaults, sizeof defaults);
    setup.defaultDevMode = dm;
    files = std::filesystem::temp_directory_path() / ("cardcfg_sheet_" + std::to_string(::getpid()));
    std::filesystem::create_directories(files);
    std::ofstream(files / "cardrend.dll").put('\0');
    setup.graphicsDll = (files / "cardrend.dll").string();
    ASSERT_TRUE(winsim::installPrinter(setup));
    // The driver package's ribbon name table, in the driver folder.
    std::ofstream(winsim::hostPath(std::u16string(kDriverFolder) + u"cardribbon.INI"))
        << "[Ribbon Type]\r\n1=Mono Ribbon\r\n2=YMCKO Ribbon\r\n17=KrO Ribbon\r\n";
    module = LoadLibraryW(u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\cardcfg.dll");
    ASSERT_NE(module, nullptr);
    sheets =
        reinterpret_cast<SheetsFn>(reinterpret_cast<void (*)()>(GetProcAddress(module, "DrvDocumentPropertySheets")));
    ASSERT_NE(sheets, nullptr);
    answerAsPrinter();
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer, nullptr));
  }
  void TearDown() override {
    for (const auto &m : winsim::takeMessageFaults())
      ADD_FAILURE() << "message not scripted: " << std::string(m.text.begin(), m.text.end());
    if (printer) ClosePrinter(printer);
    if (module) FreeLibrary(module);
    if (!files.empty()) std::filesystem::remove_all(files);
  }

  std::string model = "CA3 V1.2";
  std::string encoderReply = "1 1\x06";
  std::string ribbonReply = "2\x06";  // YMCKO
  void answerAsPrinter() {
    winsim::setPortResponder(kPort, [this](const std::u16string &name, std::vector<uint8_t> &out) {
      char cmd[64];
      size_t n = decodeQueryCommand(reinterpret_cast<LPCWSTR>(name.c_str()), name.size() + 1, cmd, sizeof cmd);
      std::string c(cmd, n), r;
      if (c == "\x1bV\r")
        r = model.empty() ? "" : model + "\x06";
      else if (c == "\x1b!V 20\r")
        r = encoderReply;
      else if (c == "\x1b!RIBBON\r")
        r = ribbonReply;
      if (r.empty()) return false;
      out.assign(r.begin(), r.end());
      return true;
    });
  }

  CardDevmode storedDefault() {
    CardDevmode dm{};
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> buf(needed);
    EXPECT_TRUE(GetPrinterW(printer, 2, buf.data(), needed, &needed));
    auto *pi = reinterpret_cast<PRINTER_INFO_2W *>(buf.data());
    if (pi->pDevMode) std::memcpy(&dm, pi->pDevMode, sizeof dm);
    return dm;
  }

  // Opens the sheet as the host does; `in` is the caller's DEVMODE.
  void open(const CardDevmode *in = nullptr) {
    header = DOCUMENTPROPERTYHEADER{sizeof header,
                                    0,
                                    printer,
                                    const_cast<LPWSTR>(kPrinter),
                                    reinterpret_cast<DEVMODEW *>(const_cast<CardDevmode *>(in)),
                                    reinterpret_cast<DEVMODEW *>(&out),
                                    sizeof out,
                                    DM_IN_PROMPT | DM_OUT_BUFFER};
    std::memset(&out, 0xAB, sizeof out);
    info = PROPSHEETUI_INFO{};
    info.cbSize = sizeof info;
    info.Version = PROPSHEETUI_INFO_VERSION;
    info.Flags = PSUIINFO_UNICODE;
    info.Reason = PROPSHEETUI_REASON_INIT;
    info.hComPropSheet = reinterpret_cast<HANDLE>(0x10);
    info.pfnComPropSheet = hostFunction;
    info.lParamInit = reinterpret_cast<LPARAM>(&header);
    ASSERT_EQ(sheets(&info, 0), 1);
    ASSERT_EQ(gAdds, 1);
    ASSERT_NE(gPage, nullptr);
    ASSERT_EQ(gPage->cOptItem, 16);
  }
  LONG reason(WORD why, unsigned item = 0) {
    CPSUICBPARAM p{};
    p.cbSize = sizeof p;
    p.Reason = why;
    p.pOptItem = gPage->pOptItem;
    p.cOptItem = gPage->cOptItem;
    p.pCurItem = &gPage->pOptItem[item];
    p.UserData = gPage->UserData;
    return gPage->pfnCallBack(&p);
  }
  LONG choose(unsigned item, LONG sel) {
    OPTITEM &o = gPage->pOptItem[item];
    EXPECT_FALSE(o.Flags & (OPTIF_HIDE | OPTIF_DISABLED)) << "item " << item;
    o.Sel = sel;
    return reason(CPSUICB_REASON_SEL_CHANGED, item);
  }
  LONG finish(bool ok) {
    LONG r = 1;
    if (ok) {
      EXPECT_EQ(reason(CPSUICB_REASON_APPLYNOW), CPSUICB_ACTION_ITEMS_APPLIED);
      SETRESULT_INFO result{sizeof(SETRESULT_INFO), 0, reinterpret_cast<HANDLE>(0x100), CPSUI_OK};
      info.Reason = PROPSHEETUI_REASON_SET_RESULT;
      r = sheets(&info, reinterpret_cast<LPARAM>(&result));
      EXPECT_EQ(info.Result, ULONG_PTR(4));
    }
    info.Reason = PROPSHEETUI_REASON_DESTROY;
    EXPECT_EQ(sheets(&info, 0), 1);
    return r;
  }
  OPTITEM &item(unsigned i) { return gPage->pOptItem[i]; }
  bool hidden(unsigned i) { return item(i).Flags & OPTIF_HIDE; }
  bool disabled(unsigned i) { return item(i).Flags & OPTIF_DISABLED; }
  std::vector<std::u16string> choices(unsigned i) {
    std::vector<std::u16string> v;
    const OPTTYPE *t = item(i).pOptType;
    for (unsigned c = 0; t && c < t->Count; ++c) v.push_back(text(t->pOptParam[c].pData));
    return v;
  }
  bool choiceDisabled(unsigned i, unsigned c) { return item(i).pOptType->pOptParam[c].Flags & OPTPF_DISABLED; }

  HMODULE module = nullptr;
  HANDLE printer = nullptr;
  SheetsFn sheets = nullptr;
  std::filesystem::path files;
  DOCUMENTPROPERTYHEADER header{};
  PROPSHEETUI_INFO info{};
  CardDevmode out{};
};

using V = std::vector<std::u16string>;

TEST_F(Sheet, PageAndItems) {
  install(printerDefault(kRibbonYMCKO));
  open();
  EXPECT_EQ(text(gPage->pCallerName), u"Pellor Standard Printer");
  EXPECT_EQ(gPage->Flags, CPSUIF_UPDATE_PERMISSION | CPSUIF_ABOUT_CALLBACK);
  EXPECT_EQ(gPage->pDlgPage, CPSUI_PDLGPAGE_TREEVIEWONLY);
  EXPECT_EQ(gPage->CallerVersion, 0x0400);
  EXPECT_EQ(item(0).Level, 0);
  EXPECT_EQ(item(0).pOptType, nullptr);
  EXPECT_EQ(text(item(0).pName), u"Paper / Output");
  EXPECT_EQ(text(item(kRotation).pName), u"180º Rotation");
  EXPECT_EQ(choices(kOrientation), (V{u"&Portrait", u"&Landscape"}));
  EXPECT_EQ(item(kOrientation).Sel, 1);
  EXPECT_EQ(item(kOrientation).pOptType->Type, TVOT_2STATES);
  // The ribbon the printer reported, by its name in the package's table,
  // with the device information behind the extended push button.
  EXPECT_EQ(choices(kRibbon), V{u"YMCKO Ribbon"});
  ASSERT_TRUE(item(kRibbon).Flags & OPTIF_EXT_IS_EXTPUSH);
  EXPECT_EQ(text(item(kRibbon).pExtPush->pTitle), u"Printer/Ribbon Details");
  for (unsigned b : {3u, 10u, 11u, 12u, 13u}) {
    EXPECT_EQ(item(b).pOptType->Type, TVOT_PUSHBUTTON) << b;
    EXPECT_EQ(item(b).pOptType->Style, OTS_PUSH_ENABLE_ALWAYS) << b;
  }
  EXPECT_EQ(text(item(kFrontOverlay).pName), u"Front Overlay Varnish");
  EXPECT_EQ(item(kCopies).pOptType->Type, TVOT_UDARROW);
  EXPECT_EQ(item(kCopies).DMPubID, DMPUB_COPIES_COLLATE);
  EXPECT_EQ(item(kCopies).Sel, 1);
  for (unsigned i = 0; i < 16; ++i) {
    EXPECT_EQ(item(i).UserItemID, i);
    EXPECT_EQ(bool(item(i).Flags & OPTIF_CALLBACK), i != 0) << i;
  }
  EXPECT_EQ(choices(kLayout), V{u"Front YMCKO"});
  EXPECT_EQ(item(kRotation).pOptType->Count, 2);
  EXPECT_FALSE(disabled(kBothSides));
  finish(false);
}

// A YMCKO printer printing both sides: each layout, then the choices of the
// issue, applied: the record holds exactly those values.
TEST_F(Sheet, YmckoBothSidesApplied) {
  install(printerDefault(kRibbonYMCKO));
  const CardDevmode before = storedDefault();
  open();
  EXPECT_EQ(choose(kBothSides, 1), CPSUICB_ACTION_OPTIF_CHANGED);
  EXPECT_TRUE(item(kLayout).Flags & OPTIF_CHANGED);
  EXPECT_EQ(choices(kLayout), (V{u"Front YMCO, Back K", u"Front YMCKO, Back YMCKO", u"Front YMC, Back KO"}));
  EXPECT_EQ(item(kRotation).pOptType->Count, 4);

  choose(kLayout, 0);  // "Front YMCO, Back K"
  EXPECT_FALSE(disabled(kFrontOverlay));
  EXPECT_TRUE(disabled(kBackOverlay));
  EXPECT_TRUE(disabled(kBlackPanel));
  EXPECT_FALSE(disabled(kMono));
  choose(kLayout, 2);  // "Front YMC, Back KO"
  EXPECT_TRUE(disabled(kFrontOverlay));
  EXPECT_FALSE(disabled(kBackOverlay));
  EXPECT_TRUE(disabled(kBlackPanel));
  EXPECT_FALSE(disabled(kMono));
  choose(kMono, 0);    // diffusion
  choose(kLayout, 1);  // "Front YMCKO, Back YMCKO"
  EXPECT_FALSE(disabled(kFrontOverlay));
  EXPECT_FALSE(disabled(kBackOverlay));
  EXPECT_FALSE(disabled(kBlackPanel));
  EXPECT_TRUE(disabled(kMono));
  choose(kBlackPanel, 2);  // "Text Only"
  EXPECT_TRUE(disabled(kBlackBitmap));
  choose(kRotation, 3);  // "Front & Back"
  choose(kCopies, 3);
  EXPECT_EQ(finish(true), 1);

  EXPECT_EQ(out.record.signature, kRecordSignature);
  EXPECT_EQ(out.record.duplex, 1);
  EXPECT_EQ(out.record.dualSideLayout, 1);
  EXPECT_EQ(out.record.blackPanelMode, kBlackPanelTextOnly);
  EXPECT_EQ(out.record.monoConversion, kConvertDiffusion);
  EXPECT_EQ(out.record.rotate180, kRotateBoth);
  EXPECT_EQ(out.record.ribbonType, kRibbonYMCKO);
  DEVMODEW dm;
  std::memcpy(&dm, out.standard, sizeof out.standard);
  EXPECT_EQ(dm.dmCopies, 3);
  EXPECT_EQ(dm.dmOrientation, DMORIENT_LANDSCAPE);
  // Not the shell: the printer's default stays as it was.
  const CardDevmode after = storedDefault();
  EXPECT_EQ(std::memcmp(&after, &before, sizeof after), 0);
}

TEST_F(Sheet, CancelLeavesEverythingAndUndoRestores) {
  install(printerDefault(kRibbonYMCKO));
  CardDevmode in = printerDefault(kRibbonYMCKO);
  in.record.duplex = 1;
  in.record.rotate180 = kRotateBack;
  const CardDevmode inBefore = in;
  const CardDevmode defaultBefore = storedDefault();
  open(&in);
  EXPECT_EQ(item(kRotation).Sel, kRotateBack);
  choose(kBothSides, 0);  // one side: "Back" becomes "[None]"
  EXPECT_EQ(item(kRotation).Sel, kRotateNone);
  EXPECT_EQ(item(kRotation).pOptType->Count, 2);
  EXPECT_EQ(reason(CPSUICB_REASON_UNDO_CHANGES), CPSUICB_ACTION_OPTIF_CHANGED);
  EXPECT_EQ(item(kBothSides).Sel, 1);
  EXPECT_EQ(item(kRotation).Sel, kRotateBack);
  choose(kCopies, 0);  // below 1: stored as 1
  EXPECT_EQ(item(kCopies).Sel, 1);
  finish(false);  // cancelled: no apply, no result
  EXPECT_EQ(std::memcmp(&in, &inBefore, sizeof in), 0);
  EXPECT_EQ(out.record.signature, 0xABAB);
  const CardDevmode defaultAfter = storedDefault();
  EXPECT_EQ(std::memcmp(&defaultAfter, &defaultBefore, sizeof defaultAfter), 0);
}

TEST_F(Sheet, KrORibbonChangedByThePrinter) {
  ribbonReply = "17\x06";
  install(printerDefault(kRibbonYMCKO));
  winsim::scriptUser({u"Pellor Standard Printer", u"Ribbon changed to KrO.", winsim::UserChannel::Box});
  open();
  auto shown = winsim::shownMessages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, u"Ribbon changed to KrO.");
  EXPECT_EQ(shown[0].flags & (MB_SYSTEMMODAL | MB_SETFOREGROUND | MB_TOPMOST),
            UINT(MB_SYSTEMMODAL | MB_SETFOREGROUND | MB_TOPMOST));
  EXPECT_EQ(choices(kRibbon), V{u"KrO Ribbon"});
  EXPECT_FALSE(disabled(kFrontOverlay));
  EXPECT_TRUE(disabled(kBackOverlay));
  EXPECT_TRUE(disabled(kBlackPanel));
  EXPECT_FALSE(disabled(kMono));
  EXPECT_TRUE(disabled(kHologram));
  // The printer's default took the new ribbon (no DEVMODE of the caller).
  EXPECT_EQ(storedDefault().record.ribbonType, kRibbonKrO);
  choose(kBothSides, 1);
  EXPECT_FALSE(disabled(kBackOverlay));
  EXPECT_EQ(choices(kLayout), V{u"Front KrO, Back KrO"});
  finish(false);
}

TEST_F(Sheet, MonochromeRibbonOnTheLaminatingModel) {
  ribbonReply = "1\x06";
  model = "LX3 V2.0";
  CardDevmode defaults = printerDefault(kRibbonMonochrome);
  defaults.record.monoRibbonKind = kMonoHologram;
  install(defaults);
  open();
  EXPECT_EQ(choices(kRibbon), (V{u"K Resin", u"Scratch Off", u"Clear Varnish", u"Hologram / Varnish"}));
  EXPECT_EQ(item(kRibbon).Sel, 0);  // hologram kind reset to K resin
  EXPECT_FALSE(choiceDisabled(kRibbon, 1));
  EXPECT_TRUE(choiceDisabled(kRibbon, 2));
  EXPECT_TRUE(choiceDisabled(kRibbon, 3));
  EXPECT_FALSE(item(kRibbon).Flags & OPTIF_EXT_IS_EXTPUSH);
  EXPECT_FALSE(disabled(kMono));
  EXPECT_TRUE(disabled(kFrontOverlay));
  // "LX3" is neither single- nor dual-sided: both sides greyed and off.
  EXPECT_TRUE(disabled(kBothSides));
  EXPECT_EQ(item(kBothSides).Sel, 0);
  choose(kRibbon, 1);  // scratch off
  EXPECT_TRUE(disabled(kMono));
  EXPECT_EQ(choices(kLayout), V{u"Front Scratch Off"});
  finish(true);
  EXPECT_EQ(out.record.monoRibbonKind, kMonoScratchOff);
  EXPECT_EQ(out.record.duplex, 0);
}

TEST_F(Sheet, OneSidedModel) {
  model = "CA1 V1.0";
  CardDevmode defaults = printerDefault(kRibbonYMCKO);
  defaults.record.duplex = 1;
  defaults.record.rotate180 = kRotateBoth;
  install(defaults);
  open();
  EXPECT_TRUE(hidden(kBothSides));
  EXPECT_TRUE(hidden(kLayout));
  EXPECT_TRUE(hidden(kBackOverlay));
  EXPECT_EQ(text(item(kFrontOverlay).pName), u"Overlay Varnish");
  EXPECT_EQ(item(kRotation).Sel, kRotateFront);
  finish(true);
  EXPECT_EQ(out.record.duplex, 0);
  EXPECT_EQ(out.record.rotate180, kRotateFront);
  EXPECT_EQ(out.record.modelFamily[2], '1');
}

TEST_F(Sheet, ManualRibbonSelection) {
  encoderReply = "0\x06";  // no encoder
  ribbonReply = "17\x06";
  install(printerDefault(kRibbonYMCKO, kManualKrO));
  open();  // a manual choice: no ribbon message
  EXPECT_TRUE(winsim::shownMessages().empty());
  ASSERT_EQ(choices(kRibbon).size(), 10u);
  EXPECT_EQ(choices(kRibbon)[8], u"KrO");
  EXPECT_EQ(item(kRibbon).Sel, 8);
  EXPECT_FALSE(choiceDisabled(kMode, 1));  // a manual choice allows encoding
  choose(kRibbon, 0);                      // "YMCKOK"
  choose(kBothSides, 1);
  EXPECT_EQ(choices(kLayout).size(), 4u);
  choose(kLayout, 3);  // "Front YMCK, Back K": no overlay at all
  EXPECT_TRUE(disabled(kFrontOverlay));
  EXPECT_TRUE(disabled(kBackOverlay));
  choose(kMode, 1);  // encode only
  finish(true);
  EXPECT_EQ(out.record.ribbonId, kManualYMCKOK);
  EXPECT_EQ(out.record.ribbonType, kRibbonYMCKOK);
  EXPECT_EQ(out.record.hasEncoder, 1);
  EXPECT_EQ(out.record.jobMode, kJobEncodeOnly);
  EXPECT_EQ(out.record.dualSideLayout, 3);
}

TEST_F(Sheet, PrinterWithoutAnswer) {
  model = "";
  encoderReply = "";
  install(printerDefault(kRibbonYMCKO));
  open();
  EXPECT_TRUE(winsim::shownMessages().empty());
  EXPECT_EQ(choices(kRibbon), V{u"None"});
  EXPECT_TRUE(disabled(kBothSides));
  // The stored encoder flag stays as the printer's default has it.
  EXPECT_FALSE(choiceDisabled(kMode, 1));
  finish(true);
  EXPECT_EQ(out.record.ribbonType, kRibbonYMCKO);
  EXPECT_EQ(out.record.modelClass, 0);
}

// The push buttons open their dialogs over the sheet's record: what they
// set is in the result.
TEST_F(Sheet, DialogsEditTheSheetsRecord) {
  install(printerDefault(kRibbonYMCKO));
  open();
  winsim::DialogScript colour;
  colour.templateId = 109;
  colour.actions = {winsim::userMove(1902, 25)};
  colour.endButton = 1605;
  colour.times = 1;
  winsim::scriptDialog(colour);
  EXPECT_EQ(reason(CPSUICB_REASON_PUSHBUTTON, 3), CPSUICB_ACTION_NONE);
  winsim::DialogScript head;
  head.templateId = 107;
  head.actions = {winsim::userMove(1801, 9)};
  head.endButton = 1605;
  head.times = 1;
  winsim::scriptDialog(head);
  EXPECT_EQ(reason(CPSUICB_REASON_PUSHBUTTON, 13), CPSUICB_ACTION_NONE);
  const auto shown = winsim::shownDialogs();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].end, winsim::DialogEnd::Ended);
  EXPECT_EQ(shown[1].end, winsim::DialogEnd::Ended);
  for (const auto &d : winsim::takeDialogFaults()) ADD_FAILURE() << std::string(d.fault.begin(), d.fault.end());
  finish(true);
  EXPECT_EQ(out.record.cyanBrightness, 25);
  EXPECT_EQ(out.record.blackContrast, 9);
}

// SET_RESULT writes a whole card DEVMODE or nothing.
TEST_F(Sheet, ResultNeedsRoomForTheDevmode) {
  install(printerDefault(kRibbonYMCKO));
  open();
  header.cbOut = 4000;
  EXPECT_EQ(finish(true), 2);
  EXPECT_EQ(out.record.signature, 0xABAB);
}

// The shell's printing preferences: apply stores the settings as the
// printer's default too.
TEST_F(Sheet, ApplyInTheShellStoresThePrinterDefault) {
  install(printerDefault(kRibbonYMCKO));
  winsim::setProcessImageName(u"explorer.exe");
  open();
  choose(kBothSides, 1);
  choose(kLayout, 1);
  choose(kBlackPanel, 3);
  EXPECT_EQ(reason(CPSUICB_REASON_APPLYNOW), CPSUICB_ACTION_ITEMS_APPLIED);
  const CardDevmode stored = storedDefault();
  EXPECT_EQ(stored.record.duplex, 1);
  EXPECT_EQ(stored.record.blackPanelMode, kBlackPanelExceptColourPictures);
  finish(false);
}

// ------------------------------------------------------------ through the host
// The sheet as an application opens it: DocumentPropertiesW with a prompt,
// the common property sheet UI showing the page to the scripted user.

class HostedSheet : public Sheet {
 protected:
  LONG prompt(const CardDevmode *in, std::vector<winsim::SheetAction> actions,
              winsim::SheetEndButton end = winsim::SheetEndButton::Ok) {
    winsim::SheetScript script;
    script.title = u"Printing Preferences";
    script.actions = std::move(actions);
    script.end = end;
    script.times = 1;
    winsim::scriptSheet(script);
    std::memset(&out, 0xAB, sizeof out);
    return DocumentPropertiesW(nullptr, printer, const_cast<LPWSTR>(kPrinter), reinterpret_cast<DEVMODEW *>(&out),
                               reinterpret_cast<DEVMODEW *>(const_cast<CardDevmode *>(in)),
                               DM_IN_PROMPT | DM_OUT_BUFFER);
  }
  winsim::ShownSheet shown() {
    for (const auto &f : winsim::takeSheetFaults()) ADD_FAILURE() << std::string(f.fault.begin(), f.fault.end());
    auto all = winsim::shownSheets();
    EXPECT_EQ(all.size(), 1u);
    return all.empty() ? winsim::ShownSheet{} : all.back();
  }
};

TEST_F(HostedSheet, IssueScenarioApplied) {
  install(printerDefault(kRibbonYMCKO));
  const CardDevmode before = storedDefault();
  using namespace winsim;
  EXPECT_EQ(
      prompt(
          nullptr,
          {sheetChoose(u"Print on both sides", u"Yes"), sheetChoose(u"Front and Back", u"Front YMCO, Back K"),
           sheetChoose(u"Front and Back", u"Front YMC, Back KO"), sheetChoose(u"Monochrome Conversion", u"Diffusion"),
           sheetChoose(u"Front and Back", u"Front YMCKO, Back YMCKO"), sheetChoose(u"Black Panel", u"Text Only"),
           sheetChoose(u"180º Rotation", u"Front & Back"), sheetSetNumber(u"Copies", 3)},
          SheetEndButton::ApplyThenOk),
      IDOK);
  const ShownSheet s = shown();
  EXPECT_EQ(s.end, SheetEnd::Ok);
  ASSERT_EQ(s.pages.size(), 1u);
  const SheetPageRecord &page = s.pages[0];
  ASSERT_NE(page.item(u"Black Panel"), nullptr);
  EXPECT_FALSE(page.item(u"Black Panel", true)->disabled);
  EXPECT_TRUE(page.item(u"Monochrome Conversion", true)->disabled);
  EXPECT_EQ(page.item(u"Front and Back", true)->choices.size(), 3u);
  EXPECT_EQ(page.item(u"Ribbon Type")->extPushTitle.empty(), false);
  EXPECT_EQ(out.record.duplex, 1);
  EXPECT_EQ(out.record.dualSideLayout, 1);
  EXPECT_EQ(out.record.blackPanelMode, kBlackPanelTextOnly);
  EXPECT_EQ(out.record.monoConversion, kConvertDiffusion);
  EXPECT_EQ(out.record.rotate180, kRotateBoth);
  DEVMODEW dm;
  std::memcpy(&dm, out.standard, sizeof out.standard);
  EXPECT_EQ(dm.dmCopies, 3);
  const CardDevmode after = storedDefault();
  EXPECT_EQ(std::memcmp(&after, &before, sizeof after), 0);
}

TEST_F(HostedSheet, CancelLeavesTheDevmodeAndTheDefault) {
  install(printerDefault(kRibbonYMCKO));
  const CardDevmode before = storedDefault();
  CardDevmode in = printerDefault(kRibbonYMCKO);
  const CardDevmode inBefore = in;
  using namespace winsim;
  EXPECT_EQ(
      prompt(&in,
             {sheetChoose(u"Print on both sides", u"Yes"), sheetChoose(u"Front and Back", u"Front YMCKO, Back YMCKO"),
              sheetChoose(u"Black Panel", u"Text Only")},
             SheetEndButton::Cancel),
      IDCANCEL);
  EXPECT_EQ(shown().end, SheetEnd::Cancelled);
  EXPECT_EQ(out.record.signature, 0xABAB);
  EXPECT_EQ(std::memcmp(&in, &inBefore, sizeof in), 0);
  const CardDevmode after = storedDefault();
  EXPECT_EQ(std::memcmp(&after, &before, sizeof after), 0);
}

TEST_F(HostedSheet, UndoRestoresTheRecord) {
  install(printerDefault(kRibbonYMCKO));
  using namespace winsim;
  EXPECT_EQ(prompt(nullptr, {sheetChoose(u"Print on both sides", u"Yes"),
                             sheetChoose(u"Front and Back", u"Front YMCKO, Back YMCKO"),
                             sheetChoose(u"Black Panel", u"Text Only"), sheetRevert()}),
            IDOK);
  shown();
  EXPECT_EQ(out.record.signature, kRecordSignature);
  EXPECT_EQ(out.record.duplex, 0);
  EXPECT_EQ(out.record.blackPanelMode, kBlackPanelAlways);
}

TEST_F(HostedSheet, DependencyRules) {
  using namespace winsim;
  // KrO: overlay on the front only until both sides print; no black panel.
  ribbonReply = "17\x06";
  install(printerDefault(kRibbonYMCKO));
  scriptUser({u"Pellor Standard Printer", u"Ribbon changed to KrO.", UserChannel::Box});
  EXPECT_EQ(prompt(nullptr, {sheetChoose(u"Print on both sides", u"Yes")}), IDOK);
  ShownSheet s = shown();
  const SheetPageRecord &page = s.pages.at(0);
  EXPECT_TRUE(page.item(u"Back Overlay Varnish")->disabled);
  EXPECT_FALSE(page.item(u"Back Overlay Varnish", true)->disabled);
  EXPECT_TRUE(page.item(u"Black Panel")->disabled);
  EXPECT_EQ(out.record.ribbonType, kRibbonKrO);

  // A monochrome ribbon on the laminating model: no varnish or hologram kind.
  ribbonReply = "1\x06";
  model = "LX3 V2.0";
  install(printerDefault(kRibbonMonochrome));
  EXPECT_EQ(prompt(nullptr, {sheetChoose(u"Ribbon Type", u"Scratch Off")}), IDOK);
  s = shown();
  const SheetItemRecord *ribbon = s.pages.at(0).item(u"Ribbon Type");
  ASSERT_NE(ribbon, nullptr);
  ASSERT_EQ(ribbon->choiceDisabled.size(), 4u);
  EXPECT_TRUE(ribbon->choiceDisabled[2] && ribbon->choiceDisabled[3]);
  EXPECT_TRUE(s.pages.at(0).item(u"Print on both sides")->disabled);
  EXPECT_EQ(out.record.monoRibbonKind, kMonoScratchOff);

  // A one-sided model: no second side at all.
  ribbonReply = "2\x06";
  model = "CA1 V1.0";
  install(printerDefault(kRibbonYMCKO));
  EXPECT_EQ(prompt(nullptr, {}), IDOK);
  s = shown();
  EXPECT_TRUE(s.pages.at(0).item(u"Print on both sides")->hidden);
  EXPECT_TRUE(s.pages.at(0).item(u"Back Overlay Varnish")->hidden);
  EXPECT_NE(s.pages.at(0).item(u"Overlay Varnish"), nullptr);

  // A manual ribbon choice: the list of ten, and encoding allowed.
  model = "CA3 V1.2";
  encoderReply = "0\x06";
  install(printerDefault(kRibbonYMCKO, kManualKrO));
  EXPECT_EQ(prompt(nullptr, {sheetChoose(u"Ribbon Type", u"YMCKOK"), sheetChoose(u"Printing Mode", u"Encode Only")}),
            IDOK);
  s = shown();
  EXPECT_EQ(s.pages.at(0).item(u"Ribbon Type")->choices.size(), 10u);
  EXPECT_EQ(out.record.ribbonType, kRibbonYMCKOK);
  EXPECT_EQ(out.record.jobMode, kJobEncodeOnly);
}

}  // namespace
