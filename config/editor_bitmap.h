// The editors' bitmaps on the system's side: the user's choice of a 1-bit
// BMP through the open-file dialog, reading a bitmap file, and painting one
// over the preview card.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "config/area_rules.h"

namespace card::cfg {

// The most of a bitmap file the editors read: more than a 1024 x 640 card
// picture at any depth, so no real picture is cut.
constexpr size_t kBitmapFileLimit = 16u << 20;

// Reads up to `limit` bytes of the file at `path`; false when it cannot be
// opened or read.
bool readFileBytes(LPCWSTR path, size_t limit, std::vector<uint8_t> *out);

// Lets the user choose a 1-bit BMP file: the open-file dialog (owned by
// `owner`) until a file whose information header says 1 bit per pixel is
// chosen, with a message for every other picture.  The chosen path goes to
// `path` (pathChars with its terminator).  False, `path` untouched, when the
// user cancels or the chosen file cannot be read.
bool chooseOneBitBitmap(HWND owner, WCHAR *path, size_t pathChars);

// Paints the 1-bit bitmap at `path` stretched over `preview` (right and
// bottom exclusive), 0 bits black and 1 bits white whatever the file's
// palette, turned by 180 degrees when `rotated`.  Nothing is painted when
// the file cannot be read or is no 1-bit picture.
void paintBitmapPreview(HDC dc, const AreaRect &preview, LPCWSTR path, bool rotated);

}  // namespace card::cfg
