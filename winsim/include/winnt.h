// winnt.h for the linux flavour: the base types, with the sizes and layouts of
// the Windows SDK for x64 (LLP64 for the fixed-width integer types), so that
// stored records and structures handed between modules have the same bytes
// as on Windows.  Pointers and handles are native pointers.
#pragma once

#include <cstddef>
#include <cstdint>

#include <guiddef.h>

#include "winsim/export.h"

#ifndef UNICODE
#define UNICODE 1
#endif
#define CONST const
#define VOID void
#define IN
#define OUT
#define OPTIONAL
#define _In_
#define _In_opt_
#define _Out_
#define _Out_opt_
#define _Inout_
#define _Inout_opt_
#define UNREFERENCED_PARAMETER(p) ((void)(p))

typedef uint8_t BYTE, *PBYTE, *LPBYTE;
typedef uint8_t UCHAR, *PUCHAR;
typedef uint8_t BOOLEAN, *PBOOLEAN;
typedef char CHAR, *PCHAR, *LPSTR, *PSTR;
typedef const char *LPCSTR, *PCSTR;
typedef char16_t WCHAR, *PWCHAR, *LPWSTR, *PWSTR;
typedef const char16_t *LPCWSTR, *PCWSTR;
typedef WCHAR TCHAR, *LPTSTR, *PTSTR;
typedef const WCHAR *LPCTSTR, *PCTSTR;
typedef int16_t SHORT, *PSHORT;
typedef uint16_t WORD, *PWORD, *LPWORD, USHORT, *PUSHORT, ATOM, LANGID;
typedef int32_t INT, *PINT, *LPINT, LONG, *PLONG, *LPLONG, BOOL, *PBOOL, *LPBOOL, HRESULT;
typedef uint32_t UINT, *PUINT, DWORD, *PDWORD, *LPDWORD, ULONG, *PULONG, FLONG, LCID;
typedef int64_t LONGLONG, LONG64, INT64, *PLONGLONG;
typedef uint64_t ULONGLONG, DWORD64, ULONG64, UINT64, DWORDLONG, *PULONGLONG, *PDWORD64;
typedef intptr_t INT_PTR, LONG_PTR, *PLONG_PTR, LPARAM, LRESULT;
typedef uintptr_t UINT_PTR, ULONG_PTR, DWORD_PTR, *PULONG_PTR, *PDWORD_PTR, WPARAM, SIZE_T, *PSIZE_T;
typedef intptr_t SSIZE_T;
typedef float FLOAT;
typedef void *PVOID, *LPVOID;
typedef const void *LPCVOID, *PCVOID;
typedef LONG NTSTATUS;

typedef void *HANDLE, **PHANDLE, **LPHANDLE;
#define DECLARE_HANDLE(name) \
  struct name##__ {          \
    int unused;              \
  };                         \
  typedef struct name##__ *name

#define __TEXT(s) u##s
#define TEXT(s) __TEXT(s)
#define _T(s) __TEXT(s)

#define MAXDWORD 0xffffffffu
#define MAXWORD 0xffffu
#define MAXBYTE 0xffu
#define ARRAYSIZE(a) (sizeof(a) / sizeof((a)[0]))
#define FIELD_OFFSET(type, field) ((LONG)offsetof(type, field))

typedef union _LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  };
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;
typedef union _ULARGE_INTEGER {
  struct {
    DWORD LowPart;
    DWORD HighPart;
  };
  struct {
    DWORD LowPart;
    DWORD HighPart;
  } u;
  ULONGLONG QuadPart;
} ULARGE_INTEGER, *PULARGE_INTEGER;

// The real structure is opaque to callers; winsim keeps its lock behind a pointer.
typedef struct _RTL_CRITICAL_SECTION {
  PVOID DebugInfo;
  LONG LockCount;
  LONG RecursionCount;
  HANDLE OwningThread;
  HANDLE LockSemaphore;
  ULONG_PTR SpinCount;
} CRITICAL_SECTION, *PCRITICAL_SECTION, *LPCRITICAL_SECTION, RTL_CRITICAL_SECTION;

// Access masks and token kinds the security calls take.
#define MAXIMUM_ALLOWED 0x02000000L
typedef enum _SECURITY_IMPERSONATION_LEVEL {
  SecurityAnonymous,
  SecurityIdentification,
  SecurityImpersonation,
  SecurityDelegation
} SECURITY_IMPERSONATION_LEVEL,
    *PSECURITY_IMPERSONATION_LEVEL;
typedef enum _TOKEN_TYPE { TokenPrimary = 1, TokenImpersonation } TOKEN_TYPE, *PTOKEN_TYPE;
