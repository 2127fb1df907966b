// The export lists of the system DLLs that winsim stands in for, and the
// test switch that hides an export or a whole DLL.
#include <map>
#include <mutex>
#include <set>

#include <winsim/testing.h>

#include "core/internal.h"

namespace winsim {

namespace {

// DLLs the loader answers for with winsim itself.  Those without a list
// (no part of winsim implements a function of theirs yet) load, but export
// nothing.
const char16_t *const kSystemDlls[] = {
    u"kernel32.dll", u"kernelbase.dll", u"advapi32.dll", u"user32.dll",  u"gdi32.dll",    u"winspool.drv",
    u"spoolss.dll",  u"shfolder.dll",   u"shell32.dll",  u"shlwapi.dll", u"comctl32.dll", u"compstui.dll",
    u"comdlg32.dll", u"ws2_32.dll",     u"wsock32.dll",  u"ole32.dll",   u"oleaut32.dll", u"wtsapi32.dll",
    u"userenv.dll",  u"setupapi.dll",   u"newdev.dll",   u"difxapi.dll", u"version.dll",  u"ntdll.dll",
    u"msvcrt.dll",   u"hhctrl.ocx",     u"iphlpapi.dll", u"rpcrt4.dll",  u"secur32.dll",  u"sfc.dll",
};

struct Exports {
  std::mutex lock;
  std::map<std::u16string, std::set<std::string>> byDll;  // by upper-case DLL name
  std::set<std::u16string> hiddenDlls;                    // upper-case
  std::set<std::pair<std::u16string, std::string>> hiddenExports;
};

// Made on first use: the parts register their lists while the library loads.
Exports &exports() {
  static Exports &e = *new Exports;
  return e;
}

bool isSystemDll(const std::u16string &key) {
  for (const char16_t *d : kSystemDlls)
    if (upper(d) == key) return true;
  return false;
}

void showEverything() {
  Exports &e = exports();
  std::lock_guard<std::mutex> g(e.lock);
  e.hiddenDlls.clear();
  e.hiddenExports.clear();
}

const ResetStep kShowExports(kResetKernel, showEverything);

}  // namespace

void registerExports(const char16_t *dll, const char *const *names, size_t count) {
  Exports &e = exports();
  std::lock_guard<std::mutex> g(e.lock);
  auto &list = e.byDll[upper(dll)];
  for (size_t i = 0; i < count; ++i) list.insert(names[i]);
}

bool systemDllKnown(const std::u16string &dll) {
  std::u16string key = upper(dll);
  if (!isSystemDll(key)) return false;
  Exports &e = exports();
  std::lock_guard<std::mutex> g(e.lock);
  return !e.hiddenDlls.count(key);
}

bool systemDllExports(const std::u16string &dll, const char *function) {
  std::u16string key = upper(dll);
  Exports &e = exports();
  std::lock_guard<std::mutex> g(e.lock);
  if (e.hiddenDlls.count(key) || e.hiddenExports.count({key, function})) return false;
  auto it = e.byDll.find(key);
  return it != e.byDll.end() && it->second.count(function);
}

void hideSystemExport(const std::u16string &dll, const std::string &function) {
  Exports &e = exports();
  std::lock_guard<std::mutex> g(e.lock);
  if (function.empty())
    e.hiddenDlls.insert(upper(dll));
  else
    e.hiddenExports.insert({upper(dll), function});
}

}  // namespace winsim
