#include "config/reply_display.h"

namespace card::cfg {

std::string replyDisplayText(bool succeeded, std::string_view reply) {
  if (!succeeded || reply.empty()) return "Printer has no response";
  std::string text(reply);
  if (text.back() == kAck) {
    text.pop_back();
    text += "<ACK>";
  }
  return text;
}

std::u16string_view fileJobDocumentName(int kind) {
  switch (kind) {
    case kCommandFile: return u"FILE_TXT";
    case kFirmwareFile: return u"FILE_BIN";
    default: return u"FILE_PRN";
  }
}

}  // namespace card::cfg
