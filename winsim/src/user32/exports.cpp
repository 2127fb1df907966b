// The functions of user32.dll that winsim implements, for GetProcAddress.
#include "core/internal.h"

namespace winsim {

namespace {

const char *const kUser32[] = {
    "CharLowerBuffW", "CharLowerW",      "CharUpperBuffW",      "CharUpperW",  "CopyRect",      "FillRect",
    "FrameRect",      "GetActiveWindow", "GetForegroundWindow", "InflateRect", "IntersectRect", "IsRectEmpty",
    "MessageBoxA",    "MessageBoxW",     "OffsetRect",          "PtInRect",    "SetRect",       "SetRectEmpty",
    "UnionRect",      "wsprintfA",       "wsprintfW",           "wvsprintfW",
};
const ExportList kUser32List(u"user32.dll", kUser32);

}  // namespace

}  // namespace winsim
