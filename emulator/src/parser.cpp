#include "emulator/include/cardemu/parser.h"

#include <algorithm>
#include <cstring>

#include "emulator/include/cardemu/protocol.h"
#include "emulator/src/crc32.h"

namespace cardemu {

namespace {

constexpr uint32_t kPlaneRleUnits = kLines * kDotsPerLine;  // one unit per dot
constexpr uint32_t kBitUnits = kBitImageBytes;              // one unit per byte of 8 dots

// Splits "a b c" at single blanks; false when a field is empty (double or
// trailing blank) so that sloppy commands are refused, not guessed at.
bool splitFields(const std::string &s, std::vector<std::string> *out) {
  out->clear();
  size_t start = 0;
  while (true) {
    size_t blank = s.find(' ', start);
    std::string field = s.substr(start, blank == std::string::npos ? std::string::npos : blank - start);
    if (field.empty()) return false;
    out->push_back(field);
    if (blank == std::string::npos) return true;
    start = blank + 1;
  }
}

bool parseNumber(const std::string &s, long *value) {
  if (s.empty() || s.size() > 9) return false;
  long v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *value = v;
  return true;
}

}  // namespace

bool StreamParser::insideBlock() const {
  switch (state_) {
    case State::kPlane:
    case State::kPlaneRle:
    case State::kBits:
    case State::kBitsRle:
    case State::kFwSize:
    case State::kFwBody:
    case State::kFwEnd:
    case State::kTrailer: return true;
    default: return false;
  }
}

bool StreamParser::insideFirmware() const {
  switch (state_) {
    case State::kFwSize:
    case State::kFwBody:
    case State::kFwEnd: return true;
    case State::kTrailer: return cur_.block == BlockKind::kFirmware;
    default: return false;
  }
}

void StreamParser::reset() {
  state_ = State::kIdle;
  cur_ = Command{};
  work_.clear();
  work_.shrink_to_fit();
  keep_ = false;
  pending_ = PendingBits{};
  units_ = limit_ = 0;
  lineByte_ = 0;
  word_ = 0;
  escaped_ = false;
  rleCount_ = runLength_ = 0;
  runPending_ = false;
  fwSize_ = 0;
  fwSizeBytes_ = 0;
  strayCount_ = 0;
  emitted_ = false;
}

void StreamParser::fail(int code, const std::string &problem) {
  // The first fault of a command is the one reported.
  if (cur_.error == 0) {
    cur_.error = code;
    cur_.problem = problem;
  }
}

void StreamParser::startCommand() {
  cur_ = Command{};
  cur_.offset = offset_ - 1;  // the ESC just taken
  state_ = State::kCommand;
}

void StreamParser::emit(const Sink &sink) {
  if (cur_.length == 0) cur_.length = offset_ - cur_.offset;
  if (keep_ && cur_.error == 0 && cur_.block != BlockKind::kNone)
    cur_.data = std::make_shared<const std::vector<uint8_t>>(std::move(work_));
  work_ = {};
  keep_ = false;
  Command done = std::move(cur_);
  cur_ = Command{};
  state_ = State::kIdle;
  emitted_ = true;
  sink(std::move(done));
}

void StreamParser::endCommandText(const Sink &sink) {
  // Bit image headers are read here: the block that "\eZ" opens is sized and
  // decoded by them.
  const bool resin = cur_.text.rfind("G ", 0) == 0;
  const bool varnish = cur_.text.rfind("vG ", 0) == 0;
  pending_ = PendingBits{};
  if (resin || varnish) {
    pending_.present = true;
    pending_.target = resin ? BitTarget::kResin : BitTarget::kVarnish;
    std::vector<std::string> f;
    long v[6] = {};
    bool ok = splitFields(cur_.text.substr(resin ? 2 : 3), &f) && f.size() == 6;
    for (size_t k = 0; ok && k < 6; ++k) ok = parseNumber(f[k], &v[k]);
    if (!ok) {
      fail(err::kMalformedCommand, "bit image header needs six numbers");
    } else {
      pending_.rle = v[2] != 10;
      pending_.polarity = v[5] == 0 ? 0 : 1;
      if (v[0] != 0 || v[1] != 0 || (v[2] != 10 && v[2] != 12) || v[3] != kDotsPerLine || v[4] != kLines ||
          (v[5] != 0 && v[5] != 1))
        fail(err::kParameter, "bit image header must be 0 0 10|12 640 1024 0|1");
      else
        pending_.valid = true;
    }
  }
  emit(sink);
}

void StreamParser::beginData(BlockKind kind, bool keep) {
  cur_.block = kind;
  keep_ = keep;
  units_ = 0;
  lineByte_ = 0;
  word_ = 0;
  escaped_ = false;
  rleCount_ = runLength_ = 0;
  runPending_ = false;
  work_.clear();
  switch (kind) {
    case BlockKind::kPlane:
      limit_ = kPlaneBytes;
      state_ = State::kPlane;
      break;
    case BlockKind::kPlaneRle:
      limit_ = kPlaneRleUnits;
      state_ = State::kPlaneRle;
      break;
    case BlockKind::kBits:
      limit_ = kBitUnits;
      state_ = State::kBits;
      break;
    case BlockKind::kBitsRle:
      limit_ = kBitUnits;
      state_ = State::kBitsRle;
      break;
    case BlockKind::kFirmware:
      state_ = State::kFwSize;
      fwSize_ = 0;
      fwSizeBytes_ = 0;
      fwCrc_ = kCrc32Start;
      cur_.fwCrc32 = ~fwCrc_;
      break;
    case BlockKind::kNone: break;
  }
  if (keep && kind != BlockKind::kFirmware) work_.assign(kCardDots, 0);
}

void StreamParser::startGsBlock() {
  // "GS p f x y w h " : plane, data format, origin, size.
  std::string fields = cur_.text.substr(3);
  fields.pop_back();  // the blank that ends the header
  cur_.text.pop_back();
  std::vector<std::string> f;
  long v[6] = {};
  bool ok = splitFields(fields, &f) && f.size() == 6;
  for (size_t k = 0; ok && k < 6; ++k) ok = parseNumber(f[k], &v[k]);
  if (!ok) return;  // cannot happen: the header reader takes only digits and single blanks
  cur_.plane = static_cast<int>(v[0]);
  const bool rle = v[1] == 30;
  bool valid = v[0] >= 0 && v[0] <= 3 && (v[1] == 32 || v[1] == 30) && v[2] == 0 && v[3] == 0 && v[4] == kLines &&
               v[5] == kDotsPerLine;
  if (!valid) fail(err::kParameter, "plane header must be 0..3 32|30 0 0 1024 640");
  beginData(rle ? BlockKind::kPlaneRle : BlockKind::kPlane, valid);
}

void StreamParser::startBitBlock() {
  cur_.target = pending_.target;
  cur_.polarity = pending_.polarity;
  if (!pending_.present) {
    fail(err::kSequence, "image data without a \\eG or \\evG header");
    beginData(BlockKind::kBits, false);
  } else {
    beginData(pending_.rle ? BlockKind::kBitsRle : BlockKind::kBits, pending_.valid);
  }
  pending_ = PendingBits{};
}

void StreamParser::putPlaneValue(uint8_t v) {
  if (units_ >= limit_) {
    fail(err::kBadImageData, "more than 655360 dots");
    return;
  }
  if (keep_) {
    // Plane lines run along the card from its left edge, dots from its top.
    const uint32_t line = units_ / kDotsPerLine, dot = units_ % kDotsPerLine;
    work_[line + dot * kCardWidth] = v;
  }
  ++units_;
}

void StreamParser::putBitByte(uint8_t b) {
  if (units_ >= limit_) {
    fail(err::kBadImageData, "more than 81920 bytes of bit image");
    return;
  }
  if (keep_) {
    // Bit image lines run along the card from its right edge, dots from its top.
    const uint32_t line = units_ / kBitLineBytes, col = units_ % kBitLineBytes;
    const uint32_t x = kCardWidth - 1 - line;
    for (int bit = 0; bit < 8; ++bit) {
      const int value = (b >> (7 - bit)) & 1;
      const uint32_t y = col * 8 + bit;
      work_[x + y * kCardWidth] = value == cur_.polarity ? 1 : 0;
    }
  }
  ++units_;
}

void StreamParser::endData() { state_ = State::kTrailer; }

size_t StreamParser::feedPlane(const uint8_t *p, size_t n) {
  size_t i = 0;
  while (i < n && units_ < limit_) {
    const uint8_t b = p[i++];
    ++units_;
    const int pos = lineByte_++;
    if (pos < 428) {
      if ((pos & 1) == 0) {
        word_ = static_cast<uint16_t>(b << 8);
        continue;
      }
      word_ = static_cast<uint16_t>(word_ | b);
      if (word_ & 0x8000) ++cur_.warnings;
      const int w = pos / 2;
      const uint32_t line = (units_ - 1) / kPlaneLineBytes;
      const uint8_t vals[3] = {static_cast<uint8_t>((word_ >> 10) & 31), static_cast<uint8_t>((word_ >> 5) & 31),
                               static_cast<uint8_t>(word_ & 31)};
      for (int k = 0; k < 3; ++k) {
        const int dot = w * 3 + k;
        if (dot >= kDotsPerLine) {
          if (vals[k]) ++cur_.warnings;  // the last word carries one dot only
          continue;
        }
        if (keep_) work_[line + static_cast<uint32_t>(dot) * kCardWidth] = vals[k];
      }
    } else {
      if (b != 0) ++cur_.warnings;
      if (lineByte_ == kPlaneLineBytes) lineByte_ = 0;
    }
  }
  if (units_ >= limit_) endData();
  return i;
}

void StreamParser::idleByte(uint8_t b) {
  if (b == kEsc) {
    startCommand();
  } else if (b != kCr && b != '\n' && b != 0) {
    // Filler between commands (a lone CR, LF or NUL) is tolerated;
    // anything else is noise that the printer reports once per run.
    cur_ = Command{};
    cur_.offset = offset_ - 1;
    cur_.stray = true;
    cur_.text.push_back(static_cast<char>(b));
    fail(err::kStrayBytes, "bytes outside any command");
    strayCount_ = 1;
    state_ = State::kHunt;
  }
}

void StreamParser::huntByte(uint8_t b, const Sink &sink) {
  if (b == kEsc) {
    if (cur_.stray) {
      cur_.length = offset_ - 1 - cur_.offset;
      emit(sink);
    }
    startCommand();
  } else if (cur_.stray && cur_.text.size() < 16) {
    cur_.text.push_back(static_cast<char>(b));
  }
}

void StreamParser::commandByte(uint8_t b, const Sink &sink) {
  if (b == kCr) {
    endCommandText(sink);
  } else if (b == kEsc) {
    fail(err::kMalformedCommand, "ESC before the CR of the previous command");
    cur_.length = offset_ - 1 - cur_.offset;
    pending_ = PendingBits{};
    emit(sink);
    startCommand();
  } else {
    cur_.text.push_back(static_cast<char>(b));
    if (cur_.text.size() > kMaxCommandText) {
      fail(err::kCommandTooLong, "no CR within 255 bytes");
      cur_.text.resize(32);
      state_ = State::kSkipToCr;
    } else if (cur_.text == "Z") {
      startBitBlock();
    } else if (cur_.text == "GS ") {
      state_ = State::kGsHeader;
    } else if (cur_.text == "DC ") {
      cur_.text = "DC";
      pending_ = PendingBits{};
      beginData(BlockKind::kFirmware, true);
    }
  }
}

void StreamParser::skipToCrByte(uint8_t b, const Sink &sink) {
  if (b == kCr) {
    pending_ = PendingBits{};
    emit(sink);
  } else if (b == kEsc) {
    cur_.length = offset_ - 1 - cur_.offset;
    pending_ = PendingBits{};
    emit(sink);
    startCommand();
  }
}

void StreamParser::gsHeaderByte(uint8_t b, const Sink &sink) {
  if (b == ' ') {
    if (cur_.text.back() == ' ') {
      fail(err::kMalformedCommand, "empty field in plane header");
      pending_ = PendingBits{};
      emit(sink);
      state_ = State::kHunt;  // the block size is unknown: wait for the next command
      return;
    }
    cur_.text.push_back(' ');
    if (std::count(cur_.text.begin(), cur_.text.end(), ' ') == 7) {
      pending_ = PendingBits{};
      startGsBlock();
    }
  } else if (b >= '0' && b <= '9') {
    cur_.text.push_back(static_cast<char>(b));
    if (cur_.text.size() > kMaxGsHeader) {
      fail(err::kCommandTooLong, "plane header longer than 64 bytes");
      pending_ = PendingBits{};
      emit(sink);
      state_ = State::kHunt;
    }
  } else {
    fail(err::kMalformedCommand, "plane header holds something other than numbers");
    pending_ = PendingBits{};
    if (b == kEsc) {
      cur_.length = offset_ - 1 - cur_.offset;
      emit(sink);
      startCommand();
    } else {
      emit(sink);
      if (b != kCr) state_ = State::kHunt;
    }
  }
}

void StreamParser::planeRleByte(uint8_t b) {
  ++cur_.dataBytes;
  if (runPending_) {
    runPending_ = false;
    if (b > 31) fail(err::kBadImageData, "dot value above 31");
    for (int k = 0; k < runLength_; ++k) putPlaneValue(b);
  } else if (b & 0x80) {
    runLength_ = b & 0x7F;
    runPending_ = true;
    if (runLength_ == 0) fail(err::kBadImageData, "run of no dots");
  } else {
    if (b > 31) fail(err::kBadImageData, "dot value above 31");
    putPlaneValue(b);
  }
  if (!runPending_ && units_ >= limit_) endData();
}

void StreamParser::bitsByte(uint8_t b) {
  ++cur_.dataBytes;
  if (escaped_) {
    escaped_ = false;
    if (b != kBitEscape) fail(err::kBadImageData, "\"[\" not doubled in bit image");
    putBitByte(b);
  } else if (b == kBitEscape) {
    escaped_ = true;
  } else {
    putBitByte(b);
  }
  if (!escaped_ && units_ >= limit_) endData();
}

void StreamParser::bitsRleByte(uint8_t b) {
  ++cur_.dataBytes;
  bool unit = false;
  uint8_t value = 0;
  if (escaped_) {
    escaped_ = false;
    if (b != kBitEscape) fail(err::kBadImageData, "\"[\" not doubled in bit image");
    unit = true;
    value = b;
  } else if (runPending_ || rleCount_ > 0) {
    if (b == kBitEscape) {
      escaped_ = true;
    } else {
      unit = true;
      value = b;
    }
  } else if (b & 0x80) {
    runLength_ = b & 0x7F;
    runPending_ = true;
    if (runLength_ < 2) fail(err::kBadImageData, "run shorter than 2 bytes");
  } else {
    rleCount_ = b & 0x1F;
    if (rleCount_ == 0 || (b & 0x60)) fail(err::kBadImageData, "bad literal group count");
  }
  if (unit) {
    if (runPending_) {
      runPending_ = false;
      for (int k = 0; k < runLength_; ++k) putBitByte(value);
    } else {
      --rleCount_;
      putBitByte(value);
    }
  }
  if (!escaped_ && !runPending_ && rleCount_ == 0 && units_ >= limit_) endData();
}

void StreamParser::fwSizeByte(uint8_t b) {
  ++cur_.dataBytes;
  fwSize_ = (fwSize_ << 8) | b;
  if (++fwSizeBytes_ == 4) {
    cur_.declaredSize = fwSize_;
    if (fwSize_ > kMaxFirmware) {
      fail(err::kFlash, "firmware image larger than 16 MiB");
      keep_ = false;
    } else {
      work_.reserve(std::min<uint32_t>(fwSize_, 1u << 20));  // grows as the body really comes
    }
    units_ = 0;
    state_ = fwSize_ == 0 ? State::kFwEnd : State::kFwBody;
  }
}

size_t StreamParser::feedFwBody(const uint8_t *p, size_t n) {
  const size_t take = std::min<size_t>(n, fwSize_ - units_);
  if (keep_) work_.insert(work_.end(), p, p + take);
  // Summed as it arrives, so that a cut or refused frame has its checksum too.
  fwCrc_ = crc32Update(fwCrc_, p, take);
  cur_.fwCrc32 = ~fwCrc_;
  offset_ += take;
  units_ += static_cast<uint32_t>(take);
  cur_.fwContentBytes = units_;
  cur_.dataBytes += take;
  if (units_ == fwSize_) state_ = State::kFwEnd;
  return take;
}

void StreamParser::fwEndByte(uint8_t b, const Sink &sink) {
  ++cur_.dataBytes;
  cur_.fwEndMarker = b == 0xFF;
  if (b != 0xFF) {
    fail(err::kFlash, "firmware image without its 0xFF end marker");
    if (b == kCr) {
      emit(sink);
      return;
    }
  }
  state_ = State::kTrailer;
}

void StreamParser::trailerByte(uint8_t b, const Sink &sink) {
  if (b == kCr) {
    emit(sink);
  } else {
    fail(cur_.block == BlockKind::kFirmware ? err::kFlash : err::kBadImageData, "data not followed by CR");
    ++cur_.dataBytes;
  }
}

size_t StreamParser::feed(const uint8_t *bytes, size_t count, const Sink &sink, const std::function<bool()> &stop) {
  size_t i = 0;
  while (i < count) {
    if ((state_ == State::kIdle || emitted_) && stop && stop()) break;
    emitted_ = false;
    if (state_ == State::kPlane) {
      const size_t used = feedPlane(bytes + i, count - i);
      i += used;
      offset_ += used;
      cur_.dataBytes += used;
      continue;
    }
    const uint8_t b = bytes[i++];
    ++offset_;
    switch (state_) {
      case State::kIdle: idleByte(b); break;
      case State::kHunt: huntByte(b, sink); break;
      case State::kCommand: commandByte(b, sink); break;
      case State::kSkipToCr: skipToCrByte(b, sink); break;
      case State::kGsHeader: gsHeaderByte(b, sink); break;
      case State::kPlaneRle: planeRleByte(b); break;
      case State::kBits: bitsByte(b); break;
      case State::kBitsRle: bitsRleByte(b); break;
      case State::kFwSize: fwSizeByte(b); break;
      case State::kFwBody:
        // Take the rest of the body at once.
        --i;
        --offset_;
        i += feedFwBody(bytes + i, count - i);
        break;
      case State::kFwEnd: fwEndByte(b, sink); break;
      case State::kTrailer: trailerByte(b, sink); break;
      case State::kPlane: break;  // handled above
    }
  }
  return i;
}

void StreamParser::finish(const Sink &sink) {
  switch (state_) {
    case State::kIdle: return;
    case State::kHunt:
      if (cur_.stray) emit(sink);
      state_ = State::kIdle;
      return;
    case State::kCommand:
    case State::kSkipToCr:
    case State::kGsHeader: fail(err::kMalformedCommand, "cut by the end of the input"); break;
    default:
      fail(cur_.block == BlockKind::kFirmware ? err::kFlash : err::kBadImageData, "data cut by the end of the input");
      break;
  }
  pending_ = PendingBits{};
  emit(sink);
}

}  // namespace cardemu
