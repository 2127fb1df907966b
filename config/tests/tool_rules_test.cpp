// The printer tools' commands and typing checks, byte for byte.
#include "config/tool_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace card::cfg {
namespace {

TEST(ToolRules, FixedAndTypedCommands) {
  EXPECT_EQ(typedCommand("V"), "\x1bV\r");
  EXPECT_EQ(typedCommand("!V 1"), "\x1b!V 1\r");
  EXPECT_EQ(testCardCommand(0),
            "\x1b"
            "A\r");
  EXPECT_EQ(testCardCommand(1),
            "\x1b"
            "A 1\r");
  EXPECT_EQ(testCardCommand(2),
            "\x1b"
            "A 2\r");
  EXPECT_EQ(readTrackCommand(1), "\x1b&L1\r");
  EXPECT_EQ(readTrackCommand(3), "\x1b&L3\r");
  EXPECT_EQ(kEjectCommand, "\x1bMO\r");
  EXPECT_EQ(kCleanCommand,
            "\x1b"
            "CLEAN\r");
  EXPECT_EQ(kEncodeTracksCommand, "\x1b&E*\r");
}

TEST(ToolRules, OffsetsGoAsOneCommandFrontFirst) {
  EXPECT_EQ(offsetsCommand(10, 20, 30, 40), "\x1b+O 10\r\x1b+OY 20\r\x1b+OB 30\r\x1b+OYB 40\r");
  EXPECT_EQ(offsetsCommand(5, std::nullopt, 1, 2), "\x1b+O 5\r\x1b+OB 1\r\x1b+OYB 2\r");
  EXPECT_EQ(offsetsCommand(std::nullopt, 7, 1, 2), "\x1b+OY 7\r\x1b+OB 1\r\x1b+OYB 2\r");
  // Empty back fields count as 0; the back parts are always there.
  EXPECT_EQ(offsetsCommand(std::nullopt, std::nullopt, std::nullopt, std::nullopt), "\x1b+OB 0\r\x1b+OYB 0\r");
  EXPECT_EQ(offsetsCommand(0, 0, 48, std::nullopt), "\x1b+O 0\r\x1b+OY 0\r\x1b+OB 48\r\x1b+OYB 0\r");
}

TEST(ToolRules, OffsetFieldsAreReadAsUnsignedNumbers) {
  EXPECT_EQ(offsetFieldNumber("12"), 12u);
  EXPECT_EQ(offsetFieldNumber(" 7 "), 7u);
  EXPECT_EQ(offsetFieldNumber("0"), 0u);
  EXPECT_EQ(offsetFieldNumber(""), std::nullopt);
  EXPECT_EQ(offsetFieldNumber("-3"), std::nullopt);
  EXPECT_EQ(offsetFieldNumber("1a"), std::nullopt);
  EXPECT_EQ(offsetFieldNumber("99999999999"), std::nullopt);
}

TEST(ToolRules, EncodeCommandHoldsTheGivenTracksInOrder) {
  EXPECT_EQ(encodeTracksCommand({std::string("ABC 123"), std::nullopt, std::string("0123=45")}),
            "\x1b&B 1 ABC 123\r\x1b&B 3 0123=45\r");
  EXPECT_EQ(encodeTracksCommand({std::nullopt, std::string("1234=5678"), std::nullopt}), "\x1b&B 2 1234=5678\r");
  // Nothing given, or only empty texts: nothing to encode.
  EXPECT_EQ(encodeTracksCommand({}), "");
  EXPECT_EQ(encodeTracksCommand({std::string(), std::string(), std::string()}), "");
  // Each text is cut to what its track holds: 76, 37 and 104 characters.
  const std::string command = encodeTracksCommand({std::string(80, 'A'), std::string(40, '1'), std::string(110, '2')});
  EXPECT_EQ(command, "\x1b&B 1 " + std::string(76, 'A') + "\r\x1b&B 2 " + std::string(37, '1') + "\r\x1b&B 3 " +
                         std::string(104, '2') + "\r");
}

TEST(ToolRules, OffsetAboveFortyEightLosesItsLastCharacter) {
  TypedText t = checkOffsetText("49");
  EXPECT_EQ(t.text, "4");
  EXPECT_EQ(t.message, 2072u);
  t = checkOffsetText("48");
  EXPECT_EQ(t.text, "48");
  EXPECT_EQ(t.message, 0u);
  EXPECT_EQ(checkOffsetText("").message, 0u);
  EXPECT_EQ(checkOffsetText("0").message, 0u);
  // Pasted text loses characters until the number fits, with one message.
  t = checkOffsetText("490");
  EXPECT_EQ(t.text, "4");
  EXPECT_EQ(t.message, 2072u);
  t = checkOffsetText("123456789012345678901234567890");
  EXPECT_EQ(t.text, "12");
  EXPECT_EQ(t.message, 2072u);
}

TEST(ToolRules, TrackOneTakesCapitalsDigitsBlanksAndAFewSigns) {
  TypedText t = checkTrackText(1, "AB%C");
  EXPECT_EQ(t.text, "AB");
  EXPECT_EQ(t.message, 2070u);
  t = checkTrackText(1, "JOHN DOE/$(1-2).^");
  EXPECT_EQ(t.text, "JOHN DOE/$(1-2).^");
  EXPECT_EQ(t.message, 0u);
  t = checkTrackText(1, "Ab");
  EXPECT_EQ(t.text, "A");
  EXPECT_EQ(t.message, 2070u);
  EXPECT_EQ(checkTrackText(1, "?").text, "");
  // 76 characters fit; the 77th is taken away.
  EXPECT_EQ(checkTrackText(1, std::string(76, 'X')).message, 0u);
  t = checkTrackText(1, std::string(77, 'X'));
  EXPECT_EQ(t.text, std::string(76, 'X'));
  EXPECT_EQ(t.message, 2071u);
}

TEST(ToolRules, TracksTwoAndThreeTakeDigitsAndSeparators) {
  TypedText t = checkTrackText(2, std::string(38, '1'));
  EXPECT_EQ(t.text, std::string(37, '1'));
  EXPECT_EQ(t.message, 2071u);
  EXPECT_EQ(checkTrackText(2, std::string(37, '1')).message, 0u);
  t = checkTrackText(2, "1234=56A");
  EXPECT_EQ(t.text, "1234=56");
  EXPECT_EQ(t.message, 2070u);
  t = checkTrackText(3, "12 3");
  EXPECT_EQ(t.text, "12");
  EXPECT_EQ(t.message, 2070u);
  EXPECT_EQ(checkTrackText(3, std::string(104, '=')).message, 0u);
  t = checkTrackText(3, std::string(105, '9'));
  EXPECT_EQ(t.text, std::string(104, '9'));
  EXPECT_EQ(t.message, 2071u);
}

TEST(ToolRules, OffsetReplyLosesItsAckAndTheBlankBeforeIt) {
  EXPECT_EQ(offsetReplyText("12 \x06"), "12");
  EXPECT_EQ(offsetReplyText("0 \x06"), "0");
  EXPECT_EQ(offsetReplyText("7\x06"), "7");
  // Two bytes: the blank is the whole text and stays.
  EXPECT_EQ(offsetReplyText(" \x06"), " ");
  EXPECT_EQ(offsetReplyText("\x06"), "");
  // Without the final ACK the printer did not accept the question.
  EXPECT_EQ(offsetReplyText("12 "), std::nullopt);
  EXPECT_EQ(offsetReplyText("\x06 12"), std::nullopt);
  EXPECT_EQ(offsetReplyText(""), std::nullopt);
}

}  // namespace
}  // namespace card::cfg
