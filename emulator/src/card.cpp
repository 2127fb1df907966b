#include "emulator/include/cardemu/card.h"

#include <algorithm>
#include <sstream>

namespace cardemu {

const char *panelName(PanelKind kind) {
  switch (kind) {
    case PanelKind::kYellow: return "yellow";
    case PanelKind::kMagenta: return "magenta";
    case PanelKind::kCyan: return "cyan";
    case PanelKind::kDyeBlack: return "dye-black";
    case PanelKind::kResinBlack: return "resin-black";
    case PanelKind::kScratchOff: return "scratch-off";
    case PanelKind::kVarnish: return "varnish";
    case PanelKind::kUltraviolet: return "ultraviolet";
    case PanelKind::kClearVarnish: return "clear-varnish";
    case PanelKind::kHologram: return "hologram";
  }
  return "panel";
}

bool isDyePanel(PanelKind kind) {
  return kind == PanelKind::kYellow || kind == PanelKind::kMagenta || kind == PanelKind::kCyan ||
         kind == PanelKind::kDyeBlack;
}

namespace {
// How much of the card a mask panel covers, for the summary.
std::string coverage(const AppliedPanel &p) {
  if (!p.image) return "empty";
  size_t set = 0;
  for (uint8_t v : *p.image) set += v != 0;
  if (set == 0) return "empty";
  if (set == p.image->size()) return isDyePanel(p.kind) ? "all dots" : "whole card";
  std::ostringstream s;
  s << set << " dots";
  return s.str();
}
}  // namespace

std::shared_ptr<const DotImage> shiftImage(const std::shared_ptr<const DotImage> &image, PrintOffset offset) {
  if (!image || (offset.x == 0 && offset.y == 0) || image->size() < kCardDots) return image;
  auto out = std::make_shared<DotImage>(kCardDots, 0);
  // Columns that still land on the card after the move.
  const int x0 = std::max(0, offset.x), x1 = std::min(kCardWidth, kCardWidth + offset.x);
  if (x0 >= x1) return out;
  for (int y = 0; y < kCardHeight; ++y) {
    const int from = y - offset.y;
    if (from < 0 || from >= kCardHeight) continue;
    const auto src = image->begin() + from * kCardWidth + (x0 - offset.x);
    std::copy(src, src + (x1 - x0), out->begin() + y * kCardWidth + x0);
  }
  return out;
}

std::string Card::summary() const {
  std::ostringstream s;
  s << "card " << number;
  if (!testCard.empty()) s << " (test card: " << testCard << ")";
  s << "\n";
  static const char *const names[2] = {"front", "back"};
  for (size_t k = 0; k < 2; ++k) {
    s << names[k] << ":";
    if (sides[k].panels.empty()) s << " nothing";
    for (const auto &p : sides[k].panels) s << " " << panelName(p.kind) << "(" << coverage(p) << ")";
    if (sides[k].panelsNotKept) s << " and " << sides[k].panelsNotKept << " more";
    if (sides[k].skipped) s << "; " << sides[k].skipped << " panel(s) skipped";
    s << "\n";
  }
  s << "flips: " << flips << "\n";
  s << "magnetic:";
  if (!encoded)
    s << " not encoded";
  else if (tracks[0].empty() && tracks[1].empty() && tracks[2].empty())
    s << " passed the encoder, no data";
  for (size_t t = 0; t < 3; ++t)
    if (!tracks[t].empty()) s << " track " << t + 1 << " \"" << tracks[t] << "\"";
  s << "\n";
  if (!(offsets[0] == PrintOffset{}) || !(offsets[1] == PrintOffset{}))
    s << "offsets: front " << offsets[0].x << " " << offsets[0].y << ", back " << offsets[1].x << " " << offsets[1].y
      << "\n";
  s << "lamination: " << (lamination.empty() ? "none" : lamination) << "\n";
  for (const auto &n : notes) s << "note: " << n << "\n";
  return s.str();
}

}  // namespace cardemu
