// What the tools dialog and the heat table show of a printer's reply, and
// the document names of the file jobs.  No system calls: pure text rules.
#pragma once

#include <string>
#include <string_view>

namespace card::cfg {

// The acknowledgement byte that ends a reply the printer accepted.
constexpr char kAck = '\x06';

// The reply as shown: a final ACK byte becomes "<ACK>"; a failed query or an
// empty reply reads "Printer has no response".
std::string replyDisplayText(bool succeeded, std::string_view reply);

// File kinds of a file job.
enum FileKind : int { kPrinterFile = 1, kCommandFile = 2, kFirmwareFile = 3 };

// The document name that tells the monitor what a file job carries:
// "FILE_PRN", "FILE_TXT" or "FILE_BIN"; unknown kinds go as printer files.
std::u16string_view fileJobDocumentName(int kind);

}  // namespace card::cfg
