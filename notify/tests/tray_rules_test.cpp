// The tray program's command line, its printers and how it compares names.
#include <gtest/gtest.h>

#include <string>

#include "notify/tray_rules.h"

namespace {

using namespace card::notify;

std::u16string w(const char *s) {
  std::u16string r;
  while (*s) r.push_back(char16_t(static_cast<unsigned char>(*s++)));
  return r;
}

std::u16string printerOf(const std::u16string &commandLine) {
  const TrayArguments a = parseTrayArguments(reinterpret_cast<LPCWSTR>(commandLine.c_str()));
  if (a.start != TrayStart::Printer)
    return u"<" + std::u16string(a.start == TrayStart::Normal ? u"normal" : u"kill") + u">";
  std::u16string r;
  for (size_t i = 0; a.printer[i]; ++i) r.push_back(char16_t(a.printer[i]));
  return r;
}

TEST(TrayCommandLine, NoArgumentAndKillProcess) {
  EXPECT_EQ(parseTrayArguments(nullptr).start, TrayStart::Normal);
  EXPECT_EQ(printerOf(u""), u"<normal>");
  for (const char16_t *kill : {u"KillProcess", u"killprocess", u"KILLPROCESS", u"kIlLpRoCeSs"})
    EXPECT_EQ(printerOf(kill), u"<kill>") << std::string(kill, kill + 11);
  // Only the whole argument is the word.
  EXPECT_EQ(printerOf(u"KillProcess2"), u"KillProcess2");
  EXPECT_EQ(printerOf(u"Kill"), u"Kill");
}

TEST(TrayCommandLine, PrinterNameForms) {
  // The bare name yields itself.
  EXPECT_EQ(printerOf(u"Card Printer"), u"Card Printer");
  // Two backslashes, a server, a backslash, a name with a blank, a comma and
  // more: exactly the name, blank included.
  EXPECT_EQ(printerOf(u"\\\\server\\Card Printer 2,further text"), u"Card Printer 2");
  EXPECT_EQ(printerOf(u"\\\\server\\Card Printer 2"), u"Card Printer 2");
  EXPECT_EQ(printerOf(u"Card Printer,further text"), u"Card Printer");
  // With fewer than three backslashes, the text after the last one.
  EXPECT_EQ(printerOf(u"\\\\Card Printer"), u"Card Printer");
  EXPECT_EQ(printerOf(u"server\\Card Printer,x"), u"Card Printer");
  // After the third backslash, further backslashes belong to the name.
  EXPECT_EQ(printerOf(u"\\\\server\\a\\b"), u"a\\b");
  // Backslashes in the text after the comma are not the name's.
  EXPECT_EQ(printerOf(u"Card Printer,C:\\dir\\file"), u"Card Printer");
  EXPECT_EQ(printerOf(u"\\\\server\\Card Printer,\\\\x\\y"), u"Card Printer");
  // Nothing left to name a printer: a normal start.
  EXPECT_EQ(printerOf(u",text"), u"<normal>");
  EXPECT_EQ(printerOf(u"\\\\server\\"), u"<normal>");
  EXPECT_EQ(printerOf(u"\\\\server\\,text"), u"<normal>");
}

TEST(TrayCommandLine, LongNamesDoNotOverflow) {
  const std::u16string longest(kCommandLinePrinterChars, u'p');
  EXPECT_EQ(printerOf(u"\\\\server\\" + longest + u",x"), longest);
  // One character more can name no printer the program could hold.
  EXPECT_EQ(printerOf(u"\\\\server\\" + longest + u"p"), u"<normal>");
  EXPECT_EQ(printerOf(std::u16string(5000, u'q')), u"<normal>");
  // A long text after the comma does not matter.
  EXPECT_EQ(printerOf(u"P," + std::u16string(5000, u'q')), u"P");
}

TEST(TrayNames, AsciiOnlyCaseInsensitiveCompare) {
  auto eq = [](const std::u16string &a, const std::u16string &b) {
    return equalsAsciiNoCase(reinterpret_cast<LPCWSTR>(a.c_str()), reinterpret_cast<LPCWSTR>(b.c_str()));
  };
  EXPECT_TRUE(eq(u"Card Printer", u"CARD printer"));
  EXPECT_TRUE(eq(u"az[@`{", u"AZ[@`{"));
  // Characters next to the letters are no letters: '@' is not '`', '[' is not '{'.
  EXPECT_FALSE(eq(u"@", u"`"));
  EXPECT_FALSE(eq(u"[", u"{"));
  // Letters beyond ASCII are not folded.
  EXPECT_FALSE(eq(u"\u00C9tiquette", u"\u00E9tiquette"));
  EXPECT_FALSE(eq(u"\u0414", u"\u0434"));
  EXPECT_TRUE(eq(u"\u00E9", u"\u00E9"));
  // Prefixes differ; null is empty.
  EXPECT_FALSE(eq(u"Card", u"Card Printer"));
  EXPECT_FALSE(eq(u"Card Printer", u"Card"));
  EXPECT_TRUE(equalsAsciiNoCase(nullptr, reinterpret_cast<LPCWSTR>(u"")));
  EXPECT_FALSE(equalsAsciiNoCase(nullptr, reinterpret_cast<LPCWSTR>(u"x")));
}

TEST(TrayNames, PackageDrivers) {
  for (const char *name : {"Pellor Standard Network", "Pellor CA1 Card Printer USB", "Pellor CA2 Card Printer USB",
                           "Pellor CA3 Card Printer USB", "pellor ca2 card printer usb"})
    EXPECT_TRUE(isPackageDriver(reinterpret_cast<LPCWSTR>(w(name).c_str()))) << name;
  for (const char *name : {"Pellor CA4 Card Printer USB", "Pellor CA1 Card Printer", "Pellor Standard Network ",
                           "Generic / Text Only", ""})
    EXPECT_FALSE(isPackageDriver(reinterpret_cast<LPCWSTR>(w(name).c_str()))) << name;
  EXPECT_FALSE(isPackageDriver(nullptr));
}

}  // namespace
