// The spooler's port registry: port monitors register the ports they serve,
// and the spooler opens, lists and checks ports through it alone, knowing no
// monitor by name.
#include <algorithm>
#include <mutex>

#include "core/internal.h"
#include "spoolss/spooler_state.h"

namespace winsim::spool {

namespace {

struct Registered {
  std::shared_ptr<const PortMonitor> monitor;
  bool builtIn = false;
};

// Made on first use, as the built-in monitors register during static
// initialisation, and kept past static destruction, as the spooler's queues:
// a despooling thread may still open a port when the process ends.
std::mutex &registryLock() {
  static std::mutex &lock = *new std::mutex;
  return lock;
}
std::vector<Registered> &portMonitors() {
  static std::vector<Registered> &monitors = *new std::vector<Registered>;
  return monitors;
}

std::vector<std::shared_ptr<const PortMonitor>> monitorsInOrder() {
  std::vector<std::shared_ptr<const PortMonitor>> out;
  {
    std::lock_guard<std::mutex> g(registryLock());
    for (auto &r : portMonitors()) out.push_back(r.monitor);
  }
  std::stable_sort(out.begin(), out.end(), [](const auto &a, const auto &b) { return a->order < b->order; });
  return out;
}

}  // namespace

void registerPortMonitor(PortMonitor m, bool builtIn) {
  std::lock_guard<std::mutex> g(registryLock());
  portMonitors().push_back({std::make_shared<const PortMonitor>(std::move(m)), builtIn});
}

std::shared_ptr<const PortMonitor> portMonitorFor(const std::u16string &port) {
  if (port.empty()) return nullptr;
  // Asked without the registry's lock: a monitor's answer may look at the
  // spooler's printers.
  for (auto &m : monitorsInOrder())
    if (m->serves && m->serves(port)) return m;
  return nullptr;
}

std::vector<PortListEntry> registeredPorts() {
  std::vector<PortListEntry> out;
  for (auto &m : monitorsInOrder()) {
    if (!m->listPorts) continue;
    for (auto &p : m->listPorts()) {
      bool seen = false;
      for (auto &o : out) seen = seen || equalsNoCase(o.name, p.name);
      if (!seen) out.push_back(std::move(p));
    }
  }
  return out;
}

std::unique_ptr<Port> openRegisteredPort(const std::u16string &printer, const std::u16string &portName) {
  auto m = portMonitorFor(portName);
  if (!m) return makeFailedPort(ERROR_UNKNOWN_PORT);
  if (m->open)
    if (auto p = m->open(printer, portName)) return p;
  if (m->table2 && m->table) return openMonitorPorts(printer, portName, *m->table, *m->table2, m->handle2);
  if (m->table2) return openMonitor2Port(printer, portName, *m->table2, m->handle2);
  if (m->table) return openMonitorPort(printer, portName, *m->table);
  return makeFailedPort(ERROR_UNKNOWN_PORT);
}

void unregisterPortMonitor(const std::u16string &name) {
  std::lock_guard<std::mutex> g(registryLock());
  auto &all = portMonitors();
  all.erase(std::remove_if(all.begin(), all.end(),
                           [&](const Registered &r) { return !r.builtIn && equalsNoCase(r.monitor->name, name); }),
            all.end());
}

void resetPortMonitors() {
  std::vector<Registered> monitors;
  {
    std::lock_guard<std::mutex> g(registryLock());
    monitors = portMonitors();
    portMonitors().erase(
        std::remove_if(portMonitors().begin(), portMonitors().end(), [](const Registered &r) { return !r.builtIn; }),
        portMonitors().end());
  }
  for (auto &r : monitors)
    if (r.builtIn && r.monitor->reset) r.monitor->reset();
}

}  // namespace winsim::spool

namespace winsim {

namespace {
bool portTaken(const std::u16string &port) {
  if (spool::portMonitorFor(port)) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return true;
  }
  return false;
}
}  // namespace

bool addPortMonitor(const std::u16string &monitorName, const MONITOR *table, const std::vector<std::u16string> &ports) {
  if (!table || monitorName.empty() || ports.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  for (auto &p : ports)
    if (portTaken(p)) return false;
  spool::PortMonitor m;
  m.name = monitorName;
  m.order = 1000;
  m.serves = [ports](const std::u16string &port) {
    for (auto &p : ports)
      if (equalsNoCase(p, port)) return true;
    return false;
  };
  m.listPorts = [ports, monitorName] {
    std::vector<spool::PortListEntry> out;
    for (auto &p : ports) out.push_back({p, monitorName, monitorName});
    return out;
  };
  m.table = table;
  spool::registerPortMonitor(std::move(m), false);
  return true;
}

bool addTestPort(const std::u16string &portName) {
  if (portName.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (portTaken(portName)) return false;
  spool::PortMonitor m;
  m.name = u"Test Port";
  m.order = 1000;
  m.serves = [portName](const std::u16string &port) { return equalsNoCase(port, portName); };
  m.listPorts = [portName] { return std::vector<spool::PortListEntry>{{portName, u"Test Port", u"Test Port"}}; };
  m.open = [](const std::u16string &, const std::u16string &port) { return spool::makeRecordingPort(port); };
  spool::registerPortMonitor(std::move(m), false);
  return true;
}

}  // namespace winsim
