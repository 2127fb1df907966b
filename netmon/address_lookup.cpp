// The printer's address, from the keys the Standard TCP/IP port monitor
// keeps for its ports.
#include <windows.h>
#include <winsock2.h>
#include <winspool.h>
#include <winsplp.h>

#include <string>
#include <vector>

#include "netmon/monitor.h"

namespace card::net {

namespace {

constexpr WCHAR kTcpPortsKey[] =
    TEXT("SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports");

std::string readText(HKEY key, LPCWSTR value) {
  WCHAR text[256] = {};
  DWORD type = 0, size = sizeof(text) - sizeof(WCHAR);
  if (RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE *>(text), &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return {};
  std::string ascii;
  for (size_t i = 0; i < size / sizeof(WCHAR) && text[i]; ++i) {
    // Addresses and host names are ASCII; anything else finds no host.
    if (text[i] > 0x7F) return {};
    ascii.push_back(char(text[i]));
  }
  return ascii;
}

// The subkey's address: "IPAddress", else the first address "HostName"
// resolves to.
std::string addressOf(HKEY ports, const WString &subkey) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(ports, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
  std::string address = readText(key, TEXT("IPAddress"));
  if (address.empty()) {
    const std::string host = readText(key, TEXT("HostName"));
    if (!host.empty()) {
      const hostent *entry = gethostbyname(host.c_str());
      if (entry && entry->h_addrtype == AF_INET && entry->h_addr_list && entry->h_addr_list[0]) {
        in_addr first;
        memcpy(&first, entry->h_addr_list[0], sizeof first);
        if (const char *dotted = inet_ntoa(first)) address = dotted;
      }
    }
  }
  RegCloseKey(key);
  return address;
}

}  // namespace

bool lookUpAddress(LPCWSTR portName, char (&address)[kMaxAddressChars + 1]) {
  address[0] = 0;
  if (!portName || !*portName) return false;
  const std::u16string port(reinterpret_cast<const char16_t *>(portName));
  // The spooler's own identity reads the machine's keys, whoever asked.
  HANDLE client = RevertToPrinterSelf();
  HKEY ports = nullptr;
  bool found = false;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTcpPortsKey, 0, KEY_ALL_ACCESS, &ports) == ERROR_SUCCESS) {
    std::vector<std::u16string> subkeys;
    WCHAR name[kMaxSubkeyNameChars + 1];
    for (DWORD i = 0;; ++i) {
      DWORD chars = kMaxSubkeyNameChars + 1;
      if (RegEnumKeyExW(ports, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      subkeys.emplace_back(reinterpret_cast<const char16_t *>(name), chars);
    }
    for (size_t index : matchingSubkeys(subkeys, port)) {
      const WString subkey(subkeys[index].begin(), subkeys[index].end());
      const std::string foundAddress = addressOf(ports, subkey);
      if (foundAddress.empty()) continue;
      MonitorLock lock;
      if (module().addresses.store(port, foundAddress)) found = true;
    }
    RegCloseKey(ports);
  }
  if (client) ImpersonatePrinterClient(client);
  MonitorLock lock;
  const std::optional<std::string> cached = found ? module().addresses.find(port) : std::nullopt;
  if (!cached) return false;
  memcpy(address, cached->c_str(), cached->size() + 1);
  return true;
}

}  // namespace card::net
