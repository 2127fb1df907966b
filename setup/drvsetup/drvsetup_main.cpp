// drvsetup: a program without a window that the installer runs as
// "drvsetup.exe <file>,<command>".  It shows nothing and writes no log: its
// exit code, which does not tell success from failure, is all it returns.
#include <windows.h>

#include "setup/drvsetup/package_commands.h"
#include "setup/shared/drvsetup_command.h"
#include "setup/shared/usb_devices.h"
#include "setup/shared/wide_text.h"

using namespace card::setup;

namespace {

bool fileExists(const WString &path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int) {
  DrvsetupCommand command = parseDrvsetupCommand(u16(commandLine));
  WString file = wide(command.file);
  switch (command.action) {
    case DrvsetupAction::InstallPackage:
      if (fileExists(file)) installPackage(file);
      break;
    case DrvsetupAction::UninstallPackage:
      if (fileExists(file)) uninstallPackage(file);
      break;
    case DrvsetupAction::DeleteUsbPrintEntries: removeUsbPrintDevices(); break;
    case DrvsetupAction::None: break;
  }
  return command.exitCode;
}
