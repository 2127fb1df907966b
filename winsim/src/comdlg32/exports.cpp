// The functions of comdlg32.dll that winsim implements, for GetProcAddress.
#include "core/internal.h"

namespace winsim {

namespace {

const char *const kComdlg32[] = {
    "CommDlgExtendedError",
    "GetOpenFileNameW",
    "GetSaveFileNameW",
};
const ExportList kComdlg32List(u"comdlg32.dll", kComdlg32);

}  // namespace

}  // namespace winsim
