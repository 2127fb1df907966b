#include "setup/shared/drvsetup_command.h"

#include "setup/shared/package_names.h"

namespace card::setup {

DrvsetupCommand parseDrvsetupCommand(std::u16string_view commandLine) {
  DrvsetupCommand command;
  size_t comma = commandLine.find_last_of(u',');
  if (comma == std::u16string_view::npos) return command;
  std::u16string_view file = commandLine.substr(0, comma);
  std::u16string_view word = commandLine.substr(comma + 1);
  if (file.empty() || file == u" ") return command;
  command.exitCode = 1;
  if (file.size() > kDrvsetupFileChars) return command;
  command.file = std::u16string(file);
  if (equalsAsciiNoCase(word, u"InstallPackage"))
    command.action = DrvsetupAction::InstallPackage;
  else if (equalsAsciiNoCase(word, u"UnInstallPackage"))
    command.action = DrvsetupAction::UninstallPackage;
  else if (equalsAsciiNoCase(word, u"DeleteUSBPrintEntries"))
    command.action = DrvsetupAction::DeleteUsbPrintEntries;
  return command;
}

}  // namespace card::setup
