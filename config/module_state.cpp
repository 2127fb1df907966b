#include "config/module_state.h"

#include <cstring>

namespace card::cfg {

namespace {

ModuleState g_state;

}  // namespace

ModuleState &state() { return g_state; }

void resetState(HINSTANCE instance) {
  HMODULE resources = g_state.resources;
  std::memset(&g_state.working, 0, sizeof g_state.working);
  std::memset(&g_state.snapshot, 0, sizeof g_state.snapshot);
  std::memset(g_state.printerName, 0, sizeof g_state.printerName);
  std::memset(g_state.modelText, 0, sizeof g_state.modelText);
  g_state.current = nullptr;
  g_state.currentRecord = nullptr;
  g_state.printer = nullptr;
  g_state.instance = instance;
  g_state.resources = resources;
}

bool workingInitialised() { return g_state.working.signature == kRecordSignature; }

}  // namespace card::cfg
