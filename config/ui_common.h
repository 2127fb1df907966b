// What every dialog of the module needs from the system: the help file, the
// driver's folder, the dialog's base units and one-page raw jobs to the
// printer.
#pragma once

#include <windows.h>

#include <cstddef>

namespace card::cfg {

// `fileName` in the folder of the printer's driver file; false (and `out`
// empty) when the driver cannot be asked or the path would not fit.
bool driverFolderFile(HANDLE printer, LPCWSTR fileName, WCHAR *out, size_t outChars);

// Opens the module's help file (string 200) from the driver's folder with
// HTML Help, owned by `owner`.  HTML Help is bound by name, so a system
// without it only loses the help.
void openHelp(HWND owner);

// The dialog's horizontal and vertical base units in pixels, as the dialog
// manager maps its template: 4 horizontal and 8 vertical dialog units.
void dialogBaseUnits(HWND dialog, int &bx, int &by);

// A one-page document of printer commands.  The printer is opened by `name`
// when one is given and can be opened, else `fallback` is used (not closed).
// Data goes out with every write; the document ends when the job is
// destroyed or finish() is called.
class RawJob {
 public:
  RawJob(LPCWSTR name, HANDLE fallback, LPCWSTR documentName, LPCWSTR dataType = TEXT("RAW"));
  ~RawJob();
  RawJob(const RawJob &) = delete;
  RawJob &operator=(const RawJob &) = delete;

  // False when no document could be started; nothing is written then.
  bool started() const { return started_; }
  // The spooler's number for the document (0 when none was started).
  DWORD jobId() const { return jobId_; }
  bool write(const void *bytes, size_t length);
  // Ends the page and the document; false when a write or the end failed.
  bool finish();

 private:
  HANDLE printer_ = nullptr;
  bool owned_ = false, started_ = false, failed_ = false, finished_ = false;
  DWORD jobId_ = 0;
};

// One whole raw job holding `length` bytes.
bool sendRawJob(LPCWSTR name, HANDLE fallback, LPCWSTR documentName, const void *bytes, size_t length);

// A dialog of the module's resources, opened modally over `owner`; what its
// procedure ended it with (-1 when it could not be created).
INT_PTR showModuleDialog(HWND owner, int templateId, DLGPROC procedure, LPARAM param = 0);

// Enables or disables a dialog's control (a missing control is left alone).
void enableControl(HWND dialog, int control, bool on);

}  // namespace card::cfg
