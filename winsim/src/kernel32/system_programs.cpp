// winsim's own programs of the simulated machine (rundll32.exe, cmd.exe),
// built beside libwinsim, are put into the system folder of every new drive
// (a machine reset's, or one a test names), as every Windows installation
// has them.
#include <dlfcn.h>

#include <filesystem>

#include "core/internal.h"

namespace winsim {

namespace {

const char *const kPrograms[] = {"rundll32.exe", "cmd.exe"};

std::filesystem::path libraryFolder() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void *>(&libraryFolder), &info) || !info.dli_fname) return {};
  return std::filesystem::path(info.dli_fname).parent_path();
}

void installPrograms() {
  static const std::filesystem::path folder = libraryFolder();
  for (const char *program : kPrograms) {
    std::filesystem::path host = folder / program;
    std::error_code ec;
    if (!std::filesystem::exists(host, ec)) continue;
    copyToDrive(host.string(), u"C:\\Windows\\system32\\" + toUtf16(program));
  }
}

const DriveStep kInstallPrograms(installPrograms);

}  // namespace

}  // namespace winsim
