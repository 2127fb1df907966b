// The device information texts from the printer's replies, the smart-card
// option table, the single-feed status and the device sheet's enabling.
#include "config/device_info.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace card::cfg {
namespace {

const std::string kAck = "\x06";

// A printer that answers from a table; commands without an entry fail.
struct TablePrinter {
  std::map<std::string, QueryResult> answers;
  std::vector<std::string> asked;
  DeviceQuery query() {
    return [this](std::string_view c) {
      asked.emplace_back(c);
      auto it = answers.find(std::string(c));
      return it == answers.end() ? QueryResult{} : it->second;
    };
  }
  void answer(std::string_view c, const std::string &reply) { answers[std::string(c)] = {true, reply}; }
};

std::string nameOf(const std::string &code) { return code == "2" ? "YMCKO" : "Unknown"; }

TEST(DeviceReplies, GoodReplyEndsWithAck) {
  std::string t;
  const uint8_t good[] = {'1', '2', 6};
  EXPECT_TRUE(goodReply(good, 3, t));
  EXPECT_EQ(t, "12");
  const uint8_t ackOnly[] = {6};
  EXPECT_TRUE(goodReply(ackOnly, 1, t));
  EXPECT_EQ(t, "");
  const uint8_t nak[] = {'1', 21};
  EXPECT_FALSE(goodReply(nak, 2, t));
  EXPECT_EQ(t, "");
  EXPECT_FALSE(goodReply(good, 0, t));
  EXPECT_FALSE(goodReply(nullptr, 3, t));
}

TEST(DeviceReplies, RemainingCountPanelsAndEncoder) {
  EXPECT_EQ(remainingCountText(true, "0"), "N/A");
  EXPECT_EQ(remainingCountText(true, "0150"), "N/A");
  EXPECT_EQ(remainingCountText(true, "150"), "150");
  EXPECT_EQ(remainingCountText(false, "150"), "N/A");

  uint64_t n = 0;
  EXPECT_TRUE(panelsPrinted("!1234 and more", n));
  EXPECT_EQ(n, 1234u);
  EXPECT_TRUE(panelsPrinted("77", n));
  EXPECT_EQ(n, 77u);
  EXPECT_TRUE(panelsPrinted("4294967296", n));  // past 32 bits, shown whole
  EXPECT_EQ(n, 4294967296u);
  EXPECT_FALSE(panelsPrinted("", n));
  EXPECT_FALSE(panelsPrinted("!", n));
  EXPECT_FALSE(panelsPrinted(" 12", n));  // cut at the first blank: nothing left
  EXPECT_FALSE(panelsPrinted("99999999999999999999999", n));

  EXPECT_TRUE(encoderReported(true, "1 1"));
  EXPECT_FALSE(encoderReported(true, "0"));
  EXPECT_FALSE(encoderReported(false, "1"));
  EXPECT_FALSE(encoderReported(true, ""));
}

TEST(DeviceReplies, SmartCardOptionFirstMatchWins) {
  EXPECT_STREQ(smartCardOption("CA3 V3.02 0iB"), "Contact Encoder");
  EXPECT_STREQ(smartCardOption("CA3 0iC"), "Contact Encoder and HID iCLASS");
  EXPECT_STREQ(smartCardOption("QA5 0iD V1"), "Contact Encoder and MIFARE");
  EXPECT_STREQ(smartCardOption("0iE"), "Contact Station");
  EXPECT_STREQ(smartCardOption("0iF"), "HID iCLASS");
  EXPECT_STREQ(smartCardOption("0iH"), "MIFARE contactless");
  EXPECT_STREQ(smartCardOption("0iH 0iB"), "Contact Encoder");
  EXPECT_STREQ(smartCardOption("CA3 0iG"), "No");
  EXPECT_STREQ(smartCardOption(""), "No");
}

TEST(DeviceReplies, SingleFeedStatus) {
  EXPECT_EQ(singleFeedStatus(true, "1"), kIdsEnabled);
  EXPECT_EQ(singleFeedStatus(true, "0 1"), kIdsDisabled);
  EXPECT_EQ(singleFeedStatus(true, "2"), kIdsUnknown);
  EXPECT_EQ(singleFeedStatus(true, ""), kIdsUnknown);
  EXPECT_EQ(singleFeedStatus(false, "1"), kIdsUnknown);
  EXPECT_EQ(kIdsDisabled, 36u);
  EXPECT_EQ(kIdsUnknown, 37u);
  EXPECT_EQ(kIdsEnabled, 38u);
}

TEST(DeviceInfo, EveryFieldFromAnAnsweringPrinter) {
  TablePrinter p;
  p.answer(kQueryRibbon, "2" + kAck);
  p.answer(kQueryRibbonLength, "250" + kAck);
  p.answer(kQueryHeadResistance, "1250" + kAck);
  p.answer(kQueryEncoder, "1" + kAck);
  p.answer(kQueryVersion, "CA3 V3.02 0iD" + kAck);
  p.answer(kQuerySerial, "EMU20240001" + kAck);
  p.answer(kQueryPanels, "!1234 panels" + kAck);
  const DeviceInfoTexts t = readDeviceInfo(p.query(), nameOf);
  EXPECT_EQ(t.ribbon, "YMCKO");
  EXPECT_EQ(t.remaining, "250");
  EXPECT_EQ(t.model, "CA3 V3.02 0iD");
  EXPECT_EQ(t.serial, "EMU20240001");
  EXPECT_EQ(t.encoder, "Yes");
  EXPECT_EQ(t.smartCard, "Contact Encoder and MIFARE");
  EXPECT_EQ(t.panels, "1234");
  EXPECT_EQ(t.headResistance, "1250");
  const std::vector<std::string> order = {std::string(kQueryRibbon),         std::string(kQueryRibbonLength),
                                          std::string(kQueryHeadResistance), std::string(kQueryEncoder),
                                          std::string(kQueryVersion),        std::string(kQuerySerial),
                                          std::string(kQueryPanels),         std::string(kQueryHeadResistance)};
  EXPECT_EQ(p.asked, order);
}

TEST(DeviceInfo, SilentPrinterStopsAfterTheRibbon) {
  TablePrinter p;
  const DeviceInfoTexts t = readDeviceInfo(p.query(), nameOf);
  EXPECT_EQ(t.ribbon, "Unknown");
  EXPECT_EQ(t.remaining, "N/A");
  EXPECT_EQ(t.model, "");
  EXPECT_EQ(t.encoder, "");
  EXPECT_EQ(t.smartCard, "");
  EXPECT_EQ(t.panels, "");
  EXPECT_EQ(p.asked.size(), 1u);
}

TEST(DeviceInfo, RepliesThatAreNotGood) {
  TablePrinter p;
  p.answer(kQueryRibbon, "2");  // no acknowledgement
  p.answer(kQueryRibbonLength, "100" + kAck);
  p.answer(kQueryEncoder, "0" + kAck);
  p.answer(kQueryVersion, "QA5\x15");
  p.answer(kQueryPanels, "!" + kAck);
  const DeviceInfoTexts t = readDeviceInfo(p.query(), nameOf);
  EXPECT_EQ(t.ribbon, "Unknown");
  EXPECT_EQ(t.remaining, "N/A");
  EXPECT_EQ(t.encoder, "No");
  EXPECT_EQ(t.model, "");
  EXPECT_EQ(t.smartCard, "No");
  EXPECT_EQ(t.serial, "");
  EXPECT_EQ(t.panels, " ");
  EXPECT_EQ(t.headResistance, "");

  // A ribbon count of "0" is no count; a ribbon the table lacks is unknown.
  TablePrinter q;
  q.answer(kQueryRibbon, "99" + kAck);
  q.answer(kQueryRibbonLength, "0" + kAck);
  const DeviceInfoTexts u = readDeviceInfo(q.query(), nameOf);
  EXPECT_EQ(u.ribbon, "Unknown");
  EXPECT_EQ(u.remaining, "N/A");
}

TEST(DeviceSheet, EncoderAndFirmwareButtons) {
  DeviceSheetEnabling e = deviceSheetEnabling(false, 0, false);
  EXPECT_FALSE(e.encoderSettings);
  EXPECT_FALSE(e.firmwareDownload);
  e = deviceSheetEnabling(true, 0, true);
  EXPECT_TRUE(e.encoderSettings && e.firmwareDownload);
  e = deviceSheetEnabling(false, 3, false);  // a ribbon chosen by hand
  EXPECT_TRUE(e.encoderSettings && e.firmwareDownload);
}

}  // namespace
}  // namespace card::cfg
