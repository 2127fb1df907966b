// userenv.h for the linux flavour: a user's environment block, as in the SDK.
#pragma once

#include <windows.h>
#include "winsim/export.h"

WINSIM_EXTERN_C WINSIM_API BOOL WINAPI CreateEnvironmentBlock(LPVOID *lpEnvironment, HANDLE hToken, BOOL bInherit);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI DestroyEnvironmentBlock(LPVOID lpEnvironment);
