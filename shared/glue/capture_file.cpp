#include "shared/glue/capture_file.h"

namespace card::interception {

bool createCaptureFile(CaptureMode mode, WCHAR (&path)[MAX_PATH], HANDLE &file) {
  discardCaptureFile(path, file);
  WCHAR folder[MAX_PATH];
  const DWORD n = GetTempPathW(MAX_PATH, folder);
  if (n == 0) return false;
  if (n >= MAX_PATH) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  if (!GetTempFileNameW(folder, TEXT("CRX"), 0, path)) {
    path[0] = 0;
    return false;
  }
  // The request must be able to name the file, or the job's bytes would go
  // nowhere at its end.
  WCHAR request[kMaxRequestUnits];
  if (!buildCaptureRequest(mode, path, request, kMaxRequestUnits)) {
    DeleteFileW(path);  // made by the unique naming
    path[0] = 0;
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    DeleteFileW(path);
    path[0] = 0;
    SetLastError(error);
    return false;
  }
  return true;
}

bool appendToCaptureFile(HANDLE file, const BYTE *data, DWORD size, DWORD *written) {
  if (written) *written = 0;
  if (file == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  DWORD done = 0;
  if (!WriteFile(file, data, size, &done, nullptr)) return false;
  if (done != size) {
    SetLastError(ERROR_WRITE_FAULT);
    return false;
  }
  if (written) *written = size;
  return true;
}

void closeCaptureHandle(HANDLE &file) {
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  file = INVALID_HANDLE_VALUE;
}

void discardCaptureFile(WCHAR (&path)[MAX_PATH], HANDLE &file) {
  closeCaptureHandle(file);
  if (path[0]) DeleteFileW(path);
  path[0] = 0;
}

}  // namespace card::interception
