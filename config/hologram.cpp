#include "config/hologram.h"

#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#include "shared/status_commands.h"

namespace card {

namespace {

// Transposes an 8 x 8 bit block: in, byte k is row k with column 0 in its top
// bit; out, byte j is column j with row 0 in its top bit.  Three exchange
// steps of 1, 2 and 4 bits instead of 64 single-bit moves.
inline uint64_t transpose8(uint64_t x) {
  uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
  x = x ^ t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
  x = x ^ t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
  return x ^ t ^ (t << 28);
}

// The eight lines of one byte column of the picture (lines for the masks
// 0x01, 0x02 ... 0x80, that is from its rightmost dot leftwards), 80 bytes
// each, into block[8][80].
void columnLines(const uint8_t *picture, size_t byteColumn, uint8_t (*block)[kHologramLineBytes]) {
  for (size_t r = 0; r < kHologramLineBytes; ++r) {
    const uint8_t *src = picture + r * 8 * kHologramRowBytes + byteColumn;
    uint64_t x = 0;
    for (size_t k = 0; k < 8; ++k) x = (x << 8) | src[k * kHologramRowBytes];
    const uint64_t t = transpose8(x);
    // Column j of the block (top bit of the byte = mask 0x80) is byte 7 - j of
    // t; the line for mask 0x01 << m is column 7 - m, found in byte m.
    for (size_t m = 0; m < 8; ++m) block[m][r] = static_cast<uint8_t>(t >> (8 * m));
  }
}

inline uint8_t reverseBits(uint8_t b) {
  b = static_cast<uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
  b = static_cast<uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
  return static_cast<uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

bool writeText(const HologramSink &sink, std::string_view text) {
  return sink(reinterpret_cast<const uint8_t *>(text.data()), text.size());
}

// The held buffer cannot overflow: it is handed over whenever a literal group
// fills up and, once kEmptyAt bytes are held, after every run.  Between two of
// those points at most one shorter literal group (count byte and 30 bytes) and
// one run packet are added, and the end of an image adds one packet more.
static_assert(HologramRunEncoder::kEmptyAt + (1 + kHologramLiteralMax) + 2 + 2 <= HologramRunEncoder::kBufferBytes);

}  // namespace

HologramRunEncoder::HologramRunEncoder(HologramSink sink)
    : sink_(std::move(sink)), buffer_(kBufferBytes), escaped_(2 * kBufferBytes) {}

void HologramRunEncoder::reset() {
  out_ = 0;
  header_ = 0;
  pending_ = 0;
  runCount_ = 0;
  state_ = State::kIdle;
  failed_ = false;
  packetBytes_ = 0;
}

bool HologramRunEncoder::empty() {
  if (failed_) return false;
  size_t n = 0;
  for (size_t i = 0; i < out_; ++i) {
    const uint8_t b = buffer_[i];
    escaped_[n++] = b;
    if (b == kDataEscape) escaped_[n++] = b;
  }
  out_ = 0;
  header_ = 0;
  if (n > 0 && !sink_(escaped_.data(), n)) failed_ = true;
  return !failed_;
}

// A run's packet has just been written: hand the buffer over when it has
// grown large, so that one write to the printer stays a moderate size.
void HologramRunEncoder::endRun() {
  if (out_ >= kEmptyAt) empty();
}

bool HologramRunEncoder::put(uint8_t b) {
  if (failed_) return false;
  switch (state_) {
    case State::kIdle:
      pending_ = b;
      runCount_ = 0;
      header_ = out_;
      state_ = State::kOnePending;
      break;

    case State::kOnePending:
      if (b == pending_) {
        runCount_ = 2;
        state_ = State::kInRun;
      } else {
        // A literal group opens with its count byte reserved; the count
        // includes the new pending byte, which may still leave the group.
        header_ = out_;
        write(0);
        write(pending_);
        buffer_[header_] = 2;
        pending_ = b;
        state_ = State::kInLiteral;
      }
      break;

    case State::kInRun:
      if (b == pending_) {
        if (++runCount_ == kHologramRunMax) {
          write(static_cast<uint8_t>(kHologramRunFlag + kHologramRunMax));
          write(pending_);
          endRun();
          state_ = State::kIdle;
        }
      } else {
        write(static_cast<uint8_t>(kHologramRunFlag + runCount_));
        write(pending_);
        endRun();
        pending_ = b;
        state_ = State::kOnePending;
      }
      break;

    case State::kInLiteral:
      if (b == pending_) {
        // The pending byte leaves the group and starts a run with b.
        --buffer_[header_];
        runCount_ = 2;
        state_ = State::kInRun;
      } else {
        write(pending_);
        ++buffer_[header_];
        pending_ = b;
        if (buffer_[header_] == kHologramLiteralMax) {
          write(pending_);
          empty();
          state_ = State::kIdle;
        }
      }
      break;
  }
  return !failed_;
}

bool HologramRunEncoder::put(const uint8_t *bytes, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (!put(bytes[i])) return false;
  return !failed_;
}

bool HologramRunEncoder::finish() {
  if (failed_) return false;
  switch (state_) {
    case State::kIdle: break;
    case State::kOnePending:
      write(1);
      write(pending_);
      break;
    case State::kInRun:
      write(static_cast<uint8_t>(kHologramRunFlag + runCount_));
      write(pending_);
      break;
    case State::kInLiteral: write(pending_); break;
  }
  state_ = State::kIdle;
  return empty();
}

bool hologramLinesFromPicture(const uint8_t *picture, size_t pictureSize, uint8_t *lines, size_t linesSize) {
  if (!picture || !lines || pictureSize != kHologramPictureBytes || linesSize != kHologramStreamBytes) return false;
  for (size_t c = 0; c < kHologramRowBytes; ++c) {
    // Byte column 127 gives lines 0 to 7, column 0 the last eight.
    auto *block =
        reinterpret_cast<uint8_t(*)[kHologramLineBytes]>(lines + (kHologramRowBytes - 1 - c) * 8 * kHologramLineBytes);
    columnLines(picture, c, block);
  }
  return true;
}

bool rotateHologramPicture180(uint8_t *picture, size_t pictureSize) {
  if (!picture || pictureSize != kHologramPictureBytes) return false;
  // Rows are whole bytes wide, so the turn is the byte order reversed over
  // the whole picture and the bit order reversed in every byte.
  for (size_t i = 0, j = kHologramPictureBytes - 1; i < j; ++i, --j) {
    const uint8_t a = reverseBits(picture[i]);
    picture[i] = reverseBits(picture[j]);
    picture[j] = a;
  }
  return true;
}

bool writeHologramImage(const uint8_t *picture, size_t pictureSize, const HologramSink &sink) {
  if (!picture || pictureSize != kHologramPictureBytes || !sink) return false;
  if (!sink(reinterpret_cast<const uint8_t *>(kHologramImageHeader), kHologramImageHeaderLength)) return false;
  HologramRunEncoder encoder(sink);
  // One byte column at a time: its eight lines are made together and fed in
  // send order; runs and literal groups carry on across line ends.
  uint8_t block[8][kHologramLineBytes];
  for (size_t c = kHologramRowBytes; c-- > 0;) {
    columnLines(picture, c, block);
    if (!encoder.put(&block[0][0], sizeof block)) return false;
  }
  if (!encoder.finish()) return false;
  return sink(&kCr, 1);
}

bool encodeHologramImage(const uint8_t *picture, size_t pictureSize, std::vector<uint8_t> *out) {
  if (!out) return false;
  const size_t start = out->size();
  const bool ok = writeHologramImage(picture, pictureSize, [out](const uint8_t *bytes, size_t count) {
    out->insert(out->end(), bytes, bytes + count);
    return true;
  });
  if (!ok) out->resize(start);
  return ok;
}

bool writeHologramBitmapJob(const uint8_t *picture, size_t pictureSize, uint8_t contrast, bool twoSided, int copies,
                            const HologramSink &sink) {
  if (!picture || pictureSize != kHologramPictureBytes || !sink || copies > kHologramMaxCopies) return false;
  char contrastCommand[16];
  std::snprintf(contrastCommand, sizeof contrastCommand, "\x1b+CH %d\r", static_cast<int>(contrast));
  if (!writeText(sink, contrastCommand) || !writeText(sink, status::kCmdMaster)) return false;
  if (!writeHologramImage(picture, pictureSize, sink) || !writeText(sink, status::kCmdPrintHologram)) return false;
  if (twoSided) {
    // The back gets the same picture, encoded afresh from an empty buffer.
    if (!writeText(sink, status::kCmdFlip) || !writeHologramImage(picture, pictureSize, sink) ||
        !writeText(sink, status::kCmdPrintHologram))
      return false;
  }
  if (!writeText(sink, status::kCmdEject)) return false;
  // Further cards print the image the printer still holds.
  for (int copy = 1; copy < copies; ++copy) {
    if (!writeText(sink, status::kCmdPrintHologram)) return false;
    if (twoSided && (!writeText(sink, status::kCmdFlip) || !writeText(sink, status::kCmdPrintHologram))) return false;
    if (!writeText(sink, status::kCmdEject)) return false;
  }
  return true;
}

}  // namespace card
