// The platform structures whose bytes the package stores or hands between
// modules.  Compiled in both flavours: a stand-in header that drifts from the
// SDK's layout stops the build here.
#include <windows.h>

#include <cstddef>

#include "job_settings.h"

static_assert(sizeof(WCHAR) == 2);
static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(ULONG) == 4 && sizeof(WORD) == 2);
static_assert(sizeof(BOOL) == 4 && sizeof(COLORREF) == 4);
static_assert(sizeof(HANDLE) == sizeof(void *) && sizeof(ULONG_PTR) == sizeof(void *));
static_assert(sizeof(GUID) == 16);
static_assert(offsetof(GUID, Data4) == 8);
static_assert(sizeof(POINTL) == 8 && sizeof(RECTL) == 16 && sizeof(SIZEL) == 8);
static_assert(sizeof(FILETIME) == 8 && sizeof(SYSTEMTIME) == 16);
static_assert(sizeof(LARGE_INTEGER) == 8);

static_assert(sizeof(DEVMODEW) == 220);
static_assert(offsetof(DEVMODEW, dmDeviceName) == 0);
static_assert(offsetof(DEVMODEW, dmSpecVersion) == 64);
static_assert(offsetof(DEVMODEW, dmDriverVersion) == 66);
static_assert(offsetof(DEVMODEW, dmSize) == 68);
static_assert(offsetof(DEVMODEW, dmDriverExtra) == 70);
static_assert(offsetof(DEVMODEW, dmFields) == 72);
static_assert(offsetof(DEVMODEW, dmOrientation) == 76);
static_assert(offsetof(DEVMODEW, dmPaperSize) == 78);
static_assert(offsetof(DEVMODEW, dmCopies) == 86);
static_assert(offsetof(DEVMODEW, dmPrintQuality) == 90);
static_assert(offsetof(DEVMODEW, dmColor) == 92);
static_assert(offsetof(DEVMODEW, dmDuplex) == 94);
static_assert(offsetof(DEVMODEW, dmCollate) == 100);
static_assert(offsetof(DEVMODEW, dmFormName) == 102);
static_assert(offsetof(DEVMODEW, dmLogPixels) == 166);
static_assert(offsetof(DEVMODEW, dmBitsPerPel) == 168);
static_assert(offsetof(DEVMODEW, dmPelsHeight) == 176);
static_assert(offsetof(DEVMODEW, dmNup) == 180);
static_assert(offsetof(DEVMODEW, dmICMMethod) == 188);
static_assert(offsetof(DEVMODEW, dmMediaType) == 196);
static_assert(offsetof(DEVMODEW, dmDitherType) == 200);
static_assert(offsetof(DEVMODEW, dmReserved2) == 208);
static_assert(offsetof(DEVMODEW, dmPanningWidth) == 212);
static_assert(offsetof(DEVMODEW, dmPanningHeight) == 216);
static_assert(card::kStandardPartSize == offsetof(DEVMODEW, dmPanningWidth));

static_assert(sizeof(OSVERSIONINFOW) == 276);
static_assert(sizeof(OSVERSIONINFOEXW) == 284);
static_assert(sizeof(WIN32_FIND_DATAW) == 592);
#if defined(_WIN64) || defined(__x86_64__)
static_assert(sizeof(SYSTEM_INFO) == 48);
static_assert(sizeof(OVERLAPPED) == 32);
static_assert(sizeof(SECURITY_ATTRIBUTES) == 24);
#else
static_assert(sizeof(SYSTEM_INFO) == 36);
static_assert(sizeof(OVERLAPPED) == 20);
static_assert(sizeof(SECURITY_ATTRIBUTES) == 12);
#endif
