// The demo as "./run demo" runs it: carddemo prints the sample card through
// cardprint, GDI, the driver and the spooler on a simulated machine and hands
// the job to the emulated printer.  The front picture must show the photo,
// the texts and the barcode where the application drew them, the listing the
// card's magnetic track 1.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "emulator/include/cardemu/render.h"
#include "tools/cardprint/sample_card.h"

namespace {

namespace fs = std::filesystem;

struct Rgb {
  int r, g, b;
};

std::string readText(const fs::path &p) {
  std::ifstream f(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// The bundled photo, read straight from its 24-bit bottom-up rows.
class Photo {
 public:
  Photo() : bytes_(readText(SAMPLE_PHOTO_BMP)) {}
  int width() const { return int(u32(18)); }
  int height() const { return int(u32(22)); }
  Rgb at(int x, int y) const {
    const size_t stride = (size_t(width()) * 3 + 3) & ~size_t(3);
    const size_t p = u32(10) + size_t(height() - 1 - y) * stride + size_t(x) * 3;
    return {uint8_t(bytes_[p + 2]), uint8_t(bytes_[p + 1]), uint8_t(bytes_[p])};
  }

 private:
  uint32_t u32(size_t at) const {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | uint8_t(bytes_[at + i]);
    return v;
  }
  std::string bytes_;
};

class Demo : public ::testing::Test {
 protected:
  // Each test program runs the demo once, in a folder of its own: CTest runs
  // the tests of this file as separate processes, side by side.
  static void SetUpTestSuite() {
    dir_ = fs::path(DEMO_TEST_DIR) / std::to_string(::getpid());
    const fs::path dir = dir_;
    fs::remove_all(dir);
    fs::create_directories(dir);
    out_ = dir / "out";
    // The clock runs fast: the pictures, not the pacing, are checked here.
    const std::string cmd = std::string("CARDDEMO_CLOCK_SCALE=500 \"") + CARDDEMO_EXE + "\" \"" + out_.string() +
                            "\" --machine \"" + (dir / "machine").string() + "\" > \"" +
                            (dir / "console.txt").string() + "\" 2>&1";
    const int status = std::system(cmd.c_str());
    exit_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    console_ = readText(dir / "console.txt");
    std::string error;
    loaded_ = cardemu::readPng((out_ / "card_0001_front.png").string(), &front_, &error);
  }

  static void TearDownTestSuite() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  static Rgb at(int x, int y) {
    const uint8_t *p = front_.at(x, y);
    return {p[0], p[1], p[2]};
  }

  static inline fs::path dir_;
  static inline fs::path out_;
  static inline int exit_ = -1;
  static inline std::string console_;
  static inline bool loaded_ = false;
  static inline cardemu::RgbImage front_;
};

// A picture of what the user saw, read back from its PNG file.
struct Screenshot {
  bool loaded = false;
  std::string error;
  cardemu::RgbImage image;
  explicit Screenshot(const fs::path &file) { loaded = cardemu::readPng(file.string(), &image, &error); }
  Rgb at(int x, int y) const {
    const uint8_t *p = image.at(x, y);
    return {p[0], p[1], p[2]};
  }
  bool is(int x, int y, Rgb c) const {
    const Rgb p = at(x, y);
    return p.r == c.r && p.g == c.g && p.b == c.b;
  }
  int count(int left, int top, int right, int bottom, Rgb c) const {
    int n = 0;
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x) n += is(x, y, c);
    return n;
  }
  // The bands of rows between `top` and `bottom` that hold dark pixels
  // (black text, not the desktop's blue), each as its first and last row.
  std::vector<std::pair<int, int>> textRows(int left, int top, int right, int bottom) const {
    std::vector<std::pair<int, int>> rows;
    bool inText = false;
    for (int y = top; y < bottom; ++y) {
      bool dark = false;
      for (int x = left; x < right && !dark; ++x) {
        const Rgb p = at(x, y);
        dark = std::max({p.r, p.g, p.b}) < 100;
      }
      if (dark && !inText) rows.push_back({y, y});
      if (dark) rows.back().second = y;
      inText = dark;
    }
    return rows;
  }
};

::testing::AssertionResult near(Rgb got, Rgb want, int tolerance) {
  if (std::abs(got.r - want.r) <= tolerance && std::abs(got.g - want.g) <= tolerance &&
      std::abs(got.b - want.b) <= tolerance)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got (" << got.r << "," << got.g << "," << got.b << "), want (" << want.r
                                       << "," << want.g << "," << want.b << ")";
}

TEST_F(Demo, RunsAndSaysWhatItWrote) {
  ASSERT_EQ(exit_, 0) << console_;
  for (const char *name : {"job.prn", "listing.txt", "card_0001_front.png", "card_0001_back.png", "card_0001.txt"}) {
    EXPECT_TRUE(fs::is_regular_file(out_ / name)) << name;
    EXPECT_NE(console_.find(name), std::string::npos) << name;
  }
  for (const char *step : {"machine set up", "printing", "printer", "pictures", "total"})
    EXPECT_NE(console_.find(step), std::string::npos) << step;
  // Nothing went wrong, so the user saw nothing.
  EXPECT_EQ(console_.find("What the user saw"), std::string::npos) << console_;
  EXPECT_FALSE(fs::exists(out_ / "message_1.png"));
  EXPECT_FALSE(fs::exists(out_ / "tray.png"));
  const std::string job = readText(out_ / "job.prn");
  EXPECT_EQ(job.rfind("\x1bMASTER\r", 0), 0u);
  EXPECT_EQ(job.substr(job.size() - 4), "\x1bMO\r");
}

TEST_F(Demo, ListingHoldsTheSampleTrack) {
  ASSERT_EQ(exit_, 0) << console_;
  const std::string listing = readText(out_ / "listing.txt");
  EXPECT_NE(listing.find("\\e&B 1 JOHN SAMPLE^1234\\r"), std::string::npos) << listing;
  EXPECT_NE(listing.find("magnetic: track 1 \"JOHN SAMPLE^1234\""), std::string::npos) << listing;
  EXPECT_NE(listing.find("-- card 1 out --"), std::string::npos);
}

TEST_F(Demo, ThePrinterToolsReachThePrinterAfterTheCard) {
  ASSERT_EQ(exit_, 0) << console_;
  const std::string tools = readText(out_ / "tools.txt");
  EXPECT_NE(tools.find("File sent successfully."), std::string::npos) << tools;
  EXPECT_NE(tools.find("Firmware DownLoaded Successfully..."), std::string::npos) << tools;
  // The command file's lines each as a command, then the firmware frame with
  // the image's size, as the printer listed them.
  const size_t reset = tools.find("\\eRESET\\r"), clean = tools.find("\\eCLEAN\\r  -- cleaning 1");
  const size_t firmware = tools.find("size field 65536, 65541 bytes");
  ASSERT_NE(reset, std::string::npos) << tools;
  ASSERT_NE(clean, std::string::npos) << tools;
  ASSERT_NE(firmware, std::string::npos) << tools;
  EXPECT_LT(reset, clean);
  EXPECT_LT(clean, firmware);
  EXPECT_NE(tools.find("firmware update 1: printer, 65536 bytes"), std::string::npos) << tools;
}

TEST_F(Demo, FrontShowsWhatTheApplicationDrew) {
  ASSERT_EQ(exit_, 0) << console_;
  ASSERT_TRUE(loaded_);
  ASSERT_EQ(front_.width, 1024);
  ASSERT_EQ(front_.height, 640);
  const cardprint::SampleFront &f = cardprint::sampleFront(false);

  // The card is varnished all over; the varnish changes every colour the
  // same way.  A spot where nothing was drawn and a resin-black bar give the
  // two ends of the scale: a colour c comes out as c * (white - black) / 255
  // + black, channel by channel.
  const Rgb white = at(1000, 620);
  const Rgb black = at(f.barcode.x + f.narrowBar / 2, f.barcode.y + f.barHeight / 2);
  ASSERT_GT(white.r + white.g + white.b, 3 * 180);
  ASSERT_LT(black.r + black.g + black.b, 3 * 120);
  auto printed = [&](Rgb c) {
    return Rgb{c.r * (white.r - black.r) / 255 + black.r, c.g * (white.g - black.g) / 255 + black.g,
               c.b * (white.b - black.b) / 255 + black.b};
  };
  auto isDark = [&](Rgb c) { return near(c, black, 40); };

  // The photo: flat areas of the bundled picture (background, hair, face,
  // shirt) where it was stretched, twice its size, and nothing beside it.
  Photo photo;
  ASSERT_EQ(photo.width(), 150);
  ASSERT_EQ(photo.height(), 190);
  const int sx = (f.photo.right - f.photo.left) / photo.width(), sy = (f.photo.bottom - f.photo.top) / photo.height();
  ASSERT_EQ(sx, 2);
  ASSERT_EQ(sy, 2);
  const struct {
    int x, y;
    const char *what;
  } spots[] = {{8, 8, "background"}, {40, 60, "hair"}, {60, 92, "face"}, {30, 180, "shirt"}, {140, 100, "background"}};
  for (const auto &s : spots)
    EXPECT_TRUE(near(at(f.photo.left + s.x * sx + 1, f.photo.top + s.y * sy + 1), printed(photo.at(s.x, s.y)), 30))
        << s.what;
  EXPECT_TRUE(near(at(f.photo.left - 8, (f.photo.top + f.photo.bottom) / 2), white, 12));
  EXPECT_TRUE(near(at(f.photo.right + 8, (f.photo.top + f.photo.bottom) / 2), white, 12));

  // Texts: dark glyphs in the name's and the number's cells, red ones in
  // the title's, and nothing between the band and the name.
  auto countIn = [&](LONG left, LONG top, LONG right, LONG bottom, auto test) {
    int n = 0;
    for (LONG y = top; y < bottom; ++y)
      for (LONG x = left; x < right; ++x) n += bool(test(at(int(x), int(y))));
    return n;
  };
  const int nameDots = countIn(f.name.x, f.name.y, f.name.x + 500, f.name.y + f.name.height, isDark);
  EXPECT_GT(nameDots, 4000);
  EXPECT_EQ(countIn(f.name.x, f.band.bottom + 4, f.name.x + 500, f.name.y, isDark), 0);
  EXPECT_GT(countIn(f.number.x, f.number.y, f.number.x + 350, f.number.y + f.number.height, isDark), 1000);
  const Rgb red = printed({GetRValue(f.title.colour), GetGValue(f.title.colour), GetBValue(f.title.colour)});
  const int titleDots = countIn(f.title.x, f.title.y, f.title.x + 500, f.title.y + f.title.height,
                                [&](Rgb c) { return near(c, red, 40); });
  EXPECT_GT(titleDots, 1500);
  // The heading: white text on the coloured band.
  const Rgb band = printed({GetRValue(f.bandColour), GetGValue(f.bandColour), GetBValue(f.bandColour)});
  EXPECT_TRUE(near(at(f.band.right - 20, f.band.bottom / 2), band, 30));

  // The barcode starts with Code 39's '*': narrow bar, wide gap, narrow bar,
  // narrow gap, wide bar, narrow gap, wide bar, narrow gap, narrow bar.
  const int n = int(f.narrowBar), w = int(f.wideBar);
  const int widths[9] = {n, w, n, n, w, n, w, n, n};
  const int mid = int(f.barcode.y + f.barHeight / 2);
  int x = int(f.barcode.x);
  for (int e = 0; e < 9; ++e) {
    const Rgb c = at(x + widths[e] / 2, mid);
    if (e % 2 == 0)
      EXPECT_TRUE(isDark(c)) << "bar " << e;
    else
      EXPECT_TRUE(near(c, white, 40)) << "gap " << e;
    x += widths[e];
  }
  EXPECT_TRUE(isDark(at(f.barcode.x + 1, f.barcode.y + 2)));
  EXPECT_TRUE(isDark(at(f.barcode.x + 1, f.barcode.y + f.barHeight - 3)));
  EXPECT_TRUE(near(at(f.barcode.x + 1, f.barcode.y - 6), white, 12));

  // The magnetic-stripe macro went to the encoder, not onto the card.
  EXPECT_EQ(countIn(f.tracks.x, f.tracks.y, f.tracks.x + 400, f.tracks.y + f.trackHeight, isDark), 0);
}

TEST_F(Demo, BackShowsItsTextAndLeavesTheStripeFree) {
  ASSERT_EQ(exit_, 0) << console_;
  cardemu::RgbImage back;
  std::string error;
  ASSERT_TRUE(cardemu::readPng((out_ / "card_0001_back.png").string(), &back, &error)) << error;
  const cardprint::SampleBack &b = cardprint::sampleBack(false);
  auto dark = [&](LONG left, LONG top, LONG right, LONG bottom) {
    int n = 0;
    for (LONG y = top; y < bottom; ++y)
      for (LONG x = left; x < right; ++x) {
        const uint8_t *p = back.at(int(x), int(y));
        n += p[0] + p[1] + p[2] < 3 * 100;
      }
    return n;
  };
  for (const auto &line : b.lines) EXPECT_GT(dark(line.x, line.y, line.x + 250, line.y + line.height), 300) << line.y;
  EXPECT_EQ(dark(b.stripe.left, b.stripe.top, b.stripe.right, b.stripe.bottom), 0);
  EXPECT_GT(dark(b.signatureFrom.x, b.signatureFrom.y - 2, b.signatureTo.x, b.signatureTo.y + 2), 400);
}

// carddemo's command line is checked whole before any folder is touched, and
// only a folder that carddemo made and marked as its machine is ever emptied.
class DemoCommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(DEMO_TEST_DIR) / (std::to_string(::getpid()) + "_cmdline");
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  // carddemo with these arguments, run in the test's folder; its exit status.
  // The machine's clock runs `clockScale` times faster than real time.
  int run(const std::string &args, int clockScale = 500) {
    const std::string cmd = "cd \"" + dir_.string() + "\" && CARDDEMO_CLOCK_SCALE=" + std::to_string(clockScale) +
                            " \"" + CARDDEMO_EXE + "\" " + args + " > console.txt 2>&1";
    const int status = std::system(cmd.c_str());
    console_ = readText(dir_ / "console.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  fs::path dir_;
  std::string console_;
};

TEST_F(DemoCommandLine, MistakesLeaveEveryFolderAsItWas) {
  fs::create_directories(dir_ / "mine");
  { std::ofstream(dir_ / "mine" / "keep.txt") << "the user's"; }
  fs::create_directories(dir_ / "empty");
  fs::copy_file(SAMPLE_PHOTO_BMP, dir_ / "ok.bmp");
  const struct {
    const char *args;
    const char *says;
  } cases[] = {
      {"out --machine mine --copies 0", "--copies"},
      {"out --machine empty --copies 0", "--copies"},
      {"out --machine=mine --orientation sideways", "sideways"},
      {"--machine mine", "output folder"},
      {"out --machine", "--machine needs a folder"},
      // A two-sided card of one's own pictures needs its back picture,
      // whichever comes first.
      {"out --machine mine --front ok.bmp --two-sided", "--back"},
      {"out --machine mine --two-sided --front ok.bmp", "--back"},
      {"out --machine mine --layout 2 --front=ok.bmp", "--back"},
      // Well-formed, but the folder holds the user's files.
      {"out --machine mine", ".carddemo-machine"},
      {"out --machine mine --front ok.bmp", ".carddemo-machine"},
      {"out --machine mine --fault lightning", "unknown fault"},
      {"out --machine mine --fault cover-open@", "--fault"},
      {"out --machine mine --user-cancels", "--user-cancels"},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(run(c.args), 2) << c.args << "\n" << console_;
    EXPECT_NE(console_.find(c.says), std::string::npos) << c.args << "\n" << console_;
    EXPECT_EQ(readText(dir_ / "mine" / "keep.txt"), "the user's") << c.args;
    EXPECT_TRUE(fs::is_empty(dir_ / "empty")) << c.args;
    EXPECT_FALSE(fs::exists(dir_ / "out")) << c.args;
  }
  EXPECT_EQ(run("out --machine mine --front none.bmp"), 1);
  EXPECT_NE(console_.find("none.bmp"), std::string::npos) << console_;
  EXPECT_EQ(readText(dir_ / "mine" / "keep.txt"), "the user's");
}

TEST_F(DemoCommandLine, OwnPicturesOnOneOrTwoSidesInAMachineFolderUsedAgain) {
  fs::copy_file(SAMPLE_PHOTO_BMP, dir_ / "ok.bmp");
  fs::create_directories(dir_ / "elsewhere");
  fs::copy_file(SAMPLE_PHOTO_BMP, dir_ / "elsewhere" / "ok.bmp");

  // A front picture alone: a one-sided card, in a new machine folder.
  ASSERT_EQ(run("one --machine m --front ok.bmp"), 0) << console_;
  EXPECT_TRUE(fs::is_regular_file(dir_ / "m" / ".carddemo-machine"));
  const std::string one = readText(dir_ / "one" / "card_0001.txt");
  EXPECT_NE(one.find("back: nothing"), std::string::npos) << one;
  EXPECT_TRUE(fs::exists(dir_ / "one" / "card_0001_front_01_yellow.png"));

  // Both pictures, of one file name: two sides, in the same machine folder,
  // which is emptied first.
  { std::ofstream(dir_ / "m" / "left-over.txt") << "from the last run"; }
  ASSERT_EQ(run("two --machine m --front=ok.bmp --back elsewhere/ok.bmp"), 0) << console_;
  EXPECT_FALSE(fs::exists(dir_ / "m" / "left-over.txt"));
  EXPECT_TRUE(fs::is_regular_file(dir_ / "m" / ".carddemo-machine"));
  const std::string two = readText(dir_ / "two" / "card_0001.txt");
  EXPECT_EQ(two.find("back: nothing"), std::string::npos) << two;
  EXPECT_TRUE(fs::exists(dir_ / "two" / "card_0001_back_01_yellow.png"));
}

}  // namespace

// A printer error in the middle of the job, as the user meets it: the
// monitor's message in a box of the tray program, which the notification
// server started in the user's session, and the job going on once the
// operator has closed the cover, or cancelled at the printer when the user
// presses OK instead.
TEST_F(DemoCommandLine, PrinterErrorMidJobClearedOrCancelled) {
  ASSERT_EQ(run("cleared --machine m --fault cover-open"), 0) << console_;
  for (const char *said : {"notifytray.exe (session 1), started by the notification server",
                           "[message box] \"Pellor CA3 Card Printer USB\": \"COVER OPEN!",
                           "closed by the close request", "the tray icon \"Pellor AsyncUI Client\"",
                           "\"About...\" (default) \"Exit\"", "message_1.png", "tray.png", "The job completed"})
    EXPECT_NE(console_.find(said), std::string::npos) << said << "\n" << console_;
  EXPECT_NE(readText(dir_ / "cleared" / "card_0001.txt").find("back: yellow"), std::string::npos);
  // One box only: the close request took it away.
  EXPECT_FALSE(fs::exists(dir_ / "cleared" / "message_2.png"));

  ASSERT_EQ(run("cancelled --machine m --fault cover-open --user-cancels"), 0) << console_;
  EXPECT_NE(console_.find("started by the notification server"), std::string::npos) << console_;
  EXPECT_NE(console_.find("the user pressed OK"), std::string::npos) << console_;
  EXPECT_NE(console_.find("The job was cancelled and the printer reset"), std::string::npos) << console_;
  const std::string pacing = readText(dir_ / "cancelled" / "pacing.txt");
  EXPECT_NE(pacing.find("reset: the job was cancelled"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir_ / "cancelled" / "message_1.png"));
  EXPECT_TRUE(fs::exists(dir_ / "cancelled" / "tray.png"));

  // The box as the user saw it: the caption in a white title bar, the
  // three lines of the cover-open message below it, and under them a grey
  // band with the OK button, framed in the accent colour.
  const Screenshot box(dir_ / "cleared" / "message_1.png");
  ASSERT_TRUE(box.loaded) << box.error;
  const int w = box.image.width, h = box.image.height;
  EXPECT_GE(w, 300);  // the longest line does not fit a narrower box
  EXPECT_LE(w, 900);
  EXPECT_GE(h, 100);
  EXPECT_LE(h, 400);
  const Rgb grey{240, 240, 240}, accent{0, 120, 215};
  int band = h - 2;
  while (band > 0 && box.is(2, band - 1, grey)) --band;
  ASSERT_LT(band, h - 30) << "no button band";
  EXPECT_TRUE(box.is(w / 2, 3, {255, 255, 255}));
  const auto rows = box.textRows(2, 2, w - 60, band);
  ASSERT_EQ(rows.size(), 4u) << "the caption and three lines";
  EXPECT_LT(rows[0].second, rows[1].first - 12) << "the title bar stands apart from the text";
  EXPECT_GT(box.count(w / 2, band, w - 1, h - 1, accent), 2 * 60);
  EXPECT_EQ(box.count(1, band, w / 2, h - 1, accent), 0) << "one button, on the right";
  EXPECT_EQ(box.textRows(w - 100, band, w - 2, h - 2).size(), 1u) << "the button's label";

  // The notification area: the icon of the package's tray program (its
  // chip and its stripe in their colours) and the menu above it with two
  // lines, "About..." and "Exit".
  const Screenshot tray(dir_ / "cleared" / "tray.png");
  ASSERT_TRUE(tray.loaded) << tray.error;
  const int tw = tray.image.width, th = tray.image.height;
  EXPECT_GE(tw, 100);
  EXPECT_GE(th, 80);
  EXPECT_GT(tray.count(0, th / 2, tw, th, {0xE0, 0xB0, 0x30}), 3) << "the chip";
  EXPECT_GT(tray.count(0, th / 2, tw, th, {0x50, 0x50, 0x50}), 3) << "the stripe";
  int menuLeft = 0;
  while (menuLeft < tw && !tray.is(menuLeft, th / 4, {242, 242, 242})) ++menuLeft;
  ASSERT_LT(menuLeft, tw) << "no menu";
  EXPECT_EQ(tray.textRows(menuLeft, 0, tw, th - 40).size(), 2u);
}

// The USB road as the package's installer takes it, one step after the
// other, the version stamp after the card, and --uninstall: the machine after
// the clean-up at log-on is the one before the install but for what Windows
// itself keeps.
TEST_F(DemoCommandLine, InstallerStepsThenUninstallLeaveTheMachineAsItWas) {
  ASSERT_EQ(run("u --machine m --uninstall"), 0) << console_;
  size_t at = 0;
  for (const char *step :
       {"ELTNInstallPackage(C:\\Setup\\carddrv.inf)", "ELTNGetDriverPath", "ELTNCustomeFile(", "ELTNAddPrinterDriver(",
        "ELTNAddMonitor(\"Pellor Standard USB Language Monitor\", cardusbmon.dll)", "the printer plugged into USB001",
        "ELTNAddPrinter(\"Pellor CA3 Card Printer USB\", USB001)", "ELTNCopyFile(C:\\Setup)",
        "Printing the sample card", "rundll32 verstamp.dll,UpdateVersionInfo",
        "(private offset 3862) after                    \"8.00.02.01\"", "ELTNDeleteAllEthernetPrinters(0)",
        "ELTNUnInstallPackage(C:\\Setup\\carddrv.inf)", "ELTNSetUpRunOnceEntry()",
        "at log-on: rundll32 purgelib.dll EntryDeleteFiles"}) {
    const size_t found = console_.find(step, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << step << "\n" << console_;
    at = found;
  }
  EXPECT_NE(readText(dir_ / "u" / "card_0001.txt").find("back: yellow"), std::string::npos);
  const std::string compared = readText(dir_ / "u" / "uninstall.txt");
  EXPECT_NE(compared.find("What else differs:\n  nothing"), std::string::npos) << compared;

  // The machine's drive as the run left it: none of the package's files
  // anywhere.
  const std::vector<std::string> package = {
      "cardrend.dll", "cardcfg.dll",  "cardres.dll", "notifysrv.dll", "notifytray.exe", "instlib.dll",   "purgelib.dll",
      "verstamp.dll", "drvsetup.exe", "carddrv.dat", "carddrv.inf",   "cardcc.bmp",     "cardusbmon.dll"};
  for (const auto &e : fs::recursive_directory_iterator(dir_ / "m")) {
    std::string name = e.path().filename().string();
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    EXPECT_EQ(std::find(package.begin(), package.end(), name), package.end()) << e.path();
    EXPECT_NE(name, "setup") << e.path();
  }
}

// The network road: the network driver installed with the installer
// library's steps, the printer on its own loopback address, the job in
// length-framed messages of at most 65536 bytes on the data channel, each
// command followed by the reply check, the card whole at the end, and the
// uninstall leaving the machine as it was.
TEST_F(DemoCommandLine, NetworkPrinterTakesTheJobInFramedMessages) {
  // The network's waits are on the machine's clock while its sockets are
  // real: a slower clock keeps a loaded machine's loopback within them.
  ASSERT_EQ(run("net --machine m --network --uninstall", 50), 0) << console_;
  size_t at = 0;
  for (const char *step :
       {"ELTNInstallPackage(C:\\Setup\\cardnet.inf)", "ELTNGetDriverPath", "cardrendnet.dll -> ",
        "cardresnet.dll -> C:\\Windows\\system32\\spool\\DRIVERS\\x64\\cardresnet.dll",
        "ELTNCustomeFile(C:\\Windows\\system32\\spool\\DRIVERS\\x64\\cardnet.dat",
        "ELTNAddPrinterDriver(\"Pellor Standard Network\", cardrendnet.dll, cardnet.dat, cardcfgnet.dll",
        "netmon.dll -> C:\\Windows\\system32\\netmon.dll",
        "ELTNAddMonitor(\"Pellor Standard Network Language Monitor\", netmon.dll)",
        "Standard TCP/IP port IP_127.0.5.20", "ELTNAddPrinter(\"Pellor CA3 Card Printer Network\", IP_127.0.5.20)",
        "ELTNCopyFile(C:\\Setup)", "Printing the sample card", "ELTNDeleteAllEthernetPrinters(0)",
        "ELTNUnInstallPackage(C:\\Setup\\cardnet.inf)", "at log-on: rundll32 purgelib.dll EntryDeleteFiles"}) {
    const size_t found = console_.find(step, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << step << "\n" << console_;
    at = found;
  }
  const std::string compared = readText(dir_ / "net" / "uninstall.txt");
  EXPECT_NE(compared.find("What else differs:\n  nothing"), std::string::npos) << compared;
  for (const char *said : {"\"Pellor CA3 Card Printer Network\" (IP_127.0.5.20)", "length-framed messages",
                           "The job completed", "the data channel's framed messages"})
    EXPECT_NE(console_.find(said), std::string::npos) << said << "\n" << console_;
  EXPECT_NE(readText(dir_ / "net" / "card_0001.txt").find("back: yellow"), std::string::npos);
  const std::string pacing = readText(dir_ / "net" / "pacing.txt");
  EXPECT_NE(pacing.find("frame  65536 bytes  image data"), std::string::npos) << pacing;
  EXPECT_EQ(pacing.find("frame  65537"), std::string::npos);
  EXPECT_NE(pacing.find("command \\eMASTER\\r"), std::string::npos);
  EXPECT_NE(pacing.find("reply check"), std::string::npos);
  // The monitor's ribbon cache file: "Ribbon=%ld\rModel=%s\r".
  EXPECT_EQ(readText(dir_ / "net" / "cardribbon.INI").rfind("Ribbon=2\rModel=CA3", 0), 0u);
}
