// The USB road installed and removed the way the package's installer does it:
// the package laid out in C:\Setup, the installer library loaded from there
// and its exports called by name, one step at a time, each step and its
// result said on the console for the people watching.
#pragma once

#include <winsim/testing.h>

#include <memory>
#include <string>

namespace carddemo {

inline constexpr char16_t kSetupFolder[] = u"C:\\Setup";

// The machine's own rundll32.exe and cmd.exe in its system folder: a reset
// puts them on the drive it starts with, not on the one named after it.
bool putSystemPrograms(std::string &problem);

// The installer library, loaded from the setup folder for the machine's
// whole run: the uninstall calls it again after printing.  The machine's
// reset unloads it with everything else.
class Installer {
 public:
  Installer() = default;
  Installer(const Installer &) = delete;
  Installer &operator=(const Installer &) = delete;

  // The package's files in C:\Setup and the library loaded from there.
  bool layOut(std::string &problem);
  // The installer's steps for the USB printer; `device` is plugged into
  // USB001 before the printer is added on it.  `ribbonId` is the ribbon
  // chosen for the demo (cardprint's numbering; unset: the printer's), which
  // goes into the driver's default settings file.
  bool install(std::shared_ptr<winsim::UsbDevice> device, int ribbonId, std::string &problem);
  // Every printer of the package, the driver store's copy, the RunOnce
  // entry of the clean-up, the printer unplugged, the library let go and
  // the setup folder deleted.
  bool uninstall(std::string &problem);
  // Lets the library go, as the installer does when it ends.
  void release();

 private:
  template <typename F>
  F exported(const char *name, std::string &problem);
  HMODULE module_ = nullptr;
};

// After an update the installer runs "rundll32 verstamp.dll,UpdateVersionInfo";
// the version text found at its place in the printer's default settings
// afterwards (empty when they have none).
bool stampVersion(std::u16string &stamp, std::string &problem);

}  // namespace carddemo
