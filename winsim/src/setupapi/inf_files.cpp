// The helpers of setupapi.dll's parts: INF files read from the drive, and
// the text protocol of its "Get" calls.
#include "setupapi/inf_files.h"

#include <fstream>
#include <iterator>

#include "core/internal.h"

namespace winsim::setup {

bool readDriveFile(const std::u16string &path, std::vector<uint8_t> &bytes) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  bytes.clear();
  uint8_t chunk[4096];
  DWORD got = 0;
  while (ReadFile(f, chunk, sizeof chunk, &got, nullptr) && got) bytes.insert(bytes.end(), chunk, chunk + got);
  CloseHandle(f);
  return true;
}

bool loadInf(const std::u16string &path, InfText &inf, DWORD &error, std::vector<uint8_t> *bytes) {
  std::vector<uint8_t> content;
  if (!readDriveFile(path, content)) {
    error = GetLastError();
    return false;
  }
  inf = inf::parse(inf::decode(content));
  if (!inf.ok) {
    error = inf.error;
    return false;
  }
  if (bytes) *bytes = std::move(content);
  return true;
}

std::u16string fullPath(const std::u16string &path) {
  WCHAR full[MAX_PATH * 2] = {};
  DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
  return n && n < MAX_PATH * 2 ? std::u16string(full) : path;
}

std::u16string fileNameOf(const std::u16string &path) {
  size_t slash = path.find_last_of(u"\\/:");
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

std::u16string folderOf(const std::u16string &path) {
  size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

BOOL giveText(const std::u16string &text, PWSTR buffer, DWORD size, PDWORD required) {
  DWORD need = DWORD(text.size() + 1);
  if (required) *required = need;
  if (buffer) {
    if (size < need) return failedWith(ERROR_INSUFFICIENT_BUFFER);
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
  }
  return succeeded();
}

BOOL giveTextA(const std::u16string &text, PSTR buffer, DWORD size, PDWORD required) {
  int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), int(text.size() + 1), nullptr, 0, nullptr, nullptr);
  std::string ansi(size_t(n > 0 ? n : 1), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, text.c_str(), int(text.size() + 1), &ansi[0], n, nullptr, nullptr);
  DWORD need = DWORD(ansi.size());
  if (required) *required = need;
  if (buffer) {
    if (size < need) return failedWith(ERROR_INSUFFICIENT_BUFFER);
    std::copy(ansi.begin(), ansi.end(), buffer);
  }
  return succeeded();
}

std::u16string fromAnsi(PCSTR text) {
  if (!text) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (n <= 0) return {};
  std::u16string w(size_t(n), u'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, &w[0], n);
  w.pop_back();
  return w;
}

}  // namespace winsim::setup

namespace winsim {

InfText readInf(const std::string &hostFile) {
  std::ifstream in(hostFile, std::ios::binary);
  if (!in) {
    InfText missing;
    missing.error = ERROR_FILE_NOT_FOUND;
    return missing;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return inf::parse(inf::decode(bytes));
}

}  // namespace winsim
