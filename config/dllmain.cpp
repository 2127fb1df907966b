// Attach and detach of cardcfg.
#include <windows.h>

#include <strsafe.h>

#include "config/module_state.h"

namespace {

// The message library lies beside this module in the driver folder; older
// installations put it only into the 32-bit driver folder.
HMODULE loadMessageLibrary(HINSTANCE instance) {
  WCHAR path[MAX_PATH];
  DWORD n = GetModuleFileNameW(instance, path, MAX_PATH);
  if (n > 0 && n < MAX_PATH) {
    DWORD slash = n;
    while (slash > 0 && path[slash - 1] != '\\' && path[slash - 1] != '/') --slash;
    path[slash] = 0;
    if (slash > 0 && SUCCEEDED(StringCchCatW(path, MAX_PATH, TEXT("cardres.dll"))))
      if (HMODULE m = LoadLibraryW(path)) return m;
  }
  UINT s = GetSystemDirectoryW(path, MAX_PATH);
  if (s == 0 || s >= MAX_PATH ||
      FAILED(StringCchCatW(path, MAX_PATH, TEXT("\\Spool\\Drivers\\W32X86\\3\\cardres.dll"))))
    return nullptr;
  return LoadLibraryW(path);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  card::cfg::ModuleState &st = card::cfg::state();
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    // Without the message library the error boxes fall back on this module's
    // own string table, which holds the same numbers and texts; settings
    // still work.
    st.resources = loadMessageLibrary(instance);
    // The working settings copy lives as long as the process: the module
    // stays loaded after the spooler or the application lets it go.
    WCHAR self[MAX_PATH];
    DWORD n = GetModuleFileNameW(instance, self, MAX_PATH);
    if (n > 0 && n < MAX_PATH) LoadLibraryW(self);
    card::cfg::resetState(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    if (st.resources) FreeLibrary(st.resources);
    st.resources = nullptr;
  }
  return TRUE;
}
