// The emulated printer as a network printer on a loopback address: the
// network interface's four services on real sockets, each on a port of its
// own (0: any free one, reported by ports()):
//
//   data channel    TCP  4-byte big-endian length + bytes per message into the
//                        printer (DataChannel); the printer's answers come
//                        back raw on the connection that last sent data
//   status channel  TCP  "000" status poll, "111" then "222" interface reset
//   SNMP agent      UDP  version 1 GetRequest of the system description
//   web server      TCP  the interface reset request: the data port refuses
//                        connections while the interface restarts
//
// Only loopback addresses (127.0.0.0/8) are ever bound.  The services run on
// a thread of their own; every public member may be called from any thread.
// While it runs, the front is the printer's answer listener.
//
// Faults of the interface, besides the printer's own (Printer::injectFault):
// the data port closed (refusing), an interface that accepts connections but
// never reads or answers (silent), and a data connection reset in the middle
// of a job after a given number of bytes.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "emulator/include/cardemu/network.h"
#include "emulator/include/cardemu/printer.h"

namespace cardemu {

struct NetConfig {
  std::string address = "127.0.0.1";  // any 127.x.y.z
  uint16_t dataPort = 0, statusPort = 0, snmpPort = 0, httpPort = 0;
  std::string community = "kestra";
  std::string httpCredential = "QkNERUZHSElKSw==";  // Base64 text of the interface's login
  // How long the data port refuses connections after an accepted reset request.
  std::chrono::milliseconds restartTime{5000};
  // Connections held at once; further ones are accepted and closed at once.
  size_t maxConnections = 64;
  // A web connection that has not sent a whole request by then is closed.
  std::chrono::milliseconds httpIdleLimit{10000};
};

struct NetPorts {
  uint16_t data = 0, status = 0, snmp = 0, http = 0;
};

struct NetStats {
  bool dataPortOpen = false;  // listening on the data port (false while refusing)
  bool silent = false;
  bool restarting = false;  // refusing because of a reset request, for a while
  uint64_t dataConnections = 0, statusConnections = 0, httpConnections = 0;
  uint64_t dataBytes = 0;          // data channel bytes taken from connections, framing included
  uint64_t frames = 0;             // data channel messages that reached the printer whole
  uint32_t largestFrame = 0;       // the longest of them, in payload bytes
  uint64_t statusPolls = 0;        // "000" requests answered
  uint64_t snmpRequests = 0;       // datagrams received
  uint64_t snmpAnswers = 0;        // responses sent
  uint64_t interfaceResets = 0;    // accepted reset requests
  uint64_t connectionsReset = 0;   // data connections cut by resetDataAfter
  uint64_t connectionsBroken = 0;  // data connections closed: a bad length field, or the printer gone
};

// True for a dotted IPv4 address in 127.0.0.0/8.
bool isLoopbackAddress(const std::string &address);

class NetPrinter {
 public:
  explicit NetPrinter(Printer &printer, NetConfig config = {});
  ~NetPrinter();  // stops
  NetPrinter(const NetPrinter &) = delete;
  NetPrinter &operator=(const NetPrinter &) = delete;

  // Binds the four ports and starts serving.  False, with the reason in
  // `problem`, for an address outside loopback or a port that cannot be bound.
  bool start(std::string *problem = nullptr);
  // Closes every socket and ends the thread.
  void stop();
  NetPorts ports() const;
  const std::string &address() const;
  NetStats stats() const;

  // Called on the service thread for every data channel message that reached
  // the printer whole, in order; set before start().
  void setFrameListener(DataChannel::FrameListener listener);

  // ---- faults of the network interface ----
  // The data port closed: connections are refused, open ones are reset.
  void setRefusing(bool refusing);
  // What an accepted reset request does: the data port refuses for `time`
  // (open data connections are reset) and then listens again.
  void restartInterface(std::chrono::milliseconds time);
  // Connections are still accepted, but nothing is read or answered on any
  // port and SNMP requests are dropped.
  void setSilent(bool silent);
  // The data connection that brings the bytes-th data channel byte from now
  // is reset right after it (earlier bytes reach the printer, later ones do
  // not); 0 disarms.
  void resetDataAfter(uint64_t bytes);
  // The next `polls` status polls answer with the busy bit (0x80) set in the
  // status byte, as while the interface is occupied; 0 ends it.
  void setBusyPolls(uint64_t polls);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace cardemu
