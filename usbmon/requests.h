// The prefixed requests as text: recognising one in a printer-data value
// name, and the request a capture job hands over at its end.  Plain logic on
// UTF-16 text, shared with the network monitor.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "usbmon/interception.h"

namespace card::usb {

enum class RequestKind : uint8_t { None, PrintFile, SendCommands, Download, SetPrinterName };

inline constexpr std::u16string_view kPrefixPrintFile = u"PrintFile:";
inline constexpr std::u16string_view kPrefixSendCommands = u"sendcmds:";
inline constexpr std::u16string_view kPrefixDownload = u"download:";
inline constexpr std::u16string_view kPrefixSetPrinterName = u"SetPrinterName:";

// Value names longer than this are not read further: no caller builds one,
// and a name without its terminator must not run on without end.
inline constexpr size_t kMaxValueNameUnits = 32767;

struct PrefixedRequest {
  RequestKind kind = RequestKind::None;
  // The text after the first ":" of the name: a file path, or the printer
  // name of "SetPrinterName:".  It may be empty.
  std::u16string_view argument;
};

// A request is one when the name holds the prefix anywhere (with case); the
// prefixes are tried in the order above.
PrefixedRequest parsePrefixedRequest(LPCWSTR valueName);

// The request buffer of a capture job: the prefix and the temp file path,
// with its terminator.
inline constexpr size_t kMaxRequestUnits = 272;

// The request that carries out a capture job of `mode` on the file `path`,
// terminated, into `out` (capacity in units).  False, with an empty `out`,
// when the mode has none or the request does not fit: a path is never cut,
// as a cut path names another file.
bool buildCaptureRequest(CaptureMode mode, std::u16string_view path, WCHAR *out, size_t capacity);

}  // namespace card::usb
