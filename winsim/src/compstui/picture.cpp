// Pictures of the sheets the user saw: a page as the tree view page shows it
// at the end of the user's script, drawn with winsim's own GDI.
#include <compstui.h>

#include <algorithm>

#include <winsim/testing.h>

#include "compstui/sheet.h"

namespace winsim {

namespace {

// Tall enough for a tree of 17 rows with the selected item's control below it.
const int kWidth = 420, kHeight = 580;
const int kTitleHeight = 30, kTabHeight = 24, kRowHeight = 18, kTextHeight = 13;
const int kTreeLeft = 12, kTreeTop = kTitleHeight + kTabHeight + 10, kTreeRight = kWidth - 12, kTreeBottom = 380;
const COLORREF kFace = RGB(240, 240, 240), kWhite = RGB(255, 255, 255), kBlack = RGB(0, 0, 0);
const COLORREF kFrame = RGB(173, 173, 173), kTitleBar = RGB(255, 255, 255), kHighlight = RGB(0, 120, 215);
// GrayText: the disabled items' text.
const COLORREF kGrayText = RGB(109, 109, 109);

LPCWSTR w(const std::u16string &s) { return reinterpret_cast<LPCWSTR>(s.c_str()); }

class Canvas {
 public:
  Canvas() {
    dc_ = CreateCompatibleDC(nullptr);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = -kHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
    if (dc_ && bitmap_) old_ = SelectObject(dc_, bitmap_);
    SetBkMode(dc_, TRANSPARENT);
    font_ = CreateFontW(-kTextHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, TEXT("Segoe UI"));
    if (font_) oldFont_ = SelectObject(dc_, font_);
  }
  ~Canvas() {
    if (oldFont_) SelectObject(dc_, oldFont_);
    if (font_) DeleteObject(font_);
    if (old_) SelectObject(dc_, old_);
    if (bitmap_) DeleteObject(bitmap_);
    if (dc_) DeleteDC(dc_);
  }
  Canvas(const Canvas &) = delete;
  Canvas &operator=(const Canvas &) = delete;

  bool ready() const { return dc_ && bitmap_ && bits_ && old_; }

  void fill(int left, int top, int right, int bottom, COLORREF colour) {
    const RECT r{left, top, right, bottom};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc_, &r, brush);
    DeleteObject(brush);
  }
  void frame(int left, int top, int right, int bottom, COLORREF colour) {
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ oldPen = SelectObject(dc_, pen);
    HGDIOBJ oldBrush = SelectObject(dc_, GetStockObject(NULL_BRUSH));
    Rectangle(dc_, left, top, right, bottom);
    SelectObject(dc_, oldBrush);
    SelectObject(dc_, oldPen);
    DeleteObject(pen);
  }
  // Texts are drawn as the page's controls draw them: a single "&" marks
  // the mnemonic and is not shown, "&&" shows one "&".
  void text(int x, int y, const std::u16string &s, COLORREF colour) {
    std::u16string shown;
    for (size_t i = 0; i < s.size(); ++i) {
      if (s[i] == u'&' && i + 1 < s.size()) ++i;
      shown += s[i];
    }
    SetTextColor(dc_, colour);
    TextOutW(dc_, x, y, w(shown), int(shown.size()));
  }
  int textWidth(const std::u16string &s) {
    SIZE size = {};
    GetTextExtentPoint32W(dc_, w(s), int(s.size()), &size);
    return int(size.cx);
  }
  void button(int left, int top, int right, int bottom, const std::u16string &label, bool enabled = true) {
    fill(left, top, right, bottom, RGB(225, 225, 225));
    frame(left, top, right, bottom, kFrame);
    text(left + (right - left - textWidth(label)) / 2, top + (bottom - top - kTextHeight) / 2 - 1, label,
         enabled ? kBlack : kGrayText);
  }

  SheetPicture take() {
    GdiFlush();
    SheetPicture p;
    p.width = kWidth;
    p.height = kHeight;
    const auto *src = static_cast<const uint32_t *>(bits_);
    p.pixels.assign(src, src + size_t(kWidth) * size_t(kHeight));
    for (uint32_t &px : p.pixels) px &= 0x00ffffff;
    return p;
  }

 private:
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  void *bits_ = nullptr;
  HGDIOBJ old_ = nullptr;
  HFONT font_ = nullptr;
  HGDIOBJ oldFont_ = nullptr;
};

// The item's line in the tree: "Name: value", a push button's name with
// "...", a heading's name alone.
std::u16string itemLine(const SheetItemRecord &item) {
  if (item.kind < 0) return item.name;
  if (item.kind == TVOT_PUSHBUTTON) return item.name + u"...";
  return item.name + u": " + item.selectionText;
}

// The control the tree view page shows below the tree for the selected item.
void drawControl(Canvas &c, const SheetItemRecord &item, int top) {
  bool enabled = !item.disabled;
  COLORREF ink = enabled ? kBlack : kGrayText;
  c.text(kTreeLeft, top, item.name, ink);
  int y = top + kRowHeight + 2;
  if (item.kind == TVOT_2STATES || item.kind == TVOT_3STATES || item.kind == TVOT_LISTBOX ||
      item.kind == TVOT_COMBOBOX) {
    int bottom = std::min(kHeight - 56, y + 4 + int(item.choices.size()) * kRowHeight);
    c.fill(kTreeLeft, y, kTreeRight - 120, bottom, kWhite);
    c.frame(kTreeLeft, y, kTreeRight - 120, bottom, kFrame);
    for (size_t i = 0; i < item.choices.size() && y + 2 + int(i + 1) * kRowHeight <= bottom; ++i) {
      if (i < item.choiceHidden.size() && item.choiceHidden[i]) continue;
      int rowTop = y + 2 + int(i) * kRowHeight;
      bool selected = int(i) == item.selection;
      bool choiceOff = !enabled || (i < item.choiceDisabled.size() && item.choiceDisabled[i]);
      if (selected) c.fill(kTreeLeft + 2, rowTop, kTreeRight - 122, rowTop + kRowHeight, kHighlight);
      c.text(kTreeLeft + 6, rowTop + 1, item.choices[i], selected ? kWhite : choiceOff ? kGrayText : kBlack);
    }
  } else if (item.kind == TVOT_UDARROW || item.kind == TVOT_TRACKBAR || item.kind == TVOT_SCROLLBAR ||
             item.kind == TVOT_EDITBOX) {
    c.fill(kTreeLeft, y, kTreeLeft + 120, y + 22, kWhite);
    c.frame(kTreeLeft, y, kTreeLeft + 120, y + 22, kFrame);
    c.text(kTreeLeft + 4, y + 4, item.selectionText, ink);
    if (item.kind == TVOT_UDARROW) {
      c.button(kTreeLeft + 120, y, kTreeLeft + 136, y + 11, u"\u25b4", enabled);
      c.button(kTreeLeft + 120, y + 11, kTreeLeft + 136, y + 22, u"\u25be", enabled);
    }
  } else if (item.kind == TVOT_PUSHBUTTON) {
    c.button(kTreeLeft, y, kTreeLeft + 140, y + 24, item.name + u"...", enabled);
  }
  if (!item.extPushTitle.empty()) c.button(kTreeRight - 110, y, kTreeRight, y + 24, item.extPushTitle, enabled);
}

// The frame and the title bar.
void drawFrame(Canvas &c, const std::u16string &title) {
  c.fill(0, 0, kWidth, kHeight, kFace);
  c.fill(0, 0, kWidth, kTitleHeight, kTitleBar);
  c.frame(0, 0, kWidth, kHeight, kFrame);
  c.text(10, (kTitleHeight - kTextHeight) / 2 - 1, title, kBlack);
  c.text(kWidth - 24, (kTitleHeight - kTextHeight) / 2 - 1, u"X", kBlack);
}

// The tabs, the shown page's in front.
void drawTabs(Canvas &c, const std::vector<SheetPageRecord> &pages, int page) {
  int tabX = 8;
  for (size_t i = 0; i < pages.size(); ++i) {
    int width = c.textWidth(pages[i].name) + 16;
    bool front = int(i) == page;
    c.fill(tabX, kTitleHeight + (front ? 2 : 4), tabX + width, kTitleHeight + kTabHeight, front ? kWhite : kFace);
    c.frame(tabX, kTitleHeight + (front ? 2 : 4), tabX + width, kTitleHeight + kTabHeight + 1, kFrame);
    c.text(tabX + 8, kTitleHeight + 6, pages[i].name, kBlack);
    tabX += width;
  }
}

// Does a shown item follow the item at `i` one level or more below it?
bool isOpenHeading(const std::vector<SheetItemRecord> &items, size_t i) {
  for (size_t j = i + 1; j < items.size() && items[j].level > items[i].level; ++j)
    if (!items[j].hidden) return true;
  return false;
}

// The tree: visible items by level, headings with their box.
void drawTree(Canvas &c, const std::vector<SheetItemRecord> &items, int focusItem) {
  c.fill(kTreeLeft, kTreeTop, kTreeRight, kTreeBottom, kWhite);
  c.frame(kTreeLeft, kTreeTop, kTreeRight, kTreeBottom, kFrame);
  int y = kTreeTop + 3;
  for (size_t i = 0; i < items.size() && y + kRowHeight <= kTreeBottom - 2; ++i) {
    const SheetItemRecord &item = items[i];
    if (item.hidden) continue;
    int x = kTreeLeft + 6 + item.level * 16;
    if (isOpenHeading(items, i)) {
      // Expanded: its items are listed below it.
      int boxTop = y + (kRowHeight - 9) / 2;
      c.fill(x, boxTop, x + 9, boxTop + 9, kWhite);
      c.frame(x, boxTop, x + 9, boxTop + 9, kFrame);
      c.fill(x + 2, boxTop + 4, x + 7, boxTop + 5, kBlack);
    }
    std::u16string line = itemLine(item);
    int textX = x + 14;
    bool focused = int(i) == focusItem;
    if (focused) c.fill(textX - 2, y, textX + c.textWidth(line) + 2, y + kRowHeight, kHighlight);
    c.text(textX, y + 1, line, focused ? kWhite : item.disabled ? kGrayText : kBlack);
    y += kRowHeight;
  }
}

// OK, Cancel, Apply.
void drawButtons(Canvas &c) {
  int buttonTop = kHeight - 40;
  c.button(kWidth - 3 * 84, buttonTop, kWidth - 3 * 84 + 75, buttonTop + 24, u"OK");
  c.button(kWidth - 2 * 84, buttonTop, kWidth - 2 * 84 + 75, buttonTop + 24, u"Cancel");
  c.button(kWidth - 84, buttonTop, kWidth - 84 + 75, buttonTop + 24, u"Apply");
}

}  // namespace

SheetPicture sheetPicture(const std::u16string &title, int page) {
  ShownSheet sheet;
  if (!cpsui::findShownSheet(title, sheet) || page < 0 || size_t(page) >= sheet.pages.size()) return {};
  const SheetPageRecord &p = sheet.pages[size_t(page)];
  const std::vector<SheetItemRecord> &items = p.itemsAtEnd.empty() ? p.items : p.itemsAtEnd;
  Canvas c;
  if (!c.ready()) return {};
  drawFrame(c, sheet.title);
  drawTabs(c, sheet.pages, page);
  drawTree(c, items, p.focusItem);
  if (p.focusItem >= 0 && size_t(p.focusItem) < items.size() && !items[size_t(p.focusItem)].hidden)
    drawControl(c, items[size_t(p.focusItem)], kTreeBottom + 8);
  drawButtons(c);
  return c.take();
}

}  // namespace winsim
