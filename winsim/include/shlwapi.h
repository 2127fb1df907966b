// shlwapi.h for the linux flavour: the shell's light-weight utility library
// (registry helpers).
#pragma once

#include <windows.h>

// Deletes a subkey with every key and value beneath it.
WINSIM_EXTERN_C WINSIM_API LSTATUS WINAPI SHDeleteKeyA(HKEY hkey, LPCSTR pszSubKey);
WINSIM_EXTERN_C WINSIM_API LSTATUS WINAPI SHDeleteKeyW(HKEY hkey, LPCWSTR pszSubKey);
#define SHDeleteKey SHDeleteKeyW
