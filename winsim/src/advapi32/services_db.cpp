// The service control manager's database.  As on Windows it lives in the
// manager's memory and every change is written to the registry; Windows
// reads the Services tree only when it starts, so a key written there by
// hand means nothing to the manager.  A reset machine starts with the
// built-in services alone (the ones winsim's own folders register), running.
#include <deque>
#include <map>
#include <vector>

#include "advapi32/services.h"
#include "core/internal.h"

namespace winsim {

namespace {

constexpr char16_t kServicesKey[] = u"SYSTEM\\CurrentControlSet\\Services";

// Registered during static initialisation; a deque, so that the records
// may point at their entries.
std::deque<BuiltInService> &builtIns() {
  static auto *services = new std::deque<BuiltInService>;
  return *services;
}

std::map<std::u16string, std::shared_ptr<scm::ServiceRecord>> &records() {
  static auto *db = new std::map<std::u16string, std::shared_ptr<scm::ServiceRecord>>;
  return *db;
}

void addBuiltIns();

// The database, with the built-in services in it from the first use on,
// even on a machine that was never reset.  With the lock held.
std::map<std::u16string, std::shared_ptr<scm::ServiceRecord>> &database() {
  static bool started = false;
  if (!started) {
    started = true;
    addBuiltIns();
  }
  return records();
}

void setString(HKEY k, const char16_t *name, const std::u16string &value, DWORD type = REG_SZ) {
  RegSetValueExW(k, name, 0, type, reinterpret_cast<const BYTE *>(value.c_str()), DWORD((value.size() + 1) * 2));
}
void setDword(HKEY k, const char16_t *name, DWORD value) {
  RegSetValueExW(k, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value);
}

std::u16string keyPath(const std::u16string &name) { return std::u16string(kServicesKey) + u"\\" + name; }

void writeKey(const scm::ServiceRecord &s) {
  HKEY k;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath(s.name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                      nullptr) != ERROR_SUCCESS)
    return;
  setDword(k, u"Type", s.type);
  setDword(k, u"Start", s.start);
  setDword(k, u"ErrorControl", s.errorControl);
  setString(k, u"ImagePath", s.imagePath, REG_EXPAND_SZ);
  if (!s.displayName.empty()) setString(k, u"DisplayName", s.displayName);
  // Programs run as LocalSystem unless told otherwise; a driver has no
  // account.
  if (s.type & SERVICE_WIN32) setString(k, u"ObjectName", u"LocalSystem");
  RegCloseKey(k);
}

void addBuiltIns() {
  for (const BuiltInService &b : builtIns()) {
    auto s = std::make_shared<scm::ServiceRecord>();
    s->name = b.name;
    s->displayName = b.displayName;
    s->imagePath = b.imagePath;
    s->type = b.type;
    s->start = b.start;
    s->errorControl = b.errorControl;
    s->state = SERVICE_RUNNING;
    s->exitCode = NO_ERROR;
    s->builtIn = &b;
    scm::addService(s);
  }
}

// The machine's services after a reset: the built-in ones, running.
void resetDatabase() {
  {
    std::lock_guard<std::mutex> g(scm::scmLock());
    database().clear();
    addBuiltIns();
  }
  // The handles of the old machine go; their services are no longer in the
  // database, so closing them deletes nothing.
  closeHandlesOfKind(Kind::Service);
  closeHandlesOfKind(Kind::ScManager);
}
// After the registry has been emptied and the OS version written into it.
const ResetStep kServices(kResetRegistry + 2, resetDatabase);

// A driver's ImagePath as the kernel reads it: "\SystemRoot\...",
// "System32\drivers\x.sys" (relative to the Windows folder), "\??\C:\...",
// or nothing (System32\drivers\<name>.sys).
std::u16string driverImageFile(const scm::ServiceRecord &s) {
  std::u16string p = s.imagePath;
  auto starts = [&p](const std::u16string &prefix) {
    return p.size() >= prefix.size() && equalsNoCase(p.substr(0, prefix.size()), prefix);
  };
  if (p.empty()) return u"C:\\Windows\\System32\\drivers\\" + s.name + u".sys";
  if (starts(u"\\SystemRoot\\")) return u"C:\\Windows\\" + p.substr(12);
  if (starts(u"\\??\\")) return p.substr(4);
  if (p.size() > 1 && p[1] == u':') return p;
  return u"C:\\Windows\\" + p;
}

// A program's ImagePath: a command line whose first part is the program,
// quoted when it has spaces, with environment variables in it.
std::u16string programImageFile(const scm::ServiceRecord &s) {
  WCHAR expanded[1024] = {};
  if (!ExpandEnvironmentStringsW(s.imagePath.c_str(), expanded, 1024)) return s.imagePath;
  std::u16string line = expanded;
  if (!line.empty() && line[0] == u'"') {
    size_t end = line.find(u'"', 1);
    return line.substr(1, end == std::u16string::npos ? std::u16string::npos : end - 1);
  }
  // Unquoted: up to the first space after which the name ends in ".exe".
  size_t exe = upper(line).find(u".EXE");
  return exe == std::u16string::npos ? line.substr(0, line.find(u' ')) : line.substr(0, exe + 4);
}

}  // namespace

void registerBuiltInService(const BuiltInService &service) { builtIns().push_back(service); }

namespace scm {

std::mutex &scmLock() {
  static auto *lock = new std::mutex;
  return *lock;
}

std::shared_ptr<ServiceRecord> findService(const std::u16string &name) {
  auto it = database().find(upper(name));
  return it == database().end() ? nullptr : it->second;
}

bool nameInUse(const std::u16string &displayName) {
  for (auto &kv : database())
    if (equalsNoCase(kv.second->name, displayName) || equalsNoCase(kv.second->displayName, displayName)) return true;
  return false;
}

void addService(const std::shared_ptr<ServiceRecord> &service) {
  database()[upper(service->name)] = service;
  writeKey(*service);
}

void markForDelete(ServiceRecord &service) {
  service.markedForDelete = true;
  HKEY k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath(service.name).c_str(), 0, KEY_SET_VALUE, &k) == ERROR_SUCCESS) {
    setDword(k, u"DeleteFlag", 1);
    RegCloseKey(k);
  }
}

void deleteIfDone(const std::shared_ptr<ServiceRecord> &service) {
  if (!service->markedForDelete || service->handles > 0 || service->state != SERVICE_STOPPED) return;
  auto it = database().find(upper(service->name));
  // A record of a machine before the last reset is nobody's any more.
  if (it == database().end() || it->second != service) return;
  database().erase(it);
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, keyPath(service->name).c_str());
}

DWORD controlsAccepted(const ServiceRecord &service) {
  if (service.state != SERVICE_RUNNING) return 0;
  if (service.builtIn) return service.builtIn->controlsAccepted;
  // A driver is unloaded with a stop; a program of the package's kind takes
  // a stop and the system's shutdown.
  return (service.type & SERVICE_DRIVER) ? SERVICE_ACCEPT_STOP : SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
}

SERVICE_STATUS statusOf(const ServiceRecord &service) {
  SERVICE_STATUS st{};
  st.dwServiceType = service.type;
  st.dwCurrentState = service.state;
  st.dwControlsAccepted = controlsAccepted(service);
  st.dwWin32ExitCode = service.exitCode;
  return st;
}

DWORD imageError(const ServiceRecord &service) {
  std::u16string file = (service.type & SERVICE_DRIVER) ? driverImageFile(service) : programImageFile(service);
  if (GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES) return ERROR_SUCCESS;
  size_t slash = file.find_last_of(u"\\/");
  if (slash == std::u16string::npos) return ERROR_FILE_NOT_FOUND;
  DWORD dir = GetFileAttributesW(file.substr(0, slash).c_str());
  return dir != INVALID_FILE_ATTRIBUTES && (dir & FILE_ATTRIBUTE_DIRECTORY) ? ERROR_FILE_NOT_FOUND
                                                                            : ERROR_PATH_NOT_FOUND;
}

}  // namespace scm
}  // namespace winsim
