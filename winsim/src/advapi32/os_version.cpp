// The OS version as the registry shows it, kept in step with the machine's.
#include <string>

#include <winsim/testing.h>

#include "core/internal.h"

namespace winsim {

void writeOsVersionToRegistry() {
  OsVersion v = osVersion();
  HKEY k;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0, nullptr, 0,
                      KEY_ALL_ACCESS, nullptr, &k, nullptr) != ERROR_SUCCESS)
    return;
  // Windows 10 and later still report "6.3" here, with the real numbers in
  // separate values: programs that look for "6." keep working.
  std::u16string cur = v.major >= 10 ? u"6.3" : toUtf16(std::to_string(v.major) + "." + std::to_string(v.minor));
  RegSetValueExW(k, u"CurrentVersion", 0, REG_SZ, reinterpret_cast<const BYTE *>(cur.c_str()),
                 DWORD((cur.size() + 1) * 2));
  std::u16string build = toUtf16(std::to_string(v.build));
  RegSetValueExW(k, u"CurrentBuildNumber", 0, REG_SZ, reinterpret_cast<const BYTE *>(build.c_str()),
                 DWORD((build.size() + 1) * 2));
  if (v.major >= 10) {
    DWORD major = v.major, minor = v.minor;
    RegSetValueExW(k, u"CurrentMajorVersionNumber", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&major), 4);
    RegSetValueExW(k, u"CurrentMinorVersionNumber", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&minor), 4);
  } else {
    RegDeleteValueW(k, u"CurrentMajorVersionNumber");
    RegDeleteValueW(k, u"CurrentMinorVersionNumber");
  }
  RegCloseKey(k);
}
void setOsVersion(DWORD major, DWORD minor, DWORD build, bool x64) {
  OsVersion v;
  v.major = major;
  v.minor = minor;
  v.build = build ? build : (major >= 10 ? 19045 : major == 6 ? (minor == 0 ? 6002 : minor == 1 ? 7601 : 9600) : 2600);
  v.x64 = x64;
  setOsVersionRecord(v);
  writeOsVersionToRegistry();
}
namespace {
// After the registry is emptied: the version values every machine has.
const ResetStep kOsVersion(kResetRegistry + 1, writeOsVersionToRegistry);
}  // namespace

}  // namespace winsim
