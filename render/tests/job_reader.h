// Reads a spooled card job for the tests: the command text with each image's
// data replaced by a marker (<P> for a plane, <B> for a bitmap), and the
// image data itself (bitmaps with their doubled 0x5B bytes made single).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace card::testing {

struct SpooledJob {
  std::string commands;
  std::vector<std::vector<uint8_t>> planes;          // 442,368 bytes each
  std::vector<std::vector<uint8_t>> blackBitmaps;    // 81,920 bytes each, 1 = print
  std::vector<std::vector<uint8_t>> varnishBitmaps;  // the same for varnish pictures
};

inline SpooledJob readJob(const std::vector<uint8_t> &bytes) {
  SpooledJob j;
  const std::string s(bytes.begin(), bytes.end());
  size_t i = 0;
  while (i < s.size()) {
    if (s.compare(i, 3, "\x1bGS") == 0) {
      size_t h = s.find(" 1024 640 ", i);
      if (h == std::string::npos) break;
      j.commands += s.substr(i, h + 10 - i) + "<P>";
      i = h + 10;
      size_t end = i + 442368 < s.size() ? i + 442368 : s.size();
      j.planes.emplace_back(bytes.begin() + long(i), bytes.begin() + long(end));
      i = end;
      continue;
    }
    const bool black = s.compare(i, 3, "\x1bG ") == 0, varnish = s.compare(i, 4, "\x1bvG ") == 0;
    if (black || varnish) {
      size_t h = s.find("\r\x1bZ", i);
      if (h == std::string::npos) break;
      j.commands += s.substr(i, h + 3 - i) + "<B>";
      i = h + 3;
      std::vector<uint8_t> bits;
      while (bits.size() < 81920 && i < s.size()) {
        bits.push_back(bytes[i]);
        i += bytes[i] == 0x5B ? 2 : 1;
      }
      (black ? j.blackBitmaps : j.varnishBitmaps).push_back(std::move(bits));
      continue;
    }
    j.commands += s[i++];
  }
  return j;
}

}  // namespace card::testing
