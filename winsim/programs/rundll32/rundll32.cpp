// rundll32.exe of the simulated machine: "rundll32 dll,entry arguments"
// (or a blank instead of the comma) loads the DLL as LoadLibrary finds it,
// calls its entry with the arguments, lets the DLL go and ends.  The entry
// is looked up as "entryW" first, called with the arguments as UTF-16, then
// "entryA" and "entry", called with them in the system code page.  Each has
// the form void CALLBACK Entry(HWND, HINSTANCE, LPSTR or LPWSTR, int).
#include <windows.h>

#include <string>

namespace {

using EntryW = void(WINAPI *)(HWND, HINSTANCE, LPWSTR, int);
using EntryA = void(WINAPI *)(HWND, HINSTANCE, LPSTR, int);

bool isBlank(char16_t c) { return c == u' ' || c == u'\t'; }

struct Request {
  std::u16string dll, entry, arguments;
};

// The DLL's name ends at the comma or the first blank (a quoted name at its
// closing quote); the entry's at the next blank; the rest, after the blanks
// that follow, is the entry's argument string.
bool parse(const std::u16string &line, Request &out) {
  size_t i = 0;
  while (i < line.size() && isBlank(line[i])) ++i;
  if (i < line.size() && line[i] == u'"') {
    size_t close = line.find(u'"', i + 1);
    if (close == std::u16string::npos) return false;
    out.dll = line.substr(i + 1, close - i - 1);
    i = close + 1;
  } else {
    size_t start = i;
    while (i < line.size() && line[i] != u',' && !isBlank(line[i])) ++i;
    out.dll = line.substr(start, i - start);
  }
  if (i < line.size() && line[i] == u',') ++i;
  while (i < line.size() && isBlank(line[i])) ++i;
  size_t start = i;
  while (i < line.size() && !isBlank(line[i])) ++i;
  out.entry = line.substr(start, i - start);
  while (i < line.size() && isBlank(line[i])) ++i;
  out.arguments = line.substr(i);
  return !out.dll.empty() && !out.entry.empty();
}

std::string ansi(const std::u16string &text) {
  int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n > 0 ? n : 1), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
  out.pop_back();
  return out;
}

// An export as the entry's type, through the generic function type.
template <typename Entry>
Entry entryOf(HMODULE dll, const std::string &name) {
  return reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(GetProcAddress(dll, name.c_str())));
}

void complain(const std::u16string &text) { MessageBoxW(nullptr, text.c_str(), u"RunDLL", MB_OK | MB_ICONERROR); }

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR cmdLine, int show) {
  Request request;
  if (!parse(cmdLine ? cmdLine : u"", request)) return 1;
  HMODULE dll = LoadLibraryW(request.dll.c_str());
  if (!dll) {
    complain(u"There was a problem starting " + request.dll + u"\n\nThe specified module could not be found.");
    return 1;
  }
  std::string entryName = ansi(request.entry);
  if (auto wide = entryOf<EntryW>(dll, entryName + "W")) {
    std::u16string args = request.arguments;
    wide(nullptr, dll, args.data(), show);
  } else {
    auto narrow = entryOf<EntryA>(dll, entryName + "A");
    if (!narrow) narrow = entryOf<EntryA>(dll, entryName);
    if (!narrow) {
      FreeLibrary(dll);
      complain(u"Error in " + request.dll + u"\nMissing entry:" + request.entry);
      return 1;
    }
    std::string args = ansi(request.arguments);
    narrow(nullptr, dll, args.data(), show);
  }
  FreeLibrary(dll);
  return 0;
}
