// The functions of kernel32.dll that winsim implements, for GetProcAddress.
// The strsafe functions are not among them: the SDK has them inline in its
// header, no DLL exports them.
#include "core/internal.h"

namespace winsim {

namespace {

const char *const kKernel32[] = {
    "CloseHandle", "CopyFileW", "CreateDirectoryW", "CreateEventW", "CreateFileA", "CreateFileW", "CreateMutexW",
    "CreateSemaphoreW", "CreateThread", "DeleteCriticalSection", "DeleteFileW", "DisableThreadLibraryCalls",
    "DuplicateHandle", "EnterCriticalSection", "ExitThread", "ExpandEnvironmentStringsW", "FileTimeToSystemTime",
    "FindClose", "FindFirstFileW", "FindNextFileW", "FindResourceExW", "FindResourceW", "FlushFileBuffers",
    "FreeLibrary", "FreeResource", "GetACP", "GetCommandLineW", "GetComputerNameW", "GetCurrentDirectoryW",
    "GetCurrentProcess", "GetCurrentProcessId", "GetCurrentThread", "GetCurrentThreadId", "GetEnvironmentVariableW",
    "GetExitCodeThread", "GetFileAttributesW", "GetFileSize", "GetFileSizeEx", "GetFullPathNameW", "GetLastError",
    "GetLocalTime", "GetModuleFileNameW", "GetModuleHandleExW", "GetModuleHandleW", "GetNativeSystemInfo", "GetOEMCP",
    "GetProcAddress", "GetProcessHeap", "GetSystemDirectoryW", "GetSystemInfo", "GetSystemTime",
    "GetSystemTimeAsFileTime", "GetSystemWindowsDirectoryW", "GetTempFileNameW", "GetTempPathW", "GetThreadId",
    "GetTickCount", "GetTickCount64", "GetVersion", "GetVersionExW", "GetWindowsDirectoryW", "GlobalAlloc",
    "GlobalFree", "GlobalLock", "GlobalReAlloc", "GlobalSize", "GlobalUnlock", "HeapAlloc", "HeapCreate",
    "HeapDestroy", "HeapFree", "HeapReAlloc", "HeapSize", "InitializeCriticalSection",
    "InitializeCriticalSectionAndSpinCount", "IsWow64Process", "LeaveCriticalSection", "LoadLibraryA",
    "LoadLibraryExW", "LoadLibraryW", "LoadResource", "LoadStringA", "LoadStringW", "LocalAlloc", "LocalFree",
    "LocalLock", "LocalReAlloc", "LocalSize", "LocalUnlock", "LockResource", "MoveFileExW", "MoveFileW",
    "MultiByteToWideChar", "OpenEventW", "OpenMutexW", "OutputDebugStringA", "OutputDebugStringW", "PulseEvent",
    "QueryPerformanceCounter", "QueryPerformanceFrequency", "ReadFile", "ReleaseMutex", "ReleaseSemaphore",
    "RemoveDirectoryW", "ResetEvent", "ResumeThread", "SetEndOfFile", "SetEvent", "SetFileAttributesW",
    "SetFilePointer", "SetFilePointerEx", "SetLastError", "SetThreadPriority", "SizeofResource", "Sleep", "SleepEx",
    "TerminateThread", "TryEnterCriticalSection", "WaitForMultipleObjects", "WaitForSingleObject",
    "WideCharToMultiByte", "WriteFile", "lstrcatA", "lstrcatW", "lstrcmpA", "lstrcmpW", "lstrcmpiA", "lstrcmpiW",
    "lstrcpyA", "lstrcpyW", "lstrcpynA", "lstrcpynW", "lstrlenA", "lstrlenW",
};
const ExportList kKernel32List(u"kernel32.dll", kKernel32);

}  // namespace

}  // namespace winsim
