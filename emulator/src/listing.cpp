#include "emulator/include/cardemu/listing.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace cardemu {

std::string printable(const std::string &bytes) {
  std::string s;
  for (unsigned char c : bytes) {
    switch (c) {
      case kEsc: s += "\\e"; break;
      case kCr: s += "\\r"; break;
      case '\n': s += "\\n"; break;
      case '\\': s += "\\\\"; break;
      case kAck: s += "<ACK>"; break;
      case kNak: s += "<NAK>"; break;
      case kEot: s += "<EOT>"; break;
      default:
        if (c >= 0x20 && c < 0x7F) {
          s += static_cast<char>(c);
        } else {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02X", c);
          s += hex;
        }
    }
  }
  return s;
}

namespace {

std::string dataSummary(const Command &c) {
  std::ostringstream s;
  switch (c.block) {
    case BlockKind::kPlane:
    case BlockKind::kPlaneRle: {
      static const char *const names[4] = {"Y", "M", "C", "dye K"};
      s << (c.block == BlockKind::kPlane ? "5-bit plane " : "run-length plane ")
        << (c.plane >= 0 && c.plane < 4 ? names[c.plane] : "?") << ", " << c.dataBytes << " bytes";
      if (c.data) {
        const auto [lo, hi] = std::minmax_element(c.data->begin(), c.data->end());
        s << ", values " << int(*lo) << ".." << int(*hi);
      }
      break;
    }
    case BlockKind::kBits:
    case BlockKind::kBitsRle: {
      s << (c.block == BlockKind::kBits ? "bit image" : "run-length bit image") << " for "
        << (c.target == BitTarget::kResin     ? "resin"
            : c.target == BitTarget::kVarnish ? "varnish"
                                              : "nothing")
        << ", " << c.dataBytes << " bytes";
      if (c.data) {
        const auto set = std::count_if(c.data->begin(), c.data->end(), [](uint8_t v) { return v != 0; });
        s << ", " << set << " dots print";
      }
      break;
    }
    case BlockKind::kFirmware:
      s << "firmware image, size field " << c.declaredSize << ", " << c.dataBytes << " bytes";
      break;
    case BlockKind::kNone: break;
  }
  if (c.warnings) s << ", " << c.warnings << " irregular padding values";
  return s.str();
}

}  // namespace

std::string describeCommand(const Command &c) {
  if (c.stray) return "bytes outside commands \"" + printable(c.text) + (c.length > c.text.size() ? "...\"" : "\"");
  switch (c.block) {
    case BlockKind::kPlane:
    case BlockKind::kPlaneRle: return "\\e" + c.text + " [" + dataSummary(c) + "] \\r";
    case BlockKind::kBits:
    case BlockKind::kBitsRle: return "\\eZ [" + dataSummary(c) + "] \\r";
    case BlockKind::kFirmware:  // the end marker shown only when it came
      return "\\eDC [" + dataSummary(c) + "]" + (c.fwEndMarker ? " \\xFF" : " ") + "\\r";
    case BlockKind::kNone: break;
  }
  return "\\e" + printable(c.text) + "\\r";
}

std::string listingLine(const CommandRecord &r) {
  std::ostringstream s;
  char off[24];
  std::snprintf(off, sizeof off, "%08llx  ", static_cast<unsigned long long>(r.command->offset));
  s << off << describeCommand(*r.command);
  if (r.held) s << "  (held: printer stopped)";
  if (r.replay) s << "  (run after the error was cleared)";
  if (!r.answer.empty()) s << "  -> " << printable(r.answer);
  if (!r.note.empty()) s << "  -- " << r.note;
  if (r.error) {
    s << "  ERROR " << r.error << " " << statusWord(r.error);
    if (!r.command->problem.empty()) s << ": " << r.command->problem;
  }
  return s.str();
}

}  // namespace cardemu
