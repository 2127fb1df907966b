// The linux flavour's windows.h: the subset of the Windows API that the package
// uses, implemented by winsim, in the SDK's headers.  As in the SDK, the
// spooler's client header is left out under WIN32_LEAN_AND_MEAN, the service
// control manager's under NOSERVICE.
#pragma once

// The resource compiler sees the constants of winuser.h only.
#ifdef RC_INVOKED
#include <winuser.h>
#else
#include <windef.h>
#include <winbase.h>
#include <wingdi.h>
#include <winuser.h>
#include <winnls.h>
#include <winreg.h>
#ifndef WIN32_LEAN_AND_MEAN
#include <winspool.h>
#endif
#ifndef NOSERVICE
#include <winsvc.h>
#endif
#endif
