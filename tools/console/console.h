// What the package's console programs share: where their messages go, and
// their process entry.  Windows hands a program its arguments as UTF-16
// through wmain; the linux flavour's main turns the host's UTF-8 arguments
// into the same form, so that the programs' own code is one in both.
#pragma once

#include <windows.h>

namespace cardtools {

// Where a program's messages go: the user's console, or a test's buffer.
class Console {
 public:
  virtual void write(bool error, LPCWSTR text) = 0;

 protected:
  ~Console() = default;
};

// The process's standard output and error: the console's own wide text when
// it is one, UTF-8 when redirected to a file or a pipe.
class StdConsole final : public Console {
 public:
  void write(bool error, LPCWSTR text) override;
};

using ProgramMain = int (*)(int argc, LPCWSTR const *argv, Console &console);

#ifndef _WIN32
// The linux flavour's entry: the host's UTF-8 arguments as UTF-16.
int runWithWideArguments(int argc, char **argv, ProgramMain program);
#endif

}  // namespace cardtools
