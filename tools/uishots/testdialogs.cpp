// A module of dialog templates only; loaded as data, its entry never runs.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
