// The command channel against the emulated printer on USB001, behind the
// USB language monitor: what a query carries, what is left in the spooler's
// data afterwards, the direct-printing attribute and the file job's end.
// Built when the emulated printer and the USB monitor are part of the build.
#ifdef USBMON_DLL

#include "config/raw_channel.h"

#include <string>

#include "config/tests/emulated_printer_fixture.h"
#include "shared/query_command.h"

namespace card::cfg {
namespace {

LPCWSTR w(const char16_t *s) { return reinterpret_cast<LPCWSTR>(s); }

// The channel is the module's code talking to the spooler directly: nothing
// of the module's own state is needed.
class RawChannel : public EmulatedPrinterTest {
 protected:
  RawChannel() : EmulatedPrinterTest(false) {}
  BoxProblems boxes{nullptr};
};

TEST_F(RawChannel, EscapeCommandReachesThePrinterAndItsValueIsGone) {
  const QueryResult r = queryCommand(printer, "\x1b!V 1\r", 1024);
  ASSERT_TRUE(r.succeeded);
  // "!V 1" is the first offset, 0 on a new printer, accepted with ACK.
  EXPECT_EQ(r.bytes, "0 \x06");
  EXPECT_NE(sentBytes().find("\x1b!V 1\r"), std::string::npos);

  // Nothing of the answer stays in the printer's driver data.
  WCHAR name[64];
  ASSERT_TRUE(encodeQueryCommand("\x1b!V 1\r", 6, name, 64));
  HKEY data = nullptr;
  const std::u16string path =
      u"System\\CurrentControlSet\\control\\Print\\Printers\\" + std::u16string(kPrinter) + u"\\PrinterDriverData";
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, w(path.c_str()), 0, KEY_READ, &data) == ERROR_SUCCESS) {
    EXPECT_EQ(RegQueryValueExW(data, name, nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    RegCloseKey(data);
  }

  // Both fallback variants ask the same printer.
  EXPECT_TRUE(queryCurrentThenByName(printer, "\x1b!V 1\r", 64).succeeded);
  EXPECT_TRUE(queryByNameThenCurrent(printer, "\x1b!V 1\r", 64).succeeded);
  EXPECT_TRUE(queryCurrentThenByName(nullptr, "\x1b!V 1\r", 64).bytes.empty());
}

TEST_F(RawChannel, DirectPrintingIsRestoredAfterAFailedCommand) {
  const DWORD before = attributes();
  ASSERT_EQ(before & PRINTER_ATTRIBUTE_DIRECT, 0u);
  {
    DirectPrinting direct(printer);
    EXPECT_EQ(attributes(), before | PRINTER_ATTRIBUTE_DIRECT);
    emu.setConnected(false);
    EXPECT_FALSE(queryCommand(printer, "\x1b!V 1\r", 64).succeeded);
  }
  EXPECT_EQ(attributes(), before);
}

TEST_F(RawChannel, EmptyFileJobStillEndsWithTheCompletionCheck) {
  const std::u16string path = u"C:\\empty.prn";
  HANDLE file = CreateFileW(w(path.c_str()), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  const ULONGLONG start = GetTickCount64();
  EXPECT_TRUE(sendFileJob(boxes, printer, w(path.c_str()), 1));
  // The two settling waits around the completion poll.
  EXPECT_GE(GetTickCount64() - start, 2000u);
  const auto jobs = winsim::printJobs(kPrinter);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].document, u"FILE_PRN");
  EXPECT_TRUE(jobs[0].bytes.empty());
}

TEST_F(RawChannel, MissingFileIsReportedToTheCaller) {
  winsim::UserScript rule;
  rule.text = u"Error opening file";
  winsim::scriptUser(rule);
  EXPECT_FALSE(sendFileJob(boxes, printer, w(u"C:\\no such file.prn"), 2));
  const auto shown = winsim::shownMessages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, kPrinter);
  EXPECT_EQ(shown[0].text, u"Error opening file");
  const UINT wanted = MB_ICONWARNING | MB_SYSTEMMODAL | MB_SETFOREGROUND | MB_TOPMOST;
  EXPECT_EQ(shown[0].flags & wanted, wanted);
  EXPECT_TRUE(winsim::printJobs(kPrinter).empty());
}

}  // namespace
}  // namespace card::cfg

#endif
