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

namespace {

// The folder of a directory id; empty for one that names none.
std::u16string diridFolder(unsigned long id, const std::u16string &infFolder) {
  const std::u16string windows = u"C:\\Windows", system = windows + u"\\system32";
  const std::u16string architecture = osVersion().x64 ? u"x64" : u"W32X86";
  switch (id) {
    case 1: return infFolder;
    case 10:
    case 25: return windows;
    case 11:
    case 66002: return system;
    case 12: return system + u"\\drivers";
    case 17: return windows + u"\\INF";
    case 18: return windows + u"\\Help";
    case 20: return windows + u"\\Fonts";
    case 23:
    case 66003: return system + u"\\spool\\drivers\\color";
    case 24:
    case 30:
    case 54: return u"C:\\";
    case 50: return windows + u"\\system";
    case 51: return system + u"\\spool";
    case 52: return system + u"\\spool\\drivers";
    case 55: return system + u"\\spool\\prtprocs";
    case 66000: return system + u"\\spool\\drivers\\" + architecture;
    case 66001: return system + u"\\spool\\prtprocs\\" + architecture;
    default: return {};
  }
}

}  // namespace

std::u16string expandDirids(const std::u16string &text, const std::u16string &infFolder) {
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    size_t open = text.find(u'%', i);
    size_t close = open == std::u16string::npos ? open : text.find(u'%', open + 1);
    if (close == std::u16string::npos) break;
    std::u16string name = text.substr(open + 1, close - open - 1);
    bool digits = !name.empty() && name.size() < 8 && name.find_first_not_of(u"0123456789") == std::u16string::npos;
    std::u16string folder = digits ? diridFolder(std::stoul(std::string(name.begin(), name.end())), infFolder) : u"";
    out += text.substr(i, open - i);
    if (folder.empty()) {
      // Not a directory id: the first % stays and the search goes on at the
      // second, which may open one.
      out += u'%';
      i = open + 1;
      continue;
    }
    out += folder;
    i = close + 1;
  }
  return out + text.substr(i);
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
