// Query names, command categories and reply waits: matching on whole command
// bytes as the monitors cut them from the job stream or receive them as
// printer-data value names.
#include "shared/status_commands.h"

namespace card::status {

namespace {

std::string_view view(const uint8_t *p, size_t n) {
  return p ? std::string_view(reinterpret_cast<const char *>(p), n) : std::string_view();
}

bool contains(std::string_view s, std::string_view what) { return s.find(what) != std::string_view::npos; }

}  // namespace

bool isResetCommand(const uint8_t *cmd, size_t length) {
  std::string_view s = view(cmd, length);
  return s == kCmdReset || s == kCmdResetLong;
}

QueryKind classifyQuery(const uint8_t *name, size_t length) {
  struct Entry {
    std::string_view name;
    QueryKind kind;
  };
  static constexpr Entry kQueries[] = {
      {kQueryFileVersion, QueryKind::FileVersion}, {kQueryDocComplete, QueryKind::DocComplete},
      {kQueryPortStatus, QueryKind::PortStatus},   {kQueryHidReady, QueryKind::HidReady},
      {kQueryHidDone, QueryKind::HidReady},        {kQueryIsReady, QueryKind::IsReady},
      {kQueryCheckStatus, QueryKind::CheckStatus}, {kCmdReset, QueryKind::Reset},
      {kCmdResetLong, QueryKind::Reset},           {kQuerySoftReset, QueryKind::SoftReset},
      {kQueryHardReset, QueryKind::HardReset},     {kQueryClean, QueryKind::Clean},
      {kQueryJobStatus, QueryKind::JobStatus},
  };
  std::string_view s = view(name, length);
  for (const Entry &e : kQueries)
    if (s == e.name) return e.kind;
  return QueryKind::Other;
}

bool containsCleanQuery(const uint8_t *name, size_t length) { return contains(view(name, length), kQueryClean); }

CommandClass classifyCommand(const uint8_t *cmd, size_t length) {
  std::string_view s = view(cmd, length);
  CommandClass c{CommandCategory::Other, contains(s, "G 0 0 10")};
  if (s.starts_with("\033GS ") || s.starts_with("\033Z")) {
    c.category = CommandCategory::DataBlock;
    return c;
  }
  // ESC "I" with a CR somewhere after it: the printer prints a panel, which
  // takes it several seconds.
  for (size_t at = s.find("\033I"); at != std::string_view::npos; at = s.find("\033I", at + 1)) {
    if (s.find('\r', at + 2) != std::string_view::npos) {
      c.category = CommandCategory::Print;
      return c;
    }
  }
  if (contains(s, "\033&E*\r"))
    c.category = CommandCategory::EncodeEnd;
  else if (contains(s, "\033&R\r"))
    c.category = CommandCategory::TrackStart;
  else if (contains(s, "\033M ") || contains(s, "\033m "))
    c.category = CommandCategory::Move;
  else if (contains(s, "\033MF\r") || contains(s, "\033MO\r") || contains(s, "\033MI\r") || contains(s, "\033# 1 TF "))
    c.category = CommandCategory::CardMotion;
  return c;
}

uint32_t pauseAfter(CommandCategory category) {
  switch (category) {
    case CommandCategory::Other: return 30;
    case CommandCategory::Print: return 3850;
    case CommandCategory::DataBlock: return 100;
    case CommandCategory::EncodeEnd: return 1000;
    case CommandCategory::TrackStart: return 200;
    case CommandCategory::Move: return 3850;
    case CommandCategory::CardMotion: return 1000;
    case CommandCategory::None: break;
  }
  return 50;
}

uint32_t replyWaitSeconds(const uint8_t *cmd, size_t length) {
  std::string_view s = view(cmd, length);
  // A test card is printed whole before the printer answers.
  if (s.starts_with("\033A\r") || s == "\033A 1\r" || s == "\033A 2\r" || s == "\033A 3\r") return kReplyWaitTestCard;
  if (s == kCmdReset || s == kCmdResetLong || s == "\033MI\r" || s == "\033&E*\r") return kReplyWaitLong;
  // Magnetic reads ("\e&L1".."\e&L3") and card moves ("\eMS ...") take long.
  constexpr std::string_view kMove = "\033MS", kTrackRead = std::string_view("\033&L1", 3);
  if (s.size() >= 4 && (s.starts_with(kMove) || s.starts_with(kTrackRead))) return kReplyWaitLong;
  return kReplyWaitDefault;
}

}  // namespace card::status
