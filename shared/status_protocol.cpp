// Reading printer replies and the status table.  Replies come from outside
// the package (a USB read or a TCP receive), so every reader here takes the
// reply's length and never looks past it.
#include "shared/status_protocol.h"

#include <cstring>

namespace card::status {

namespace {

constexpr bool isDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// Reads decimal digits from p[0..n) into an unsigned value, stopping at the
// first non-digit; saturates at `limit`.
uint64_t readDigits(const uint8_t *p, size_t n, uint64_t limit, size_t *used) {
  uint64_t v = 0;
  size_t i = 0;
  for (; i < n && isDigit(p[i]); ++i) {
    v = v * 10 + (p[i] - '0');
    if (v > limit) v = limit;  // stays at the limit for every further digit
  }
  if (used) *used = i;
  return v;
}

}  // namespace

ReplyKind classifyReply(const uint8_t *reply, size_t length) {
  if (length == 0 || !reply) return ReplyKind::Empty;
  if (reply[0] == kNak) return ReplyKind::Error;
  if (length == 1 && reply[0] == kAck) return ReplyKind::Ack;
  return ReplyKind::Value;
}

uint32_t readErrorCodeFull(const uint8_t *reply, size_t length) {
  if (!reply || length == 0 || reply[0] != kNak) return 0;
  size_t end = length < 1 + kFullReadingLimit ? length : 1 + kFullReadingLimit;
  // The digits end at EOT at the latest; any other non-digit ends them too.
  const uint8_t *digits = reply + 1;
  size_t n = end - 1;
  // 31 digits do not fit in 32 bits: anything above the largest code a row
  // could carry reads as unreadable rather than wrapping onto a real code.
  uint64_t v = readDigits(digits, n, kUnreadableCode, nullptr);
  return static_cast<uint32_t>(v);
}

uint32_t readErrorCodeTwoDigit(const uint8_t *reply, size_t length) {
  if (!reply || length == 0 || reply[0] != kNak) return 0;
  if (length >= 3 && isDigit(reply[1]) && isDigit(reply[2]))
    return static_cast<uint32_t>((reply[1] & 0x0F) * 10 + (reply[2] & 0x0F));
  return readErrorCodeFull(reply, length);
}

ValueText readValueText(const uint8_t *reply, size_t length) {
  if (!reply || length == 0) return {reply, 0, false};
  const void *ack = std::memchr(reply, kAck, length);
  if (!ack) return {reply, length, false};
  size_t n = static_cast<size_t>(static_cast<const uint8_t *>(ack) - reply);
  return {reply, n, true};
}

int32_t readLeadingNumber(const uint8_t *text, size_t length) {
  if (!text) return 0;
  return static_cast<int32_t>(readDigits(text, length, INT32_MAX, nullptr));
}

ValueNumber readValueNumber(const uint8_t *reply, size_t length) {
  ValueText t = readValueText(reply, length);
  size_t n = t.length;
  // The blank before the ACK only goes when the reply (text and ACK) is
  // longer than two bytes: " " ACK keeps its blank.
  if (t.acked && n + 1 > 2 && t.text[n - 1] == ' ') --n;
  size_t i = 0;
  while (i < n && (t.text[i] == ' ' || t.text[i] == '\t')) ++i;
  bool negative = false;
  if (i < n && (t.text[i] == '-' || t.text[i] == '+')) {
    negative = t.text[i] == '-';
    ++i;
  }
  size_t used = 0;
  uint64_t limit = negative ? uint64_t(INT32_MAX) + 1 : uint64_t(INT32_MAX);
  uint64_t v = readDigits(t.text + i, n - i, limit, &used);
  int32_t value = negative ? static_cast<int32_t>(-static_cast<int64_t>(v)) : static_cast<int32_t>(v);
  return {value, t.acked, used > 0};
}

// One row per code; the rows of one message and word are kept apart because
// lookups go by code, first match, as the printer's firmware lists them.
const StatusRow kStatusTable[kStatusRowCount] = {
    {1, 4, "OUT OF RIBBON"},      {2, 6, "TEMPERATURE"},
    {3, 6, "MECHANICAL ERROR"},   {4, 31, "OUT OF CARD"},
    {5, 32, "CARD_IN_ENCODER"},   {6, 33, "CARD_NOT_IN_ENCODER"},
    {7, 8, "HEAD OPEN"},          {8, 8, "HEAD OPEN"},
    {9, 53, "REMOVE RIBBON"},     {10, 34, "COMMAND ERROR"},
    {11, 34, "COMMAND ERROR"},    {12, 34, "COMMAND ERROR"},
    {13, 34, "COMMAND ERROR"},    {14, 34, "COMMAND ERROR"},
    {16, 61, "INSERT CARD"},      {20, 34, "COMMAND ERROR"},
    {21, 34, "COMMAND ERROR"},    {22, 34, "COMMAND ERROR"},
    {30, 34, "COMMAND ERROR"},    {31, 34, "COMMAND ERROR"},
    {32, 34, "COMMAND ERROR"},    {33, 34, "COMMAND ERROR"},
    {34, 34, "COMMAND ERROR"},    {35, 2208, "CHECK RIBBON"},
    {40, 47, "PARAMETERS ERROR"}, {41, 56, "ENCODING ERROR"},
    {42, 104, "READING ERROR"},   {43, 6, "MECHANICAL ERROR"},
    {44, 51, "MAGNETIC ERROR"},   {45, 15, "BLANK TRACK"},
    {47, 2207, "ROTATION ERROR"}, {49, 12, "ENCODING ERROR"},
    {50, 14, "MAGNETIC ERROR"},   {51, 9, "COVER OPEN"},
    {53, 17, "NO ACCESS"},        {54, 54, "SEQUENCE_ERROR"},
    {55, 63, "ERROR PROX"},       {56, 64, "ERROR CONTACT DATA"},
    {57, 65, "ERROR PROX DATA"},  {60, 16, "FLASH ERROR"},
};

StatusLookup lookupStatus(uint32_t code, uint32_t defaultMessage) {
  for (const StatusRow &row : kStatusTable)
    if (row.code == code) return {row.word, row.message, true};
  return {kUnknownStatusWord.data(), defaultMessage, false};
}

uint32_t messageForErrorReply(const uint8_t *reply, size_t length, Monitor m) {
  return lookupStatus(readErrorCodeFull(reply, length), m).message;
}

uint32_t messageFromLineStatus(uint8_t line, Monitor m) {
  bool usb = m == Monitor::Usb;
  switch (line & 0x28) {
    case 0x20: return usb ? msg::kMechanicalError : msg::kNetMechanicalError;
    case 0x00: return usb ? msg::kUsbSyntaxError : msg::kNetSyntaxError;
    default:  // 0x28 and 0x08
      return usb ? msg::kUsbPrinterError : msg::kNetPrinterError;
  }
}

size_t replaceErrorReplyByWord(uint8_t *buffer, size_t capacity, size_t length) {
  if (!buffer || capacity == 0) return 0;
  if (length > capacity) length = capacity;
  if (length == 0 || buffer[0] != kNak) return length;
  const char *word = lookupStatus(readErrorCodeTwoDigit(buffer, length), 0).word;
  size_t n = std::strlen(word);
  if (n > capacity) n = capacity;
  std::memcpy(buffer, word, n);
  if (n < capacity) buffer[n] = 0;
  return n;
}

StatusChannelReply readStatusChannelReply(const uint8_t *reply, size_t length) {
  if (!reply || length <= kStatusChannelByteOffset || reply[0] != kAck) return {0, false};
  uint8_t b = reply[kStatusChannelByteOffset];
  bool eot = length > kStatusChannelEotOffset && reply[kStatusChannelEotOffset] == kEot;
  return {b, eot && (b == kNetReady || b == kNetReadyBusy)};
}

}  // namespace card::status
