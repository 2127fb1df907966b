// Magnetic track formats of the encoder: the format codes of the set-up
// commands, which characters each format can hold and how many fit.
#pragma once

#include <string>

namespace cardemu {

// Track format modes: 0 ISO1 (alphanumeric), 1 ISO2, 2 ISO3 (numeric),
// 3..7 binary n-bit characters.
int defaultTrackMode(int track);     // track 1..3
int defaultTrackDensity(int track);  // bits per inch
// Mode of a write ("\e&CDEW") or read ("\e&CDER") format code on a track; -1 when unknown.
int trackModeOfWriteCode(int track, const std::string &code);
int trackModeOfReadCode(int track, const std::string &code);
std::string writeCodeOf(int track, int mode);
std::string readCodeOf(int track, int mode);
// Characters of data that fit on a track in that mode and density.
size_t trackCapacity(int mode, int density);
// Empty when the data can be written; otherwise what is wrong with it.
std::string checkTrackData(int mode, int density, const std::string &data);

}  // namespace cardemu
