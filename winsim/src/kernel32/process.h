// kernel32's processes for the folders above it: the start of a program as
// CreateProcessW does it, with the session and user that CreateProcessAsUserW
// takes from its token; and the loader's part in it, the program's image.
#pragma once

#include <string>

#include "core/internal.h"

namespace winsim {

struct ProcessStart {
  LPCWSTR applicationName = nullptr;
  LPCWSTR commandLine = nullptr;
  DWORD flags = 0;
  LPVOID environment = nullptr;
  LPCWSTR currentDirectory = nullptr;
  const STARTUPINFOW *startup = nullptr;
  // Who runs it: the caller's session and user unless a token says otherwise.
  bool hasUser = false;
  DWORD sessionId = 0;
  std::u16string user;
};
// Starts the program; FALSE with the thread's last error set as
// CreateProcessW sets it.
BOOL createProcess(const ProcessStart &start, LPPROCESS_INFORMATION info);

// The loader (modules.cpp): a program's image, loaded from a host file of
// its own so that it gets its own globals; NULL with `error` set
// (ERROR_BAD_EXE_FORMAT for a file that is no program).  `entry` receives
// its wWinMain.
HMODULE loadProcessImage(const std::string &hostFile, const std::u16string &windowsPath, void **entry, DWORD &error);
// Lets go of what the ending process still holds of the DLLs it loaded
// (DllMain hears PROCESS_DETACH when the process was the last to hold one
// and `detach`), then unloads its image.  Returns the image's host file,
// to be deleted.
std::string releaseProcessModules(ProcessRecord &process, bool detach);
// True when the host file is the file of a loaded module: a DLL some
// process holds, or the program file of a running process.  Windows refuses
// to delete such a file.
bool isLoadedModuleFile(const std::string &hostFile);
// The same for a path of the drive: Windows keeps such a file from being
// deleted or replaced in place.
bool moduleLoadedFrom(const std::u16string &windowsPath);

}  // namespace winsim
