// The connections to the printer's network interface, on Winsock.
#include "netmon/connection.h"

#include <windows.h>
#include <winsock2.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "netmon/framing.h"
#include "netmon/probe.h"
#include "netmon/status_channel.h"

namespace card::net {

namespace {

timeval timeoutOf(DWORD ms) {
  timeval tv;
  tv.tv_sec = long(ms / 1000);
  tv.tv_usec = long((ms % 1000) * 1000);
  return tv;
}

// 1: ready, 0: the time ran out, -1: the wait failed.
int waitWritable(SOCKET s, DWORD ms, bool watchErrors, bool &failed) {
  fd_set writable, errors;
  FD_ZERO(&writable);
  FD_ZERO(&errors);
  FD_SET(s, &writable);
  FD_SET(s, &errors);
  timeval tv = timeoutOf(ms);
  const int n = select(0, nullptr, &writable, watchErrors ? &errors : nullptr, &tv);
  failed = n > 0 && watchErrors && FD_ISSET(s, &errors);
  return n < 0 ? -1 : n > 0 ? 1 : 0;
}

int waitReadable(SOCKET s, DWORD ms) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  timeval tv = timeoutOf(ms);
  return select(0, &readable, nullptr, nullptr, &tv);
}

int pendingError(SOCKET s) {
  int error = 0;
  int size = sizeof error;
  if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &size) != 0) return WSAGetLastError();
  return error;
}

// A failure that carries no error of its own still counts as one.
int orTimedOut(int error) { return error ? error : WSAETIMEDOUT; }

sockaddr_in endpoint(const char *address, uint16_t port) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = inet_addr(address);
  return to;
}

}  // namespace

bool startWinsock() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

SOCKET openConnection(const char *address, uint16_t port, int &error) {
  error = 0;
  if (!address || !*address) {
    error = WSAEADDRNOTAVAIL;
    return INVALID_SOCKET;
  }
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) {
    error = orTimedOut(WSAGetLastError());
    return INVALID_SOCKET;
  }
  u_long nonBlocking = 1;
  if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
    error = orTimedOut(WSAGetLastError());
    closesocket(s);
    return INVALID_SOCKET;
  }
  // Every exchange is a short request and a wait for its answer, often a
  // command and then the error report request: held back until the
  // printer acknowledges the first, the second would cost each command the
  // peer's delayed acknowledgement.
  BOOL noDelay = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&noDelay), sizeof noDelay);
  const sockaddr_in to = endpoint(address, port);
  if (connect(s, reinterpret_cast<const sockaddr *>(&to), sizeof to) == 0) return s;
  const int started = WSAGetLastError();
  if (started != WSAEWOULDBLOCK && started != WSAEINPROGRESS) {
    error = orTimedOut(started);
    closesocket(s);
    return INVALID_SOCKET;
  }
  bool failed = false;
  // A refused connection shows in the error set; the short second look
  // catches an error that arrives just as the socket turns writable.
  if (waitWritable(s, kConnectWaitMs, true, failed) != 1 || failed) {
    error = orTimedOut(pendingError(s));
    closesocket(s);
    return INVALID_SOCKET;
  }
  fd_set errors;
  FD_ZERO(&errors);
  FD_SET(s, &errors);
  timeval tv{0, long(kConnectRecheckUs)};
  if (select(0, nullptr, nullptr, &errors, &tv) != 0 || pendingError(s) != 0) {
    error = orTimedOut(pendingError(s));
    closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

int sendRaw(SOCKET s, const void *data, size_t size) {
  const char *p = static_cast<const char *>(data);
  while (size > 0) {
    bool failed = false;
    const int ready = waitWritable(s, kSendWaitMs, false, failed);
    if (ready != 1) return orTimedOut(ready < 0 ? WSAGetLastError() : pendingError(s));
    const int chunk = int(std::min<size_t>(size, 0x7FFFFFFF));
    const int sent = send(s, p, chunk, 0);
    if (sent == SOCKET_ERROR) {
      const int error = WSAGetLastError();
      if (error == WSAEWOULDBLOCK) continue;  // the wait above bounds the next try
      return orTimedOut(error);
    }
    p += sent;
    size -= size_t(sent);
  }
  return 0;
}

int sendFramed(SOCKET s, const void *data, size_t size) {
  const uint8_t *p = static_cast<const uint8_t *>(data);
  std::vector<uint8_t> frame;
  for (size_t length : frameSizes(size)) {
    frame.clear();
    appendFrame(frame, p, length);
    if (int error = sendRaw(s, frame.data(), frame.size())) return error;
    p += length;
  }
  return 0;
}

size_t receiveReply(SOCKET s, uint8_t *out, size_t capacity, DWORD timeoutS) {
  if (capacity == 0) return 0;
  out[0] = 0;
  if (s == INVALID_SOCKET || waitReadable(s, timeoutS * 1000) != 1) return 0;
  char buffer[kReceiveBytes];
  const int got = recv(s, buffer, int(sizeof buffer), 0);
  if (got <= 0) return 0;
  const size_t kept = std::min(size_t(got), capacity - 1);
  std::memcpy(out, buffer, kept);
  out[kept] = 0;
  return kept;
}

bool writableWithin(SOCKET s, DWORD ms) {
  if (s == INVALID_SOCKET) return false;
  bool failed = false;
  return waitWritable(s, ms, false, failed) == 1;
}

void closeConnection(SOCKET &s) {
  if (s == INVALID_SOCKET) return;
  if (writableWithin(s, kCloseWritableWaitMs)) {
    shutdown(s, SD_SEND);
    char sink[kReceiveBytes];
    for (int i = 0; i < kCloseDrainReceives; ++i) {
      // The socket is non-blocking: nothing more to read ends the drain too.
      if (recv(s, sink, int(sizeof sink), 0) <= 0) break;
    }
  }
  if (closesocket(s) != 0) {
    linger off{1, 0};
    setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char *>(&off), sizeof off);
    closesocket(s);
  }
  s = INVALID_SOCKET;
}

bool probeReachable(const char *address) {
  if (!address || !*address) return false;
  SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) return false;
  u_long nonBlocking = 1;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  const std::vector<uint8_t> request = probeRequest();
  const sockaddr_in to = endpoint(address, kProbePort);
  std::vector<char> reply(kProbeReceiveBytes);
  bool answered = false;
  for (int attempt = 0; attempt < kProbeAttempts && !answered; ++attempt) {
    sendto(s, reinterpret_cast<const char *>(request.data()), int(request.size()), 0,
           reinterpret_cast<const sockaddr *>(&to), sizeof to);
    Sleep(kProbeFirstPauseMs);
    int got = recvfrom(s, reply.data(), int(reply.size()), 0, nullptr, nullptr);
    if (got <= 0) {
      Sleep(kProbeSecondPauseMs);
      got = recvfrom(s, reply.data(), int(reply.size()), 0, nullptr, nullptr);
    }
    answered = got > 0 && probeAnswered(size_t(got));
  }
  closesocket(s);
  return answered;
}

void sendResetRequest(const char *address) {
  int error = 0;
  SOCKET s = openConnection(address, kResetRequestPort, error);
  if (s == INVALID_SOCKET) return;
  const std::string_view request = resetRequest();
  if (sendRaw(s, request.data(), request.size()) == 0) {
    uint8_t reply[kResetRequestBufferBytes];
    if (receiveReply(s, reply, sizeof reply, kResetReplyWaitS) > 0) Sleep(kResetRestartPauseMs);
  }
  closeConnection(s);
}

}  // namespace card::net
