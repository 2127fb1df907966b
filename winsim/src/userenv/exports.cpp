// The functions of userenv.dll that winsim implements, for GetProcAddress.
#include "core/internal.h"

namespace winsim {

namespace {

const char *const kUserenv[] = {
    "CreateEnvironmentBlock",
    "DestroyEnvironmentBlock",
};
const ExportList kUserenvList(u"userenv.dll", kUserenv);

}  // namespace

}  // namespace winsim
