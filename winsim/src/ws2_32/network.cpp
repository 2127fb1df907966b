// The virtual network: hosts declared by tests, routing of every connection
// and datagram, and the records of what was refused.
#include "ws2_32/network.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <vector>

#include "core/internal.h"

namespace winsim::ws {

namespace {

struct DeclaredHost {
  std::string name;
  std::vector<NetworkService> services;
  NetworkHostState state = NetworkHostState::Up;
  uint32_t realIp = 0;  // where its services listen
};

struct Network {
  std::mutex lock;
  std::map<uint32_t, DeclaredHost> hosts;  // by the program's address
  std::vector<RefusedAddress> refused;
};

Network &network() {
  static Network &n = *new Network;
  return n;
}

std::atomic<uint64_t> g_connects{0}, g_datagrams{0};

std::string dotted(uint32_t ip) {
  return std::to_string(ip >> 24) + "." + std::to_string((ip >> 16) & 0xff) + "." + std::to_string((ip >> 8) & 0xff) +
         "." + std::to_string(ip & 0xff);
}

bool sameNoCase(const std::string &a, const std::string &b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto low = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
           return low(x) == low(y);
         });
}

NetworkProtocol protocolOf(bool udp) { return udp ? NetworkProtocol::Udp : NetworkProtocol::Tcp; }

void forgetAll() {
  Network &n = network();
  std::lock_guard<std::mutex> g(n.lock);
  n.hosts.clear();
  n.refused.clear();
  g_connects = 0;
  g_datagrams = 0;
}

const ResetStep kForgetHosts(kResetKernel + 50, forgetAll);

}  // namespace

RouteResult routeTo(HostEndpoint to, bool udp, const char *call) {
  Network &n = network();
  std::lock_guard<std::mutex> g(n.lock);
  auto it = n.hosts.find(to.ip);
  if (it == n.hosts.end()) {
    if (isLoopback(to.ip)) return {Route::Host, to};
    n.refused.push_back({dotted(to.ip), to.port, call});
    return {Route::Unreachable, {}};
  }
  const DeclaredHost &h = it->second;
  if (h.state == NetworkHostState::Down) return {Route::Lost, {}};
  if (h.state == NetworkHostState::Refusing) return {Route::Refused, {}};
  for (const NetworkService &s : h.services)
    if (s.protocol == protocolOf(udp) && s.port == to.port)
      return {Route::Host, {h.realIp, s.hostPort ? s.hostPort : s.port}};
  return {Route::Refused, {}};
}

HostEndpoint programView(HostEndpoint real, bool udp) {
  Network &n = network();
  std::lock_guard<std::mutex> g(n.lock);
  for (const auto &[ip, h] : n.hosts) {
    if (h.realIp != real.ip) continue;
    for (const NetworkService &s : h.services)
      if (s.protocol == protocolOf(udp) && (s.hostPort ? s.hostPort : s.port) == real.port) return {ip, s.port};
  }
  return real;
}

bool resolveHostName(const std::string &name, uint32_t &ip) {
  if (sameNoCase(name, "localhost") || sameNoCase(name, machineHostName())) {
    ip = 0x7f000001;
    return true;
  }
  Network &n = network();
  std::lock_guard<std::mutex> g(n.lock);
  for (const auto &[address, h] : n.hosts)
    if (!h.name.empty() && sameNoCase(h.name, name)) {
      ip = address;
      return true;
    }
  return false;
}

std::string machineHostName() {
  WCHAR name[64];
  DWORD size = 64;
  if (!GetComputerNameW(name, &size)) return "localhost";
  std::string text;
  for (DWORD i = 0; i < size; ++i) text += char(name[i] < 0x80 ? name[i] : '?');
  return text;
}

void countHostConnect() { ++g_connects; }
void countHostDatagram() { ++g_datagrams; }

}  // namespace winsim::ws

namespace winsim {

bool declareNetworkHost(const std::string &address, const std::string &hostName,
                        const std::vector<NetworkService> &services, NetworkHostState state) {
  uint32_t ip = 0;
  if (!ws::hostParseAddress(address.c_str(), ip) || ip == 0 || ip == 0xffffffffu) return false;
  ws::DeclaredHost h;
  h.name = hostName;
  h.services = services;
  h.state = state;
  h.realIp = ws::isLoopback(ip) ? ip : 0x7f000001;
  ws::Network &n = ws::network();
  std::lock_guard<std::mutex> g(n.lock);
  n.hosts[ip] = std::move(h);
  return true;
}

bool setNetworkHostState(const std::string &address, NetworkHostState state) {
  uint32_t ip = 0;
  if (!ws::hostParseAddress(address.c_str(), ip)) return false;
  ws::Network &n = ws::network();
  std::lock_guard<std::mutex> g(n.lock);
  auto it = n.hosts.find(ip);
  if (it == n.hosts.end()) return false;
  it->second.state = state;
  return true;
}

std::vector<RefusedAddress> refusedNetworkAddresses() {
  ws::Network &n = ws::network();
  std::lock_guard<std::mutex> g(n.lock);
  return n.refused;
}

void clearRefusedNetworkAddresses() {
  ws::Network &n = ws::network();
  std::lock_guard<std::mutex> g(n.lock);
  n.refused.clear();
}

HostTraffic hostNetworkTraffic() { return {ws::g_connects.load(), ws::g_datagrams.load()}; }

}  // namespace winsim
