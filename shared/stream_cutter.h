// The job stream cutter both language monitors use in WritePort.
//
// The card printer must finish one command before it is given the next, so
// the monitors do not pass the spooler's buffers through as they come: every
// write call hands the port exactly one piece, either one whole command or one
// slice of an image data block, and after a command (or at the end of a block)
// the monitor pauses and asks the printer for its state.  The spooler's
// buffers have no regard for command boundaries, so a command, a block header
// or a two-byte unit inside a bitmap may be cut anywhere; the cutter keeps
// what it needs between calls and yields the same pieces however the stream
// was cut.
//
// How long a data block is:
//   - "\eGS " opens a full-count block (a continuous-tone plane).  Its header
//     ends with the blank after its sixth parameter; a CR before that ends
//     the command instead, an ordinary one that opens no block.  A header
//     without the field " 30 " carries packed plane data: 442368 bytes.  With
//     " 30 " the data is run-length coded: a byte with the top bit set stands
//     for (byte AND 0x7F) values and is followed by the one value byte, any
//     other byte for one value; 1024 x 640 values in all.
//   - "\eZ" opens a bit block (a resin-black or varnish bitmap) of 1024 x 640
//     bits, 81920 units.  A 0x5B ("[") byte makes the byte after it part of a
//     two-byte unit (the writer doubles every 0x5B data byte).  After a command
//     containing "G 0 0 10" (the bitmap header) the units are plain; otherwise
//     the block is run-length coded: a byte with the top bit set stands for
//     (byte AND 0x7F) units and is followed by one value unit, any other byte
//     is followed by (byte AND 0x1F) literal units.
//   - "\eDC " opens a firmware frame.  Its header is eight bytes: those four
//     and the image size in four bytes, most significant first.  Exactly that
//     many image bytes follow; they are passed as they are (a CR, ESC or "["
//     among them means nothing), in slices like any block.  Then the end
//     marker 0xFF and a CR.  The header is held across write calls like any
//     command, since its size bytes may be cut by a buffer end.
//   - Every block ends at the first CR after its count is complete, that CR
//     included (for a firmware frame, the CR after its end marker).
//
// Plain logic on bytes: no Windows calls, no allocation, fixed memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "shared/status_commands.h"
#include "shared/wire_format.h"

namespace card::pacing {

using status::CommandCategory;

// The most a single write call hands the port, and the window of the spooler's
// buffer one call looks at.
inline constexpr size_t kMaxPieceBytes = 4096;

// The longest command the cutter passes.  A command held across write calls
// is kept in a fixed buffer of this size; one whose first kMaxCommandBytes
// bytes hold no end is dropped whole, and the bytes after it up to the next
// ESC are dropped with it.  The bound equals the window, so a command is
// passed or dropped the same way whether or not a buffer end cut it.  (The
// renderer's longest commands, the captured pre-job and encoder commands, are
// a few hundred bytes.)
inline constexpr size_t kMaxCommandBytes = kMaxPieceBytes;

// Block lengths: a plain plane counts kPlaneBytes bytes, a run-length coded
// one kPlaneValues values, a bit block kBitmapBytes units; kDataEscape starts
// a two-byte unit (the wire format).  A firmware frame counts the bytes its
// header names.

// "\eDC " and the four size bytes.
inline constexpr size_t kFirmwareHeaderBytes = 8;

enum class BlockMode : uint8_t {
  None = 0,
  FullCount = 1,  // opened by "\eGS "
  Bits = 2,       // opened by "\eZ"
  Firmware = 3,   // opened by "\eDC " and the image size
};

// Everything the cutter remembers between write calls, apart from the bytes
// of a held command.  Small and copyable, so that a write call can be undone.
struct PacingState {
  BlockMode mode = BlockMode::None;
  bool plainCount = false;     // the current block counts plainly (no run-length coding)
  bool countDone = false;      // the block's count is complete; it ends at the next CR
  bool escapeOpen = false;     // a "[" was passed; the byte after it completes the unit
  bool valueOwed = false;      // a full-count run's value byte is still to come
  uint32_t units = 0;          // units passed in the current block
  uint32_t literalsOwed = 0;   // units still owed to a bit-block run
  bool rawCount = false;       // a "G 0 0 10" command asks plain counting of the next block
  uint32_t firmwareBytes = 0;  // the image size of the current firmware frame
  CommandCategory lastCategory = CommandCategory::None;
  size_t heldLength = 0;  // bytes of a command held from earlier calls
};

enum class CutKind : uint8_t {
  Nothing,  // an empty buffer
  Command,  // write `piece`: one whole command, header commands included
  Data,     // write `piece`: a slice of a data block
  Held,     // the start of a command was kept for the next call; nothing to write
  Dropped,  // bytes that belong to no command; nothing to write
};

enum class DropReason : uint8_t {
  None,
  Stray,    // bytes outside any command (no ESC at their start)
  TooLong,  // a command with no end within kMaxCommandBytes
};

// What one write call does.
struct Cut {
  CutKind kind = CutKind::Nothing;
  size_t consumed = 0;             // bytes of the caller's buffer used up (at least 1 unless Nothing)
  const uint8_t *piece = nullptr;  // the bytes to write (into the caller's buffer or the held command)
  size_t pieceLength = 0;          // at most kMaxPieceBytes
  CommandCategory category = CommandCategory::None;  // Command: its category; Data: DataBlock
  bool opensBlock = false;                           // Command: a block header; data follows
  bool endsBlock = false;                            // Data: the slice ends its block (with the CR)
  uint32_t units = 0;                                // Data: block units passed by this slice
  DropReason dropped = DropReason::None;
  size_t droppedBytes = 0;  // Dropped: stream bytes thrown away, held ones included
  // The monitor asks the printer for its state after writing this piece (a
  // command outside a block, or the end of a block), having paused first.
  bool checkAfter = false;
  uint32_t pauseMs = 0;  // when checkAfter: pauseAfter(category)
};

class StreamCutter {
 public:
  // The cut for one write call over the spooler's buffer.  Only the first
  // kMaxPieceBytes bytes are looked at.  The state moves on as if the piece
  // was written; when writing it fails, call undo() and the spooler's next
  // offer of the same bytes gives the same cut.
  Cut next(const uint8_t *data, size_t size);

  // Back to the state before the last next() (its piece was not written).
  void undo() { state_ = saved_; }

  // Job start, and after the abort clean-up.
  void reset() { state_ = saved_ = PacingState{}; }

  const PacingState &state() const { return state_; }
  bool insideBlock() const { return state_.mode != BlockMode::None; }

 private:
  Cut nextBlockSlice(const uint8_t *data, size_t size);
  Cut nextWithHeld(const uint8_t *data, size_t size);
  Cut nextAtCommand(const uint8_t *data, size_t size);
  Cut complete(const uint8_t *cmd, size_t length, size_t consumed);

  PacingState state_{};
  PacingState saved_{};
  uint8_t held_[kMaxCommandBytes] = {};
};

// The length of the command at the start of `p` (which starts with ESC), or 0
// while the bytes do not hold its end: "\eZ" is two bytes, a "\eDC " header
// eight, a "\eGS " header runs to the blank after its sixth parameter (or to
// a CR before it, as an ordinary command), any other command to its first CR.
// More bytes after the end never change the answer.
size_t commandLength(const uint8_t *p, size_t n);

}  // namespace card::pacing
