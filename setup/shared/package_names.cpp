#include "setup/shared/package_names.h"

namespace card::setup {

namespace {

char16_t asciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; }

}  // namespace

bool equalsAsciiNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  return true;
}

PackageDriver packageDriverOf(std::u16string_view driverName) {
  if (equalsAsciiNoCase(driverName, kNetworkDriver)) return PackageDriver::Network;
  for (std::u16string_view usb : kUsbDrivers)
    if (equalsAsciiNoCase(driverName, usb)) return PackageDriver::Usb;
  return PackageDriver::None;
}

}  // namespace card::setup
