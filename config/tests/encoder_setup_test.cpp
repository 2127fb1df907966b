// The encoder settings block and the set-up commands of the two encoder
// dialogs, checked against the format table, the set-up job rules and the
// default block.
#include "config/encoder_setup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace card::cfg {
namespace {

std::string esc(const std::string &text) { return "\x1b" + text + "\r"; }

EncoderBlock withModes(uint8_t type, uint8_t m1, uint8_t m2, uint8_t m3) {
  EncoderBlock b = defaultEncoderBlock();
  b.encoderType = type;
  b.trackFormat[0].mode = m1;
  b.trackFormat[1].mode = m2;
  b.trackFormat[2].mode = m3;
  return b;
}

TEST(EncoderBlock, LiesAtRecordOffset38AndTravelsWhole) {
  JobSettingsRecord r{};
  EncoderBlock b = defaultEncoderBlock();
  b.hasEncoder = 1;
  b.trackFormat[2].lrcParity = kParityOdd;
  b.encoderSpare = 0x5A;
  writeEncoderBlock(r, b);
  const auto *bytes = reinterpret_cast<const uint8_t *>(&r);
  EXPECT_EQ(bytes[38], 1);  // hasEncoder
  EXPECT_EQ(bytes[40], 1);  // macro processing on
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(bytes + 42)), "${");
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(bytes + 52)), "}$");
  EXPECT_EQ(bytes[62], kCoercivityUnchanged);
  EXPECT_EQ(bytes[64], kEncoderNormal);
  EXPECT_EQ(bytes[38 + 30 + 7 * 2 + 6], kParityOdd);  // track 3 LRC parity
  EXPECT_EQ(bytes[38 + 51], 0x5A);
  EXPECT_EQ(bytes[37], 0);  // nothing before the block
  EXPECT_EQ(bytes[90], 0);  // nor after it
  EXPECT_EQ(std::memcmp(&b, bytes + 38, 52), 0);
  EncoderBlock back = readEncoderBlock(r);
  EXPECT_EQ(std::memcmp(&back, &b, sizeof b), 0);
}

TEST(EncoderBlock, DefaultsAreTheTable) {
  const EncoderBlock b = defaultEncoderBlock();
  EXPECT_EQ(b.macroProcessing, 1);
  EXPECT_EQ(encoderText(b.startOfData), "${");
  EXPECT_EQ(encoderText(b.endOfData), "}$");
  EXPECT_EQ(b.coercivity, 2);
  EXPECT_EQ(b.encoderPosition, 1);
  EXPECT_EQ(b.encoderType, 0);
  EXPECT_EQ(b.currentTrack, 0);
  const uint8_t modes[] = {0, 1, 2}, densities[] = {1, 0, 1};
  for (int t = 0; t < 3; ++t) {
    SCOPED_TRACE(t);
    const TrackFormat &f = b.trackFormat[t];
    EXPECT_EQ(f.mode, modes[t]);
    EXPECT_EQ(f.density, densities[t]);
    EXPECT_EQ(f.startChar, 65);
    EXPECT_EQ(f.stopChar, 90);
    EXPECT_EQ(f.startPosition, 7);
    EXPECT_EQ(f.charParity, 0);
    EXPECT_EQ(f.lrcParity, 0);
  }
}

TEST(EncoderBlock, TextsKeepNineCharacters) {
  EncoderBlock b = defaultEncoderBlock();
  setEncoderText(b.startOfData, "ABCDEFGHIJKL", 12);
  EXPECT_EQ(encoderText(b.startOfData), "ABCDEFGHI");
  EXPECT_EQ(b.startOfData[9], '\0');
  setEncoderText(b.endOfData, "", 0);
  EXPECT_EQ(encoderText(b.endOfData), "");
  // A record from outside without a terminator is read as nine characters.
  std::memset(b.endOfData, 'x', sizeof b.endOfData);
  EXPECT_EQ(encoderText(b.endOfData), "xxxxxxxxx");
}

TEST(EncoderBlock, DialogCopiesTakeOnlyTheirOwnPart) {
  EncoderBlock from = withModes(kEncoderAamva, 5, 6, 7), to = defaultEncoderBlock();
  from.macroProcessing = 0;
  from.coercivity = kCoercivityHigh;
  from.currentTrack = 2;
  from.hasEncoder = 1;
  from.encoderSpare = 9;
  copyEncoderSettings(from, to);
  EXPECT_EQ(to.macroProcessing, 0);
  EXPECT_EQ(to.coercivity, kCoercivityHigh);
  EXPECT_EQ(to.encoderType, kEncoderAamva);
  EXPECT_EQ(to.trackFormat[0].mode, kTrackIso1);
  EXPECT_EQ(to.currentTrack, 0);
  EXPECT_EQ(to.hasEncoder, 0);

  EncoderBlock to2 = defaultEncoderBlock();
  copyTrackSettings(from, to2);
  EXPECT_EQ(to2.currentTrack, 2);
  EXPECT_EQ(to2.trackFormat[2].mode, 7);
  EXPECT_EQ(to2.encoderType, kEncoderIsoJis);
  EXPECT_EQ(to2.macroProcessing, 1);
  EXPECT_EQ(to2.encoderSpare, 0);
  EXPECT_EQ(to2.hasEncoder, 0);
}

TEST(TrackFormats, TableOfWriteAndReadCodes) {
  const char *write[3][3] = {{"A", "a2", "a3"}, {"b1", "B", "b3"}, {"c1", "c2", "C"}};
  const char *read[3][3] = {{"Q", "q2", "q3"}, {"r1", "R", "r3"}, {"s1", "s2", "S"}};
  for (unsigned t = 0; t < 3; ++t)
    for (uint8_t m = 0; m < 3; ++m) {
      EXPECT_EQ(trackFormatCode(t, m, true), write[t][m]);
      EXPECT_EQ(trackFormatCode(t, m, false), read[t][m]);
    }
  EXPECT_EQ(trackFormatCode(0, 3, true), "E_3");
  EXPECT_EQ(trackFormatCode(1, 5, false), "U_5");
  EXPECT_EQ(trackFormatCode(2, 7, true), "E_7");
  // A mode without a name is the track's own ISO format.
  EXPECT_EQ(trackFormatCode(1, 200, true), "B");
}

TEST(EncoderSetupJob, IsoJisSendsPositionCoercivityAndEveryTrack) {
  EncoderBlock b = withModes(kEncoderIsoJis, kTrackIso2, kTrack4Bit, kTrackIso3);
  b.encoderPosition = kEncoderReversed;
  b.coercivity = kCoercivityHigh;
  EXPECT_EQ(encoderSetupJob(b), esc("&W 1") + esc("&C 1") + esc("&CDEW 1 a2") + esc("&CDER 1 q2") + esc("&CDEW 2 E_4") +
                                    esc("&CDER 2 U_4") + esc("&CDEW 3 C") + esc("&CDER 3 S"));
  b.encoderPosition = kEncoderNormal;
  b.coercivity = kCoercivityLow;
  EXPECT_EQ(encoderSetupJob(b).substr(0, 12), esc("&W 0") + esc("&C 0"));
  b.coercivity = kCoercivityUnchanged;
  EXPECT_EQ(encoderSetupJob(b).substr(0, 18), esc("&W 0") + esc("&CDEW 1 a2"));
}

TEST(EncoderSetupJob, AamvaUsesFixedModes) {
  EncoderBlock b = withModes(kEncoderAamva, kTrack7Bit, kTrack3Bit, kTrackIso3);
  b.coercivity = kCoercivityUnchanged;
  EXPECT_EQ(encoderSetupJob(b), esc("&W 0") + esc("&CDEW 1 A") + esc("&CDER 1 Q") + esc("&CDEW 2 B") +
                                    esc("&CDER 2 R") + esc("&CDEW 3 c1") + esc("&CDER 3 s1"));
}

TEST(EncoderSetupJob, Jis2HasNoPositionAndTrackOneOnly) {
  EncoderBlock b = withModes(kEncoderJis2, kTrack5Bit, kTrackIso1, kTrackIso1);
  b.encoderPosition = kEncoderReversed;
  b.coercivity = kCoercivityLow;
  EXPECT_EQ(encoderSetupJob(b), esc("&C 0") + esc("&CDEW 1 E_5") + esc("&CDER 1 U_5"));
}

TEST(TrackSetupJob, DensitiesByType) {
  EncoderBlock b = withModes(kEncoderIsoJis, kTrackIso1, kTrackIso2, kTrack6Bit);
  EXPECT_EQ(trackSetupJob(b), esc("&CDEW 1 A") + esc("&CDER 1 Q") + esc("&CDEW 2 B") + esc("&CDER 2 R") +
                                  esc("&CDEW 3 E_6") + esc("&CDER 3 U_6") + esc("&D 1 210") + esc("&D 2 75") +
                                  esc("&D 3 210"));
  // AAMVA: the block's own formats, and track 1's density only.
  b = withModes(kEncoderAamva, kTrack3Bit, kTrackIso2, kTrackIso3);
  b.trackFormat[0].density = kDensity75Bpi;
  EXPECT_EQ(trackSetupJob(b), esc("&CDEW 1 E_3") + esc("&CDER 1 U_3") + esc("&CDEW 2 B") + esc("&CDER 2 R") +
                                  esc("&CDEW 3 C") + esc("&CDER 3 S") + esc("&D 1 75"));
  b.encoderType = kEncoderJis2;
  EXPECT_EQ(trackSetupJob(b), esc("&CDEW 1 E_3") + esc("&CDER 1 U_3") + esc("&D 1 75"));
}

TEST(EncoderDialog, EnablingByTypeAndModel) {
  EncoderDialogState s = encoderDialogState(kEncoderIsoJis, false);
  EXPECT_TRUE(s.reversedEnabled && s.normalEnabled && s.advancedEnabled);
  s = encoderDialogState(kEncoderJis2, false);
  EXPECT_FALSE(s.reversedEnabled);
  EXPECT_FALSE(s.normalEnabled);
  EXPECT_TRUE(s.advancedEnabled);
  s = encoderDialogState(kEncoderAamva, false);
  EXPECT_TRUE(s.reversedEnabled && s.normalEnabled);
  EXPECT_FALSE(s.advancedEnabled);
  s = encoderDialogState(kEncoderIsoJis, true);
  EXPECT_FALSE(s.reversedEnabled);
  EXPECT_TRUE(s.normalEnabled);

  EncoderBlock b = defaultEncoderBlock();
  b.encoderPosition = kEncoderReversed;
  prepareEncoderDialog(b, true);
  EXPECT_EQ(b.encoderPosition, kEncoderNormal);
  b.currentTrack = 2;
  chooseEncoderType(b, kEncoderAamva);
  EXPECT_EQ(b.currentTrack, 2);
  chooseEncoderType(b, kEncoderJis2);
  EXPECT_EQ(b.encoderType, kEncoderJis2);
  EXPECT_EQ(b.currentTrack, 0);
}

TEST(TrackDialog, TracksAndBitControls) {
  EncoderBlock b = withModes(kEncoderIsoJis, kTrackIso1, kTrack5Bit, kTrackIso3);
  TrackDialogState s = trackDialogState(b, false);
  EXPECT_TRUE(s.trackEnabled[0] && s.trackEnabled[1] && s.trackEnabled[2]);
  EXPECT_FALSE(s.bitControlsEnabled);
  b.currentTrack = 1;  // "5 bit"
  EXPECT_TRUE(trackDialogState(b, false).bitControlsEnabled);
  b.trackFormat[1].mode = kTrackIso2;
  EXPECT_FALSE(trackDialogState(b, false).bitControlsEnabled);

  // QA1 and QA2 have no third track: a current track 3 becomes track 1.
  b.currentTrack = 2;
  s = trackDialogState(b, true);
  EXPECT_FALSE(s.trackEnabled[2]);
  EXPECT_TRUE(s.trackEnabled[1]);
  prepareTrackDialog(b, true);
  EXPECT_EQ(b.currentTrack, 0);

  b.encoderType = kEncoderJis2;
  s = trackDialogState(b, false);
  EXPECT_TRUE(s.trackEnabled[0]);
  EXPECT_FALSE(s.trackEnabled[1] || s.trackEnabled[2]);
  b.currentTrack = 1;
  prepareTrackDialog(b, false);
  EXPECT_EQ(b.currentTrack, 0);
  b.currentTrack = 9;  // out of range in a record from outside
  prepareTrackDialog(b, false);
  EXPECT_EQ(b.currentTrack, 0);
}

}  // namespace
}  // namespace card::cfg
