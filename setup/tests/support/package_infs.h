// INF files as the package and other vendors ship them, for the tests of
// the driver store commands.
#pragma once

#include <string>

namespace card::setup::testing {

inline std::string printerInf(const std::string &markerSection) {
  return "[Version]\r\n"
         "Signature=\"$Windows NT$\"\r\n"
         "Class=Printer\r\n"
         "ClassGUID={4D36E979-E325-11CE-BFC1-08002BE10318}\r\n"
         "Provider=%Maker%\r\n"
         "DriverVer=12/08/2026,8.0.2.1\r\n"
         "\r\n" +
         markerSection +
         "\r\n"
         "[Strings]\r\n"
         "Maker=\"Maker\"\r\n";
}

// The package's own INF: its "Ostrand" section begins with the marker.
inline std::string packageInf() { return printerInf("[Ostrand]\r\nOSTRANDDRIVER\r\n"); }
// Another vendor's INF with a section of the same name naming its own driver.
inline std::string otherDriverInf() { return printerInf("[Ostrand]\r\nOTHERVENDORDRIVER\r\nOSTRANDDRIVER\r\n"); }
// An INF without the section.
inline std::string plainInf() { return printerInf(""); }

}  // namespace card::setup::testing
