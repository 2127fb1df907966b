// Magnetic track formats of the encoder: the format codes of the set-up
// commands, which characters each format can hold and how many fit.
#pragma once

#include <string>

namespace cardemu {

// Track format modes: 0 ISO1 (alphanumeric), 1 ISO2, 2 ISO3 (numeric),
// 3..7 binary n-bit characters.
int DefaultTrackMode(int track);     // track 1..3
int DefaultTrackDensity(int track);  // bits per inch
// Mode of a write ("\e&CDEW") or read ("\e&CDER") format code on a track; -1 when unknown.
int TrackModeOfWriteCode(int track, const std::string &code);
int TrackModeOfReadCode(int track, const std::string &code);
std::string WriteCodeOf(int track, int mode);
std::string ReadCodeOf(int track, int mode);
// Characters of data that fit on a track in that mode and density.
size_t TrackCapacity(int mode, int density);
// Empty when the data can be written; otherwise what is wrong with it.
std::string CheckTrackData(int mode, int density, const std::string &data);

}  // namespace cardemu
