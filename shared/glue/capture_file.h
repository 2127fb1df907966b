// The temp file of a capture job, as both monitors keep it: made in the
// user's temp folder under a unique "CRX" name at the job's start, filled
// with the job's bytes, read by the job's request at its end and deleted.
// Glue on the Windows API, apart from the pure rules in shared/.
#pragma once

#include <windows.h>

#include "shared/prefixed_requests.h"

namespace card::interception {

// Makes a new temp file for a capture job of `mode`, open for reading and
// writing and not shared, into `path` and `file`.  A file still held from an
// earlier job is deleted first.  False, with the thread's last error, when
// no file can be had or the mode's request could not name it (a request
// never cuts a path); nothing is left behind then.
bool createCaptureFile(CaptureMode mode, WCHAR (&path)[MAX_PATH], HANDLE &file);

// Appends all of the bytes; `written` is `size` on success, else 0.  False
// (with the thread's last error) when the file is not open or the write
// falls short.
bool appendToCaptureFile(HANDLE file, const BYTE *data, DWORD size, DWORD *written);

// Closes the handle, leaving the file for the request to read.
void closeCaptureHandle(HANDLE &file);

// Closes the handle and deletes the file; the path is cleared.  A file that
// cannot be deleted is left to the system's clean-up of the temp folder.
void discardCaptureFile(WCHAR (&path)[MAX_PATH], HANDLE &file);

}  // namespace card::interception
