// How the package's own INF files are told from every other one in the
// system's INF folder: a section "Ostrand" whose first line carries the
// package's marker.  Pure text tests, no Windows calls.
#pragma once

#include <string>
#include <string_view>

namespace card::setup {

inline constexpr std::u16string_view kMarkerSection = u"Ostrand";
inline constexpr std::u16string_view kMarkerText = u"OSTRANDDRIVER";
// The names the driver store gives the INF files it holds.
inline constexpr std::u16string_view kOemInfPattern = u"OEM*.INF";

// Whether the text of the section's first line marks the package's INF
// (the marker, case-sensitive, anywhere in the line).
bool isPackageMarkerLine(std::u16string_view lineText);

// The precompiled form the system keeps beside an INF file: the same name
// with the extension's first letter replaced by "p" ("oem7.inf" gives
// "oem7.pnf").  Empty when the name has no extension, so that no other file
// is named by mistake.
std::u16string precompiledInfName(std::u16string_view infName);

}  // namespace card::setup
