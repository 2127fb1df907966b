// The settings exchange of the UI module, as pure rules on plain records: the
// driver-default DEVMODE, the merge of an application's DEVMODE with the
// printer's default and the module's working settings copy, the capability
// answers, and the reading of the printer's replies that the exchange needs.
// The entry points (entry.cpp) fetch what these rules take from the spooler
// and hand back what they produce.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "shared/job_settings.h"
#include <compstui.h>
#include <winddiui.h>

namespace card::cfg {

// dmFields of every DEVMODE this module builds, and its capability answer.
constexpr DWORD kCardFields = 0x07805F03;
constexpr WORD kCardPaper = 258;
constexpr WORD kCardBin = 256;  // DMBIN_USER, the card feeder
constexpr LONG kCardResolution = 300;

// String table entries that capability answers copy out.
constexpr UINT kIdsPaperName = 2017;  // "86mmx54mm Card"
constexpr UINT kIdsBinName = 2018;    // "Card Feeder"

// Return values of the old-style merge.
constexpr LONG kMergeDone = 1;    // IDOK
constexpr LONG kMergeFailed = 2;  // IDCANCEL

// "PrinterModel" values: the model last seen was single-sided, or not.
constexpr DWORD kModelSingleSided = 1;
constexpr DWORD kModelOther = 2;

// ------------------------------------------------------------ DEVMODE reading
// The size a DEVMODE from outside claims (dmSize + dmDriverExtra); 0 for no
// DEVMODE.  Only the two header words are read.
size_t claimedSize(const DEVMODEW *dm);

// Reads a 16-bit standard field at `offset` only when the DEVMODE's dmSize
// covers it.  False (and `value` untouched) otherwise.
bool readStandardShort(const DEVMODEW *dm, size_t offset, int16_t &value);
bool readStandardDword(const DEVMODEW *dm, size_t offset, DWORD &value);

// ------------------------------------------------------------ driver default
// The driver default: the default standard part, then the private part from
// the first bytes of the default settings file (`fileBytes`, `fileLength` of
// them were read).  Only a whole 3916-byte record gets `duplex` set to 1;
// bytes the file did not give keep what `out` held.  Returns true when the
// record was whole.
bool buildDriverDefault(CardDevmode &out, const BYTE *fileBytes, size_t fileLength);

// ------------------------------------------------------------ merge
// The model rule every merge applies: a single-sided model prints one side
// and belongs to the "CA1" family; every other printer is "CA3".
void applyModelRule(JobSettingsRecord &record, bool singleSided);

// True when the record's modelFamily reads exactly `family` ("CA1", "CA3").
bool familyIs(const JobSettingsRecord &record, const char *family);

// Merge from an initialised working copy: the input DEVMODE's standard part
// (never beyond its dmSize; fields it lacks from the defaults, fields out of
// their range too) and the working copy after the model rule.  The input must
// claim a whole card DEVMODE; a shorter one fails with kMergeFailed and leaves
// `out` alone.
LONG mergeFromWorkingCopy(const DEVMODEW *in, CardDevmode &out, JobSettingsRecord &working, bool singleSided);

// A DEVMODE with a standard part only, or with a private part too short to be
// this driver's (an older DEVMODE, or one of another driver): its standard
// fields are merged onto the printer's default, as on a first merge.
bool publicOnly(const DEVMODEW *in);

// A printer default DEVMODE this module can start from: a whole card DEVMODE
// (212-byte standard part, at least 3916 private bytes).  `available` bounds
// what is read.
bool usablePrinterDefault(const DEVMODEW *dm, size_t available);

// What the merge from the printer default knows besides the records.
struct PrinterMergeFacts {
  bool workingInitialised = false;  // the working copy carried the signature
  bool modelValueRead = false;      // "PrinterModel" could be read
  DWORD modelValue = 0;
  bool singleSided = false;  // from the printer's version reply
};

// Whether an initialised working copy survives: it is replaced when the
// stored "PrinterModel" is missing or tells of the other family.
bool keepWorkingCopy(const JobSettingsRecord &working, bool modelValueRead, DWORD modelValue);

// Merge starting from the printer's default: `printerDefault` is copied to
// `out` (values out of their range replaced by the defaults), a manual ribbon
// choice sets the ribbon type in both the output and
// the working copy, the working copy is kept or replaced (see
// keepWorkingCopy), the model rule is applied to both, and the output's
// private part becomes the working copy.
void mergeFromPrinterDefault(const CardDevmode &printerDefault, CardDevmode &out, JobSettingsRecord &working,
                             const PrinterMergeFacts &facts);

// DM_IN_BUFFER: orientation and copies come from the application's DEVMODE,
// paper width and length too when its dmFields names the paper size; each
// only when it holds a value in its range.  Fields beyond the input's dmSize
// are not read.
void applyApplicationFields(const DEVMODEW *in, CardDevmode &out);

// ------------------------------------------------------------ sheet-less exchange
enum class SheetlessStep {
  ReportSize,      // fMode 0 or no output: cbOut = 4128, return 4128
  BufferTooSmall,  // the output buffer cannot hold a card DEVMODE
  NothingToDo,     // return 1
  Exchange,        // merge, then the printer's ribbon and encoder
};
SheetlessStep sheetlessStep(DWORD fMode, bool haveOutput, DWORD cbOut);

// What the printer said when asked for its encoder and ribbon.
struct PrinterEquipment {
  bool answered = false;
  bool encoder = false;
  uint8_t ribbonType = kRibbonUnknown;
};

// Reply to the encoder query: any reply counts as a reply; one that begins
// with "1" and ends with the acknowledgement byte tells of an encoder and
// that the printer answered.
void readEncoderReply(const BYTE *reply, size_t length, PrinterEquipment &eq);
// Reply to the ribbon query: a non-empty reply ending with the acknowledgement
// byte is a decimal ribbon code before it.  False when the reply is no code.
bool readRibbonReply(const BYTE *reply, size_t length, PrinterEquipment &eq);

// Whether a DM_COPY exchange writes the printer's ribbon and encoder back.
bool equipmentChanged(DWORD fMode, const PrinterEquipment &eq, const JobSettingsRecord &record);

// ------------------------------------------------------------ printer replies
// The model text: the version reply without its trailing acknowledgement
// byte, as a terminated string of at most `capacity` - 1 bytes.  Returns its
// length.
size_t modelTextFromReply(const BYTE *reply, size_t length, char *out, size_t capacity);

// ------------------------------------------------------------ capabilities
enum class CapabilityOutput { None, Words, Points, Longs, Text };

struct CapabilityAnswer {
  DWORD result = DWORD(-1);
  CapabilityOutput output = CapabilityOutput::None;
  LONG values[2] = {0, 0};  // one WORD, one POINT, or one pair of LONGs
  UINT textId = 0;          // string table entry for Text
  UINT textChars = 0;       // width of one text entry in the caller's buffer
};

// The answer to one capability.  `devmodeGiven` tells whether the caller gave
// a DEVMODE; `orientation` is its dmOrientation (0 when unknown).
CapabilityAnswer deviceCapability(WORD capability, bool devmodeGiven, int16_t orientation);

}  // namespace card::cfg
