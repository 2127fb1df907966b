// cardtool's command line: which printer, which tool, with what.  Pure text
// rules, no system calls.
#pragma once

#include <array>
#include <optional>
#include <string>

namespace cardtool {

enum class Tool { Help, Command, Send, Firmware, Clean, Eject, TestCard, Offsets, Encode, ReadTracks };

// How "send" treats its file: by the file's extension (".txt" is a command
// file, anything else a printer file) unless told.
enum class SendAs { ByExtension, PrinterFile, CommandFile };

struct Options {
  Tool tool = Tool::Help;
  std::u16string printer;
  std::string command;  // cmd: the bytes to send, escapes resolved
  std::u16string file;  // send, firmware
  SendAs sendAs = SendAs::ByExtension;
  long testCard = 0;  // test-card: 0 standard, 1 printer parameters, 2 encoder parameters
  // offsets: the values to set (none given: the offsets are shown); as
  // typed, so that the printer's own limit is checked with its message.
  std::array<std::optional<std::string>, 4> offsets;  // front X, front Y, back X, back Y
  // encode: the text of each track given; read-tracks: the tracks asked for.
  std::array<std::optional<std::string>, 3> tracks;
  std::array<bool, 3> readTrack{};
};

// Parses the arguments after the program's name.  False with `problem` set
// when they are wrong; a help request gives Tool::Help.
bool parseOptions(int argc, const char16_t *const *argv, Options &options, std::string &problem);

// "\e" ESC, "\r" CR, "\n" LF, "\t" TAB, "\\" a backslash, "\xHH" any byte;
// other characters as they are (UTF-16 above 0xFF refused).  False with
// `problem` set for a broken escape.
bool resolveEscapes(std::u16string_view text, std::string &bytes, std::string &problem);

// The reply as the console shows it: the tools dialog's text ("<ACK>" for
// the final ACK, "Printer has no response"), other control bytes spelled as
// \e, \r, \xHH.
std::string shownReply(bool succeeded, const std::string &reply);

// The help text: the commands, their arguments and the exit status.
const char *usageText();

// Exit status.
enum ExitCode {
  kExitDone = 0,
  kExitFailed = 1,     // the printer refused, did not answer, or the transfer failed
  kExitUsage = 2,      // wrong arguments, or text the printer would not take
  kExitNoPrinter = 3,  // the printer cannot be opened
  kExitBadFile = 4,    // the file cannot be used
};

}  // namespace cardtool
