// Windows Sockets on the loopback (127.0.0.1 only): start-up, TCP and UDP
// between two sockets of the program, select's sets and time-out, a refused
// connection, and the errors of closed sockets.
#include <winsock2.h>

#include "check.h"

namespace {

// Each case starts and cleans up Winsock on its own.
struct Session {
  Session() { ok = WSAStartup(MAKEWORD(2, 2), &data) == 0; }
  ~Session() {
    if (ok) WSACleanup();
  }
  WSADATA data{};
  bool ok = false;
};

sockaddr_in loopback(u_short port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  return a;
}

// A bound socket of the type on 127.0.0.1 at a port the system chose.
SOCKET boundSocket(int type, u_short &port) {
  SOCKET s = socket(AF_INET, type, 0);
  if (s == INVALID_SOCKET) return s;
  sockaddr_in a = loopback(0);
  int len = sizeof a;
  if (bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr *>(&a), &len) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  port = ntohs(a.sin_port);
  return s;
}

}  // namespace

CONF_CASE(Winsock, StartupNegotiatesVersionTwoTwo) {
  WSADATA data{};
  REQUIRE(WSAStartup(MAKEWORD(2, 2), &data) == 0);
  CHECK_EQ(data.wVersion, MAKEWORD(2, 2));
  CHECK_EQ(data.wHighVersion, MAKEWORD(2, 2));
  CHECK_EQ(WSACleanup(), 0);
}

CONF_CASE(Winsock, AddressTextConversions) {
  CHECK_EQ(inet_addr("127.0.0.1"), htonl(INADDR_LOOPBACK));
  CHECK_EQ(inet_addr("127.1.2.3"), htonl(0x7f010203));
  CHECK_EQ(inet_addr("127.1.2.x"), INADDR_NONE);
  in_addr a;
  a.s_addr = htonl(0x7f280a01);
  CHECK_STR(inet_ntoa(a), "127.40.10.1");
  CHECK_EQ(htons(0x1234), 0x3412);
  Session session;
  REQUIRE(session.ok);
  hostent *h = gethostbyname("localhost");
  REQUIRE(h != nullptr);
  CHECK_EQ(h->h_addrtype, AF_INET);
  CHECK_EQ(h->h_length, 4);
  CHECK_EQ(static_cast<unsigned char>(h->h_addr_list[0][0]), 127);
}

CONF_CASE(Winsock, ClosedSocketIsNoSocket) {
  Session session;
  REQUIRE(session.ok);
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  REQUIRE(s != INVALID_SOCKET);
  int type = 0, len = sizeof type;
  CHECK_EQ(getsockopt(s, SOL_SOCKET, SO_TYPE, reinterpret_cast<char *>(&type), &len), 0);
  CHECK_EQ(type, SOCK_STREAM);
  CHECK_EQ(closesocket(s), 0);
  CHECK_EQ(closesocket(s), SOCKET_ERROR);
  CHECK_EQ(WSAGetLastError(), WSAENOTSOCK);
  CHECK_EQ(send(s, "x", 1, 0), SOCKET_ERROR);
  CHECK_EQ(WSAGetLastError(), WSAENOTSOCK);
}

CONF_CASE(Winsock, SelectWantsASocketAndTimesOut) {
  Session session;
  REQUIRE(session.ok);
  timeval wait{0, 50000};
  CHECK_EQ(select(0, nullptr, nullptr, nullptr, &wait), SOCKET_ERROR);
  CHECK_EQ(WSAGetLastError(), WSAEINVAL);
  u_short port = 0;
  SOCKET listener = boundSocket(SOCK_STREAM, port);
  REQUIRE(listener != INVALID_SOCKET);
  CHECK_EQ(listen(listener, 4), 0);
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(listener, &readable);
  CHECK_EQ(select(0, &readable, nullptr, nullptr, &wait), 0);
  CHECK_EQ(readable.fd_count, 0u);
  closesocket(listener);
}

CONF_CASE(Winsock, StreamBetweenTwoSockets) {
  Session session;
  REQUIRE(session.ok);
  u_short port = 0;
  SOCKET listener = boundSocket(SOCK_STREAM, port);
  REQUIRE(listener != INVALID_SOCKET);
  REQUIRE(listen(listener, 4) == 0);
  SOCKET client = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to = loopback(port);
  REQUIRE(connect(client, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0);
  // The pending connection makes the listener readable.
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(listener, &readable);
  timeval wait{5, 0};
  CHECK_EQ(select(0, &readable, nullptr, nullptr, &wait), 1);
  sockaddr_in from{};
  int len = sizeof from;
  SOCKET server = accept(listener, reinterpret_cast<sockaddr *>(&from), &len);
  REQUIRE(server != INVALID_SOCKET);
  CHECK_EQ(from.sin_addr.s_addr, htonl(INADDR_LOOPBACK));

  CHECK_EQ(send(client, "hello", 5, 0), 5);
  char buf[16] = {};
  int got = 0;
  while (got < 5) {
    int n = recv(server, buf + got, sizeof buf - got, 0);
    if (!CHECK(n > 0)) break;
    got += n;
  }
  CHECK_STR(buf, "hello");
  u_long on = 1;
  CHECK_EQ(ioctlsocket(server, FIONBIO, &on), 0);
  CHECK_EQ(recv(server, buf, sizeof buf, 0), SOCKET_ERROR);
  CHECK_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  CHECK_EQ(shutdown(client, SD_SEND), 0);
  CHECK_EQ(send(client, "x", 1, 0), SOCKET_ERROR);
  CHECK_EQ(WSAGetLastError(), WSAESHUTDOWN);
  FD_ZERO(&readable);
  FD_SET(server, &readable);
  CHECK_EQ(select(0, &readable, nullptr, nullptr, &wait), 1);
  CHECK_EQ(recv(server, buf, sizeof buf, 0), 0);
  for (SOCKET s : {client, server, listener}) closesocket(s);
}

CONF_CASE(Winsock, RefusedConnectionIsInTheExceptionSet) {
  Session session;
  REQUIRE(session.ok);
  u_short port = 0;
  SOCKET taken = boundSocket(SOCK_STREAM, port);  // bound, never listening
  REQUIRE(taken != INVALID_SOCKET);
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  u_long on = 1;
  REQUIRE(ioctlsocket(s, FIONBIO, &on) == 0);
  sockaddr_in to = loopback(port);
  CHECK_EQ(connect(s, reinterpret_cast<sockaddr *>(&to), sizeof to), SOCKET_ERROR);
  CHECK_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(s, &writable);
  FD_SET(s, &failed);
  timeval wait{5, 0};  // Windows retries a refused connection for a while
  CHECK_EQ(select(0, nullptr, &writable, &failed, &wait), 1);
  CHECK(!FD_ISSET(s, &writable));
  CHECK(FD_ISSET(s, &failed));
  int error = 0, len = sizeof error;
  CHECK_EQ(getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &len), 0);
  CHECK_EQ(error, WSAECONNREFUSED);
  closesocket(s);
  closesocket(taken);
}

CONF_CASE(Winsock, DatagramsAndReceiveTimeout) {
  Session session;
  REQUIRE(session.ok);
  u_short receiverPort = 0, senderPort = 0;
  SOCKET receiver = boundSocket(SOCK_DGRAM, receiverPort);
  SOCKET sender = boundSocket(SOCK_DGRAM, senderPort);
  REQUIRE(receiver != INVALID_SOCKET && sender != INVALID_SOCKET);
  DWORD timeout = 2000;
  CHECK_EQ(setsockopt(receiver, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char *>(&timeout), sizeof timeout), 0);
  sockaddr_in to = loopback(receiverPort);
  CHECK_EQ(sendto(sender, "ping", 4, 0, reinterpret_cast<sockaddr *>(&to), sizeof to), 4);
  char buf[16] = {};
  sockaddr_in from{};
  int len = sizeof from;
  CHECK_EQ(recvfrom(receiver, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&from), &len), 4);
  CHECK_STR(buf, "ping");
  CHECK_EQ(ntohs(from.sin_port), senderPort);
  CHECK_EQ(from.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
  timeout = 100;
  CHECK_EQ(setsockopt(receiver, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char *>(&timeout), sizeof timeout), 0);
  CHECK_EQ(recv(receiver, buf, sizeof buf, 0), SOCKET_ERROR);
  CHECK_EQ(WSAGetLastError(), WSAETIMEDOUT);
  closesocket(receiver);
  closesocket(sender);
}
