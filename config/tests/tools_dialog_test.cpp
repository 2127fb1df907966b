// The tools dialog worked by winsim's scripted user against the emulated
// printer on USB001, behind the USB language monitor: what the technician
// sees of the printer's replies and what the printer made of the commands.
// Built when the emulated printer and the USB monitor are part of the build.
#ifdef USBMON_DLL

#include <memory>
#include <string>
#include <vector>

#include "config/dialogs.h"
#include "config/dialogs/tools_ids.h"
#include "config/tests/emulated_printer_fixture.h"

namespace card::cfg {
namespace {

const char16_t kCaption[] = u"Pellor Standard Printer";
const char16_t kFeederText[] = u"Please put appropriate card in feeder.";
const char16_t kOffsetsText[] = u"You are about to change your printer offsets";

std::u16string ascii16(const std::string &text) { return std::u16string(text.begin(), text.end()); }

size_t count(const std::string &in, const std::string &what) {
  size_t n = 0;
  for (size_t at = in.find(what); at != std::string::npos; at = in.find(what, at + 1)) ++n;
  return n;
}

class ToolsDialog : public EmulatedPrinterTest {
 protected:
  void SetUp() override {
    EmulatedPrinterTest::SetUp();
    if (HasFatalFailure()) return;
    state().working.hasEncoder = kSettingOn;
    state().working.ribbonId = 3;
  }

  // Opens the dialog once with these actions, ended with "Close"; the
  // dialog as the user saw it.
  winsim::ShownDialog run(std::vector<winsim::DialogAction> actions) {
    winsim::clearShownMessages();
    device->takeWrites();
    const size_t before = winsim::shownDialogs().size();
    winsim::scriptDialog({u"", IDD_TOOLS, std::move(actions), IDC_TOOLS_CLOSE, 1});
    EXPECT_EQ(showToolsDialog(nullptr), IDOK);
    const auto shown = winsim::shownDialogs();
    EXPECT_EQ(shown.size(), before + 1);
    return shown.empty() ? winsim::ShownDialog{} : shown.back();
  }
  // The tracks unchosen, the command empty: the state outlives each test.
  static std::vector<winsim::DialogAction> fresh(std::vector<winsim::DialogAction> more = {}) {
    std::vector<winsim::DialogAction> a = {
        winsim::userType(IDC_TOOLS_COMMAND, u""), winsim::userCheck(IDC_TOOLS_TRACK1, BST_UNCHECKED),
        winsim::userCheck(IDC_TOOLS_TRACK2, BST_UNCHECKED), winsim::userCheck(IDC_TOOLS_TRACK3, BST_UNCHECKED)};
    a.insert(a.end(), more.begin(), more.end());
    return a;
  }
  static void answer(const std::u16string &text, int button) {
    winsim::UserScript rule;
    rule.text = text;
    rule.answer = button;
    winsim::scriptUser(rule);
  }
  std::vector<winsim::ShownMessage> messages(const std::u16string &text) {
    std::vector<winsim::ShownMessage> out;
    for (const auto &m : winsim::shownMessages())
      if (m.text.find(text) != std::u16string::npos) out.push_back(m);
    return out;
  }
};

TEST_F(ToolsDialog, TypedCommandShowsTheReplyAndIsRememberedForTheNextOpening) {
  auto d = run(fresh({winsim::userType(IDC_TOOLS_COMMAND, u"V"), winsim::userClick(IDC_TOOLS_EXECUTE)}));
  EXPECT_EQ(textAtEnd(d, IDC_TOOLS_STATUS), ascii16(emu.state().modelText) + u"<ACK>");
  EXPECT_NE(sentBytes().find("\x1bV\r"), std::string::npos);
  // Direct printing was only lent for the command.
  EXPECT_EQ(attributes() & PRINTER_ATTRIBUTE_DIRECT, 0u);
  // Tool commands are questions with a reply, whatever the settings chose.
  EXPECT_EQ(state().working.ribbonId, 0);

  d = run({});
  EXPECT_EQ(textAtOpen(d, IDC_TOOLS_COMMAND), u"V");
  EXPECT_EQ(textAtOpen(d, IDC_TOOLS_STATUS), u"");
}

TEST_F(ToolsDialog, OffsetsAreReadAtOpeningAndSetAsOneCommand) {
  emu.write("\x1b+O 12\r\x1b+OY 3\r\x1b+OB 7\r\x1b+OYB 9\r");
  answer(kOffsetsText, IDYES);
  auto d = run(fresh({winsim::userType(IDC_TOOLS_FRONT_X, u"10"), winsim::userType(IDC_TOOLS_FRONT_Y, u"20"),
                      winsim::userType(IDC_TOOLS_BACK_X, u"30"), winsim::userType(IDC_TOOLS_BACK_Y, u"40"),
                      winsim::userClick(IDC_TOOLS_SET_OFFSETS)}));
  EXPECT_EQ(textAtOpen(d, IDC_TOOLS_FRONT_X), u"12");
  EXPECT_EQ(textAtOpen(d, IDC_TOOLS_FRONT_Y), u"3");
  EXPECT_EQ(textAtOpen(d, IDC_TOOLS_BACK_X), u"7");
  EXPECT_EQ(textAtOpen(d, IDC_TOOLS_BACK_Y), u"9");
  EXPECT_TRUE(d.control(IDC_TOOLS_SET_OFFSETS)->enabled);

  const std::string bytes = sentBytes();
  EXPECT_EQ(count(bytes, "\x1b+O 10\r\x1b+OY 20\r\x1b+OB 30\r\x1b+OYB 40\r"), 1u);
  EXPECT_EQ(count(bytes, "\x1b+O"), 4u);
  const auto s = emu.state();
  EXPECT_EQ(s.settings.at("+O"), 10);
  EXPECT_EQ(s.settings.at("+OY"), 20);
  EXPECT_EQ(s.settings.at("+OB"), 30);
  EXPECT_EQ(s.settings.at("+OYB"), 40);
  EXPECT_EQ(textAtEnd(d, IDC_TOOLS_STATUS), u"<ACK>");

  const auto asked = messages(kOffsetsText);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].caption, kCaption);
  const UINT style = MB_YESNO | MB_ICONEXCLAMATION | MB_SYSTEMMODAL | MB_SETFOREGROUND | MB_TOPMOST;
  EXPECT_EQ(asked[0].flags & style, style);
}

TEST_F(ToolsDialog, DeclinedOffsetChangeReadsThePrinterAgain) {
  emu.write("\x1b+O 12\r");
  answer(kOffsetsText, IDNO);
  auto d = run(fresh({winsim::userType(IDC_TOOLS_FRONT_X, u"30"), winsim::userClick(IDC_TOOLS_SET_OFFSETS)}));
  EXPECT_EQ(textAtEnd(d, IDC_TOOLS_FRONT_X), u"12");
  EXPECT_EQ(emu.state().settings.at("+O"), 12);
  EXPECT_EQ(sentBytes().find("\x1b+O "), std::string::npos);
  EXPECT_EQ(count(sentBytes(), "\x1b!V 1\r"), 2u);
}

TEST_F(ToolsDialog, TypingIsCheckedFieldByField) {
  answer(u"Offset could not be more than 48.", IDOK);
  answer(u"Exceeding number of characters", IDOK);
  answer(u"Invalid Character for encoding", IDOK);
  auto d = run(fresh({winsim::userType(IDC_TOOLS_FRONT_X, u"49"), winsim::userClick(IDC_TOOLS_TRACK1),
                      winsim::userClick(IDC_TOOLS_TRACK2), winsim::userType(IDC_TOOLS_TRACK1_DATA, u"AB%C"),
                      winsim::userType(IDC_TOOLS_TRACK2_DATA, ascii16(std::string(38, '1')))}));
  EXPECT_EQ(textAtEnd(d, IDC_TOOLS_FRONT_X), u"4");
  EXPECT_EQ(textAtEnd(d, IDC_TOOLS_TRACK1_DATA), u"ABC");
  EXPECT_EQ(textAtEnd(d, IDC_TOOLS_TRACK2_DATA), ascii16(std::string(37, '1')));
  EXPECT_EQ(messages(u"Offset could not be more than 48.").size(), 1u);
  // "%" was cut away as it came; the "C" after it was fine.
  EXPECT_EQ(messages(u"Invalid Character for encoding").size(), 1u);
  EXPECT_EQ(messages(u"Exceeding number of characters that could be encoded on track").size(), 1u);
}

TEST_F(ToolsDialog, CleaningOnlyAfterTheTechnicianSaysYes) {
  emu.removeRibbon();
  const char16_t text[] = u"Please remove the ribbon from printer.\nClose the head of printer.";
  answer(text, IDNO);
  run(fresh({winsim::userClick(IDC_TOOLS_CLEAN)}));
  EXPECT_EQ(emu.state().cleanings, 0);
  EXPECT_EQ(sentBytes().find("CLEAN"), std::string::npos);

  winsim::clearUserScript();
  answer(text, IDYES);
  auto d = run(fresh({winsim::userClick(IDC_TOOLS_CLEAN)}));
  EXPECT_EQ(emu.state().cleanings, 1);
  EXPECT_EQ(textAtEnd(d, IDC_TOOLS_STATUS), u"<ACK>");
  const auto asked = messages(text);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].flags & UINT(MB_ICONEXCLAMATION), UINT(MB_ICONEXCLAMATION));
}

TEST_F(ToolsDialog, EncodedTracksReadBackAndTheCardIsEjected) {
  answer(kFeederText, IDYES);
  auto d = run(fresh({winsim::userClick(IDC_TOOLS_TRACK1), winsim::userClick(IDC_TOOLS_TRACK2),
                      winsim::userType(IDC_TOOLS_TRACK1_DATA, u"JOHN DOE 42"),
                      winsim::userType(IDC_TOOLS_TRACK2_DATA, u"1234=5678"), winsim::userClick(IDC_TOOLS_ENCODE)}));
  EXPECT_EQ(count(sentBytes(), "\x1b&B 1 JOHN DOE 42\r\x1b&B 2 1234=5678\r\x1b&E*\r"), 1u);
  EXPECT_EQ(textAtEnd(d, IDC_TOOLS_STATUS), u"<ACK>");
  ASSERT_TRUE(emu.state().cardInPrinter);

  // The track choices outlive the dialog, the texts do not.
  d = run({winsim::userClick(IDC_TOOLS_READ)});
  EXPECT_EQ(d.control(IDC_TOOLS_TRACK1)->check, BST_CHECKED);
  EXPECT_EQ(d.control(IDC_TOOLS_TRACK3)->check, BST_UNCHECKED);
  EXPECT_TRUE(d.control(IDC_TOOLS_TRACK2_DATA)->enabled);
  EXPECT_FALSE(d.control(IDC_TOOLS_TRACK3_DATA)->enabled);
  EXPECT_EQ(textAtOpen(d, IDC_TOOLS_TRACK1_DATA), u"");
  EXPECT_EQ(textAtEnd(d, IDC_TOOLS_TRACK1_DATA), u"JOHN DOE 42");
  EXPECT_EQ(textAtEnd(d, IDC_TOOLS_TRACK2_DATA), u"1234=5678");
  EXPECT_EQ(textAtEnd(d, IDC_TOOLS_TRACK3_DATA), u"");
  EXPECT_EQ(sentBytes().find("\x1b&L3\r"), std::string::npos);
  EXPECT_EQ(attributes() & PRINTER_ATTRIBUTE_DIRECT, 0u);
  EXPECT_EQ(messages(kFeederText).size(), 1u);

  const uint64_t out = emu.state().cardsOut;
  run({winsim::userClick(IDC_TOOLS_EJECT)});
  EXPECT_NE(sentBytes().find("\x1bMO\r"), std::string::npos);
  EXPECT_FALSE(emu.state().cardInPrinter);
  EXPECT_EQ(emu.state().cardsOut, out + 1);
}

TEST_F(ToolsDialog, AllThreeTracksFullGoInOneCommand) {
  // The printer set to the high density, where the tracks hold 76 and 104.
  emu.write("\x1b&D 1 210\r\x1b&D 3 210\r");
  answer(kFeederText, IDYES);
  const std::string one(76, 'Z'), two(37, '2'), three(104, '3');
  auto d = run(fresh({winsim::userClick(IDC_TOOLS_TRACK1), winsim::userClick(IDC_TOOLS_TRACK2),
                      winsim::userClick(IDC_TOOLS_TRACK3), winsim::userType(IDC_TOOLS_TRACK1_DATA, ascii16(one)),
                      winsim::userType(IDC_TOOLS_TRACK2_DATA, ascii16(two)),
                      winsim::userType(IDC_TOOLS_TRACK3_DATA, ascii16(three)), winsim::userClick(IDC_TOOLS_ENCODE),
                      winsim::userClick(IDC_TOOLS_READ)}));
  const std::string command = "\x1b&B 1 " + one + "\r\x1b&B 2 " + two + "\r\x1b&B 3 " + three + "\r\x1b&E*\r";
  EXPECT_EQ(count(sentBytes(), command), 1u);
  EXPECT_EQ(textAtEnd(d, IDC_TOOLS_TRACK1_DATA), ascii16(one));
  EXPECT_EQ(textAtEnd(d, IDC_TOOLS_TRACK2_DATA), ascii16(two));
  EXPECT_EQ(textAtEnd(d, IDC_TOOLS_TRACK3_DATA), ascii16(three));
}

TEST_F(ToolsDialog, NothingToEncodeSendsNothing) {
  answer(u"No data to encode.", IDOK);
  // A track chosen without text counts as nothing, like no track at all.
  run(fresh({winsim::userClick(IDC_TOOLS_TRACK3), winsim::userClick(IDC_TOOLS_ENCODE),
             winsim::userClick(IDC_TOOLS_TRACK3), winsim::userClick(IDC_TOOLS_ENCODE)}));
  const auto shown = messages(u"No data to encode.");
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].flags & UINT(MB_ICONSTOP), UINT(MB_ICONSTOP));
  EXPECT_EQ(shown[0].caption, kCaption);
  EXPECT_TRUE(messages(kFeederText).empty());
  EXPECT_EQ(sentBytes().find("&B"), std::string::npos);
  EXPECT_EQ(sentBytes().find("&E*"), std::string::npos);
}

TEST_F(ToolsDialog, TestCardKindsFollowTheEncoder) {
  auto d =
      run(fresh({winsim::userChoose(IDC_TOOLS_TEST_CARD, u"Encoder Parameters"), winsim::userClick(IDC_TOOLS_PRINT),
                 winsim::userChoose(IDC_TOOLS_TEST_CARD, u"Standard"), winsim::userClick(IDC_TOOLS_PRINT)}));
  const std::vector<std::u16string> kinds = {u"Standard", u"Printer Parameters", u"Encoder Parameters"};
  EXPECT_EQ(d.control(IDC_TOOLS_TEST_CARD)->items, kinds);
  EXPECT_EQ(d.control(IDC_TOOLS_CLEANING)->items, std::vector<std::u16string>{u"Printer only"});
  EXPECT_EQ(textAtOpen(d, IDC_TOOLS_CLEANING), u"Printer only");
  const std::string bytes = sentBytes();
  const size_t encoderCard = bytes.find(
      "\x1b"
      "A 2\r");
  ASSERT_NE(encoderCard, std::string::npos);
  EXPECT_NE(bytes.find("\x1b"
                       "A\r",
                       encoderCard),
            std::string::npos);

  // Without an encoder there is no encoder test card and no direct encoding.
  state().working.hasEncoder = kSettingOff;
  d = run({});
  EXPECT_EQ(d.control(IDC_TOOLS_TEST_CARD)->items.size(), 2u);
  for (int id : {IDC_TOOLS_TRACK1, IDC_TOOLS_TRACK2_DATA, IDC_TOOLS_ENCODE, IDC_TOOLS_READ})
    EXPECT_FALSE(d.control(id)->enabled) << id;
}

TEST_F(ToolsDialog, PrinterThatDoesNotAnswer) {
  emu.setConnected(false);
  const DWORD before = attributes();
  auto d = run(fresh({winsim::userType(IDC_TOOLS_COMMAND, u"V"), winsim::userClick(IDC_TOOLS_EXECUTE)}));
  EXPECT_EQ(textAtEnd(d, IDC_TOOLS_STATUS), u"Printer has no response");
  // No offsets came: the fields stay empty and cannot be sent.
  EXPECT_EQ(textAtOpen(d, IDC_TOOLS_FRONT_X), u"");
  EXPECT_FALSE(d.control(IDC_TOOLS_SET_OFFSETS)->enabled);
  EXPECT_EQ(attributes(), before);

  // A printer that takes the command and says nothing: the same.
  emu.setConnected(true);
  emu.setSilent(true);
  d = run({winsim::userClick(IDC_TOOLS_EXECUTE)});
  EXPECT_EQ(textAtEnd(d, IDC_TOOLS_STATUS), u"Printer has no response");
  EXPECT_EQ(attributes(), before);
}

}  // namespace
}  // namespace card::cfg

#endif
