// Internals of winsim's graphics engine: the engine objects behind the DDI
// structures (each public structure is the first member of its engine object,
// so that a pointer handed to a driver leads back to the object), the pixel
// access of the standard bitmap formats, and what the application side of GDI
// shares with the engine.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include <windows.h>
#include <winddi.h>

#include "core/internal.h"

namespace winsim::gdi {

// ------------------------------------------------------------ surfaces
struct Palette;

// A surface is a handle of the process's table (its HSURF, SURFOBJ::hsurf);
// the engine also knows the address of its SURFOBJ, which drivers are handed.
struct Surface : KObject {
  Surface() : KObject(Kind::EngSurface) {}
  ~Surface() override;
  SURFOBJ so{};
  BYTE *owned = nullptr;  // bits the engine allocated
  FLONG hooks = 0;        // from EngAssociateSurface
  int locks = 0;
  bool device = false;  // associated with a PDEV
  // Colour table of indexed formats (DIB sections, monochrome bitmaps):
  // 0x00RRGGBB entries.  Empty for the direct formats.
  std::vector<ULONG> colors;
};

// Surface from a handle of the calling process or a SURFOBJ the engine made;
// NULL when unknown.
Surface *surfaceFromHandle(HSURF h);
Surface *surfaceFromObj(SURFOBJ *so);
// Creates an engine-owned bitmap surface (zero-filled) with its handle; NULL
// on bad sizes or when memory is short.  Negative heights are not accepted
// here.
Surface *createSurface(LONG cx, LONG cy, ULONG format, bool topDown, PVOID bits = nullptr, LONG stride = 0);
// Closes the surface's handle, which frees it unless a reference is held.
void destroySurface(Surface *s);
int bitsPerPixel(ULONG format);

// Pixel access in the surface's own colour-index space: palette indices for
// the indexed formats, 0x00RRGGBB for 24 and 32 bits per pixel, the raw word
// for 16.  Callers clip to the surface first.
inline BYTE *scan(const SURFOBJ *so, LONG y) {
  return static_cast<BYTE *>(so->pvScan0) + static_cast<intptr_t>(y) * so->lDelta;
}
ULONG getPixel(const SURFOBJ *so, LONG x, LONG y);
void putPixel(SURFOBJ *so, LONG x, LONG y, ULONG v);

// ------------------------------------------------------------ palettes
// An engine palette is a handle of the process's table (HPALETTE).
struct Palette : KObject {
  Palette() : KObject(Kind::EngPalette) {}
  ULONG mode = PAL_BGR;
  std::vector<ULONG> entries;  // PAL_INDEXED: 0x00RRGGBB as given
  FLONG red = 0, green = 0, blue = 0;
};
Palette *paletteFromHandle(HPALETTE h);

// Colour index of a COLORREF in a format with an optional palette: direct
// formats take 0x00RRGGBB, PAL_RGB takes the COLORREF itself, indexed formats
// the nearest entry.
ULONG colorToIndex(COLORREF c, ULONG format, const Palette *pal, const std::vector<ULONG> *table);
// 0x00RRGGBB of an index of a surface (indexed surfaces through their table).
ULONG indexToRgb(const Surface *s, ULONG index);

// ------------------------------------------------------------ clip objects
constexpr uint32_t kClipMagic = 0x434C4950;  // "CLIP"

struct Clip {
  CLIPOBJ co{};
  uint32_t magic = kClipMagic;
  std::vector<RECTL> rects;  // DC_COMPLEX: disjoint rectangles
  std::vector<RECTL> order;  // enumeration order
  size_t next = 0;
  bool enumStarted = false;
};
Clip *clipFromObj(CLIPOBJ *co);
// Sets a clip object to the intersection of a list of disjoint rectangles
// with a bounding rectangle, choosing DC_TRIVIAL/DC_RECT/DC_COMPLEX.
void setClip(Clip &c, const std::vector<RECTL> &rects, const RECTL &bounds, bool trivialIfInside);
// The rectangles (in destination coordinates) that a drawing operation may
// touch: the clip object's region intersected with the surface and `limit`.
std::vector<RECTL> clipRects(CLIPOBJ *pco, const SURFOBJ *dst, const RECTL &limit);

// ------------------------------------------------------------ brushes
constexpr uint32_t kBrushMagic = 0x42525348;  // "BRSH"

struct Brush {
  BRUSHOBJ bo{};
  uint32_t magic = kBrushMagic;
  // Pattern brushes: colour indices of the destination format, with a
  // background flag per pixel for hatch brushes (drawn or left by the mix).
  LONG cx = 0, cy = 0;
  std::vector<ULONG> pattern;
  std::vector<BYTE> background;
  void *driverRbrush = nullptr;
};
Brush *brushFromObj(BRUSHOBJ *bo);
void registerBrush(Brush *b);
void unregisterBrush(Brush *b);

// ------------------------------------------------------------ colour translation
constexpr uint32_t kXlateMagic = 0x584C4154;  // "XLAT"

struct Xlate {
  XLATEOBJ xo{};
  uint32_t magic = kXlateMagic;
  std::vector<ULONG> table;  // XO_TABLE
  // Non-table translation: source index to RGB, RGB to destination index.
  const Surface *src = nullptr;
  ULONG dstFormat = BMF_24BPP;
  const Palette *dstPalette = nullptr;
  const std::vector<ULONG> *dstTable = nullptr;
  // XO_TO_MONO: source colour that becomes 1 (the background colour).
  ULONG monoBackground = 0xFFFFFF;
  std::vector<ULONG> srcPal;  // source palette as RGB for XLATEOBJ_cGetPalette
};
// Builds the translation from a source surface to a destination format;
// trivial when both index spaces are the same.
void buildXlate(Xlate &x, const Surface *src, const Surface *dst, const Palette *dstPal, COLORREF monoFore,
                COLORREF monoBack);
ULONG xlate(XLATEOBJ *pxlo, ULONG index);

// ------------------------------------------------------------ paths
constexpr uint32_t kPathMagic = 0x50415448;  // "PATH"

struct SubPath {
  std::vector<POINTFIX> pts;
  bool closed = false;
};
struct Path {
  PATHOBJ po{};
  uint32_t magic = kPathMagic;
  std::vector<SubPath> subpaths;
  size_t next = 0;
  void update();
};
Path *pathFromObj(PATHOBJ *po);

// ------------------------------------------------------------ fonts and strings
struct FontFace;  // FreeType face at one pixel size (fonts.cpp)

constexpr uint32_t kFontMagic = 0x464F4E54;  // "FONT"
constexpr uint32_t kStrMagic = 0x5354524F;   // "STRO"

struct Font {
  FONTOBJ fo{};
  uint32_t magic = kFontMagic;
  FontFace *face = nullptr;
  GLYPHDATA scratch{};  // what FONTOBJ_cGetGlyphs hands out
  GLYPHDEF scratchDef{};
};
Font *fontFromObj(FONTOBJ *fo);

struct Str {
  STROBJ so{};
  uint32_t magic = kStrMagic;
  std::vector<GLYPHPOS> glyphs;
  std::vector<WCHAR> text;
  Font *font = nullptr;
  size_t next = 0;
};
Str *strFromObj(STROBJ *so);

// Font service (fonts.cpp).
struct FontRequest {
  std::u16string face;
  LONG height = 0;  // pixels, em height when negative as in LOGFONT
  LONG width = 0;
  LONG weight = FW_NORMAL;
  bool italic = false;
};
FontFace *openFace(const FontRequest &req);  // cached; NULL when no font file is found
void releaseFaces();
// Host folder searched first for font files (a test may point it elsewhere).
void setFontFolder(const std::string &dir);
// Glyph index of a character (0 when missing), advance in pixels, glyph bits
// (1 bpp, rows padded to bytes; owned by the face).
HGLYPH glyphIndex(FontFace *f, char16_t c);
LONG glyphAdvance(FontFace *f, HGLYPH g);
GLYPHBITS *glyphBits(FontFace *f, HGLYPH g);
FD_GLYPHSET *glyphSet(FontFace *f);
LONG faceAscent(FontFace *f);
LONG faceDescent(FontFace *f);
LONG faceHeight(FontFace *f);
LONG faceMaxAdvance(FontFace *f);
LONG faceAverageWidth(FontFace *f);
ULONG faceGlyphCount(FontFace *f);
ULONG faceUniq(FontFace *f);

// ------------------------------------------------------------ raster operations
// Result of a ROP3 on pattern, source and destination index values, bit by bit.
inline ULONG rop3(BYTE rop, ULONG p, ULONG s, ULONG d) {
  ULONG r = 0;
  if (rop & 0x01) r |= ~p & ~s & ~d;
  if (rop & 0x02) r |= ~p & ~s & d;
  if (rop & 0x04) r |= ~p & s & ~d;
  if (rop & 0x08) r |= ~p & s & d;
  if (rop & 0x10) r |= p & ~s & ~d;
  if (rop & 0x20) r |= p & ~s & d;
  if (rop & 0x40) r |= p & s & ~d;
  if (rop & 0x80) r |= p & s & d;
  return r;
}
// The ROP3 equivalent of a binary raster operation (R2_...), from its truth
// table over pen and destination.
BYTE rop3FromMix(ULONG r2);
inline bool ropUsesSource(BYTE r) { return ((r >> 2) & 0x33) != (r & 0x33); }
inline bool ropUsesPattern(BYTE r) { return ((r >> 4) & 0x0F) != (r & 0x0F); }
inline bool ropUsesDest(BYTE r) { return ((r >> 1) & 0x55) != (r & 0x55); }

// Pattern colour of a brush at a destination pixel.
ULONG brushAt(BRUSHOBJ *pbo, const POINTL *org, LONG x, LONG y, bool *isBackground);

// Fills a polygon set (FIX coordinates) with a brush; the engine's fill and
// stroke primitives that the GDI side also uses.
// Outline polygons of a wide line along a figure (round joins and ends).
std::vector<std::vector<POINTFIX>> widen(const std::vector<POINTFIX> &pts, bool closed, double width);
bool fillPolygons(SURFOBJ *pso, const std::vector<std::vector<POINTFIX>> &polys, CLIPOBJ *pco, BRUSHOBJ *pbo,
                  POINTL *org, MIX mix, bool winding);

// ------------------------------------------------------------ devices
// What the engine knows of a PDEV (an HDEV is a pointer to one): made by the
// application side when it enables a driver.
constexpr uint32_t kDeviceMagic = 0x50444556;  // "PDEV"
struct Device {
  uint32_t magic = kDeviceMagic;
  DHPDEV dhpdev = nullptr;
  HANDLE printer = nullptr;
  HPALETTE palette = nullptr;
  std::u16string driverPath;
  std::u16string dataFile;
};
Device *deviceFromHandle(HDEV h);
void registerDevice(Device *d);
void unregisterDevice(Device *d);

// Objects the application side builds for one call (clip, brush, colour
// translation, path, string) are made known to the engine for that call.
void registerTransient(const void *p);
void unregisterTransient(const void *p);
struct TransientGuard {
  explicit TransientGuard(const void *p) : p_(p) { registerTransient(p_); }
  ~TransientGuard() { unregisterTransient(p_); }
  TransientGuard(const TransientGuard &) = delete;
  TransientGuard &operator=(const TransientGuard &) = delete;
  const void *p_;
};

// One lock over the engine's object tables.
std::recursive_mutex &engineLock();
// The engine's table of the objects it made, so that a pointer it did not
// make is recognised.
void addLive(const void *p);
void removeLive(const void *p);
bool isLive(const void *p);
template <typename T>
T *lookupLive(const void *p) {
  return isLive(p) ? static_cast<T *>(const_cast<void *>(p)) : nullptr;
}

// Resets the GDI side between tests (gdi.cpp).
void resetGdi();

}  // namespace winsim::gdi
