// cardtool's command line as a person scripting a printer writes it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/cardtool/options.h"

namespace cardtool {
namespace {

struct Parsed {
  bool ok = false;
  Options options;
  std::string problem;
};

Parsed parse(std::vector<std::u16string> args) {
  std::vector<const char16_t *> argv;
  for (const auto &a : args) argv.push_back(a.c_str());
  Parsed p;
  p.ok = parseOptions(int(argv.size()), argv.data(), p.options, p.problem);
  return p;
}

TEST(CardtoolOptions, EscapesSpellTheBytesOfACommand) {
  std::string bytes, problem;
  ASSERT_TRUE(resolveEscapes(u"\\eV\\r", bytes, problem));
  EXPECT_EQ(bytes, "\x1bV\r");
  ASSERT_TRUE(resolveEscapes(u"\\e!V 1\\r\\x00\\x7f\\\\", bytes, problem));
  EXPECT_EQ(bytes, std::string("\x1b!V 1\r\0\x7f\\", 9));
  EXPECT_FALSE(resolveEscapes(u"\\x4", bytes, problem));
  EXPECT_FALSE(resolveEscapes(u"\\q", bytes, problem));
  EXPECT_FALSE(resolveEscapes(u"trailing\\", bytes, problem));
  // Printer commands are 8-bit text.
  EXPECT_FALSE(resolveEscapes(u"\u20ac", bytes, problem));
  EXPECT_TRUE(resolveEscapes(u"\u00e9", bytes, problem));
  EXPECT_EQ(bytes, "\xe9");
}

TEST(CardtoolOptions, EachCommandWithItsArguments) {
  Parsed p = parse({u"Card Printer", u"cmd", u"\\eV\\r"});
  ASSERT_TRUE(p.ok) << p.problem;
  EXPECT_EQ(p.options.printer, u"Card Printer");
  EXPECT_EQ(p.options.tool, Tool::Command);
  EXPECT_EQ(p.options.command, "\x1bV\r");

  p = parse({u"P", u"send", u"cmds.txt", u"--prn"});
  ASSERT_TRUE(p.ok) << p.problem;
  EXPECT_EQ(p.options.tool, Tool::Send);
  EXPECT_EQ(p.options.file, u"cmds.txt");
  EXPECT_EQ(p.options.sendAs, SendAs::PrinterFile);

  p = parse({u"P", u"firmware", u"C:\\fw\\printer.bin"});
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.options.tool, Tool::Firmware);
  EXPECT_EQ(p.options.file, u"C:\\fw\\printer.bin");

  p = parse({u"P", u"test-card", u"2"});
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.options.testCard, 2);

  p = parse({u"P", u"offsets", u"--front-x=12", u"--back-y", u"3"});
  ASSERT_TRUE(p.ok) << p.problem;
  EXPECT_EQ(p.options.offsets[0], "12");
  EXPECT_FALSE(p.options.offsets[1]);
  EXPECT_FALSE(p.options.offsets[2]);
  EXPECT_EQ(p.options.offsets[3], "3");

  p = parse({u"P", u"encode", u"--track1", u"HELLO 1", u"--track3=123=45"});
  ASSERT_TRUE(p.ok) << p.problem;
  EXPECT_EQ(p.options.tracks[0], "HELLO 1");
  EXPECT_FALSE(p.options.tracks[1]);
  EXPECT_EQ(p.options.tracks[2], "123=45");

  p = parse({u"P", u"read-tracks", u"--track2"});
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.options.readTrack, (std::array<bool, 3>{false, true, false}));
}

TEST(CardtoolOptions, MistakesAreNamed) {
  EXPECT_TRUE(parse({}).ok);  // no arguments: the help
  EXPECT_EQ(parse({u"--help"}).options.tool, Tool::Help);
  EXPECT_EQ(parse({u"P", u"help"}).options.tool, Tool::Help);
  EXPECT_NE(parse({u"P"}).problem.find("no command"), std::string::npos);
  EXPECT_NE(parse({u"P", u"format"}).problem.find("unknown command format"), std::string::npos);
  EXPECT_NE(parse({u"P", u"cmd"}).problem.find("cmd needs"), std::string::npos);
  EXPECT_FALSE(parse({u"P", u"cmd", u""}).ok);
  EXPECT_FALSE(parse({u"P", u"send"}).ok);
  EXPECT_NE(parse({u"P", u"clean", u"now"}).problem.find("unexpected argument now"), std::string::npos);
  EXPECT_NE(parse({u"P", u"eject", u"--fast"}).problem.find("unknown option --fast"), std::string::npos);
  EXPECT_FALSE(parse({u"P", u"test-card", u"3"}).ok);
  EXPECT_FALSE(parse({u"P", u"offsets", u"--front-x"}).ok);
  EXPECT_FALSE(parse({u"P", u"read-tracks", u"--track1=x"}).ok);
  // Options of another command are not taken.
  EXPECT_FALSE(parse({u"P", u"clean", u"--track1", u"A"}).ok);
  EXPECT_FALSE(parse({u"-x", u"cmd", u"V"}).ok);
}

TEST(CardtoolOptions, RepliesShownAsTheToolsDialogShowsThem) {
  EXPECT_EQ(shownReply(true, "CA3 V3.02\x06"), "CA3 V3.02<ACK>");
  EXPECT_EQ(shownReply(false, ""), "Printer has no response");
  EXPECT_EQ(shownReply(true, ""), "Printer has no response");
  EXPECT_EQ(shownReply(true,
                       "\x15"
                       "54\r"),
            "\\x1554\\r");
}

}  // namespace
}  // namespace cardtool
