// What the configuration module's tests against winsim share: looking at the
// dialogs the scripted user worked, failing a test on anything it met that
// nobody scripted, and (when the emulated printer and the USB monitor are part
// of the build) a fixture with the emulated printer installed on USB001 behind
// the USB language monitor.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>
#include <winsim/testing.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "config/module_state.h"

#ifdef USBMON_DLL
#include "emulator/include/cardemu/printer.h"
#include "emulator/include/cardemu/usb_device.h"
#endif

namespace card::cfg {

// A dialog, message box or file dialog the test did not script fails it: the
// scripted user answered something the test never expected to see.
inline void failOnUnscriptedUi() {
  for (const auto &d : winsim::takeDialogFaults())
    ADD_FAILURE() << "dialog " << d.templateId << ": " << winsim::toUtf8(d.fault);
  for (const auto &m : winsim::takeMessageFaults())
    ADD_FAILURE() << "message " << winsim::toUtf8(m.caption) << ": " << winsim::toUtf8(m.text);
  for (const auto &f : winsim::takeFileDialogFaults()) ADD_FAILURE() << "file dialog: " << winsim::toUtf8(f.fault);
}

// Loads the installed configuration module and opens the printer, pointing
// the module's state at both as the spooler does before calling into it.
// The caller closes and frees them.
inline void openWithModule(const char16_t *printerName, HMODULE &module, HANDLE &printer) {
  module = LoadLibraryW(u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\cardcfg.dll");
  ASSERT_NE(module, nullptr);
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(printerName), &printer, nullptr));
  ModuleState &st = state();
  st.instance = module;
  st.printer = printer;
}

// A control as the dialog left it when it closed; null when it had none.
inline const winsim::DialogControlRecord *atEnd(const winsim::ShownDialog &d, int control) {
  for (const auto &c : d.controlsAtEnd)
    if (c.id == control) return &c;
  return nullptr;
}

// A control's text when the dialog closed, or when it opened; "<missing>"
// compares unequal to any text the dialog could show.
inline std::u16string textAtEnd(const winsim::ShownDialog &d, int control) {
  const auto *c = atEnd(d, control);
  return c ? c->text : u"<missing>";
}
inline std::u16string textAtOpen(const winsim::ShownDialog &d, int control) {
  const auto *c = d.control(control);
  return c ? c->text : u"<missing>";
}

// Every showing of one dialog template, in order.
inline std::vector<winsim::ShownDialog> dialogsOf(int templateId) {
  std::vector<winsim::ShownDialog> out;
  for (auto &d : winsim::shownDialogs())
    if (d.templateId == templateId) out.push_back(d);
  return out;
}

#ifdef USBMON_DLL

// The emulated printer on USB001 behind the USB language monitor, installed
// with the configuration module.  By default the module is loaded and its
// state points at the printer, as when the spooler calls into it; a fixture
// that only talks to the spooler passes false and gets the printer handle.
class EmulatedPrinterTest : public ::testing::Test {
 protected:
  static constexpr char16_t kPrinter[] = u"Pellor CA3 Card Printer USB";
  static constexpr char16_t kMonitor[] = u"Pellor Standard USB Language Monitor";

  explicit EmulatedPrinterTest(bool withModule = true) : withModule_(withModule) {}

  void SetUp() override {
    winsim::resetMachine();
    winsim::setClockScale(1000.0);
    device = std::make_shared<cardemu::UsbPrinterDevice>(emu, true);
    ASSERT_TRUE(winsim::installMonitor(kMonitor, USBMON_DLL));
    ASSERT_TRUE(winsim::attachUsbDevice(u"USB001", device));
    winsim::PrinterSetup setup;
    setup.printerName = kPrinter;
    setup.driverName = u"Pellor Standard Printer";
    setup.configDll = CARDCFG_DLL;
    setup.monitorName = kMonitor;
    setup.portName = u"USB001";
    ASSERT_TRUE(winsim::installPrinter(setup));
    if (!withModule_) {
      ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(kPrinter), &printer, nullptr));
      return;
    }
    openWithModule(kPrinter, module, printer);
    std::memcpy(state().printerName, kPrinter, sizeof kPrinter);
  }

  void TearDown() override {
    failOnUnscriptedUi();
    if (printer) ClosePrinter(printer);
    if (withModule_) state().printer = nullptr;
    if (module) FreeLibrary(module);
    winsim::resetMachine();
  }

  // Everything the printer received over USB, in order.
  std::string sentBytes() const {
    std::string all;
    for (const auto &write : device->writes()) all.append(write.bytes.begin(), write.bytes.end());
    return all;
  }

  // The printer's attributes as the spooler has them; all bits set when it
  // could not say.
  DWORD attributes() const {
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> info(needed);
    if (!needed || !GetPrinterW(printer, 2, info.data(), needed, &needed)) return 0xffffffff;
    return reinterpret_cast<const PRINTER_INFO_2W *>(info.data())->Attributes;
  }

  cardemu::Printer emu;
  std::shared_ptr<cardemu::UsbPrinterDevice> device;
  HMODULE module = nullptr;
  HANDLE printer = nullptr;

 private:
  const bool withModule_;
};

#endif  // USBMON_DLL

}  // namespace card::cfg
