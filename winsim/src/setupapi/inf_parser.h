// The INF reader's pure part: the bytes of an INF file into sections and
// lines, as setupapi.dll reads them.  No Windows calls, so that tests (and
// winsim::readInf) use it on any text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <winsim/testing.h>

namespace winsim::inf {

// Sections longer than this are a syntax error (ERROR_SECTION_NAME_TOO_LONG).
constexpr size_t kMaxSectionName = 255;

// The text of an INF file: UTF-16LE when it starts with its byte-order mark,
// UTF-8 when the bytes are valid UTF-8 (with or without a mark), otherwise
// one character per byte as the Western code page has them.
std::u16string decode(const std::vector<uint8_t> &bytes);

// Parses the text.  On a syntax error the result is not ok, with the error
// (ERROR_EXPECTED_SECTION_NAME, ERROR_BAD_SECTION_NAME_LINE,
// ERROR_SECTION_NAME_TOO_LONG) and the line it is on.
InfText parse(const std::u16string &text);

// The first line of a section with that key (without case); NULL when none.
const InfLine *findLine(const InfSection &section, const std::u16string &key);
// The first field of the [Version] line with that key; empty when none.
std::u16string versionValue(const InfText &inf, const std::u16string &key);
// A Windows 95 or later INF: [Version] Signature is "$Windows NT$",
// "$Chicago$" or "$Windows 95$".
bool isWin4Style(const InfText &inf);

// A line's text as SetupGetLineText gives it: its fields joined by commas
// (a line without a key: all of it).
std::u16string lineText(const InfLine &line);

// The models sections that [Manufacturer] names for a machine of that
// architecture ("amd64" or "x86"): each entry's section, decorated with the
// first of its target decorations that fits, or undecorated.
std::vector<std::u16string> modelSections(const InfText &inf, const std::u16string &architecture);
// The hardware and compatible IDs that the models sections list.
std::vector<std::u16string> modelIds(const InfText &inf, const std::u16string &architecture);

}  // namespace winsim::inf
