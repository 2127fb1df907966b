// cmd.exe of the simulated machine, enough for the batch files programs
// start: "cmd /c command" runs the command, a batch file (.bat, .cmd) by
// winsim's batch interpreter or a program as CreateProcessW starts it, and
// ends with its exit code.  Without /c there is nothing to do: no console.
#include <windows.h>

#include <string>
#include <vector>

#include "winsim/programs/cmd/batch.h"

namespace {

bool isBlank(char16_t c) { return c == u' ' || c == u'\t'; }

bool isSwitch(const std::u16string &line, size_t at, char16_t letter) {
  return at + 1 < line.size() && line[at] == u'/' && (line[at + 1] == letter || line[at + 1] == letter - 32) &&
         (at + 2 == line.size() || isBlank(line[at + 2]));
}

// cmd's rule for the quotes of the line after /c: the first quote and the
// last go, unless the line is exactly one quoted name of an existing file
// with a blank in it.
std::u16string commandAfterSwitch(const std::u16string &rest) {
  size_t quotes = 0;
  for (char16_t c : rest) quotes += c == u'"';
  if (quotes == 2 && rest.front() == u'"' && rest.back() == u'"') {
    std::u16string inner = rest.substr(1, rest.size() - 2);
    if (inner.find_first_of(u" \t") != std::u16string::npos &&
        inner.find_first_of(u"&<>()@^|") == std::u16string::npos &&
        GetFileAttributesW(inner.c_str()) != INVALID_FILE_ATTRIBUTES)
      return rest;
  }
  if (rest.empty() || rest.front() != u'"') return rest;
  size_t last = rest.find_last_of(u'"');
  return rest.substr(1, last - 1) + rest.substr(last + 1);
}

DWORD runProgram(const std::u16string &command) {
  std::u16string line = command;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 9009;
  CloseHandle(pi.hThread);
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  return code;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR cmdLine, int) {
  std::u16string line = cmdLine ? cmdLine : u"";
  size_t i = 0;
  for (;;) {
    while (i < line.size() && isBlank(line[i])) ++i;
    if (isSwitch(line, i, u'c')) break;
    // The switches that may come before /c (/d /q /s ...) change nothing here.
    if (i + 1 < line.size() && line[i] == u'/') {
      while (i < line.size() && !isBlank(line[i])) ++i;
      continue;
    }
    return 0;
  }
  i += 2;
  while (i < line.size() && isBlank(line[i])) ++i;
  std::u16string command = commandAfterSwitch(line.substr(i));
  std::vector<std::u16string> words = cmd::splitWords(command);
  if (words.empty()) return 0;
  if (!cmd::isBatchFile(words[0])) return int(runProgram(command));
  if (GetFileAttributesW(words[0].c_str()) == INVALID_FILE_ATTRIBUTES) {
    OutputDebugStringW((u"cmd.exe: The system cannot find the path specified: " + words[0]).c_str());
    return 1;
  }
  cmd::Batch batch(words[0], std::vector<std::u16string>(words.begin() + 1, words.end()));
  return int(batch.run());
}
