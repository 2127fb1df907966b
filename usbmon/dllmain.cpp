// The library's load notification.
#include <windows.h>

#include "usbmon/monitor.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  using card::usb::module;
  switch (reason) {
    case DLL_PROCESS_ATTACH: {
      module().self = instance;
      OSVERSIONINFOW version{};
      version.dwOSVersionInfoSize = sizeof(version);
      module().newGeneration = GetVersionExW(&version) && version.dwMajorVersion >= 6;
      DisableThreadLibraryCalls(instance);
      break;
    }
    case DLL_PROCESS_DETACH:
      // At process end the other libraries may be gone already: only an
      // ordinary unload frees them.
      if (!reserved) {
        card::usb::freeCompanions();
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
