// The rules of the overlay and hologram area editors, apart from the
// windows: the types each record may take and how each one looks on the
// card, which controls each type offers, the checks of typed coordinates, and
// where the preview card and its coloured areas go inside the dialog.  The
// dialog code (editor_dialogs.cpp) reads and writes the controls and paints
// what these rules work out.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "shared/job_settings.h"

namespace card::cfg {

// The record an area editor edits: the varnish of the front or of the back,
// or the hologram area.  The two varnish records share one set of types; the
// hologram record has a set of its own.
enum class AreaKind : uint8_t { FrontOverlay, BackOverlay, Hologram };

// The card frame the areas are given in: landscape dots.
constexpr int kAreaCardWidth = 1024;
constexpr int kAreaCardHeight = 640;
// The up-down controls stop at the last dot; a typed right edge may still be
// the frame's width (an area that runs to the card's edge).
constexpr int kAreaUpDownMaxX = 1023;
constexpr int kAreaUpDownMaxY = 639;
constexpr int kAreaMaxX = 1024;
constexpr int kAreaMaxY = 639;
// Typed coordinates are read up to this many characters.
constexpr size_t kCoordinateChars = 4;

// Types of the hologram record.
enum HologramAreaType : int16_t {
  kHologramFull = 0,
  kHologramSelectedVarnished = 1,
  kHologramSelectedBlank = 2,
  kHologramBitmap = 3,
};
constexpr int kOverlayTypeCount = 8;
constexpr int kHologramTypeCount = 4;

// A rectangle in integers, right and bottom as the caller means them (the
// mapping below says which).
struct AreaRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  friend bool operator==(const AreaRect &a, const AreaRect &b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
  }
};

enum class AreaFill : uint8_t { White, Black };
enum class AreaShape : uint8_t {
  WholeCard,  // the background only
  Selected,   // the record's own rectangle on the background
  Fixed,      // a fixed rectangle (smart-card contacts, magnetic stripe) on the background
  Bitmap,     // the record's bitmap over the whole card
};

// How one type looks in the preview: the card's colour, and the colour and
// place of the area on it.  `fixed` is set for AreaShape::Fixed.
struct AreaLook {
  AreaShape shape = AreaShape::WholeCard;
  AreaFill background = AreaFill::Black;
  AreaFill area = AreaFill::White;
  AreaRect fixed;
};

int areaTypeCount(AreaKind kind);
// False for a type the record's kind does not have.
bool areaLook(AreaKind kind, int type, AreaLook *look);
// The string resource of each type's name, in combo order (type 0 first).
UINT areaTypeTextId(AreaKind kind, int type);

bool isSelectedAreaType(AreaKind kind, int type);
bool isBitmapType(AreaKind kind, int type);
// The type a cancelled bitmap choice falls back to: the full coating.
constexpr int16_t kAreaFallbackType = 0;

// The coordinate an edit holds.
enum class Coordinate : uint8_t { Left, Top, Right, Bottom };

// Reads a typed coordinate: at most kCoordinateChars characters, each a
// decimal digit (an empty text reads as 0).  -1 when a character read is no
// digit: such a text is refused like a value out of range.
int parseCoordinate(const WCHAR *text, size_t length);

// True when `value` may be stored as `which` of `area`, with the other three
// edges as they are: left and right at most kAreaMaxX and left at most right,
// top and bottom at most kAreaMaxY and top at most bottom, nothing negative.
bool coordinateAccepted(const OverlayRecord &area, Coordinate which, int value);
int32_t coordinateOf(const OverlayRecord &area, Coordinate which);
void setCoordinate(OverlayRecord *area, Coordinate which, int32_t value);
// The last value each coordinate's up-down control reaches.
int upDownMax(Coordinate which);

// The preview card inside the preview group box, from the box's client
// rectangle and the dialog's base units (bx across, by down), in the
// dialog's client coordinates.  Right and bottom are exclusive.
AreaRect previewRect(const AreaRect &groupClient, int bx, int by);

// An area of the card frame (l, t, r, b in dots) on the preview card: the
// rectangle to fill, right and bottom exclusive (so one dot more than the
// mapped edge).  Rotated, the area is turned with the card by 180 degrees.
AreaRect mapArea(const AreaRect &preview, const AreaRect &area, bool rotated);

// What to paint for a record: the card's background over the whole preview,
// then the area when there is one; for the bitmap type only the bitmap.
struct PreviewPlan {
  bool known = false;  // false: a type the kind does not have; nothing painted
  bool bitmap = false;
  AreaFill background = AreaFill::Black;
  bool hasArea = false;
  AreaRect area;
  AreaFill areaFill = AreaFill::White;
};
PreviewPlan previewPlan(AreaKind kind, const OverlayRecord &record, const AreaRect &preview);

// The record's rotated switch as the preview and the hologram print read it.
inline bool isRotated(const OverlayRecord &record) { return record.rotated != kSettingOff; }

// ------------------------------------------------------------ 1-bit bitmaps
// A BMP file as it is read: the 14-byte file header, then the information
// header (its first 40 bytes are read), the palette and the bits.
constexpr size_t kBmpFileHeaderBytes = 14;
constexpr size_t kBmpInfoHeaderBytes = 40;

// The bit count of a BMP file's information header; -1 when the bytes given
// are too few or do not start with "BM".
int bmpBitCount(const uint8_t *file, size_t size);

// A 1-bit BMP file's picture, as offsets into the file's bytes.  Rows are
// `stride` bytes (padded to 4), bottom row first unless topDown.
struct OneBitBmp {
  int width = 0, height = 0;  // height positive
  bool topDown = false;
  size_t stride = 0;
  size_t infoOffset = 0;  // the information header (BITMAPINFO)
  size_t bitsOffset = 0;
};

// Finds the picture of a 1-bit, uncompressed BMP file held whole in `file`;
// false when it is not one or its bits do not all lie in the bytes given
// (nothing is read past them).
bool parseOneBitBmp(const uint8_t *file, size_t size, OneBitBmp *bmp);

// The bits of a 1-bit picture turned by 180 degrees (both axes mirrored),
// in the same row layout; the padding bits of each row stay 0.
std::vector<uint8_t> rotateOneBitRows180(const uint8_t *bits, int width, int height, size_t stride);

// The bitmap stretched over the hologram card picture (1024 x 640, rows of
// 128 bytes from the top, nearest dot), bit values kept as the file has
// them; turned by 180 degrees when `rotated`.  False when the file is no
// 1-bit BMP whose bits it holds.
bool cardPictureFromBmp(const uint8_t *file, size_t size, bool rotated, std::vector<uint8_t> *picture);

}  // namespace card::cfg
