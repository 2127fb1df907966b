// The names by which the installation modules know the package's drivers,
// monitors and printers.  Pure data and tests on text: no Windows calls.
#pragma once

#include <string_view>

namespace card::setup {

inline constexpr std::u16string_view kNetworkDriver = u"Pellor Standard Network";
inline constexpr std::u16string_view kUsbDrivers[] = {u"Pellor CA1 Card Printer USB", u"Pellor CA2 Card Printer USB",
                                                      u"Pellor CA3 Card Printer USB"};
inline constexpr std::u16string_view kNetworkMonitor = u"Pellor Standard Network Language Monitor";
inline constexpr std::u16string_view kUsbMonitors[] = {u"Pellor Standard USB Language Monitor",
                                                       u"Pellor Standard Monitor"};

enum class PackageDriver { None, Network, Usb };
// Which of the package's drivers a driver name is (compared without case).
PackageDriver packageDriverOf(std::u16string_view driverName);

}  // namespace card::setup
