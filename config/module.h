// The module-wide state of the UI module and the routines its entry points
// and property sheets share: opening printers, printer-data values, queries to
// the printer, the default settings file, the one-time security set-up, the
// tray client and message boxes.  One state per process; the spooler and
// applications call the module from one thread at a time, so nothing here is
// locked.
#pragma once

#include <windows.h>
#include <winspool.h>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "config/exchange.h"
#include "shared/job_settings.h"

namespace card::cfg {

constexpr size_t kPrinterNameChars = 256;
constexpr size_t kModelTextBytes = 256;

// Printer-data key of every value this module keeps.
#define CARDCFG_VALUE_KEY TEXT("PELLORVALUE_SETTING")

struct ModuleState {
  HINSTANCE instance = nullptr;
  HMODULE resources = nullptr;  // the message library, when it loaded
  // The job settings being edited; zero (no signature) until a merge or a
  // document sheet copies a record into it.
  JobSettingsRecord working{};
  // The DEVMODE being edited and its private part (set by the sheets).
  DEVMODEW *current = nullptr;
  JobSettingsRecord *currentRecord = nullptr;
  // The DEVMODE as a document sheet found it, for undo.
  CardDevmode snapshot{};
  HANDLE printer = nullptr;
  WCHAR printerName[kPrinterNameChars + 1] = {};
  char modelText[kModelTextBytes] = {};
};

ModuleState &state();

// Clears the state at attach: printer name and working settings copy.
void resetState(HINSTANCE instance);

// True when the working settings copy carries the record signature.
bool workingInitialised();

// ------------------------------------------------------------ system
// Windows 6.0 or later, by the registry's CurrentVersion text.
bool windowsSixOrLater();
// The exact Windows version text ("5.0", "6.1" ...) begins with `prefix`.
bool windowsVersionIs(const char *prefix);

// ------------------------------------------------------------ printers
// Opens a printer by name with the most access it grants (see the notes in
// module.cpp); NULL when no access works.
HANDLE openPrinterByName(LPCWSTR name);
// OpenPrinterW with default access.
HANDLE openPrinterPlain(LPCWSTR name);

// GetPrinterW / GetPrinterDriverW into a fresh buffer (size query, fetch).
// False with the spooler's last error.
bool printerInfo(HANDLE printer, DWORD level, std::vector<BYTE> &buffer);
bool driverInfo(HANDLE printer, DWORD level, std::vector<BYTE> &buffer);

// The printer's default DEVMODE when it is a whole card DEVMODE.
const DEVMODEW *usableDefault(const std::vector<BYTE> &printerInfo2);

// "PELLORVALUE_SETTING" DWORD values.
bool readValue(HANDLE printer, LPCWSTR name, DWORD &value);
bool writeValue(HANDLE printer, LPCWSTR name, DWORD value);

// ------------------------------------------------------------ the printer's answers
// Sends a query command; the reply's bytes (at most `capacity`) in `reply`.
// False when the printer gave no reply.
bool queryPrinter(HANDLE printer, std::string_view command, BYTE *reply, size_t capacity, size_t &length);

// The model text from the version reply, also kept in the state; empty when
// the printer did not answer.
const char *readModelText(HANDLE printer);

// Encoder and ribbon, as the card setup sheet asks for them when it opens.
PrinterEquipment queryEquipment(HANDLE printer);

// ------------------------------------------------------------ files
// Reads the first bytes of the driver's data file (the default settings
// file) into `out`.  `opened` tells whether the file opened; `length` how
// many bytes were read.
bool readDefaultSettingsFile(HANDLE printer, BYTE *out, size_t capacity, size_t &length, bool &opened);
// Whether the driver's data file opens for reading.
bool defaultSettingsFileOpens(HANDLE printer);

// ------------------------------------------------------------ one-time work
// Lets everyone manage documents and the printer (see module.cpp).
void initSecurity(LPCWSTR printerName);
// Starts the tray client in the console user's session.
void startTrayClient(LPCWSTR printerName);
// Warns when the print server's driver is of another version than this
// module.  Only for printers on a print server, before Windows 6.
void serverVersionCheck(HANDLE printer, const PRINTER_INFO_2W *info);

// ------------------------------------------------------------ messages
// Information box built from literal text.
int infoBox(HWND owner, LPCWSTR text);
// Error box whose caption and text come by number from the message library.
int errorBox(UINT captionId, UINT textId, UINT flags);

void debugPrint(LPCWSTR format, ...);

}  // namespace card::cfg
