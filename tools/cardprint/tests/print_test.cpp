// cardprint as a user runs it: its entry called with a command line on a
// simulated machine whose card printer runs the package's driver.  Each
// option is checked on the job stream the driver wrote (command by command,
// as the card job stream is documented) or on the card the emulated printer
// made of it; mistakes must leave no job behind.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsim/testing.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/cardprint/tests/bmp_builder.h"
#include "emulator/include/cardemu/printer.h"
#include "emulator/include/cardemu/render.h"
#include "tools/cardprint/cardprint.h"

namespace cardprint {
namespace {

const char16_t kPrinter[] = u"Pellor CA3 Card Printer USB";
const char16_t kPort[] = u"C:\\Jobs\\card.prn";

std::string C(const std::string &body) { return "\x1b" + body + "\r"; }

// The job stream with its image data replaced by markers: "<P>" for a
// continuous-tone plane, "<B>" for a bit image (whose 0x5B bytes come doubled).
std::string skeleton(const std::vector<uint8_t> &bytes) {
  const std::string s(bytes.begin(), bytes.end());
  std::string out;
  size_t i = 0;
  while (i < s.size()) {
    if (s.compare(i, 3, "\x1bGS") == 0) {
      const size_t h = s.find(" 1024 640 ", i);
      if (h == std::string::npos) break;
      out += s.substr(i, h + 10 - i) + "<P>";
      i = h + 10 + 442368;
      continue;
    }
    if (s.compare(i, 3, "\x1bG ") == 0 || s.compare(i, 4, "\x1bvG ") == 0) {
      const size_t h = s.find("\r\x1bZ", i);
      if (h == std::string::npos) break;
      out += s.substr(i, h + 3 - i) + "<B>";
      i = h + 3;
      for (size_t logical = 0; logical < 81920 && i < s.size(); ++logical) i += s[i] == 0x5B ? 2 : 1;
      continue;
    }
    out += s[i++];
  }
  return out;
}

size_t count(const std::string &s, const std::string &what) {
  size_t n = 0;
  for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + what.size())) ++n;
  return n;
}

const std::string kHead = C("MASTER") + C("JOB 0") + C("SXY 1");
const std::string kColourHead = C("+$C 0 5") + C("+$C 1 5") + C("+$C 2 5") + C("+$L 0 5") + C("+$L 1 5") + C("+$L 2 5");
const std::string kPlanes = "\x1b$F\r\x1bGS 0 32 0 0 1024 640 <P>\r" + C("IS 0") + "\x1bGS 1 32 0 0 1024 640 <P>\r" +
                            C("IS 1") + "\x1bGS 2 32 0 0 1024 640 <P>\r" + C("IS 2");
const std::string kResin =
    "\x1b"
    "F\r\x1bG 0 0 10 640 1024 1\r\x1bZ<B>\r";
const std::string kSampleTrack = C("&R") + C("&B 1 JOHN SAMPLE^1234") + C("&E*");

class CardPrint : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    std::filesystem::create_directories(winsim::hostPath(u"C:\\Jobs"));
    install(kPrinter, kPort);
  }

  static void install(const char16_t *name, const char16_t *port) {
    winsim::PrinterSetup setup;
    setup.printerName = name;
    setup.driverName = u"Pellor Standard Printer";
    setup.graphicsDll = CARDREND_DLL;
    setup.portName = port;
    ASSERT_TRUE(winsim::installPrinter(setup));
  }

  struct Run {
    int status;
    std::string out, err;
  };

  Run run(std::initializer_list<std::u16string> args) {
    struct Capture : Console {
      std::string out, err;
      void write(bool error, LPCWSTR text) override {
        (error ? err : out) += winsim::toUtf8(reinterpret_cast<const char16_t *>(text));
      }
    } console;
    std::vector<std::u16string> text = {u"cardprint"};
    text.insert(text.end(), args.begin(), args.end());
    std::vector<LPCWSTR> argv;
    for (const auto &t : text) argv.push_back(reinterpret_cast<LPCWSTR>(t.c_str()));
    const int status = cardPrintMain(int(argv.size()), argv.data(), console);
    return {status, console.out, console.err};
  }

  // The job as it arrived at the printer's port.
  std::vector<uint8_t> portBytes(const char16_t *port = kPort) {
    EXPECT_TRUE(winsim::waitForSpoolerIdle());  // the printer's thread writes the port
    std::ifstream f(winsim::hostPath(port), std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  }
  std::string stream() { return skeleton(portBytes()); }

  // A run that must print: its stream.
  std::string printed(std::initializer_list<std::u16string> args) {
    const Run r = run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return stream();
  }

  // The cards the emulated printer makes of the job.
  std::vector<cardemu::Card> cards(int ribbonCode = 2) {
    cardemu::PrinterConfig config;
    config.model = "CA3";
    config.ribbonCode = ribbonCode;
    cardemu::Printer printer(config);
    const std::vector<uint8_t> job = portBytes();
    EXPECT_EQ(printer.write(job.data(), job.size()), long(job.size()));
    printer.finish();
    EXPECT_EQ(printer.state().error, 0);
    return printer.takeCards();
  }

  // Writes a BMP onto the virtual drive.
  static void writeBmp(const char16_t *path, const std::vector<uint8_t> &bytes) {
    const std::string host = winsim::hostPath(path);
    std::filesystem::create_directories(std::filesystem::path(host).parent_path());
    std::ofstream(host, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
  }

  // Nothing reached the spooler, let alone the port.
  void expectNothingPrinted() {
    EXPECT_TRUE(winsim::printJobs().empty());
    EXPECT_FALSE(std::filesystem::exists(winsim::hostPath(kPort)));
  }
};

// 8-bit channels of a picture pixel.
struct Rgb {
  int r, g, b;
};
Rgb at(const cardemu::RgbImage &img, int x, int y) {
  const uint8_t *p = img.at(x, y);
  return {p[0], p[1], p[2]};
}
::testing::AssertionResult near(Rgb got, Rgb want, int tolerance = 40) {
  if (std::abs(got.r - want.r) <= tolerance && std::abs(got.g - want.g) <= tolerance &&
      std::abs(got.b - want.b) <= tolerance)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got (" << got.r << "," << got.g << "," << got.b << "), want (" << want.r
                                       << "," << want.g << "," << want.b << ")";
}

TEST_F(CardPrint, SampleCardOneSidedYmcko) {
  // The package's default settings with a YMCKO ribbon: black panel always,
  // full varnish, head settings 5.  The track 1 macro on the page becomes
  // the card's encoder part, black text and bars the resin-black image.
  const Run r = run({u"--ribbon", u"YMCKO"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Pellor CA3 Card Printer USB"), std::string::npos);
  EXPECT_EQ(stream(), kHead + kColourHead + C("+C 5") + C("+CV 5") + kSampleTrack + kPlanes + kResin + C("I 10") +
                          C("vF") + C("IV 30") + C("MO"));
  const auto out = cards();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].tracks[0], "JOHN SAMPLE^1234");
  EXPECT_TRUE(out[0].tracks[1].empty());
}

TEST_F(CardPrint, RibbonOption) {
  // YMC: colour heads only, no resin and no varnish panel.
  EXPECT_EQ(printed({u"--ribbon", u"YMC"}), kHead + kColourHead + kSampleTrack + kPlanes + C("MO"));
  // KrO: the whole side turned into resin black, printed with "\eI 20".
  EXPECT_EQ(printed({u"--ribbon", u"KrO"}),
            kHead + C("+C 5") + C("+CV 5") + kSampleTrack + kResin + C("I 20") + C("vF") + C("IV 30") + C("MO"));
}

TEST_F(CardPrint, TwoSidedAndLayoutOptions) {
  // YMCKO layout 0, "Front YMCO, Back K": colour on the front, the back in
  // resin black, then the card turned back for the front's varnish.
  EXPECT_EQ(printed({u"--ribbon", u"YMCKO", u"--two-sided"}),
            C("MASTER") + C("JOB 2") + C("SXY 1") + kColourHead + C("+C 5") + C("+CV 5") + kSampleTrack + kPlanes +
                C("MF") + kResin + C("I 30") + C("MF") + C("vF") + C("IV 30") + C("MO"));
  ASSERT_EQ(cards().size(), 1u);
  // Layout 1, YMCKO on both sides: a job of kind 1 with colour and varnish on each.
  const std::string s = printed({u"--ribbon", u"YMCKO", u"--layout", u"1"});
  EXPECT_EQ(s.rfind(C("MASTER") + C("JOB 1") + C("SXY 1"), 0), 0u);
  EXPECT_EQ(count(s, C("IS 0")), 2u);
  EXPECT_EQ(count(s, C("vF") + C("IV 30")), 2u);
  // A layout the ribbon does not have is a usage mistake.
  SetUp();  // a fresh machine
  const Run bad = run({u"--ribbon", u"YMCKO", u"--layout", u"3"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("layouts 0 to 2"), std::string::npos) << bad.err;
  expectNothingPrinted();
}

TEST_F(CardPrint, OneSidedOptionLeavesTheSamplesBackOut) {
  // After a two-sided layout (as a wrapper's defaults give it), --one-sided
  // prints the one-sided job of the sample: its front alone, one card.
  const std::string s = printed({u"--ribbon", u"YMCKO", u"--layout", u"1", u"--one-sided"});
  EXPECT_EQ(s, kHead + kColourHead + C("+C 5") + C("+CV 5") + kSampleTrack + kPlanes + kResin + C("I 10") + C("vF") +
                   C("IV 30") + C("MO"));
  EXPECT_EQ(s.find(C("MF")), std::string::npos);
  const auto out = cards();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].flips, 0);
  EXPECT_FALSE(out[0].sides[0].panels.empty());
  EXPECT_TRUE(out[0].sides[1].panels.empty());
}

TEST_F(CardPrint, CopiesOption) {
  // The first card in full; each further card reuses the loaded panels and
  // gets the track data again.
  const std::string first = kHead + kColourHead + C("+C 5") + C("+CV 5") + kSampleTrack + kPlanes + kResin + C("I 10") +
                            C("vF") + C("IV 30") + C("MO");
  const std::string again =
      C("&B 1 JOHN SAMPLE^1234") + C("&E*") + C("IS 0") + C("IS 1") + C("IS 2") + C("I 10") + C("IV 30") + C("MO");
  EXPECT_EQ(printed({u"--ribbon", u"YMCKO", u"--copies", u"3"}), first + again + again);
  EXPECT_EQ(cards().size(), 3u);
}

TEST_F(CardPrint, BlackPanelOption) {
  // Never: no resin image; the K panel is skipped.
  EXPECT_EQ(printed({u"--ribbon", u"YMCKO", u"--black", u"never"}), kHead + kColourHead + C("+C 5") + C("+CV 5") +
                                                                        kSampleTrack + kPlanes + C("F") + C("!FF 1") +
                                                                        C("vF") + C("IV 30") + C("MO"));
  // Text only: the black text and bars make a resin image, and the printed
  // card shows resin black where the name was written.
  const std::string s = printed({u"--ribbon", u"YMCKO", u"--black", u"text"});
  EXPECT_NE(s.find(kPlanes + kResin + C("I 10")), std::string::npos);
  const auto out = cards();
  ASSERT_EQ(out.size(), 1u);
  bool resin = false;
  for (const auto &p : out[0].sides[0].panels) resin = resin || p.kind == cardemu::PanelKind::kResinBlack;
  EXPECT_TRUE(resin);
}

TEST_F(CardPrint, OverlayOption) {
  const std::string before = kHead + kColourHead + C("+C 5") + C("+CV 5") + kSampleTrack + kPlanes + kResin + C("I 10");
  EXPECT_EQ(printed({u"--ribbon", u"YMCKO", u"--overlay", u"none"}), before + C("MO"));
  EXPECT_EQ(printed({u"--ribbon", u"YMCKO", u"--overlay", u"magstripe"}),
            before + C("vF") + C("vL 0 0 1023 639 1") + C("vL 0 0 1023 230 0") + C("IV 31") + C("MO"));
  EXPECT_EQ(printed({u"--ribbon", u"YMCKO", u"--overlay", u"chip-iso"}),
            before + C("vF") + C("vL 0 0 1023 639 1") + C("vL 85 197 194 159 0") + C("IV 31") + C("MO"));
}

TEST_F(CardPrint, OrientationOption) {
  // The sample's blue band runs along the top of the page.  On a landscape
  // card that is the top edge of the card; a portrait page is turned onto the
  // card so that its top lies along the card's left edge.
  printed({u"--ribbon", u"YMC", u"--orientation", u"landscape"});
  auto out = cards(6);
  ASSERT_EQ(out.size(), 1u);
  cardemu::RgbImage front = cardemu::composeSide(out[0].sides[0]);
  const Rgb band{0, 84, 150}, white{255, 255, 255};
  EXPECT_TRUE(near(at(front, 700, 50), band));
  EXPECT_TRUE(near(at(front, 50, 600), white));

  printed({u"--ribbon", u"YMC", u"--orientation", u"portrait"});
  out = cards(6);
  ASSERT_EQ(out.size(), 1u);
  front = cardemu::composeSide(out[0].sides[0]);
  EXPECT_TRUE(near(at(front, 50, 600), band));
  EXPECT_TRUE(near(at(front, 700, 50), white));
}

TEST_F(CardPrint, PrinterOption) {
  install(u"Desk Card Printer", u"C:\\Jobs\\desk.prn");
  EXPECT_EQ(run({u"--printer", u"Desk Card Printer", u"--ribbon", u"YMC"}).status, 0);
  EXPECT_EQ(winsim::printJobs(kPrinter).size(), 0u);
  EXPECT_EQ(winsim::printJobs(u"Desk Card Printer").size(), 1u);
  EXPECT_FALSE(portBytes(u"C:\\Jobs\\desk.prn").empty());

  const Run r = run({u"--printer", u"No Such Printer"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no printer \"No Such Printer\""), std::string::npos) << r.err;
  EXPECT_EQ(winsim::printJobs().size(), 1u);
}

TEST_F(CardPrint, CardOfOwnPicturesAndTracks) {
  test::BmpShape front;
  front.width = 40;
  front.height = 25;
  front.pixel = [](int, int y) { return y < 12 ? 0xFF0000u : 0x0000FFu; };  // red over blue
  writeBmp(u"C:\\Pictures\\front.bmp", test::makeBmp(front));
  test::BmpShape back;
  back.bitCount = 8;
  back.palette = {0x00C000};
  back.pixel = [](int, int) { return 0u; };
  writeBmp(u"C:\\Pictures\\back.bmp", test::makeBmp(back));

  const std::string s =
      printed({u"--ribbon", u"YMCKO", u"--layout", u"1", u"--overlay", u"none", u"--front", u"C:\\Pictures\\front.bmp",
               u"--back", u"C:\\Pictures\\back.bmp", u"--track2", u"1234567890", u"--track3", u"42"});
  EXPECT_NE(s.find(C("SXY 1") + kColourHead + C("+C 5") + C("+CV 5") + C("&R") + C("&B 2 1234567890") + C("&B 3 42") +
                   C("&E*") + kPlanes),
            std::string::npos);
  const auto out = cards();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].tracks[1], "1234567890");
  EXPECT_EQ(out[0].tracks[2], "42");
  const cardemu::RgbImage f = cardemu::composeSide(out[0].sides[0]);
  EXPECT_TRUE(near(at(f, 512, 100), {255, 0, 0}));
  EXPECT_TRUE(near(at(f, 512, 540), {0, 0, 255}));
  // The macro line is not printed as text.
  const Rgb macro = at(f, 60, 580);
  EXPECT_GT(std::max({macro.r, macro.g, macro.b}), 150);
  const cardemu::RgbImage b = cardemu::composeSide(out[0].sides[1]);
  EXPECT_TRUE(near(at(b, 512, 320), {0, 192, 0}));
}

TEST_F(CardPrint, BadPicturesPrintNothing) {
  const Run missing = run({u"--front", u"C:\\Pictures\\none.bmp"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("C:\\Pictures\\none.bmp\": no such file"), std::string::npos) << missing.err;
  expectNothingPrinted();

  auto cut = test::makeBmp(test::BmpShape{});
  cut.resize(cut.size() - 5);
  writeBmp(u"C:\\Pictures\\cut.bmp", cut);
  const Run truncated = run({u"--front", u"C:\\Pictures\\cut.bmp"});
  EXPECT_EQ(truncated.status, 1);
  EXPECT_NE(truncated.err.find("ends before the last row"), std::string::npos) << truncated.err;
  expectNothingPrinted();

  writeBmp(u"C:\\Pictures\\text.bmp", {'h', 'e', 'l', 'l', 'o'});
  test::BmpShape good;
  writeBmp(u"C:\\Pictures\\good.bmp", test::makeBmp(good));
  // A good front does not save a bad back.
  const Run text = run({u"--front", u"C:\\Pictures\\good.bmp", u"--back", u"C:\\Pictures\\text.bmp"});
  EXPECT_EQ(text.status, 1);
  EXPECT_NE(text.err.find("too short"), std::string::npos) << text.err;
  expectNothingPrinted();
}

TEST_F(CardPrint, UsageMistakesAndHelpPrintNothing) {
  const Run help = run({u"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: cardprint", 0), 0u);
  for (const char *option : {"--printer", "--ribbon", "--two-sided", "--one-sided", "--layout", "--copies", "--black",
                             "--orientation", "--overlay", "--front", "--back", "--track1"})
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  const Run wrong = run({u"--copies", u"0"});
  EXPECT_EQ(wrong.status, 2);
  EXPECT_NE(wrong.err.find("--copies needs a number from 1 to 1000"), std::string::npos) << wrong.err;
  EXPECT_NE(wrong.err.find("--help"), std::string::npos);
  expectNothingPrinted();
}

TEST_F(CardPrint, RibbonLeftToASilentPrinter) {
  // The port is a file: nobody answers the driver's ribbon question, the
  // driver refuses the page and the job is cancelled before it reaches the port.
  const Run r = run({u"--ribbon", u"printer"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("--ribbon"), std::string::npos) << r.err;
  const auto jobs = winsim::printJobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_TRUE(jobs[0].aborted);
  EXPECT_FALSE(std::filesystem::exists(winsim::hostPath(kPort)));
}

}  // namespace
}  // namespace cardprint
