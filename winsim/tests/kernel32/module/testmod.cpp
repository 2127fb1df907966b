// A module for the loader tests: counts attach/detach calls and exports two
// functions; its string table tells its resources from the test program's.
#include <windows.h>

static LONG g_attached;

extern "C" WINSIM_API int TestModAdd(int a, int b) { return a + b; }
extern "C" WINSIM_API LONG TestModAttachCount() { return g_attached; }
extern "C" int TestModHidden() { return 7; }

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) ++g_attached;
  if (reason == DLL_PROCESS_DETACH) --g_attached;
  return TRUE;
}
