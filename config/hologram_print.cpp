#include "config/hologram_print.h"

#include <cstdio>

#include "config/area_rules.h"
#include "config/hologram.h"
#include "shared/status_commands.h"

namespace card::cfg {

namespace {

// Prints the hologram panel over the whole side.
constexpr const char kPrintFullHologram[] = "\x1bIH 30\r";
// Clears the image memory before the area is drawn into it.
constexpr const char kClearImage[] =
    "\x1b"
    "F\r";

std::string format(const char *pattern, int a) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, a);
  return text;
}

std::string areaCommand(int l, int t, int w, int h, int fill) {
  char text[96];
  std::snprintf(text, sizeof text, "\x1bL %d %d %d %d %d\r", l, t, w, h, fill);
  return text;
}

// The whole card in one colour, then the area in the other: the varnished
// area is drawn as 1 on 0, the blank area as 0 on 1.
std::string areaPair(const OverlayRecord &area) {
  const bool blank = area.type == kHologramSelectedBlank;
  const int w = area.right - area.left, h = area.bottom - area.top;
  const int l = isRotated(area) ? kAreaUpDownMaxX - area.right : area.left;
  const int t = isRotated(area) ? kAreaUpDownMaxY - area.bottom : area.top;
  return areaCommand(0, 0, kAreaUpDownMaxX, kAreaUpDownMaxY, blank ? 1 : 0) + areaCommand(l, t, w, h, blank ? 0 : 1);
}

}  // namespace

HologramPrintPlan hologramPrintPlan(const JobSettingsRecord &record) {
  if (record.hologramCopies > kHologramMaxCopies) return HologramPrintPlan::Refused;
  switch (record.hologramArea.type) {
    case kHologramFull:
    case kHologramSelectedVarnished:
    case kHologramSelectedBlank: return HologramPrintPlan::AreaJobs;
    case kHologramBitmap: return HologramPrintPlan::BitmapJob;
    default: return HologramPrintPlan::NothingToDo;
  }
}

std::vector<std::string> hologramAreaJobs(const JobSettingsRecord &record) {
  std::vector<std::string> jobs;
  if (hologramPrintPlan(record) != HologramPrintPlan::AreaJobs) return jobs;
  const bool twoSided = record.duplex != kSettingOff;
  std::string job = format("\x1b+CH %d\r", record.hologramContrast);
  if (record.hologramArea.type == kHologramFull) {
    job += kPrintFullHologram;
    if (twoSided) job += std::string(status::kCmdFlip) + kPrintFullHologram;
  } else {
    const std::string side = kClearImage + areaPair(record.hologramArea) + std::string(status::kCmdPrintHologram);
    job += side;
    if (twoSided) job += std::string(status::kCmdFlip) + side;
  }
  job += status::kCmdEject;
  // One card per job; a count of 0 (or below) still prints one.
  int copies = record.hologramCopies;
  do {
    jobs.push_back(job);
    --copies;
  } while (copies > 0);
  return jobs;
}

bool hologramBitmapJob(const JobSettingsRecord &record, const uint8_t *bmpFile, size_t size, std::string *job) {
  if (!job || hologramPrintPlan(record) != HologramPrintPlan::BitmapJob) return false;
  std::vector<uint8_t> picture;
  if (!cardPictureFromBmp(bmpFile, size, isRotated(record.hologramArea), &picture)) return false;
  std::string out;
  const bool ok =
      writeHologramBitmapJob(picture.data(), picture.size(), record.hologramContrast, record.duplex != kSettingOff,
                             record.hologramCopies, [&out](const uint8_t *bytes, size_t count) {
                               out.append(reinterpret_cast<const char *>(bytes), count);
                               return true;
                             });
  if (!ok) return false;
  *job += out;
  return true;
}

}  // namespace card::cfg
