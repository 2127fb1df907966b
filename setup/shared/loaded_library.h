// A system library loaded for one step and freed when the step ends, with
// its functions looked up by name (they may be missing on older systems).
#pragma once

#include <windows.h>

#include "setup/shared/wide_text.h"
#include "shared/proc_address.h"

namespace card::setup {

class LoadedLibrary {
 public:
  explicit LoadedLibrary(const WString &path) : module_(path.empty() ? nullptr : LoadLibraryW(path.c_str())) {}
  ~LoadedLibrary() {
    if (module_) FreeLibrary(module_);
  }
  LoadedLibrary(const LoadedLibrary &) = delete;
  LoadedLibrary &operator=(const LoadedLibrary &) = delete;

  explicit operator bool() const { return module_ != nullptr; }
  template <typename F>
  F function(const char *name) const {
    return module_ ? procAddress<F>(module_, name) : nullptr;
  }

 private:
  HMODULE module_;
};

}  // namespace card::setup
