#include "config/device_info.h"

#include <cstring>
#include <limits>

namespace card::cfg {

namespace {

constexpr uint8_t kAck = 6;

bool good(const QueryResult &r, std::string &text) {
  return r.succeeded && goodReply(reinterpret_cast<const uint8_t *>(r.bytes.data()), r.bytes.size(), text);
}

}  // namespace

bool goodReply(const uint8_t *reply, size_t length, std::string &text) {
  text.clear();
  if (!reply || length == 0 || reply[length - 1] != kAck) return false;
  size_t n = 0;
  while (n + 1 < length && reply[n]) ++n;
  text.assign(reinterpret_cast<const char *>(reply), n);
  return true;
}

std::string remainingCountText(bool good, const std::string &text) {
  if (!good || text.empty() || text[0] == '0') return "N/A";
  return text;
}

bool panelsPrinted(const std::string &text, uint64_t &count) {
  size_t i = !text.empty() && text[0] == '!' ? 1 : 0;
  const size_t end = text.find(' ');
  uint64_t n = 0;
  size_t digits = 0;
  for (; i < text.size() && i < end && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
    const unsigned d = unsigned(text[i] - '0');
    if (n > (std::numeric_limits<uint64_t>::max() - d) / 10) return false;
    n = n * 10 + d;
  }
  if (digits == 0) return false;
  count = n;
  return true;
}

const char *smartCardOption(const std::string &modelReply) {
  static const struct {
    const char *code;
    const char *text;
  } kOptions[] = {{"0iB", "Contact Encoder"},
                  {"0iC", "Contact Encoder and HID iCLASS"},
                  {"0iD", "Contact Encoder and MIFARE"},
                  {"0iE", "Contact Station"},
                  {"0iF", "HID iCLASS"},
                  {"0iH", "MIFARE contactless"}};
  for (const auto &o : kOptions)
    if (modelReply.find(o.code) != std::string::npos) return o.text;
  return "No";
}

bool encoderReported(bool good, const std::string &text) { return good && !text.empty() && text[0] == '1'; }

unsigned singleFeedStatus(bool good, const std::string &text) {
  if (!good || text.empty()) return kIdsUnknown;
  if (text[0] == '1') return kIdsEnabled;
  if (text[0] == '0') return kIdsDisabled;
  return kIdsUnknown;
}

DeviceInfoTexts readDeviceInfo(const DeviceQuery &query, const RibbonNameLookup &ribbonName) {
  DeviceInfoTexts out;
  std::string text;

  const QueryResult ribbon = query(kQueryRibbon);
  if (!ribbon.succeeded && ribbon.bytes.empty()) {
    out.ribbon = "Unknown";
    out.remaining = "N/A";
    return out;
  }
  if (good(ribbon, text)) {
    out.ribbon = ribbonName(text);
    std::string count;
    const bool countGood = good(query(kQueryRibbonLength), count);
    out.remaining = remainingCountText(countGood, count);
  } else {
    out.ribbon = "Unknown";
    out.remaining = "N/A";
  }

  if (good(query(kQueryHeadResistance), text)) out.headResistance = text;
  out.encoder = encoderReported(good(query(kQueryEncoder), text), text) ? "Yes" : "No";
  if (good(query(kQueryVersion), text)) {
    out.model = text;
    out.smartCard = smartCardOption(text);
  } else {
    out.smartCard = "No";
  }
  if (good(query(kQuerySerial), text)) out.serial = text;
  uint64_t panels = 0;
  out.panels = good(query(kQueryPanels), text) && panelsPrinted(text, panels) ? std::to_string(panels) : " ";
  // The head's resistance is asked once more: the value shown is the one
  // read last.
  out.headResistance = good(query(kQueryHeadResistance), text) ? text : std::string();
  return out;
}

DeviceSheetEnabling deviceSheetEnabling(bool hasEncoder, uint16_t ribbonId, bool modelAnswered) {
  DeviceSheetEnabling e;
  e.encoderSettings = hasEncoder || ribbonId != 0;
  e.firmwareDownload = modelAnswered || ribbonId != 0;
  return e;
}

}  // namespace card::cfg
