// The service control manager as an installer uses it: a kernel-mode
// driver's service created, queried, refused the controls a stopped service
// refuses, and deleted.  The driver is never started: its file is not there.
#include <windows.h>
#include <winsvc.h>

#include "check.h"

namespace {

const WCHAR kService[] = TEXT("CardConfDrv");

}  // namespace

CONF_CASE(Services, ManagerRefusesBadHandlesAndUnknownServices) {
  SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  REQUIRE(scm != nullptr);
  SetLastError(0);
  CHECK(OpenServiceW(scm, TEXT("CardNoSuchService"), SERVICE_QUERY_STATUS) == nullptr);
  CHECK_ERROR(DWORD(ERROR_SERVICE_DOES_NOT_EXIST));
  SetLastError(0);
  CHECK(!CloseServiceHandle(nullptr));
  CHECK_ERROR(DWORD(ERROR_INVALID_HANDLE));
  CHECK(CloseServiceHandle(scm));
}

CONF_CASE(Services, DriverServiceLifecycleWithoutStarting) {
  SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  REQUIRE(scm != nullptr);
  SC_HANDLE service = CreateServiceW(
      scm, kService, TEXT("Card Conformance Driver"), SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
      SERVICE_ERROR_IGNORE, TEXT("System32\\drivers\\cardconfdrv.sys"), nullptr, nullptr, nullptr, nullptr, nullptr);
  if (!CHECK(service != nullptr)) {
    CloseServiceHandle(scm);
    return;
  }
  SetLastError(0);
  CHECK(CreateServiceW(scm, kService, nullptr, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                       SERVICE_ERROR_IGNORE, TEXT("System32\\drivers\\cardconfdrv.sys"), nullptr, nullptr, nullptr,
                       nullptr, nullptr) == nullptr);
  CHECK_ERROR(DWORD(ERROR_SERVICE_EXISTS));

  SERVICE_STATUS st{};
  CHECK(QueryServiceStatus(service, &st));
  CHECK_EQ(st.dwServiceType, DWORD(SERVICE_KERNEL_DRIVER));
  CHECK_EQ(st.dwCurrentState, DWORD(SERVICE_STOPPED));
  SetLastError(0);
  CHECK(!ControlService(service, SERVICE_CONTROL_STOP, &st));
  CHECK_ERROR(DWORD(ERROR_SERVICE_NOT_ACTIVE));

  // A handle without the right is refused.
  SC_HANDLE start = OpenServiceW(scm, kService, SERVICE_START);
  CHECK(start != nullptr);
  SetLastError(0);
  CHECK(!QueryServiceStatus(start, &st));
  CHECK_ERROR(DWORD(ERROR_ACCESS_DENIED));

  CHECK(DeleteService(service));
  SetLastError(0);
  CHECK(!DeleteService(service));
  CHECK_ERROR(DWORD(ERROR_SERVICE_MARKED_FOR_DELETE));
  CHECK(CloseServiceHandle(start));
  CHECK(CloseServiceHandle(service));
  // Its last handle closed, the stopped service is gone.
  SetLastError(0);
  CHECK(OpenServiceW(scm, kService, SERVICE_QUERY_STATUS) == nullptr);
  CHECK_ERROR(DWORD(ERROR_SERVICE_DOES_NOT_EXIST));
  CHECK(CloseServiceHandle(scm));
}
