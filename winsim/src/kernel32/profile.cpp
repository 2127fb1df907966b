// Reading initialisation files (GetPrivateProfileStringA): the sections and
// keys of a text file in the ANSI code page, found without regard to case.
// Only reading: nothing of the package writes such files through the API.
#include <windows.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string trim(const std::string &s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return s.substr(b, e - b);
}

bool sameNoCase(const std::string &a, const char *b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// A value in matching quotes loses them.
std::string unquote(const std::string &v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

// The file's bytes; false when it cannot be opened.  A name without a folder
// is looked for in the Windows folder, as the documentation says.
bool readProfile(LPCSTR fileName, std::string &text) {
  WCHAR wide[MAX_PATH];
  if (!fileName || !MultiByteToWideChar(CP_ACP, 0, fileName, -1, wide, MAX_PATH)) return false;
  WCHAR path[2 * MAX_PATH];
  bool hasFolder = false;
  for (const WCHAR *p = wide; *p; ++p)
    if (*p == '\\' || *p == '/' || *p == ':') hasFolder = true;
  if (hasFolder) {
    lstrcpynW(path, wide, 2 * MAX_PATH);
  } else {
    UINT n = GetWindowsDirectoryW(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    path[n] = '\\';
    lstrcpynW(path + n + 1, wide, MAX_PATH);
  }
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  char buf[4096];
  DWORD got = 0;
  while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got > 0) text.append(buf, got);
  CloseHandle(f);
  if (text.size() >= 3 && static_cast<unsigned char>(text[0]) == 0xEF && static_cast<unsigned char>(text[1]) == 0xBB &&
      static_cast<unsigned char>(text[2]) == 0xBF)
    text.erase(0, 3);
  return true;
}

struct Entry {
  std::string section, key, value;
  bool isKey = false;  // a line with '=' (a key) rather than the section header
};

std::vector<Entry> parse(const std::string &text) {
  std::vector<Entry> out;
  std::string section;
  bool inSection = false;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = trim(text.substr(at, end - at));
    at = end + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      size_t close = line.find(']');
      section = trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      inSection = true;
      out.push_back({section, {}, {}, false});
      continue;
    }
    if (!inSection) continue;
    size_t eq = line.find('=');
    Entry e{section, {}, {}, true};
    if (eq == std::string::npos) {
      e.key = line;
    } else {
      e.key = trim(line.substr(0, eq));
      e.value = unquote(trim(line.substr(eq + 1)));
    }
    out.push_back(e);
  }
  return out;
}

// Copies one string, cut to the buffer; returns the characters copied.
DWORD copyOne(const std::string &s, LPSTR out, DWORD size) {
  if (!out || size == 0) return 0;
  DWORD n = DWORD(s.size());
  if (n > size - 1) n = size - 1;
  std::memcpy(out, s.data(), n);
  out[n] = 0;
  return n;
}

// Copies a list of strings, each terminated, the list ending in a second
// zero; a list cut by the buffer returns size - 2.
DWORD copyList(const std::vector<std::string> &items, LPSTR out, DWORD size) {
  if (!out || size == 0) return 0;
  if (size == 1) {
    out[0] = 0;
    return 0;
  }
  DWORD at = 0;
  for (const std::string &s : items) {
    if (at + s.size() + 1 > size - 1) {
      DWORD room = size - 1 - at;
      if (room > 0) {
        std::memcpy(out + at, s.data(), room - 1);
        out[at + room - 1] = 0;
      }
      out[size - 1] = 0;
      return size - 2;
    }
    std::memcpy(out + at, s.data(), s.size());
    at += DWORD(s.size());
    out[at++] = 0;
  }
  out[at] = 0;
  return at;
}

}  // namespace

DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault, LPSTR lpReturnedString,
                                      DWORD nSize, LPCSTR lpFileName) {
  std::string text;
  const bool opened = readProfile(lpFileName, text);
  const std::vector<Entry> entries = opened ? parse(text) : std::vector<Entry>{};
  if (!lpAppName) {
    std::vector<std::string> names;
    for (const Entry &e : entries)
      if (!e.isKey) names.push_back(e.section);
    if (!opened) SetLastError(ERROR_FILE_NOT_FOUND);
    return copyList(names, lpReturnedString, nSize);
  }
  if (!lpKeyName) {
    std::vector<std::string> keys;
    for (const Entry &e : entries)
      if (e.isKey && sameNoCase(e.section, lpAppName)) keys.push_back(e.key);
    if (!opened) SetLastError(ERROR_FILE_NOT_FOUND);
    return copyList(keys, lpReturnedString, nSize);
  }
  for (const Entry &e : entries)
    if (e.isKey && sameNoCase(e.section, lpAppName) && sameNoCase(e.key, lpKeyName))
      return copyOne(e.value, lpReturnedString, nSize);
  // Not there: the default, without its trailing blanks.
  SetLastError(ERROR_FILE_NOT_FOUND);
  std::string def = lpDefault ? lpDefault : "";
  while (!def.empty() && def.back() == ' ') def.pop_back();
  return copyOne(def, lpReturnedString, nSize);
}
