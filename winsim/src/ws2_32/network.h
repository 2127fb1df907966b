// The machine's virtual network: the hosts a test declared, where a
// connection or datagram to an address really goes, and the records tests
// read back.  Addresses and ports in host byte order.
#pragma once

#include <cstdint>
#include <string>

#include "ws2_32/host.h"

namespace winsim::ws {

enum class Route {
  Host,         // to `target` on the host's loopback
  Refused,      // a connection is refused, a datagram bounces (port unreachable)
  Lost,         // nothing answers: the host is down
  Unreachable,  // off the machine: WSAENETUNREACH, nothing sent
};
struct RouteResult {
  Route route = Route::Unreachable;
  HostEndpoint target;
};
// Where `to` (as the program gave it) goes; `call` names the caller for the
// record of refused addresses.
RouteResult routeTo(HostEndpoint to, bool udp, const char *call);
// The endpoint a program sees for a host endpoint that a declared host's
// service answers from (unchanged for anything else).
HostEndpoint programView(HostEndpoint real, bool udp);
// A host name as gethostbyname resolves it: declared names (case does not
// matter), "localhost" and the machine's own name.
bool resolveHostName(const std::string &name, uint32_t &ip);
// The machine's own name, as gethostname answers.
std::string machineHostName();

void countHostConnect();
void countHostDatagram();

}  // namespace winsim::ws
