// The virtual drive C:, a host directory: Windows paths are mapped onto it
// component by component without regard to case, as NTFS does for Windows
// programs.
#include <dirent.h>
#include <sys/stat.h>

#include <map>

#include "core/internal.h"

namespace winsim {

// Splits a Windows path into components after the drive.  Accepts "C:\a\b",
// "c:/a/b", "\\?\C:\a", "\a" (current drive) and relative paths.
bool splitPath(const std::u16string &in, std::vector<std::u16string> &parts) {
  std::u16string p = in;
  for (auto &c : p)
    if (c == u'/') c = u'\\';
  if (p.rfind(u"\\\\?\\", 0) == 0) p = p.substr(4);
  if (p.rfind(u"\\\\", 0) == 0) return false;  // UNC: not on the virtual drive
  std::u16string rest;
  if (p.size() >= 2 && p[1] == u':') {
    if (upperChar(p[0]) != u'C') return false;
    rest = p.substr(2);
    if (rest.empty() || rest[0] != u'\\') rest = currentDirectory().substr(2) + u"\\" + rest;
  } else if (!p.empty() && p[0] == u'\\') {
    rest = p;
  } else {
    rest = currentDirectory().substr(2) + u"\\" + p;
  }
  parts.clear();
  size_t i = 0;
  while (i <= rest.size()) {
    size_t j = rest.find(u'\\', i);
    if (j == std::u16string::npos) j = rest.size();
    std::u16string c = rest.substr(i, j - i);
    // Windows drops trailing dots and blanks of a component.
    while (!c.empty() && c != u"." && c != u".." && (c.back() == u'.' || c.back() == u' ')) c.pop_back();
    if (c.empty() || c == u".") {
    } else if (c == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else {
      for (char16_t ch : c)
        if (ch < 32 || ch == u'<' || ch == u'>' || ch == u'"' || ch == u'|' || ch == u'?' || ch == u'*' || ch == u':')
          return false;
      parts.push_back(c);
    }
    i = j + 1;
  }
  return true;
}

bool mapPath(LPCWSTR windowsPath, std::string &host) {
  if (!windowsPath || !*windowsPath) return false;
  std::vector<std::u16string> parts;
  if (!splitPath(windowsPath, parts)) return false;
  std::string cur = driveRootDir();
  bool exists = true;
  for (const auto &part : parts) {
    std::string want = toUtf8(part);
    std::string chosen = want;
    if (exists) {
      struct stat st {};
      if (::stat((cur + "/" + want).c_str(), &st) != 0) {
        chosen.clear();
        if (DIR *d = ::opendir(cur.c_str())) {
          while (dirent *e = ::readdir(d)) {
            if (equalsNoCaseUtf8(e->d_name, want)) {
              chosen = e->d_name;
              break;
            }
          }
          ::closedir(d);
        }
        if (chosen.empty()) {
          chosen = want;
          exists = false;
        }
      }
    }
    cur += "/" + chosen;
  }
  host = cur;
  return true;
}

std::u16string currentDirectory() { return u"C:\\"; }

}  // namespace winsim

namespace winsim {

namespace {

struct ObjectId {
  dev_t dev;
  ino_t ino;
  bool operator<(const ObjectId &o) const { return dev != o.dev ? dev < o.dev : ino < o.ino; }
};

std::mutex g_securityLock;
std::map<ObjectId, std::vector<uint8_t>> *g_security = new std::map<ObjectId, std::vector<uint8_t>>;

bool idOf(const std::string &host, ObjectId &id) {
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) return false;
  id = {st.st_dev, st.st_ino};
  return true;
}

// A new drive has no descriptors; the old drive's objects are gone.
void resetSecurity() {
  std::lock_guard<std::mutex> g(g_securityLock);
  g_security->clear();
}
const ResetStep kSecurity(kResetMachine, resetSecurity);

}  // namespace

bool fileSecurity(const std::string &host, std::vector<uint8_t> &descriptor) {
  ObjectId id;
  if (!idOf(host, id)) return false;
  std::lock_guard<std::mutex> g(g_securityLock);
  auto it = g_security->find(id);
  if (it == g_security->end()) return false;
  descriptor = it->second;
  return true;
}

bool setFileSecurity(const std::string &host, const std::vector<uint8_t> &descriptor) {
  ObjectId id;
  if (!idOf(host, id)) return false;
  std::lock_guard<std::mutex> g(g_securityLock);
  (*g_security)[id] = descriptor;
  return true;
}

void forgetFileSecurity(const std::string &host) {
  ObjectId id;
  if (!idOf(host, id)) return;
  std::lock_guard<std::mutex> g(g_securityLock);
  g_security->erase(id);
}

}  // namespace winsim
