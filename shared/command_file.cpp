#include "shared/command_file.h"

#include <algorithm>

namespace card::interception {

namespace {

constexpr char kEsc = 0x1B;
constexpr char kCr = 0x0D;
constexpr uint8_t kLf = 0x0A;
// Bytes of the line that one command holds: ESC takes one place.
constexpr size_t kLineBytesPerCommand = kMaxCommandBytes - 1;

void addLine(const uint8_t *line, size_t length, bool skipEmpty, std::vector<std::string> &out) {
  // The line's own CR is the command's terminator, not part of its text.
  if (length && line[length - 1] == uint8_t(kCr)) --length;
  if (length == 0) {
    if (!skipEmpty) out.push_back(std::string{kEsc, kCr});
    return;
  }
  for (size_t pos = 0; pos < length; pos += kLineBytesPerCommand) {
    size_t n = std::min(kLineBytesPerCommand, length - pos);
    std::string cmd;
    cmd.reserve(n + 2);
    cmd.push_back(kEsc);
    cmd.append(reinterpret_cast<const char *>(line + pos), n);
    cmd.push_back(kCr);
    out.push_back(std::move(cmd));
  }
}

}  // namespace

std::vector<std::string> commandFileCommands(const uint8_t *data, size_t size, bool skipEmpty) {
  std::vector<std::string> out;
  if (!data) return out;
  size_t start = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] != kLf) continue;
    addLine(data + start, i - start, skipEmpty, out);
    start = i + 1;
  }
  // A last line without LF is a line too; nothing after the last LF is none.
  if (start < size) addLine(data + start, size - start, skipEmpty, out);
  return out;
}

}  // namespace card::interception
