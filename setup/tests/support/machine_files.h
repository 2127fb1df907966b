// Files on the simulated machine's drive, as the installation modules'
// tests set them up and look at them afterwards.
#pragma once

#include <windows.h>
#include <winsim/testing.h>

#include <string>

namespace card::setup::testing {

// Writes `content` to the file, making the folders on the way.
inline bool putFile(const std::u16string &path, const std::string &content = "x") {
  std::string host = winsim::hostPath(path);
  if (host.empty()) return false;
  std::u16string folder = path.substr(0, path.find_last_of(u'\\'));
  for (size_t at = folder.find(u'\\', 3);; at = folder.find(u'\\', at + 1)) {
    CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
    if (at == std::u16string::npos) break;
  }
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, content.data(), DWORD(content.size()), &written, nullptr) && written == content.size();
  CloseHandle(file);
  return ok;
}

inline bool exists(const std::u16string &path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline std::string readFile(const std::u16string &path) {
  std::string content;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return content;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) content.append(buffer, got);
  CloseHandle(file);
  return content;
}

inline bool keyExists(const std::u16string &path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

inline bool makeKey(const std::u16string &path) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

}  // namespace card::setup::testing
