// Damaged DEVMODEs, as an application, a stored job or another driver may
// hand them over, through every entry point of both driver modules that takes
// one: the UI module's conversion, merge, sheet-less exchange, capabilities
// and print queries, and the graphics driver through CreateDCW and ResetDCW
// in a printed job.  Random but repeatable corruptions: sizes, dmDriverExtra,
// the record's signature and place, every setting out of its range, damaged
// names, buffers that end where the DEVMODE says it ends.  Nothing may crash
// or hang (the sanitizer build checks every read and write against the
// buffer's end), the merge never answers IDOK with a value out of range, and
// every printed job, as the emulated printer reads it, carries settings
// within range.
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>
#include <winsim/testing.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "emulator/include/cardemu/parser.h"
#include "shared/job_settings.h"
#include "shared/query_command.h"
#include "shared/tests/documented_settings.h"
#include <compstui.h>
#include <winddiui.h>

namespace {

using card::test::kSettings;
using card::test::Setting;
using card::test::settingOf;

using card::CardDevmode;
using card::JobSettingsRecord;

const char16_t kPrinter[] = u"Pellor CA3 Card Printer USB";
const char16_t kPort[] = u"CARD001";

using ConvertFn = BOOL(WINAPI *)(LPWSTR, DEVMODEW *, DEVMODEW *, LONG *, DWORD);
using CapsFn = DWORD(WINAPI *)(HANDLE, LPWSTR, WORD, void *, DEVMODEW *);
using DocPropsFn = LONG(WINAPI *)(HWND, HANDLE, LPWSTR, DEVMODEW *, DEVMODEW *, DWORD);
using SheetsFn = LONG(WINAPI *)(void *, LPARAM);
using QueryPrintFn = BOOL(WINAPI *)(HANDLE, DEVMODEW *, DWORD *);
using QueryPrintExFn = BOOL(WINAPI *)(DEVQUERYPRINT_INFO *);

void putLittle(BYTE *p, int width, uint32_t v) {
  for (int i = 0; i < width; ++i) p[i] = BYTE(v >> (8 * i));
}

// The record the installer writes: every setting at its default.
JobSettingsRecord installerRecord() {
  JobSettingsRecord r{};
  r.signature = card::kRecordSignature;
  for (const Setting &s : kSettings)
    putLittle(reinterpret_cast<BYTE *>(&r) + s.offset, s.width, uint32_t(s.installerDefault));
  std::memcpy(r.startOfData, "${", 3);
  std::memcpy(r.endOfData, "}$", 3);
  for (auto *o : {&r.frontOverlay, &r.backOverlay, &r.hologramArea}) {
    o->right = 1023;
    o->bottom = 639;
  }
  return r;
}

CardDevmode cardDevmode() {
  CardDevmode d{};
  card::fillDefaultStandardPart(d.standard);
  d.record = installerRecord();
  return d;
}

template <typename T>
T standardField(const BYTE *dm, size_t offset) {
  T v;
  std::memcpy(&v, dm + offset, sizeof v);
  return v;
}

// What a merge answered with IDOK must hold: the standard fields this printer
// acts on and every setting of the record within range.
void expectMergeInRange(const CardDevmode &out, const std::string &where) {
  SCOPED_TRACE(where);
  const int16_t orientation = standardField<int16_t>(out.standard, offsetof(DEVMODEW, dmOrientation));
  const int16_t copies = standardField<int16_t>(out.standard, offsetof(DEVMODEW, dmCopies));
  EXPECT_TRUE(orientation == 1 || orientation == 2) << orientation;
  EXPECT_TRUE(copies >= 1 && copies <= 999) << copies;
  EXPECT_EQ(standardField<int16_t>(out.standard, offsetof(DEVMODEW, dmPaperSize)), 258);
  EXPECT_EQ(standardField<WORD>(out.standard, offsetof(DEVMODEW, dmSize)), 212);
  EXPECT_EQ(standardField<WORD>(out.standard, offsetof(DEVMODEW, dmDriverExtra)), 3916);
  bool terminated = false;
  for (size_t i = 0; i < 32 && !terminated; ++i)
    terminated = standardField<WCHAR>(out.standard, offsetof(DEVMODEW, dmDeviceName) + 2 * i) == 0;
  EXPECT_TRUE(terminated);
  for (const Setting &s : kSettings) {
    const long v = settingOf(out.record, s);
    EXPECT_TRUE(v >= s.low && v <= s.high) << s.name << " " << v;
  }
}

// ------------------------------------------------------------ the corruptor
class Corruptor {
 public:
  explicit Corruptor(uint32_t start) : rng_(start) {}

  uint32_t below(uint32_t n) { return n ? rng_() % n : 0; }
  template <typename T, size_t N>
  T pick(const T (&options)[N]) {
    return options[below(N)];
  }

  // A DEVMODE buffer that ends exactly where the DEVMODE says it ends
  // (dmSize + dmDriverExtra), and never before its size words.
  std::vector<BYTE> next(std::string &what) {
    CardDevmode base = cardDevmode();
    std::vector<BYTE> b(sizeof base);
    std::memcpy(b.data(), &base, sizeof base);
    std::ostringstream log;
    const int count = 1 + int(below(4));
    for (int i = 0; i < count; ++i) corruptOnce(b, log);
    WORD size, extra;
    std::memcpy(&size, b.data() + offsetof(DEVMODEW, dmSize), 2);
    std::memcpy(&extra, b.data() + offsetof(DEVMODEW, dmDriverExtra), 2);
    const size_t claim = std::max<size_t>(size_t(size) + extra, offsetof(DEVMODEW, dmFields));
    const size_t old = b.size();
    b.resize(claim);
    for (size_t i = old; i < claim; ++i) b[i] = BYTE(rng_());
    log << " -> " << claim << " bytes";
    what = log.str();
    return b;
  }

 private:
  void setWord(std::vector<BYTE> &b, size_t offset, WORD v) { std::memcpy(b.data() + offset, &v, 2); }

  void corruptOnce(std::vector<BYTE> &b, std::ostringstream &log) {
    const size_t privateAt = card::kStandardPartSize;
    switch (below(9)) {
      case 0: {
        const WORD sizes[] = {0, 1, 67, 72, 76, 100, 211, 212, 213, 220, 221, 4128, 65535};
        const WORD v = below(4) ? pick(sizes) : WORD(rng_());
        setWord(b, offsetof(DEVMODEW, dmSize), v);
        log << " dmSize=" << v;
        break;
      }
      case 1: {  // also the truncations: a private part shorter than a record
        const WORD extras[] = {0, 1, 100, 2000, 3915, 3916, 3917, 8000, 65535};
        const WORD v = below(4) ? pick(extras) : WORD(rng_());
        setWord(b, offsetof(DEVMODEW, dmDriverExtra), v);
        log << " dmDriverExtra=" << v;
        break;
      }
      case 2: {
        const WORD signatures[] = {0, 0x1234, 0x455A, 0xFFFF};
        const WORD v = pick(signatures);
        setWord(b, privateAt, v);
        log << " signature=" << v;
        // Sometimes a signature where a longer standard part would end.
        if (below(2)) {
          setWord(b, 220, card::kRecordSignature);
          log << " signature@220";
        }
        break;
      }
      case 3: {
        const Setting &s = kSettings[below(std::size(kSettings))];
        uint32_t v = rng_();
        if (below(2)) v = uint32_t(below(2) ? s.high + 1 + long(below(3)) : s.low - 1 - long(below(3)));
        putLittle(b.data() + privateAt + s.offset, s.width, v);
        log << " " << s.name << "=" << v;
        break;
      }
      case 4: {
        const BYTE fills[] = {0x00, 0x7F, 0x80, 0xC8, 0xFF};
        const BYTE v = pick(fills);
        std::memset(b.data() + privateAt, v, card::kRecordSize);
        if (below(2)) setWord(b, privateAt, 0x1234);
        log << " private=" << int(v);
        break;
      }
      case 5: {
        const size_t fields[] = {offsetof(DEVMODEW, dmOrientation),  offsetof(DEVMODEW, dmPaperSize),
                                 offsetof(DEVMODEW, dmPaperLength),  offsetof(DEVMODEW, dmPaperWidth),
                                 offsetof(DEVMODEW, dmCopies),       offsetof(DEVMODEW, dmDefaultSource),
                                 offsetof(DEVMODEW, dmPrintQuality), offsetof(DEVMODEW, dmColor),
                                 offsetof(DEVMODEW, dmDuplex),       offsetof(DEVMODEW, dmTTOption)};
        const size_t at = pick(fields);
        const WORD v = WORD(rng_());
        setWord(b, at, v);
        const DWORD all = below(2) ? 0xFFFFFFFF : DWORD(rng_());
        std::memcpy(b.data() + offsetof(DEVMODEW, dmFields), &all, 4);
        log << " public@" << at << "=" << v;
        break;
      }
      case 6: {  // names without their terminator
        for (size_t i = 0; i < 32; ++i) setWord(b, offsetof(DEVMODEW, dmDeviceName) + 2 * i, WORD('A' + i % 26));
        for (size_t i = 0; i < 32; ++i) setWord(b, offsetof(DEVMODEW, dmFormName) + 2 * i, WORD(0xFFFF));
        log << " names";
        break;
      }
      case 7: {
        const uint32_t n = 1 + below(64);
        for (uint32_t i = 0; i < n; ++i) b[below(uint32_t(b.size()))] = BYTE(rng_());
        log << " bytes*" << n;
        break;
      }
      default: {  // an area off the card or turned inside out
        auto *o = reinterpret_cast<card::OverlayRecord *>(b.data() + privateAt + (below(2) ? 92 : 1136));
        o->type = int16_t(below(2) ? card::kOverlaySelectedVarnished : card::kOverlaySelectedBlank);
        o->left = int32_t(rng_() % 3000) - 1000;
        o->right = int32_t(rng_() % 3000) - 1000;
        o->top = int32_t(rng_() % 2000) - 700;
        o->bottom = int32_t(rng_() % 2000) - 700;
        log << " area";
        break;
      }
    }
  }

  std::mt19937 rng_;
};

// ------------------------------------------------------------ the printer's reading of a job
// Checks a job stream command by command as the emulated printer cuts it.
struct JobCheck {
  int commands = 0;
  int ejects = 0;
  std::vector<std::string> problems;
};

std::vector<long> numbers(const std::string &fields) {
  std::vector<long> v;
  std::istringstream in(fields);
  std::string f;
  while (in >> f) v.push_back(std::strtol(f.c_str(), nullptr, 10));
  return v;
}

JobCheck readJob(const std::vector<uint8_t> &bytes) {
  JobCheck c;
  cardemu::StreamParser parser;
  auto sink = [&](cardemu::Command &&cmd) {
    ++c.commands;
    if (cmd.error || cmd.stray) {
      c.problems.push_back("malformed \"" + cmd.text + "\": " + cmd.problem);
      return;
    }
    if (cmd.block != cardemu::BlockKind::kNone) return;
    const std::string &t = cmd.text;
    const size_t blank = t.find(' ');
    const std::string word = t.substr(0, blank);
    const std::vector<long> n = numbers(blank == std::string::npos ? std::string() : t.substr(blank + 1));
    auto expect = [&](bool ok) {
      if (!ok) c.problems.push_back("out of range: \"" + t + "\"");
    };
    if (word == "MO")
      ++c.ejects;
    else if (word == "JOB")
      expect(n.size() == 1 && n[0] >= 0 && n[0] <= 2);
    else if (word == "+C" || word == "+CH" || word == "+CV")
      expect(n.size() == 1 && n[0] >= 0 && n[0] <= 10);
    else if (word == "+$C" || word == "+$L")
      expect(n.size() == 2 && n[0] >= 0 && n[0] <= 3 && n[1] >= 0 && n[1] <= 10);
    else if (word == "vL")
      expect(n.size() == 5 && n[0] >= 0 && n[1] >= 0 && n[2] >= 0 && n[3] >= 0 && n[0] + n[2] <= 1023 &&
             n[1] + n[3] <= 639 && (n[4] == 0 || n[4] == 1));
    else if (word == "+DLAMI")
      expect(n.size() == 2 && n[0] >= 0 && n[0] <= 1 && n[1] >= 0 && n[1] <= 1);
  };
  parser.feed(bytes.data(), bytes.size(), sink);
  parser.finish(sink);
  return c;
}

// ------------------------------------------------------------ the machine
class DevmodeCorruptor : public ::testing::Test {
 protected:
  void install() {
    winsim::resetMachine();
    // A port whose printer-data questions the test answers (its responder).
    ASSERT_TRUE(winsim::addTestPort(kPort));
    winsim::PrinterSetup setup;
    setup.printerName = kPrinter;
    setup.driverName = u"Pellor Standard Printer";
    setup.graphicsDll = CARDREND_DLL;
    setup.configDll = CARDCFG_DLL;
    setup.portName = kPort;
    const CardDevmode def = cardDevmode();
    setup.defaultDevMode.assign(reinterpret_cast<const BYTE *>(&def), reinterpret_cast<const BYTE *>(&def + 1));
    files = std::filesystem::temp_directory_path() / ("devmode_corruptor_" + std::to_string(::getpid()));
    std::filesystem::create_directories(files);
    const JobSettingsRecord defaults = installerRecord();
    std::ofstream(files / "carddefaults.dat", std::ios::binary)
        .write(reinterpret_cast<const char *>(&defaults), sizeof defaults);
    setup.dataFile = (files / "carddefaults.dat").string();
    ASSERT_TRUE(winsim::installPrinter(setup));
    config = LoadLibraryW(u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\cardcfg.dll");
    ASSERT_NE(config, nullptr);
    winsim::setPortResponder(kPort, [this](const std::u16string &name, std::vector<uint8_t> &out) {
      char cmd[64];
      size_t n = card::decodeQueryCommand(reinterpret_cast<LPCWSTR>(name.c_str()), name.size() + 1, cmd, sizeof cmd);
      const std::string c(cmd, n);
      std::string r;
      if (c == "\x1bV\r")
        r = model + "\x06";
      else if (c == "\x1b!RIBBON\r")
        r = std::to_string(ribbonCode) + "\x06";
      else if (c == "\x1b!V 20\r")
        r = "1 1\x06";
      if (r.empty()) return false;
      out.assign(r.begin(), r.end());
      return true;
    });
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer, nullptr));
    lastJob = 0;
  }
  void uninstall() {
    if (printer) ClosePrinter(printer);
    printer = nullptr;
    if (config) FreeLibrary(config);
    config = nullptr;
  }
  void TearDown() override {
    uninstall();
    winsim::resetMachine();
    if (!files.empty()) std::filesystem::remove_all(files);
  }
  template <typename F>
  F fn(const char *name) {
    auto f = reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(config, name)));
    EXPECT_NE(f, nullptr) << name;
    return f;
  }

  // Every UI entry point that takes a DEVMODE, with this one.
  void throughTheUiModule(std::vector<BYTE> &dm, Corruptor &rnd, const std::string &what) {
    SCOPED_TRACE(what);
    auto *in = reinterpret_cast<DEVMODEW *>(dm.data());
    LPWSTR name = const_cast<LPWSTR>(kPrinter);

    const DWORD convertModes[] = {CDM_CONVERT, CDM_CONVERT351, CDM_DRIVER_DEFAULT, 0, 0xFFFFFFFF};
    const LONG outSizes[] = {0, 100, 4127, 4128, 6000};
    LONG cb = rnd.pick(outSizes);
    std::vector<BYTE> out(size_t(cb) + 1);
    const DWORD mode = rnd.pick(convertModes);
    const BOOL converted = convert(name, in, cb ? reinterpret_cast<DEVMODEW *>(out.data()) : nullptr, &cb, mode);
    EXPECT_TRUE(converted == FALSE || converted == CDM_RESULT_NOT_HANDLED) << converted;
    if (mode == CDM_DRIVER_DEFAULT && cb >= 4128 && out.size() > 4128) {
      CardDevmode d;
      std::memcpy(&d, out.data(), sizeof d);
      EXPECT_EQ(d.record.signature, card::kRecordSignature);
    }

    const DWORD propModes[] = {0,
                               DM_COPY,
                               DM_COPY | DM_IN_BUFFER,
                               DM_IN_BUFFER,
                               DM_COPY | DM_IN_BUFFER | DM_PROMPT,
                               DM_UPDATE | DM_COPY | DM_IN_BUFFER};
    const DWORD pm = rnd.pick(propModes);
    CardDevmode merged;
    std::memset(&merged, 0xAB, sizeof merged);
    LONG r = props(nullptr, printer, name, reinterpret_cast<DEVMODEW *>(&merged), in, pm);
    EXPECT_TRUE(r == 1 || r == 2 || (pm == 0 && r == 4128)) << r;
    if (r == 1 && (pm & DM_COPY)) expectMergeInRange(merged, "DrvDocumentProperties");
    // Callers often pass one buffer as both input and output.
    if (dm.size() >= sizeof(CardDevmode)) {
      std::vector<BYTE> same = dm;
      auto *both = reinterpret_cast<DEVMODEW *>(same.data());
      r = props(nullptr, printer, name, both, both, DM_COPY | DM_IN_BUFFER);
      if (r == 1) {
        std::memcpy(&merged, same.data(), sizeof merged);
        expectMergeInRange(merged, "DrvDocumentProperties in place");
      }
    }

    const DWORD sizes[] = {0, 4000, 4127, 4128, 5000};
    const DWORD cbOut = rnd.pick(sizes);
    std::vector<BYTE> sheetOut(cbOut + 1);
    DOCUMENTPROPERTYHEADER h{
        sizeof h, 0, printer, name, in, cbOut ? reinterpret_cast<DEVMODEW *>(sheetOut.data()) : nullptr, cbOut, pm};
    r = sheets(nullptr, reinterpret_cast<LPARAM>(&h));
    EXPECT_TRUE(r == 1 || r == -1 || r == 4128) << r;
    if (r == 1 && (pm & DM_COPY) && cbOut >= 4128) {
      std::memcpy(&merged, sheetOut.data(), sizeof merged);
      expectMergeInRange(merged, "DrvDocumentPropertySheets");
    }

    std::vector<BYTE> capsOut(512);
    for (WORD cap = 0; cap <= 40; ++cap) {
      caps(printer, name, cap, capsOut.data(), in);
      caps(printer, name, cap, nullptr, in);
    }
    caps(printer, name, WORD(rnd.below(65536)), capsOut.data(), in);

    DWORD resId = 0xDEADBEEF;
    EXPECT_TRUE(queryPrint(printer, in, &resId));
    WCHAR error[64] = {};
    DEVQUERYPRINT_INFO info{sizeof info, 1, printer, in, error, 64, 0};
    EXPECT_TRUE(queryPrintEx(&info));
  }

  // A two-page job: the first page under `first`, then ResetDCW to `second`.
  // Returns the job's bytes, empty when no job was made.
  std::vector<uint8_t> printJob(const std::vector<BYTE> &first, const std::vector<BYTE> *second) {
    HDC dc = CreateDCW(nullptr, kPrinter, nullptr, reinterpret_cast<const DEVMODEW *>(first.data()));
    if (!dc) return {};
    DOCINFOW di{sizeof(DOCINFOW), u"corrupted", nullptr, nullptr, 0};
    const int doc = StartDocW(dc, &di);
    bool ok = doc > 0;
    for (int page = 0; ok && page < 2; ++page) {
      if (page == 1 && second) ResetDCW(dc, reinterpret_cast<const DEVMODEW *>(second->data()));
      if (StartPage(dc) <= 0) {
        ok = false;
        break;
      }
      RECT r{40, 40, 300, 200};
      FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      EndPage(dc);
    }
    if (doc > 0) {
      if (ok)
        EndDoc(dc);
      else
        AbortDoc(dc);
    }
    DeleteDC(dc);
    auto jobs = winsim::printJobs(kPrinter);
    if (jobs.empty() || jobs.back().id == lastJob) return {};
    lastJob = jobs.back().id;
    return jobs.back().bytes;
  }

  void bindEntries() {
    convert = fn<ConvertFn>("DrvConvertDevMode");
    props = fn<DocPropsFn>("DrvDocumentProperties");
    sheets = fn<SheetsFn>("DrvDocumentPropertySheets");
    caps = fn<CapsFn>("DrvDeviceCapabilities");
    queryPrint = fn<QueryPrintFn>("DevQueryPrint");
    queryPrintEx = fn<QueryPrintExFn>("DevQueryPrintEx");
  }

  HMODULE config = nullptr;
  HANDLE printer = nullptr;
  std::filesystem::path files;
  std::string model = "Pellor CA3 V1.00";
  long ribbonCode = 2;
  DWORD lastJob = 0;
  ConvertFn convert = nullptr;
  DocPropsFn props = nullptr;
  SheetsFn sheets = nullptr;
  CapsFn caps = nullptr;
  QueryPrintFn queryPrint = nullptr;
  QueryPrintExFn queryPrintEx = nullptr;
};

TEST_F(DevmodeCorruptor, EveryUiEntryPointTakesDamagedDevmodes) {
  Corruptor rnd(0xDE7C0DE);
  // A few processes' lives: the module's working copy starts empty in each.
  for (int life = 0; life < 4; ++life) {
    install();
    bindEntries();
    for (int i = 0; i < 120; ++i) {
      std::string what;
      std::vector<BYTE> dm = rnd.next(what);
      throughTheUiModule(dm, rnd, "life " + std::to_string(life) + " case " + std::to_string(i) + ":" + what);
      if (HasFailure()) return;
    }
    uninstall();
  }
}

TEST_F(DevmodeCorruptor, PrintedJobsCarrySettingsInRange) {
  Corruptor rnd(0xC0FFEE);
  const long ribbons[] = {2, 5, 16, 17, 6, 3, 1, 19, 22, 28};
  const char *models[] = {"Pellor CA3 V1.00", "Pellor CA1 V2", "Pellor LX2 V1", "Pellor LX3 V1", "Pellor QA6 V3"};
  int printed = 0;
  for (int round = 0; round < 6; ++round) {
    install();
    bindEntries();
    ribbonCode = rnd.pick(ribbons);
    model = rnd.pick(models);
    for (int i = 0; i < 3; ++i) {
      std::string what, what2;
      std::vector<BYTE> first = rnd.next(what);
      std::vector<BYTE> second = rnd.next(what2);
      // As an application that merges its DEVMODE first would print, or with
      // the damaged one as it came.
      if (rnd.below(3) == 0) {
        std::vector<BYTE> merged(sizeof(CardDevmode));
        if (props(nullptr, printer, const_cast<LPWSTR>(kPrinter), reinterpret_cast<DEVMODEW *>(merged.data()),
                  reinterpret_cast<DEVMODEW *>(first.data()), DM_COPY | DM_IN_BUFFER) == 1)
          first = merged;
      }
      SCOPED_TRACE(model + ", ribbon " + std::to_string(ribbonCode) + ":" + what + " | reset:" + what2);
      std::vector<uint8_t> job = printJob(first, rnd.below(2) ? &second : nullptr);
      if (job.empty()) continue;  // a page refused (an unknown ribbon) or no DC
      ++printed;
      JobCheck c = readJob(job);
      EXPECT_GT(c.commands, 0);
      for (const std::string &p : c.problems) ADD_FAILURE() << p;
      // Two pages, each at most one card and 1000 copies of it.
      EXPECT_LE(c.ejects, 2000);
      if (HasFailure()) return;
    }
    uninstall();
  }
  // Most jobs print: the corruptions do not stop the job, they are repaired.
  RecordProperty("printed", printed);
  EXPECT_GE(printed, 9);
}

}  // namespace
