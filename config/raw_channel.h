// The module's only path to the printer: query commands answered by the
// port's language monitor through GetPrinterDataW, and raw jobs (see
// ui_common.h) that carry commands or files without an answer.
//
// A query comes in two forms: an escape command, whose 8-bit bytes are laid
// into the value name (shared/query_command.h), and a prefixed request
// ("SetPrinterName:%s", "PrintFile:%s" ...), whose name is wide text.  The
// spooler may keep an answered query as a value of the printer's driver data
// and answer the next query from it, so every query that gives a reply is
// followed by the deletion of that value.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string_view>

#include "config/device_info.h"

namespace card::cfg {

// An escape command on `printer`; at most `capacity` reply bytes.  The
// stored value of the command's name is deleted after a reply.
QueryResult queryCommand(HANDLE printer, std::string_view command, size_t capacity);
// A prefixed request (wide value name) on `printer`, likewise.
QueryResult queryRequest(HANDLE printer, LPCWSTR request, size_t capacity);

// First on `current`; when that fails, on a handle opened by the printer's
// full name.  The value is deleted on the current printer either way.
QueryResult queryCurrentThenByName(HANDLE current, std::string_view command, size_t capacity);
// First on a handle opened by the full name (a second attempt when the first
// fails), on `current` only when no handle can be opened by name.
QueryResult queryByNameThenCurrent(HANDLE current, std::string_view command, size_t capacity);

// A request to the monitor on a handle opened by `rememberedName` when one
// is given, else on `current`.  "SetPrinterName:<full name>" goes first, so
// the monitor knows which printer asks.  The request's reply, or a failure.
QueryResult monitorRequest(LPCWSTR rememberedName, HANDLE current, LPCWSTR request, size_t capacity);

// Deletes the driver-data value named by a query of the printer behind
// `printer` (its name from the level-2 information).
void deleteStoredValue(HANDLE printer, LPCWSTR valueName);
void deleteStoredCommand(HANDLE printer, std::string_view command);

// Sets the direct-printing attribute for its lifetime, so that tool commands
// bypass the spool file; the saved attributes are written back when it ends,
// whatever became of the command.
class DirectPrinting {
 public:
  explicit DirectPrinting(HANDLE printer);
  ~DirectPrinting();
  DirectPrinting(const DirectPrinting &) = delete;
  DirectPrinting &operator=(const DirectPrinting &) = delete;

 private:
  HANDLE printer_ = nullptr;
  DWORD saved_ = 0;
  bool known_ = false;
};

// Where a printer operation's problems go: a message box over the dialog
// that asked for it, or the error output of a console program.  `boxStyle`
// is what a message box would carry (icon and modality).
class ProblemSink {
 public:
  virtual void problem(LPCWSTR caption, LPCWSTR text, UINT boxStyle) = 0;

 protected:
  ~ProblemSink() = default;
};

// Problems shown as message boxes owned by a dialog.
class BoxProblems final : public ProblemSink {
 public:
  explicit BoxProblems(HWND owner) : owner_(owner) {}
  void problem(LPCWSTR caption, LPCWSTR text, UINT boxStyle) override;

 private:
  HWND owner_;
};

// Sends a file's contents as a raw job (document name by `kind`, see
// reply_display.h), then waits until the monitor no longer reports
// "DOC_PENDING" and asks for the port's status.  True when that is
// "STATUS_SUCCESS".  Problems with the file go to `problems`, captioned with
// the printer's name.
bool sendFileJob(ProblemSink &problems, HANDLE current, LPCWSTR path, int kind);

}  // namespace card::cfg
