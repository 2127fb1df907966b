// The device dialogs worked by winsim's scripted user against the emulated
// printer: the port's questions are put to the emulated printer as the
// language monitor puts them (the command, then the error report request),
// and the raw jobs the dialogs send are fed to it afterwards, so that what it
// made of the bytes is checked too.  The dialogs run from this test's copy
// of the module's code, with the installed module's resources.
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>
#include <winsim/testing.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "config/device_common.h"
#include "config/dialogs.h"
#include "config/dialogs/device_ids.h"
#include "config/encoder_setup.h"
#include "config/module_state.h"
#include "config/tests/emulated_printer_fixture.h"
#include "emulator/include/cardemu/printer.h"
#include "shared/job_settings.h"
#include "shared/query_command.h"

namespace card::cfg {
namespace {

const char16_t kPrinter[] = u"Pellor CA3 Card Printer USB";
const char16_t kPort[] = u"CARD002";
const char16_t kWaitCaption[] = u" Pellor Printer Settings ";

std::string esc(const std::string &text) { return "\x1b" + text + "\r"; }
std::u16string ascii16(const std::string &text) { return std::u16string(text.begin(), text.end()); }

cardemu::PrinterConfig emulatedPrinter() {
  cardemu::PrinterConfig c;
  c.model = "CA3";
  c.firmware = "V3.02";
  c.smartCard = "0iD";
  c.serial = "EMU20240001";
  c.ribbonCode = 2;
  c.ribbonRemaining = 250;
  c.headResistance = 1250;
  return c;
}

class DeviceDialogs : public ::testing::Test {
 protected:
  cardemu::Printer emu{emulatedPrinter()};
  std::mutex lock;
  std::vector<std::string> queries;
  bool silent = false;
  HMODULE module = nullptr;
  HANDLE printer = nullptr;
  std::filesystem::path files;

  // The printer's default: a record whose encoder block is the built-in one.
  static std::vector<uint8_t> printerDefault(uint16_t ribbonId) {
    CardDevmode dm{};
    fillDefaultStandardPart(dm.standard);
    dm.record.signature = kRecordSignature;
    dm.record.ribbonType = kRibbonYMCKO;
    dm.record.ribbonId = ribbonId;
    dm.record.varnishContrast = 7;
    EncoderBlock b = defaultEncoderBlock();
    b.hasEncoder = kSettingOn;
    writeEncoderBlock(dm.record, b);
    std::vector<uint8_t> bytes(sizeof dm);
    std::memcpy(bytes.data(), &dm, sizeof dm);
    return bytes;
  }

  void install(uint16_t ribbonId = 0) {
    winsim::resetMachine();
    winsim::setClockScale(1000.0);
    ASSERT_TRUE(winsim::addTestPort(kPort));
    winsim::setPortResponder(kPort, [this](const std::u16string &name, std::vector<uint8_t> &out) {
      char cmd[128];
      size_t n = decodeQueryCommand(reinterpret_cast<LPCWSTR>(name.c_str()), name.size() + 1, cmd, sizeof cmd);
      const std::string c(cmd, n);
      std::lock_guard<std::mutex> g(lock);
      queries.push_back(c);
      if (silent) return false;
      emu.readAll();
      emu.write(c + esc("E 2"));
      const std::string r = emu.readAll();
      out.assign(r.begin(), r.end());
      return true;
    });
    files = std::filesystem::temp_directory_path() / ("cardcfg_devdlg_" + std::to_string(::getpid()));
    std::filesystem::create_directories(files);
    std::ofstream(files / "cardrend.dll").put('\0');
    // The default settings file: a whole record whose encoder texts differ
    // from the built-in defaults, so that "Restore Defaults" shows its source.
    JobSettingsRecord defaults{};
    defaults.signature = kRecordSignature;
    EncoderBlock db = defaultEncoderBlock();
    setEncoderText(db.startOfData, "%%", 2);
    db.trackFormat[1].density = kDensity210Bpi;
    writeEncoderBlock(defaults, db);
    std::ofstream(files / "carddefaults.dat", std::ios::binary)
        .write(reinterpret_cast<const char *>(&defaults), sizeof defaults);
    winsim::PrinterSetup setup;
    setup.printerName = kPrinter;
    setup.driverName = u"Pellor Standard Printer";
    setup.configDll = CARDCFG_DLL;
    setup.graphicsDll = (files / "cardrend.dll").string();
    setup.dataFile = (files / "carddefaults.dat").string();
    setup.portName = kPort;
    setup.defaultDevMode = printerDefault(ribbonId);
    ASSERT_TRUE(winsim::installPrinter(setup));
    // The package's ribbon names beside the driver.
    std::filesystem::copy_file(std::filesystem::path(CARD_PACKAGE_DIR) / "cardribbon.INI",
                               winsim::hostPath(u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\cardribbon.INI"),
                               std::filesystem::copy_options::overwrite_existing);
    openWithModule(kPrinter, module, printer);
    ModuleState &st = state();
    std::memcpy(st.printerName, kPrinter, sizeof kPrinter);
    st.current = nullptr;
    st.currentRecord = nullptr;
    std::strcpy(st.modelText, "CA3 0iD MAG V3.02");
    loadMasterEncoderBlock(storedDefault().record);
    // The wait message stays up until the dialog closes it.
    winsim::UserScript wait;
    wait.caption = kWaitCaption;
    wait.timing = winsim::AnswerTiming::LeaveOpen;
    winsim::scriptUser(wait);
  }

  void TearDown() override {
    failOnUnscriptedUi();
    if (printer) ClosePrinter(printer);
    state().printer = nullptr;
    if (module) FreeLibrary(module);
    winsim::resetMachine();
    if (!files.empty()) std::filesystem::remove_all(files);
  }

  CardDevmode storedDefault() {
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> info(needed + 16);
    CardDevmode dm{};
    if (!GetPrinterW(printer, 2, info.data(), needed, &needed)) return dm;
    const auto *pi = reinterpret_cast<const PRINTER_INFO_2W *>(info.data());
    if (pi->pDevMode) std::memcpy(&dm, pi->pDevMode, sizeof dm);
    return dm;
  }

  // The raw jobs of one document name, each as the bytes the spooler got.
  std::vector<std::string> jobs(const std::u16string &document) {
    std::vector<std::string> out;
    for (const auto &j : winsim::printJobs(kPrinter))
      if (j.document == document) out.emplace_back(j.bytes.begin(), j.bytes.end());
    return out;
  }

  size_t waitMessages() {
    size_t n = 0;
    for (const auto &m : winsim::shownMessages())
      if (m.caption == kWaitCaption && m.text == u"Applying printer settings. Please wait...") ++n;
    return n;
  }
};

// ------------------------------------------------------------ device information

TEST_F(DeviceDialogs, DeviceInformationFromTheEmulatedPrinter) {
  install();
  winsim::scriptDialog({u"", IDD_DEVICE_INFO, {}, IDC_CLOSE_BUTTON, 1});
  EXPECT_EQ(showDeviceInfoDialog(nullptr), IDOK);
  auto shown = dialogsOf(IDD_DEVICE_INFO);
  ASSERT_EQ(shown.size(), 1u);
  const auto &d = shown[0];
  EXPECT_EQ(d.end, winsim::DialogEnd::Ended);
  // The ribbon's name from the package's table, by the printer's code.
  EXPECT_EQ(textAtOpen(d, IDC_INFO_RIBBON), u"YMCKO");
  EXPECT_EQ(textAtOpen(d, IDC_INFO_REMAINING), u"250");
  EXPECT_EQ(textAtOpen(d, IDC_INFO_MODEL), u"CA3 0iD MAG V3.02");
  EXPECT_EQ(textAtOpen(d, IDC_INFO_SERIAL), u"EMU20240001");
  EXPECT_EQ(textAtOpen(d, IDC_INFO_ENCODER), u"Yes");
  EXPECT_EQ(textAtOpen(d, IDC_INFO_SMART_CARD), u"Contact Encoder and MIFARE");
  EXPECT_EQ(textAtOpen(d, IDC_INFO_PANELS), ascii16(std::to_string(emu.state().panelsPrinted)));
  EXPECT_EQ(textAtOpen(d, IDC_INFO_HEAD_RESISTANCE), u"1250 ");
  EXPECT_EQ(textAtOpen(d, IDC_INFO_VENDOR), u"Ostrand");
  const std::vector<std::string> asked = {esc("!RIBBON"), esc("!RIBLEN"), esc("!V 15"), esc("!V 20"),
                                          esc("V"),       esc("%SERIE"),  esc("!NL"),   esc("!V 15")};
  EXPECT_EQ(queries, asked);
}

TEST_F(DeviceDialogs, DeviceInformationOfASilentPrinter) {
  install();
  silent = true;
  winsim::scriptDialog({u"", IDD_DEVICE_INFO, {}, IDC_CLOSE_BUTTON, 1});
  showDeviceInfoDialog(nullptr);
  auto shown = dialogsOf(IDD_DEVICE_INFO);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(textAtOpen(shown[0], IDC_INFO_RIBBON), u"Unknown");
  EXPECT_EQ(textAtOpen(shown[0], IDC_INFO_REMAINING), u"N/A");
  EXPECT_EQ(textAtOpen(shown[0], IDC_INFO_MODEL), u"");
  EXPECT_EQ(textAtOpen(shown[0], IDC_INFO_ENCODER), u"");
  EXPECT_EQ(textAtOpen(shown[0], IDC_INFO_PANELS), u"");
  // Nothing more is asked of a printer that gave no ribbon reply (the
  // current handle, then one opened by name).
  for (const auto &q : queries) EXPECT_EQ(q, esc("!RIBBON"));
}

TEST_F(DeviceDialogs, AboutShowsTheModuleVersion) {
  install();
  winsim::scriptDialog({u"", IDD_ABOUT, {}, IDOK, 1});
  EXPECT_EQ(showAboutDialog(nullptr), IDOK);
  auto shown = dialogsOf(IDD_ABOUT);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(textAtOpen(shown[0], IDC_ABOUT_VERSION), u"Version 8.00.02.01");
}

// ------------------------------------------------------------ encoder settings

TEST_F(DeviceDialogs, EncoderApplySetsThePrinterUpAndStoresTheBlock) {
  install();
  const CardDevmode before = storedDefault();
  winsim::scriptDialog({u"",
                        IDD_ENCODER,
                        {winsim::userType(IDC_START_OF_DATA, u"ABCDEFGHIJKL"), winsim::userClick(IDC_COERCIVITY_HIGH),
                         winsim::userClick(IDC_POSITION_REVERSED), winsim::userCheck(IDC_MACRO_PROCESSING, 0)},
                        IDC_ENCODER_APPLY,
                        1});
  EXPECT_EQ(showEncoderDialog(nullptr), IDOK);
  EXPECT_EQ(waitMessages(), 1u);
  // The wait message was up for five seconds of the machine's clock, and
  // the dialog took it away itself.
  for (const auto &m : winsim::shownMessages()) {
    if (m.caption != kWaitCaption) continue;
    EXPECT_EQ(m.end, winsim::MessageEnd::Closed);
    EXPECT_GE(m.endedAtMs - m.shownAtMs, 5000u);
    EXPECT_EQ(m.flags & MB_ICONINFORMATION, UINT(MB_ICONINFORMATION));
  }

  // The default block's formats: ISO1, ISO2, ISO3.
  const std::string expected = esc("&W 1") + esc("&C 1") + esc("&CDEW 1 A") + esc("&CDER 1 Q") + esc("&CDEW 2 B") +
                               esc("&CDER 2 R") + esc("&CDEW 3 C") + esc("&CDER 3 S");
  auto sent = jobs(u"XLINEENCODER");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0], expected);
  emu.write(sent[0]);
  const cardemu::PrinterState s = emu.state();
  EXPECT_EQ(s.error, 0);
  EXPECT_EQ(s.settings.at("&W"), 1);
  EXPECT_EQ(s.settings.at("&C"), 1);
  EXPECT_EQ(s.writeFormat[0], "A");
  EXPECT_EQ(s.readFormat[2], "S");

  const CardDevmode after = storedDefault();
  EXPECT_EQ(encoderText(after.record.startOfData), "ABCDEFGHI");
  EXPECT_EQ(after.record.coercivity, kCoercivityHigh);
  EXPECT_EQ(after.record.encoderPosition, kEncoderReversed);
  EXPECT_EQ(after.record.macroProcessing, kSettingOff);
  EXPECT_EQ(after.record.hasEncoder, kSettingOn);
  // Nothing outside the block changed.
  EXPECT_EQ(std::memcmp(&before, &after, kStandardPartSize + kEncoderBlockOffset), 0);
  const size_t tail = kStandardPartSize + kEncoderBlockOffset + kEncoderBlockSize;
  EXPECT_EQ(std::memcmp(reinterpret_cast<const BYTE *>(&before) + tail, reinterpret_cast<const BYTE *>(&after) + tail,
                        sizeof before - tail),
            0);
}

TEST_F(DeviceDialogs, EncoderTypesAamvaAndJis2) {
  install();
  winsim::scriptDialog({u"", IDD_ENCODER, {winsim::userClick(IDC_TYPE_AAMVA)}, IDC_ENCODER_APPLY, 1});
  showEncoderDialog(nullptr);
  auto shown = dialogsOf(IDD_ENCODER);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_TRUE(atEnd(shown[0], IDC_ADVANCED_SETTINGS) && !atEnd(shown[0], IDC_ADVANCED_SETTINGS)->enabled);
  auto sent = jobs(u"XLINEENCODER");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0], esc("&W 0") + esc("&CDEW 1 A") + esc("&CDER 1 Q") + esc("&CDEW 2 B") + esc("&CDER 2 R") +
                         esc("&CDEW 3 c1") + esc("&CDER 3 s1"));
  EXPECT_EQ(storedDefault().record.encoderType, kEncoderAamva);

  winsim::clearShownMessages();
  winsim::scriptDialog({u"", IDD_ENCODER, {winsim::userClick(IDC_TYPE_JIS2)}, IDC_ENCODER_APPLY, 1});
  showEncoderDialog(nullptr);
  shown = dialogsOf(IDD_ENCODER);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_FALSE(atEnd(shown[0], IDC_POSITION_REVERSED)->enabled);
  EXPECT_FALSE(atEnd(shown[0], IDC_POSITION_NORMAL)->enabled);
  EXPECT_TRUE(atEnd(shown[0], IDC_ADVANCED_SETTINGS)->enabled);
  sent = jobs(u"XLINEENCODER");
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1], esc("&CDEW 1 A") + esc("&CDER 1 Q"));
}

TEST_F(DeviceDialogs, EncoderCancelLeavesTheDefaultAlone) {
  install();
  const CardDevmode before = storedDefault();
  winsim::scriptDialog({u"",
                        IDD_ENCODER,
                        {winsim::userType(IDC_END_OF_DATA, u"@@"), winsim::userClick(IDC_TYPE_JIS2),
                         winsim::userClick(IDC_RESTORE_DEFAULTS)},
                        IDC_ENCODER_CANCEL,
                        1});
  EXPECT_EQ(showEncoderDialog(nullptr), IDCANCEL);
  auto shown = dialogsOf(IDD_ENCODER);
  ASSERT_EQ(shown.size(), 1u);
  // "Restore Defaults" took the data file's record.
  EXPECT_EQ(atEnd(shown[0], IDC_START_OF_DATA)->text, u"%%");
  EXPECT_EQ(atEnd(shown[0], IDC_TYPE_ISO_JIS)->check, BST_CHECKED);
  const CardDevmode after = storedDefault();
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
  EXPECT_TRUE(jobs(u"XLINEENCODER").empty());
  EXPECT_EQ(waitMessages(), 0u);
}

TEST_F(DeviceDialogs, LaminatingModelEncodesInTheNormalPositionOnly) {
  install();
  std::strcpy(state().modelText, "LX3 MAG V1.00");
  masterEncoderBlock().encoderPosition = kEncoderReversed;
  winsim::scriptDialog({u"", IDD_ENCODER, {}, IDC_ENCODER_APPLY, 1});
  showEncoderDialog(nullptr);
  auto shown = dialogsOf(IDD_ENCODER);
  ASSERT_EQ(shown.size(), 1u);
  const auto *reversed = shown[0].control(IDC_POSITION_REVERSED);
  ASSERT_NE(reversed, nullptr);
  EXPECT_FALSE(reversed->enabled);
  EXPECT_EQ(shown[0].control(IDC_POSITION_NORMAL)->check, BST_CHECKED);
  auto sent = jobs(u"XLINEENCODER");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].substr(0, 6), esc("&W 0"));
}

// ------------------------------------------------------------ advanced settings

TEST_F(DeviceDialogs, AdvancedApplySendsFormatsAndDensities) {
  install();
  winsim::scriptDialog({u"",
                        IDD_ENCODER_ADVANCED,
                        {winsim::userClick(IDC_TRACK2), winsim::userChoose(IDC_TRACK_MODE, u"5 bit"),
                         winsim::userChoose(IDC_TRACK_DENSITY, u"210 bpi"), winsim::userType(IDC_START_CHAR, u"66"),
                         winsim::userClick(IDC_LRC_PARITY_EVEN)},
                        IDC_TRACK_APPLY,
                        1});
  EXPECT_EQ(showAdvancedEncoderDialog(nullptr), IDOK);
  auto shown = dialogsOf(IDD_ENCODER_ADVANCED);
  ASSERT_EQ(shown.size(), 1u);
  // Track 1 in ISO1: the bit-mode controls were disabled when it opened.
  EXPECT_FALSE(shown[0].control(IDC_START_CHAR)->enabled);
  EXPECT_FALSE(shown[0].control(IDC_LRC_PARITY_GROUP)->enabled);
  EXPECT_TRUE(atEnd(shown[0], IDC_START_CHAR)->enabled);
  EXPECT_EQ(shown[0].control(IDC_TRACK_MODE)->items.size(), 8u);
  EXPECT_EQ(shown[0].control(IDC_TRACK_MODE)->items[7], u"7 bit");
  EXPECT_EQ(shown[0].control(IDC_TRACK_DENSITY)->items.size(), 2u);

  auto sent = jobs(u"XLINEENCODER");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0], esc("&CDEW 1 A") + esc("&CDER 1 Q") + esc("&CDEW 2 E_5") + esc("&CDER 2 U_5") + esc("&CDEW 3 C") +
                         esc("&CDER 3 S") + esc("&D 1 210") + esc("&D 2 210") + esc("&D 3 210"));
  emu.write(sent[0]);
  EXPECT_EQ(emu.state().error, 0);
  EXPECT_EQ(emu.state().writeFormat[1], "E_5");
  EXPECT_EQ(emu.state().settings.at("&D 2"), 210);

  const JobSettingsRecord r = storedDefault().record;
  EXPECT_EQ(r.currentTrack, 1);
  EXPECT_EQ(r.trackFormat[1].mode, kTrack5Bit);
  EXPECT_EQ(r.trackFormat[1].density, kDensity210Bpi);
  EXPECT_EQ(r.trackFormat[1].startChar, 66);
  EXPECT_EQ(r.trackFormat[1].lrcParity, kParityEven);
  EXPECT_EQ(r.trackFormat[0].startChar, 65);
}

TEST_F(DeviceDialogs, AdvancedFromJis2AllowsTrackOneOnly) {
  install();
  // The advanced dialog opened from the encoder dialog after choosing JIS2:
  // only track 1, and only its density.
  winsim::scriptDialog({u"",
                        IDD_ENCODER_ADVANCED,
                        {winsim::userChoose(IDC_TRACK_MODE, u"ISO2"), winsim::userChoose(IDC_TRACK_DENSITY, u"75 bpi")},
                        IDC_TRACK_APPLY,
                        1});
  winsim::scriptDialog({u"",
                        IDD_ENCODER,
                        {winsim::userClick(IDC_TYPE_JIS2), winsim::userClick(IDC_ADVANCED_SETTINGS)},
                        IDC_ENCODER_CANCEL,
                        1});
  showEncoderDialog(nullptr);
  auto shown = dialogsOf(IDD_ENCODER_ADVANCED);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_TRUE(shown[0].control(IDC_TRACK1)->enabled);
  EXPECT_FALSE(shown[0].control(IDC_TRACK2)->enabled);
  EXPECT_FALSE(shown[0].control(IDC_TRACK3)->enabled);
  auto sent = jobs(u"XLINEENCODER");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0], esc("&CDEW 1 a2") + esc("&CDER 1 q2") + esc("&D 1 75"));
  // The advanced part was stored; the type chosen in the cancelled dialog
  // was not.
  const JobSettingsRecord r = storedDefault().record;
  EXPECT_EQ(r.trackFormat[0].mode, kTrackIso2);
  EXPECT_EQ(r.encoderType, kEncoderIsoJis);
}

// ------------------------------------------------------------ single feed

TEST_F(DeviceDialogs, SingleFeedReadAndEnabledByQuery) {
  install();
  winsim::scriptDialog({u"", IDD_SINGLE_FEED, {winsim::userClick(IDC_SINGLE_FEED_ON)}, IDOK, 1});
  EXPECT_EQ(showSingleFeedDialog(nullptr), IDOK);
  auto shown = dialogsOf(IDD_SINGLE_FEED);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(textAtOpen(shown[0], IDC_SINGLE_FEED_STATUS), u"Current Status : Disabled");
  EXPECT_EQ(shown[0].control(IDC_SINGLE_FEED_OFF)->check, BST_CHECKED);
  EXPECT_EQ(emu.state().settings.at("ATM"), 1);
  EXPECT_EQ(waitMessages(), 1u);
  ASSERT_GE(queries.size(), 2u);
  EXPECT_EQ(queries[0], esc("ATM 1 1"));
  EXPECT_EQ(queries.back(), esc("ATM 1"));
  // Direct printing was only lent for the question.
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  std::vector<BYTE> info(needed);
  ASSERT_TRUE(GetPrinterW(printer, 2, info.data(), needed, &needed));
  EXPECT_EQ(reinterpret_cast<PRINTER_INFO_2W *>(info.data())->Attributes & PRINTER_ATTRIBUTE_DIRECT, 0u);

  // Now the printer reports it enabled.
  winsim::clearShownMessages();
  winsim::scriptDialog({u"", IDD_SINGLE_FEED, {}, IDCANCEL, 1});
  EXPECT_EQ(showSingleFeedDialog(nullptr), IDCANCEL);
  shown = dialogsOf(IDD_SINGLE_FEED);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(textAtOpen(shown[0], IDC_SINGLE_FEED_STATUS), u"Current Status : Enabled");
  EXPECT_EQ(shown[0].control(IDC_SINGLE_FEED_ON)->check, BST_CHECKED);
  EXPECT_EQ(waitMessages(), 0u);
}

TEST_F(DeviceDialogs, SingleFeedOfAManualRibbonGoesAsARawJob) {
  install(3);
  winsim::scriptDialog({u"", IDD_SINGLE_FEED, {winsim::userClick(IDC_SINGLE_FEED_ON)}, IDOK, 1});
  showSingleFeedDialog(nullptr);
  winsim::scriptDialog({u"", IDD_SINGLE_FEED, {winsim::userClick(IDC_SINGLE_FEED_OFF)}, IDOK, 1});
  showSingleFeedDialog(nullptr);
  auto sent = jobs(u"XLINEATM");
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], esc("FS 1") + esc("ATM 1"));
  EXPECT_EQ(sent[1], esc("ATM 0"));
  // The printer is not asked when its ribbon is chosen by hand.
  EXPECT_TRUE(queries.empty());
}

}  // namespace
}  // namespace card::cfg
