#include "tools/cardtool/options.h"

#include "config/reply_display.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace cardtool {

namespace {

std::string narrow(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? char(c) : '?';
  return out;
}

int hexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

struct ToolName {
  std::u16string_view name;
  Tool tool;
};
constexpr ToolName kTools[] = {
    {u"cmd", Tool::Command},     {u"send", Tool::Send},     {u"firmware", Tool::Firmware},
    {u"clean", Tool::Clean},     {u"eject", Tool::Eject},   {u"test-card", Tool::TestCard},
    {u"offsets", Tool::Offsets}, {u"encode", Tool::Encode}, {u"read-tracks", Tool::ReadTracks},
};

bool isHelp(std::u16string_view a) { return a == u"--help" || a == u"-h" || a == u"help"; }

// The arguments after the tool's name, one by one; "--name=value" and
// "--name value" both give a value.
class Arguments {
 public:
  Arguments(int argc, const char16_t *const *argv, int first) : argc_(argc), argv_(argv), at_(first) {}
  bool done() const { return at_ >= argc_; }
  std::u16string_view next() { return argv_[at_++]; }
  // The value of an option whose name was just taken: after "=" or the next argument.
  bool value(std::u16string_view taken, std::u16string_view name, std::u16string &out) {
    if (taken.size() > name.size() && taken[name.size()] == u'=') {
      out = std::u16string(taken.substr(name.size() + 1));
      return true;
    }
    if (done()) return false;
    out = std::u16string(next());
    return true;
  }

 private:
  int argc_;
  const char16_t *const *argv_;
  int at_;
};

bool named(std::u16string_view arg, std::u16string_view name) {
  return arg.substr(0, name.size()) == name && (arg.size() == name.size() || arg[name.size()] == u'=');
}

bool fail(std::string &problem, std::string text) {
  problem = std::move(text);
  return false;
}

bool parseNumber(std::u16string_view text, long &out) {
  if (text.empty() || text.size() > 6) return false;
  long n = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return false;
    n = n * 10 + (c - u'0');
  }
  out = n;
  return true;
}

bool parseToolArguments(Arguments &args, Options &o, std::string &problem) {
  static constexpr std::u16string_view kOffsetNames[] = {u"--front-x", u"--front-y", u"--back-x", u"--back-y"};
  static constexpr std::u16string_view kTrackNames[] = {u"--track1", u"--track2", u"--track3"};
  std::vector<std::u16string> positional;
  while (!args.done()) {
    const std::u16string_view a = args.next();
    bool known = false;
    if (o.tool == Tool::Send && (a == u"--prn" || a == u"--text")) {
      o.sendAs = a == u"--prn" ? SendAs::PrinterFile : SendAs::CommandFile;
      known = true;
    }
    for (size_t i = 0; i < 4 && !known && o.tool == Tool::Offsets; ++i) {
      if (!named(a, kOffsetNames[i])) continue;
      std::u16string v;
      if (!args.value(a, kOffsetNames[i], v)) return fail(problem, narrow(kOffsetNames[i]) + " needs a number of dots");
      o.offsets[i] = narrow(v);
      known = true;
    }
    for (size_t i = 0; i < 3 && !known; ++i) {
      if (!named(a, kTrackNames[i])) continue;
      if (o.tool == Tool::ReadTracks) {
        if (a.size() != kTrackNames[i].size()) return fail(problem, narrow(kTrackNames[i]) + " takes no value here");
        o.readTrack[i] = true;
      } else if (o.tool == Tool::Encode) {
        std::u16string v;
        if (!args.value(a, kTrackNames[i], v)) return fail(problem, narrow(kTrackNames[i]) + " needs the track's text");
        std::string bytes;
        if (!resolveEscapes(v, bytes, problem)) return false;
        o.tracks[i] = bytes;
      } else {
        break;
      }
      known = true;
    }
    if (known) continue;
    if (!a.empty() && a[0] == u'-' && a.size() > 1) return fail(problem, "unknown option " + narrow(a));
    positional.emplace_back(a);
  }
  const size_t wanted = (o.tool == Tool::Command || o.tool == Tool::Send || o.tool == Tool::Firmware) ? 1 : 0;
  if (o.tool == Tool::TestCard && positional.size() == 1) {
    if (!parseNumber(positional[0], o.testCard) || o.testCard > 2)
      return fail(problem, "test-card takes 0 (standard), 1 (printer parameters) or 2 (encoder parameters)");
    return true;
  }
  if (positional.size() < wanted) {
    if (o.tool == Tool::Command) return fail(problem, "cmd needs the command to send, such as \"\\eV\\r\"");
    return fail(problem, "the file to send is missing");
  }
  if (positional.size() > wanted) return fail(problem, "unexpected argument " + narrow(positional[wanted]));
  if (o.tool == Tool::Command) {
    if (!resolveEscapes(positional[0], o.command, problem)) return false;
    if (o.command.empty()) return fail(problem, "the command is empty");
  } else if (wanted == 1) {
    o.file = positional[0];
    if (o.file.empty()) return fail(problem, "the file name is empty");
  }
  return true;
}

}  // namespace

bool resolveEscapes(std::u16string_view text, std::string &bytes, std::string &problem) {
  bytes.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c > 0xFF) return fail(problem, "printer commands are 8-bit text: \"" + narrow(text) + "\" is not");
    if (c != u'\\') {
      bytes += char(c);
      continue;
    }
    if (++i == text.size()) return fail(problem, "a backslash ends \"" + narrow(text) + "\"");
    switch (text[i]) {
      case u'e': bytes += '\x1b'; break;
      case u'r': bytes += '\r'; break;
      case u'n': bytes += '\n'; break;
      case u't': bytes += '\t'; break;
      case u'\\': bytes += '\\'; break;
      case u'x': {
        const int hi = i + 1 < text.size() ? hexDigit(text[i + 1]) : -1;
        const int lo = i + 2 < text.size() ? hexDigit(text[i + 2]) : -1;
        if (hi < 0 || lo < 0) return fail(problem, "\\x needs two hexadecimal digits in \"" + narrow(text) + "\"");
        bytes += char(hi * 16 + lo);
        i += 2;
        break;
      }
      default: return fail(problem, "unknown escape \\" + narrow(text.substr(i, 1)) + " in \"" + narrow(text) + "\"");
    }
  }
  return true;
}

bool parseOptions(int argc, const char16_t *const *argv, Options &o, std::string &problem) {
  o = Options{};
  if (argc < 1 || isHelp(argv[0])) return true;
  o.printer = argv[0];
  if (o.printer.empty() || o.printer[0] == u'-') return fail(problem, "the printer's name comes first");
  if (argc < 2) return fail(problem, "no command given");
  const std::u16string_view name = argv[1];
  if (isHelp(name)) return true;
  bool found = false;
  for (const ToolName &t : kTools)
    if (t.name == name) {
      o.tool = t.tool;
      found = true;
    }
  if (!found) return fail(problem, "unknown command " + narrow(name));
  Arguments args(argc, argv, 2);
  return parseToolArguments(args, o, problem);
}

std::string shownReply(bool succeeded, const std::string &reply) {
  const std::string text = card::cfg::replyDisplayText(succeeded, reply);
  std::string out;
  for (unsigned char c : text) {
    if (c == 0x1b) {
      out += "\\e";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c == 0x7f) {
      static const char kHex[] = "0123456789ABCDEF";
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += char(c);
    }
  }
  return out;
}

const char *usageText() {
  return "usage: cardtool PRINTER COMMAND [ARGUMENTS]\n"
         "Talks to a card printer through its driver and port monitor, as the driver's\n"
         "printer tools do.\n"
         "\n"
         "commands:\n"
         "  cmd TEXT             send one printer command and show the reply; ESC is \\e,\n"
         "                       CR \\r, any byte \\xHH (\"\\eV\\r\"); text without a leading\n"
         "                       ESC is sent as ESC TEXT CR\n"
         "  send FILE [--prn|--text]\n"
         "                       send a printer file, or a text file of commands (one\n"
         "                       per line); .txt files are command files unless --prn\n"
         "  firmware FILE        download printer or laminator firmware (.bin)\n"
         "  clean                clean the printer: take the ribbon out, close the head\n"
         "                       and press the printer's clear button first\n"
         "  eject                eject the card in the printer\n"
         "  test-card [N]        print test card N: 0 standard (default), 1 printer\n"
         "                       parameters, 2 encoder parameters\n"
         "  offsets [--front-x N] [--front-y N] [--back-x N] [--back-y N]\n"
         "                       show the print offsets, or set them (0 to 48 dots);\n"
         "                       those not given keep the printer's values\n"
         "  encode [--track1 T] [--track2 T] [--track3 T]\n"
         "                       encode the magnetic stripe of the card in the feeder\n"
         "  read-tracks [--track1] [--track2] [--track3]\n"
         "                       read the magnetic stripe (all three tracks by default)\n"
         "\n"
         "exit status: 0 done; 1 the printer refused, did not answer or the transfer\n"
         "failed; 2 wrong usage or text the printer cannot take; 3 the printer cannot be\n"
         "opened; 4 the file cannot be used.\n";
}

}  // namespace cardtool
