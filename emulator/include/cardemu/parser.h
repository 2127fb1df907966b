// The printer's input stage: cuts the byte stream into commands and decodes
// the image and firmware blocks that follow their headers.  It keeps all of
// its state between calls, so bytes may arrive in pieces of any size, as they
// do from a port, and a piece may end anywhere (inside a command, a header,
// an escaped byte or a run packet).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace cardemu {

enum class BlockKind : uint8_t {
  kNone,
  kPlane,     // "\eGS ..." continuous-tone plane, 5-bit values packed 3 to a word
  kPlaneRle,  // "\eGS ..." whose format field is 30: run-length coded dot values
  kBits,      // "\eZ" after "\eG ..."/"\evG ..." with format 10: plain 1-bit lines
  kBitsRle,   // "\eZ" after a header with format 12: run-length coded 1-bit lines
  kFirmware   // "\eDC " + size + body + 0xFF + CR
};

// Which image a bit block loads.
enum class BitTarget : uint8_t { kNone, kResin, kVarnish };

struct Command {
  uint64_t offset = 0;  // stream offset of its first byte
  uint64_t length = 0;  // bytes it took in the stream, data and terminator included
  std::string text;     // bytes between ESC and CR ("IS 0"); for blocks the header ("GS 0 32 0 0 1024 640", "Z", "DC")
  int error = 0;        // error code found while reading it (0: well formed)
  std::string problem;  // what was wrong, for the listing
  bool stray = false;   // bytes outside any command (text holds up to 16 of them)

  BlockKind block = BlockKind::kNone;
  int plane = -1;  // plane number of a "\eGS" block
  BitTarget target = BitTarget::kNone;
  int polarity = 1;  // bit value that prints in a bit block
  // Decoded payload: planes and bit images as kCardDots values in the card's
  // landscape frame (x + y * kCardWidth; planes 0..31, bit images 0 or 1 with
  // 1 = print); firmware as the body bytes.  Null when the block was refused.
  std::shared_ptr<const std::vector<uint8_t>> data;
  uint32_t declaredSize = 0;    // firmware size field
  uint32_t fwContentBytes = 0;  // firmware content bytes taken
  bool fwEndMarker = false;     // the firmware content was followed by 0xFF
  uint32_t fwCrc32 = 0;         // CRC-32 of the firmware content bytes taken
  uint64_t dataBytes = 0;       // wire bytes of the block between header and terminator
  uint32_t warnings = 0;        // tolerated irregularities (non-zero padding ...)
};

class StreamParser {
 public:
  // Longest command text (between ESC and CR) and longest "\eGS" header the
  // printer takes; longer ones are refused.
  static constexpr size_t kMaxCommandText = 255;
  static constexpr size_t kMaxGsHeader = 64;
  static constexpr uint32_t kMaxFirmware = 16u << 20;

  using Sink = std::function<void(Command &&)>;

  // Takes bytes; each command is handed to sink as soon as its last byte is in.
  // Stops early, right after a complete command (which may have ended with the
  // ESC that begins the next one), when stop() returns true (so that a full
  // receive buffer pushes back); returns the bytes consumed.
  size_t feed(const uint8_t *bytes, size_t count, const Sink &sink, const std::function<bool()> &stop = {});

  // End of input: an unfinished command or block is handed over, marked as cut.
  void finish(const Sink &sink);

  // Back to waiting for a command, dropping anything half read (a soft reset
  // of the interface).
  void reset();

  uint64_t offset() const { return offset_; }
  bool insideBlock() const;
  // Past the "\eDC " of a firmware frame and not yet through its CR.
  bool insideFirmware() const;

 private:
  enum class State : uint8_t {
    kIdle,
    kCommand,
    kSkipToCr,
    kGsHeader,
    kPlane,
    kPlaneRle,
    kBits,
    kBitsRle,
    kFwSize,
    kFwBody,
    kFwEnd,
    kTrailer,
    kHunt
  };
  struct PendingBits {
    bool present = false;
    bool valid = false;
    BitTarget target = BitTarget::kNone;
    bool rle = false;
    int polarity = 1;
  };

  void emit(const Sink &sink);
  void startCommand();
  void endCommandText(const Sink &sink);
  void startGsBlock();
  void startBitBlock();
  void beginData(BlockKind kind, bool keep);
  void putPlaneValue(uint8_t v);
  void putBitByte(uint8_t b);
  void endData();
  void fail(int code, const std::string &problem);
  size_t feedPlane(const uint8_t *p, size_t n);
  // One byte taken in the state each is named after.
  void idleByte(uint8_t b);
  void huntByte(uint8_t b, const Sink &sink);
  void commandByte(uint8_t b, const Sink &sink);
  void skipToCrByte(uint8_t b, const Sink &sink);
  void gsHeaderByte(uint8_t b, const Sink &sink);
  void planeRleByte(uint8_t b);
  void bitsByte(uint8_t b);
  void bitsRleByte(uint8_t b);
  void fwSizeByte(uint8_t b);
  void fwEndByte(uint8_t b, const Sink &sink);
  void trailerByte(uint8_t b, const Sink &sink);
  // Firmware body: takes as much of it as p holds; returns the bytes taken.
  size_t feedFwBody(const uint8_t *p, size_t n);

  State state_ = State::kIdle;
  uint64_t offset_ = 0;
  Command cur_;
  std::vector<uint8_t> work_;  // decoded payload being filled
  bool keep_ = false;          // payload is wanted (block header was valid)
  PendingBits pending_;

  // block counters
  uint32_t units_ = 0;  // dots / bytes / units taken so far
  uint32_t limit_ = 0;
  int lineByte_ = 0;  // plane: byte position within the 432-byte line
  uint16_t word_ = 0;
  bool escaped_ = false;  // bit block: "[" seen, the next byte is the value
  int rleCount_ = 0;      // run-length: units still owed by a literal group
  int runLength_ = 0;     // run-length: a run's count seen, its value next
  bool runPending_ = false;
  uint32_t fwSize_ = 0;
  int fwSizeBytes_ = 0;
  uint32_t fwCrc_ = 0;  // running CRC-32 state of the firmware content
  size_t strayCount_ = 0;
  bool emitted_ = false;  // a command was handed over since stop() was last asked
};

}  // namespace cardemu
