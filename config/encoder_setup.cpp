#include "config/encoder_setup.h"

#include <cstring>

namespace card::cfg {

namespace {

constexpr char kEsc = '\x1b';

// Bytes 29 to 50 of the block: the current track and the three formats.
constexpr size_t kTrackPartOffset = offsetof(EncoderBlock, currentTrack);
constexpr size_t kTrackPartSize = offsetof(EncoderBlock, encoderSpare) - kTrackPartOffset;
static_assert(kTrackPartOffset == 29 && kTrackPartSize == 22);

// The ISO formats by track (rows) and mode (columns), write and read.
const char *const kIsoWrite[kTrackCount][3] = {{"A", "a2", "a3"}, {"b1", "B", "b3"}, {"c1", "c2", "C"}};
const char *const kIsoRead[kTrackCount][3] = {{"Q", "q2", "q3"}, {"r1", "R", "r3"}, {"s1", "s2", "S"}};

std::string command(const std::string &text) { return std::string(1, kEsc) + text + "\r"; }

std::string formatCommands(unsigned track, uint8_t mode) {
  const std::string number = std::to_string(track + 1);
  return command("&CDEW " + number + " " + trackFormatCode(track, mode, true)) +
         command("&CDER " + number + " " + trackFormatCode(track, mode, false));
}

// The tracks are set up in order; JIS2 has track 1 only.
std::string trackFormats(const EncoderBlock &block, bool fixedAamva) {
  // AAMVA cards carry ISO1, ISO2 and ISO1 whatever the block says.
  const uint8_t aamva[kTrackCount] = {kTrackIso1, kTrackIso2, kTrackIso1};
  const unsigned tracks = block.encoderType == kEncoderJis2 ? 1 : kTrackCount;
  std::string out;
  for (unsigned t = 0; t < tracks; ++t) out += formatCommands(t, fixedAamva ? aamva[t] : block.trackFormat[t].mode);
  return out;
}

std::string density(unsigned track, uint8_t value) {
  return command("&D " + std::to_string(track + 1) + (value == kDensity210Bpi ? " 210" : " 75"));
}

}  // namespace

EncoderBlock readEncoderBlock(const JobSettingsRecord &record) {
  EncoderBlock block;
  std::memcpy(&block, reinterpret_cast<const uint8_t *>(&record) + kEncoderBlockOffset, sizeof block);
  return block;
}

void writeEncoderBlock(JobSettingsRecord &record, const EncoderBlock &block) {
  std::memcpy(reinterpret_cast<uint8_t *>(&record) + kEncoderBlockOffset, &block, sizeof block);
}

EncoderBlock defaultEncoderBlock() {
  EncoderBlock b;
  std::memset(&b, 0, sizeof b);
  b.hasEncoder = kSettingOff;
  b.macroProcessing = kSettingOn;
  setEncoderText(b.startOfData, "${", 2);
  setEncoderText(b.endOfData, "}$", 2);
  b.coercivity = kCoercivityUnchanged;
  b.encoderPosition = kEncoderNormal;
  b.encoderType = kEncoderIsoJis;
  b.currentTrack = 0;
  const uint8_t modes[kTrackCount] = {kTrackIso1, kTrackIso2, kTrackIso3};
  const uint8_t densities[kTrackCount] = {kDensity210Bpi, kDensity75Bpi, kDensity210Bpi};
  for (unsigned t = 0; t < kTrackCount; ++t) {
    TrackFormat &f = b.trackFormat[t];
    f.mode = modes[t];
    f.density = densities[t];
    f.startChar = 'A';
    f.stopChar = 'Z';
    f.startPosition = 7;
    f.charParity = kParityNone;
    f.lrcParity = kParityNone;
  }
  return b;
}

void copyEncoderSettings(const EncoderBlock &from, EncoderBlock &to) {
  to.macroProcessing = from.macroProcessing;
  std::memcpy(to.startOfData, from.startOfData, sizeof to.startOfData);
  std::memcpy(to.endOfData, from.endOfData, sizeof to.endOfData);
  to.coercivity = from.coercivity;
  to.encoderPosition = from.encoderPosition;
  to.encoderType = from.encoderType;
}

void copyTrackSettings(const EncoderBlock &from, EncoderBlock &to) {
  std::memcpy(reinterpret_cast<uint8_t *>(&to) + kTrackPartOffset,
              reinterpret_cast<const uint8_t *>(&from) + kTrackPartOffset, kTrackPartSize);
}

void setEncoderText(char (&field)[10], const char *text, size_t length) {
  std::memset(field, 0, sizeof field);
  for (size_t i = 0; text && i < length && i < kEncoderTextChars && text[i]; ++i) field[i] = text[i];
}

std::string encoderText(const char (&field)[10]) {
  size_t n = 0;
  while (n < kEncoderTextChars && field[n]) ++n;
  return std::string(field, n);
}

std::string trackFormatCode(unsigned track, uint8_t mode, bool write) {
  if (track >= kTrackCount) return std::string();
  if (mode >= kTrackModeCount) mode = uint8_t(track);
  if (mode <= kTrackIso3) return write ? kIsoWrite[track][mode] : kIsoRead[track][mode];
  return std::string(write ? "E_" : "U_") + char('0' + mode);
}

std::string encoderSetupJob(const EncoderBlock &block) {
  std::string out;
  // JIS2 cards are encoded in one position only.
  if (block.encoderType != kEncoderJis2) out += command(block.encoderPosition == kEncoderNormal ? "&W 0" : "&W 1");
  if (block.coercivity == kCoercivityHigh)
    out += command("&C 1");
  else if (block.coercivity == kCoercivityLow)
    out += command("&C 0");
  out += trackFormats(block, block.encoderType == kEncoderAamva);
  return out;
}

std::string trackSetupJob(const EncoderBlock &block) {
  std::string out = trackFormats(block, false);
  out += density(0, block.trackFormat[0].density);
  if (block.encoderType == kEncoderIsoJis)
    for (unsigned t = 1; t < kTrackCount; ++t) out += density(t, block.trackFormat[t].density);
  return out;
}

EncoderDialogState encoderDialogState(uint8_t encoderType, bool lx3Model) {
  EncoderDialogState s;
  s.reversedEnabled = !lx3Model;
  if (encoderType == kEncoderJis2) s.reversedEnabled = s.normalEnabled = false;
  s.advancedEnabled = encoderType != kEncoderAamva;
  return s;
}

void prepareEncoderDialog(EncoderBlock &block, bool lx3Model) {
  if (lx3Model) block.encoderPosition = kEncoderNormal;
}

void chooseEncoderType(EncoderBlock &block, uint8_t encoderType) {
  block.encoderType = encoderType;
  if (encoderType == kEncoderJis2) block.currentTrack = 0;
}

TrackDialogState trackDialogState(const EncoderBlock &block, bool withoutThirdTrack) {
  TrackDialogState s;
  if (withoutThirdTrack) s.trackEnabled[2] = false;
  if (block.encoderType == kEncoderJis2) s.trackEnabled[1] = s.trackEnabled[2] = false;
  const unsigned track = block.currentTrack < kTrackCount ? block.currentTrack : 0;
  s.bitControlsEnabled = block.trackFormat[track].mode >= kTrack3Bit;
  return s;
}

void prepareTrackDialog(EncoderBlock &block, bool withoutThirdTrack) {
  if (block.currentTrack >= kTrackCount) block.currentTrack = 0;
  const TrackDialogState s = trackDialogState(block, withoutThirdTrack);
  if (!s.trackEnabled[block.currentTrack]) block.currentTrack = 0;
}

}  // namespace card::cfg
