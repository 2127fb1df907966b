#include "tools/uishots/png.h"

#include <array>

namespace uishots {
namespace {

const std::array<uint32_t, 256> &crcTable() {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  return table;
}

void putBe32(std::vector<uint8_t> &out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 24));
  out.push_back(static_cast<uint8_t>(v >> 16));
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

uint32_t getBe32(const uint8_t *p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

void putChunk(std::vector<uint8_t> &out, const char type[4], const std::vector<uint8_t> &data) {
  putBe32(out, static_cast<uint32_t>(data.size()));
  size_t typeAt = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  // The CRC covers the type and the data, not the length.
  putBe32(out, crc32(out.data() + typeAt, out.size() - typeAt));
}

const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

}  // namespace

uint32_t crc32(const uint8_t *data, size_t size, uint32_t crc) {
  const auto &table = crcTable();
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

uint32_t adler32(const uint8_t *data, size_t size) {
  const uint32_t kMod = 65521;
  uint32_t a = 1, b = 0;
  for (size_t i = 0; i < size; ++i) {
    a = (a + data[i]) % kMod;
    b = (b + a) % kMod;
  }
  return (b << 16) | a;
}

std::vector<uint8_t> encodePng(int width, int height, const uint32_t *pixels, int stride) {
  // The filtered image data: each row a filter byte (0, none) and RGB triples.
  std::vector<uint8_t> raw;
  raw.reserve(size_t(height) * (1 + size_t(width) * 3));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    const uint32_t *row = pixels + size_t(y) * stride;
    for (int x = 0; x < width; ++x) {
      raw.push_back(static_cast<uint8_t>(row[x] >> 16));
      raw.push_back(static_cast<uint8_t>(row[x] >> 8));
      raw.push_back(static_cast<uint8_t>(row[x]));
    }
  }

  // zlib stream: header (deflate, 32K window, no dictionary, check bits),
  // stored blocks of at most 65535 bytes, Adler-32 of the raw data.
  std::vector<uint8_t> z = {0x78, 0x01};
  size_t at = 0;
  do {
    size_t len = raw.size() - at;
    if (len > 65535) len = 65535;
    bool last = at + len == raw.size();
    z.push_back(last ? 1 : 0);
    z.push_back(static_cast<uint8_t>(len));
    z.push_back(static_cast<uint8_t>(len >> 8));
    z.push_back(static_cast<uint8_t>(~len));
    z.push_back(static_cast<uint8_t>(~len >> 8));
    z.insert(z.end(), raw.begin() + at, raw.begin() + at + len);
    at += len;
  } while (at < raw.size());
  putBe32(z, adler32(raw.data(), raw.size()));

  std::vector<uint8_t> file(kSignature, kSignature + 8);
  std::vector<uint8_t> ihdr;
  putBe32(ihdr, static_cast<uint32_t>(width));
  putBe32(ihdr, static_cast<uint32_t>(height));
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, filter 0, no interlace
  putChunk(file, "IHDR", ihdr);
  putChunk(file, "IDAT", z);
  putChunk(file, "IEND", {});
  return file;
}

bool decodePng(const std::vector<uint8_t> &file, int &width, int &height, std::vector<uint32_t> &pixels) {
  if (file.size() < 8) return false;
  for (int i = 0; i < 8; ++i)
    if (file[i] != kSignature[i]) return false;
  std::vector<uint8_t> z;
  bool header = false, end = false;
  for (size_t at = 8; at + 12 <= file.size() && !end;) {
    uint32_t len = getBe32(&file[at]);
    if (len > file.size() - at - 12) return false;
    std::string type(file.begin() + at + 4, file.begin() + at + 8);
    const uint8_t *data = &file[at + 8];
    if (crc32(&file[at + 4], len + 4) != getBe32(data + len)) return false;
    if (type == "IHDR") {
      if (len != 13 || data[8] != 8 || data[9] != 2 || data[12] != 0) return false;
      width = static_cast<int>(getBe32(data));
      height = static_cast<int>(getBe32(data + 4));
      header = true;
    } else if (type == "IDAT") {
      z.insert(z.end(), data, data + len);
    } else if (type == "IEND") {
      end = true;
    }
    at += 12 + len;
  }
  if (!header || !end || width <= 0 || height <= 0 || width > 16384 || height > 16384 || z.size() < 6) return false;
  std::vector<uint8_t> raw;
  size_t at = 2;
  for (bool last = false; !last;) {
    if (at + 5 > z.size() || (z[at] & 6) != 0) return false;  // stored blocks only
    last = z[at] & 1;
    size_t len = z[at + 1] | (z[at + 2] << 8);
    if (((len ^ (z[at + 3] | (z[at + 4] << 8))) & 0xFFFF) != 0xFFFF || at + 5 + len > z.size()) return false;
    raw.insert(raw.end(), z.begin() + at + 5, z.begin() + at + 5 + len);
    at += 5 + len;
  }
  if (at + 4 != z.size() || getBe32(&z[at]) != adler32(raw.data(), raw.size())) return false;
  size_t rowBytes = 1 + size_t(width) * 3;
  if (raw.size() != rowBytes * height) return false;
  pixels.assign(size_t(width) * height, 0);
  for (int y = 0; y < height; ++y) {
    const uint8_t *row = &raw[y * rowBytes];
    if (row[0] != 0) return false;
    for (int x = 0; x < width; ++x)
      pixels[size_t(y) * width + x] =
          (uint32_t(row[1 + x * 3]) << 16) | (uint32_t(row[2 + x * 3]) << 8) | row[3 + x * 3];
  }
  return true;
}

}  // namespace uishots
