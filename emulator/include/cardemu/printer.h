// The emulated card printer.
//
// A transport (a USB port, a TCP data channel, a test, the decoder) hands it
// bytes with write() and takes its answers with read(); lineStatus() is the
// status byte a port reports outside the command language.  Bytes may come in
// pieces of any size.  Every command is executed as soon as its last byte is
// in; the printer answers nothing by itself except to the error report
// request "\eE 1\r"/"\eE 2\r", which returns ACK, a query's value followed by
// ACK, or NAK, the error code in two ASCII digits and EOT.
//
// An error stops the printer: it keeps taking bytes and answering status
// requests and queries, holds the other commands (up to a bound, after which
// write() takes fewer bytes) and runs them once the error is cleared with the
// button; the command that failed is run again unless it was itself wrong.
//
// All public members may be called from any thread.  Listeners run on the
// calling thread with the printer locked: they must not call back into it.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "emulator/include/cardemu/card.h"
#include "emulator/include/cardemu/parser.h"
#include "emulator/include/cardemu/protocol.h"

namespace cardemu {

struct PrinterConfig {
  std::string model = "CA3";  // model code carried by the version reply
  std::string firmware = "V3.02";
  std::string modelText;          // the whole version reply; empty: composed from the fields
  bool encoder = true;            // magnetic-stripe encoder fitted
  std::string smartCard;          // smart-card option code for the version reply ("0iD" ...)
  std::optional<bool> twoSided;   // flipper; default: from the model code
  std::optional<bool> laminator;  // default: from the model code
  std::string serial = "EMU20240001";
  int ribbonCode = 2;                       // as "\e!RIBBON" reports it; 0 = none
  int ribbonRemaining = 250;                // cards left on the ribbon
  int feederCards = -1;                     // cards in the feeder; -1 = never runs out
  std::array<std::string, 3> feederTracks;  // magnetic data already on the fed cards
  int headResistance = 1250;
  bool checkRibbonPanels = true;  // refuse panels the installed ribbon does not have
  // Bytes of commands held while stopped by an error; with 0 the printer
  // takes no byte after the command that stopped it.
  size_t receiveLimit = 24u << 20;
  size_t replyLimit = 64u << 10;  // unread answer bytes kept; more are dropped
  size_t cardsKept = 64;          // ejected cards kept for takeCards()
};

// What the printer did with one command, for listings and tests.
struct CommandRecord {
  const Command *command = nullptr;
  int error = 0;        // error the command raised (0: none)
  bool held = false;    // taken while stopped by an error, run later
  bool replay = false;  // run when the error was cleared
  std::string answer;   // value a query produced / bytes a status request returned
  std::string note;     // what became of it, for the listing ("cleaning 1", "firmware update 1: ...")
};

struct PrinterState {
  std::string modelText;
  bool connected = true;
  int error = 0;  // latched error code, 0 when none
  size_t heldCommands = 0;
  bool cardInPrinter = false;
  int sideUp = 0;                     // side of the card facing the head
  int flips = 0;                      // flips of the card in the printer
  std::array<bool, 4> planeLoaded{};  // Y, M, C, dye K, in the image bank of the side facing the head
  bool resinImage = false;            // that bank's resin image has any dot set
  bool varnishImage = false;
  int ribbonCode = 0;
  int ribbonRemaining = 0;
  uint64_t panelsPrinted = 0;
  int feederCards = 0;
  uint64_t cardsOut = 0;
  uint64_t commands = 0;  // commands run (status requests not counted)
  bool inJob = false;     // since "\eMASTER"
  std::map<std::string, int>
      settings;  // head, offsets, encoder and other set-up values by command ("+$C 0", "+O", "&D 1" ...)
  std::array<std::string, 3> writeFormat, readFormat;
  std::array<std::string, 3> pendingTracks;  // "\e&B" data waiting for "\e&E*"
  int cleanings = 0;
  int firmwareDownloads = 0;  // firmware frames accepted
  int firmwareRefused = 0;    // firmware frames refused: badly framed, or no firmware of this printer
  std::string lastFirmware;   // "printer" or "laminator"
  uint32_t lastFirmwareSize = 0;
  bool coverOpen = false;
  bool headOpen = false;
  bool answering = true;  // false once stopAnsweringAfter/stopAnsweringInFirmware struck
};

// A firmware frame as the printer took it: "\eDC ", the content size in 4
// bytes (most significant first), the content, the end marker 0xFF and CR.
struct FirmwareFrame {
  uint32_t declaredSize = 0;
  uint64_t contentBytes = 0;                            // content bytes that came (the declared size unless cut)
  std::shared_ptr<const std::vector<uint8_t>> content;  // null when the frame was refused
  bool endMarker = false;                               // 0xFF came after the content
  int error = 0;                                        // 0, or the error the frame raised (60)
  std::string problem;                                  // what was wrong with a bad frame
  uint32_t crc32 = 0;     // CRC-32 of the content bytes that came, whether or not the frame was good
  bool accepted = false;  // run and taken as firmware of this printer
  std::string kind;       // "printer" or "laminator" once run; empty when it is neither or was not run
};

// Printer-side faults by name, for a test's or a demo's "KIND[@COMMAND]":
// what the printer reports for each and what the operator does about it.
struct NamedFault {
  const char *name;     // "cover-open"
  int code;             // the error code the printer reports after NAK
  const char *strikes;  // where it strikes when no command is named
};
const std::vector<NamedFault> &namedFaults();
// The error code of a fault name; 0 when there is no such fault.
int faultByName(const std::string &name);

// "KIND" or "KIND@COMMAND": the fault and the command text (without ESC and
// CR, a prefix as injectErrorAt takes it) at whose first occurrence it strikes.
struct FaultChoice {
  std::string name;
  int code = 0;
  std::string command;  // empty: as the fault's "strikes" says
};
// False, with the reason in `problem`, for an unknown kind or an empty command.
bool parseFault(const std::string &text, FaultChoice *out, std::string *problem);

class Printer {
 public:
  explicit Printer(PrinterConfig config = {});
  ~Printer();
  Printer(const Printer &) = delete;
  Printer &operator=(const Printer &) = delete;

  // ---- attachment: what a port or channel calls ----
  // Bytes taken (possibly fewer than offered); -1 when disconnected.
  long write(const uint8_t *bytes, size_t count);
  long write(const std::string &bytes) { return write(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size()); }
  // Answer bytes taken out (0 when none); -1 when disconnected.
  long read(uint8_t *out, size_t max);
  std::string readAll();
  size_t answerBytes() const;
  // The status byte of the port; nothing when disconnected.
  std::optional<uint8_t> lineStatus() const;
  // The network interface's status byte and its reply to the status poll "000":
  // ACK, nine filler bytes, the status byte, EOT.
  std::optional<uint8_t> networkStatus() const;
  std::vector<uint8_t> statusPollReply() const;
  // Interface reset: drops a half-read command or block, then resets.
  void softReset();
  // Called whenever answer bytes become available.
  void setAnswerListener(std::function<void()> listener);

  // ---- the operator, and faults ----
  void injectError(int code);  // stop now
  // At the occurrence-th command whose text (without ESC) starts with the
  // prefix ("IS 1", "&E*"); an empty prefix matches any command.
  void injectErrorAt(int code, const std::string &commandPrefix, int occurrence = 1);
  void injectErrorAfter(int code, uint64_t commands);  // at the n-th command from now (1 = next)
  // A named fault (see namedFaults()).  At its command, or as the fault's
  // "strikes" says, the printer stops with the fault's code and the cause is
  // real: the cover is open, the feeder or the ribbon is empty, a card is
  // jammed, the encoder failed.
  void injectFault(const FaultChoice &fault);
  // The operator removes the cause of the error (closes the cover and the
  // head, fills an empty feeder, loads a fresh ribbon of the configured kind
  // in place of a spent or missing one) and presses the button.
  void clearFault();
  // The printer's button: clears the error unless its cause is still there,
  // then runs the failed command again (unless it was wrong) and the held ones.
  void pressButton();
  // Clears the error as if its cause had gone (the decoder uses it to go on).
  void forceClear();
  void removeRibbon();
  void loadRibbon(int code, int remaining);
  void setFeederCards(int cards);
  void setFeederTracks(const std::array<std::string, 3> &tracks);
  void setCoverOpen(bool open);
  void setHeadOpen(bool open);
  void setSilent(bool silent);        // takes and runs commands, answers nothing
  void setStalled(bool stalled);      // takes no bytes at all
  void setConnected(bool connected);  // port gone: writes, reads and status fail
  // A printer that hangs: once `bytes` more bytes have been taken it takes no
  // further byte and answers nothing (status requests and the network status
  // poll included) until resumeAnswering().  0 hangs at once.
  void stopAnsweringAfter(uint64_t bytes);
  // The same, counted from the end of the "\eDC " of the next firmware frame:
  // 0 hangs right after it, 4 after the size bytes, 4 + n after n bytes of
  // content.  For a download that dies half way.
  void stopAnsweringInFirmware(uint64_t bytes);
  // Ends a hang (and disarms one still to come).
  void resumeAnswering();

  // ---- observation ----
  PrinterState state() const;
  int error() const;  // the latched error code, 0 when none (state().error, cheaply)
  const PrinterConfig &config() const { return config_; }
  // The last firmware frame taken, good or bad, and how many came.
  std::optional<FirmwareFrame> lastFirmwareFrame() const;
  uint64_t firmwareFrames() const;
  // Cards put out since the last call (at most cardsKept of them).
  std::vector<Card> takeCards();
  void setCardListener(std::function<void(const Card &)> listener);
  void setCommandListener(std::function<void(const CommandRecord &)> listener);
  // End of input: a command cut by the end is reported; a card still in the
  // printer stays there.
  void finish();
  // Puts out the card still in the printer, if any (decoder: job ended without eject).
  void ejectRemaining(const std::string &note);

 private:
  void pressButtonLocked();

  struct Impl;
  PrinterConfig config_;
  std::unique_ptr<Impl> impl_;
  mutable std::mutex mutex_;
};

// Version reply composed from the configuration ("CA3 0iD MAG V3.02").
std::string composeModelText(const PrinterConfig &config);
bool modelIsTwoSided(const std::string &modelText);
bool modelHasLaminator(const std::string &modelText);

}  // namespace cardemu
