// The service control manager: its database of services (kept in memory and
// written to HKLM\SYSTEM\CurrentControlSet\Services as Windows keeps it), and
// the registration of the services whose program is part of winsim.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include <windows.h>

namespace winsim {

// A service whose program winsim itself is (the print spooler): the folder
// above that implements it registers, at load, its configuration and how its
// work stops and starts.  It is running from every machine reset on.
struct BuiltInService {
  std::u16string name, displayName, imagePath;
  DWORD type = SERVICE_WIN32_OWN_PROCESS;
  DWORD start = SERVICE_AUTO_START;
  DWORD errorControl = SERVICE_ERROR_NORMAL;
  DWORD controlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
  // Ends the service's work; returns once it has ended.
  void (*stopProgram)() = nullptr;
  // Starts it again: ERROR_SUCCESS, or the exit code it stops with.
  DWORD (*startProgram)() = nullptr;
};
void registerBuiltInService(const BuiltInService &service);
struct BuiltInServiceRegistration {
  explicit BuiltInServiceRegistration(const BuiltInService &service) { registerBuiltInService(service); }
};

namespace scm {

// A service of the database.  Read and changed with scmLock() held.
struct ServiceRecord {
  std::u16string name;  // as created: the name of its registry key
  std::u16string displayName, imagePath;
  DWORD type = SERVICE_WIN32_OWN_PROCESS;
  DWORD start = SERVICE_DEMAND_START;
  DWORD errorControl = SERVICE_ERROR_NORMAL;
  DWORD state = SERVICE_STOPPED;
  DWORD exitCode = ERROR_SERVICE_NEVER_STARTED;
  bool markedForDelete = false;
  int handles = 0;  // open SC_HANDLEs of the service
  // The built-in service's own program, NULL for the others.
  const BuiltInService *builtIn = nullptr;
};

std::mutex &scmLock();
// The service of that name (without regard to case), NULL when there is
// none.  With the lock held.
std::shared_ptr<ServiceRecord> findService(const std::u16string &name);
// True when a service has this name as its name or display name.  With the
// lock held.
bool nameInUse(const std::u16string &displayName);
// Adds a new service to the database and its key to the registry.  With
// the lock held.
void addService(const std::shared_ptr<ServiceRecord> &service);
// DeleteService's mark, kept in the service's key too.  With the lock held.
void markForDelete(ServiceRecord &service);
// The service leaves the database (and the registry) once it is marked,
// stopped and without handles.  With the lock held.
void deleteIfDone(const std::shared_ptr<ServiceRecord> &service);
// The controls a service takes in its state (SERVICE_ACCEPT_ bits).
DWORD controlsAccepted(const ServiceRecord &service);
SERVICE_STATUS statusOf(const ServiceRecord &service);

// Whether the service's program (a driver's .sys, a program's .exe) is on
// the drive: ERROR_SUCCESS, ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND.
DWORD imageError(const ServiceRecord &service);

}  // namespace scm
}  // namespace winsim
