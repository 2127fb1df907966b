// Recognising capture jobs and prefixed requests, and the request a capture
// job hands over.
#include <gtest/gtest.h>

#include <string>

#include "usbmon/requests.h"

namespace card::usb {
namespace {

TEST(CaptureNames, OnlyTheExactDocumentNamesCapture) {
  EXPECT_EQ(captureModeOf(u"FILE_PRN"), CaptureMode::PrintFile);
  EXPECT_EQ(captureModeOf(u"FILE_TXT"), CaptureMode::SendCommands);
  EXPECT_EQ(captureModeOf(u"FILE_BIN"), CaptureMode::Download);
  EXPECT_EQ(static_cast<int>(captureModeOf(u"FILE_PRN")), 1);
  EXPECT_EQ(static_cast<int>(captureModeOf(u"FILE_BIN")), 3);
  for (const char16_t *other : {u"file_prn", u"FILE_PRN ", u"FILE_PRNX", u"XFILE_BIN", u"FILE_", u"", u"XLINETOOL"})
    EXPECT_EQ(captureModeOf(other), CaptureMode::None);
  EXPECT_EQ(captureModeOf(nullptr), CaptureMode::None);
}

TEST(PrefixedRequests, ThePrefixAnywhereInTheNameAndThePathAfterTheFirstColon) {
  PrefixedRequest r = parsePrefixedRequest(u"PrintFile:C:\\Users\\card.prn");
  EXPECT_EQ(r.kind, RequestKind::PrintFile);
  EXPECT_EQ(r.argument, u"C:\\Users\\card.prn");
  r = parsePrefixedRequest(u"sendcmds:C:\\cmds.txt");
  EXPECT_EQ(r.kind, RequestKind::SendCommands);
  EXPECT_EQ(r.argument, u"C:\\cmds.txt");
  r = parsePrefixedRequest(u"download:C:\\fw.bin");
  EXPECT_EQ(r.kind, RequestKind::Download);
  EXPECT_EQ(r.argument, u"C:\\fw.bin");
  r = parsePrefixedRequest(u"SetPrinterName:Card Printer 2");
  EXPECT_EQ(r.kind, RequestKind::SetPrinterName);
  EXPECT_EQ(r.argument, u"Card Printer 2");
  // An empty printer name is a name too.
  r = parsePrefixedRequest(u"SetPrinterName:");
  EXPECT_EQ(r.kind, RequestKind::SetPrinterName);
  EXPECT_TRUE(r.argument.empty());
  // Contained, not only leading.
  r = parsePrefixedRequest(u"  download:C:\\fw.bin");
  EXPECT_EQ(r.kind, RequestKind::Download);
  EXPECT_EQ(r.argument, u"C:\\fw.bin");
  EXPECT_TRUE(isPrefixedRequest(u"PrintFile:"));
}

TEST(PrefixedRequests, OtherNamesAreNotRequests) {
  // Prefixes compare with case; escape-command queries are bytes two to a unit.
  for (const char16_t *name : {u"printfile:C:\\a", u"SENDCMDS:C:\\a", u"Download:C:\\a", u"PrintFile C:\\a", u""}) {
    EXPECT_FALSE(isPrefixedRequest(name));
    EXPECT_EQ(parsePrefixedRequest(name).kind, RequestKind::None);
  }
  const char16_t version[] = {0x561B, 0x000D, 0};  // "\eV\r"
  EXPECT_FALSE(isPrefixedRequest(version));
  EXPECT_FALSE(isPrefixedRequest(nullptr));
}

TEST(CaptureRequests, PrefixOfTheModeAndTheTempPath) {
  WCHAR out[kMaxRequestUnits];
  ASSERT_TRUE(buildCaptureRequest(CaptureMode::PrintFile, u"C:\\Temp\\CRX1.TMP", out, kMaxRequestUnits));
  EXPECT_EQ(std::u16string(out), u"PrintFile:C:\\Temp\\CRX1.TMP");
  ASSERT_TRUE(buildCaptureRequest(CaptureMode::SendCommands, u"C:\\Temp\\CRX2.TMP", out, kMaxRequestUnits));
  EXPECT_EQ(std::u16string(out), u"sendcmds:C:\\Temp\\CRX2.TMP");
  ASSERT_TRUE(buildCaptureRequest(CaptureMode::Download, u"C:\\Temp\\CRX3.TMP", out, kMaxRequestUnits));
  EXPECT_EQ(std::u16string(out), u"download:C:\\Temp\\CRX3.TMP");
  EXPECT_FALSE(buildCaptureRequest(CaptureMode::None, u"C:\\Temp\\CRX3.TMP", out, kMaxRequestUnits));
  EXPECT_EQ(out[0], 0);
}

TEST(CaptureRequests, APathTooLongIsRefusedNotCut) {
  WCHAR out[kMaxRequestUnits + 8];
  // 272 units with the terminator: "PrintFile:" (10) and a path of 261 fit.
  std::u16string fits = u"C:\\" + std::u16string(258, u'a');
  ASSERT_EQ(fits.size(), 261u);
  ASSERT_TRUE(buildCaptureRequest(CaptureMode::PrintFile, fits, out, sizeof out / sizeof out[0]));
  EXPECT_EQ(std::u16string(out).size(), 271u);
  std::u16string longer = fits + u"b";
  EXPECT_FALSE(buildCaptureRequest(CaptureMode::PrintFile, longer, out, sizeof out / sizeof out[0]));
  EXPECT_EQ(out[0], 0);
  // A smaller buffer than the request is refused as well.
  EXPECT_FALSE(buildCaptureRequest(CaptureMode::Download, u"C:\\a.bin", out, 12));
  EXPECT_EQ(out[0], 0);
}

}  // namespace
}  // namespace card::usb
