// The functions of winspool.drv that winsim implements, for GetProcAddress.
#include "core/internal.h"

namespace winsim {

namespace {

const char *const kWinspool[] = {
    "AbortPrinter",
    "AddMonitorW",
    "AddPrinterDriverExW",
    "AddPrinterDriverW",
    "AddPrinterW",
    "ClosePrinter",
    "CreatePrintAsyncNotifyChannel",
    "DeleteMonitorA",
    "DeleteMonitorW",
    "DeletePrinter",
    "DeletePrinterDataExW",
    "DeletePrinterDataW",
    "DeletePrinterDriverExA",
    "DeletePrinterDriverExW",
    "DeletePrinterDriverW",
    "DocumentPropertiesW",
    "EndDocPrinter",
    "EndPagePrinter",
    "EnumPortsW",
    "EnumPrinterDriversA",
    "EnumPrinterDriversW",
    "EnumPrintersA",
    "EnumPrintersW",
    "GetJobW",
    "GetPrinterDataExW",
    "GetPrinterDataW",
    "GetPrinterDriverDirectoryA",
    "GetPrinterDriverDirectoryW",
    "GetPrinterDriverW",
    "GetPrinterW",
    "OpenPrinter2W",
    "OpenPrinterA",
    "OpenPrinterW",
    "PrinterProperties",
    "RegisterForPrintAsyncNotifications",
    "SetJobW",
    "SetPrinterDataExW",
    "SetPrinterDataW",
    "SetPortW",
    "SetPrinterW",
    "StartDocPrinterW",
    "StartPagePrinter",
    "UnRegisterForPrintAsyncNotifications",
    "WritePrinter",
    "XcvDataW",
};
const ExportList kWinspoolList(u"winspool.drv", kWinspool);

}  // namespace

}  // namespace winsim
