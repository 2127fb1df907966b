// The values each setting of a job's DEVMODE may hold, and the repair of a
// DEVMODE that holds others.  A DEVMODE comes from outside (an application,
// a stored job, another driver's settings), so neither module may hand a
// value outside its range to the printer: the rendering driver repairs its
// copy of the record when a device instance is created, the configuration
// module the standard part of every DEVMODE it merges.  Both use the tables
// below.  Pure rules on plain records, no Windows calls.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <span>

#include "job_settings.h"

namespace card {

// ------------------------------------------------------------ job settings record
// One numeric field of the record: where it lies, its width, and the values
// it may hold (both ends included).  `standard` is the value the installer
// writes into the default settings file.
struct RecordFieldRange {
  const char *name;
  uint16_t offset;  // from the start of the record
  uint8_t width;    // 1, 2 or 4 bytes, little-endian
  bool isSigned;
  int32_t low;
  int32_t high;
  int32_t standard;
};

// Every numeric field with a documented range, in record order.  The working
// fields of the renderer, the reserved bytes and the encoder's start and stop
// characters and start positions (any number) are not among them.
std::span<const RecordFieldRange> recordFieldRanges();

int32_t readRecordField(const JobSettingsRecord &r, const RecordFieldRange &f);
void writeRecordField(JobSettingsRecord &r, const RecordFieldRange &f, int32_t value);

// The panel layout must be one of the ribbon's two-sided layouts.  This is
// only decidable before the first page when the ribbon is chosen in the
// settings (ribbonId 1..10) and the job is two-sided; a ribbon taken from the
// printer has its layout checked when the printer has told it.
bool layoutFitsRibbon(const JobSettingsRecord &r, uint16_t layout);

// The selected area of an overlay record lies on the card with its corners in
// order: left <= right within 0..1023, top <= bottom within 0..639.
bool overlayAreaInRange(const OverlayRecord &o);

// True when every field of the tables and both rules above hold.
bool recordInRange(const JobSettingsRecord &r);

// Replaces each field outside its range by the same field of `fallback` (the
// printer's default record), when that one is in range, else by the
// installer's default; an area out of range is replaced as a whole.  Fields
// in range are left alone.  `fallback` may be NULL.  Returns the number of
// fields (areas counted once) replaced.
size_t repairRecord(JobSettingsRecord &r, const JobSettingsRecord *fallback);

// ------------------------------------------------------------ standard part
// One field of the standard DEVMODE part that this driver acts on, with the
// values it accepts: [low, high], and a second interval [low2, high2] for
// fields whose documented values come in two groups (the user-defined values
// from 256 up, the negative print qualities).  An empty second interval has
// low2 > high2.
struct StandardFieldRange {
  const char *name;
  uint16_t offset;  // from the start of the DEVMODE
  uint8_t width;    // 2 or 4 bytes
  DWORD flag;       // its dmFields bit
  int64_t low, high, low2, high2;
  int32_t standard;  // the driver's default standard part
};

// The fields of the driver's dmFields answer, and the paper length and width
// that a merge takes with the paper size.
std::span<const StandardFieldRange> standardFieldRanges();

// Reads a field when `standardSize` (the DEVMODE's own dmSize, or 212 for a
// whole standard part) covers it; false otherwise.
bool readStandardField(const BYTE *standard, size_t standardSize, const StandardFieldRange &f, int64_t &value);
bool standardValueInRange(const StandardFieldRange &f, int64_t value);

// Repairs a whole 212-byte standard part: a field outside its range takes the
// value of `fallback` (a 212-byte standard part, NULL for none) when that one
// is in range, else the driver's default; the device and form names are
// terminated within their 32 characters.  Returns the number of fields
// replaced.
size_t repairStandardPart(BYTE (&standard)[kStandardPartSize], const BYTE *fallback);

}  // namespace card
