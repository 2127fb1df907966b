// notifytray's pieces and the state they share.
#pragma once

#include <windows.h>

#include <atomic>

#include "notify/tray_rules.h"

namespace card::notify {

constexpr int kIconId = 101;
constexpr UINT kCommandAbout = 2000;
constexpr UINT kCommandExit = 2001;
constexpr UINT kTrayCallbackMessage = 0x8000;
constexpr UINT kAfterMenuMessage = 0x8001;

extern const WCHAR kWindowClass[];
extern const WCHAR kWindowTitle[];

// Process-wide state.  The window, the About-box flag and the loading of the
// resource library belong to the main thread; message threads read the
// window and the library.
struct TrayState {
  std::atomic<HWND> window{nullptr};
  std::atomic<HMODULE> resources{nullptr};
  bool aboutOpen = false;
  std::atomic<bool> closeRequested{false};  // another instance asked this one to close
  WCHAR commandLinePrinter[kCommandLinePrinterChars + 1] = {};
};
extern TrayState tray;

LRESULT CALLBACK trayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void unloadResourceLibrary();

// Registration for the package's printers.
void startPrinterRegistrations();
bool startCommandLineRegistration();

// Security of the program's named objects: everyone may open them.
struct OpenSecurity {
  SECURITY_DESCRIPTOR descriptor;
  SECURITY_ATTRIBUTES attributes;
  OpenSecurity();
};

}  // namespace card::notify
