// winbase.h for the linux flavour: kernel32.  Declarations follow the SDK's
// names and signatures.
#pragma once

#include <cstdarg>
#include <cstring>
#include <minwinbase.h>
#include <windef.h>
#include <winerror.h>
#include "winsim/export.h"
#include <securitybaseapi.h>

WINSIM_EXTERN_C WINSIM_API DWORD WINAPI GetLastError(void);
WINSIM_EXTERN_C WINSIM_API void WINAPI SetLastError(DWORD code);

// ---------------------------------------------------------------- memory
#define HEAP_NO_SERIALIZE 0x00000001
#define HEAP_GENERATE_EXCEPTIONS 0x00000004
#define HEAP_ZERO_MEMORY 0x00000008
#define HEAP_REALLOC_IN_PLACE_ONLY 0x00000010
#define LMEM_FIXED 0x0000
#define LMEM_MOVEABLE 0x0002
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
#define LHND (LMEM_MOVEABLE | LMEM_ZEROINIT)
#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)

WINSIM_EXTERN_C WINSIM_API HANDLE WINAPI GetProcessHeap(void);
WINSIM_EXTERN_C WINSIM_API HANDLE WINAPI HeapCreate(DWORD options, SIZE_T initial, SIZE_T maximum);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI HeapDestroy(HANDLE heap);
WINSIM_EXTERN_C WINSIM_API LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
WINSIM_EXTERN_C WINSIM_API LPVOID WINAPI HeapReAlloc(HANDLE heap, DWORD flags, LPVOID mem, SIZE_T bytes);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID mem);
WINSIM_EXTERN_C WINSIM_API SIZE_T WINAPI HeapSize(HANDLE heap, DWORD flags, LPCVOID mem);
WINSIM_EXTERN_C WINSIM_API HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes);
WINSIM_EXTERN_C WINSIM_API HLOCAL WINAPI LocalReAlloc(HLOCAL mem, SIZE_T bytes, UINT flags);
WINSIM_EXTERN_C WINSIM_API HLOCAL WINAPI LocalFree(HLOCAL mem);
WINSIM_EXTERN_C WINSIM_API SIZE_T WINAPI LocalSize(HLOCAL mem);
WINSIM_EXTERN_C WINSIM_API LPVOID WINAPI LocalLock(HLOCAL mem);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI LocalUnlock(HLOCAL mem);
WINSIM_EXTERN_C WINSIM_API HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes);
WINSIM_EXTERN_C WINSIM_API HGLOBAL WINAPI GlobalReAlloc(HGLOBAL mem, SIZE_T bytes, UINT flags);
WINSIM_EXTERN_C WINSIM_API HGLOBAL WINAPI GlobalFree(HGLOBAL mem);
WINSIM_EXTERN_C WINSIM_API SIZE_T WINAPI GlobalSize(HGLOBAL mem);
WINSIM_EXTERN_C WINSIM_API LPVOID WINAPI GlobalLock(HGLOBAL mem);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI GlobalUnlock(HGLOBAL mem);

#define ZeroMemory(d, n) memset((d), 0, (n))
#define SecureZeroMemory(d, n) memset((d), 0, (n))
#define FillMemory(d, n, v) memset((d), (v), (n))
#define CopyMemory(d, s, n) memcpy((d), (s), (n))
#define MoveMemory(d, s, n) memmove((d), (s), (n))
#define RtlZeroMemory ZeroMemory
#define RtlCopyMemory CopyMemory
#define RtlMoveMemory MoveMemory

// ---------------------------------------------------------------- strings
WINSIM_EXTERN_C WINSIM_API int WINAPI lstrlenW(LPCWSTR s);
WINSIM_EXTERN_C WINSIM_API int WINAPI lstrlenA(LPCSTR s);
WINSIM_EXTERN_C WINSIM_API LPWSTR WINAPI lstrcpyW(LPWSTR d, LPCWSTR s);
WINSIM_EXTERN_C WINSIM_API LPSTR WINAPI lstrcpyA(LPSTR d, LPCSTR s);
WINSIM_EXTERN_C WINSIM_API LPWSTR WINAPI lstrcpynW(LPWSTR d, LPCWSTR s, int max);
WINSIM_EXTERN_C WINSIM_API LPSTR WINAPI lstrcpynA(LPSTR d, LPCSTR s, int max);
WINSIM_EXTERN_C WINSIM_API LPWSTR WINAPI lstrcatW(LPWSTR d, LPCWSTR s);
WINSIM_EXTERN_C WINSIM_API LPSTR WINAPI lstrcatA(LPSTR d, LPCSTR s);
WINSIM_EXTERN_C WINSIM_API int WINAPI lstrcmpW(LPCWSTR a, LPCWSTR b);
WINSIM_EXTERN_C WINSIM_API int WINAPI lstrcmpA(LPCSTR a, LPCSTR b);
WINSIM_EXTERN_C WINSIM_API int WINAPI lstrcmpiW(LPCWSTR a, LPCWSTR b);
WINSIM_EXTERN_C WINSIM_API int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b);
#define lstrlen lstrlenW
#define lstrcpy lstrcpyW
#define lstrcpyn lstrcpynW
#define lstrcat lstrcatW
#define lstrcmp lstrcmpW
#define lstrcmpi lstrcmpiW

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
#define INFINITE 0xFFFFFFFFu

// Read and write time-outs of a communications device (and of a printer port,
// which the port monitors set with the same structure).
typedef struct _COMMTIMEOUTS {
  DWORD ReadIntervalTimeout;
  DWORD ReadTotalTimeoutMultiplier;
  DWORD ReadTotalTimeoutConstant;
  DWORD WriteTotalTimeoutMultiplier;
  DWORD WriteTotalTimeoutConstant;
} COMMTIMEOUTS, *LPCOMMTIMEOUTS;

// ---------------------------------------------------------------- interlocked
inline LONG InterlockedIncrement(LONG volatile *p) { return __atomic_add_fetch(p, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedDecrement(LONG volatile *p) { return __atomic_sub_fetch(p, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedExchange(LONG volatile *p, LONG v) { return __atomic_exchange_n(p, v, __ATOMIC_SEQ_CST); }
inline LONG InterlockedExchangeAdd(LONG volatile *p, LONG v) { return __atomic_fetch_add(p, v, __ATOMIC_SEQ_CST); }
inline LONG InterlockedCompareExchange(LONG volatile *p, LONG exchange, LONG comparand) {
  __atomic_compare_exchange_n(p, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}
inline PVOID InterlockedExchangePointer(PVOID volatile *p, PVOID v) {
  return __atomic_exchange_n(p, v, __ATOMIC_SEQ_CST);
}
inline PVOID InterlockedCompareExchangePointer(PVOID volatile *p, PVOID exchange, PVOID comparand) {
  __atomic_compare_exchange_n(p, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}

// ---------------------------------------------------------------- synchronisation, threads, time
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_ABANDONED_0 0x00000080L
#define WAIT_IO_COMPLETION 0x000000C0L
#define WAIT_FAILED 0xFFFFFFFFu
#define MAXIMUM_WAIT_OBJECTS 64
#define STILL_ACTIVE 259
#define CREATE_SUSPENDED 0x00000004
#define SYNCHRONIZE 0x00100000L
#define EVENT_ALL_ACCESS 0x1F0003
#define EVENT_MODIFY_STATE 0x0002
#define MUTEX_ALL_ACCESS 0x1F0001
#define SEMAPHORE_ALL_ACCESS 0x1F0003
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
#define THREAD_PRIORITY_LOWEST (-2)

typedef DWORD(WINAPI *LPTHREAD_START_ROUTINE)(LPVOID param);

WINSIM_EXTERN_C WINSIM_API void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION cs, DWORD spin);
WINSIM_EXTERN_C WINSIM_API void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION cs);
WINSIM_EXTERN_C WINSIM_API void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs);
WINSIM_EXTERN_C WINSIM_API void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs);

WINSIM_EXTERN_C WINSIM_API HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES sa, BOOL manualReset, BOOL initialState,
                                                      LPCWSTR name);
WINSIM_EXTERN_C WINSIM_API HANDLE WINAPI OpenEventW(DWORD access, BOOL inherit, LPCWSTR name);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetEvent(HANDLE event);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI ResetEvent(HANDLE event);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI PulseEvent(HANDLE event);
WINSIM_EXTERN_C WINSIM_API HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES sa, BOOL initialOwner, LPCWSTR name);
WINSIM_EXTERN_C WINSIM_API HANDLE WINAPI OpenMutexW(DWORD access, BOOL inherit, LPCWSTR name);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI ReleaseMutex(HANDLE mutex);
WINSIM_EXTERN_C WINSIM_API HANDLE WINAPI CreateSemaphoreW(LPSECURITY_ATTRIBUTES sa, LONG initial, LONG maximum,
                                                          LPCWSTR name);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI ReleaseSemaphore(HANDLE sem, LONG count, LPLONG previous);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI WaitForSingleObject(HANDLE h, DWORD milliseconds);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI WaitForMultipleObjects(DWORD count, const HANDLE *handles, BOOL waitAll,
                                                               DWORD milliseconds);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI CloseHandle(HANDLE h);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI DuplicateHandle(HANDLE srcProcess, HANDLE src, HANDLE dstProcess, LPHANDLE dst,
                                                       DWORD access, BOOL inherit, DWORD options);
#define DUPLICATE_SAME_ACCESS 0x00000002
#define CreateEvent CreateEventW
#define OpenEvent OpenEventW
#define CreateMutex CreateMutexW
#define OpenMutex OpenMutexW
#define CreateSemaphore CreateSemaphoreW

WINSIM_EXTERN_C WINSIM_API HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES sa, SIZE_T stack,
                                                      LPTHREAD_START_ROUTINE start, LPVOID param, DWORD flags,
                                                      LPDWORD threadId);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI ResumeThread(HANDLE thread);
WINSIM_EXTERN_C WINSIM_API void WINAPI ExitThread(DWORD code);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI TerminateThread(HANDLE thread, DWORD code);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD code);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetThreadPriority(HANDLE thread, int priority);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI GetCurrentThreadId(void);
WINSIM_EXTERN_C WINSIM_API HANDLE WINAPI GetCurrentThread(void);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI GetCurrentProcessId(void);
WINSIM_EXTERN_C WINSIM_API HANDLE WINAPI GetCurrentProcess(void);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI ProcessIdToSessionId(DWORD dwProcessId, DWORD *pSessionId);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI GetThreadId(HANDLE thread);

WINSIM_EXTERN_C WINSIM_API void WINAPI Sleep(DWORD milliseconds);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI SleepEx(DWORD milliseconds, BOOL alertable);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI GetTickCount(void);
WINSIM_EXTERN_C WINSIM_API ULONGLONG WINAPI GetTickCount64(void);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER *count);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER *freq);
WINSIM_EXTERN_C WINSIM_API void WINAPI GetSystemTime(LPSYSTEMTIME st);
WINSIM_EXTERN_C WINSIM_API void WINAPI GetLocalTime(LPSYSTEMTIME st);
WINSIM_EXTERN_C WINSIM_API void WINAPI GetSystemTimeAsFileTime(LPFILETIME ft);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI FileTimeToSystemTime(const FILETIME *ft, LPSYSTEMTIME st);

// ---------------------------------------------------------------- files
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)
#define INVALID_SET_FILE_POINTER ((DWORD)-1)
#define FILE_FLAG_WRITE_THROUGH 0x80000000u
#define FILE_FLAG_OVERLAPPED 0x40000000u
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000u
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_COPY_ALLOWED 0x00000002
#define MOVEFILE_DELAY_UNTIL_REBOOT 0x00000004
#define MOVEFILE_WRITE_THROUGH 0x00000008

typedef struct _WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  WCHAR cFileName[MAX_PATH];
  WCHAR cAlternateFileName[14];
} WIN32_FIND_DATAW, *PWIN32_FIND_DATAW, *LPWIN32_FIND_DATAW, WIN32_FIND_DATA;

WINSIM_EXTERN_C WINSIM_API HANDLE WINAPI CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                                                     DWORD disposition, DWORD flags, HANDLE templateFile);
WINSIM_EXTERN_C WINSIM_API HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                                                     DWORD disposition, DWORD flags, HANDLE templateFile);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read,
                                                LPOVERLAPPED overlapped);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                                                 LPOVERLAPPED overlapped);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI FlushFileBuffers(HANDLE file);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPos,
                                                        DWORD method);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetEndOfFile(HANDLE file);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI GetFileSize(HANDLE file, LPDWORD high);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI GetFileSizeEx(HANDLE file, PLARGE_INTEGER size);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI DeleteFileW(LPCWSTR name);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI CopyFileW(LPCWSTR from, LPCWSTR to, BOOL failIfExists);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI MoveFileW(LPCWSTR from, LPCWSTR to);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES sa);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI RemoveDirectoryW(LPCWSTR name);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI GetFileAttributesW(LPCWSTR name);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetFileAttributesW(LPCWSTR name, DWORD attributes);
WINSIM_EXTERN_C WINSIM_API HANDLE WINAPI FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI FindClose(HANDLE find);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI GetTempPathW(DWORD size, LPWSTR buffer);
WINSIM_EXTERN_C WINSIM_API UINT WINAPI GetTempFileNameW(LPCWSTR path, LPCWSTR prefix, UINT unique, LPWSTR name);
WINSIM_EXTERN_C WINSIM_API UINT WINAPI GetSystemDirectoryW(LPWSTR buffer, UINT size);
WINSIM_EXTERN_C WINSIM_API UINT WINAPI GetWindowsDirectoryW(LPWSTR buffer, UINT size);
// Initialisation files.
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                                                 LPSTR lpReturnedString, DWORD nSize,
                                                                 LPCSTR lpFileName);
// The ANSI forms of the file calls: names in the system code page (CP_ACP).
typedef struct _WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  CHAR cFileName[MAX_PATH];
  CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA, *PWIN32_FIND_DATAA, *LPWIN32_FIND_DATAA;
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI DeleteFileA(LPCSTR lpFileName);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes);
WINSIM_EXTERN_C WINSIM_API HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer);
WINSIM_EXTERN_C WINSIM_API UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize);
WINSIM_EXTERN_C WINSIM_API UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                                                                  LPCSTR lpFileName);
WINSIM_EXTERN_C WINSIM_API UINT WINAPI GetSystemWindowsDirectoryW(LPWSTR buffer, UINT size);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI GetCurrentDirectoryW(DWORD size, LPWSTR buffer);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI GetFullPathNameW(LPCWSTR name, DWORD size, LPWSTR buffer, LPWSTR *filePart);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI ExpandEnvironmentStringsW(LPCWSTR src, LPWSTR dst, DWORD size);

// ---------------------------------------------------------------- DOS devices and serial ports
#define DDD_RAW_TARGET_PATH 0x00000001
#define DDD_REMOVE_DEFINITION 0x00000002
#define DDD_EXACT_MATCH_ON_REMOVE 0x00000004
#define DDD_NO_BROADCAST_SYSTEM 0x00000008
#define DDD_LUID_BROADCAST_DRIVE 0x00000010

// The line settings of a serial device.
typedef struct _DCB {
  DWORD DCBlength;
  DWORD BaudRate;
  DWORD fBinary : 1;
  DWORD fParity : 1;
  DWORD fOutxCtsFlow : 1;
  DWORD fOutxDsrFlow : 1;
  DWORD fDtrControl : 2;
  DWORD fDsrSensitivity : 1;
  DWORD fTXContinueOnXoff : 1;
  DWORD fOutX : 1;
  DWORD fInX : 1;
  DWORD fErrorChar : 1;
  DWORD fNull : 1;
  DWORD fRtsControl : 2;
  DWORD fAbortOnError : 1;
  DWORD fDummy2 : 17;
  WORD wReserved;
  WORD XonLim;
  WORD XoffLim;
  BYTE ByteSize;
  BYTE Parity;
  BYTE StopBits;
  char XonChar;
  char XoffChar;
  char ErrorChar;
  char EofChar;
  char EvtChar;
  WORD wReserved1;
} DCB, *LPDCB;

typedef struct _COMMCONFIG {
  DWORD dwSize;
  WORD wVersion;
  WORD wReserved;
  DCB dcb;
  DWORD dwProviderSubType;
  DWORD dwProviderOffset;
  DWORD dwProviderSize;
  WCHAR wcProviderData[1];
} COMMCONFIG, *LPCOMMCONFIG;

#define PST_UNSPECIFIED ((DWORD)0x0)
#define PST_RS232 ((DWORD)0x1)
#define PST_PARALLELPORT ((DWORD)0x2)
#define CBR_9600 9600
#define CBR_19200 19200
#define NOPARITY 0
#define ODDPARITY 1
#define EVENPARITY 2
#define MARKPARITY 3
#define SPACEPARITY 4
#define ONESTOPBIT 0
#define ONE5STOPBITS 1
#define TWOSTOPBITS 2
#define DTR_CONTROL_DISABLE 0x0
#define DTR_CONTROL_ENABLE 0x1
#define DTR_CONTROL_HANDSHAKE 0x2
#define RTS_CONTROL_DISABLE 0x0
#define RTS_CONTROL_ENABLE 0x1
#define RTS_CONTROL_HANDSHAKE 0x2
#define RTS_CONTROL_TOGGLE 0x3

WINSIM_EXTERN_C WINSIM_API BOOL WINAPI DefineDosDeviceW(DWORD dwFlags, LPCWSTR lpDeviceName, LPCWSTR lpTargetPath);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI QueryDosDeviceW(LPCWSTR lpDeviceName, LPWSTR lpTargetPath, DWORD ucchMax);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI GetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI GetDefaultCommConfigW(LPCWSTR lpszName, LPCOMMCONFIG lpCC, LPDWORD lpdwSize);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetDefaultCommConfigW(LPCWSTR lpszName, LPCOMMCONFIG lpCC, DWORD dwSize);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI BuildCommDCBW(LPCWSTR lpDef, LPDCB lpDCB);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI GetCommState(HANDLE hFile, LPDCB lpDCB);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI SetCommState(HANDLE hFile, LPDCB lpDCB);
#define BuildCommDCB BuildCommDCBW
#define DefineDosDevice DefineDosDeviceW
#define QueryDosDevice QueryDosDeviceW
#define GetDefaultCommConfig GetDefaultCommConfigW
#define SetDefaultCommConfig SetDefaultCommConfigW
#define CreateFile CreateFileW
#define DeleteFile DeleteFileW
#define CopyFile CopyFileW
#define MoveFile MoveFileW
#define MoveFileEx MoveFileExW
#define CreateDirectory CreateDirectoryW
#define RemoveDirectory RemoveDirectoryW
#define GetFileAttributes GetFileAttributesW
#define FindFirstFile FindFirstFileW
#define FindNextFile FindNextFileW
#define GetTempPath GetTempPathW
#define GetTempFileName GetTempFileNameW
#define GetSystemDirectory GetSystemDirectoryW
#define GetWindowsDirectory GetWindowsDirectoryW

// ---------------------------------------------------------------- modules and resources
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3
#define LOAD_LIBRARY_AS_DATAFILE 0x00000002
#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008
#define LOAD_LIBRARY_AS_IMAGE_RESOURCE 0x00000020
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
typedef INT_PTR(WINAPI *FARPROC)();

#define RT_CURSOR MAKEINTRESOURCEW(1)
#define RT_BITMAP MAKEINTRESOURCEW(2)
#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_MENU MAKEINTRESOURCEW(4)
#define RT_DIALOG MAKEINTRESOURCEW(5)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_FONTDIR MAKEINTRESOURCEW(7)
#define RT_FONT MAKEINTRESOURCEW(8)
#define RT_ACCELERATOR MAKEINTRESOURCEW(9)
#define RT_RCDATA MAKEINTRESOURCEW(10)
#define RT_MESSAGETABLE MAKEINTRESOURCEW(11)
#define RT_GROUP_CURSOR MAKEINTRESOURCEW(12)
#define RT_GROUP_ICON MAKEINTRESOURCEW(14)
#define RT_VERSION MAKEINTRESOURCEW(16)
#define RT_MANIFEST MAKEINTRESOURCEW(24)

WINSIM_EXTERN_C WINSIM_API HMODULE WINAPI LoadLibraryW(LPCWSTR name);
WINSIM_EXTERN_C WINSIM_API HMODULE WINAPI LoadLibraryExW(LPCWSTR name, HANDLE file, DWORD flags);
WINSIM_EXTERN_C WINSIM_API HMODULE WINAPI LoadLibraryA(LPCSTR name);
WINSIM_EXTERN_C WINSIM_API FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI FreeLibrary(HMODULE module);
WINSIM_EXTERN_C WINSIM_API HMODULE WINAPI GetModuleHandleW(LPCWSTR name);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI GetModuleHandleExW(DWORD flags, LPCWSTR name, HMODULE *module);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI DisableThreadLibraryCalls(HMODULE module);
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004
#define LoadLibrary LoadLibraryW
#define LoadLibraryEx LoadLibraryExW
#define GetModuleHandle GetModuleHandleW
#define GetModuleFileName GetModuleFileNameW

WINSIM_EXTERN_C WINSIM_API HRSRC WINAPI FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
WINSIM_EXTERN_C WINSIM_API HRSRC WINAPI FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language);
WINSIM_EXTERN_C WINSIM_API HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource);
WINSIM_EXTERN_C WINSIM_API LPVOID WINAPI LockResource(HGLOBAL data);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI FreeResource(HGLOBAL data);
WINSIM_EXTERN_C WINSIM_API int WINAPI LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int size);
WINSIM_EXTERN_C WINSIM_API int WINAPI LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size);
#define FindResource FindResourceW
#define LoadString LoadStringW

// A module's entry point: the linux flavour exports it from each module so that
// LoadLibraryW can call it as the Windows loader does.
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

// ---------------------------------------------------------------- system information
typedef struct _OSVERSIONINFOW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
} OSVERSIONINFOW, *POSVERSIONINFOW, *LPOSVERSIONINFOW, OSVERSIONINFO, *LPOSVERSIONINFO;
typedef struct _OSVERSIONINFOEXW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType;
  BYTE wReserved;
} OSVERSIONINFOEXW, *POSVERSIONINFOEXW, *LPOSVERSIONINFOEXW, OSVERSIONINFOEX;
#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2
#define VER_NT_WORKSTATION 0x0000001
#define VER_NT_SERVER 0x0000003

typedef struct _SYSTEM_INFO {
  union {
    DWORD dwOemId;
    struct {
      WORD wProcessorArchitecture;
      WORD wReserved;
    };
  };
  DWORD dwPageSize;
  LPVOID lpMinimumApplicationAddress;
  LPVOID lpMaximumApplicationAddress;
  DWORD_PTR dwActiveProcessorMask;
  DWORD dwNumberOfProcessors;
  DWORD dwProcessorType;
  DWORD dwAllocationGranularity;
  WORD wProcessorLevel;
  WORD wProcessorRevision;
} SYSTEM_INFO, *LPSYSTEM_INFO;
#define PROCESSOR_ARCHITECTURE_INTEL 0
#define PROCESSOR_ARCHITECTURE_IA64 6
#define PROCESSOR_ARCHITECTURE_AMD64 9
#define PROCESSOR_ARCHITECTURE_UNKNOWN 0xFFFF

WINSIM_EXTERN_C WINSIM_API BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW info);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI GetVersion(void);
WINSIM_EXTERN_C WINSIM_API void WINAPI GetNativeSystemInfo(LPSYSTEM_INFO info);
WINSIM_EXTERN_C WINSIM_API void WINAPI GetSystemInfo(LPSYSTEM_INFO info);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI IsWow64Process(HANDLE process, PBOOL wow64);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI GetComputerNameW(LPWSTR buffer, LPDWORD size);
WINSIM_EXTERN_C WINSIM_API void WINAPI OutputDebugStringW(LPCWSTR text);
WINSIM_EXTERN_C WINSIM_API void WINAPI OutputDebugStringA(LPCSTR text);
WINSIM_EXTERN_C WINSIM_API LPWSTR WINAPI GetCommandLineW(void);
#define GetVersionEx GetVersionExW
#define OutputDebugString OutputDebugStringW
#define GetComputerName GetComputerNameW
#define MAX_COMPUTERNAME_LENGTH 15

// Process creation: what CreateProcessW and CreateProcessAsUserW take and give.
typedef struct _STARTUPINFOW {
  DWORD cb;
  LPWSTR lpReserved;
  LPWSTR lpDesktop;
  LPWSTR lpTitle;
  DWORD dwX;
  DWORD dwY;
  DWORD dwXSize;
  DWORD dwYSize;
  DWORD dwXCountChars;
  DWORD dwYCountChars;
  DWORD dwFillAttribute;
  DWORD dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  LPBYTE lpReserved2;
  HANDLE hStdInput;
  HANDLE hStdOutput;
  HANDLE hStdError;
} STARTUPINFOW, *LPSTARTUPINFOW, STARTUPINFO, *LPSTARTUPINFO;
typedef struct _PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
} PROCESS_INFORMATION, *PPROCESS_INFORMATION, *LPPROCESS_INFORMATION;
#define CREATE_UNICODE_ENVIRONMENT 0x00000400
#define DEBUG_PROCESS 0x00000001
#define DETACHED_PROCESS 0x00000008
#define CREATE_NEW_CONSOLE 0x00000010
#define NORMAL_PRIORITY_CLASS 0x00000020
#define CREATE_NEW_PROCESS_GROUP 0x00000200
#define CREATE_NO_WINDOW 0x08000000
#define STARTF_USESHOWWINDOW 0x00000001
#define PROCESS_TERMINATE 0x0001
#define PROCESS_CREATE_THREAD 0x0002
#define PROCESS_QUERY_INFORMATION 0x0400
#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000
#define PROCESS_ALL_ACCESS 0x001FFFFF
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                                                      LPSECURITY_ATTRIBUTES lpProcessAttributes,
                                                      LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                                                      DWORD dwCreationFlags, LPVOID lpEnvironment,
                                                      LPCWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo,
                                                      LPPROCESS_INFORMATION lpProcessInformation);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI CreateProcessAsUserW(
    HANDLE hToken, LPCWSTR lpApplicationName, LPWSTR lpCommandLine, LPSECURITY_ATTRIBUTES lpProcessAttributes,
    LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles, DWORD dwCreationFlags, LPVOID lpEnvironment,
    LPCWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo, LPPROCESS_INFORMATION lpProcessInformation);
WINSIM_EXTERN_C WINSIM_API __attribute__((noreturn)) void WINAPI ExitProcess(UINT uExitCode);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI GetProcessId(HANDLE Process);
WINSIM_EXTERN_C WINSIM_API HANDLE WINAPI OpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwProcessId);
WINSIM_EXTERN_C WINSIM_API DWORD WINAPI WTSGetActiveConsoleSessionId(void);
#define CreateProcess CreateProcessW
#define CreateProcessAsUser CreateProcessAsUserW

// The entry point of a windowed program, defined by the program.  Declared
// here with C linkage and default visibility, so that the program's
// definition is the symbol the loader looks for.
WINSIM_EXTERN_C __attribute__((visibility("default"))) int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance,
                                                                           LPWSTR lpCmdLine, int nShowCmd);
