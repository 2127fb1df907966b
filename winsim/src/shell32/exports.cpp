// The functions of shell32.dll and of the shell folder library that winsim
// implements, for GetProcAddress.
#include "core/internal.h"

namespace winsim {

namespace {

const char *const kShell32[] = {
    "SHGetFolderPathW",
    "ShellExecuteW",
    "Shell_NotifyIconW",
};
const ExportList kShell32List(u"shell32.dll", kShell32);

const char *const kShfolder[] = {
    "SHGetFolderPathW",
};
const ExportList kShfolderList(u"shfolder.dll", kShfolder);

}  // namespace

}  // namespace winsim
