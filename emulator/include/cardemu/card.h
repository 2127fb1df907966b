// A printed card as the emulated printer hands it out: the panels applied to
// each side in order, the magnetic tracks and what else happened to it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "emulator/include/cardemu/protocol.h"

namespace cardemu {

enum class PanelKind : uint8_t {
  kYellow,
  kMagenta,
  kCyan,
  kDyeBlack,  // continuous tone, values 0..31
  kResinBlack,
  kScratchOff,  // opaque, by mask
  kVarnish,
  kUltraviolet,
  kClearVarnish,
  kHologram  // coatings, by mask
};
const char *panelName(PanelKind kind);
bool isDyePanel(PanelKind kind);

// kCardDots values in the landscape card frame (index x + y * kCardWidth).
using DotImage = std::vector<uint8_t>;

struct AppliedPanel {
  PanelKind kind;
  std::string command;                    // the print command that applied it
  std::shared_ptr<const DotImage> image;  // dye: density 0..31; others: 1 = covered
};

struct CardSide {
  // A card side takes a handful of panels; past this many they still count
  // (ribbon, panel counter) but are not kept for the pictures.
  static constexpr size_t kMaxKeptPanels = 64;
  std::vector<AppliedPanel> panels;
  int skipped = 0;  // "\e!FF 1" panel skips on this side
  int panelsNotKept = 0;
};

// Where a side's picture lands relative to where it was sent, in dots: x
// along the card's long edge (positive: to the right of the landscape
// picture), y along the short edge (positive: down).
struct PrintOffset {
  int x = 0;
  int y = 0;
  bool operator==(const PrintOffset &o) const { return x == o.x && y == o.y; }
};

// The image moved by the offset: dots moved past an edge are lost, the dots
// it uncovers are blank.  Null stays null; a zero offset gives the image back.
std::shared_ptr<const DotImage> shiftImage(const std::shared_ptr<const DotImage> &image, PrintOffset offset);

struct Card {
  uint32_t number = 0;            // 1 for the first card the printer put out
  std::array<CardSide, 2> sides;  // [0] the side facing the head when fed (front)
  int flips = 0;
  int finalSide = 0;                   // side facing the head when it left
  std::array<std::string, 3> tracks;   // magnetic data as written
  bool encoded = false;                // went through the encoder ("\e&E*")
  std::string lamination;              // "\e+DLAMI" selection in force, empty when none
  std::string testCard;                // test card kind, empty for job cards
  std::array<PrintOffset, 2> offsets;  // in force when the card was fed: [0] front, [1] back
  std::vector<std::string> notes;      // how it left when not by "\eMO" ...

  // Readable per-card summary: panels per side, flips, tracks, lamination.
  std::string summary() const;
};

}  // namespace cardemu
