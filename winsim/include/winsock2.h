// The linux flavour's winsock2.h: Windows Sockets 2 with the SDK's names,
// types, values and layouts, implemented by winsim over the host's sockets.
//
// Program and test share one process on linux, and the C library already
// owns most of these names (socket, connect, send, recv, select ...), used by
// winsim itself and by the printer emulator.  So every function here whose
// name the C library also has is bound to a winsim symbol of its own with an
// assembler label ("winsim_ws_connect" ...): code that includes this header
// calls winsim's Winsock under the SDK's name, libwinsim exports nothing that
// would interpose the C library, and code that does not include it (the
// emulator, winsim's host side) still reaches the C library's functions.
//
// The C library's <stdlib.h> brings in fd_set, struct timeval and select with
// its <sys/select.h>, and <unistd.h> declares gethostname; both are included
// first here, so that they are never read again after the renames below.
// Windows' fd_set (a count and an array of sockets) is the type
// winsim_fd_set behind the name fd_set.  select and gethostname are names
// for winsim_select and winsim_gethostname: as overloads beside the C
// library's they would lose a call with null sets, or a size_t length, to
// the C library.  struct timeval is the C library's: the same two long
// fields as Windows'.
#pragma once

#include <sys/select.h>
#include <sys/types.h>
#include <unistd.h>

#include <windows.h>

#ifdef __cplusplus
#define WINSIM_WS_EXTERN
#define WINSIM_WS_C extern "C"
#else
#define WINSIM_WS_EXTERN extern
#define WINSIM_WS_C extern
#endif
// A function whose name the C library has too: C++ linkage (an overload
// beside the C library's declaration, where there is one) under a symbol of
// winsim's.
#define WINSIM_WS_FN(ret, name, args) WINSIM_WS_EXTERN WINSIM_API ret WSAAPI name args __asm__("winsim_ws_" #name)
// A function only Windows has: exported under its own name.
#define WINSIM_WS_CFN(ret, name, args) WINSIM_WS_C WINSIM_API ret WSAAPI name args

#ifndef WSAAPI
#define WSAAPI
#endif

// The C library defines these four (the same names, the same signedness;
// u_long is 64 bits wide on linux, which no structure here depends on).
#ifndef __USE_MISC
typedef unsigned char u_char;
typedef unsigned short u_short;
typedef unsigned int u_int;
typedef unsigned long u_long;
#endif

typedef UINT_PTR SOCKET;
#define INVALID_SOCKET ((SOCKET)(~0))
#define SOCKET_ERROR (-1)

// ------------------------------------------------------------ fd_set
#undef FD_SETSIZE
#undef FD_SET
#undef FD_CLR
#undef FD_ISSET
#undef FD_ZERO
#define FD_SETSIZE 64
#define fd_set winsim_fd_set
#define select winsim_select
#define gethostname winsim_gethostname
typedef struct fd_set {
  u_int fd_count;
  SOCKET fd_array[FD_SETSIZE];
} fd_set, *PFD_SET, *LPFD_SET;

WINSIM_WS_CFN(int, __WSAFDIsSet, (SOCKET fd, fd_set *set));

static inline void winsim_fdAdd(SOCKET fd, fd_set *set) {
  u_int i;
  for (i = 0; i < set->fd_count; ++i)
    if (set->fd_array[i] == fd) return;
  if (set->fd_count < FD_SETSIZE) set->fd_array[set->fd_count++] = fd;
}
static inline void winsim_fdRemove(SOCKET fd, fd_set *set) {
  u_int i, j;
  for (i = 0; i < set->fd_count; ++i) {
    if (set->fd_array[i] != fd) continue;
    for (j = i + 1; j < set->fd_count; ++j) set->fd_array[j - 1] = set->fd_array[j];
    --set->fd_count;
    return;
  }
}
#define FD_SET(fd, set) winsim_fdAdd((SOCKET)(fd), (fd_set *)(set))
#define FD_CLR(fd, set) winsim_fdRemove((SOCKET)(fd), (fd_set *)(set))
#define FD_ZERO(set) (((fd_set *)(set))->fd_count = 0)
#define FD_ISSET(fd, set) __WSAFDIsSet((SOCKET)(fd), (fd_set *)(set))

typedef struct timeval TIMEVAL, *PTIMEVAL, *LPTIMEVAL;

// ------------------------------------------------------------ addresses
#define AF_UNSPEC 0
#define AF_INET 2
#define AF_INET6 23
#define PF_INET AF_INET
typedef USHORT ADDRESS_FAMILY;

#define SOCK_STREAM 1
#define SOCK_DGRAM 2
#define SOCK_RAW 3

#define IPPROTO_IP 0
#define IPPROTO_ICMP 1
#define IPPROTO_TCP 6
#define IPPROTO_UDP 17

#define INADDR_ANY ((ULONG)0x00000000)
#define INADDR_LOOPBACK 0x7f000001
#define INADDR_BROADCAST ((ULONG)0xffffffff)
#define INADDR_NONE 0xffffffff

typedef struct in_addr {
  union {
    struct {
      UCHAR s_b1, s_b2, s_b3, s_b4;
    } S_un_b;
    struct {
      USHORT s_w1, s_w2;
    } S_un_w;
    ULONG S_addr;
  } S_un;
} IN_ADDR, *PIN_ADDR, *LPIN_ADDR;
#define s_addr S_un.S_addr
#define s_host S_un.S_un_b.s_b2
#define s_net S_un.S_un_b.s_b1
#define s_imp S_un.S_un_w.s_w2
#define s_impno S_un.S_un_b.s_b4
#define s_lh S_un.S_un_b.s_b3

typedef struct sockaddr {
  ADDRESS_FAMILY sa_family;
  CHAR sa_data[14];
} SOCKADDR, *PSOCKADDR, *LPSOCKADDR;

typedef struct sockaddr_in {
  short sin_family;
  USHORT sin_port;
  IN_ADDR sin_addr;
  CHAR sin_zero[8];
} SOCKADDR_IN, *PSOCKADDR_IN, *LPSOCKADDR_IN;

typedef struct hostent {
  char *h_name;
  char **h_aliases;
  short h_addrtype;
  short h_length;
  char **h_addr_list;
} HOSTENT, *PHOSTENT, *LPHOSTENT;
#define h_addr h_addr_list[0]

typedef struct linger {
  u_short l_onoff;
  u_short l_linger;
} LINGER, *PLINGER, *LPLINGER;

// ------------------------------------------------------------ start-up
#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128
typedef struct WSAData {
  WORD wVersion;
  WORD wHighVersion;
  unsigned short iMaxSockets;
  unsigned short iMaxUdpDg;
  char *lpVendorInfo;
  char szDescription[WSADESCRIPTION_LEN + 1];
  char szSystemStatus[WSASYS_STATUS_LEN + 1];
} WSADATA, *LPWSADATA;

// ------------------------------------------------------------ options and controls
#define SOL_SOCKET 0xffff
#define SO_DEBUG 0x0001
#define SO_ACCEPTCONN 0x0002
#define SO_REUSEADDR 0x0004
#define SO_KEEPALIVE 0x0008
#define SO_DONTROUTE 0x0010
#define SO_BROADCAST 0x0020
#define SO_USELOOPBACK 0x0040
#define SO_LINGER 0x0080
#define SO_OOBINLINE 0x0100
#define SO_DONTLINGER ((int)(~SO_LINGER))
#define SO_EXCLUSIVEADDRUSE ((int)(~SO_REUSEADDR))
#define SO_SNDBUF 0x1001
#define SO_RCVBUF 0x1002
#define SO_SNDLOWAT 0x1003
#define SO_RCVLOWAT 0x1004
#define SO_SNDTIMEO 0x1005
#define SO_RCVTIMEO 0x1006
#define SO_ERROR 0x1007
#define SO_TYPE 0x1008
#define TCP_NODELAY 0x0001

// The ioctl codes carry the size of a 32-bit u_long, as on Windows.
#define IOCPARM_MASK 0x7f
#define IOC_VOID 0x20000000
#define IOC_OUT 0x40000000
#define IOC_IN 0x80000000
#define FIONREAD 0x4004667FL
#define FIONBIO 0x8004667EL
#define SIOCATMARK 0x40047307L

#define SD_RECEIVE 0x00
#define SD_SEND 0x01
#define SD_BOTH 0x02

#define MSG_OOB 0x1
#define MSG_PEEK 0x2
#define MSG_DONTROUTE 0x4
#define MSG_WAITALL 0x8

#define SOMAXCONN 0x7fffffff

// ------------------------------------------------------------ error codes
#ifndef WSABASEERR
#define WSABASEERR 10000
#define WSAEINTR 10004L
#define WSAEBADF 10009L
#define WSAEACCES 10013L
#define WSAEFAULT 10014L
#define WSAEINVAL 10022L
#define WSAEMFILE 10024L
#define WSAEWOULDBLOCK 10035L
#define WSAEINPROGRESS 10036L
#define WSAEALREADY 10037L
#define WSAENOTSOCK 10038L
#define WSAEDESTADDRREQ 10039L
#define WSAEMSGSIZE 10040L
#define WSAEPROTOTYPE 10041L
#define WSAENOPROTOOPT 10042L
#define WSAEPROTONOSUPPORT 10043L
#define WSAESOCKTNOSUPPORT 10044L
#define WSAEOPNOTSUPP 10045L
#define WSAEPFNOSUPPORT 10046L
#define WSAEAFNOSUPPORT 10047L
#define WSAEADDRINUSE 10048L
#define WSAEADDRNOTAVAIL 10049L
#define WSAENETDOWN 10050L
#define WSAENETUNREACH 10051L
#define WSAENETRESET 10052L
#define WSAECONNABORTED 10053L
#define WSAECONNRESET 10054L
#define WSAENOBUFS 10055L
#define WSAEISCONN 10056L
#define WSAENOTCONN 10057L
#define WSAESHUTDOWN 10058L
#define WSAETOOMANYREFS 10059L
#define WSAETIMEDOUT 10060L
#define WSAECONNREFUSED 10061L
#define WSAELOOP 10062L
#define WSAENAMETOOLONG 10063L
#define WSAEHOSTDOWN 10064L
#define WSAEHOSTUNREACH 10065L
#define WSAENOTEMPTY 10066L
#define WSAEPROCLIM 10067L
#define WSASYSNOTREADY 10091L
#define WSAVERNOTSUPPORTED 10092L
#define WSANOTINITIALISED 10093L
#define WSAEDISCON 10101L
#define WSAHOST_NOT_FOUND 11001L
#define WSATRY_AGAIN 11002L
#define WSANO_RECOVERY 11003L
#define WSANO_DATA 11004L
#endif

// ------------------------------------------------------------ functions
WINSIM_WS_CFN(int, WSAStartup, (WORD wVersionRequested, LPWSADATA lpWSAData));
WINSIM_WS_CFN(int, WSACleanup, (void));
WINSIM_WS_CFN(int, WSAGetLastError, (void));
WINSIM_WS_CFN(void, WSASetLastError, (int iError));
WINSIM_WS_CFN(int, closesocket, (SOCKET s));
WINSIM_WS_CFN(int, ioctlsocket, (SOCKET s, long cmd, u_long *argp));

WINSIM_WS_FN(SOCKET, socket, (int af, int type, int protocol));
WINSIM_WS_FN(int, bind, (SOCKET s, const struct sockaddr *name, int namelen));
WINSIM_WS_FN(int, listen, (SOCKET s, int backlog));
WINSIM_WS_FN(SOCKET, accept, (SOCKET s, struct sockaddr *addr, int *addrlen));
WINSIM_WS_FN(int, connect, (SOCKET s, const struct sockaddr *name, int namelen));
WINSIM_WS_FN(int, send, (SOCKET s, const char *buf, int len, int flags));
WINSIM_WS_FN(int, recv, (SOCKET s, char *buf, int len, int flags));
WINSIM_WS_FN(int, sendto, (SOCKET s, const char *buf, int len, int flags, const struct sockaddr *to, int tolen));
WINSIM_WS_FN(int, recvfrom, (SOCKET s, char *buf, int len, int flags, struct sockaddr *from, int *fromlen));
WINSIM_WS_FN(int, shutdown, (SOCKET s, int how));
WINSIM_WS_FN(int, select,
             (int nfds, fd_set *readfds, fd_set *writefds, fd_set *exceptfds, const struct timeval *timeout));
WINSIM_WS_FN(int, getsockopt, (SOCKET s, int level, int optname, char *optval, int *optlen));
WINSIM_WS_FN(int, setsockopt, (SOCKET s, int level, int optname, const char *optval, int optlen));
WINSIM_WS_FN(int, getsockname, (SOCKET s, struct sockaddr *name, int *namelen));
WINSIM_WS_FN(int, getpeername, (SOCKET s, struct sockaddr *name, int *namelen));
WINSIM_WS_FN(struct hostent *, gethostbyname, (const char *name));
WINSIM_WS_FN(int, gethostname, (char *name, int namelen));
WINSIM_WS_FN(unsigned long, inet_addr, (const char *cp));
WINSIM_WS_FN(char *, inet_ntoa, (struct in_addr in));
WINSIM_WS_FN(u_short, htons, (u_short hostshort));
WINSIM_WS_FN(u_short, ntohs, (u_short netshort));
WINSIM_WS_FN(u_long, htonl, (u_long hostlong));
WINSIM_WS_FN(u_long, ntohl, (u_long netlong));
