// wtsapi32.h for the linux flavour: the Remote Desktop Services calls that a
// service uses to reach the user at the console, as in the SDK.
#pragma once

#include <windows.h>
#include "winsim/export.h"

WINSIM_EXTERN_C WINSIM_API BOOL WINAPI WTSQueryUserToken(ULONG SessionId, PHANDLE phToken);
