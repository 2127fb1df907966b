// Writing initialisation files (WritePrivateProfileStringA): a key set,
// a key deleted (no string) or a whole section deleted (no key name), the
// rest of the file kept as it was, line for line.  A name without a folder
// is a file of the Windows folder; a missing file is made.
#include <string>
#include <vector>

#include "core/internal.h"

namespace winsim {

namespace {

std::string trimmed(const std::string &s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return s.substr(b, e - b);
}

// Section and key names are compared without regard to case.
bool sameName(const std::string &a, const std::string &b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

bool profilePath(LPCSTR fileName, std::u16string &path) {
  int n = MultiByteToWideChar(CP_ACP, 0, fileName, -1, nullptr, 0);
  if (n <= 1 || n > MAX_PATH) return false;
  std::u16string wide(size_t(n), u'\0');
  MultiByteToWideChar(CP_ACP, 0, fileName, -1, reinterpret_cast<LPWSTR>(wide.data()), n);
  wide.pop_back();
  if (wide.find_first_of(u"\\/:") != std::u16string::npos) {
    path = wide;
    return true;
  }
  WCHAR dir[MAX_PATH];
  UINT d = GetWindowsDirectoryW(dir, MAX_PATH);
  if (d == 0 || d >= MAX_PATH) return false;
  path = std::u16string(dir, d) + u"\\" + wide;
  return true;
}

bool readLines(const std::u16string &path, std::vector<std::string> &lines) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  std::string text;
  char buf[4096];
  DWORD got = 0;
  while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got > 0) text.append(buf, got);
  CloseHandle(f);
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    at = end + 1;
  }
  return true;
}

bool writeLines(const std::u16string &path, const std::vector<std::string> &lines) {
  std::string text;
  for (const std::string &l : lines) text += l + "\r\n";
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(f, text.data(), DWORD(text.size()), &written, nullptr);
  CloseHandle(f);
  return ok && written == text.size();
}

bool isSection(const std::string &line, std::string *name) {
  std::string t = trimmed(line);
  if (t.empty() || t[0] != '[') return false;
  size_t close = t.find(']');
  if (name) *name = trimmed(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
  return true;
}

bool isKey(const std::string &line, const std::string &key) {
  std::string t = trimmed(line);
  size_t eq = t.find('=');
  return !t.empty() && t[0] != ';' && sameName(trimmed(t.substr(0, eq)), key);
}

// The lines of a section: [begin, end), begin being its header; false when
// the file has no such section.
bool findSection(const std::vector<std::string> &lines, const std::string &section, size_t &begin, size_t &end) {
  std::string name;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!isSection(lines[i], &name) || !sameName(name, section)) continue;
    begin = i;
    end = i + 1;
    while (end < lines.size() && !isSection(lines[end], nullptr)) ++end;
    return true;
  }
  return false;
}

void setKey(std::vector<std::string> &lines, const std::string &section, const std::string &key,
            const std::string &value) {
  size_t begin = 0, end = 0;
  const std::string line = key + "=" + value;
  if (!findSection(lines, section, begin, end)) {
    lines.push_back("[" + section + "]");
    lines.push_back(line);
    return;
  }
  for (size_t i = begin + 1; i < end; ++i)
    if (isKey(lines[i], key)) {
      // The key keeps its spelling; only its value changes.
      std::string t = trimmed(lines[i]);
      lines[i] = trimmed(t.substr(0, t.find('='))) + "=" + value;
      return;
    }
  // After the section's last line that is not blank.
  size_t at = end;
  while (at > begin + 1 && trimmed(lines[at - 1]).empty()) --at;
  lines.insert(lines.begin() + long(at), line);
}

}  // namespace

}  // namespace winsim

using namespace winsim;

extern "C" BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                                                  LPCSTR lpFileName) {
  std::u16string path;
  if (!lpAppName || !lpFileName || !profilePath(lpFileName, path)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<std::string> lines;
  if (!readLines(path, lines)) return FALSE;
  size_t begin = 0, end = 0;
  if (!lpKeyName) {
    // The whole section goes.
    if (!findSection(lines, lpAppName, begin, end)) return TRUE;
    lines.erase(lines.begin() + long(begin), lines.begin() + long(end));
  } else if (!lpString) {
    if (!findSection(lines, lpAppName, begin, end)) return TRUE;
    for (size_t i = begin + 1; i < end; ++i)
      if (isKey(lines[i], lpKeyName)) {
        lines.erase(lines.begin() + long(i));
        break;
      }
  } else {
    setKey(lines, lpAppName, lpKeyName, lpString);
  }
  if (!writeLines(path, lines)) return FALSE;
  SetLastError(NO_ERROR);
  return TRUE;
}
