// The functions of wtsapi32.dll that winsim implements, for GetProcAddress.
#include "core/internal.h"

namespace winsim {

namespace {

const char *const kWtsapi32[] = {
    "WTSQueryUserToken",
};
const ExportList kWtsapi32List(u"wtsapi32.dll", kWtsapi32);

}  // namespace

}  // namespace winsim
