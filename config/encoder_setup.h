// The magnetic encoder's settings as the encoder dialogs edit them: the
// 52-byte block of the job settings record, its defaults, the printer
// commands that set the encoder up, and which controls of the two dialogs a
// setting leaves usable.  Pure rules; the dialogs (encoder_dialogs.cpp) show
// them and send the commands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "shared/job_settings.h"

namespace card::cfg {

#pragma pack(push, 1)
// The encoder settings block as it lies in the record from `hasEncoder` on;
// the fields keep the record's names.
struct EncoderBlock {
  int16_t hasEncoder;
  int16_t macroProcessing;
  char startOfData[10];
  char endOfData[10];
  int16_t coercivity;
  int16_t encoderPosition;
  uint8_t encoderType;
  uint8_t currentTrack;
  TrackFormat trackFormat[3];
  uint8_t encoderSpare;
};
#pragma pack(pop)

constexpr size_t kEncoderBlockOffset = offsetof(JobSettingsRecord, hasEncoder);  // 38
constexpr size_t kEncoderBlockSize = 52;
static_assert(sizeof(EncoderBlock) == kEncoderBlockSize);
static_assert(offsetof(EncoderBlock, currentTrack) + kEncoderBlockOffset == offsetof(JobSettingsRecord, currentTrack));
static_assert(offsetof(EncoderBlock, trackFormat) + kEncoderBlockOffset == offsetof(JobSettingsRecord, trackFormat));
static_assert(offsetof(EncoderBlock, encoderSpare) + kEncoderBlockOffset == offsetof(JobSettingsRecord, encoderSpare));

// The start and end-of-data texts hold at most this many 8-bit characters.
constexpr size_t kEncoderTextChars = 9;
constexpr unsigned kTrackCount = 3;
constexpr unsigned kTrackModeCount = 8;

EncoderBlock readEncoderBlock(const JobSettingsRecord &record);
void writeEncoderBlock(JobSettingsRecord &record, const EncoderBlock &block);

// The built-in defaults, for a driver without a readable data file: macros
// on between "${" and "}$", coercivity unchanged, normal position, ISO/JIS,
// tracks ISO1 at 210 bpi, ISO2 at 75 bpi and ISO3 at 210 bpi.  hasEncoder is
// 0: it is the printer's to tell.
EncoderBlock defaultEncoderBlock();

// What the first dialog edits (macro processing, the two texts, coercivity,
// position, type) and what the advanced one does (current track and the
// three track formats: block bytes 29 to 50), copied from one block to
// another.  The rest of `to` stays.
void copyEncoderSettings(const EncoderBlock &from, EncoderBlock &to);
void copyTrackSettings(const EncoderBlock &from, EncoderBlock &to);

// A start or end-of-data text: the first 9 bytes of `text` (up to a NUL),
// terminated, the rest of the field cleared.
void setEncoderText(char (&field)[10], const char *text, size_t length);
// The text a field holds: up to its NUL, never more than 9 bytes.
std::string encoderText(const char (&field)[10]);

// The format code of one track (0 to 2) in one mode for writing or reading:
// "A", "b1", "E_3", "U_5" ...  A mode without a name counts as the track's
// own ISO format.
std::string trackFormatCode(unsigned track, uint8_t mode, bool write);

// The commands sent when the first dialog applies: position (not for JIS2),
// coercivity (not when unchanged), the track formats (fixed ones for AAMVA;
// track 1 only for JIS2).
std::string encoderSetupJob(const EncoderBlock &block);
// The commands sent when the advanced dialog applies: the track formats from
// the block, track 1's density, and for ISO/JIS the densities of tracks 2
// and 3.
std::string trackSetupJob(const EncoderBlock &block);

// The first dialog: which position buttons and whether "Advanced settings"
// can be used.  A laminating LX3 model encodes in the normal position only.
struct EncoderDialogState {
  bool reversedEnabled = true;
  bool normalEnabled = true;
  bool advancedEnabled = true;
};
EncoderDialogState encoderDialogState(uint8_t encoderType, bool lx3Model);
// What the first dialog does to its copy when it opens: an LX3 model's
// position becomes normal.
void prepareEncoderDialog(EncoderBlock &block, bool lx3Model);
// Choosing a type: JIS2 works on track 1 only.
void chooseEncoderType(EncoderBlock &block, uint8_t encoderType);

// The advanced dialog: which track buttons can be used, and whether the
// start/stop, position and parity controls are (bit modes only).
struct TrackDialogState {
  bool trackEnabled[kTrackCount] = {true, true, true};
  bool bitControlsEnabled = false;
};
TrackDialogState trackDialogState(const EncoderBlock &block, bool withoutThirdTrack);
// What the advanced dialog does to its copy when it opens: a current track
// whose button is disabled (track 3 of a model without one, tracks 2 and 3
// with JIS2) becomes track 1.
void prepareTrackDialog(EncoderBlock &block, bool withoutThirdTrack);

}  // namespace card::cfg
