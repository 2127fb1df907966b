// The ANSI forms of the file, folder and module-name calls.  A name in the
// system code page is turned into UTF-16 and handed to the wide call; what
// comes back is turned into the code page, where a character the code page
// lacks becomes its default character ('?'), as on Windows.  The ANSI calls
// keep the MAX_PATH limit of their names.
#include "core/internal.h"
#include "kernel32/ansi_text.h"

namespace winsim {

namespace {

// The UTF-16 form of an ANSI name; false (with ERROR_FILENAME_EXCED_RANGE)
// for a name longer than the ANSI calls take, ERROR_PATH_NOT_FOUND for none.
bool wideName(LPCSTR name, std::u16string &out) {
  out.clear();
  if (!name) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  int n = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
  if (n <= 0 || n > MAX_PATH) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  out.resize(size_t(n));
  MultiByteToWideChar(CP_ACP, 0, name, -1, reinterpret_cast<LPWSTR>(out.data()), n);
  out.pop_back();  // the terminator
  return true;
}

// The directory calls' protocol in bytes: the length without the
// terminator, or the size needed with it when the buffer is too small.
DWORD copyOutAnsi(const std::string &text, LPSTR buffer, DWORD size) {
  if (!buffer || size <= text.size()) return DWORD(text.size() + 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return DWORD(text.size());
}

// A wide directory query as an ANSI one.
template <typename Query>
DWORD ansiDirectory(Query query, LPSTR buffer, DWORD size) {
  WCHAR wide[MAX_PATH + 1];
  DWORD n = query(wide, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return 0;
  return copyOutAnsi(ansiOf(wide, n), buffer, size);
}

void findDataToAnsi(const WIN32_FIND_DATAW &w, LPWIN32_FIND_DATAA a) {
  a->dwFileAttributes = w.dwFileAttributes;
  a->ftCreationTime = w.ftCreationTime;
  a->ftLastAccessTime = w.ftLastAccessTime;
  a->ftLastWriteTime = w.ftLastWriteTime;
  a->nFileSizeHigh = w.nFileSizeHigh;
  a->nFileSizeLow = w.nFileSizeLow;
  a->dwReserved0 = w.dwReserved0;
  a->dwReserved1 = w.dwReserved1;
  std::string name = ansiOf(w.cFileName, size_t(lstrlenW(w.cFileName)));
  if (name.size() >= MAX_PATH) name.resize(MAX_PATH - 1);
  std::memcpy(a->cFileName, name.c_str(), name.size() + 1);
  std::string alt = ansiOf(w.cAlternateFileName, size_t(lstrlenW(w.cAlternateFileName)));
  if (alt.size() >= sizeof a->cAlternateFileName) alt.resize(sizeof a->cAlternateFileName - 1);
  std::memcpy(a->cAlternateFileName, alt.c_str(), alt.size() + 1);
}

}  // namespace

}  // namespace winsim

using namespace winsim;

extern "C" {

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
  std::u16string w;
  return wideName(lpFileName, w) ? DeleteFileW(w.c_str()) : FALSE;
}

BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
  std::u16string from, to;
  if (!wideName(lpExistingFileName, from) || !wideName(lpNewFileName, to)) return FALSE;
  return CopyFileW(from.c_str(), to.c_str(), bFailIfExists);
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
  std::u16string w;
  return wideName(lpPathName, w) ? CreateDirectoryW(w.c_str(), lpSecurityAttributes) : FALSE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
  std::u16string w;
  return wideName(lpPathName, w) ? RemoveDirectoryW(w.c_str()) : FALSE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
  std::u16string w;
  return wideName(lpFileName, w) ? GetFileAttributesW(w.c_str()) : INVALID_FILE_ATTRIBUTES;
}

BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
  std::u16string w;
  return wideName(lpFileName, w) ? SetFileAttributesW(w.c_str(), dwFileAttributes) : FALSE;
}

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
  std::u16string w;
  if (!lpFileName || !lpFindFileData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (!wideName(lpFileName, w)) return INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAW data{};
  HANDLE h = FindFirstFileW(w.c_str(), &data);
  if (h != INVALID_HANDLE_VALUE) findDataToAnsi(data, lpFindFileData);
  return h;
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
  if (!lpFindFileData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  WIN32_FIND_DATAW data{};
  if (!FindNextFileW(hFindFile, &data)) return FALSE;
  findDataToAnsi(data, lpFindFileData);
  return TRUE;
}

DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
  return ansiDirectory([](LPWSTR b, DWORD n) { return GetTempPathW(n, b); }, lpBuffer, nBufferLength);
}

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
  return ansiDirectory([](LPWSTR b, DWORD n) { return DWORD(GetSystemDirectoryW(b, n)); }, lpBuffer, uSize);
}

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
  return ansiDirectory([](LPWSTR b, DWORD n) { return DWORD(GetWindowsDirectoryW(b, n)); }, lpBuffer, uSize);
}

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  WCHAR wide[1024];
  DWORD n = GetModuleFileNameW(hModule, wide, 1024);
  if (n == 0) return 0;
  if (!lpFilename || nSize == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::string name = ansiOf(wide, n);
  // Cut to the buffer, terminated, and the size given returned, as the wide
  // call does.
  if (name.size() >= nSize) {
    std::memcpy(lpFilename, name.data(), nSize - 1);
    lpFilename[nSize - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  std::memcpy(lpFilename, name.c_str(), name.size() + 1);
  SetLastError(NO_ERROR);
  return DWORD(name.size());
}

}  // extern "C"

namespace winsim {

namespace {

const char *const kKernel32Ansi[] = {
    "CopyFileA",
    "CreateDirectoryA",
    "DeleteFileA",
    "FindFirstFileA",
    "FindNextFileA",
    "GetFileAttributesA",
    "GetModuleFileNameA",
    "GetPrivateProfileStringA",
    "GetSystemDirectoryA",
    "GetTempPathA",
    "GetWindowsDirectoryA",
    "RemoveDirectoryA",
    "SetFileAttributesA",
    "WritePrivateProfileStringA",
    "lstrcatA",
    "lstrcpyA",
    "lstrlenA",
};
const ExportList kKernel32AnsiList(u"kernel32.dll", kKernel32Ansi);

}  // namespace

}  // namespace winsim
