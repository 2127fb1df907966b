// The colour correction dialog's preview picture, which the dialog paints
// over its client area.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace card::cfg {

// Where the preview's top left corner is, in pixels of the client area.
constexpr int kPreviewAt = 8;

// The pixels of the preview picture "cardcc.BMP" in the driver's folder
// (100 by 100, 24 bits, rows bottom-up); false when it cannot be read or is
// no such picture.
bool loadColourPreview(HANDLE printer, std::vector<uint8_t> &pixels);

// Draws the picture's pixels at (kPreviewAt, kPreviewAt) of `dc`.
void drawColourPreview(HDC dc, const uint8_t *pixels);

}  // namespace card::cfg
