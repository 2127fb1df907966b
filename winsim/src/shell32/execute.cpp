// ShellExecuteW: a program file opened as the shell opens it, by starting it
// as CreateProcessW would; a batch file (.bat, .cmd) opened by the command
// interpreter, "cmd.exe /c" and the file, in a process of its own.  Other
// files have no association here: they answer SE_ERR_NOASSOC.
#include <shellapi.h>

#include "core/internal.h"

using namespace winsim;

namespace {

HINSTANCE shellResult(INT_PTR code) { return reinterpret_cast<HINSTANCE>(code); }

bool hasFolder(const std::u16string &name) { return name.find_first_of(u"\\/:") != std::u16string::npos; }

std::u16string extensionOf(const std::u16string &name) {
  size_t slash = name.find_last_of(u"\\/");
  size_t dot = name.find_last_of(u'.');
  if (dot == std::u16string::npos || (slash != std::u16string::npos && dot < slash)) return std::u16string();
  return upper(name.substr(dot));
}

}  // namespace

extern "C" {

HINSTANCE WINAPI ShellExecuteW(HWND, LPCWSTR lpOperation, LPCWSTR lpFile, LPCWSTR lpParameters, LPCWSTR lpDirectory,
                               INT nShowCmd) {
  if (!lpFile || !*lpFile) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return shellResult(SE_ERR_FNF);
  }
  // "open" (and no verb, its default) start a program; other verbs have no
  // handler here.
  if (lpOperation && *lpOperation && !equalsNoCase(lpOperation, u"open")) {
    SetLastError(ERROR_NO_ASSOCIATION);
    return shellResult(SE_ERR_NOASSOC);
  }
  std::u16string file = lpFile;
  // A relative name with a folder given is looked for in that folder first.
  if (!hasFolder(file) && lpDirectory && *lpDirectory) {
    std::u16string inDir = std::u16string(lpDirectory) + u"\\" + file;
    std::u16string withExe = extensionOf(file).empty() ? inDir + u".exe" : inDir;
    if (GetFileAttributesW(withExe.c_str()) != INVALID_FILE_ATTRIBUTES) file = withExe;
  }
  std::u16string ext = extensionOf(file);
  bool batch = ext == u".BAT" || ext == u".CMD";
  if ((!ext.empty() && ext != u".EXE" && ext != u".COM" && !batch) ||
      (batch && GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES)) {
    DWORD a = GetFileAttributesW(file.c_str());
    SetLastError(a == INVALID_FILE_ATTRIBUTES ? ERROR_FILE_NOT_FOUND : ERROR_NO_ASSOCIATION);
    return shellResult(a == INVALID_FILE_ATTRIBUTES ? SE_ERR_FNF : SE_ERR_NOASSOC);
  }
  std::u16string line = u"\"" + file + u"\"";
  if (lpParameters && *lpParameters) line += u" " + std::u16string(lpParameters);
  // The command interpreter takes the rest of its line after /c, its first
  // and last quotes taken off, as the command to run.
  if (batch) line = u"\"C:\\Windows\\system32\\cmd.exe\" /c \"" + line + u"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = WORD(nShowCmd);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      lpDirectory && *lpDirectory ? lpDirectory : nullptr, &si, &pi)) {
    switch (GetLastError()) {
      case ERROR_FILE_NOT_FOUND: return shellResult(SE_ERR_FNF);
      case ERROR_PATH_NOT_FOUND:
      case ERROR_DIRECTORY: return shellResult(SE_ERR_PNF);
      case ERROR_BAD_EXE_FORMAT: return shellResult(ERROR_BAD_FORMAT);
      case ERROR_NOT_ENOUGH_MEMORY: return shellResult(SE_ERR_OOM);
      default: return shellResult(SE_ERR_ACCESSDENIED);
    }
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  // Any value above 32 means success; 42 is the one the shell has long given.
  return shellResult(42);
}

}  // extern "C"
