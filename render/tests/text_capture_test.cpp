// Macros in the page's text: what is stored, what is drawn, and what is found
// when a macro arrives in pieces.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "render/text_capture.h"

namespace {

using namespace card;

struct Page {
  JobSettingsRecord r{};
  CardCapture cap{};
  FragmentList list;
  Page() { r.macroProcessing = 1; }
  TextUse text(const std::string &s, LONG top = 100, LONG left = 10) {
    std::basic_string<uint16_t> w(s.begin(), s.end());
    RECTL b{left, top, left + 50, top + 20};
    return captureText(w.data(), w.size(), b, r, cap, list);
  }
};

TEST(TextMacros, TrackMacros) {
  Page p;
  EXPECT_EQ(p.text("~1%ABC?"), TextUse::Macro);
  EXPECT_STREQ(p.r.track1Text, "ABC");
  EXPECT_EQ(p.r.trackPresent[0], 1);
  EXPECT_EQ(p.text("~2;1234?"), TextUse::Macro);
  EXPECT_STREQ(p.r.track2Text, "1234");
  EXPECT_EQ(p.text("~3RAW"), TextUse::Macro);
  EXPECT_STREQ(p.r.track3Text, "RAW");
  EXPECT_EQ(p.text("~C0&B 1 2222"), TextUse::Macro);
  EXPECT_STREQ(p.r.track1Text, "2222");
  // Track 1 takes the text only up to the 80th character of the whole text.
  EXPECT_EQ(p.text("~1" + std::string(100, 'x')), TextUse::Macro);
  EXPECT_EQ(std::strlen(p.r.track1Text), 78u);
}

TEST(TextMacros, EncoderSlotsAndCommands) {
  Page p;
  EXPECT_EQ(p.text("~C0&B 11 X"), TextUse::Macro);
  EXPECT_STREQ(p.cap.encoderCommand11, "\x1b&B 11 X\r");
  EXPECT_EQ(p.text("~C0&R"), TextUse::Macro);
  EXPECT_STREQ(p.cap.encoderCommandR, "\x1b&R\r");
  EXPECT_EQ(p.text("~C0&D 1234567890"), TextUse::Macro);  // at most 7 characters
  EXPECT_STREQ(p.cap.encoderCommandD, "\x1b&D 1234\r");
  EXPECT_EQ(p.text("~C0&CDEW 1 2"), TextUse::Macro);
  EXPECT_STREQ(p.cap.encoderCommandCDEW, "\x1b&CDEW 1 2\r");
  EXPECT_EQ(p.text("~C0&E "), TextUse::Macro);
  EXPECT_EQ(p.text("~C0&E x"), TextUse::Draw);
  EXPECT_EQ(p.text("~C2A"), TextUse::Macro);
  EXPECT_EQ(p.text("~C2B"), TextUse::Macro);
  EXPECT_STREQ(p.cap.afterBlackCommand,
               "\x1b"
               "A\r\x1b"
               "B\r");
  EXPECT_EQ(p.text("~C7PRE"), TextUse::Macro);
  EXPECT_STREQ(p.cap.preJobCommand, "\x1bPRE\r");
  // A command that no longer fits its slot is drawn as ordinary text.
  EXPECT_EQ(p.text("~C4" + std::string(250, 'v')), TextUse::Macro);
  EXPECT_EQ(p.text("~C4vv"), TextUse::Draw);
  EXPECT_EQ(std::strlen(p.cap.afterVarnishCommand), 252u);
}

TEST(TextMacros, SentinelsOfTheSettings) {
  Page p;
  std::strcpy(p.r.startOfData, "<<");
  std::strcpy(p.r.endOfData, ">>");
  EXPECT_EQ(p.text("<<1ABC>>"), TextUse::Macro);
  EXPECT_STREQ(p.r.track1Text, "ABC");
  EXPECT_EQ(p.text("<<4ABC>>"), TextUse::Draw);  // no such track
  EXPECT_EQ(p.text("<<1>"), TextUse::Draw);      // too short to hold both sentinels
  // Without a start sentinel the settings define no track macro: plain text
  // starting with a digit stays on the card.
  Page q;
  EXPECT_EQ(q.text("1 Main Street"), TextUse::Draw);
}

TEST(TextMacros, MacroProcessingOffDrawsEverything) {
  Page p;
  p.r.macroProcessing = 0;
  EXPECT_EQ(p.text("~1%ABC?"), TextUse::Draw);
  EXPECT_EQ(p.text("~C7X"), TextUse::Draw);
  EXPECT_EQ(p.r.trackPresent[0], 0);
  EXPECT_TRUE(p.list.fragments().empty());
}

TEST(SplitMacros, TrackMacroInTwoCallsOnOneLine) {
  Page p;
  EXPECT_EQ(p.text("~1A", 100, 10), TextUse::Macro);
  EXPECT_EQ(p.text("BC", 100, 40), TextUse::Draw);
  assembleSplitMacros(p.list, p.r, p.cap);
  EXPECT_STREQ(p.r.track1Text, "ABC");
  ASSERT_EQ(p.list.fragments().size(), 2u);
  EXPECT_TRUE(p.list.fragments()[0].consumed);
  EXPECT_TRUE(p.list.fragments()[1].consumed);
}

TEST(SplitMacros, OnlyAtTheStartOfALineAndNotOtherLines) {
  Page p;
  p.text("Name ~", 100);
  p.text("1ABC", 100, 60);
  p.text("other line", 200);
  assembleSplitMacros(p.list, p.r, p.cap);
  EXPECT_EQ(p.r.trackPresent[0], 0);
  for (const auto &f : p.list.fragments()) EXPECT_FALSE(f.consumed);
}

TEST(SplitMacros, SentinelsOverSeveralLines) {
  Page p;
  std::strcpy(p.r.startOfData, "${");
  std::strcpy(p.r.endOfData, "}$");
  p.text("  ${2", 100);
  p.text("12345", 120);
  p.text("}$", 140);
  p.text("after", 160);
  assembleSplitMacros(p.list, p.r, p.cap);
  EXPECT_STREQ(p.r.track2Text, "12345");
  const auto &f = p.list.fragments();
  EXPECT_TRUE(f[0].consumed && f[1].consumed && f[2].consumed);
  EXPECT_FALSE(f[3].consumed);
}

TEST(SplitMacros, OfferingKeepsAFullTrack) {
  JobSettingsRecord r{};
  std::basic_string<uint16_t> t(76, 'A');
  offerToTrack(1, t.data(), t.size(), r);
  EXPECT_EQ(std::strlen(r.track1Text), 76u);
  std::basic_string<uint16_t> other(5, 'B');
  offerToTrack(1, other.data(), other.size(), r);
  EXPECT_EQ(r.track1Text[0], 'A');
  std::basic_string<uint16_t> blanks = {'1', '2', ' ', ' ', '?'};
  offerToTrack(2, blanks.data(), blanks.size(), r);
  EXPECT_STREQ(r.track2Text, "12  ");  // trailing blanks go before the final '?' does
}

TEST(SplitMacros, RandomPagesStayInBounds) {
  std::mt19937 rng(7);
  const char alphabet[] = "~C0&B 123%;?${}<>EDRW7x";
  for (int page = 0; page < 300; ++page) {
    Page p;
    if (page % 2) {
      std::strcpy(p.r.startOfData, "${");
      std::strcpy(p.r.endOfData, "}$");
    }
    int calls = int(rng() % 12);
    for (int c = 0; c < calls; ++c) {
      std::string s(rng() % 300, ' ');
      for (auto &ch : s) ch = alphabet[rng() % (sizeof alphabet - 1)];
      p.text(s, LONG(rng() % 4) * 20);
    }
    assembleSplitMacros(p.list, p.r, p.cap);
    EXPECT_LT(std::strlen(p.r.track1Text), sizeof p.r.track1Text);
    EXPECT_LE(strnlen(p.cap.preJobCommand, sizeof p.cap.preJobCommand), 511u);
    EXPECT_LE(strnlen(p.cap.encoderCommandR, sizeof p.cap.encoderCommandR), 9u);
  }
}

}  // namespace
