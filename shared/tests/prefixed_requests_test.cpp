// Recognising capture jobs and prefixed requests, and the request a capture
// job hands over.
#include <gtest/gtest.h>

#include <string>

#include "shared/prefixed_requests.h"

namespace card::interception {
namespace {

TEST(Requests, CaptureJobsGoByTheExactDocumentName) {
  EXPECT_EQ(captureModeOf(u"FILE_PRN"), CaptureMode::PrintFile);
  EXPECT_EQ(captureModeOf(u"FILE_TXT"), CaptureMode::SendCommands);
  EXPECT_EQ(captureModeOf(u"FILE_BIN"), CaptureMode::Download);
  for (const char16_t *other : {u"file_prn", u"FILE_PRN ", u"XFILE_BIN", u"", static_cast<const char16_t *>(nullptr)})
    EXPECT_EQ(captureModeOf(other), CaptureMode::None);
}

TEST(Requests, APrefixAnywhereInTheNameAndTheTextAfterTheFirstColon) {
  PrefixedRequest r = parsePrefixedRequest(u"PrintFile:C:\\card.prn");
  EXPECT_EQ(r.kind, RequestKind::PrintFile);
  EXPECT_EQ(r.argument, u"C:\\card.prn");
  EXPECT_EQ(parsePrefixedRequest(u"sendcmds:C:\\c.txt").kind, RequestKind::SendCommands);
  r = parsePrefixedRequest(u"  download:C:\\fw.bin");
  EXPECT_EQ(r.kind, RequestKind::Download);
  EXPECT_EQ(r.argument, u"C:\\fw.bin");
  r = parsePrefixedRequest(u"SetPrinterName:");
  EXPECT_EQ(r.kind, RequestKind::SetPrinterName);
  EXPECT_TRUE(r.argument.empty());
  // Prefixes compare with case; an escape command is bytes two to a unit.
  const char16_t version[] = {0x561B, 0x000D, 0};  // "\eV\r"
  for (const char16_t *name : {u"printfile:C:\\a", u"Download:C:\\a", u"PrintFile C:\\a", version})
    EXPECT_FALSE(isPrefixedRequest(name));
}

TEST(Requests, ACaptureRequestIsBuiltWholeOrNotAtAll) {
  WCHAR out[kMaxRequestUnits + 8];
  const size_t units = sizeof out / sizeof out[0];
  ASSERT_TRUE(buildCaptureRequest(CaptureMode::SendCommands, u"C:\\T\\CRX2.TMP", out, units));
  EXPECT_EQ(std::u16string(out), u"sendcmds:C:\\T\\CRX2.TMP");
  // 272 units with the terminator: "PrintFile:" and a path of 261 fit, one
  // more is refused rather than cut to another file's name.
  std::u16string path = u"C:\\" + std::u16string(258, u'a');
  ASSERT_TRUE(buildCaptureRequest(CaptureMode::PrintFile, path, out, units));
  EXPECT_EQ(std::u16string(out), u"PrintFile:" + path);
  EXPECT_FALSE(buildCaptureRequest(CaptureMode::PrintFile, path + u"b", out, units));
  EXPECT_EQ(out[0], 0);
  EXPECT_FALSE(buildCaptureRequest(CaptureMode::Download, u"C:\\a.bin", out, 12));
  EXPECT_FALSE(buildCaptureRequest(CaptureMode::None, u"C:\\a.bin", out, units));
}

}  // namespace
}  // namespace card::interception
