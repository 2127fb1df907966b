// devguid.h for the linux flavour: the device setup classes the package's
// installers look for, with the SDK's values.
#pragma once

#include <guiddef.h>

// {4d36e979-e325-11ce-bfc1-08002be10318}
inline constexpr GUID GUID_DEVCLASS_PRINTER = {
    0x4d36e979, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
// {36fc9e60-c465-11cf-8056-444553540000}
inline constexpr GUID GUID_DEVCLASS_USB = {
    0x36fc9e60, 0xc465, 0x11cf, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
