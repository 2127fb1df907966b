#include "netmon/address.h"

namespace card::net {
namespace {

char16_t upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - (u'a' - u'A')) : c; }

}  // namespace

bool subkeyMatchesPort(std::u16string_view subkey, std::u16string_view portName) {
  if (subkey.empty() || subkey.size() > portName.size()) return false;
  for (size_t i = 0; i < subkey.size(); ++i)
    if (upper(subkey[i]) != upper(portName[i])) return false;
  return true;
}

std::vector<size_t> matchingSubkeys(const std::vector<std::u16string> &subkeys, std::u16string_view portName) {
  std::vector<size_t> found;
  for (size_t i = 0; i < subkeys.size(); ++i) {
    if (subkeyMatchesPort(subkeys[i], portName))
      found.push_back(i);
    else if (i >= kLastUnmatchedSubkeyIndex)
      break;
  }
  return found;
}

bool AddressCache::store(std::u16string_view portName, std::string_view address) {
  if (address.size() > kMaxAddressChars) return false;
  for (auto &item : items_) {
    if (item.portName == portName) {
      item.address.assign(address);
      return true;
    }
  }
  items_.push_back({std::u16string(portName), std::string(address)});
  return true;
}

std::optional<std::string> AddressCache::find(std::u16string_view portName) const {
  for (const auto &item : items_)
    if (item.portName == portName) return item.address;
  return std::nullopt;
}

}  // namespace card::net
