// The linux flavour's ws2tcpip.h: winsim's Windows Sockets have only the
// IPv4 calls of winsock2.h, which this header brings in as the SDK's does.
#pragma once

#include <winsock2.h>
