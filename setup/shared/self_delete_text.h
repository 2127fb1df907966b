// The text of the batch file that deletes a module after its process let go
// of it, and then itself.  Pure text, no Windows calls.
#pragma once

#include <string>
#include <string_view>

namespace card::setup {

inline constexpr std::u16string_view kSelfDeleteBatchName = u"SelfDel.bat";

// The batch, 8-bit, without a final line end:
//   :Repeat / del "<module>" / if exist "<module>" goto Repeat / del "<batch>"
// Both paths are 8-bit text in the code page the batch is read in.  A "%"
// is doubled, as the command processor takes a single one in a batch file
// for the start of a variable.  Empty when a path holds a character that
// cannot stand literally between quotes on a batch line (a quote, a line
// end, a NUL) or a wildcard ("?" is also what an unconvertible character
// becomes), since "del" would then delete other files.
std::string selfDeleteBatchText(std::string_view moduleFile, std::string_view batchFile);

}  // namespace card::setup
