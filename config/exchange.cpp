#include "config/exchange.h"

#include <cstring>
#include <iterator>

#include "shared/ribbons.h"
#include "shared/settings_ranges.h"
#include "shared/wire_format.h"

namespace card::cfg {

namespace {

uint16_t readU16(const BYTE *p) { return uint16_t(p[0] | (p[1] << 8)); }

// dmSize of a DEVMODE from outside; only its own header word is read.
size_t standardSize(const DEVMODEW *dm) {
  if (!dm) return 0;
  return readU16(reinterpret_cast<const BYTE *>(dm) + offsetof(DEVMODEW, dmSize));
}

template <typename T>
bool readStandard(const DEVMODEW *dm, size_t offset, T &value) {
  if (standardSize(dm) < offset + sizeof(T)) return false;
  std::memcpy(&value, reinterpret_cast<const BYTE *>(dm) + offset, sizeof(T));
  return true;
}

void writeFamily(JobSettingsRecord &r, const char *family) {
  std::memset(r.modelFamily, 0, sizeof r.modelFamily);
  for (size_t i = 0; family[i] && i + 1 < std::size(r.modelFamily); ++i) r.modelFamily[i] = WCHAR(family[i]);
}

void setSizes(CardDevmode &dm) {
  const WORD size = WORD(kStandardPartSize), extra = WORD(kRecordSize);
  std::memcpy(dm.standard + offsetof(DEVMODEW, dmSize), &size, 2);
  std::memcpy(dm.standard + offsetof(DEVMODEW, dmDriverExtra), &extra, 2);
}

}  // namespace

size_t claimedSize(const DEVMODEW *dm) { return dm ? claimedDevmodeSize(dm) : 0; }

bool readStandardShort(const DEVMODEW *dm, size_t offset, int16_t &value) { return readStandard(dm, offset, value); }
bool readStandardDword(const DEVMODEW *dm, size_t offset, DWORD &value) { return readStandard(dm, offset, value); }

bool buildDriverDefault(CardDevmode &out, const BYTE *fileBytes, size_t fileLength) {
  fillDefaultStandardPart(out.standard);
  size_t n = fileLength < kRecordSize ? fileLength : kRecordSize;
  if (fileBytes && n) std::memcpy(&out.record, fileBytes, n);
  if (!fileBytes || fileLength < kRecordSize) return false;
  // Every printer starts out two-sided; the merge takes it back for a
  // single-sided model once the printer has told which it is.
  out.record.duplex = kSettingOn;
  return true;
}

void applyModelRule(JobSettingsRecord &record, bool singleSided) {
  if (singleSided) {
    record.duplex = kSettingOff;
    writeFamily(record, "CA1");
  } else {
    writeFamily(record, "CA3");
  }
}

bool familyIs(const JobSettingsRecord &record, const char *family) {
  size_t i = 0;
  for (; family[i]; ++i)
    if (i >= std::size(record.modelFamily) || record.modelFamily[i] != WCHAR(family[i])) return false;
  return i < std::size(record.modelFamily) && record.modelFamily[i] == 0;
}

LONG mergeFromWorkingCopy(const DEVMODEW *in, CardDevmode &out, JobSettingsRecord &working, bool singleSided) {
  if (claimedSize(in) < kCardDevmodeSize) return kMergeFailed;
  // The standard part is the application's, as far as its DEVMODE has one;
  // an older, shorter standard part leaves the remaining fields at the
  // defaults.  The output always describes itself as a card DEVMODE.
  BYTE standard[kStandardPartSize];
  fillDefaultStandardPart(standard);
  size_t n = standardSize(in);
  if (n > kStandardPartSize) n = kStandardPartSize;
  std::memcpy(standard, in, n);
  // What the application's part holds beyond its fields' ranges (a stale
  // DEVMODE of another printer, or a damaged one) gives way to the defaults.
  repairStandardPart(standard, nullptr);
  std::memcpy(out.standard, standard, kStandardPartSize);
  setSizes(out);
  repairRecord(working, nullptr);
  applyModelRule(working, singleSided);
  out.record = working;
  return kMergeDone;
}

bool publicOnly(const DEVMODEW *in) { return claimedSize(in) < kCardDevmodeSize; }

bool usablePrinterDefault(const DEVMODEW *dm, size_t available) {
  if (!dm || available < kCardDevmodeSize) return false;
  return standardSize(dm) == kStandardPartSize && claimedSize(dm) >= kCardDevmodeSize;
}

bool keepWorkingCopy(const JobSettingsRecord &working, bool modelValueRead, DWORD modelValue) {
  if (!modelValueRead) return false;
  if (familyIs(working, "CA1") && modelValue == kModelOther) return false;
  if (familyIs(working, "CA3") && modelValue == kModelSingleSided) return false;
  return true;
}

void mergeFromPrinterDefault(const CardDevmode &printerDefault, CardDevmode &out, JobSettingsRecord &working,
                             const PrinterMergeFacts &facts) {
  out = printerDefault;
  // The stored default is checked like any other DEVMODE.
  repairStandardPart(out.standard, nullptr);
  repairRecord(out.record, nullptr);
  if (out.record.ribbonId != kRibbonFromPrinter) {
    const uint8_t type = ribbonTypeFromId(out.record.ribbonId);
    out.record.ribbonType = type;
    working.ribbonType = type;
  }
  if (!facts.workingInitialised || !keepWorkingCopy(working, facts.modelValueRead, facts.modelValue))
    working = out.record;
  applyModelRule(out.record, facts.singleSided);
  applyModelRule(working, facts.singleSided);
  out.record = working;
}

void applyApplicationFields(const DEVMODEW *in, CardDevmode &out) {
  if (!in) return;
  const auto *from = reinterpret_cast<const BYTE *>(in);
  const size_t size = standardSize(in);
  DWORD fields = 0;
  const bool paper = readStandardDword(in, offsetof(DEVMODEW, dmFields), fields) && (fields & DM_PAPERSIZE);
  // A value outside its range leaves the printer's own in place.
  for (const StandardFieldRange &f : standardFieldRanges()) {
    const bool wanted = f.flag == DM_ORIENTATION || f.flag == DM_COPIES ||
                        (paper && (f.flag == DM_PAPERWIDTH || f.flag == DM_PAPERLENGTH));
    int64_t v;
    if (wanted && readStandardField(from, size, f, v) && standardValueInRange(f, v))
      std::memcpy(out.standard + f.offset, from + f.offset, f.width);
  }
}

SheetlessStep sheetlessStep(DWORD fMode, bool haveOutput, DWORD cbOut) {
  if (fMode == 0 || !haveOutput) return SheetlessStep::ReportSize;
  // A buffer smaller than a card DEVMODE cannot take the merge; a larger one
  // takes it in its first 4128 bytes.
  if (cbOut < kCardDevmodeSize) return SheetlessStep::BufferTooSmall;
  if (!(fMode & (DM_UPDATE | DM_COPY)) || (fMode & DM_NOPERMISSION)) return SheetlessStep::NothingToDo;
  return SheetlessStep::Exchange;
}

void readEncoderReply(const BYTE *reply, size_t length, PrinterEquipment &eq) {
  if (!reply || length == 0) return;
  if (length >= 2 && reply[0] == '1' && reply[length - 1] == kAck) {
    eq.encoder = true;
    eq.answered = true;
  }
}

bool readRibbonReply(const BYTE *reply, size_t length, PrinterEquipment &eq) {
  if (!reply || length < 2 || reply[length - 1] != kAck) return false;
  long code = 0;
  size_t i = 0;
  while (i < length - 1 && reply[i] == ' ') ++i;
  if (i == length - 1) return false;
  for (; i < length - 1; ++i) {
    if (reply[i] < '0' || reply[i] > '9') break;
    if (code < 100000) code = code * 10 + (reply[i] - '0');
  }
  eq.ribbonType = ribbonTypeFromPrinterCode(code);
  eq.answered = true;
  return true;
}

bool equipmentChanged(DWORD fMode, const PrinterEquipment &eq, const JobSettingsRecord &record) {
  if (fMode != DM_COPY || !eq.answered) return false;
  return record.ribbonType != eq.ribbonType || (record.hasEncoder != kSettingOff) != eq.encoder;
}

size_t modelTextFromReply(const BYTE *reply, size_t length, char *out, size_t capacity) {
  if (!out || capacity == 0) return 0;
  out[0] = 0;
  if (!reply) return 0;
  if (length && reply[length - 1] == kAck) --length;
  size_t n = 0;
  while (n < length && n + 1 < capacity && reply[n]) {
    out[n] = char(reply[n]);
    ++n;
  }
  out[n] = 0;
  return n;
}

namespace {

CapabilityAnswer answer(DWORD result) {
  CapabilityAnswer a;
  a.result = result;
  return a;
}

CapabilityAnswer answerValues(DWORD result, CapabilityOutput kind, LONG x, LONG y = 0) {
  CapabilityAnswer a = answer(result);
  a.output = kind;
  a.values[0] = x;
  a.values[1] = y;
  return a;
}

CapabilityAnswer answerText(DWORD result, UINT id, UINT chars) {
  CapabilityAnswer a = answer(result);
  a.output = CapabilityOutput::Text;
  a.textId = id;
  a.textChars = chars;
  return a;
}

CapabilityAnswer paperSize(int16_t orientation) {
  if (orientation == DMORIENT_LANDSCAPE) return answerValues(1, CapabilityOutput::Points, 866, 541);
  return answerValues(1, CapabilityOutput::Points, 541, 866);
}

CapabilityAnswer maxExtent(bool devmodeGiven, int16_t orientation) {
  if (!devmodeGiven) return answer(0);
  if (orientation == DMORIENT_PORTRAIT) return answerValues(0, CapabilityOutput::Points, 541, 866);
  return answerValues(0, CapabilityOutput::Points, 866, 541);
}

}  // namespace

CapabilityAnswer deviceCapability(WORD capability, bool devmodeGiven, int16_t orientation) {
  switch (capability) {
    case DC_FIELDS: return answer(kCardFields);
    case DC_PAPERS: return answerValues(1, CapabilityOutput::Words, kCardPaper);
    case DC_PAPERSIZE: return paperSize(orientation);
    case DC_MINEXTENT: return answerValues(0, CapabilityOutput::Points, 1, 1);
    case DC_MAXEXTENT: return maxExtent(devmodeGiven, orientation);
    case DC_BINS: return answerValues(1, CapabilityOutput::Words, kCardBin);
    case DC_DUPLEX: return answer(1);
    case DC_SIZE: return answer(kStandardPartSize);
    case DC_EXTRA: return answer(kRecordSize);
    case DC_VERSION: return answer(0x0401);
    case DC_DRIVER: return answer(1);
    // Each name goes into an entry of the width the caller's array has for
    // it: 24 characters for bin names, 64 for paper and media names.
    case DC_BINNAMES: return answerText(1, kIdsBinName, 24);
    case DC_ENUMRESOLUTIONS: return answerValues(1, CapabilityOutput::Longs, kCardResolution, kCardResolution);
    case DC_FILEDEPENDENCIES: return answer(0);
    case DC_TRUETYPE: return answer(1);
    case DC_PAPERNAMES: return answerText(1, kIdsPaperName, 64);
    case DC_ORIENTATION: return answer(90);
    case DC_COPIES: return answer(999);
    case DC_BINADJUST: return answer(0);
    case DC_EMF_COMPLIANT: return answer(DWORD(-1));
    case DC_MEDIAREADY: return answerText(1, kIdsPaperName, 64);
    case DC_STAPLE: return answer(0);
    case DC_COLORDEVICE: return answer(1);
    default: return answer(DWORD(-1));
  }
}

}  // namespace card::cfg
