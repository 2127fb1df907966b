// The stream cutter fed one stream twice: as one spooler buffer, and in
// buffers of random sizes with write failures (Undo, then the spooler offers
// the unconsumed bytes again).  Both feedings must give the same commands,
// blocks and dropped bytes, the same state at the end, and every call must
// consume at least one byte.  Each call is also checked against what the
// cutter promises its caller: pieces that are the stream's own bytes, whole
// commands, block ends at a CR, pauses by category, every consumed byte
// either written, dropped or held.  Used by the libFuzzer target and by the
// repeatable random test of the normal suite.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "shared/status_protocol.h"
#include "shared/stream_cutter.h"

namespace card::pacing::check {

// What the cutter made of a stream, merged so that the buffer boundaries do
// not show: one entry per command, one per data block (its slices joined),
// one per stretch of bytes dropped for one reason.
struct Event {
  CutKind kind = CutKind::Nothing;
  std::string bytes;  // Command, Data
  CommandCategory category = CommandCategory::None;
  bool opensBlock = false;
  bool endsBlock = false;
  bool checkAfter = false;
  uint32_t pauseMs = 0;
  uint32_t units = 0;
  DropReason dropped = DropReason::None;
  size_t droppedBytes = 0;
  bool operator==(const Event &) const = default;
};

struct Record {
  std::vector<Event> events;
  PacingState end;
  size_t calls = 0;
  size_t undos = 0;
};

// How a stream is cut: the low three bits of `style` pick the largest buffer,
// the next two how often a write fails, bit 5 whether a failed write is
// offered again with the same bytes (and must give the same cut) or with a
// buffer of another size.
struct Cutting {
  uint8_t style = 0;
  uint64_t randomStart = 0;
};

inline bool sameState(const PacingState &a, const PacingState &b) {
  return a.mode == b.mode && a.plainCount == b.plainCount && a.countDone == b.countDone &&
         a.escapeOpen == b.escapeOpen && a.valueOwed == b.valueOwed && a.units == b.units &&
         a.literalsOwed == b.literalsOwed && a.rawCount == b.rawCount && a.lastCategory == b.lastCategory &&
         a.heldLength == b.heldLength && a.firmwareBytes == b.firmwareBytes;
}

inline bool sameCut(const Cut &a, const Cut &b) {
  return a.kind == b.kind && a.consumed == b.consumed && a.pieceLength == b.pieceLength &&
         (a.pieceLength == 0 || std::memcmp(a.piece, b.piece, a.pieceLength) == 0) && a.category == b.category &&
         a.opensBlock == b.opensBlock && a.endsBlock == b.endsBlock && a.units == b.units && a.dropped == b.dropped &&
         a.droppedBytes == b.droppedBytes && a.checkAfter == b.checkAfter && a.pauseMs == b.pauseMs;
}

class Random {
 public:
  explicit Random(uint64_t start) : s_(start) {}
  uint64_t next() {  // splitmix64
    uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  size_t below(size_t n) { return n ? static_cast<size_t>(next() % n) : 0; }

 private:
  uint64_t s_;
};

// Checks one cut of the call at `at` (the stream's bytes [at, end) offered)
// against the cutter's promises; `inside` is whether a block was open before
// the call.  Returns the broken promise, or nullptr.
inline const char *checkCut(const Cut &c, const uint8_t *stream, size_t at, size_t end, bool inside,
                            const StreamCutter &cutter) {
  const size_t window = end - at < kMaxPieceBytes ? end - at : kMaxPieceBytes;
  if (c.kind == CutKind::Nothing) return "nothing cut from a non-empty buffer";
  if (c.consumed < 1) return "a call consumed nothing";
  if (c.consumed > window) return "consumed more than offered";
  if (c.pieceLength > kMaxPieceBytes) return "piece longer than the largest write";
  bool written = c.kind == CutKind::Command || c.kind == CutKind::Data;
  if (written != (c.pieceLength > 0)) return "piece present for a cut that writes nothing, or missing";
  if (inside != (c.kind == CutKind::Data)) return "data outside a block or a command inside one";
  if (written) {
    // The piece is the stream's own bytes ending where this call stopped:
    // held bytes are the ones just before this buffer.
    if (c.pieceLength < c.consumed || c.pieceLength - c.consumed > at) return "piece and consumed disagree";
    if (std::memcmp(c.piece, stream + at + c.consumed - c.pieceLength, c.pieceLength) != 0)
      return "piece differs from the stream";
  }
  switch (c.kind) {
    case CutKind::Command: {
      const uint8_t *p = c.piece;
      size_t n = c.pieceLength;
      if (p[0] != kEsc) return "command without ESC";
      bool bits = n == 2 && p[1] == 'Z';
      bool gs = n >= 4 && p[1] == 'G' && p[2] == 'S' && p[3] == ' ';
      bool firmware = n == kFirmwareHeaderBytes && p[1] == 'D' && p[2] == 'C' && p[3] == ' ';
      bool header = bits || firmware || (gs && p[n - 1] == ' ');
      if (!header && p[n - 1] != kCr) return "command not ended by its CR";
      if (!header && n > 2 && std::memchr(p + 1, kCr, n - 2)) return "command runs past its first CR";
      if (c.opensBlock != header) return "block header not recognised";
      if (header != (c.category == CommandCategory::DataBlock)) return "data-block category without a block";
      if (c.checkAfter == header) return "check after a header, or none after a command";
      if (c.checkAfter && c.pauseMs != status::pauseAfter(c.category)) return "pause not by category";
      if (commandLength(p, n) != n || commandLength(p, n - 1) != 0) return "command length not stable";
      if (cutter.insideBlock() != header) return "block state after a command";
      break;
    }
    case CutKind::Data:
      if (c.piece != stream + at || c.pieceLength != c.consumed) return "data slice not in place";
      if (c.category != CommandCategory::DataBlock) return "data slice category";
      if (c.endsBlock != c.checkAfter) return "block end and check disagree";
      if (c.endsBlock && (c.piece[c.pieceLength - 1] != kCr || cutter.insideBlock())) return "block not ended by a CR";
      if (!c.endsBlock && !cutter.insideBlock()) return "block left without an end";
      if (c.endsBlock && c.pauseMs != status::pauseAfter(CommandCategory::DataBlock)) return "block-end pause";
      break;
    case CutKind::Held:
      if (c.consumed != window || cutter.state().heldLength == 0) return "held with bytes left unread";
      break;
    case CutKind::Dropped:
      if (c.droppedBytes < c.consumed) return "dropped fewer bytes than consumed";
      if (c.dropped == DropReason::Stray &&
          (c.droppedBytes != c.consumed || std::memchr(stream + at, kEsc, c.consumed)))
        return "stray bytes hold a command";
      if (c.dropped == DropReason::TooLong && c.droppedBytes != kMaxCommandBytes) return "too long at another length";
      if (c.dropped == DropReason::None) return "dropped without a reason";
      break;
    case CutKind::Nothing: break;
  }
  return nullptr;
}

inline void merge(std::vector<Event> *events, const Cut &c) {
  Event *last = events->empty() ? nullptr : &events->back();
  switch (c.kind) {
    case CutKind::Command:
    case CutKind::Data: {
      if (c.kind == CutKind::Data && last && last->kind == CutKind::Data && !last->endsBlock) {
        last->bytes.append(reinterpret_cast<const char *>(c.piece), c.pieceLength);
      } else {
        events->push_back({});
        last = &events->back();
        last->kind = c.kind;
        last->bytes.assign(reinterpret_cast<const char *>(c.piece), c.pieceLength);
        last->category = c.category;
        last->opensBlock = c.opensBlock;
      }
      last->units += c.units;
      last->endsBlock = c.endsBlock;
      last->checkAfter = c.checkAfter;
      last->pauseMs = c.pauseMs;
      break;
    }
    case CutKind::Dropped:
      if (!last || last->kind != CutKind::Dropped || last->dropped != c.dropped) {
        events->push_back({});
        last = &events->back();
        last->kind = CutKind::Dropped;
        last->dropped = c.dropped;
      }
      last->droppedBytes += c.droppedBytes;
      break;
    case CutKind::Held:
    case CutKind::Nothing: break;
  }
}

// Feeds the stream in one buffer (cutting null) or cut as `cutting` says.
inline const char *feed(const uint8_t *stream, size_t size, const Cutting *cutting, Record *out, size_t *where) {
  static const size_t kLargest[8] = {1, 2, 7, 64, 4095, 4097, 65536, 0};
  static const size_t kFailEvery[4] = {0, 16, 4, 2};
  Random rng(cutting ? cutting->randomStart : 0);
  size_t largest = cutting ? kLargest[cutting->style & 7] : size;
  size_t failEvery = cutting ? kFailEvery[(cutting->style >> 3) & 3] : 0;
  bool sameAgain = cutting && (cutting->style & 0x20) != 0;
  auto bufferSize = [&]() -> size_t {
    if (largest) return 1 + rng.below(largest);
    return 1 + rng.below(rng.below(2) ? 9000 : 40);  // mixed: tiny and large
  };

  StreamCutter cutter;
  size_t accounted = 0;  // bytes written, dropped, or held so far
  size_t at = 0;
  *out = Record{};
  while (at < size) {
    size_t end = cutting ? at + bufferSize() : size;
    if (end > size) end = size;
    while (at < end) {
      if (where) *where = at;
      PacingState before = cutter.state();
      bool inside = cutter.insideBlock();
      Cut c = cutter.next(stream + at, end - at);
      ++out->calls;
      if (const char *broken = checkCut(c, stream, at, end, inside, cutter)) return broken;
      if (failEvery && rng.below(failEvery) == 0) {
        // The write failed: the state goes back and the spooler offers the
        // unconsumed bytes again.
        ++out->undos;
        cutter.undo();
        if (!sameState(cutter.state(), before)) return "undo did not restore the state";
        if (sameAgain) {
          Cut again = cutter.next(stream + at, end - at);
          ++out->calls;
          if (!sameCut(again, c)) return "the same bytes offered again gave another cut";
        } else {
          end = at + 1 + rng.below(end - at);
          continue;
        }
      }
      // Held bytes are counted while held; a cut that completes or drops them
      // counts them again in its piece or dropped count.
      accounted += c.pieceLength + c.droppedBytes + cutter.state().heldLength - before.heldLength;
      at += c.consumed;
      if (accounted != at) return "a consumed byte was neither written, dropped nor held";
      merge(&out->events, c);
    }
  }
  out->end = cutter.state();
  return nullptr;
}

// The whole check.  Returns nullptr when every promise holds, else the broken
// one; *where is the stream offset of the call that broke it, *cutFeeding
// what the cut feeding made of the stream.
inline const char *checkStreamCutter(const uint8_t *stream, size_t size, const Cutting &cutting,
                                     size_t *where = nullptr, Record *cutFeeding = nullptr) {
  Record whole, own;
  Record &cut = cutFeeding ? *cutFeeding : own;
  if (const char *broken = feed(stream, size, nullptr, &whole, where)) return broken;
  if (const char *broken = feed(stream, size, &cutting, &cut, where)) return broken;
  if (where) *where = size;
  if (whole.events != cut.events) return "cut feeding gave other pieces than the whole buffer";
  if (!sameState(whole.end, cut.end)) return "cut feeding ended in another state";
  return nullptr;
}

// The fuzzer's input: a style byte, three bytes that start its random cuts, then the stream.
inline const char *checkStreamCutterInput(const uint8_t *data, size_t size, size_t *where = nullptr) {
  if (size < 4) return nullptr;
  Cutting cutting;
  cutting.style = data[0];
  cutting.randomStart = uint64_t(data[1]) | uint64_t(data[2]) << 8 | uint64_t(data[3]) << 16;
  return checkStreamCutter(data + 4, size - 4, cutting, where);
}

}  // namespace card::pacing::check
