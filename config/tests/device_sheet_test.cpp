// The device property page as the common property sheet UI meets it: the
// installed module's DrvDevicePropertySheets called with a ComPropSheet
// function of the test's that takes the page, and the page's push buttons
// and callback worked as the common UI works them.  The printer's answers
// come from the emulated printer through the port's responder.
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>
#include <winsim/testing.h>

#include <compstui.h>
#include <winddiui.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/dialogs/device_ids.h"
#include "config/dialogs/files_ids.h"
#include "config/dialogs/tools_ids.h"
#include "config/encoder_setup.h"
#include "emulator/include/cardemu/printer.h"
#include "shared/job_settings.h"
#include "shared/query_command.h"

namespace card::cfg {
namespace {

const char16_t kPrinter[] = u"Pellor CA3 Card Printer USB";
const char16_t kPort[] = u"CARD003";

using SheetsFn = LONG(WINAPI *)(PROPSHEETUI_INFO *, LPARAM);
using PrinterPropertiesFn = BOOL(WINAPI *)(HWND, HANDLE);

// The printing system's PrinterProperties, from winspool itself: the
// module's code linked into this test has a function of that name too.
BOOL printerProperties(HWND owner, HANDLE printer) {
  HMODULE spool = LoadLibraryW(u"winspool.drv");
  auto fn = spool ? reinterpret_cast<PrinterPropertiesFn>(
                        reinterpret_cast<void (*)()>(GetProcAddress(spool, "PrinterProperties")))
                  : nullptr;
  EXPECT_NE(fn, nullptr);
  const BOOL ok = fn ? fn(owner, printer) : FALSE;
  if (spool) FreeLibrary(spool);
  return ok;
}

std::string esc(const std::string &text) { return "\x1b" + text + "\r"; }

std::u16string wide(LPCWSTR text) {
  std::u16string s;
  for (; text && *text; ++text) s.push_back(char16_t(*text));
  return s;
}

// What the common UI was given.
struct Host {
  COMPROPSHEETUI ui{};
  int adds = 0;
  LONG_PTR answer = 1;
};
Host *g_host = nullptr;

LONG_PTR CALLBACK comPropSheet(HANDLE, UINT function, LPARAM lParam1, LPARAM) {
  if (function != CPSFUNC_ADD_PCOMPROPSHEETUIW || !g_host) return 0;
  g_host->ui = *reinterpret_cast<const COMPROPSHEETUI *>(lParam1);
  ++g_host->adds;
  return g_host->answer;
}

class DeviceSheet : public ::testing::Test {
 protected:
  cardemu::Printer emu{[] {
    cardemu::PrinterConfig c;
    c.model = "CA3";
    c.firmware = "V3.02";
    return c;
  }()};
  std::vector<std::string> queries;
  bool silent = false;
  HMODULE module = nullptr;
  HANDLE printer = nullptr;
  std::filesystem::path files;
  Host host;
  DEVICEPROPERTYHEADER header{};
  PROPSHEETUI_INFO info{};
  SheetsFn sheets = nullptr;

  void install(uint16_t ribbonId) {
    winsim::resetMachine();
    winsim::setClockScale(1000.0);
    g_host = &host;
    ASSERT_TRUE(winsim::addTestPort(kPort));
    winsim::setPortResponder(kPort, [this](const std::u16string &name, std::vector<uint8_t> &out) {
      char cmd[128];
      size_t n = decodeQueryCommand(reinterpret_cast<LPCWSTR>(name.c_str()), name.size() + 1, cmd, sizeof cmd);
      queries.emplace_back(cmd, n);
      if (silent) return false;
      emu.readAll();
      emu.write(std::string(cmd, n) + esc("E 2"));
      const std::string r = emu.readAll();
      out.assign(r.begin(), r.end());
      return true;
    });
    files = std::filesystem::temp_directory_path() / ("cardcfg_devsheet_" + std::to_string(::getpid()));
    std::filesystem::create_directories(files);
    std::ofstream(files / "cardrend.dll").put('\0');
    CardDevmode dm{};
    fillDefaultStandardPart(dm.standard);
    dm.record.signature = kRecordSignature;
    dm.record.ribbonId = ribbonId;
    writeEncoderBlock(dm.record, defaultEncoderBlock());
    winsim::PrinterSetup setup;
    setup.printerName = kPrinter;
    setup.driverName = u"Pellor Standard Printer";
    setup.configDll = CARDCFG_DLL;
    setup.graphicsDll = (files / "cardrend.dll").string();
    setup.portName = kPort;
    setup.defaultDevMode.resize(sizeof dm);
    std::memcpy(setup.defaultDevMode.data(), &dm, sizeof dm);
    ASSERT_TRUE(winsim::installPrinter(setup));
    module = LoadLibraryW(u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\cardcfg.dll");
    ASSERT_NE(module, nullptr);
    sheets =
        reinterpret_cast<SheetsFn>(reinterpret_cast<void (*)()>(GetProcAddress(module, "DrvDevicePropertySheets")));
    ASSERT_NE(sheets, nullptr);
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer, nullptr));
    winsim::UserScript wait;
    wait.caption = u" Pellor Printer Settings ";
    wait.timing = winsim::AnswerTiming::LeaveOpen;
    winsim::scriptUser(wait);
  }

  LONG open() {
    header.cbSize = sizeof header;
    header.hPrinter = printer;
    header.pszPrinterName = const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(kPrinter));
    info.cbSize = sizeof info;
    info.Version = PROPSHEETUI_INFO_VERSION;
    info.Flags = PSUIINFO_UNICODE;
    info.Reason = PROPSHEETUI_REASON_INIT;
    info.hComPropSheet = reinterpret_cast<HANDLE>(uintptr_t(0x1234));
    info.pfnComPropSheet = comPropSheet;
    info.lParamInit = reinterpret_cast<LPARAM>(&header);
    return sheets(&info, info.lParamInit);
  }
  LONG close() {
    info.Reason = PROPSHEETUI_REASON_DESTROY;
    return sheets(&info, 1);
  }

  void TearDown() override {
    for (const auto &d : winsim::takeDialogFaults())
      ADD_FAILURE() << "dialog " << d.templateId << ": " << winsim::toUtf8(d.fault);
    for (const auto &m : winsim::takeMessageFaults()) ADD_FAILURE() << "message " << winsim::toUtf8(m.caption);
    for (const auto &sh : winsim::takeSheetFaults()) ADD_FAILURE() << "sheet " << winsim::toUtf8(sh.fault);
    if (printer) ClosePrinter(printer);
    if (module) FreeLibrary(module);
    g_host = nullptr;
    winsim::resetMachine();
    if (!files.empty()) std::filesystem::remove_all(files);
  }

  const OPTITEM &item(int n) const { return host.ui.pOptItem[n]; }
  LONG callback(WORD reason, int itemNumber) {
    CPSUICBPARAM p{};
    p.cbSize = sizeof p;
    p.Reason = reason;
    p.pOptItem = host.ui.pOptItem;
    p.cOptItem = host.ui.cOptItem;
    p.pCurItem = host.ui.pOptItem + itemNumber;
    p.UserData = host.ui.UserData;
    return host.ui.pfnCallBack(&p);
  }
  // A push button of the dialog procedure kind, pressed as the common UI
  // presses it.
  INT_PTR press(int itemNumber) {
    const OPTPARAM &p = item(itemNumber).pOptType->pOptParam[0];
    EXPECT_EQ(p.Style, PUSHBUTTON_TYPE_DLGPROC);
    CPSUICBPARAM cb{};
    cb.cbSize = sizeof cb;
    cb.Reason = CPSUICB_REASON_DLGPROC;
    cb.pOptItem = host.ui.pOptItem;
    cb.cOptItem = host.ui.cOptItem;
    cb.pCurItem = host.ui.pOptItem + itemNumber;
    cb.UserData = host.ui.UserData;
    auto proc = reinterpret_cast<DLGPROC>(reinterpret_cast<uintptr_t>(p.pData));
    return DialogBoxParamW(host.ui.hInstCaller, MAKEINTRESOURCEW(WORD(p.lParam)), nullptr, proc,
                           reinterpret_cast<LPARAM>(&cb));
  }
  JobSettingsRecord storedRecord() {
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> buf(needed + 16);
    CardDevmode dm{};
    if (GetPrinterW(printer, 2, buf.data(), needed, &needed)) {
      const auto *pi = reinterpret_cast<const PRINTER_INFO_2W *>(buf.data());
      if (pi->pDevMode) std::memcpy(&dm, pi->pDevMode, sizeof dm);
    }
    return dm.record;
  }
};

TEST_F(DeviceSheet, PageOfAnAnsweringPrinter) {
  install(0);
  ASSERT_EQ(open(), 1);
  EXPECT_EQ(info.Result, 0u);
  ASSERT_EQ(host.adds, 1);
  const COMPROPSHEETUI &ui = host.ui;
  EXPECT_EQ(ui.cbSize, sizeof(COMPROPSHEETUI));
  EXPECT_EQ(ui.Flags, CPSUIF_UPDATE_PERMISSION | CPSUIF_ABOUT_CALLBACK);
  EXPECT_EQ(wide(ui.pCallerName), u"Pellor Standard Printer");
  EXPECT_EQ(wide(ui.pOptItemName), u"Pellor Standard Printer");
  EXPECT_EQ(ui.pHelpFile, nullptr);
  EXPECT_EQ(ui.pDlgPage, CPSUI_PDLGPAGE_PRINTERPROP);
  EXPECT_EQ(ui.CallerVersion, 0x0400);
  EXPECT_EQ(ui.OptItemVersion, 0x0400);
  EXPECT_EQ(ui.hInstCaller, module);
  ASSERT_EQ(ui.cOptItem, 7);

  const char16_t *names[] = {u"Printer Model/Firmware Version",
                             u"Encoder Settings",
                             u"Tools",
                             u"F/W Download",
                             u"Device Information",
                             u"Single Feed",
                             u"About"};
  for (int i = 0; i < 7; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(wide(item(i).pName), names[i]);
    EXPECT_EQ(item(i).Level, 0);
    EXPECT_EQ(item(i).UserItemID, i);
    EXPECT_EQ(item(i).Flags & (OPTIF_DISABLED | OPTIF_HIDE), 0u);
    EXPECT_EQ(item(i).pOptType->Type, i == 0 ? TVOT_LISTBOX : TVOT_PUSHBUTTON);
  }
  ASSERT_EQ(item(0).pOptType->Count, 1);
  EXPECT_EQ(wide(item(0).pOptType->pOptParam[0].pData), u"CA3 MAG V3.02");
  // Buttons that open dialogs name their templates.
  const int templates[] = {0, IDD_ENCODER, IDD_TOOLS, IDD_FIRMWARE, IDD_DEVICE_INFO, IDD_SINGLE_FEED, IDD_ABOUT};
  for (int i = 1; i < 7; ++i) {
    const OPTPARAM &p = item(i).pOptType->pOptParam[0];
    EXPECT_EQ(p.Style, templates[i] ? PUSHBUTTON_TYPE_DLGPROC : PUSHBUTTON_TYPE_CALLBACK) << i;
    if (templates[i]) {
      EXPECT_EQ(p.lParam, templates[i]) << i;
    }
  }
  EXPECT_NE(item(4).pOptType->Style & OTS_PUSH_ENABLE_ALWAYS, 0);
  EXPECT_EQ(item(1).pOptType->Style & OTS_PUSH_ENABLE_ALWAYS, 0);
  const std::vector<std::string> asked = {esc("!V 20"), esc("V")};
  EXPECT_EQ(queries, asked);

  EXPECT_EQ(callback(CPSUICB_REASON_SEL_CHANGED, 0), CPSUICB_ACTION_OPTIF_CHANGED);
  EXPECT_EQ(callback(CPSUICB_REASON_PUSHBUTTON, 2), CPSUICB_ACTION_NONE);
  EXPECT_EQ(callback(CPSUICB_REASON_OPTITEM_SETFOCUS, 1), CPSUICB_ACTION_NONE);
  winsim::scriptDialog({u"", IDD_ABOUT, {}, IDOK, 1});
  EXPECT_EQ(callback(CPSUICB_REASON_ABOUT, 0), CPSUICB_ACTION_ITEMS_APPLIED);

  info.Reason = PROPSHEETUI_REASON_SET_RESULT;
  SETRESULT_INFO result{sizeof(SETRESULT_INFO), 0, nullptr, CPSUI_OK};
  EXPECT_EQ(sheets(&info, reinterpret_cast<LPARAM>(&result)), -1);
  info.Reason = PROPSHEETUI_REASON_GET_ICON;
  EXPECT_EQ(sheets(&info, 0), 0);
  EXPECT_EQ(close(), 1);
}

TEST_F(DeviceSheet, EncoderButtonAppliesAndThePageStoresTheBlock) {
  install(0);
  ASSERT_EQ(open(), 1);
  winsim::scriptDialog({u"",
                        IDD_ENCODER,
                        {winsim::userClick(IDC_TYPE_AAMVA), winsim::userClick(IDC_COERCIVITY_LOW)},
                        IDC_ENCODER_APPLY,
                        1});
  EXPECT_EQ(press(1), IDOK);
  EXPECT_EQ(callback(CPSUICB_REASON_DLGPROC, 1), CPSUICB_ACTION_OPTIF_CHANGED);
  std::vector<std::string> sent;
  for (const auto &j : winsim::printJobs(kPrinter))
    if (j.document == u"XLINEENCODER") sent.emplace_back(j.bytes.begin(), j.bytes.end());
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0], esc("&W 0") + esc("&C 0") + esc("&CDEW 1 A") + esc("&CDER 1 Q") + esc("&CDEW 2 B") +
                         esc("&CDER 2 R") + esc("&CDEW 3 c1") + esc("&CDER 3 s1"));
  emu.write(sent[0]);
  EXPECT_EQ(emu.state().error, 0);
  EXPECT_EQ(emu.state().writeFormat[2], "c1");
  JobSettingsRecord r = storedRecord();
  EXPECT_EQ(r.encoderType, kEncoderAamva);
  EXPECT_EQ(r.coercivity, kCoercivityLow);

  // The page's own apply stores the master block again, whatever the
  // default holds by then.
  {
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> buf(needed);
    ASSERT_TRUE(GetPrinterW(printer, 2, buf.data(), needed, &needed));
    auto *pi = reinterpret_cast<PRINTER_INFO_2W *>(buf.data());
    auto *rec = reinterpret_cast<JobSettingsRecord *>(reinterpret_cast<BYTE *>(pi->pDevMode) + kStandardPartSize);
    rec->encoderType = kEncoderIsoJis;
    rec->varnishContrast = 9;
    ASSERT_TRUE(SetPrinterW(printer, 2, buf.data(), 0));
  }
  EXPECT_EQ(callback(CPSUICB_REASON_APPLYNOW, 0), CPSUICB_ACTION_ITEMS_APPLIED);
  r = storedRecord();
  EXPECT_EQ(r.encoderType, kEncoderAamva);
  EXPECT_EQ(r.hasEncoder, kSettingOn);
  EXPECT_EQ(r.varnishContrast, 9);  // only the encoder block is written
  EXPECT_EQ(close(), 1);
}

TEST_F(DeviceSheet, SilentPrinterDisablesEncoderAndFirmware) {
  install(0);
  silent = true;
  ASSERT_EQ(open(), 1);
  EXPECT_EQ(wide(item(0).pOptType->pOptParam[0].pData), u"Pellor Standard Printer");
  EXPECT_NE(item(1).Flags & OPTIF_DISABLED, 0u);
  EXPECT_NE(item(3).Flags & OPTIF_DISABLED, 0u);
  for (int i : {2, 4, 5, 6}) EXPECT_EQ(item(i).Flags & OPTIF_DISABLED, 0u) << i;
  // The device information still opens, and shows what a silent printer
  // gives.
  winsim::scriptDialog({u"", IDD_DEVICE_INFO, {}, IDC_CLOSE_BUTTON, 1});
  EXPECT_EQ(press(4), IDOK);
  auto shown = winsim::shownDialogs();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].control(IDC_INFO_RIBBON)->text, u"Unknown");
  EXPECT_EQ(shown[0].control(IDC_INFO_REMAINING)->text, u"N/A");
  EXPECT_EQ(close(), 1);
}

TEST_F(DeviceSheet, FirmwareButtonOpensTheDownloadPage) {
  install(0);
  ASSERT_EQ(open(), 1);
  winsim::scriptDialog({u"", IDD_FIRMWARE, {}, IDCANCEL, 1});
  EXPECT_EQ(press(3), IDOK);
  auto shown = winsim::shownDialogs();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].templateId, IDD_FIRMWARE);
  EXPECT_EQ(shown[0].end, winsim::DialogEnd::Ended);
  EXPECT_EQ(close(), 1);
}

TEST_F(DeviceSheet, ManualRibbonAsksNothing) {
  install(3);
  ASSERT_EQ(open(), 1);
  EXPECT_TRUE(queries.empty());
  EXPECT_EQ(wide(item(0).pOptType->pOptParam[0].pData), u"Pellor Standard Printer");
  for (int i = 1; i < 7; ++i) EXPECT_EQ(item(i).Flags & OPTIF_DISABLED, 0u) << i;
  EXPECT_EQ(close(), 1);
}

TEST_F(DeviceSheet, PageTheSheetRefuses) {
  install(0);
  host.answer = 0;
  EXPECT_EQ(open(), -1);
  EXPECT_EQ(info.Result, ULONG_PTR(-1));
  EXPECT_EQ(close(), 1);
}

// ------------------------------------------------------------ the common property sheet
// The page as the user meets it: PrinterProperties shows the sheet through
// the common property sheet UI, and the user works its buttons.

TEST_F(DeviceSheet, PrinterPropertiesWorkedByTheUser) {
  install(0);
  winsim::scriptDialog({u"", IDD_ENCODER, {winsim::userClick(IDC_TYPE_JIS2)}, IDC_ENCODER_APPLY, 1});
  winsim::scriptDialog({u"", IDD_DEVICE_INFO, {}, IDC_CLOSE_BUTTON, 1});
  winsim::scriptDialog({u"", IDD_ABOUT, {}, IDOK, 1});
  winsim::scriptDialog({u"", IDD_TOOLS, {}, IDC_TOOLS_CLOSE, 1});
  winsim::scriptSheet({u"",
                       {winsim::sheetPush(u"Encoder Settings"), winsim::sheetPush(u"Device Information"),
                        winsim::sheetPush(u"Tools"), winsim::sheetAbout()},
                       winsim::SheetEndButton::ApplyThenOk,
                       1});
  printerProperties(nullptr, printer);
  auto sheets = winsim::shownSheets();
  ASSERT_EQ(sheets.size(), 1u);
  const winsim::ShownSheet &sheet = sheets[0];
  EXPECT_EQ(sheet.end, winsim::SheetEnd::Ok) << winsim::toUtf8(sheet.fault);
  ASSERT_EQ(sheet.pages.size(), 1u);
  const auto &page = sheet.pages[0];
  ASSERT_EQ(page.items.size(), 7u);
  const auto *model = page.item(u"Printer Model/Firmware Version");
  ASSERT_NE(model, nullptr);
  ASSERT_EQ(model->choices.size(), 1u);
  EXPECT_EQ(model->choices[0], u"CA3 MAG V3.02");
  for (const char16_t *name :
       {u"Encoder Settings", u"Tools", u"F/W Download", u"Device Information", u"Single Feed", u"About"}) {
    const auto *i = page.item(name);
    ASSERT_NE(i, nullptr) << winsim::toUtf8(name);
    EXPECT_EQ(i->kind, TVOT_PUSHBUTTON);
    EXPECT_FALSE(i->disabled);
  }

  // The encoder dialog set the printer up for JIS2 and stored the block;
  // the sheet's apply stored it again.
  std::vector<std::string> sent;
  for (const auto &j : winsim::printJobs(kPrinter))
    if (j.document == u"XLINEENCODER") sent.emplace_back(j.bytes.begin(), j.bytes.end());
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0], esc("&CDEW 1 A") + esc("&CDER 1 Q"));
  EXPECT_EQ(storedRecord().encoderType, kEncoderJis2);
  bool devinfo = false;
  for (const auto &d : winsim::shownDialogs())
    if (d.templateId == IDD_DEVICE_INFO) {
      devinfo = true;
      EXPECT_EQ(d.control(IDC_INFO_MODEL)->text, u"CA3 MAG V3.02");
    }
  EXPECT_TRUE(devinfo);
  const auto dialogs = winsim::shownDialogs();
  EXPECT_EQ(std::count_if(dialogs.begin(), dialogs.end(),
                          [](const winsim::ShownDialog &d) { return d.templateId == IDD_TOOLS; }),
            1);
  const std::vector<int> &reasons = sheet.callbackReasons;
  EXPECT_NE(std::find(reasons.begin(), reasons.end(), CPSUICB_REASON_APPLYNOW), reasons.end());
  EXPECT_NE(std::find(reasons.begin(), reasons.end(), CPSUICB_REASON_ABOUT), reasons.end());
  ASSERT_FALSE(sheet.sheetReasons.empty());
  EXPECT_EQ(sheet.sheetReasons.front(), PROPSHEETUI_REASON_INIT);
  EXPECT_EQ(sheet.sheetReasons.back(), PROPSHEETUI_REASON_DESTROY);
}

TEST_F(DeviceSheet, PrinterPropertiesOfASilentPrinter) {
  install(0);
  silent = true;
  winsim::scriptSheet({u"", {}, winsim::SheetEndButton::Cancel, 1});
  printerProperties(nullptr, printer);
  auto sheets = winsim::shownSheets();
  ASSERT_EQ(sheets.size(), 1u);
  ASSERT_EQ(sheets[0].pages.size(), 1u);
  const auto &page = sheets[0].pages[0];
  ASSERT_NE(page.item(u"Printer Model/Firmware Version"), nullptr);
  EXPECT_EQ(page.item(u"Printer Model/Firmware Version")->choices.at(0), u"Pellor Standard Printer");
  EXPECT_TRUE(page.item(u"Encoder Settings")->disabled);
  EXPECT_TRUE(page.item(u"F/W Download")->disabled);
  EXPECT_FALSE(page.item(u"Single Feed")->disabled);
  // Nothing was stored by a cancelled sheet.
  EXPECT_EQ(storedRecord().hasEncoder, kSettingOff);
}

}  // namespace
}  // namespace card::cfg
