// The functions of compstui.dll that winsim implements, for GetProcAddress.
#include "core/internal.h"

namespace winsim {

namespace {

const char *const kCompstui[] = {
    "CommonPropertySheetUIA",
    "CommonPropertySheetUIW",
    "GetCPSUIUserData",
    "SetCPSUIUserData",
};
const ExportList kCompstuiList(u"compstui.dll", kCompstui);

}  // namespace

}  // namespace winsim
