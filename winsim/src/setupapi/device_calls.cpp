// setupapi.dll's device information sets: a set is a snapshot of the nodes
// that matched when it was made; a node removed since is gone for it too
// (ERROR_NO_SUCH_DEVINST).
#include <cstdio>
#include <cstring>
#include <set>

#include "core/internal.h"
#include "setupapi/devices.h"
#include "setupapi/inf_files.h"

namespace winsim::setup {

namespace {

constexpr uint32_t kSetMagic = 0x56454448;  // "HDEV"

struct DeviceSet {
  uint32_t magic = kSetMagic;
  std::vector<std::shared_ptr<Node>> nodes;
};

std::mutex &g_setLock = *new std::mutex;
std::set<DeviceSet *> &g_sets = *new std::set<DeviceSet *>;

DeviceSet *setOf(HDEVINFO h) {
  std::lock_guard<std::mutex> g(g_setLock);
  auto *p = static_cast<DeviceSet *>(h);
  return g_sets.count(p) && p->magic == kSetMagic ? p : nullptr;
}

void destroyAllSets() {
  std::lock_guard<std::mutex> g(g_setLock);
  for (DeviceSet *p : g_sets) delete p;
  g_sets.clear();
}

const ResetStep kDestroySets(kResetSpooler + 21, destroyAllSets);

bool enumeratorMatches(const std::u16string &instanceId, const std::u16string &enumerator) {
  if (enumerator.empty()) return true;
  std::u16string first = instanceId.substr(0, instanceId.find(u'\\'));
  return equalsNoCase(first, enumerator) || equalsNoCase(instanceId, enumerator);
}

HDEVINFO getClassDevs(const GUID *classGuid, const std::u16string &enumerator, DWORD flags) {
  if (!classGuid && enumerator.empty() && !(flags & DIGCF_ALLCLASSES)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  auto *set = new DeviceSet;
  // Device interfaces are not kept: such a set is empty.
  if (!(flags & DIGCF_DEVICEINTERFACE)) {
    std::lock_guard<std::mutex> g(deviceLock());
    for (auto &n : machineNodes()) {
      if ((flags & DIGCF_PRESENT) && !n->present) continue;
      if (!(flags & DIGCF_ALLCLASSES) && classGuid && n->classGuid != *classGuid) continue;
      if (!enumeratorMatches(n->instanceId, enumerator)) continue;
      set->nodes.push_back(n);
    }
  }
  std::lock_guard<std::mutex> g(g_setLock);
  g_sets.insert(set);
  SetLastError(NO_ERROR);
  return set;
}

// The node a SP_DEVINFO_DATA names in a set; NULL with the error set.
std::shared_ptr<Node> nodeOf(HDEVINFO h, const SP_DEVINFO_DATA *data) {
  DeviceSet *set = setOf(h);
  if (!set) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (!data || data->cbSize != sizeof(SP_DEVINFO_DATA)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  for (auto &n : set->nodes)
    if (n->devInst == data->DevInst) {
      std::lock_guard<std::mutex> g(deviceLock());
      if (n->removed) {
        SetLastError(ERROR_NO_SUCH_DEVINST);
        return nullptr;
      }
      return n;
    }
  SetLastError(ERROR_INVALID_PARAMETER);
  return nullptr;
}

std::u16string guidText(const GUID &g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", unsigned(g.Data1),
                unsigned(g.Data2), unsigned(g.Data3), g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
                g.Data4[5], g.Data4[6], g.Data4[7]);
  return std::u16string(buf, buf + 38);
}

// A property's value as the registry holds it; false when the node has none.
bool propertyOf(const Node &n, DWORD property, DWORD &type, std::vector<char16_t> &value) {
  auto sz = [&](const std::u16string &s) {
    type = REG_SZ;
    value.assign(s.begin(), s.end());
    value.push_back(0);
    return true;
  };
  switch (property) {
    case SPDRP_HARDWAREID:
      if (n.hardwareIds.empty()) return false;
      type = REG_MULTI_SZ;
      value.clear();
      for (auto &id : n.hardwareIds) {
        value.insert(value.end(), id.begin(), id.end());
        value.push_back(0);
      }
      value.push_back(0);
      return true;
    case SPDRP_CLASS: return sz(n.className);
    case SPDRP_CLASSGUID: return sz(guidText(n.classGuid));
    case SPDRP_ENUMERATOR_NAME: return sz(n.instanceId.substr(0, n.instanceId.find(u'\\')));
    case SPDRP_LOCATION_INFORMATION: return !n.port.empty() && sz(n.port);
    default: return false;
  }
}

// A property's value for the W and A calls; false with the error set.
bool readProperty(HDEVINFO h, PSP_DEVINFO_DATA data, DWORD property, PBYTE buffer, DWORD size, DWORD &type,
                  std::vector<char16_t> &value) {
  std::shared_ptr<Node> node = nodeOf(h, data);
  if (!node) return false;
  if (property >= SPDRP_MAXIMUM_PROPERTY) return failedWith(ERROR_INVALID_REG_PROPERTY);
  if (!buffer && size) return failedWith(ERROR_INVALID_PARAMETER);
  std::lock_guard<std::mutex> g(deviceLock());
  if (!propertyOf(*node, property, type, value)) return failedWith(ERROR_INVALID_DATA);
  return true;
}

// The bytes of a property value by the required size protocol: the type
// and the size are told even when the buffer is too small.
BOOL giveProperty(DWORD type, const void *bytes, DWORD count, PDWORD typeOut, PBYTE buffer, DWORD size,
                  PDWORD required) {
  if (typeOut) *typeOut = type;
  if (required) *required = count;
  if (size < count) return failedWith(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(buffer, bytes, count);
  return succeeded();
}

BOOL removeDevice(HDEVINFO h, PSP_DEVINFO_DATA data) {
  if (!data && setOf(h)) return failedWith(ERROR_NO_DEVICE_SELECTED);
  std::shared_ptr<Node> node = nodeOf(h, data);
  if (!node) return FALSE;
  std::lock_guard<std::mutex> g(deviceLock());
  node->removed = true;
  auto &nodes = machineNodes();
  for (auto it = nodes.begin(); it != nodes.end(); ++it)
    if (*it == node) {
      nodes.erase(it);
      break;
    }
  return succeeded();
}

}  // namespace

}  // namespace winsim::setup

using namespace winsim;
using namespace winsim::setup;

extern "C" {

HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID *ClassGuid, PCWSTR Enumerator, HWND hwndParent, DWORD Flags) {
  (void)hwndParent;
  return getClassDevs(ClassGuid, Enumerator ? std::u16string(Enumerator) : std::u16string(), Flags);
}

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID *ClassGuid, PCSTR Enumerator, HWND hwndParent, DWORD Flags) {
  (void)hwndParent;
  return getClassDevs(ClassGuid, fromAnsi(Enumerator), Flags);
}

BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex, PSP_DEVINFO_DATA DeviceInfoData) {
  DeviceSet *set = setOf(DeviceInfoSet);
  if (!set) return failedWith(ERROR_INVALID_HANDLE);
  if (!DeviceInfoData) return failedWith(ERROR_INVALID_PARAMETER);
  if (DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) return failedWith(ERROR_INVALID_USER_BUFFER);
  if (MemberIndex >= set->nodes.size()) return failedWith(ERROR_NO_MORE_ITEMS);
  const Node &n = *set->nodes[MemberIndex];
  DeviceInfoData->ClassGuid = n.classGuid;
  DeviceInfoData->DevInst = n.devInst;
  DeviceInfoData->Reserved = MemberIndex + 1;
  return succeeded();
}

BOOL WINAPI SetupDiGetDeviceRegistryPropertyW(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, DWORD Property,
                                              PDWORD PropertyRegDataType, PBYTE PropertyBuffer,
                                              DWORD PropertyBufferSize, PDWORD RequiredSize) {
  DWORD type = 0;
  std::vector<char16_t> value;
  if (!readProperty(DeviceInfoSet, DeviceInfoData, Property, PropertyBuffer, PropertyBufferSize, type, value))
    return FALSE;
  return giveProperty(type, value.data(), DWORD(value.size() * sizeof(char16_t)), PropertyRegDataType, PropertyBuffer,
                      PropertyBufferSize, RequiredSize);
}

BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, DWORD Property,
                                              PDWORD PropertyRegDataType, PBYTE PropertyBuffer,
                                              DWORD PropertyBufferSize, PDWORD RequiredSize) {
  DWORD type = 0;
  std::vector<char16_t> value;
  if (!readProperty(DeviceInfoSet, DeviceInfoData, Property, PropertyBuffer, PropertyBufferSize, type, value))
    return FALSE;
  // The strings in the system code page, each with its terminator.
  int n = WideCharToMultiByte(CP_ACP, 0, value.data(), int(value.size()), nullptr, 0, nullptr, nullptr);
  std::string ansi(size_t(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, value.data(), int(value.size()), &ansi[0], n, nullptr, nullptr);
  return giveProperty(type, ansi.data(), DWORD(ansi.size()), PropertyRegDataType, PropertyBuffer, PropertyBufferSize,
                      RequiredSize);
}

BOOL WINAPI SetupDiGetDeviceInstanceIdW(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, PWSTR DeviceInstanceId,
                                        DWORD DeviceInstanceIdSize, PDWORD RequiredSize) {
  std::shared_ptr<Node> node = nodeOf(DeviceInfoSet, DeviceInfoData);
  if (!node) return FALSE;
  if (!DeviceInstanceId && DeviceInstanceIdSize) return failedWith(ERROR_INVALID_PARAMETER);
  std::u16string id;
  {
    std::lock_guard<std::mutex> g(deviceLock());
    id = node->instanceId;
  }
  if (RequiredSize) *RequiredSize = DWORD(id.size() + 1);
  if (DeviceInstanceIdSize < id.size() + 1) return failedWith(ERROR_INSUFFICIENT_BUFFER);
  return giveText(id, DeviceInstanceId, DeviceInstanceIdSize, nullptr);
}

BOOL WINAPI SetupDiCallClassInstaller(DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet,
                                      PSP_DEVINFO_DATA DeviceInfoData) {
  if (!setOf(DeviceInfoSet)) return failedWith(ERROR_INVALID_HANDLE);
  if (InstallFunction == DIF_REMOVE) return removeDevice(DeviceInfoSet, DeviceInfoData);
  return failedWith(ERROR_CALL_NOT_IMPLEMENTED);
}

BOOL WINAPI SetupDiRemoveDevice(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData) {
  return removeDevice(DeviceInfoSet, DeviceInfoData);
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
  std::lock_guard<std::mutex> g(g_setLock);
  auto *p = static_cast<DeviceSet *>(DeviceInfoSet);
  if (!g_sets.erase(p)) return failedWith(ERROR_INVALID_HANDLE);
  delete p;
  return succeeded();
}

}  // extern "C"
