// Windows Sockets over the host's sockets.  A SOCKET is a handle of winsim's
// table (Kind::Socket) for a host socket that is always non-blocking: the
// Windows blocking mode is winsim's own wait, on the simulated clock, ended
// by TerminateThread, closesocket from another thread and the machine reset.
// Where Windows and the host differ, Windows wins: a connection that fails
// shows in select's exception set, a closed handle is WSAENOTSOCK, a peer
// that went away never raises SIGPIPE, and every host errno comes back as
// its WSA code.  Addresses go through the virtual network (network.h), so
// nothing ever leaves the machine.
//
// This file holds what the calls share (winsock_internal.h declares it), the
// host names, the machine reset and the calls' public faces; the calls
// themselves are in connections.cpp, transfer.cpp and select.cpp.
#include <winsock2.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <set>
#include <thread>

#include "core/internal.h"
#include "kernel32/threads.h"
#include "ws2_32/host.h"
#include "ws2_32/network.h"
#include "ws2_32/winsock_internal.h"

namespace winsim::ws {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the byte order functions below swap");

std::atomic<uint64_t> g_generation{1};  // moves on at every machine reset

Registry &registry() {
  static Registry &r = *new Registry;
  return r;
}

SocketObject::~SocketObject() {
  hostClose(fd, abortiveClose);
  Registry &r = registry();
  std::lock_guard<std::mutex> g(r.lock);
  if (auto it = r.openByProcess.find(pid); it != r.openByProcess.end() && it->second && --it->second == 0)
    r.openByProcess.erase(it);
}

DWORD currentPid() {
  auto p = currentProcess();
  std::lock_guard<std::mutex> g(processLock());
  return p->id;
}

int wsaFromErrno(int e) {
  switch (e) {
    case EINTR: return WSAEINTR;
    case EBADF: return WSAENOTSOCK;
    case EACCES:
    case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE:
    case ENFILE: return WSAEMFILE;
    case EAGAIN: return WSAEWOULDBLOCK;
    case EINPROGRESS: return WSAEWOULDBLOCK;
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return WSAEDESTADDRREQ;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case ENOPROTOOPT: return WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EPFNOSUPPORT: return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENETRESET: return WSAENETRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE: return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN: return WSAESHUTDOWN;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case ELOOP: return WSAELOOP;
    case ENAMETOOLONG: return WSAENAMETOOLONG;
    case EHOSTDOWN: return WSAEHOSTDOWN;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    default: return WSAEINVAL;
  }
}

int failWith(int wsa) {
  setLastError(DWORD(wsa));
  return SOCKET_ERROR;
}

bool started() {
  DWORD pid = currentPid();
  Registry &r = registry();
  std::lock_guard<std::mutex> g(r.lock);
  auto it = r.startups.find(pid);
  return it != r.startups.end() && it->second > 0;
}

bool enter(SocketRef &ref) {
  if (!started()) {
    failWith(WSANOTINITIALISED);
    return false;
  }
  if (!ref) {
    failWith(WSAENOTSOCK);
    return false;
  }
  return true;
}

bool interrupted(const SocketObject &s) {
  return terminationRequested() || s.closed.load() || s.generation != g_generation.load();
}

WaitEnd waitFor(SocketObject &s, unsigned want, DWORD timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const bool forever = timeoutMs == INFINITE;
  const auto deadline = Clock::now() + (forever ? std::chrono::nanoseconds(0) : realDuration(timeoutMs));
  for (;;) {
    if (interrupted(s)) return WaitEnd::Interrupted;
    int64_t slice = kWaitSliceNs;
    if (!forever) {
      int64_t left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now()).count();
      if (left <= 0) return WaitEnd::TimedOut;
      slice = std::min(slice, left);
    }
    std::vector<HostPoll> items{{s.fd, want, 0}};
    if (hostPoll(items, slice) > 0) return WaitEnd::Ready;
  }
}

int endOfWait(WaitEnd end) { return failWith(end == WaitEnd::TimedOut ? WSAETIMEDOUT : WSAEINTR); }

void advanceConnect(SocketObject &s) {
  if (s.link == Link::Connecting) {
    bool resetSince = false;
    int outcome = hostConnectOutcome(s.fd, resetSince);
    if (outcome == 0) {
      s.link = Link::Connected;
      if (resetSince) s.brokenError = WSAECONNRESET;
    } else if (outcome != -EINPROGRESS) {
      s.link = Link::Failed;
      s.pendingError = wsaFromErrno(-outcome);
    }
  } else if (s.link == Link::Silent && virtualNowMs() >= s.silentUntilMs) {
    s.link = Link::Failed;
    s.pendingError = WSAETIMEDOUT;
  }
}

bool readAddress(const sockaddr *name, int namelen, HostEndpoint &at) {
  if (!name || namelen < int(sizeof(sockaddr_in))) {
    failWith(WSAEFAULT);
    return false;
  }
  const auto *in = reinterpret_cast<const sockaddr_in *>(name);
  if (in->sin_family != AF_INET) {
    failWith(WSAEAFNOSUPPORT);
    return false;
  }
  at.ip = ntohl(in->sin_addr.s_addr);
  at.port = ntohs(in->sin_port);
  return true;
}

bool writeAddress(HostEndpoint at, sockaddr *name, int *namelen) {
  if (!name || !namelen || *namelen < int(sizeof(sockaddr_in))) {
    failWith(WSAEFAULT);
    return false;
  }
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_addr.s_addr = htonl(at.ip);
  in.sin_port = htons(at.port);
  std::memcpy(name, &in, sizeof in);
  *namelen = sizeof in;
  return true;
}

int bindForSending(SocketObject &s) {
  if (s.bound) return 0;
  int r = hostBind(s.fd, {0x7f000001, 0});
  if (r < 0) return wsaFromErrno(-r);
  s.bound = true;
  return 0;
}

namespace {

constexpr WORD kHighestVersion = 0x0202;

// ----- names

struct HostEntry {
  hostent entry{};
  char name[256]{};
  char *aliases[1]{};
  uint32_t address = 0;
  char *addresses[2]{};
};

hostent *hostEntryFor(const char *name, uint32_t ip) {
  // One entry per thread, as Windows keeps it.
  thread_local HostEntry e;
  std::snprintf(e.name, sizeof e.name, "%s", name);
  e.aliases[0] = nullptr;
  e.address = htonl(ip);
  e.addresses[0] = reinterpret_cast<char *>(&e.address);
  e.addresses[1] = nullptr;
  e.entry.h_name = e.name;
  e.entry.h_aliases = e.aliases;
  e.entry.h_addrtype = AF_INET;
  e.entry.h_length = 4;
  e.entry.h_addr_list = e.addresses;
  return &e.entry;
}

hostent *doGetHostByName(const char *name) {
  if (!started()) {
    failWith(WSANOTINITIALISED);
    return nullptr;
  }
  std::string text = name ? name : "";
  if (text.empty()) text = machineHostName();
  uint32_t ip = 0;
  // A dotted address is its own entry (not a number alone: "1234" is a name).
  if (text.find('.') != std::string::npos && hostParseAddress(text.c_str(), ip)) return hostEntryFor(text.c_str(), ip);
  if (!resolveHostName(text, ip)) {
    failWith(WSAHOST_NOT_FOUND);
    return nullptr;
  }
  return hostEntryFor(text.c_str(), ip);
}

void resetSockets() {
  ++g_generation;
  closeHandlesOfKind(Kind::Socket);
  // A call blocked on a socket holds it until it has seen the close and
  // left: wait (bounded, real time) for those calls, so that the reset
  // returns with every host socket closed, as unplugging a USB device waits
  // for the calls inside it.
  Registry &r = registry();
  for (int i = 0; i < 5000; ++i) {
    {
      std::lock_guard<std::mutex> g(r.lock);
      if (r.openByProcess.empty()) break;
    }
    notifyWaiters();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::lock_guard<std::mutex> g(r.lock);
  r.startups.clear();
  r.handles.clear();
}

void processEnded(const ProcessRecord &process) {
  Registry &r = registry();
  std::lock_guard<std::mutex> g(r.lock);
  r.startups.erase(process.id);
  r.handles.erase(process.id);
}

// Every socket closes before the spooler's threads are stopped, so that
// none of them stays in a wait on one.
const ResetStep kResetSockets(kResetStopServices - 5, resetSockets);
const ProcessEndStep kProcessSockets(processEnded);

}  // namespace

}  // namespace winsim::ws

namespace winsim {

size_t openSocketCount(DWORD processId) {
  if (!processId) processId = ws::currentPid();
  ws::Registry &r = ws::registry();
  std::lock_guard<std::mutex> g(r.lock);
  auto it = r.openByProcess.find(processId);
  return it == r.openByProcess.end() ? 0 : it->second;
}

}  // namespace winsim

using namespace winsim;
using namespace winsim::ws;

// ------------------------------------------------------------ the API

int WSAAPI WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData) {
  const BYTE major = LOBYTE(wVersionRequested), minor = HIBYTE(wVersionRequested);
  if (!lpWSAData) return WSAEFAULT;
  std::memset(lpWSAData, 0, sizeof *lpWSAData);
  lpWSAData->wHighVersion = kHighestVersion;
  std::snprintf(lpWSAData->szDescription, sizeof lpWSAData->szDescription, "WinSock 2.0");
  std::snprintf(lpWSAData->szSystemStatus, sizeof lpWSAData->szSystemStatus, "Running");
  if (major < 1) {
    lpWSAData->wVersion = kHighestVersion;
    return WSAVERNOTSUPPORTED;
  }
  lpWSAData->wVersion = (major > 2 || (major == 2 && minor > 2)) ? kHighestVersion : wVersionRequested;
  DWORD pid = currentPid();
  Registry &r = registry();
  std::lock_guard<std::mutex> g(r.lock);
  ++r.startups[pid];
  return 0;
}

int WSAAPI WSACleanup(void) {
  DWORD pid = currentPid();
  std::set<SOCKET> left;
  {
    Registry &r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    auto it = r.startups.find(pid);
    if (it == r.startups.end() || it->second <= 0) return failWith(WSANOTINITIALISED);
    if (--it->second > 0) return 0;
    r.startups.erase(it);
    left.swap(r.handles[pid]);
  }
  // The last clean-up closes what the process left open; a call blocked on
  // one of them ends.
  for (SOCKET h : left) {
    if (auto *o = static_cast<SocketObject *>(lookup(reinterpret_cast<HANDLE>(h), Kind::Socket))) {
      o->closed = true;
      release(o);
      closeHandle(reinterpret_cast<HANDLE>(h), Kind::Socket);
    }
  }
  setLastError(0);
  return 0;
}

int WSAAPI WSAGetLastError(void) { return int(lastError()); }
void WSAAPI WSASetLastError(int iError) { setLastError(DWORD(iError)); }

int WSAAPI __WSAFDIsSet(SOCKET fd, fd_set *set) {
  if (!set) return 0;
  for (u_int i = 0; i < set->fd_count && i < FD_SETSIZE; ++i)
    if (set->fd_array[i] == fd) return 1;
  return 0;
}

SOCKET WSAAPI socket(int af, int type, int protocol) { return doSocket(af, type, protocol); }
int WSAAPI bind(SOCKET s, const struct sockaddr *name, int namelen) { return doBind(s, name, namelen); }
int WSAAPI listen(SOCKET s, int backlog) { return doListen(s, backlog); }
int WSAAPI closesocket(SOCKET s) { return doClose(s); }
int WSAAPI ioctlsocket(SOCKET s, long cmd, u_long *argp) { return doIoctl(s, cmd, argp); }
int WSAAPI shutdown(SOCKET s, int how) { return doShutdown(s, how); }
int WSAAPI getsockopt(SOCKET s, int level, int optname, char *optval, int *optlen) {
  return doGetOption(s, level, optname, optval, optlen);
}
int WSAAPI setsockopt(SOCKET s, int level, int optname, const char *optval, int optlen) {
  return doSetOption(s, level, optname, optval, optlen);
}
int WSAAPI getsockname(SOCKET s, struct sockaddr *name, int *namelen) { return doSockName(s, name, namelen); }
int WSAAPI getpeername(SOCKET s, struct sockaddr *name, int *namelen) { return doPeerName(s, name, namelen); }

// The calls that can block end their thread here when TerminateThread asked
// for it while they waited (with no reference or lock held any more).
SOCKET WSAAPI accept(SOCKET s, struct sockaddr *addr, int *addrlen) {
  SOCKET r = doAccept(s, addr, addrlen);
  checkTermination();
  return r;
}
int WSAAPI connect(SOCKET s, const struct sockaddr *name, int namelen) {
  int r = doConnect(s, name, namelen);
  checkTermination();
  return r;
}
int WSAAPI send(SOCKET s, const char *buf, int len, int flags) {
  int r = doSend(s, buf, len, flags, nullptr, 0);
  checkTermination();
  return r;
}
int WSAAPI sendto(SOCKET s, const char *buf, int len, int flags, const struct sockaddr *to, int tolen) {
  int r = doSend(s, buf, len, flags, to, tolen);
  checkTermination();
  return r;
}
int WSAAPI recv(SOCKET s, char *buf, int len, int flags) {
  int r = doReceive(s, buf, len, flags, nullptr, nullptr);
  checkTermination();
  return r;
}
int WSAAPI recvfrom(SOCKET s, char *buf, int len, int flags, struct sockaddr *from, int *fromlen) {
  int r = doReceive(s, buf, len, flags, from, fromlen);
  checkTermination();
  return r;
}
int WSAAPI select(int, fd_set *readfds, fd_set *writefds, fd_set *exceptfds, const struct timeval *timeout) {
  int r = doSelect(readfds, writefds, exceptfds, timeout);
  checkTermination();
  return r;
}

struct hostent *WSAAPI gethostbyname(const char *name) {
  return doGetHostByName(name);
}

int WSAAPI gethostname(char *name, int namelen) {
  if (!started()) return failWith(WSANOTINITIALISED);
  std::string own = machineHostName();
  if (!name || namelen <= int(own.size())) return failWith(WSAEFAULT);
  std::memcpy(name, own.c_str(), own.size() + 1);
  return 0;
}

unsigned long WSAAPI inet_addr(const char *cp) {
  uint32_t ip = 0;
  if (!hostParseAddress(cp, ip)) return INADDR_NONE;
  return htonl(ip);
}

char *WSAAPI inet_ntoa(struct in_addr in) {
  // One buffer per thread, as Windows keeps it.
  thread_local char text[16];
  const UCHAR *b = &in.S_un.S_un_b.s_b1;
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
  return text;
}

u_short WSAAPI htons(u_short hostshort) { return u_short(__builtin_bswap16(uint16_t(hostshort))); }
u_short WSAAPI ntohs(u_short netshort) { return u_short(__builtin_bswap16(uint16_t(netshort))); }
u_long WSAAPI htonl(u_long hostlong) { return __builtin_bswap32(uint32_t(hostlong)); }
u_long WSAAPI ntohl(u_long netlong) { return __builtin_bswap32(uint32_t(netlong)); }
