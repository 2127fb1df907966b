#include "setup/shared/inf_marker.h"

namespace card::setup {

bool isPackageMarkerLine(std::u16string_view lineText) {
  return lineText.find(kMarkerText) != std::u16string_view::npos;
}

std::u16string precompiledInfName(std::u16string_view infName) {
  size_t dot = infName.find_last_of(u'.');
  if (dot == std::u16string_view::npos || dot + 1 >= infName.size() ||
      infName.find_first_of(u"\\/", dot) != std::u16string_view::npos)
    return {};
  std::u16string name(infName);
  name[dot + 1] = u'p';
  return name;
}

}  // namespace card::setup
