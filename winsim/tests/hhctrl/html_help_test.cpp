// HTML Help: bound by name from "hhctrl.ocx" as programs bind it, every call
// recorded, a help window only for a compiled help file on the drive.
#include <gtest/gtest.h>
#include <htmlhelp.h>
#include <winsim/testing.h>
#include <winsim/testing_gtest.h>

#include "winsim/tests/fixtures.h"

namespace winsim_test {
namespace {

class HtmlHelp : public Winsim {};

using HtmlHelpFn = HWND(WINAPI *)(HWND, LPCWSTR, UINT, DWORD_PTR);

TEST_F(HtmlHelp, ATopicOfAHelpFileOnTheDriveOpensAWindowAndEveryCallIsRecorded) {
  HANDLE f = CreateFileW(u"C:\\Windows\\help.chm", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  CloseHandle(f);
  HMODULE hh = LoadLibraryW(u"hhctrl.ocx");
  ASSERT_NE(hh, nullptr);
  auto help = reinterpret_cast<HtmlHelpFn>(reinterpret_cast<void (*)()>(GetProcAddress(hh, "HtmlHelpW")));
  ASSERT_NE(help, nullptr);
  EXPECT_EQ(GetProcAddress(hh, "HtmlHelpA"), nullptr);

  HWND w = help(nullptr, u"C:\\Windows\\help.chm", HH_DISPLAY_TOPIC, 0);
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(IsWindow(w));
  // The same file again, with a topic: the same window.
  EXPECT_EQ(help(nullptr, u"C:\\WINDOWS\\HELP.CHM::/intro.htm", HH_DISPLAY_TOPIC, 0), w);
  EXPECT_EQ(help(nullptr, u"C:\\Windows\\none.chm", HH_DISPLAY_TOPIC, 0), nullptr);
  EXPECT_EQ(help(nullptr, u"C:\\Windows\\help.chm", HH_HELP_CONTEXT, 42), nullptr);
  help(nullptr, nullptr, HH_CLOSE_ALL, 0);
  EXPECT_FALSE(IsWindow(w));

  auto calls = winsim::htmlHelpCalls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0].file, u"C:\\Windows\\help.chm");
  EXPECT_EQ(calls[0].command, UINT(HH_DISPLAY_TOPIC));
  EXPECT_EQ(calls[0].result, w);
  EXPECT_EQ(calls[3].command, UINT(HH_HELP_CONTEXT));
  EXPECT_EQ(calls[3].data, 42u);
  EXPECT_EQ(calls[4].command, UINT(HH_CLOSE_ALL));
  FreeLibrary(hh);
}

}  // namespace
}  // namespace winsim_test
