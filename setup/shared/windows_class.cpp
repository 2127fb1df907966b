#include "setup/shared/windows_class.h"

#include "shared/proc_address.h"

namespace card::setup {

namespace {

int nineXClass(DWORD minor) {
  switch (minor) {
    case 0: return 1;
    case 10: return 2;
    case 90: return 3;
    default: return 0;
  }
}

int ntClass(DWORD major, DWORD minor) {
  if (major > 5) return 14;
  if (major == 5 && minor <= 2) return int(11 + minor);
  if (major == 4 && minor == 0) return 10;
  if (major == 3 && minor == 51) return 9;
  return 0;
}

}  // namespace

int windowsClass() {
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExW(&version)) return 0;
  if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) return nineXClass(version.dwMinorVersion);
  if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) return ntClass(version.dwMajorVersion, version.dwMinorVersion);
  return 0;
}

bool sixtyFourBitSystem() {
  // Systems before XP lack the call, and are never 64-bit.
  HMODULE kernel = GetModuleHandleW(TEXT("kernel32.dll"));
  auto getNativeSystemInfo =
      kernel ? procAddress<decltype(&GetNativeSystemInfo)>(kernel, "GetNativeSystemInfo") : nullptr;
  if (!getNativeSystemInfo) return false;
  SYSTEM_INFO info = {};
  getNativeSystemInfo(&info);
  return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}

LPCWSTR driverEnvironment() { return sixtyFourBitSystem() ? TEXT("Windows x64") : TEXT("Windows NT x86"); }

LPCWSTR deletionEnvironment() { return windowsClass() < 10 ? TEXT("Windows 4.0") : driverEnvironment(); }

}  // namespace card::setup
