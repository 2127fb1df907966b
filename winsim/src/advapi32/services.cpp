// The service control manager's calls: its handles (SC_HANDLEs of the handle
// table, closed by CloseServiceHandle alone), creating, starting, stopping,
// querying and deleting services.  A transition is done when the call
// returns: the status shows its end state at once.  A kernel-mode driver
// that runs has its device, "\\.\<service name>"; a built-in service's
// program stops and starts through what its folder registered; any other
// program is recorded as running, as winsim runs no service programs.
#include "advapi32/services.h"
#include "core/internal.h"
#include "kernel32/devices.h"

namespace winsim {

namespace {

using scm::ServiceRecord;

struct ScManagerObject : KObject {
  ScManagerObject() : KObject(Kind::ScManager) {}
  ACCESS_MASK access = 0;
};

struct ServiceObject : KObject {
  explicit ServiceObject(std::shared_ptr<ServiceRecord> s) : KObject(Kind::Service), service(std::move(s)) {
    std::lock_guard<std::mutex> g(scm::scmLock());
    ++service->handles;
  }
  ~ServiceObject() override {
    // The last handle of a service marked for deletion deletes it.
    std::lock_guard<std::mutex> g(scm::scmLock());
    --service->handles;
    scm::deleteIfDone(service);
  }
  ACCESS_MASK access = 0;
  std::shared_ptr<ServiceRecord> service;
};

// The generic rights as the manager maps them, for its own handle and for a
// service's.
ACCESS_MASK mapManagerAccess(ACCESS_MASK a) {
  if (a & (GENERIC_ALL | MAXIMUM_ALLOWED)) a |= SC_MANAGER_ALL_ACCESS;
  if (a & GENERIC_READ) a |= STANDARD_RIGHTS_READ | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS;
  if (a & GENERIC_WRITE) a |= STANDARD_RIGHTS_WRITE | SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG;
  if (a & GENERIC_EXECUTE) a |= STANDARD_RIGHTS_EXECUTE | SC_MANAGER_CONNECT | SC_MANAGER_LOCK;
  // Every handle of the manager may connect.
  return (a | SC_MANAGER_CONNECT) & SC_MANAGER_ALL_ACCESS;
}

ACCESS_MASK mapServiceAccess(ACCESS_MASK a) {
  if (a & (GENERIC_ALL | MAXIMUM_ALLOWED)) a |= SERVICE_ALL_ACCESS;
  if (a & GENERIC_READ)
    a |= STANDARD_RIGHTS_READ | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE |
         SERVICE_ENUMERATE_DEPENDENTS;
  if (a & GENERIC_WRITE) a |= STANDARD_RIGHTS_WRITE | SERVICE_CHANGE_CONFIG;
  if (a & GENERIC_EXECUTE)
    a |= STANDARD_RIGHTS_EXECUTE | SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE | SERVICE_USER_DEFINED_CONTROL;
  return a & SERVICE_ALL_ACCESS;
}

SC_HANDLE toSc(HANDLE h) { return reinterpret_cast<SC_HANDLE>(h); }
HANDLE fromSc(SC_HANDLE h) { return reinterpret_cast<HANDLE>(h); }

// The object of a handle of one kind: a reference the caller releases.
template <typename T>
T *objectOf(SC_HANDLE h, Kind kind) {
  return static_cast<T *>(lookup(fromSc(h), kind));
}

// The service of a service handle that has `right`; NULL with the error.
std::shared_ptr<ServiceRecord> serviceWithRight(SC_HANDLE h, ACCESS_MASK right) {
  auto *o = objectOf<ServiceObject>(h, Kind::Service);
  if (!o) return nullptr;
  bool allowed = (o->access & right) == right;
  std::shared_ptr<ServiceRecord> s = o->service;
  release(o);
  if (!allowed) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return s;
}

bool validServiceName(LPCWSTR name) {
  if (!name || !*name) return false;
  std::u16string n = name;
  return n.size() <= 256 && n.find_first_of(u"\\/") == std::u16string::npos;
}

bool validTypes(DWORD type, DWORD start, DWORD errorControl) {
  DWORD base = type & ~DWORD(SERVICE_INTERACTIVE_PROCESS);
  bool driver = base == SERVICE_KERNEL_DRIVER || base == SERVICE_FILE_SYSTEM_DRIVER;
  bool program = base == SERVICE_WIN32_OWN_PROCESS || base == SERVICE_WIN32_SHARE_PROCESS;
  if (!driver && !program) return false;
  // Only a program may talk to the desktop, and only drivers start with
  // the system.
  if (driver && (type & SERVICE_INTERACTIVE_PROCESS)) return false;
  if (start > SERVICE_DISABLED || (program && start < SERVICE_AUTO_START)) return false;
  return errorControl <= SERVICE_ERROR_CRITICAL;
}

SC_HANDLE newServiceHandle(const std::shared_ptr<ServiceRecord> &s, ACCESS_MASK access) {
  auto *o = new ServiceObject(s);
  o->access = mapServiceAccess(access);
  return toSc(registerObject(o));
}

// Runs a transition of a service outside the manager's lock: the service's
// program may take its time (and may ask the manager things meanwhile).
DWORD startService(const std::shared_ptr<ServiceRecord> &s) {
  const BuiltInService *builtIn = nullptr;
  {
    std::lock_guard<std::mutex> g(scm::scmLock());
    if (s->markedForDelete) return ERROR_SERVICE_MARKED_FOR_DELETE;
    if (s->state != SERVICE_STOPPED) return ERROR_SERVICE_ALREADY_RUNNING;
    if (s->start == SERVICE_DISABLED) return ERROR_SERVICE_DISABLED;
    builtIn = s->builtIn;
    if (!builtIn) {
      DWORD image = scm::imageError(*s);
      if (image != ERROR_SUCCESS) return image;
    }
    s->state = SERVICE_START_PENDING;
  }
  DWORD exit = builtIn && builtIn->startProgram ? builtIn->startProgram() : DWORD(ERROR_SUCCESS);
  std::lock_guard<std::mutex> g(scm::scmLock());
  s->exitCode = exit;
  s->state = exit == ERROR_SUCCESS ? SERVICE_RUNNING : SERVICE_STOPPED;
  if (exit == ERROR_SUCCESS && (s->type & SERVICE_DRIVER)) defineDriverDevice(s->name);
  return exit;
}

void stopService(const std::shared_ptr<ServiceRecord> &s) {
  const BuiltInService *builtIn = nullptr;
  {
    std::lock_guard<std::mutex> g(scm::scmLock());
    s->state = SERVICE_STOP_PENDING;
    builtIn = s->builtIn;
    // A stopped driver's device opens no more; handles already open stay.
    if (s->type & SERVICE_DRIVER) removeDriverDevice(s->name);
  }
  if (builtIn && builtIn->stopProgram) builtIn->stopProgram();
  std::lock_guard<std::mutex> g(scm::scmLock());
  s->state = SERVICE_STOPPED;
  s->exitCode = NO_ERROR;
  scm::deleteIfDone(s);
}

// The right each control needs; 0 for a control code nobody may send.
ACCESS_MASK rightFor(DWORD control) {
  switch (control) {
    case SERVICE_CONTROL_STOP: return SERVICE_STOP;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
    case SERVICE_CONTROL_PARAMCHANGE:
    case SERVICE_CONTROL_NETBINDADD:
    case SERVICE_CONTROL_NETBINDREMOVE:
    case SERVICE_CONTROL_NETBINDENABLE:
    case SERVICE_CONTROL_NETBINDDISABLE: return SERVICE_PAUSE_CONTINUE;
    case SERVICE_CONTROL_INTERROGATE: return SERVICE_INTERROGATE;
    default: return control >= 128 && control <= 255 ? SERVICE_USER_DEFINED_CONTROL : 0;
  }
}

// Whether a running service takes the control.
bool accepts(const ServiceRecord &s, DWORD control) {
  DWORD accepted = scm::controlsAccepted(s);
  switch (control) {
    case SERVICE_CONTROL_STOP: return accepted & SERVICE_ACCEPT_STOP;
    case SERVICE_CONTROL_INTERROGATE: return true;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE: return accepted & SERVICE_ACCEPT_PAUSE_CONTINUE;
    case SERVICE_CONTROL_PARAMCHANGE: return accepted & SERVICE_ACCEPT_PARAMCHANGE;
    default: return (accepted & SERVICE_ACCEPT_NETBINDCHANGE) && control < 128;
  }
}

// An ANSI argument as the system code page reads it.
std::u16string fromAnsi(LPCSTR s) {
  int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
  std::u16string w(size_t(n > 0 ? n : 1), u'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, s, -1, w.data(), n);
  w.resize(n > 0 ? size_t(n - 1) : 0);
  return w;
}

}  // namespace

}  // namespace winsim

using namespace winsim;

extern "C" {

SC_HANDLE WINAPI OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName, DWORD dwDesiredAccess) {
  if (lpMachineName && *lpMachineName) {
    // Only this machine's manager answers: no other computer is reachable.
    std::u16string machine = lpMachineName;
    if (machine.size() > 2 && machine[0] == u'\\' && machine[1] == u'\\') machine = machine.substr(2);
    WCHAR own[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    GetComputerNameW(own, &size);
    if (!equalsNoCase(machine, own) && machine != u"." && !equalsNoCase(machine, u"localhost")) {
      SetLastError(RPC_S_SERVER_UNAVAILABLE);
      return nullptr;
    }
  }
  if (lpDatabaseName && *lpDatabaseName && !equalsNoCase(lpDatabaseName, SERVICES_ACTIVE_DATABASEW)) {
    SetLastError(ERROR_DATABASE_DOES_NOT_EXIST);
    return nullptr;
  }
  auto *o = new ScManagerObject;
  o->access = mapManagerAccess(dwDesiredAccess);
  HANDLE h = registerObject(o);
  SetLastError(NO_ERROR);
  return toSc(h);
}

SC_HANDLE WINAPI OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, DWORD dwDesiredAccess) {
  auto *m = objectOf<ScManagerObject>(hSCManager, Kind::ScManager);
  if (!m) return nullptr;
  release(m);
  if (!lpServiceName || !*lpServiceName || std::u16string(lpServiceName).size() > 256) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  std::shared_ptr<ServiceRecord> s;
  {
    std::lock_guard<std::mutex> g(scm::scmLock());
    s = scm::findService(lpServiceName);
  }
  if (!s) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return nullptr;
  }
  // A service marked for deletion still opens, so that it can be stopped.
  SC_HANDLE h = newServiceHandle(s, dwDesiredAccess);
  SetLastError(NO_ERROR);
  return h;
}

SC_HANDLE WINAPI CreateServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, LPCWSTR lpDisplayName,
                                DWORD dwDesiredAccess, DWORD dwServiceType, DWORD dwStartType, DWORD dwErrorControl,
                                LPCWSTR lpBinaryPathName, LPCWSTR lpLoadOrderGroup, LPDWORD lpdwTagId,
                                LPCWSTR lpDependencies, LPCWSTR lpServiceStartName, LPCWSTR lpPassword) {
  (void)lpDependencies;
  (void)lpServiceStartName;
  (void)lpPassword;
  auto *m = objectOf<ScManagerObject>(hSCManager, Kind::ScManager);
  if (!m) return nullptr;
  bool allowed = m->access & SC_MANAGER_CREATE_SERVICE;
  release(m);
  if (!allowed) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (!validServiceName(lpServiceName)) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  // A tag is given out within a load order group only.
  bool tagWithoutGroup = lpdwTagId && (!lpLoadOrderGroup || !*lpLoadOrderGroup);
  if (!lpBinaryPathName || !*lpBinaryPathName || !validTypes(dwServiceType, dwStartType, dwErrorControl) ||
      tagWithoutGroup) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (lpdwTagId) *lpdwTagId = 0;
  auto s = std::make_shared<ServiceRecord>();
  s->name = lpServiceName;
  s->displayName = lpDisplayName && *lpDisplayName ? lpDisplayName : lpServiceName;
  s->imagePath = lpBinaryPathName;
  s->type = dwServiceType;
  s->start = dwStartType;
  s->errorControl = dwErrorControl;
  {
    std::lock_guard<std::mutex> g(scm::scmLock());
    if (auto existing = scm::findService(s->name)) {
      SetLastError(existing->markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS);
      return nullptr;
    }
    if (scm::nameInUse(s->displayName)) {
      SetLastError(ERROR_DUPLICATE_SERVICE_NAME);
      return nullptr;
    }
    scm::addService(s);
  }
  SC_HANDLE h = newServiceHandle(s, dwDesiredAccess);
  SetLastError(NO_ERROR);
  return h;
}

BOOL WINAPI StartServiceW(SC_HANDLE hService, DWORD dwNumServiceArgs, LPCWSTR *lpServiceArgVectors) {
  (void)dwNumServiceArgs;
  (void)lpServiceArgVectors;
  auto s = serviceWithRight(hService, SERVICE_START);
  if (!s) return FALSE;
  DWORD error = startService(s);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  SetLastError(NO_ERROR);
  return TRUE;
}

BOOL WINAPI ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus) {
  auto *o = objectOf<ServiceObject>(hService, Kind::Service);
  if (!o) return FALSE;
  ACCESS_MASK access = o->access;
  std::shared_ptr<ServiceRecord> s = o->service;
  release(o);
  ACCESS_MASK right = rightFor(dwControl);
  if (!right) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if ((access & right) != right) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!lpServiceStatus) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  // The status goes back with these errors as well as on success.
  DWORD error = NO_ERROR;
  {
    std::lock_guard<std::mutex> g(scm::scmLock());
    if (s->state == SERVICE_STOPPED)
      error = ERROR_SERVICE_NOT_ACTIVE;
    else if (s->state == SERVICE_START_PENDING || s->state == SERVICE_STOP_PENDING)
      error = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
    else if (!accepts(*s, dwControl))
      error = ERROR_INVALID_SERVICE_CONTROL;
    if (error != NO_ERROR || dwControl != SERVICE_CONTROL_STOP) *lpServiceStatus = scm::statusOf(*s);
  }
  if (error == NO_ERROR && dwControl == SERVICE_CONTROL_STOP) {
    stopService(s);
    std::lock_guard<std::mutex> g(scm::scmLock());
    *lpServiceStatus = scm::statusOf(*s);
  }
  SetLastError(error);
  return error == NO_ERROR;
}

BOOL WINAPI QueryServiceStatus(SC_HANDLE hService, LPSERVICE_STATUS lpServiceStatus) {
  auto s = serviceWithRight(hService, SERVICE_QUERY_STATUS);
  if (!s) return FALSE;
  if (!lpServiceStatus) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  std::lock_guard<std::mutex> g(scm::scmLock());
  *lpServiceStatus = scm::statusOf(*s);
  SetLastError(NO_ERROR);
  return TRUE;
}

BOOL WINAPI DeleteService(SC_HANDLE hService) {
  auto s = serviceWithRight(hService, DELETE);
  if (!s) return FALSE;
  std::lock_guard<std::mutex> g(scm::scmLock());
  if (s->markedForDelete) {
    SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
    return FALSE;
  }
  // Gone once it is stopped and its last handle is closed.
  scm::markForDelete(*s);
  SetLastError(NO_ERROR);
  return TRUE;
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject) {
  if (closeHandle(fromSc(hSCObject), Kind::Service) || closeHandle(fromSc(hSCObject), Kind::ScManager)) {
    SetLastError(NO_ERROR);
    return TRUE;
  }
  return FALSE;
}

// The ANSI forms, through the system code page.
SC_HANDLE WINAPI OpenSCManagerA(LPCSTR lpMachineName, LPCSTR lpDatabaseName, DWORD dwDesiredAccess) {
  std::u16string machine = lpMachineName ? fromAnsi(lpMachineName) : u"";
  std::u16string database = lpDatabaseName ? fromAnsi(lpDatabaseName) : u"";
  return OpenSCManagerW(lpMachineName ? machine.c_str() : nullptr, lpDatabaseName ? database.c_str() : nullptr,
                        dwDesiredAccess);
}

SC_HANDLE WINAPI OpenServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, DWORD dwDesiredAccess) {
  std::u16string name = lpServiceName ? fromAnsi(lpServiceName) : u"";
  return OpenServiceW(hSCManager, lpServiceName ? name.c_str() : nullptr, dwDesiredAccess);
}

BOOL WINAPI StartServiceA(SC_HANDLE hService, DWORD dwNumServiceArgs, LPCSTR *lpServiceArgVectors) {
  // The arguments reach no program in winsim.
  (void)lpServiceArgVectors;
  return StartServiceW(hService, dwNumServiceArgs, nullptr);
}

}  // extern "C"
