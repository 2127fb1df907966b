// The functions of difxapi.dll that winsim implements, for GetProcAddress.
#include "core/internal.h"

namespace winsim {

namespace {

const char *const kDifxapi[] = {
    "DriverPackagePreinstallW",
    "DriverPackageUninstallW",
    "DriverPackageGetPathW",
};
const ExportList kDifxapiList(u"difxapi.dll", kDifxapi);

}  // namespace

}  // namespace winsim
