// The printer's wire format, as every module writes and reads it: the control
// bytes of its command language, the escape byte inside bit data, and the
// card's image geometry and block sizes.  One definition for the renderer,
// the configuration module and the monitors; the emulated printer keeps its
// own, as the printer does.
#pragma once

#include <cstddef>
#include <cstdint>

namespace card {

// ---------------------------------------------------------------------------
// Control bytes

inline constexpr uint8_t kEsc = 0x1B;  // first byte of every escape command
inline constexpr uint8_t kCr = 0x0D;   // last byte of every escape command and of every image block
inline constexpr uint8_t kAck = 0x06;  // positive reply; ends a value reply
inline constexpr uint8_t kNak = 0x15;  // starts an error reply
inline constexpr uint8_t kEot = 0x04;  // ends an error reply and a status-channel reply

// "[" is the printer's escape inside bit data: every data byte of this value
// is sent twice, and a single one starts a two-byte unit.
inline constexpr uint8_t kDataEscape = 0x5B;

// ---------------------------------------------------------------------------
// Images

// The card: 1024 x 640 dots, 86 x 54 mm at 300 dots per inch.  Every panel
// image goes as 1024 lines of 640 dots across the card's short side, whatever
// the orientation the page was drawn in.
inline constexpr int kCardLong = 1024;
inline constexpr int kCardShort = 640;

// A continuous-tone plane: 1024 lines of 432 bytes (5-bit values packed).
inline constexpr size_t kPlaneLineBytes = 432;
inline constexpr size_t kPlaneBytes = kPlaneLineBytes * kCardLong;  // 442,368
// A run-length coded plane counts its values: one per dot.
inline constexpr size_t kPlaneValues = size_t(kCardLong) * kCardShort;  // 655,360

// A bit image (resin black, varnish, hologram): 1024 lines of 640 bits.
inline constexpr size_t kBitmapLineBytes = kCardShort / 8;            // 80
inline constexpr size_t kBitmapBytes = kBitmapLineBytes * kCardLong;  // 81,920 before the escapes are doubled

}  // namespace card
