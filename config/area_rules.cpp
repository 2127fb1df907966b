#include "config/area_rules.h"

#include <cstring>

#include "config/dialogs/editor_ids.h"
#include "config/hologram.h"

namespace card::cfg {

namespace {

bool isOverlay(AreaKind kind) { return kind != AreaKind::Hologram; }

AreaLook look(AreaShape shape, AreaFill background, AreaFill area, AreaRect fixed = {}) {
  AreaLook l;
  l.shape = shape;
  l.background = background;
  l.area = area;
  l.fixed = fixed;
  return l;
}

constexpr AreaFill kB = AreaFill::Black;
constexpr AreaFill kW = AreaFill::White;

// The varnish types in record order.  The smart-card and stripe types leave
// their contacts or stripe bare on a fully varnished card.
const AreaLook kOverlayLooks[kOverlayTypeCount] = {
    look(AreaShape::WholeCard, kB, kB),
    look(AreaShape::WholeCard, kW, kW),
    look(AreaShape::Selected, kW, kB),
    look(AreaShape::Selected, kB, kW),
    look(AreaShape::Bitmap, kW, kW),
    look(AreaShape::Fixed, kB, kW, {85, 197, 279, 356}),  // ISO contacts
    look(AreaShape::Fixed, kB, kW, {85, 97, 243, 257}),   // AFNOR contacts
    look(AreaShape::Fixed, kB, kW, {0, 25, 1024, 196}),   // magnetic stripe
};

const AreaLook kHologramLooks[kHologramTypeCount] = {
    look(AreaShape::WholeCard, kB, kB),
    look(AreaShape::Selected, kW, kB),
    look(AreaShape::Selected, kB, kW),
    look(AreaShape::Bitmap, kW, kW),
};

uint16_t le16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t le32(const uint8_t *p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool bitAt(const uint8_t *row, int x) { return (row[x / 8] >> (7 - x % 8)) & 1; }
void setBit(uint8_t *row, int x) { row[x / 8] |= uint8_t(0x80 >> (x % 8)); }

}  // namespace

int areaTypeCount(AreaKind kind) { return isOverlay(kind) ? kOverlayTypeCount : kHologramTypeCount; }

bool areaLook(AreaKind kind, int type, AreaLook *out) {
  if (type < 0 || type >= areaTypeCount(kind)) return false;
  *out = isOverlay(kind) ? kOverlayLooks[type] : kHologramLooks[type];
  return true;
}

UINT areaTypeTextId(AreaKind kind, int type) {
  return UINT((isOverlay(kind) ? IDS_OVERLAY_TYPE_FIRST : IDS_HOLOGRAM_TYPE_FIRST) + type);
}

bool isSelectedAreaType(AreaKind kind, int type) {
  AreaLook l;
  return areaLook(kind, type, &l) && l.shape == AreaShape::Selected;
}

bool isBitmapType(AreaKind kind, int type) {
  AreaLook l;
  return areaLook(kind, type, &l) && l.shape == AreaShape::Bitmap;
}

int parseCoordinate(const WCHAR *text, size_t length) {
  int value = 0;
  for (size_t i = 0; i < length && i < kCoordinateChars; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

int32_t coordinateOf(const OverlayRecord &area, Coordinate which) {
  switch (which) {
    case Coordinate::Left: return area.left;
    case Coordinate::Top: return area.top;
    case Coordinate::Right: return area.right;
    case Coordinate::Bottom: return area.bottom;
  }
  return 0;
}

void setCoordinate(OverlayRecord *area, Coordinate which, int32_t value) {
  switch (which) {
    case Coordinate::Left: area->left = value; break;
    case Coordinate::Top: area->top = value; break;
    case Coordinate::Right: area->right = value; break;
    case Coordinate::Bottom: area->bottom = value; break;
  }
}

int upDownMax(Coordinate which) {
  return which == Coordinate::Left || which == Coordinate::Right ? kAreaUpDownMaxX : kAreaUpDownMaxY;
}

bool coordinateAccepted(const OverlayRecord &area, Coordinate which, int value) {
  if (value < 0) return false;
  switch (which) {
    case Coordinate::Left: return value <= kAreaMaxX && value <= area.right;
    case Coordinate::Top: return value <= kAreaMaxY && value <= area.bottom;
    case Coordinate::Right: return value <= kAreaMaxX && value >= area.left;
    case Coordinate::Bottom: return value <= kAreaMaxY && value >= area.top;
  }
  return false;
}

AreaRect previewRect(const AreaRect &groupClient, int bx, int by) {
  AreaRect p;
  p.left = bx * 10 / 4;
  p.top = by * 36 / 8 + 2;
  p.right = groupClient.right + p.left - bx * 4 / 3;
  p.bottom = groupClient.bottom + p.top - by * 4 / 3;
  return p;
}

AreaRect mapArea(const AreaRect &preview, const AreaRect &area, bool rotated) {
  const int pl = preview.left, pt = preview.top;
  const int pw = preview.right - preview.left, ph = preview.bottom - preview.top;
  // 64-bit products: a record from outside may hold any 32-bit edge.
  auto x = [&](int v) { return int(int64_t(pw) * v / kAreaCardWidth); };
  auto y = [&](int v) { return int(int64_t(ph) * v / kAreaCardHeight); };
  if (!rotated) return {pl + x(area.left), pt + y(area.top), pl + x(area.right) + 1, pt + y(area.bottom) + 1};
  return {pl + pw - x(area.right), pt + ph - y(area.bottom), pl + pw - x(area.left) + 1, pt + ph - y(area.top) + 1};
}

PreviewPlan previewPlan(AreaKind kind, const OverlayRecord &record, const AreaRect &preview) {
  PreviewPlan plan;
  AreaLook l;
  if (!areaLook(kind, record.type, &l)) return plan;
  plan.known = true;
  if (l.shape == AreaShape::Bitmap) {
    plan.bitmap = true;
    return plan;
  }
  plan.background = l.background;
  if (l.shape == AreaShape::WholeCard) return plan;
  plan.hasArea = true;
  plan.areaFill = l.area;
  const AreaRect area =
      l.shape == AreaShape::Fixed ? l.fixed : AreaRect{record.left, record.top, record.right, record.bottom};
  plan.area = mapArea(preview, area, isRotated(record));
  return plan;
}

// ------------------------------------------------------------ 1-bit bitmaps

int bmpBitCount(const uint8_t *file, size_t size) {
  if (!file || size < kBmpFileHeaderBytes + kBmpInfoHeaderBytes || file[0] != 'B' || file[1] != 'M') return -1;
  return le16(file + kBmpFileHeaderBytes + 14);
}

bool parseOneBitBmp(const uint8_t *file, size_t size, OneBitBmp *bmp) {
  if (bmpBitCount(file, size) != 1) return false;
  const uint8_t *info = file + kBmpFileHeaderBytes;
  const uint32_t infoSize = le32(info);
  const int32_t width = int32_t(le32(info + 4));
  const int32_t height = int32_t(le32(info + 8));
  const uint32_t compression = le32(info + 16);
  if (infoSize < kBmpInfoHeaderBytes || le16(info + 12) != 1 || compression != 0 /* BI_RGB */) return false;
  if (width <= 0 || height == 0 || height == INT32_MIN || width > 0x8000 || height > 0x8000 || height < -0x8000)
    return false;
  OneBitBmp b;
  b.width = width;
  b.height = height < 0 ? -height : height;
  b.topDown = height < 0;
  b.stride = (size_t(width) + 31) / 32 * 4;
  b.infoOffset = kBmpFileHeaderBytes;
  const size_t offBits = le32(file + 10);
  // The bits start where the file header says; an offset inside the headers
  // is taken as bits right after the two palette entries.
  const size_t afterPalette = kBmpFileHeaderBytes + infoSize + 8;
  b.bitsOffset = offBits >= afterPalette ? offBits : afterPalette;
  if (b.bitsOffset > size || (size - b.bitsOffset) / b.stride < size_t(b.height)) return false;
  *bmp = b;
  return true;
}

std::vector<uint8_t> rotateOneBitRows180(const uint8_t *bits, int width, int height, size_t stride) {
  std::vector<uint8_t> out(stride * size_t(height), 0);
  for (int y = 0; y < height; ++y) {
    const uint8_t *from = bits + size_t(y) * stride;
    uint8_t *to = out.data() + size_t(height - 1 - y) * stride;
    for (int x = 0; x < width; ++x)
      if (bitAt(from, x)) setBit(to, width - 1 - x);
  }
  return out;
}

bool cardPictureFromBmp(const uint8_t *file, size_t size, bool rotated, std::vector<uint8_t> *picture) {
  OneBitBmp bmp;
  if (!picture || !parseOneBitBmp(file, size, &bmp)) return false;
  picture->assign(kHologramPictureBytes, 0);
  const uint8_t *bits = file + bmp.bitsOffset;
  for (int y = 0; y < kHologramHeight; ++y) {
    const int sy = int(int64_t(y) * bmp.height / kHologramHeight);
    const uint8_t *row = bits + size_t(bmp.topDown ? sy : bmp.height - 1 - sy) * bmp.stride;
    uint8_t *to = picture->data() + size_t(y) * kHologramRowBytes;
    for (int x = 0; x < kHologramWidth; ++x)
      if (bitAt(row, int(int64_t(x) * bmp.width / kHologramWidth))) setBit(to, x);
  }
  if (rotated) rotateHologramPicture180(picture->data(), picture->size());
  return true;
}

}  // namespace card::cfg
