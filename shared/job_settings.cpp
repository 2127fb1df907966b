#include "shared/job_settings.h"

#include <cstring>

#include "shared/package_version.h"

namespace card {

namespace {

uint16_t readU16(const BYTE *p) { return uint16_t(p[0] | (p[1] << 8)); }

void copyWide(WCHAR *dst, const char *src) {
  while ((*dst++ = WCHAR(static_cast<unsigned char>(*src++)))) {
  }
}

// dmSize and dmDriverExtra, when the DEVMODE is long enough to hold them.
bool headerSizes(const BYTE *dm, size_t available, uint16_t &size, uint16_t &extra) {
  if (!dm || available < offsetof(DEVMODEW, dmFields)) return false;
  size = readU16(dm + offsetof(DEVMODEW, dmSize));
  extra = readU16(dm + offsetof(DEVMODEW, dmDriverExtra));
  return true;
}

}  // namespace

void fillDefaultStandardPart(BYTE (&out)[kStandardPartSize]) {
  DEVMODEW dm;
  std::memset(&dm, 0, sizeof dm);
  copyWide(dm.dmDeviceName, "Pellor Standard Printer");
  dm.dmSpecVersion = 0x0401;
  dm.dmDriverVersion = 1;
  dm.dmSize = WORD(kStandardPartSize);
  dm.dmDriverExtra = WORD(kRecordSize);
  dm.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_DEFAULTSOURCE | DM_PRINTQUALITY | DM_COLOR | DM_DUPLEX |
                DM_TTOPTION | DM_ICMMETHOD | DM_ICMINTENT | DM_MEDIATYPE | DM_DITHERTYPE;
  dm.dmOrientation = DMORIENT_LANDSCAPE;
  dm.dmPaperSize = 258;
  dm.dmPaperLength = 541;
  dm.dmPaperWidth = 866;
  dm.dmScale = 100;
  dm.dmCopies = 1;
  dm.dmDefaultSource = 256;
  dm.dmPrintQuality = 300;
  dm.dmColor = DMCOLOR_COLOR;
  dm.dmDuplex = DMDUP_SIMPLEX;
  dm.dmYResolution = 300;
  dm.dmTTOption = 1;
  dm.dmCollate = 1;
  copyWide(dm.dmFormName, "86mmx54mm Card");
  dm.dmLogPixels = 300;
  dm.dmBitsPerPel = 24;
  dm.dmPelsWidth = 640;
  dm.dmPelsHeight = 1024;
  dm.dmICMMethod = 2;
  dm.dmICMIntent = 2;
  dm.dmMediaType = 3;
  dm.dmDitherType = 0;
  std::memcpy(out, &dm, kStandardPartSize);
}

namespace {

void wholeCardArea(OverlayRecord &o) {
  o.type = kOverlayFull;
  o.left = 0;
  o.top = 0;
  o.right = 1023;
  o.bottom = 639;
}

}  // namespace

void fillInstallerDefaultRecord(JobSettingsRecord &r) {
  std::memset(&r, 0, sizeof r);
  r.signature = kRecordSignature;
  r.reserved2[2] = 1;
  r.duplex = kSettingOn;
  r.ribbonType = kRibbonKResin;
  r.blackBitmap = kSettingOn;
  r.monoConversion = kConvertDiffusion;
  r.blackPanelMode = kBlackPanelAlways;
  r.jobMode = kJobPrint;
  r.ribbonId = kRibbonFromPrinter;
  r.pageFlag = 1;
  r.hasEncoder = kSettingOff;
  r.macroProcessing = kSettingOn;
  std::memcpy(r.startOfData, "${", 3);
  std::memcpy(r.endOfData, "}$", 3);
  r.coercivity = kCoercivityUnchanged;
  r.encoderPosition = kEncoderNormal;
  const uint8_t modes[3] = {kTrackIso1, kTrackIso2, kTrackIso3};
  for (int t = 0; t < 3; ++t) {
    TrackFormat &f = r.trackFormat[t];
    f.mode = modes[t];
    f.density = t == 1 ? kDensity75Bpi : kDensity210Bpi;
    f.startChar = 'A';
    f.stopChar = 'Z';
    f.startPosition = 7;
  }
  wholeCardArea(r.frontOverlay);
  wholeCardArea(r.backOverlay);
  r.hologramEnabled = kSettingOff;
  r.hologramCopies = 1;
  wholeCardArea(r.hologramArea);
  r.varnishContrast = r.blackContrast = r.hologramContrast = 5;
  r.blackDyeIntensity = r.blackDyeContrast = 5;
  for (int k = 0; k < 3; ++k) r.colourIntensity[k] = r.colourContrast[k] = 5;
  std::memcpy(r.reservedConfig, kPackageVersion.data(), kPackageVersion.size());
}

size_t claimedDevmodeSize(const DEVMODEW *devmode) {
  uint16_t size, extra;
  if (!headerSizes(reinterpret_cast<const BYTE *>(devmode), offsetof(DEVMODEW, dmFields), size, extra)) return 0;
  return size_t(size) + extra;
}

bool carriesRecord(const void *devmode, size_t available) {
  const auto *dm = static_cast<const BYTE *>(devmode);
  uint16_t size, extra;
  if (!headerSizes(dm, available, size, extra)) return false;
  if (size_t(size) + 2 > available) return false;
  return readU16(dm + size) == kRecordSignature;
}

size_t rendererRecordOffset(const void *devmode, size_t available) {
  const auto *dm = static_cast<const BYTE *>(devmode);
  uint16_t size, extra;
  if (!headerSizes(dm, available, size, extra)) return kStandardPartSize;
  if (size == kStandardPartSize) return kStandardPartSize;
  if (carriesRecord(devmode, available)) return size;
  return kStandardPartSize;
}

size_t copyDevmodeForRenderer(const void *devmode, size_t available, CardDevmode &out) {
  std::memset(&out, 0, sizeof out);
  const auto *dm = static_cast<const BYTE *>(devmode);
  uint16_t size, extra;
  if (!headerSizes(dm, available, size, extra)) return 0;
  std::memcpy(out.standard, dm, available < kStandardPartSize ? available : kStandardPartSize);
  size_t offset = rendererRecordOffset(devmode, available);
  size_t n = extra < kRecordSize ? extra : kRecordSize;
  if (offset >= available)
    n = 0;
  else if (n > available - offset)
    n = available - offset;
  std::memcpy(&out.record, dm + offset, n);
  const uint16_t newSize = uint16_t(kStandardPartSize), newExtra = uint16_t(n);
  std::memcpy(out.standard + offsetof(DEVMODEW, dmSize), &newSize, 2);
  std::memcpy(out.standard + offsetof(DEVMODEW, dmDriverExtra), &newExtra, 2);
  return n;
}

}  // namespace card
