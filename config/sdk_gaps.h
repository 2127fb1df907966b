// Declarations of the platform's SDK that the module needs for the functions
// it binds by name at run time (some exist only on newer systems, and binding
// by name keeps the module's import table to the libraries every system has),
// kept here with their documented layouts and values until the platform
// headers of both flavours carry them.
#pragma once

#include <windows.h>

namespace card::cfg {

// STARTUPINFOW of CreateProcessAsUserW.
struct StartupInfo {
  DWORD cb;
  LPWSTR lpReserved;
  LPWSTR lpDesktop;
  LPWSTR lpTitle;
  DWORD dwX, dwY, dwXSize, dwYSize, dwXCountChars, dwYCountChars, dwFillAttribute, dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  LPBYTE lpReserved2;
  HANDLE hStdInput, hStdOutput, hStdError;
};
// PROCESS_INFORMATION of CreateProcessAsUserW.
struct ProcessInformation {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
};
// PRINTER_OPTIONS of OpenPrinter2W.
struct PrinterOptions {
  UINT cbSize;
  DWORD dwFlags;
};
constexpr DWORD kPrinterOptionNoCache = 1;
// PRINTER_INFO_3: the printer's security descriptor.
struct PrinterSecurity {
  PSECURITY_DESCRIPTOR pSecurityDescriptor;
};

constexpr DWORD kMaximumAllowed = 0x02000000;
constexpr int kSecurityImpersonation = 2;
constexpr int kTokenPrimary = 1;
constexpr DWORD kCreateUnicodeEnvironment = 0x00000400;
constexpr DWORD kSddlRevision1 = 1;
constexpr UINT kMbOk = 0, kMbIconWarning = 0x30, kMbIconInformation = 0x40, kMbSystemModal = 0x1000,
               kMbSetForeground = 0x10000, kMbTopmost = 0x40000;

}  // namespace card::cfg
