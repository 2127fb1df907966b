// The INF reader: the syntax of INF files, and SetupOpenInfFile with the line
// calls and their "required size" protocol.
#include "winsim/tests/setupapi/setupapi_support.h"

namespace winsim_test {
namespace {

class InfReader : public Winsim {
 protected:
  // An INF file on the drive, read back as winsim::readInf reads it.
  winsim::InfText read(const std::string &text) {
    putFile(u"C:\\pkg\\t.inf", text);
    return winsim::readInf(winsim::hostPath(u"C:\\pkg\\t.inf"));
  }
  HINF open(const std::string &text, DWORD style = INF_STYLE_WIN4) {
    putFile(u"C:\\pkg\\t.inf", text);
    return SetupOpenInfFileW(u"C:\\pkg\\t.inf", nullptr, style, nullptr);
  }
};

const char kSample[] =
    "; a comment before the first section\r\n"
    "[Version]\r\n"
    "Signature = \"$Windows NT$\"   ; the style\r\n"
    "Class=Printer\r\n"
    "\r\n"
    "[Files]\r\n"
    "first.dll\r\n"
    "Key = a, \"b, with comma\" ,  c  \r\n"
    "Quoted = \"say \"\"hi\"\"; not a comment\"\r\n"
    "Long = one, \\\r\n"
    "       two\r\n"
    "Empty =\r\n"
    "Gap = ,x\r\n"
    "Names = %Mfg% Card, %%, %Unknown%, %11%\\cardrend.dll\r\n"
    "[files]\r\n"
    "Merged = yes\r\n"
    "[Strings]\r\n"
    "mfg = \"Pello\"\r\n";

TEST_F(InfReader, LinesSplitIntoKeysAndFieldsAsWindowsReadsThem) {
  winsim::InfText inf = read(kSample);
  ASSERT_TRUE(inf.ok);
  const winsim::InfSection *files = inf.section(u"FILES");
  ASSERT_NE(files, nullptr);
  ASSERT_EQ(files->lines.size(), 8u);  // "[files]" is the same section
  const auto &l = files->lines;
  EXPECT_FALSE(l[0].hasKey);
  EXPECT_EQ(l[0].fields, std::vector<std::u16string>({u"first.dll"}));
  EXPECT_EQ(l[0].lineNumber, 7u);
  EXPECT_EQ(l[1].key, u"Key");
  EXPECT_EQ(l[1].fields, std::vector<std::u16string>({u"a", u"b, with comma", u"c"}));
  EXPECT_EQ(l[2].fields, std::vector<std::u16string>({u"say \"hi\"; not a comment"}));
  EXPECT_EQ(l[3].fields, std::vector<std::u16string>({u"one", u"two"}));
  EXPECT_EQ(l[3].lineNumber, 10u);
  EXPECT_TRUE(l[4].hasKey);
  EXPECT_TRUE(l[4].fields.empty());
  EXPECT_EQ(l[5].fields, std::vector<std::u16string>({u"", u"x"}));
  // Strings by key without case; "%%" is a percent sign; what [Strings]
  // lacks (a directory id too) stays as written.
  EXPECT_EQ(l[6].fields, std::vector<std::u16string>({u"Pello Card", u"%", u"%Unknown%", u"%11%\\cardrend.dll"}));
  EXPECT_EQ(l[7].key, u"Merged");
  ASSERT_NE(inf.section(u"version"), nullptr);
  EXPECT_EQ(inf.section(u"version")->lines[0].fields[0], u"$Windows NT$");
  EXPECT_EQ(inf.section(u"Missing"), nullptr);
}

TEST_F(InfReader, SyntaxErrorsAndEncodings) {
  winsim::InfText before = read("Signature=x\r\n[Version]\r\n");
  EXPECT_FALSE(before.ok);
  EXPECT_EQ(before.error, DWORD(ERROR_EXPECTED_SECTION_NAME));
  EXPECT_EQ(before.errorLine, 1u);
  winsim::InfText bad = read("[Version]\r\nA=1\r\n[Broken\r\n");
  EXPECT_EQ(bad.error, DWORD(ERROR_BAD_SECTION_NAME_LINE));
  EXPECT_EQ(bad.errorLine, 3u);
  EXPECT_EQ(read("[" + std::string(256, 'S') + "]\r\n").error, DWORD(ERROR_SECTION_NAME_TOO_LONG));
  EXPECT_EQ(winsim::readInf(winsim::hostPath(u"C:\\pkg") + "/none.inf").error, DWORD(ERROR_FILE_NOT_FOUND));

  // UTF-16LE with its byte-order mark.
  std::u16string wide = u"[Strings]\nName=\"Café\"\n";
  std::string bytes = "\xFF\xFE";
  for (char16_t c : wide) bytes += {char(c & 0xFF), char(c >> 8)};
  winsim::InfText utf16 = read(bytes);
  ASSERT_TRUE(utf16.ok);
  EXPECT_EQ(utf16.section(u"Strings")->lines[0].fields[0], u"Café");
}

TEST_F(InfReader, OpenChecksTheFileItsStyleAndClass) {
  UINT errorLine = 0;
  putFile(u"C:\\pkg\\other.inf", "");
  EXPECT_EQ(SetupOpenInfFileW(u"C:\\pkg\\none.inf", nullptr, INF_STYLE_WIN4, &errorLine), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));

  // No [Version] signature: an old-style file, not a Windows 4 one.
  EXPECT_EQ(open("[Files]\r\na.dll\r\n"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_WRONG_INF_STYLE));
  HINF old = open("[Files]\r\na.dll\r\n", INF_STYLE_OLDNT);
  ASSERT_NE(old, INVALID_HANDLE_VALUE);
  SetupCloseInfFile(old);

  putFile(u"C:\\pkg\\t.inf", kSample);
  EXPECT_EQ(SetupOpenInfFileW(u"C:\\pkg\\t.inf", u"Net", INF_STYLE_WIN4, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_MISMATCH));
  HINF byClass = SetupOpenInfFileW(u"C:\\pkg\\t.inf", u"printer", INF_STYLE_WIN4, nullptr);
  EXPECT_NE(byClass, INVALID_HANDLE_VALUE);
  SetupCloseInfFile(byClass);

  putFile(u"C:\\pkg\\t.inf", "[Version]\r\nSignature=\"$Chicago$\"\r\n[Open\r\n");
  EXPECT_EQ(SetupOpenInfFileW(u"C:\\pkg\\t.inf", nullptr, INF_STYLE_WIN4, &errorLine), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_SECTION_NAME_LINE));
  EXPECT_EQ(errorLine, 3u);

  // A bare name is one of the INF folder's.
  putFile(u"C:\\Windows\\INF\\bare.inf", kSample);
  HINF bare = SetupOpenInfFileA("bare.inf", nullptr, INF_STYLE_WIN4, nullptr);
  ASSERT_NE(bare, INVALID_HANDLE_VALUE);
  EXPECT_EQ(SetupGetLineCountW(bare, u"Files"), 8);
  SetupCloseInfFile(bare);
}

TEST_F(InfReader, FindingLines) {
  HINF inf = open(kSample);
  ASSERT_NE(inf, INVALID_HANDLE_VALUE);
  INFCONTEXT c{};
  // No key: the section's first line.
  ASSERT_TRUE(SetupFindFirstLineW(inf, u"files", nullptr, &c));
  WCHAR text[64];
  ASSERT_TRUE(SetupGetStringFieldW(&c, 0, text, 64, nullptr));
  EXPECT_EQ(std::u16string(text), u"first.dll");  // a line without a key has its first field there
  ASSERT_TRUE(SetupFindFirstLineW(inf, u"FILES", u"key", &c));
  EXPECT_EQ(SetupGetFieldCount(&c), 3u);
  ASSERT_TRUE(SetupGetStringFieldW(&c, 0, text, 64, nullptr));
  EXPECT_EQ(std::u16string(text), u"Key");
  ASSERT_TRUE(SetupGetStringFieldW(&c, 2, text, 64, nullptr));
  EXPECT_EQ(std::u16string(text), u"b, with comma");
  EXPECT_FALSE(SetupGetStringFieldW(&c, 4, text, 64, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

  EXPECT_FALSE(SetupFindFirstLineW(inf, u"Nowhere", nullptr, &c));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_LINE_NOT_FOUND));  // the section's lines are missing too
  EXPECT_FALSE(SetupFindFirstLineW(inf, u"Files", u"NoSuchKey", &c));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_LINE_NOT_FOUND));
  EXPECT_EQ(SetupGetLineCountW(inf, u"Nowhere"), -1);

  // Walking to the section's end: the merged part comes last.
  ASSERT_TRUE(SetupFindFirstLineA(inf, "Files", "Names", &c));
  ASSERT_TRUE(SetupFindNextLine(&c, &c));
  ASSERT_TRUE(SetupGetStringFieldA(&c, 0, reinterpret_cast<PSTR>(text), sizeof text, nullptr));
  EXPECT_STREQ(reinterpret_cast<char *>(text), "Merged");
  EXPECT_FALSE(SetupFindNextLine(&c, &c));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_LINE_NOT_FOUND));

  SetupCloseInfFile(inf);
  EXPECT_FALSE(SetupFindFirstLineW(inf, u"Files", nullptr, &c));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST_F(InfReader, LineTextGrowsTheBufferItNeeds) {
  HINF inf = open(kSample);
  ASSERT_NE(inf, INVALID_HANDLE_VALUE);
  const std::u16string expected = u"a,b, with comma,c";
  DWORD needed = 0;
  // No buffer: the size with the terminator.
  ASSERT_TRUE(SetupGetLineTextW(nullptr, inf, u"Files", u"Key", nullptr, 0, &needed));
  EXPECT_EQ(needed, expected.size() + 1);
  std::vector<WCHAR> buffer(needed);
  EXPECT_FALSE(SetupGetLineTextW(nullptr, inf, u"Files", u"Key", buffer.data(), needed - 1, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  ASSERT_TRUE(SetupGetLineTextW(nullptr, inf, u"Files", u"Key", buffer.data(), needed, nullptr));
  EXPECT_EQ(std::u16string(buffer.data()), expected);

  INFCONTEXT c{};
  ASSERT_TRUE(SetupFindFirstLineW(inf, u"Files", u"Long", &c));
  ASSERT_TRUE(SetupGetLineTextW(&c, nullptr, nullptr, nullptr, buffer.data(), DWORD(buffer.size()), nullptr));
  EXPECT_EQ(std::u16string(buffer.data()), u"one,two");
  char ansi[4];
  EXPECT_FALSE(SetupGetLineTextA(&c, nullptr, nullptr, nullptr, ansi, sizeof ansi, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, 8u);
  EXPECT_FALSE(SetupGetLineTextW(nullptr, inf, u"Files", u"Absent", nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_LINE_NOT_FOUND));
  SetupCloseInfFile(inf);
}

TEST_F(InfReader, TheLineCallsMakeDirectoryIdsFolders) {
  const char text[] =
      "[Version]\r\nSignature=$Chicago$\r\n"
      "[Dest]\r\nFiles = %11%\\cardrend.dll, %1%\\x.dll, %12%, %99%, 100%, %66000%\r\n";
  HINF inf = open(text);
  ASSERT_NE(inf, INVALID_HANDLE_VALUE);
  INFCONTEXT c{};
  ASSERT_TRUE(SetupFindFirstLineW(inf, u"Dest", u"Files", &c));
  std::vector<std::u16string> fields;
  for (DWORD i = 1; i <= SetupGetFieldCount(&c); ++i) {
    WCHAR field[MAX_PATH];
    ASSERT_TRUE(SetupGetStringFieldW(&c, i, field, MAX_PATH, nullptr));
    fields.push_back(field);
  }
  // 1 is the INF's own folder; an id that names no folder stays.
  EXPECT_EQ(fields, std::vector<std::u16string>({u"C:\\Windows\\system32\\cardrend.dll", u"C:\\pkg\\x.dll",
                                                 u"C:\\Windows\\system32\\drivers", u"%99%", u"100%",
                                                 u"C:\\Windows\\system32\\spool\\drivers\\x64"}));
  // The reader of the package's tests keeps them as written.
  EXPECT_EQ(winsim::readInf(winsim::hostPath(u"C:\\pkg\\t.inf")).section(u"Dest")->lines[0].fields[0],
            u"%11%\\cardrend.dll");
  SetupCloseInfFile(inf);
}

}  // namespace
}  // namespace winsim_test
