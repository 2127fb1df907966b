#include "tools/carddemo/pictures.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "emulator/include/cardemu/render.h"

namespace carddemo {

namespace {

// Windows 10's light look.
const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kFrame = RGB(120, 120, 120);
const COLORREF kButtonBand = RGB(240, 240, 240);
const COLORREF kButtonFace = RGB(225, 225, 225);
const COLORREF kButtonFocus = RGB(0, 120, 215);
const COLORREF kMenuBack = RGB(242, 242, 242);
const COLORREF kMenuFrame = RGB(204, 204, 204);
const COLORREF kDesktop = RGB(0, 84, 153);
const COLORREF kTaskbar = RGB(32, 32, 32);
const COLORREF kIconHover = RGB(70, 70, 70);
// The text size of message boxes and menus, in pixels.
const int kTextHeight = 15;

LPCWSTR w(const std::u16string &s) { return reinterpret_cast<LPCWSTR>(s.c_str()); }

// A bitmap in memory with a DC to draw on it: 32 bits a pixel, rows top
// down, so that its bits read straight into a PNG.
class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height) {
    dc_ = CreateCompatibleDC(nullptr);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
    if (dc_ && bitmap_) old_ = SelectObject(dc_, bitmap_);
    SetBkMode(dc_, TRANSPARENT);
  }
  ~Canvas() {
    if (old_) SelectObject(dc_, old_);
    if (bitmap_) DeleteObject(bitmap_);
    if (dc_) DeleteDC(dc_);
  }
  Canvas(const Canvas &) = delete;
  Canvas &operator=(const Canvas &) = delete;

  bool ready() const { return dc_ && bitmap_ && bits_ && old_; }
  HDC dc() const { return dc_; }

  void fill(int left, int top, int right, int bottom, COLORREF colour) {
    const RECT r{left, top, right, bottom};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc_, &r, brush);
    DeleteObject(brush);
  }
  // A one-pixel outline, the inside left as it is.
  void frame(int left, int top, int right, int bottom, COLORREF colour) {
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ oldPen = SelectObject(dc_, pen);
    HGDIOBJ oldBrush = SelectObject(dc_, GetStockObject(NULL_BRUSH));
    Rectangle(dc_, left, top, right, bottom);
    SelectObject(dc_, oldBrush);
    SelectObject(dc_, oldPen);
    DeleteObject(pen);
  }
  void text(int x, int y, const std::u16string &s, COLORREF colour) {
    SetTextColor(dc_, colour);
    TextOutW(dc_, x, y, w(s), int(s.size()));
  }

  bool save(const std::filesystem::path &file, std::string &problem) {
    GdiFlush();
    cardemu::RgbImage image;
    image.width = width_;
    image.height = height_;
    image.rgb.assign(size_t(width_) * size_t(height_) * 3, 0);
    const auto *src = static_cast<const uint8_t *>(bits_);
    for (size_t i = 0; i < size_t(width_) * size_t(height_); ++i) {
      image.rgb[i * 3] = src[i * 4 + 2];
      image.rgb[i * 3 + 1] = src[i * 4 + 1];
      image.rgb[i * 3 + 2] = src[i * 4];
    }
    return cardemu::writePng(file.string(), image, &problem);
  }

 private:
  int width_, height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  void *bits_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

// The UI font of a box or menu ("Segoe UI"), selected into `dc` while it lives.
class UiFont {
 public:
  UiFont(HDC dc, bool bold) : dc_(dc) {
    font_ = CreateFontW(-kTextHeight, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, u"Segoe UI");
    old_ = SelectObject(dc_, font_);
  }
  ~UiFont() {
    SelectObject(dc_, old_);
    DeleteObject(font_);
  }
  UiFont(const UiFont &) = delete;
  UiFont &operator=(const UiFont &) = delete;
  bool ready() const { return font_ && old_; }

 private:
  HDC dc_;
  HFONT font_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

int textWidth(HDC dc, const std::u16string &s) {
  SIZE size = {};
  GetTextExtentPoint32W(dc, w(s), int(s.size()), &size);
  return int(size.cx);
}

std::vector<std::u16string> linesOf(const std::u16string &text) {
  std::vector<std::u16string> lines(1);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
    if (text[i] == u'\r' || text[i] == u'\n')
      lines.emplace_back();
    else
      lines.back() += text[i];
  }
  return lines;
}

// A message box's measures, taken with its font on a scratch DC.
struct BoxLayout {
  int width = 0, height = 0;
  int lineHeight = 0;
  int textTop = 0, bandTop = 0;
  std::vector<std::u16string> lines;
};
const int kTitleHeight = 30, kTextMargin = 24, kBandHeight = 46;
const int kButtonWidth = 88, kButtonHeight = 26, kCloseWidth = 46;

BoxLayout layOutBox(const std::u16string &caption, const std::u16string &text) {
  BoxLayout l;
  l.lines = linesOf(text);
  HDC scratch = CreateCompatibleDC(nullptr);
  int widest = 0, captionWidth = 0;
  {
    UiFont font(scratch, false);
    TEXTMETRICW tm = {};
    GetTextMetricsW(scratch, &tm);
    l.lineHeight = std::max(int(tm.tmHeight), kTextHeight);
    for (const std::u16string &line : l.lines) widest = std::max(widest, textWidth(scratch, line));
    captionWidth = textWidth(scratch, caption);
  }
  DeleteDC(scratch);
  l.width = std::max({widest + 2 * kTextMargin, captionWidth + 12 + kCloseWidth + 12, kButtonWidth + 2 * 12, 200});
  l.textTop = kTitleHeight + kTextMargin;
  l.bandTop = l.textTop + int(l.lines.size()) * l.lineHeight + kTextMargin;
  l.height = l.bandTop + kBandHeight;
  return l;
}

void drawTitleBar(Canvas &c, const BoxLayout &l, const std::u16string &caption) {
  c.fill(0, 0, l.width, kTitleHeight, kWhite);
  c.text(12, (kTitleHeight - l.lineHeight) / 2, caption, kBlack);
  // The close button's cross.
  const int cx = l.width - kCloseWidth / 2, cy = kTitleHeight / 2;
  HPEN pen = CreatePen(PS_SOLID, 1, kBlack);
  HGDIOBJ old = SelectObject(c.dc(), pen);
  MoveToEx(c.dc(), cx - 5, cy - 5, nullptr);
  LineTo(c.dc(), cx + 6, cy + 6);
  MoveToEx(c.dc(), cx + 5, cy - 5, nullptr);
  LineTo(c.dc(), cx - 6, cy + 6);
  SelectObject(c.dc(), old);
  DeleteObject(pen);
}

void drawBody(Canvas &c, const BoxLayout &l) {
  c.fill(0, kTitleHeight, l.width, l.bandTop, kWhite);
  int y = l.textTop;
  for (const std::u16string &line : l.lines) {
    c.text(kTextMargin, y, line, kBlack);
    y += l.lineHeight;
  }
  c.fill(0, l.bandTop, l.width, l.height, kButtonBand);
  // OK, the default button: its focus frame in the accent colour.
  const int left = l.width - 12 - kButtonWidth, top = l.bandTop + (kBandHeight - kButtonHeight) / 2;
  c.fill(left, top, left + kButtonWidth, top + kButtonHeight, kButtonFace);
  c.frame(left, top, left + kButtonWidth, top + kButtonHeight, kButtonFocus);
  const std::u16string ok = u"OK";
  c.text(left + (kButtonWidth - textWidth(c.dc(), ok)) / 2, top + (kButtonHeight - l.lineHeight) / 2, ok, kBlack);
}

#pragma pack(push, 2)
struct GroupHeader {
  WORD reserved, type, count;
};
struct GroupEntry {
  BYTE width, height, colors, reserved;
  WORD planes, bitCount;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

// The pixels of the image of `group` that is `size` wide, as 32-bit BGRA
// rows top down.  The package's icons hold 32-bit images with an alpha
// channel; any other kind is refused.
bool iconPixels(HMODULE module, int group, int size, std::vector<uint8_t> &bgra, std::string &problem) {
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(group), RT_GROUP_ICON);
  const auto *dir = found ? static_cast<const BYTE *>(LockResource(LoadResource(module, found))) : nullptr;
  GroupHeader head = {};
  if (!dir || SizeofResource(module, found) < sizeof head) return (problem = "the icon group is missing"), false;
  std::memcpy(&head, dir, sizeof head);
  if (SizeofResource(module, found) < sizeof head + head.count * sizeof(GroupEntry))
    return (problem = "the icon group is cut short"), false;
  for (WORD i = 0; i < head.count; ++i) {
    GroupEntry e;
    std::memcpy(&e, dir + sizeof head + i * sizeof e, sizeof e);
    if ((e.width ? e.width : 256) != size) continue;
    HRSRC image = FindResourceW(module, MAKEINTRESOURCEW(e.id), RT_ICON);
    const auto *bits = image ? static_cast<const BYTE *>(LockResource(LoadResource(module, image))) : nullptr;
    BITMAPINFOHEADER bih = {};
    const size_t row = size_t(size) * 4;
    if (!bits || SizeofResource(module, image) < sizeof bih) break;
    std::memcpy(&bih, bits, sizeof bih);
    // The XOR image's rows bottom up; the AND mask after them is not needed
    // where the alpha channel says it all.
    if (bih.biBitCount != 32 || bih.biWidth != size || bih.biHeight != 2 * size ||
        SizeofResource(module, image) < bih.biSize + row * size_t(size))
      return (problem = "the icon's image is not 32-bit colour"), false;
    bgra.resize(row * size_t(size));
    for (int y = 0; y < size; ++y)
      std::memcpy(&bgra[size_t(y) * row], bits + bih.biSize + size_t(size - 1 - y) * row, row);
    return true;
  }
  problem = "the icon group has no image of " + std::to_string(size) + " pixels";
  return false;
}

// Draws the icon over a plain `background`: GDI of this machine has no
// icon drawing, so its pixels are blended here and put down as a bitmap.
void drawIcon(Canvas &c, int x, int y, int size, const std::vector<uint8_t> &bgra, COLORREF background) {
  std::vector<uint8_t> out(bgra.size());
  const uint8_t back[3] = {GetBValue(background), GetGValue(background), GetRValue(background)};
  for (size_t p = 0; p < bgra.size(); p += 4) {
    const unsigned a = bgra[p + 3];
    for (int k = 0; k < 3; ++k) out[p + k] = uint8_t((bgra[p + k] * a + back[k] * (255 - a) + 127) / 255);
  }
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = size;
  info.bmiHeader.biHeight = -size;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(c.dc(), x, y, DWORD(size), DWORD(size), 0, 0, 0, UINT(size), out.data(), &info, DIB_RGB_COLORS);
}

// The icon as the shell shows it in the notification area: loaded at the
// small icon size, which also proves the group loads as Windows loads it.
bool loadTrayIcon(const std::u16string &program, int group, std::vector<uint8_t> &bgra, std::string &problem) {
  HMODULE module = LoadLibraryExW(w(program), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return (problem = "cannot load the tray program's resources"), false;
  const int size = GetSystemMetrics(SM_CXSMICON);
  HANDLE icon = LoadImageW(module, MAKEINTRESOURCEW(group), IMAGE_ICON, size, size, 0);
  bool ok = icon != nullptr;
  if (!ok)
    problem = "LoadImageW found no icon " + std::to_string(group) + " (error " + std::to_string(GetLastError()) + ")";
  else
    ok = iconPixels(module, group, size, bgra, problem);
  if (icon) DestroyIcon(static_cast<HICON>(icon));
  FreeLibrary(module);
  return ok;
}

const int kMenuItemHeight = 24, kMenuTextLeft = 32, kMenuPad = 3;
const int kTaskbarHeight = 40, kIconCell = 24, kIconLeft = 24;

void drawMenu(Canvas &c, int left, int top, int width, const std::vector<MenuLine> &menu) {
  const int bottom = top + 2 * kMenuPad + int(menu.size()) * kMenuItemHeight;
  c.fill(left, top, left + width, bottom, kMenuBack);
  c.frame(left, top, left + width, bottom, kMenuFrame);
  int y = top + kMenuPad;
  for (const MenuLine &item : menu) {
    UiFont font(c.dc(), item.isDefault);
    c.text(left + kMenuTextLeft, y + (kMenuItemHeight - kTextHeight) / 2 - 1, item.text, kBlack);
    y += kMenuItemHeight;
  }
}

int menuWidth(HDC dc, const std::vector<MenuLine> &menu) {
  int widest = 0;
  for (const MenuLine &item : menu) {
    UiFont font(dc, item.isDefault);
    widest = std::max(widest, textWidth(dc, item.text));
  }
  return std::max(kMenuTextLeft + widest + 40, 120);
}

}  // namespace

bool writeMessagePicture(const std::filesystem::path &file, const std::u16string &caption, const std::u16string &text,
                         std::string &problem) {
  const BoxLayout l = layOutBox(caption, text);
  Canvas c(l.width, l.height);
  if (!c.ready()) {
    problem = "cannot make a bitmap of " + std::to_string(l.width) + " x " + std::to_string(l.height);
    return false;
  }
  UiFont font(c.dc(), false);
  if (!font.ready()) {
    problem = "no font for the message box";
    return false;
  }
  drawTitleBar(c, l, caption);
  drawBody(c, l);
  c.frame(0, 0, l.width, l.height, kFrame);
  return c.save(file, problem);
}

bool writeTrayPicture(const std::filesystem::path &file, const std::u16string &program, int iconGroup,
                      const std::vector<MenuLine> &menu, std::string &problem) {
  std::vector<uint8_t> icon;
  if (!loadTrayIcon(program, iconGroup, icon, problem)) return false;
  const int iconSize = GetSystemMetrics(SM_CXSMICON);
  HDC scratch = CreateCompatibleDC(nullptr);
  const int menuW = menuWidth(scratch, menu);
  DeleteDC(scratch);
  const int menuH = 2 * kMenuPad + int(menu.size()) * kMenuItemHeight;
  const int width = kIconLeft + menuW + 24, height = 12 + menuH + 4 + kTaskbarHeight;
  Canvas c(width, height);
  if (!c.ready()) return (problem = "cannot make a bitmap for the notification area"), false;
  const int barTop = height - kTaskbarHeight;
  c.fill(0, 0, width, barTop, kDesktop);
  c.fill(0, barTop, width, height, kTaskbar);
  // The icon under the pointer is lit; the menu opens above it.
  c.fill(kIconLeft, barTop, kIconLeft + kIconCell, height, kIconHover);
  drawIcon(c, kIconLeft + (kIconCell - iconSize) / 2, barTop + (kTaskbarHeight - iconSize) / 2, iconSize, icon,
           kIconHover);
  drawMenu(c, kIconLeft + kIconCell / 2, barTop - 4 - menuH, menuW, menu);
  return c.save(file, problem);
}

}  // namespace carddemo
