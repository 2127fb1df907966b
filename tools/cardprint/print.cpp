// The Windows side of cardprint: reading the pictures, asking the spooler for
// the printer and its default settings, and drawing the card with GDI.
// Everything the user can get wrong is checked before the printer DC is
// created, so that a mistake never leaves a job behind.
#include <windows.h>
#include <winspool.h>
#include <strsafe.h>

#include <cstdarg>
#include <new>
#include <vector>

#include "tools/cardprint/barcode.h"
#include "tools/cardprint/cardprint.h"
#include "tools/cardprint/job_devmode.h"
#include "tools/cardprint/options.h"
#include "tools/cardprint/picture.h"
#include "tools/cardprint/sample_card.h"

namespace cardprint {

namespace {

class Messages {
 public:
  explicit Messages(Console &console) : console_(console) {}

  void info(LPCWSTR format, ...) {
    va_list args;
    va_start(args, format);
    emit(false, format, args);
    va_end(args);
  }
  void error(LPCWSTR format, ...) {
    va_list args;
    va_start(args, format);
    emit(true, format, args);
    va_end(args);
  }
  void raw(bool isError, LPCWSTR text) { console_.write(isError, text); }

 private:
  void emit(bool isError, LPCWSTR format, va_list args) {
    WCHAR line[1024];
    StringCchCopyW(line, ARRAYSIZE(line), TEXT("cardprint: "));
    const size_t prefix = size_t(lstrlenW(line));
    StringCchVPrintfW(line + prefix, ARRAYSIZE(line) - prefix, format, args);
    StringCchCatW(line, ARRAYSIZE(line), TEXT("\n"));
    console_.write(isError, line);
  }
  Console &console_;
};

LPCWSTR reasonOf(DWORD error, WCHAR (&buffer)[64]) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return TEXT("no such file");
    case ERROR_ACCESS_DENIED: return TEXT("access denied");
    case ERROR_SHARING_VIOLATION: return TEXT("the file is in use");
    default: StringCchPrintfW(buffer, ARRAYSIZE(buffer), TEXT("Windows error %lu"), error); return buffer;
  }
}

// A BMP file read whole and checked.
struct PictureFile {
  std::vector<BYTE> bytes;
  Picture picture;
};

bool loadPicture(LPCWSTR path, PictureFile &out, Messages &say) {
  WCHAR reason[64];
  HANDLE file =
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    say.error(TEXT("cannot open the picture \"%ls\": %ls"), path, reasonOf(GetLastError(), reason));
    return false;
  }
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(file, &size) != FALSE;
  if (!ok) {
    say.error(TEXT("cannot read the picture \"%ls\": %ls"), path, reasonOf(GetLastError(), reason));
  } else if (size.QuadPart > LONGLONG(kMaxPictureFileBytes)) {
    say.error(TEXT("the picture \"%ls\" is larger than 256 MB; a card needs far less"), path);
    ok = false;
  } else {
    out.bytes.resize(size_t(size.QuadPart));
    size_t done = 0;
    while (ok && done < out.bytes.size()) {
      DWORD got = 0;
      const DWORD want = DWORD(out.bytes.size() - done > 0x100000 ? 0x100000 : out.bytes.size() - done);
      if (!ReadFile(file, out.bytes.data() + done, want, &got, nullptr) || got == 0) {
        say.error(TEXT("cannot read the picture \"%ls\": %ls"), path, reasonOf(GetLastError(), reason));
        ok = false;
      }
      done += got;
    }
  }
  CloseHandle(file);
  if (!ok) return false;
  const PictureError e = readPicture(out.bytes.data(), out.bytes.size(), out.picture);
  if (e != PictureError::kNone) {
    say.error(TEXT("\"%ls\" cannot be printed: %ls"), path, pictureErrorText(e));
    return false;
  }
  return true;
}

// The printer's own default DEVMODE, when the spooler has one for it.  False
// when there is no such printer.
bool printerDefaults(const PrintOptions &o, std::vector<BYTE> &devmode, Messages &say) {
  WCHAR name[kPrinterNameChars];
  StringCchCopyW(name, ARRAYSIZE(name), o.printer);
  HANDLE printer = nullptr;
  if (!OpenPrinterW(name, &printer, nullptr)) {
    const DWORD error = GetLastError();
    WCHAR reason[64];
    if (error == ERROR_INVALID_PRINTER_NAME)
      say.error(TEXT("there is no printer \"%ls\" (use --printer with the name of an installed card printer)"),
                o.printer);
    else
      say.error(TEXT("cannot open the printer \"%ls\": %ls"), o.printer, reasonOf(error, reason));
    return false;
  }
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  std::vector<BYTE> info(needed);
  if (needed >= sizeof(PRINTER_INFO_2W) && GetPrinterW(printer, 2, info.data(), needed, &needed)) {
    const auto *pi = reinterpret_cast<const PRINTER_INFO_2W *>(info.data());
    if (pi->pDevMode) {
      const BYTE *dm = reinterpret_cast<const BYTE *>(pi->pDevMode);
      const size_t claimed = size_t(pi->pDevMode->dmSize) + pi->pDevMode->dmDriverExtra;
      // The DEVMODE lies inside the buffer the spooler filled.
      if (dm >= info.data() && dm + claimed <= info.data() + info.size()) devmode.assign(dm, dm + claimed);
    }
  }
  ClosePrinter(printer);
  return true;
}

// ------------------------------------------------------------ drawing

class Page {
 public:
  explicit Page(HDC dc) : dc_(dc) {
    SetBkMode(dc_, TRANSPARENT);
    SetTextAlign(dc_, TA_LEFT | TA_TOP);
    SetStretchBltMode(dc_, COLORONCOLOR);
  }

  bool fill(const RECT &r, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    if (!brush) return false;
    const bool ok = FillRect(dc_, &r, brush) != 0;
    DeleteObject(brush);
    return ok;
  }

  bool text(LONG x, LONG y, LONG height, int weight, COLORREF colour, LPCWSTR s, int count = -1) {
    HFONT font = CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, TEXT("Arial"));
    if (!font) return false;
    HGDIOBJ old = SelectObject(dc_, font);
    SetTextColor(dc_, colour);
    const bool ok = TextOutW(dc_, x, y, s, count < 0 ? lstrlenW(s) : count) != FALSE;
    SelectObject(dc_, old);
    DeleteObject(font);
    return ok;
  }
  bool text(const SampleText &t) { return text(t.x, t.y, t.height, t.weight, t.colour, t.text); }

  bool picture(const Picture &p, const RECT &to) {
    const int rows = StretchDIBits(dc_, to.left, to.top, to.right - to.left, to.bottom - to.top, 0, 0, p.width,
                                   p.height, p.bits, p.bitmapInfo(), DIB_RGB_COLORS, SRCCOPY);
    return rows != 0 && rows != int(GDI_ERROR);
  }

  bool line(POINT from, POINT to, LONG width) {
    HPEN pen = CreatePen(PS_SOLID, int(width), RGB(0, 0, 0));
    if (!pen) return false;
    HGDIOBJ old = SelectObject(dc_, pen);
    const bool ok = MoveToEx(dc_, from.x, from.y, nullptr) && LineTo(dc_, to.x, to.y);
    SelectObject(dc_, old);
    DeleteObject(pen);
    return ok;
  }

  bool barcode(const char *data, POINT at, LONG height, LONG narrow, LONG wide) {
    Bar bars[5 * 34];
    LONG width = 0;
    const size_t n = code39Bars(data, narrow, wide, bars, ARRAYSIZE(bars), width);
    bool ok = n != 0;
    for (size_t i = 0; ok && i < n; ++i) {
      const RECT r{at.x + bars[i].left, at.y, at.x + bars[i].left + bars[i].width, at.y + height};
      ok = fill(r, RGB(0, 0, 0));
    }
    return ok;
  }

  // Magnetic-stripe data as the driver wants it on the page: "~1%...?" for
  // track 1, "~2;...?" and "~3;...?" for tracks 2 and 3, each in one text
  // call.  The driver takes these lines off the card and encodes them.
  bool tracks(const char (&data)[3][kTrackBuffer], const bool (&present)[3], POINT at, LONG height) {
    bool ok = true;
    LONG y = at.y;
    for (int t = 0; t < 3; ++t) {
      if (!present[t]) continue;
      WCHAR macro[3 + kTrackBuffer + 1];  // "~1%", the data, "?"
      int n = 0;
      macro[n++] = '~';
      macro[n++] = WCHAR('1' + t);
      macro[n++] = t == 0 ? '%' : ';';
      for (const char *c = data[t]; *c; ++c) macro[n++] = WCHAR(static_cast<unsigned char>(*c));
      macro[n++] = '?';
      macro[n] = 0;
      ok = text(at.x, y, height, FW_NORMAL, RGB(0, 0, 0), macro, n) && ok;
      y += height + 4;
    }
    return ok;
  }

 private:
  HDC dc_;
};

struct Card {
  const Picture *front;  // own pictures; the sample when front is null
  const Picture *back;
  Picture samplePhoto;
  char tracks[3][kTrackBuffer];
  bool trackPresent[3];
};

bool drawSampleFront(Page &page, const Card &card, bool portrait) {
  const SampleFront &f = sampleFront(portrait);
  bool ok = page.fill(f.band, f.bandColour);
  ok = page.text(f.heading) && ok;
  ok = page.picture(card.samplePhoto, f.photo) && ok;
  ok = page.text(f.name) && ok;
  ok = page.text(f.title) && ok;
  ok = page.text(f.number) && ok;
  ok = page.barcode(f.barcodeData, f.barcode, f.barHeight, f.narrowBar, f.wideBar) && ok;
  ok = page.text(f.barcodeCaption) && ok;
  ok = page.tracks(card.tracks, card.trackPresent, f.tracks, f.trackHeight) && ok;
  return ok;
}

bool drawSampleBack(Page &page, bool portrait) {
  const SampleBack &b = sampleBack(portrait);
  bool ok = true;
  for (const SampleText &t : b.lines) ok = page.text(t) && ok;
  ok = page.line(b.signatureFrom, b.signatureTo, 3) && ok;
  ok = page.text(b.signatureCaption) && ok;
  ok = page.fill(b.logo, b.logoColour) && ok;
  return ok;
}

bool drawSide(HDC dc, const Card &card, bool back) {
  Page page(dc);
  const LONG width = GetDeviceCaps(dc, HORZRES), height = GetDeviceCaps(dc, VERTRES);
  const bool portrait = width < height;
  if (!card.front) return back ? drawSampleBack(page, portrait) : drawSampleFront(page, card, portrait);
  bool ok = page.picture(back ? *card.back : *card.front, RECT{0, 0, width, height});
  if (!back) ok = page.tracks(card.tracks, card.trackPresent, sampleFront(portrait).tracks, 30) && ok;
  return ok;
}

int print(const PrintOptions &o, const card::CardDevmode &devmode, const Card &card, Messages &say) {
  HDC dc = CreateDCW(nullptr, o.printer, nullptr, reinterpret_cast<const DEVMODEW *>(&devmode));
  if (!dc) {
    say.error(TEXT("the printer \"%ls\" cannot print (its driver did not start, error %lu)"), o.printer,
              GetLastError());
    return kExitFailed;
  }
  DOCINFOW doc{};
  doc.cbSize = sizeof doc;
  doc.lpszDocName = card.front ? TEXT("ID card") : TEXT("Sample ID card");
  if (StartDocW(dc, &doc) <= 0) {
    say.error(TEXT("the printer \"%ls\" did not start the job (error %lu)"), o.printer, GetLastError());
    DeleteDC(dc);
    return kExitFailed;
  }
  const int sides = devmode.record.duplex == card::kSettingOn ? 2 : 1;
  for (int side = 0; side < sides; ++side) {
    if (StartPage(dc) <= 0) {
      // The driver refuses a page when it cannot tell which ribbon is in the
      // printer (the ribbon left to the printer, and the printer silent).
      say.error(TEXT("the driver refused the card (error %lu); when the printer cannot report its ribbon, "
                     "name it with --ribbon"),
                GetLastError());
      AbortDoc(dc);
      DeleteDC(dc);
      return kExitFailed;
    }
    const bool drawn = drawSide(dc, card, side == 1);
    if (!drawn || EndPage(dc) <= 0) {
      say.error(TEXT("drawing the card's %ls failed (error %lu); the job was cancelled"),
                side ? TEXT("back") : TEXT("front"), GetLastError());
      AbortDoc(dc);
      DeleteDC(dc);
      return kExitFailed;
    }
  }
  const bool ended = EndDoc(dc) > 0;
  DeleteDC(dc);
  if (!ended) {
    say.error(TEXT("the printer \"%ls\" did not finish the job (error %lu)"), o.printer, GetLastError());
    return kExitFailed;
  }
  const int copies = reinterpret_cast<const DEVMODEW *>(&devmode)->dmCopies;
  say.info(TEXT("%ls sent to \"%ls\": %d card%ls, %ls, %ls"), doc.lpszDocName, o.printer, copies,
           copies == 1 ? TEXT("") : TEXT("s"), sides == 2 ? TEXT("two-sided") : TEXT("one-sided"),
           devmode.record.ribbonId != card::kRibbonFromPrinter ? ribbonOptionName(devmode.record.ribbonId)
                                                               : TEXT("ribbon from the printer"));
  return kExitPrinted;
}

int run(int argc, LPCWSTR const *argv, Messages &say) {
  PrintOptions o;
  WCHAR message[kMessageChars];
  if (!parseOptions(argc, argv, o, message)) {
    say.error(TEXT("%ls"), message);
    say.raw(true, TEXT("Try \"cardprint --help\".\n"));
    return kExitUsage;
  }
  if (o.help) {
    say.raw(false, usageText());
    return kExitPrinted;
  }

  Card card{};
  PictureFile front, back;
  if (o.frontImage) {
    if (!loadPicture(o.frontImage, front, say)) return kExitFailed;
    card.front = &front.picture;
    if (o.backImage) {
      if (!loadPicture(o.backImage, back, say)) return kExitFailed;
      card.back = &back.picture;
    }
  } else {
    if (readPicture(kSamplePhoto, kSamplePhotoSize, card.samplePhoto) != PictureError::kNone) {
      say.error(TEXT("the built-in sample photo is damaged"));
      return kExitFailed;
    }
    StringCchCopyA(card.tracks[0], sizeof card.tracks[0], kSampleTrack1);
    card.trackPresent[0] = true;
  }
  for (int t = 0; t < 3; ++t)
    if (o.trackGiven[t]) {
      StringCchCopyA(card.tracks[t], sizeof card.tracks[t], o.tracks[t]);
      card.trackPresent[t] = true;
    }

  std::vector<BYTE> printerDevmode;
  if (!printerDefaults(o, printerDevmode, say)) return kExitFailed;
  card::CardDevmode devmode;
  baseJobDevmode(printerDevmode.data(), printerDevmode.size(), devmode);
  if (!applyOptions(o, devmode, message)) {
    say.error(TEXT("%ls"), message);
    return kExitUsage;
  }
  return print(o, devmode, card, say);
}

}  // namespace

int cardPrintMain(int argc, LPCWSTR const *argv, Console &console) {
  Messages say(console);
  try {
    return run(argc, argv, say);
  } catch (const std::bad_alloc &) {
    say.error(TEXT("out of memory; nothing was printed"));
    return kExitFailed;
  }
}

}  // namespace cardprint
