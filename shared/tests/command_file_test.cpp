// Command files: one escape command per line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shared/command_file.h"

namespace card::interception {
namespace {

using Commands = std::vector<std::string>;

Commands commandsOf(const std::string &file, bool skipEmpty = false) {
  return commandFileCommands(reinterpret_cast<const uint8_t *>(file.data()), file.size(), skipEmpty);
}

TEST(CommandFile, EachLineBecomesEscLineCr) {
  EXPECT_EQ(commandsOf("RESET\nCLEAN\n"), (Commands{"\033RESET\r", "\033CLEAN\r"}));
  EXPECT_EQ(commandsOf("RESET\nCLEAN"), (Commands{"\033RESET\r", "\033CLEAN\r"}));
  EXPECT_EQ(commandsOf("RESET\r\nMS 2\r"), (Commands{"\033RESET\r", "\033MS 2\r"}));
  EXPECT_TRUE(commandsOf("").empty());
  // An empty line is a bare command; the network monitor leaves them out.
  EXPECT_EQ(commandsOf("\nV\n\r\n"), (Commands{"\033\r", "\033V\r", "\033\r"}));
  EXPECT_EQ(commandsOf("\nV\n\r\n", true), (Commands{"\033V\r"}));
}

TEST(CommandFile, ALongLineGoesOnWithTheByteAtTheCut) {
  // 126 bytes: ESC and the line are 127 bytes before the CR, one command.
  std::string full(126, 'A');
  EXPECT_EQ(commandsOf(full + "\n"), (Commands{"\033" + full + "\r"}));
  EXPECT_EQ(commandsOf(full + "\r\n"), (Commands{"\033" + full + "\r"}));
  // One more: the cut falls on 'B', which starts the next command.
  EXPECT_EQ(commandsOf(full + "B\nC"), (Commands{"\033" + full + "\r", "\033B\r", "\033C\r"}));
  // Longer still: no byte is lost and no command is too long.
  std::string line;
  for (int i = 0; i < 300; ++i) line.push_back(char('a' + i % 26));
  std::string joined;
  for (const std::string &c : commandsOf(line)) {
    EXPECT_LE(c.size() - 1, kMaxCommandBytes);
    joined += c.substr(1, c.size() - 2);
  }
  EXPECT_EQ(joined, line);
}

}  // namespace
}  // namespace card::interception
