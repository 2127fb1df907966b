// The functions of ws2_32.dll that winsim implements, for GetProcAddress.
// The calls whose names the C library has too (socket, connect, send ...)
// are winsim symbols of other names (winsock2.h says why), which the loader
// cannot find by their Windows names: they are left out of the list, so
// that GetProcAddress fails for them instead of handing out the C library's.
#include "core/internal.h"

namespace winsim {

namespace {

const char *const kWs2_32[] = {
    "WSAStartup", "WSACleanup", "WSAGetLastError", "WSASetLastError", "closesocket", "ioctlsocket", "__WSAFDIsSet",
};
const ExportList kWs2_32List(u"ws2_32.dll", kWs2_32);

}  // namespace

}  // namespace winsim
