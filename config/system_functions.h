// Functions of the system that the module binds when it needs them: some
// exist only on newer systems, and binding by name keeps the module's import
// table to the libraries every system has.
#pragma once

#include <windows.h>

#include "shared/proc_address.h"

namespace card::cfg {

// The function `name` of the system library `library` (loaded when it is not
// yet), or NULL.
template <typename F>
F systemFunction(LPCWSTR library, const char *name) {
  HMODULE m = GetModuleHandleW(library);
  if (!m) m = LoadLibraryW(library);
  return m ? procAddress<F>(m, name) : nullptr;
}

}  // namespace card::cfg
