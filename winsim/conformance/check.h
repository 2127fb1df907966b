// The conformance suite's own small harness.  The suite is built twice, on
// winsim and as a Windows program run under Wine, so it cannot use GoogleTest:
// every check is counted, a failed check prints where and what, and the run
// ends with the line "N passed, N failed, N skipped".
//
// Expectations come from the Windows documentation.  Where Wine is known to
// differ from it, the case says so and is skipped under Wine; the expectation
// is never bent to what one platform does.
#pragma once

#include <windows.h>

#include <string>
#include <type_traits>
#include <utility>

namespace conf {

// True when the suite runs under Wine: its ntdll exports wine_get_version.
bool underWine();

void recordPass();
void recordFailure(const char *file, int line, const std::string &what);
// Counts the running case as skipped and prints the reason.
void recordSkip(const char *why);

std::string narrow(LPCWSTR text);  // UTF-8, for messages
std::string number(long long v);
std::string number(unsigned long long v);

// Cases run group by group in the order of the group names, each group's
// cases top to bottom: the same order in both builds, whatever the link order.
struct Registrar {
  Registrar(const char *group, int line, const char *name, void (*fn)());
};

// Runs every case; the exit code of the program (0 when nothing failed).
int runAll();

template <typename A, typename B>
bool checkEq(const A &a, const B &b, const char *ea, const char *eb, const char *file, int line) {
  // Promotion takes bool, WCHAR and small types to int, so that values of
  // different signedness compare by value.
  auto pa = +a;
  auto pb = +b;
  if (std::cmp_equal(pa, pb)) {
    recordPass();
    return true;
  }
  auto show = [](auto v) {
    if constexpr (std::is_signed_v<decltype(v)>)
      return number(static_cast<long long>(v));
    else
      return number(static_cast<unsigned long long>(v));
  };
  recordFailure(file, line, std::string(ea) + " == " + eb + ": " + show(pa) + " vs " + show(pb));
  return false;
}

bool checkWide(LPCWSTR a, LPCWSTR b, const char *ea, const char *eb, const char *file, int line);
bool checkNarrow(LPCSTR a, LPCSTR b, const char *ea, const char *eb, const char *file, int line);
bool checkTrue(bool ok, const char *expr, const char *file, int line);

}  // namespace conf

#define CONF_CAT2(a, b) a##b
#define CONF_CAT(a, b) CONF_CAT2(a, b)
// One case: CONF_CASE(Registry, CreateReportsDisposition) { ... }
#define CONF_CASE(group, name)                                                                     \
  static void group##_##name();                                                                    \
  static ::conf::Registrar CONF_CAT(conf_reg_, __LINE__)(#group, __LINE__, #name, group##_##name); \
  static void group##_##name()

#define CHECK(cond) ::conf::checkTrue(static_cast<bool>(cond), #cond, __FILE__, __LINE__)
#define CHECK_EQ(a, b) ::conf::checkEq((a), (b), #a, #b, __FILE__, __LINE__)
#define CHECK_WSTR(a, b) ::conf::checkWide((a), (b), #a, #b, __FILE__, __LINE__)
#define CHECK_STR(a, b) ::conf::checkNarrow((a), (b), #a, #b, __FILE__, __LINE__)
// The thread's last error, read once.
#define CHECK_ERROR(code) CHECK_EQ(GetLastError(), (code))
// A precondition: when it fails the rest of the case cannot run.
#define REQUIRE(cond)         \
  do {                        \
    if (!CHECK(cond)) return; \
  } while (0)
// Skips the rest of the case under Wine; `why` names the documented
// behaviour that Wine does not have.
#define SKIP_UNDER_WINE(why)   \
  do {                         \
    if (::conf::underWine()) { \
      ::conf::recordSkip(why); \
      return;                  \
    }                          \
  } while (0)
