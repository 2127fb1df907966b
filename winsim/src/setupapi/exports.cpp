// The functions of setupapi.dll that winsim implements, for GetProcAddress.
#include "core/internal.h"

namespace winsim {

namespace {

const char *const kSetupapi[] = {
    "SetupOpenInfFileW",
    "SetupOpenInfFileA",
    "SetupCloseInfFile",
    "SetupFindFirstLineW",
    "SetupFindFirstLineA",
    "SetupFindNextLine",
    "SetupFindNextMatchLineW",
    "SetupGetLineTextW",
    "SetupGetLineTextA",
    "SetupGetStringFieldW",
    "SetupGetStringFieldA",
    "SetupGetFieldCount",
    "SetupGetLineCountW",
    "SetupCopyOEMInfW",
    "SetupUninstallOEMInfW",
    "SetupUninstallOEMInfA",
    "SetupDiGetClassDevsW",
    "SetupDiGetClassDevsA",
    "SetupDiEnumDeviceInfo",
    "SetupDiGetDeviceRegistryPropertyW",
    "SetupDiGetDeviceRegistryPropertyA",
    "SetupDiGetDeviceInstanceIdW",
    "SetupDiCallClassInstaller",
    "SetupDiRemoveDevice",
    "SetupDiDestroyDeviceInfoList",
};
const ExportList kSetupapiList(u"setupapi.dll", kSetupapi);

}  // namespace

}  // namespace winsim
