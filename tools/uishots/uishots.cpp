// uishots MODULE OUTDIR: a picture of every dialog template of a module.
//
// The module is loaded as data only (its code never runs), each RT_DIALOG
// template is created as the dialog manager creates it, with a dialog
// procedure that fills nothing (the pictures show the template's initial
// state), laid out off screen, and drawn with its frame, title bar and
// controls into a 32-bit DIB section written as OUTDIR\dialog_<id>.png.
// OUTDIR\dialogs.txt gets a line per dialog: "<id> <width>x<height> <title>".
//
// Each window is drawn with WM_PRINT on a canvas of its own (its frame, then
// its client area and the visible controls in it, each clipped to its
// parent's client area) rather than with PrintWindow or PRF_CHILDREN: Wine's
// default window procedure ignores PRF_CHILDREN and PRF_NONCLIENT, and windows
// off screen (or under a display-less graphics driver) have nothing on screen
// to copy.  The frame, title bar and edges are drawn here in the classic
// look; where the system draws them for WM_PRINT, its drawing covers this.
//
// Exit status: 0 when every dialog was drawn, 1 when some could not be, 2 when
// the module could not be read or holds no dialog.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/uishots/png.h"

namespace {

using WString = std::basic_string<WCHAR>;

struct Template {
  WString name;  // the number as text, or the resource's string name
  const DLGTEMPLATE *data = nullptr;
  DWORD size = 0;
};

std::string toUtf8(const WString &text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

void printError(const char *what, const WString &name, DWORD error) {
  std::fprintf(stderr, "uishots: %s %s: error %lu\n", what, toUtf8(name).c_str(), static_cast<unsigned long>(error));
}

BOOL CALLBACK collectDialog(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param) {
  auto &list = *reinterpret_cast<std::vector<Template> *>(param);
  Template t;
  if (IS_INTRESOURCE(name)) {
    WCHAR digits[8];
    wsprintfW(digits, TEXT("%u"), static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(name)));
    t.name = digits;
  } else {
    t.name = name;
  }
  HRSRC info = FindResourceW(module, name, type);
  HGLOBAL loaded = info ? LoadResource(module, info) : nullptr;
  if (loaded) {
    t.data = static_cast<const DLGTEMPLATE *>(LockResource(loaded));
    t.size = SizeofResource(module, info);
  }
  list.push_back(t);
  return TRUE;
}

// The window style of a DIALOG or DIALOGEX template.
DWORD templateStyle(const DLGTEMPLATE *t) {
  const WORD *words = reinterpret_cast<const WORD *>(t);
  if (words[0] == 1 && words[1] == 0xFFFF) {
    // DLGTEMPLATEEX: dlgVer, signature, helpID, exStyle, style.
    DWORD style;
    CopyMemory(&style, words + 6, sizeof style);
    return style;
  }
  return t->style;
}

// The dialog procedure of the pictures: nothing filled, nothing handled.  It
// leaves the focus where it is (FALSE to WM_INITDIALOG), so that no control
// shows a focus rectangle or a highlighted selection the template does not
// ask for.
INT_PTR CALLBACK neutralDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

void pumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// A 32-bit top-down DIB section selected into a memory DC.
struct Canvas {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ old = nullptr;
  void *bits = nullptr;

  Canvas(int width, int height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc = CreateCompatibleDC(nullptr);
    if (dc && width > 0 && height > 0) bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap) old = SelectObject(dc, bitmap);
  }
  ~Canvas() {
    if (old) SelectObject(dc, old);
    if (bitmap) DeleteObject(bitmap);
    if (dc) DeleteDC(dc);
  }
  Canvas(const Canvas &) = delete;
  Canvas &operator=(const Canvas &) = delete;
  bool ok() const { return bits != nullptr; }
};

// The title bar's close button: a push button face with a cross, drawn with
// lines rather than the glyph font a system may lack.
void drawCloseButton(HDC dc, const RECT &button) {
  RECT face = button;
  DrawFrameControl(dc, &face, DFC_BUTTON, DFCS_BUTTONPUSH);
  int size = (button.bottom - button.top) / 2 - 1;
  int left = (button.left + button.right) / 2 - size / 2 - 1, top = (button.top + button.bottom) / 2 - size / 2 - 1;
  HGDIOBJ old = SelectObject(dc, GetStockObject(DC_PEN));
  SetDCPenColor(dc, GetSysColor(COLOR_BTNTEXT));
  for (int d = 0; d < 2; ++d) {
    MoveToEx(dc, left + d, top, nullptr);
    LineTo(dc, left + d + size + 1, top + size + 1);
    MoveToEx(dc, left + d + size, top, nullptr);
    LineTo(dc, left + d - 1, top + size + 1);
  }
  SelectObject(dc, old);
}

// The window's frame, title bar and edges in the classic look, drawn into
// `dc` whose origin is the window's top left corner.  Wine's default window
// procedure does not draw the non-client area for WM_PRINT; where the
// system does, its own drawing follows and covers this one.
void drawFrame(HWND window, HDC dc, int width, int height) {
  DWORD style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
  DWORD exStyle = static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE));
  RECT client;
  GetClientRect(window, &client);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT *>(&client), 2);
  RECT r;
  GetWindowRect(window, &r);
  OffsetRect(&client, -r.left, -r.top);
  RECT all = {0, 0, width, height};
  if (EqualRect(&client, &all)) return;

  // Whatever lies outside the client area and the parts below is face.
  HRGN frame = CreateRectRgnIndirect(&all);
  HRGN inner = CreateRectRgnIndirect(&client);
  CombineRgn(frame, frame, inner, RGN_DIFF);
  FillRgn(dc, frame, GetSysColorBrush(COLOR_3DFACE));
  DeleteObject(inner);
  DeleteObject(frame);

  bool dialogFrame = (style & WS_DLGFRAME) || (style & WS_THICKFRAME) || (exStyle & WS_EX_DLGMODALFRAME);
  if (dialogFrame) {
    DrawEdge(dc, &all, EDGE_RAISED, BF_RECT);
  } else if (style & WS_BORDER) {
    FrameRect(dc, &all, GetSysColorBrush(COLOR_WINDOWFRAME));
  }
  if (exStyle & WS_EX_CLIENTEDGE) {
    RECT edge = client;
    InflateRect(&edge, 2, 2);
    DrawEdge(dc, &edge, EDGE_SUNKEN, BF_RECT);
  } else if (exStyle & WS_EX_STATICEDGE) {
    RECT edge = client;
    InflateRect(&edge, 1, 1);
    DrawEdge(dc, &edge, BDR_SUNKENOUTER, BF_RECT);
  }
  if ((style & WS_CAPTION) == WS_CAPTION) {
    int edgeX = dialogFrame ? GetSystemMetrics(SM_CXFIXEDFRAME) : 1;
    int edgeY = dialogFrame ? GetSystemMetrics(SM_CYFIXEDFRAME) : 1;
    bool tool = (exStyle & WS_EX_TOOLWINDOW) != 0;
    int captionHeight = GetSystemMetrics(tool ? SM_CYSMCAPTION : SM_CYCAPTION) - 1;
    RECT caption = {edgeX, edgeY, width - edgeX, edgeY + captionHeight};
    DrawCaption(window, dc, &caption, DC_ACTIVE | DC_TEXT | DC_GRADIENT | (tool ? DC_SMALLCAP : 0));
    if (style & WS_SYSMENU) {
      int buttonWidth = GetSystemMetrics(tool ? SM_CXSMSIZE : SM_CXSIZE) - 2;
      int buttonHeight = GetSystemMetrics(tool ? SM_CYSMSIZE : SM_CYSIZE) - 4;
      RECT button = {caption.right - 2 - buttonWidth, caption.top + 2, caption.right - 2,
                     caption.top + 2 + buttonHeight};
      drawCloseButton(dc, button);
      if (exStyle & WS_EX_CONTEXTHELP) {
        OffsetRect(&button, -(buttonWidth + 2), 0);
        DrawFrameControl(dc, &button, DFC_BUTTON, DFCS_BUTTONPUSH);
        int mode = SetBkMode(dc, TRANSPARENT);
        COLORREF colour = SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        DrawTextW(dc, TEXT("?"), 1, &button, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        SetTextColor(dc, colour);
        SetBkMode(dc, mode);
      }
    }
  }
}

// Draws `window` and the visible windows inside it into `target` at the
// window's place relative to `origin` (screen coordinates of the target's
// top left corner), clipped to `clip` (target coordinates).  Each window is
// drawn into a canvas of its own whose origin is its own corner, on a copy of
// what lies behind it: controls clip their drawing to their client rectangle
// taken as device coordinates, which a shifted viewport would break.
// Controls come bottom of the z order first, so that the ones on top are
// drawn last.
void drawWindow(HWND window, HDC target, POINT origin, const RECT &clip) {
  RECT r;
  GetWindowRect(window, &r);
  int x = r.left - origin.x, y = r.top - origin.y;
  int width = r.right - r.left, height = r.bottom - r.top;
  Canvas canvas(width, height);
  if (!canvas.ok()) return;
  BitBlt(canvas.dc, 0, 0, width, height, target, x, y, SRCCOPY);
  drawFrame(window, canvas.dc, width, height);
  SendMessageW(window, WM_PRINT, reinterpret_cast<WPARAM>(canvas.dc), PRF_NONCLIENT);

  // The client area on a canvas of its own: its drawing and the controls'
  // places are relative to its corner.
  RECT client;
  GetClientRect(window, &client);
  POINT clientCorner = {0, 0};
  ClientToScreen(window, &clientCorner);
  int clientX = clientCorner.x - r.left, clientY = clientCorner.y - r.top;
  Canvas inner(client.right, client.bottom);
  if (inner.ok()) {
    BitBlt(inner.dc, 0, 0, client.right, client.bottom, canvas.dc, clientX, clientY, SRCCOPY);
    SendMessageW(window, WM_PRINT, reinterpret_cast<WPARAM>(inner.dc), PRF_CLIENT | PRF_ERASEBKGND);
    std::vector<HWND> children;
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) children.push_back(c);
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      if (GetWindowLongW(*it, GWL_STYLE) & WS_VISIBLE) drawWindow(*it, inner.dc, clientCorner, client);
    }
    GdiFlush();
    BitBlt(canvas.dc, clientX, clientY, client.right, client.bottom, inner.dc, 0, 0, SRCCOPY);
  }

  RECT place = {x, y, x + width, y + height}, shown;
  if (IntersectRect(&shown, &place, &clip)) {
    BitBlt(target, shown.left, shown.top, shown.right - shown.left, shown.bottom - shown.top, canvas.dc, shown.left - x,
           shown.top - y, SRCCOPY);
  }
}

bool writeFile(const WString &path, const void *data, size_t size) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr);
  CloseHandle(file);
  return ok && written == size;
}

// Makes the folder and the folders above it that are missing.
bool makeFolders(const WString &path) {
  for (size_t at = 0; (at = path.find_first_of(TEXT("\\/"), at + 1)) != WString::npos;) {
    WString above = path.substr(0, at);
    if (above.size() > 2 || (above.size() == 2 && above[1] != ':')) CreateDirectoryW(above.c_str(), nullptr);
  }
  return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

struct Shot {
  int width = 0, height = 0;
  WString title;
};

// Creates, lays out and draws one dialog; writes its picture.
bool shoot(HMODULE module, HWND host, const Template &t, const WString &outDir, Shot &shot) {
  if (!t.data || t.size < sizeof(DLGTEMPLATE)) {
    printError("cannot read dialog", t.name, GetLastError());
    return false;
  }
  // A page of a property sheet (WS_CHILD) needs a parent; a popup gets the
  // host as its owner.
  bool child = (templateStyle(t.data) & WS_CHILD) != 0;
  HWND dialog = CreateDialogIndirectParamW(module, t.data, host, neutralDialogProc, 0);
  if (!dialog) {
    printError("cannot create dialog", t.name, GetLastError());
    return false;
  }
  RECT r;
  GetWindowRect(dialog, &r);
  if (child) {
    SetWindowPos(host, nullptr, -32000, -32000, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    SetWindowPos(dialog, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  } else {
    SetWindowPos(dialog, nullptr, -32000, -32000, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  }
  // As Windows shows a dialog opened with the mouse: no focus rectangle, no
  // underlined access keys until the keyboard is used.
  SendMessageW(dialog, WM_CHANGEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
  pumpMessages();

  GetWindowRect(dialog, &r);
  shot.width = r.right - r.left;
  shot.height = r.bottom - r.top;
  int length = GetWindowTextLengthW(dialog);
  shot.title.assign(static_cast<size_t>(length) + 1, 0);
  shot.title.resize(static_cast<size_t>(GetWindowTextW(dialog, shot.title.data(), length + 1)));

  bool ok = false;
  Canvas canvas(shot.width, shot.height);
  if (canvas.ok()) {
    RECT all = {0, 0, shot.width, shot.height};
    FillRect(canvas.dc, &all, GetSysColorBrush(COLOR_3DFACE));
    drawWindow(dialog, canvas.dc, POINT{r.left, r.top}, all);
    GdiFlush();
    std::vector<uint8_t> png =
        uishots::encodePng(shot.width, shot.height, static_cast<const uint32_t *>(canvas.bits), shot.width);
    WString path = outDir + TEXT("\\dialog_") + t.name + TEXT(".png");
    ok = writeFile(path, png.data(), png.size());
    if (!ok) printError("cannot write picture of dialog", t.name, GetLastError());
  } else {
    printError("cannot draw dialog", t.name, GetLastError());
  }
  DestroyWindow(dialog);
  if (child) ShowWindow(host, SW_HIDE);
  pumpMessages();
  return ok;
}

}  // namespace

int wmain(int argc, WCHAR **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: uishots MODULE OUTDIR\n");
    return 2;
  }
  WString outDir = argv[2];
  while (!outDir.empty() && (outDir.back() == '\\' || outDir.back() == '/')) outDir.pop_back();
  // The controls of the common-controls library the templates may name.
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);

  HMODULE module = LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) {
    printError("cannot load", argv[1], GetLastError());
    return 2;
  }
  std::vector<Template> templates;
  EnumResourceNamesW(module, MAKEINTRESOURCEW(5) /* RT_DIALOG */, collectDialog,
                     reinterpret_cast<LONG_PTR>(&templates));
  if (templates.empty()) {
    printError("no dialog in", argv[1], GetLastError());
    FreeLibrary(module);
    return 2;
  }
  if (!makeFolders(outDir)) {
    printError("cannot make", outDir, GetLastError());
    FreeLibrary(module);
    return 2;
  }

  // The owner of the dialogs and the parent of property pages, off screen.
  HWND host = CreateWindowExW(WS_EX_TOOLWINDOW, TEXT("STATIC"), TEXT(""), WS_POPUP, -32000, -32000, 10, 10, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
  std::string list;
  int failed = 0;
  for (const Template &t : templates) {
    Shot shot;
    if (!shoot(module, host, t, outDir, shot)) {
      ++failed;
      continue;
    }
    char size[32];
    std::snprintf(size, sizeof size, " %dx%d ", shot.width, shot.height);
    list += toUtf8(t.name) + size + toUtf8(shot.title) + "\n";
    std::printf("dialog %s: %dx%d \"%s\"\n", toUtf8(t.name).c_str(), shot.width, shot.height,
                toUtf8(shot.title).c_str());
  }
  if (host) DestroyWindow(host);
  FreeLibrary(module);
  if (!writeFile(outDir + TEXT("\\dialogs.txt"), list.data(), list.size())) {
    printError("cannot write", outDir + TEXT("\\dialogs.txt"), GetLastError());
    return 1;
  }
  std::printf("%d of %zu dialogs drawn\n", static_cast<int>(templates.size()) - failed, templates.size());
  return failed ? 1 : 0;
}
