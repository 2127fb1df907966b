// The demo's printer tools: once the card is out, cardtool asks the printer
// for its version, sends it a file of commands and downloads a firmware
// image, through the same driver, spooler and monitor as the card.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace carddemo {

struct ToolsRun {
  std::vector<std::string> said;  // what cardtool printed, one entry per call, after its command line
  bool ok = false;                // every call ended with exit status 0
};

// What the operator does at the printer around the cleaning: the ribbon out
// before it (the printer cleans only without one), back in after it.
struct Operator {
  std::function<void()> takeRibbonOut, putRibbonBack;
};

// cardtool run with `args` (its own name first) on the machine; its exit
// status, with what it printed added to `said`.
int runCardtool(const std::vector<std::u16string> &args, std::string &said);

// Runs the tools on `printerName`, whose driver the installer gave its
// configuration module.  False with `problem` when the machine could not be
// prepared; a tool that fails is in the result.
bool runPrinterTools(const char16_t *printerName, const Operator &person, ToolsRun &run, std::string &problem);

}  // namespace carddemo
