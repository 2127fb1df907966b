// The files both language monitors reach on the machine: the libraries they
// load from the spooler's driver folders, and the files a request names.
#pragma once

#include <windows.h>

#include <cstddef>

namespace card::monitorfiles {

// The version-3 folder of a driver environment's directory
// ("<system>\Spool\Drivers\W32X86\3"); false when it does not fit.
bool driverFolder(WCHAR *path, size_t capacity, LPCWSTR environment);
// The environment of this module's own processor ("x64" or "W32X86"): code
// is loaded from there.
LPCWSTR nativeEnvironment();
// `file` of `folder`, loaded with LoadLibraryExW and `flags`; null when the
// path does not fit or the library cannot be loaded.
HMODULE loadFrom(LPCWSTR folder, LPCWSTR file, DWORD flags = 0);

// The file a request names, opened for reading while others may read it
// too; INVALID_HANDLE_VALUE (with the thread's last error) when it cannot be.
HANDLE openRequestFile(LPCWSTR path);

// Whether the machine's own processor is x64 (a 32-bit spooler on it
// included): the transfers' settling pauses are doubled there.
bool nativeProcessorIsX64();

}  // namespace card::monitorfiles
