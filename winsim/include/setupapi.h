// setupapi.h for the linux flavour: the INF reader, the driver store's INF
// folder and the device information sets, as in the SDK.  Only the part the
// package's installers use; the names, values and layouts are the SDK's.
#pragma once

#include <guiddef.h>
#include <windows.h>
#include "winsim/export.h"

// The SDK packs these structures on 8 bytes for 64-bit code (which is the
// natural layout) and on 1 byte for 32-bit code.
#if defined(_WIN64) || defined(__x86_64__) || defined(__aarch64__)
#pragma pack(push, 8)
#else
#pragma pack(push, 1)
#endif

typedef PVOID HINF;
typedef PVOID HDEVINFO;
typedef DWORD DEVINST;
typedef UINT DI_FUNCTION;

typedef struct _INFCONTEXT {
  PVOID Inf;
  PVOID CurrentInf;
  UINT Section;
  UINT Line;
} INFCONTEXT, *PINFCONTEXT;

typedef struct _SP_DEVINFO_DATA {
  DWORD cbSize;
  GUID ClassGuid;
  DWORD DevInst;
  ULONG_PTR Reserved;
} SP_DEVINFO_DATA, *PSP_DEVINFO_DATA;

#pragma pack(pop)

// SetupOpenInfFile styles.
#define INF_STYLE_NONE 0x00000000
#define INF_STYLE_OLDNT 0x00000001
#define INF_STYLE_WIN4 0x00000002
#define INF_STYLE_CACHE_ENABLE 0x00000010
#define INF_STYLE_CACHE_DISABLE 0x00000020
#define INF_STYLE_CACHE_IGNORE 0x00000040

// SetupCopyOEMInf source media types and copy styles.
#define SPOST_NONE 0
#define SPOST_PATH 1
#define SPOST_URL 2
#define SPOST_MAX 3
#define SP_COPY_DELETESOURCE 0x0000001
#define SP_COPY_REPLACEONLY 0x0000002
#define SP_COPY_NEWER 0x0000004
#define SP_COPY_NEWER_OR_SAME SP_COPY_NEWER
#define SP_COPY_NOOVERWRITE 0x0000008
#define SP_COPY_NODECOMP 0x0000010
#define SP_COPY_LANGUAGEAWARE 0x0000020
#define SP_COPY_SOURCE_ABSOLUTE 0x0000040
#define SP_COPY_SOURCEPATH_ABSOLUTE 0x0000080
#define SP_COPY_IN_USE_NEEDS_REBOOT 0x0000100
#define SP_COPY_FORCE_IN_USE 0x0000200
#define SP_COPY_OEMINF_CATALOG_ONLY 0x0040000

// SetupUninstallOEMInf flags.
#define SUOI_FORCEDELETE 0x00000001
#define SUOI_INTERNAL1 0x00000002

// SetupDiGetClassDevs flags.
#define DIGCF_DEFAULT 0x00000001
#define DIGCF_PRESENT 0x00000002
#define DIGCF_ALLCLASSES 0x00000004
#define DIGCF_PROFILE 0x00000008
#define DIGCF_DEVICEINTERFACE 0x00000010

// Device registry properties.
#define SPDRP_DEVICEDESC 0x00000000
#define SPDRP_HARDWAREID 0x00000001
#define SPDRP_COMPATIBLEIDS 0x00000002
#define SPDRP_UNUSED0 0x00000003
#define SPDRP_SERVICE 0x00000004
#define SPDRP_UNUSED1 0x00000005
#define SPDRP_UNUSED2 0x00000006
#define SPDRP_CLASS 0x00000007
#define SPDRP_CLASSGUID 0x00000008
#define SPDRP_DRIVER 0x00000009
#define SPDRP_CONFIGFLAGS 0x0000000A
#define SPDRP_MFG 0x0000000B
#define SPDRP_FRIENDLYNAME 0x0000000C
#define SPDRP_LOCATION_INFORMATION 0x0000000D
#define SPDRP_PHYSICAL_DEVICE_OBJECT_NAME 0x0000000E
#define SPDRP_CAPABILITIES 0x0000000F
#define SPDRP_UI_NUMBER 0x00000010
#define SPDRP_UPPERFILTERS 0x00000011
#define SPDRP_LOWERFILTERS 0x00000012
#define SPDRP_BUSTYPEGUID 0x00000013
#define SPDRP_LEGACYBUSTYPE 0x00000014
#define SPDRP_BUSNUMBER 0x00000015
#define SPDRP_ENUMERATOR_NAME 0x00000016
#define SPDRP_SECURITY 0x00000017
#define SPDRP_SECURITY_SDS 0x00000018
#define SPDRP_DEVTYPE 0x00000019
#define SPDRP_EXCLUSIVE 0x0000001A
#define SPDRP_CHARACTERISTICS 0x0000001B
#define SPDRP_ADDRESS 0x0000001C
#define SPDRP_UI_NUMBER_DESC_FORMAT 0X0000001D
#define SPDRP_DEVICE_POWER_DATA 0x0000001E
#define SPDRP_REMOVAL_POLICY 0x0000001F
#define SPDRP_REMOVAL_POLICY_HW_DEFAULT 0x00000020
#define SPDRP_REMOVAL_POLICY_OVERRIDE 0x00000021
#define SPDRP_INSTALL_STATE 0x00000022
#define SPDRP_LOCATION_PATHS 0x00000023
#define SPDRP_BASE_CONTAINERID 0x00000024
#define SPDRP_MAXIMUM_PROPERTY 0x00000025

// Class installer functions.
#define DIF_SELECTDEVICE 0x00000001
#define DIF_INSTALLDEVICE 0x00000002
#define DIF_ASSIGNRESOURCES 0x00000003
#define DIF_PROPERTIES 0x00000004
#define DIF_REMOVE 0x00000005
#define DIF_FIRSTTIMESETUP 0x00000006
#define DIF_FOUNDDEVICE 0x00000007
#define DIF_SELECTCLASSDRIVERS 0x00000008
#define DIF_VALIDATECLASSDRIVERS 0x00000009
#define DIF_INSTALLCLASSDRIVERS 0x0000000A
#define DIF_CALCDISKSPACE 0x0000000B
#define DIF_DESTROYPRIVATEDATA 0x0000000C
#define DIF_VALIDATEDRIVER 0x0000000D
#define DIF_DETECT 0x0000000F
#define DIF_INSTALLWIZARD 0x00000010
#define DIF_DESTROYWIZARDDATA 0x00000011
#define DIF_PROPERTYCHANGE 0x00000012
#define DIF_ENABLECLASS 0x00000013
#define DIF_DETECTVERIFY 0x00000014
#define DIF_INSTALLDEVICEFILES 0x00000015
#define DIF_UNREMOVE 0x00000016
#define DIF_SELECTBESTCOMPATDRV 0x00000017
#define DIF_ALLOW_INSTALL 0x00000018
#define DIF_REGISTERDEVICE 0x00000019

// SetupAPI's own errors (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | n).
#ifndef APPLICATION_ERROR_MASK
#define APPLICATION_ERROR_MASK 0x20000000
#endif
#ifndef ERROR_SEVERITY_ERROR
#define ERROR_SEVERITY_ERROR 0xC0000000
#endif
#ifndef ERROR_EXPECTED_SECTION_NAME
#define ERROR_EXPECTED_SECTION_NAME (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0)
#define ERROR_BAD_SECTION_NAME_LINE (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 1)
#define ERROR_SECTION_NAME_TOO_LONG (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 2)
#define ERROR_GENERAL_SYNTAX (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 3)
#define ERROR_WRONG_INF_STYLE (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x100)
#define ERROR_SECTION_NOT_FOUND (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x101)
#define ERROR_LINE_NOT_FOUND (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x102)
#define ERROR_NO_BACKUP (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x103)
#define ERROR_NO_ASSOCIATED_CLASS (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x200)
#define ERROR_CLASS_MISMATCH (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x201)
#define ERROR_DUPLICATE_FOUND (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x202)
#define ERROR_NO_DRIVER_SELECTED (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x203)
#define ERROR_KEY_DOES_NOT_EXIST (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x204)
#define ERROR_INVALID_DEVINST_NAME (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x205)
#define ERROR_INVALID_CLASS (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x206)
#define ERROR_DEVINST_ALREADY_EXISTS (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x207)
#define ERROR_DEVINFO_NOT_REGISTERED (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x208)
#define ERROR_INVALID_REG_PROPERTY (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x209)
#define ERROR_NO_INF (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x20A)
#define ERROR_NO_SUCH_DEVINST (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x20B)
#define ERROR_CANT_LOAD_CLASS_ICON (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x20C)
#define ERROR_INVALID_CLASS_INSTALLER (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x20D)
#define ERROR_DI_DO_DEFAULT (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x20E)
#define ERROR_DI_NOFILECOPY (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x20F)
#define ERROR_INVALID_HWPROFILE (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x210)
#define ERROR_NO_DEVICE_SELECTED (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x211)
#define ERROR_INVALID_FILTER_DRIVER (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x22C)
#define ERROR_INF_IN_USE_BY_DEVICES (APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x23D)
#endif

WINSIM_EXTERN_C WINSIM_API HINF WINAPI SetupOpenInfFileW(PCWSTR FileName, PCWSTR InfClass, DWORD InfStyle,
                                                         PUINT ErrorLine);
WINSIM_EXTERN_C WINSIM_API HINF WINAPI SetupOpenInfFileA(PCSTR FileName, PCSTR InfClass, DWORD InfStyle,
                                                         PUINT ErrorLine);
WINSIM_EXTERN_C WINSIM_API VOID WINAPI SetupCloseInfFile(HINF InfHandle);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetupFindFirstLineW(HINF InfHandle, PCWSTR Section, PCWSTR Key,
                                                           PINFCONTEXT Context);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetupFindFirstLineA(HINF InfHandle, PCSTR Section, PCSTR Key,
                                                           PINFCONTEXT Context);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetupFindNextLine(PINFCONTEXT ContextIn, PINFCONTEXT ContextOut);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetupFindNextMatchLineW(PINFCONTEXT ContextIn, PCWSTR Key,
                                                               PINFCONTEXT ContextOut);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetupGetLineTextW(PINFCONTEXT Context, HINF InfHandle, PCWSTR Section,
                                                         PCWSTR Key, PWSTR ReturnBuffer, DWORD ReturnBufferSize,
                                                         PDWORD RequiredSize);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetupGetLineTextA(PINFCONTEXT Context, HINF InfHandle, PCSTR Section, PCSTR Key,
                                                         PSTR ReturnBuffer, DWORD ReturnBufferSize,
                                                         PDWORD RequiredSize);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetupGetStringFieldW(PINFCONTEXT Context, DWORD FieldIndex, PWSTR ReturnBuffer,
                                                            DWORD ReturnBufferSize, PDWORD RequiredSize);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetupGetStringFieldA(PINFCONTEXT Context, DWORD FieldIndex, PSTR ReturnBuffer,
                                                            DWORD ReturnBufferSize, PDWORD RequiredSize);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI SetupGetFieldCount(PINFCONTEXT Context);
WINSIM_EXTERN_C WINSIM_API LONG WINAPI SetupGetLineCountW(HINF InfHandle, PCWSTR Section);

WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetupCopyOEMInfW(PCWSTR SourceInfFileName, PCWSTR OEMSourceMediaLocation,
                                                        DWORD OEMSourceMediaType, DWORD CopyStyle,
                                                        PWSTR DestinationInfFileName, DWORD DestinationInfFileNameSize,
                                                        PDWORD RequiredSize, PWSTR *DestinationInfFileNameComponent);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetupUninstallOEMInfW(PCWSTR InfFileName, DWORD Flags, PVOID Reserved);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetupUninstallOEMInfA(PCSTR InfFileName, DWORD Flags, PVOID Reserved);

WINSIM_EXTERN_C WINSIM_API HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID *ClassGuid, PCWSTR Enumerator,
                                                                HWND hwndParent, DWORD Flags);
WINSIM_EXTERN_C WINSIM_API HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID *ClassGuid, PCSTR Enumerator,
                                                                HWND hwndParent, DWORD Flags);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex,
                                                             PSP_DEVINFO_DATA DeviceInfoData);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetupDiGetDeviceRegistryPropertyW(HDEVINFO DeviceInfoSet,
                                                                         PSP_DEVINFO_DATA DeviceInfoData,
                                                                         DWORD Property, PDWORD PropertyRegDataType,
                                                                         PBYTE PropertyBuffer, DWORD PropertyBufferSize,
                                                                         PDWORD RequiredSize);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO DeviceInfoSet,
                                                                         PSP_DEVINFO_DATA DeviceInfoData,
                                                                         DWORD Property, PDWORD PropertyRegDataType,
                                                                         PBYTE PropertyBuffer, DWORD PropertyBufferSize,
                                                                         PDWORD RequiredSize);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetupDiGetDeviceInstanceIdW(HDEVINFO DeviceInfoSet,
                                                                   PSP_DEVINFO_DATA DeviceInfoData,
                                                                   PWSTR DeviceInstanceId, DWORD DeviceInstanceIdSize,
                                                                   PDWORD RequiredSize);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetupDiCallClassInstaller(DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet,
                                                                 PSP_DEVINFO_DATA DeviceInfoData);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetupDiRemoveDevice(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet);

#ifdef UNICODE
#define SetupOpenInfFile SetupOpenInfFileW
#define SetupFindFirstLine SetupFindFirstLineW
#define SetupFindNextMatchLine SetupFindNextMatchLineW
#define SetupGetLineText SetupGetLineTextW
#define SetupGetStringField SetupGetStringFieldW
#define SetupGetLineCount SetupGetLineCountW
#define SetupCopyOEMInf SetupCopyOEMInfW
#define SetupUninstallOEMInf SetupUninstallOEMInfW
#define SetupDiGetClassDevs SetupDiGetClassDevsW
#define SetupDiGetDeviceRegistryProperty SetupDiGetDeviceRegistryPropertyW
#define SetupDiGetDeviceInstanceId SetupDiGetDeviceInstanceIdW
#else
#define SetupOpenInfFile SetupOpenInfFileA
#define SetupFindFirstLine SetupFindFirstLineA
#define SetupGetLineText SetupGetLineTextA
#define SetupGetStringField SetupGetStringFieldA
#define SetupDiGetClassDevs SetupDiGetClassDevsA
#define SetupUninstallOEMInf SetupUninstallOEMInfA
#define SetupDiGetDeviceRegistryProperty SetupDiGetDeviceRegistryPropertyA
#endif
