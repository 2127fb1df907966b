// The functions of hhctrl.ocx that winsim implements, for GetProcAddress.
#include "core/internal.h"

namespace winsim {

namespace {

const char *const kHhctrl[] = {
    "HtmlHelpW",
};
const ExportList kHhctrlList(u"hhctrl.ocx", kHhctrl);

}  // namespace

}  // namespace winsim
