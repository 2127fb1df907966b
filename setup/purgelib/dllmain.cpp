// purgelib.dll: run once through rundll32 at the log-on after an uninstall
// ("rundll32 purgelib.dll EntryDeleteFiles", from the RunOnce key), it takes
// every trace of the package off the machine and then arranges for its own
// file to go once rundll32 has let go of it.
#include <windows.h>

#include "setup/purgelib/purge.h"
#include "setup/shared/self_delete.h"

// The exported name comes from purgelib.def; on the linux flavour it must
// also be visible to the module's version script.
#ifdef _WIN32
#define PURGELIB_EXPORT
#else
#define PURGELIB_EXPORT __attribute__((visibility("default")))
#endif

namespace {

HMODULE g_module = nullptr;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

// The arguments are rundll32's; none of them is used.
extern "C" PURGELIB_EXPORT void CALLBACK EntryDeleteFiles(HWND, HINSTANCE, LPSTR, int) {
  using namespace card::setup;
  removePrintersAndDrivers();
  cleanRegistryAndDevices();
  deletePackageFiles();
  removeOldDriverFolders();
  deleteModuleFileAfterExit(g_module);
}
