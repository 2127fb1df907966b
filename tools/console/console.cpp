#include "tools/console/console.h"

#include <string>
#include <vector>

#ifndef _WIN32
#include <cstdio>
#endif

namespace cardtools {

namespace {

std::vector<char> utf8(LPCWSTR text, int length) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::vector<char> out(static_cast<size_t>(bytes > 0 ? bytes : 0));
  if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), bytes, nullptr, nullptr);
  return out;
}

}  // namespace

#ifdef _WIN32

void StdConsole::write(bool error, LPCWSTR text) {
  HANDLE out = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  const int length = lstrlenW(text);
  DWORD mode = 0, written = 0;
  if (GetConsoleMode(out, &mode)) {
    WriteConsoleW(out, text, DWORD(length), &written, nullptr);
    return;
  }
  const std::vector<char> bytes = utf8(text, length);
  if (!bytes.empty()) WriteFile(out, bytes.data(), DWORD(bytes.size()), &written, nullptr);
}

#else

void StdConsole::write(bool error, LPCWSTR text) {
  const std::vector<char> bytes = utf8(text, lstrlenW(text));
  std::fwrite(bytes.data(), 1, bytes.size(), error ? stderr : stdout);
}

int runWithWideArguments(int argc, char **argv, ProgramMain program) {
  std::vector<std::vector<WCHAR> > args;
  std::vector<LPCWSTR> argw;
  for (int i = 0; i < argc; ++i) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, argv[i], -1, nullptr, 0);
    args.emplace_back(size_t(n > 0 ? n : 1), WCHAR(0));
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, argv[i], -1, args.back().data(), n);
  }
  for (auto &a : args) argw.push_back(a.data());
  StdConsole console;
  return program(argc, argw.data(), console);
}

#endif

}  // namespace cardtools
