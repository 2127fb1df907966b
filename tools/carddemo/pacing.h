// How the language monitor paced a job, read from the write calls that
// reached the printer: which were pieces of the job (one command, or one
// slice of an image block, per call), which the monitor's own status
// requests, and the simulated time between them against the pauses that the
// job's commands earn.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "emulator/include/cardemu/usb_device.h"

namespace carddemo {

struct CategoryPauses {
  std::string name;
  size_t commands = 0;
  uint64_t pauseMs = 0;  // mandated, each command's pause summed
};

struct PacingSummary {
  size_t writes = 0;            // calls that reached the printer
  size_t commands = 0;          // job commands, one per call
  size_t dataSlices = 0;        // slices of image blocks
  size_t requests = 0;          // the monitor's status requests
  size_t monitorOwn = 0;        // the monitor's other commands (job start, queries, reset)
  size_t mixedWrites = 0;       // calls that held more or less than one piece (none when paced)
  size_t largestSlice = 0;      // bytes
  uint64_t onWireMs = 0;        // simulated: first job piece to the check after the last
  uint64_t mandatedMs = 0;      // the pauses the job's commands earn
  uint64_t firstPieceTick = 0;  // GetTickCount at the job's first piece
  bool resetSent = false;       // "\eR\r": the job was cancelled at the printer
  std::vector<CategoryPauses> categories;
};

// Reads the log; with `listing`, writes one line per call to it.
PacingSummary analysePacing(const std::vector<cardemu::UsbWrite> &writes, std::ostream *listing);

// On the network the monitor sends each command, and each slice of an image
// block, as one length-framed message on the data channel, and asks for the
// printer's answer ("\eE 1\r") after every command instead of pausing.
struct NetFrame {
  uint64_t tick = 0;  // GetTickCount when the whole message had reached the printer
  uint32_t length = 0;
  std::vector<uint8_t> head;  // its first bytes
};

struct FrameSummary {
  size_t frames = 0;
  size_t commands = 0;      // job commands
  size_t dataSlices = 0;    // slices of image blocks
  size_t replyChecks = 0;   // the monitor's "\eE 1\r" after a command
  size_t monitorOwn = 0;    // the monitor's other commands (job start, queries, clean-up)
  size_t largestSlice = 0;  // bytes
  uint64_t onWireMs = 0;    // simulated: the job's first message to its last
  uint64_t firstTick = 0;
  bool resetSent = false;  // "\eR\r": the job was cancelled at the printer
};

// Reads the messages; with `listing`, writes one line per message to it.
FrameSummary analyseFrames(const std::vector<NetFrame> &frames, std::ostream *listing);

}  // namespace carddemo
