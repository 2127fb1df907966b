// The batch files of winsim's command interpreter: labels and goto, del,
// if exist / if not exist / if errorlevel / if "a"=="b", exit, rem, echo
// (there is no console: echo shows nothing), %0-%9, %* and %NAME%.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace cmd {

// How many goto a batch may take before it is taken for a loop that never
// ends; it then stops with kStoppedExitCode and a line of debug output.
constexpr unsigned kGotoLimit = 100000;
// The exit code of a batch stopped from outside, as cmd's for an
// interrupted one (STATUS_CONTROL_C_EXIT).
constexpr DWORD kStoppedExitCode = 0xC000013A;
// Each goto waits this long (simulated milliseconds), so that a batch that
// waits in a loop for something leaves the processor to the rest.
constexpr DWORD kGotoPauseMs = 1;

class Batch {
 public:
  // `path` as the batch was named (%0), `arguments` %1 ... %9.
  Batch(std::u16string path, std::vector<std::u16string> arguments);
  // Runs it to its end: the exit code (the errorlevel at the end).
  DWORD run();

 private:
  // One command; false when the batch ends with it.
  bool execute(std::u16string line);
  bool runIf(const std::u16string &rest);
  bool runGoto(std::u16string label);
  void runDel(const std::u16string &rest);
  std::u16string expand(const std::u16string &line) const;
  // The file is read again while it runs: false when it is gone.
  bool stillThere() const;
  void load();

  std::u16string path_;
  std::u16string fullPath_;
  std::vector<std::u16string> arguments_;
  std::vector<std::u16string> lines_;
  size_t next_ = 0;
  unsigned gotos_ = 0;
  DWORD errorLevel_ = 0;
  bool stopped_ = false;
};

// The words of a command's rest: quoted words keep their blanks (not their
// quotes).
std::vector<std::u16string> splitWords(const std::u16string &text);
bool isBatchFile(const std::u16string &name);

}  // namespace cmd
