// Fonts of the graphics engine: TrueType faces rasterised by FreeType into the
// 1-bit glyph bitmaps that printer drivers receive.  Windows face names are
// mapped onto the DejaVu families (sans, serif, monospace), searched in the
// test's font folder, the virtual drive's Fonts folder and the system's.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <sys/stat.h>

#include <cstring>
#include <map>
#include <memory>

#include "gdi32/engine/engine.h"
#include "core/internal.h"

namespace winsim::gdi {

struct FontFace {
  FT_Face face = nullptr;
  std::string file;
  LONG emHeight = 0;
  LONG emWidth = 0;
  LONG ascent = 0, descent = 0, maxAdvance = 0, avgWidth = 0;
  ULONG uniq = 0;
  std::map<HGLYPH, std::vector<BYTE>> bits;
  std::map<HGLYPH, LONG> advances;
  std::vector<BYTE> glyphSetBlob;
};

namespace {

std::mutex g_fontLock;
FT_Library g_ft = nullptr;
std::map<std::string, std::unique_ptr<FontFace>> g_faces;
std::string g_fontFolder;
ULONG g_faceUniq = 1;

enum class Family { Sans, Serif, Mono };

Family familyOf(const std::u16string &name) {
  std::u16string n = upper(name);
  static const char16_t *const serif[] = {u"TIMES NEW ROMAN",   u"TIMES",        u"GEORGIA",
                                          u"CAMBRIA",           u"GARAMOND",     u"BOOK ANTIQUA",
                                          u"PALATINO LINOTYPE", u"DEJAVU SERIF", u"SERIF"};
  static const char16_t *const mono[] = {u"COURIER NEW",      u"COURIER",   u"CONSOLAS",       u"LUCIDA CONSOLE",
                                         u"DEJAVU SANS MONO", u"MONOSPACE", u"OCR A EXTENDED", u"OCR-B"};
  for (const char16_t *s : serif)
    if (n == s) return Family::Serif;
  for (const char16_t *s : mono)
    if (n == s) return Family::Mono;
  return Family::Sans;
}

std::string fileName(Family f, bool bold, bool italic) {
  std::string base = f == Family::Serif ? "DejaVuSerif" : f == Family::Mono ? "DejaVuSansMono" : "DejaVuSans";
  if (!bold && !italic) return base + ".ttf";
  std::string slant = f == Family::Serif ? "Italic" : "Oblique";
  if (bold && italic) return base + "-Bold" + slant + ".ttf";
  return base + (bold ? "-Bold" : "-" + slant) + ".ttf";
}

bool exists(const std::string &p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string findFile(const std::string &name) {
  std::vector<std::string> dirs;
  if (!g_fontFolder.empty()) dirs.push_back(g_fontFolder);
  if (const char *e = ::getenv("WINSIM_FONT_DIR")) dirs.push_back(e);
  std::string host = hostPath(u"C:\\Windows\\Fonts");
  if (!host.empty()) dirs.push_back(host);
  dirs.push_back("/usr/share/fonts/truetype/dejavu");
  for (const std::string &d : dirs) {
    std::string p = d + "/" + name;
    if (exists(p)) return p;
    // The virtual drive resolves names without regard to case.
    std::string q = hostPath(u"C:\\Windows\\Fonts\\" + toUtf16(name));
    if (d == host && !q.empty() && exists(q)) return q;
  }
  return {};
}

LONG ceil26(FT_Pos v) { return LONG((v + 63) >> 6); }

}  // namespace

void setFontFolder(const std::string &dir) {
  std::lock_guard<std::mutex> g(g_fontLock);
  g_fontFolder = dir;
}

FontFace *openFace(const FontRequest &req) {
  std::lock_guard<std::mutex> g(g_fontLock);
  if (!g_ft && FT_Init_FreeType(&g_ft) != 0) return nullptr;
  Family fam = familyOf(req.face);
  bool bold = req.weight >= 600;
  std::string file = findFile(fileName(fam, bold, req.italic));
  if (file.empty()) file = findFile(fileName(fam, false, false));
  if (file.empty()) file = findFile("DejaVuSans.ttf");
  if (file.empty()) return nullptr;
  LONG h = req.height;
  std::string key = file + "|" + std::to_string(h) + "|" + std::to_string(req.width);
  auto it = g_faces.find(key);
  if (it != g_faces.end()) return it->second.get();
  auto f = std::make_unique<FontFace>();
  if (FT_New_Face(g_ft, file.c_str(), 0, &f->face) != 0) return nullptr;
  FT_Select_Charmap(f->face, FT_ENCODING_UNICODE);
  FT_Face face = f->face;
  LONG upem = face->units_per_EM ? face->units_per_EM : 2048;
  LONG winAscent = face->ascender, winDescent = -face->descender;
  if (auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2))) {
    if (os2->usWinAscent || os2->usWinDescent) {
      winAscent = os2->usWinAscent;
      winDescent = os2->usWinDescent;
    }
  }
  // A positive height is the character cell (ascent plus descent), a
  // negative one the em height, as in LOGFONT.
  LONG em;
  if (h < 0)
    em = -h;
  else if (h > 0)
    em = LONG((int64_t(h) * upem + (winAscent + winDescent) / 2) / std::max<LONG>(1, winAscent + winDescent));
  else
    em = 16;
  em = std::clamp<LONG>(em, 1, 4000);
  LONG emw = em;
  if (req.width > 0) {
    // The width asks for an average character width: scale horizontally.
    FT_Set_Pixel_Sizes(face, 0, FT_UInt(em));
    LONG avg = 0;
    if (auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2)))
      avg = LONG(int64_t(os2->xAvgCharWidth) * em / upem);
    if (avg > 0) emw = std::clamp<LONG>(LONG(int64_t(em) * req.width / avg), 1, 4000);
  }
  if (FT_Set_Pixel_Sizes(face, FT_UInt(emw), FT_UInt(em)) != 0) {
    FT_Done_Face(face);
    return nullptr;
  }
  f->file = file;
  f->emHeight = em;
  f->emWidth = emw;
  f->ascent = LONG((int64_t(winAscent) * em + upem - 1) / upem);
  f->descent = LONG((int64_t(winDescent) * em + upem - 1) / upem);
  f->maxAdvance = ceil26(face->size->metrics.max_advance);
  f->avgWidth = f->maxAdvance / 2;
  if (auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2)))
    if (os2->xAvgCharWidth > 0) f->avgWidth = LONG((int64_t(os2->xAvgCharWidth) * emw + upem / 2) / upem);
  f->uniq = g_faceUniq++;
  FontFace *raw = f.get();
  g_faces[key] = std::move(f);
  return raw;
}

void releaseFaces() {
  std::lock_guard<std::mutex> g(g_fontLock);
  for (auto &kv : g_faces) FT_Done_Face(kv.second->face);
  g_faces.clear();
  g_fontFolder.clear();
}

HGLYPH glyphIndex(FontFace *f, char16_t c) {
  if (!f) return 0;
  std::lock_guard<std::mutex> g(g_fontLock);
  return FT_Get_Char_Index(f->face, FT_ULong(c));
}

namespace {

// Loads and renders a glyph into the cache; the glyph lock is held.
void loadGlyph(FontFace *f, HGLYPH gi) {
  if (f->bits.count(gi)) return;
  std::vector<BYTE> blob(sizeof(GLYPHBITS), 0);
  LONG advance = 0;
  if (gi < HGLYPH(f->face->num_glyphs) &&
      FT_Load_Glyph(f->face, FT_UInt(gi), FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) == 0) {
    FT_GlyphSlot slot = f->face->glyph;
    advance = LONG((slot->advance.x + 32) >> 6);
    const FT_Bitmap &bm = slot->bitmap;
    LONG w = LONG(bm.width), h = LONG(bm.rows);
    if (w > 0 && h > 0 && bm.pixel_mode == FT_PIXEL_MODE_MONO) {
      LONG stride = (w + 7) / 8;
      blob.assign(offsetof(GLYPHBITS, aj) + size_t(stride) * size_t(h) + 4, 0);
      auto *gb = reinterpret_cast<GLYPHBITS *>(blob.data());
      gb->ptlOrigin.x = slot->bitmap_left;
      gb->ptlOrigin.y = -slot->bitmap_top;
      gb->sizlBitmap.cx = w;
      gb->sizlBitmap.cy = h;
      for (LONG row = 0; row < h; ++row) {
        const BYTE *srow = bm.buffer + intptr_t(row) * bm.pitch;
        std::memcpy(gb->aj + size_t(row) * size_t(stride), srow, size_t(stride));
      }
    }
  }
  f->bits[gi] = std::move(blob);
  f->advances[gi] = advance;
}

}  // namespace

LONG glyphAdvance(FontFace *f, HGLYPH g) {
  if (!f) return 0;
  std::lock_guard<std::mutex> lk(g_fontLock);
  loadGlyph(f, g);
  return f->advances[g];
}

GLYPHBITS *glyphBits(FontFace *f, HGLYPH g) {
  if (!f) return nullptr;
  std::lock_guard<std::mutex> lk(g_fontLock);
  loadGlyph(f, g);
  return reinterpret_cast<GLYPHBITS *>(f->bits[g].data());
}

FD_GLYPHSET *glyphSet(FontFace *f) {
  if (!f) return nullptr;
  std::lock_guard<std::mutex> lk(g_fontLock);
  if (f->glyphSetBlob.empty()) {
    // Runs of consecutive characters of the font's Unicode map, each with
    // the glyph handles (glyph indices) of its characters.
    struct Run {
      WCHAR low;
      std::vector<HGLYPH> glyphs;
    };
    std::vector<Run> runs;
    FT_UInt gi;
    FT_ULong c = FT_Get_First_Char(f->face, &gi);
    while (gi != 0 && c <= 0xFFFF) {
      if (!runs.empty() && runs.back().low + runs.back().glyphs.size() == c && runs.back().glyphs.size() < 0xFFFF)
        runs.back().glyphs.push_back(gi);
      else
        runs.push_back(Run{WCHAR(c), {gi}});
      c = FT_Get_Next_Char(f->face, c, &gi);
    }
    size_t head = offsetof(FD_GLYPHSET, awcrun) + sizeof(WCRUN) * std::max<size_t>(runs.size(), 1);
    size_t total = head;
    for (auto &r : runs) total += r.glyphs.size() * sizeof(HGLYPH);
    f->glyphSetBlob.assign(total, 0);
    auto *gs = reinterpret_cast<FD_GLYPHSET *>(f->glyphSetBlob.data());
    gs->cjThis = ULONG(total);
    gs->flAccel = GS_16BIT_HANDLES;
    gs->cRuns = ULONG(runs.size());
    auto *hg = reinterpret_cast<HGLYPH *>(f->glyphSetBlob.data() + head);
    ULONG count = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
      gs->awcrun[i].wcLow = runs[i].low;
      gs->awcrun[i].cGlyphs = USHORT(runs[i].glyphs.size());
      gs->awcrun[i].phg = hg;
      for (HGLYPH h : runs[i].glyphs) *hg++ = h;
      count += ULONG(runs[i].glyphs.size());
    }
    gs->cGlyphsSupported = count;
  }
  return reinterpret_cast<FD_GLYPHSET *>(f->glyphSetBlob.data());
}

LONG faceAscent(FontFace *f) { return f ? f->ascent : 0; }
LONG faceDescent(FontFace *f) { return f ? f->descent : 0; }
LONG faceHeight(FontFace *f) { return f ? f->ascent + f->descent : 0; }
LONG faceMaxAdvance(FontFace *f) { return f ? f->maxAdvance : 0; }
LONG faceAverageWidth(FontFace *f) { return f ? f->avgWidth : 0; }
ULONG faceGlyphCount(FontFace *f) { return f ? ULONG(f->face->num_glyphs) : 0; }
ULONG faceUniq(FontFace *f) { return f ? f->uniq : 0; }

}  // namespace winsim::gdi

using namespace winsim;
using namespace winsim::gdi;

extern "C" {

FD_GLYPHSET *APIENTRY FONTOBJ_pfdg(FONTOBJ *pfo) {
  Font *f = fontFromObj(pfo);
  return f ? glyphSet(f->face) : nullptr;
}

ULONG APIENTRY FONTOBJ_cGetGlyphs(FONTOBJ *pfo, ULONG iMode, ULONG cGlyph, HGLYPH *phg, PVOID *ppvGlyph) {
  Font *f = fontFromObj(pfo);
  if (ppvGlyph) *ppvGlyph = nullptr;
  if (!f || !f->face || iMode != FO_GLYPHBITS || cGlyph != 1 || !phg || !ppvGlyph) return 0;
  GLYPHBITS *gb = glyphBits(f->face, *phg);
  if (!gb) return 0;
  f->scratchDef.pgb = gb;
  f->scratch = GLYPHDATA{};
  f->scratch.gdf = f->scratchDef;
  f->scratch.hg = *phg;
  LONG adv = glyphAdvance(f->face, *phg);
  f->scratch.fxD = adv << 4;
  f->scratch.fxA = gb->ptlOrigin.x << 4;
  f->scratch.fxAB = (gb->ptlOrigin.x + gb->sizlBitmap.cx) << 4;
  f->scratch.fxInkTop = -gb->ptlOrigin.y << 4;
  f->scratch.fxInkBottom = (-gb->ptlOrigin.y - gb->sizlBitmap.cy) << 4;
  f->scratch.rclInk =
      RECTL{gb->ptlOrigin.x, gb->ptlOrigin.y, gb->ptlOrigin.x + gb->sizlBitmap.cx, gb->ptlOrigin.y + gb->sizlBitmap.cy};
  f->scratch.ptqD.x.QuadPart = LONGLONG(adv) << 32;
  *ppvGlyph = &f->scratch;
  return 1;
}

ULONG APIENTRY FONTOBJ_cGetAllGlyphHandles(FONTOBJ *pfo, HGLYPH *phg) {
  Font *f = fontFromObj(pfo);
  if (!f) return 0;
  FD_GLYPHSET *gs = glyphSet(f->face);
  if (!gs) return 0;
  if (phg) {
    ULONG k = 0;
    for (ULONG r = 0; r < gs->cRuns; ++r)
      for (USHORT i = 0; i < gs->awcrun[r].cGlyphs; ++i) phg[k++] = gs->awcrun[r].phg[i];
  }
  return gs->cGlyphsSupported;
}

VOID APIENTRY FONTOBJ_vGetInfo(FONTOBJ *pfo, ULONG cjSize, FONTINFO *pfi) {
  if (!pfi || cjSize == 0) return;
  FONTINFO fi{};
  fi.cjThis = sizeof(FONTINFO);
  Font *f = fontFromObj(pfo);
  if (f && f->face) {
    FD_GLYPHSET *gs = glyphSet(f->face);
    fi.cGlyphsSupported = gs ? gs->cGlyphsSupported : 0;
    ULONG maxBytes = ULONG(((faceMaxAdvance(f->face) + 7) / 8 + 1) * (faceHeight(f->face) + 2));
    fi.cjMaxGlyph1 = maxBytes + ULONG(offsetof(GLYPHBITS, aj));
  }
  std::memcpy(pfi, &fi, std::min<size_t>(cjSize, sizeof(FONTINFO)));
}

}  // extern "C"
