// The hidden tray window: its icon in the notification area, the icon's
// menu, and the resource library that holds the messages' texts.
#include <windows.h>

#include <shellapi.h>
#include <strsafe.h>

#include "notify/tray/tray.h"

namespace card::notify {

const WCHAR kWindowClass[] = TEXT("Pellor AsyncUI Tray Icon");
const WCHAR kWindowTitle[] = TEXT("Pellor AsyncUI Client");

TrayState tray;

OpenSecurity::OpenSecurity() : descriptor(), attributes() {
  // No access list at all: everyone may open the object.
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
  attributes.nLength = sizeof attributes;
  attributes.lpSecurityDescriptor = &descriptor;
  attributes.bInheritHandle = TRUE;
}

namespace {

constexpr UINT kIconNumber = 1;
constexpr UINT kSystemDirChars = 4096;

void addTrayIcon(HWND window) {
  NOTIFYICONDATAW icon = {};
  icon.cbSize = sizeof icon;
  icon.hWnd = window;
  icon.uID = kIconNumber;
  icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  icon.uCallbackMessage = kTrayCallbackMessage;
  icon.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconId));
  StringCchCopyW(icon.szTip, ARRAYSIZE(icon.szTip), kWindowTitle);
  Shell_NotifyIconW(NIM_ADD, &icon);
}

void deleteTrayIcon(HWND window) {
  NOTIFYICONDATAW icon = {};
  icon.cbSize = sizeof icon;
  icon.hWnd = window;
  icon.uID = kIconNumber;
  Shell_NotifyIconW(NIM_DELETE, &icon);
}

// cardres.dll from the spooler's driver folder.
void loadResourceLibrary() {
  WCHAR path[kSystemDirChars];
  const UINT n = GetSystemDirectoryW(path, kSystemDirChars);
  if (n == 0 || n >= kSystemDirChars) return;
  if (FAILED(StringCchCatW(path, kSystemDirChars, TEXT("\\Spool\\Drivers\\x64\\3"))) ||
      FAILED(StringCchCatW(path, kSystemDirChars, TEXT("\\cardres.dll"))))
    return;
  HMODULE library = LoadLibraryW(path);
  if (HMODULE old = tray.resources.exchange(library)) FreeLibrary(old);
}

void showMenu(HWND window) {
  if (tray.aboutOpen) return;
  HMENU menu = CreatePopupMenu();
  if (!menu) return;
  InsertMenuW(menu, 0, MF_BYPOSITION | MF_STRING, kCommandAbout, TEXT("About..."));
  InsertMenuW(menu, 1, MF_BYPOSITION | MF_STRING, kCommandExit, TEXT("Exit"));
  SetMenuDefaultItem(menu, kCommandAbout, FALSE);
  SetFocus(window);
  SendMessageW(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), 0);
  POINT cursor = {};
  GetCursorPos(&cursor);
  const UINT command = UINT(
      TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, window, nullptr));
  SendMessageW(window, WM_COMMAND, command, 0);
  DestroyMenu(menu);
}

}  // namespace

// Both the Exit command and the close handling unload the library: the
// handle is taken out first, so that it is freed once.
void unloadResourceLibrary() {
  if (HMODULE library = tray.resources.exchange(nullptr)) FreeLibrary(library);
}

LRESULT CALLBACK trayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      tray.window = window;
      addTrayIcon(window);
      loadResourceLibrary();
      startPrinterRegistrations();
      return 0;
    case WM_CLOSE:
      unloadResourceLibrary();
      deleteTrayIcon(window);
      PostQuitMessage(0);
      break;
    case WM_SETTINGCHANGE: addTrayIcon(window); return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == kCommandExit) {
        if (tray.aboutOpen) return 1;
        unloadResourceLibrary();
        PostMessageW(window, WM_CLOSE, 0, 0);
        return 0;
      }
      // "About..." has nothing to show.
      return 1;
    case WM_INITMENUPOPUP: return 0;
    case kTrayCallbackMessage:
      SetForegroundWindow(window);
      switch (LOWORD(lParam)) {
        case WM_LBUTTONDBLCLK: SendMessageW(window, WM_COMMAND, kCommandAbout, 0); break;
        case WM_RBUTTONUP:
          SetForegroundWindow(window);
          showMenu(window);
          PostMessageW(window, kAfterMenuMessage, 0, 0);
          break;
        default: break;
      }
      return 0;
    case kAfterMenuMessage: return 0;
    default: break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace card::notify
