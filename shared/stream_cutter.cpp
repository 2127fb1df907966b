// Cutting the job stream into whole commands and data-block slices.
#include "shared/stream_cutter.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "shared/status_protocol.h"

namespace card::pacing {

namespace {

const uint8_t *find(const uint8_t *p, size_t n, uint8_t b) {
  return n ? static_cast<const uint8_t *>(std::memchr(p, b, n)) : nullptr;
}

bool startsGs(const uint8_t *p, size_t n) { return n >= 4 && p[1] == 'G' && p[2] == 'S' && p[3] == ' '; }
bool startsDc(const uint8_t *p, size_t n) { return n >= 4 && p[1] == 'D' && p[2] == 'C' && p[3] == ' '; }

// The image size in a firmware frame's header, most significant byte first.
uint32_t firmwareSize(const uint8_t *header) {
  return uint32_t(header[4]) << 24 | uint32_t(header[5]) << 16 | uint32_t(header[6]) << 8 | header[7];
}

// A "\eGS " header: the blank that opens the seventh group of blanks (counting
// the one after "GS") ends it.  Ending at the first blank of that group, not
// after the whole group, keeps a data byte 0x20 right after the header in the
// data.  A CR before that ends the command there, as an ordinary command: the
// printer reads it so, and without it a broken header would take the commands
// after it into itself until it is dropped as too long.
size_t gsCommandLength(const uint8_t *p, size_t n) {
  int groups = 0;
  bool inBlanks = false;
  for (size_t i = 3; i < n; ++i) {
    if (p[i] == kCr) return i + 1;
    bool blank = p[i] == ' ';
    if (blank && !inBlanks && ++groups == 7) return i + 1;
    inBlanks = blank;
  }
  return 0;
}

// Whether a whole command (as commandLength cut it) opens a data block: "\eZ",
// a firmware frame's header, or a "\eGS " that ended with its header's blank
// rather than with a CR.
bool opensBlock(const uint8_t *cmd, size_t length) {
  return (length == 2 && cmd[1] == 'Z') || startsDc(cmd, length) || (startsGs(cmd, length) && cmd[length - 1] == ' ');
}

BlockMode modeOpenedBy(const uint8_t *cmd) {
  return cmd[1] == 'G' ? BlockMode::FullCount : cmd[1] == 'D' ? BlockMode::Firmware : BlockMode::Bits;
}

// How many units complete the current block's count.
uint32_t blockLimit(const PacingState &s) {
  switch (s.mode) {
    case BlockMode::Bits: return kBitmapBytes;
    case BlockMode::Firmware: return s.firmwareBytes;
    case BlockMode::FullCount: return s.plainCount ? kPlaneBytes : kPlaneValues;
    case BlockMode::None: break;
  }
  return 0;
}

bool hasField30(const uint8_t *p, size_t n) {
  return std::string_view(reinterpret_cast<const char *>(p), n).find(" 30 ") != std::string_view::npos;
}

bool countComplete(const PacingState &s, uint32_t limit) {
  return s.units >= limit && !s.escapeOpen && !s.valueOwed && s.literalsOwed == 0;
}

// Plain bytes (a packed plane, a firmware image): counted, not read.
size_t countPlainBytes(PacingState &s, uint32_t limit, size_t size) {
  size_t take = std::min<size_t>(size, limit - s.units);
  s.units += static_cast<uint32_t>(take);
  return take;
}

size_t countFullValues(PacingState &s, uint32_t limit, const uint8_t *data, size_t size) {
  size_t i = 0;
  for (; i < size && !countComplete(s, limit); ++i) {
    uint8_t b = data[i];
    if (s.valueOwed) {
      s.valueOwed = false;
    } else if (b & 0x80) {
      s.units += b & 0x7Fu;
      s.valueOwed = true;
    } else {
      s.units += 1;
    }
  }
  return i;
}

// Plain bits: whole stretches without "[" pass at once.
size_t countPlainBits(PacingState &s, uint32_t limit, const uint8_t *data, size_t size) {
  size_t i = 0;
  while (i < size && !countComplete(s, limit)) {
    if (s.escapeOpen) {
      s.escapeOpen = false;
      ++i;
      continue;
    }
    size_t span = std::min<size_t>(size - i, limit - s.units);
    const uint8_t *esc = find(data + i, span, kDataEscape);
    size_t plain = esc ? static_cast<size_t>(esc - (data + i)) : span;
    s.units += static_cast<uint32_t>(plain);
    i += plain;
    if (esc) {
      s.units += 1;
      s.escapeOpen = true;
      ++i;
    }
  }
  return i;
}

// Run-length bits: a control byte, then its units; a unit is one byte
// or "[" and the byte after it.
size_t countRunLengthBits(PacingState &s, uint32_t limit, const uint8_t *data, size_t size) {
  size_t i = 0;
  for (; i < size && !countComplete(s, limit); ++i) {
    uint8_t b = data[i];
    if (s.escapeOpen) {
      s.escapeOpen = false;
    } else if (s.literalsOwed) {
      --s.literalsOwed;
      s.escapeOpen = b == kDataEscape;
    } else if (b & 0x80) {
      s.units += b & 0x7Fu;
      s.literalsOwed = 1;  // the value unit
    } else {
      s.units += b & 0x1Fu;
      s.literalsOwed = b & 0x1Fu;
    }
  }
  return i;
}

// Counts the block's units in the bytes at `data`; returns how many bytes it passed.
size_t countBlockUnits(PacingState &s, uint32_t limit, const uint8_t *data, size_t size) {
  if (s.mode != BlockMode::Bits && s.plainCount) return countPlainBytes(s, limit, size);
  if (s.mode == BlockMode::FullCount) return countFullValues(s, limit, data, size);
  if (s.plainCount) return countPlainBits(s, limit, data, size);
  return countRunLengthBits(s, limit, data, size);
}

}  // namespace

size_t commandLength(const uint8_t *p, size_t n) {
  // Whatever the bytes after them, a length once found stays the same when
  // more bytes come: held bytes never hold a whole command, so completing one
  // always takes at least one byte of the next buffer.  "\eG" and "\eGS" may
  // still turn into a header, and hold no CR yet: the ordinary rule answers 0
  // for them.
  if (n < 2) return 0;
  if (p[1] == 'Z') return 2;
  // The size bytes are binary: a CR or ESC among them belongs to the header.
  if (startsDc(p, n)) return n >= kFirmwareHeaderBytes ? kFirmwareHeaderBytes : 0;
  if (startsGs(p, n)) return gsCommandLength(p, n);
  const uint8_t *cr = find(p + 1, n - 1, kCr);
  return cr ? static_cast<size_t>(cr - p) + 1 : 0;
}

Cut StreamCutter::next(const uint8_t *data, size_t size) {
  saved_ = state_;
  size = std::min(size, kMaxPieceBytes);
  if (size == 0 || data == nullptr) return Cut{};
  if (state_.mode != BlockMode::None) return nextBlockSlice(data, size);
  if (state_.heldLength) return nextWithHeld(data, size);
  if (data[0] != kEsc) {
    // Bytes outside any command are never written.  They are consumed, so
    // that the spooler is not offered the same bytes over and over.
    const uint8_t *esc = find(data, size, kEsc);
    Cut c;
    c.kind = CutKind::Dropped;
    c.dropped = DropReason::Stray;
    c.consumed = c.droppedBytes = esc ? static_cast<size_t>(esc - data) : size;
    return c;
  }
  return nextAtCommand(data, size);
}

Cut StreamCutter::nextAtCommand(const uint8_t *data, size_t size) {
  if (size_t len = commandLength(data, size)) return complete(data, len, len);
  Cut c;
  c.consumed = size;
  if (size >= kMaxCommandBytes) {
    c.kind = CutKind::Dropped;
    c.dropped = DropReason::TooLong;
    c.droppedBytes = size;
    return c;
  }
  // The bytes are taken (and reported consumed) now, so that the spooler's
  // next offer starts after them and nothing is held twice.
  std::memcpy(held_, data, size);
  state_.heldLength = size;
  c.kind = CutKind::Held;
  return c;
}

Cut StreamCutter::nextWithHeld(const uint8_t *data, size_t size) {
  size_t had = state_.heldLength;
  size_t take = std::min(size, kMaxCommandBytes - had);
  // Appending beyond heldLength leaves the held bytes themselves untouched, so
  // undo() only needs the old length back.
  std::memcpy(held_ + had, data, take);
  size_t len = commandLength(held_, had + take);
  if (len) {
    state_.heldLength = 0;
    return complete(held_, len, len - had);
  }
  Cut c;
  c.consumed = take;
  if (had + take >= kMaxCommandBytes) {
    state_.heldLength = 0;
    c.kind = CutKind::Dropped;
    c.dropped = DropReason::TooLong;
    c.droppedBytes = had + take;
    return c;
  }
  state_.heldLength = had + take;
  c.kind = CutKind::Held;
  return c;
}

Cut StreamCutter::complete(const uint8_t *cmd, size_t length, size_t consumed) {
  Cut c;
  c.kind = CutKind::Command;
  c.consumed = consumed;
  c.piece = cmd;
  c.pieceLength = length;
  if (opensBlock(cmd, length)) {
    state_.mode = modeOpenedBy(cmd);
    // The flag set by a bitmap header is used up by the block that follows it.
    // A firmware image is never run-length coded.
    const bool gs = state_.mode == BlockMode::FullCount;
    state_.plainCount = state_.rawCount || (gs && !hasField30(cmd, length)) || state_.mode == BlockMode::Firmware;
    state_.rawCount = false;
    state_.firmwareBytes = state_.mode == BlockMode::Firmware ? firmwareSize(cmd) : 0;
    state_.countDone = state_.escapeOpen = state_.valueOwed = false;
    state_.units = state_.literalsOwed = 0;
    state_.lastCategory = CommandCategory::DataBlock;
    c.category = CommandCategory::DataBlock;
    c.opensBlock = true;
    return c;
  }
  // A "\eGS " cut short by a CR opens no block, so the data-block category
  // does not fit it; it takes the category the rest of the table gives.  Read
  // without its leading ESC it no longer looks like a header, and no other
  // category's text can match at its start ("GS" follows that ESC).
  status::CommandClass cls =
      startsGs(cmd, length) ? status::classifyCommand(cmd + 1, length - 1) : status::classifyCommand(cmd, length);
  if (cls.rawCount) state_.rawCount = true;
  state_.lastCategory = cls.category;
  c.category = cls.category;
  c.checkAfter = true;
  c.pauseMs = status::pauseAfter(cls.category);
  return c;
}

Cut StreamCutter::nextBlockSlice(const uint8_t *data, size_t size) {
  PacingState &s = state_;
  const uint32_t limit = blockLimit(s);
  const uint32_t before = s.units;
  size_t i = 0;

  if (!s.countDone) {
    i = countBlockUnits(s, limit, data, size);
    s.countDone = countComplete(s, limit);
  }

  Cut c;
  c.kind = CutKind::Data;
  c.category = CommandCategory::DataBlock;
  if (s.countDone && i < size) {
    const uint8_t *cr = find(data + i, size - i, kCr);
    if (cr) {
      i = static_cast<size_t>(cr - data) + 1;
      c.endsBlock = true;
      s.mode = BlockMode::None;
      c.checkAfter = true;
      c.pauseMs = status::pauseAfter(CommandCategory::DataBlock);
    } else {
      i = size;
    }
  }
  c.consumed = i;
  c.piece = data;
  c.pieceLength = i;
  c.units = s.units - before;
  return c;
}

}  // namespace card::pacing
