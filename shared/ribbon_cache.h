// The ribbon cache file that both language monitors write at every job start
// and that the rendering driver reads at the first page: the ribbon code and
// the model text, and the little rules the monitors derive from the code.
#pragma once

#include <cstddef>
#include <cstdint>

namespace card {

// Name of the file, appended to the all-users folder.  (The network monitor
// writes the same name in lower case; file names compare without case.)
constexpr const char kRibbonCacheName[] = "\\cardribbon.INI";

// The file's content: "Ribbon=<code>\rModel=<model>\r", ANSI, no LF, no
// terminating zero.  The model text is cut at 31 characters, as the reader
// takes no more.  Returns the number of bytes, 0 when `capacity` is too small.
size_t formatRibbonCache(long ribbonCode, const char *model, char *out, size_t capacity);

// Codes of ribbons without a remaining count (resin, scratch-off, hologram
// and varnish ribbons, and "no ribbon"): the ribbon class flag is set, the
// remaining-count check does not run and the abort clean-up leaves out the
// feed reset.
bool ribbonWithoutCount(long ribbonCode);

// A remaining count at which the low-ribbon alert is raised.
bool lowRibbonAlert(long remaining);

}  // namespace card
