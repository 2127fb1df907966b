// Which plug-and-play devices are the package's USB printers: the hardware
// IDs their print class gives them.  Pure text tests, no Windows calls.
#pragma once

#include <cstddef>
#include <string_view>

namespace card::setup {

// Tested in this order, each as a case-sensitive part of a hardware ID.
inline constexpr std::u16string_view kUsbHardwareIdPatterns[] = {
    u"USBPRINT\\PELLO_CARD_PRINTER_CA3", u"USBPRINT\\PELLO_CARD_PRINTER_CA1", u"USBPRINT\\PELLO_CARD_PRINTER_CA2",
    u"USBPRINT\\PELLO_CARD_PRINTER_CA",  u"USBPRINT\\PELLO_CARD_PRINTERCA",   u"USBPRINT\\PELLO_CARD_PRINTER_C",
    u"USBPRINT\\PELLO_CARD_PRINTERC",    u"USBPRINT\\PELLO_CARD_PRINTERL",
};

// Whether one hardware ID contains any of the patterns.
bool isPackageHardwareId(std::u16string_view hardwareId);

// Walks a device's hardware-ID property, NUL-terminated strings ended by an
// empty one, within `chars` characters (what the system said it returned;
// nothing is read beyond them, even when the last string lacks its NUL).
// True at the first string that is one of the package's.
bool hardwareIdListMatches(const char16_t *list, size_t chars);

}  // namespace card::setup
