// difxapi.h for the linux flavour: the Driver Install Frameworks calls that
// stage a driver package in the driver store and take it out again, as in
// the SDK.
#pragma once

#include <windows.h>
#include "winsim/export.h"

#ifndef APPLICATION_ERROR_MASK
#define APPLICATION_ERROR_MASK 0x20000000
#endif
#ifndef ERROR_SEVERITY_ERROR
#define ERROR_SEVERITY_ERROR 0xC0000000
#endif
#ifndef ERROR_DEPENDENT_APPLICATIONS_EXIST
#define ERROR_DEPENDENT_APPLICATIONS_EXIST (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x300)
#endif
#ifndef ERROR_NO_DEVICE_ID
#define ERROR_NO_DEVICE_ID (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x301)
#endif
#ifndef ERROR_DRIVER_PACKAGE_NOT_IN_STORE
#define ERROR_DRIVER_PACKAGE_NOT_IN_STORE (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x302)
#endif
#ifndef ERROR_MISSING_FILE
#define ERROR_MISSING_FILE (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x303)
#endif
#ifndef ERROR_INVALID_CATALOG_DATA
#define ERROR_INVALID_CATALOG_DATA (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x304)
#endif

#define DRIVER_PACKAGE_REPAIR 0x00000001
#define DRIVER_PACKAGE_SILENT 0x00000002
#define DRIVER_PACKAGE_FORCE 0x00000004
#define DRIVER_PACKAGE_ONLY_IF_DEVICE_PRESENT 0x00000008
#define DRIVER_PACKAGE_LEGACY_MODE 0x00000010
#define DRIVER_PACKAGE_DELETE_FILES 0x00000020

typedef struct {
  PWSTR pApplicationId;
  PWSTR pDisplayName;
  PWSTR pProductName;
  PWSTR pMfgName;
} INSTALLERINFO_W, *PINSTALLERINFO_W;
typedef const PINSTALLERINFO_W PCINSTALLERINFO_W;

typedef enum { DIFXAPI_SUCCESS, DIFXAPI_INFO, DIFXAPI_WARNING, DIFXAPI_ERROR } DIFXAPI_LOG;

WINSIM_EXTERN_C WINSIM_API DWORD WINAPI DriverPackagePreinstallW(PCWSTR DriverPackageInfPath, DWORD Flags);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI DriverPackageUninstallW(PCWSTR DriverPackageInfPath, DWORD Flags,
                                                                PCINSTALLERINFO_W pInstallerInfo, BOOL *pNeedReboot);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI DriverPackageGetPathW(PCWSTR DriverPackageInfPath, PWSTR pDestInfPath,
                                                              DWORD *pNumOfChars);

#ifdef UNICODE
#define DriverPackagePreinstall DriverPackagePreinstallW
#define DriverPackageUninstall DriverPackageUninstallW
#define DriverPackageGetPath DriverPackageGetPathW
#define INSTALLERINFO INSTALLERINFO_W
#define PINSTALLERINFO PINSTALLERINFO_W
#define PCINSTALLERINFO PCINSTALLERINFO_W
#endif
