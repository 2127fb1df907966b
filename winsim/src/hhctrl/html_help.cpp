// HTML Help ("hhctrl.ocx"): every call is recorded for the tests; showing a
// topic of a compiled help file that is on the drive opens a help window
// (one per file, shown again for the next topic), anything else opens
// nothing and returns NULL, as a missing file does on Windows.
#include <htmlhelp.h>

#include <map>
#include <vector>

#include <winsim/testing.h>

#include "core/internal.h"
#include "kernel32/threads.h"

namespace winsim {

namespace {

const WCHAR kHelpClass[] = u"HH Parent";

// Guarded by the wait lock.
struct HelpState {
  std::vector<HtmlHelpCall> calls;
  std::map<std::u16string, HWND> windows;  // by the file's upper-case full path
};

HelpState &state() {
  static auto *s = new HelpState;  // kept past static destruction
  return *s;
}

void clearHelp() {
  std::lock_guard<std::mutex> g(waitLock());
  state().calls.clear();
  state().windows.clear();
}

const ResetStep kClearHelp(kResetKernel + 40, clearHelp);

LRESULT CALLBACK helpWindowProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(h, msg, wParam, lParam);
}

// The compiled help file a file argument names: "file.chm",
// "file.chm::/topic.htm" or "file.chm>window".
std::u16string helpFileOf(const std::u16string &arg) {
  size_t end = std::min(arg.find(u"::"), arg.find(u'>'));
  return arg.substr(0, end);
}

bool endsWithChm(const std::u16string &path) {
  return path.size() > 4 && equalsNoCase(path.substr(path.size() - 4), u".chm");
}

HWND showTopic(const std::u16string &file, HWND caller) {
  std::u16string chm = helpFileOf(file);
  if (!endsWithChm(chm)) return nullptr;
  DWORD attributes = GetFileAttributesW(chm.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return nullptr;
  WCHAR full[MAX_PATH] = {};
  if (!GetFullPathNameW(chm.c_str(), MAX_PATH, full, nullptr)) return nullptr;
  std::u16string key = upper(fromW(full));
  HWND existing = nullptr;
  {
    std::lock_guard<std::mutex> g(waitLock());
    auto it = state().windows.find(key);
    if (it != state().windows.end()) existing = it->second;
  }
  if (existing && IsWindow(existing)) {
    ShowWindow(existing, SW_SHOW);
    return existing;
  }
  HINSTANCE module = GetModuleHandleW(u"hhctrl.ocx");
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = helpWindowProc;
  wc.hInstance = module;
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kHelpClass;
  RegisterClassExW(&wc);  // already there after the first window of the process
  std::u16string title = key.substr(key.find_last_of(u'\\') + 1);
  (void)caller;  // the help window has no owner: it stays when the caller goes
  HWND h = CreateWindowExW(0, kHelpClass, title.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 100, 100, 640,
                           480, nullptr, nullptr, module, nullptr);
  if (!h) return nullptr;
  std::lock_guard<std::mutex> g(waitLock());
  state().windows[key] = h;
  return h;
}

void closeAll() {
  std::vector<HWND> open;
  {
    std::lock_guard<std::mutex> g(waitLock());
    for (auto &w : state().windows) open.push_back(w.second);
    state().windows.clear();
  }
  for (HWND h : open)
    if (IsWindow(h)) DestroyWindow(h);
}

}  // namespace

std::vector<HtmlHelpCall> htmlHelpCalls() {
  std::lock_guard<std::mutex> g(waitLock());
  return state().calls;
}

}  // namespace winsim

using namespace winsim;

extern "C" {

HWND WINAPI HtmlHelpW(HWND hwndCaller, LPCWSTR pszFile, UINT uCommand, DWORD_PTR dwData) {
  HtmlHelpCall call;
  call.caller = hwndCaller;
  call.file = pszFile ? fromW(pszFile) : std::u16string();
  call.command = uCommand;
  call.data = dwData;
  call.threadId = currentTid();
  switch (uCommand) {
    case HH_DISPLAY_TOPIC: call.result = showTopic(call.file, hwndCaller); break;
    case HH_CLOSE_ALL: closeAll(); break;
    default: break;
  }
  std::lock_guard<std::mutex> g(waitLock());
  state().calls.push_back(call);
  return call.result;
}

}  // extern "C"
