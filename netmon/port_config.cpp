#include "netmon/port_config.h"

#include <array>
#include <cstring>
#include <utility>

namespace card::net {
namespace {

char16_t upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - (u'a' - u'A')) : c; }

bool beginsNoCase(std::u16string_view s, std::u16string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (upper(s[i]) != upper(prefix[i])) return false;
  return true;
}

constexpr std::array<std::pair<std::u16string_view, XcvCommand>, 9> kCommands{{
    {u"MonitorUI", XcvCommand::MonitorUi},
    {u"ConfigureLPTPortCommandOK", XcvCommand::ConfigureLptPortCommandOk},
    {u"AddPort", XcvCommand::AddPort},
    {u"DeletePort", XcvCommand::DeletePort},
    {u"PortExists", XcvCommand::PortExists},
    {u"PortIsValid", XcvCommand::PortIsValid},
    {u"GetTransmissionRetryTimeout", XcvCommand::GetTransmissionRetryTimeout},
    {u"SetDefaultCommConfig", XcvCommand::SetDefaultCommConfig},
    {u"GetDefaultCommConfig", XcvCommand::GetDefaultCommConfig},
}};

}  // namespace

uint32_t checkPortName(std::u16string_view name) {
  if (name.empty()) return kErrorInvalidParameter;
  return name.size() > kMaxPortNameChars ? kErrorInvalidName : kErrorSuccess;
}

XcvCommand xcvCommandFor(std::u16string_view name) {
  for (const auto &[n, c] : kCommands)
    if (n == name) return c;
  return XcvCommand::Unknown;
}

bool xcvNeedsAdministrator(XcvCommand c) {
  switch (c) {
    case XcvCommand::ConfigureLptPortCommandOk:
    case XcvCommand::AddPort:
    case XcvCommand::DeletePort:
    case XcvCommand::SetDefaultCommConfig: return true;
    default: return false;
  }
}

uint32_t checkXcvAccess(XcvCommand c, uint32_t grantedAccess) {
  if (c == XcvCommand::Unknown) return kErrorInvalidParameter;
  if (xcvNeedsAdministrator(c) && !(grantedAccess & kServerAdministerAccess)) return kErrorAccessDenied;
  return kErrorSuccess;
}

uint32_t xcvOutputNeeded(XcvCommand c) {
  switch (c) {
    case XcvCommand::MonitorUi: return static_cast<uint32_t>((kMonitorUiModule.size() + 1) * sizeof(char16_t));
    case XcvCommand::PortExists:
    case XcvCommand::GetTransmissionRetryTimeout: return 4;
    case XcvCommand::GetDefaultCommConfig: return kCommConfigBytes;
    default: return 0;
  }
}

SizeCheck checkXcvOutput(XcvCommand c, uint32_t outputSize) {
  uint32_t needed = xcvOutputNeeded(c);
  if (outputSize < needed) return {kErrorInsufficientBuffer, needed};
  return {kErrorSuccess, needed};
}

std::optional<std::u16string> nameFromInput(const uint8_t *input, size_t size) {
  if (!input || size % 2) return std::nullopt;
  std::u16string name;
  for (size_t i = 0; i + 1 < size; i += 2) {
    char16_t c;
    std::memcpy(&c, input + i, sizeof c);  // the input need not be aligned
    if (c == 0) return name;
    name.push_back(c);
  }
  return std::nullopt;
}

uint32_t checkAddPortInput(const uint8_t *input, size_t size) {
  auto name = nameFromInput(input, size);
  if (!name || (name->size() + 1) * sizeof(char16_t) != size) return kErrorInvalidParameter;
  return checkPortName(*name) == kErrorSuccess ? kErrorSuccess : kErrorInvalidParameter;
}

PortValidity portIsValidByName(std::u16string_view name) {
  if (name.size() == 5 && beginsNoCase(name, u"FILE:")) return PortValidity::Valid;
  if ((beginsNoCase(name, u"COM") || beginsNoCase(name, u"LPT")) && name.size() > 3 && name.back() == u':')
    return PortValidity::Valid;
  return PortValidity::FileCheck;
}

uint32_t parseRetryTimeout(std::u16string_view text) {
  if (text.empty()) return kDefaultRetryTimeoutS;
  uint64_t v = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return kDefaultRetryTimeoutS;
    v = v * 10 + (c - u'0');
    if (v > 0xFFFFFFFFu / 1000) return kDefaultRetryTimeoutS;  // the write time-out is this times 1000 ms
  }
  return static_cast<uint32_t>(v);
}

}  // namespace card::net
