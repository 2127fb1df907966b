// The Open and Save As dialogs: the caller's structure checked as Windows
// checks it, the scripted user's choice returned with its offsets, the
// owner disabled while the dialog is up, and the faults of a script.
#include <cderr.h>
#include <commdlg.h>
#include <gtest/gtest.h>
#include <winsim/testing.h>
#include <winsim/testing_gtest.h>

#include "winsim/tests/fixtures.h"

namespace winsim_test {
namespace {

class FileDialogs : public Winsim {
 protected:
  void SetUp() override {
    Winsim::SetUp();
    ASSERT_TRUE(CreateDirectoryW(u"C:\\Pictures", nullptr));
    HANDLE f = CreateFileW(u"C:\\Pictures\\logo.bmp", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    CloseHandle(f);
  }
  // What the configuration dialogs ask for: bitmaps, a path of up to 260 characters.
  OPENFILENAMEW bitmapDialog(HWND owner) {
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = u"Bitmap FIles(*.bmp)\0*.bmp\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    return ofn;
  }
  WCHAR file[MAX_PATH] = {};
};

TEST_F(FileDialogs, TheChosenPathComesBackWithItsOffsetsAndTheDialogIsRecorded) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = u"FileDialogOwner";
  ASSERT_NE(RegisterClassExW(&wc), 0);
  HWND owner = CreateWindowExW(0, u"FileDialogOwner", u"Owner", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(owner, nullptr);
  winsim::scriptOpenFile(winsim::userChooseFile(u"C:\\Pictures\\logo.bmp"));
  winsim::scriptOpenFile(winsim::userChooseFile(u"LOGO.BMP"));  // a bare name: in the initial folder
  winsim::scriptOpenFile(winsim::userCancelFileDialog());

  OPENFILENAMEW ofn = bitmapDialog(owner);
  ASSERT_TRUE(GetOpenFileNameW(&ofn));
  EXPECT_EQ(std::u16string(file), u"C:\\Pictures\\logo.bmp");
  EXPECT_EQ(ofn.nFileOffset, 12);
  EXPECT_EQ(ofn.nFileExtension, 17);
  EXPECT_EQ(ofn.nFilterIndex, 1u);
  EXPECT_TRUE(IsWindowEnabled(owner));  // enabled again once the dialog is gone

  ofn = bitmapDialog(owner);
  ofn.lpstrInitialDir = u"C:\\Pictures";
  ofn.lpstrTitle = u"Choose a bitmap";
  ASSERT_TRUE(GetOpenFileNameW(&ofn));
  EXPECT_EQ(std::u16string(file).size(), 20u);
  EXPECT_EQ(CommDlgExtendedError(), 0u);

  ofn = bitmapDialog(owner);
  EXPECT_FALSE(GetOpenFileNameW(&ofn));
  EXPECT_EQ(CommDlgExtendedError(), 0u);  // a cancel is no error

  auto shown = winsim::shownFileDialogs();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].owner, owner);
  EXPECT_TRUE(shown[0].ownerDisabled);
  ASSERT_EQ(shown[0].filter.size(), 1u);
  EXPECT_EQ(shown[0].filter[0].first, u"Bitmap FIles(*.bmp)");
  EXPECT_EQ(shown[0].filter[0].second, u"*.bmp");
  EXPECT_EQ(shown[0].end, winsim::FileDialogEnd::Chosen);
  EXPECT_EQ(shown[1].title, u"Choose a bitmap");
  EXPECT_EQ(shown[1].initialDir, u"C:\\Pictures");
  EXPECT_EQ(shown[2].end, winsim::FileDialogEnd::Cancelled);
  EXPECT_FALSE(shown[2].save);
  DestroyWindow(owner);
}

TEST_F(FileDialogs, BadStructuresSmallBuffersAndTheSaveDialogsExtension) {
  OPENFILENAMEW ofn = bitmapDialog(nullptr);
  ofn.lStructSize = sizeof ofn - 1;
  EXPECT_FALSE(GetOpenFileNameW(&ofn));
  EXPECT_EQ(CommDlgExtendedError(), DWORD(CDERR_STRUCTSIZE));
  ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;  // the older size is taken
  winsim::scriptOpenFile(winsim::userChooseFile(u"C:\\Pictures\\logo.bmp"));
  EXPECT_TRUE(GetOpenFileNameW(&ofn));

  // Too small for "C:\Pictures\logo.bmp" and its null: the size needed in the first WORD.
  ofn = bitmapDialog(nullptr);
  ofn.nMaxFile = 10;
  winsim::scriptOpenFile(winsim::userChooseFile(u"C:\\Pictures\\logo.bmp"));
  EXPECT_FALSE(GetOpenFileNameW(&ofn));
  EXPECT_EQ(CommDlgExtendedError(), DWORD(FNERR_BUFFERTOOSMALL));
  EXPECT_EQ(file[0], 21);

  // Save As: a new file, with the default extension added; no extension and
  // no default: the offset of the terminating null.
  ofn = bitmapDialog(nullptr);
  ofn.Flags = OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT;
  ofn.lpstrDefExt = u"bmp";
  winsim::scriptOpenFile(winsim::userChooseFile(u"C:\\Pictures\\new"));
  ASSERT_TRUE(GetSaveFileNameW(&ofn));
  EXPECT_EQ(std::u16string(file), u"C:\\Pictures\\new.bmp");
  EXPECT_EQ(ofn.nFileExtension, 16);
  ofn.lpstrDefExt = nullptr;
  winsim::scriptOpenFile(winsim::userChooseFile(u"C:\\Pictures\\plain"));
  ASSERT_TRUE(GetSaveFileNameW(&ofn));
  EXPECT_EQ(ofn.nFileExtension, 17);
  EXPECT_TRUE(winsim::shownFileDialogs().back().save);
}

TEST_F(FileDialogs, AChoiceTheDialogRefusesOrNoAnswerIsAFaultAndACancel) {
  OPENFILENAMEW ofn = bitmapDialog(nullptr);
  winsim::scriptOpenFile(winsim::userChooseFile(u"C:\\Pictures\\missing.bmp"));
  EXPECT_FALSE(GetOpenFileNameW(&ofn));
  EXPECT_EQ(CommDlgExtendedError(), 0u);
  winsim::scriptOpenFile(winsim::userChooseFile(u"C:\\Pictures\\logo.bmp"));
  winsim::clearUserScript();             // takes the answer away
  EXPECT_FALSE(GetOpenFileNameW(&ofn));  // nothing scripted
  auto faults = winsim::takeFileDialogFaults();
  ASSERT_EQ(faults.size(), 2u);
  EXPECT_EQ(faults[0].end, winsim::FileDialogEnd::ScriptFailed);
  EXPECT_EQ(faults[1].end, winsim::FileDialogEnd::Unscripted);
  EXPECT_EQ(winsim::shownFileDialogs().size(), 2u);
  winsim::clearShownMessages();
  EXPECT_TRUE(winsim::shownFileDialogs().empty());
}

}  // namespace
}  // namespace winsim_test
