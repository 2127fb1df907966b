#include "config/reply_display.h"

#include <gtest/gtest.h>

namespace card::cfg {
namespace {

TEST(ReplyDisplay, FinalAckIsSpelledOutAndNoReplyIsNamed) {
  EXPECT_EQ(replyDisplayText(true, std::string("12 \x06", 4)), "12 <ACK>");
  EXPECT_EQ(replyDisplayText(true, std::string(1, '\x06')), "<ACK>");
  // Only the last byte counts as the acknowledgement.
  EXPECT_EQ(replyDisplayText(true, std::string("\x06"
                                               "A",
                                               2)),
            std::string("\x06"
                        "A",
                        2));
  EXPECT_EQ(replyDisplayText(true, "STATUS_SUCCESS"), "STATUS_SUCCESS");
  EXPECT_EQ(replyDisplayText(true, ""), "Printer has no response");
  EXPECT_EQ(replyDisplayText(false, "stale"), "Printer has no response");
}

TEST(ReplyDisplay, DocumentNameFollowsTheFileKind) {
  EXPECT_EQ(fileJobDocumentName(1), u"FILE_PRN");
  EXPECT_EQ(fileJobDocumentName(2), u"FILE_TXT");
  EXPECT_EQ(fileJobDocumentName(3), u"FILE_BIN");
  EXPECT_EQ(fileJobDocumentName(0), u"FILE_PRN");
  EXPECT_EQ(fileJobDocumentName(7), u"FILE_PRN");
}

}  // namespace
}  // namespace card::cfg
