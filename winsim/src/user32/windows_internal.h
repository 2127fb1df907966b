// What the window files of user32 share among themselves: the machine's
// classes, windows and queues, and the helpers that registering classes,
// creating, finding and retiring windows need.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "user32/windows.h"

namespace winsim::user {

// Guarded by the wait lock.
struct WindowState {
  std::vector<std::shared_ptr<WindowClass>> classes;
  std::vector<Window *> windows;  // alive, oldest first
  std::map<DWORD, std::unique_ptr<ThreadQueue>> queues;
  std::vector<void (*)(HWND)> goneHooks;
  HWND foreground = nullptr;
  ATOM nextAtom = 0xC000;
  uint64_t nextOrder = 0;
  uint64_t resets = 0;
};

WindowState &state();

// The calling process's id and session; they take the process lock, so they
// are asked before the wait lock is taken.
DWORD currentPid();
DWORD currentSession();
// The module of the process's executable: the instance meant by NULL.
HINSTANCE exeInstance();

// A class of the system ("#32770" and the controls), made on first use;
// NULL for any other name.  With the lock.
std::shared_ptr<WindowClass> systemClass(const std::u16string &name);
// Whether a class is the one a name or an atom (MAKEINTATOM) means.
bool nameMatches(const WindowClass &c, LPCWSTR name);
// The class a process means by `name` for `instance`: its own local class of
// that instance, then its global classes, then the system's.  With the lock.
std::shared_ptr<WindowClass> findClass(LPCWSTR name, HINSTANCE instance, DWORD pid);

// Removes a window from the live ones, and its handle from the table; with
// the lock.  `w` may be gone on return.
void retire(Window *w);
// Calls the window gone hooks for each window; takes the wait lock itself,
// so it is called without it.
void callGoneHooks(const std::vector<HWND> &gone);

// Sends a message the way creation and destruction do: to a window of the
// calling thread, whose procedure runs at once.
LRESULT sendOwn(HWND h, UINT msg, WPARAM wParam, LPARAM lParam);
// Copies a text into a caller's buffer of `max` characters, cut to fit and
// ended by a zero; the number of characters copied.
int copyText(const std::u16string &text, LPWSTR out, int max);

}  // namespace winsim::user
