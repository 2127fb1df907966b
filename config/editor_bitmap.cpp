#include "config/editor_bitmap.h"

#include <commdlg.h>

#include <cstring>

#include "config/dialogs/editor_ids.h"
#include "config/messages.h"

namespace card::cfg {

namespace {

// The open-file dialog's path buffer, as the system's own paths go.
constexpr DWORD kChoicePathChars = MAX_PATH;

// A BITMAPINFO with room for the two colours of a 1-bit picture.
struct OneBitInfo {
  BITMAPINFOHEADER header;
  RGBQUAD colours[2];
};

}  // namespace

bool readFileBytes(LPCWSTR path, size_t limit, std::vector<uint8_t> *out) {
  out->clear();
  if (!path || !*path) return false;
  HANDLE file =
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  uint8_t chunk[4096];
  while (out->size() < limit) {
    DWORD want = DWORD(limit - out->size() < sizeof chunk ? limit - out->size() : sizeof chunk), got = 0;
    if (!ReadFile(file, chunk, want, &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    out->insert(out->end(), chunk, chunk + got);
  }
  CloseHandle(file);
  return ok;
}

bool chooseOneBitBitmap(HWND owner, WCHAR *path, size_t pathChars) {
  for (;;) {
    WCHAR chosen[kChoicePathChars] = {};
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = TEXT("Bitmap FIles(*.bmp)\0*.bmp\0");
    ofn.lpstrFile = chosen;
    ofn.nMaxFile = kChoicePathChars;
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameW(&ofn)) return false;
    std::vector<uint8_t> head;
    if (!readFileBytes(chosen, kBmpFileHeaderBytes + kBmpInfoHeaderBytes, &head)) return false;
    if (bmpBitCount(head.data(), head.size()) == 1) {
      size_t n = 0;
      while (chosen[n] && n + 1 < pathChars) {
        path[n] = chosen[n];
        ++n;
      }
      path[n] = 0;
      return true;
    }
    errorBox(IDS_EDITOR_CAPTION, IDS_BITMAP_NOT_MONOCHROME, MB_OK | MB_ICONSTOP);
  }
}

void paintBitmapPreview(HDC dc, const AreaRect &preview, LPCWSTR path, bool rotated) {
  std::vector<uint8_t> file;
  OneBitBmp bmp;
  if (!readFileBytes(path, kBitmapFileLimit, &file) || !parseOneBitBmp(file.data(), file.size(), &bmp)) return;
  OneBitInfo info{};
  std::memcpy(&info.header, file.data() + bmp.infoOffset, sizeof info.header);
  info.header.biSize = sizeof info.header;
  info.header.biClrUsed = 2;
  info.header.biClrImportant = 0;
  info.colours[0] = RGBQUAD{0, 0, 0, 0};
  info.colours[1] = RGBQUAD{255, 255, 255, 0};
  const uint8_t *bits = file.data() + bmp.bitsOffset;
  std::vector<uint8_t> turned;
  if (rotated) {
    turned = rotateOneBitRows180(bits, bmp.width, bmp.height, bmp.stride);
    bits = turned.data();
  }
  StretchDIBits(dc, preview.left, preview.top, preview.right - preview.left, preview.bottom - preview.top, 0, 0,
                bmp.width, bmp.height, bits, reinterpret_cast<const BITMAPINFO *>(&info), DIB_RGB_COLORS, SRCCOPY);
}

}  // namespace card::cfg
