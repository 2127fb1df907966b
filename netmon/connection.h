// The monitor's own connections to the printer's network interface: a TCP
// connection opened without blocking for long, sends that wait for room,
// receives with a time-out, a close that drains what the printer still
// says, the reachability probe and the interface reset request.  Every wait
// is bounded; every error comes back as a Winsock error code.
#pragma once

#include <windows.h>
#include <winsock2.h>

#include <cstddef>
#include <cstdint>

namespace card::net {

inline constexpr DWORD kConnectWaitMs = 2000;
inline constexpr DWORD kConnectRecheckUs = 100;
inline constexpr DWORD kSendWaitMs = 6000;
inline constexpr DWORD kCloseWritableWaitMs = 1;
inline constexpr int kCloseDrainReceives = 11;
inline constexpr size_t kReceiveBytes = 1024;

// Starts the socket library once for the module (version 2.2).
bool startWinsock();

// A connected TCP socket to address:port, or INVALID_SOCKET with the
// Winsock error in `error` (WSAECONNREFUSED when the printer refused).
SOCKET openConnection(const char *address, uint16_t port, int &error);

// Waits up to kSendWaitMs for room, then sends all of the bytes raw.  0, or
// the Winsock error.
int sendRaw(SOCKET s, const void *data, size_t size);
// Sends the bytes as length-framed messages of at most 65536 bytes each.
int sendFramed(SOCKET s, const void *data, size_t size);

// Waits up to `timeoutS` seconds for the socket to become readable and
// receives up to kReceiveBytes, of which at most capacity - 1 are kept and
// followed by a zero byte.  The length kept; 0 on a time-out, a closed
// connection or an error.
size_t receiveReply(SOCKET s, uint8_t *out, size_t capacity, DWORD timeoutS);

// Shuts down sending and drains the printer's last words when the socket
// can take it, then closes; the socket becomes INVALID_SOCKET.
void closeConnection(SOCKET &s);

// Whether the socket becomes writable (readable) within `ms`.
bool writableWithin(SOCKET s, DWORD ms);

// The SNMP probe of the system description: true when any reply came.
bool probeReachable(const char *address);

// Asks the printer's web server to restart its network interface, and waits
// for the restart when the server answered.  Nothing is reported.
void sendResetRequest(const char *address);

}  // namespace card::net
