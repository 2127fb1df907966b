// Hand-built job streams for the tests, written from the printer's command
// texts and wire formats (not by any encoder of the product).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace streams {

inline std::string esc(const std::string &text) { return "\x1b" + text + "\r"; }

// A plane of one value everywhere.
inline auto flat(int v) {
  return [v](int, int) { return v; };
}

// One continuous-tone plane: per line 640 five-bit values, three to a
// big-endian 16-bit word (first in bits 14..10), the 640th alone in the 214th
// word, then four zero bytes.
inline std::string planeData(const std::function<int(int line, int dot)> &value) {
  std::string out;
  out.reserve(442368);
  for (int line = 0; line < 1024; ++line) {
    for (int w = 0; w < 214; ++w) {
      unsigned word = 0;
      for (int k = 0; k < 3; ++k) {
        const int dot = w * 3 + k;
        if (dot < 640) word |= static_cast<unsigned>(value(line, dot) & 31) << (10 - 5 * k);
      }
      out.push_back(static_cast<char>(word >> 8));
      out.push_back(static_cast<char>(word & 0xFF));
    }
    out.append(4, '\0');
  }
  return out;
}

// "\eGS n 32 0 0 1024 640 " + data + CR, with "\e$F\r" before plane 0.
inline std::string plane(int n, const std::function<int(int, int)> &value) {
  std::string s = n == 0 ? esc("$F") : "";
  return s + "\x1bGS " + std::to_string(n) + " 32 0 0 1024 640 " + planeData(value) + "\r";
}

// 1024 lines of 80 bytes, dots most significant bit first, every 0x5B sent twice.
inline std::string bitData(const std::function<bool(int line, int dot)> &set) {
  std::string out;
  for (int line = 0; line < 1024; ++line)
    for (int b = 0; b < 80; ++b) {
      unsigned byte = 0;
      for (int k = 0; k < 8; ++k)
        if (set(line, b * 8 + k)) byte |= 0x80u >> k;
      out.push_back(static_cast<char>(byte));
      if (byte == 0x5B) out.push_back(static_cast<char>(byte));
    }
  return out;
}

// The resin-black image: "\eF\r\eG 0 0 10 640 1024 1\r\eZ" + bits + CR.
inline std::string resin(const std::function<bool(int, int)> &set) {
  return esc("F") + esc("G 0 0 10 640 1024 1") + "\x1bZ" + bitData(set) + "\r";
}

// The varnish bitmap: "\evF\r\evG 0 0 10 640 1024 1\r\eZ" + bits + CR.
inline std::string varnishBitmap(const std::function<bool(int, int)> &set) {
  return esc("vF") + esc("vG 0 0 10 640 1024 1") + "\x1bZ" + bitData(set) + "\r";
}

// Job header of a one-sided YMCKO job with its head settings.
inline std::string ymckoHeader(const std::string &job = "JOB 0") {
  return esc("MASTER") + esc(job) + esc("SXY 1") + esc("+$C 0 5") + esc("+$C 1 6") + esc("+$C 2 7") + esc("+$L 0 8") +
         esc("+$L 1 9") + esc("+$L 2 10") + esc("+C 11") + esc("+CV 12");
}

// The three colour planes of a side, each followed by its print command.
inline std::string ymc(const std::function<int(int, int)> &y, const std::function<int(int, int)> &m,
                       const std::function<int(int, int)> &c) {
  return plane(0, y) + esc("IS 0") + plane(1, m) + esc("IS 1") + plane(2, c) + esc("IS 2");
}

inline std::string bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

}  // namespace streams
