// Drawing routed to the right panel and text macros taken off the page, seen
// in the panels of the job that an application printed through GDI.
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>
#include <winsim/testing.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "render/tests/job_reader.h"
#include "shared/job_settings.h"

namespace {

using namespace card;

const char16_t kPrinter[] = u"Card Capture Printer";

// The panels of a one-sided landscape job, in the card's frame.
struct Job {
  std::string commands;                      // the stream without image data
  std::vector<std::vector<uint8_t>> planes;  // Y, M, C
  std::vector<uint8_t> black;                // resin-black bits, 1 = print
  // 5-bit value of plane n at (x, y): plane lines run along x, dots down y.
  unsigned plane(int n, int x, int y) const {
    const uint8_t *l = &planes[size_t(n)][size_t(x) * 432];
    unsigned w = (l[2 * (y / 3)] << 8) | l[2 * (y / 3) + 1];
    return (w >> (10 - 5 * (y % 3))) & 31;
  }
  // Resin-black lines run from x = 1023 back to 0.
  bool k(int x, int y) const {
    if (black.empty()) return false;
    return (black[size_t(1023 - x) * 80 + size_t(y) / 8] >> (7 - y % 8)) & 1;
  }
  int kInk(RECT r) const {
    int n = 0;
    for (int x = r.left; x < r.right; ++x)
      for (int y = r.top; y < r.bottom; ++y) n += k(x, y);
    return n;
  }
  int colourInk(int plane, RECT r) const {
    int n = 0;
    for (int x = r.left; x < r.right; ++x)
      for (int y = r.top; y < r.bottom; ++y) n += this->plane(plane, x, y) > 8;
    return n;
  }
};

Job decode(const std::vector<uint8_t> &bytes) {
  card::testing::SpooledJob spooled = card::testing::readJob(bytes);
  Job j;
  j.commands = std::move(spooled.commands);
  j.planes = std::move(spooled.planes);
  if (!spooled.blackBitmaps.empty()) j.black = std::move(spooled.blackBitmaps.front());
  return j;
}

class Capture : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    winsim::PrinterSetup setup;
    setup.printerName = kPrinter;
    setup.graphicsDll = CARDREND_DLL;
    setup.portName = u"USB001";
    ASSERT_TRUE(winsim::installPrinter(setup));
    fillDefaultStandardPart(dm.standard);
    JobSettingsRecord &r = dm.record;
    r.signature = kRecordSignature;
    r.ribbonId = 3;  // YMCKO
    r.blackPanelMode = 2;
    r.macroProcessing = 1;
    std::strcpy(r.startOfData, "${");
    std::strcpy(r.endOfData, "}$");
    r.frontOverlay.type = kOverlayNone;
    r.backOverlay.type = kOverlayNone;
  }

  Job print(const std::function<void(HDC)> &draw) {
    HDC dc = CreateDCW(nullptr, kPrinter, nullptr, reinterpret_cast<const DEVMODEW *>(&dm));
    EXPECT_NE(dc, nullptr);
    DOCINFOW di{sizeof(DOCINFOW), u"card", nullptr, nullptr, 0};
    StartDocW(dc, &di);
    StartPage(dc);
    font = CreateFontW(-60, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, 0, 0, 0, 0, u"Arial");
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    draw(dc);
    SelectObject(dc, old);
    DeleteObject(font);
    EndPage(dc);
    EndDoc(dc);
    DeleteDC(dc);
    auto jobs = winsim::printJobs(kPrinter);
    return jobs.empty() ? Job{} : decode(jobs.back().bytes);
  }

  static void text(HDC dc, int x, int y, const char16_t *s, COLORREF colour) {
    SetTextColor(dc, colour);
    TextOutW(dc, x, y, s, lstrlenW(s));
  }

  CardDevmode dm{};
  HFONT font = nullptr;
};

const RECT kTextBox{100, 100, 400, 170};

TEST_F(Capture, BlackTextPrintsOnTheResinPanelOnly) {
  Job j = print([](HDC dc) { text(dc, 100, 100, u"HELLO", RGB(0, 0, 0)); });
  ASSERT_EQ(j.planes.size(), 3u);
  EXPECT_GT(j.kInk(kTextBox), 500);
  for (int n = 0; n < 3; ++n) EXPECT_EQ(j.colourInk(n, kTextBox), 0) << n;
  EXPECT_NE(j.commands.find("<B>\r\x1bI 10\r"), std::string::npos);
}

TEST_F(Capture, ColouredTextErasesBlackUnderItself) {
  Job j = print([](HDC dc) {
    HGDIOBJ old = SelectObject(dc, GetStockObject(BLACK_BRUSH));
    Rectangle(dc, 90, 90, 420, 180);  // a black path fill goes to the resin panel
    SelectObject(dc, old);
    text(dc, 100, 100, u"HELLO", RGB(255, 0, 0));
  });
  const RECT box{90, 90, 420, 180};
  int area = (box.right - box.left) * (box.bottom - box.top);
  int k = j.kInk(box);
  EXPECT_GT(k, area / 2);                    // the rectangle is there
  EXPECT_LT(k, area - 500);                  // with the text's strokes taken out of it
  EXPECT_GT(j.colourInk(1, kTextBox), 500);  // red is magenta and yellow
  EXPECT_GT(j.colourInk(0, kTextBox), 500);
  EXPECT_EQ(j.colourInk(2, kTextBox), 0);
}

TEST_F(Capture, MagneticMacroBecomesTrackDataAndIsNotPrinted) {
  Job j = print([](HDC dc) { text(dc, 100, 100, u"~1%ABC?", RGB(0, 0, 0)); });
  EXPECT_NE(j.commands.find("\x1b&R\r\x1b&B 1 ABC\r\x1b&E*\r"), std::string::npos);
  EXPECT_EQ(j.kInk(kTextBox), 0);
  EXPECT_EQ(j.commands.find("<B>"), std::string::npos);
}

TEST_F(Capture, MacroSplitOverTwoCallsIsJoinedAndErased) {
  Job j = print([](HDC dc) {
    text(dc, 100, 300, u"~1A", RGB(0, 0, 0));
    text(dc, 200, 300, u"BC", RGB(0, 0, 255));
  });
  EXPECT_NE(j.commands.find("\x1b&B 1 ABC\r"), std::string::npos);
  const RECT line{90, 290, 400, 380};
  EXPECT_EQ(j.kInk(line), 0);
  for (int n = 0; n < 3; ++n) EXPECT_EQ(j.colourInk(n, line), 0) << n;
}

TEST_F(Capture, SentinelMacroOfTheSettings) {
  Job j = print([](HDC dc) { text(dc, 100, 100, u"${2;4000123456789?}$", RGB(0, 0, 0)); });
  EXPECT_NE(j.commands.find("\x1b&B 2 ;4000123456789?\r"), std::string::npos);
  EXPECT_EQ(j.kInk(kTextBox), 0);
}

TEST_F(Capture, WithoutMacroProcessingEveryTextIsDrawn) {
  dm.record.macroProcessing = 0;
  Job j = print([](HDC dc) { text(dc, 100, 100, u"~1%ABC?", RGB(0, 0, 0)); });
  EXPECT_EQ(j.commands.find("\x1b&B"), std::string::npos);
  EXPECT_GT(j.kInk(kTextBox), 300);
}

TEST_F(Capture, CommandMacrosGoToTheirPlaces) {
  dm.record.frontOverlay.type = kOverlayFull;
  Job j = print([](HDC dc) {
    text(dc, 10, 10, u"~C7PRE 1", RGB(0, 0, 0));
    text(dc, 10, 100, u"~C2AFTERK", RGB(0, 0, 0));
    text(dc, 10, 200, u"~C4AFTERV", RGB(0, 0, 0));
    text(dc, 300, 400, u"K", RGB(0, 0, 0));  // something black, so that the K panel prints
  });
  EXPECT_NE(j.commands.find("\x1bSXY 1\r"), std::string::npos);
  size_t pre = j.commands.find("\x1bPRE 1\r\x1b&E*\r");
  size_t k = j.commands.find(
      "<B>\r\x1b"
      "AFTERK\r\x1bI 10\r");
  size_t v = j.commands.find(
      "\x1bvF\r\x1b"
      "AFTERV\r\x1bIV 30\r");
  EXPECT_NE(pre, std::string::npos);
  EXPECT_NE(k, std::string::npos);
  EXPECT_NE(v, std::string::npos);
  EXPECT_LT(pre, k);
  EXPECT_LT(k, v);
}

TEST_F(Capture, PanelModeZeroKeepsBlackInColour) {
  dm.record.blackPanelMode = 0;
  Job j = print([](HDC dc) { text(dc, 100, 100, u"HELLO", RGB(0, 0, 0)); });
  EXPECT_EQ(j.kInk(kTextBox), 0);
  EXPECT_GT(j.colourInk(2, kTextBox), 500);
  EXPECT_NE(j.commands.find("\x1b"
                            "F\r\x1b!FF 1\r"),
            std::string::npos);
}

TEST_F(Capture, PanelModeOneMovesPureBlackPixelsToTheResinPanel) {
  dm.record.blackPanelMode = 1;
  Job j = print([](HDC dc) {
    RECT r{500, 300, 600, 400};
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));  // a blit: drawn in colour
  });
  const RECT box{505, 305, 595, 395};
  EXPECT_EQ(j.kInk(box), 90 * 90);
  for (int n = 0; n < 3; ++n) EXPECT_EQ(j.colourInk(n, box), 0) << n;
}

}  // namespace

namespace {

TEST_F(Capture, PanelModeThreeSendsBlackBlitsToTheResinPanel) {
  dm.record.blackPanelMode = 3;
  dm.record.blackBitmap = 1;
  Job j = print([](HDC dc) {
    RECT black{500, 300, 600, 400};
    FillRect(dc, &black, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    RECT over{550, 350, 650, 450};  // a coloured blit takes the black out from under itself
    FillRect(dc, &over, blue);
    DeleteObject(blue);
  });
  EXPECT_EQ(j.kInk(RECT{505, 305, 545, 345}), 40 * 40);
  for (int n = 0; n < 3; ++n) EXPECT_EQ(j.colourInk(n, RECT{505, 305, 545, 345}), 0) << n;
  EXPECT_EQ(j.kInk(RECT{555, 355, 595, 395}), 0);
  EXPECT_GT(j.colourInk(1, RECT{555, 355, 595, 395}), 0);  // blue prints magenta and cyan
}

}  // namespace

namespace {

TEST_F(Capture, GlyphIndexTextIsReadBackThroughTheFontsGlyphSet) {
  Job j = print([](HDC dc) {
    const char16_t macro[] = u"~1%GLYPH?";
    WORD glyphs[16] = {};
    ASSERT_EQ(GetGlyphIndicesW(dc, macro, 9, glyphs, 0), 9u);
    SetTextColor(dc, RGB(0, 0, 0));
    ExtTextOutW(dc, 100, 100, ETO_GLYPH_INDEX, nullptr, reinterpret_cast<LPCWSTR>(glyphs), 9, nullptr);
  });
  EXPECT_NE(j.commands.find("\x1b&B 1 GLYPH\r"), std::string::npos);
  EXPECT_EQ(j.kInk(kTextBox), 0);
}

TEST_F(Capture, SentinelThatBeginsLikeAMacro) {
  // With "~" as the start sentinel the settings' rule is tried first.
  std::strcpy(dm.record.startOfData, "~");
  std::strcpy(dm.record.endOfData, "?");
  Job j = print([](HDC dc) { text(dc, 100, 100, u"~1%ABC?", RGB(0, 0, 0)); });
  EXPECT_NE(j.commands.find("\x1b&B 1 %ABC\r"), std::string::npos);
}

}  // namespace

namespace {

TEST_F(Capture, AMacroTakenAtOnceLeavesThePictureUnderIt) {
  Job j = print([](HDC dc) {
    HBRUSH cyan = CreateSolidBrush(RGB(0, 255, 255));
    RECT band{50, 80, 600, 200};
    FillRect(dc, &band, cyan);
    DeleteObject(cyan);
    text(dc, 100, 100, u"~1%ABC?", RGB(0, 0, 0));
  });
  EXPECT_NE(j.commands.find("\x1b&B 1 ABC\r"), std::string::npos);
  const RECT under{110, 110, 200, 150};
  EXPECT_EQ(j.colourInk(2, under), 90 * 40);  // the cyan band is whole under the macro's place
}

}  // namespace
