// The host's sockets, seen without any Windows type: ws2_32's Windows side
// cannot include the C library's socket headers (winsock2.h binds the same
// names to winsim's functions), so everything that touches a host socket
// lives behind this header.  Addresses and ports are in host byte order;
// failures come back as -errno.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace winsim::ws {

struct HostEndpoint {
  uint32_t ip = 0;  // 127.0.0.1 is 0x7f000001
  uint16_t port = 0;
};

constexpr bool isLoopback(uint32_t ip) { return (ip >> 24) == 127; }

enum class HostType { Stream, Datagram };
// A non-blocking, close-on-exec IPv4 socket: its fd, or -errno.
int hostSocket(HostType type);
// Closes it; `abortive` resets a connection instead of closing it gracefully.
void hostClose(int fd, bool abortive);
// Only loopback endpoints ever reach the host: anything else is refused
// here with -ENETUNREACH, whatever the caller thought it was doing.
int hostBind(int fd, HostEndpoint at);
int hostListen(int fd, int backlog);
int hostConnect(int fd, HostEndpoint to);  // 0, -EINPROGRESS or -errno
// The outcome of a connection under way: 0 connected, -errno failed,
// -EINPROGRESS still going.  `resetSince` tells of a connection that was
// made and then reset by the peer before anyone looked.
int hostConnectOutcome(int fd, bool &resetSince);
int hostAccept(int fd, HostEndpoint &peer);  // the new fd (non-blocking) or -errno

// The flags of a send or receive, as the caller's protocol names them.
enum HostFlags : unsigned { kHostPeek = 1, kHostOob = 2, kHostWaitAll = 4 };
// Bytes sent, or -errno; never raises SIGPIPE.
long hostSend(int fd, const void *data, size_t size, unsigned flags);
long hostSendTo(int fd, const void *data, size_t size, HostEndpoint to);
// Bytes received, or -errno.  A datagram longer than `size` fills the buffer
// and sets `truncated`.  `from` (may be null) gets the sender.
long hostRecv(int fd, void *data, size_t size, unsigned flags, HostEndpoint *from, bool &truncated);
int hostShutdown(int fd, bool receive, bool send);
int hostLocalEndpoint(int fd, HostEndpoint &at);
int hostPeerEndpoint(int fd, HostEndpoint &peer);
int hostBytesAvailable(int fd, unsigned long &bytes);

enum class HostOption { ReuseAddress, KeepAlive, Broadcast, SendBuffer, ReceiveBuffer, NoDelay, OobInline };
int hostSetOption(int fd, HostOption option, int value);
int hostGetOption(int fd, HostOption option, int &value);

// Readiness of several sockets at once.
enum HostEvents : unsigned { kReadable = 1, kWritable = 2, kFailed = 4, kUrgent = 8 };
struct HostPoll {
  int fd = -1;
  unsigned want = 0;
  unsigned got = 0;
};
// Waits up to `realNs` real nanoseconds (0: just looks); the number of
// sockets with something in `got`, or -errno.  With no items it just waits.
int hostPoll(std::vector<HostPoll> &items, int64_t realNs);

// Dotted IPv4 text in every form the classic parsers accept ("a.b.c.d",
// "a.b.c", "a.b", "a", octal and hexadecimal parts).
bool hostParseAddress(const char *text, uint32_t &ip);

}  // namespace winsim::ws
