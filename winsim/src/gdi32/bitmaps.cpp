// Bitmaps and DIB sections, and the conversions to and from DIBs.
#include <algorithm>
#include <cmath>
#include <cstring>

#include <winspool.h>

#include "core/internal.h"
#include "gdi32/gdi.h"

using namespace winsim;
using namespace winsim::gdi;

extern "C" {

// ------------------------------------------------------------ bitmaps

HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount, const VOID *lpBits) {
  if (nWidth <= 0 || nHeight <= 0 || nPlanes != 1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  BITMAPINFOHEADER bih{};
  bih.biBitCount = WORD(nBitCount);
  ULONG fmt;
  if (!bitmapInfoOf(bih, fmt)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Surface *s = createSurface(nWidth, nHeight, fmt, true);
  if (!s) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (lpBits) {
    // Device-dependent bits: rows top-down, padded to 16 bits.
    size_t rowIn = ((size_t(nWidth) * nBitCount + 15) / 16) * 2;
    size_t rowOut = size_t(s->so.lDelta);
    for (LONG y = 0; y < nHeight; ++y)
      std::memcpy(scan(&s->so, y), static_cast<const BYTE *>(lpBits) + rowIn * size_t(y), std::min(rowIn, rowOut));
  }
  auto *b = addObj(new BitmapObj, OBJ_BITMAP);
  b->setSurface(s);
  return static_cast<HBITMAP>(b->handle);
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
  DcObj *dc = dcOf(hdc);
  if (!dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  UINT bpp = 24;
  if (dc->memory && dc->st.bitmap && dc->st.bitmap->surf)
    bpp = UINT(bitsPerPixel(dc->st.bitmap->surf->so.iBitmapFormat));
  if (bpp == 1 && dc->memory) return CreateBitmap(cx, cy, 1, 1, nullptr);
  return CreateBitmap(cx, cy, 1, bpp == 1 ? 1 : 24, nullptr);
}

HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO *pbmi, UINT usage, VOID **ppvBits, HANDLE hSection,
                                DWORD offset) {
  (void)hdc;
  (void)hSection;
  (void)offset;
  if (ppvBits) *ppvBits = nullptr;
  if (!pbmi) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const BITMAPINFOHEADER &h = pbmi->bmiHeader;
  ULONG fmt;
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN ||
      !bitmapInfoOf(h, fmt) || (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  LONG height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  Surface *s = createSurface(h.biWidth, height, fmt, h.biHeight < 0);
  if (!s) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (h.biBitCount <= 8) {
    ULONG n = h.biClrUsed ? std::min<ULONG>(h.biClrUsed, 1u << h.biBitCount) : (1u << h.biBitCount);
    const BYTE *tab = reinterpret_cast<const BYTE *>(pbmi) + h.biSize;
    for (ULONG i = 0; i < n; ++i) {
      if (usage == DIB_PAL_COLORS) {
        ULONG g = reinterpret_cast<const WORD *>(tab)[i] >= 255 ? 255 : reinterpret_cast<const WORD *>(tab)[i];
        s->colors.push_back((g << 16) | (g << 8) | g);
      } else {
        const RGBQUAD &q = reinterpret_cast<const RGBQUAD *>(tab)[i];
        s->colors.push_back((ULONG(q.rgbRed) << 16) | (ULONG(q.rgbGreen) << 8) | q.rgbBlue);
      }
    }
  }
  auto *b = addObj(new BitmapObj, OBJ_BITMAP);
  b->setSurface(s);
  b->dib = true;
  b->bih = h;
  b->bih.biSize = sizeof(BITMAPINFOHEADER);
  b->bih.biSizeImage = s->so.cjBits;
  if (ppvBits) *ppvBits = s->so.pvBits;
  return static_cast<HBITMAP>(b->handle);
}

int WINAPI GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits, LPBITMAPINFO lpbmi, UINT usage) {
  (void)usage;
  auto *b = obj<BitmapObj>(hbm, OBJ_BITMAP);
  if (!dcOf(hdc) || !b || !b->surf || !lpbmi) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const SURFOBJ &so = b->surf->so;
  BITMAPINFOHEADER &h = lpbmi->bmiHeader;
  if (h.biSize < sizeof(BITMAPINFOHEADER)) return 0;
  if (!lpvBits && h.biBitCount == 0) {
    // Describe the bitmap.
    h.biWidth = so.sizlBitmap.cx;
    h.biHeight = (so.fjBitmap & BMF_TOPDOWN) && b->dib ? -so.sizlBitmap.cy : so.sizlBitmap.cy;
    h.biPlanes = 1;
    h.biBitCount = WORD(bitsPerPixel(so.iBitmapFormat));
    h.biCompression = BI_RGB;
    h.biSizeImage = ULONG(((int64_t(h.biWidth) * h.biBitCount + 31) / 32) * 4 * so.sizlBitmap.cy);
    return 1;
  }
  ULONG fmt;
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN || !bitmapInfoOf(h, fmt) ||
      (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS))
    return 0;
  // The colour table of the requested format comes with the bits.
  RGBQUAD *tab = reinterpret_cast<RGBQUAD *>(reinterpret_cast<BYTE *>(lpbmi) + h.biSize);
  std::vector<ULONG> colors;
  if (h.biBitCount <= 8) {
    ULONG n = 1u << h.biBitCount;
    if (!b->surf->colors.empty() && bitsPerPixel(so.iBitmapFormat) == h.biBitCount)
      colors = b->surf->colors;
    else if (h.biBitCount == 1)
      colors = {0x000000, 0xFFFFFF};
    else
      for (ULONG i = 0; i < n; ++i) {
        ULONG g = i * 255 / (n - 1);
        colors.push_back((g << 16) | (g << 8) | g);
      }
    colors.resize(n, 0);
    for (ULONG i = 0; i < n; ++i)
      tab[i] = RGBQUAD{BYTE(colors[i] & 0xFF), BYTE((colors[i] >> 8) & 0xFF), BYTE((colors[i] >> 16) & 0xFF), 0};
    h.biClrUsed = 0;
  }
  if (!lpvBits) return int(so.sizlBitmap.cy);
  LONG height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  LONG rows = std::min<LONG>(height, so.sizlBitmap.cy);
  if (start >= UINT(rows)) return 0;
  cLines = std::min<UINT>(cLines, UINT(rows) - start);
  LONG stride = LONG(((int64_t(h.biWidth) * h.biBitCount + 31) / 32) * 4);
  Surface *dst = createSurface(h.biWidth, LONG(cLines), fmt, true, lpvBits, stride);
  if (!dst) return 0;
  dst->colors = colors;
  Xlate x;
  TransientGuard xg(&x);
  buildXlate(x, b->surf, dst, nullptr, 0, 0xFFFFFF);
  bool topDown = h.biHeight < 0;
  LONG w = std::min<LONG>(h.biWidth, so.sizlBitmap.cx);
  for (UINT i = 0; i < cLines; ++i) {
    // Scan line start + i: from the bottom in bottom-up output.
    LONG srcRow = topDown ? LONG(start + i) : so.sizlBitmap.cy - 1 - LONG(start + i);
    LONG dstRow = topDown ? LONG(i) : LONG(i);
    if (srcRow < 0 || srcRow >= so.sizlBitmap.cy) continue;
    for (LONG col = 0; col < w; ++col) putPixel(&dst->so, col, dstRow, xlate(&x.xo, getPixel(&so, col, srcRow)));
  }
  destroySurface(dst);
  return int(cLines);
}

int WINAPI SetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, const VOID *lpBits, const BITMAPINFO *lpbmi,
                     UINT ColorUse) {
  auto *b = obj<BitmapObj>(hbm, OBJ_BITMAP);
  if (!b || !b->surf || !lpBits || !lpbmi) return 0;
  HDC mem = CreateCompatibleDC(hdc);
  HGDIOBJ old = SelectObject(mem, hbm);
  if (!old) {
    DeleteDC(mem);
    return 0;
  }
  LONG w = lpbmi->bmiHeader.biWidth;
  LONG fullH = lpbmi->bmiHeader.biHeight < 0 ? -lpbmi->bmiHeader.biHeight : lpbmi->bmiHeader.biHeight;
  int n = SetDIBitsToDevice(mem, 0, 0, DWORD(std::max<LONG>(w, 0)), DWORD(fullH), 0, 0, start, cLines, lpBits, lpbmi,
                            ColorUse);
  SelectObject(mem, old);
  DeleteDC(mem);
  return n;
}

BOOL WINAPI GdiFlush(void) { return TRUE; }

}  // extern "C"
