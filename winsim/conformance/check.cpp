#include "check.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace conf {
namespace {

struct Case {
  const char *group;
  int line;
  const char *name;
  void (*fn)();
};

std::vector<Case> &cases() {
  static std::vector<Case> all;
  return all;
}

int g_passed = 0, g_failed = 0, g_skipped = 0;
const Case *g_current = nullptr;

std::string caseName() {
  return g_current ? std::string(g_current->group) + "." + g_current->name : std::string("(setup)");
}

}  // namespace

bool underWine() {
  static const bool wine = [] {
    HMODULE ntdll = GetModuleHandleW(TEXT("ntdll.dll"));
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }();
  return wine;
}

void recordPass() { ++g_passed; }

void recordFailure(const char *file, int line, const std::string &what) {
  ++g_failed;
  const char *base = file;
  for (const char *p = file; *p; ++p)
    if (*p == '/' || *p == '\\') base = p + 1;
  std::printf("FAIL %s (%s:%d): %s\n", caseName().c_str(), base, line, what.c_str());
  std::fflush(stdout);
}

void recordSkip(const char *why) {
  ++g_skipped;
  std::printf("skip %s: %s\n", caseName().c_str(), why);
}

std::string narrow(LPCWSTR text) {
  if (!text) return "(null)";
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return "(unconvertible)";
  std::string s(size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &s[0], n, nullptr, nullptr);
  s.resize(size_t(n - 1));
  return s;
}

// Decimal and hexadecimal, without the C runtime's formatting (whose 64-bit
// conversions differ between the two builds' runtimes).
std::string number(unsigned long long v) {
  char dec[24], hex[24];
  int d = 0, h = 0;
  unsigned long long x = v;
  do {
    dec[d++] = char('0' + x % 10);
    x /= 10;
  } while (x);
  do {
    hex[h++] = "0123456789ABCDEF"[v % 16];
    v /= 16;
  } while (v);
  std::string out;
  while (d) out.push_back(dec[--d]);
  out += " (0x";
  while (h) out.push_back(hex[--h]);
  return out + ")";
}

std::string number(long long v) {
  if (v >= 0) return number(static_cast<unsigned long long>(v));
  std::string out = "-";
  out += number(0ULL - static_cast<unsigned long long>(v));
  return out;
}

bool checkTrue(bool ok, const char *expr, const char *file, int line) {
  if (ok)
    recordPass();
  else
    recordFailure(file, line, expr);
  return ok;
}

bool checkWide(LPCWSTR a, LPCWSTR b, const char *ea, const char *eb, const char *file, int line) {
  bool ok = a && b ? lstrcmpW(a, b) == 0 && lstrlenW(a) == lstrlenW(b) : a == b;
  // lstrcmpW compares linguistically; equal text must also be equal code by code.
  if (ok && a && b)
    for (int i = 0; a[i] || b[i]; ++i) ok = ok && a[i] == b[i];
  if (ok) {
    recordPass();
    return true;
  }
  recordFailure(file, line, std::string(ea) + " == " + eb + ": \"" + narrow(a) + "\" vs \"" + narrow(b) + "\"");
  return false;
}

bool checkNarrow(LPCSTR a, LPCSTR b, const char *ea, const char *eb, const char *file, int line) {
  bool ok = a && b ? std::string(a) == b : a == b;
  if (ok) {
    recordPass();
    return true;
  }
  recordFailure(file, line,
                std::string(ea) + " == " + eb + ": \"" + (a ? a : "(null)") + "\" vs \"" + (b ? b : "(null)") + "\"");
  return false;
}

Registrar::Registrar(const char *group, int line, const char *name, void (*fn)()) {
  cases().push_back({group, line, name, fn});
}

int runAll() {
  std::stable_sort(cases().begin(), cases().end(), [](const Case &a, const Case &b) {
    int byGroup = std::strcmp(a.group, b.group);
    return byGroup ? byGroup < 0 : a.line < b.line;
  });
  std::printf("conformance: %s, %d cases\n", underWine() ? "under Wine" : "native", int(cases().size()));
  // CONF_VERBOSE=1 names each case before it runs, to find one that crashes.
  WCHAR verbose[4] = {};
  bool trace = GetEnvironmentVariableW(TEXT("CONF_VERBOSE"), verbose, 4) > 0 && verbose[0] == TEXT('1');
  for (const Case &c : cases()) {
    g_current = &c;
    if (trace) {
      std::printf("case %s\n", caseName().c_str());
      std::fflush(stdout);
    }
    c.fn();
  }
  g_current = nullptr;
  std::printf("%d passed, %d failed, %d skipped\n", g_passed, g_failed, g_skipped);
  std::fflush(stdout);
  return g_failed ? 1 : 0;
}

}  // namespace conf
