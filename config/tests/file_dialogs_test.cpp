// The Send File dialog and the firmware download page, worked by winsim's
// scripted user against the emulated printer on USB001 behind the USB
// language monitor: what reaches the printer, what the spooler got, and what
// the dialogs show.  The dialogs run from this test's copy of the module's
// code, with the installed module's resources.
#ifdef USBMON_DLL

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "config/dialogs.h"
#include "config/dialogs/files_ids.h"
#include "config/file_sending.h"
#include "config/tests/emulated_printer_fixture.h"

namespace card::cfg {
namespace {

const char16_t kCaption[] = u"Pellor Standard Printer";

LPCWSTR w(const std::u16string &s) { return s.c_str(); }

// A firmware image of `size` bytes: a printer image with checksum 0x3A.
std::string firmwareImage(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = char(i * 7 + 3);
  bytes[14] = '\x3A';
  bytes[15] = '\xFF';
  return bytes;
}

class FileDialogs : public EmulatedPrinterTest {
 protected:
  void SetUp() override {
    EmulatedPrinterTest::SetUp();
    if (HasFatalFailure()) return;
    state().working = JobSettingsRecord{};
    ASSERT_TRUE(CreateDirectoryW(u"C:\\cards", nullptr));
  }

  void TearDown() override {
    state().printerName[0] = 0;
    state().working = JobSettingsRecord{};
    EmulatedPrinterTest::TearDown();
  }

  // The files sent clean the printer, which it does with the ribbon taken out.
  void readyToClean() { emu.removeRibbon(); }
  static void putFile(const std::u16string &path, const std::string &bytes) {
    HANDLE f = CreateFileW(w(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(f, bytes.data(), DWORD(bytes.size()), &written, nullptr));
    CloseHandle(f);
  }
  std::vector<winsim::JobRecord> jobs(const std::u16string &document) {
    std::vector<winsim::JobRecord> out;
    for (const auto &j : winsim::printJobs(kPrinter))
      if (j.document == document) out.push_back(j);
    return out;
  }
  static winsim::ShownDialog onlyDialog(int templateId) {
    const auto shown = dialogsOf(templateId);
    EXPECT_EQ(shown.size(), 1u);
    return shown.empty() ? winsim::ShownDialog{} : shown.back();
  }
  static bool monitorSaid(unsigned message) {
    const std::string needle = "message " + std::to_string(message);
    for (const auto &line : winsim::debugOutput())
      if (line.find(needle) != std::string::npos) return true;
    return false;
  }
  static std::vector<winsim::ShownMessage> boxesWith(const std::u16string &text) {
    std::vector<winsim::ShownMessage> out;
    for (const auto &m : winsim::shownMessages())
      if (m.text == text) out.push_back(m);
    return out;
  }
};

// ------------------------------------------------------------ Send File

TEST_F(FileDialogs, PrinterFileAndCommandFileReachThePrinterThroughTheMonitor) {
  readyToClean();
  const std::string prn =
      "\x1b"
      "CLEAN\r";
  putFile(u"C:\\cards\\job.prn", prn);
  putFile(u"C:\\cards\\commands.txt", "RESET\nCLEAN");
  winsim::scriptOpenFile(winsim::userChooseFile(u"C:\\cards\\job.prn"));
  winsim::scriptOpenFile(winsim::userChooseFile(u"C:\\cards\\commands.txt"));
  winsim::scriptDialog(
      {u"",
       IDD_SEND_FILE,
       {winsim::userClick(IDC_SEND_SELECT), winsim::userClick(IDC_SEND_FILE), winsim::userClick(IDC_SEND_TEXT),
        winsim::userClick(IDC_SEND_SELECT), winsim::userClick(IDC_SEND_FILE)},
       IDCANCEL,
       1});
  EXPECT_EQ(showSendFileDialog(nullptr), IDOK);

  const auto d = onlyDialog(IDD_SEND_FILE);
  EXPECT_EQ(d.end, winsim::DialogEnd::Ended);
  // As it opened: a printer file, nothing chosen, nothing to send.
  ASSERT_NE(d.control(IDC_SEND_PRN), nullptr);
  EXPECT_EQ(d.control(IDC_SEND_PRN)->check, BST_CHECKED);
  EXPECT_FALSE(d.control(IDC_SEND_PATH)->enabled);
  EXPECT_FALSE(d.control(IDC_SEND_STATUS)->enabled);
  EXPECT_FALSE(d.control(IDC_SEND_FILE)->enabled);
  ASSERT_NE(atEnd(d, IDC_SEND_STATUS), nullptr);
  EXPECT_EQ(atEnd(d, IDC_SEND_STATUS)->text, u"File sent successfully.");
  EXPECT_EQ(atEnd(d, IDC_SEND_PATH)->text, u"C:\\cards\\commands.txt");
  EXPECT_TRUE(atEnd(d, IDC_SEND_FILE)->enabled);

  const auto files = winsim::shownFileDialogs();
  ASSERT_EQ(files.size(), 2u);
  using Filter = std::vector<std::pair<std::u16string, std::u16string>>;
  EXPECT_EQ(files[0].filter, (Filter{{u"Printer Files(*.prn)", u"*.prn"}}));
  EXPECT_EQ(files[1].filter, (Filter{{u"Text Files(*.txt)", u"*.txt"}}));

  // The printer file as it is, then each line as one command (the last one
  // without a line end too).
  const std::string sent = sentBytes();
  const size_t file = sent.find(prn),
               reset = sent.find(
                   "\x1b"
                   "RESET\r"),
               clean = sent.rfind(
                   "\x1b"
                   "CLEAN\r");
  ASSERT_NE(file, std::string::npos);
  ASSERT_NE(reset, std::string::npos);
  EXPECT_LT(file, reset);
  EXPECT_LT(reset, clean);
  EXPECT_EQ(emu.state().cleanings, 2);
  // Both went by path: no file job was spooled.
  EXPECT_TRUE(jobs(u"FILE_PRN").empty());
  EXPECT_TRUE(jobs(u"FILE_TXT").empty());
}

TEST_F(FileDialogs, SwitchingTheFileKindEmptiesThePathAndDisablesSending) {
  putFile(u"C:\\cards\\job.prn", "x");
  winsim::scriptOpenFile(winsim::userChooseFile(u"C:\\cards\\job.prn"));
  winsim::scriptDialog(
      {u"", IDD_SEND_FILE, {winsim::userClick(IDC_SEND_SELECT), winsim::userClick(IDC_SEND_TEXT)}, IDCANCEL, 1});
  showSendFileDialog(nullptr);
  const auto d = onlyDialog(IDD_SEND_FILE);
  EXPECT_EQ(d.end, winsim::DialogEnd::Ended);
  EXPECT_EQ(atEnd(d, IDC_SEND_PATH)->text, u"");
  EXPECT_FALSE(atEnd(d, IDC_SEND_FILE)->enabled);
  EXPECT_EQ(atEnd(d, IDC_SEND_TEXT)->check, BST_CHECKED);
  EXPECT_TRUE(sentBytes().empty());
}

TEST_F(FileDialogs, FileTheMonitorCannotOpenIsAFailedSend) {
  readyToClean();
  putFile(u"C:\\cards\\locked.prn",
          "\x1b"
          "CLEAN\r");
  // Held open without sharing: it exists for the file dialog, but nobody
  // else can read it.
  HANDLE lock = CreateFileW(u"C:\\cards\\locked.prn", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  winsim::scriptOpenFile(winsim::userChooseFile(u"C:\\cards\\locked.prn"));
  winsim::scriptDialog(
      {u"", IDD_SEND_FILE, {winsim::userClick(IDC_SEND_SELECT), winsim::userClick(IDC_SEND_FILE)}, IDCANCEL, 1});
  showSendFileDialog(nullptr);
  CloseHandle(lock);
  const auto d = onlyDialog(IDD_SEND_FILE);
  EXPECT_EQ(atEnd(d, IDC_SEND_STATUS)->text, u"Error sending file.");
  EXPECT_TRUE(atEnd(d, IDC_SEND_FILE)->enabled);
  EXPECT_TRUE(monitorSaid(2087));  // "Error opening bin file", the monitor's
  EXPECT_EQ(emu.state().cleanings, 0);

  // A command file that is not there: the monitor's own message for it.
  BoxProblems boxes(nullptr);
  EXPECT_FALSE(sendFile(boxes, nullptr, printer, u"C:\\cards\\gone.txt", kCommandFile));
  EXPECT_TRUE(monitorSaid(2210));
}

TEST_F(FileDialogs, ThroughAPrintServerTheContentsGoAsAFileJob) {
  readyToClean();
  ASSERT_TRUE(winsim::setPrinterServerName(kPrinter, u"\\\\PRINTSRV"));
  const std::string prn = std::string(
                              "\x1b"
                              "CLEAN\r") +
                          std::string(5000, '\x55');
  const std::string txt = "RESET\r\nCLEAN\r\n";
  putFile(u"C:\\cards\\job.prn", prn);
  putFile(u"C:\\cards\\commands.txt", txt);
  winsim::scriptOpenFile(winsim::userChooseFile(u"C:\\cards\\job.prn"));
  winsim::scriptOpenFile(winsim::userChooseFile(u"C:\\cards\\commands.txt"));
  winsim::scriptDialog(
      {u"",
       IDD_SEND_FILE,
       {winsim::userClick(IDC_SEND_SELECT), winsim::userClick(IDC_SEND_FILE), winsim::userClick(IDC_SEND_TEXT),
        winsim::userClick(IDC_SEND_SELECT), winsim::userClick(IDC_SEND_FILE)},
       IDCANCEL,
       1});
  showSendFileDialog(nullptr);
  // Each file was reported sent once its job had reached the printer: the
  // second one's completion poll did not read the first one's "complete".
  EXPECT_EQ(emu.state().cleanings, 2);
  const auto d = onlyDialog(IDD_SEND_FILE);
  EXPECT_EQ(atEnd(d, IDC_SEND_STATUS)->text, u"File sent successfully.");
  const auto printed = jobs(u"FILE_PRN"), commands = jobs(u"FILE_TXT");
  ASSERT_EQ(printed.size(), 1u);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(std::string(printed[0].bytes.begin(), printed[0].bytes.end()), prn);
  EXPECT_EQ(std::string(commands[0].bytes.begin(), commands[0].bytes.end()), txt);
}

// A file sent while the queue still holds its job is not "sent" until the
// job has reached the printer: the monitor's completion answer until then
// is the one of the file before.
TEST_F(FileDialogs, ThroughAPrintServerAFileWaitingInTheQueueIsNotYetSent) {
  readyToClean();
  ASSERT_TRUE(winsim::setPrinterServerName(kPrinter, u"\\\\PRINTSRV"));
  putFile(u"C:\\cards\\job.prn", std::string("\x1b"
                                             "CLEAN\r") +
                                     std::string(100, '\x55'));
  putFile(u"C:\\cards\\commands.txt", "RESET\r\nCLEAN\r\n");
  BoxProblems boxes(nullptr);
  ASSERT_TRUE(sendFile(boxes, nullptr, printer, u"C:\\cards\\job.prn", kPrinterFile));
  EXPECT_EQ(emu.state().cleanings, 1);
  ASSERT_TRUE(winsim::setPrinterWorkOffline(kPrinter, true));
  std::thread backOnline([] {
    Sleep(5000);
    winsim::setPrinterWorkOffline(kPrinter, false);
  });
  const bool sent = sendFile(boxes, nullptr, printer, u"C:\\cards\\commands.txt", kCommandFile);
  const int cleaningsWhenSent = emu.state().cleanings;
  backOnline.join();

  EXPECT_TRUE(sent);
  EXPECT_EQ(cleaningsWhenSent, 2);
}

// ------------------------------------------------------------ firmware download

TEST_F(FileDialogs, RefusedFirmwareFileLeavesThePageAsItWas) {
  std::string bytes = firmwareImage(400);
  bytes[14] = '\xFF';
  bytes[15] = '\xFF';
  putFile(u"C:\\cards\\other.bin", bytes);
  winsim::UserScript refuse;
  refuse.caption = kCaption;
  refuse.text = u"Incorrect  firmware file.\nPlease select correct firmware file.";
  winsim::scriptUser(refuse);
  winsim::scriptOpenFile(winsim::userChooseFile(u"C:\\cards\\other.bin"));
  winsim::scriptDialog({u"", IDD_FIRMWARE, {winsim::userClick(IDC_FIRMWARE_SELECT)}, IDCANCEL, 1});
  EXPECT_EQ(showFirmwareDialog(nullptr), IDOK);
  const auto d = onlyDialog(IDD_FIRMWARE);
  EXPECT_FALSE(d.control(IDC_FIRMWARE_STATUS)->enabled);
  EXPECT_FALSE(d.control(IDC_FIRMWARE_PATH)->enabled);
  EXPECT_FALSE(d.control(IDC_FIRMWARE_START)->enabled);
  EXPECT_EQ(atEnd(d, IDC_FIRMWARE_PATH)->text, u"");
  EXPECT_FALSE(atEnd(d, IDC_FIRMWARE_START)->enabled);
  EXPECT_EQ(atEnd(d, IDC_FIRMWARE_TYPE)->text, u"");
  const auto shown = boxesWith(refuse.text);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, kCaption);
  EXPECT_EQ(shown[0].flags & MB_ICONMASK, UINT(MB_ICONSTOP));
  const auto files = winsim::shownFileDialogs();
  ASSERT_EQ(files.size(), 1u);
  using Filter = std::vector<std::pair<std::u16string, std::u16string>>;
  EXPECT_EQ(files[0].filter, (Filter{{u"Binary Files(*.bin)", u"*.bin"}}));
  EXPECT_EQ(files[0].defaultExtension, u"bin");
}

// The page's whole course: choose, start, the messages at the end.
class FirmwareDownload : public FileDialogs {
 protected:
  std::string image = firmwareImage(9000);
  std::u16string path = u"C:\\cards\\ca3.bin";
  void run() {
    putFile(path, image);
    winsim::UserScript done;
    done.caption = kCaption;
    done.text = u"Please wait until the printer Resets and Initializes.\n";
    winsim::scriptUser(done);
    winsim::scriptOpenFile(winsim::userChooseFile(path));
    winsim::scriptDialog({u"",
                          IDD_FIRMWARE,
                          {winsim::userClick(IDC_FIRMWARE_SELECT), winsim::userClick(IDC_FIRMWARE_START)},
                          IDCANCEL,
                          1});
    showFirmwareDialog(nullptr);
  }
  // What the page shows after a download that went well.
  void expectDownloaded() {
    const auto d = onlyDialog(IDD_FIRMWARE);
    EXPECT_EQ(atEnd(d, IDC_FIRMWARE_TYPE)->text, u"Printer F/W");
    EXPECT_EQ(atEnd(d, IDC_FIRMWARE_CHECKSUM)->text, u"0x3AFF");
    EXPECT_EQ(atEnd(d, IDC_FIRMWARE_PATH)->text, path);
    EXPECT_EQ(atEnd(d, IDC_FIRMWARE_STATUS)->text, u"Firmware DownLoaded Successfully...");
    EXPECT_TRUE(atEnd(d, IDC_FIRMWARE_STATUS)->enabled);
    EXPECT_TRUE(atEnd(d, IDC_FIRMWARE_START)->enabled);
    const auto shown = boxesWith(u"Please wait until the printer Resets and Initializes.\n");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].flags & MB_ICONMASK, 0u);
    const UINT wanted = MB_SYSTEMMODAL | MB_SETFOREGROUND | MB_TOPMOST;
    EXPECT_EQ(shown[0].flags & wanted, wanted);
  }
  // The printer took one frame: the file's bytes whole.
  void expectFrame() {
    EXPECT_EQ(emu.firmwareFrames(), 1u);
    const auto frame = emu.lastFirmwareFrame();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->declaredSize, image.size());
    ASSERT_NE(frame->content, nullptr);
    EXPECT_EQ(std::string(frame->content->begin(), frame->content->end()), image);
    EXPECT_TRUE(frame->endMarker);
    EXPECT_EQ(emu.state().firmwareDownloads, 1);
  }
};

TEST_F(FirmwareDownload, ByTheMonitorWhenNoRibbonIsChosen) {
  // A name outside the system's 8-bit code page is read by its wide path.
  path = u"C:\\cards\\\u56fa\u4ef6.bin";
  run();
  expectDownloaded();
  expectFrame();
  EXPECT_TRUE(jobs(u"XLINEVRNLFWDW").empty());
}

TEST_F(FirmwareDownload, AsADocumentWhenTheRibbonIsChosenByHand) {
  state().working.ribbonId = 3;
  run();
  expectDownloaded();
  const auto docs = jobs(u"XLINEVRNLFWDW");
  ASSERT_EQ(docs.size(), 1u);
  // ESC "DC ", 9000 as 00 00 23 28, the file, the end marker and CR.
  const char header[] = {0x1B, 'D', 'C', ' ', 0x00, 0x00, 0x23, 0x28};
  const std::string expected = std::string(header, sizeof header) + image + "\xFF\x0D";
  EXPECT_EQ(std::string(docs[0].bytes.begin(), docs[0].bytes.end()), expected);
}

TEST_F(FirmwareDownload, UnreachablePrinterIsAFailedDownload) {
  // A printer name nobody can open, and no handle of the sheet's.
  std::memcpy(state().printerName, u"Gone Printer", sizeof u"Gone Printer");
  state().printer = nullptr;
  putFile(u"C:\\cards\\ca3.bin", image);
  winsim::scriptOpenFile(winsim::userChooseFile(u"C:\\cards\\ca3.bin"));
  winsim::scriptDialog({u"",
                        IDD_FIRMWARE,
                        {winsim::userClick(IDC_FIRMWARE_SELECT), winsim::userClick(IDC_FIRMWARE_START)},
                        IDCANCEL,
                        1});
  showFirmwareDialog(nullptr);
  const auto d = onlyDialog(IDD_FIRMWARE);
  EXPECT_EQ(atEnd(d, IDC_FIRMWARE_STATUS)->text, u"Error in downloading firmware");
  EXPECT_TRUE(atEnd(d, IDC_FIRMWARE_START)->enabled);
  EXPECT_EQ(emu.firmwareFrames(), 0u);
}

TEST_F(FileDialogs, DirectFirmwareDocumentOfAMillionBytes) {
  state().working.ribbonId = 3;
  const std::string image = firmwareImage(1000000);
  putFile(u"C:\\cards\\big.bin", image);
  BoxProblems boxes(nullptr);
  EXPECT_TRUE(downloadFirmware(boxes, nullptr, printer, u"C:\\cards\\big.bin"));
  const auto docs = jobs(u"XLINEVRNLFWDW");
  ASSERT_EQ(docs.size(), 1u);
  ASSERT_EQ(docs[0].bytes.size(), 8 + image.size() + 2);
  const std::vector<uint8_t> head(docs[0].bytes.begin(), docs[0].bytes.begin() + 8);
  EXPECT_EQ(head, (std::vector<uint8_t>{0x1B, 'D', 'C', ' ', 0x00, 0x0F, 0x42, 0x40}));
  EXPECT_EQ(docs[0].bytes[8 + image.size()], 0xFF);
  EXPECT_EQ(docs[0].bytes[9 + image.size()], 0x0D);

  // A file that cannot be opened: the message, and no document at all.
  winsim::UserScript open;
  open.caption = kCaption;
  open.text = u"Error opening bin file";
  winsim::scriptUser(open);
  EXPECT_FALSE(downloadFirmware(boxes, nullptr, printer, u"C:\\cards\\missing.bin"));
  const auto shown = boxesWith(u"Error opening bin file");
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].flags & MB_ICONMASK, UINT(MB_ICONSTOP));
  EXPECT_EQ(jobs(u"XLINEVRNLFWDW").size(), 1u);
}

// ------------------------------------------------------------ the tray program

#ifdef NOTIFYTRAY_EXE
TEST_F(FileDialogs, TrayProgramStartsOnlyWhenNoneRuns) {
  ASSERT_TRUE(winsim::copyToDrive(NOTIFYTRAY_EXE, u"C:\\Windows\\system32\\notifytray.exe"));
  // One is running (it holds the mutex): nothing is started.
  HANDLE running = CreateMutexW(nullptr, FALSE, u"Global\\notifytrayInstance");
  ASSERT_NE(running, nullptr);
  startTrayForSending();
  EXPECT_TRUE(winsim::runningProcesses().empty());
  CloseHandle(running);
  // Windows before 6 has no tray program to start.
  winsim::setOsVersion(5, 1);
  startTrayForSending();
  EXPECT_TRUE(winsim::runningProcesses().empty());
  winsim::setOsVersion(10, 0);
  startTrayForSending();
  EXPECT_NE(winsim::waitForProcess(u"notifytray.exe", 10000), 0u);
  const auto processes = winsim::runningProcesses();
  ASSERT_EQ(processes.size(), 1u);
  EXPECT_EQ(processes[0].commandLine, u"\"C:\\Windows\\system32\\notifytray.exe\"");
}
#endif

}  // namespace
}  // namespace card::cfg

#endif
