#include "config/default_settings_file.h"

#include <winspool.h>

#include <cstring>
#include <vector>

#include "config/printer_access.h"

namespace card::cfg {

namespace {

HANDLE openDataFile(HANDLE printer) {
  std::vector<BYTE> info;
  if (!printer || !driverInfo(printer, 2, info) || info.size() < sizeof(DRIVER_INFO_2W)) return INVALID_HANDLE_VALUE;
  const auto *di = reinterpret_cast<const DRIVER_INFO_2W *>(info.data());
  if (!di->pDataFile || !*di->pDataFile) return INVALID_HANDLE_VALUE;
  return CreateFileW(di->pDataFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

}  // namespace

bool readDefaultSettingsFile(HANDLE printer, BYTE *out, size_t capacity, size_t &length, bool &opened) {
  length = 0;
  HANDLE file = openDataFile(printer);
  opened = file != INVALID_HANDLE_VALUE;
  if (!opened) return false;
  bool ok = true;
  while (length < capacity) {
    DWORD got = 0;
    if (!ReadFile(file, out + length, DWORD(capacity - length), &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    length += got;
  }
  CloseHandle(file);
  return ok && length == capacity;
}

bool readWholeDefaultRecord(HANDLE printer, JobSettingsRecord &out) {
  // One byte more is asked for, so that a longer file shows as one.
  std::vector<BYTE> bytes(kRecordSize + 1);
  size_t length = 0;
  bool opened = false;
  readDefaultSettingsFile(printer, bytes.data(), bytes.size(), length, opened);
  if (!opened || length != kRecordSize) return false;
  std::memcpy(&out, bytes.data(), kRecordSize);
  return true;
}

bool defaultSettingsFileOpens(HANDLE printer) {
  HANDLE file = openDataFile(printer);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

}  // namespace card::cfg
