// The system's "Standard TCP/IP Port" monitor: it serves every port that has
// a subkey under its "Ports" key, whose values say where the printer is
// ("IPAddress" or "HostName", "PortNumber").  A language monitor stacked on
// such a port gets its MONITOR2 table (or its MONITOR one, for a monitor of
// the older kind).  A job written through it goes to the printer as RAW
// bytes over one TCP connection per job, opened by StartDocPort and closed by
// EndDocPort; LPR ports ("Protocol" 2) are refused with ERROR_NOT_SUPPORTED.
// It answers no printer-data question and has no configuration channel.
#include <winsock2.h>

#include <cstring>

#include "core/internal.h"
#include "spoolss/spooler_state.h"

namespace winsim::spool {

namespace {

const char16_t kTcpMonitorName[] = u"Standard TCP/IP Port";

std::u16string tcpPortsKey() { return monitorsKey() + u"\\" + kTcpMonitorName + u"\\Ports"; }

std::vector<std::u16string> tcpPortNames() { return subkeysOf(tcpPortsKey()); }

bool servesTcp(const std::u16string &port) {
  for (auto &p : tcpPortNames())
    if (equalsNoCase(p, port)) return true;
  return false;
}

std::vector<PortListEntry> tcpPorts() {
  std::vector<PortListEntry> out;
  for (auto &p : tcpPortNames()) out.push_back({p, kTcpMonitorName, kTcpMonitorName, PORT_TYPE_WRITE | PORT_TYPE_READ});
  return out;
}

// One open port: where its printer is, and the connection of the job under
// way.
struct TcpPort {
  std::u16string name;
  std::string address;  // dotted IPv4
  DWORD portNumber = 9100, protocol = 1;
  SOCKET job = INVALID_SOCKET;
};

int g_tcpMonitorTag;  // its address is the monitor's handle

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// The port's settings as its subkey holds them now.
bool readPort(TcpPort &p) {
  HKEY k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (tcpPortsKey() + u"\\" + p.name).c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
    return false;
  std::u16string ip = readString(k, u"IPAddress");
  if (ip.empty()) ip = readString(k, u"HostName");
  p.address = toUtf8(ip);
  p.portNumber = readDword(k, u"PortNumber", 9100);
  p.protocol = readDword(k, u"Protocol", 1);
  RegCloseKey(k);
  return true;
}

BOOL WINAPI tcpOpenPort(HANDLE hMonitor, LPWSTR pName, PHANDLE pHandle) {
  if (hMonitor != &g_tcpMonitorTag || !pName || !pHandle) return fail(ERROR_INVALID_PARAMETER);
  auto p = std::make_unique<TcpPort>();
  p->name = pName;
  if (!servesTcp(p->name)) return fail(ERROR_UNKNOWN_PORT);
  *pHandle = p.release();
  return TRUE;
}

void closeJob(TcpPort &p) {
  if (p.job == INVALID_SOCKET) return;
  shutdown(p.job, SD_SEND);
  closesocket(p.job);
  WSACleanup();
  p.job = INVALID_SOCKET;
}

BOOL WINAPI tcpStartDocPort(HANDLE hPort, LPWSTR, DWORD, DWORD, LPBYTE) {
  auto *p = static_cast<TcpPort *>(hPort);
  if (!p) return fail(ERROR_INVALID_HANDLE);
  closeJob(*p);
  if (!readPort(*p)) return fail(ERROR_UNKNOWN_PORT);
  if (p->protocol != 1) return fail(ERROR_NOT_SUPPORTED);
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return fail(ERROR_NOT_READY);
  unsigned long ip = inet_addr(p->address.c_str());
  if (ip == INADDR_NONE && !p->address.empty()) {
    // A port kept by its host name alone.
    hostent *he = gethostbyname(p->address.c_str());
    if (he && he->h_addrtype == AF_INET && he->h_addr_list && he->h_addr_list[0])
      std::memcpy(&ip, he->h_addr_list[0], 4);
  }
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<u_short>(p->portNumber));
  to.sin_addr.s_addr = static_cast<decltype(to.sin_addr.s_addr)>(ip);
  if (ip == INADDR_NONE || s == INVALID_SOCKET ||
      connect(s, reinterpret_cast<const sockaddr *>(&to), sizeof(to)) == SOCKET_ERROR) {
    // A printer that cannot be reached now may be there later: the spooler
    // tries the job again.
    if (s != INVALID_SOCKET) closesocket(s);
    WSACleanup();
    return fail(ERROR_NOT_READY);
  }
  p->job = s;
  return TRUE;
}

BOOL WINAPI tcpWritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
  auto *p = static_cast<TcpPort *>(hPort);
  if (pcbWritten) *pcbWritten = 0;
  if (!p) return fail(ERROR_INVALID_HANDLE);
  if (p->job == INVALID_SOCKET) return fail(ERROR_INVALID_PARAMETER);
  if (!cbBuf) return TRUE;
  if (!pBuffer || !pcbWritten) return fail(ERROR_INVALID_PARAMETER);
  int n = send(p->job, reinterpret_cast<const char *>(pBuffer), int(std::min<DWORD>(cbBuf, 1u << 30)), 0);
  if (n == SOCKET_ERROR) return fail(ERROR_WRITE_FAULT);
  *pcbWritten = DWORD(n);
  return TRUE;
}

BOOL WINAPI tcpEndDocPort(HANDLE hPort) {
  auto *p = static_cast<TcpPort *>(hPort);
  if (!p) return fail(ERROR_INVALID_HANDLE);
  closeJob(*p);
  return TRUE;
}

BOOL WINAPI tcpClosePort(HANDLE hPort) {
  auto *p = static_cast<TcpPort *>(hPort);
  if (!p) return fail(ERROR_INVALID_HANDLE);
  closeJob(*p);
  delete p;
  return TRUE;
}

const MONITOR2 kTcpMonitor2 = [] {
  MONITOR2 t{};
  t.cbSize = sizeof(MONITOR2);
  t.pfnOpenPort = tcpOpenPort;
  t.pfnStartDocPort = tcpStartDocPort;
  t.pfnWritePort = tcpWritePort;
  t.pfnEndDocPort = tcpEndDocPort;
  t.pfnClosePort = tcpClosePort;
  return t;
}();

// The same entries for a language monitor of the older kind, whose port
// monitor table has no monitor handle.
BOOL WINAPI tcpOpenPortV1(LPWSTR pName, PHANDLE pHandle) { return tcpOpenPort(&g_tcpMonitorTag, pName, pHandle); }

const MONITOR kTcpMonitor = [] {
  MONITOR t{};
  t.pfnOpenPort = tcpOpenPortV1;
  t.pfnStartDocPort = tcpStartDocPort;
  t.pfnWritePort = tcpWritePort;
  t.pfnEndDocPort = tcpEndDocPort;
  t.pfnClosePort = tcpClosePort;
  return t;
}();

PortMonitor tcpMonitor() {
  PortMonitor m;
  m.name = kTcpMonitorName;
  m.order = 150;
  m.serves = servesTcp;
  m.listPorts = tcpPorts;
  m.table = &kTcpMonitor;
  m.table2 = &kTcpMonitor2;
  m.handle2 = &g_tcpMonitorTag;
  return m;
}

const PortMonitorRegistration kTcp(tcpMonitor());

}  // namespace

}  // namespace winsim::spool

namespace winsim {

bool addStandardTcpIpPort(const std::u16string &portName, const std::u16string &ipAddress,
                          const std::u16string &hostName, DWORD portNumber) {
  if (portName.empty() || portName.find(u'\\') != std::u16string::npos || portName.size() > 255 ||
      (ipAddress.empty() && hostName.empty())) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  auto served = spool::portMonitorFor(portName);
  if (served && served->name != spool::kTcpMonitorName) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return false;
  }
  HKEY k;
  std::u16string key = spool::tcpPortsKey() + u"\\" + portName;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) !=
      ERROR_SUCCESS) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  // The values the system's own monitor keeps for a RAW port.
  spool::writeString(k, u"HostName", hostName);
  spool::writeString(k, u"IPAddress", ipAddress);
  spool::writeString(k, u"HWAddress", u"");
  spool::writeDword(k, u"PortNumber", portNumber);
  spool::writeDword(k, u"Protocol", 1);
  spool::writeDword(k, u"Version", 2);
  spool::writeString(k, u"Queue", u"");
  spool::writeDword(k, u"Double Spool", 0);
  spool::writeString(k, u"SNMP Community", u"public");
  spool::writeDword(k, u"SNMP Enabled", 0);
  spool::writeDword(k, u"SNMP Index", 1);
  RegCloseKey(k);
  return true;
}

}  // namespace winsim
