// setupapi.dll's internal helpers shared by its parts and by difxapi: INF
// files on the drive, and text handed out by the "required size" protocol.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <setupapi.h>

#include "kernel32/ansi_text.h"
#include "setupapi/inf_parser.h"

namespace winsim::setup {

// The whole of a file on the drive; false with the thread's last error set
// as CreateFileW set it.
bool readDriveFile(const std::u16string &path, std::vector<uint8_t> &bytes);
// An INF file on the drive, parsed; false with the error (a file error, or
// the parser's with its line) in `error`.
bool loadInf(const std::u16string &path, InfText &inf, DWORD &error, std::vector<uint8_t> *bytes = nullptr);
// The full Windows path of `path` (relative to the current folder).
std::u16string fullPath(const std::u16string &path);
// The file name part of a path.
std::u16string fileNameOf(const std::u16string &path);
// The folder part of a path, without the last backslash.
std::u16string folderOf(const std::u16string &path);

// Replaces the directory ids of INF text ("%11%\\cardrend.dll") with their
// folders, as the line calls hand text out: %1% is the INF's own folder; an
// id that names no folder stays as written.
std::u16string expandDirids(const std::u16string &text, const std::u16string &infFolder);

// Text into a caller's buffer, sizes in characters with the terminator:
// `required` gets the size; no buffer asks for the size only; a smaller
// buffer fails with ERROR_INSUFFICIENT_BUFFER.
BOOL giveText(const std::u16string &text, PWSTR buffer, DWORD size, PDWORD required);
// The same for the ANSI calls, in bytes of the system code page.
BOOL giveTextA(const std::u16string &text, PSTR buffer, DWORD size, PDWORD required);

// Every call of the DLL that succeeds says so in the last error, as
// setupapi.dll does.
inline BOOL succeeded() {
  SetLastError(NO_ERROR);
  return TRUE;
}
inline BOOL failedWith(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace winsim::setup
