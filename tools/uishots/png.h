// A small PNG writer for the picture tools: 8-bit RGB, one IDAT of stored
// (uncompressed) deflate blocks.  Pictures of dialogs are small, so size does
// not matter, and the tool needs no compression library on Windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace uishots {

// CRC-32 as PNG chunks use it (ISO 3309, reflected, polynomial 0xEDB88320).
uint32_t crc32(const uint8_t *data, size_t size, uint32_t crc = 0);
// Adler-32 of the zlib stream's uncompressed data.
uint32_t adler32(const uint8_t *data, size_t size);

// The PNG file of a width x height picture whose rows are 32-bit pixels
// 0x00RRGGBB (a top-down 32-bit DIB's layout), `stride` pixels apart.
std::vector<uint8_t> encodePng(int width, int height, const uint32_t *pixels, int stride);

// Reads back a PNG file of the kind encodePng writes (8-bit RGB, stored
// blocks, no row filter), checking its CRCs and Adler-32; pixels come out as
// 0x00RRGGBB.  False for any other file.
bool decodePng(const std::vector<uint8_t> &file, int &width, int &height, std::vector<uint32_t> &pixels);

}  // namespace uishots
