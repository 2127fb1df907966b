// winsim's own definitions behind the SDK-named headers: the attribute that
// exports a function from libwinsim and the linkage of the Windows API.
#pragma once

#define WINSIM 1
#define WINSIM_API __attribute__((visibility("default")))
#define WINSIM_EXTERN_C extern "C"
