// Command files: one escape command per line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "usbmon/command_file.h"

namespace card::usb {
namespace {

using Commands = std::vector<std::string>;

Commands commandsOf(const std::string &file, bool skipEmpty = false) {
  return commandFileCommands(reinterpret_cast<const uint8_t *>(file.data()), file.size(), skipEmpty);
}

TEST(CommandFile, EachLineBecomesEscLineCr) {
  EXPECT_EQ(commandsOf("RESET\nCLEAN\n"), (Commands{"\033RESET\r", "\033CLEAN\r"}));
  // The last line needs no line end.
  EXPECT_EQ(commandsOf("RESET\nCLEAN"), (Commands{"\033RESET\r", "\033CLEAN\r"}));
  // A line already ending in CR keeps that one CR (Windows line ends).
  EXPECT_EQ(commandsOf("RESET\r\nCLEAN\r\n"), (Commands{"\033RESET\r", "\033CLEAN\r"}));
  EXPECT_EQ(commandsOf("MS 2\r"), (Commands{"\033MS 2\r"}));
  EXPECT_EQ(commandsOf("!FF 0"), (Commands{"\033!FF 0\r"}));
}

TEST(CommandFile, EmptyFilesAndEmptyLines) {
  EXPECT_TRUE(commandsOf("").empty());
  EXPECT_TRUE(commandFileCommands(nullptr, 0).empty());
  // An empty line is a bare command; the network monitor skips them.
  EXPECT_EQ(commandsOf("\nV\n\r\n"), (Commands{"\033\r", "\033V\r", "\033\r"}));
  EXPECT_EQ(commandsOf("\nV\n\r\n", true), (Commands{"\033V\r"}));
}

TEST(CommandFile, LongLinesGoOnInTheNextCommandWithTheByteAtTheCut) {
  // 126 bytes: ESC and the line hold exactly 127 bytes before CR.
  std::string full(126, 'A');
  Commands c = commandsOf(full + "\n");
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].size(), 128u);
  EXPECT_EQ(c[0], "\033" + full + "\r");
  // The same with its own CR.
  EXPECT_EQ(commandsOf(full + "\r\n"), (Commands{"\033" + full + "\r"}));
  // One byte more: the cut falls on the 'B', which starts the next command.
  c = commandsOf(full + "B\nC\n");
  EXPECT_EQ(c, (Commands{"\033" + full + "\r", "\033B\r", "\033C\r"}));
  // Longer still: every byte arrives, no command holds more than 127 before CR.
  std::string line;
  for (int i = 0; i < 300; ++i) line.push_back(char('a' + i % 26));
  c = commandsOf(line);
  ASSERT_EQ(c.size(), 3u);
  std::string joined;
  for (const auto &cmd : c) {
    ASSERT_LE(cmd.size() - 1, kMaxCommandBytes);
    ASSERT_EQ(cmd.front(), '\033');
    ASSERT_EQ(cmd.back(), '\r');
    joined += cmd.substr(1, cmd.size() - 2);
  }
  EXPECT_EQ(joined, line);
}

}  // namespace
}  // namespace card::usb
