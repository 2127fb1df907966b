#include "setup/verstamp/version_stamp.h"

#include <algorithm>
#include <cstring>

#include "shared/job_settings.h"
#include "shared/package_version.h"

namespace card::setup {

namespace {

// DEVMODE's dmSize and dmDriverExtra: two 16-bit fields after the device
// name and two versions.
constexpr size_t kSizeField = 68, kDriverExtraField = 70;

}  // namespace

std::vector<uint8_t> stampedSettings(const uint8_t *devmode, size_t size, size_t standardSize) {
  if (!devmode || standardSize < kDriverExtraField + 2 || size < standardSize) return {};
  // The private part follows the standard part wherever that ends, so the
  // buffer is sized from it rather than fixed: a larger standard part must
  // not push the stamp past the end.
  std::vector<uint8_t> out(standardSize + kRecordSize, 0);
  std::memcpy(out.data(), devmode, std::min(size, out.size()));
  uint8_t *stamp = out.data() + standardSize + offsetof(JobSettingsRecord, reservedConfig);
  std::memset(stamp, 0, kVersionRoom);
  std::memcpy(stamp, kPackageVersion.data(), kPackageVersion.size());
  out[kSizeField] = uint8_t(standardSize);
  out[kSizeField + 1] = uint8_t(standardSize >> 8);
  out[kDriverExtraField] = uint8_t(kRecordSize);
  out[kDriverExtraField + 1] = uint8_t(kRecordSize >> 8);
  return out;
}

}  // namespace card::setup
