// A DLL for rundll32's tests, written as old clean-up libraries are, with
// the 8-bit calls:
//   Record / RecordW      write "A:" or "W:" and the argument string to
//                         C:\Windows\Temp\rundll.txt (in the code page)
//   AnsiOnly              the same, with no wide form beside it
//   SelfDelete            writes SelfDel.bat into the temp folder, a loop that
//                         deletes this DLL once it can and then itself, and
//                         starts it hidden
#include <windows.h>

#include <shellapi.h>

#include <string>

namespace {

void record(const std::string &text) {
  HANDLE f = CreateFileA("C:\\Windows\\Temp\\rundll.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(f, text.data(), DWORD(text.size()), &written, nullptr);
  CloseHandle(f);
}

std::string ansi(LPCWSTR text) {
  int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.pop_back();
  return out;
}

}  // namespace

extern "C" WINSIM_API void WINAPI Record(HWND, HINSTANCE, LPSTR args, int) { record(std::string("A:") + args); }
extern "C" WINSIM_API void WINAPI RecordW(HWND, HINSTANCE, LPWSTR args, int) { record("W:" + ansi(args)); }
extern "C" WINSIM_API void WINAPI AnsiOnly(HWND, HINSTANCE, LPSTR args, int show) {
  record(std::string("A:") + args + ":" + std::to_string(show));
}

extern "C" WINSIM_API void WINAPI SelfDelete(HWND, HINSTANCE instance, LPSTR, int) {
  char self[MAX_PATH];
  GetModuleFileNameA(instance, self, MAX_PATH);
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string bat = std::string(temp) + "SelfDel.bat";
  std::string text = "@echo off\r\n:Repeat\r\ndel \"" + std::string(self) + "\"\r\nif exist \"" + self +
                     "\" goto Repeat\r\ndel \"" + bat + "\"\r\n";
  HANDLE f = CreateFileA(bat.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(f, text.data(), DWORD(text.size()), &written, nullptr);
  CloseHandle(f);
  ShellExecuteA(nullptr, "open", bat.c_str(), nullptr, nullptr, SW_HIDE);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
