// A windowed program for the process tests.  The first word after the
// program's name says what it does; the tests read back its exit code, the
// file it writes and the objects it makes.
//   exit N         returns N from wWinMain
//   globals        counts a global up and returns it (1 in a fresh process)
//   echo           writes what it was started with to C:\Windows\Temp\echo.txt
//   wait NAME      owns a mutex NAME, signals "Global\\testprogReady", waits forever
//   sleep NAME     the same, then sleeps forever
//   exitthread N   a second thread calls ExitProcess(N) while the first waits
//   resource       returns 100 + the length of its own string resource 1
//   env NAME       returns the length of the variable NAME (1000: unset)
#include <windows.h>

#include <string>

namespace {

int g_counter = 0;

std::u16string wordAt(const std::u16string &line, size_t index) {
  size_t i = 0;
  for (size_t n = 0;; ++n) {
    while (i < line.size() && line[i] == u' ') ++i;
    size_t end = line.find(u' ', i);
    if (end == std::u16string::npos) end = line.size();
    if (n == index) return line.substr(i, end - i);
    if (end == line.size()) return std::u16string();
    i = end;
  }
}

int number(const std::u16string &s) {
  int v = 0;
  for (char16_t c : s) v = v * 10 + (c - u'0');
  return v;
}

void signalReady() {
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, u"Global\\testprogReady");
  SetEvent(ready);
}

DWORD WINAPI exitFromThread(LPVOID code) {
  Sleep(10);
  ExitProcess(UINT(reinterpret_cast<UINT_PTR>(code)));
}

void writeEcho(LPWSTR cmdLine, int show) {
  std::u16string text = cmdLine;
  text += u"\n";
  text += GetCommandLineW();
  text += u"\n";
  WCHAR path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  text += std::u16string(path, n);
  text += u"\n";
  std::string s = std::to_string(show);
  text += std::u16string(s.begin(), s.end());
  text += u"\n";
  s = std::to_string(GetCurrentProcessId());
  text += std::u16string(s.begin(), s.end());
  HANDLE f = CreateFileW(u"C:\\Windows\\Temp\\echo.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(f, text.data(), DWORD(text.size() * sizeof(char16_t)), &written, nullptr);
  CloseHandle(f);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR cmdLine, int show) {
  std::u16string line = cmdLine;
  std::u16string mode = wordAt(line, 0);
  if (mode == u"exit") return number(wordAt(line, 1));
  if (mode == u"globals") return ++g_counter;
  if (mode == u"echo") {
    writeEcho(cmdLine, show);
    return 0;
  }
  if (mode == u"wait" || mode == u"sleep") {
    CreateMutexW(nullptr, TRUE, wordAt(line, 1).c_str());
    HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    signalReady();
    if (mode == u"wait")
      WaitForSingleObject(never, INFINITE);
    else
      Sleep(INFINITE);
    return 99;
  }
  if (mode == u"exitthread") {
    HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CreateThread(nullptr, 0, exitFromThread, reinterpret_cast<LPVOID>(UINT_PTR(number(wordAt(line, 1)))), 0, nullptr);
    WaitForSingleObject(never, INFINITE);
    return 98;
  }
  if (mode == u"resource") {
    WCHAR text[64];
    int n = LoadStringW(instance, 1, text, 64);
    return GetModuleHandleW(nullptr) == instance ? 100 + n : 1;
  }
  if (mode == u"env") {
    WCHAR value[256];
    DWORD n = GetEnvironmentVariableW(wordAt(line, 1).c_str(), value, 256);
    return n ? int(n) : 1000;
  }
  return 97;
}
