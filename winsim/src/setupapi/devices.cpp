// The device nodes: one for each device plugged into a USB port (which the
// spooler's USB ports tell of), present while it stays plugged in and kept
// as an absent node afterwards, and those a test adds.  A device that comes
// without a driver gets one from the driver store when a stored INF lists
// one of its IDs, as plug and play installs it.
#include "setupapi/devices.h"

#include <cstdio>

#include <devguid.h>

#include "core/internal.h"
#include "setupapi/driver_store.h"
#include "spoolss/spoolss.h"

namespace winsim::setup {

namespace {

std::vector<std::shared_ptr<Node>> &g_nodes = *new std::vector<std::shared_ptr<Node>>;
DEVINST g_nextDevInst = 1;  // with deviceLock()

bool isPrinterId(const std::u16string &id) { return upper(id).rfind(u"USBPRINT\\", 0) == 0; }

uint32_t hashOf(const std::u16string &s) {
  uint32_t h = 2166136261u;
  for (char16_t c : upper(s)) h = (h ^ c) * 16777619u;
  return h;
}

std::u16string hex8(uint32_t v) {
  char buf[12];
  std::snprintf(buf, sizeof buf, "%08X", unsigned(v));
  return std::u16string(buf, buf + 8);
}

// The node's instance ID: its device ID (the first hardware ID) and an
// instance part that the place it is plugged into makes, as the USB
// enumerators make them ("USBPRINT\MODEL1234\7&1A2B3C4D&0&USB001").
std::u16string instanceIdFor(const std::vector<std::u16string> &ids, const std::u16string &place) {
  std::u16string device = ids.empty() ? u"USB\\VID_0000&PID_0000" : ids[0];
  return upper(device) + u"\\7&" + hex8(hashOf(device + place)) + u"&0&" + upper(place);
}

std::shared_ptr<Node> makeNode(const std::vector<std::u16string> &ids, const std::u16string &place) {
  auto n = std::make_shared<Node>();
  n->instanceId = instanceIdFor(ids, place);
  bool printer = !ids.empty() && isPrinterId(ids[0]);
  n->className = printer ? u"Printer" : u"USB";
  n->classGuid = printer ? GUID_DEVCLASS_PRINTER : GUID_DEVCLASS_USB;
  n->hardwareIds = ids;
  return n;
}

std::shared_ptr<Node> findNode(const std::u16string &instanceId) {
  for (auto &n : g_nodes)
    if (equalsNoCase(n->instanceId, instanceId)) return n;
  return nullptr;
}

// A node that has come (or come again) without a driver looks in the store.
void installFromStore(const std::shared_ptr<Node> &node) {
  std::vector<std::u16string> ids;
  {
    std::lock_guard<std::mutex> g(deviceLock());
    if (!node->infName.empty()) return;
    ids = node->hardwareIds;
  }
  std::u16string inf = storedInfFor(ids);
  std::lock_guard<std::mutex> g(deviceLock());
  if (node->infName.empty()) node->infName = inf;
}

void usbPlugged(const std::u16string &port, const std::shared_ptr<UsbDevice> &device) {
  std::shared_ptr<Node> node;
  {
    std::lock_guard<std::mutex> g(deviceLock());
    if (!device) {
      for (auto &n : g_nodes)
        if (n->present && equalsNoCase(n->port, port)) n->present = false;
      return;
    }
    std::vector<std::u16string> ids = device->hardwareIds();
    node = findNode(instanceIdFor(ids, port));
    if (!node) {
      node = makeNode(ids, port);
      node->devInst = g_nextDevInst++;
      g_nodes.push_back(node);
    }
    node->port = port;
    node->present = true;
  }
  installFromStore(node);
}

struct PlugHookRegistration {
  PlugHookRegistration() { spool::setUsbPlugHook(usbPlugged); }
} const kPlugHook;

void clearNodes() {
  std::lock_guard<std::mutex> g(deviceLock());
  for (auto &n : g_nodes) n->removed = true;
  g_nodes.clear();
}

const ResetStep kClearNodes(kResetSpooler + 20, clearNodes);

}  // namespace

std::mutex &deviceLock() {
  static std::mutex &m = *new std::mutex;
  return m;
}

std::vector<std::shared_ptr<Node>> &machineNodes() { return g_nodes; }

bool infInUse(const std::u16string &infName) {
  std::lock_guard<std::mutex> g(deviceLock());
  for (auto &n : g_nodes)
    if (equalsNoCase(n->infName, infName)) return true;
  return false;
}

void dropDriversOf(const std::u16string &infName) {
  std::lock_guard<std::mutex> g(deviceLock());
  for (auto &n : g_nodes)
    if (equalsNoCase(n->infName, infName)) n->infName.clear();
}

bool presentDeviceMatches(const std::vector<std::u16string> &ids) {
  std::lock_guard<std::mutex> g(deviceLock());
  for (auto &n : g_nodes)
    if (n->present)
      for (auto &mine : n->hardwareIds)
        for (auto &id : ids)
          if (equalsNoCase(mine, id)) return true;
  return false;
}

}  // namespace winsim::setup

namespace winsim {

std::u16string addDeviceNode(const std::vector<std::u16string> &hardwareIds, bool present,
                             const std::u16string &infName) {
  using namespace setup;
  std::lock_guard<std::mutex> g(deviceLock());
  DEVINST number = g_nextDevInst++;
  auto node = makeNode(hardwareIds, u"TEST" + hex8(number));
  node->devInst = number;
  node->present = present;
  node->infName = infName;
  g_nodes.push_back(node);
  return node->instanceId;
}

std::vector<DeviceNode> deviceNodes() {
  std::lock_guard<std::mutex> g(setup::deviceLock());
  std::vector<DeviceNode> out;
  for (auto &n : setup::g_nodes) out.push_back({n->instanceId, n->className, n->hardwareIds, n->present, n->infName});
  return out;
}

}  // namespace winsim
