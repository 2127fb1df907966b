// Modules and resources.  A module of the package is an ELF shared object
// installed on the virtual drive under its Windows name; LoadLibraryW opens it
// with the dynamic loader and calls its DllMain.  Names of system DLLs resolve
// to winsim itself, each with the export list of the real DLL.  Resources are the .res image that windres made from the
// module's .rc, linked into the module as `winsim_module_resources`, and are
// read in that binary format.
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>

#include <map>
#include <memory>

#include "core/internal.h"
#include "kernel32/process.h"

namespace winsim {

namespace {

struct ResBlob {
  const BYTE *data;
  size_t size;
};

struct ResEntry {
  bool typeIsId;
  WORD typeId;
  std::u16string typeName;  // upper-case
  bool nameIsId;
  WORD nameId;
  std::u16string nameName;  // upper-case
  WORD language;
  const BYTE *data;
  DWORD size;
};

struct Module {
  uint32_t magic = 0x4D4F4455;
  void *dl = nullptr;
  std::u16string windowsPath;
  std::string host;
  int refs = 1;
  bool system = false;
  bool main = false;
  bool image = false;  // a program's image, the main module of its process
  bool dataFile = false;
  std::vector<ResEntry> resources;
  // The identity of its file on the drive, which cannot be deleted while the
  // module is loaded (a program's image is loaded from a copy: its drive
  // file's identity is kept).
  bool hasFileId = false;
  dev_t fileDev = 0;
  ino_t fileIno = 0;
  void noteFile(const std::string &hostFile) {
    struct stat st {};
    hasFileId = ::stat(hostFile.c_str(), &st) == 0;
    fileDev = st.st_dev;
    fileIno = st.st_ino;
  }
};

std::recursive_mutex g_modLock;
std::vector<std::unique_ptr<Module>> g_modules;
// How often each process has loaded each DLL (with g_modLock): what a
// process still holds is let go when it ends.
std::map<DWORD, std::map<Module *, int>> g_loadsByProcess;

DWORD callerProcessId() {
  auto p = currentProcess();
  std::lock_guard<std::mutex> g(processLock());
  return p->id;
}

Module *asModule(HMODULE h) {
  auto *m = reinterpret_cast<Module *>(h);
  if (!m) return nullptr;
  std::lock_guard<std::recursive_mutex> g(g_modLock);
  for (auto &p : g_modules)
    if (p.get() == m) return m;
  return nullptr;
}

std::u16string baseName(const std::u16string &path) {
  size_t s = path.find_last_of(u"\\/");
  return s == std::u16string::npos ? path : path.substr(s + 1);
}

void *selfHandle() {
  static void *self = [] {
    Dl_info info{};
    dladdr(reinterpret_cast<void *>(&GetLastError), &info);
    return dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
  }();
  return self;
}

Module *systemModule(const std::u16string &name) {
  std::lock_guard<std::recursive_mutex> g(g_modLock);
  for (auto &p : g_modules)
    if (p->system && equalsNoCase(baseName(p->windowsPath), name)) return p.get();
  auto m = std::make_unique<Module>();
  m->system = true;
  m->dl = selfHandle();
  m->windowsPath = u"C:\\Windows\\system32\\" + name;
  g_modules.push_back(std::move(m));
  return g_modules.back().get();
}

// A system DLL that winsim stands in for and that is not hidden.
bool isSystemName(const std::u16string &name) { return systemDllKnown(name); }

// Reads a type or name field of a .res header: 0xFFFF + ordinal, or a
// zero-terminated UTF-16 string.
bool readIdOrName(const BYTE *&p, const BYTE *end, bool &isId, WORD &id, std::u16string &name) {
  if (end - p < 2) return false;
  WORD w = WORD(p[0] | (p[1] << 8));
  if (w == 0xFFFF) {
    if (end - p < 4) return false;
    isId = true;
    id = WORD(p[2] | (p[3] << 8));
    p += 4;
    return true;
  }
  isId = false;
  name.clear();
  while (end - p >= 2) {
    WORD c = WORD(p[0] | (p[1] << 8));
    p += 2;
    if (!c) return true;
    name.push_back(upperChar(char16_t(c)));
  }
  return false;
}

void parseResources(Module &m, const ResBlob &blob) {
  const BYTE *p = blob.data, *end = blob.data + blob.size;
  while (end - p >= 8) {
    const BYTE *start = p;
    DWORD dataSize, headerSize;
    std::memcpy(&dataSize, p, 4);
    std::memcpy(&headerSize, p + 4, 4);
    if (headerSize < 8 || size_t(end - start) < headerSize || size_t(end - start - headerSize) < dataSize) break;
    const BYTE *hend = start + headerSize;
    p += 8;
    ResEntry e{};
    if (!readIdOrName(p, hend, e.typeIsId, e.typeId, e.typeName)) break;
    if (!readIdOrName(p, hend, e.nameIsId, e.nameId, e.nameName)) break;
    size_t off = size_t(p - start);
    off = (off + 3) & ~size_t(3);
    if (off + 16 <= headerSize) std::memcpy(&e.language, start + off + 6, 2);
    e.data = hend;
    e.size = dataSize;
    // The empty first entry that every .res begins with is not a resource.
    if (!(e.typeIsId && e.typeId == 0 && dataSize == 0)) m.resources.push_back(e);
    size_t next = headerSize + ((dataSize + 3) & ~DWORD(3));
    if (size_t(end - start) < next) break;
    p = start + next;
  }
}

void loadResources(Module &m) {
  if (!m.dl) return;
  auto *blob = static_cast<const ResBlob *>(dlsym(m.dl, "winsim_module_resources"));
  if (!blob) return;
  // dlsym also searches what the module depends on: take the blob only when it
  // lies in this module's own image.
  Dl_info info{};
  link_map *lm = nullptr;
  if (!dladdr(blob, &info) || dlinfo(m.dl, RTLD_DI_LINKMAP, &lm) != 0 || !lm) return;
  if (reinterpret_cast<ElfW(Addr)>(info.dli_fbase) != lm->l_addr) return;
  parseResources(m, *blob);
}

}  // namespace

void resetModules() {}

namespace {

// Drops one reference of a DLL; the last one detaches and unloads it.  Call
// with g_modLock held (the lock is let go for dlclose).
void dropModule(std::unique_lock<std::recursive_mutex> &g, Module *m, LPVOID reserved, bool callEntry) {
  if (--m->refs > 0) return;
  if (!m->dataFile && callEntry) {
    using Entry = BOOL (*)(HINSTANCE, DWORD, LPVOID);
    if (auto entry = reinterpret_cast<Entry>(dlsym(m->dl, "DllMain")))
      entry(reinterpret_cast<HINSTANCE>(m), DLL_PROCESS_DETACH, reserved);
  }
  void *dl = m->dl;
  for (auto it = g_modules.begin(); it != g_modules.end(); ++it)
    if (it->get() == m) {
      g_modules.erase(it);
      break;
    }
  for (auto &kv : g_loadsByProcess) kv.second.erase(m);
  g.unlock();
  dlclose(dl);
  g.lock();
}

// True when `sym` lies in the image of `dl` itself, not in what it imports.
bool ownSymbol(void *dl, void *sym) {
  Dl_info info{};
  link_map *lm = nullptr;
  return sym && dladdr(sym, &info) && dlinfo(dl, RTLD_DI_LINKMAP, &lm) == 0 && lm &&
         reinterpret_cast<ElfW(Addr)>(info.dli_fbase) == lm->l_addr;
}

// A DLL named without a folder, searched in the documented order: the
// folder of the process's program, the system folder, the 16-bit system
// folder, the Windows folder, the current folder.  The system folder's path
// when it is in none of them.
std::u16string searchDll(const std::u16string &name) {
  std::u16string programFolder;
  {
    auto p = currentProcess();
    std::lock_guard<std::mutex> g(processLock());
    size_t slash = p->imagePath.find_last_of(u'\\');
    if (slash != std::u16string::npos) programFolder = p->imagePath.substr(0, slash);
  }
  std::u16string current = currentDirectory();
  if (!current.empty() && current.back() == u'\\') current.pop_back();
  const std::u16string system = u"C:\\Windows\\system32";
  for (const std::u16string &dir :
       {programFolder, system, std::u16string(u"C:\\Windows\\system"), std::u16string(u"C:\\Windows"), current}) {
    if (dir.empty()) continue;
    std::u16string candidate = dir + u"\\" + name;
    DWORD a = GetFileAttributesW(candidate.c_str());
    if (a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY)) return candidate;
  }
  return system + u"\\" + name;
}

}  // namespace

HMODULE loadProcessImage(const std::string &hostFile, const std::u16string &windowsPath, void **entry, DWORD &error) {
  void *dl = dlopen(hostFile.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!dl) {
    OutputDebugStringA((std::string("winsim: cannot load ") + hostFile + ": " + dlerror()).c_str());
    error = ERROR_BAD_EXE_FORMAT;
    return nullptr;
  }
  // A program exports wWinMain; a DLL or anything else is no program.
  void *main = dlsym(dl, "wWinMain");
  if (!ownSymbol(dl, main)) {
    dlclose(dl);
    error = ERROR_BAD_EXE_FORMAT;
    return nullptr;
  }
  auto m = std::make_unique<Module>();
  m->dl = dl;
  m->image = true;
  m->windowsPath = windowsPath;
  m->host = hostFile;
  std::string driveFile;
  if (mapPath(windowsPath.c_str(), driveFile)) m->noteFile(driveFile);
  loadResources(*m);
  *entry = main;
  std::lock_guard<std::recursive_mutex> g(g_modLock);
  g_modules.push_back(std::move(m));
  return reinterpret_cast<HMODULE>(g_modules.back().get());
}

bool isLoadedModuleFile(const std::string &hostFile) {
  struct stat st {};
  if (::stat(hostFile.c_str(), &st) != 0) return false;
  std::lock_guard<std::recursive_mutex> g(g_modLock);
  for (auto &m : g_modules)
    if (m->hasFileId && m->fileDev == st.st_dev && m->fileIno == st.st_ino) return true;
  return false;
}

std::string releaseProcessModules(ProcessRecord &process, bool detach) {
  std::unique_lock<std::recursive_mutex> g(g_modLock);
  auto held = g_loadsByProcess.find(process.id);
  if (held != g_loadsByProcess.end()) {
    std::map<Module *, int> loads = std::move(held->second);
    g_loadsByProcess.erase(held);
    // DllMain's reserved argument is non-NULL when the process is ending.
    static int ending;
    for (auto &kv : loads)
      for (int i = 0; i < kv.second && asModule(reinterpret_cast<HMODULE>(kv.first)); ++i)
        dropModule(g, kv.first, &ending, detach);
  }
  std::string host;
  Module *image = asModule(process.mainModule);
  if (image && image->image) {
    host = image->host;
    void *dl = image->dl;
    for (auto it = g_modules.begin(); it != g_modules.end(); ++it)
      if (it->get() == image) {
        g_modules.erase(it);
        break;
      }
    process.mainModule = nullptr;
    g.unlock();
    dlclose(dl);
  }
  return host;
}

}  // namespace winsim

namespace winsim {

bool moduleLoadedFrom(const std::u16string &windowsPath) {
  std::string host;
  return mapPath(windowsPath.c_str(), host) && isLoadedModuleFile(host);
}

}  // namespace winsim

using namespace winsim;

extern "C" {

HMODULE WINAPI LoadLibraryExW(LPCWSTR name, HANDLE, DWORD flags) {
  if (!name || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::u16string n = name;
  std::u16string base = baseName(n);
  bool hasPath = base.size() != n.size();
  if (!hasPath && base.find(u'.') == std::u16string::npos) base += u".dll";
  if (isSystemName(base)) return reinterpret_cast<HMODULE>(systemModule(base));

  std::u16string windowsPath = hasPath ? n : searchDll(base);
  std::string host;
  if (!mapPath(windowsPath.c_str(), host) || GetFileAttributesW(windowsPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  std::lock_guard<std::recursive_mutex> g(g_modLock);
  char real[4096];
  std::string key = ::realpath(host.c_str(), real) ? std::string(real) : host;
  for (auto &p : g_modules) {
    if (!p->system && !p->main && !p->image && p->host == key) {
      ++p->refs;
      ++g_loadsByProcess[callerProcessId()][p.get()];
      return reinterpret_cast<HMODULE>(p.get());
    }
  }
  void *dl = dlopen(key.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!dl) {
    OutputDebugStringA((std::string("winsim: cannot load ") + key + ": " + dlerror()).c_str());
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  auto m = std::make_unique<Module>();
  m->dl = dl;
  m->windowsPath = windowsPath;
  m->host = key;
  m->noteFile(key);
  m->dataFile = (flags & (LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) != 0;
  loadResources(*m);
  Module *raw = m.get();
  g_modules.push_back(std::move(m));
  if (!raw->dataFile) {
    using Entry = BOOL (*)(HINSTANCE, DWORD, LPVOID);
    auto entry = reinterpret_cast<Entry>(dlsym(dl, "DllMain"));
    if (entry && !entry(reinterpret_cast<HINSTANCE>(raw), DLL_PROCESS_ATTACH, nullptr)) {
      dlclose(dl);
      for (auto it = g_modules.begin(); it != g_modules.end(); ++it)
        if (it->get() == raw) {
          g_modules.erase(it);
          break;
        }
      SetLastError(1114);  // ERROR_DLL_INIT_FAILED
      return nullptr;
    }
  }
  ++g_loadsByProcess[callerProcessId()][raw];
  return reinterpret_cast<HMODULE>(raw);
}

HMODULE WINAPI LoadLibraryW(LPCWSTR name) { return LoadLibraryExW(name, nullptr, 0); }

HMODULE WINAPI LoadLibraryA(LPCSTR name) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  WCHAR w[MAX_PATH];
  if (!MultiByteToWideChar(CP_ACP, 0, name, -1, w, MAX_PATH)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return LoadLibraryW(w);
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
  Module *m = asModule(module);
  if (!m) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (!name || IS_INTRESOURCE(name) || m->dataFile) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  // A system DLL exports what the real one does, not every function of
  // winsim.
  if (m->system && !systemDllExports(baseName(m->windowsPath), name)) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  void *sym = dlsym(m->dl, name);
  if (sym && !m->system && !m->main) {
    // Only the module's own exports count, not what it imports.
    Dl_info info{};
    link_map *lm = nullptr;
    if (!dladdr(sym, &info) || dlinfo(m->dl, RTLD_DI_LINKMAP, &lm) != 0 || !lm ||
        reinterpret_cast<ElfW(Addr)>(info.dli_fbase) != lm->l_addr)
      sym = nullptr;
  }
  if (!sym) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(sym);
}

BOOL WINAPI FreeLibrary(HMODULE module) {
  std::unique_lock<std::recursive_mutex> g(g_modLock);
  Module *m = asModule(module);
  if (!m) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (m->system || m->main || m->image) return TRUE;
  auto held = g_loadsByProcess.find(callerProcessId());
  if (held != g_loadsByProcess.end()) {
    auto it = held->second.find(m);
    if (it != held->second.end() && --it->second == 0) held->second.erase(it);
  }
  dropModule(g, m, nullptr, true);
  return TRUE;
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR name) {
  std::lock_guard<std::recursive_mutex> g(g_modLock);
  if (!name) {
    // A program's process: its image.
    if (HMODULE image = [] {
          auto p = currentProcess();
          std::lock_guard<std::mutex> pg(processLock());
          return p->mainModule;
        }())
      return image;
    for (auto &p : g_modules)
      if (p->main) return reinterpret_cast<HMODULE>(p.get());
    auto m = std::make_unique<Module>();
    m->main = true;
    m->dl = dlopen(nullptr, RTLD_NOW);
    m->windowsPath = u"C:\\Windows\\system32\\" + imageName();
    loadResources(*m);
    g_modules.push_back(std::move(m));
    return reinterpret_cast<HMODULE>(g_modules.back().get());
  }
  std::u16string base = baseName(name);
  if (base.find(u'.') == std::u16string::npos) base += u".dll";
  if (isSystemName(base)) return reinterpret_cast<HMODULE>(systemModule(base));
  for (auto &p : g_modules)
    if (!p->main && !p->image && !p->system && equalsNoCase(baseName(p->windowsPath), base))
      return reinterpret_cast<HMODULE>(p.get());
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

BOOL WINAPI GetModuleHandleExW(DWORD flags, LPCWSTR name, HMODULE *module) {
  if (!module) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *module = nullptr;
  if (flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<const void *>(name), &info)) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return FALSE;
    }
    std::lock_guard<std::recursive_mutex> g(g_modLock);
    for (auto &p : g_modules) {
      link_map *lm = nullptr;
      if (!p->system && p->dl && dlinfo(p->dl, RTLD_DI_LINKMAP, &lm) == 0 && lm &&
          reinterpret_cast<ElfW(Addr)>(info.dli_fbase) == lm->l_addr) {
        if (!(flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) && !p->main && !p->image) ++p->refs;
        *module = reinterpret_cast<HMODULE>(p.get());
        return TRUE;
      }
    }
    *module = GetModuleHandleW(nullptr);
    return TRUE;
  }
  HMODULE h = GetModuleHandleW(name);
  if (!h) return FALSE;
  Module *m = asModule(h);
  if (m && !(flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) && !m->main && !m->image && !m->system) ++m->refs;
  *module = h;
  return TRUE;
}

DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
  Module *m = module ? asModule(module) : asModule(GetModuleHandleW(nullptr));
  if (!m) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  if (!buffer || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  // The test process's own module is named after the process's image, which
  // a test may set after the module was first asked for.
  const std::u16string p = m->main ? u"C:\\Windows\\system32\\" + imageName() : m->windowsPath;
  // Truncates and reports ERROR_INSUFFICIENT_BUFFER, returning the size given.
  if (p.size() >= size) {
    std::memcpy(buffer, p.data(), (size - 1) * sizeof(WCHAR));
    buffer[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::memcpy(buffer, p.c_str(), (p.size() + 1) * sizeof(WCHAR));
  SetLastError(NO_ERROR);
  return DWORD(p.size());
}

BOOL WINAPI DisableThreadLibraryCalls(HMODULE module) { return asModule(module) ? TRUE : FALSE; }

// ------------------------------------------------------------ resources

HRSRC WINAPI FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language) {
  Module *m = module ? asModule(module) : asModule(GetModuleHandleW(nullptr));
  if (!m) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (!type || !name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto matches = [](bool isId, WORD id, const std::u16string &str, LPCWSTR want) {
    if (IS_INTRESOURCE(want)) return isId && id == WORD(ULONG_PTR(want));
    std::u16string w = want;
    if (!w.empty() && w[0] == u'#') {
      // "#123" names the ordinal 123.
      unsigned v = 0;
      for (size_t i = 1; i < w.size(); ++i) v = v * 10 + unsigned(w[i] - u'0');
      return isId && id == v;
    }
    return !isId && str == upper(w);
  };
  bool typeSeen = false;
  const ResEntry *fallback = nullptr;
  for (const auto &e : m->resources) {
    if (!matches(e.typeIsId, e.typeId, e.typeName, type)) continue;
    typeSeen = true;
    if (!matches(e.nameIsId, e.nameId, e.nameName, name)) continue;
    if (language == 0 || e.language == language) return reinterpret_cast<HRSRC>(const_cast<ResEntry *>(&e));
    if (!fallback) fallback = &e;
  }
  if (fallback) return reinterpret_cast<HRSRC>(const_cast<ResEntry *>(fallback));
  SetLastError(typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
  return nullptr;
}

HRSRC WINAPI FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
  return FindResourceExW(module, type, name, 0);
}

HGLOBAL WINAPI LoadResource(HMODULE, HRSRC resource) {
  if (!resource) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return const_cast<BYTE *>(reinterpret_cast<const ResEntry *>(resource)->data);
}

LPVOID WINAPI LockResource(HGLOBAL data) { return data; }

DWORD WINAPI SizeofResource(HMODULE, HRSRC resource) {
  if (!resource) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return reinterpret_cast<const ResEntry *>(resource)->size;
}

BOOL WINAPI FreeResource(HGLOBAL) { return FALSE; }

int WINAPI LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int size) {
  if (!buffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // Strings are stored in blocks of 16: block id/16+1, entry id%16, each entry a
  // length word followed by that many characters.
  HRSRC r = FindResourceW(instance, MAKEINTRESOURCEW((id >> 4) + 1), RT_STRING);
  if (!r) {
    if (size > 0) buffer[0] = 0;
    return 0;
  }
  auto *e = reinterpret_cast<const ResEntry *>(r);
  const BYTE *p = e->data, *end = e->data + e->size;
  for (UINT i = 0; i < (id & 15); ++i) {
    if (end - p < 2) break;
    WORD len = WORD(p[0] | (p[1] << 8));
    p += 2 + size_t(len) * 2;
  }
  if (end - p < 2) {
    if (size > 0) buffer[0] = 0;
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
  }
  WORD len = WORD(p[0] | (p[1] << 8));
  const BYTE *text = p + 2;
  if (size_t(end - text) < size_t(len) * 2) len = WORD((end - text) / 2);
  if (len == 0) {
    if (size > 0) buffer[0] = 0;
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
  }
  if (size == 0) {
    // The caller receives a pointer to the read-only text itself.
    *reinterpret_cast<LPCWSTR *>(buffer) = reinterpret_cast<LPCWSTR>(text);
    return len;
  }
  int n = std::min<int>(len, size - 1);
  if (n < 0) return 0;
  std::memcpy(buffer, text, size_t(n) * 2);
  buffer[n] = 0;
  return n;
}

int WINAPI LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size) {
  if (!buffer || size <= 0) return 0;
  WCHAR tmp[4096];
  int n = LoadStringW(instance, id, tmp, 4096);
  if (n == 0) {
    buffer[0] = 0;
    return 0;
  }
  int m = WideCharToMultiByte(CP_ACP, 0, tmp, n, buffer, size - 1, nullptr, nullptr);
  if (m <= 0) {
    // Too long: convert what fits.
    std::string s(size_t(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, tmp, n, s.data(), n, nullptr, nullptr);
    m = std::min<int>(n, size - 1);
    std::memcpy(buffer, s.data(), size_t(m));
  }
  buffer[m] = 0;
  return m;
}

}  // extern "C"
