// The command line of cardprint: what the user asked for, checked before
// anything is opened or printed.  Plain logic on the arguments; no Windows
// calls beyond string helpers.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace cardprint {

// The printer the package's installer creates for a USB-attached printer;
// printed on when no --printer is given.
#define CARDPRINT_DEFAULT_PRINTER TEXT("Pellor CA3 Card Printer USB")

constexpr size_t kPrinterNameChars = 221;  // longest printer name the spooler accepts, with its terminator
constexpr size_t kMessageChars = 512;

// Longest data each magnetic track takes in a card's first copy; longer
// data would be cut by the driver, so it is refused here.
constexpr size_t kTrackChars[3] = {76, 37, 104};
constexpr size_t kTrackBuffer = 105;  // the longest track's data and its terminator

constexpr int kUnset = -1;

struct PrintOptions {
  bool help = false;
  WCHAR printer[kPrinterNameChars] = {};
  // Settings of the job; kUnset keeps what the printer's default settings
  // (or the built-in defaults) say.
  int ribbonId = kUnset;  // 0: the ribbon the printer reports; 1..10: a chosen ribbon
  bool twoSided = false;  // print both sides of each card
  // --one-sided came after any --two-sided and --layout: one side, whatever
  // the printer's defaults or earlier options say; a back picture conflicts.
  bool oneSided = false;
  int layout = kUnset;          // two-sided panel layout of the ribbon
  int copies = kUnset;          // 1..1000 cards
  int blackPanelMode = kUnset;  // card::BlackPanelMode
  int orientation = kUnset;     // DMORIENT_PORTRAIT or DMORIENT_LANDSCAPE
  int overlay = kUnset;         // overlay type of both sides
  // The card: the built-in sample unless a front picture is given.
  LPCWSTR frontImage = nullptr;
  LPCWSTR backImage = nullptr;
  bool trackGiven[3] = {};
  char tracks[3][kTrackBuffer] = {};  // 8-bit track data, at most kTrackChars
};

// Reads argv[1..argc-1].  On a mistake returns false with a one-line
// explanation in `message` (without the program name).  Options may be given
// as "--name value" or "--name=value".
bool parseOptions(int argc, LPCWSTR const *argv, PrintOptions &options, WCHAR (&message)[kMessageChars]);

// The text --help shows.
LPCWSTR usageText();

// The name of a ribbon choice (1..10) as the options spell it.
LPCWSTR ribbonOptionName(int ribbonId);

// The track data of the built-in sample card.
extern const char kSampleTrack1[];

}  // namespace cardprint
