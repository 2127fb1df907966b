#include "setup/instlib/default_settings.h"

#include <cstring>

#include "shared/job_settings.h"

namespace card::setup {

namespace {

// The record as the driver reads it: little-endian fields at fixed offsets.
class RecordWriter {
 public:
  RecordWriter() : bytes_(sizeof(JobSettingsRecord), 0) {}
  void u8(size_t at, uint8_t v) { bytes_[at] = v; }
  void u16(size_t at, uint16_t v) {
    bytes_[at] = uint8_t(v);
    bytes_[at + 1] = uint8_t(v >> 8);
  }
  void u32(size_t at, uint32_t v) {
    u16(at, uint16_t(v));
    u16(at + 2, uint16_t(v >> 16));
  }
  void text(size_t at, std::string_view s) { std::memcpy(&bytes_[at], s.data(), s.size()); }
  std::vector<uint8_t> take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

// One option slot by its byte offset in the block, or the default without a
// block.
struct Options {
  const uint32_t *slots;
  uint8_t low8(size_t offset, uint8_t fallback) const { return slots ? uint8_t(slots[offset / 4]) : fallback; }
  uint16_t low16(size_t offset, uint16_t fallback) const { return slots ? uint16_t(slots[offset / 4]) : fallback; }
};

// An area record: type 0 and the whole card as its rectangle.
void wholeCardArea(RecordWriter &w, size_t record) {
  w.u16(record, 0);
  w.u32(record + 4, 0);
  w.u32(record + 8, 0);
  w.u32(record + 12, 1023);
  w.u32(record + 16, 639);
}

// A track's format: mode and density from the options, start and end
// sentinels 'A' and 'Z', start position 7 mm.
void trackFormat(RecordWriter &w, const Options &o, size_t at, size_t modeSlot, uint8_t mode, uint8_t density) {
  w.u8(at, o.low8(modeSlot, mode));
  w.u8(at + 1, o.low8(modeSlot + 4, density));
  w.u8(at + 2, 'A');
  w.u8(at + 3, 'Z');
  w.u8(at + 4, 7);
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
  const Options o{options};
  RecordWriter w;
  w.u16(0, kRecordSignature);
  w.u16(4, 1);
  w.u16(6, o.low16(0, 0));  // rotate180
  w.u16(8, o.low16(4, 1));  // duplex
  const uint16_t ribbonCode = o.low16(92, 0);
  w.u8(10, ribbonCode != 0 ? ribbonTypeOfCode(ribbonCode) : 1);
  w.u8(12, o.low8(8, 0));
  w.u16(18, 1);               // blackBitmap
  w.u16(20, o.low16(12, 0));  // monoConversion
  w.u8(22, 1);                // blackPanelMode
  w.u16(24, o.low16(16, 0));  // jobMode
  w.u16(26, ribbonCode);      // ribbonId
  w.u16(32, 1);               // the renderer's page flag
  w.u16(38, 0);               // hasEncoder
  w.u16(40, 1);               // macroProcessing
  w.text(42, "${");
  w.text(52, "}$");
  w.u8(62, o.low8(20, 2));  // coercivity
  w.u16(64, 1);             // encoderPosition
  trackFormat(w, o, 68, 24, 0, 1);
  trackFormat(w, o, 75, 32, 1, 0);
  trackFormat(w, o, 82, 40, 2, 1);
  wholeCardArea(w, 92);
  wholeCardArea(w, 1136);
  w.u16(2180, 0);  // hologram off
  w.u16(2182, 1);  // one hologram copy
  wholeCardArea(w, 2184);
  // Head settings: every one 5, most of them from the options block.
  static constexpr struct {
    size_t record, option;
  } kHead[] = {{3228, 48}, {3229, 52}, {3230, 56}, {3231, 60}, {3232, 68}, {3233, 64},
               {3234, 0},  {3235, 76}, {3236, 84}, {3237, 80}, {3238, 0}};
  for (const auto &h : kHead) w.u8(h.record, h.option ? o.low8(h.option, 5) : 5);
  w.text(3862, "8.00.02.01");
  return w.take();
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
