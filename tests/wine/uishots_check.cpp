// uishotswinecheck: the dialog renderer (tools/uishots) under Wine.
//
// Runs uishots.exe on a module of the dialog manager tests' templates and
// checks what it leaves: a line per template in dialogs.txt, and the picture
// of the "All controls" template (240 x 180 dialog units, "MS Shell Dlg" 8 pt)
// at the size the dialog manager gives that template at 96 dpi, computed here
// from the font by the documented rule for dialog base units (average width
// of the 52 letters, text height) and AdjustWindowRectEx, and with something
// drawn: a title bar, controls' text and frames.  Then a module without
// dialogs and one that does not exist, which the renderer refuses.
//
// Usage: uishotswinecheck [uishots.exe testdialogs.dll] (host or Windows
// paths; by default those of the build that made it).
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "tests/wine/check_report.h"
#include "tests/wine/host_paths.h"
#include "tools/uishots/png.h"

namespace {

using WString = std::basic_string<WCHAR>;

using winecheck::check;
using winecheck::checkEq;
using winecheck::note;
using winecheck::underWine;
using winecheck::widen;
using winecheck::windowsPath;

// Runs the renderer; its exit code, or -1 when it could not be started or
// did not end within a minute.
int runRenderer(const WString &exe, const WString &module, const WString &outDir) {
  WString line = TEXT("\"") + exe + TEXT("\" \"") + module + TEXT("\" \"") + outDir + TEXT("\"");
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(pi.hProcess, &code);
  } else {
    TerminateProcess(pi.hProcess, 1);
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<int>(code);
}

bool readFile(const WString &path, std::vector<uint8_t> &data) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD size = GetFileSize(file, nullptr), got = 0;
  data.resize(size);
  BOOL ok = ReadFile(file, data.data(), size, &got, nullptr) && got == size;
  CloseHandle(file);
  return ok;
}

void removeFolder(const WString &dir) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((dir + TEXT("\\*")).c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        DeleteFileW((dir + TEXT("\\") + found.cFileName).c_str());
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  RemoveDirectoryW(dir.c_str());
}

// The window size of a DS_SETFONT dialog of cx x cy dialog units in the
// given font, style WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME.
SIZE expectedWindowSize(int cx, int cy, int points, LPCWSTR face, int dpi) {
  HDC dc = CreateCompatibleDC(nullptr);
  HFONT font = CreateFontW(-MulDiv(points, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, face);
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW tm = {};
  GetTextMetricsW(dc, &tm);
  SIZE letters = {};
  const WCHAR kLetters[] = TEXT("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  GetTextExtentPoint32W(dc, kLetters, 52, &letters);
  SelectObject(dc, old);
  DeleteObject(font);
  DeleteDC(dc);
  int baseX = (letters.cx / 26 + 1) / 2, baseY = tm.tmHeight;
  RECT r = {0, 0, MulDiv(cx, baseX, 4), MulDiv(cy, baseY, 8)};
  AdjustWindowRectEx(&r, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, FALSE, WS_EX_DLGMODALFRAME);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

}  // namespace

int main(int argc, char **argv) {
  WString exe = windowsPath(argc > 2 ? argv[1] : UISHOTS_EXE);
  WString module = windowsPath(argc > 2 ? argv[2] : UISHOTS_TESTDIALOGS_DLL);
  WCHAR temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  WCHAR unique[32];
  wsprintfW(unique, TEXT("uishots_check_%lu"), GetCurrentProcessId());
  WString outDir = WString(temp) + unique;

  // --- the test templates
  checkEq(runRenderer(exe, module, outDir), 0, "the renderer draws every template of the test module");
  std::vector<uint8_t> listBytes;
  check(readFile(outDir + TEXT("\\dialogs.txt"), listBytes), "dialogs.txt is written");
  std::string list(listBytes.begin(), listBytes.end());
  // id -> (size, title)
  std::map<std::string, std::pair<std::string, std::string>> lines;
  for (size_t at = 0; at < list.size();) {
    size_t end = list.find('\n', at);
    if (end == std::string::npos) end = list.size();
    std::string line = list.substr(at, end - at);
    size_t a = line.find(' '), b = a == std::string::npos ? a : line.find(' ', a + 1);
    if (b != std::string::npos) lines[line.substr(0, a)] = {line.substr(a + 1, b - a - 1), line.substr(b + 1)};
    at = end + 1;
  }
  checkEq(static_cast<long long>(lines.size()), 3, "dialogs.txt has a line per template");
  check(lines["300"].second == "All controls" && lines["301"].second == "Plain" && lines["302"].second == "No font",
        "dialogs.txt names each template's title", "%s", list.c_str());

  std::vector<uint8_t> png;
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  bool decoded = readFile(outDir + TEXT("\\dialog_300.png"), png) && uishots::decodePng(png, width, height, pixels);
  check(decoded, "dialog_300.png is a whole PNG file (CRCs, Adler-32)");
  for (const char *id : {"301", "302"}) {
    std::vector<uint8_t> other;
    int w = 0, h = 0;
    std::vector<uint32_t> p;
    std::string what = std::string("dialog_") + id + ".png is written";
    check(readFile(outDir + TEXT("\\dialog_") + widen(id) + TEXT(".png"), other) && uishots::decodePng(other, w, h, p),
          what.c_str());
  }
  if (decoded) {
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    if (dpi != 96) note("the display is not at 96 dpi; the size below is the one at its resolution");
    SIZE want = expectedWindowSize(240, 180, 8, TEXT("MS Shell Dlg"), dpi);
    checkEq(width, want.cx, "the picture is as wide as the dialog laid out from its template");
    checkEq(height, want.cy, "the picture is as high as the dialog laid out from its template");
    char size[32];
    std::snprintf(size, sizeof size, "%dx%d", width, height);
    check(lines["300"].first == size, "dialogs.txt gives the picture's size", "%s", lines["300"].first.c_str());

    // Something drawn: the title bar's row differs from the face colour,
    // and the client area holds dark text and light edit fields.
    uint32_t face = GetSysColor(COLOR_3DFACE);
    face = ((face & 0xFF) << 16) | (face & 0xFF00) | ((face >> 16) & 0xFF);  // COLORREF to 0x00RRGGBB
    int captionRow = GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2;
    int captionDiffers = 0;
    for (int x = width / 4; x < width / 2; ++x) captionDiffers += pixels[size_t(captionRow) * width + x] != face;
    check(captionDiffers > width / 8, "the title bar is drawn");
    int dark = 0, light = 0;
    std::map<uint32_t, int> colours;
    for (int y = height / 5; y < height - 8; ++y) {
      for (int x = 8; x < width - 8; ++x) {
        uint32_t p = pixels[size_t(y) * width + x];
        int sum = ((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF);
        dark += sum < 384;
        light += sum > 750;
        ++colours[p];
      }
    }
    check(dark > 400, "the controls' text and frames are drawn", "%d dark pixels", dark);
    check(light > 2000, "the edit fields and combo box are drawn white", "%d white pixels", light);
    check(colours.size() > 4, "the picture is not blank", "%zu colours", colours.size());
  }
  removeFolder(outDir);

  // --- what the renderer refuses
  WCHAR self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  checkEq(runRenderer(exe, self, outDir), 2, "a module without dialogs is refused");
  checkEq(runRenderer(exe, outDir + TEXT("\\missing.dll"), outDir), 2, "a module that does not exist is refused");
  removeFolder(outDir);
  return winecheck::finish();
}
