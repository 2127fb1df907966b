// Device nodes: USB devices plugged in and out, the device information sets
// over them, their hardware IDs by the "required size" protocol, and
// DIF_REMOVE.
#include <devguid.h>

#include "winsim/tests/setupapi/setupapi_support.h"

namespace winsim_test {
namespace {

// {4d36e979-e325-11ce-bfc1-08002be10318}, the Printer class, and
// {36fc9e60-c465-11cf-8056-444553540000}, the USB class.
constexpr GUID kPrinterClass = {0x4d36e979, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
constexpr GUID kUsbClass = {0x36fc9e60, 0xc465, 0x11cf, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

class IdDevice : public winsim::UsbDevice {
 public:
  explicit IdDevice(std::vector<std::u16string> ids) : ids_(std::move(ids)) {}
  long write(const uint8_t *, size_t size) override { return long(size); }
  long read(uint8_t *, size_t) override { return 0; }
  bool lineStatus(uint8_t &status) override {
    status = 0x18;
    return true;
  }
  std::vector<std::u16string> hardwareIds() const override { return ids_; }

 private:
  std::vector<std::u16string> ids_;
};

const std::vector<std::u16string> kCardPrinter = {u"USBPRINT\\PELLO_CARD_PRINTER_CA3C5A1",
                                                  u"PELLO_CARD_PRINTER_CA3C5A1"};

class DeviceNodes : public Winsim {
 protected:
  // The instance IDs of a fresh set's members.
  std::vector<std::u16string> members(DWORD flags, const GUID *cls = nullptr, LPCWSTR enumerator = nullptr) {
    std::vector<std::u16string> ids;
    HDEVINFO set = SetupDiGetClassDevsW(cls, enumerator, nullptr, flags);
    EXPECT_NE(set, INVALID_HANDLE_VALUE);
    SP_DEVINFO_DATA d{};
    d.cbSize = sizeof d;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &d); ++i) {
      WCHAR id[256];
      EXPECT_TRUE(SetupDiGetDeviceInstanceIdW(set, &d, id, 256, nullptr));
      ids.push_back(id);
    }
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_ITEMS));
    SetupDiDestroyDeviceInfoList(set);
    return ids;
  }
};

TEST_F(DeviceNodes, APluggedDeviceIsAPresentNodeAndStaysAsAnAbsentOne) {
  ASSERT_TRUE(winsim::attachUsbDevice(u"USB001", std::make_shared<IdDevice>(kCardPrinter)));
  ASSERT_TRUE(winsim::attachUsbDevice(u"USB002", std::make_shared<IdDevice>(std::vector<std::u16string>{})));
  auto nodes = winsim::deviceNodes();
  ASSERT_EQ(nodes.size(), 2u);
  EXPECT_EQ(nodes[0].className, u"Printer");
  EXPECT_EQ(nodes[0].instanceId.rfind(u"USBPRINT\\PELLO_CARD_PRINTER_CA3C5A1\\", 0), 0u);
  EXPECT_EQ(nodes[1].className, u"USB");
  EXPECT_TRUE(nodes[0].present && nodes[1].present);
  EXPECT_EQ(members(DIGCF_PRESENT, &kPrinterClass), std::vector<std::u16string>({nodes[0].instanceId}));
  EXPECT_EQ(members(DIGCF_ALLCLASSES, nullptr, u"usb").size(), 1u);
  EXPECT_EQ(members(DIGCF_PRESENT, &kUsbClass), std::vector<std::u16string>({nodes[1].instanceId}));
  EXPECT_TRUE(GUID_DEVCLASS_PRINTER == kPrinterClass && GUID_DEVCLASS_USB == kUsbClass);

  winsim::detachUsbDevice(u"USB001");
  EXPECT_EQ(members(DIGCF_ALLCLASSES | DIGCF_PRESENT).size(), 1u);
  EXPECT_EQ(members(DIGCF_ALLCLASSES).size(), 2u);
  EXPECT_FALSE(winsim::deviceNodes()[0].present);
  // The same printer on the same port again: the same node.
  ASSERT_TRUE(winsim::attachUsbDevice(u"USB001", std::make_shared<IdDevice>(kCardPrinter)));
  nodes = winsim::deviceNodes();
  ASSERT_EQ(nodes.size(), 2u);
  EXPECT_TRUE(nodes[0].present);

  // A set needs a class, an enumerator or all classes.
  EXPECT_EQ(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(DeviceNodes, HardwareIdsComeAsAMultiStringOfTheSizeAsked) {
  // The SDK's 64-bit layouts, which callers fill in by cbSize.
  EXPECT_EQ(sizeof(SP_DEVINFO_DATA), 32u);
  EXPECT_EQ(sizeof(INFCONTEXT), 24u);
  winsim::addDeviceNode(kCardPrinter, true);
  winsim::addDeviceNode({}, false);
  HDEVINFO set = SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  SP_DEVINFO_DATA d{};
  d.cbSize = sizeof d - 1;
  EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 0, &d));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_USER_BUFFER));
  d.cbSize = sizeof d;
  ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &d));
  EXPECT_EQ(d.ClassGuid, kPrinterClass);

  // Both IDs, each ended, and the list ended: in bytes.
  std::u16string expected = kCardPrinter[0] + u'\0' + kCardPrinter[1] + u'\0' + u'\0';
  DWORD type = 0, needed = 0;
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(set, &d, SPDRP_HARDWAREID, &type, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, expected.size() * sizeof(WCHAR));
  EXPECT_EQ(type, DWORD(REG_MULTI_SZ));
  std::vector<BYTE> buffer(needed);
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(set, &d, SPDRP_HARDWAREID, &type, buffer.data(), needed - 2, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyW(set, &d, SPDRP_HARDWAREID, &type, buffer.data(), needed, &needed));
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(buffer.data()), expected.size()), expected);

  // The ANSI call counts bytes of the system code page.
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &d, SPDRP_HARDWAREID, &type, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, expected.size());
  ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(set, &d, SPDRP_HARDWAREID, &type, buffer.data(), needed, &needed));
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(buffer.data()), needed),
            std::string("USBPRINT\\PELLO_CARD_PRINTER_CA3C5A1\0PELLO_CARD_PRINTER_CA3C5A1\0\0", needed));
  ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyW(set, &d, SPDRP_CLASS, &type, buffer.data(), needed, &needed));
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(buffer.data())), u"Printer");
  EXPECT_FALSE(
      SetupDiGetDeviceRegistryPropertyW(set, &d, SPDRP_MAXIMUM_PROPERTY, nullptr, buffer.data(), needed, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_REG_PROPERTY));
  // The node without IDs has no such property.
  ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 1, &d));
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(set, &d, SPDRP_HARDWAREID, &type, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA));
  EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 2, &d));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_ITEMS));

  ASSERT_TRUE(SetupDiDestroyDeviceInfoList(set));
  EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST_F(DeviceNodes, DifRemoveTakesTheNodeOffTheMachine) {
  std::u16string phantom = winsim::addDeviceNode(kCardPrinter, false, u"oem3.inf");
  std::u16string other = winsim::addDeviceNode({u"USB\\VID_1234&PID_0001"}, true);
  HDEVINFO set = SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
  SP_DEVINFO_DATA d{};
  d.cbSize = sizeof d;
  ASSERT_TRUE(SetupDiEnumDeviceInfo(set, 0, &d));
  EXPECT_FALSE(SetupDiCallClassInstaller(DIF_REMOVE, set, nullptr));
  ASSERT_TRUE(SetupDiCallClassInstaller(DIF_REMOVE, set, &d));
  auto nodes = winsim::deviceNodes();
  ASSERT_EQ(nodes.size(), 1u);
  EXPECT_EQ(nodes[0].instanceId, other);
  // The set still lists it, as a device that is no more.
  DWORD needed = 0;
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(set, &d, SPDRP_HARDWAREID, nullptr, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_SUCH_DEVINST));
  SetupDiDestroyDeviceInfoList(set);
  EXPECT_EQ(members(DIGCF_ALLCLASSES), std::vector<std::u16string>({other}));
  (void)phantom;
}

TEST_F(DeviceNodes, APluggedDeviceGetsItsDriverFromTheStore) {
  putFile(u"C:\\pkg\\pello.inf", packageInf("usbprint\\pello_card_printer_ca3c5a1"));
  WCHAR dest[MAX_PATH];
  ASSERT_TRUE(SetupCopyOEMInfW(u"C:\\pkg\\pello.inf", nullptr, SPOST_PATH, 0, dest, MAX_PATH, nullptr, nullptr));
  ASSERT_TRUE(winsim::attachUsbDevice(u"USB001", std::make_shared<IdDevice>(kCardPrinter)));
  ASSERT_TRUE(winsim::attachUsbDevice(u"USB002", std::make_shared<IdDevice>(std::vector<std::u16string>{u"X"})));
  auto nodes = winsim::deviceNodes();
  ASSERT_EQ(nodes.size(), 2u);
  EXPECT_EQ(nodes[0].infName, u"oem0.inf");
  EXPECT_EQ(nodes[1].infName, u"");
  winsim::detachUsbDevice(u"USB001");
  EXPECT_FALSE(SetupUninstallOEMInfW(u"oem0.inf", 0, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INF_IN_USE_BY_DEVICES));
}

}  // namespace
}  // namespace winsim_test
