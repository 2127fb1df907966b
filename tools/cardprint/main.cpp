// cardprint's process entry.  Windows hands the program its arguments as
// UTF-16 through wmain; the linux flavour's main turns the host's UTF-8
// arguments into the same form.  Messages go to the console the program runs
// in.
#include <windows.h>

#include <vector>

#include "tools/cardprint/cardprint.h"

#ifdef _WIN32

namespace {

class StdConsole : public cardprint::Console {
 public:
  void write(bool error, LPCWSTR text) override {
    HANDLE out = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
    const int length = lstrlenW(text);
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(out, &mode)) {
      WriteConsoleW(out, text, DWORD(length), &written, nullptr);
      return;
    }
    // Redirected to a file or a pipe: UTF-8, as other tools read it.
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return;
    std::vector<char> utf8(static_cast<size_t>(bytes));
    WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), bytes, nullptr, nullptr);
    WriteFile(out, utf8.data(), DWORD(bytes), &written, nullptr);
  }
};

}  // namespace

extern "C" int wmain(int argc, WCHAR **argv) {
  StdConsole console;
  return cardprint::cardPrintMain(argc, argv, console);
}

#else

#include <cstdio>

namespace {

class StdConsole : public cardprint::Console {
 public:
  void write(bool error, LPCWSTR text) override {
    const int length = lstrlenW(text);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return;
    std::vector<char> utf8(static_cast<size_t>(bytes));
    WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), bytes, nullptr, nullptr);
    std::fwrite(utf8.data(), 1, utf8.size(), error ? stderr : stdout);
  }
};

}  // namespace

int main(int argc, char **argv) {
  std::vector<std::vector<WCHAR> > args;
  std::vector<LPCWSTR> argw;
  for (int i = 0; i < argc; ++i) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, argv[i], -1, nullptr, 0);
    args.emplace_back(size_t(n > 0 ? n : 1), WCHAR(0));
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, argv[i], -1, args.back().data(), n);
  }
  for (auto &a : args) argw.push_back(a.data());
  StdConsole console;
  return cardprint::cardPrintMain(argc, argw.data(), console);
}

#endif
