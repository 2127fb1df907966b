#include "emulator/src/magnetic.h"

namespace cardemu {

int defaultTrackMode(int track) { return track == 1 ? 0 : track == 2 ? 1 : 2; }
int defaultTrackDensity(int track) { return track == 2 ? 75 : 210; }

namespace {
// Per track, the codes of the three ISO modes; the binary modes are "E_n"/"U_n".
const char *const kWriteIso[3][3] = {{"A", "a2", "a3"}, {"b1", "B", "b3"}, {"c1", "c2", "C"}};
const char *const kReadIso[3][3] = {{"Q", "q2", "q3"}, {"r1", "R", "r3"}, {"s1", "s2", "S"}};

int modeOf(int track, const std::string &code, const char *const iso[3][3], char binary) {
  if (track < 1 || track > 3) return -1;
  for (int m = 0; m < 3; ++m)
    if (code == iso[track - 1][m]) return m;
  if (code.size() == 3 && code[0] == binary && code[1] == '_' && code[2] >= '3' && code[2] <= '7') return code[2] - '0';
  return -1;
}
}  // namespace

int trackModeOfWriteCode(int track, const std::string &code) { return modeOf(track, code, kWriteIso, 'E'); }
int trackModeOfReadCode(int track, const std::string &code) { return modeOf(track, code, kReadIso, 'U'); }

std::string writeCodeOf(int track, int mode) {
  if (mode < 3) return kWriteIso[track - 1][mode];
  return "E_" + std::to_string(mode);
}

std::string readCodeOf(int track, int mode) {
  if (mode < 3) return kReadIso[track - 1][mode];
  return "U_" + std::to_string(mode);
}

size_t trackCapacity(int mode, int density) {
  const bool high = density == 210;
  // The ISO figures: 76 alphanumeric characters at 210 bpi, 37 numeric at
  // 75 bpi, 104 numeric at 210 bpi, each after start and end sentinels and LRC.
  if (mode == 0) return high ? 76 : 27;
  if (mode <= 2) return high ? 104 : 37;
  // Binary modes: n data bits plus parity per character over the same stripe
  // length, less the same three framing characters.
  const size_t bits = high ? 560 : 200;
  return bits / static_cast<size_t>(mode + 1) - 3;
}

std::string checkTrackData(int mode, int density, const std::string &data) {
  if (data.size() > trackCapacity(mode, density))
    return "more than " + std::to_string(trackCapacity(mode, density)) + " characters";
  for (unsigned char c : data) {
    bool ok;
    if (mode == 0) {
      ok = c >= 0x20 && c <= 0x5F && c != '%' && c != '?';  // sentinels are the encoder's
    } else if (mode <= 2) {
      ok = c >= 0x30 && c <= 0x3F && c != ';' && c != '?';
    } else {
      const unsigned base = mode >= 6 ? 0x20 : 0x30;
      ok = c >= base && c < base + (1u << mode);
    }
    if (!ok)
      return std::string("character 0x") + "0123456789ABCDEF"[c >> 4] + "0123456789ABCDEF"[c & 15] +
             " cannot be written in this track format";
  }
  return {};
}

}  // namespace cardemu
