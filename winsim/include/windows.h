// The linux flavour's windows.h: the subset of the Windows API that the package
// uses, implemented by winsim.  As in the SDK, the spooler's client header is
// left out under WIN32_LEAN_AND_MEAN.
#pragma once

#include "winsim/types.h"
#include "winsim/kernel32.h"
#include "winsim/advapi32.h"
#include "wingdi.h"
#include "winuser.h"
#ifndef WIN32_LEAN_AND_MEAN
#include "winspool.h"
#endif
