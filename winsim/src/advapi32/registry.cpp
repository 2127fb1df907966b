// The registry: an in-memory tree of keys and typed values with the advapi32
// calling conventions (sizes in bytes, ERROR_MORE_DATA, names without regard
// to case), and REGEDIT4 text for setting up and inspecting tests.
#include <map>
#include <memory>
#include <sstream>

#include <winsim/testing.h>

#include "core/internal.h"

namespace winsim {

namespace {

struct Value {
  std::u16string name;  // as written
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct Key {
  std::u16string name;  // as written
  Key *parent = nullptr;
  bool deleted = false;
  std::map<std::u16string, std::shared_ptr<Key>> children;  // by upper-case name
  std::vector<Value> values;                                // in creation order
  Value *find(const std::u16string &n) {
    for (auto &v : values)
      if (equalsNoCase(v.name, n)) return &v;
    return nullptr;
  }
};

// An open key: a handle of the handle table, as Windows' keys are kernel
// handles (CloseHandle closes one too).
struct KeyHandle : KObject {
  explicit KeyHandle(std::shared_ptr<Key> k) : KObject(Kind::RegistryKey), key(std::move(k)) {}
  std::shared_ptr<Key> key;
};

std::recursive_mutex g_regLock;
std::map<ULONG_PTR, std::shared_ptr<Key>> g_roots;

const struct {
  ULONG_PTR id;
  const char16_t *name;
  const char16_t *shortName;
} kRoots[] = {
    {0x80000000, u"HKEY_CLASSES_ROOT", u"HKCR"},   {0x80000001, u"HKEY_CURRENT_USER", u"HKCU"},
    {0x80000002, u"HKEY_LOCAL_MACHINE", u"HKLM"},  {0x80000003, u"HKEY_USERS", u"HKU"},
    {0x80000005, u"HKEY_CURRENT_CONFIG", u"HKCC"},
};

std::shared_ptr<Key> rootKey(ULONG_PTR id) {
  auto it = g_roots.find(id);
  if (it != g_roots.end()) return it->second;
  auto k = std::make_shared<Key>();
  for (auto &r : kRoots)
    if (r.id == id) k->name = r.name;
  g_roots[id] = k;
  return k;
}

// Predefined keys are the sign-extended values 0x80000000 and up.
bool isPredefined(HKEY h) {
  ULONG_PTR v = ULONG_PTR(h);
  ULONG_PTR low = v & 0xFFFFFFFFu;
  return (v == low || (v >> 32) == 0xFFFFFFFFu) && low >= 0x80000000u && low <= 0x80000006u;
}

std::shared_ptr<Key> resolveHandle(HKEY h) {
  if (isPredefined(h)) {
    auto id = ULONG_PTR(h) & 0xFFFFFFFFu;
    for (auto &r : kRoots)
      if (r.id == id) return rootKey(id);
    return nullptr;
  }
  // The registry calls answer with their status, the thread's last error
  // stays as it was.
  DWORD saved = lastError();
  KObject *o = lookup(h, Kind::RegistryKey);
  setLastError(saved);
  if (!o) return nullptr;
  std::shared_ptr<Key> k = static_cast<KeyHandle *>(o)->key;
  release(o);
  return k;
}

std::vector<std::u16string> splitKeyPath(const std::u16string &p) {
  std::vector<std::u16string> parts;
  size_t i = 0;
  while (i <= p.size()) {
    size_t j = p.find(u'\\', i);
    if (j == std::u16string::npos) j = p.size();
    if (j > i) parts.push_back(p.substr(i, j - i));
    i = j + 1;
  }
  return parts;
}

std::shared_ptr<Key> walk(std::shared_ptr<Key> k, const std::u16string &path, bool create, bool *created) {
  if (created) *created = false;
  for (const auto &part : splitKeyPath(path)) {
    if (part.size() > 255) return nullptr;
    auto u = upper(part);
    auto it = k->children.find(u);
    if (it == k->children.end()) {
      if (!create) return nullptr;
      auto c = std::make_shared<Key>();
      c->name = part;
      c->parent = k.get();
      k->children[u] = c;
      if (created) *created = true;
      k = c;
    } else {
      k = it->second;
    }
  }
  return k;
}

HKEY newHandle(std::shared_ptr<Key> k) { return reinterpret_cast<HKEY>(registerObject(new KeyHandle(std::move(k)))); }

void markDeleted(Key &k) {
  k.deleted = true;
  for (auto &c : k.children) markDeleted(*c.second);
}

size_t stringBytes(const std::vector<BYTE> &d) { return d.size(); }

}  // namespace

void resetRegistry() {
  std::lock_guard<std::recursive_mutex> g(g_regLock);
  for (auto &r : g_roots) markDeleted(*r.second);
  g_roots.clear();
  // Keys that every installation has.
  for (const char16_t *p :
       {u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
        u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
        u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors", u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers",
        u"SYSTEM\\CurrentControlSet\\Services"})
    walk(rootKey(0x80000002), p, true, nullptr);
  walk(rootKey(0x80000001), u"Software", true, nullptr);
}

namespace {
const ResetStep kRegistry(kResetRegistry, resetRegistry);
}  // namespace

// ------------------------------------------------------------ REGEDIT4 text

namespace {

std::string hexBytes(const std::vector<BYTE> &d) {
  std::string s;
  char buf[4];
  for (size_t i = 0; i < d.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02x", d[i]);
    if (i) s += ',';
    s += buf;
  }
  return s;
}

std::string quote(const std::string &s) {
  std::string r = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') r += '\\';
    r += c;
  }
  return r + "\"";
}

void exportKey(const Key &k, const std::string &path, std::ostringstream &out) {
  out << "[" << path << "]\n";
  for (const auto &v : k.values) {
    out << (v.name.empty() ? std::string("@") : quote(toUtf8(v.name))) << "=";
    if (v.type == REG_SZ) {
      std::u16string s(reinterpret_cast<const char16_t *>(v.data.data()), v.data.size() / 2);
      while (!s.empty() && s.back() == 0) s.pop_back();
      out << quote(toUtf8(s));
    } else if (v.type == REG_DWORD && v.data.size() == 4) {
      char buf[16];
      DWORD d;
      std::memcpy(&d, v.data.data(), 4);
      std::snprintf(buf, sizeof buf, "dword:%08x", d);
      out << buf;
    } else if (v.type == REG_BINARY) {
      out << "hex:" << hexBytes(v.data);
    } else {
      out << "hex(" << std::hex << v.type << std::dec << "):" << hexBytes(v.data);
    }
    out << "\n";
  }
  out << "\n";
  for (const auto &c : k.children) exportKey(*c.second, path + "\\" + toUtf8(c.second->name), out);
}

bool parseRootAndPath(const std::string &full, ULONG_PTR &root, std::u16string &rest) {
  std::u16string w = toUtf16(full);
  size_t slash = w.find(u'\\');
  std::u16string head = slash == std::u16string::npos ? w : w.substr(0, slash);
  rest = slash == std::u16string::npos ? u"" : w.substr(slash + 1);
  for (auto &r : kRoots) {
    if (equalsNoCase(head, r.name) || equalsNoCase(head, r.shortName)) {
      root = r.id;
      return true;
    }
  }
  return false;
}

bool parseHexList(const std::string &s, std::vector<BYTE> &out) {
  out.clear();
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ',' || s[i] == ' ' || s[i] == '\t')) ++i;
    if (i >= s.size()) break;
    size_t j = i;
    while (j < s.size() && std::isxdigit(static_cast<unsigned char>(s[j]))) ++j;
    if (j == i || j - i > 2) return false;
    out.push_back(BYTE(std::stoul(s.substr(i, j - i), nullptr, 16)));
    i = j;
  }
  return true;
}

// Reads a quoted string starting at s[i] == '"'; leaves i after the closing quote.
bool readQuoted(const std::string &s, size_t &i, std::string &out) {
  if (i >= s.size() || s[i] != '"') return false;
  ++i;
  out.clear();
  while (i < s.size()) {
    char c = s[i++];
    if (c == '\\' && i < s.size()) {
      out += s[i++];
    } else if (c == '"') {
      return true;
    } else {
      out += c;
    }
  }
  return false;
}

// Splits the text into lines, joining continuation lines (a trailing
// backslash) first.
std::vector<std::string> joinedLines(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line, acc;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!acc.empty()) {
      size_t s = line.find_first_not_of(" \t");
      line = s == std::string::npos ? "" : line.substr(s);
    }
    // Long hex values are wrapped with a trailing backslash.
    bool continued = !line.empty() && line.back() == '\\' && (!acc.empty() || line.find("=hex") != std::string::npos);
    if (continued) {
      acc += line.substr(0, line.size() - 1);
      continue;
    }
    lines.push_back(acc + line);
    acc.clear();
  }
  if (!acc.empty()) lines.push_back(acc);
  return lines;
}

// A "[key]" line opens (creating) the key, "[-key]" deletes its tree.  Returns
// false for a line that names no key; the current key is then none.
bool importKeyLine(const std::string &l, std::shared_ptr<Key> &cur) {
  size_t end = l.rfind(']');
  if (end == std::string::npos) {
    cur.reset();
    return false;
  }
  std::string name = l.substr(1, end - 1);
  bool del = !name.empty() && name[0] == '-';
  if (del) name = name.substr(1);
  ULONG_PTR root;
  std::u16string rest;
  if (!parseRootAndPath(name, root, rest)) {
    cur.reset();
    return false;
  }
  if (del) {
    RegDeleteTreeW(reinterpret_cast<HKEY>(root | ~ULONG_PTR(0xFFFFFFFFu)), rest.c_str());
    cur.reset();
  } else {
    cur = walk(rootKey(root), rest, true, nullptr);
  }
  return true;
}

// Sets or deletes one value from the text right of the '='.
bool importValueData(HKEY h, const std::u16string &wname, const std::string &v) {
  if (v == "-") {
    RegDeleteValueW(h, wname.c_str());
  } else if (!v.empty() && v[0] == '"') {
    size_t k = 0;
    std::string s;
    if (!readQuoted(v, k, s)) return false;
    std::u16string w = toUtf16(s);
    RegSetValueExW(h, wname.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE *>(w.c_str()), DWORD((w.size() + 1) * 2));
  } else if (v.rfind("dword:", 0) == 0) {
    DWORD d = DWORD(std::stoul(v.substr(6), nullptr, 16));
    RegSetValueExW(h, wname.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE *>(&d), 4);
  } else if (v.rfind("hex", 0) == 0) {
    DWORD type = REG_BINARY;
    size_t colon = v.find(':');
    if (colon == std::string::npos) return false;
    if (v[3] == '(') type = DWORD(std::stoul(v.substr(4, v.find(')') - 4), nullptr, 16));
    std::vector<BYTE> bytes;
    if (!parseHexList(v.substr(colon + 1), bytes)) return false;
    RegSetValueExW(h, wname.c_str(), 0, type, bytes.data(), DWORD(bytes.size()));
  } else {
    return false;
  }
  return true;
}

// A '"name"=data' or '@=data' line of the current key.
bool importValueLine(const std::string &l, const std::shared_ptr<Key> &cur) {
  size_t i = 0;
  std::string name;
  if (l[0] == '@') {
    i = 1;
  } else if (!readQuoted(l, i, name)) {
    return false;
  }
  if (i >= l.size() || l[i] != '=') return false;
  ++i;
  std::string v = l.substr(i);
  std::u16string wname = toUtf16(name);
  HKEY h = newHandle(cur);  // closed below
  bool ok = importValueData(h, wname, v);
  RegCloseKey(h);
  return ok;
}

}  // namespace

std::string exportRegistry(const std::u16string &keyPath) {
  std::lock_guard<std::recursive_mutex> g(g_regLock);
  ULONG_PTR root;
  std::u16string rest;
  std::ostringstream out;
  out << "REGEDIT4\n\n";
  if (!parseRootAndPath(toUtf8(keyPath), root, rest)) return out.str();
  auto k = walk(rootKey(root), rest, false, nullptr);
  if (!k) return out.str();
  std::string rootName;
  for (auto &r : kRoots)
    if (r.id == root) rootName = toUtf8(r.name);
  // Export under the names as they are stored, not as the caller typed them.
  std::string path = rootName;
  std::vector<const Key *> chain;
  for (const Key *p = k.get(); p && p->parent; p = p->parent) chain.insert(chain.begin(), p);
  for (const Key *p : chain) path += "\\" + toUtf8(p->name);
  exportKey(*k, path, out);
  return out.str();
}

bool importRegistry(const std::string &text) {
  std::lock_guard<std::recursive_mutex> g(g_regLock);
  std::vector<std::string> lines = joinedLines(text);
  if (lines.empty() || (lines[0] != "REGEDIT4" && lines[0] != "Windows Registry Editor Version 5.00")) return false;
  std::shared_ptr<Key> cur;
  bool ok = true;
  for (size_t n = 1; n < lines.size(); ++n) {
    const std::string &l = lines[n];
    if (l.empty() || l[0] == ';') continue;
    if (l[0] == '[') {
      if (!importKeyLine(l, cur)) ok = false;
      continue;
    }
    if (!cur || !importValueLine(l, cur)) ok = false;
  }
  return ok;
}

}  // namespace winsim

using namespace winsim;

extern "C" {

LSTATUS WINAPI RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM, PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::recursive_mutex> g(g_regLock);
  *result = nullptr;
  auto k = resolveHandle(key);
  if (!k) return ERROR_INVALID_HANDLE;
  if (k->deleted) return ERROR_KEY_DELETED;
  auto c = walk(k, fromW(subKey), false, nullptr);
  if (!c) return ERROR_FILE_NOT_FOUND;
  *result = newHandle(c);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES,
                               PHKEY result, LPDWORD disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::recursive_mutex> g(g_regLock);
  *result = nullptr;
  auto k = resolveHandle(key);
  if (!k) return ERROR_INVALID_HANDLE;
  if (k->deleted) return ERROR_KEY_DELETED;
  bool created = false;
  auto c = walk(k, fromW(subKey), true, &created);
  if (!c) return ERROR_INVALID_PARAMETER;
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = newHandle(c);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
  if (isPredefined(key)) return ERROR_SUCCESS;
  DWORD saved = lastError();
  bool closed = closeHandle(reinterpret_cast<HANDLE>(key), Kind::RegistryKey);
  setLastError(saved);
  return closed ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS WINAPI RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
  std::lock_guard<std::recursive_mutex> g(g_regLock);
  auto k = resolveHandle(key);
  if (!k) return ERROR_INVALID_HANDLE;
  if (k->deleted) return ERROR_KEY_DELETED;
  if (data && !size) return ERROR_INVALID_PARAMETER;
  Value *v = k->find(fromW(name));
  if (!v) return ERROR_FILE_NOT_FOUND;
  if (type) *type = v->type;
  DWORD need = DWORD(v->data.size());
  if (!data) {
    if (size) *size = need;
    return ERROR_SUCCESS;
  }
  if (*size < need) {
    *size = need;
    return ERROR_MORE_DATA;
  }
  std::memcpy(data, v->data.data(), need);
  *size = need;
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExW(HKEY key, LPCWSTR name, DWORD, DWORD type, const BYTE *data, DWORD size) {
  std::lock_guard<std::recursive_mutex> g(g_regLock);
  auto k = resolveHandle(key);
  if (!k) return ERROR_INVALID_HANDLE;
  if (k->deleted) return ERROR_KEY_DELETED;
  if (!data && size) return 998 /* ERROR_NOACCESS */;
  if ((type == REG_DWORD && size != 4 && data)) return ERROR_INVALID_PARAMETER;
  std::u16string n = fromW(name);
  Value *v = k->find(n);
  if (!v) {
    k->values.push_back(Value{n, type, {}});
    v = &k->values.back();
  }
  v->type = type;
  v->data.assign(data, data + size);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegGetValueW(HKEY key, LPCWSTR subKey, LPCWSTR name, DWORD flags, LPDWORD type, PVOID data,
                            LPDWORD size) {
  HKEY h = key;
  bool opened = false;
  if (subKey && *subKey) {
    LSTATUS s = RegOpenKeyExW(key, subKey, 0, KEY_READ, &h);
    if (s != ERROR_SUCCESS) return s;
    opened = true;
  }
  DWORD t = 0, have = size ? *size : 0;
  LSTATUS s = RegQueryValueExW(h, name, nullptr, &t, static_cast<LPBYTE>(data), size);
  if (s == ERROR_SUCCESS || s == ERROR_MORE_DATA) {
    DWORD allowed = t == REG_SZ          ? RRF_RT_REG_SZ
                    : t == REG_DWORD     ? RRF_RT_REG_DWORD
                    : t == REG_BINARY    ? RRF_RT_REG_BINARY
                    : t == REG_MULTI_SZ  ? RRF_RT_REG_MULTI_SZ
                    : t == REG_EXPAND_SZ ? RRF_RT_REG_EXPAND_SZ
                    : t == REG_QWORD     ? RRF_RT_REG_QWORD
                                         : RRF_RT_REG_NONE;
    if (!(flags & allowed))
      s = ERROR_UNSUPPORTED_TYPE;
    else if (s == ERROR_SUCCESS && data && (t == REG_SZ || t == REG_EXPAND_SZ) && size) {
      // Strings come back terminated even when stored without the terminator.
      auto *w = static_cast<WCHAR *>(data);
      DWORD chars = *size / 2;
      if (chars == 0 || w[chars - 1] != 0) {
        if ((chars + 1) * 2 > have) {
          *size = (chars + 1) * 2;
          s = ERROR_MORE_DATA;
        } else {
          w[chars] = 0;
          *size = (chars + 1) * 2;
        }
      }
    }
  }
  if (type) *type = t;
  if (opened) RegCloseKey(h);
  return s;
}

LSTATUS WINAPI RegDeleteValueW(HKEY key, LPCWSTR name) {
  std::lock_guard<std::recursive_mutex> g(g_regLock);
  auto k = resolveHandle(key);
  if (!k) return ERROR_INVALID_HANDLE;
  if (k->deleted) return ERROR_KEY_DELETED;
  std::u16string n = fromW(name);
  for (auto it = k->values.begin(); it != k->values.end(); ++it) {
    if (equalsNoCase(it->name, n)) {
      k->values.erase(it);
      return ERROR_SUCCESS;
    }
  }
  return ERROR_FILE_NOT_FOUND;
}

LSTATUS WINAPI RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
  std::lock_guard<std::recursive_mutex> g(g_regLock);
  auto k = resolveHandle(key);
  if (!k) return ERROR_INVALID_HANDLE;
  if (!subKey || !*subKey) return ERROR_ACCESS_DENIED;
  auto c = walk(k, subKey, false, nullptr);
  if (!c) return ERROR_FILE_NOT_FOUND;
  if (!c->children.empty()) return ERROR_ACCESS_DENIED;  // Windows refuses keys with subkeys
  if (!c->parent) return ERROR_ACCESS_DENIED;
  markDeleted(*c);
  c->parent->children.erase(upper(c->name));
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteKeyExW(HKEY key, LPCWSTR subKey, REGSAM, DWORD) { return RegDeleteKeyW(key, subKey); }

LSTATUS WINAPI RegDeleteTreeW(HKEY key, LPCWSTR subKey) {
  std::lock_guard<std::recursive_mutex> g(g_regLock);
  auto k = resolveHandle(key);
  if (!k) return ERROR_INVALID_HANDLE;
  auto c = (subKey && *subKey) ? walk(k, subKey, false, nullptr) : k;
  if (!c) return ERROR_FILE_NOT_FOUND;
  // Removes the values and subkeys; the key itself stays when no subkey was
  // named, as documented.
  for (auto &ch : c->children) markDeleted(*ch.second);
  c->children.clear();
  c->values.clear();
  if (subKey && *subKey && c->parent) {
    markDeleted(*c);
    c->parent->children.erase(upper(c->name));
  }
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLen, LPDWORD, LPWSTR cls, LPDWORD clsLen,
                             PFILETIME lastWrite) {
  std::lock_guard<std::recursive_mutex> g(g_regLock);
  auto k = resolveHandle(key);
  if (!k) return ERROR_INVALID_HANDLE;
  if (k->deleted) return ERROR_KEY_DELETED;
  if (!name || !nameLen) return ERROR_INVALID_PARAMETER;
  if (index >= k->children.size()) return ERROR_NO_MORE_ITEMS;
  auto it = k->children.begin();
  std::advance(it, index);
  const std::u16string &n = it->second->name;
  if (*nameLen <= n.size()) return ERROR_MORE_DATA;
  std::memcpy(name, n.c_str(), (n.size() + 1) * 2);
  *nameLen = DWORD(n.size());
  if (cls && clsLen && *clsLen) cls[0] = 0;
  if (clsLen) *clsLen = 0;
  if (lastWrite) *lastWrite = FILETIME{0, 0};
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLen, LPDWORD, LPDWORD type, LPBYTE data,
                             LPDWORD dataLen) {
  std::lock_guard<std::recursive_mutex> g(g_regLock);
  auto k = resolveHandle(key);
  if (!k) return ERROR_INVALID_HANDLE;
  if (k->deleted) return ERROR_KEY_DELETED;
  if (!name || !nameLen) return ERROR_INVALID_PARAMETER;
  if (index >= k->values.size()) return ERROR_NO_MORE_ITEMS;
  const Value &v = k->values[index];
  if (*nameLen <= v.name.size()) {
    return ERROR_MORE_DATA;
  }
  DWORD need = DWORD(v.data.size());
  if (data && dataLen && *dataLen < need) {
    *dataLen = need;
    return ERROR_MORE_DATA;
  }
  std::memcpy(name, v.name.c_str(), (v.name.size() + 1) * 2);
  *nameLen = DWORD(v.name.size());
  if (type) *type = v.type;
  if (data && dataLen) std::memcpy(data, v.data.data(), need);
  if (dataLen) *dataLen = need;
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryInfoKeyW(HKEY key, LPWSTR cls, LPDWORD clsLen, LPDWORD, LPDWORD subKeys, LPDWORD maxSubKeyLen,
                                LPDWORD maxClassLen, LPDWORD values, LPDWORD maxValueNameLen, LPDWORD maxValueLen,
                                LPDWORD securityDescriptor, PFILETIME lastWrite) {
  std::lock_guard<std::recursive_mutex> g(g_regLock);
  auto k = resolveHandle(key);
  if (!k) return ERROR_INVALID_HANDLE;
  if (k->deleted) return ERROR_KEY_DELETED;
  if (cls && clsLen && *clsLen) cls[0] = 0;
  if (clsLen) *clsLen = 0;
  if (subKeys) *subKeys = DWORD(k->children.size());
  if (maxSubKeyLen) {
    size_t m = 0;
    for (auto &c : k->children) m = std::max(m, c.second->name.size());
    *maxSubKeyLen = DWORD(m);
  }
  if (maxClassLen) *maxClassLen = 0;
  if (values) *values = DWORD(k->values.size());
  size_t mn = 0, mv = 0;
  for (auto &v : k->values) {
    mn = std::max(mn, v.name.size());
    mv = std::max(mv, stringBytes(v.data));
  }
  if (maxValueNameLen) *maxValueNameLen = DWORD(mn);
  if (maxValueLen) *maxValueLen = DWORD(mv);
  if (securityDescriptor) *securityDescriptor = 0;
  if (lastWrite) *lastWrite = FILETIME{0, 0};
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegFlushKey(HKEY key) { return resolveHandle(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE; }

}  // extern "C"
