// The printer tools on both roads to the printer: the configuration module's
// tools, Send File and firmware dialogs opened from the printer's properties,
// and cardtool, each carried by the spooler to the port's language monitor —
// usbmon on a USB port, netmon over loopback sockets on a Standard TCP/IP
// port — and taken by the emulated printer, whose state and listing tell what
// arrived.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <winsim/testing.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <string>
#include <vector>

#include "emulator/include/cardemu/net_printer.h"
#include "emulator/include/cardemu/printer.h"
#include "emulator/include/cardemu/usb_device.h"
#include "tools/cardtool/cardtool.h"

namespace {

namespace fs = std::filesystem;

enum class Road { Usb, Network };

const char16_t kUsbPrinter[] = u"Pellor CA3 Card Printer USB";
const char16_t kUsbMonitor[] = u"Pellor Standard USB Language Monitor";
const char16_t kNetPrinter[] = u"Pellor CA3 Card Printer Network";
const char16_t kNetMonitor[] = u"Pellor Standard Network Language Monitor";
const char16_t kNetPort[] = u"IP_127.0.5.23";
const char kNetAddress[] = "127.0.5.23";
const char16_t kDriverDir[] = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3";

// The tools dialog's controls, and those of the dialogs it and the device
// sheet open.
constexpr int kToolsDialog = 112, kCommandEdit = 1951, kExecute = 1950, kStatus = 1966, kToolsClose = 1605;
constexpr int kSendFileButton = 1009;
constexpr int kSendFileDialog = 2147, kTextFileRadio = 2142, kSelectFile = 2143, kSendStatus = 2144, kSend = 2145;
constexpr int kFirmwareDialog = 116, kFirmwareSelect = 1994, kFirmwareStart = 1992, kFirmwareStatus = 1995;

LPWSTR w(const char16_t *s) { return const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(s)); }

// cardtool's output, kept for the test.
class Capture : public cardtools::Console {
 public:
  void write(bool error, LPCWSTR text) override {
    (error ? err : out) += winsim::toUtf8(reinterpret_cast<const char16_t *>(text));
  }
  std::string out, err;
};

// A firmware image of `size` bytes: a printer image (its checksum byte at
// 14, 0xFF at 15) whose other bytes follow a pattern that shows any byte
// lost, doubled or moved.
std::vector<uint8_t> firmwareImage(size_t size) {
  std::vector<uint8_t> image(size);
  uint32_t x = 0x2545F491u;
  for (auto &b : image) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = uint8_t(x);
  }
  image[14] = 0x3A;
  image[15] = 0xFF;
  return image;
}

class PrinterToolsRoad : public ::testing::TestWithParam<Road> {
 protected:
  cardemu::Printer emu{emulatedPrinter()};
  std::unique_ptr<cardemu::NetPrinter> net;
  std::mutex lock;
  std::vector<std::string> commands;  // the text of every command the printer ran

  static cardemu::PrinterConfig emulatedPrinter() {
    cardemu::PrinterConfig c;
    c.model = "CA3";
    c.firmware = "V3.02";
    c.encoder = true;
    return c;
  }

  bool network() const { return GetParam() == Road::Network; }
  const char16_t *printerName() const { return network() ? kNetPrinter : kUsbPrinter; }

  void SetUp() override {
    emu.setCommandListener([this](const cardemu::CommandRecord &r) {
      std::lock_guard<std::mutex> g(lock);
      if (r.command) commands.push_back(r.command->text);
    });
    winsim::resetMachine();
    // The network road answers over real sockets in real time: a slower
    // machine clock keeps the monitor's reply waits long enough for them.
    winsim::setClockScale(network() ? 50.0 : 1000.0);
    winsim::PrinterSetup setup;
    setup.driverName = u"Pellor Standard Printer";
    setup.graphicsDll = CARDREND_DLL;
    setup.configDll = CARDCFG_DLL;
    if (network()) {
      cardemu::NetConfig config;
      config.address = kNetAddress;
      net = std::make_unique<cardemu::NetPrinter>(emu, config);
      std::string problem;
      ASSERT_TRUE(net->start(&problem)) << problem;
      const cardemu::NetPorts p = net->ports();
      using winsim::NetworkProtocol;
      ASSERT_TRUE(winsim::declareNetworkHost(kNetAddress, "cardprinter",
                                             {{NetworkProtocol::Tcp, 9100, p.data},
                                              {NetworkProtocol::Tcp, 9111, p.status},
                                              {NetworkProtocol::Udp, 161, p.snmp},
                                              {NetworkProtocol::Tcp, 80, p.http}}));
      ASSERT_TRUE(winsim::addStandardTcpIpPort(kNetPort, u"127.0.5.23"));
      ASSERT_TRUE(
          winsim::copyToDrive(CARDRES_NET_DLL, u"C:\\Windows\\system32\\spool\\drivers\\W32X86\\3\\cardres.dll"));
      ASSERT_TRUE(winsim::installMonitor(kNetMonitor, NETMON_DLL));
      setup.printerName = kNetPrinter;
      setup.monitorName = kNetMonitor;
      setup.portName = kNetPort;
    } else {
      ASSERT_TRUE(winsim::copyToDrive(CARDRES_USB_DLL, std::u16string(kDriverDir) + u"\\cardres.dll"));
      ASSERT_TRUE(winsim::installMonitor(kUsbMonitor, USBMON_DLL));
      ASSERT_TRUE(winsim::attachUsbDevice(u"USB001", std::make_shared<cardemu::UsbPrinterDevice>(emu)));
      setup.printerName = kUsbPrinter;
      setup.monitorName = kUsbMonitor;
      setup.portName = u"USB001";
    }
    ASSERT_TRUE(winsim::installPrinter(setup));
  }

  void TearDown() override {
    for (const auto &d : winsim::takeDialogFaults())
      ADD_FAILURE() << "dialog " << d.templateId << ": " << winsim::toUtf8(d.fault);
    for (const auto &m : winsim::takeMessageFaults())
      ADD_FAILURE() << "message " << winsim::toUtf8(m.caption) << ": " << winsim::toUtf8(m.text);
    for (const auto &s : winsim::takeSheetFaults()) ADD_FAILURE() << "sheet " << winsim::toUtf8(s.title);
    winsim::resetMachine();
    if (net) net->stop();
  }

  // cardtool PRINTER ARGS...: its exit status; its output in `console`.
  int cardtool(std::vector<std::u16string> args, Capture &console) {
    args.insert(args.begin(), {u"cardtool", printerName()});
    std::vector<LPCWSTR> argv;
    for (const auto &a : args) argv.push_back(reinterpret_cast<LPCWSTR>(a.c_str()));
    return cardtool::cardToolMain(int(argv.size()), argv.data(), console);
  }

  // A file on the machine's drive with these bytes; its machine path.
  std::u16string machineFile(const std::u16string &name, const std::string &bytes) {
    const std::u16string path = u"C:\\Users\\Public\\" + name;
    const fs::path host = winsim::hostPath(path);
    fs::create_directories(host.parent_path());
    std::ofstream(host, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    return path;
  }

  // The printer's properties opened as a user does, the device page's push
  // button `item` pressed; the dialogs it opens are worked by their scripts.
  void openFromDevicePage(const std::u16string &item) {
    winsim::scriptSheet({u"", {winsim::sheetPush(item)}, winsim::SheetEndButton::Ok, 1});
    HANDLE h = nullptr;
    ASSERT_TRUE(OpenPrinterW(w(printerName()), &h, nullptr));
    // winspool's own: the configuration module's code linked in for cardtool
    // has an entry point of that name too.
    HMODULE spool = LoadLibraryW(u"winspool.drv");
    ASSERT_NE(spool, nullptr);
    using PrinterPropertiesFn = BOOL(WINAPI *)(HWND, HANDLE);
    const auto properties =
        reinterpret_cast<PrinterPropertiesFn>(reinterpret_cast<void (*)()>(GetProcAddress(spool, "PrinterProperties")));
    ASSERT_NE(properties, nullptr);
    EXPECT_TRUE(properties(nullptr, h)) << GetLastError();
    FreeLibrary(spool);
    ClosePrinter(h);
    const auto sheets = winsim::shownSheets();
    ASSERT_EQ(sheets.size(), 1u);
    EXPECT_EQ(sheets[0].end, winsim::SheetEnd::Ok) << winsim::toUtf8(sheets[0].fault);
  }

  static const winsim::DialogControlRecord *atEnd(const winsim::ShownDialog &d, int control) {
    for (const auto &c : d.controlsAtEnd)
      if (c.id == control) return &c;
    return nullptr;
  }
  static std::vector<winsim::ShownDialog> dialogsOf(int templateId) {
    std::vector<winsim::ShownDialog> out;
    for (auto &d : winsim::shownDialogs())
      if (d.templateId == templateId) out.push_back(d);
    return out;
  }

  // The last firmware frame once the printer has taken one: on the network
  // the request ends when its bytes are on their way, before the printer has
  // read them all.
  std::optional<cardemu::FirmwareFrame> firmwareFrame() {
    for (int i = 0; i < 1000 && emu.firmwareFrames() == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return emu.lastFirmwareFrame();
  }

  // How often the printer ran a command (its text without ESC and CR).
  size_t ran(const std::string &command) {
    std::lock_guard<std::mutex> g(lock);
    size_t n = 0;
    for (const auto &c : commands)
      if (c == command) ++n;
    return n;
  }
};

TEST_P(PrinterToolsRoad, ATypedCommandsReplyInTheToolsDialogAndFromCardtool) {
  const std::string model = emu.state().modelText;
  winsim::scriptDialog(
      {u"", kToolsDialog, {winsim::userType(kCommandEdit, u"V"), winsim::userClick(kExecute)}, kToolsClose, 1});
  openFromDevicePage(u"Tools");
  const auto shown = dialogsOf(kToolsDialog);
  ASSERT_EQ(shown.size(), 1u);
  const auto *status = atEnd(shown[0], kStatus);
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(winsim::toUtf8(status->text), model + "<ACK>");

  Capture console;
  EXPECT_EQ(cardtool({u"cmd", u"\\eV\\r"}, console), cardtool::kExitDone) << console.err;
  EXPECT_EQ(console.out, model + "<ACK>\n");
}

TEST_P(PrinterToolsRoad, ACommandFileSentFromTheSendFileDialogRunsEachLine) {
  // The printer cleans without its ribbon.  The last line has no line end.
  emu.removeRibbon();
  const std::u16string file = machineFile(u"commands.txt", "RESET\nCLEAN");
  winsim::scriptOpenFile(winsim::userChooseFile(file));
  winsim::scriptDialog({u"", kToolsDialog, {winsim::userClick(kSendFileButton)}, kToolsClose, 1});
  winsim::scriptDialog({u"",
                        kSendFileDialog,
                        {winsim::userClick(kTextFileRadio), winsim::userClick(kSelectFile), winsim::userClick(kSend)},
                        IDCANCEL,
                        1});
  openFromDevicePage(u"Tools");
  const auto shown = dialogsOf(kSendFileDialog);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(atEnd(shown[0], kSendStatus)->text, u"File sent successfully.");
  EXPECT_EQ(ran("RESET"), 1u);
  EXPECT_EQ(ran("CLEAN"), 1u);
  EXPECT_EQ(emu.state().cleanings, 1);
}

TEST_P(PrinterToolsRoad, AFirmwareImageArrivesWhole) {
  const std::vector<uint8_t> image = firmwareImage(0x012345);
  const std::u16string file = machineFile(u"printer.bin", std::string(image.begin(), image.end()));
  Capture console;
  EXPECT_EQ(cardtool({u"firmware", file}, console), cardtool::kExitDone) << console.err;
  EXPECT_NE(console.out.find("Printer F/W, checksum 0x3AFF"), std::string::npos) << console.out;
  const auto frame = firmwareFrame();
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->declaredSize, 0x012345u);
  EXPECT_TRUE(frame->endMarker);
  ASSERT_TRUE(frame->content);
  EXPECT_TRUE(*frame->content == image);
  EXPECT_EQ(emu.state().firmwareDownloads, 1);
}

TEST_P(PrinterToolsRoad, TheFirmwarePageSendsTheChosenImage) {
  const std::vector<uint8_t> image = firmwareImage(70000);
  const std::u16string file = machineFile(u"update.bin", std::string(image.begin(), image.end()));
  winsim::scriptOpenFile(winsim::userChooseFile(file));
  winsim::scriptDialog(
      {u"", kFirmwareDialog, {winsim::userClick(kFirmwareSelect), winsim::userClick(kFirmwareStart)}, IDCANCEL, 1});
  winsim::UserScript resets;
  resets.text = u"Please wait until the printer Resets and Initializes.";
  winsim::scriptUser(resets);
  openFromDevicePage(u"F/W Download");
  const auto shown = dialogsOf(kFirmwareDialog);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(atEnd(shown[0], kFirmwareStatus)->text, u"Firmware DownLoaded Successfully...");
  const auto frame = firmwareFrame();
  ASSERT_TRUE(frame && frame->content);
  EXPECT_TRUE(*frame->content == image);
}

TEST_P(PrinterToolsRoad, EncodedTracksReadBackTheSame) {
  Capture console;
  ASSERT_EQ(cardtool({u"encode", u"--track1", u"PELLOR^CARD 42", u"--track2", u"1234567890=12", u"--track3", u"0042=7"},
                     console),
            cardtool::kExitDone)
      << console.err;
  Capture read;
  ASSERT_EQ(cardtool({u"read-tracks"}, read), cardtool::kExitDone) << read.err;
  EXPECT_EQ(read.out, "track 1: PELLOR^CARD 42\ntrack 2: 1234567890=12\ntrack 3: 0042=7\n");
}

TEST_P(PrinterToolsRoad, OffsetsSetMoveTheNextCardsPicture) {
  Capture plain;
  ASSERT_EQ(cardtool({u"test-card"}, plain), cardtool::kExitDone) << plain.err;
  Capture set;
  ASSERT_EQ(cardtool({u"offsets", u"--front-x", u"10", u"--front-y", u"5", u"--back-x", u"3"}, set),
            cardtool::kExitDone)
      << set.err;
  Capture shown;
  ASSERT_EQ(cardtool({u"offsets"}, shown), cardtool::kExitDone) << shown.err;
  EXPECT_EQ(shown.out, "front X: 10\nfront Y: 5\nback X: 3\nback Y: 0\n");
  Capture moved;
  ASSERT_EQ(cardtool({u"test-card"}, moved), cardtool::kExitDone) << moved.err;
  const std::vector<cardemu::Card> cards = emu.takeCards();
  ASSERT_EQ(cards.size(), 2u);
  EXPECT_EQ(cards[1].offsets[0], (cardemu::PrintOffset{10, 5}));
  EXPECT_EQ(cards[1].offsets[1], (cardemu::PrintOffset{3, 0}));
  // The same test card, 10 dots to the right and 5 down.
  ASSERT_FALSE(cards[0].sides[0].panels.empty());
  ASSERT_EQ(cards[0].sides[0].panels.size(), cards[1].sides[0].panels.size());
  const auto expected = cardemu::shiftImage(cards[0].sides[0].panels[0].image, {10, 5});
  ASSERT_TRUE(expected && cards[1].sides[0].panels[0].image);
  EXPECT_TRUE(*expected == *cards[1].sides[0].panels[0].image);
}

TEST_P(PrinterToolsRoad, CardtoolRefusesWhatThePrinterCannotTake) {
  Capture console;
  EXPECT_EQ(cardtool({u"encode", u"--track2", u"12AB"}, console), cardtool::kExitUsage);
  EXPECT_NE(console.err.find("Invalid Character for encoding"), std::string::npos) << console.err;
  Capture offsets;
  EXPECT_EQ(cardtool({u"offsets", u"--front-x", u"49"}, offsets), cardtool::kExitUsage);
  EXPECT_NE(offsets.err.find("Offset could not be more than 48."), std::string::npos) << offsets.err;
  Capture missing;
  EXPECT_NE(cardtool({u"send", u"C:\\Users\\Public\\missing.txt"}, missing), cardtool::kExitDone);
  EXPECT_NE(missing.err.find("Error sending file."), std::string::npos) << missing.err;
  Capture nobody;
  EXPECT_EQ(
      cardtool::cardToolMain(4, std::vector<LPCWSTR>{u"cardtool", u"No Such Printer", u"cmd", u"V"}.data(), nobody),
      cardtool::kExitNoPrinter);
}

INSTANTIATE_TEST_SUITE_P(BothRoads, PrinterToolsRoad, ::testing::Values(Road::Usb, Road::Network),
                         [](const auto &info) { return info.param == Road::Usb ? "Usb" : "Network"; });

}  // namespace
