#include "setup/instlib/default_settings.h"

#include "shared/job_settings.h"

namespace card::setup {

namespace {

// One option slot by its byte offset in the block: its low bits.
struct Options {
  const uint32_t *slots;
  uint8_t low8(size_t offset) const { return uint8_t(slots[offset / 4]); }
  uint16_t low16(size_t offset) const { return uint16_t(slots[offset / 4]); }
};

// The installer's choices over the defaults, each at its place in the block.
void applyOptions(JobSettingsRecord &r, const Options &o) {
  r.rotate180 = int16_t(o.low16(0));
  r.duplex = o.low16(4);
  r.reserved12[0] = o.low8(8);
  r.monoConversion = int16_t(o.low16(12));
  r.jobMode = o.low16(16);
  r.coercivity = int16_t(o.low8(20));
  for (size_t t = 0; t < 3; ++t) {
    r.trackFormat[t].mode = o.low8(24 + 8 * t);
    r.trackFormat[t].density = o.low8(28 + 8 * t);
  }
  // Head settings from the block; the black dye's two keep their default.
  r.varnishContrast = o.low8(48);
  r.blackContrast = o.low8(52);
  r.hologramContrast = o.low8(56);
  r.colourIntensity[0] = o.low8(60);
  r.colourIntensity[1] = o.low8(68);
  r.colourIntensity[2] = o.low8(64);
  r.colourContrast[0] = o.low8(76);
  r.colourContrast[1] = o.low8(84);
  r.colourContrast[2] = o.low8(80);
  const uint16_t ribbonCode = o.low16(92);
  r.ribbonId = ribbonCode;
  if (ribbonCode != 0) r.ribbonType = ribbonTypeOfCode(ribbonCode);
}

}  // namespace

uint8_t ribbonTypeOfCode(uint16_t code) {
  switch (code) {
    case 1: return 8;
    case 2: return 7;
    case 3: return 0;
    case 4: return 12;
    case 6: return 6;
    case 7: return 5;
    case 8: return 2;
    case 9: return 3;
    default: return 1;
  }
}

std::vector<uint8_t> defaultSettingsFile(const uint32_t *options) {
  JobSettingsRecord r;
  fillInstallerDefaultRecord(r);
  if (options) applyOptions(r, Options{options});
  const auto *bytes = reinterpret_cast<const uint8_t *>(&r);
  return std::vector<uint8_t>(bytes, bytes + sizeof r);
}

std::optional<std::u16string> dependentFileList(const std::u16string_view (&names)[4]) {
  std::u16string list;
  for (const auto &n : names) {
    if (n.empty()) continue;
    list.append(n);
    list.push_back(u'\0');
  }
  if (list.empty()) return list;
  list.push_back(u'\0');
  if (list.size() > kDependentListChars) return std::nullopt;
  return list;
}

}  // namespace card::setup
