// The ANSI forms of the shell calls: strings in the system code page, passed
// to the wide calls as UTF-16, a folder path handed back in the code page.
#include <shellapi.h>
#include <shlobj.h>

#include "core/internal.h"
#include "kernel32/ansi_text.h"

namespace winsim {

namespace {

const char *const kShell32Ansi[] = {"SHGetFolderPathA", "ShellExecuteA"};
const ExportList kShell32AnsiList(u"shell32.dll", kShell32Ansi);
const char *const kShfolderAnsi[] = {"SHGetFolderPathA"};
const ExportList kShfolderAnsiList(u"shfolder.dll", kShfolderAnsi);

}  // namespace

}  // namespace winsim

using namespace winsim;

extern "C" {

HINSTANCE WINAPI ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters, LPCSTR lpDirectory,
                               INT nShowCmd) {
  WideArg operation(lpOperation), file(lpFile), parameters(lpParameters), directory(lpDirectory);
  return ShellExecuteW(hwnd, operation.get(), file.get(), parameters.get(), directory.get(), nShowCmd);
}

HRESULT WINAPI SHGetFolderPathA(HWND hwnd, int csidl, HANDLE hToken, DWORD dwFlags, LPSTR pszPath) {
  if (!pszPath) return E_INVALIDARG;
  pszPath[0] = 0;
  WCHAR wide[MAX_PATH];
  HRESULT hr = SHGetFolderPathW(hwnd, csidl, hToken, dwFlags, wide);
  if (hr != S_OK) return hr;
  // The caller's buffer holds MAX_PATH characters of the code page.
  int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, pszPath, MAX_PATH, nullptr, nullptr);
  if (n <= 0) {
    pszPath[0] = 0;
    return E_FAIL;
  }
  return S_OK;
}

}  // extern "C"
