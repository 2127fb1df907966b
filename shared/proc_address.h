// Typed lookup of a function in a module loaded at run time.
#pragma once

#include <windows.h>

namespace card {

// The detour through a plain function pointer keeps the compiler's check of
// incompatible function casts quiet, as the loader's answer has no real type.
template <typename F>
F procAddress(HMODULE module, const char *name) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace card
