// The conformance suite on winsim: a fresh simulated machine, with the driver
// modules beside the program on the virtual drive, as the Windows build puts
// them beside the .exe.
#include <winsim/testing.h>

#include <cstdio>
#include <filesystem>

#include "check.h"

int main() {
  winsim::resetMachine();
  winsim::setProcessImageName(u"winsim_conformance.exe");
  const std::pair<const char *, const char16_t *> modules[] = {
      {CONF_DRIVER_MODULE, u"C:\\Windows\\system32\\confdrv.dll"},
      {CONF_UI_MODULE, u"C:\\Windows\\system32\\confui.dll"}};
  for (const auto &[host, place] : modules) {
    std::error_code ec;
    std::filesystem::copy_file(host, winsim::hostPath(place), std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) {
      std::printf("cannot place %s: %s\n", host, ec.message().c_str());
      return 2;
    }
  }
  int rc = conf::runAll();
  // The spooler's threads end before the program does.
  winsim::resetMachine();
  return rc;
}
