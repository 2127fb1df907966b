// winreg.h for the linux flavour: the registry (advapi32), and the user
// name.
#pragma once

#include <minwinbase.h>
#include <windef.h>
#include <winerror.h>
#include "winsim/export.h"

typedef LONG LSTATUS;
typedef DWORD REGSAM;
typedef DWORD ACCESS_MASK;
typedef PVOID PSECURITY_DESCRIPTOR;

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))
#define HKEY_CURRENT_CONFIG ((HKEY)(ULONG_PTR)((LONG)0x80000005))

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#define REG_OPTION_NON_VOLATILE 0x00000000
#define REG_OPTION_VOLATILE 0x00000001
#define REG_CREATED_NEW_KEY 0x00000001
#define REG_OPENED_EXISTING_KEY 0x00000002

#define DELETE 0x00010000L
#define READ_CONTROL 0x00020000L
#define WRITE_DAC 0x00040000L
#define WRITE_OWNER 0x00080000L
#define STANDARD_RIGHTS_REQUIRED 0x000F0000L
#define STANDARD_RIGHTS_READ READ_CONTROL
#define STANDARD_RIGHTS_WRITE READ_CONTROL
#define STANDARD_RIGHTS_EXECUTE READ_CONTROL
#define STANDARD_RIGHTS_ALL 0x001F0000L
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_EXECUTE 0x20019
#define KEY_ALL_ACCESS 0xF003F

#define RRF_RT_REG_NONE 0x00000001
#define RRF_RT_REG_SZ 0x00000002
#define RRF_RT_REG_EXPAND_SZ 0x00000004
#define RRF_RT_REG_BINARY 0x00000008
#define RRF_RT_REG_DWORD 0x00000010
#define RRF_RT_REG_MULTI_SZ 0x00000020
#define RRF_RT_REG_QWORD 0x00000040
#define RRF_RT_ANY 0x0000ffff

WINSIM_EXTERN_C WINSIM_API LSTATUS WINAPI RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM sam,
                                                        PHKEY result);
WINSIM_EXTERN_C WINSIM_API LSTATUS WINAPI RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR cls,
                                                          DWORD options, REGSAM sam, LPSECURITY_ATTRIBUTES sa,
                                                          PHKEY result, LPDWORD disposition);
WINSIM_EXTERN_C WINSIM_API LSTATUS WINAPI RegCloseKey(HKEY key);
WINSIM_EXTERN_C WINSIM_API LSTATUS WINAPI RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type,
                                                           LPBYTE data, LPDWORD size);
WINSIM_EXTERN_C WINSIM_API LSTATUS WINAPI RegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type,
                                                         const BYTE *data, DWORD size);
WINSIM_EXTERN_C WINSIM_API LSTATUS WINAPI RegGetValueW(HKEY key, LPCWSTR subKey, LPCWSTR name, DWORD flags,
                                                       LPDWORD type, PVOID data, LPDWORD size);
WINSIM_EXTERN_C WINSIM_API LSTATUS WINAPI RegDeleteValueW(HKEY key, LPCWSTR name);
WINSIM_EXTERN_C WINSIM_API LSTATUS WINAPI RegDeleteKeyW(HKEY key, LPCWSTR subKey);
WINSIM_EXTERN_C WINSIM_API LSTATUS WINAPI RegDeleteKeyExW(HKEY key, LPCWSTR subKey, REGSAM sam, DWORD reserved);
WINSIM_EXTERN_C WINSIM_API LSTATUS WINAPI RegDeleteTreeW(HKEY key, LPCWSTR subKey);
WINSIM_EXTERN_C WINSIM_API LSTATUS WINAPI RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLen,
                                                        LPDWORD reserved, LPWSTR cls, LPDWORD clsLen,
                                                        PFILETIME lastWrite);
WINSIM_EXTERN_C WINSIM_API LSTATUS WINAPI RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLen,
                                                        LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataLen);
WINSIM_EXTERN_C WINSIM_API LSTATUS WINAPI RegQueryInfoKeyW(HKEY key, LPWSTR cls, LPDWORD clsLen, LPDWORD reserved,
                                                           LPDWORD subKeys, LPDWORD maxSubKeyLen, LPDWORD maxClassLen,
                                                           LPDWORD values, LPDWORD maxValueNameLen, LPDWORD maxValueLen,
                                                           LPDWORD securityDescriptor, PFILETIME lastWrite);
WINSIM_EXTERN_C WINSIM_API LSTATUS WINAPI RegFlushKey(HKEY key);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI GetUserNameW(LPWSTR buffer, LPDWORD size);
// The ANSI forms: names and string data in the system code page (CP_ACP).
WINSIM_EXTERN_C WINSIM_API LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                                        PHKEY phkResult);
WINSIM_EXTERN_C WINSIM_API LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                                                          DWORD dwOptions, REGSAM samDesired,
                                                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                                                          LPDWORD lpdwDisposition);
WINSIM_EXTERN_C WINSIM_API LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                                                        LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                                                        PFILETIME lpftLastWriteTime);
WINSIM_EXTERN_C WINSIM_API LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
WINSIM_EXTERN_C WINSIM_API LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
WINSIM_EXTERN_C WINSIM_API LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                                                         const BYTE *lpData, DWORD cbData);
WINSIM_EXTERN_C WINSIM_API LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved,
                                                           LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
#define RegOpenKeyEx RegOpenKeyExW
#define RegCreateKeyEx RegCreateKeyExW
#define RegQueryValueEx RegQueryValueExW
#define RegSetValueEx RegSetValueExW
#define RegDeleteValue RegDeleteValueW
#define RegDeleteKey RegDeleteKeyW
#define RegEnumKeyEx RegEnumKeyExW
#define RegEnumValue RegEnumValueW
#define GetUserName GetUserNameW
