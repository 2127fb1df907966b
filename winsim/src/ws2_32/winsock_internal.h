// The socket objects behind winsock's SOCKET handles, and what every file of
// the calls shares: the registry of sockets by process, the host's errors as
// WSA codes, the waits on the simulated clock and the addresses programs pass.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>

#include "core/internal.h"
#include "ws2_32/host.h"

namespace winsim::ws {

// The longest real time a wait sleeps before it looks again for its
// thread's termination, a closed socket or a machine reset.
constexpr int64_t kWaitSliceNs = 5'000'000;

enum class Link {
  Idle,        // not connected (a datagram socket may still send and receive)
  Connecting,  // a host connection under way
  Silent,      // connecting to a declared host that is down: nothing answers
  Connected,
  Failed,  // the connection attempt failed: select's exception set, SO_ERROR
  Listening,
};

extern std::atomic<uint64_t> g_generation;  // moves on at every machine reset

struct SocketObject : KObject {
  SocketObject() : KObject(Kind::Socket) {}
  ~SocketObject() override;
  int fd = -1;
  bool stream = true;
  DWORD pid = 0;
  uint64_t generation = 0;
  std::atomic<bool> closed{false};
  std::mutex lock;  // the fields below
  bool nonBlocking = false;
  Link link = Link::Idle;
  int pendingError = 0;  // what SO_ERROR answers
  uint64_t silentUntilMs = 0;
  HostEndpoint peer;  // as the program knows it
  bool hasPeer = false;
  bool bound = false;
  bool sendShut = false, receiveShut = false;
  bool bounced = false;  // a datagram met a closed port: the next receive fails
  // A connection the peer reset is no longer usable on Windows: every send
  // and receive after it fails the same way (the host says so only once).
  int brokenError = 0;
  DWORD sendTimeout = 0, receiveTimeout = 0;
  LINGER linger{0, 0};
  bool abortiveClose = false;
};

struct Registry {
  std::mutex lock;
  std::map<DWORD, size_t> openByProcess;
  std::map<DWORD, int> startups;  // WSAStartup calls not yet cleaned up, by process
  // The socket handles each process was given (some may have been closed
  // since: values are never given out twice, so closing one again only fails).
  std::map<DWORD, std::set<SOCKET>> handles;
};

Registry &registry();
DWORD currentPid();
int wsaFromErrno(int e);
int failWith(int wsa);
bool started();

// The socket of a handle, with a reference the holder drops.
class SocketRef {
 public:
  explicit SocketRef(SOCKET s) : obj_(static_cast<SocketObject *>(lookup(reinterpret_cast<HANDLE>(s), Kind::Socket))) {}
  ~SocketRef() {
    if (obj_) release(obj_);
  }
  SocketRef(const SocketRef &) = delete;
  SocketRef &operator=(const SocketRef &) = delete;
  SocketRef(SocketRef &&o) noexcept : obj_(o.obj_) { o.obj_ = nullptr; }
  SocketObject *operator->() const { return obj_; }
  SocketObject &operator*() const { return *obj_; }
  explicit operator bool() const { return obj_ != nullptr; }

 private:
  SocketObject *obj_;
};

// Every call that takes a socket starts here: WSANOTINITIALISED before
// WSAStartup, WSAENOTSOCK for a value that is no open socket.
bool enter(SocketRef &ref);

bool interrupted(const SocketObject &s);

enum class WaitEnd { Ready, TimedOut, Interrupted };

// Waits for the host socket to show one of `want`, up to `timeoutMs` of
// simulated time (INFINITE: no limit).
WaitEnd waitFor(SocketObject &s, unsigned want, DWORD timeoutMs);
int endOfWait(WaitEnd end);

// Moves a connection under way on to its outcome when it has one.  Called
// with the socket's lock held.
void advanceConnect(SocketObject &s);

bool readAddress(const sockaddr *name, int namelen, HostEndpoint &at);
bool writeAddress(HostEndpoint at, sockaddr *name, int *namelen);

// A datagram socket sends from the loopback: an unbound one is bound there
// before its first datagram, so that nothing from off the machine can reach
// it either.
int bindForSending(SocketObject &s);

// ----- the calls, before the termination check their public faces add

SOCKET doSocket(int af, int type, int protocol);
int doConnect(SOCKET handle, const sockaddr *name, int namelen);
int doBind(SOCKET handle, const sockaddr *name, int namelen);
int doListen(SOCKET handle, int backlog);
SOCKET doAccept(SOCKET handle, sockaddr *addr, int *addrlen);
int doShutdown(SOCKET handle, int how);
int doClose(SOCKET handle);

int doSend(SOCKET handle, const char *buf, int len, int flags, const sockaddr *to, int tolen);
int doReceive(SOCKET handle, char *buf, int len, int flags, sockaddr *from, int *fromlen);
int doIoctl(SOCKET handle, long cmd, u_long *argp);
int doSetOption(SOCKET handle, int level, int optname, const char *optval, int optlen);
int doGetOption(SOCKET handle, int level, int optname, char *optval, int *optlen);
int doSockName(SOCKET handle, sockaddr *name, int *namelen);
int doPeerName(SOCKET handle, sockaddr *name, int *namelen);

int doSelect(fd_set *readfds, fd_set *writefds, fd_set *exceptfds, const timeval *timeout);

}  // namespace winsim::ws
