#include "config/server_version_check.h"

#include "config/exchange.h"
#include "config/messages.h"
#include "config/printer_queries.h"
#include "config/windows_version.h"
#include "shared/status_commands.h"

namespace card::cfg {

void serverVersionCheck(HANDLE printer, const PRINTER_INFO_2W *info) {
  if (!info || !info->pServerName || !*info->pServerName || windowsSixOrLater()) return;
  BYTE reply[64];
  size_t n = 0;
  if (!queryPrinter(printer, status::kQueryFileVersion, reply, sizeof reply, n) || n == 0) return;
  char version[64];
  modelTextFromReply(reply, n, version, sizeof version);
  if (version == status::kAnswerFileVersion) return;
  warningBox(
      TEXT("The Server driver version has changed,\nPlease delete and reinstall the shared printer on this computer\n"
           "Continuing with older versions may have undesireable result"),
      TEXT("Pellor Standard Printer"));
}

}  // namespace card::cfg
