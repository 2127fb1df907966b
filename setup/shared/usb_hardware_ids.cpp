#include "setup/shared/usb_hardware_ids.h"

namespace card::setup {

bool isPackageHardwareId(std::u16string_view hardwareId) {
  for (std::u16string_view pattern : kUsbHardwareIdPatterns)
    if (hardwareId.find(pattern) != std::u16string_view::npos) return true;
  return false;
}

bool hardwareIdListMatches(const char16_t *list, size_t chars) {
  if (!list) return false;
  size_t at = 0;
  while (at < chars) {
    size_t end = at;
    while (end < chars && list[end] != u'\0') ++end;
    if (end == at) return false;  // the empty string that ends the list
    if (isPackageHardwareId(std::u16string_view(list + at, end - at))) return true;
    at = end + 1;
  }
  return false;
}

}  // namespace card::setup
