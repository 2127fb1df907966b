// Port administration rules: names, the transceive commands and their sizes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "netmon/port_config.h"

namespace card::net {
namespace {

std::vector<uint8_t> utf16Bytes(const std::u16string &s, bool terminator = true) {
  std::vector<uint8_t> b((s.size() + (terminator ? 1 : 0)) * 2, 0);
  std::memcpy(b.data(), s.data(), s.size() * 2);
  return b;
}

TEST(PortConfig, RecordsAndTable) {
  EXPECT_EQ(kMonitorSignature, 0x004D4C49u);
  EXPECT_EQ(kPortSignature, 0x5450u);
  EXPECT_EQ(kXcvSignature, 0x5843u);
  EXPECT_EQ(portEntrySize(4), 2098u);
  EXPECT_EQ(xcvHandleSize(4), 46u);
  EXPECT_EQ(monitorTableSize(true), 76u);
  EXPECT_EQ(monitorTableSize(false), 88u);
  EXPECT_EQ(checkAddPortLevel(1), 0u);
  EXPECT_EQ(checkAddPortLevel(0xFFFFFFFFu), 0u);
  EXPECT_EQ(checkAddPortLevel(2), 124u);
}

TEST(PortConfig, NameLength) {
  EXPECT_EQ(checkPortName(std::u16string(247, u'P')), 0u);
  EXPECT_EQ(checkPortName(std::u16string(248, u'P')), 123u);  // ERROR_INVALID_NAME
  EXPECT_EQ(checkPortName(u""), 87u);
}

TEST(PortConfig, CommandTableIsExact) {
  EXPECT_EQ(xcvCommandFor(u"MonitorUI"), XcvCommand::MonitorUi);
  EXPECT_EQ(xcvCommandFor(u"ConfigureLPTPortCommandOK"), XcvCommand::ConfigureLptPortCommandOk);
  EXPECT_EQ(xcvCommandFor(u"AddPort"), XcvCommand::AddPort);
  EXPECT_EQ(xcvCommandFor(u"DeletePort"), XcvCommand::DeletePort);
  EXPECT_EQ(xcvCommandFor(u"PortExists"), XcvCommand::PortExists);
  EXPECT_EQ(xcvCommandFor(u"PortIsValid"), XcvCommand::PortIsValid);
  EXPECT_EQ(xcvCommandFor(u"GetTransmissionRetryTimeout"), XcvCommand::GetTransmissionRetryTimeout);
  EXPECT_EQ(xcvCommandFor(u"SetDefaultCommConfig"), XcvCommand::SetDefaultCommConfig);
  EXPECT_EQ(xcvCommandFor(u"GetDefaultCommConfig"), XcvCommand::GetDefaultCommConfig);
  EXPECT_EQ(xcvCommandFor(u"addport"), XcvCommand::Unknown);
  EXPECT_EQ(xcvCommandFor(u"AddPort "), XcvCommand::Unknown);
  EXPECT_EQ(checkXcvAccess(XcvCommand::Unknown, 1), 87u);
}

TEST(PortConfig, AdministratorCommands) {
  for (auto c : {XcvCommand::ConfigureLptPortCommandOk, XcvCommand::AddPort, XcvCommand::DeletePort,
                 XcvCommand::SetDefaultCommConfig}) {
    EXPECT_EQ(checkXcvAccess(c, 0), 5u);
    EXPECT_EQ(checkXcvAccess(c, 0x2), 5u);
    EXPECT_EQ(checkXcvAccess(c, 0x1), 0u);
  }
  for (auto c : {XcvCommand::MonitorUi, XcvCommand::PortExists, XcvCommand::PortIsValid,
                 XcvCommand::GetTransmissionRetryTimeout, XcvCommand::GetDefaultCommConfig})
    EXPECT_EQ(checkXcvAccess(c, 0), 0u);
}

TEST(PortConfig, OutputSizes) {
  auto c = checkXcvOutput(XcvCommand::PortExists, 3);
  EXPECT_EQ(c.error, 122u);
  EXPECT_EQ(c.needed, 4u);
  EXPECT_EQ(checkXcvOutput(XcvCommand::PortExists, 4).error, 0u);
  // "cardcfgnet.dll" is 14 characters: 30 bytes with the terminator.
  c = checkXcvOutput(XcvCommand::MonitorUi, 29);
  EXPECT_EQ(c.error, 122u);
  EXPECT_EQ(c.needed, 30u);
  EXPECT_EQ(checkXcvOutput(XcvCommand::MonitorUi, 30).error, 0u);
  c = checkXcvOutput(XcvCommand::GetDefaultCommConfig, 51);
  EXPECT_EQ(c.error, 122u);
  EXPECT_EQ(c.needed, 52u);
  EXPECT_EQ(checkXcvOutput(XcvCommand::GetTransmissionRetryTimeout, 0).needed, 4u);
  EXPECT_EQ(checkXcvOutput(XcvCommand::AddPort, 0).error, 0u);
}

TEST(PortConfig, AddPortInputSize) {
  auto in = utf16Bytes(u"COM7:");
  EXPECT_EQ(checkAddPortInput(in.data(), in.size()), 0u);
  EXPECT_EQ(checkAddPortInput(in.data(), in.size() - 2), 87u);  // terminator not counted
  auto longer = in;
  longer.insert(longer.end(), {0, 0});
  EXPECT_EQ(checkAddPortInput(longer.data(), longer.size()), 87u);
  EXPECT_EQ(checkAddPortInput(in.data(), in.size() - 1), 87u);  // odd size
  auto empty = utf16Bytes(u"");
  EXPECT_EQ(checkAddPortInput(empty.data(), empty.size()), 87u);
  auto tooLong = utf16Bytes(std::u16string(248, u'P'));
  EXPECT_EQ(checkAddPortInput(tooLong.data(), tooLong.size()), 87u);
  EXPECT_EQ(checkAddPortInput(nullptr, 4), 87u);
  // An unaligned input is read all the same.
  std::vector<uint8_t> shifted(in.size() + 1);
  std::memcpy(shifted.data() + 1, in.data(), in.size());
  EXPECT_EQ(nameFromInput(shifted.data() + 1, in.size()), std::u16string(u"COM7:"));
}

TEST(PortConfig, PortIsValidByName) {
  EXPECT_EQ(portIsValidByName(u"com3:"), PortValidity::Valid);
  EXPECT_EQ(portIsValidByName(u"LPT1:"), PortValidity::Valid);
  EXPECT_EQ(portIsValidByName(u"Lpt2:"), PortValidity::Valid);
  EXPECT_EQ(portIsValidByName(u"FILE:"), PortValidity::Valid);
  EXPECT_EQ(portIsValidByName(u"COM3"), PortValidity::FileCheck);
  EXPECT_EQ(portIsValidByName(u"FILE:x"), PortValidity::FileCheck);
  EXPECT_EQ(portIsValidByName(u"C:\\out.prn"), PortValidity::FileCheck);
  EXPECT_EQ(portIsValidByName(u""), PortValidity::FileCheck);
}

TEST(PortConfig, RetryTimeout) {
  EXPECT_EQ(parseRetryTimeout(u"90"), 90u);
  EXPECT_EQ(parseRetryTimeout(u""), 45u);
  EXPECT_EQ(parseRetryTimeout(u"9x"), 45u);
  EXPECT_EQ(parseRetryTimeout(u"99999999999"), 45u);
}

}  // namespace
}  // namespace card::net
