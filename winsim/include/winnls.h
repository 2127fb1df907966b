// winnls.h for the linux flavour: code pages and the conversions between
// them and UTF-16.
#pragma once

#include <minwindef.h>
#include "winsim/export.h"

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_MACCP 2
#define CP_THREAD_ACP 3
#define CP_SYMBOL 42
#define CP_UTF7 65000
#define CP_UTF8 65001
#define MB_PRECOMPOSED 0x00000001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_NO_BEST_FIT_CHARS 0x00000400
#define WC_COMPOSITECHECK 0x00000200
#define WC_ERR_INVALID_CHARS 0x00000080
WINSIM_EXTERN_C WINSIM_API UINT WINAPI GetACP(void);
WINSIM_EXTERN_C WINSIM_API UINT WINAPI GetOEMCP(void);
WINSIM_EXTERN_C WINSIM_API int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLen,
                                                          LPWSTR dst, int dstLen);
WINSIM_EXTERN_C WINSIM_API int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLen,
                                                          LPSTR dst, int dstLen, LPCSTR defaultChar,
                                                          LPBOOL usedDefault);
