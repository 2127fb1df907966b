#include "shared/glue/monitor_files.h"

#include <strsafe.h>

namespace card::monitorfiles {

bool driverFolder(WCHAR *path, size_t capacity, LPCWSTR environment) {
  UINT n = GetSystemDirectoryW(path, UINT(capacity));
  if (n == 0 || n >= capacity) return false;
  return SUCCEEDED(StringCchCatW(path, capacity, TEXT("\\Spool\\Drivers\\"))) &&
         SUCCEEDED(StringCchCatW(path, capacity, environment)) && SUCCEEDED(StringCchCatW(path, capacity, TEXT("\\3")));
}

LPCWSTR nativeEnvironment() { return sizeof(void *) == 8 ? TEXT("x64") : TEXT("W32X86"); }

HMODULE loadFrom(LPCWSTR folder, LPCWSTR file, DWORD flags) {
  WCHAR path[MAX_PATH];
  if (FAILED(StringCchCopyW(path, MAX_PATH, folder)) || FAILED(StringCchCatW(path, MAX_PATH, TEXT("\\"))) ||
      FAILED(StringCchCatW(path, MAX_PATH, file)))
    return nullptr;
  return LoadLibraryExW(path, nullptr, flags);
}

HANDLE openRequestFile(LPCWSTR path) {
  return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool nativeProcessorIsX64() {
  SYSTEM_INFO info{};
  GetNativeSystemInfo(&info);
  return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}

}  // namespace card::monitorfiles
