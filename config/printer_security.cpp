#include "config/printer_security.h"

#include <winspool.h>

#include <vector>

#include "config/messages.h"
#include "config/printer_access.h"
#include <sddl.h>
#include "config/system_functions.h"

namespace card::cfg {

namespace {

using StringToSecurityDescriptorFn = BOOL(WINAPI *)(LPCWSTR, DWORD, PSECURITY_DESCRIPTOR *, PULONG);

// The printer's new security descriptor, made from its text form (LocalFree
// frees it); false when it cannot be made.
bool everyoneManages(PSECURITY_DESCRIPTOR &sd) {
  auto convert = systemFunction<StringToSecurityDescriptorFn>(TEXT("advapi32.dll"),
                                                              "ConvertStringSecurityDescriptorToSecurityDescriptorW");
  sd = nullptr;
  if (!convert) SetLastError(ERROR_PROC_NOT_FOUND);
  if (!convert ||
      !convert(TEXT("D:(A;CIIO;RC;;;CO)(A;OIIO;GA;;;CO)(A;;LCSWSDRCWDWO;;;WD)(A;CIIO;GX;;;WD)(A;;LCSWSDRCWDWO;;;BA)"
                    "(A;OICIIO;GA;;;BA)(A;;LCSWSDRCWDWO;;;PU)(A;OICIIO;GA;;;PU)"),
               SDDL_REVISION_1, &sd, nullptr)) {
    debugPrint(TEXT("InitSecurity: ConvertStringSecurityDescriptorToSecurityDescriptor() failed:%d"),
               int(GetLastError()));
    return false;
  }
  return true;
}

}  // namespace

// Everyone may manage documents and the printer: card printers are shared by
// the people at a desk, who pause, resume and cancel each other's cards.
void initSecurity(LPCWSTR printerName) {
  HANDLE h = openPrinterPlain(printerName);
  if (!h) h = openPrinterByName(printerName);
  if (!h) {
    debugPrint(TEXT("InitSecurity: GetPrinter() failed:%d"), int(GetLastError()));
    return;
  }
  std::vector<BYTE> info;
  if (!printerInfo(h, 3, info)) {
    debugPrint(TEXT("InitSecurity: GetPrinter() failed:%d"), int(GetLastError()));
    ClosePrinter(h);
    return;
  }
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!everyoneManages(sd)) {
    ClosePrinter(h);
    return;
  }
  PRINTER_INFO_3 security{sd};
  if (!SetPrinterW(h, 3, reinterpret_cast<BYTE *>(&security), 0))
    debugPrint(TEXT("InitSecurity: SetPrinter() failed:%d"), int(GetLastError()));
  LocalFree(sd);
  ClosePrinter(h);
}

}  // namespace card::cfg
