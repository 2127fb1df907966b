// The demo's command line: what it asks for, checked whole before any folder
// is touched, and the usage text.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "emulator/include/cardemu/printer.h"
#include "tools/carddemo/machine.h"
#include "tools/cardprint/options.h"

namespace carddemo {

struct Picture {
  size_t argument;  // index among cardprint's arguments of the one that names it
  fs::path host;
  std::u16string option;  // what comes before the name in that argument ("--front=" or nothing)
  std::u16string virt;    // where it is put on the machine's drive
};

// Everything the command line asks for, checked whole before any folder is
// touched.
struct DemoSetup {
  fs::path out;
  fs::path machine;                  // by default beside the program
  std::vector<std::u16string> args;  // cardprint's command line
  cardprint::PrintOptions options;
  std::vector<Picture> pictures;
  bool fault = false;
  cardemu::FaultChoice faultChoice;
  bool userCancels = false;
  bool network = false;
  bool uninstall = false;
  const char16_t *printerName() const { return network ? kNetPrinterName : kPrinterName; }
};

// 0: go on; otherwise the exit status, negative when only the help was
// asked for (and shown).
int parseCommandLine(int argc, char **argv, DemoSetup &d);

}  // namespace carddemo
