// The functions of advapi32.dll that winsim implements, for GetProcAddress.
#include "core/internal.h"

namespace winsim {

namespace {

const char *const kAdvapi32[] = {
    "AllocateAndInitializeSid",
    "CreateProcessAsUserW",
    "DuplicateTokenEx",
    "EqualSid",
    "FreeSid",
    "GetAce",
    "GetLengthSid",
    "GetNamedSecurityInfoW",
    "GetTokenInformation",
    "GetUserNameW",
    "InitializeSecurityDescriptor",
    "IsValidSid",
    "OpenProcessToken",
    "RegCloseKey",
    "RegCreateKeyExW",
    "RegDeleteKeyExW",
    "RegDeleteKeyW",
    "RegDeleteTreeW",
    "RegDeleteValueW",
    "RegEnumKeyExW",
    "RegEnumValueW",
    "RegFlushKey",
    "RegGetValueW",
    "RegOpenKeyExW",
    "RegQueryInfoKeyW",
    "RegQueryValueExW",
    "RegSetValueExW",
    "SetEntriesInAclW",
    "SetNamedSecurityInfoW",
    "SetSecurityDescriptorDacl",
};
const ExportList kAdvapi32List(u"advapi32.dll", kAdvapi32);

}  // namespace

}  // namespace winsim
