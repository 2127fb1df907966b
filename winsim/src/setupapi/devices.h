// The machine's plug-and-play device nodes, as setupapi.dll's device calls
// and the driver store see them.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <setupapi.h>

namespace winsim::setup {

struct Node {
  DEVINST devInst = 0;  // a number of the machine's, never given twice
  std::u16string instanceId;
  std::u16string className;
  GUID classGuid{};
  std::vector<std::u16string> hardwareIds;
  std::u16string port;  // the USB port it is plugged into; empty for a node a test added
  bool present = false;
  std::u16string infName;  // the stored INF its driver came from; empty: none
  bool removed = false;    // taken off the machine (DIF_REMOVE); sets that hold it see it gone
};

// Guards the nodes and every Node's fields.
std::mutex &deviceLock();
// The machine's nodes, in the order they came; with deviceLock() held.
std::vector<std::shared_ptr<Node>> &machineNodes();

// Whether a node, present or not, has its driver from the stored INF.
bool infInUse(const std::u16string &infName);
// The nodes installed from the INF lose their driver (its package left the
// store).
void dropDriversOf(const std::u16string &infName);
// Whether a present node has one of these hardware or compatible IDs.
bool presentDeviceMatches(const std::vector<std::u16string> &ids);

}  // namespace winsim::setup
