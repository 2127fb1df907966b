#include "setup/shared/purge_lists.h"

namespace card::setup {

std::u16string subkeyPath(std::u16string_view parent, std::u16string_view name) {
  if (parent.empty() || name.empty() || name.find(u'\\') != std::u16string_view::npos) return {};
  std::u16string path(parent);
  path += u'\\';
  path += name;
  return path;
}

std::u16string driversKeyPath(bool sixtyFourBitSystem) {
  std::u16string path = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\";
  path += sixtyFourBitSystem ? u"Windows x64" : u"Windows NT x86";
  path += u"\\Drivers\\Version-3";
  return path;
}

}  // namespace card::setup
