#include "tools/cardtool/cardtool.h"

#include <winspool.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "config/file_sending.h"
#include "config/firmware_file.h"
#include "config/module_state.h"
#include "config/printer_access.h"
#include "config/tool_commands.h"
#include "config/tool_rules.h"
#include "shared/wide_string.h"

namespace cardtool {

namespace cfg = card::cfg;

namespace {

using card::WString;

// The module's message numbers cardtool shows.
constexpr UINT kNoDataToEncode = 2077;
constexpr UINT kWrongFirmwareFile = 2099;
constexpr UINT kFileSent = 2140, kFileNotSent = 2141;
constexpr UINT kFirmwareSent = 2079, kFirmwareFailed = 2086, kPrinterResets = 2133;

WString widen(const std::string &text, UINT codePage = CP_ACP) {
  const int n = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
  WString out(size_t(n > 0 ? n : 0), WCHAR(0));
  if (n > 0) MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), out.data(), n);
  return out;
}

// Messages and replies for the user, one line each.
class Output {
 public:
  explicit Output(Console &console) : console_(console) {}
  void line(const WString &text) { console_.write(false, (text + WCHAR('\n')).c_str()); }
  void line(const std::string &text) { line(widen(text, CP_UTF8)); }
  void error(const WString &text) { console_.write(true, (WString(TEXT("cardtool: ")) + text + WCHAR('\n')).c_str()); }
  void error(const std::string &text) { error(widen(text, CP_UTF8)); }
  void reply(const cfg::QueryResult &r) { line(widen(shownReply(r.succeeded, r.bytes))); }

 private:
  Console &console_;
};

// The module's problems with a file, as the dialogs would show them in a box.
class ConsoleProblems final : public cfg::ProblemSink {
 public:
  explicit ConsoleProblems(Output &out) : out_(out) {}
  void problem(LPCWSTR caption, LPCWSTR text, UINT) override {
    out_.error(WString(caption ? caption : TEXT("")) + TEXT(": ") + (text ? text : TEXT("")));
    ++count;
  }
  int count = 0;

 private:
  Output &out_;
};

// A text of the configuration module's string table, by number.
WString moduleText(UINT id) {
  WCHAR text[512] = {};
  if (!LoadStringW(cfg::state().instance, id, text, 512)) return WString(TEXT("message ")) + widen(std::to_string(id));
  // Texts made for a box may end with a line break of their own.
  WString t(text);
  while (!t.empty() && (t.back() == WCHAR('\n') || t.back() == WCHAR('\r'))) t.pop_back();
  return t;
}

// The texts come from the printer's own configuration module, as in its
// dialogs; this program carries a copy for a driver that cannot be loaded.
HMODULE textsOf(HANDLE printer) {
  DWORD needed = 0;
  GetPrinterDriverW(printer, nullptr, 2, nullptr, 0, &needed);
  std::vector<BYTE> info(needed + sizeof(DRIVER_INFO_2W));
  if (needed && GetPrinterDriverW(printer, nullptr, 2, info.data(), DWORD(info.size()), &needed)) {
    const auto *d = reinterpret_cast<const DRIVER_INFO_2W *>(info.data());
    if (d->pConfigFile && *d->pConfigFile)
      if (HMODULE m = LoadLibraryExW(d->pConfigFile, nullptr, LOAD_LIBRARY_AS_DATAFILE)) return m;
  }
  return nullptr;
}

bool accepted(const cfg::QueryResult &r) { return r.succeeded && !r.bytes.empty() && r.bytes.back() == '\x06'; }

// Sends one tool command and shows the reply.
int runCommand(HANDLE printer, const std::string &command, Output &out) {
  const cfg::QueryResult r = cfg::toolCommand(printer, command);
  out.reply(r);
  return accepted(r) ? kExitDone : kExitFailed;
}

std::string typed(const std::string &command) {
  return !command.empty() && command[0] == '\x1b' ? command : cfg::typedCommand(command);
}

int runOffsets(HANDLE printer, const Options &o, Output &out) {
  std::array<std::optional<unsigned>, 4> values;
  bool any = false;
  for (size_t i = 0; i < 4; ++i) {
    if (!o.offsets[i]) continue;
    const cfg::TypedText checked = cfg::checkOffsetText(*o.offsets[i]);
    const std::optional<unsigned> number = cfg::offsetFieldNumber(*o.offsets[i]);
    if (checked.message || !number) {
      out.error(checked.message ? moduleText(checked.message) : widen("an offset is a number of dots from 0 to 48"));
      return kExitUsage;
    }
    values[i] = number;
    any = true;
  }
  // As in the tools dialog, whose fields show the printer's offsets when it
  // opens: what was not given keeps the printer's value.
  const cfg::OffsetReadings r = cfg::readOffsets(printer);
  if (any) {
    for (size_t i = 0; i < 4; ++i)
      if (!values[i] && r.fields[i]) values[i] = cfg::offsetFieldNumber(*r.fields[i]);
    return runCommand(printer, cfg::offsetsCommand(values[0], values[1], values[2], values[3]), out);
  }
  static const char *const kNames[] = {"front X", "front Y", "back X", "back Y"};
  for (size_t i = 0; i < 4; ++i) out.line(std::string(kNames[i]) + ": " + (r.fields[i] ? *r.fields[i] : "?"));
  return r.allCounted() ? kExitDone : kExitFailed;
}

int runEncode(HANDLE printer, const Options &o, Output &out) {
  for (int t = 0; t < 3; ++t) {
    if (!o.tracks[size_t(t)]) continue;
    const cfg::TypedText checked = cfg::checkTrackText(t + 1, *o.tracks[size_t(t)]);
    if (checked.message) {
      out.error(TEXT("track ") + widen(std::to_string(t + 1)) + TEXT(": ") + moduleText(checked.message));
      return kExitUsage;
    }
  }
  const std::string tracks = cfg::encodeTracksCommand(o.tracks);
  if (tracks.empty()) {
    out.error(moduleText(kNoDataToEncode));
    return kExitUsage;
  }
  return runCommand(printer, tracks + std::string(cfg::kEncodeTracksCommand), out);
}

int runReadTracks(HANDLE printer, const Options &o, Output &out) {
  std::array<bool, 3> selected = o.readTrack;
  if (!selected[0] && !selected[1] && !selected[2]) selected = {true, true, true};
  const cfg::TrackReadings r = cfg::readTracks(printer, selected);
  bool all = true;
  for (size_t t = 0; t < 3; ++t) {
    if (!selected[t]) continue;
    all = all && r.tracks[t].has_value();
    if (r.tracks[t]) out.line("track " + std::to_string(t + 1) + ": " + *r.tracks[t]);
  }
  if (r.stopReply) out.reply({true, *r.stopReply});
  return all ? kExitDone : kExitFailed;
}

// The first bytes of a firmware file, or false when it cannot be read.
bool identification(const std::u16string &path, std::vector<uint8_t> &bytes) {
  HANDLE file = CreateFileW(reinterpret_cast<LPCWSTR>(path.c_str()), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bytes.assign(cfg::kFirmwareIdentBytes, 0);
  DWORD got = 0;
  const bool read = ReadFile(file, bytes.data(), DWORD(bytes.size()), &got, nullptr);
  CloseHandle(file);
  bytes.resize(got);
  return read;
}

int runFirmware(HANDLE printer, const Options &o, Output &out) {
  std::vector<uint8_t> head;
  if (!identification(o.file, head)) {
    out.error(WString(reinterpret_cast<LPCWSTR>(o.file.c_str())) + TEXT(": the file cannot be read"));
    return kExitBadFile;
  }
  const cfg::FirmwareIdentity id = cfg::identifyFirmware(head.data(), head.size());
  if (id.type == cfg::FirmwareType::Unknown) {
    out.error(moduleText(kWrongFirmwareFile));
    return kExitBadFile;
  }
  out.line(cfg::firmwareTypeText(id.type) + ", checksum " + cfg::firmwareChecksumText(id.checksum));
  ConsoleProblems problems(out);
  cfg::startTrayForSending();
  const bool ok =
      cfg::downloadFirmware(problems, cfg::state().printerName, printer, reinterpret_cast<LPCWSTR>(o.file.c_str()));
  if (ok) {
    out.line(moduleText(kFirmwareSent));
    out.line(moduleText(kPrinterResets));
  } else {
    out.error(moduleText(kFirmwareFailed));
  }
  return ok ? kExitDone : problems.count ? kExitBadFile : kExitFailed;
}

cfg::FileKind sendKind(const Options &o) {
  if (o.sendAs != SendAs::ByExtension) return o.sendAs == SendAs::CommandFile ? cfg::kCommandFile : cfg::kPrinterFile;
  const std::u16string &f = o.file;
  const bool txt =
      f.size() >= 4 && (f.compare(f.size() - 4, 4, u".txt") == 0 || f.compare(f.size() - 4, 4, u".TXT") == 0);
  return txt ? cfg::kCommandFile : cfg::kPrinterFile;
}

int runSend(HANDLE printer, const Options &o, Output &out) {
  ConsoleProblems problems(out);
  cfg::startTrayForSending();
  const bool ok = cfg::sendFile(problems, cfg::state().printerName, printer, reinterpret_cast<LPCWSTR>(o.file.c_str()),
                                sendKind(o));
  if (ok)
    out.line(moduleText(kFileSent));
  else
    out.error(moduleText(kFileNotSent));
  return ok ? kExitDone : problems.count ? kExitBadFile : kExitFailed;
}

int runTool(HANDLE printer, const Options &o, Output &out) {
  switch (o.tool) {
    case Tool::Command: return runCommand(printer, typed(o.command), out);
    case Tool::Clean: return runCommand(printer, std::string(cfg::kCleanCommand), out);
    case Tool::Eject: return runCommand(printer, std::string(cfg::kEjectCommand), out);
    case Tool::TestCard: return runCommand(printer, cfg::testCardCommand(o.testCard), out);
    case Tool::Offsets: return runOffsets(printer, o, out);
    case Tool::Encode: return runEncode(printer, o, out);
    case Tool::ReadTracks: return runReadTracks(printer, o, out);
    case Tool::Send: return runSend(printer, o, out);
    case Tool::Firmware: return runFirmware(printer, o, out);
    case Tool::Help: break;
  }
  return kExitUsage;
}

}  // namespace

int cardToolMain(int argc, LPCWSTR const *argv, Console &console) {
  Output out(console);
  Options o;
  std::string problem;
  const auto *args = reinterpret_cast<const char16_t *const *>(argv);
  if (!parseOptions(argc > 0 ? argc - 1 : 0, argc > 0 ? args + 1 : args, o, problem)) {
    out.error(problem + " (cardtool --help lists the commands)");
    return kExitUsage;
  }
  if (o.tool == Tool::Help) {
    out.line(std::string(usageText()));
    return kExitDone;
  }
  const auto *name = reinterpret_cast<LPCWSTR>(o.printer.c_str());
  HANDLE printer = cfg::openPrinterByName(name);
  if (!printer) {
    out.error(TEXT("the printer \"") + WString(name) + TEXT("\" cannot be opened (error ") +
              widen(std::to_string(GetLastError())) + TEXT(")"));
    return kExitNoPrinter;
  }
  cfg::ModuleState &st = cfg::state();
  HMODULE texts = textsOf(printer);
  st.instance = texts ? texts : GetModuleHandleW(nullptr);
  st.printer = printer;
  lstrcpynW(st.printerName, name, int(cfg::kPrinterNameChars));
  const int status = runTool(printer, o, out);
  st.printer = nullptr;
  ClosePrinter(printer);
  if (texts) FreeLibrary(texts);
  return status;
}

}  // namespace cardtool
