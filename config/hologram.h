// The hologram picture as the printer takes it: a 1-bit card picture, sent
// column by column from the card's right edge, run-length encoded, with "["
// doubled on the wire.  This is the pure part: plain buffers in, printer bytes
// out through a sink.  The dialog code stretches the user's bitmap into the
// card picture and hands each piece of output to WritePrinter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "shared/wire_format.h"

namespace card {

// The card picture the encoder takes: 1024 x 640 dots, 1 bit per dot, rows of
// 128 bytes from the top row down, the leftmost dot in a byte's top bit.  Bit
// values go to the printer as they are; the image header tells the printer
// that a 0 bit is the one that prints.
inline constexpr int kHologramWidth = kCardLong;
inline constexpr int kHologramHeight = kCardShort;
inline constexpr size_t kHologramRowBytes = kHologramWidth / 8;                       // 128
inline constexpr size_t kHologramPictureBytes = kHologramRowBytes * kHologramHeight;  // 81920

// The printer's view of the same picture: 1024 lines, one per card column from
// x = 1023 down to x = 0, each line 640 dots from the top row, 8 to a byte,
// the top row in the byte's top bit.
// This is the printer's bit image of the wire format.
inline constexpr int kHologramLines = kCardLong;
inline constexpr size_t kHologramLineBytes = kBitmapLineBytes;  // 80
inline constexpr size_t kHologramStreamBytes = kBitmapBytes;    // 81920

// Written before the encoded data: clear the image memory, announce a
// run-length coded (format 12) bit image of 640 x 1024 in which 0 prints, and
// open the data block.  After the data, one CR (kCr) closes it.
inline constexpr char kHologramImageHeader[] =
    "\x1b"
    "F\r\x1b"
    "G 0 0 12 640 1024 0\r\x1b"
    "Z";
inline constexpr size_t kHologramImageHeaderLength = sizeof(kHologramImageHeader) - 1;  // 26

// Packet limits of the run-length code.  A literal group's first byte is its
// length (1 to 31); a run's first byte is 0x80 plus its length (2 to 127).
inline constexpr uint8_t kHologramLiteralMax = 31;
inline constexpr uint8_t kHologramRunMin = 2;
inline constexpr uint8_t kHologramRunMax = 127;
inline constexpr uint8_t kHologramRunFlag = 0x80;

// kDataEscape ("[") is the printer's escape inside bit data, so every data
// byte of that value is sent twice.  No packet count byte can take it
// (kHologramLiteralMax < kDataEscape < kHologramRunFlag + kHologramRunMin).
static_assert(kHologramLiteralMax < kDataEscape && kDataEscape < kHologramRunFlag + kHologramRunMin);

// The dialog refuses more copies than this before anything is built.
inline constexpr int kHologramMaxCopies = 1500;

// Takes one piece of printer bytes, in order; false when it could not be
// written (the encoder then stops and reports the failure).
using HologramSink = std::function<bool(const uint8_t *bytes, size_t count)>;

// The run-length encoder of one image.  Bytes go in one at a time in send
// order; packets collect in a held buffer that is handed to the sink (with
// "[" doubled) after a full literal group, after a run once 2000 bytes or more
// are held, and at the end of the image.  Counts of literal groups are
// patched in place while a group grows, so the buffer is never handed over
// while a group is open.
class HologramRunEncoder {
 public:
  static constexpr size_t kBufferBytes = 65536;
  static constexpr size_t kEmptyAt = 2000;  // after a run, hand over once this much is held

  explicit HologramRunEncoder(HologramSink sink);

  // Back to the start of an image: nothing held, idle.  A second image of a
  // job (the other card side) starts here again.
  void reset();

  // Takes the next byte(s) of the image.  False once the sink has failed;
  // nothing more is encoded or written after that.
  bool put(uint8_t b);
  bool put(const uint8_t *bytes, size_t count);

  // Ends the image: the last packet, then everything held goes to the sink.
  // The encoder is idle and empty afterwards.  False when the sink failed.
  bool finish();

  bool failed() const { return failed_; }
  // Bytes of packets written so far in this image, before escaping.
  uint64_t packetBytes() const { return packetBytes_; }

 private:
  enum class State : uint8_t { kIdle = 0, kOnePending = 1, kInRun = 2, kInLiteral = 3 };

  void write(uint8_t b) {
    buffer_[out_++] = b;
    ++packetBytes_;
  }
  void endRun();
  bool empty();

  HologramSink sink_;
  std::vector<uint8_t> buffer_;   // kBufferBytes held packet bytes
  std::vector<uint8_t> escaped_;  // the same with "[" doubled, as handed over
  size_t out_ = 0;                // bytes held
  size_t header_ = 0;             // place of the open literal group's count byte
  uint8_t pending_ = 0;           // last byte taken and not yet written
  uint8_t runCount_ = 0;
  State state_ = State::kIdle;
  bool failed_ = false;
  uint64_t packetBytes_ = 0;
};

// Rearranges the card picture into send order (kHologramStreamBytes bytes:
// line 0 is column x = 1023).  False, with nothing written, when either size
// is wrong or a pointer is null.
bool hologramLinesFromPicture(const uint8_t *picture, size_t pictureSize, uint8_t *lines, size_t linesSize);

// Turns the card picture by 180 degrees in place (both axes mirrored): the
// hologram of a side that prints turned over.  False when the size is wrong.
bool rotateHologramPicture180(uint8_t *picture, size_t pictureSize);

// One hologram image: the header, the encoded picture, the closing CR, each
// handed to the sink (the data in the pieces the encoder empties).  False
// when the picture is not exactly kHologramPictureBytes (nothing is written
// then) or the sink failed.
bool writeHologramImage(const uint8_t *picture, size_t pictureSize, const HologramSink &sink);

// The same image appended to out.
bool encodeHologramImage(const uint8_t *picture, size_t pictureSize, std::vector<uint8_t> *out);

// The whole raw job that prints a bitmap hologram: contrast, job start, the
// image and its print command, the same for the back when two-sided, the
// eject, then one print-and-eject sequence per further copy (the image stays
// in the printer).  copies below 1 prints one card; above kHologramMaxCopies
// nothing is written and the result is false.
bool writeHologramBitmapJob(const uint8_t *picture, size_t pictureSize, uint8_t contrast, bool twoSided, int copies,
                            const HologramSink &sink);

}  // namespace card
