// The prefixed requests and capture jobs as text, for both monitors:
// recognising a request in a printer-data value name, recognising a capture
// job by its document name, and the request a capture job hands over at its
// end.  Plain logic on UTF-16 text.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace card::interception {

enum class RequestKind : uint8_t { None, PrintFile, SendCommands, Download, SetPrinterName };

// Capture jobs: their bytes are collected in a temp file and handed to the
// mode's request at the end of the job.
enum class CaptureMode : uint8_t { None = 0, PrintFile = 1, SendCommands = 2, Download = 3 };

// Text in the system's wide characters.
using WideView = std::basic_string_view<WCHAR>;

inline constexpr WideView kPrefixPrintFile = TEXT("PrintFile:");
inline constexpr WideView kPrefixSendCommands = TEXT("sendcmds:");
inline constexpr WideView kPrefixDownload = TEXT("download:");
inline constexpr WideView kPrefixSetPrinterName = TEXT("SetPrinterName:");

// Value names longer than this are not read further: no caller builds one,
// and a name without its terminator must not run on without end.
inline constexpr size_t kMaxValueNameUnits = 32767;

struct PrefixedRequest {
  RequestKind kind = RequestKind::None;
  // The text after the first ":" of the name: a file path, or the printer
  // name of "SetPrinterName:".  It may be empty.
  WideView argument;
};

// A request is one when the name holds the prefix anywhere (with case); the
// prefixes are tried in the order above.
PrefixedRequest parsePrefixedRequest(LPCWSTR valueName);
// Whether a value name holds one of the prefixes.
bool isPrefixedRequest(LPCWSTR valueName);

// The exact document name of a capture job ("FILE_PRN", "FILE_TXT",
// "FILE_BIN"), else None.
CaptureMode captureModeOf(LPCWSTR documentName);

// The request buffer of a capture job: the prefix and the temp file path,
// with its terminator.
inline constexpr size_t kMaxRequestUnits = 272;

// The request that carries out a capture job of `mode` on the file `path`,
// terminated, into `out` (capacity in units).  False, with an empty `out`,
// when the mode has none or the request does not fit: a path is never cut,
// as a cut path names another file.
bool buildCaptureRequest(CaptureMode mode, WideView path, WCHAR *out, size_t capacity);

}  // namespace card::interception
