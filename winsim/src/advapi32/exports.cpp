// The functions of advapi32.dll that winsim implements, for GetProcAddress.
#include "core/internal.h"

namespace winsim {

namespace {

const char *const kAdvapi32[] = {
    "AllocateAndInitializeSid",
    "CloseServiceHandle",
    "ControlService",
    "CreateProcessAsUserW",
    "CreateServiceW",
    "DeleteService",
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
    "OpenSCManagerA",
    "OpenSCManagerW",
    "OpenServiceA",
    "OpenServiceW",
    "QueryServiceStatus",
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
    "StartServiceA",
    "StartServiceW",
};
const ExportList kAdvapi32List(u"advapi32.dll", kAdvapi32);

}  // namespace

}  // namespace winsim
