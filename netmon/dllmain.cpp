// The library's load notification.
#include <windows.h>

#include "netmon/monitor.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  using card::net::module;
  switch (reason) {
    case DLL_PROCESS_ATTACH: {
      module().self = instance;
      OSVERSIONINFOW version{};
      version.dwOSVersionInfoSize = sizeof(version);
      module().newGeneration = GetVersionExW(&version) && version.dwMajorVersion > 5;
      // The lock's wait event is made now, so that entering it never fails
      // later for want of memory.
      if (!InitializeCriticalSectionAndSpinCount(&module().lock, 0x80000000u)) return FALSE;
      module().lockReady = true;
      DisableThreadLibraryCalls(instance);
      break;
    }
    case DLL_PROCESS_DETACH:
      // At process end the other libraries may be gone already: only an
      // ordinary unload frees them.
      if (!reserved) {
        card::net::freeCompanions();
        if (module().lockReady) {
          module().lockReady = false;
          DeleteCriticalSection(&module().lock);
        }
      }
      break;
    default: break;
  }
  return TRUE;
}
