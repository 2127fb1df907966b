// Loads each built cardres the way the modules do (LoadLibraryW from the
// driver directory, LoadStringW by number) and compares every text, character
// for character, with the message table the products' users see.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsim/testing.h>

#include <filesystem>
#include <string>

namespace {

struct Text {
  UINT id;
  LPCWSTR text;
};

// Numbers that only the USB set words.
const Text kUsbOnly[] = {
    {2,
     TEXT("An error has occurred at the printer.\r\n\r\nThe printer is either OUT OF CARD or OUT OF RIBBON.\nCorrect "
          "the error and press the Printer button to continue.\nPress Cancel button to cancel the current operation.")},
    {7, TEXT("\nA SYNTAX ERROR has occurred at the printer!.\nPress OK to cancel the current operation.")},
    {57, TEXT("There is error reading or writing from printer.\nPlease power cycle the printer.\nDelete any jobs from "
              "spooler.")},
    {59, TEXT("Printer is offline.\nJob is deleted from spooler.")},
    {2087, TEXT("Error opening bin file")},
    {2088, TEXT("Unable to obtain file size.Cannot continue with Firmware Download")},
};

// Numbers that only the network set words.
const Text kNetOnly[] = {
    {54, TEXT("\nSequence Error.\nPress OK to Cancel the current job.")},
    {56, TEXT("\nMagnetic Encoder write  Error.\nPress OK to cancel the current job.")},
    {61, TEXT("\nJob completed.Remove Card or press OK to Cancel next operation.")},
    {63, TEXT("\nProx Error.\nPress OK to Cancel the current job.")},
    {64, TEXT("\nContact Data Error.\nPress OK to Cancel the current job.")},
    {65, TEXT("\nProx Data Error.\nPress OK to Cancel the current job.")},
    {104, TEXT("\nReading Error.\nAn error has occured during the Reading process.\nPress the printer button to clear "
               "the error or Press OK to cancel the current job.")},
    {502, TEXT("Error openning file.")},
    {503, TEXT("Error allocating memory.")},
    {509, TEXT("Unable to obtain file size.Cannot continue with Firmware Download")},
    {510, TEXT("An error has occurred at the printer.\r\n\r\nThe printer is either OUT OF CARD or OUT OF "
               "RIBBON.\nCorrect the error OR press the OK button to cancel the current operation.")},
    {511,
     TEXT("\nA SYNTAX ERROR has occurred at the printer!\nThis may be caused because of loss of communication\nwith "
          "the printer or because of encoding Errors.\n\nPress OK to cancel the current operation.")},
    {512, TEXT("\nMECHANICAL ERROR!\nCheck for evidence of Card jam.\nClear the error and press the printer button to "
               "continue.\nor Press OK to cancel the current operation.")},
    {513, TEXT("Ribbon low Alert!\nRemaining ribbon count is : ")},
    {514, TEXT("\nThere is either no ribbon or an unknown ribbon is installed in the printer.\nPlease ensure that "
               "proper ribbon is installed.")},
    {515, TEXT("Error reading from file.")},
    {516, TEXT("Error reading from printer.")},
    {517, TEXT("Error writing to printer.")},
    {547, TEXT("Card Printer Error")},
    {2212, TEXT("Error reading from file.")},
    {2213, TEXT("Error reading from printer.")},
    {2214, TEXT("Error writing to printer.")},
};

// Numbers both sets word, each in its own way: the USB wording ...
const Text kBothUsb[] = {
    {4, TEXT("\nThe Printer is OUT OF RIBBON!\nCorrect the error and press the printer button to continue.\nPress OK "
             "to cancel the current job.")},
    {6, TEXT("\nMECHANICAL ERROR!\nCheck for evidence of Card jam.\nClear the error and press the printer button to "
             "continue.\nPress OK to cancel the current operation.")},
    {8, TEXT("\nPRINT HEAD IS OPEN!\nClose the printhead and press the printer button to continue.\nPress  OK  to "
             "cancel the current job.")},
    {9,
     TEXT(
         "\nCOVER OPEN!\nClose Cover and press the printer buttton to continue.\nPress OK to cancel the current job.")},
    {12, TEXT("\nENCODING ERROR!\nAn error has occured during the Encoding process.\nSelect the printer button to "
              "clear the error.\nSelect OK to cancel the current job.")},
    {14, TEXT("\nMAGNETIC ERROR\nPress the printer button to clear the error.\nPress OK to cancel the current job.")},
    {15, TEXT("\nLID OPEN!\nThe printer Lid is open.\nThe Lid covering the print engine and flipper must be "
              "closed\nbefore resuming operation.\nAfter closing the Lid, press the Printer button to Continue.\nPress "
              "the OK button to cancel the print job.")},
    {16, TEXT("\nFLASH ERROR!\nPress the printer button to clear the error.\nPress OK to cancel the current job.")},
    {17, TEXT("\nNO ACCESS!\nPress the printer button to clear the error.\nPress OK to cancel the current job.")},
    {31,
     TEXT(
         "\nThe feeder is Empty.\nLoad cards in feeder and try again, or \nPress OK to cancel the current operation.")},
    {32, TEXT("\nCard is present in the Encoder!")},
    {33, TEXT("\nCard is not present in the Encoder!")},
    {34, TEXT("\nCOMMAND ERROR!\nSelect OK button to cancel the current operation.")},
    {47, TEXT("\nInvalid data or invalid parameters have been entered!\nPress OK to cancel the current operation.")},
    {51, TEXT("\nThe printer Lid is open!\nThe Lid covering the print engine and the flipper must be closed before "
              "resuming operation.")},
    {53, TEXT("Please  remove ribbon to continue with current  process")},
    {2206, TEXT("Low ribbon Alert!\nPlease be ready to replace the ribbon soon.")},
    {2207, TEXT("\nRotation Error!\nClear the error and press the printer button to continue.\nPress OK to cancel the "
                "current operation.")},
    {2208, TEXT("\nCheck Ribbon!\nLoad correct ribbon.\nPress OK to cancel the current operation.")},
    {2209, TEXT("There is either no ribbon or an unknown ribbon installed in the printer.\nPlease install the proper "
                "ribbon in the printer.")},
};

// ... and the network wording.
const Text kBothNet[] = {
    {4, TEXT("\nThe Printer is out of ribbon or the ribbon has broken.\nCorrect the error to continue \n orPress OK to "
             "cancel the current job.")},
    {6, TEXT("\nMECHANICAL ERROR!\nCheck for evidence of Card jam.\nClear the error and press the printer button to "
             "continue.\nor Press OK to cancel the current operation.")},
    {8, TEXT("\nPrinthead is open.\nClose the printhead to continue \n\n or Press OK to cancel the current job.")},
    {9, TEXT("\nCover Open.\nClose Cover to continue \n\n or Press OK to cancel the current job.")},
    {12, TEXT("\nEncoding Error.\nAn error has occured during the Encoding process.\nSelect the printer button to "
              "clear the error \n\n or Presst OK to cancel the current job.")},
    {14, TEXT("\nMagnetic  Error.\nPress the printer button to clear the error \n\n or Press OK to cancel the current "
              "job.")},
    {15,
     TEXT("\nBlank Track.\nPress the printer button to clear the error \n\n or Press OK to cancel the current job.")},
    {16,
     TEXT("\nFlash Error.\nPress the printer button to clear the error \n\n or Press OK to cancel the current job.")},
    {17, TEXT("\nNo Access.\nPress the printer button to clear the error \n\n or Press OK to cancel the current job.")},
    {31, TEXT("\nThe printer is Out of Cards.\nLoad cards to continue \n\n or Press OK to cancel the current job.")},
    {32, TEXT("\nCard is present in the Encoder!")},
    {33, TEXT("\nCard is not present in the Encoder!")},
    {34,
     TEXT("\nCommand Error.\nPress the printer button to clear the error \n\n or Press OK to cancel the current job.")},
    {47, TEXT("\nParameter Syntax Error.\nPress the Printer button to continue \n\n or Press OK to cancel the current "
              "job.")},
    {51, TEXT("\nMagnetic Encoder is not responding!\nPress OK to cancel the current job.")},
    {53, TEXT("Please  remove ribbon to continue with current  process.")},
    {2206, TEXT("Ribbon low Alert!\nRemaining ribbon count is : ")},
    {2207, TEXT("\nRotation Error!\nClear the error and press the printer button to continue \n\n or Press OK to "
                "cancel the current job.")},
    {2208, TEXT("\nCheck Ribbon.\nLoad correct ribbon to continue \n\n or Press OK to cancel the current job.")},
    {2209, TEXT("\nThere is either no ribbon or an unknown ribbon is installed in the printer.\nPlease ensure that "
                "proper ribbon is installed.")},
};

// Numbers no set words: each library carries a text of its own for them.
const UINT kOwnTexts[] = {2210, 2211, 8136, 2541, 2542};
// Captions are read into 256 characters, messages into 1024.
const UINT kCaptions[] = {547, 2541, 2542};

class CardRes : public ::testing::Test {
 protected:
  void SetUp() override { winsim::resetMachine(); }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }

  // Installs the built library into the driver directory and loads it from
  // there, as the modules do at start.
  HMODULE install(const char *built, const char *driverDir) {
    std::string dir = winsim::driveRoot() + "/Windows/system32/spool/drivers/" + driverDir + "/3";
    std::filesystem::copy_file(built, dir + "/cardres.dll");
    std::u16string path = u"C:\\Windows\\System32\\spool\\drivers\\" + winsim::toUtf16(driverDir) + u"\\3\\cardres.dll";
    module_ = LoadLibraryW(path.c_str());
    return module_;
  }

  static std::u16string load(HMODULE m, UINT id, int size = 1024) {
    WCHAR buf[1024];
    int n = LoadStringW(m, id, buf, size);
    EXPECT_EQ(n, lstrlenW(buf)) << id;
    return std::u16string(buf, size_t(n));
  }

  static void expectTexts(HMODULE m, const Text *begin, const Text *end) {
    for (const Text *t = begin; t != end; ++t) EXPECT_EQ(load(m, t->id), std::u16string(t->text)) << "string " << t->id;
  }

  // What both libraries must share: a text for every number the monitors and
  // the tray client use, whole in the buffer its reader gives it.
  static void expectCommon(HMODULE m) {
    for (UINT id : kOwnTexts) EXPECT_FALSE(load(m, id).empty()) << id;
    for (UINT id : kCaptions) {
      std::u16string caption = load(m, id, 256);
      EXPECT_FALSE(caption.empty()) << id;
      EXPECT_LT(caption.size(), 255u) << id;
    }
    // Numbers nothing uses have no text.
    WCHAR buf[16] = u"x";
    for (UINT id : {0u, 1u, 3u, 5u, 500u, 2000u, 2215u, 8135u}) {
      EXPECT_EQ(LoadStringW(m, id, buf, 16), 0) << id;
      EXPECT_EQ(buf[0], 0) << id;
    }
  }

  HMODULE module_ = nullptr;
};

template <size_t N>
const Text *end(const Text (&a)[N]) {
  return a + N;
}

TEST_F(CardRes, UsbSetInTheX64DriverDirectory) {
  HMODULE m = install(CARDRES_USB, "x64");
  ASSERT_NE(m, nullptr);
  expectTexts(m, kUsbOnly, end(kUsbOnly));
  expectTexts(m, kBothUsb, end(kBothUsb));
  // The network set's numbers are carried too, so that no message is empty.
  expectTexts(m, kNetOnly, end(kNetOnly));
  expectCommon(m);
}

TEST_F(CardRes, NetworkSetInTheW32X86DriverDirectory) {
  HMODULE m = install(CARDRES_NET, "W32X86");
  ASSERT_NE(m, nullptr);
  expectTexts(m, kNetOnly, end(kNetOnly));
  expectTexts(m, kBothNet, end(kBothNet));
  // Message 57 among them: the network monitor shows it when job data cannot
  // be sent.
  expectTexts(m, kUsbOnly, end(kUsbOnly));
  expectCommon(m);
}

}  // namespace
