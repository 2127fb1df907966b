#include "support.h"

namespace conf {

WString scratchDir() {
  WCHAR temp[MAX_PATH];
  DWORD n = GetTempPathW(MAX_PATH, temp);
  if (!n || n >= MAX_PATH) return WString();
  WString dir = WString(temp) + TEXT("WinsimConformance\\");
  removeTree(dir);
  CreateDirectoryW(dir.c_str(), nullptr);
  return dir;
}

bool removeTree(const WString &dir) {
  WString base = dir;
  if (!base.empty() && base.back() != TEXT('\\')) base += TEXT('\\');
  WIN32_FIND_DATAW fd;
  HANDLE f = FindFirstFileW((base + TEXT("*")).c_str(), &fd);
  if (f != INVALID_HANDLE_VALUE) {
    do {
      WString name = fd.cFileName;
      if (name == TEXT(".") || name == TEXT("..")) continue;
      WString path = base + name;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        removeTree(path);
      } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(f, &fd));
    FindClose(f);
  }
  RemoveDirectoryW(base.c_str());
  return GetFileAttributesW(base.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool writeFile(const WString &path, const void *data, DWORD size) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(f, data, size, &written, nullptr);
  CloseHandle(f);
  return ok && written == size;
}

bool readFile(const WString &path, std::string &out) {
  out.clear();
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  char buf[4096];
  DWORD got = 0;
  BOOL ok;
  while ((ok = ReadFile(f, buf, sizeof buf, &got, nullptr)) && got) out.append(buf, got);
  CloseHandle(f);
  return ok != FALSE;
}

WString programDir() {
  WCHAR path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (!n || n >= MAX_PATH) return WString();
  WString p(path, n);
  size_t slash = p.find_last_of(TEXT("\\/"));
  return slash == WString::npos ? WString() : p.substr(0, slash + 1);
}

}  // namespace conf
