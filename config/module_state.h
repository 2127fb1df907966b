// The module-wide state of the UI module.  One state per process; the spooler
// and applications call the module from one thread at a time, so nothing here
// is locked.
#pragma once

#include <windows.h>

#include <cstddef>

#include "shared/job_settings.h"

namespace card::cfg {

constexpr size_t kPrinterNameChars = 256;
constexpr size_t kModelTextBytes = 256;

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

}  // namespace card::cfg
