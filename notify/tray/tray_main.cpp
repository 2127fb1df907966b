// notifytray's entry: replace a running instance, then run the hidden tray
// window until it closes.
#include <windows.h>

#include <atomic>
#include <new>

#include "notify/tray/tray.h"

using namespace card::notify;

namespace {

const WCHAR kCloseEventName[] = TEXT("Global\\PLCLOSEASYNCUI");
const WCHAR kInstanceMutexName[] = TEXT("Global\\notifytrayInstance");

// Waits on the close event from the start of the program, so that an
// instance started after this one finds a waiter that its signal wakes (an
// auto-reset event left signalled could instead wake the newer instance's
// own watcher).  The window may not exist yet when the signal comes: then
// the main thread closes it as soon as it is made.
struct CloseWatch {
  HANDLE event = nullptr;
  HANDLE waiting = nullptr;   // set when the watcher is about to wait
  std::atomic<int> users{2};  // the watcher and the thread that starts it
};

void letGo(CloseWatch *watch) {
  if (--watch->users > 0) return;
  if (watch->waiting) CloseHandle(watch->waiting);
  delete watch;
}

DWORD WINAPI closeWatcher(LPVOID param) {
  auto *watch = static_cast<CloseWatch *>(param);
  HANDLE event = watch->event;
  SetEvent(watch->waiting);
  letGo(watch);
  WaitForSingleObject(event, INFINITE);
  CloseHandle(event);
  tray.closeRequested = true;
  if (HWND window = tray.window.load()) SendMessageW(window, WM_CLOSE, 0, 0);
  return 0;
}

// Starts the watcher and gives it a moment to be waiting before the
// program goes on to show itself.
void startCloseWatcher() {
  constexpr DWORD kWatcherStartLimit = 1000;
  auto *watch = new (std::nothrow) CloseWatch;
  if (!watch) return;
  OpenSecurity security;
  watch->event = CreateEventW(&security.attributes, FALSE, FALSE, kCloseEventName);
  watch->waiting = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = watch->event && watch->waiting ? CreateThread(nullptr, 0, closeWatcher, watch, 0, nullptr) : nullptr;
  if (thread) {
    WaitForSingleObject(watch->waiting, kWatcherStartLimit);
    CloseHandle(thread);
  } else {
    if (watch->event) CloseHandle(watch->event);
    letGo(watch);
  }
  letGo(watch);
}

ATOM registerWindowClass(HINSTANCE instance) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = trayWindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconId));
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kWindowClass;
  wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconId), IMAGE_ICON, 16, 16, 0));
  return RegisterClassExW(&wc);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
  // A running instance closes when its close event is signalled.
  if (HANDLE running = OpenEventW(EVENT_MODIFY_STATE, FALSE, kCloseEventName)) {
    SetEvent(running);
    CloseHandle(running);
  }
  // The instance mutex tells the notification server the program runs; it
  // is held until the process ends.
  HANDLE created = nullptr;
  if (!OpenMutexW(MUTEX_ALL_ACCESS, FALSE, kInstanceMutexName)) {
    OpenSecurity security;
    created = CreateMutexW(&security.attributes, TRUE, kInstanceMutexName);
  }

  const TrayArguments arguments = parseTrayArguments(commandLine);
  if (arguments.start == TrayStart::KillProcess) {
    if (created) CloseHandle(created);
    return 1;
  }

  startCloseWatcher();

  registerWindowClass(instance);

  tray.commandLinePrinter[0] = 0;
  if (arguments.start == TrayStart::Printer) {
    for (size_t i = 0; i <= kCommandLinePrinterChars; ++i) tray.commandLinePrinter[i] = arguments.printer[i];
    startCommandLineRegistration();
  }

  HWND window = CreateWindowExW(0, kWindowClass, kWindowTitle, 0, 0, 0, 100, 100, nullptr, nullptr, instance, nullptr);
  if (!window) {
    MessageBoxW(nullptr, TEXT("Unable to create Window"), kWindowTitle,
                MB_ICONSTOP | MB_SYSTEMMODAL | MB_SETFOREGROUND | MB_TOPMOST);
    return 1;
  }

  // A close request that came while the window was being made.
  if (tray.closeRequested) PostMessageW(window, WM_CLOSE, 0, 0);

  MSG msg = {};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  UnregisterClassW(kWindowClass, instance);
  unloadResourceLibrary();
  return int(msg.wParam);
}
