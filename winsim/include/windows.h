// The linux flavour's windows.h: the subset of the Windows API that the package
// uses, implemented by winsim.
#pragma once

#include "winsim/types.h"
#include "winsim/kernel32.h"
#include "winsim/advapi32.h"
