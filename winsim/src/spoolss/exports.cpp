// The functions of spoolss.dll, the spooler's router, that winsim implements,
// for GetProcAddress: the services it offers print monitors and the printer
// calls it routes.
#include "core/internal.h"

namespace winsim {

namespace {

const char *const kSpoolss[] = {
    "AbortPrinter",
    "AddMonitorW",
    "AddPrinterDriverExW",
    "AddPrinterDriverW",
    "AddPrinterW",
    "ClosePrinter",
    "DeleteMonitorW",
    "DeletePrinter",
    "DeletePrinterDataExW",
    "DeletePrinterDataW",
    "DeletePrinterDriverW",
    "EndDocPrinter",
    "EndPagePrinter",
    "EnumPortsW",
    "EnumPrintersW",
    "GetJobW",
    "GetPrinterDataExW",
    "GetPrinterDataW",
    "GetPrinterDriverDirectoryW",
    "GetPrinterDriverW",
    "GetPrinterW",
    "ImpersonatePrinterClient",
    "OpenPrinterW",
    "RevertToPrinterSelf",
    "RouterCreatePrintAsyncNotificationChannel",
    "RouterRegisterForPrintAsyncNotifications",
    "RouterUnregisterForPrintAsyncNotifications",
    "SetJobW",
    "SetPrinterDataExW",
    "SetPrinterDataW",
    "SetPortW",
    "SetPrinterW",
    "StartDocPrinterW",
    "StartPagePrinter",
    "WritePrinter",
};
const ExportList kSpoolssList(u"spoolss.dll", kSpoolss);

}  // namespace

}  // namespace winsim
