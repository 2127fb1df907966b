#include "config/tool_rules.h"

#include <cctype>
#include <cstdint>

#include "config/reply_display.h"

namespace card::cfg {

namespace {

constexpr char kEsc = '\x1b';

std::string numbered(std::string_view word, unsigned long value) {
  std::string out(1, kEsc);
  out += word;
  out += ' ';
  out += std::to_string(value);
  out += '\r';
  return out;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Track 1 holds the alphanumeric set of the stripe: digits, capitals, blanks
// and a few signs.  Its start and end sentinels ("%", "?") and the field
// separator are the encoder's business, not the technician's.
bool trackOneTakes(char c) {
  if (isDigit(c) || (c >= 'A' && c <= 'Z')) return true;
  if (std::isspace(static_cast<unsigned char>(c))) return true;
  switch (c) {
    case '$':
    case '(':
    case ')':
    case '-':
    case '.':
    case '/':
    case '^': return true;
  }
  return false;
}

// Tracks 2 and 3 hold numbers and the field separator only.
bool numericTrackTakes(char c) { return isDigit(c) || c == '='; }

// The leading digits of a field as a number; a number too long for any
// offset counts as the largest value, so that it is refused as too large.
unsigned long leadingNumber(std::string_view text) {
  unsigned long value = 0;
  for (char c : text) {
    if (!isDigit(c)) break;
    if (value < 1000000) value = value * 10 + unsigned(c - '0');
  }
  return value;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::optional<unsigned> offsetFieldNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && isBlank(text[i])) ++i;
  uint64_t value = 0;
  size_t digits = 0;
  for (; i < text.size() && isDigit(text[i]); ++i, ++digits) {
    value = value * 10 + unsigned(text[i] - '0');
    if (value > UINT32_MAX) return std::nullopt;
  }
  while (i < text.size() && isBlank(text[i])) ++i;
  if (!digits || i != text.size()) return std::nullopt;
  return unsigned(value);
}

std::string typedCommand(std::string_view text) {
  std::string out(1, kEsc);
  out += text;
  out += '\r';
  return out;
}

std::string testCardCommand(long itemData) {
  if (itemData == 0) return typedCommand("A");
  std::string out =
      "\x1b"
      "A ";
  out += std::to_string(itemData);
  out += '\r';
  return out;
}

std::string offsetsCommand(std::optional<unsigned> frontX, std::optional<unsigned> frontY,
                           std::optional<unsigned> backX, std::optional<unsigned> backY) {
  std::string out;
  if (frontX) out += numbered("+O", *frontX);
  if (frontY) out += numbered("+OY", *frontY);
  out += numbered("+OB", backX.value_or(0));
  out += numbered("+OYB", backY.value_or(0));
  return out;
}

std::string encodeTracksCommand(const std::array<std::optional<std::string>, 3> &tracks) {
  std::string out;
  for (size_t t = 0; t < tracks.size(); ++t) {
    if (!tracks[t] || tracks[t]->empty()) continue;
    out += "\x1b&B ";
    out += char('1' + t);
    out += ' ';
    out += tracks[t]->substr(0, kTrackCapacity[t]);
    out += '\r';
  }
  return out;
}

std::string readTrackCommand(int track) {
  std::string out = "\x1b&L";
  out += std::to_string(track);
  out += '\r';
  return out;
}

TypedText checkTrackText(int track, std::string_view text) {
  TypedText r{std::string(text), 0};
  if (track < 1 || track > 3) return r;
  const size_t capacity = kTrackCapacity[size_t(track - 1)];
  // Text pasted far beyond the track loses everything past it at once: one
  // message, not one per character too many.
  if (r.text.size() > capacity) {
    r.text.resize(capacity);
    r.message = kIdsTrackTooLong;
  }
  const auto takes = track == 1 ? trackOneTakes : numericTrackTakes;
  for (size_t i = 0; i < r.text.size(); ++i) {
    if (takes(r.text[i])) continue;
    r.text.resize(i);
    if (!r.message) r.message = kIdsInvalidTrackCharacter;
    break;
  }
  return r;
}

TypedText checkOffsetText(std::string_view text) {
  TypedText r{std::string(text), 0};
  // Each character too many goes from the end until the number fits, as the
  // technician would delete them; "490" becomes "4", with one message.
  while (!r.text.empty() && leadingNumber(r.text) > kLargestOffset) {
    r.text.pop_back();
    r.message = kIdsOffsetTooLarge;
  }
  return r;
}

std::optional<std::string> offsetReplyText(std::string_view reply) {
  if (reply.empty() || reply.back() != kAck) return std::nullopt;
  std::string text(reply.substr(0, reply.size() - 1));
  if (reply.size() > 2 && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace card::cfg
