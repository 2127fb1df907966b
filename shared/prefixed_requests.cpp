#include "shared/prefixed_requests.h"

namespace card::interception {

namespace {

WideView viewOf(LPCWSTR text) {
  if (!text) return {};
  size_t n = 0;
  while (n < kMaxValueNameUnits && text[n]) ++n;
  return WideView(text, n);
}

WideView prefixOf(CaptureMode mode) {
  switch (mode) {
    case CaptureMode::PrintFile: return kPrefixPrintFile;
    case CaptureMode::SendCommands: return kPrefixSendCommands;
    case CaptureMode::Download: return kPrefixDownload;
    default: return {};
  }
}

}  // namespace

CaptureMode captureModeOf(LPCWSTR documentName) {
  WideView name = viewOf(documentName);
  if (name == TEXT("FILE_PRN")) return CaptureMode::PrintFile;
  if (name == TEXT("FILE_TXT")) return CaptureMode::SendCommands;
  if (name == TEXT("FILE_BIN")) return CaptureMode::Download;
  return CaptureMode::None;
}

PrefixedRequest parsePrefixedRequest(LPCWSTR valueName) {
  WideView name = viewOf(valueName);
  static constexpr struct {
    WideView prefix;
    RequestKind kind;
  } kPrefixes[] = {
      {kPrefixPrintFile, RequestKind::PrintFile},
      {kPrefixSendCommands, RequestKind::SendCommands},
      {kPrefixDownload, RequestKind::Download},
      {kPrefixSetPrinterName, RequestKind::SetPrinterName},
  };
  PrefixedRequest r;
  for (const auto &p : kPrefixes) {
    if (name.find(p.prefix) == WideView::npos) continue;
    r.kind = p.kind;
    r.argument = name.substr(name.find(WCHAR(':')) + 1);
    break;
  }
  return r;
}

bool isPrefixedRequest(LPCWSTR valueName) { return parsePrefixedRequest(valueName).kind != RequestKind::None; }

bool buildCaptureRequest(CaptureMode mode, WideView path, WCHAR *out, size_t capacity) {
  if (!out || capacity == 0) return false;
  out[0] = 0;
  WideView prefix = prefixOf(mode);
  size_t length = prefix.size() + path.size();
  if (prefix.empty() || length + 1 > capacity || length + 1 > kMaxRequestUnits) return false;
  prefix.copy(out, prefix.size());
  path.copy(out + prefix.size(), path.size());
  out[length] = 0;
  return true;
}

}  // namespace card::interception
