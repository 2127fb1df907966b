#include "tests/support/notify_standin.h"

#include <winspool.h>
#include <winsim/testing.h>

#include <filesystem>

namespace card::test {

std::u16string notificationServerPath() {
  WCHAR dir[MAX_PATH] = {};
  DWORD needed = 0;
  if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(dir), sizeof dir, &needed)) return {};
  return std::u16string(dir) + u"\\3\\notifysrv.dll";
}

bool installNotificationStandIn() {
  std::u16string target = notificationServerPath();
  if (target.empty()) return false;
  std::string host = winsim::hostPath(target);
  if (host.empty()) return false;
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(host).parent_path(), ec);
  return std::filesystem::copy_file(NOTIFYSRV_STANDIN_DLL, host, std::filesystem::copy_options::overwrite_existing, ec);
}

}  // namespace card::test
