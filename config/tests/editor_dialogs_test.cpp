// The overlay and hologram editors worked by winsim's scripted user: typed
// and stepped coordinates with their checks, the type choice, the hologram
// dialog and its print reaching the printer's queue.  The dialogs edit a card
// DEVMODE the test owns, as the card setup sheet hands them its own.
#include <commctrl.h>
#include <gtest/gtest.h>
#include <windows.h>
#include <winsim/testing.h>
#include <winspool.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/area_rules.h"
#include "config/dialogs.h"
#include "config/dialogs/editor_ids.h"
#include "config/module_state.h"
#include "shared/job_settings.h"

namespace {

using namespace card;
using namespace card::cfg;
using winsim::userChoose;
using winsim::userClick;
using winsim::userMove;
using winsim::userType;

const char16_t kPrinter[] = u"Pellor CA3 Card Printer USB";
const char16_t kPort[] = u"CARD002";
const char16_t kCaption[] = u"Pellor Standard Printer";

class Editors : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    ASSERT_TRUE(winsim::addTestPort(kPort));
    winsim::PrinterSetup setup;
    setup.printerName = kPrinter;
    setup.driverName = u"Pellor Standard Printer";
    setup.configDll = CARDCFG_DLL;
    setup.portName = kPort;
    files = std::filesystem::temp_directory_path() / ("cardcfg_editors_" + std::to_string(::getpid()));
    std::filesystem::create_directories(files);
    std::ofstream(files / "cardrend.dll").put('\0');
    setup.graphicsDll = (files / "cardrend.dll").string();
    ASSERT_TRUE(winsim::installPrinter(setup));
    module = LoadLibraryW(u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\cardcfg.dll");
    ASSERT_NE(module, nullptr);

    // The module's state as a document sheet leaves it: its resources, the
    // DEVMODE being edited and the printer.
    dm.record.signature = kRecordSignature;
    auto *standard = reinterpret_cast<DEVMODEW *>(dm.standard);
    for (size_t i = 0; kPrinter[i]; ++i) standard->dmDeviceName[i] = kPrinter[i];
    standard->dmSize = WORD(kStandardPartSize);
    standard->dmDriverExtra = WORD(kRecordSize);
    ModuleState &st = state();
    st.instance = reinterpret_cast<HINSTANCE>(module);
    st.resources = nullptr;
    st.current = standard;
    st.currentRecord = &dm.record;
    st.printer = nullptr;
  }
  void TearDown() override {
    ModuleState &st = state();
    st.current = nullptr;
    st.currentRecord = nullptr;
    st.instance = nullptr;
    for (const winsim::ShownDialog &d : winsim::takeDialogFaults())
      ADD_FAILURE() << "dialog " << d.templateId << ": " << std::string(d.fault.begin(), d.fault.end());
    for (const winsim::ShownFileDialog &f : winsim::takeFileDialogFaults())
      ADD_FAILURE() << "file dialog: " << std::string(f.fault.begin(), f.fault.end());
    for (const winsim::ShownMessage &m : winsim::takeMessageFaults())
      ADD_FAILURE() << "message: " << std::string(m.text.begin(), m.text.end());
    if (module) FreeLibrary(module);
    winsim::resetMachine();
    std::filesystem::remove_all(files);
  }

  void setArea(OverlayRecord &r, int16_t type, int l, int t, int right, int b, int16_t rotated = 0) {
    r.type = type;
    r.rotated = rotated;
    r.left = l;
    r.top = t;
    r.right = right;
    r.bottom = b;
  }
  void answerBoxes(const std::u16string &text, unsigned times = 0) {
    winsim::UserScript rule;
    rule.caption = kCaption;
    rule.text = text;
    rule.answer = IDOK;
    rule.times = times;
    winsim::scriptUser(rule);
  }
  size_t boxesWith(const std::u16string &text) {
    size_t n = 0;
    for (const winsim::ShownMessage &m : winsim::shownMessages())
      if (m.text == text && m.caption == kCaption && (m.flags & MB_ICONSTOP)) ++n;
    return n;
  }
  static const winsim::DialogControlRecord *atEnd(const winsim::ShownDialog &d, int id) {
    for (const auto &c : d.controlsAtEnd)
      if (c.id == id) return &c;
    return nullptr;
  }
  winsim::ShownDialog shown(int templateId) {
    for (const winsim::ShownDialog &d : winsim::shownDialogs())
      if (d.templateId == templateId) return d;
    ADD_FAILURE() << "dialog " << templateId << " not shown";
    return {};
  }

  // Writes a file on the machine's drive.
  void writeFile(LPCWSTR path, const std::vector<uint8_t> &bytes) {
    HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(f, bytes.data(), DWORD(bytes.size()), &written, nullptr));
    CloseHandle(f);
  }
  static std::vector<uint8_t> bmp(int w, int h, int bitCount, uint8_t fill = 0) {
    const size_t stride = (size_t(w) * bitCount + 31) / 32 * 4, offBits = bitCount == 1 ? 62 : 54;
    std::vector<uint8_t> f(offBits + stride * h, fill);
    std::memset(f.data(), 0, offBits);
    auto put32 = [&](size_t at, uint32_t v) {
      for (int i = 0; i < 4; ++i) f[at + i] = uint8_t(v >> (8 * i));
    };
    f[0] = 'B';
    f[1] = 'M';
    put32(2, uint32_t(f.size()));
    put32(10, uint32_t(offBits));
    put32(14, 40);
    put32(18, uint32_t(w));
    put32(22, uint32_t(h));
    f[26] = 1;
    f[28] = uint8_t(bitCount);
    if (bitCount == 1) put32(58, 0xFFFFFF);
    return f;
  }

  // The card inside an area editor's preview box, from the box's size and
  // the dialog's base units, right and bottom exclusive.
  struct Card {
    int left, top, right, bottom;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
  };
  static Card previewCard(HWND dialog) {
    RECT box{}, units = {4, 8, 0, 0};
    GetClientRect(GetDlgItem(dialog, IDC_AREA_PREVIEW), &box);
    MapDialogRect(dialog, &units);
    const int bx = units.left, by = units.top;
    const int l = bx * 10 / 4, t = by * 36 / 8 + 2;
    return {l, t, int(box.right) + l - bx * 4 / 3, int(box.bottom) + t - by * 4 / 3};
  }
  static HWND openDialog(int templateId) {
    for (const winsim::ShownDialog &d : winsim::shownDialogs())
      if (d.templateId == templateId && d.end == winsim::DialogEnd::Open) return d.hwnd;
    return nullptr;
  }

  std::vector<winsim::JobRecord> hologramJobs() {
    EXPECT_TRUE(winsim::waitForSpoolerIdle(kPrinter));
    std::vector<winsim::JobRecord> jobs;
    for (const winsim::JobRecord &j : winsim::printJobs(kPrinter))
      if (j.document == u"XLINEHOLOGRAM") jobs.push_back(j);
    return jobs;
  }
  static std::string text(const std::vector<uint8_t> &b) { return std::string(b.begin(), b.end()); }

  CardDevmode dm{};
  HMODULE module = nullptr;
  std::filesystem::path files;
};

// ------------------------------------------------------------ area editors

TEST_F(Editors, TypedCoordinatesOutOfRangeAreRefused) {
  setArea(dm.record.frontOverlay, kOverlaySelectedVarnished, 0, 0, 300, 150);
  answerBoxes(u"Invalid coordinates.");
  // Each key is taken as it is typed: "30" is stored before "301" (beyond
  // the right edge) is refused; "64" before "640" (below the card); "6"
  // before "65" (under the stored bottom).
  winsim::scriptDialog(
      {u"",
       IDD_FRONT_OVERLAY,
       {userType(IDC_OVERLAY_LEFT, u"301"), userType(IDC_OVERLAY_BOTTOM, u"640"), userType(IDC_OVERLAY_TOP, u"65")},
       IDC_EDITOR_CLOSE});
  EXPECT_EQ(showOverlayDialog(nullptr, OverlaySide::Front), 1);
  EXPECT_EQ(boxesWith(u"Invalid coordinates."), 3u);
  const OverlayRecord &r = dm.record.frontOverlay;
  EXPECT_EQ(r.left, 30);
  EXPECT_EQ(r.top, 6);
  EXPECT_EQ(r.right, 300);
  EXPECT_EQ(r.bottom, 64);
  winsim::ShownDialog d = shown(IDD_FRONT_OVERLAY);
  EXPECT_EQ(d.title, u"Front Overlay Varnish");
  EXPECT_EQ(atEnd(d, IDC_OVERLAY_LEFT)->text, u"30");
  EXPECT_EQ(atEnd(d, IDC_OVERLAY_BOTTOM)->text, u"64");
  EXPECT_EQ(atEnd(d, IDC_OVERLAY_TOP)->text, u"6");
  EXPECT_EQ(atEnd(d, IDC_OVERLAY_BOTTOM_SPIN)->position, 64);
  // The back's record is another one.
  EXPECT_EQ(dm.record.backOverlay.left, 0);
}

TEST_F(Editors, RightEdgeOfTheCardAndUpDowns) {
  setArea(dm.record.backOverlay, kOverlayFull, 0, 0, 300, 150);
  winsim::scriptDialog({u"",
                        IDD_BACK_OVERLAY,
                        {userChoose(IDC_OVERLAY_TYPE, u"Selected area blank"), userType(IDC_OVERLAY_RIGHT, u"1024"),
                         userMove(IDC_OVERLAY_TOP_SPIN, 20)},
                        IDC_EDITOR_CLOSE});
  EXPECT_EQ(showOverlayDialog(nullptr, OverlaySide::Back), 1);
  winsim::ShownDialog d = shown(IDD_BACK_OVERLAY);
  EXPECT_EQ(d.title, u"Back Overlay Varnish");
  // Opened on the full type: no coordinates, no bitmap; all eight types.
  EXPECT_FALSE(d.control(IDC_OVERLAY_LEFT)->enabled);
  EXPECT_FALSE(d.control(IDC_OVERLAY_TOP_SPIN)->enabled);
  EXPECT_FALSE(d.control(IDC_OVERLAY_BROWSE)->enabled);
  ASSERT_EQ(d.control(IDC_OVERLAY_TYPE)->items.size(), 8u);
  EXPECT_EQ(d.control(IDC_OVERLAY_TYPE)->items[4], u"Bitmap - based overlay varnish");
  EXPECT_EQ(d.control(IDC_OVERLAY_RIGHT_SPIN)->rangeMax, 1023);
  EXPECT_EQ(d.control(IDC_OVERLAY_BOTTOM_SPIN)->rangeMax, 639);
  EXPECT_EQ(d.control(IDC_OVERLAY_RIGHT_SPIN)->position, 300);

  const OverlayRecord &r = dm.record.backOverlay;
  EXPECT_EQ(r.type, kOverlaySelectedBlank);
  EXPECT_EQ(r.right, 1024);  // typed, though the up-down stops at 1023
  EXPECT_EQ(atEnd(d, IDC_OVERLAY_RIGHT_SPIN)->position, 1023);
  EXPECT_EQ(r.top, 20);  // stepped by the arrows, one entry per step
  EXPECT_EQ(atEnd(d, IDC_OVERLAY_TOP)->text, u"20");
  EXPECT_TRUE(atEnd(d, IDC_OVERLAY_LEFT)->enabled);
  EXPECT_FALSE(atEnd(d, IDC_OVERLAY_PATH)->enabled);
  EXPECT_TRUE(winsim::shownMessages().empty());
}

TEST_F(Editors, UnchangedEditorEndsWithZero) {
  setArea(dm.record.hologramArea, kHologramSelectedVarnished, 10, 20, 30, 40, 1);
  winsim::scriptDialog({u"", IDD_HOLOGRAM_AREA, {}, IDC_EDITOR_CLOSE});
  EXPECT_EQ(showHologramAreaDialog(nullptr), 0);
  winsim::ShownDialog d = shown(IDD_HOLOGRAM_AREA);
  EXPECT_EQ(d.title, u"Front Hologram Overlay Varnish");
  EXPECT_EQ(d.control(IDC_HOLOGRAM_LEFT)->text, u"10");
  EXPECT_EQ(d.control(IDC_HOLOGRAM_BOTTOM)->text, u"40");
  EXPECT_TRUE(d.control(IDC_HOLOGRAM_TOP)->enabled);
  EXPECT_EQ(d.control(IDC_HOLOGRAM_ROTATE)->check, BST_CHECKED);
  EXPECT_EQ(d.control(IDC_HOLOGRAM_TYPE)->items.size(), 4u);
  EXPECT_EQ(d.control(IDC_HOLOGRAM_TYPE)->text, u"Selected area hologram overlay varnish");

  // Without a DEVMODE being edited there is nothing to show.
  state().currentRecord = nullptr;
  EXPECT_EQ(showOverlayDialog(nullptr, OverlaySide::Front), -1);
  EXPECT_EQ(showHologramDialog(nullptr), -1);
}

TEST_F(Editors, BitmapChosenThroughTheOpenFileDialog) {
  CreateDirectoryW(u"C:\\cards", nullptr);
  writeFile(u"C:\\cards\\colour.bmp", bmp(32, 20, 24));
  writeFile(u"C:\\cards\\logo.bmp", bmp(32, 20, 1));
  setArea(dm.record.frontOverlay, kOverlayFull, 0, 0, 100, 100);
  answerBoxes(u"The Bitmap must be a monochrome(1 bpp).");
  // The 24-bit picture is refused and the dialog comes again.
  winsim::scriptOpenFile(winsim::userChooseFile(u"C:\\cards\\colour.bmp"));
  winsim::scriptOpenFile(winsim::userChooseFile(u"C:\\cards\\logo.bmp"));
  winsim::scriptDialog(
      {u"", IDD_FRONT_OVERLAY, {userChoose(IDC_OVERLAY_TYPE, u"Bitmap - based overlay varnish")}, IDC_EDITOR_CLOSE});
  EXPECT_EQ(showOverlayDialog(nullptr, OverlaySide::Front), 1);
  EXPECT_EQ(boxesWith(u"The Bitmap must be a monochrome(1 bpp)."), 1u);
  const OverlayRecord &r = dm.record.frontOverlay;
  EXPECT_EQ(r.type, kOverlayBitmap);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(r.bitmapPath)), u"C:\\cards\\logo.bmp");
  std::vector<winsim::ShownFileDialog> files = winsim::shownFileDialogs();
  ASSERT_EQ(files.size(), 2u);
  winsim::ShownDialog d = shown(IDD_FRONT_OVERLAY);
  EXPECT_EQ(files[0].owner, d.hwnd);
  ASSERT_EQ(files[0].filter.size(), 1u);
  EXPECT_EQ(files[0].filter[0].first, u"Bitmap FIles(*.bmp)");
  EXPECT_EQ(files[0].filter[0].second, u"*.bmp");
  EXPECT_EQ(atEnd(d, IDC_OVERLAY_PATH)->text, u"C:\\cards\\logo.bmp");
  EXPECT_TRUE(atEnd(d, IDC_OVERLAY_BROWSE)->enabled);
  EXPECT_FALSE(atEnd(d, IDC_OVERLAY_LEFT)->enabled);
}

TEST_F(Editors, CancelledBitmapChoiceFallsBackToFullVarnish) {
  setArea(dm.record.backOverlay, kOverlaySelectedVarnished, 0, 0, 100, 100);
  winsim::scriptOpenFile(winsim::userCancelFileDialog());
  winsim::scriptDialog(
      {u"", IDD_BACK_OVERLAY, {userChoose(IDC_OVERLAY_TYPE, u"Bitmap - based overlay varnish")}, IDC_EDITOR_CLOSE});
  EXPECT_EQ(showOverlayDialog(nullptr, OverlaySide::Back), 1);
  EXPECT_EQ(dm.record.backOverlay.type, kOverlayFull);
  EXPECT_EQ(dm.record.backOverlay.bitmapPath[0], 0);
  winsim::ShownDialog d = shown(IDD_BACK_OVERLAY);
  EXPECT_EQ(atEnd(d, IDC_OVERLAY_TYPE)->text, u"Full overlay varnish");
  EXPECT_FALSE(atEnd(d, IDC_OVERLAY_BROWSE)->enabled);
  EXPECT_FALSE(atEnd(d, IDC_OVERLAY_LEFT)->enabled);
  EXPECT_EQ(winsim::shownFileDialogs().size(), 1u);
}

// The preview as the window shows it.  The editor runs on a thread of its
// own and its last action is refused with a message the user leaves open, so
// that the test reads the dialog's pixels while it is up.
struct HeldEditor {
  OverlaySide side;
  INT_PTR result = 0;
};
DWORD WINAPI runFrontEditor(LPVOID p) {
  auto *h = static_cast<HeldEditor *>(p);
  h->result = showOverlayDialog(nullptr, h->side);
  return 0;
}

TEST_F(Editors, PreviewPaintsTheAreaOnTheCard) {
  constexpr uint32_t kBlack = 0x000000, kWhite = 0xFFFFFF;
  struct Case {
    int16_t type, rotated;
    bool areaBlack;
  } cases[] = {{kOverlaySelectedVarnished, 0, true}, {kOverlaySelectedBlank, 1, false}};
  for (const Case &c : cases) {
    winsim::clearUserScript();
    winsim::clearShownMessages();
    setArea(dm.record.frontOverlay, c.type, 100, 50, 300, 150, c.rotated);
    winsim::UserScript hold;
    hold.caption = kCaption;
    hold.text = u"Invalid coordinates.";
    hold.timing = winsim::AnswerTiming::LeaveOpen;
    winsim::scriptUser(hold);
    // A bottom of 6 lies above the top: refused at the first key.
    winsim::scriptDialog(
        {u"",
         IDD_FRONT_OVERLAY,
         {userClick(IDC_OVERLAY_ROTATE), userClick(IDC_OVERLAY_ROTATE), userType(IDC_OVERLAY_BOTTOM, u"6")},
         IDC_EDITOR_CLOSE,
         1});
    HeldEditor held{OverlaySide::Front};
    HANDLE thread = CreateThread(nullptr, 0, runFrontEditor, &held, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(winsim::waitForShownMessages(1));
    HWND dialog = openDialog(IDD_FRONT_OVERLAY);
    ASSERT_NE(dialog, nullptr);
    const Card card = previewCard(dialog);
    const int pl = card.left, pt = card.top, pr = card.right, pb = card.bottom;
    const int pw = card.width(), ph = card.height();
    int al = pl + pw * 100 / 1024, at = pt + ph * 50 / 640, ar = pl + pw * 300 / 1024 + 1, ab = pt + ph * 150 / 640 + 1;
    if (c.rotated) {
      al = pl + pw - pw * 300 / 1024;
      at = pt + ph - ph * 150 / 640;
      ar = pl + pw - pw * 100 / 1024 + 1;
      ab = pt + ph - ph * 50 / 640 + 1;
    }
    winsim::WindowSurface surface = winsim::windowSurface(dialog);
    ASSERT_GE(surface.width, pr);
    ASSERT_GE(surface.height, pb);
    size_t wrong = 0;
    for (int y = pt + 1; y < pb - 1; ++y)
      for (int x = pl + 1; x < pr - 1; ++x) {
        const bool inArea = x >= al && x < ar && y >= at && y < ab;
        const bool areaInterior = x > al && x < ar - 1 && y > at && y < ab - 1;
        uint32_t want;
        if (c.areaBlack)
          want = inArea ? kBlack : kWhite;
        else
          want = !inArea ? kBlack : areaInterior ? kWhite : kBlack;  // the outline is the black pen's
        if ((surface.at(x, y) & 0xFFFFFF) != want && wrong++ < 5)
          ADD_FAILURE() << "type " << c.type << " pixel " << x << "," << y << " is " << std::hex << surface.at(x, y);
      }
    EXPECT_EQ(wrong, 0u) << "type " << c.type;

    const DWORD box1 = winsim::shownMessages()[0].id;
    EXPECT_TRUE(winsim::answerMessage(box1, IDOK));
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_EQ(held.result, 1);
    EXPECT_EQ(dm.record.frontOverlay.bottom, 150);
    EXPECT_EQ(dm.record.frontOverlay.rotated, c.rotated);
  }
}

TEST_F(Editors, PreviewPaintsTheBitmapBlackAndWhite) {
  CreateDirectoryW(u"C:\\cards", nullptr);
  writeFile(u"C:\\cards\\colour.bmp", bmp(32, 20, 24));
  // Two by two dots, the top-left one set; the file's palette has white
  // first, which the preview ignores: a set bit shows white, a clear one black.
  std::vector<uint8_t> logo = bmp(2, 2, 1, 0x00);
  logo[54] = logo[55] = logo[56] = 0xFF;
  logo[58] = logo[59] = logo[60] = 0x00;
  logo[62 + 4] = 0x80;  // the top row, stored second
  writeFile(u"C:\\cards\\logo.bmp", logo);
  const std::u16string path = u"C:\\cards\\logo.bmp";
  for (int16_t rotated : {0, 1}) {
    winsim::clearUserScript();
    winsim::clearShownMessages();
    setArea(dm.record.frontOverlay, kOverlayBitmap, 0, 0, 0, 0, rotated);
    std::memcpy(dm.record.frontOverlay.bitmapPath, path.c_str(), (path.size() + 1) * 2);
    winsim::UserScript hold;
    hold.caption = kCaption;
    hold.text = u"The Bitmap must be a monochrome(1 bpp).";
    hold.timing = winsim::AnswerTiming::LeaveOpen;
    winsim::scriptUser(hold);
    winsim::scriptOpenFile(winsim::userChooseFile(u"C:\\cards\\colour.bmp"));
    winsim::scriptOpenFile(winsim::userCancelFileDialog());
    winsim::scriptDialog({u"", IDD_FRONT_OVERLAY, {userClick(IDC_OVERLAY_BROWSE)}, IDC_EDITOR_CLOSE, 1});
    HeldEditor held{OverlaySide::Front};
    HANDLE thread = CreateThread(nullptr, 0, runFrontEditor, &held, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(winsim::waitForShownMessages(1));
    HWND dialog = openDialog(IDD_FRONT_OVERLAY);
    ASSERT_NE(dialog, nullptr);
    const Card card = previewCard(dialog);
    winsim::WindowSurface surface = winsim::windowSurface(dialog);
    ASSERT_GE(surface.width, card.right);
    ASSERT_GE(surface.height, card.bottom);
    const int qx = card.width() / 4, qy = card.height() / 4;
    const uint32_t topLeft = surface.at(card.left + qx, card.top + qy) & 0xFFFFFF;
    const uint32_t bottomRight = surface.at(card.right - qx, card.bottom - qy) & 0xFFFFFF;
    const uint32_t topRight = surface.at(card.right - qx, card.top + qy) & 0xFFFFFF;
    EXPECT_EQ(topLeft, rotated ? 0x000000u : 0xFFFFFFu);
    EXPECT_EQ(bottomRight, rotated ? 0xFFFFFFu : 0x000000u);
    EXPECT_EQ(topRight, 0x000000u);

    EXPECT_TRUE(winsim::answerMessage(winsim::shownMessages()[0].id, IDOK));
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    CloseHandle(thread);
    // Nothing chosen while a bitmap is stored: the bitmap and the type stay.
    EXPECT_EQ(held.result, 0);
    EXPECT_EQ(dm.record.frontOverlay.type, kOverlayBitmap);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(dm.record.frontOverlay.bitmapPath)), path);
  }
}

// ------------------------------------------------------------ hologram dialog

TEST_F(Editors, HologramSwitchCopiesAndAreaEditor) {
  dm.record.hologramEnabled = 0;
  dm.record.hologramCopies = 2;
  setArea(dm.record.hologramArea, kHologramFull, 0, 0, 100, 100);
  winsim::scriptDialog({u"", IDD_HOLOGRAM_AREA, {userClick(IDC_HOLOGRAM_ROTATE)}, IDC_EDITOR_CLOSE});
  winsim::scriptDialog(
      {u"",
       IDD_HOLOGRAM,
       {userClick(IDC_HOLOGRAM_ENABLE), userClick(IDC_HOLOGRAM_AREA_BUTTON), userType(IDC_HOLOGRAM_COPIES, u"12")},
       IDC_EDITOR_CLOSE});
  EXPECT_EQ(showHologramDialog(nullptr), 1);
  winsim::ShownDialog d = shown(IDD_HOLOGRAM);
  EXPECT_EQ(d.title, u"Hologram Overlay Varnish");
  EXPECT_FALSE(d.control(IDC_HOLOGRAM_AREA_BUTTON)->enabled);
  EXPECT_EQ(d.control(IDC_HOLOGRAM_COPIES)->text, u"2");
  EXPECT_EQ(dm.record.hologramEnabled, 1);
  EXPECT_EQ(dm.record.hologramCopies, 12);
  EXPECT_EQ(dm.record.hologramArea.rotated, 1);
  EXPECT_TRUE(hologramJobs().empty());
}

TEST_F(Editors, HologramPrintOfTheFullTypeIsOneJobPerCard) {
  dm.record.hologramEnabled = 1;
  dm.record.hologramCopies = 3;
  dm.record.hologramContrast = 9;
  setArea(dm.record.hologramArea, kHologramFull, 0, 0, 0, 0);
  winsim::scriptDialog({u"", IDD_HOLOGRAM, {userClick(IDC_HOLOGRAM_PRINT)}, IDC_EDITOR_CLOSE});
  EXPECT_EQ(showHologramDialog(nullptr), 0);
  std::vector<winsim::JobRecord> jobs = hologramJobs();
  ASSERT_EQ(jobs.size(), 3u);
  for (const winsim::JobRecord &j : jobs) {
    EXPECT_EQ(text(j.bytes), "\x1b+CH 9\r\x1bIH 30\r\x1bMO\r");
    EXPECT_EQ(j.pages, 1u);
  }
  EXPECT_TRUE(shown(IDD_HOLOGRAM).controlsAtEnd.size() > 0);
  EXPECT_TRUE(atEnd(shown(IDD_HOLOGRAM), IDC_HOLOGRAM_PRINT)->enabled);
}

TEST_F(Editors, HologramPrintOfARotatedAreaAndTooManyCopies) {
  dm.record.hologramCopies = 1;
  dm.record.hologramContrast = 4;
  setArea(dm.record.hologramArea, kHologramSelectedVarnished, 100, 50, 300, 150, 1);
  answerBoxes(u"You have entered an invalid value.Enter a valid count.");
  winsim::scriptDialog(
      {u"",
       IDD_HOLOGRAM,
       {userClick(IDC_HOLOGRAM_PRINT), userType(IDC_HOLOGRAM_COPIES, u"1501"), userClick(IDC_HOLOGRAM_PRINT)},
       IDC_EDITOR_CLOSE});
  showHologramDialog(nullptr);
  std::vector<winsim::JobRecord> jobs = hologramJobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(text(jobs[0].bytes),
            "\x1b+CH 4\r\x1b"
            "F\r\x1bL 0 0 1023 639 0\r\x1bL 723 489 200 100 1\r\x1bIH 31\r\x1bMO\r");
  EXPECT_EQ(boxesWith(u"You have entered an invalid value.Enter a valid count."), 1u);
  EXPECT_EQ(dm.record.hologramCopies, 1501);
}

TEST_F(Editors, HologramPrintFallsBackToTheModulesPrinter) {
  // A DEVMODE naming no printer: the job goes to the printer the module has open.
  auto *standard = reinterpret_cast<DEVMODEW *>(dm.standard);
  const std::u16string other = u"No Such Printer";
  std::memset(standard->dmDeviceName, 0, sizeof standard->dmDeviceName);
  std::memcpy(standard->dmDeviceName, other.c_str(), other.size() * 2);
  HANDLE printer = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer, nullptr));
  state().printer = printer;
  dm.record.hologramCopies = 1;
  dm.record.hologramContrast = 2;
  setArea(dm.record.hologramArea, kHologramSelectedBlank, 0, 0, 10, 10);
  // A count too large for the record's 16 bits stays too large to print.
  answerBoxes(u"You have entered an invalid value.Enter a valid count.");
  winsim::scriptDialog(
      {u"",
       IDD_HOLOGRAM,
       {userClick(IDC_HOLOGRAM_PRINT), userType(IDC_HOLOGRAM_COPIES, u"70001"), userClick(IDC_HOLOGRAM_PRINT)},
       IDC_EDITOR_CLOSE});
  EXPECT_EQ(showHologramDialog(nullptr), 1);
  std::vector<winsim::JobRecord> jobs = hologramJobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(text(jobs[0].bytes),
            "\x1b+CH 2\r\x1b"
            "F\r\x1bL 0 0 1023 639 1\r\x1bL 0 0 10 10 0\r\x1bIH 31\r\x1bMO\r");
  EXPECT_EQ(dm.record.hologramCopies, 32767);
  EXPECT_EQ(boxesWith(u"You have entered an invalid value.Enter a valid count."), 1u);
  state().printer = nullptr;
  ClosePrinter(printer);
}

TEST_F(Editors, HologramPrintOfABitmap) {
  CreateDirectoryW(u"C:\\cards", nullptr);
  writeFile(u"C:\\cards\\plain.bmp", bmp(32, 20, 1, 0x00));
  writeFile(u"C:\\cards\\colour.bmp", bmp(32, 20, 24));
  dm.record.hologramCopies = 2;
  dm.record.hologramContrast = 3;
  setArea(dm.record.hologramArea, kHologramBitmap, 0, 0, 0, 0);
  const std::u16string plain = u"C:\\cards\\plain.bmp";
  std::memcpy(dm.record.hologramArea.bitmapPath, plain.c_str(), (plain.size() + 1) * 2);
  winsim::scriptDialog({u"", IDD_HOLOGRAM, {userClick(IDC_HOLOGRAM_PRINT)}, IDC_EDITOR_CLOSE, 1});
  showHologramDialog(nullptr);
  std::vector<winsim::JobRecord> jobs = hologramJobs();
  ASSERT_EQ(jobs.size(), 1u);
  // The all-0 picture: 645 runs of 127 zero bytes and one of 5, then the
  // second card printed from the image the printer holds.
  std::string data;
  for (int i = 0; i < 645; ++i) data += std::string("\xFF\x00", 2);
  data += std::string("\x85\x00", 2);
  EXPECT_EQ(text(jobs[0].bytes),
            "\x1b+CH 3\r\x1bMASTER\r\x1b"
            "F\r\x1bG 0 0 12 640 1024 0\r\x1bZ" +
                data + "\r\x1bIH 31\r\x1bMO\r\x1bIH 31\r\x1bMO\r");

  // A picture that is not 1-bit cannot be made into the hologram image.
  const std::u16string colour = u"C:\\cards\\colour.bmp";
  std::memcpy(dm.record.hologramArea.bitmapPath, colour.c_str(), (colour.size() + 1) * 2);
  answerBoxes(u"System Error");
  winsim::scriptDialog({u"", IDD_HOLOGRAM, {userClick(IDC_HOLOGRAM_PRINT)}, IDC_EDITOR_CLOSE});
  showHologramDialog(nullptr);
  EXPECT_EQ(boxesWith(u"System Error"), 1u);
  EXPECT_EQ(hologramJobs().size(), 1u);
}

}  // namespace
