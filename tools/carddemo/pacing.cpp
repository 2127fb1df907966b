#include "tools/carddemo/pacing.h"

#include <cstdio>
#include <map>
#include <string_view>

#include "shared/status_commands.h"
#include "shared/stream_cutter.h"

namespace carddemo {

namespace {

using card::pacing::CutKind;
using card::status::CommandCategory;

const char *categoryName(CommandCategory c) {
  switch (c) {
    case CommandCategory::Print: return "print a panel (ESC I)";
    case CommandCategory::DataBlock: return "end of an image block";
    case CommandCategory::EncodeEnd: return "end of encoding";
    case CommandCategory::TrackStart: return "track read start";
    case CommandCategory::Move: return "card move";
    case CommandCategory::CardMotion: return "flip, eject, feed";
    case CommandCategory::Other: return "other command";
    case CommandCategory::None: break;
  }
  return "unclassified";
}

// A command as a person reads it: ESC as \e, CR as \r, cut at 40 characters.
std::string shown(std::string_view b) {
  std::string s;
  for (char c : b.substr(0, 40)) {
    if (c == '\x1b')
      s += "\\e";
    else if (c == '\r')
      s += "\\r";
    else if (c < ' ' || c > '~')
      s += '.';
    else
      s += c;
  }
  if (b.size() > 40) s += "...";
  return s;
}

}  // namespace

PacingSummary analysePacing(const std::vector<cardemu::UsbWrite> &writes, std::ostream *listing) {
  PacingSummary s;
  card::pacing::StreamCutter cutter;
  std::map<CommandCategory, CategoryPauses> categories;
  bool jobStarted = false, piecesSeen = false;
  DWORD firstPieceTick = 0, lastTick = 0;
  DWORD previousTick = writes.empty() ? 0 : writes.front().tick;
  for (const cardemu::UsbWrite &w : writes) {
    if (w.taken <= 0) continue;
    ++s.writes;
    const std::string_view b(reinterpret_cast<const char *>(w.bytes.data()), w.bytes.size());
    std::string what;
    if (b == card::status::kCmdErrorReportUsb) {
      ++s.requests;
      what = "status request";
    } else if (!jobStarted && b == card::status::kCmdMaster) {
      jobStarted = true;
      ++s.monitorOwn;
      what = "job start (usbmon)";
    } else if (!jobStarted) {
      ++s.monitorOwn;
      what = "query " + shown(b);
    } else if (b == card::status::kCmdReset) {
      ++s.monitorOwn;
      s.resetSent = true;
      what = "reset: the job was cancelled";
    } else {
      const card::pacing::Cut c = cutter.next(w.bytes.data(), w.bytes.size());
      const bool onePiece = (c.kind == CutKind::Command || c.kind == CutKind::Data) && c.consumed == w.bytes.size() &&
                            c.pieceLength == w.bytes.size();
      if (!onePiece) {
        ++s.mixedWrites;
        cutter.reset();
        what = "not one piece: " + shown(b);
      } else {
        if (!piecesSeen) firstPieceTick = w.tick;
        piecesSeen = true;
        if (c.kind == CutKind::Command) {
          ++s.commands;
          what = "command " + shown(b);
        } else {
          ++s.dataSlices;
          s.largestSlice = std::max(s.largestSlice, w.bytes.size());
          what = c.endsBlock ? "image data, end of block" : "image data";
        }
        if (c.checkAfter) {
          CategoryPauses &cp = categories[c.category];
          cp.name = categoryName(c.category);
          ++cp.commands;
          cp.pauseMs += c.pauseMs;
          s.mandatedMs += c.pauseMs;
          what += "  (pause " + std::to_string(c.pauseMs) + " ms)";
        }
      }
    }
    if (piecesSeen) lastTick = w.tick;
    if (listing) {
      char head[48];
      std::snprintf(head, sizeof head, "%+9ld ms %6zu bytes  ", long(w.tick - previousTick), w.bytes.size());
      *listing << head << what << "\n";
    }
    previousTick = w.tick;
  }
  if (piecesSeen) s.onWireMs = lastTick - firstPieceTick;
  s.firstPieceTick = firstPieceTick;
  for (auto &[category, pauses] : categories) s.categories.push_back(pauses);
  return s;
}

FrameSummary analyseFrames(const std::vector<NetFrame> &frames, std::ostream *listing) {
  FrameSummary s;
  bool jobStarted = false, piecesSeen = false;
  uint64_t lastTick = 0, previousTick = frames.empty() ? 0 : frames.front().tick;
  // Commands are short and end in CR; a message of image data can start with
  // any byte, so only the whole form counts.
  auto isCommand = [](const NetFrame &f) {
    return f.length >= 2 && f.head.size() == f.length && f.head.front() == 0x1B && f.head.back() == '\r';
  };
  for (const NetFrame &f : frames) {
    ++s.frames;
    const std::string_view b(reinterpret_cast<const char *>(f.head.data()), f.head.size());
    std::string what;
    if (isCommand(f) && b == "\x1b"
                             "E 1\r") {
      ++s.replyChecks;
      what = "reply check";
    } else if (!jobStarted && b == card::status::kCmdMaster) {
      jobStarted = true;
      ++s.monitorOwn;
      what = "job start (netmon)";
    } else if (!jobStarted) {
      ++s.monitorOwn;
      what = "query " + shown(b);
    } else if (b == card::status::kCmdReset) {
      ++s.monitorOwn;
      s.resetSent = true;
      what = "reset: the job was cancelled";
    } else if (isCommand(f)) {
      if (!piecesSeen) s.firstTick = f.tick;
      piecesSeen = true;
      ++s.commands;
      what = "command " + shown(b);
    } else {
      if (!piecesSeen) s.firstTick = f.tick;
      piecesSeen = true;
      ++s.dataSlices;
      s.largestSlice = std::max<size_t>(s.largestSlice, f.length);
      what = "image data";
    }
    if (piecesSeen) lastTick = f.tick;
    if (listing) {
      char head[64];
      std::snprintf(head, sizeof head, "%+9ld ms  frame %6u bytes  ", long(f.tick - previousTick), unsigned(f.length));
      *listing << head << what << "\n";
    }
    previousTick = f.tick;
  }
  if (piecesSeen) s.onWireMs = lastTick - s.firstTick;
  return s;
}

}  // namespace carddemo
