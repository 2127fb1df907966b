// The framing of a firmware image on its way to the printer: a header, the
// image's size in four bytes, the image in chunks, an end marker and a CR.
// Both monitors send it; each piece is one write (on the network, one framed
// message), so the pieces are handed to the link one by one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace card::interception {

inline constexpr std::string_view kFirmwareHeader = "\033DC ";
inline constexpr uint8_t kFirmwareEndMarker = 0xFF;
inline constexpr uint8_t kFirmwareTerminator = 0x0D;
inline constexpr size_t kUsbFirmwareChunk = 4096;
inline constexpr size_t kNetFirmwareChunk = 65536;
// The size field holds four bytes.
inline constexpr uint64_t kMaxFirmwareBytes = 0xFFFFFFFFu;

// Where the image comes from and where the pieces go.
class FirmwareLink {
 public:
  virtual ~FirmwareLink() = default;
  // Reads up to `capacity` bytes of the image: how many (0 at its end), -1
  // when the read failed.
  virtual long readImage(uint8_t *out, size_t capacity) = 0;
  // Sends one piece; false when it could not be sent.
  virtual bool send(const uint8_t *data, size_t size) = 0;
};

enum class FirmwareResult : uint8_t {
  Sent,
  TooLarge,     // the size does not fit the size field: nothing was sent
  ReadFailed,   // the image could not be read whole (a read failed, or it ended early)
  WriteFailed,  // a piece could not be sent
  // Everything up to the end marker was sent, only the closing CR was not:
  // the printer has the whole image and may already be restarting with it.
  TerminatorFailed,
};

// The size field: most significant byte first.
void firmwareSizeBytes(uint32_t size, uint8_t out[4]);

// Sends an image of `size` bytes in chunks of `chunk` bytes: the header, the
// four size bytes one write each, the image, the end marker, the CR.  No
// more than `size` bytes of the image are sent; an image that ends before
// them is a failed read, as the printer would wait for the rest.
FirmwareResult sendFirmwareImage(uint64_t size, size_t chunk, FirmwareLink &link);

}  // namespace card::interception
