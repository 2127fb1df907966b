// Pictures of the cards and the decoder on the command line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "emulator/include/cardemu/printer.h"
#include "emulator/include/cardemu/render.h"
#include "emulator/tests/streams.h"

using namespace cardemu;
using streams::esc;

namespace {

std::shared_ptr<const DotImage> filled(uint8_t v, int x0 = 0, int y0 = 0, int x1 = kCardWidth, int y1 = kCardHeight) {
  auto img = std::make_shared<DotImage>(kCardDots, 0);
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) (*img)[static_cast<size_t>(x + y * kCardWidth)] = v;
  return img;
}

std::string rgb(const uint8_t *px) {
  std::ostringstream s;
  s << int(px[0]) << "," << int(px[1]) << "," << int(px[2]);
  return s.str();
}

std::filesystem::path tempDir(const std::string &name) {
  auto dir = std::filesystem::temp_directory_path() /
             ("cardemu_" + name + "_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
              std::to_string(reinterpret_cast<uintptr_t>(&name) & 0xFFFFF));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

}  // namespace

TEST(Pictures, DyeSubtractsResinCoversCoatingsTint) {
  CardSide side;
  // A pure red area encodes to Y 31, M 31, C 1.
  side.panels.push_back({PanelKind::kYellow, "IS 0", filled(31, 0, 0, 100, 100)});
  side.panels.push_back({PanelKind::kMagenta, "IS 1", filled(31, 0, 0, 100, 100)});
  side.panels.push_back({PanelKind::kCyan, "IS 2", filled(1, 0, 0, 100, 100)});
  side.panels.push_back({PanelKind::kResinBlack, "I 10", filled(1, 50, 50, 60, 60)});
  side.panels.push_back({PanelKind::kVarnish, "IV 31", filled(1, 200, 0, 300, 100)});
  RgbImage img = composeSide(side);
  EXPECT_EQ(rgb(img.at(10, 10)), "246,0,0");  // red
  EXPECT_EQ(rgb(img.at(55, 55)), "0,0,0");    // resin black over the colour
  EXPECT_EQ(rgb(img.at(150, 50)), "255,255,255");
  const uint8_t *v = img.at(250, 50);  // varnish shows as a blue tint
  EXPECT_LT(v[0], 255);
  EXPECT_EQ(v[2], 255);
  EXPECT_GT(v[2], v[0]);

  // A panel on its own.
  RgbImage cyan = panelPicture(side.panels[2]);
  EXPECT_EQ(rgb(cyan.at(10, 10)), "246,255,255");
  EXPECT_EQ(rgb(cyan.at(500, 500)), "255,255,255");
}

TEST(Pictures, CardFilesRoundTripThroughPng) {
  Card card;
  card.number = 7;
  card.sides[0].panels.push_back({PanelKind::kCyan, "IS 2", filled(31, 10, 20, 30, 40)});
  card.sides[1].panels.push_back({PanelKind::kResinBlack, "I 30", filled(1, 1000, 600)});
  card.flips = 1;
  card.encoded = true;
  card.tracks[1] = "123=45";
  const auto dir = tempDir("files");
  std::vector<std::string> written;
  std::string error;
  ASSERT_TRUE(writeCardFiles(card, dir.string(), &written, &error)) << error;
  EXPECT_EQ(written,
            (std::vector<std::string>{"card_0007_front.png", "card_0007_front_01_cyan.png", "card_0007_back.png",
                                      "card_0007_back_01_resin-black.png", "card_0007.txt"}));
  RgbImage back;
  ASSERT_TRUE(readPng((dir / "card_0007_back.png").string(), &back, &error)) << error;
  EXPECT_EQ(back.width, 1024);
  EXPECT_EQ(back.height, 640);
  EXPECT_EQ(rgb(back.at(1010, 630)), "0,0,0");
  EXPECT_EQ(rgb(back.at(999, 630)), "255,255,255");
  std::ifstream summary(dir / "card_0007.txt");
  std::stringstream text;
  text << summary.rdbuf();
  EXPECT_EQ(text.str(),
            "card 7\nfront: cyan(400 dots)\nback: resin-black(960 dots)\nflips: 1\n"
            "magnetic: track 2 \"123=45\"\nlamination: none\n");
  EXPECT_FALSE(writeCardFiles(card, (dir / "missing" / "deeper").string(), nullptr, &error));
  EXPECT_NE(error.find("missing"), std::string::npos);
  std::filesystem::remove_all(dir);
}

TEST(Decoder, WritesPicturesAndListing) {
  const auto dir = tempDir("decode");
  // One card: a cyan block at x 100..199, y 50..99 of the card (plane lines are
  // the card's columns from the left) and a resin-black block on bit image
  // lines 100..199, dots 300..349 (bit image lines are the columns from the
  // right: x 824..923).
  auto cyan = [](int line, int dot) { return line >= 100 && line < 200 && dot >= 50 && dot < 100 ? 31 : 0; };
  const std::string job =
      streams::ymckoHeader() + streams::ymc([](int, int) { return 0; }, [](int, int) { return 0; }, cyan) +
      streams::resin([](int line, int dot) { return line >= 100 && line < 200 && dot >= 300 && dot < 350; }) +
      esc("I 10") + esc("vF") + esc("IV 30") + esc("MO") + esc("BOGUS") + esc("IS 2");
  {
    std::ofstream f(dir / "job.prn", std::ios::binary);
    f << job;
  }
  const std::string cmd = std::string(CARDEMU_CLI) + " decode " + (dir / "job.prn").string() + " --out " +
                          (dir / "out").string() + " --piece 1000 > " + (dir / "stdout.txt").string();
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  RgbImage front;
  std::string error;
  ASSERT_TRUE(readPng((dir / "out" / "card_0001_front.png").string(), &front, &error)) << error;
  EXPECT_LT(front.at(150, 75)[0], 40);  // cyan: red taken away
  EXPECT_GT(front.at(150, 75)[1], 150);
  EXPECT_LT(front.at(850, 320)[0], 40);  // resin black, under the varnish's tint
  EXPECT_LT(front.at(850, 320)[1], 70);
  EXPECT_LT(front.at(923, 320)[0], 40);  // line 100
  EXPECT_LT(front.at(824, 320)[0], 40);  // line 199
  EXPECT_GT(front.at(924, 320)[0], 150);
  EXPECT_GT(front.at(823, 320)[0], 150);
  EXPECT_GT(front.at(150, 120)[0], 150);  // outside both
  EXPECT_TRUE(std::filesystem::exists(dir / "out" / "card_0001_front_05_varnish.png"));
  // The last IS 2 prints a second card that never comes out: the decoder puts it out.
  EXPECT_TRUE(std::filesystem::exists(dir / "out" / "card_0002.txt"));

  std::ifstream listing(dir / "out" / "listing.txt");
  std::stringstream text;
  text << listing.rdbuf();
  const std::string l = text.str();
  EXPECT_NE(l.find("\\eMASTER\\r"), std::string::npos);
  EXPECT_NE(l.find("\\eGS 2 32 0 0 1024 640 [5-bit plane C, 442368 bytes, values 0..31] \\r"), std::string::npos);
  EXPECT_NE(l.find("\\eZ [bit image for resin, 81920 bytes, 5000 dots print] \\r"), std::string::npos);
  EXPECT_NE(l.find("\\eBOGUS\\r  ERROR 10 COMMAND ERROR"), std::string::npos);
  EXPECT_NE(l.find("-- card 1 out --"), std::string::npos);

  EXPECT_EQ(std::system((std::string(CARDEMU_CLI) + " --help > /dev/null").c_str()), 0);
  EXPECT_NE(std::system((std::string(CARDEMU_CLI) + " decode 2> /dev/null").c_str()), 0);
  EXPECT_NE(std::system((std::string(CARDEMU_CLI) + " decode " + (dir / "none.prn").string() + " --out " +
                         (dir / "o2").string() + " 2> /dev/null")
                            .c_str()),
            0);
  std::filesystem::remove_all(dir);
}
