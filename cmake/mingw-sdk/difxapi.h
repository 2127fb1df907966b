// difxapi.h, which mingw-w64 lacks: the Driver Install Frameworks calls of
// difxapi.dll (the package ships the DLL and binds it at run time), with the
// SDK's names, values and layouts.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
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

typedef struct {
  PSTR pApplicationId;
  PSTR pDisplayName;
  PSTR pProductName;
  PSTR pMfgName;
} INSTALLERINFO_A, *PINSTALLERINFO_A;
typedef const PINSTALLERINFO_A PCINSTALLERINFO_A;

typedef enum { DIFXAPI_SUCCESS, DIFXAPI_INFO, DIFXAPI_WARNING, DIFXAPI_ERROR } DIFXAPI_LOG;

typedef VOID(__cdecl *DIFXAPILOGCALLBACK_W)(DIFXAPI_LOG Event, DWORD Error, PCWSTR EventDescription,
                                            PVOID CallbackContext);
typedef VOID(__cdecl *DIFXAPILOGCALLBACK_A)(DIFXAPI_LOG Event, DWORD Error, PCSTR EventDescription,
                                            PVOID CallbackContext);
typedef VOID(CALLBACK *DIFLOGCALLBACK_W)(DIFXAPI_LOG EventType, DWORD ErrorCode, PCWSTR EventDescription,
                                         PVOID CallbackContext);
typedef VOID(CALLBACK *DIFLOGCALLBACK_A)(DIFXAPI_LOG EventType, DWORD ErrorCode, PCSTR EventDescription,
                                         PVOID CallbackContext);

DWORD WINAPI DriverPackagePreinstallW(PCWSTR DriverPackageInfPath, DWORD Flags);
DWORD WINAPI DriverPackagePreinstallA(PCSTR DriverPackageInfPath, DWORD Flags);
DWORD WINAPI DriverPackageInstallW(PCWSTR DriverPackageInfPath, DWORD Flags, PCINSTALLERINFO_W pInstallerInfo,
                                   BOOL *pNeedReboot);
DWORD WINAPI DriverPackageInstallA(PCSTR DriverPackageInfPath, DWORD Flags, PCINSTALLERINFO_A pInstallerInfo,
                                   BOOL *pNeedReboot);
DWORD WINAPI DriverPackageUninstallW(PCWSTR DriverPackageInfPath, DWORD Flags, PCINSTALLERINFO_W pInstallerInfo,
                                     BOOL *pNeedReboot);
DWORD WINAPI DriverPackageUninstallA(PCSTR DriverPackageInfPath, DWORD Flags, PCINSTALLERINFO_A pInstallerInfo,
                                     BOOL *pNeedReboot);
DWORD WINAPI DriverPackageGetPathW(PCWSTR DriverPackageInfPath, PWSTR pDestInfPath, DWORD *pNumOfChars);
DWORD WINAPI DriverPackageGetPathA(PCSTR DriverPackageInfPath, PSTR pDestInfPath, DWORD *pNumOfChars);
VOID WINAPI DIFXAPISetLogCallbackW(DIFXAPILOGCALLBACK_W LogCallback, PVOID CallbackContext);
VOID WINAPI DIFXAPISetLogCallbackA(DIFXAPILOGCALLBACK_A LogCallback, PVOID CallbackContext);
VOID WINAPI SetDifxLogCallbackW(DIFLOGCALLBACK_W LogCallback, PVOID CallbackContext);
VOID WINAPI SetDifxLogCallbackA(DIFLOGCALLBACK_A LogCallback, PVOID CallbackContext);

#ifdef UNICODE
#define DriverPackagePreinstall DriverPackagePreinstallW
#define DriverPackageInstall DriverPackageInstallW
#define DriverPackageUninstall DriverPackageUninstallW
#define DriverPackageGetPath DriverPackageGetPathW
#define DIFXAPISetLogCallback DIFXAPISetLogCallbackW
#define SetDifxLogCallback SetDifxLogCallbackW
#define INSTALLERINFO INSTALLERINFO_W
#define PINSTALLERINFO PINSTALLERINFO_W
#define PCINSTALLERINFO PCINSTALLERINFO_W
#define DIFXAPILOGCALLBACK DIFXAPILOGCALLBACK_W
#define DIFLOGCALLBACK DIFLOGCALLBACK_W
#else
#define DriverPackagePreinstall DriverPackagePreinstallA
#define DriverPackageInstall DriverPackageInstallA
#define DriverPackageUninstall DriverPackageUninstallA
#define DriverPackageGetPath DriverPackageGetPathA
#define DIFXAPISetLogCallback DIFXAPISetLogCallbackA
#define SetDifxLogCallback SetDifxLogCallbackA
#define INSTALLERINFO INSTALLERINFO_A
#define PINSTALLERINFO PINSTALLERINFO_A
#define PCINSTALLERINFO PCINSTALLERINFO_A
#define DIFXAPILOGCALLBACK DIFXAPILOGCALLBACK_A
#define DIFLOGCALLBACK DIFLOGCALLBACK_A
#endif

#ifdef __cplusplus
}
#endif
