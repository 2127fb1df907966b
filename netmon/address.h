// Finding a printer's address: which Standard TCP/IP port subkeys belong to
// a port name, and the cache of addresses found.  The registry reads and the
// host name resolution stay with the caller.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace card::net {

// Enumeration goes on past this index only while subkeys keep matching.
inline constexpr size_t kLastUnmatchedSubkeyIndex = 350;
inline constexpr size_t kMaxSubkeyNameChars = 255;

// Whether a subkey belongs to the port: its name is a prefix of the port
// name (ASCII letters compared without case, as the registry does).  An empty
// subkey name belongs to no port.
bool subkeyMatchesPort(std::u16string_view subkey, std::u16string_view portName);

// The indices of the matching subkeys, in enumeration order; the caller
// reads each one's address and the last one found is the result.  A
// non-matching subkey at kLastUnmatchedSubkeyIndex or later ends the walk.
std::vector<size_t> matchingSubkeys(const std::vector<std::u16string> &subkeys, std::u16string_view portName);

inline constexpr size_t kMaxAddressChars = 24;

// Port name → dotted address.  Port names are kept whole, so that two long
// names alike in their first characters stay two ports; an address longer
// than any dotted address can be is refused rather than cut into a wrong one.
class AddressCache {
 public:
  // Stores the address for the port (a new item when there is none); false,
  // and nothing stored, for an address over kMaxAddressChars.
  bool store(std::u16string_view portName, std::string_view address);
  // Searched by exact port name.
  std::optional<std::string> find(std::u16string_view portName) const;
  size_t size() const { return items_.size(); }

 private:
  struct Item {
    std::u16string portName;
    std::string address;
  };
  std::vector<Item> items_;
};

}  // namespace card::net
