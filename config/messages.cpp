#include "config/messages.h"

#include <strsafe.h>

#include <cstdarg>
#include <iterator>

#include "config/module_state.h"
#include "config/system_functions.h"

namespace card::cfg {

namespace {

using MessageBoxFn = int(WINAPI *)(HWND, LPCWSTR, LPCWSTR, UINT);
using ActiveWindowFn = HWND(WINAPI *)();

}  // namespace

int infoBox(HWND owner, LPCWSTR text) {
  auto box = systemFunction<MessageBoxFn>(TEXT("user32.dll"), "MessageBoxW");
  if (!box) return 0;
  return box(owner, text, TEXT(" Pellor Printer Settings "), MB_OK | MB_ICONINFORMATION);
}

int warningBox(LPCWSTR text, LPCWSTR caption) {
  auto box = systemFunction<MessageBoxFn>(TEXT("user32.dll"), "MessageBoxW");
  if (!box) return 0;
  return box(nullptr, text, caption, MB_OK | MB_ICONWARNING | MB_SYSTEMMODAL | MB_SETFOREGROUND | MB_TOPMOST);
}

int errorBox(UINT captionId, UINT textId, UINT flags) {
  auto box = systemFunction<MessageBoxFn>(TEXT("user32.dll"), "MessageBoxW");
  auto active = systemFunction<ActiveWindowFn>(TEXT("user32.dll"), "GetActiveWindow");
  if (!box) return 0;
  // The message library's text wins; this module's own table stands in when
  // the library is missing or lacks the number, so no box comes up empty.
  const ModuleState &st = state();
  WCHAR caption[128] = {}, text[1024] = {};
  auto load = [&st](UINT id, WCHAR *out, int chars) {
    if (!(st.resources && LoadStringW(st.resources, id, out, chars) > 0)) LoadStringW(st.instance, id, out, chars);
  };
  load(captionId, caption, int(std::size(caption)));
  load(textId, text, int(std::size(text)));
  return box(active ? active() : nullptr, text, caption, flags | MB_SYSTEMMODAL | MB_SETFOREGROUND | MB_TOPMOST);
}

void debugPrint(LPCWSTR format, ...) {
  WCHAR text[512];
  va_list args;
  va_start(args, format);
  HRESULT hr = StringCchVPrintfW(text, std::size(text), format, args);
  va_end(args);
  if (SUCCEEDED(hr) || hr == STRSAFE_E_INSUFFICIENT_BUFFER) OutputDebugStringW(text);
}

}  // namespace card::cfg
