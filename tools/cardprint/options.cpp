#include "tools/cardprint/options.h"

#include <strsafe.h>

#include <iterator>

#include "shared/job_settings.h"
#include "shared/ribbons.h"

namespace cardprint {

const char kSampleTrack1[] = "JOHN SAMPLE^1234";

namespace {

// Ribbon choices in the settings' own numbering (1..10), as typed on the
// command line.
const LPCWSTR kRibbonNames[] = {TEXT("YMCKOK"), TEXT("YMCKK"), TEXT("YMCKO"), TEXT("YMCUvK"), TEXT("K"),
                                TEXT("YMCK"),   TEXT("YMC"),   TEXT("KdO"),   TEXT("KrO"),    TEXT("Hologram")};
static_assert(std::size(kRibbonNames) == card::kManualRibbonCount);

struct Choice {
  LPCWSTR name;
  int value;
};

const Choice kBlackModes[] = {{TEXT("never"), card::kBlackPanelNever},
                              {TEXT("always"), card::kBlackPanelAlways},
                              {TEXT("text"), card::kBlackPanelTextOnly},
                              {TEXT("except-pictures"), card::kBlackPanelExceptColourPictures}};
const Choice kOrientations[] = {{TEXT("portrait"), DMORIENT_PORTRAIT}, {TEXT("landscape"), DMORIENT_LANDSCAPE}};
const Choice kOverlays[] = {{TEXT("full"), card::kOverlayFull},
                            {TEXT("none"), card::kOverlayNone},
                            {TEXT("chip-iso"), card::kOverlaySmartCardIso},
                            {TEXT("chip-afnor"), card::kOverlaySmartCardAfnor},
                            {TEXT("magstripe"), card::kOverlayMagStripe}};

bool same(LPCWSTR a, LPCWSTR b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

// "--name=value": true with `value` pointing behind the '=' when `arg`
// starts with `name` and '='.
bool withValue(LPCWSTR arg, LPCWSTR name, LPCWSTR &value) {
  while (*name && *arg == *name) ++arg, ++name;
  if (*name || *arg != '=') return false;
  value = arg + 1;
  return true;
}

template <size_t N>
bool choose(LPCWSTR text, const Choice (&choices)[N], int &value) {
  for (const Choice &c : choices)
    if (lstrcmpiW(text, c.name) == 0) {
      value = c.value;
      return true;
    }
  return false;
}

// A decimal number from `low` to `high`, nothing else.
bool number(LPCWSTR text, int low, int high, int &value) {
  if (!*text) return false;
  long long v = 0;
  for (LPCWSTR p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    v = v * 10 + (*p - '0');
    if (v > high) return false;
  }
  if (v < low) return false;
  value = int(v);
  return true;
}

// Characters a track's data may hold: the encoder's alphanumeric set on
// track 1, its numeric set on tracks 2 and 3, without the start and end
// sentinels that frame the data on the card.
bool trackCharAllowed(int track, WCHAR c) {
  if (track == 0) return c >= 0x20 && c <= 0x5F && c != '%' && c != '?';
  return c >= 0x30 && c <= 0x3F && c != ';' && c != '?';
}

void say(WCHAR (&message)[kMessageChars], LPCWSTR format, LPCWSTR a = TEXT(""), LPCWSTR b = TEXT("")) {
  StringCchPrintfW(message, kMessageChars, format, a, b);
}

}  // namespace

LPCWSTR ribbonOptionName(int ribbonId) {
  return ribbonId >= card::kManualYMCKOK && ribbonId <= int(card::kManualRibbonCount) ? kRibbonNames[ribbonId - 1]
                                                                                      : TEXT("printer");
}

namespace {

using Message = WCHAR (&)[kMessageChars];

bool readPrinter(LPCWSTR, LPCWSTR value, PrintOptions &o, Message message) {
  size_t length = 0;
  if (FAILED(StringCchLengthW(value, kPrinterNameChars, &length)) || length == 0) {
    say(message, TEXT("--printer needs a printer name of 1 to 220 characters"));
    return false;
  }
  StringCchCopyW(o.printer, kPrinterNameChars, value);
  return true;
}

bool readRibbon(LPCWSTR, LPCWSTR value, PrintOptions &o, Message message) {
  o.ribbonId = kUnset;
  if (lstrcmpiW(value, TEXT("printer")) == 0) o.ribbonId = card::kRibbonFromPrinter;
  for (int id = card::kManualYMCKOK; id <= int(card::kManualRibbonCount); ++id)
    if (lstrcmpiW(value, kRibbonNames[id - 1]) == 0) o.ribbonId = id;
  if (o.ribbonId == kUnset) {
    say(message, TEXT("unknown ribbon \"%ls\" (see --help for the ribbon names)"), value);
    return false;
  }
  return true;
}

bool readLayout(LPCWSTR, LPCWSTR value, PrintOptions &o, Message message) {
  if (!number(value, 0, 3, o.layout)) {
    say(message, TEXT("--layout needs a layout number from 0 to 3, not \"%ls\""), value);
    return false;
  }
  o.twoSided = true;
  o.oneSided = false;
  return true;
}

bool readCopies(LPCWSTR, LPCWSTR value, PrintOptions &o, Message message) {
  if (!number(value, 1, 1000, o.copies)) {
    say(message, TEXT("--copies needs a number from 1 to 1000, not \"%ls\""), value);
    return false;
  }
  return true;
}

bool readBlack(LPCWSTR, LPCWSTR value, PrintOptions &o, Message message) {
  if (!choose(value, kBlackModes, o.blackPanelMode) &&
      !number(value, card::kBlackPanelNever, card::kBlackPanelExceptColourPictures, o.blackPanelMode)) {
    say(message, TEXT("--black is one of never, always, text, except-pictures, not \"%ls\""), value);
    return false;
  }
  return true;
}

bool readOrientation(LPCWSTR, LPCWSTR value, PrintOptions &o, Message message) {
  if (!choose(value, kOrientations, o.orientation)) {
    say(message, TEXT("--orientation is landscape or portrait, not \"%ls\""), value);
    return false;
  }
  return true;
}

bool readOverlay(LPCWSTR, LPCWSTR value, PrintOptions &o, Message message) {
  if (!choose(value, kOverlays, o.overlay)) {
    say(message, TEXT("--overlay is one of full, none, magstripe, chip-iso, chip-afnor, not \"%ls\""), value);
    return false;
  }
  return true;
}

// --front, --back.
bool readPicture(LPCWSTR name, LPCWSTR value, PrintOptions &o, Message message) {
  if (!*value) {
    say(message, TEXT("%ls needs a BMP file name"), name);
    return false;
  }
  (same(name, TEXT("--front")) ? o.frontImage : o.backImage) = value;
  return true;
}

// --track1, --track2, --track3.
bool readTrack(LPCWSTR name, LPCWSTR value, PrintOptions &o, Message message) {
  const int t = name[7] - '1';  // "--trackN"
  size_t n = 0;
  for (; value[n]; ++n) {
    if (n >= kTrackChars[t]) {
      StringCchPrintfW(message, kMessageChars, TEXT("track %d holds at most %d characters"), t + 1,
                       int(kTrackChars[t]));
      return false;
    }
    if (!trackCharAllowed(t, value[n])) {
      StringCchPrintfW(message, kMessageChars,
                       t == 0
                           ? TEXT("track 1 takes capital letters, digits, blanks and punctuation other than %% and ?")
                           : TEXT("track %d takes digits and : < = > only"),
                       t + 1);
      return false;
    }
    o.tracks[t][n] = char(value[n]);
  }
  o.tracks[t][n] = 0;
  o.trackGiven[t] = true;
  return true;
}

// The options that take a value, and what reads it.
struct ValueOption {
  LPCWSTR name;
  bool (*read)(LPCWSTR name, LPCWSTR value, PrintOptions &o, Message message);
};
const ValueOption kValueOptions[] = {
    {TEXT("--printer"), readPrinter}, {TEXT("--ribbon"), readRibbon}, {TEXT("--layout"), readLayout},
    {TEXT("--copies"), readCopies},   {TEXT("--black"), readBlack},   {TEXT("--orientation"), readOrientation},
    {TEXT("--overlay"), readOverlay}, {TEXT("--front"), readPicture}, {TEXT("--back"), readPicture},
    {TEXT("--track1"), readTrack},    {TEXT("--track2"), readTrack},  {TEXT("--track3"), readTrack}};

// The option argv[i] names, with its value ("--name value", taking the next
// argument, or "--name=value"); NULL with a message when there is none.
const ValueOption *valueOption(int argc, LPCWSTR const *argv, int &i, LPCWSTR &value, Message message) {
  LPCWSTR arg = argv[i];
  for (const ValueOption &v : kValueOptions) {
    if (same(arg, v.name)) {
      if (i + 1 >= argc) {
        say(message, TEXT("%ls needs a value"), v.name);
        return nullptr;
      }
      value = argv[++i];
      return &v;
    }
    if (withValue(arg, v.name, value)) return &v;
  }
  say(message, arg[0] == '-' ? TEXT("unknown option %ls") : TEXT("unexpected argument \"%ls\""), arg);
  return nullptr;
}

// The options that only make sense together.
bool checkPictures(PrintOptions &o, Message message) {
  if (o.backImage && !o.frontImage) {
    say(message, TEXT("--back needs --front: a card of your own pictures has both"));
    return false;
  }
  // Both sides of a card of one's own pictures are drawn from them; a
  // two-sided card with a front picture alone has nothing for its back.
  if (o.frontImage && !o.backImage && o.twoSided) {
    say(message, TEXT("a two-sided card of your own pictures needs --back (or leave out --two-sided and --layout)"));
    return false;
  }
  if (o.backImage && o.oneSided) {
    say(message, TEXT("--back is a second side: it cannot go with --one-sided"));
    return false;
  }
  if (o.backImage) o.twoSided = true;
  return true;
}

}  // namespace

bool parseOptions(int argc, LPCWSTR const *argv, PrintOptions &o, WCHAR (&message)[kMessageChars]) {
  o = PrintOptions{};
  message[0] = 0;
  StringCchCopyW(o.printer, kPrinterNameChars, CARDPRINT_DEFAULT_PRINTER);
  for (int i = 1; i < argc; ++i) {
    LPCWSTR arg = argv[i];
    if (same(arg, TEXT("--help")) || same(arg, TEXT("-h")) || same(arg, TEXT("/?"))) {
      o.help = true;
      continue;
    }
    // The last of --two-sided, --one-sided and --layout decides, so that
    // a side option given later overrides one given before (a wrapper's
    // defaults first, the user's own options after them).
    if (same(arg, TEXT("--two-sided"))) {
      o.twoSided = true;
      o.oneSided = false;
      continue;
    }
    if (same(arg, TEXT("--one-sided"))) {
      o.twoSided = false;
      o.oneSided = true;
      o.layout = kUnset;
      continue;
    }
    LPCWSTR value = nullptr;
    const ValueOption *option = valueOption(argc, argv, i, value, message);
    if (!option || !option->read(option->name, value, o, message)) return false;
  }
  return checkPictures(o, message);
}

LPCWSTR usageText() {
  return TEXT(
      "usage: cardprint [options]\n"
      "\n"
      "Prints an ID card through the printer's driver: the built-in sample card (a\n"
      "photo, a name in black, a title in colour, a barcode and magnetic track 1\n"
      "data), or a card made of your own BMP pictures.\n"
      "\n"
      "options:\n"
      "  --printer NAME       printer to print on (default \"Pellor CA3 Card Printer USB\")\n"
      "  --ribbon NAME        ribbon to print with: YMCKO, YMCKOK, YMCKK, YMCK, YMC,\n"
      "                       YMCUvK, KdO, KrO, K, Hologram, or printer (the ribbon the\n"
      "                       printer reports); default: the printer's settings\n"
      "  --two-sided          print both sides of the card (the sample has a back; a\n"
      "                       card of your own pictures needs --back)\n"
      "  --layout N           two-sided panel layout N of the ribbon (implies --two-sided);\n"
      "                       YMCKO: 0 front YMCO back K, 1 YMCKO on both, 2 front YMC\n"
      "                       back KO\n"
      "  --one-sided          print the front only (the sample's back is left out);\n"
      "                       the last of --one-sided, --two-sided and --layout counts\n"
      "  --copies N           number of cards, 1 to 1000 (default 1)\n"
      "  --black MODE         use of the resin black panel: never, always, text,\n"
      "                       except-pictures\n"
      "  --orientation O      landscape (default) or portrait\n"
      "  --overlay TYPE       overlay varnish of the sides: full, none, magstripe (the\n"
      "                       stripe left blank), chip-iso, chip-afnor (the chip area\n"
      "                       left blank)\n"
      "  --front FILE.bmp     picture of the card's front, stretched over the side\n"
      "  --back FILE.bmp      picture of the card's back (needs --front; two-sided)\n"
      "  --track1 DATA        magnetic track 1 data (up to 76 characters; the sample\n"
      "                       card's is JOHN SAMPLE^1234)\n"
      "  --track2 DATA        magnetic track 2 data (up to 37 digits)\n"
      "  --track3 DATA        magnetic track 3 data (up to 104 digits)\n"
      "  --help               show this text\n"
      "\n"
      "Settings not given keep the printer's defaults, except that a card is printed\n"
      "once and on one side unless asked.  The pictures are uncompressed BMP files of\n"
      "1, 4, 8, 16, 24 or 32 bits per pixel.  Track data is written on the page as\n"
      "the driver's magnetic-stripe text, which the driver takes off the card and\n"
      "sends to the encoder.\n"
      "\n"
      "exit status: 0 printed, 1 nothing printed (a picture, the printer or the\n"
      "driver failed), 2 wrong usage.\n");
}

}  // namespace cardprint
