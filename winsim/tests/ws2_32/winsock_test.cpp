// winsim's Windows Sockets: Windows' layouts and values, the virtual
// network's declared hosts, refusals of everything off the machine, and the
// waits on the simulated clock that TerminateThread and the reset end.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <winsim/testing.h>
#include <winsock2.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <string>
#include <thread>

#include "../fixtures.h"
#include "loopback_peer.h"

namespace {

using winsim::NetworkHostState;
using winsim::NetworkProtocol;
using winsim::NetworkService;

class Winsock : public winsim_test::Winsim {
 protected:
  void SetUp() override {
    Winsim::SetUp();
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  }
};

sockaddr_in endpoint(const char *address, u_short port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = inet_addr(address);
  a.sin_port = htons(port);
  return a;
}

int connectTo(SOCKET s, const char *address, u_short port) {
  sockaddr_in a = endpoint(address, port);
  return connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a);
}

void nonBlocking(SOCKET s) {
  u_long on = 1;
  ASSERT_EQ(ioctlsocket(s, FIONBIO, &on), 0);
}

// Real milliseconds that `work` took.
template <typename F>
long long realMs(F work) {
  auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

TEST(WinsockHeader, LayoutsAndValuesAreWindows) {
  // The 64-bit SDK's layouts.
  EXPECT_EQ(sizeof(SOCKET), 8u);
  EXPECT_EQ(sizeof(in_addr), 4u);
  EXPECT_EQ(sizeof(sockaddr), 16u);
  EXPECT_EQ(sizeof(sockaddr_in), 16u);
  EXPECT_EQ(offsetof(sockaddr_in, sin_port), 2u);
  EXPECT_EQ(offsetof(sockaddr_in, sin_addr), 4u);
  EXPECT_EQ(sizeof(linger), 4u);
  EXPECT_EQ(offsetof(fd_set, fd_array), 8u);
  EXPECT_EQ(sizeof(fd_set), 8u + 64 * 8);
  EXPECT_EQ(offsetof(WSADATA, lpVendorInfo), 8u);
  EXPECT_EQ(offsetof(WSADATA, szDescription), 16u);
  EXPECT_EQ(offsetof(WSADATA, szSystemStatus), 16u + 257);
  EXPECT_EQ(INVALID_SOCKET, ~SOCKET(0));
  EXPECT_EQ(uint32_t(FIONBIO), 0x8004667Eu);
  EXPECT_EQ(uint32_t(FIONREAD), 0x4004667Fu);
  EXPECT_EQ(SOL_SOCKET, 0xffff);
  EXPECT_EQ(SO_ERROR, 0x1007);
  EXPECT_EQ(SO_RCVTIMEO, 0x1006);
  EXPECT_EQ(SO_LINGER, 0x80);
  EXPECT_EQ(SD_SEND, 1);
  EXPECT_EQ(WSAEWOULDBLOCK, 10035);
  EXPECT_EQ(WSAENOTSOCK, 10038);
  EXPECT_EQ(WSAENETUNREACH, 10051);
  EXPECT_EQ(WSAECONNRESET, 10054);
  EXPECT_EQ(WSAETIMEDOUT, 10060);
  EXPECT_EQ(WSAECONNREFUSED, 10061);
  EXPECT_EQ(WSAHOST_NOT_FOUND, 11001);
}

TEST(WinsockHeader, WindowsNamesLeaveTheCLibraryAlone) {
  // Product code's connect is winsim's; the C library's stays what the
  // emulator and winsim itself call.
  void *windows = reinterpret_cast<void *>(&connect);
  EXPECT_NE(windows, ws_test::libcConnect());
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "connect"), ws_test::libcConnect());
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "winsim_ws_connect"), windows);
}

TEST_F(Winsock, GetProcAddressNeverHandsOutTheCLibrarys) {
  HMODULE ws2 = LoadLibraryW(u"ws2_32.dll");
  ASSERT_NE(ws2, nullptr);
  EXPECT_EQ(reinterpret_cast<void *>(GetProcAddress(ws2, "WSAStartup")), reinterpret_cast<void *>(&WSAStartup));
  EXPECT_EQ(reinterpret_cast<void *>(GetProcAddress(ws2, "closesocket")), reinterpret_cast<void *>(&closesocket));
  // The names the C library shares are winsim symbols of other names: the
  // loader cannot find them, and must not find the C library's instead.
  for (const char *name : {"connect", "send", "recv", "select", "socket"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(GetProcAddress(ws2, name), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
  }
  FreeLibrary(ws2);
}

TEST(WinsockHeader, FdSetMacrosKeepACountAndAnArray) {
  fd_set set;
  FD_ZERO(&set);
  EXPECT_EQ(set.fd_count, 0u);
  FD_SET(SOCKET(8), &set);
  FD_SET(SOCKET(12), &set);
  FD_SET(SOCKET(8), &set);  // already there
  FD_SET(SOCKET(16), &set);
  ASSERT_EQ(set.fd_count, 3u);
  FD_CLR(SOCKET(12), &set);
  ASSERT_EQ(set.fd_count, 2u);
  EXPECT_EQ(set.fd_array[0], SOCKET(8));
  EXPECT_EQ(set.fd_array[1], SOCKET(16));
  EXPECT_TRUE(FD_ISSET(SOCKET(16), &set));
  EXPECT_FALSE(FD_ISSET(SOCKET(12), &set));
  for (SOCKET s = 100; s < 200; ++s) FD_SET(s, &set);
  EXPECT_EQ(set.fd_count, unsigned(FD_SETSIZE));
}

TEST(WinsockHeader, AddressTextAndByteOrder) {
  in_addr a;
  a.s_addr = inet_addr("127.0.5.20");
  EXPECT_EQ(a.S_un.S_un_b.s_b1, 127);
  EXPECT_EQ(a.S_un.S_un_b.s_b3, 5);
  EXPECT_EQ(a.S_un.S_un_b.s_b4, 20);
  EXPECT_STREQ(inet_ntoa(a), "127.0.5.20");
  EXPECT_EQ(inet_addr("127.1"), htonl(0x7f000001));
  EXPECT_EQ(inet_addr("not an address"), INADDR_NONE);
  EXPECT_EQ(inet_addr(""), INADDR_NONE);
  EXPECT_EQ(htons(0x238c), 0x8c23);  // 9100
  EXPECT_EQ(ntohl(htonl(0x7f000001)), 0x7f000001u);
}

TEST_F(Winsock, CallsNeedStartupAndCleanupClosesWhatIsLeft) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  ASSERT_NE(s, INVALID_SOCKET);
  EXPECT_EQ(winsim::openSocketCount(), 1u);
  EXPECT_EQ(WSACleanup(), 0);
  EXPECT_EQ(winsim::openSocketCount(), 0u);
  EXPECT_EQ(socket(AF_INET, SOCK_DGRAM, 0), INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
  EXPECT_EQ(gethostbyname("localhost"), nullptr);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
  EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
  WSADATA data;
  EXPECT_EQ(WSAStartup(MAKEWORD(0, 9), &data), WSAVERNOTSUPPORTED);
  EXPECT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  // Winsock's select and gethostname, even where the C library's are declared
  // too (this file sees <sys/select.h> and <unistd.h>): null sets and a
  // size_t length must not reach the C library.
  timeval wait{0, 1000};
  EXPECT_EQ(select(0, NULL, NULL, NULL, &wait), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
  char name[64] = {};
  ASSERT_EQ(gethostname(name, sizeof name), 0);
  hostent *own = gethostbyname(name);
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(*reinterpret_cast<ULONG *>(own->h_addr), htonl(INADDR_LOOPBACK));
  EXPECT_EQ(gethostname(name, 1), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
  EXPECT_EQ(WSACleanup(), 0);
  EXPECT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
  EXPECT_EQ(data.wVersion, MAKEWORD(1, 1));
  EXPECT_EQ(data.wHighVersion, MAKEWORD(2, 2));
  EXPECT_EQ(WSAStartup(MAKEWORD(3, 0), &data), 0);
  EXPECT_EQ(data.wVersion, MAKEWORD(2, 2));
}

TEST_F(Winsock, EchoThroughDeclaredHostsAndTheHostsLoopback) {
  ws_test::LoopbackEcho printer("127.0.5.20", false);
  ws_test::LoopbackEcho local("127.0.0.1", false);
  ASSERT_TRUE(printer.ready() && local.ready());
  ASSERT_TRUE(winsim::declareNetworkHost("127.0.5.20", "CardPrinter1", {{NetworkProtocol::Tcp, 9100, printer.port()}}));
  // A second printer on an address of its own.
  ws_test::LoopbackEcho second("127.0.40.7", false);
  ASSERT_TRUE(second.ready());
  ASSERT_TRUE(winsim::declareNetworkHost("127.0.40.7", "", {{NetworkProtocol::Tcp, 9100, second.port()}}));

  hostent *h = gethostbyname("cardprinter1");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->h_addrtype, AF_INET);
  EXPECT_EQ(h->h_length, 4);
  in_addr resolved;
  std::memcpy(&resolved, h->h_addr, 4);
  EXPECT_STREQ(inet_ntoa(resolved), "127.0.5.20");

  struct Case {
    const char *address;
    u_short port;
  } cases[] = {{"127.0.5.20", 9100}, {"127.0.40.7", 9100}, {"127.0.0.1", local.port()}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.address);
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_NE(s, INVALID_SOCKET);
    ASSERT_EQ(connectTo(s, c.address, c.port), 0) << WSAGetLastError();
    sockaddr_in peer{};
    int len = sizeof peer;
    ASSERT_EQ(getpeername(s, reinterpret_cast<sockaddr *>(&peer), &len), 0);
    EXPECT_EQ(peer.sin_addr.s_addr, inet_addr(c.address));
    EXPECT_EQ(ntohs(peer.sin_port), c.port);
    const char message[] = "\x1bV\r";
    EXPECT_EQ(send(s, message, 3, 0), 3);
    char reply[16] = {};
    int got = 0;
    while (got < 3) {
      int n = recv(s, reply + got, sizeof reply - got, 0);
      ASSERT_GT(n, 0) << WSAGetLastError();
      got += n;
    }
    EXPECT_EQ(std::string(reply, 3), "\x1bV\r");
    EXPECT_EQ(shutdown(s, SD_SEND), 0);
    EXPECT_EQ(send(s, message, 3, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAESHUTDOWN);
    EXPECT_EQ(recv(s, reply, sizeof reply, 0), 0);  // the echo closes its end
    EXPECT_EQ(closesocket(s), 0);
  }
  EXPECT_EQ(printer.served(), 1);
  EXPECT_EQ(second.served(), 1);
  EXPECT_EQ(local.served(), 1);
  EXPECT_EQ(winsim::openSocketCount(), 0u);
  EXPECT_EQ(winsim::hostNetworkTraffic().connects, 3u);
}

TEST_F(Winsock, RefusedConnectionShowsInTheExceptionSet) {
  ASSERT_TRUE(
      winsim::declareNetworkHost("127.0.5.21", "", {{NetworkProtocol::Tcp, 9100, 0}}, NetworkHostState::Refusing));
  const uint16_t closed = ws_test::closedLoopbackPort("127.0.0.1");
  ASSERT_NE(closed, 0);
  // A refusing declared host, a declared host's port it does not serve, and
  // a real loopback port with nothing behind it.
  struct Case {
    const char *address;
    u_short port;
  } cases[] = {{"127.0.5.21", 9100}, {"127.0.5.21", 80}, {"127.0.0.1", closed}};
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.address) + ":" + std::to_string(c.port));
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    nonBlocking(s);
    ASSERT_EQ(connectTo(s, c.address, c.port), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval wait{2, 0};
    EXPECT_EQ(select(0, nullptr, &writable, &failed, &wait), 1);
    EXPECT_FALSE(FD_ISSET(s, &writable));
    EXPECT_TRUE(FD_ISSET(s, &failed));
    int error = 0, len = sizeof error;
    ASSERT_EQ(getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &len), 0);
    EXPECT_EQ(error, WSAECONNREFUSED);
    EXPECT_EQ(len, int(sizeof(int)));
    EXPECT_EQ(send(s, "x", 1, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTCONN);
    closesocket(s);
  }
  // A blocking socket hands the refusal back from connect itself.
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  EXPECT_EQ(connectTo(s, "127.0.5.21", 9100), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);
  closesocket(s);
}

TEST_F(Winsock, APeerThatHangsUpIsAnErrorNotASignal) {
  ws_test::LoopbackEcho printer("127.0.5.26", false, true);
  ASSERT_TRUE(printer.ready());
  ASSERT_TRUE(winsim::declareNetworkHost("127.0.5.26", "", {{NetworkProtocol::Tcp, 9100, printer.port()}}));
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(connectTo(s, "127.0.5.26", 9100), 0);
  // The reset arrives at some point; sending on after it must give
  // WSAECONNRESET (or WSAECONNABORTED), never end the process with SIGPIPE.
  char block[1024] = {};
  int result = 0;
  for (int i = 0; i < 2000 && result != SOCKET_ERROR; ++i) {
    result = send(s, block, sizeof block, 0);
    if (result != SOCKET_ERROR) Sleep(1);
  }
  ASSERT_EQ(result, SOCKET_ERROR);
  int error = WSAGetLastError();
  EXPECT_TRUE(error == WSAECONNRESET || error == WSAECONNABORTED) << error;
  char buf[8];
  EXPECT_EQ(recv(s, buf, sizeof buf, 0), SOCKET_ERROR);
  EXPECT_EQ(closesocket(s), 0);
}

struct InProcess {
  DWORD pid = 0;
  size_t openInside = 0;
};

DWORD WINAPI leaveSocketsOpen(LPVOID param) {
  auto *p = static_cast<InProcess *>(param);
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
  socket(AF_INET, SOCK_STREAM, 0);
  socket(AF_INET, SOCK_DGRAM, 0);
  p->pid = GetCurrentProcessId();
  p->openInside = winsim::openSocketCount();
  return 0;  // neither closed nor cleaned up
}

TEST_F(Winsock, SocketsAreCountedPerProcessAndCloseWithIt) {
  SOCKET mine = socket(AF_INET, SOCK_STREAM, 0);
  InProcess other;
  EXPECT_EQ(winsim::runInNewProcess(u"netclient.exe", leaveSocketsOpen, &other), 0u);
  EXPECT_EQ(other.openInside, 2u);
  EXPECT_NE(other.pid, GetCurrentProcessId());
  EXPECT_EQ(winsim::openSocketCount(other.pid), 0u);
  EXPECT_EQ(winsim::openSocketCount(), 1u);
  closesocket(mine);
  EXPECT_EQ(winsim::openSocketCount(), 0u);
}

TEST_F(Winsock, ClosedOrForeignHandlesAreNoSockets) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_NE(s, INVALID_SOCKET);
  EXPECT_EQ(closesocket(s), 0);
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  char buf[4];
  u_long on = 1;
  for (SOCKET bad : {s, SOCKET(event), SOCKET(0x7ff0), INVALID_SOCKET}) {
    SCOPED_TRACE(bad);
    WSASetLastError(0);
    EXPECT_EQ(closesocket(bad), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    EXPECT_EQ(send(bad, "x", 1, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    EXPECT_EQ(recv(bad, buf, 4, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    EXPECT_EQ(ioctlsocket(bad, FIONBIO, &on), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    fd_set set;
    FD_ZERO(&set);
    FD_SET(bad, &set);
    timeval none{0, 0};
    EXPECT_EQ(select(0, &set, nullptr, nullptr, &none), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
  }
  EXPECT_TRUE(CloseHandle(event));
  EXPECT_EQ(winsim::openSocketCount(), 0u);
}

TEST_F(Winsock, DatagramsToDeclaredHostsByState) {
  ws_test::LoopbackEcho agent("127.0.5.22", true);
  ASSERT_TRUE(agent.ready());
  ASSERT_TRUE(winsim::declareNetworkHost("127.0.5.22", "", {{NetworkProtocol::Udp, 161, agent.port()}}));
  winsim::setClockScale(1000);
  SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  // Answers are waited for long enough (simulated time) that a slow build's
  // echo thread is never late; only the silent host's wait is short.
  DWORD timeout = 600000;
  ASSERT_EQ(setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char *>(&timeout), sizeof timeout), 0);
  sockaddr_in to = endpoint("127.0.5.22", 161);
  const char probe[] = "probe";
  auto ask = [&] { return sendto(s, probe, 5, 0, reinterpret_cast<sockaddr *>(&to), sizeof to); };

  ASSERT_EQ(ask(), 5) << WSAGetLastError();
  char reply[64];
  sockaddr_in from{};
  int fromLen = sizeof from;
  ASSERT_EQ(recvfrom(s, reply, sizeof reply, 0, reinterpret_cast<sockaddr *>(&from), &fromLen), 5) << WSAGetLastError();
  EXPECT_EQ(std::string(reply, 5), "probe");
  // The reply comes from the printer's address and port, as the program knows them.
  EXPECT_EQ(from.sin_addr.s_addr, inet_addr("127.0.5.22"));
  EXPECT_EQ(ntohs(from.sin_port), 161);
  // Too small a buffer takes the first bytes and WSAEMSGSIZE.
  ASSERT_EQ(ask(), 5);
  EXPECT_EQ(recv(s, reply, 2, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEMSGSIZE);

  // Down: the datagram goes, nothing answers.
  ASSERT_TRUE(winsim::setNetworkHostState("127.0.5.22", NetworkHostState::Down));
  DWORD shortWait = 2000;
  ASSERT_EQ(setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char *>(&shortWait), sizeof shortWait), 0);
  ASSERT_EQ(ask(), 5);
  DWORD before = GetTickCount();
  EXPECT_EQ(recv(s, reply, sizeof reply, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
  EXPECT_GE(GetTickCount() - before, 2000u);
  // Refusing: the port-unreachable answer fails the next receive.
  ASSERT_TRUE(winsim::setNetworkHostState("127.0.5.22", NetworkHostState::Refusing));
  ASSERT_EQ(ask(), 5);
  EXPECT_EQ(recv(s, reply, sizeof reply, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
  EXPECT_EQ(agent.served(), 2);
  closesocket(s);

  // A connected datagram socket sends with send and receives at once.
  ASSERT_TRUE(winsim::setNetworkHostState("127.0.5.22", NetworkHostState::Up));
  s = socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_EQ(setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char *>(&timeout), sizeof timeout), 0);
  ASSERT_EQ(connectTo(s, "127.0.5.22", 161), 0);
  EXPECT_EQ(send(s, "again", 5, 0), 5);
  EXPECT_EQ(recv(s, reply, sizeof reply, 0), 5);
  EXPECT_EQ(std::string(reply, 5), "again");
  closesocket(s);
}

TEST_F(Winsock, OffTheMachineIsUnreachableWithoutAPacket) {
  SOCKET tcp = socket(AF_INET, SOCK_STREAM, 0);
  SOCKET udp = socket(AF_INET, SOCK_DGRAM, 0);
  nonBlocking(tcp);
  // Addresses of the ranges set aside for documentation: even if winsim let
  // a packet through, nobody would answer it.
  EXPECT_EQ(connectTo(tcp, "192.0.2.1", 9100), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENETUNREACH);
  sockaddr_in dns = endpoint("198.51.100.53", 53);
  EXPECT_EQ(sendto(udp, "q", 1, 0, reinterpret_cast<sockaddr *>(&dns), sizeof dns), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENETUNREACH);
  EXPECT_EQ(connect(udp, reinterpret_cast<sockaddr *>(&dns), sizeof dns), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENETUNREACH);
  // Nor may a socket be bound to an address the machine does not have.
  sockaddr_in away = endpoint("203.0.113.10", 0);
  EXPECT_EQ(bind(udp, reinterpret_cast<sockaddr *>(&away), sizeof away), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEADDRNOTAVAIL);
  EXPECT_EQ(gethostbyname("printer.example.com"), nullptr);
  EXPECT_EQ(WSAGetLastError(), WSAHOST_NOT_FOUND);

  auto traffic = winsim::hostNetworkTraffic();
  EXPECT_EQ(traffic.connects, 0u);
  EXPECT_EQ(traffic.datagrams, 0u);
  auto refused = winsim::refusedNetworkAddresses();
  ASSERT_EQ(refused.size(), 3u);
  EXPECT_EQ(refused[0].address, "192.0.2.1");
  EXPECT_EQ(refused[0].port, 9100);
  EXPECT_EQ(refused[0].call, "connect");
  EXPECT_EQ(refused[1].address, "198.51.100.53");
  EXPECT_EQ(refused[1].call, "sendto");
  closesocket(tcp);
  closesocket(udp);
}

TEST_F(Winsock, WaitsRunOnTheSimulatedClock) {
  ws_test::LoopbackEcho printer("127.0.5.23", false);
  ASSERT_TRUE(printer.ready());
  ASSERT_TRUE(winsim::declareNetworkHost("127.0.5.23", "", {{NetworkProtocol::Tcp, 9111, printer.port()}}));
  ASSERT_TRUE(winsim::declareNetworkHost("127.0.5.24", "", {{NetworkProtocol::Tcp, 9100, 0}}, NetworkHostState::Down));
  winsim::setClockScale(1000);
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(connectTo(s, "127.0.5.23", 9111), 0);
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  timeval wait{6, 0};
  DWORD before = GetTickCount();
  long long real = realMs([&] { EXPECT_EQ(select(0, &readable, nullptr, nullptr, &wait), 0); });
  EXPECT_GE(GetTickCount() - before, 6000u);
  EXPECT_LT(real, 3000);
  EXPECT_EQ(readable.fd_count, 0u);

  // A host that is down never answers: a non-blocking connection stays
  // pending, then fails as Windows gives up after 21 s.
  SOCKET silent = socket(AF_INET, SOCK_STREAM, 0);
  nonBlocking(silent);
  ASSERT_EQ(connectTo(silent, "127.0.5.24", 9100), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_SET(silent, &writable);
  failed = writable;
  timeval twoSeconds{2, 0};
  EXPECT_EQ(select(0, nullptr, &writable, &failed, &twoSeconds), 0);
  Sleep(20000);
  FD_SET(silent, &writable);
  FD_SET(silent, &failed);
  EXPECT_EQ(select(0, nullptr, &writable, &failed, &twoSeconds), 1);
  EXPECT_TRUE(FD_ISSET(silent, &failed));
  int error = 0, len = sizeof error;
  getsockopt(silent, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &len);
  EXPECT_EQ(error, WSAETIMEDOUT);
  // A blocking one waits the same 21 s.
  SOCKET blocking = socket(AF_INET, SOCK_STREAM, 0);
  before = GetTickCount();
  EXPECT_EQ(connectTo(blocking, "127.0.5.24", 9100), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
  EXPECT_GE(GetTickCount() - before, 21000u);
  for (SOCKET x : {s, silent, blocking}) closesocket(x);
}

struct Blocked {
  SOCKET s;
  HANDLE entered;
  int result = 0;
  int error = 0;
  std::atomic<bool> done{false};
};

DWORD WINAPI receiveForever(LPVOID param) {
  auto *b = static_cast<Blocked *>(param);
  SetEvent(b->entered);
  char buf[8];
  b->result = recv(b->s, buf, sizeof buf, 0);
  b->error = WSAGetLastError();
  return 0;
}

DWORD WINAPI selectForever(LPVOID param) {
  auto *b = static_cast<Blocked *>(param);
  fd_set set;
  FD_ZERO(&set);
  FD_SET(b->s, &set);
  SetEvent(b->entered);
  b->result = select(0, &set, nullptr, nullptr, nullptr);
  b->error = WSAGetLastError();
  b->done = true;
  return 0;
}

TEST_F(Winsock, BlockedCallsEndAtTerminationCloseAndReset) {
  ws_test::LoopbackEcho printer("127.0.5.25", false);
  ASSERT_TRUE(printer.ready());
  ASSERT_TRUE(winsim::declareNetworkHost("127.0.5.25", "", {{NetworkProtocol::Tcp, 9100, printer.port()}}));
  auto connected = [] {
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    EXPECT_EQ(connectTo(s, "127.0.5.25", 9100), 0);
    return s;
  };
  // TerminateThread ends a recv that would wait for ever.
  Blocked first{connected(), CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  HANDLE t = CreateThread(nullptr, 0, receiveForever, &first, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(first.entered, 5000), WAIT_OBJECT_0);
  Sleep(50);
  ASSERT_TRUE(TerminateThread(t, 77));
  ASSERT_EQ(WaitForSingleObject(t, 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 77u);
  CloseHandle(t);
  EXPECT_EQ(closesocket(first.s), 0);

  // closesocket from another thread ends a blocked recv with WSAEINTR.
  Blocked second{connected(), first.entered};
  ResetEvent(second.entered);
  t = CreateThread(nullptr, 0, receiveForever, &second, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(second.entered, 5000), WAIT_OBJECT_0);
  Sleep(50);
  EXPECT_EQ(closesocket(second.s), 0);
  ASSERT_EQ(WaitForSingleObject(t, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(second.result, SOCKET_ERROR);
  EXPECT_EQ(second.error, WSAEINTR);
  CloseHandle(t);

  // The machine reset closes every socket and ends a select without a time-out.
  Blocked third{connected(), second.entered};
  ResetEvent(third.entered);
  t = CreateThread(nullptr, 0, selectForever, &third, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(third.entered, 5000), WAIT_OBJECT_0);
  Sleep(50);
  EXPECT_EQ(winsim::openSocketCount(), 1u);
  winsim::resetMachine();
  EXPECT_EQ(winsim::openSocketCount(), 0u);
  // The reset took the thread's handle with it: wait on its own word.
  for (int i = 0; i < 500 && !third.done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(third.done);
  EXPECT_EQ(third.result, SOCKET_ERROR);
  EXPECT_EQ(third.error, WSAEINTR);
}

}  // namespace
