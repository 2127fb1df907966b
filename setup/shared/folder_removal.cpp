#include "setup/shared/file_removal.h"

#include <winspool.h>

namespace card::setup {

namespace {

// A text the system writes into a buffer the caller sizes: asked with a
// growing buffer until it fits.
template <typename Fill>
WString grownText(Fill fill) {
  WString text(MAX_PATH, WCHAR(0));
  for (int attempt = 0; attempt < 8; ++attempt) {
    DWORD length = fill(text.data(), DWORD(text.size()));
    if (length == 0) return {};
    if (length < text.size()) {
      text.resize(length);
      return text;
    }
    text.assign(size_t(length) + 1, WCHAR(0));
  }
  return {};
}

bool removeEmptyFolder(const WString &path, DWORD attributes) {
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  return RemoveDirectoryW(path.c_str()) != FALSE;
}

}  // namespace

WString systemFolder() {
  return grownText([](LPWSTR buffer, DWORD size) { return DWORD(GetSystemDirectoryW(buffer, size)); });
}

WString windowsFolder() {
  return grownText([](LPWSTR buffer, DWORD size) { return DWORD(GetSystemWindowsDirectoryW(buffer, size)); });
}

WString tempFolder() {
  return grownText([](LPWSTR buffer, DWORD size) { return GetTempPathW(size, buffer); });
}

WString moduleFile(HMODULE module) {
  // The name is cut to the buffer's size and fills it when it did not fit.
  WString text(MAX_PATH, WCHAR(0));
  for (int attempt = 0; attempt < 8; ++attempt) {
    DWORD length = GetModuleFileNameW(module, text.data(), DWORD(text.size()));
    if (length == 0) return {};
    if (length < text.size()) {
      text.resize(length);
      return text;
    }
    text.assign(text.size() * 2, WCHAR(0));
  }
  return {};
}

WString printerDriverFolder(LPCWSTR environment) {
  DWORD needed = 0;
  GetPrinterDriverDirectoryW(nullptr, const_cast<LPWSTR>(environment), 1, nullptr, 0, &needed);
  if (needed == 0) return {};
  WString folder(needed / sizeof(WCHAR) + 1, WCHAR(0));
  if (!GetPrinterDriverDirectoryW(nullptr, const_cast<LPWSTR>(environment), 1, reinterpret_cast<LPBYTE>(folder.data()),
                                  DWORD(folder.size() * sizeof(WCHAR)), &needed))
    return {};
  return WString(folder.c_str());
}

bool deleteFileMadeWritable(const WString &path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  return DeleteFileW(path.c_str()) != FALSE;
}

bool removeFolderTree(const WString &folder) {
  DWORD folderAttributes = GetFileAttributesW(folder.c_str());
  if (folderAttributes == INVALID_FILE_ATTRIBUTES || !(folderAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  if (folderAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return removeEmptyFolder(folder, folderAttributes);
  WIN32_FIND_DATAW found = {};
  HANDLE search = FindFirstFileW(joinPath(folder, TEXT("*")).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool removed = true;
  do {
    WString name = found.cFileName;
    if (name == WString(TEXT(".")) || name == WString(TEXT(".."))) continue;
    WString path = joinPath(folder, u16(name.c_str()));
    DWORD attributes = found.dwFileAttributes;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
      removed = deleteFileMadeWritable(path);
    else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
      removed = removeEmptyFolder(path, attributes);
    else
      removed = removeFolderTree(path);
  } while (removed && FindNextFileW(search, &found));
  // The listing ended normally only when it ran out of entries.
  bool listedAll = removed && GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(search);
  if (!listedAll) return false;
  return removeEmptyFolder(folder, folderAttributes);
}

}  // namespace card::setup
