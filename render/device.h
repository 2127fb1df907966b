// The device instance: one per printer DC, created by DrvEnablePDEV and handed
// back by the engine to every hook as the surface's dhpdev.
#pragma once

#include <windows.h>
#include <winddi.h>

#include "job_settings.h"
#include "stream.h"
#include "text_capture.h"

namespace card {

constexpr uint32_t kGuardValue = 0x44444444;
constexpr size_t kOutputBufferSize = 0xA1000;  // one panel at a time
constexpr size_t kWorkAreaSize = 64 * 1024;

struct DeviceInstance {
  uint32_t leadingGuard;
  JobState job;
  HSURF colourSurface;  // 24 bpp, top-down
  HSURF blackSurface;   // 1 bpp, top-down, same size
  HDEV hdev;
  HANDLE printer;  // every WritePrinter of the job goes here
  HPALETTE palette;
  CardDevmode devmode;
  uint32_t trailingGuard;
  uint8_t *outputBuffer;
  int32_t outputLength;
  CardCapture capture;
  // The texts of the page being drawn, kept per instance so that two printer
  // DCs of one process do not mix their pages.
  FragmentList *fragments;
};

// Erases the rectangles of consumed text fragments on a locked surface.
void eraseConsumedFragments(DeviceInstance &p, SURFOBJ *surface);

// The instance behind a surface handed to a hook, or NULL when the surface is
// not one of ours (or the instance's guards are damaged).
DeviceInstance *instanceOf(SURFOBJ *surface);

// The process-wide lock around surface locking and panel encoding.
CRITICAL_SECTION &renderLock();

// Helpers that reach the printer through the spooler.
bool isVistaOrLater();
HANDLE openPrinterByName(LPCWSTR name);
bool printerNameOf(HANDLE printer, WCHAR *name, size_t capacity);
bool clientSidePrinterPath(LPCWSTR name, WCHAR *path, size_t capacity);
// Sends a printer command as a query command; `reply` receives up to 128
// bytes.  Returns false when the spooler did not answer.
bool queryCommand(HANDLE printer, const char *command, BYTE (&reply)[128], DWORD &length);
// The ribbon and model at the first page of a job.
void resolvePrinter(DeviceInstance &pdev, PrinterAnswer &answer);
// The record of the printer's default DEVMODE, when it carries one.
bool printerDefaultRecord(HANDLE printer, JobSettingsRecord &record);
// Brings every setting of an instance's record into its range: a value
// outside takes the printer's default, or the installer's when the printer's
// is missing or out of range too.  The printer is asked only when needed.
void keepSettingsInRange(JobSettingsRecord &record, HANDLE printer);

// The ribbon cache file's text: ribbon code and model text, when present.
void parseRibbonCache(const char *text, size_t size, PrinterAnswer &answer);
// Replies of the model and ribbon queries.
bool modelFromReply(const BYTE *reply, DWORD length, char (&model)[32]);
long ribbonCodeFromReply(const BYTE *reply, DWORD length);

}  // namespace card
